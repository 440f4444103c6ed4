#include "sample_rig.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <array>

namespace {

std::array<float, 3> restPosition(const StandInHost& host, const QString& joint)
{
    CharacterJointGeometry g;
    EXPECT_TRUE(host.RestGeometry(joint, g)) << joint.toStdString();
    return {g.GetTranslate()[0], g.GetTranslate()[1], g.GetTranslate()[2]};
}

void loadSample(StandInHost& host, const QString& file)
{
    QString error;
    ASSERT_TRUE(host.LoadSkeletonFile(StandInHost::SamplePath(file), &error)) << error.toStdString();
}

QStringList signalLog(QSignalSpy& spy)
{
    QStringList out;
    for (const QList<QVariant>& args : spy) {
        QStringList strings;
        for (const QVariant& a : args)
            strings << a.toString();
        out << strings.join(QLatin1Char('<'));
    }
    return out;
}

}  // namespace

// Every sample reads, and is the same humanoid: each joint that the hand
// mapping assigns sits where the rig-named sample has that node, with the
// offsets summed down each sample's own hierarchy.
TEST(StandInHost, EverySampleLoadsTheSameHumanoidAtTheSamePlaces)
{
    const struct {
        int joints;  // End Sites are not joints
        const char* root;
        const char* joint;  // one joint and its parent
        const char* parent;
    } files[] = {
        {92, "Reference", "LeftLeg", "LeftUpLegRoll"},
        {83, "hero:Hips", "hero:LeftHandThumb1", "hero:LeftHand"},
        {92, "Character1_Reference", "Character1_LeftArmRoll", "Character1_LeftArm"},
        {84, "Bip01", "Bip01 L Clavicle", "Bip01 Neck"},
        {99, "root", "ik_hand_l", "ik_hand_gun"},
    };
    StandInHost rig;
    loadSample(rig, QStringLiteral("rig_names.bvh"));
    EXPECT_EQ(restPosition(rig, QStringLiteral("RightFootPinky2")), (std::array<float, 3>{-11.5f, 1.5f, 15}));
    EXPECT_EQ(restPosition(rig, QStringLiteral("RightHandIndex4")), (std::array<float, 3>{-86.5f, 144, 2.5f}));
    ASSERT_EQ(StandInHost::SampleFiles().size(), 5);
    for (int s = 0; s < 5; ++s) {
        const QString file = StandInHost::SampleFiles()[s];
        SCOPED_TRACE(file.toStdString());
        StandInHost host;
        loadSample(host, file);
        EXPECT_EQ(host.JointCount(), files[s].joints);
        EXPECT_EQ(host.JointNames().first(), QString::fromLatin1(files[s].root));
        EXPECT_TRUE(host.ParentOf(QString::fromLatin1(files[s].root)).isEmpty());
        EXPECT_EQ(host.ParentOf(QString::fromLatin1(files[s].joint)), QString::fromLatin1(files[s].parent));
        for (const QString& joint : host.JointNames()) {
            const int node = sample_rig::RigNodeOf(file, joint);
            if (node < 0)
                continue;
            EXPECT_EQ(restPosition(host, joint), restPosition(rig, QString::fromLatin1(VLMGetNodeName(node))))
                << joint.toStdString();
            CharacterJointGeometry g;
            host.RestGeometry(joint, g);
            EXPECT_TRUE(g.GetScale()[0] == 1.0f && g.GetScale()[2] == 1.0f && g.GetRotateQ()[3] == 1.0f);
        }
    }
}

