// Link groups: linking, unlinking, moving between groups, the 128-entry limit and the repair
// of inconsistent groups.
#include <algorithm>

#include "core/InternalError.h"
#include "layerops/LinkGroups.h"
#include "layerops/tests/LayerOpsTestSupport.h"

namespace zelvo::test {
namespace {

class LinkTest : public LayerOpsTest {
protected:
    // n layers in all (a first layer and n - 1 null layers), bottom current.
    void MakeLayers(int n) {
        OpenImage();
        for (int i = 1; i < n; ++i) {
            auto l = std::make_shared<Layer>(*store);
            l->Create(0, 0, LayerKind::Null, Lm().NextId());
            Lm().InsertAt(Lm().LayerCount(), l);
        }
        Lm().SelectLayerByIndex(1);
    }
    std::vector<int32_t> Group(int index) {
        const Layer& l = *Lm().LayerAt(index);
        return {l.LinkIds().begin(), l.LinkIds().begin() + l.LinkCount()};
    }
    int32_t Id(int index) { return Lm().LayerAt(index)->Id(); }
    void Current(int index) { Lm().SelectLayerByIndex(index + 1); }
};

TEST_F(LinkTest, LinkAndUnlinkTwo) {
    MakeLayers(3);
    EXPECT_EQ(ToggleLink(History(), 0), 0);  // the current layer itself
    ASSERT_EQ(ToggleLink(History(), 2), 1);
    EXPECT_EQ(Group(0), (std::vector<int32_t>{Id(0), Id(2)}));
    EXPECT_EQ(Group(2), Group(0));
    EXPECT_EQ(Lm().LayerAt(1)->LinkCount(), 0);
    EXPECT_TRUE(LinkGroupsConsistent(Lm()));
    EXPECT_TRUE(InCurrentLinkGroup(Lm(), *Lm().LayerAt(2)));
    EXPECT_FALSE(InCurrentLinkGroup(Lm(), *Lm().LayerAt(1)));
    // Unlinking one of two leaves both unlinked.
    ASSERT_EQ(ToggleLink(History(), 2), 1);
    EXPECT_EQ(Lm().LayerAt(0)->LinkCount(), 0);
    EXPECT_EQ(Lm().LayerAt(2)->LinkCount(), 0);
    EXPECT_EQ(History().StateCount(), 1);  // links are not history
}

TEST_F(LinkTest, UnlinkFromALargerGroupKeepsTheOrder) {
    MakeLayers(4);
    ToggleLink(History(), 3);
    ToggleLink(History(), 1);
    ToggleLink(History(), 2);
    ASSERT_EQ(Group(0), (std::vector<int32_t>{Id(0), Id(3), Id(1), Id(2)}));
    ASSERT_EQ(ToggleLink(History(), 1), 1);
    const std::vector<int32_t> rest{Id(0), Id(3), Id(2)};
    EXPECT_EQ(Group(0), rest);
    EXPECT_EQ(Group(3), rest);
    EXPECT_EQ(Group(2), rest);
    EXPECT_EQ(Lm().LayerAt(1)->LinkCount(), 0);
    EXPECT_TRUE(LinkGroupsConsistent(Lm()));
}

TEST_F(LinkTest, LinkingMovesALayerBetweenGroups) {
    MakeLayers(6);
    // Group {1, 2} and group {3, 4, 5}.
    Current(1);
    ToggleLink(History(), 2);
    Current(3);
    ToggleLink(History(), 4);
    ToggleLink(History(), 5);
    // Layer 2 joins 0's group: the two-member group it leaves dissolves.
    Current(0);
    ASSERT_EQ(ToggleLink(History(), 2), 1);
    EXPECT_EQ(Group(0), (std::vector<int32_t>{Id(0), Id(2)}));
    EXPECT_EQ(Lm().LayerAt(1)->LinkCount(), 0);
    // Layer 4 joins too: its old group keeps 3 and 5.
    ASSERT_EQ(ToggleLink(History(), 4), 1);
    EXPECT_EQ(Group(0), (std::vector<int32_t>{Id(0), Id(2), Id(4)}));
    EXPECT_EQ(Group(2), Group(0));
    EXPECT_EQ(Group(4), Group(0));
    EXPECT_EQ(Group(3), (std::vector<int32_t>{Id(3), Id(5)}));
    EXPECT_EQ(Group(5), Group(3));
    EXPECT_TRUE(LinkGroupsConsistent(Lm()));
}

TEST_F(LinkTest, AGroupHoldsAtMost128) {
    MakeLayers(130);
    for (int i = 1; i < 128; ++i) ASSERT_EQ(ToggleLink(History(), i), 1) << i;
    ASSERT_EQ(Lm().LayerAt(0)->LinkCount(), 128);
    messages.Clear();
    EXPECT_EQ(ToggleLink(History(), 128), 0);
    EXPECT_EQ(messages.Last(), "Can only link 127 layers!");
    EXPECT_EQ(Lm().LayerAt(128)->LinkCount(), 0);
    EXPECT_EQ(Lm().LayerAt(0)->LinkCount(), 128);
    // Unlinking still works on a full group.
    ASSERT_EQ(ToggleLink(History(), 127), 1);
    EXPECT_EQ(Lm().LayerAt(0)->LinkCount(), 127);
}

TEST_F(LinkTest, InconsistentGroupsAreClearedFirst) {
    MakeLayers(4);
    ToggleLink(History(), 1);
    // Layer 2 claims a group that its members do not share.
    Layer& liar = *Lm().LayerAt(2);
    liar.LinkIds()[0] = uint16_t(liar.Id());
    liar.LinkIds()[1] = uint16_t(Id(3));
    liar.SetLinkCount(2);
    EXPECT_FALSE(LinkGroupsConsistent(Lm()));
    ASSERT_EQ(ToggleLink(History(), 3), 1);
    EXPECT_EQ(Group(0), (std::vector<int32_t>{Id(0), Id(3)}));
    EXPECT_EQ(Lm().LayerAt(1)->LinkCount(), 0);
    EXPECT_EQ(Lm().LayerAt(2)->LinkCount(), 0);
    EXPECT_TRUE(LinkGroupsConsistent(Lm()));
}

TEST_F(LinkTest, ANegativeCountIsAnInternalError) {
    MakeLayers(3);
    Lm().LayerAt(1)->SetLinkCount(-1);
    messages.Clear();
    EXPECT_FALSE(LinkGroupsConsistent(Lm()));
    EXPECT_EQ(messages.Last(), InternalErrorText(1021));
    ASSERT_EQ(ToggleLink(History(), 2), 1);
    EXPECT_EQ(Lm().LayerAt(1)->LinkCount(), 0);
    EXPECT_EQ(Lm().LayerAt(2)->LinkCount(), 2);
}

}  // namespace
}  // namespace zelvo::test
