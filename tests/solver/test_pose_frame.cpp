#include "solver_test_util.h"

namespace {

using namespace soltest;

// The column-major matrix of (t, q, s) in double: axis i of q times s_i.
void MatrixOf(const D4& t, const D4& q, const D4& s, double* m)
{
    for (int i = 0; i < 3; ++i) {
        const D4 axis = mathtest::Rotate(q, {i == 0 ? 1.0 : 0.0, i == 1 ? 1.0 : 0.0, i == 2 ? 1.0 : 0.0, 0});
        for (int j = 0; j < 3; ++j)
            m[4 * i + j] = axis[j] * s[i];
        m[4 * i + 3] = 0.0;
    }
    for (int j = 0; j < 3; ++j)
        m[12 + j] = t[j];
    m[15] = 1.0;
}

// Each form sets (t, q, s) and reads back; the TQ setter ignores s.
using K = VLMCharacter*;
using St = VLMCharacterState*;
using V4 = VLMVector4;
struct Form {
    const char* name;
    bool rotScale, unitScale;
    void (*set)(K, St, int, V4, V4, V4);
    void (*get)(K, St, int, V4&, V4&, V4&);
};

V4 Narrow(const D4& d) { return V(float(d[0]), float(d[1]), float(d[2]), float(d[3])); }

// clang-format off
const Form kForms[] = {
    {"TQS", false, false,
     [](K c, St s, int id, V4 t, V4 q, V4 k) { VLMSetNodeStateTQS(c, s, id, &t.x, &q.x, &k.x); },
     [](K c, St s, int id, V4& t, V4& q, V4& k) { VLMGetNodeStateTQS(c, s, id, &t.x, &q.x, &k.x); }},
    {"TQ", false, true,
     [](K c, St s, int id, V4 t, V4 q, V4) { VLMSetNodeStateTQ(c, s, id, &t.x, &q.x); },
     [](K c, St s, int id, V4& t, V4& q, V4& k) {
         V4 unused;
         VLMGetNodeStateTQ(c, s, id, &t.x, &q.x);
         VLMGetNodeStateTQS(c, s, id, &unused.x, &unused.x, &k.x); }},
    {"At", false, false,
     [](K c, St s, int id, V4 t, V4 q, V4 k) { const VLMTransformTQS r = {t, q, k}; VLMSetNodeStateTQSAt(c, s, id, &r.q, -16, 0, 16); },
     [](K c, St s, int id, V4& t, V4& q, V4& k) {
         VLMTransformTQS r;
         VLMGetNodeStateTQSAt(c, s, id, &r, 0, 16, 32);
         t = r.t, q = r.q, k = r.s; }},
    {"RotScale", true, false,
     [](K c, St s, int id, V4 t, V4 q, V4 k) { VLMSetNodeStateTQSRotScale(c, s, id, &t.x, &q.x, &k.x); },
     [](K c, St s, int id, V4& t, V4& q, V4& k) { VLMGetNodeStateTQSRotScale(c, s, id, &t.x, &q.x, &k.x); }},
    {"d", false, false,
     [](K c, St s, int id, V4 t, V4 q, V4 k) { VLMSetNodeStateTQSd(c, s, id, Wide(t).data(), Wide(q).data(), Wide(k).data()); },
     [](K c, St s, int id, V4& t, V4& q, V4& k) {
         D4 dt, dq, dk;
         VLMGetNodeStateTQSd(c, s, id, dt.data(), dq.data(), dk.data());
         t = Narrow(dt), q = Narrow(dq), k = Narrow(dk); }},
    {"matrix", false, false,
     [](K c, St s, int id, V4 t, V4 q, V4 k) {
         double m[16];
         float f[16];
         MatrixOf(Wide(t), Wide(q), Wide(k), m);
         std::copy(m, m + 16, f);
         VLMWriteNodeStateMatrix(c, s, id, f); },
     [](K c, St s, int id, V4& t, V4& q, V4& k) {
         float f[16];
         double m[16];
         VLMReadNodeStateMatrix(c, s, id, f);
         VLMGetNodeStateTQS(c, s, id, &t.x, &q.x, &k.x);
         MatrixOf(Wide(t), Wide(q), Wide(k), m);
         for (int i = 0; i < 16; ++i)
             ASSERT_NEAR(f[i], m[i], 1e-4 * (1 + std::fabs(m[i]))) << "matrix element " << i; }},
};
// clang-format on

// Every form, every node, random T-poses; RotScale and node 0 exact only with uniform scales.
TEST(PoseFrame, SetThenGetRoundTripsEveryForm)
{
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> scale(0.5f, 2.0f);
    for (bool uniformTPose : {false, true}) {
        sample::CharacterPtr c = RandomTPoseCharacter(uniformTPose ? 8 : 9, uniformTPose);
        VLMCharacterStateHandle state = NewState(c.get());
        int turned = 0;
        for (int id = 0; id < VLM_NODE_COUNT; ++id) {
            float tt[4], tq[4], ts[4];
            VLMGetNodeTPose(c.get(), id, tt, tq, ts);
            turned += std::fabs(tq[3]) < 0.99f;
            for (const Form& form : kForms) {
                const bool uniform = id == 0 || form.rotScale;
                const float k = scale(rng);
                const VLMVector4 t = mathtest::RandomVector(rng, 100, 0), q = mathtest::RandomUnitQuat(rng);
                const VLMVector4 s = uniform ? V(k, k, k, 1) : V(k, scale(rng), scale(rng), 1);
                form.set(c.get(), state.get(), id, t, q, s);
                VLMVector4 gt, gq, gs;
                form.get(c.get(), state.get(), id, gt, gq, gs);
                const D4 wantS = form.unitScale ? D4{1, 1, 1, 1} : Wide(s);
                EXPECT_LT(MaxDiff(gt, Wide(t)), id == 0 ? 2e-3 : 1e-4) << form.name << " node " << id;
                EXPECT_TRUE(SameRotation(gq, Wide(q), 3e-5)) << form.name << " node " << id;
                if (!form.rotScale || uniformTPose) {
                    EXPECT_LT(MaxDiff(gs, wantS), 3e-5) << form.name << " node " << id;
                }
            }
        }
        EXPECT_GT(turned, 150) << "the T-poses are really turned";
    }
}

TEST(PoseFrame, RotScaleCarriesTheScaleThroughTheTPoseRotation)
{
    sample::CharacterPtr c = PlainCharacter();
    const float h = 0.70710678f;
    const float tt[4] = {0, 0, 0, 0}, tq[4] = {0, 0, h, h}, ts[4] = {1, 1, 1, 1};
    VLMSetNodeTPose(c.get(), 3, tt, tq, ts);
    VLMCharacterStateHandle state = NewState(c.get());
    const float t[4] = {1, 2, 3, 9}, q[4] = {0, 0, 0, 1}, s[4] = {2, 1, 1, 9};
    float st[4], sq[4], ss[4];
    VLMSetNodeStateTQSRotScale(c.get(), state.get(), 3, t, q, s);
    VLMGetNodeStoredTQS(c.get(), state.get(), 3, st, sq, ss);
    EXPECT_LT(MaxDiff(V(ss[0], ss[1], ss[2], ss[3]), {1, 2, 1, 1}), 1e-6);
    EXPECT_EQ(st[3], 0.0f);
    VLMSetNodeStateTQS(c.get(), state.get(), 3, t, q, s);
    VLMGetNodeStoredTQS(c.get(), state.get(), 3, st, sq, ss);
    EXPECT_LT(MaxDiff(V(ss[0], ss[1], ss[2], ss[3]), {2, 1, 1, 1}), 1e-6);

    // Stored S_i = |row i of M diag(s)|, back S_i = |row i of M^T diag(S)| (unit T-pose scale).
    std::mt19937 rng(7);
    for (int n = 0; n < 20; ++n) {
        const VLMVector4 rq = mathtest::RandomUnitQuat(rng);
        VLMSetNodeTPose(c.get(), 4, tt, &rq.x, ts);
        double m[16];
        MatrixOf({0, 0, 0, 0}, Wide(rq), {1, 1, 1, 1}, m);  // m[4 j + i] = M_ij
        const double api[3] = {2, 1, 0.5};
        D4 want = {0, 0, 0, 1}, back = {0, 0, 0, 1};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                want[i] += std::pow(m[4 * j + i] * api[j], 2);
                back[i] += std::pow(m[4 * i + j] * api[j], 2);
            }
        for (int i = 0; i < 3; ++i)
            want[i] = std::sqrt(want[i]), back[i] = std::sqrt(back[i]);
        const float apiS[4] = {2, 1, 0.5f, 1};
        VLMSetNodeStateTQSRotScale(c.get(), state.get(), 4, t, q, apiS);
        VLMGetNodeStoredTQS(c.get(), state.get(), 4, st, sq, ss);
        EXPECT_LT(MaxDiff(V(ss[0], ss[1], ss[2], ss[3]), want), 1e-5);
        VLMSetNodeStoredTQS(c.get(), state.get(), 4, t, q, apiS);
        VLMGetNodeStateTQSRotScale(c.get(), state.get(), 4, st, sq, ss);
        EXPECT_LT(MaxDiff(V(ss[0], ss[1], ss[2], ss[3]), back), 1e-5);
    }
}

