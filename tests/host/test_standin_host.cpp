#include "standin_host.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

struct Point {
    float x, y, z;
};

Point restPosition(const StandInHost& host, const QString& joint)
{
    CharacterJointGeometry g;
    EXPECT_TRUE(host.RestGeometry(joint, g)) << joint.toStdString();
    return {g.GetTranslate()[0], g.GetTranslate()[1], g.GetTranslate()[2]};
}

void loadSample(StandInHost& host, const char* file)
{
    QString error;
    ASSERT_TRUE(host.LoadSkeletonFile(StandInHost::SamplePath(QString::fromLatin1(file)), &error))
        << error.toStdString();
}

// The same rig nodes under each sample's names, in the order of
// StandInHost::SampleFiles().
struct Correspondence {
    const char* names[5];
    Point position;  // where the sample generator put the joint
};

const Correspondence kCorrespondences[] = {
    {{"Hips", "hero:Hips", "Character1_Hips", "Bip01 Pelvis", "pelvis"}, {0, 100, 0}},
    {{"LeftUpLeg", "hero:LeftUpLeg", "Character1_LeftUpLeg", "Bip01 L Thigh", "thigh_l"}, {9, 94, 0}},
    {{"RightUpLeg", "hero:RightUpLeg", "Character1_RightUpLeg", "Bip01 R Thigh", "thigh_r"}, {-9, 94, 0}},
    {{"LeftLeg", "hero:LeftLeg", "Character1_LeftLeg", "Bip01 L Calf", "calf_l"}, {9, 52, 0}},
    {{"LeftFoot", "hero:LeftFoot", "Character1_LeftFoot", "Bip01 L Foot", "foot_l"}, {9, 10, 0}},
    {{"RightFootPinky2", "hero:RightFootPinky2", "Character1_RightFootPinky2", "Bip01 R Toe41",
      "littletoe_02_r"}, {-11.5f, 1.5f, 15}},
    {{"LeftArm", "hero:LeftArm", "Character1_LeftArm", "Bip01 L UpperArm", "upperarm_l"}, {15, 144, 0}},
    {{"LeftForeArm", "hero:LeftForeArm", "Character1_LeftForeArm", "Bip01 L Forearm", "lowerarm_l"},
     {43, 144, 0}},
    {{"LeftHand", "hero:LeftHand", "Character1_LeftHand", "Bip01 L Hand", "hand_l"}, {69, 144, 0}},
    {{"RightArm", "hero:RightArm", "Character1_RightArm", "Bip01 R UpperArm", "upperarm_r"}, {-15, 144, 0}},
    {{"RightHand", "hero:RightHand", "Character1_RightHand", "Bip01 R Hand", "hand_r"}, {-69, 144, 0}},
    {{"LeftHandThumb3", "hero:LeftHandThumb3", "Character1_LeftHandThumb3", "Bip01 L Finger02", "thumb_03_l"},
     {76.5f, 143, 5.5f}},
    {{"RightHandIndex4", "hero:RightHandIndex4", "Character1_RightHandIndex4", "Bip01 R Finger1Nub",
      "index_04_r"}, {-86.5f, 144, 2.5f}},
    {{"Head", "hero:Head", "Character1_Head", "Bip01 Head", "head"}, {0, 161, 0}},
};

// Joints that a characterization would not map, or that the validators skip
// (roll and twist joints), by sample.
bool ignoredForPositions(int sample, const QString& name)
{
    if (name.contains(QLatin1String("Roll")) || name.contains(QLatin1String("twist")) ||
        name.contains(QLatin1String("Twist")))
        return true;
    if (sample == 3)
        return name == QLatin1String("Bip01");
    if (sample == 4)
        return name == QLatin1String("root") || name.startsWith(QLatin1String("ik_"));
    return false;
}

} // namespace

TEST(StandInHostSamples, EverySampleHasTheSameHumanoidAtTheSamePlaces)
{
    const QStringList files = StandInHost::SampleFiles();
    for (int s = 0; s < files.size(); ++s) {
        SCOPED_TRACE(files[s].toStdString());
        StandInHost host;
        loadSample(host, files[s].toLatin1().constData());
        for (const Correspondence& c : kCorrespondences) {
            const QString name = QString::fromLatin1(c.names[s]);
            ASSERT_TRUE(host.HasNode(name)) << c.names[s];
            const Point p = restPosition(host, name);
            EXPECT_EQ(p.x, c.position.x) << c.names[s];
            EXPECT_EQ(p.y, c.position.y) << c.names[s];
            EXPECT_EQ(p.z, c.position.z) << c.names[s];
            CharacterJointGeometry g;
            host.RestGeometry(name, g);
            EXPECT_EQ(g.GetScale()[0], 1.0f);
            EXPECT_EQ(g.GetScale()[2], 1.0f);
            EXPECT_EQ(g.GetRotateQ()[3], 1.0f);
            EXPECT_EQ(g.GetLimitEnableMask(), 0);
        }
    }
}

