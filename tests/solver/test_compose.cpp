#include "solver_test_util.h"

namespace {

using namespace soltest;

const VLMVector4 kTurnZ = V(0.0f, 0.0f, 0.70710677f, 0.70710677f), kI = V(0, 0, 0, 1), kO = V(0, 0, 0, 0);

// The composition in double; scales are the lengths of the exact product's axes.
VLMTransformTQS Reference(const VLMTransformTQS& x, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s,
                          bool pre)
{
    const D4 q0 = Wide(x.q), s0 = Wide(x.s), gq = Wide(q), gs = Wide(s);
    const D4 &innerQ = pre ? q0 : gq, &innerS = pre ? s0 : gs, &outerQ = pre ? gq : q0, &outerS = pre ? gs : s0;
    VLMTransformTQS out;
    for (int j = 0; j < 3; ++j) {
        D4 e = {0, 0, 0, 0};
        e[j] = innerS[j];
        D4 a = mathtest::Rotate(innerQ, e);
        a = mathtest::Rotate(outerQ, {a[0] * outerS[0], a[1] * outerS[1], a[2] * outerS[2], 0});
        (&out.s.x)[j] = float(std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]));
    }
    out.s.w = s.w;
    const D4 composed = mathtest::Hamilton(outerQ, innerQ);
    out.q = V(float(composed[0]), float(composed[1]), float(composed[2]), float(composed[3]));
    const D4 moved = pre ? mathtest::Rotate(gq, Wide(VLMVector4Mul(s, x.t)))
                         : mathtest::Rotate(composed, Wide(VLMVector4Mul(out.s, t)));
    const VLMVector4& base = pre ? t : x.t;
    out.t = V(float(base.x + moved[0]), float(base.y + moved[1]), float(base.z + moved[2]), 0);
    return out;
}

double Off(const VLMTransformTQS& a, const VLMTransformTQS& b)
{
    return std::fmax(std::fmax(MaxDiff(a.t, Wide(b.t)), MaxDiff(a.q, Wide(b.q))), MaxDiff(a.s, Wide(b.s)));
}

void Compose(bool pre, VLMTransformTQS& x, VLMVector4 t, VLMVector4 q, VLMVector4 s, int invert = 0)
{
    (pre ? VLMTQSPreMultiply : VLMTQSPostMultiply)(&x, &t, &q, &s, invert);
}

// Examples, (2, 1, 1) pre-multiplied by a quarter turn, random records against the reference, identity.
TEST(Compose, RulesAgainstTheExactProduct)
{
    const VLMTransformTQS turned = {kO, kTurnZ, V(1, 1, 1, 1)}, wide = {kO, kI, V(2, 1, 1, 1)};
    const VLMVector4 x1 = V(1, 0, 0, 0), one = V(1, 1, 1, 1), two = V(2, 2, 2, 1);
    struct Case {
        VLMTransformTQS record;
        VLMVector4 t, q, s;
        bool pre;
        VLMTransformTQS want;
    };
    for (const Case& c : {Case{turned, x1, kI, two, false, {V(0, 2, 0, 0), kTurnZ, two}},
                          Case{turned, x1, kI, two, true, {x1, kTurnZ, two}},
                          Case{wide, kO, kTurnZ, one, true, {kO, kTurnZ, V(2, 1, 1, 1)}},
                          Case{wide, kO, kTurnZ, one, false, {kO, kTurnZ, V(1, 2, 1, 1)}}}) {
        VLMTransformTQS x = c.record;
        Compose(c.pre, x, c.t, c.q, c.s);
        EXPECT_LT(Off(x, c.want), 1e-6) << c.pre;
    }
    std::mt19937 rng(12);
    for (int round = 0; round < 200; ++round) {
        const bool pre = round % 2 != 0;
        const VLMTransformTQS record = {mathtest::RandomVector(rng, 30, 0), mathtest::RandomUnitQuat(rng),
                                        V(0.5f + (round % 7) * 0.3f, 1.5f, 0.8f + (round % 3), 1)};
        VLMTransformTQS x = record, same = record;
        const VLMVector4 t = mathtest::RandomVector(rng, 10, 0), q = mathtest::RandomUnitQuat(rng);
        const VLMVector4 s = V(1.0f + (round % 5) * 0.25f, 0.6f, 2.0f, 1);
        Compose(pre, x, t, q, s);
        EXPECT_LT(Off(x, Reference(record, t, q, s, pre)), 1e-4) << round;
        Compose(pre, same, kO, kI, one);
        EXPECT_EQ(0, std::memcmp(&same, &record, sizeof record)) << "identity, round " << round;
    }
}

