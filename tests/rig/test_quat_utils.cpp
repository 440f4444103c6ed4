// Quaternion and transform utilities: rotated axes, rotations from directions,
// frames and angles, matrix-vector products and the record initialisers.
#include "rig/vlm_frame.h"
#include "rig/vlm_quat_utils.h"

#include "math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace mathtest;

namespace {

const float kNaN = std::nanf("");

D4 AxisQuat(int axis, double angle)
{
    D4 q = {0, 0, 0, std::cos(angle / 2)};
    q[axis] = std::sin(angle / 2);
    return q;
}

TEST(QuatAxes, AreTheRotationRows)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(201);
    for (int i = 0; i < 200; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng), t = RandomVector(rng, 10, 0);
        const VLMMatrix44 m = VLMQuatToMatrix44(q), f = VLMMatrix44FromQuatTranslation(t, q);
        VLMVector4 x, y, z;
        VLMQuatToAxes(q, x, y, z);
        ASSERT_TRUE(SameBits(x, m.r[0]) && SameBits(y, m.r[1]) && SameBits(z, m.r[2]));
        ASSERT_TRUE(SameBits(VLMQuatAxisX(q), m.r[0]) && SameBits(VLMQuatAxisZ(q), m.r[2]));
        ASSERT_TRUE(SameBits(f.r[0], x) && SameBits(f.r[1], y) && SameBits(f.r[2], z));
        ASSERT_TRUE(SameBits(f.r[3], V(t.x, t.y, t.z, 1)));
    }
    VLMVector4 q = V(0, 0, 0.70710678f, 0.70710678f), y, z;
    VLMQuatToAxes(q, q, y, z);  // the first output may be the argument
    EXPECT_LE(MaxDiff(q, {0, 1, 0, 0}), 1e-6);
    EXPECT_LE(MaxDiff(y, {-1, 0, 0, 0}), 1e-6);
}

TEST(QuatFromTo, ShortestArcBetweenDirections)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(202);
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 u = RandomVector(rng, 10, 0), v = RandomVector(rng, 10, 0);
        const VLMVector4 q = VLMQuatFromTo(u, v);
        const D4 ru = Rotate(Wide(q), Wide(u));
        const double lu = std::sqrt(ru[0] * ru[0] + ru[1] * ru[1] + ru[2] * ru[2]);
        const double lv = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
        // Unless nearly opposite, q takes u's direction to v's about their common normal.
        if ((double(u.x) * v.x + double(u.y) * v.y + double(u.z) * v.z) / lv < -0.999 * lu)
            continue;
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(ru[k] / lu, Lane(v, k) / lv, 2e-4) << i;
        ASSERT_NEAR(q.x * u.x + q.y * u.y + q.z * u.z, 0.0, 1e-3);  // the axis is normal to u
    }
    EXPECT_LE(MaxDiff(VLMQuatFromTo(V(1, 2, 3, 0), V(2, 4, 6, 0)), {0, 0, 0, 1}), 1e-6);
    EXPECT_LE(MaxDiff(VLMQuatFromTo(V(1, 0, 0, 0), V(0, 3, 0, 0)), {0, 0, 0.70710678, 0.70710678}), 1e-6);
    const VLMVector4 opposite = VLMQuatFromTo(V(1, 0, 0, 0), V(-2, 0, 0, 0));
    EXPECT_TRUE(std::isnan(opposite.x) && std::isnan(opposite.w));
}