TEST(StandInHostSamples, TPoseArmsAlongXLegsDownAndNoTwoMappedJointsTogether)
{
    const QStringList files = StandInHost::SampleFiles();
    for (int s = 0; s < files.size(); ++s) {
        SCOPED_TRACE(files[s].toStdString());
        StandInHost host;
        loadSample(host, files[s].toLatin1().constData());
        auto at = [&](int row) { return restPosition(host, QString::fromLatin1(kCorrespondences[row].names[s])); };
        // Rows: 1 LeftUpLeg, 2 RightUpLeg, 3 LeftLeg, 4 LeftFoot, 6 LeftArm,
        // 7 LeftForeArm, 8 LeftHand, 9 RightArm, 10 RightHand.
        const Point lArm = at(6), lFore = at(7), lHand = at(8), rArm = at(9), rHand = at(10);
        // The arm checks want the arm-to-hand direction on the X axis itself.
        EXPECT_TRUE(lArm.y == lHand.y && lArm.z == lHand.z && lHand.x > lFore.x && lFore.x > lArm.x);
        EXPECT_TRUE(rArm.y == rHand.y && rArm.z == rHand.z && rHand.x < rArm.x);
        const Point lUp = at(1), rUp = at(2), lLeg = at(3), lFoot = at(4);
        EXPECT_TRUE(lUp.y == rUp.y && lUp.z == rUp.z && lUp.x > rUp.x);  // hips across +X
        EXPECT_TRUE(lUp.x == lLeg.x && lLeg.x == lFoot.x && lUp.z == lFoot.z && lUp.y > lLeg.y &&
                    lLeg.y > lFoot.y);

        // No two joints that a mapping uses share a position (or nearly).
        const QStringList joints = host.JointNames();
        std::vector<std::pair<QString, Point>> used;
        for (const QString& j : joints) {
            if (!ignoredForPositions(s, j))
                used.emplace_back(j, restPosition(host, j));
        }
        for (std::size_t a = 0; a < used.size(); ++a) {
            for (std::size_t b = a + 1; b < used.size(); ++b) {
                const Point& p = used[a].second;
                const Point& q = used[b].second;
                const bool near = std::fabs(p.x - q.x) < 1e-3f && std::fabs(p.y - q.y) < 1e-3f &&
                                  std::fabs(p.z - q.z) < 1e-3f;
                EXPECT_FALSE(near) << used[a].first.toStdString() << " and " << used[b].first.toStdString();
            }
        }
    }
}

TEST(StandInHostScene, AnswersTheHierarchyAndGeometryQuestions)
{
    StandInHost host;
    loadSample(host, "rig_names.bvh");
    EXPECT_EQ(host.JointCount(), 92);
    QStringList nodes{QStringLiteral("kept")};
    host.GetSkeletonNodes(nodes);
    ASSERT_EQ(nodes.size(), 93);  // appended to what the caller passed
    EXPECT_EQ(nodes[0], QStringLiteral("kept"));
    EXPECT_EQ(nodes.mid(1), host.JointNames());
    EXPECT_EQ(host.JointNames().first(), QStringLiteral("Reference"));

    QString parent;
    host.GetParentNode(QStringLiteral("LeftHandIndex1"), parent);
    EXPECT_EQ(parent, QStringLiteral("LeftHand"));
    parent.clear();
    host.GetParentNode(QStringLiteral("Reference"), parent);
    EXPECT_TRUE(parent.isEmpty());
    host.GetParentNode(QStringLiteral("NoSuchJoint"), parent);
    EXPECT_TRUE(parent.isEmpty());
    EXPECT_EQ(host.ParentQueries(),
              (QStringList{"LeftHandIndex1", "Reference", "NoSuchJoint"}));

    CharacterJointGeometry g;
    ASSERT_TRUE(host.GetJointGeometry(QStringLiteral("LeftHand"), 11, g, true));
    EXPECT_EQ(g.GetTranslate()[0], 69.0f);

    // A failing joint leaves the caller's record untouched.
    host.SetGeometryQueryFails(QStringLiteral("LeftHand"), true);
    CharacterJointGeometry sentinel;
    sentinel.SetTranslate(-7, -7, -7);
    EXPECT_FALSE(host.GetJointGeometry(QStringLiteral("LeftHand"), 11, sentinel, true));
    EXPECT_EQ(sentinel.GetTranslate()[0], -7.0f);
    EXPECT_FALSE(host.GetJointGeometry(QString(), -1, sentinel, true));
    host.SetGeometryQueryFails(QStringLiteral("LeftHand"), false);
    EXPECT_TRUE(host.GetJointGeometry(QStringLiteral("LeftHand"), -1, sentinel, true));

    const std::vector<StandInHost::GeometryQuery> expected = {
        {"LeftHand", 11, true}, {"LeftHand", 11, false}, {"", -1, false}, {"LeftHand", -1, true}};
    EXPECT_EQ(host.GeometryQueries(), expected);
}

