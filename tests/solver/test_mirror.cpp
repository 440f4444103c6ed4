#include "solver_test_util.h"

namespace {

using namespace soltest;

// Twice is the identity; a symmetric T-pose turns half about y; a one-sided shoulder keeps its local.
TEST(Mirror, PosesAndEffectorSets)
{
    fixtures::Scene s = Make(fixtures::Full(), 4, true);
    VLMEffectorSetLayout* set = s.effectors();
    std::mt19937 rng(4);
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
        set->effectors[e] = {mathtest::RandomVector(rng, 50, 0), mathtest::RandomUnitQuat(rng), V(1, 2, 3, 1)},
        set->blend[e] = mathtest::RandomVector(rng, 1, 0);
    const VLMEffectorSetLayout copy = *set;
    VLMMirrorEffectorSet(set);
    EXPECT_TRUE(SameBits(set->blend[VLM_LEFT_WRIST_EFFECTOR], copy.blend[VLM_RIGHT_WRIST_EFFECTOR]));
    VLMMirrorEffectorSet(set);
    EXPECT_EQ(std::memcmp(set, &copy, sizeof copy), 0);

    VLMScopedFPGuard guard;
    const std::vector<VLMStateRow> before = s.snapshot();
    VLMMirrorPose(s.c(), s.rows());
    VLMMirrorPose(s.c(), s.rows());
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        const int r = VLMCharacterCompactIndex(s.c(), id);
        if (r < 0)
            continue;
        EXPECT_LT(TurnAngle(s.rows()[r].globalQ, before[r].globalQ), 1e-5) << id;
        EXPECT_LT(Len(At(s.rows()[r].globalT) - At(before[r].globalT)), 1e-4) << id;
    }
    VLMSetStateToTPose(s.c(), s.rows());
    VLMTreeGlobalToLocal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
    const std::vector<VLMStateRow> rest = s.snapshot();
    VLMMirrorPose(s.c(), s.rows());
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        const int r = VLMCharacterCompactIndex(s.c(), id);
        if (r < 0)
            continue;
        EXPECT_LT(TurnAngle(s.rows()[r].globalQ, V(0, 1, 0, 0)), 1e-5) << id;
        const P3 t = At(rest[r].globalT);
        EXPECT_LT(Len(At(s.rows()[r].globalT) - P3{-t.x, t.y, -t.z}), 1e-3) << id;
    }

    fixtures::Proportions oneSided = fixtures::Typical();
    oneSided.shoulders = false;
    fixtures::Fixture f = fixtures::Build(oneSided, {false, {}, true, false, 2});
    f.definition.words[VLM_NODE_LEFT_SHOULDER] = 7;
    fixtures::Fixture g = fixtures::Build(fixtures::Typical(), {false, {}, true, false, 2});
    VLMCharacterHandle c = VLMAdopt<VLMCharacterHandle>(VLMCreateCharacter(&f.definition, &Malloc));
    VLMApplyJointGeometries(&f.definition, c.get(), g.records.data(), VLM_NODE_COUNT, nullptr);
    VLMCharacterStateHandle state = NewState(c.get());
    fixtures::SamplePose(c.get(), state.get(), rng, {});
    VLMStateRow* rows = VLMStateFirstRow(state.get());
    const VLMVector4 local = VLMNodeRow(c.get(), rows, VLM_NODE_LEFT_SHOULDER)->localQ;
    VLMMirrorPose(c.get(), rows);
    EXPECT_LT(TurnAngle(VLMNodeRow(c.get(), rows, VLM_NODE_LEFT_SHOULDER)->localQ, local), 1e-6);
}

}  // namespace