TEST(QuatFromFrame, XAlongAAndZTowardB)
{
    VLMScopedFPGuard guard;
    EXPECT_LE(MaxDiff(VLMQuatFromFrame(V(1, 0, 0, 0), V(0, 0, 1, 0)), {0, 0, 0, 1}), 1.2e-7);  // via the estimate
    EXPECT_TRUE(SameBits(VLMQuatFromFrame(V(2, 0, 0, 0), V(-4, 0, 0, 0)), V(0, 0, 0, 1)));     // b parallel to a
    EXPECT_TRUE(SameBits(VLMQuatFromFrame(V(0, 0, 0, 0), V(0, 0, 1, 0)), V(0, 0, 0, 1)));      // a zero
    EXPECT_TRUE(SameBits(VLMQuatFromFrame(V(kNaN, 0, 0, 0), V(0, 0, 1, 0)), V(0, 0, 0, 1)));
    EXPECT_LE(MaxDiff(VLMQuatFromFrame(V(0, 1, 0, 0), V(0, 0, 1, 0)), {0, 0, 0.70710678, 0.70710678}), 1e-6);

    std::mt19937 rng(203);
    int branches[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4000; ++i) {
        const VLMVector4 a = RandomVector(rng, 5, 0), b = RandomVector(rng, 5, 0);
        const VLMVector4 q = VLMQuatFromFrame(a, b);
        // The rows X, Y, Z through the branch rule of the rotation rows.
        const VLMVector4 x = VLMVector4Mul(a, VLMVector4RSqrt(VLMVector4Dot4(a, a)));
        const VLMVector4 c = VLMVector4Cross(b, x);
        const VLMVector4 y = VLMVector4Mul(c, VLMVector4RSqrt(VLMVector4Dot4(c, c)));
        const VLMVector4 z = VLMVector4Cross(x, y);
        ASSERT_TRUE(SameBits(q, VLMQuatFromRotationRows(x, y, z)));
        ++branches[x.x >= 0 ? (y.y + z.z >= 0 ? 0 : 1) : (y.y - z.z >= 0 ? 2 : 3)];
        if (VLMVector4Length3(c).x < 1e-2f * VLMVector4Length3(b).x)
            continue;  // b nearly parallel to a: the frame is ill-conditioned
        // x onto a's direction; y normal to b, so that z leans toward b.
        const double la = std::sqrt(double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z);
        ASSERT_LE(MaxDiff(VLMQuatRotate(q, V(1, 0, 0, 0)), {a.x / la, a.y / la, a.z / la, 0}, 3), 2e-5);
        const VLMVector4 yAxis = VLMQuatRotate(q, V(0, 1, 0, 0)), zAxis = VLMQuatRotate(q, V(0, 0, 1, 0));
        ASSERT_NEAR(VLMVector4Dot3(yAxis, b).x, 0.0f, 1e-4f);
        ASSERT_GT(VLMVector4Dot3(zAxis, b).x, 0.0f);
    }
    for (int k = 0; k < 4; ++k)
        EXPECT_GT(branches[k], 300) << "branch " << k;
}

TEST(QuatFromAngles, EulerXYZIsXThenYThenZAndSphericIsTwistThenSwing)
{
    VLMScopedFPGuard guard;
    EXPECT_LE(MaxDiff(VLMQuatFromEulerXYZ(V(3.14159265f / 2, 0, 0, 0)), {0.70710678, 0, 0, 0.70710678}), 2e-6);
    std::mt19937 rng(204);
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 angles = RandomVector(rng, 4, std::uniform_real_distribution<float>(-9, 9)(rng));
        const VLMVector4 q = VLMQuatFromEulerXYZ(angles);
        ASSERT_LE(MaxDiff(q, Hamilton(AxisQuat(2, angles.z), Hamilton(AxisQuat(1, angles.y), AxisQuat(0, angles.x)))),
                  5e-6);
        // The library's order on the kernel's sines and cosines.
        VLMVector4 s, c;
        VLMFastSinCos(VLMVector4Mul(angles, S(0.5f)), s, c);
        const VLMVector4 ref = V((s.x * c.y) * c.z - (c.x * s.y) * s.z, (c.x * s.y) * c.z + (s.x * c.y) * s.z,
                                 (c.x * c.y) * s.z - (s.x * s.y) * c.z, (c.x * c.y) * c.z + (s.x * s.y) * s.z);
        ASSERT_TRUE(SameBits(q, ref));

        const VLMVector4 small = VLMVector4Mul(angles, S(0.75f));  // within +-3
        const double sx = std::sin(small.x / 2.0), cx = std::cos(small.x / 2.0);
        const double sy = std::sin(small.y / 2.0), cy = std::cos(small.y / 2.0);
        const double sz = std::sin(small.z / 2.0), cz = std::cos(small.z / 2.0);
        const D4 twistThenSwing = Normalized(Hamilton({0, sy, sz, cy * cz}, {sx, 0, 0, cx}));
        ASSERT_LE(MaxDiff(VLMQuatFromSphericXYZ(small), twistThenSwing), 5e-6);
    }
    for (int k = 0; k < 3; ++k) {  // one non-zero spheric angle: the plain single-axis rotation
        VLMVector4 angles = V(0, 0, 0, 0);
        (&angles.x)[k] = 1.2f;
        EXPECT_LE(MaxDiff(VLMQuatFromSphericXYZ(angles), AxisQuat(k, 1.2)), 3e-6) << k;
    }
}

TEST(QuatMatrixVector, PointsMoveDirectionsTurn)
{
    VLMScopedFPGuard guard;  // the library's order of the sum is checked with VLMMatrix44Multiply
    const VLMMatrix44 t = VLMMatrix44FromQuatTranslation(V(1, 2, 3, 0), V(0, 0, 0.70710678f, 0.70710678f));
    EXPECT_LE(MaxDiff(VLMMatrix44MulVector(t, V(1, 0, 0, 1)), {1, 3, 3, 1}), 1e-6);
    EXPECT_LE(MaxDiff(VLMMatrix44MulVector(t, V(1, 0, 0, 0)), {0, 1, 0, 0}), 1e-6);
    VLMVector4 id = V(5, 5, 5, 5);
    EXPECT_TRUE(SameBits(VLMQuatIdentity(), V(0, 0, 0, 1)) && SameBits(VLMQuatIdentity(id), V(0, 0, 0, 1)));
}