TEST(StandInHostScene, MovingAJointMovesItsSubtreeForTheNextQuestion)
{
    StandInHost host;
    loadSample(host, "suffix_lower.bvh");
    ASSERT_TRUE(host.MoveJoint(QStringLiteral("lowerarm_l"), 0, 5, -1));
    EXPECT_EQ(restPosition(host, QStringLiteral("upperarm_l")).y, 144.0f);
    EXPECT_EQ(restPosition(host, QStringLiteral("lowerarm_l")).y, 149.0f);
    EXPECT_EQ(restPosition(host, QStringLiteral("lowerarm_twist_01_l")).y, 149.0f);
    const Point tip = restPosition(host, QStringLiteral("pinky_04_l"));
    EXPECT_EQ(tip.y, 149.0f);
    EXPECT_EQ(tip.z, -4.5f);
    // A joint elsewhere that shares the position stays (the ik helper).
    EXPECT_EQ(restPosition(host, QStringLiteral("ik_hand_l")).y, 144.0f);
    EXPECT_FALSE(host.MoveJoint(QStringLiteral("nothing"), 1, 0, 0));

    CharacterJointGeometry bent;
    bent.SetTranslate(1, 2, 3);
    bent.SetRotateQ(0, 0, 0.70710677f, 0.70710677f);
    ASSERT_TRUE(host.SetJointGeometry(QStringLiteral("head"), bent));
    CharacterJointGeometry g;
    ASSERT_TRUE(host.GetJointGeometry(QStringLiteral("head"), 15, g, true));
    EXPECT_TRUE(g == bent);
}

TEST(StandInHostScene, LoadFailureKeepsTheSceneAndReportsFileAndLine)
{
    StandInHost host;
    loadSample(host, "namespace_colon.bvh");
    const QString bad = QStringLiteral(SKW_TEST_DATA_DIR "/bvh/duplicate_name.bvh");
    QString error;
    EXPECT_FALSE(host.LoadSkeletonFile(bad, &error));
    EXPECT_EQ(error, bad + QStringLiteral(":11: duplicate joint name 'LeftUpLeg' (first at line 6)"));
    EXPECT_EQ(host.JointCount(), 83);
    EXPECT_TRUE(host.HasNode(QStringLiteral("hero:Hips")));

    BvhSkeleton inconsistent;
    inconsistent.joints.resize(2);
    inconsistent.joints[0].name = "a";
    inconsistent.joints[0].parent = 1;  // a parent after its child
    inconsistent.joints[1].name = "b";
    EXPECT_FALSE(host.LoadSkeleton(inconsistent));
    EXPECT_EQ(host.JointCount(), 83);
}

TEST(StandInHostScene, AddJointBuildsSmallScenes)
{
    StandInHost host;
    CharacterJointGeometry g;
    EXPECT_TRUE(host.AddJoint(QStringLiteral("a"), QString(), g));
    EXPECT_TRUE(host.AddJoint(QStringLiteral("b"), QStringLiteral("a"), g));
    EXPECT_FALSE(host.AddJoint(QStringLiteral("b"), QStringLiteral("a"), g));
    EXPECT_FALSE(host.AddJoint(QStringLiteral("c"), QStringLiteral("missing"), g));
    EXPECT_FALSE(host.AddJoint(QString(), QString(), g));
    EXPECT_EQ(host.ParentOf(QStringLiteral("b")), QStringLiteral("a"));
    host.ClearScene();
    EXPECT_EQ(host.JointCount(), 0);
}

