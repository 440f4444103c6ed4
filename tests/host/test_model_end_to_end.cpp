#include "model_fixture.h"

// A host drives two characterizations through the model: creation,
// automatic matching, a mapping template, mirroring, the poll and the lock.
TEST_F(ModelTest, HostDrivesCharacterizationsEndToEnd)
{
    LoadSample("prefix_underscore.bvh");
    Characterization* hero = AddNamed("Hero");
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(3, "Missing required bones."));

    // Automatic matching maps the rig-named skeleton to a valid characterization.
    AutoMatchScene();
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    EXPECT_EQ(Model().GetGroupStatus({1, 2, 3}), 1);
    EXPECT_EQ(Model().GetGroupStatus({49}), 0);  // HipsTranslation: unassigned, not required

    // Its convention becomes a template, applied to a second skeleton named the
    // same way with another prefix, in a second characterization.
    QString prefix;
    ASSERT_TRUE(Model().GuessTemplatePrefix(prefix));
    const QByteArray path = TemplatePath("character.xml").toUtf8();
    Model().SaveMappingTemplate(path.constData(), prefix);
    LoadRenamedSample("prefix_underscore.bvh", "Character1_", "Villain_");
    Characterization* villain = AddNamed("Villain");
    host_.SetSelection({"Villain_Hips"});
    ASSERT_TRUE(Model().GuessPrefixFromNames(host_.GetSelectedNodes(), prefix));
    Model().ApplyMappingTemplate(path.constData(), 0, prefix);
    EXPECT_EQ(AssignedCount(), host_.JointCount());
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));

    // Mirroring: the right arm cleared, the left one assigned again with
    // mirror mode on hands back the right one.
    Model().ClearNode(12);
    EXPECT_EQ(Model().GetGroupStatus({9, 12}), 3);  // a required node unassigned
    Model().SetMirrorMode(true);
    int mirrorNode = -1;
    QString mirrorJoint;
    Model().AssignNodeAndFindMirror(9, "Villain_LeftArm", mirrorNode, mirrorJoint);
    ASSERT_EQ(mirrorNode, 12);
    EXPECT_EQ(mirrorJoint, "Villain_RightArm");
    Model().SetMirrorMode(false);
    Model().AssignNodeAndFindMirror(mirrorNode, mirrorJoint, mirrorNode, mirrorJoint);
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));

    // The poll: the host raises the left hand; the arm is no longer along X.
    host_.MoveJoint("Villain_LeftHand", 0, 20, 0);
    Tick();
    EXPECT_EQ(Model().GetStatus().state, 2);
    EXPECT_EQ(Model().NodeStatusAt(11).state, 2);

    // Locked in the warning state it is frozen; the first characterization is
    // unlocked, valid and polled.
    Model().SetEditMode(true);
    EXPECT_FALSE(Polling());
    Model().SetCurrentCharacterization(IndexOf(hero));
    EXPECT_TRUE(Polling());
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    // The locked one validates again from its frozen records, without the host.
    host_.ClearRecords();
    Model().SetCurrentCharacterization(IndexOf(villain));
    EXPECT_EQ(Model().NodeStatusAt(11).state, 2);
    EXPECT_TRUE(host_.NotificationLog().isEmpty() && host_.GeometryQueries().empty());

    // Unlocked with every joint still there; putting the hand back makes it valid.
    std::vector<int> missing;
    Model().FindMissingNodes(host_.JointNames(), missing);
    EXPECT_TRUE(missing.empty());
    Model().SetEditMode(false, missing);
    EXPECT_EQ(Model().GetStatus().state, 2);
    host_.MoveJoint("Villain_LeftHand", 0, -20, 0);
    Tick();
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
}
