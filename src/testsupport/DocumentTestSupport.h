// A workspace in a fresh temporary folder and whole documents over it: the set-up the tests of
// everything from the document up share.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "doc/Image.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "testsupport/TempDir.h"
#include "workspace/Workspace.h"

namespace zelvo::test {

class DocumentFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeWorkspace()); }

    // The run's workspace; for a screen of `screenW` x `screenH` when given (the display buffer
    // and the tile grid follow the screen).
    void MakeWorkspace(int32_t screenW = 0, int32_t screenH = 0) {
        disks.disks.push_back({dir.Path(), true, uint64_t(1) << 40});
        disks.otherAvailable = uint64_t(1) << 40;
        workspace = std::make_unique<Workspace>(disks);
        if (screenW > 0) workspace->SetScreenSize(screenW, screenH);
        ASSERT_TRUE(workspace->Setup(dir.Path())) << messages.Last();
    }

    // A New Image document: one white pixel layer.
    std::unique_ptr<Image> NewImage(int32_t w, int32_t h, int32_t resolution = 2834) {
        auto image = std::make_unique<Image>(*workspace);
        EXPECT_TRUE(image->NewImage({w, h, resolution})) << messages.Last();
        return image;
    }

    test::TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
    std::unique_ptr<Workspace> workspace;
};

}  // namespace zelvo::test
