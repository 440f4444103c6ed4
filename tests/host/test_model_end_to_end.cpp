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

    // The poll: the host raises the left hand (the arm is no longer along X)
    // and gives the forearm rotation limits, which makes validating with the
    // host ask for the joint's scene parent.
    host_.MoveJoint("Villain_LeftHand", 0, 20, 0);
    CharacterJointGeometry g;
    host_.RestGeometry("Villain_LeftForeArm", g);
    g.SetMaxRLimitEnable(false, true, false);
    host_.SetJointGeometry("Villain_LeftForeArm", g);
    host_.ClearRecords();
    Tick();
    EXPECT_FALSE(host_.ParentQueries().isEmpty());
    EXPECT_EQ(Model().GetStatus().state, 2);
    EXPECT_EQ(Model().NodeStatusAt(11).state, 2);

    // Locked in the warning state it is frozen, and the host hears nothing.
    host_.ClearRecords();
    Model().SetEditMode(true);
    EXPECT_FALSE(Polling());
    EXPECT_TRUE(host_.NotificationLog().isEmpty());
    // Selecting another characterization polls again; selecting the locked one
    // validates it from its frozen records without asking the host anything.
    Model().SetCurrentCharacterization(IndexOf(hero));
    EXPECT_TRUE(Polling());
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    host_.ClearRecords();
    Model().SetCurrentCharacterization(IndexOf(villain));
    EXPECT_FALSE(Polling());
    EXPECT_EQ(Model().NodeStatusAt(11).state, 2);
    EXPECT_TRUE(host_.NotificationLog().isEmpty() && host_.GeometryQueries().empty() && host_.ParentQueries().empty());

    // Unlocked with every joint still there; putting the hand back makes it valid.
    std::vector<int> missing;
    Model().FindMissingNodes(host_.JointNames(), missing);
    EXPECT_TRUE(missing.empty());
    Model().SetEditMode(false, missing);
    EXPECT_EQ(Model().GetStatus().state, 2);
    host_.MoveJoint("Villain_LeftHand", 0, -20, 0);
    Tick();
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));

    // Locked again while the scene's joints are renamed behind its back: every
    // joint is missing, and unlocking releases the listed ones.
    Model().SetEditMode(true);
    LoadRenamedSample("prefix_underscore.bvh", "Character1_", "Other_");
    Model().FindMissingNodes(host_.JointNames(), missing);
    EXPECT_EQ(int(missing.size()), host_.JointCount());
    host_.ClearRecords();
    Model().SetEditMode(false, {1, 9});
    EXPECT_TRUE(Polling());
    EXPECT_FALSE(Current().IsNodeAssigned(1) || Current().IsNodeAssigned(9));
    EXPECT_TRUE(Current().IsNodeAssigned(8));
    ASSERT_GE(host_.SkeletonUpdates().size(), 2u);
    EXPECT_EQ(host_.SkeletonUpdates()[0], (StandInHost::SkeletonUpdate{"Villain_Hips", "", "Villain", 1, false}));
    EXPECT_EQ(host_.PostUpdateQueries().size(), 1);
}
