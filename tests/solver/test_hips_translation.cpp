#include "solver_test_util.h"

namespace {

using namespace soltest;

// HipsTranslation: 0 and 3 keep the offset, 1 turns with the hips, 2 follows the trajectory.
TEST(HipsTranslation, EveryModePlacesTheHipsTranslationNode)
{
    for (const fixtures::Proportions& p : {fixtures::Typical(), fixtures::Full()}) {
        for (int mode = 0; mode < 4; ++mode) {
            fixtures::Scene s = Make(p, 6), source = Make(p, 7);
            s.properties.entries[vlm_entry::HipsTranslationMode].value = float(mode);
            const_cast<VLMTPoseEntry*>(VLMCharacterTPoseEntry(s.c(), VLM_NODE_HIPS_TRANSLATION))->t.x += 4.0f;
            const std::vector<VLMStateRow> before = s.snapshot();
            VLMScopedFPGuard guard;
            VLMSolveHipsTrajectory(s.c(), s.rows(), &s.properties);
            const VLMVector4 t = V(1, 2, 3, 0), q = VLMQuatNormalize(V(0, 0.3f, 0, 1)), scale = V(1, 1, 1, 1);
            VLMApplyHipsTrajectory(s.c(), s.rows(), source.c(), source.rows(), &s.properties, t, q, scale);
            if (!Has(s, VLM_NODE_HIPS_TRANSLATION)) {
                EXPECT_TRUE(Unchanged(s, before));
                continue;
            }
            const VLMStateRow& hips = Row(s, VLM_NODE_HIPS);
            const VLMVector4 offset = VLMVector4Sub(VLMCharacterTPoseEntry(s.c(), VLM_NODE_HIPS_TRANSLATION)->t,
                                                    VLMCharacterTPoseEntry(s.c(), VLM_NODE_HIPS)->t);
            const VLMVector4 want[4] = {
                VLMVector4Add(hips.globalT, offset), VLMVector4Add(hips.globalT, VLMQuatRotate(hips.globalQ, offset)),
                VLMVector4Add(t, VLMQuatRotate(q, Row(source, VLM_NODE_HIPS_TRANSLATION).globalT)),
                VLMVector4Add(hips.globalT, offset)};
            EXPECT_LT(Len(At(Row(s, VLM_NODE_HIPS_TRANSLATION).globalT) - At(want[mode])), 1e-4) << mode;
        }
    }
}

}  // namespace