// ---------------------------------------------------------------------------
// Records

template <class T>
void Scribble(T& object)
{
    std::memset(static_cast<void*>(&object), 0xA5, sizeof object);
}

bool IsReset(const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    return SameBits(t, V(0, 0, 0, 0)) && SameBits(q, V(0, 0, 0, 1)) && SameBits(s, V(1, 1, 1, 1));
}

TEST(QuatRecords, ResetsWriteTheIdentityTransformAndNoMore)
{
    VLMTransformTQS tqs;
    VLMTPoseEntry entry;
    Scribble(tqs);
    Scribble(entry);
    EXPECT_TRUE(VLMTQSReset(&tqs) == &tqs && IsReset(tqs.t, tqs.q, tqs.s));
    EXPECT_TRUE(VLMTPoseEntryReset(&entry) == &entry && IsReset(entry.t, entry.q, entry.s) && entry.presence == 0u);

    std::vector<VLMStateRow> rows(10);
    for (VLMStateRow& r : rows)
        Scribble(r);
    const std::vector<VLMStateRow> before = rows;
    const auto untouched = [&](int i) { return std::memcmp(&rows[i], &before[i], sizeof(VLMStateRow)) == 0; };
    const auto reset = [&](int i) {
        const VLMStateRow& r = rows[i];
        return IsReset(r.globalT, r.globalQ, r.globalS) && IsReset(r.localT, r.localQ, r.localS);
    };
    VLMConstructStateRows(rows.data(), 0);
    VLMConstructStateRows(nullptr, 5);
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(untouched(i));
    VLMConstructStateRows(rows.data() + 1, 3);
    EXPECT_TRUE(untouched(0) && reset(1) && reset(3) && untouched(4));
    VLMResetLimbWorkRows(rows.data() + 2);
    for (int i = 2; i < 9; ++i)
        EXPECT_TRUE(reset(i)) << i;
    EXPECT_TRUE(untouched(9));

    VLMEffectorSetLayout set;
    Scribble(set);
    const VLMEffectorSetLayout setBefore = set;
    EXPECT_EQ(VLMResetEffectorRecords(&set), &set);
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        const VLMTransformTQS& r = set.effectors[e];
        EXPECT_TRUE(IsReset(r.t, r.q, r.s) && SameBits(set.blend[e], V(0, 0, 0, 0))) << e;
    }
    const std::size_t tail = offsetof(VLMEffectorSetLayout, extremities);  // the extremity records stay
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&set) + tail, reinterpret_cast<const char*>(&setBefore) + tail,
                          sizeof set - tail),
              0);
}

template <class Array, int N>
void CheckPairCopy(Array* (*copy)(Array*, const Array*))
{
    Array source, destination;
    Scribble(source);
    for (int i = 0; i < N; ++i) {
        const float f = static_cast<float>(i);
        source.entries[i] = {V(f, 1, 2, 3), V(f, 4, 5, 6), V(f, 7, 8, 9)};
        source.lanes[i] = V(f, -1, -2, -3);
    }
    Scribble(destination);
    const Array before = destination;
    EXPECT_EQ(copy(&destination, &source), &destination);
    for (int i = 0; i < N; ++i) {
        EXPECT_TRUE(SameBits(destination.entries[i].t, source.entries[i].t));
        EXPECT_TRUE(SameBits(destination.entries[i].q, source.entries[i].q));
        EXPECT_TRUE(SameBits(destination.entries[i].unused, before.entries[i].unused));  // not part of the pair
        EXPECT_TRUE(SameBits(destination.lanes[i], source.lanes[i]));
    }
}

TEST(QuatRecords, PairArrayCopiesLeaveTheThirdVectorAlone)
{
    CheckPairCopy<VLMPairArray2, 2>(VLMPairArrayCopy2);
    CheckPairCopy<VLMPairArray4, 4>(VLMPairArrayCopy4);
    CheckPairCopy<VLMPairArray8, 8>(VLMPairArrayCopy8);
    VLMPairArray8 source, destination;
    Scribble(source);
    source.trailing[0] = V(11, 12, 13, 14);
    source.trailing[1] = V(15, 16, 17, 18);
    VLMPairArrayCopy8(&destination, &source);
    EXPECT_TRUE(SameBits(destination.trailing[0], source.trailing[0]) &&
                SameBits(destination.trailing[1], source.trailing[1]));
}

}  // namespace
