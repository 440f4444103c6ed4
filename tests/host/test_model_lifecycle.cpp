#include "model_fixture.h"

#include <functional>

namespace {

using Update = StandInHost::SkeletonUpdate;

// ModelChanged() and EditedPartChanged() counts of one call.
std::pair<int, int> Emitted(CharacterizationModel& model, const std::function<void()>& operation)
{
    SignalCounter counter(model);
    operation();
    return {counter.changed.count(), counter.edited.count()};
}

}  // namespace

TEST_F(ModelTest, StartUpState)
{
    ASSERT_EQ(Model().CharacterizationCount(), 1);
    EXPECT_EQ(Model().CharacterizationAt(0), Model().GetCurrentCharacterization());
    EXPECT_EQ(Current().GetName(), "--- None ---");
    // The first validation ran before any validator existed.
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(3, "Missing required bones."));
    EXPECT_TRUE(Model().NodeStatusAt(1).IsUnset());
    EXPECT_EQ(Model().GetLastOperationMessage(), "No previous operation.");
    EXPECT_EQ(Model().GetEditedPart(), -1);
    EXPECT_FALSE(Model().IsLocked() || Model().IsEditedPartReadWrite() || Model().IsMirrorMode());
    ASSERT_TRUE(Polling());
    EXPECT_EQ(Timer()->interval(), 1000);
    // The first poll asked the host; the default characterization is never registered.
    EXPECT_EQ(host_.PostUpdateQueries(), QStringList({"--- None ---"}));
    EXPECT_TRUE(host_.OutstandingCharacterizationRegistrations().isEmpty());
}

TEST(ModelWithoutHost, BuildsAndWorksWithoutAsking)
{
    CharacterizationModel model(nullptr, nullptr);
    ASSERT_EQ(model.CharacterizationCount(), 1);
    EXPECT_EQ(model.GetStatus(), CharacterizationStatus(3, "Missing required bones."));
    EXPECT_EQ(model.GetLastOperationMessage(), "No previous operation.");

    QSignalSpy changed(&model, SIGNAL(ModelChanged()));
    model.AssignNode(1, "Hips");
    int mirrorNode = 0;
    QString mirrorJoint;
    model.SetMirrorMode(true);
    model.AddMirrorPair("Left", "Right");
    model.AssignNodeAndFindMirror(9, "LeftArm", mirrorNode, mirrorJoint);
    EXPECT_EQ(mirrorNode, -1);  // no skeleton to find RightArm in
    model.AutoMatch();
    model.ApplyMappingTemplate("/nonexistent/template.xml", 0, "x");
    model.ToggleBoneInversion(3);
    model.RefreshIfChanged(true);
    model.RemoveBone("Hips");
    model.RemoveCharacterizationNode("--- None ---");
    EXPECT_GT(changed.count(), 0);
    EXPECT_EQ(model.CharacterizationCount(), 1);
    EXPECT_FALSE(model.GetCurrentCharacterization()->IsNodeAssigned(1));
    EXPECT_FALSE(model.PullHostGeometry());
}

TEST_F(ModelTest, CreateSelectRenameDelete)
{
    Model().CreateNewCharacterization();
    Model().CreateNewCharacterization();
    EXPECT_EQ(Model().CharacterizationAt(1)->GetName(), "--- None --- (1)");
    EXPECT_EQ(Current().GetName(), "--- None --- (2)");
    for (int i = 0; i < 3; ++i)
        Model().AddCharacterization(new Characterization("Body", nullptr));
    EXPECT_EQ(Model().CharacterizationAt(4)->GetName(), "Body (1)");
    EXPECT_EQ(Current().GetName(), "Body (2)");
    EXPECT_EQ(Model().MakeUniqueName("Hero"), "Hero");
    // Handing over one the model already owns selects it; it is not added twice.
    Model().AddCharacterization(Model().CharacterizationAt(3));
    Model().AddCharacterization(nullptr);
    EXPECT_EQ(Model().CharacterizationCount(), 6);
    EXPECT_EQ(Model().GetCurrentCharacterization(), Model().CharacterizationAt(3));

    // Out-of-range selections change nothing.
    Model().SetCurrentCharacterization(1);
    Model().SetCurrentCharacterization(-1);
    Model().SetCurrentCharacterization(6);
    EXPECT_EQ(Model().GetCurrentCharacterization(), Model().CharacterizationAt(1));
    EXPECT_EQ(Model().CharacterizationAt(6), nullptr);

    // A characterization bound to the host registers and unregisters its node.
    AddNamed("Knight");
    EXPECT_EQ(host_.OutstandingCharacterizationRegistrations().value("Knight"), 1);
    Model().RemoveCurrentCharacterization();
    EXPECT_EQ(Model().GetCurrentCharacterization(), nullptr);
    EXPECT_EQ(Model().CharacterizationCount(), 6);
    EXPECT_TRUE(host_.CharacterizationRegistrationsBalanced());
    // With nothing current the operations do nothing.
    Model().AssignNode(1, "Hips");
    Model().ClearAll();
    EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(0, ""));
    EXPECT_TRUE(host_.NotificationLog().filter("--- None ---").filter("Register").isEmpty());
}

