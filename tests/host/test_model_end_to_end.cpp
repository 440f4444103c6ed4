#include "model_fixture.h"

// A host drives two characterizations through the model: creation,
// automatic matching, a mapping template, mirroring, the poll and the lock.
TEST_F(ModelTest, HostDrivesCharacterizationsEndToEnd)
{
    LoadSample("prefix_underscore.bvh");
    Characterization* hero = AddNamed("Hero");
    EXPECT_EQ(host_.OutstandingCharacterizationRegistrations().value("Hero"), 1);
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(3, "Missing required bones."));

    // Automatic matching maps the rig-named skeleton to a valid characterization.
    AutoMatchScene();
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    for (int node = 1; node <= 15; ++node)
        EXPECT_EQ(Model().NodeStatusAt(node).state, 1) << node;
    EXPECT_EQ(Model().GetGroupStatus({1, 2, 3}), 1);
    EXPECT_EQ(Model().GetGroupStatus({49}), 0);  // HipsTranslation: unassigned, not required
    EXPECT_EQ(Model().GetGroupStatus({16, 49}), 1);

    // Its convention becomes a template.
    QString prefix;
    ASSERT_TRUE(Model().GuessTemplatePrefix(prefix));
    EXPECT_EQ(prefix, "Character1_");
    const QByteArray path = TemplatePath("character.xml").toUtf8();
    Model().SaveMappingTemplate(path.constData(), prefix);

    // A second skeleton named the same way, in a second characterization.
    StandInHost second;
    ASSERT_TRUE(second.LoadSkeletonFile(StandInHost::SamplePath("prefix_underscore.bvh")));
    host_.ClearScene();
    for (const QString& joint : second.JointNames()) {
        CharacterJointGeometry g;
        second.RestGeometry(joint, g);
        QString parent = second.ParentOf(joint);
        ASSERT_TRUE(host_.AddJoint(QString(joint).replace("Character1_", "Villain_"),
                                   parent.replace("Character1_", "Villain_"), g));
    }
    Characterization* villain = AddNamed("Villain");
    host_.SetSelection({"Villain_Hips"});
    prefix.clear();
    ASSERT_TRUE(Model().GuessPrefixFromNames(host_.GetSelectedNodes(), prefix));
    EXPECT_EQ(prefix, "Villain_");
    Model().ApplyMappingTemplate(path.constData(), 0, prefix);
    EXPECT_EQ(AssignedCount(), host_.JointCount());
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));

    // Mirroring: the right arm cleared, the left one assigned again with
    // mirror mode on hands back the right one.
    Model().ClearNode(12);
    EXPECT_EQ(Model().GetStatus().state, 3);
    EXPECT_EQ(Model().GetGroupStatus({9, 12}), 3);  // a required node unassigned
    Model().SetMirrorMode(true);
    int mirrorNode = -1;
    QString mirrorJoint;
    Model().AssignNodeAndFindMirror(9, "Villain_LeftArm", mirrorNode, mirrorJoint);
    ASSERT_EQ(mirrorNode, 12);
    EXPECT_EQ(mirrorJoint, "Villain_RightArm");
    Model().SetMirrorMode(false);
    Model().AssignNodeAndFindMirror(mirrorNode, mirrorJoint, mirrorNode, mirrorJoint);
    EXPECT_EQ(mirrorNode, -1);
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));

    // The poll: the host raises the left hand; the arm is no longer along X.
    host_.MoveJoint("Villain_LeftHand", 0, 20, 0);
    SignalCounter polled(Model());
    Tick();
    EXPECT_EQ(polled.changed.count(), 1);
    EXPECT_EQ(Model().GetStatus().state, 2);
    EXPECT_FALSE(Model().GetStatus().message.empty());
    EXPECT_EQ(Model().NodeStatusAt(11).state, 2);
    EXPECT_EQ(Model().NodeStatusAt(1).state, 1);

    // Locking a characterization in the warning state freezes it.
    ASSERT_TRUE(Model().GetStatus().IsOkOrWarning());
    Model().SetEditMode(true);
    EXPECT_FALSE(Polling());

    // Back to the first characterization: unlocked, valid, polled.
    Model().SetCurrentCharacterization(IndexOf(hero));
    EXPECT_TRUE(Polling());
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    // The locked one validates again from its frozen records, without the host.
    host_.ClearRecords();
    Model().SetCurrentCharacterization(IndexOf(villain));
    EXPECT_FALSE(Polling());
    EXPECT_EQ(Model().GetStatus().state, 2);
    EXPECT_EQ(Model().NodeStatusAt(11).state, 2);
    EXPECT_TRUE(host_.NotificationLog().isEmpty());
    EXPECT_TRUE(host_.GeometryQueries().empty());

    // Unlocking with every joint still in the skeleton releases nothing.
    QStringList skeleton;
    host_.GetSkeletonNodes(skeleton);
    std::vector<int> missing;
    Model().FindMissingNodes(skeleton, missing);
    EXPECT_TRUE(missing.empty());
    Model().SetEditMode(false, missing);
    EXPECT_TRUE(Polling());
    EXPECT_EQ(AssignedCount(), host_.JointCount());
    EXPECT_EQ(Model().GetStatus().state, 2);

    // Putting the hand back makes it valid on the next tick.
    host_.MoveJoint("Villain_LeftHand", 0, -20, 0);
    Tick();
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
}
