// The name-match list driven as a user drives it: clicks, double clicks, the
// context menu and the completion dialog, with host selections arriving from
// a host that announces the selections it makes on request.
#include "view_fixture.h"

#include "screenshot.h"

namespace {

using NameMatchTest = ViewTest;

TEST_F(NameMatchTest, TextsAndBubblesFollowTheModel)
{
    SaveScreenshot(&page_, "name_match_empty");
    MatchScene();
    Model().ClearNode(NodeId("Spine1"));    // Spine2 now follows a hole: an error
    Model().ClearNode(NodeId("LeftHand"));  // a required node: its group and the whole are errors
    ASSERT_TRUE(Model().NodeStatusAt(NodeId("Spine2")).IsError());

    EXPECT_EQ(ItemOf("Hips")->text(0), "Hips : <Hips>");
    EXPECT_EQ(ItemOf("LeftHand")->text(0), "LeftHand : <Undefined>");
    EXPECT_EQ(ItemOf("LeftFootExtraFinger1")->text(0), "LeftFootBigToe1 : <Undefined>");
    for (int node : {8, 20}) {  // first in its base group, again at the head of its chain
        const QList<QTreeWidgetItem*> items = ItemsOf(node);
        ASSERT_EQ(items.size(), 2);
        EXPECT_EQ(items[0]->parent()->text(0), node == 8 ? "Base (required)" : "Auxiliary");
        EXPECT_EQ(items[1]->parent()->text(0), node == 8 ? "Spine" : "Neck");
        EXPECT_EQ(items[1]->parent()->indexOfChild(items[1]), 0);
        EXPECT_EQ(items[0]->text(0), items[1]->text(0));
        EXPECT_EQ(Bubble(items[0]), Bubble(items[1]));
    }
    for (int node : {0, 170, 171})
        EXPECT_TRUE(ItemsOf(node).isEmpty()) << node;

    EXPECT_EQ(Bubble(ItemOf("Hips")), "BubbleSmall_Green.png");
    EXPECT_EQ(Bubble(ItemOf("LeftHand")), "BubbleSmall_Gray.png");
    EXPECT_EQ(Bubble(ItemOf("Spine2")), "BubbleSmall_Red.png");
    EXPECT_EQ(Bubble(Group("Base (required)")), "BubbleSmall_Red.png");
    EXPECT_EQ(Bubble(Group("Spine")), "BubbleSmall_Red.png");
    EXPECT_EQ(Bubble(Group("Left Hand")), "BubbleSmall_Green.png");
    EXPECT_EQ(Bubble(Group("Body")), "BubbleSmall_Red.png");
    SaveScreenshot(&page_, "name_match_errors");

    Model().AssignNode(NodeId("LeftHand"), "LeftHand");
    Model().AssignNode(NodeId("Spine1"), "Spine1");
    Model().Refresh();
    EXPECT_EQ(Bubble(Group("Base (required)")), "BubbleSmall_Green.png");
    EXPECT_EQ(Bubble(Group("Body")), "BubbleSmall_Green.png");
    SaveScreenshot(&page_, "name_match_matched");

    // Without a characterization nothing shows as assigned.
    Model().RemoveCurrentCharacterization();
    Model().Refresh();
    EXPECT_EQ(ItemOf("Hips")->text(0), "Hips : <Undefined>");
    EXPECT_EQ(Bubble(ItemOf("Hips")), "BubbleSmall_Gray.png");
    EXPECT_EQ(Bubble(Group("Body")), "BubbleSmall_Gray.png");
}

TEST_F(NameMatchTest, ClicksEditNodesAndHighlightTheirBubbles)
{
    MatchScene();
    Model().ClearNode(NodeId("Spine1"));
    QTreeWidgetItem* hips = ItemOf("Hips");
    QTreeWidgetItem* spine2 = ItemOf("Spine2");

    DoubleClick(hips);
    EXPECT_EQ(Model().GetEditedPart(), NodeId("Hips"));
    EXPECT_TRUE(Model().IsEditedPartReadWrite());
    EXPECT_EQ(Bubble(hips), "BubbleSmall_Green_Highlight.png");
    Model().Refresh();  // a re-read puts the normal bubble back
    EXPECT_EQ(Bubble(hips), "BubbleSmall_Green.png");

    // An error node being edited keeps its red colour.
    Group("Spine")->setExpanded(true);
    DoubleClick(spine2);
    EXPECT_EQ(Bubble(spine2), "BubbleSmall_Red_Highlight.png");
    SaveScreenshot(&page_, "name_match_highlight_error");

    // A single click edits read-only and selects the node's joint in the host.
    dcc_.ClearRecords();
    Click(hips);
    EXPECT_EQ(Model().GetEditedPart(), NodeId("Hips"));
    EXPECT_FALSE(Model().IsEditedPartReadWrite());
    EXPECT_EQ(Bubble(hips), "BubbleSmall_Green.png");
    EXPECT_EQ(Bubble(spine2), "BubbleSmall_Red.png");
    EXPECT_EQ(dcc_.NotificationLog().filter("SelectNode"), QStringList{"SelectNode Hips"});

    // Node 8 is marked in "Base (required)", not in "Spine"; a node without
    // an item leaves nothing current, as no node does.
    for (int node : {8, 0, 8, -1, 170}) {
        Model().SetEditedPart(node, false);
        EXPECT_EQ(tree_->currentItem(), node == 8 ? ItemsOf(8)[0] : nullptr) << node;
    }
}

// Host selection while a node is edited read-write.
TEST_F(NameMatchTest, HostSelectionAssignsOnlyOneJointToTheCurrentNodeOfAVisibleList)
{
    Model().AssignNode(NodeId("LeftArm"), "LeftArm");
    Model().AssignNode(NodeId("RightArm"), "RightArm");

    // The host announces its selection from inside the request made by the
    // click on RightArm, while LeftArm is still being edited read-write:
    // nothing may land on LeftArm (no question, LeftArm keeps its joint).
    DoubleClick(ItemOf("LeftArm"));
    Click(ItemOf("RightArm"));
    EXPECT_EQ(dcc_.GetSelectedNodes(), QStringList{"RightArm"});
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "LeftArm");
    EXPECT_EQ(Model().GetEditedPart(), NodeId("RightArm"));

