#include "rig/solver/vlm_blend.h"
#include "rig/solver/vlm_effector_frame.h"
#include "rig/solver/vlm_effector_matrix.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_pose_setup.h"
#include "rig/solver/vlm_solver_access.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_character.h"
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

namespace {

fixtures::Scene Rotated(unsigned seed)
{
    return fixtures::Scene(fixtures::Typical(), {false, {}, true, false, seed}, {});
}

double Off(const float* a, const VLMVector4& b)
{
    return mathtest::MaxDiff(VLMVector4LoadUnaligned(a), mathtest::Wide(b));
}

// API-frame targets on a character with turned T-poses: every form's set, then
// get, gives the frame back (matrices through their decomposition); d forms
// are the float forms widened; the stored rotation is the one the node rows
// use, so the pose's effector reads as its node's API-frame rotation.
TEST(EffectorFrame, SetThenGetInEveryForm)
{
    fixtures::Scene s = Rotated(2);
    VLMEffectorSetStateHandle set = soltest::NewSet();
    std::mt19937 rng(5);
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id) {
        const VLMVector4 t = mathtest::RandomVector(rng, 40, 0), q = mathtest::RandomUnitQuat(rng);
        const VLMVector4 sc = V(1.5f, 0.5f, 2.0f, 1);
        float out[3][4], m[16], mback[16];
        double d[3][4], wide[3][4], md[16], mdback[16], mwide[16];
        VLMSetEffectorTQS(s.c(), id, set.get(), &t.x, &q.x, &sc.x);
        VLMGetEffectorTQS(s.c(), id, set.get(), out[0], out[1], out[2]);
        EXPECT_LT(Off(out[0], t), 1e-6);
        EXPECT_LT(Off(out[1], q), 1e-6) << id;
        EXPECT_TRUE(mathtest::SameBits(VLMVector4LoadUnaligned(out[2]), sc));
        VLMGetEffectorTQSd(s.c(), id, set.get(), d[0], d[1], d[2]);
        Widen(&out[0][0], &wide[0][0], 12);
        EXPECT_EQ(0, std::memcmp(d, wide, sizeof d));
        const VLMTransformTQS stored = VLMEffectorSetLayoutOf(set.get())->effectors[id];
        VLMSetEffectorTQSd(s.c(), id, set.get(), wide[0], wide[1], wide[2]);
        VLMSetEffectorTQS(s.c(), id, set.get(), out[0], out[1], out[2]);
        const VLMTransformTQS again = VLMEffectorSetLayoutOf(set.get())->effectors[id];
        VLMSetEffectorTQSd(s.c(), id, set.get(), wide[0], wide[1], wide[2]);
        EXPECT_EQ(0, std::memcmp(&again, &VLMEffectorSetLayoutOf(set.get())->effectors[id], sizeof again));
        EXPECT_LT(mathtest::MaxDiff(again.q, mathtest::Wide(stored.q)), 1e-6);

        VLMSetEffectorTQ(s.c(), id, set.get(), &t.x, &q.x);
        VLMGetEffectorTQS(s.c(), id, set.get(), out[0], out[1], out[2]);
        EXPECT_LT(Off(out[1], q), 1e-6);
        EXPECT_TRUE(mathtest::SameBits(VLMVector4LoadUnaligned(out[2]), V(1, 1, 1, 1)));
        const VLMVector4 tw = V(t.x, t.y, t.z, 3);
        VLMSetEffectorTQSAligned(s.c(), id, set.get(), &tw, &q, &sc);
        EXPECT_EQ(VLMEffectorSetLayoutOf(set.get())->effectors[id].t.w, 3.0f);  // T kept whole

        MatrixOf(m, t, q, sc);
        Widen(m, md, 16);
        VLMSetEffectorMatrix(s.c(), id, set.get(), m);
        VLMGetEffectorMatrix(s.c(), id, set.get(), mback);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(mback[i], m[i], 2e-5 * (1 + std::fabs(m[i])));
        VLMSetEffectorMatrixd(s.c(), id, set.get(), md);
        VLMGetEffectorMatrixd(s.c(), id, set.get(), mdback);
        Widen(mback, mwide, 16);
        EXPECT_EQ(0, std::memcmp(mdback, mwide, sizeof mwide));
    }
    for (int id : {0, 3, 10, 13, 18, 21}) {
        float t[4], q[4], sc[4], node[3][4];
        VLMGetPoseEffectorTQS(id, s.c(), s.state.get(), &s.properties, t, q, sc);
        VLMGetNodeStateTQS(s.c(), s.state.get(), VLMEffectorNodeIndex(s.c(), id), node[0], node[1], node[2]);
        EXPECT_TRUE(
            mathtest::SameRotation(VLMVector4LoadUnaligned(q), mathtest::Wide(VLMVector4LoadUnaligned(node[1])), 1e-5))
            << id;
        VLMVector4 rt, rq, rs;
        VLMGetPoseEffectorTQSRows(&rt, &rq, &rs, id, s.c(), s.rows(), &s.properties);
        EXPECT_EQ(0, std::memcmp(&rq, q, 16));
        double qd[4], td[4], sd[4], md[16], mwide[16];
        float m[16];
        VLMGetPoseEffectorTQSd(id, s.c(), s.state.get(), &s.properties, td, qd, sd);
        EXPECT_EQ(qd[3], double(q[3]));
        VLMGetPoseEffectorMatrix(id, s.c(), s.state.get(), &s.properties, m);
        VLMGetPoseEffectorMatrixd(id, s.c(), s.state.get(), &s.properties, md);
        Widen(m, mwide, 16);
        EXPECT_EQ(0, std::memcmp(md, mwide, sizeof md));
        EXPECT_NEAR(m[12], t[0], 1e-6f);
    }
    // A toe effector of a character without toe joints: identity rotation and
    // scale, and set and get stay inverse.
    float t[4], q[4], sc[4];
    VLMGetPoseEffectorTQS(33, s.c(), s.state.get(), &s.properties, t, q, sc);
    EXPECT_EQ(Off(q, V(0, 0, 0, 1)), 0.0);
    EXPECT_EQ(Off(sc, V(1, 1, 1, 1)), 0.0);
}