// The inverse left in the inputs; pre by X^-1 then X restores a character, spare row and locals untouched.
TEST(Compose, InverseAndTheCharacterForm)
{
    VLMVector4 t = V(3, -1, 2, 0), q = VLMQuatNormalize(V(0.2f, -0.4f, 0.1f, 0.9f)), s = V(2, 2, 2, 1);
    const VLMVector4 q0 = q;
    VLMTransformTQS x = {t, q, s};
    VLMTQSPreMultiply(&x, &t, &q, &s, 1);
    EXPECT_TRUE(SameBits(q, VLMVector4NegateXYZ(q0)));
    EXPECT_LT(MaxDiff(s, {0.5, 0.5, 0.5, 1}), 1e-6);
    EXPECT_LT(Off(x, {kO, kI, V(1, 1, 1, 1)}), 1e-5);  // the inverse on top of X

    fixtures::Scene scene(fixtures::Typical(), {false, {}, true, false, 4}, {});
    const std::vector<VLMStateRow> before = scene.snapshot();
    const VLMStateRow spare = scene.rows()[-1];
    const float gt[4] = {5, 1, -3, 7}, gq[4] = {0.1f, 0.7f, 0.1f, 0.7f}, gs[4] = {1.5f, 1.5f, 1.5f, 1};
    VLMPreMultiplyCharacterStateTQS(scene.c(), scene.state.get(), gt, gq, gs, 1);
    VLMPreMultiplyCharacterStateTQS(scene.c(), scene.state.get(), gt, gq, gs, 0);
    for (std::size_t k = 0; k < before.size(); ++k) {
        const VLMStateRow& r = scene.rows()[k];
        EXPECT_LT(MaxDiff(r.globalT, Wide(before[k].globalT)), 1e-3) << k;
        EXPECT_LT(TurnAngle(r.globalQ, before[k].globalQ), 1e-5) << k;
        EXPECT_LT(MaxDiff(r.globalS, Wide(before[k].globalS)), 1e-5) << k;
        EXPECT_EQ(0, std::memcmp(&r.localT, &before[k].localT, 48)) << k;
    }
    EXPECT_EQ(0, std::memcmp(&scene.rows()[-1], &spare, sizeof spare));
}

// Every row and effector entry equals the record pair; a matrix axis of no length changes nothing.
TEST(Compose, EntriesMatchTheRecordRules)
{
    fixtures::Scene scene(fixtures::Typical(), {false, {}, true, false, 6}, {});
    VLMEffectorSetStateHandle set = NewSet();
    const VLMCharacter* c = scene.c();
    VLMCharacterState* st = scene.state.get();
    VLMEffectorSetState* e = set.get();
    const int id = VLM_NODE_LEFT_ARM;
    VLMStateRow& row = *VLMNodeRow(c, scene.rows(), id);
    VLMTransformTQS& node = *reinterpret_cast<VLMTransformTQS*>(&row.globalT);
    VLMTransformTQS& effector = VLMEffectorSetLayoutOf(e)->effectors[11];
    const VLMStateRow start = row;
    const float t[4] = {1, 2, 3, 9}, q[4] = {0.5f, 0.5f, -0.5f, 0.5f}, s[4] = {2, 3, 4, 1};
    const double td[4] = {1, 2, 3, 9}, qd[4] = {0.5, 0.5, -0.5, 0.5}, sd[4] = {2, 3, 4, 1};
    alignas(16) float m[16];
    VLMMatrix44CopyUnaligned(m, VLMTQSToMatrix44(V(1, 2, 3, 0), V(q[0], q[1], q[2], q[3]), V(2, 3, 4, 1)));
    const std::vector<double> md(m, m + 16);
    VLMVector4 mt, mq, ms;
    VLMMatrix44ToTQS(mt, mq, ms, *reinterpret_cast<const VLMMatrix44*>(m));
    for (int inv : {0, 1}) {
        VLMTransformTQS want[3] = {node, node, node};
        Compose(false, want[0], V(1, 2, 3, 0), V(q[0], q[1], q[2], q[3]), V(2, 3, 4, 1), inv);
        Compose(true, want[1], V(1, 2, 3, 0), V(q[0], q[1], q[2], q[3]), V(2, 3, 4, 1), inv);
        Compose(false, want[2], mt, mq, ms, inv);
        const std::pair<std::function<void()>, int> runs[] = {
            {[&] { VLMPostMultiplyNodeStateTQS(c, st, id, t, q, s, inv); }, 0},
            {[&] { VLMPreMultiplyNodeStateTQSd(c, st, id, td, qd, sd, inv); }, 1},
            {[&] { VLMPostMultiplyNodeStateMatrixd(c, st, id, md.data(), inv); }, 2},
            {[&] { VLMPostMultiplyEffectorStateTQSd(e, 11, td, qd, sd, inv); }, 3},
            {[&] { VLMPostMultiplyEffectorStateMatrix(e, 11, m, inv); }, 5},
        };
        for (const auto& [call, which] : runs) {
            row = start;
            effector = node;
            call();
            EXPECT_EQ(0, std::memcmp(which < 3 ? &node : &effector, &want[which % 3], sizeof node)) << inv << which;
            EXPECT_EQ(0, std::memcmp(&row.localT, &start.localT, 48));
        }
    }
    row = start;
    effector = node;
    std::fill(m + 4, m + 8, 0.0f);
    VLMPostMultiplyNodeStateMatrix(c, st, id, m, 0);
    VLMPostMultiplyEffectorStateMatrix(e, 11, m, 1);
    EXPECT_EQ(0, std::memcmp(&row, &start, sizeof start));
    EXPECT_EQ(0, std::memcmp(&effector, &start.globalT, sizeof effector));
}

}  // namespace