    DoubleClick(ItemOf("LeftHand"));
    dcc_.SetSelection({"LeftHand", "LeftForeArm"});
    list_->hide();
    dcc_.SetSelection({"LeftHand"});
    list_->show();
    Model().SetEditedPart(0, true);  // picking the reference node, which has no item
    dcc_.SetSelection({"LeftHand"});
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHand")), "");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("Reference")), "");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "RightArm");

    DoubleClick(ItemOf("LeftHand"));
    dcc_.SetSelection({"LeftHand"});
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHand")), "LeftHand");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

struct MenuCase {
    const char* name;
    const char* item;  // a node's item or a group
    QStringList selection;
    bool locked;
    bool defaultCharacterization;
    std::vector<bool> enabled;  // Assign, Change, Clear, Clear All, Invert
};
void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.name; }

class NameMatchMenu : public ViewTest, public testing::WithParamInterface<MenuCase> { };

TEST_P(NameMatchMenu, EnablesTheEntriesThatCanAct)
{
    const MenuCase& c = GetParam();
    if (c.defaultCharacterization)
        Model().SetCurrentCharacterization(0);  // "--- None ---"
    Model().GetCurrentCharacterization()->SetLocked(c.locked);
    dcc_.SetSelection(c.selection);
    QTreeWidgetItem* item = QString(c.item).contains(' ') ? Group(c.item) : ItemOf(c.item);
    std::vector<bool> enabled;
    RightClick(item, [&enabled](QMenu* menu) {
        for (const char* entry :
             {"Assign Selected Bone", "Change Assigned Bone...", "Clear", "Clear All", "Invert Joint"})
            enabled.push_back(FindMenuEntry(menu, entry)->isEnabled());
        menu->close();
    });
    EXPECT_EQ(enabled, c.enabled);
}

// clang-format off
const MenuCase kMenuCases[] = {
    {"Node", "LeftArm", {"LeftArm"}, false, false, {true, true, true, true, false}},
    {"EmptySelection", "LeftArm", {}, false, false, {false, true, true, true, false}},
    {"Invertible", "LeftLeg", {"LeftArm"}, false, false, {true, true, true, true, true}},
    {"Group", "Base (required)", {"LeftArm"}, false, false, {false, false, true, true, false}},
    {"Locked", "LeftLeg", {"LeftArm"}, true, false, {false, false, false, false, false}},
    {"Default", "LeftLeg", {"LeftArm"}, false, true, {false, false, false, false, false}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Menu, NameMatchMenu, testing::ValuesIn(kMenuCases),
                         [](const testing::TestParamInfo<MenuCase>& p) { return std::string(p.param.name); });

TEST_F(NameMatchTest, MenuEntriesAct)
{
    MatchScene();
    Choose(ItemOf("LeftArm"), "Clear");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "");
    EXPECT_EQ(ItemOf("LeftArm")->text(0), "LeftArm : <Undefined>");

    Choose(ItemOf("LeftLeg"), "Invert Joint");
    EXPECT_TRUE(Current().GetBoneInversion().flags[IDCCHub::LeftLegBone]);

    dcc_.SetSelection({"LeftArm"});
    Choose(ItemOf("LeftArm"), "Assign Selected Bone");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "LeftArm");
    EXPECT_FALSE(Model().IsEditedPartReadWrite());

    dcc_.SetSelection({"LeftArm", "LeftHand"});  // enabled, but two joints assign nothing
    Choose(ItemOf("LeftArm"), "Clear");
    Choose(ItemOf("LeftArm"), "Assign Selected Bone");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "");

    // A completion that is refused (empty) assigns nothing; a listed one does.
    bool refused = false;
    AnswerCompletion("", &refused);
    Choose(ItemOf("LeftArm"), "Change Assigned Bone...");
    EXPECT_TRUE(refused);
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "");
    AnswerCompletion("leftarm");
    Choose(ItemOf("LeftArm"), "Change Assigned Bone...");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "LeftArm");

    Choose(Group("Body"), "Clear All");
    EXPECT_EQ(AssignedCount(), 0);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(NameMatchTest, DoubleClickRefusesTheDefaultAndALockedCharacterization)
{
    const QString notCreated = "You must create a new characterization before you can edit its bone mappings.";
    const QString locked =
        "The current characterization is locked.\nYou must unlock it before you can edit its bone mappings.";
    boxes_.Answer(QMessageBox::Ok).Answer(QMessageBox::Ok);
    Current().SetLocked(true);
    DoubleClick(ItemOf("Hips"));
    Model().SetCurrentCharacterization(0);  // "--- None ---"
    DoubleClick(ItemOf("Hips"));

    EXPECT_EQ(boxes_.Titles(), QStringList({"Characterization Locked", "Characterization Not Created"}));
    EXPECT_EQ(boxes_.Texts(), QStringList({locked, notCreated}));
    EXPECT_FALSE(Model().IsEditedPartReadWrite());
}

}  // namespace