// Which operation emits what, one row of the table after the other.
TEST_F(ModelTest, SignalEmissionTable)
{
    LoadSample("rig_names.bvh");
    CharacterizationModel& m = Model();
    using P = std::pair<int, int>;
    int mirrorNode = 0;
    QString mirrorJoint;
    const QByteArray templatePath = TemplatePath("t.xml").toUtf8();

    EXPECT_EQ(Emitted(m, [&] { m.AssignNode(1, "Hips"); }), P(0, 0));
    EXPECT_EQ(Emitted(m, [&] { m.UnassignNode(1, false); }), P(0, 0));
    EXPECT_EQ(Emitted(m, [&] { m.RenameCharacterization("X", "--- None ---"); }), P(0, 0));
    EXPECT_EQ(Emitted(m, [&] { m.RenameCharacterization("--- None ---", "X"); }), P(0, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SetMirrorMode(true); }), P(0, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SaveMappingTemplate(templatePath.constData(), ""); }), P(0, 0));

    EXPECT_EQ(Emitted(m, [&] { m.AssignNodeAndFindMirror(9, "LeftArm", mirrorNode, mirrorJoint); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.ClearNode(9); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.ClearNodes({1, 2}); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.ClearAll(); }), P(1, 0));
    host_.SetSelection({"Hips", "Spine"});
    EXPECT_EQ(Emitted(m, [&] { m.AutoMatch(); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { host_.RenameJoint("Hips", "Pelvis"); }), P(1, 0));
    m.SaveMappingTemplate(templatePath.constData(), "");
    EXPECT_EQ(Emitted(m, [&] { m.ApplyMappingTemplate(templatePath.constData(), 0, ""); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SetEditMode(false); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.Refresh(); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.RefreshIfChanged(true); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.RefreshIfChanged(false); }), P(0, 0));

    // The poll: a change emits once, no change nothing.
    EXPECT_EQ(Emitted(m, [&] { Tick(); }), P(0, 0));
    host_.MoveJoint("Pelvis", 0, 1, 0);
    EXPECT_EQ(Emitted(m, [&] { Tick(); }), P(1, 0));

    // The edited part.
    EXPECT_EQ(Emitted(m, [&] { m.SetEditedPart(5, false); }), P(0, 1));
    EXPECT_EQ(Emitted(m, [&] { m.SetEditedPart(5, false); }), P(0, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SetEditedPart(5, true); }), P(0, 1));
    {
        SignalCounter counter(m);
        m.ToggleBoneInversion(3);
        EXPECT_EQ(counter.changed.count(), 1);
        ASSERT_EQ(counter.edited.count(), 1);
        EXPECT_EQ(counter.edited.at(0), QVariantList({5, 3, false}));
    }
    EXPECT_EQ(m.GetEditedPart(), 3);
    EXPECT_TRUE(m.IsEditedPartReadWrite());  // the flag itself is left as it was
    EXPECT_EQ(Emitted(m, [&] { m.ToggleBoneInversion(4); }), P(0, 0));

    // Selections: once for an unlocked characterization, twice for a locked one.
    m.CreateNewCharacterization();
    EXPECT_EQ(Emitted(m, [&] { m.SetCurrentCharacterization(0); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SetEditMode(true); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SetCurrentCharacterization(1); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SetCurrentCharacterization(0); }), P(2, 0));
    // Locked: the editing operations emit once, without validating.
    EXPECT_EQ(Emitted(m, [&] { m.ClearAll(); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.Refresh(); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.SetEditMode(false); }), P(1, 0));

    EXPECT_EQ(Emitted(m, [&] { m.CreateNewCharacterization(); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.AddCharacterization(new Characterization("Extra", nullptr)); }), P(1, 0));
    EXPECT_EQ(Emitted(m, [&] { m.RemoveCurrentCharacterization(); }), P(0, 0));
    m.SetCurrentCharacterization(0);

    // The host's removal of a joint: per characterization one selection and
    // one revalidation, then the selection that puts the user's one back.
    m.AssignNode(1, "LeftFoot");
    ASSERT_EQ(m.CharacterizationCount(), 3);
    EXPECT_EQ(Emitted(m, [&] { host_.RemoveJoint("LeftFoot"); }), P(3 * 2 + 1, 0));
    // The host's removal of characterization nodes: through the selections only.
    m.RenameCharacterization("Gone", "--- None --- (1)");
    EXPECT_EQ(Emitted(m, [&] { m.RemoveCharacterizationNode("Gone"); }), P(1 + 1, 0));
}

