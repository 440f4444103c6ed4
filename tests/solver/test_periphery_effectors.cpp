#include "rig/solver/vlm_effector_matrix.h"
#include "rig/solver/vlm_pose_setup.h"
#include "rig/solver/vlm_solver_access.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"

#include "solver_fixtures.h"
#include "solver_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using mathtest::V;

const VLMVector4 kTurnZ = V(0.0f, 0.0f, 0.70710677f, 0.70710677f);  // 90 degrees about z

// A matrix of rotation times positive scales.
void MatrixOf(float* m, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    VLMScopedFPGuard guard;
    VLMMatrix44CopyUnaligned(m, VLMTQSToMatrix44Normalized(t, q, s));
}

void Widen(const float* f, double* d, int n)
{
    for (int i = 0; i < n; ++i)
        d[i] = f[i];
}

// Matrices written and read back, for effectors and extremity frames, float
// and double forms; the extremity's matrix write replaces the scale, its TQ
// setter does not.
TEST(EffectorMatrix, WriteThenReadGivesTheMatrixBack)
{
    VLMEffectorSetStateHandle set = soltest::NewSet();
    std::mt19937 rng(3);
    for (int round = 0; round < 20; ++round) {
        float m[16], back[16], extremityBack[16];
        MatrixOf(m, mathtest::RandomVector(rng, 50, 0), mathtest::RandomUnitQuat(rng),
                 V(0.5f + round * 0.1f, 1.5f, 2.0f + round * 0.05f, 1));
        double md[16], backd[16], widened[16];
        Widen(m, md, 16);
        const int id = round % 44, k = round % 4;
        VLMWriteEffectorMatrix(set.get(), id, m);
        VLMReadEffectorMatrix(set.get(), id, back);
        VLMWriteExtremityMatrix(set.get(), k, m);
        VLMReadExtremityMatrix(set.get(), k, extremityBack);
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(back[i], m[i], 2e-5 * (1 + std::fabs(m[i])));
            EXPECT_EQ(back[i], extremityBack[i]);
        }
        VLMWriteEffectorMatrixd(set.get(), id, md);
        VLMReadEffectorMatrixd(set.get(), id, backd);
        Widen(back, widened, 16);
        EXPECT_EQ(0, std::memcmp(backd, widened, sizeof backd));
        VLMWriteExtremityMatrixd(set.get(), k, md);
        VLMReadExtremityMatrixd(set.get(), k, backd);
        EXPECT_EQ(0, std::memcmp(backd, widened, sizeof backd));
    }
    const VLMTransformTQS& frame = VLMEffectorSetLayoutOf(set.get())->extremities[2];
    const float t[4] = {1, 2, 3, 0}, q[4] = {0, 0, 0, 1};
    float m[16];
    MatrixOf(m, V(0, 0, 0, 0), V(0, 0, 0, 1), V(3, 3, 3, 1));
    VLMWriteExtremityMatrix(set.get(), 2, m);
    VLMSetExtremityTQ(set.get(), 2, t, q);
    EXPECT_TRUE(mathtest::SameBits(frame.s, V(3, 3, 3, 1)));
}

