// libFuzzer entry for the layered document reader: the bytes are checked and read as a .zld
// file into a document on one scratch store kept for the whole run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "layerops/ZldFuzz.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "store/FileDynamicStore.h"

namespace {

class SilentMessages : public zelvo::Messages {
public:
    void Show(const std::string&) override {}
    zelvo::Answer Ask(const std::string&, zelvo::Buttons, const std::string&) override {
        return zelvo::Answer::Ok;
    }
};

zelvo::FileDynamicStore* g_store = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static SilentMessages silent;
    zelvo::SetAppMessages(&silent);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char folder[] = "/tmp/zelvo-fuzz-zld-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    static zelvo::FakeDiskService disks;
    const std::string root = std::string(folder) + "/";
    disks.otherAvailable = uint64_t(1) << 40;
    disks.disks.push_back({root, true, uint64_t(1) << 40});
    static zelvo::FileDynamicStore store(disks);
    if (!store.Open(root)) std::abort();
    g_store = &store;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zelvo::FuzzReadLayered(*g_store, data, size);
    return 0;
}
