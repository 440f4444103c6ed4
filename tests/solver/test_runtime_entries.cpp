#include "solver_test_util.h"

#include <memory>

namespace {

using namespace soltest;

fixtures::Scene Make(const fixtures::Proportions& p, unsigned seed, bool limits = false)
{
    return fixtures::Scene(p, {limits, {}, true, false, seed}, {0.5f, 0.3f, 10.0f, false, false});
}

// Node 0 after the T-pose entry reads as its own (turned, offset, scaled) T-pose.
TEST(Entries, TPoseShowsNodeZerosTPose)
{
    fixtures::Scene s = Make(fixtures::Typical(), 3);
    const float t[4] = {4, -2, 7, 0}, q[4] = {0.1f, 0.7f, -0.1f, 0.7f}, sc[4] = {2, 2, 2, 1};
    VLMSetNodeTPose(s.fixture.character.get(), 0, t, q, sc);
    VLMPutStateInTPose(s.c(), s.state.get());
    float got[3][4], want[3][4];
    VLMGetNodeStateTQS(s.c(), s.state.get(), 0, got[0], got[1], got[2]);
    VLMGetNodeTPose(s.c(), 0, want[0], want[1], want[2]);
    EXPECT_EQ(0, std::memcmp(got, want, sizeof got));
}

// A 16-node source in exact-size memory (overrun shows under ASan) fills only 16 rows.
TEST(Entries, CopyTakesTheSmallerNodeCount)
{
    fixtures::Scene big = Make(fixtures::Full(), 1), small = Make(fixtures::Minimal(), 2);
    const std::uint64_t size = VLMGetCharacterStateSize(small.c());
    std::unique_ptr<void, decltype(&std::free)> memory(std::aligned_alloc(16, size), &std::free);
    std::memcpy(memory.get(), small.state.get(), size);
    const auto* source = static_cast<const VLMCharacterState*>(memory.get());
    const std::vector<VLMStateRow> before = big.snapshot();
    VLMCopyCharacterState(big.state.get(), source);
    EXPECT_EQ(0, std::memcmp(big.rows(), small.rows(), 16 * sizeof(VLMStateRow)));
    EXPECT_EQ(0, std::memcmp(big.rows() + 16, before.data() + 16, (before.size() - 16) * sizeof(VLMStateRow)));
    // Back the other way only the source's 16 rows fit.
    VLMCopyCharacterState(static_cast<VLMCharacterState*>(memory.get()), big.state.get());
    EXPECT_EQ(0, std::memcmp(VLMStateFirstRow(source), big.rows(), 16 * sizeof(VLMStateRow)));
}

// Within limits only the Euler round trip; a joint past its limits comes back onto them.
TEST(Entries, ClampKeepsPosesWithinLimits)
{
    fixtures::Scene s = Make(fixtures::Typical(), 5, true);
    auto limitsOf = [&](int id) {
        return &VLMCharacterRotations(s.c())[VLMCharacterNodeRecord(s.c(), id)->rotationIndex].part;
    };
    const VLMNodeRecord* records = VLMCharacterNodeRecords(s.c());
    VLMNodeRotationFromEuler(limitsOf(VLM_NODE_HIPS), Row(s, VLM_NODE_HIPS).localQ,
                             V(0.2f, -0.3f, 0.1f, 0.0f));  // the sampler turns the hips regardless of limits
    VLMTreeLocalToGlobal(s.c(), s.rows(), records);
    const std::vector<VLMStateRow> before = s.snapshot();
    VLMClampPoseToRotationLimits(s.c(), s.state.get());
    for (std::size_t k = 0; k < before.size(); ++k) {
        EXPECT_LT(MaxDiff(s.rows()[k].globalT, Wide(before[k].globalT)), 2e-3) << k;
        EXPECT_LT(TurnAngle(s.rows()[k].globalQ, before[k].globalQ), 2e-4) << k;
    }
    VLMStateRow& arm = Row(s, VLM_NODE_LEFT_FORE_ARM);
    arm.localQ = VLMQuatNormalize(V(0.9f, 0.3f, 0.0f, 0.3f));  // about 2.5 rad
    VLMTreeLocalToGlobal(s.c(), s.rows(), records);
    VLMClampPoseToRotationLimits(s.c(), s.state.get());
    VLMVector4 angles;
    VLMNodeEulerFromRotation(limitsOf(VLM_NODE_LEFT_FORE_ARM), angles, arm.localQ);
    for (float a : {angles.x, angles.y, angles.z})
        EXPECT_LE(std::fabs(a), 1.0f + 1e-4f);
    EXPECT_TRUE(SameBits(Row(s, 0).globalQ, before[0].globalQ));  // Reference is never clamped
}

// Hips reflected across the frame's z plane; root and hips take the reference's rotations; null frame = identity.
TEST(Entries, MirrorInFrame)
{
    fixtures::Scene s = Make(fixtures::Typical(), 7), same = Make(fixtures::Typical(), 7);
    fixtures::Scene reference = Make(fixtures::Typical(), 9);
    VLMStateRow& refRoot = Row(reference, 0);
    refRoot.globalQ = VLMQuatNormalize(V(0.0f, 0.3f, 0.0f, 0.9f));
    const VLMVector4 hips = Row(s, VLM_NODE_HIPS).globalT, rootT = Row(s, 0).globalT;
    const double frame[4] = {0.0, 0.38268343236, 0.0, 0.92387953251};  // 45 degrees about y
    VLMMirrorPoseInFrame(nullptr, s.state.get(), reference.state.get(), s.c(), frame);
    const D4 n = mathtest::Rotate({frame[0], frame[1], frame[2], frame[3]}, {0, 0, 1, 0});
    const double d = hips.x * n[0] + hips.y * n[1] + hips.z * n[2];
    const D4 mirrored = {hips.x - 2 * d * n[0], hips.y - 2 * d * n[1], hips.z - 2 * d * n[2], 0};
    const D4 placed = mathtest::Rotate(Wide(refRoot.globalQ), mirrored);
    const double size = 1 + std::fabs(hips.x) + std::fabs(hips.y) + std::fabs(hips.z);
    EXPECT_LT(MaxDiff(Row(s, VLM_NODE_HIPS).globalT, placed, 3), 4e-6 * size);  // a few float roundings
    EXPECT_LT(TurnAngle(Row(s, VLM_NODE_HIPS).globalQ, Row(reference, VLM_NODE_HIPS).globalQ), 1e-5);
    EXPECT_TRUE(SameBits(Row(s, 0).globalQ, refRoot.globalQ));
    EXPECT_TRUE(SameBits(Row(s, 0).globalT, rootT));

    const double identity[4] = {0, 0, 0, 1};
    fixtures::Scene other = Make(fixtures::Typical(), 7);
    VLMMirrorPoseInFrame(nullptr, same.state.get(), reference.state.get(), same.c(), nullptr);
    VLMMirrorPoseInFrame(nullptr, other.state.get(), reference.state.get(), other.c(), identity);
    EXPECT_EQ(0, std::memcmp(same.rows(), other.rows(), same.snapshot().size() * sizeof(VLMStateRow)));
}

// Indices 0..3 always answer, 4 and 5 for (rounded) type 0 only; the matrix carries the point.
TEST(Entries, ContactPointTypesAndIndices)
{
    fixtures::Scene s = Make(fixtures::Typical(), 11);
    Row(s, VLM_NODE_LEFT_FOOT).globalQ = VLMQuatNormalize(V(0.3f, 0.2f, 0.1f, 0.9f));
    struct Case {
        int extremity, index;
        float type;
        bool found;
    };
    for (const Case& c :
         {Case{2, 2, 3.0f, true}, Case{2, 2, 4.0f, true}, Case{1, 0, 1.0f, true}, Case{2, 4, 2.0f, false},
          Case{2, 4, 0.0f, true}, Case{2, 4, 0.4f, true}, Case{2, 5, 0.6f, false}, Case{3, 4, 3.7f, false},
          Case{3, 5, 3.7f, false}, Case{0, -1, 0.0f, true}, Case{4, 0, 0.0f, false}, Case{-1, 0, 0.0f, false}}) {
        s.properties.entries[vlm_entry::HandContactType].value = c.type;
        s.properties.entries[vlm_entry::FootContactType].value = c.type;
        float point[4] = {9, 9, 9, 9};
        double matrix[16];
        EXPECT_EQ(VLMGetContactPoint(s.c(), s.state.get(), &s.properties, c.extremity, c.index, point), c.found);
        EXPECT_EQ(VLMGetContactPointMatrixd(s.c(), s.state.get(), &s.properties, c.extremity, c.index, matrix),
                  c.found);
        VLMVector4 want = V(0, 0, 0, 0);
        if (c.found) {
            VLMScopedFPGuard guard;
            VLMContactPointRows(s.c(), &want, VLMCharacterExtremity(s.c(), c.extremity), &s.properties, c.index,
                                s.rows());
        }
        EXPECT_TRUE(SameBits(VLMVector4LoadUnaligned(point), want)) << c.extremity << c.index << c.type;
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(matrix[i], i < 12 ? double(i % 5 == 0) : i < 15 ? double(point[i - 12]) : 1.0) << i;
    }
}

}  // namespace