// The record lists: lanes clamped and written, S := 1, -1 skips its record;
// the read never writes the scale field.
TEST(EffectorFrame, RecordLists)
{
    fixtures::Scene s = Rotated(3);
    VLMEffectorSetStateHandle set = soltest::NewSet();
    alignas(16) float records[3][16];
    std::memset(records, 0xEE, sizeof records);
    const float in[2][16] = {{1, 2, 3, 9, 0, 0, 0.6f, 0.8f, 5, 5, 5, 5, 1.7f, -0.5f, NAN, 0.25f},
                             {4, 5, 6, 9, 0.6f, 0, 0, 0.8f, 5, 5, 5, 5, 0.5f, 0.5f, 0.5f, 0.5f}};
    std::memcpy(records[0], in[0], 64);
    std::memcpy(records[2], in[1], 64);
    const std::int32_t ids[] = {3, -1, 5, -2};
    const VLMEffectorRecordLayout layout = {0, 16, 32, 48, 64, ids};
    VLMSetEffectors(s.c(), set.get(), &layout, records);
    const VLMEffectorSetLayout* e = VLMEffectorSetLayoutOf(set.get());
    EXPECT_TRUE(mathtest::SameBits(e->blend[3], V(1, 0, 0, 0.25f)));
    EXPECT_TRUE(mathtest::SameBits(e->effectors[5].s, V(1, 1, 1, 1)));
    EXPECT_TRUE(mathtest::SameBits(e->effectors[3].t, V(1, 2, 3, 0)));
    alignas(16) float back[3][16];
    std::memset(back, 0xEE, sizeof back);
    VLMGetEffectors(s.c(), set.get(), &layout, back);
    for (int r : {0, 2}) {
        const float* want = in[r / 2];
        for (int i = 4; i < 8; ++i)
            EXPECT_NEAR(back[r][i], want[i], 1e-6f) << r;
        for (int i = 8; i < 12; ++i)
            EXPECT_EQ(mathtest::B(back[r][i]), 0xEEEEEEEEu);
        EXPECT_EQ(back[r][3], 0.0f);
    }
    for (float f : back[1])
        EXPECT_EQ(mathtest::B(f), 0xEEEEEEEEu);
}

struct BlendCase {
    const char* name;
    std::vector<VLMVector4> t, q, s, p;
    std::vector<float> wT, wR;
    VLMTransformTQS want;
    VLMVector4 lanes;
};

