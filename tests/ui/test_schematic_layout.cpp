#include "ui/part_states.h"
#include "ui/schematic_layout.h"

#include "rig/vlm_names.h"

#include <QSet>
#include <gtest/gtest.h>

#include <vector>

namespace {

const SchematicLayout& Layout() { return SchematicLayout::Instance(); }

// -1 for a node without a side, 0 left, 1 right (as the figure view sorts them).
int SideOf(int node)
{
    const QString name = QString::fromLatin1(VLMGetNodeName(node));
    return name.contains("Right") ? 1 : name.contains("Left") ? 0 : -1;
}

TEST(SchematicLayout, EveryRigNodeStandsOnExactlyOnePage)
{
    std::vector<int> seen(VLM_NODE_COUNT, 0);
    QSet<QString> prefixes;
    for (const SchematicPageDef* page : Layout().GetPages())
        for (const SchematicItemDef* part : page->GetParts()) {
            ASSERT_GE(part->GetNodeId(), 0);
            ASSERT_LT(part->GetNodeId(), VLM_NODE_COUNT);
            ++seen[part->GetNodeId()];
            prefixes.insert(part->GetPicturePrefix());
            EXPECT_EQ(part->GetTargetPage(), -1);
        }
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        EXPECT_EQ(seen[node], 1) << VLMGetNodeName(node);
    EXPECT_EQ(prefixes.size(), 149);
}

TEST(SchematicLayout, PagesAreStoredInIndexOrderAndAccessorsAnswerNullOutOfRange)
{
    const char* names[] = {"FullBody", "Hands", "Feet", "Neck", "Spine", "LeftCollar", "RightCollar"};
    const int partCounts[] = {25, 62, 62, 10, 9, 2, 2};
    ASSERT_EQ(Layout().GetPageCount(), kSchematicPageCount);
    for (int i = 0; i < kSchematicPageCount; ++i) {
        const SchematicPageDef* page = Layout().GetPage(i);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->GetPageIndex(), i);
        EXPECT_EQ(page->GetName(), QLatin1String(names[i]));
        EXPECT_EQ(page->GetParts().size(), partCounts[i]) << names[i];
        EXPECT_EQ(page->GetArrows().size(), i == kPageFullBody ? 8 : 1) << names[i];
        EXPECT_EQ(page->GetInversions().size(), i == kPageFullBody ? 4 : 0) << names[i];
    }
    const SchematicPageDef* body = Layout().GetFirstPage();
    EXPECT_EQ(body, Layout().GetPage(kPageFullBody));
    EXPECT_FALSE(Layout().GetPage(-1) || Layout().GetPage(kSchematicPageCount));
    EXPECT_FALSE(body->GetPart(-1) || body->GetPart(body->GetParts().size()) || body->GetArrow(8) ||
                 body->GetInversion(4));
    EXPECT_FALSE(Layout().GetPage(kPageNeck)->GetFirstInversion() || SchematicPageDef().GetFirstPart());
    EXPECT_EQ(body->GetFirstInversion(), body->GetInversions().front());
}

// A go-to arrow summarises the parts of its side (all parts when it has none)
// on its target page: an empty group would have no state to show.
TEST(SchematicLayout, EveryGoToArrowSummarisesSomeParts)
{
    for (const SchematicItemDef* arrow : Layout().GetPage(kPageFullBody)->GetArrows()) {
        const SchematicPageDef* target = Layout().GetPage(arrow->GetTargetPage());
        ASSERT_NE(target, nullptr);
        ASSERT_NE(target->GetPageIndex(), kPageFullBody);
        int group = 0;
        bool nodeOnTarget = false;
        for (const SchematicItemDef* part : target->GetParts()) {
            nodeOnTarget = nodeOnTarget || part->GetNodeId() == arrow->GetNodeId();
            if (SideOf(arrow->GetNodeId()) < 0 || SideOf(part->GetNodeId()) == SideOf(arrow->GetNodeId()))
                ++group;
        }
        EXPECT_GT(group, 0) << arrow->GetToolTip().toStdString();
        EXPECT_TRUE(nodeOnTarget) << arrow->GetToolTip().toStdString();
    }
    // The return arrows stand for no node and take the user home.
    for (int i = kPageHands; i < kSchematicPageCount; ++i) {
        const SchematicItemDef* back = Layout().GetPage(i)->GetFirstArrow();
        EXPECT_EQ(back->GetNodeId(), -1);
        EXPECT_EQ(back->GetTargetPage(), kPageFullBody);
        EXPECT_TRUE(back->GetPicture().isEmpty());
    }
}

TEST(PartStates, OverlayKeysNameTheStateWithTheSelectionAdded)
{
    const StateRepresentation& states = Layout().GetStates();
    const struct {
        int mode;
        const char* tag;
    } modes[] = {{kSelectionSelected, "_Sel"}, {kSelectionPicking, "_Pick"}};
    QSet<int> overlayKeys;
    for (const auto& mode : modes) {
        for (int state = kPartUnassigned; state <= kPartError; ++state) {
            const int key = SelectionOverlayKey(mode.mode, state);
            overlayKeys.insert(key);
            QString expected = states.GetSuffix(state);
            expected.insert(expected.size() - 4, QLatin1String(mode.tag));
            EXPECT_EQ(states.GetSuffix(key), expected) << mode.tag << " state " << state;
        }
        // A state outside 0 to 3 looks unassigned.
        EXPECT_EQ(SelectionOverlayKey(mode.mode, 12), SelectionOverlayKey(mode.mode, kPartUnassigned));
    }
    EXPECT_EQ(overlayKeys.size(), 8);
    EXPECT_EQ(SelectionOverlayKey(kSelectionNone, kPartError), -1);
    EXPECT_TRUE(states.GetSuffix(-1).isEmpty());
    EXPECT_TRUE(states.GetSuffix(kPartStateCount).isEmpty());
    EXPECT_TRUE(SkelwrightDefinition().GetPicture(7).isEmpty());
}

}  // namespace
