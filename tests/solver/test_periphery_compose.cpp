#include "rig/solver/vlm_compose.h"
#include "rig/solver/vlm_solver_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"

#include "solver_fixtures.h"
#include "solver_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using mathtest::D4;
using mathtest::V;
using mathtest::Wide;

const VLMVector4 kTurnZ = V(0.0f, 0.0f, 0.70710677f, 0.70710677f);
const VLMVector4 kIdentity = V(0, 0, 0, 1);

fixtures::Scene Make(unsigned seed) { return fixtures::Scene(fixtures::Typical(), {false, {}, true, false, seed}, {}); }

// Column j of R(q) diag(s), in double.
D4 Axis(const D4& q, const D4& s, int j)
{
    D4 e = {0, 0, 0, 0};
    e[j] = s[j];
    return mathtest::Rotate(q, e);
}
double Norm3(const D4& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// The composed transform in double. Scales are the lengths of the exact
// product's axes; T and Q follow the two rules.
VLMTransformTQS Reference(const VLMTransformTQS& x, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s,
                          bool pre)
{
    const D4 q0 = Wide(x.q), s0 = Wide(x.s), t0 = Wide(x.t), gq = Wide(q), gs = Wide(s), gt = Wide(t);
    VLMTransformTQS out;
    float* scale = &out.s.x;
    for (int j = 0; j < 3; ++j) {
        // pre: R(Q) S R(Q0) S0 e_j; post: R(Q0) S0 R(Q) S e_j.
        const D4 inner = pre ? Axis(q0, s0, j) : Axis(gq, gs, j);
        const D4& outerS = pre ? gs : s0;
        const D4 scaled = {inner[0] * outerS[0], inner[1] * outerS[1], inner[2] * outerS[2], 0};
        scale[j] = float(Norm3(mathtest::Rotate(pre ? gq : q0, scaled)));
    }
    out.s.w = s.w;
    const D4 composed = pre ? mathtest::Hamilton(gq, q0) : mathtest::Hamilton(q0, gq);
    out.q = V(float(composed[0]), float(composed[1]), float(composed[2]), float(composed[3]));
    const D4 moved = pre ? mathtest::Rotate(gq, {gs[0] * t0[0], gs[1] * t0[1], gs[2] * t0[2], 0})
                         : mathtest::Rotate(composed, {scale[0] * gt[0], scale[1] * gt[1], scale[2] * gt[2], 0});
    const D4& base = pre ? gt : t0;
    out.t = V(float(base[0] + moved[0]), float(base[1] + moved[1]), float(base[2] + moved[2]), 0);
    return out;
}

double Off(const VLMTransformTQS& a, const VLMTransformTQS& b)
{
    return std::fmax(std::fmax(mathtest::MaxDiff(a.t, Wide(b.t)), mathtest::MaxDiff(a.q, Wide(b.q))),
                     mathtest::MaxDiff(a.s, Wide(b.s)));
}

// The Part's examples, the identity, and random rows with scales that are not
// uniform against a double reference of the exact product's axis lengths (the
// pre rule keeps the node's own axes: (2, 1, 1) turned 90 degrees stays (2, 1, 1)).
TEST(Compose, RulesAgainstTheExactProduct)
{
    struct Case {
        VLMTransformTQS record;
        VLMVector4 t, q, s;
        bool pre;
        VLMTransformTQS want;
    };
    const VLMTransformTQS turned = {V(0, 0, 0, 0), kTurnZ, V(1, 1, 1, 1)};
    const Case cases[] = {
        {turned, V(1, 0, 0, 0), kIdentity, V(2, 2, 2, 1), false, {V(0, 2, 0, 0), kTurnZ, V(2, 2, 2, 1)}},
        {turned, V(1, 0, 0, 0), kIdentity, V(2, 2, 2, 1), true, {V(1, 0, 0, 0), kTurnZ, V(2, 2, 2, 1)}},
        {{V(0, 0, 0, 0), kIdentity, V(2, 1, 1, 1)},
         V(0, 0, 0, 0),
         kTurnZ,
         V(1, 1, 1, 1),
         true,
         {V(0, 0, 0, 0), kTurnZ, V(2, 1, 1, 1)}},
        {{V(0, 0, 0, 0), kIdentity, V(2, 1, 1, 1)},
         V(0, 0, 0, 0),
         kTurnZ,
         V(1, 1, 1, 1),
         false,
         {V(0, 0, 0, 0), kTurnZ, V(1, 2, 1, 1)}},
    };
    for (const Case& c : cases) {
        VLMTransformTQS x = c.record;
        VLMVector4 t = c.t, q = c.q, s = c.s;
        (c.pre ? VLMTQSPreMultiply : VLMTQSPostMultiply)(&x, &t, &q, &s, 0);
        EXPECT_LT(Off(x, c.want), 1e-6) << c.pre;
    }
    std::mt19937 rng(12);
    for (int round = 0; round < 200; ++round) {
        const bool pre = round % 2 != 0;
        const VLMTransformTQS record = {mathtest::RandomVector(rng, 30, 0), mathtest::RandomUnitQuat(rng),
                                        V(0.5f + (round % 7) * 0.3f, 1.5f, 0.8f + (round % 3), 1)};
        VLMTransformTQS x = record, same = record;
        VLMVector4 t = mathtest::RandomVector(rng, 10, 0), q = mathtest::RandomUnitQuat(rng);
        VLMVector4 s = V(1.0f + (round % 5) * 0.25f, 0.6f, 2.0f, 1);
        const VLMTransformTQS want = Reference(record, t, q, s, pre);
        (pre ? VLMTQSPreMultiply : VLMTQSPostMultiply)(&x, &t, &q, &s, 0);
        EXPECT_LT(Off(x, want), 1e-4) << round;
        VLMVector4 it = V(0, 0, 0, 0), iq = kIdentity, is = V(1, 1, 1, 1);
        (pre ? VLMTQSPreMultiply : VLMTQSPostMultiply)(&same, &it, &iq, &is, 0);
        EXPECT_EQ(0, std::memcmp(&same, &record, sizeof record)) << "identity, round " << round;
    }
}

// Inverting: the record pair overwrites its three inputs with the inverse;
// with uniform scales, pre by the inverse and then by X restores every row of
// a character, leaves absent rows, the spare row and all locals alone; the
// double forms are the float forms.
TEST(Compose, InverseAndTheCharacterForm)
{
    VLMVector4 t = V(3, -1, 2, 0), q = VLMQuatNormalize(V(0.2f, -0.4f, 0.1f, 0.9f)), s = V(2, 2, 2, 1);
    const VLMVector4 t0 = t, q0 = q;
    VLMTransformTQS x = {t, q, s};
    VLMTQSPreMultiply(&x, &t, &q, &s, 1);
    EXPECT_LT(mathtest::MaxDiff(s, {0.5, 0.5, 0.5, 1}), 1e-6);
    EXPECT_TRUE(mathtest::SameBits(q, VLMVector4NegateXYZ(q0)));
    const D4 back = mathtest::Rotate(Wide(q), {-t0.x * 0.5, -t0.y * 0.5, -t0.z * 0.5, 0});
    EXPECT_LT(mathtest::MaxDiff(t, back, 3), 1e-5);
    EXPECT_LT(mathtest::MaxDiff(x.t, {0, 0, 0, 0}, 3), 1e-5);  // the inverse applied on top of X
    EXPECT_LT(soltest::TurnAngle(x.q, kIdentity), 1e-3);

    fixtures::Scene scene = Make(4), twin = Make(4);
    const int n = int(scene.snapshot().size());
    const std::vector<VLMStateRow> before = scene.snapshot();
    const VLMStateRow spare = scene.rows()[-1];
    const float gt[4] = {5, 1, -3, 7}, gq[4] = {0.1f, 0.7f, 0.1f, 0.7f}, gs[4] = {1.5f, 1.5f, 1.5f, 1};
    VLMPreMultiplyCharacterStateTQS(scene.c(), scene.state.get(), gt, gq, gs, 1);
    const double dt[4] = {5, 1, -3, 7}, dq[4] = {gq[0], gq[1], gq[2], gq[3]}, ds[4] = {1.5, 1.5, 1.5, 1};
    VLMPreMultiplyCharacterStateTQSd(twin.c(), twin.state.get(), dt, dq, ds, 1);
    EXPECT_EQ(0, std::memcmp(scene.rows() - 1, twin.rows() - 1, (n + 1) * sizeof(VLMStateRow)));
    VLMPreMultiplyCharacterStateTQS(scene.c(), scene.state.get(), gt, gq, gs, 0);
    for (int k = 0; k < n; ++k) {
        const VLMStateRow& r = scene.rows()[k];
        EXPECT_LT(mathtest::MaxDiff(r.globalT, Wide(before[k].globalT)), 1e-3) << k;
        EXPECT_LT(soltest::TurnAngle(r.globalQ, before[k].globalQ), 1e-5) << k;
        EXPECT_LT(mathtest::MaxDiff(r.globalS, Wide(before[k].globalS)), 1e-5) << k;
        EXPECT_EQ(0, std::memcmp(&r.localT, &before[k].localT, 48)) << k;
    }
    EXPECT_EQ(0, std::memcmp(&scene.rows()[-1], &spare, sizeof spare));
}

// The entries on rows and effectors, float and double, TQS and matrix: each
// gives what the record pair gives on the same transform; a matrix with an
// axis of no length changes nothing.
TEST(Compose, EntriesMatchTheRecordRules)
{
    fixtures::Scene scene = Make(6);
    VLMEffectorSetStateHandle set = soltest::NewSet();
    VLMEffectorSetLayout* effectors = VLMEffectorSetLayoutOf(set.get());
    const float t[4] = {1, 2, 3, 9}, q[4] = {0.5f, 0.5f, -0.5f, 0.5f}, s[4] = {2, 3, 4, 1};
    const double td[4] = {1, 2, 3, 9}, qd[4] = {0.5, 0.5, -0.5, 0.5}, sd[4] = {2, 3, 4, 1};
    alignas(16) float m[16];
    {
        VLMScopedFPGuard guard;
        VLMMatrix44CopyUnaligned(m, VLMTQSToMatrix44(V(1, 2, 3, 0), V(0.5f, 0.5f, -0.5f, 0.5f), V(2, 3, 4, 1)));
    }
    double md[16];
    for (int i = 0; i < 16; ++i)
        md[i] = m[i];
    const int id = VLM_NODE_LEFT_ARM, e = 11;
    auto node = [&]() -> VLMTransformTQS& {
        return *reinterpret_cast<VLMTransformTQS*>(&VLMNodeRow(scene.c(), scene.rows(), id)->globalT);
    };
    for (int invert : {0, 1}) {
        for (bool pre : {false, true}) {
            VLMTransformTQS want = node();
            VLMVector4 gt = V(1, 2, 3, 0), gq = V(q[0], q[1], q[2], q[3]), gs = V(s[0], s[1], s[2], s[3]);
            (pre ? VLMTQSPreMultiply : VLMTQSPostMultiply)(&want, &gt, &gq, &gs, invert);
            const VLMTransformTQS start = node();
            const VLMStateRow row = *VLMNodeRow(scene.c(), scene.rows(), id);
            (pre ? VLMPreMultiplyNodeStateTQS : VLMPostMultiplyNodeStateTQS)(scene.c(), scene.state.get(), id, t, q, s,
                                                                             invert);
            EXPECT_EQ(0, std::memcmp(&node(), &want, sizeof want)) << invert << pre;
            EXPECT_EQ(0, std::memcmp(&VLMNodeRow(scene.c(), scene.rows(), id)->localT, &row.localT, 48));
            node() = start;
            (pre ? VLMPreMultiplyNodeStateTQSd : VLMPostMultiplyNodeStateTQSd)(scene.c(), scene.state.get(), id, td, qd,
                                                                               sd, invert);
            EXPECT_EQ(0, std::memcmp(&node(), &want, sizeof want)) << invert << pre;
            node() = start;
            if (pre)
                continue;
            VLMTransformTQS fromMatrix = start;
            VLMVector4 mt, mq, ms;
            VLMMatrix44ToTQS(mt, mq, ms, *reinterpret_cast<const VLMMatrix44*>(m));
            VLMTQSPostMultiply(&fromMatrix, &mt, &mq, &ms, invert);
            VLMPostMultiplyNodeStateMatrix(scene.c(), scene.state.get(), id, m, invert);
            EXPECT_EQ(0, std::memcmp(&node(), &fromMatrix, sizeof want));
            node() = start;
            VLMPostMultiplyNodeStateMatrixd(scene.c(), scene.state.get(), id, md, invert);
            EXPECT_EQ(0, std::memcmp(&node(), &fromMatrix, sizeof want));
            node() = start;
            effectors->effectors[e] = start;
            VLMPostMultiplyEffectorStateTQS(set.get(), e, t, q, s, invert);
            EXPECT_EQ(0, std::memcmp(&effectors->effectors[e], &want, sizeof want));
            effectors->effectors[e] = start;
            VLMPostMultiplyEffectorStateTQSd(set.get(), e, td, qd, sd, invert);
            EXPECT_EQ(0, std::memcmp(&effectors->effectors[e], &want, sizeof want));
            effectors->effectors[e] = start;
            VLMPostMultiplyEffectorStateMatrix(set.get(), e, m, invert);
            EXPECT_EQ(0, std::memcmp(&effectors->effectors[e], &fromMatrix, sizeof want));
            effectors->effectors[e] = start;
            VLMPostMultiplyEffectorStateMatrixd(set.get(), e, md, invert);
            EXPECT_EQ(0, std::memcmp(&effectors->effectors[e], &fromMatrix, sizeof want));
        }
    }
    float flat[16];
    std::memcpy(flat, m, sizeof flat);
    std::fill(flat + 4, flat + 8, 0.0f);
    const VLMTransformTQS start = node();
    effectors->effectors[e] = start;
    VLMPostMultiplyNodeStateMatrix(scene.c(), scene.state.get(), id, flat, 0);
    VLMPostMultiplyEffectorStateMatrix(set.get(), e, flat, 1);
    EXPECT_EQ(0, std::memcmp(&node(), &start, sizeof start));
    EXPECT_EQ(0, std::memcmp(&effectors->effectors[e], &start, sizeof start));
}

}  // namespace