TEST(StandInHostMutators, RenameEmitsNewThenOldAndFollowsTheJoint)
{
    StandInHost host;
    loadSample(host, "rig_names.bvh");
    host.SetSelection({QStringLiteral("LeftArm")});
    host.SetGeometryQueryFails(QStringLiteral("LeftArm"), true);
    QSignalSpy renamed(&host, SIGNAL(NameChanged(QString,QString)));

    ASSERT_TRUE(host.RenameJoint(QStringLiteral("LeftArm"), QStringLiteral("L_UpperArm")));
    ASSERT_EQ(renamed.count(), 1);
    EXPECT_EQ(renamed.at(0).at(0).toString(), QStringLiteral("L_UpperArm"));
    EXPECT_EQ(renamed.at(0).at(1).toString(), QStringLiteral("LeftArm"));
    EXPECT_FALSE(host.HasNode(QStringLiteral("LeftArm")));
    EXPECT_EQ(host.ParentOf(QStringLiteral("LeftArmRoll")), QStringLiteral("L_UpperArm"));
    EXPECT_EQ(host.GetSelectedNodes(), QStringList{QStringLiteral("L_UpperArm")});
    CharacterJointGeometry g;
    EXPECT_FALSE(host.GetJointGeometry(QStringLiteral("L_UpperArm"), 9, g, true));

    EXPECT_FALSE(host.RenameJoint(QStringLiteral("L_UpperArm"), QStringLiteral("Hips")));
    EXPECT_FALSE(host.RenameJoint(QStringLiteral("nothing"), QStringLiteral("x")));
    EXPECT_FALSE(host.RenameJoint(QStringLiteral("Hips"), QString()));
    EXPECT_EQ(renamed.count(), 1);
}

TEST(StandInHostMutators, RemoveReparentsChildrenAndAnnouncesRemovalBeforeSelection)
{
    StandInHost host;
    loadSample(host, "rig_names.bvh");
    host.SetSelection({QStringLiteral("Hips"), QStringLiteral("LeftForeArm")});
    const Point rollBefore = restPosition(host, QStringLiteral("LeftForeArmRoll"));

    QStringList order;
    QObject::connect(&host, &IDCCHub::NodeRemoved, [&](const QString& n) { order << "removed " + n; });
    QObject::connect(&host, &IDCCHub::selectionChanged, [&] {
        order << "selection " + host.GetSelectedNodes().join(QLatin1Char(','));
    });
    ASSERT_TRUE(host.RemoveJoint(QStringLiteral("LeftForeArm")));
    EXPECT_EQ(order, (QStringList{"removed LeftForeArm", "selection Hips"}));
    EXPECT_EQ(host.JointCount(), 91);
    EXPECT_EQ(host.ParentOf(QStringLiteral("LeftForeArmRoll")), QStringLiteral("LeftArmRoll"));
    const Point rollAfter = restPosition(host, QStringLiteral("LeftForeArmRoll"));
    EXPECT_EQ(rollAfter.x, rollBefore.x);
    // The rest of the hierarchy is intact after the indices moved.
    EXPECT_EQ(host.ParentOf(QStringLiteral("RightHandPinky4")), QStringLiteral("RightHandPinky3"));
    EXPECT_EQ(host.ParentOf(QStringLiteral("Head")), QStringLiteral("Neck1"));

    // A joint outside the selection: no selection signal.
    order.clear();
    ASSERT_TRUE(host.RemoveJoint(QStringLiteral("Reference")));
    EXPECT_EQ(order, QStringList{"removed Reference"});
    EXPECT_TRUE(host.ParentOf(QStringLiteral("Hips")).isEmpty());
    EXPECT_FALSE(host.RemoveJoint(QStringLiteral("Reference")));
    EXPECT_EQ(order.size(), 1);
}

TEST(StandInHostMutators, CharacterizationNodeSignals)
{
    StandInHost host;
    host.AddCharacterizationNode(QStringLiteral("Body"));
    host.AddCharacterizationNode(QStringLiteral("Extra"));
    QSignalSpy renamed(&host, SIGNAL(CharacterizationNameChanged(QString,QString)));
    QSignalSpy removed(&host, SIGNAL(CharacterizationNodeRemoved(QString)));

    ASSERT_TRUE(host.RenameCharacterizationNode(QStringLiteral("Body"), QStringLiteral("Hero")));
    EXPECT_FALSE(host.RenameCharacterizationNode(QStringLiteral("Hero"), QStringLiteral("Extra")));
    EXPECT_FALSE(host.RenameCharacterizationNode(QStringLiteral("Body"), QStringLiteral("X")));
    ASSERT_EQ(renamed.count(), 1);
    EXPECT_EQ(renamed.at(0).at(0).toString(), QStringLiteral("Hero"));
    EXPECT_EQ(renamed.at(0).at(1).toString(), QStringLiteral("Body"));

    ASSERT_TRUE(host.RemoveCharacterizationNode(QStringLiteral("Extra")));
    EXPECT_FALSE(host.RemoveCharacterizationNode(QStringLiteral("Extra")));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toString(), QStringLiteral("Extra"));
    EXPECT_EQ(host.CharacterizationNodes(), QStringList{QStringLiteral("Hero")});
}