TEST_F(ModelTest, HostRenamesAJointInEveryUnlockedCharacterization)
{
    LoadSample("rig_names.bvh");
    Characterization* a = AddNamed("A");
    Model().AssignNode(9, "LeftArm");
    Characterization* b = AddNamed("B");
    Model().AssignNode(9, "LeftArm");
    Model().SetEditMode(true);
    Characterization* c = AddNamed("C");
    Model().AssignNode(9, "LeftArm");
    Model().AssignNode(12, "RightArm");
    host_.ClearRecords();

    // The current one (C) and the other unlocked one (A) follow; the locked B keeps its name.
    SignalCounter counter(Model());
    ASSERT_TRUE(host_.RenameJoint("LeftArm", "Arm_L"));
    EXPECT_EQ(counter.changed.count(), 1);
    EXPECT_EQ(a->GetNodeName(9) + b->GetNodeName(9) + c->GetNodeName(9), "Arm_LLeftArmArm_L");
    EXPECT_EQ(Model().GetCurrentCharacterization(), c);
    EXPECT_EQ(host_.SkeletonUpdates(),
              (std::vector<Update>{{"LeftArm", "Arm_L", "A", 9, false}, {"LeftArm", "Arm_L", "C", 9, false}}));
    EXPECT_EQ(host_.JointRegistrationCount("Arm_L"), 2);

    // So A, unlocked later, misses nothing; the locked B has the old name frozen.
    Model().SetCurrentCharacterization(IndexOf(a));
    std::vector<int> missing;
    Model().FindMissingNodes(host_.JointNames(), missing);
    EXPECT_TRUE(missing.empty());
    Model().SetCurrentCharacterization(IndexOf(b));
    Model().FindMissingNodes(host_.JointNames(), missing);
    EXPECT_EQ(missing, std::vector<int>({9}));

    // With the locked one current: the unlocked ones follow, and the model only reports.
    SignalCounter locked(Model());
    host_.RenameJoint("RightArm", "Arm_R");
    EXPECT_EQ(locked.changed.count(), 1);
    EXPECT_EQ(c->GetNodeName(12), "Arm_R");
    EXPECT_TRUE(b->IsLocked());
    EXPECT_FALSE(Polling());
}

TEST_F(ModelTest, HostRemovesAJointKeepingTheSelectionAndTheLock)
{
    LoadSample("rig_names.bvh");
    Characterization* a = AddNamed("A");
    Model().AssignNode(11, "LeftHand");
    Characterization* b = AddNamed("B");
    Model().AssignNode(11, "LeftHand");
    Model().AssignNode(1, "Hips");
    Model().SetEditMode(true);
    Characterization* c = AddNamed("C");
    Model().AssignNode(14, "RightHand");

    // The user works on A; the removal walks every characterization and puts A back.
    Model().SetCurrentCharacterization(IndexOf(a));
    host_.ClearRecords();
    ASSERT_TRUE(host_.RemoveJoint("LeftHand"));
    EXPECT_EQ(Model().GetCurrentCharacterization(), a);
    EXPECT_TRUE(Polling());
    EXPECT_FALSE(a->IsNodeAssigned(11) || b->IsNodeAssigned(11));
    EXPECT_EQ(b->GetNodeName(1), "Hips");
    EXPECT_FALSE(b->IsLocked());  // its frozen joint is gone: B is unlocked
    EXPECT_EQ(host_.SkeletonUpdates(),
              (std::vector<Update>{{"LeftHand", "", "A", 11, true}, {"LeftHand", "", "B", 11, true}}));

    // The locked characterization current: it ends current, unlocked and polled.
    Model().SetCurrentCharacterization(IndexOf(b));
    Model().SetEditMode(true);
    ASSERT_FALSE(Polling());
    host_.RemoveJoint("Hips");
    EXPECT_EQ(Model().GetCurrentCharacterization(), b);
    EXPECT_FALSE(b->IsLocked());
    EXPECT_TRUE(Polling());

    // A locked characterization current, a joint of another one removed: it stays locked.
    Model().SetEditMode(true);
    host_.RemoveJoint("RightHand");
    EXPECT_EQ(Model().GetCurrentCharacterization(), b);
    EXPECT_TRUE(b->IsLocked());
    EXPECT_FALSE(Polling());
    EXPECT_FALSE(c->IsNodeAssigned(14));
}

