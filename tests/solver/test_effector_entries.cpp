#include "solver_test_util.h"

#include <array>

namespace {

using namespace soltest;

const VLMVector4 kTurnZ = V(0.0f, 0.0f, 0.70710677f, 0.70710677f);  // 90 degrees about z

std::array<float, 16> MatrixOf(const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    VLMScopedFPGuard guard;
    std::array<float, 16> m;
    VLMMatrix44CopyUnaligned(m.data(), VLMTQSToMatrix44Normalized(t, q, s));
    return m;
}
template <std::size_t N>
std::array<double, N> Widened(const float* f)
{
    std::array<double, N> d;
    std::copy(f, f + N, d.begin());
    return d;
}
VLMVector4 At(const float* f) { return VLMVector4LoadUnaligned(f); }
::testing::AssertionResult NearMatrix(const float* got, const float* want, double tol)
{
    for (int i = 0; i < 16; ++i)
        if (std::fabs(got[i] - want[i]) > tol * (1 + std::fabs(want[i])))
            return ::testing::AssertionFailure() << "element " << i << ": " << got[i] << " vs " << want[i];
    return ::testing::AssertionSuccess();
}

// Matrix write/read, extremity scales, the pivot rule (T (0, 2, 0) read at the origin), S.w lanes.
TEST(EffectorMatrix, MatricesAndPivots)
{
    VLMEffectorSetStateHandle set = NewSet();
    const VLMEffectorSetLayout* e = VLMEffectorSetLayoutOf(set.get());
    std::mt19937 rng(3);
    for (int round = 0; round < 12; ++round) {
        const VLMVector4 t = mathtest::RandomVector(rng, 50, 0), q = mathtest::RandomUnitQuat(rng);
        const VLMVector4 s = V(0.5f + round * 0.1f, 1.5f, 2.0f, 1), p = mathtest::RandomVector(rng, 5, 7);
        const std::array<float, 16> m = MatrixOf(t, q, s);
        const std::array<double, 16> md = Widened<16>(m.data());
        const std::array<double, 4> pd = Widened<4>(&p.x);
        const int id = round * 3 % 44, k = round % 4;
        float back[16], frame[12];
        double backd[16];
        VLMWriteEffectorMatrix(set.get(), id, m.data());
        VLMReadEffectorMatrix(set.get(), id, back);
        EXPECT_TRUE(NearMatrix(back, m.data(), 2e-5));
        VLMWriteExtremityMatrixd(set.get(), k, md.data());
        VLMReadExtremityMatrixd(set.get(), k, backd);
        EXPECT_TRUE(std::equal(backd, backd + 16, Widened<16>(back).begin()));

        VLMSetEffectorStatePivotMatrix(set.get(), id, m.data(), &p.x);
        EXPECT_EQ(e->effectors[id].s.w, 1.0f);
        VLMGetEffectorStatePivotTQS(set.get(), id, frame, frame + 4, frame + 8, &p.x);
        EXPECT_LT(MaxDiff(At(frame), Wide(t)), 1e-4);
        VLMGetEffectorStatePivotMatrix(set.get(), id, back, &p.x);
        EXPECT_TRUE(NearMatrix(back, m.data(), 1e-4));
        VLMGetEffectorStatePivotMatrixd(set.get(), id, backd, pd.data());
        EXPECT_TRUE(std::equal(backd, backd + 16, Widened<16>(back).begin()));
    }
    const float zero[4] = {0, 0, 0, 0}, s[4] = {2, 2, 2, 0}, pivot[4] = {1, 0, 0, 5}, t[4] = {1, 2, 3, 0};
    VLMSetEffectorStatePivotTQS(set.get(), 7, zero, &kTurnZ.x, s, pivot);
    EXPECT_LT(MaxDiff(e->effectors[7].t, {0, 2, 0, 0}), 1e-6);
    EXPECT_TRUE(SameBits(e->effectors[7].s, V(2, 2, 2, 0)));
    float m[16];
    VLMGetEffectorStatePivotMatrix(set.get(), 7, m, pivot);
    EXPECT_LT(std::fabs(m[12]) + std::fabs(m[13]) + std::fabs(m[14]), 1e-6f);
    const std::array<float, 16> three = MatrixOf(V(0, 0, 0, 0), V(0, 0, 0, 1), V(3, 3, 3, 1));
    VLMWriteExtremityMatrix(set.get(), 2, three.data());
    VLMSetExtremityTQ(set.get(), 2, t, &kTurnZ.x);
    EXPECT_LT(MaxDiff(e->extremities[2].s, {3, 3, 3, 1}), 4e-6);  // read off the matrix through the estimate
}

// API-frame set then get in every form; pose effectors read their node's rotation (absent: identity).
TEST(EffectorFrame, SetThenGetInEveryForm)
{
    fixtures::Scene sc(fixtures::Typical(), {false, {}, true, false, 2}, {});
    const VLMCharacter* c = sc.c();
    VLMEffectorSetStateHandle set = NewSet();
    const VLMEffectorSetLayout* e = VLMEffectorSetLayoutOf(set.get());
    std::mt19937 rng(5);
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id) {
        const VLMVector4 t = mathtest::RandomVector(rng, 40, 0), q = mathtest::RandomUnitQuat(rng);
        const VLMVector4 s = V(1.5f, 0.5f, 2.0f, 1), tw = V(t.x, t.y, t.z, 3);
        float out[12], m[16];
        double outd[12], md[16];
        VLMSetEffectorTQS(c, id, set.get(), &t.x, &q.x, &s.x);
        VLMGetEffectorTQS(c, id, set.get(), out, out + 4, out + 8);
        EXPECT_TRUE(SameBits(At(out), t) && SameBits(At(out + 8), s));
        EXPECT_LT(MaxDiff(At(out + 4), Wide(q)), 1e-6) << id;
        VLMGetEffectorTQSd(c, id, set.get(), outd, outd + 4, outd + 8);
        EXPECT_TRUE(std::equal(outd, outd + 12, Widened<12>(out).begin()));
        const VLMTransformTQS single = e->effectors[id];
        VLMSetEffectorTQSd(c, id, set.get(), Widened<4>(&t.x).data(), Widened<4>(&q.x).data(), Widened<4>(&s.x).data());
        EXPECT_EQ(0, std::memcmp(&single, &e->effectors[id], sizeof single));
        VLMSetEffectorTQ(c, id, set.get(), &t.x, &q.x);
        EXPECT_TRUE(SameBits(e->effectors[id].s, V(1, 1, 1, 1)));
        VLMSetEffectorTQSAligned(c, id, set.get(), &tw, &q, &s);
        EXPECT_TRUE(SameBits(e->effectors[id].t, tw));  // T kept whole
        const std::array<float, 16> want = MatrixOf(t, q, s);
        VLMSetEffectorMatrixd(c, id, set.get(), Widened<16>(want.data()).data());
        VLMGetEffectorMatrix(c, id, set.get(), m);
        EXPECT_TRUE(NearMatrix(m, want.data(), 2e-5));
        VLMGetEffectorMatrixd(c, id, set.get(), md);
        EXPECT_TRUE(std::equal(md, md + 16, Widened<16>(m).begin()));
    }
    for (int id : {0, 3, 10, 13, 18, 21, 33}) {
        float t[4], q[4], s[4], node[12], m[16];
        VLMGetPoseEffectorTQS(id, c, sc.state.get(), &sc.properties, t, q, s);
        const int n = VLMEffectorNodeIndex(c, id);
        if (n < 0) {
            EXPECT_EQ(MaxDiff(At(q), {0, 0, 0, 1}), 0.0);
        } else {
            VLMGetNodeStateTQS(c, sc.state.get(), n, node, node + 4, node + 8);
            EXPECT_TRUE(SameRotation(At(q), Wide(At(node + 4)), 1e-5)) << id;
        }
        VLMVector4 rows[3];
        VLMGetPoseEffectorTQSRows(&rows[0], &rows[1], &rows[2], id, c, sc.rows(), &sc.properties);
        EXPECT_EQ(0, std::memcmp(&rows[1], q, 16));
        VLMReadPoseEffectorMatrix(c, id, sc.state.get(), &sc.properties, m);  // stored frame, same point
        EXPECT_TRUE(SameBits(At(m + 12), V(t[0], t[1], t[2], 1)));
    }
}