TEST(StandInHostMutators, SelectNodeSelectsQuietlyAndSetSelectionAnnounces)
{
    StandInHost host;
    loadSample(host, "biped_spaces.bvh");
    QSignalSpy selection(&host, SIGNAL(selectionChanged()));
    host.SelectNode(QStringLiteral("Bip01 L Hand"));
    EXPECT_EQ(selection.count(), 0);
    EXPECT_EQ(host.GetSelectedNodes(), QStringList{QStringLiteral("Bip01 L Hand")});
    host.SelectNode(QStringLiteral("not in the scene"));
    EXPECT_EQ(host.GetSelectedNodes(), QStringList{QStringLiteral("Bip01 L Hand")});
    EXPECT_EQ(host.SelectRequests(), (QStringList{"Bip01 L Hand", "not in the scene"}));

    host.SetSelection({QStringLiteral("Bip01 Head"), QStringLiteral("Bip01 Neck")});
    EXPECT_EQ(selection.count(), 1);
    EXPECT_EQ(host.GetSelectedNodes().size(), 2);
}

TEST(StandInHostRecords, RegistrationsFormMultisetsThatMustBalance)
{
    StandInHost host;
    host.RegisterAssignedNode(QStringLiteral("Hips"));
    host.RegisterAssignedNode(QStringLiteral("Hips"));
    host.RegisterAssignedNode(QStringLiteral("Spine"));
    host.UnregisterAssignedNode(QStringLiteral("Hips"));
    EXPECT_EQ(host.JointRegistrationCount(QStringLiteral("Hips")), 1);
    EXPECT_EQ(host.OutstandingJointRegistrations(),
              (QMap<QString, int>{{"Hips", 1}, {"Spine", 1}}));
    EXPECT_FALSE(host.JointRegistrationsBalanced());

    // A release without a registration does not cancel a later registration.
    host.UnregisterAssignedNode(QStringLiteral("Head"));
    host.RegisterAssignedNode(QStringLiteral("Head"));
    host.UnregisterAssignedNode(QStringLiteral("Hips"));
    host.UnregisterAssignedNode(QStringLiteral("Spine"));
    EXPECT_EQ(host.UnmatchedJointReleases(), QStringList{QStringLiteral("Head")});
    EXPECT_EQ(host.OutstandingJointRegistrations(), (QMap<QString, int>{{"Head", 1}}));
    host.UnregisterAssignedNode(QStringLiteral("Head"));
    EXPECT_TRUE(host.OutstandingJointRegistrations().isEmpty());
    EXPECT_FALSE(host.JointRegistrationsBalanced());  // the unmatched release stays on record

    host.RegisterCharacterizationNode(QStringLiteral("Body"));
    EXPECT_FALSE(host.CharacterizationRegistrationsBalanced());
    host.UnregisterCharacterizationNode(QStringLiteral("Body"));
    EXPECT_TRUE(host.CharacterizationRegistrationsBalanced());
    host.UnregisterCharacterizationNode(QStringLiteral("Body"));
    EXPECT_EQ(host.UnmatchedCharacterizationReleases(), QStringList{QStringLiteral("Body")});

    host.ClearRecords();
    EXPECT_TRUE(host.JointRegistrationsBalanced());
    EXPECT_TRUE(host.CharacterizationRegistrationsBalanced());
    EXPECT_TRUE(host.NotificationLog().isEmpty());
}

