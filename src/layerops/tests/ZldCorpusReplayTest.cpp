// Replays the .zld fuzz corpus (seeds and any crashers kept) through the fuzz target's reader.
#include <gtest/gtest.h>

#include <filesystem>

#include "layerops/ZldFuzz.h"
#include "layerops/tests/LayerOpsTestSupport.h"
#include "layerops/tests/ZldBytes.h"

namespace zelvo::test {
namespace {

using ZldCorpusTest = LayerOpsTest;

TEST_F(ZldCorpusTest, EveryCorpusFileReadsCleanly) {
    const std::filesystem::path root = ZELVO_ZLD_CORPUS_DIR;
    if (!std::filesystem::is_directory(root)) GTEST_SKIP() << "no corpus folder at " << root;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().string());
        const std::vector<uint8_t> bytes = ZldBytes::Load(entry.path().string());
        FuzzReadLayered(*store, bytes.data(), bytes.size());
        ++files;
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace zelvo::test