// Record lists: lanes clamped, S := 1, -1 skipped; the read never writes the scale field.
TEST(EffectorFrame, RecordLists)
{
    fixtures::Scene sc(fixtures::Typical(), {false, {}, true, false, 3}, {});
    VLMEffectorSetStateHandle set = NewSet();
    alignas(16) float in[3][16], back[3][16];
    std::memset(in, 0xEE, sizeof in);
    std::memset(back, 0xEE, sizeof back);
    const float values[16] = {1, 2, 3, 9, 0, 0, 0.6f, 0.8f, 5, 5, 5, 5, 1.7f, -0.5f, NAN, 0.25f};
    std::memcpy(in[0], values, 64);
    std::memcpy(in[2], values, 64);
    const std::int32_t ids[] = {3, -1, 5, -2};
    const VLMEffectorRecordLayout layout = {0, 16, 32, 48, 64, ids};
    VLMSetEffectors(sc.c(), set.get(), &layout, in);
    const VLMEffectorSetLayout* e = VLMEffectorSetLayoutOf(set.get());
    EXPECT_TRUE(SameBits(e->blend[5], V(1, 0, 0, 0.25f)));
    EXPECT_TRUE(SameBits(e->effectors[5].s, V(1, 1, 1, 1)));
    EXPECT_TRUE(SameBits(e->effectors[3].t, V(1, 2, 3, 0)));
    VLMGetEffectors(sc.c(), set.get(), &layout, back);
    for (int r = 0; r < 3; ++r)
        for (int i = 0; i < 16; ++i) {
            const bool untouched = r == 1 || (i >= 8 && i < 12);
            EXPECT_EQ(mathtest::B(back[r][i]) == 0xEEEEEEEEu, untouched) << r << " " << i;
        }
    EXPECT_LT(MaxDiff(At(back[2] + 4), Wide(At(values + 4))), 1e-6);
}

