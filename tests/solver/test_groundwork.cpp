#include "solver_test_util.h"

#include <string>

namespace {

using namespace soltest;

VLMPropertySetState Defaults()
{
    VLMPropertySetState p;
    VLMPropertySetDefaults(&p);
    return p;
}

VLMEffectorSetLayout* Layout(VLMEffectorSetState* s) { return reinterpret_cast<VLMEffectorSetLayout*>(s); }

TEST(Groundwork, EveryEntryConstantNamesItsTableEntry)
{
#define CHECK_ENTRY(n, entry) EXPECT_STREQ(VLMPropertyTable()[vlm_entry::n].name, #n);
    VLM_PROPERTY_ENTRY_LIST(CHECK_ENTRY)
#undef CHECK_ENTRY
    EXPECT_STREQ(VLMPropertyTable()[vlm_entry::ReachActorLeftAnkleRotationRotation].name,
                 "ReachActorLeftAnkleRotationRotation");
}

TEST(Groundwork, LanesFromPropertiesAndTheReachMask)
{
    VLMEffectorSetStateHandle set = NewSet();
    VLMEffectorSetLayout* s = Layout(set.get());
    VLMPropertySetState p = Defaults();
    p.entries[vlm_entry::ReachActorLeftToesBase].value = 0.7f;
    p.entries[vlm_entry::ReachActorLeftToesBaseRotation].value = 0.6f;
    VLMSetEffectorReachFromProperties(s, &p);
    const VLMVector4 before[2] = {s->blend[0], s->blend[VLM_LEFT_FOOT_EFFECTOR]};
    VLMSetPullAndStiffnessFromProperties(set.get(), &p);
    EXPECT_TRUE(SameBits(V(s->blend[0].x, s->blend[0].y, 0, 0), V(before[0].x, before[0].y, 0, 0)));
    EXPECT_EQ(s->blend[0].x, 1.0f);
    EXPECT_EQ(s->blend[0].y, 1.0f);
    EXPECT_EQ(s->blend[VLM_CHEST_ORIGIN_EFFECTOR].z, 1.0f);
    for (int e = VLM_FIRST_DIGIT_EFFECTOR; e < VLM_EFFECTOR_COUNT; ++e)
        EXPECT_TRUE(SameBits(s->blend[e], V(0, 0, 0, 0))) << e;
    EXPECT_EQ(s->leftHandPull, p.entries[vlm_entry::CtrlPullLeftHand].value);

    // A source without LeftToeBase: only that effector's reach lanes go to 0.
    VLMCharacterDefinition def{};
    for (int id = 0; id < 23; ++id)
        def.words[id] = id == VLM_NODE_LEFT_TOE_BASE ? 0 : 7;
    sample::CharacterPtr c = sample::Create(def);
    const VLMEffectorSetLayout copy = *s;
    VLMMaskAbsentEffectorReach(s, c.get());
    EXPECT_EQ(s->blend[VLM_LEFT_FOOT_EFFECTOR].x, 0.0f);
    EXPECT_EQ(s->blend[VLM_LEFT_FOOT_EFFECTOR].y, 0.0f);
    EXPECT_EQ(s->blend[VLM_LEFT_FOOT_EFFECTOR].z, p.entries[vlm_entry::CtrlPullLeftToeBase].value);
    s->blend[VLM_LEFT_FOOT_EFFECTOR] = copy.blend[VLM_LEFT_FOOT_EFFECTOR];
    EXPECT_EQ(std::memcmp(s->blend, copy.blend, sizeof copy.blend), 0);
}

TEST(Groundwork, RecordsMoveOnlyTheirFields)
{
    VLMEffectorSetStateHandle a = NewSet(), b = NewSet();
    VLMEffectorSetLayout *s = Layout(a.get()), *t = Layout(b.get());
    std::mt19937 rng(3);
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
        s->effectors[e] = {mathtest::RandomVector(rng, 9, 0), mathtest::RandomUnitQuat(rng), V(2, 2, 2, 1)},
        s->blend[e] = mathtest::RandomVector(rng, 1, 1);
    sample::CharacterPtr plain = PlainCharacter();
    const VLMExtremity* foot = VLMCharacterExtremity(plain.get(), 2);
    const VLMEffectorSetLayout before = *s;
    VLMLimbGoalBlock block, copy;
    VLMInitLimbGoalBlock(&copy);
    VLMFillLimbGoalBlock(&block, foot, s);
    VLMStoreLimbGoalBlock(&block, foot, s);
    EXPECT_EQ(std::memcmp(s, &before, sizeof before), 0);
    VLMCopyLimbGoalBlockGoals(&copy, &block);
    EXPECT_TRUE(SameBits(copy.frame.q, block.frame.q) && SameBits(copy.slots[1].t, block.slots[1].t));
    EXPECT_TRUE(SameBits(copy.slots[0].s, V(1, 1, 1, 1)));

    const VLMEffectorSetLayout target = *t;
    VLMCopyEffectorSetSettings(t, s);
    EXPECT_EQ(std::memcmp(t->effectors, target.effectors, sizeof target.effectors), 0);
    EXPECT_EQ(std::memcmp(t->blend, target.blend, sizeof target.blend), 0);

    // The 44-record move against a double reference.
    const VLMVector4 mt = V(1, 2, 3, 0), mq = mathtest::RandomUnitQuat(rng), ms = V(2, 0.5f, 1, 1);
    VLMTransformEffectorTranslations(s, mt, mq, ms);
    VLMRotateEffectorRotations(s, mq);
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        const VLMVector4& p = before.effectors[e].t;
        const D4 r = mathtest::Rotate(Wide(mq), {2.0 * p.x, 0.5 * p.y, p.z, 0});
        EXPECT_LT(MaxDiff(s->effectors[e].t, {1 + r[0], 2 + r[1], 3 + r[2], 0}), 1e-5) << e;
        EXPECT_TRUE(SameRotation(s->effectors[e].q, mathtest::Hamilton(Wide(mq), Wide(before.effectors[e].q)), 1e-6));
    }
}