TEST(StandInHost, AnswersTheHierarchyAndGeometryQuestions)
{
    StandInHost host;
    loadSample(host, QStringLiteral("rig_names.bvh"));
    QStringList nodes{QStringLiteral("kept")};
    host.GetSkeletonNodes(nodes);
    ASSERT_EQ(nodes.size(), 93);  // appended to what the caller passed
    EXPECT_EQ(nodes.mid(1), host.JointNames());

    QString parent;
    host.GetParentNode(QStringLiteral("LeftHandIndex1"), parent);
    EXPECT_EQ(parent, QStringLiteral("LeftHand"));
    parent.clear();
    host.GetParentNode(QStringLiteral("Reference"), parent);
    host.GetParentNode(QStringLiteral("NoSuchJoint"), parent);
    EXPECT_TRUE(parent.isEmpty());
    EXPECT_EQ(host.ParentQueries(), (QStringList{"LeftHandIndex1", "Reference", "NoSuchJoint"}));

    // A failing joint leaves the caller's record untouched.
    CharacterJointGeometry g;
    g.SetTranslate(-7, -7, -7);
    host.SetGeometryQueryFails(QStringLiteral("LeftHand"), true);
    EXPECT_FALSE(host.GetJointGeometry(QStringLiteral("LeftHand"), 11, g, true));
    EXPECT_EQ(g.GetTranslate()[0], -7.0f);
    EXPECT_FALSE(host.GetJointGeometry(QString(), -1, g, true));
    host.SetGeometryQueryFails(QStringLiteral("LeftHand"), false);
    EXPECT_TRUE(host.GetJointGeometry(QStringLiteral("LeftHand"), -1, g, true));
    EXPECT_EQ(g.GetTranslate()[0], 69.0f);
    const std::vector<StandInHost::GeometryQuery> expected = {
        {"LeftHand", 11, false}, {"", -1, false}, {"LeftHand", -1, true}};
    EXPECT_EQ(host.GeometryQueries(), expected);

    // Small scenes by hand.
    host.ClearScene();
    EXPECT_TRUE(host.AddJoint(QStringLiteral("a"), QString(), g));
    EXPECT_TRUE(host.AddJoint(QStringLiteral("b"), QStringLiteral("a"), g));
    EXPECT_FALSE(host.AddJoint(QStringLiteral("b"), QStringLiteral("a"), g));
    EXPECT_FALSE(host.AddJoint(QStringLiteral("c"), QStringLiteral("missing"), g));
    EXPECT_FALSE(host.AddJoint(QString(), QString(), g));
    EXPECT_EQ(host.JointNames(), (QStringList{"a", "b"}));
    EXPECT_EQ(host.ParentOf(QStringLiteral("b")), QStringLiteral("a"));
}

TEST(StandInHost, MovingAJointMovesItsSubtreeForTheNextQuestion)
{
    StandInHost host;
    loadSample(host, QStringLiteral("suffix_lower.bvh"));
    ASSERT_TRUE(host.MoveJoint(QStringLiteral("lowerarm_l"), 0, 5, -1));
    EXPECT_EQ(restPosition(host, QStringLiteral("upperarm_l"))[1], 144.0f);
    EXPECT_EQ(restPosition(host, QStringLiteral("lowerarm_twist_01_l"))[1], 149.0f);
    EXPECT_EQ(restPosition(host, QStringLiteral("pinky_04_l")), (std::array<float, 3>{83.5f, 149, -4.5f}));
    // A joint elsewhere that shares the position stays (the ik helper).
    EXPECT_EQ(restPosition(host, QStringLiteral("ik_hand_l"))[1], 144.0f);
    EXPECT_FALSE(host.MoveJoint(QStringLiteral("nothing"), 1, 0, 0));
}

TEST(StandInHost, LoadFailureKeepsTheSceneAndReportsFileAndLine)
{
    StandInHost host;
    loadSample(host, QStringLiteral("namespace_colon.bvh"));
    const QString bad = QStringLiteral(SKW_TEST_DATA_DIR "/bvh/duplicate_name.bvh");
    QString error;
    EXPECT_FALSE(host.LoadSkeletonFile(bad, &error));
    EXPECT_EQ(error, bad + QStringLiteral(":11: duplicate joint name 'LeftUpLeg' (first at line 6)"));
    EXPECT_EQ(host.JointCount(), 83);
    // A hand-built skeleton whose parent comes after its child.
    BvhSkeleton inconsistent;
    inconsistent.joints = {BvhJoint{"a", 1, {0, 0, 0}, 0, 0}, BvhJoint{"b", -1, {0, 0, 0}, 0, 0}};
    EXPECT_FALSE(host.LoadSkeleton(inconsistent));
    EXPECT_EQ(host.JointCount(), 83);
}