TEST(StandInHostRecords, NotificationsAreRecordedInOrderAndNeverEmit)
{
    StandInHost host;
    loadSample(host, "rig_names.bvh");
    QSignalSpy s0(&host, SIGNAL(selectionChanged()));
    QSignalSpy s1(&host, SIGNAL(NodeRemoved(QString)));
    QSignalSpy s2(&host, SIGNAL(NameChanged(QString,QString)));
    QSignalSpy s3(&host, SIGNAL(CharacterizationNodeRemoved(QString)));
    QSignalSpy s4(&host, SIGNAL(CharacterizationNameChanged(QString,QString)));

    host.RegisterCharacterizationNode(QStringLiteral("Body"));
    host.RegisterAssignedNode(QStringLiteral("Hips"));
    host.UpdateDccCharacterSkeleton(QString(), QStringLiteral("Hips"), QStringLiteral("Body"), 1, false);
    host.UpdateDccCharacterSkeleton(QStringLiteral("Hips"), QString(), QStringLiteral("Body"), 1, true);
    host.UpdateDccBoneInvertedState(10, true);
    host.UpdateDccCharacterUI();
    host.UpdateDccDeleteCharacter(QStringLiteral("Body"));
    host.SetCharacterState(nullptr, nullptr);
    host.UnregisterCharacterizationNode(QStringLiteral("Body"));

    const std::vector<StandInHost::SkeletonUpdate> updates = {
        {"", "Hips", "Body", 1, false}, {"Hips", "", "Body", 1, true}};
    EXPECT_EQ(host.SkeletonUpdates(), updates);
    EXPECT_EQ(host.NotificationLog(),
              (QStringList{"RegisterCharacterizationNode Body", "RegisterAssignedNode Hips",
                           "UpdateDccCharacterSkeleton |Hips|Body|1|0",
                           "UpdateDccCharacterSkeleton Hips||Body|1|1", "UpdateDccBoneInvertedState 10|1",
                           "UpdateDccCharacterUI", "UpdateDccDeleteCharacter Body", "SetCharacterState",
                           "UnregisterCharacterizationNode Body"}));
    EXPECT_EQ(host.BoneInversionUpdates(), (std::vector<std::pair<int, bool>>{{10, true}}));
    EXPECT_EQ(host.CharacterUIUpdateCount(), 1);
    EXPECT_EQ(host.DeletedCharacters(), QStringList{QStringLiteral("Body")});
    EXPECT_EQ(host.CharacterStateCallCount(), 1);
    EXPECT_EQ(s0.count() + s1.count() + s2.count() + s3.count() + s4.count(), 0);
}

TEST(StandInHostRecords, PostCharacterUpdateAndSanitizerBehaviourSwitch)
{
    StandInHost host;
    EXPECT_FALSE(host.PostCharacterUpdate(QStringLiteral("A")));
    host.SetPostCharacterUpdateMode(StandInHost::PostUpdateOnce);
    EXPECT_TRUE(host.PostCharacterUpdate(QStringLiteral("A")));
    EXPECT_FALSE(host.PostCharacterUpdate(QStringLiteral("A")));
    host.SetPostCharacterUpdateMode(StandInHost::PostUpdateAlways);
    EXPECT_TRUE(host.PostCharacterUpdate(QStringLiteral("B")));
    EXPECT_TRUE(host.PostCharacterUpdate(QStringLiteral("B")));
    EXPECT_EQ(host.PostUpdateQueries(), (QStringList{"A", "A", "A", "B", "B"}));

    EXPECT_EQ(host.SanitizeBoneName(QStringLiteral("hero:Hips")), QStringLiteral("hero:Hips"));
    host.SetBoneNameSanitizer(&StandInHost::StripNamespace);
    EXPECT_EQ(host.SanitizeBoneName(QStringLiteral("hero:Hips")), QStringLiteral("Hips"));
    EXPECT_EQ(host.SanitizeBoneName(QStringLiteral("a:b:LeftArm")), QStringLiteral("LeftArm"));
    EXPECT_EQ(host.SanitizeBoneName(QStringLiteral("Bip01 L Hand")), QStringLiteral("Bip01 L Hand"));
    host.SetBoneNameSanitizer([](const QString& n) { return n.toLower(); });
    EXPECT_EQ(host.SanitizeBoneName(QStringLiteral("Bip01 L Hand")), QStringLiteral("bip01 l hand"));
    host.SetBoneNameSanitizer({});
    EXPECT_EQ(host.SanitizeBoneName(QStringLiteral("X:Y")), QStringLiteral("X:Y"));
    EXPECT_EQ(host.SanitizeCallCount(), 6);
    // Through the base class, as the model calls it.
    const IDCCHub& hub = host;
    host.SetBoneNameSanitizer(&StandInHost::StripNamespace);
    EXPECT_EQ(hub.SanitizeBoneName(QStringLiteral("ns:Spine")), QStringLiteral("Spine"));
}