// Against a double reference, half turns included; Q comes back with w positive.
TEST(PoseFrame, MatrixDecompositionMatchesADoubleReference)
{
    sample::CharacterPtr c = PlainCharacter();
    VLMCharacterStateHandle state = NewState(c.get());
    std::mt19937 rng(2);
    std::vector<D4> rotations = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, -1}};
    for (int i = 0; i < 200; ++i)
        rotations.push_back(Wide(mathtest::RandomUnitQuat(rng)));
    for (const D4& q : rotations) {
        const D4 t = Wide(mathtest::RandomVector(rng, 50, 0)), s = {2, 3, 4, 1};
        double m[16];
        MatrixOf(t, q, s, m);
        VLMWriteNodeStateMatrixd(c.get(), state.get(), 3, m);
        D4 gt, gq, gs;
        VLMGetNodeStoredTQSd(c.get(), state.get(), 3, gt.data(), gq.data(), gs.data());
        EXPECT_LT(MaxDiff(V(float(gt[0]), float(gt[1]), float(gt[2]), float(gt[3])), t), 1e-5);
        EXPECT_TRUE(SameRotation(V(float(gq[0]), float(gq[1]), float(gq[2]), float(gq[3])), q, 1e-6));
        EXPECT_LT(MaxDiff(V(float(gs[0]), float(gs[1]), float(gs[2]), float(gs[3])), s), 1e-6);
        if (q[3] == -1.0) {
            EXPECT_GT(gq[3], 0.0);  // the same turn, with w positive
            EXPECT_LT(MaxDiff(V(float(gq[0]), float(gq[1]), float(gq[2]), float(gq[3])), {0, 0, 0, 1}), 1.2e-7);
        }
    }
}