TEST(StandInHost, MutatorsEmitNewNameFirstAndRemovalBeforeTheSelection)
{
    StandInHost host;
    loadSample(host, QStringLiteral("rig_names.bvh"));
    host.SetSelection({QStringLiteral("LeftArm"), QStringLiteral("LeftForeArm")});
    host.SetGeometryQueryFails(QStringLiteral("LeftArm"), true);
    QSignalSpy renamed(&host, SIGNAL(NameChanged(QString, QString)));
    ASSERT_TRUE(host.RenameJoint(QStringLiteral("LeftArm"), QStringLiteral("L_UpperArm")));
    EXPECT_FALSE(host.RenameJoint(QStringLiteral("L_UpperArm"), QStringLiteral("Hips")));
    EXPECT_FALSE(host.RenameJoint(QStringLiteral("nothing"), QStringLiteral("x")));
    EXPECT_FALSE(host.RenameJoint(QStringLiteral("Hips"), QString()));
    EXPECT_EQ(signalLog(renamed), QStringList{"L_UpperArm<LeftArm"});
    // The selection, the hierarchy and the failing query follow the joint.
    EXPECT_EQ(host.ParentOf(QStringLiteral("LeftArmRoll")), QStringLiteral("L_UpperArm"));
    EXPECT_EQ(host.GetSelectedNodes().first(), QStringLiteral("L_UpperArm"));
    CharacterJointGeometry g;
    EXPECT_FALSE(host.GetJointGeometry(QStringLiteral("L_UpperArm"), 9, g, true));

    const auto rollBefore = restPosition(host, QStringLiteral("LeftForeArmRoll"));
    QStringList order;
    QObject::connect(&host, &IDCCHub::NodeRemoved, [&](const QString& n) { order << "removed " + n; });
    QObject::connect(&host, &IDCCHub::selectionChanged,
                     [&] { order << "selection " + host.GetSelectedNodes().join(QLatin1Char(',')); });
    ASSERT_TRUE(host.RemoveJoint(QStringLiteral("LeftForeArm")));
    EXPECT_EQ(order, (QStringList{"removed LeftForeArm", "selection L_UpperArm"}));
    // Children move up to the grandparent and keep their rest geometry; the
    // rest of the hierarchy survives the index shift.
    EXPECT_EQ(host.ParentOf(QStringLiteral("LeftForeArmRoll")), QStringLiteral("LeftArmRoll"));
    EXPECT_EQ(restPosition(host, QStringLiteral("LeftForeArmRoll")), rollBefore);
    EXPECT_EQ(host.ParentOf(QStringLiteral("RightHandPinky4")), QStringLiteral("RightHandPinky3"));
    order.clear();
    ASSERT_TRUE(host.RemoveJoint(QStringLiteral("Reference")));
    EXPECT_FALSE(host.RemoveJoint(QStringLiteral("Reference")));
    EXPECT_EQ(order, QStringList{"removed Reference"});  // not selected: no selection signal
    EXPECT_TRUE(host.ParentOf(QStringLiteral("Hips")).isEmpty());

    host.AddCharacterizationNode(QStringLiteral("Body"));
    host.AddCharacterizationNode(QStringLiteral("Extra"));
    QSignalSpy nodeRenamed(&host, SIGNAL(CharacterizationNameChanged(QString, QString)));
    QSignalSpy nodeRemoved(&host, SIGNAL(CharacterizationNodeRemoved(QString)));
    ASSERT_TRUE(host.RenameCharacterizationNode(QStringLiteral("Body"), QStringLiteral("Hero")));
    EXPECT_FALSE(host.RenameCharacterizationNode(QStringLiteral("Hero"), QStringLiteral("Extra")));
    EXPECT_FALSE(host.RenameCharacterizationNode(QStringLiteral("Body"), QStringLiteral("X")));
    ASSERT_TRUE(host.RemoveCharacterizationNode(QStringLiteral("Extra")));
    EXPECT_FALSE(host.RemoveCharacterizationNode(QStringLiteral("Extra")));
    EXPECT_EQ(signalLog(nodeRenamed), QStringList{"Hero<Body"});
    EXPECT_EQ(signalLog(nodeRemoved), QStringList{"Extra"});
    EXPECT_EQ(host.CharacterizationNodes(), QStringList{"Hero"});
}

