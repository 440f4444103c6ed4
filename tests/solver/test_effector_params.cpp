#include "solver_test_util.h"

namespace {

using namespace soltest;

TEST(EffectorParams, EveryEntryConstantNamesItsTableEntry)
{
#define CHECK_ENTRY(n, entry) EXPECT_STREQ(VLMPropertyTable()[vlm_entry::n].name, #n);
    VLM_PROPERTY_ENTRY_LIST(CHECK_ENTRY)
#undef CHECK_ENTRY
    EXPECT_STREQ(VLMPropertyTable()[vlm_entry::ReachActorLeftAnkleRotationRotation].name,
                 "ReachActorLeftAnkleRotationRotation");
}

TEST(EffectorParams, LanesFromPropertiesAndTheReachMask)
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

TEST(EffectorParams, RecordsMoveOnlyTheirFields)
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

// Every property entry a value of its own: each lane holds the value of the entry the lane table names.
TEST(EffectorParams, EveryLaneReadsItsOwnPropertyEntry)
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

}  // namespace