// The d forms are the float forms widened, bit for bit.
TEST(PoseFrame, DoubleFormsAreTheFloatFormsWidened)
{
    sample::CharacterPtr c = RandomTPoseCharacter(6, false);
    VLMCharacterStateHandle a = NewState(c.get()), b = NewState(c.get());
    std::mt19937 rng(6);
    for (int id : {0, 2, 30, 100}) {
        const VLMVector4 t = mathtest::RandomVector(rng, 80, 0.5f), q = mathtest::RandomUnitQuat(rng),
                         s = mathtest::RandomVector(rng, 2, 3);
        const D4 dt = Wide(t), dq = Wide(q), ds = Wide(s);
        VLMSetNodeStateTQS(c.get(), a.get(), id, &t.x, &q.x, &s.x);
        VLMSetNodeStateTQSd(c.get(), b.get(), id, dt.data(), dq.data(), ds.data());
        VLMSetNodeStoredTQSd(c.get(), b.get(), id + 1, dt.data(), dq.data(), ds.data());
        VLMSetNodeStoredTQS(c.get(), a.get(), id + 1, &t.x, &q.x, &s.x);
        ASSERT_EQ(std::memcmp(a.get(), b.get(), VLMGetCharacterStateSize(c.get())), 0) << id;

        float f[16];
        double d[16];
        auto same = [&](int n) { return std::vector<double>(f, f + n) == std::vector<double>(d, d + n); };
        VLMReadNodeStateMatrix(c.get(), a.get(), id, f);
        VLMReadNodeStateMatrixd(c.get(), a.get(), id, d);
        EXPECT_TRUE(same(16)) << id;
        VLMReadNodeStoredMatrix(c.get(), a.get(), id, f);
        VLMReadNodeStoredMatrixd(c.get(), a.get(), id, d);
        EXPECT_TRUE(same(16)) << id;
        VLMGetNodeStateTQS(c.get(), a.get(), id, f, f + 4, f + 8);
        VLMGetNodeStateTQSd(c.get(), a.get(), id, d, d + 4, d + 8);
        EXPECT_TRUE(same(12)) << id;
    }
}

// Random global poses written in the stored frame.
void RandomPose(const VLMCharacter* c, VLMCharacterState* state, std::mt19937& rng)
{
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMVector4 t = mathtest::RandomVector(rng, 50, 0), q = mathtest::RandomUnitQuat(rng);
        const float s[4] = {1, 1, 1, 1};
        VLMSetNodeStoredTQS(c, state, id, &t.x, &q.x, s);
    }
}