TEST(StandInHost, RegistrationsFormMultisetsThatMustBalance)
{
    StandInHost host;
    host.RegisterAssignedNode(QStringLiteral("Hips"));
    host.RegisterAssignedNode(QStringLiteral("Hips"));
    host.UnregisterAssignedNode(QStringLiteral("Hips"));
    EXPECT_EQ(host.OutstandingJointRegistrations(), (QMap<QString, int>{{"Hips", 1}}));
    // A release without a registration does not cancel a later registration.
    host.UnregisterAssignedNode(QStringLiteral("Head"));
    host.RegisterAssignedNode(QStringLiteral("Head"));
    host.UnregisterAssignedNode(QStringLiteral("Hips"));
    EXPECT_EQ(host.UnmatchedJointReleases(), QStringList{"Head"});
    EXPECT_EQ(host.JointRegistrationCount(QStringLiteral("Head")), 1);
    host.UnregisterAssignedNode(QStringLiteral("Head"));
    EXPECT_TRUE(host.OutstandingJointRegistrations().isEmpty());
    EXPECT_FALSE(host.JointRegistrationsBalanced());  // the unmatched release stays on record

    host.RegisterCharacterizationNode(QStringLiteral("Body"));
    EXPECT_FALSE(host.CharacterizationRegistrationsBalanced());
    host.UnregisterCharacterizationNode(QStringLiteral("Body"));
    EXPECT_TRUE(host.CharacterizationRegistrationsBalanced());
    host.ClearRecords();
    EXPECT_TRUE(host.JointRegistrationsBalanced());
}

TEST(StandInHost, NotificationsAreRecordedInOrderAndNeverEmit)
{
    StandInHost host;
    loadSample(host, QStringLiteral("rig_names.bvh"));
    QSignalSpy selection(&host, SIGNAL(selectionChanged()));
    host.RegisterAssignedNode(QStringLiteral("Hips"));
    host.UpdateDccCharacterSkeleton(QString(), QStringLiteral("Hips"), QStringLiteral("Body"), 1, false);
    host.UpdateDccCharacterSkeleton(QStringLiteral("Hips"), QString(), QStringLiteral("Body"), 1, true);
    host.UpdateDccBoneInvertedState(10, true);
    host.UpdateDccCharacterUI();
    host.UpdateDccDeleteCharacter(QStringLiteral("Body"));
    host.SetCharacterState(nullptr, nullptr);
    host.SelectNode(QStringLiteral("LeftHand"));  // selects without announcing
    host.SelectNode(QStringLiteral("not in the scene"));
    const std::vector<StandInHost::SkeletonUpdate> updates = {{"", "Hips", "Body", 1, false},
                                                              {"Hips", "", "Body", 1, true}};
    EXPECT_EQ(host.SkeletonUpdates(), updates);
    EXPECT_EQ(host.NotificationLog(),
              (QStringList{"RegisterAssignedNode Hips", "UpdateDccCharacterSkeleton |Hips|Body|1|0",
                           "UpdateDccCharacterSkeleton Hips||Body|1|1", "UpdateDccBoneInvertedState 10|1",
                           "UpdateDccCharacterUI", "UpdateDccDeleteCharacter Body", "SetCharacterState",
                           "SelectNode LeftHand", "SelectNode not in the scene"}));
    EXPECT_EQ(host.CharacterUIUpdateCount(), 1);
    EXPECT_EQ(host.GetSelectedNodes(), QStringList{"LeftHand"});
    EXPECT_EQ(selection.count(), 0);
    host.SetSelection({QStringLiteral("Head"), QStringLiteral("Neck")});
    EXPECT_EQ(selection.count(), 1);
}

TEST(StandInHost, PostCharacterUpdateAndSanitizerBehaviourSwitch)
{
    StandInHost host;
    QList<bool> answers;
    for (StandInHost::PostUpdateMode mode :
         {StandInHost::PostUpdateNever, StandInHost::PostUpdateOnce, StandInHost::PostUpdateAlways}) {
        host.SetPostCharacterUpdateMode(mode);
        answers << host.PostCharacterUpdate(QStringLiteral("A")) << host.PostCharacterUpdate(QStringLiteral("B"));
    }
    EXPECT_EQ(answers, (QList<bool>{false, false, true, false, true, true}));
    EXPECT_EQ(host.PostUpdateQueries(), (QStringList{"A", "B", "A", "B", "A", "B"}));

    // Through the base class, as the model calls it.
    const IDCCHub& hub = host;
    host.SetBoneNameSanitizer(&StandInHost::StripNamespace);
    EXPECT_EQ(hub.SanitizeBoneName(QStringLiteral("a:b:LeftArm")), QStringLiteral("LeftArm"));
    EXPECT_EQ(hub.SanitizeBoneName(QStringLiteral("Bip01 L Hand")), QStringLiteral("Bip01 L Hand"));
    host.SetBoneNameSanitizer({});
    EXPECT_EQ(hub.SanitizeBoneName(QStringLiteral("X:Y")), QStringLiteral("X:Y"));
}
