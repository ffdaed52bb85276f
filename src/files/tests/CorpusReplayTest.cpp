// Every file of the fuzz corpus (seeds and past crashers) goes through the reader again in the
// normal sanitizer build.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestImages.h"
#include "files/FuzzRead.h"
#include "platform/Messages.h"

namespace zelvo {
namespace {

TEST(CorpusReplay, EveryFileReadsWithoutFault) {
    const std::filesystem::path root = ZELVO_FUZZ_CORPUS_DIR;
    if (!std::filesystem::is_directory(root)) GTEST_SKIP() << "no corpus folder at " << root;
    ScopedRecordingMessages messages;
    int files = 0;
    for (const char* format : {"bmp", "jpeg", "png", "tiff", "gif"}) {
        const auto folder = root / format;
        if (!std::filesystem::is_directory(folder)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file()) continue;
            SCOPED_TRACE(entry.path().string());
            const auto bytes = test::ReadBytes(entry.path().string());
            FuzzReadRaster(bytes.data(), bytes.size(), format);
            ++files;
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace zelvo