// Characters with 0, 1 and 9 spine and neck joints (the one-joint one without shoulders).
TEST(Groundwork, PoseSetUpAndReaders)
{
    for (int joints : {0, 1, 9}) {
        fixtures::Proportions p = fixtures::Typical();
        p.spineJoints = p.neckJoints = joints;
        p.shoulders = joints != 1;
        fixtures::Fixture f = fixtures::Build(p, {true, {}, true, false, 4});
        VLMCharacter* c = f.character.get();
        VLMCharacterStateHandle state = NewState(c);
        VLMStateRow* rows = VLMStateFirstRow(state.get());
        VLMSetStateToZeroPose(c, rows);
        EXPECT_TRUE(SameBits(VLMNodeRow(c, rows, 0)->globalQ, V(0, 0, 0, 1)));
        EXPECT_TRUE(SameBits(VLMNodeRow(c, rows, 0)->globalT, V(0, 0, 0, 0)));
        for (int id = 1; id < VLM_NODE_COUNT; ++id) {
            if (VLMCharacterCompactIndex(c, id) < 0)
                continue;
            VLMVector4 zero;
            VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(c, id)->rotation, zero, V(0, 0, 0, 0));
            EXPECT_TRUE(SameRotation(VLMNodeRow(c, rows, id)->localQ, Wide(zero), 1e-6)) << id;
        }
        EXPECT_EQ(VLMChestNodeId(c), joints ? VLM_NODE_SPINE1 + joints - 1 : VLM_NODE_SPINE);
        EXPECT_EQ(VLMNeckEndNodeId(c), joints ? VLM_NODE_NECK1 + joints - 1 : VLM_NODE_NECK);

        VLMSetStateToTPose(c, rows);
        VLMVector4 end;
        VLMGetChestEndPosition(c, &end, rows, V(0, 0, 0, 0));
        const bool both = p.shoulders;
        const float wantY =
            0.5f * (VLMNodeRow(c, rows, both ? 18 : 9)->globalT.y + VLMNodeRow(c, rows, both ? 19 : 12)->globalT.y);
        EXPECT_EQ(end.x, 0.0f) << joints;
        EXPECT_FLOAT_EQ(end.y, wantY) << joints;
    }
}