TEST_F(ModelTest, HostRemovesAndRenamesCharacterizationNodes)
{
    AddNamed("A");
    AddNamed("B");
    AddNamed("C");
    Model().RenameCharacterization("A", "C");  // two characterizations named A now
    Model().SetCurrentCharacterization(2);     // B
    host_.ClearRecords();

    host_.RemoveCharacterizationNode("A");
    ASSERT_EQ(Model().CharacterizationCount(), 2);
    EXPECT_EQ(Model().CharacterizationAt(0)->GetName(), "--- None ---");
    EXPECT_EQ(Current().GetName(), "B");
    EXPECT_EQ(host_.CharacterUIUpdateCount(), 1);
    EXPECT_EQ(host_.NotificationLog().filter("UnregisterCharacterizationNode").size(), 2);

    // Renaming reaches the first characterization of the old name only.
    Model().RenameCharacterization("B", "--- None ---");
    ASSERT_TRUE(host_.RenameCharacterizationNode("B", "Hero"));
    EXPECT_EQ(Model().CharacterizationAt(0)->GetName() + Model().CharacterizationAt(1)->GetName(), "HeroB");

    // Removing the current one selects the first; removing all leaves a fresh default.
    Model().RemoveCharacterizationNode("B");
    EXPECT_EQ(Current().GetName(), "Hero");
    ASSERT_TRUE(host_.RemoveCharacterizationNode("Hero"));
    ASSERT_EQ(Model().CharacterizationCount(), 1);
    EXPECT_EQ(Current().GetName(), "--- None ---");
    EXPECT_EQ(host_.CharacterUIUpdateCount(), 3);
    EXPECT_TRUE(Polling());
}

TEST_F(ModelTest, HostNotificationsAndRegistrationsBalance)
{
    LoadSample("rig_names.bvh");
    const QString name = "--- None ---";
    Model().AssignNode(1, "Hips");
    Model().AssignNode(1, "Hips");   // the same joint again: released and registered again
    Model().AssignNode(1, "Spine");  // reassigned
    Model().AssignNode(8, "Hips");
    EXPECT_EQ(Model().GetLastOperationMessage(), "Assigned node: Hips");
    Model().ClearNode(1);
    EXPECT_EQ(Model().GetLastOperationMessage(), "Cleared one or more nodes.");
    Model().UnassignNode(8, false);
    EXPECT_EQ(Model().GetLastOperationMessage(), "Unregistered node: Hips");
    EXPECT_EQ(host_.SkeletonUpdates(), (std::vector<Update>{{"", "Hips", name, 1, false},
                                                            {"Hips", "Hips", name, 1, false},
                                                            {"Hips", "Spine", name, 1, false},
                                                            {"", "Hips", name, 8, false},
                                                            {"Spine", "", name, 1, false},
                                                            {"Hips", "", name, 8, false}}));
    EXPECT_EQ(host_.NotificationLog().filter("AssignedNode"),
              QStringList({"RegisterAssignedNode Hips", "UnregisterAssignedNode Hips", "RegisterAssignedNode Hips",
                           "UnregisterAssignedNode Hips", "RegisterAssignedNode Spine", "RegisterAssignedNode Hips",
                           "UnregisterAssignedNode Spine", "UnregisterAssignedNode Hips"}));

    // ClearAll reports every rig node, assigned or not, in order.
    AutoMatchScene();
    const std::vector<QString> before = Current().GetNodeNames();
    const std::size_t start = host_.SkeletonUpdates().size();
    Model().ClearAll();
    EXPECT_EQ(Model().GetLastOperationMessage(), "Cleared all nodes.");
    ASSERT_EQ(host_.SkeletonUpdates().size() - start, 172u);
    for (int node = 0; node < 172; ++node)
        EXPECT_EQ(host_.SkeletonUpdates()[start + node], (Update{before[node], "", name, node, false}));
    EXPECT_EQ(before[49], "");  // HipsTranslation had no joint and is reported all the same
    EXPECT_TRUE(host_.JointRegistrationsBalanced());

    // Removal by the host in two characterizations, then destruction of the model.
    Model().AssignNode(11, "LeftHand");
    AddNamed("A");
    Model().AssignNode(11, "LeftHand");
    Model().AssignNode(14, "LeftHand");
    host_.RemoveJoint("LeftHand");
    EXPECT_TRUE(host_.JointRegistrationsBalanced());
    AddNamed("B");
    model_.reset();
    EXPECT_TRUE(host_.CharacterizationRegistrationsBalanced());
}