double LocalGap(const VLMCharacter* c, const VLMCharacterState* x, const VLMCharacterState* y, bool flipQ = false)
{
    double worst = 0;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMStateRow* rx = VLMNodeRow(c, VLMStateFirstRow(x), id);
        const VLMStateRow* ry = VLMNodeRow(c, VLMStateFirstRow(y), id);
        D4 q = Wide(ry->localQ);
        if (flipQ && (rx->localQ.x * q[0] + rx->localQ.y * q[1] + rx->localQ.z * q[2] + rx->localQ.w * q[3]) < 0)
            q = {-q[0], -q[1], -q[2], -q[3]};
        worst = std::max({worst, MaxDiff(rx->localT, Wide(ry->localT)), MaxDiff(rx->localQ, q),
                          MaxDiff(rx->localS, Wide(ry->localS))});
    }
    return worst;
}

TEST(PoseFrame, BlendEndsAliasingAndHemispheres)
{
    sample::CharacterPtr c = RandomTPoseCharacter(12, false);
    const VLMCharacter* k = c.get();
    VLMCharacterStateHandle a = NewState(k), b = NewState(k), out = NewState(k);
    std::mt19937 rng(12);
    RandomPose(k, a.get(), rng);
    RandomPose(k, b.get(), rng);
    VLMBlendCharacterStates(k, out.get(), a.get(), b.get(), 0.0f);
    EXPECT_LT(LocalGap(k, out.get(), a.get()), 1e-5);
    VLMBlendCharacterStates(k, out.get(), a.get(), b.get(), 1.0f);
    EXPECT_LT(LocalGap(k, out.get(), b.get(), true), 1e-5);
    VLMBlendCharacterStates(k, out.get(), a.get(), a.get(), 0.3f);
    EXPECT_LT(LocalGap(k, out.get(), a.get()), 1e-5);

    // B holds A's rotations negated: the same pose, so any weight gives A.
    std::memcpy(b.get(), a.get(), VLMGetCharacterStateSize(k));
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        VLMStateRow* row = VLMNodeRow(k, VLMStateFirstRow(b.get()), id);
        row->globalQ = V(-row->globalQ.x, -row->globalQ.y, -row->globalQ.z, -row->globalQ.w);
    }
    VLMBlendCharacterStates(k, out.get(), a.get(), b.get(), 0.5f);
    EXPECT_LT(LocalGap(k, out.get(), a.get()), 1e-5);
}

TEST(PoseFrame, EffectorSetBlendWritesOnlyEffectorsAndLanes)
{
    VLMEffectorSetStateHandle a = NewSet(), b = NewSet(), out = NewSet();
    const float t[4] = {2, 4, 6, 0}, q[4] = {0, 0, 0, -1}, s[4] = {3, 3, 3, 1};
    VLMSetEffectorTQS(b.get(), 9, t, q, s);
    VLMSetEffectorPull(b.get(), 9, 1.0f);
    VLMSetSolveStages(out.get(), 5);
    VLMBlendEffectorSetStates(out.get(), a.get(), b.get(), 0.5f);
    float gt[4], gq[4], gs[4];
    VLMGetEffectorStateTQS(out.get(), 9, gt, gq, gs);
    EXPECT_EQ(std::vector<float>(gt, gt + 4), (std::vector<float>{1, 2, 3, 0}));
    EXPECT_TRUE(SameRotation(V(gq[0], gq[1], gq[2], gq[3]), {0, 0, 0, 1}, 1e-6)) << "q and -q blend to q";
    EXPECT_EQ(gs[0], 2.0f);
    EXPECT_EQ(VLMGetEffectorPull(out.get(), 9), 0.5f);
    EXPECT_EQ(VLMGetSolveStages(out.get()), 5u);
}

TEST(PoseFrame, FullDampingZeroesEveryJointButReferenceAndHips)
{
    sample::CharacterPtr c = RandomTPoseCharacter(13, false);
    const VLMCharacter* k = c.get();
    VLMCharacterStateHandle state = NewState(k);
    std::mt19937 rng(13);
    RandomPose(k, state.get(), rng);
    VLMStateRow* rows = VLMStateFirstRow(state.get());
    const VLMVector4 reference = VLMNodeRow(k, rows, 0)->globalQ, hips = VLMNodeRow(k, rows, 1)->globalQ;
    VLMDampLocalEulerAngles(k, state.get(), 1, 1, 1);
    EXPECT_LT(MaxDiff(VLMNodeRow(k, rows, 0)->globalQ, Wide(reference)), 1e-6);
    EXPECT_LT(MaxDiff(VLMNodeRow(k, rows, 1)->globalQ, Wide(hips)), 1e-6);
    for (int id = 2; id < VLM_NODE_COUNT; ++id) {
        VLMVector4 zero;
        VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(k, id)->rotation, zero, V(0, 0, 0, 0));
        EXPECT_TRUE(SameRotation(VLMNodeRow(k, rows, id)->localQ, Wide(zero), 1e-5)) << id;
    }
}

}  // namespace