TEST(Groundwork, ChestEndUsesTheArmsWhenOneShoulderIsMissing)
{
    fixtures::Proportions p = fixtures::Typical();
    fixtures::Fixture f = fixtures::Build(p);
    VLMCharacterDefinition def = f.definition;
    def.words[VLM_NODE_RIGHT_SHOULDER] = 0;
    sample::CharacterPtr c = sample::Create(def);
    VLMApplyJointGeometries(&def, c.get(), f.records.data(), VLM_NODE_COUNT, nullptr);
    VLMCharacterStateHandle state = NewState(c.get());
    VLMStateRow* rows = VLMStateFirstRow(state.get());
    VLMSetStateToTPose(c.get(), rows);
    VLMVector4 end;
    VLMGetChestEndPosition(c.get(), &end, rows, V(0, 0, 0, 0));
    EXPECT_FLOAT_EQ(end.y, 0.5f * (VLMNodeRow(c.get(), rows, 9)->globalT.y + VLMNodeRow(c.get(), rows, 12)->globalT.y));
}

TEST(Groundwork, EffectorsFromAPose)
{
    fixtures::Proportions p = fixtures::Typical();
    p.handDigitJoints[0] = 2;  // thumb: tip index 1
    p.handDigitJoints[1] = 4;  // index: tip index 3
    p.handDigitJoints[2] = 0;  // middle: absent
    fixtures::Fixture f = fixtures::Build(p, {false, {}, true, false, 6});
    VLMCharacter* c = f.character.get();
    VLMCharacterStateHandle state = NewState(c);
    std::mt19937 rng(6);
    fixtures::SamplePose(c, state.get(), rng, {});
    const VLMStateRow* rows = VLMStateFirstRow(state.get());
    VLMPropertySetState props = Defaults();
    for (int e = vlm_entry::HipsTOffsetX; e <= vlm_entry::ChestTOffsetZ; ++e)
        props.entries[e].value = 0.0f;
    VLMEffectorSetStateHandle set = NewSet();
    VLMEffectorSetLayout* s = Layout(set.get());
    VLMComputeEffectorsFromPose(c, s, rows, &props);
    auto node = [&](int id) { return VLMNodeRow(c, rows, id); };
    auto mid = [](const VLMVector4& a, const VLMVector4& b) {
        return D4{(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2, 0};
    };
    EXPECT_LT(MaxDiff(s->effectors[VLM_HIPS_EFFECTOR].t, mid(node(2)->globalT, node(5)->globalT)), 1e-4);
    EXPECT_LT(MaxDiff(s->effectors[VLM_CHEST_END_EFFECTOR].t, mid(node(18)->globalT, node(19)->globalT)), 1e-4);
    EXPECT_TRUE(SameBits(s->effectors[20].q, node(50)->globalQ)) << "tip 1: joint 0";
    EXPECT_TRUE(SameBits(s->effectors[20].t, node(51)->globalT));
    EXPECT_TRUE(SameBits(s->effectors[21].q, node(56)->globalQ)) << "tip 3: joint 2";
    EXPECT_TRUE(SameBits(s->effectors[21].t, node(57)->globalT));
    EXPECT_TRUE(SameBits(s->effectors[22].q, V(0, 0, 0, 1)) && SameBits(s->effectors[22].t, V(0, 0, 0, 0)));

    // The octet blend: weight 0 gives the pose, weight 1 keeps the stored value.
    const VLMExtremity* hand = VLMCharacterExtremity(c, 0);
    VLMLimbContactRecord record;
    VLMInitLimbContactRecord(&record);
    for (int i = 0; i < 8; ++i)
        record.slots[i].t = V(7, 7, 7, 0), record.lanes[i] = i < 4 ? V(0, 0, 0, 0) : V(1, 1, 0, 0);
    VLMComputeExtremityEffectorsFromPose(c, hand, &record, rows, true, &props);
    for (int i = 0; i < 8; ++i) {
        const D4 want = i < 4 ? Wide(s->effectors[(&hand->endEffector)[i]].t) : D4{7, 7, 7, 0};
        EXPECT_LT(MaxDiff(record.slots[i].t, want), 1e-6) << i;
    }
}

// Every property entry a value of its own: each lane holds the value of the entry the lane table names.
TEST(Groundwork, EveryLaneReadsItsOwnPropertyEntry)
{
    // clang-format off
    const char* const lanes[20][4] = {
        {"1",                        "1",                                   "CtrlResistHipsPosition", "CtrlResistHipsOrientation"},
        {"ReachActorLeftAnkle",      "ReachActorLeftAnkleRotationRotation", "CtrlPullLeftFoot",       "0"},
        {"ReachActorRightAnkle",     "ReachActorRightAnkleRotation",        "CtrlPullRightFoot",      "0"},
        {"ReachActorLeftWrist",      "ReachActorLeftWristRotation",         "CtrlChestPullLeftHand",  "0"},
        {"ReachActorRightWrist",     "ReachActorRightWristRotation",        "CtrlChestPullRightHand", "0"},
        {"ReachActorLeftKnee",       "0",                                   "CtrlPullLeftKnee",       "CtrlResistLeftKnee"},
        {"ReachActorRightKnee",      "0",                                   "CtrlPullRightKnee",      "CtrlResistRightKnee"},
        {"ReachActorLeftElbow",      "0",                                   "CtrlPullLeftElbow",      "CtrlResistLeftElbow"},
        {"ReachActorRightElbow",     "0",                                   "CtrlPullRightElbow",     "CtrlResistRightElbow"},
        {"0",                        "ReachActorLowerChestRotation",        "1",                      "ParamCtrlSpineStiffness"},
        {"ReachActorChest",          "ReachActorChestRotation",             "CtrlResistChestPosition","CtrlResistChestOrientation"},
        {"ReachActorLeftToesBase",   "ReachActorLeftToesBaseRotation",      "CtrlPullLeftToeBase",    "0"},
        {"ReachActorRightToesBase",  "ReachActorRightToesBaseRotation",     "CtrlPullRightToeBase",   "0"},
        {"ReachActorLeftShoulder",   "0",                                   "0",                      "CtrlResistLeftCollar"},
        {"ReachActorRightShoulder",  "0",                                   "0",                      "CtrlResistRightCollar"},
        {"ReachActorHead",           "ReachActorHeadRotation",              "CtrlPullHead",           "ParamCtrlNeckStiffness"},
        {"0",                        "0",                                   "0",                      "0"},
        {"0",                        "0",                                   "0",                      "0"},
        {"ReachActorLeftFingerBase", "ReachActorLeftFingerBaseRotation",    "CtrlPullLeftFingerBase", "0"},
        {"ReachActorRightFingerBase","ReachActorRightFingerBaseRotation",   "CtrlPullRightFingerBase","0"},
    };
    // clang-format on
    VLMPropertySetState p = Defaults();
    const auto value = [&](const char* name) {
        if (std::strcmp(name, "0") == 0 || std::strcmp(name, "1") == 0)
            return float(name[0] - '0');
        for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e)
            if (std::strcmp(VLMPropertyTable()[e].name, name) == 0)
                return p.entries[e].value;
        ADD_FAILURE() << "no entry " << name;
        return -1.0f;
    };
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e)
        p.entries[e].value = float(e + 1) / 1024;
    VLMEffectorSetStateHandle set = NewSet();
    VLMEffectorSetLayout* s = Layout(set.get());
    VLMSetEffectorReachFromProperties(s, &p);
    VLMSetEffectorPullFromProperties(s, &p);
    VLMSetEffectorStiffnessFromProperties(s, &p);
    VLMSetHandPullFromProperties(s, &p);
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
        for (int lane = 0; lane < 4; ++lane)
            EXPECT_EQ(mathtest::Lane(s->blend[e], lane), e < 20 ? value(lanes[e][lane]) : 0.0f)
                << "effector " << e << ", lane " << lane;
    EXPECT_EQ(s->leftHandPull, value("CtrlPullLeftHand"));
    EXPECT_EQ(s->rightHandPull, value("CtrlPullRightHand"));
}