// The pivot rule: 90 degrees about z, scale 2 and pivot (1, 0, 0) store T
// (0, 2, 0); the getters give the frame back; the TQS setter keeps S's w lane
// as given, the matrix setter stores 1; the pivot's w lane does nothing.
TEST(EffectorMatrix, PivotSettersAndGetters)
{
    VLMEffectorSetStateHandle set = soltest::NewSet();
    const VLMTransformTQS& record = VLMEffectorSetLayoutOf(set.get())->effectors[7];
    const float t[4] = {0, 0, 0, 0}, s[4] = {2, 2, 2, 0}, pivot[4] = {1, 0, 0, 0}, pivotW[4] = {1, 0, 0, 5};
    VLMSetEffectorStatePivotTQS(set.get(), 7, t, &kTurnZ.x, s, pivotW);
    EXPECT_LT(mathtest::MaxDiff(record.t, {0, 2, 0, 0}), 1e-6);
    EXPECT_TRUE(mathtest::SameBits(record.s, V(2, 2, 2, 0)));
    float m[16], tq[3][4];
    VLMGetEffectorStatePivotMatrix(set.get(), 7, m, pivot);
    for (int i = 12; i < 15; ++i)
        EXPECT_NEAR(m[i], 0.0f, 1e-6f);
    VLMGetEffectorStatePivotTQS(set.get(), 7, tq[0], tq[1], tq[2], pivotW);
    EXPECT_LT(mathtest::MaxDiff(VLMVector4LoadUnaligned(tq[0]), {0, 0, 0, 0}), 1e-6);
    EXPECT_TRUE(mathtest::SameBits(VLMVector4LoadUnaligned(tq[1]), kTurnZ));

    // A random frame with non-uniform scale: set by matrix, read by TQS and matrix.
    std::mt19937 rng(8);
    for (int round = 0; round < 10; ++round) {
        const VLMVector4 ft = mathtest::RandomVector(rng, 20, 0), fq = mathtest::RandomUnitQuat(rng);
        const VLMVector4 fs = V(1.0f + round * 0.2f, 0.5f, 3.0f, 1), p = mathtest::RandomVector(rng, 5, 7);
        MatrixOf(m, ft, fq, fs);
        double md[16], pd[4], outd[3][4], backd[16], widened[16];
        Widen(m, md, 16);
        Widen(&p.x, pd, 4);
        VLMSetEffectorStatePivotMatrix(set.get(), 7, m, &p.x);
        EXPECT_EQ(record.s.w, 1.0f);
        VLMGetEffectorStatePivotTQS(set.get(), 7, tq[0], tq[1], tq[2], &p.x);
        EXPECT_LT(mathtest::MaxDiff(VLMVector4LoadUnaligned(tq[0]), mathtest::Wide(ft)), 1e-4);
        float back[16];
        VLMGetEffectorStatePivotMatrix(set.get(), 7, back, &p.x);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(back[i], m[i], 1e-4 * (1 + std::fabs(m[i])));
        // The double forms are the float forms widened.
        const VLMTransformTQS kept = record;
        VLMSetEffectorStatePivotMatrixd(set.get(), 7, md, pd);
        EXPECT_EQ(0, std::memcmp(&kept, &record, sizeof kept));
        VLMGetEffectorStatePivotTQSd(set.get(), 7, outd[0], outd[1], outd[2], pd);
        Widen(&tq[0][0], &widened[0], 12);
        EXPECT_EQ(0, std::memcmp(outd, widened, sizeof outd));
        VLMGetEffectorStatePivotMatrixd(set.get(), 7, backd, pd);
        Widen(back, widened, 16);
        EXPECT_EQ(0, std::memcmp(backd, widened, sizeof backd));
        const double td[4] = {ft.x, ft.y, ft.z, 0}, qd[4] = {fq.x, fq.y, fq.z, fq.w}, sd[4] = {fs.x, fs.y, fs.z, 1};
        VLMSetEffectorStatePivotTQS(set.get(), 7, &ft.x, &fq.x, &fs.x, &p.x);
        const VLMTransformTQS single = record;
        VLMSetEffectorStatePivotTQSd(set.get(), 7, td, qd, sd, pd);
        EXPECT_EQ(0, std::memcmp(&single, &record, sizeof single));
    }
}

// The pose's effector as a matrix, in the stored frame of the rows.
TEST(EffectorMatrix, PoseEffectorMatrix)
{
    fixtures::Scene s(fixtures::Typical(), {false, {}, true, false, 4}, {});
    for (int id : {0, 3, 10, 18, 22}) {
        float m[16];
        double md[16], widened[16];
        VLMReadPoseEffectorMatrix(s.c(), id, s.state.get(), &s.properties, m);
        VLMReadPoseEffectorMatrixd(s.c(), id, s.state.get(), &s.properties, md);
        VLMTransformTQS x;
        VLMScopedFPGuard guard;
        VLMComputeEffectorFromPose(s.c(), x.t, x.q, x.s, s.rows(), id, &s.properties);
        const VLMMatrix44 want = VLMTQSToMatrix44Normalized(x.t, x.q, x.s);
        EXPECT_EQ(0, std::memcmp(m, &want, sizeof m)) << id;
        Widen(m, widened, 16);
        EXPECT_EQ(0, std::memcmp(md, widened, sizeof md)) << id;
    }
}

}  // namespace