// The blend's cases; every form (float and double, vectors and matrices)
// gives the same record.
TEST(EffectorBlend, Cases)
{
    const VLMVector4 I = V(0, 0, 0, 1), one = V(1, 1, 1, 1), zero = V(0, 0, 0, 0);
    const VLMVector4 q = VLMQuatNormalize(V(0.3f, -0.2f, 0.5f, 0.7f)), minusQ = VLMVector4Negate(q);
    const std::vector<BlendCase> cases = {
        {"two",
         {zero, V(2, 0, 0, 0)},
         {I, I},
         {one, one},
         {zero, zero},
         {1, 1},
         {1, 0},
         {V(1, 0, 0, 0), I, one},
         V(1, 1, 9, 9)},
        {"pivot",
         {zero},
         {I},
         {V(2, 2, 2, 5)},
         {V(1, 0, 0, 0)},
         {1},
         {1},
         {V(2, 0, 0, 0), I, V(2, 2, 2, 1)},
         V(1, 1, 9, 9)},
        {"antipodes",
         {zero, zero},
         {q, minusQ},
         {one, one},
         {zero, zero},
         {0.5f, 0.5f},
         {1, 1},
         {zero, q, one},
         V(0.5f, 1, 9, 9)},
        {"no weight",
         {V(3, 4, 5, 6), zero},
         {q, I},
         {V(2, 2, 2, 2), one},
         {V(1, 1, 1, 0), zero},
         {0, 0},
         {0, -1},
         {V(3, 4, 5, 0), q, one},
         V(0, 0, 9, 9)},
        {"first idle",
         {zero, V(0, 6, 0, 0)},
         {q, I},
         {V(3, 3, 3, 1), one},
         {zero, zero},
         {0, 1},
         {0, 1},
         {V(0, 6, 0, 0), I, one},
         V(1, 1, 9, 9)},
        {"subtract",
         {V(1, 0, 0, 0), V(0, 3, 0, 0)},
         {I, I},
         {one, one},
         {zero, zero},
         {2, -1},
         {0, 1},
         {V(2, -3, 0, 0), I, one},
         V(2, 1, 9, 9)},
    };
    for (const BlendCase& c : cases) {
        const int n = int(c.t.size());
        std::vector<float> m(16 * n);
        std::vector<double> td, qd, sd, pd, md, wTd(c.wT.begin(), c.wT.end()), wRd(c.wR.begin(), c.wR.end());
        for (int k = 0; k < n; ++k) {
            MatrixOf(&m[16 * k], c.t[k], c.q[k], c.s[k]);
            for (int i = 0; i < 4; ++i) {
                td.push_back((&c.t[k].x)[i]), qd.push_back((&c.q[k].x)[i]);
                sd.push_back((&c.s[k].x)[i]), pd.push_back((&c.p[k].x)[i]);
            }
        }
        md.assign(m.begin(), m.end());
        VLMEffectorSetStateHandle set = soltest::NewSet();
        VLMEffectorSetLayout* e = VLMEffectorSetLayoutOf(set.get());
        e->blend[6] = V(7, 7, 9, 9);
        VLMBlendEffectorStateTQS(set.get(), 6, &c.t[0].x, &c.q[0].x, &c.s[0].x, &c.p[0].x, c.wT.data(), c.wR.data(), n);
        const VLMTransformTQS x = e->effectors[6];
        const VLMVector4 lanes = e->blend[6];
        EXPECT_LT(mathtest::MaxDiff(x.t, mathtest::Wide(c.want.t)), 1e-5) << c.name;
        EXPECT_TRUE(mathtest::SameRotation(x.q, mathtest::Wide(c.want.q), 1e-5)) << c.name;
        EXPECT_TRUE(mathtest::SameBits(x.s, c.want.s)) << c.name;
        EXPECT_TRUE(mathtest::SameBits(lanes, c.lanes)) << c.name;
        VLMBlendEffectorStateTQSd(set.get(), 6, td.data(), qd.data(), sd.data(), pd.data(), wTd.data(), wRd.data(), n);
        EXPECT_EQ(0, std::memcmp(&x, &e->effectors[6], sizeof x)) << c.name;
        VLMBlendEffectorStateMatrix(set.get(), 6, m.data(), &c.p[0].x, c.wT.data(), c.wR.data(), n);
        VLMBlendEffectorStateMatrixd(set.get(), 6, md.data(), pd.data(), wTd.data(), wRd.data(), n);
        EXPECT_LT(mathtest::MaxDiff(e->effectors[6].t, mathtest::Wide(x.t)), 1e-5) << c.name;
        EXPECT_TRUE(mathtest::SameRotation(e->effectors[6].q, mathtest::Wide(x.q), 1e-5)) << c.name;
        EXPECT_TRUE(mathtest::SameBits(e->blend[6], lanes));
    }
    // n = 0 with no arrays: the identity and lanes 0, the other lanes kept.
    VLMEffectorSetStateHandle set = soltest::NewSet();
    VLMEffectorSetLayout* e = VLMEffectorSetLayoutOf(set.get());
    e->effectors[2] = {V(1, 1, 1, 0), q, V(3, 3, 3, 1)};
    e->blend[2] = V(0.5f, 0.5f, 0.25f, 0.75f);
    VLMBlendEffectorStateTQS(set.get(), 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_TRUE(mathtest::SameBits(e->effectors[2].t, zero));
    EXPECT_TRUE(mathtest::SameBits(e->effectors[2].q, I));
    EXPECT_TRUE(mathtest::SameBits(e->effectors[2].s, one));
    EXPECT_TRUE(mathtest::SameBits(e->blend[2], V(0, 0, 0.25f, 0.75f)));
    const VLMTransformTQS kept = e->effectors[2];
    VLMBlendEffectorStateMatrix(set.get(), 2, nullptr, nullptr, nullptr, nullptr, 1);  // n > 0 needs arrays
    EXPECT_EQ(0, std::memcmp(&kept, &e->effectors[2], sizeof kept));
}

}  // namespace