// Non-zero offsets: the hips effector's turns with the hips, the chest end's with the chest node.
TEST(Groundwork, HipsAndChestOffsetsTurnWithTheirNodes)
{
    for (const fixtures::Proportions& p : {fixtures::Typical(), fixtures::Full()}) {
        for (unsigned seed = 1; seed <= 4; ++seed) {
            fixtures::Scene s(p, {false, {}, true, false, seed}, {0.5f, 0.5f, 10.0f});
            const P3 hipsOffset{3, -5, 7}, chestOffset{-4, 6, 2};
            for (int i = 0; i < 3; ++i) {
                s.properties.entries[vlm_entry::HipsTOffsetX + i].value = float((&hipsOffset.x)[i]);
                s.properties.entries[vlm_entry::ChestTOffsetX + i].value = float((&chestOffset.x)[i]);
            }
            VLMComputeEffectorsFromPose(s.c(), s.effectors(), s.rows(), &s.properties);
            const auto turned = [](const VLMVector4& q, const P3& v) {
                const D4 r = mathtest::Rotate(Wide(q), {v.x, v.y, v.z, 0});
                return P3{r[0], r[1], r[2]};
            };
            const auto mid = [&](int a, int b) { return 0.5 * (At(Row(s, a).globalT) + At(Row(s, b).globalT)); };
            const VLMStateRow& hips = Row(s, VLM_NODE_HIPS);
            const VLMStateRow& chest = Row(s, p.spineJoints ? VLM_NODE_SPINE1 + p.spineJoints - 1 : VLM_NODE_SPINE);
            const VLMTransformTQS* e = s.effectors()->effectors;
            SCOPED_TRACE(::testing::Message() << "spine " << p.spineJoints << ", seed " << seed);
            EXPECT_LT(Len(At(e[VLM_HIPS_EFFECTOR].t) - mid(2, 5) - turned(hips.globalQ, hipsOffset)), 1e-3);
            EXPECT_LT(Len(At(e[VLM_CHEST_END_EFFECTOR].t) - mid(18, 19) - turned(chest.globalQ, chestOffset)), 1e-3);
            EXPECT_TRUE(SameBits(e[VLM_HIPS_EFFECTOR].q, hips.globalQ));
            EXPECT_TRUE(SameBits(e[VLM_CHEST_END_EFFECTOR].q, chest.globalQ));
        }
    }
}

