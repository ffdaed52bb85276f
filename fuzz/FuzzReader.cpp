// libFuzzer entry for one raster format: the bytes are read as a file with that extension.
// Which decoder runs is still decided by the first bytes, as for a real file.
#include <cstddef>
#include <cstdint>

#include "files/FuzzRead.h"
#include "platform/Messages.h"

namespace {

class SilentMessages : public zelvo::Messages {
public:
    void Show(const std::string&) override {}
    zelvo::Answer Ask(const std::string&, zelvo::Buttons, const std::string&) override {
        return zelvo::Answer::Ok;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentMessages silent;
    zelvo::SetAppMessages(&silent);
    zelvo::FuzzReadRaster(data, size, ZELVO_FUZZ_EXTENSION);
    return 0;
}
