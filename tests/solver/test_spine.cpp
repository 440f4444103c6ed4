#include "solver_test_util.h"

namespace {

using namespace soltest;

// Hips placement and the spine stretch's factor.
TEST(Spine, PlacementAndStretch)
{
    fixtures::Scene s = Make(fixtures::Typical(), 9);
    VLMScopedFPGuard guard;
    const VLMVector4 where = V(3, 90, -4, 0), turn = VLMQuatNormalize(V(0.1f, 0.4f, 0.2f, 0.9f));
    VLMPlaceHips(s.c(), s.rows(), where, turn);
    VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
    EXPECT_LT(Len(0.5 * (At(Row(s, 2).globalT) + At(Row(s, 5).globalT)) - At(where)), 1e-4);

    const std::vector<VLMStateRow> before = s.snapshot();
    const VLMVector4 end = [&] {
        VLMVector4 e;
        VLMGetChestEndPosition(s.c(), &e, s.rows(), V(0, 0, 0, 0));
        return e;
    }();
    const struct {
        float distance, reach, freedom, lo, hi;
    } cases[] = {
        {1, 1, 0.5f, 1 - 1e-6f, 1 + 1e-6f}, {1000, 1, 0.5f, 1.95f, 2}, {0, 10, 0.5f, 0, 0.1f}, {1.3f, 0, 0.5f, 1, 1}};
    for (const auto& c : cases) {
        Restore(s, before);
        const VLMVector4 spine = Row(s, VLM_NODE_SPINE).globalT;
        const VLMVector4 target = VLMVector4Add(spine, VLMVector4Mul(VLMVector4Sub(end, spine), S(c.distance)));
        VLMVector4 limiter = V(1, c.freedom, 1, 1);
        VLMStretchSpine(s.c(), s.rows(), target, S(0), S(0), V(0, 0, 0, 0), S(1), S(1), S(c.reach), &limiter);
        EXPECT_GE(limiter.x, c.lo) << c.distance;
        EXPECT_LE(limiter.x, c.hi) << c.distance;
        const auto bone = [&](const VLMStateRow* rows) {
            return Len(At(rows[VLMCharacterCompactIndex(s.c(), 23)].globalT) -
                       At(rows[VLMCharacterCompactIndex(s.c(), 8)].globalT));
        };
        EXPECT_TRUE(c.hi > 1.1f || c.lo < 0.9f || std::fabs(bone(s.rows()) - bone(before.data())) < 1e-4);
    }
}

// Targets on the chest end's ray from the spine and up to 0.35 rad off it, within the limiter, with the pre-rotation
// weights the callers hand (0 from the spine-only pass, 0.5 (1 - t) from the body pull), 1 to 5 spine nodes: the
// stretched chest end lands on its target. A one-node spine whose children keep their offsets has only its
// hips-to-spine bone to grow: that bone grows by the factor, and the chest end comes as near the target as a turn
// about the moved spine joint can bring it.
TEST(Spine, StretchPutsTheChestEndOnItsTarget)
{
    std::mt19937 rng(40);
    std::uniform_real_distribution<double> off(0.05, 0.35);
    for (int spineJoints = -1; spineJoints <= 4; ++spineJoints) {  // -1: Minimal (no Spine1, no shoulders)
        fixtures::Proportions p = spineJoints < 0 ? fixtures::Minimal() : fixtures::Typical();
        p.spineJoints = std::max(spineJoints, 0);
        for (unsigned seed : {9u, 4u}) {
            fixtures::Scene s = Make(p, seed);
            VLMScopedFPGuard guard;
            const auto chestEnd = [&] {
                VLMVector4 e;
                VLMGetChestEndPosition(s.c(), &e, s.rows(), V(0, 0, 0, 0));
                return At(e);
            };
            const P3 end = chestEnd(), spine = At(Row(s, VLM_NODE_SPINE).globalT), hips = At(Row(s, 1).globalT);
            const std::vector<VLMStateRow> before = s.snapshot();
            for (float w : {0.0f, 0.25f, 0.5f}) {
                for (float k : {0.8f, 1.2f, 1.3f, 1.45f}) {
                    for (int ray = 0; ray < 2; ++ray) {
                        const P3 d = end - spine, side = Cross(d, RandomDirection(rng)), n = (1 / Len(side)) * side;
                        const double a = ray == 0 ? 0.0 : off(rng);
                        const P3 goal = spine + k * (std::cos(a) * d + std::sin(a) * Len(d) * n);
                        const VLMVector4 target = V(float(goal.x), float(goal.y), float(goal.z), 0);
                        for (float children : {1.0f, 0.0f}) {
                            if (children == 0.0f && spineJoints > 0)
                                continue;
                            Restore(s, before);
                            VLMVector4 limiter = V(1, 1, 1, 1);
                            VLMStretchSpine(s.c(), s.rows(), target, S(0), S(w), V(0, 0, 0, 0), S(1), S(children), S(1),
                                            &limiter);
                            VLMUpdateUpperBodyGlobals(s.c(), s.rows());
                            SCOPED_TRACE(::testing::Message()
                                         << "spine " << spineJoints << " seed " << seed << " w " << w << " k " << k
                                         << " off " << a << " children " << children);
                            const double miss = Len(chestEnd() - At(target));
                            if (children == 1.0f) {
                                EXPECT_LT(miss, 2e-4);
                                continue;
                            }
                            const P3 moved = At(Row(s, VLM_NODE_SPINE).globalT);
                            EXPECT_NEAR(Len(moved - hips), k * Len(spine - hips), 2e-4);
                            EXPECT_NEAR(miss, std::fabs(Len(At(target) - moved) - Len(chestEnd() - moved)), 2e-4);
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