struct BlendCase {
    const char* name;
    std::vector<VLMVector4> t, q, s, p;
    std::vector<float> wT, wR;
    VLMTransformTQS want;
    VLMVector4 lanes;
};

// Every case in every form; n = 0 without arrays gives the identity, n > 0 without them nothing.
TEST(EffectorBlend, Cases)
{
    const VLMVector4 I = V(0, 0, 0, 1), one = V(1, 1, 1, 1), o = V(0, 0, 0, 0);
    const VLMVector4 q = VLMQuatNormalize(V(0.3f, -0.2f, 0.5f, 0.7f)), minusQ = VLMVector4Negate(q);
    // clang-format off
    const std::vector<BlendCase> cases = {
        {"two", {o, V(2, 0, 0, 0)}, {I, I}, {one, one}, {o, o}, {1, 1}, {1, 0}, {V(1, 0, 0, 0), I, one}, V(1, 1, 9, 9)},
        {"pivot", {o}, {I}, {V(2, 2, 2, 5)}, {V(1, 0, 0, 0)}, {1}, {1}, {V(2, 0, 0, 0), I, V(2, 2, 2, 1)}, V(1, 1, 9, 9)},
        {"antipodes", {o, o}, {q, minusQ}, {one, one}, {o, o}, {0.5f, 0.5f}, {1, 1}, {o, q, one}, V(0.5f, 1, 9, 9)},
        {"no weight", {V(3, 4, 5, 6), o}, {q, I}, {V(2, 2, 2, 2), one}, {V(1, 1, 1, 0), o}, {0, 0}, {0, -1}, {V(3, 4, 5, 0), q, one}, V(0, 0, 9, 9)},
        {"first idle", {o, V(0, 6, 0, 0)}, {q, I}, {V(3, 3, 3, 1), one}, {o, o}, {0, 1}, {0, 1}, {V(0, 6, 0, 0), I, one}, V(1, 1, 9, 9)},
        {"subtract", {V(1, 0, 0, 0), V(0, 3, 0, 0)}, {I, I}, {one, one}, {o, o}, {2, -1}, {0, 1}, {V(2, -3, 0, 0), I, one}, V(2, 1, 9, 9)},
    };
    // clang-format on
    VLMEffectorSetStateHandle set = NewSet();
    VLMEffectorSetLayout* e = VLMEffectorSetLayoutOf(set.get());
    for (const BlendCase& c : cases) {
        const int n = int(c.t.size());
        std::vector<float> m;
        std::vector<double> td, qd, sd, pd, wTd(c.wT.begin(), c.wT.end()), wRd(c.wR.begin(), c.wR.end());
        for (int k = 0; k < n; ++k) {
            const std::array<float, 16> mk = MatrixOf(c.t[k], c.q[k], c.s[k]);
            m.insert(m.end(), mk.begin(), mk.end());
            for (auto [from, to] : {std::pair{&c.t[k], &td}, {&c.q[k], &qd}, {&c.s[k], &sd}, {&c.p[k], &pd}})
                to->insert(to->end(), &from->x, &from->x + 4);
        }
        const std::vector<double> md(m.begin(), m.end());
        e->blend[6] = V(7, 7, 9, 9);
        VLMBlendEffectorStateTQS(set.get(), 6, &c.t[0].x, &c.q[0].x, &c.s[0].x, &c.p[0].x, c.wT.data(), c.wR.data(), n);
        const VLMTransformTQS x = e->effectors[6];
        EXPECT_LT(MaxDiff(x.t, Wide(c.want.t)), 1e-5) << c.name;
        EXPECT_TRUE(SameRotation(x.q, Wide(c.want.q), 1e-5)) << c.name;
        EXPECT_TRUE(SameBits(x.s, c.want.s) && SameBits(e->blend[6], c.lanes)) << c.name;
        VLMBlendEffectorStateTQSd(set.get(), 6, td.data(), qd.data(), sd.data(), pd.data(), wTd.data(), wRd.data(), n);
        EXPECT_EQ(0, std::memcmp(&x, &e->effectors[6], sizeof x)) << c.name;
        for (bool wide : {false, true}) {
            if (wide)
                VLMBlendEffectorStateMatrixd(set.get(), 6, md.data(), pd.data(), wTd.data(), wRd.data(), n);
            else
                VLMBlendEffectorStateMatrix(set.get(), 6, m.data(), &c.p[0].x, c.wT.data(), c.wR.data(), n);
            EXPECT_LT(MaxDiff(e->effectors[6].t, Wide(x.t)), 1e-5) << c.name;
            EXPECT_TRUE(SameRotation(e->effectors[6].q, Wide(x.q), 1e-5)) << c.name;
        }
    }
    e->effectors[2] = {V(1, 1, 1, 0), q, V(3, 3, 3, 1)};
    e->blend[2] = V(0.5f, 0.5f, 0.25f, 0.75f);
    VLMBlendEffectorStateTQS(set.get(), 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(MaxDiff(e->effectors[2].t, {0, 0, 0, 0}) + MaxDiff(e->effectors[2].q, {0, 0, 0, 1}), 0.0);
    EXPECT_TRUE(SameBits(e->effectors[2].s, one) && SameBits(e->blend[2], V(0, 0, 0.25f, 0.75f)));
    const VLMTransformTQS kept = e->effectors[2];
    VLMBlendEffectorStateMatrix(set.get(), 2, nullptr, nullptr, nullptr, nullptr, 1);
    EXPECT_EQ(0, std::memcmp(&kept, &e->effectors[2], sizeof kept));
}

}  // namespace