// Fixtures: presets have limb slots, the symmetric variant mirrors, samples keep limits and bones.
TEST(Groundwork, FixturesSelfCheck)
{
    for (const fixtures::Proportions& p :
         {fixtures::Minimal(), fixtures::Typical(), fixtures::Full(), fixtures::Retarget()}) {
        fixtures::Fixture f = fixtures::Build(p, {true, {}, true, true, 9});
        VLMCharacter* c = f.character.get();
        ASSERT_NE(c, nullptr);
        for (int k = 0; k < 4; ++k)
            for (int slot : {VLM_SLOT_UPPER, VLM_SLOT_MIDDLE, VLM_SLOT_END})
                EXPECT_GE(VLMCharacterLimb(c, k)->slotIndex[slot], 0) << k;
        for (int id = 0; id < VLM_NODE_COUNT; ++id) {
            const int m = fixtures::MirrorNode(id);
            float t[4], q[4], s[4], mt[4], mq[4], ms[4];
            VLMGetNodeTPose(c, id, t, q, s);
            VLMGetNodeTPose(c, m, mt, mq, ms);
            if (VLMCharacterCompactIndex(c, id) < 0 || m == id)
                continue;
            EXPECT_TRUE(t[0] == -mt[0] && t[1] == mt[1] && t[2] == mt[2]) << id;
            EXPECT_TRUE(q[0] == mq[0] && q[1] == -mq[1] && q[2] == -mq[2] && q[3] == mq[3]) << id;
        }
        VLMCharacterStateHandle state = NewState(c), clamped = NewState(c), rest = NewState(c);
        VLMStateRow* rows = VLMStateFirstRow(state.get());
        VLMSetStateToTPose(c, VLMStateFirstRow(rest.get()));
        std::mt19937 rng(9);
        fixtures::SamplePose(c, state.get(), rng, {0.8f, 0.3f, 10.0f, true});
        std::memcpy(clamped.get(), state.get(), VLMGetCharacterStateSize(c));
        VLMStateRow* crows = VLMStateFirstRow(clamped.get());
        VLMApplyLimitsBelow(c, crows, VLMCharacterNodeRecords(c), VLMCharacterRotationRecords(c));
        for (int id = 2; id < VLM_NODE_COUNT; ++id) {
            const int parent = VLMGetParentNodeId(c, id);
            if (VLMCharacterCompactIndex(c, id) < 0 || parent < 1)
                continue;
            EXPECT_TRUE(SameRotation(VLMNodeRow(c, crows, id)->localQ, Wide(VLMNodeRow(c, rows, id)->localQ), 1e-4))
                << "within limits: " << id;
            auto length = [&](const VLMStateRow* r) {
                const VLMVector4 a = VLMNodeRow(c, r, id)->globalT, b = VLMNodeRow(c, r, parent)->globalT;
                return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
            };
            EXPECT_NEAR(length(rows), length(VLMStateFirstRow(rest.get())), 1e-3) << "bone length: " << id;
        }
    }
}

}  // namespace
