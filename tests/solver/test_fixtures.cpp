#include "solver_test_util.h"

namespace {

using namespace soltest;

// Fixtures: presets have limb slots, the symmetric variant mirrors, samples keep limits and bones.
TEST(Fixtures, SelfCheck)
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
