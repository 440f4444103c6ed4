// Quaternion and transform utilities: rotated axes, rotations from directions,
// frames and angles, matrix-vector products and the record initialisers.
#include "vlm_frame.h"
#include "vlm_quat_utils.h"

#include "math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace mathtest;

namespace {

const float kNaN = std::nanf("");
const D4 kAxes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

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
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMMatrix44 m = VLMQuatToMatrix44(q);
        VLMVector4 x, y, z;
        VLMQuatToAxes(q, x, y, z);
        ASSERT_TRUE(SameBits(x, m.r[0]) && SameBits(y, m.r[1]) && SameBits(z, m.r[2]));
        ASSERT_TRUE(SameBits(VLMQuatAxisX(q), m.r[0]));
        ASSERT_TRUE(SameBits(VLMQuatAxisZ(q), m.r[2]));
        for (int k = 0; k < 3; ++k)
            ASSERT_LE(MaxDiff(k == 0 ? x : k == 1 ? y : z, Rotate(Wide(q), kAxes[k])), 2e-6);
        ASSERT_EQ(x.w, 0.0f);

        const VLMVector4 t = RandomVector(rng, 10, 0);
        const VLMMatrix44 f = VLMMatrix44FromQuatTranslation(t, q);
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
    for (int i = 0; i < 2000; ++i) {
        const VLMVector4 u = RandomVector(rng, 10, 0), v = RandomVector(rng, 10, 0);
        const VLMVector4 q = VLMQuatFromTo(u, v);
        const D4 ru = Rotate(Wide(q), Wide(u));
        const double lu = std::sqrt(ru[0] * ru[0] + ru[1] * ru[1] + ru[2] * ru[2]);
        const double lv = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
        // Unless nearly opposite, q takes u's direction to v's about their common normal.
        const double cosine = (double(u.x) * v.x + double(u.y) * v.y + double(u.z) * v.z) / (lv * std::sqrt(double(u.x) * u.x + double(u.y) * u.y + double(u.z) * u.z));
        if (cosine < -0.999)
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
    EXPECT_TRUE(SameBits(VLMQuatFromFrame(V(1, 0, 0, 0), V(0, 0, 1, 0)), V(0, 0, 0, 1)));
    EXPECT_TRUE(SameBits(VLMQuatFromFrame(V(2, 0, 0, 0), V(-4, 0, 0, 0)), V(0, 0, 0, 1)));  // b parallel to a
    EXPECT_TRUE(SameBits(VLMQuatFromFrame(V(0, 0, 0, 0), V(0, 0, 1, 0)), V(0, 0, 0, 1)));   // a zero
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
        // Geometry in double: x onto a's direction, z onto b's part orthogonal to a.
        const D4 da = Wide(a), db = Wide(b);
        const double la = std::sqrt(da[0] * da[0] + da[1] * da[1] + da[2] * da[2]);
        const D4 ua = {da[0] / la, da[1] / la, da[2] / la, 0};
        const double along = db[0] * ua[0] + db[1] * ua[1] + db[2] * ua[2];
        D4 ortho = {db[0] - along * ua[0], db[1] - along * ua[1], db[2] - along * ua[2], 0};
        const double lo = std::sqrt(ortho[0] * ortho[0] + ortho[1] * ortho[1] + ortho[2] * ortho[2]);
        if (lo < 1e-2 * std::sqrt(db[0] * db[0] + db[1] * db[1] + db[2] * db[2]))
            continue;  // b nearly parallel: the frame is ill-conditioned
        for (int k = 0; k < 3; ++k)
            ortho[k] /= lo;
        ASSERT_LE(MaxDiff(VLMQuatRotate(q, V(1, 0, 0, 0)), ua, 3), 2e-5);
        ASSERT_LE(MaxDiff(VLMQuatRotate(q, V(0, 0, 1, 0)), ortho, 3), 2e-4);
    }
    for (int k = 0; k < 4; ++k)
        EXPECT_GT(branches[k], 300) << "branch " << k;
}

TEST(QuatFromAngles, EulerXYZIsXThenYThenZ)
{
    VLMScopedFPGuard guard;
    EXPECT_LE(MaxDiff(VLMQuatFromEulerXYZ(V(3.14159265f / 2, 0, 0, 0)), {0.70710678, 0, 0, 0.70710678}), 2e-6);
    std::mt19937 rng(204);
    for (int i = 0; i < 2000; ++i) {
        const VLMVector4 angles = RandomVector(rng, 4, std::uniform_real_distribution<float>(-9, 9)(rng));
        const VLMVector4 q = VLMQuatFromEulerXYZ(angles);
        const D4 want = Hamilton(AxisQuat(2, angles.z), Hamilton(AxisQuat(1, angles.y), AxisQuat(0, angles.x)));
        ASSERT_LE(MaxDiff(q, want), 5e-6);
        // The library's order on the kernel's sines and cosines.
        VLMVector4 s, c;
        VLMFastSinCos(VLMVector4Mul(angles, S(0.5f)), s, c);
        const VLMVector4 ref = V((s.x * c.y) * c.z - (c.x * s.y) * s.z, (c.x * s.y) * c.z + (s.x * c.y) * s.z,
                                 (c.x * c.y) * s.z - (s.x * s.y) * c.z, (c.x * c.y) * c.z + (s.x * s.y) * s.z);
        ASSERT_TRUE(SameBits(q, ref));
    }
}

TEST(QuatFromAngles, SphericIsTwistThenSwing)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(205);
    for (int i = 0; i < 2000; ++i) {
        const VLMVector4 angles = RandomVector(rng, 3, 0);
        const double sx = std::sin(angles.x / 2.0), cx = std::cos(angles.x / 2.0);
        const double sy = std::sin(angles.y / 2.0), cy = std::cos(angles.y / 2.0);
        const double sz = std::sin(angles.z / 2.0), cz = std::cos(angles.z / 2.0);
        const D4 want = Normalized(Hamilton({0, sy, sz, cy * cz}, {sx, 0, 0, cx}));
        ASSERT_LE(MaxDiff(VLMQuatFromSphericXYZ(angles), want), 5e-6);
    }
    // One non-zero angle: the plain single-axis rotation.
    for (int k = 0; k < 3; ++k) {
        VLMVector4 angles = V(0, 0, 0, 0);
        (&angles.x)[k] = 1.2f;
        EXPECT_LE(MaxDiff(VLMQuatFromSphericXYZ(angles), AxisQuat(k, 1.2)), 3e-6) << k;
    }
}

TEST(QuatMatrixVector, LibraryOrderAndPointMapping)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(206);
    int orders_differ = 0;
    for (int i = 0; i < 2000; ++i) {
        VLMMatrix44 m;
        for (int r = 0; r < 4; ++r)
            m.r[r] = RandomVector(rng, r == 1 ? 1000.0f : 1.0f, std::uniform_real_distribution<float>(-1, 1)(rng));
        const VLMVector4 v = RandomVector(rng, 1, std::uniform_real_distribution<float>(-1, 1)(rng));
        const VLMVector4 got = VLMMatrix44MulVector(m, v);
        for (int k = 0; k < 4; ++k) {
            const float want =
                ((Lane(m.r[1], k) * v.y + Lane(m.r[0], k) * v.x) + Lane(m.r[2], k) * v.z) + Lane(m.r[3], k) * v.w;
            ASSERT_EQ(B(Lane(got, k)), B(want));
            const float pairwise =
                (Lane(m.r[0], k) * v.x + Lane(m.r[1], k) * v.y) + (Lane(m.r[2], k) * v.z + Lane(m.r[3], k) * v.w);
            orders_differ += B(pairwise) != B(want);
        }
    }
    EXPECT_GT(orders_differ, 0);
    const VLMMatrix44 t = VLMMatrix44FromQuatTranslation(V(1, 2, 3, 0), V(0, 0, 0.70710678f, 0.70710678f));
    EXPECT_LE(MaxDiff(VLMMatrix44MulVector(t, V(1, 0, 0, 1)), {1, 3, 3, 1}), 1e-6);  // a point moves
    EXPECT_LE(MaxDiff(VLMMatrix44MulVector(t, V(1, 0, 0, 0)), {0, 1, 0, 0}), 1e-6);  // a direction turns
    EXPECT_TRUE(SameBits(VLMQuatIdentity(), V(0, 0, 0, 1)));
    VLMVector4 id = V(5, 5, 5, 5);
    EXPECT_TRUE(SameBits(VLMQuatIdentity(id), V(0, 0, 0, 1)));
}

// ---------------------------------------------------------------------------
// Records

const VLMVector4 kZero = V(0, 0, 0, 0), kIdentity = V(0, 0, 0, 1), kOne = V(1, 1, 1, 1);

template <class T>
void Scribble(T& object)
{
    std::memset(static_cast<void*>(&object), 0xA5, sizeof object);
}

TEST(QuatRecords, ResetsWriteTheIdentityTransform)
{
    VLMTransformTQS tqs;
    Scribble(tqs);
    EXPECT_EQ(VLMTQSReset(&tqs), &tqs);
    EXPECT_TRUE(SameBits(tqs.t, kZero) && SameBits(tqs.q, kIdentity) && SameBits(tqs.s, kOne));

    VLMTPoseEntry entry;
    Scribble(entry);
    EXPECT_EQ(VLMTPoseEntryReset(&entry), &entry);
    EXPECT_TRUE(SameBits(entry.t, kZero) && SameBits(entry.q, kIdentity) && SameBits(entry.s, kOne));
    EXPECT_EQ(entry.presence, 0u);

    VLMStateRow row;
    Scribble(row);
    EXPECT_EQ(VLMStateRowReset(&row), &row);
    EXPECT_TRUE(SameBits(row.globalT, kZero) && SameBits(row.globalQ, kIdentity) && SameBits(row.globalS, kOne));
    EXPECT_TRUE(SameBits(row.localT, kZero) && SameBits(row.localQ, kIdentity) && SameBits(row.localS, kOne));
}

TEST(QuatRecords, StateRowRunsTouchExactlyTheirRows)
{
    std::vector<VLMStateRow> rows(10);
    for (VLMStateRow& r : rows)
        Scribble(r);
    const std::vector<VLMStateRow> before = rows;
    VLMConstructStateRows(rows.data(), 0);
    EXPECT_EQ(std::memcmp(rows.data(), before.data(), sizeof(VLMStateRow) * rows.size()), 0);
    VLMConstructStateRows(nullptr, 5);  // nothing to write, nothing happens

    VLMConstructStateRows(rows.data() + 1, 3);
    EXPECT_EQ(std::memcmp(&rows[0], &before[0], sizeof(VLMStateRow)), 0);
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(SameBits(rows[i].localQ, kIdentity) && SameBits(rows[i].globalS, kOne));
    EXPECT_EQ(std::memcmp(&rows[4], &before[4], sizeof(VLMStateRow)), 0);

    VLMResetLimbWorkRows(rows.data() + 2);
    for (int i = 2; i < 9; ++i)
        EXPECT_TRUE(SameBits(rows[i].globalT, kZero) && SameBits(rows[i].localS, kOne)) << i;
    EXPECT_EQ(std::memcmp(&rows[9], &before[9], sizeof(VLMStateRow)), 0);
}

TEST(QuatRecords, EffectorResetKeepsTheExtremities)
{
    VLMEffectorSetLayout set;
    Scribble(set);
    VLMEffectorSetLayout before = set;
    EXPECT_EQ(VLMResetEffectorRecords(&set), &set);
    for (const VLMTransformTQS& e : set.effectors)
        EXPECT_TRUE(SameBits(e.t, kZero) && SameBits(e.q, kIdentity) && SameBits(e.s, kOne));
    for (const VLMVector4& lanes : set.blend)
        EXPECT_TRUE(SameBits(lanes, kZero));
    const std::size_t tail = offsetof(VLMEffectorSetLayout, extremities);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&set) + tail, reinterpret_cast<const char*>(&before) + tail,
                          sizeof set - tail),
              0);
}

TEST(QuatRecords, PairArrayCopiesLeaveTheThirdVectorAlone)
{
    VLMPairArray8 source, destination;
    for (int i = 0; i < 8; ++i) {
        const float f = static_cast<float>(i);
        source.entries[i] = {V(f, 1, 2, 3), V(f, 4, 5, 6), V(f, 7, 8, 9)};
        source.lanes[i] = V(f, -1, -2, -3);
    }
    source.trailing[0] = V(11, 12, 13, 14);
    source.trailing[1] = V(15, 16, 17, 18);
    Scribble(destination);
    const VLMPairArray8 before = destination;
    EXPECT_EQ(VLMPairArrayCopy8(&destination, &source), &destination);
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(SameBits(destination.entries[i].t, source.entries[i].t));
        EXPECT_TRUE(SameBits(destination.entries[i].q, source.entries[i].q));
        EXPECT_TRUE(SameBits(destination.entries[i].unused, before.entries[i].unused));
        EXPECT_TRUE(SameBits(destination.lanes[i], source.lanes[i]));
    }
    EXPECT_TRUE(SameBits(destination.trailing[0], source.trailing[0]));
    EXPECT_TRUE(SameBits(destination.trailing[1], source.trailing[1]));

    VLMPairArray2 two, twoOut;
    VLMPairArray4 four, fourOut;
    for (int i = 0; i < 4; ++i) {
        four.entries[i] = source.entries[i];
        four.lanes[i] = source.lanes[i];
        if (i < 2) {
            two.entries[i] = source.entries[i];
            two.lanes[i] = source.lanes[i];
        }
    }
    Scribble(twoOut);
    Scribble(fourOut);
    VLMPairArrayCopy2(&twoOut, &two);
    VLMPairArrayCopy4(&fourOut, &four);
    EXPECT_TRUE(SameBits(twoOut.lanes[1], source.lanes[1]));
    EXPECT_TRUE(SameBits(twoOut.entries[1].q, source.entries[1].q));
    EXPECT_TRUE(SameBits(twoOut.entries[1].unused, before.entries[1].unused));
    EXPECT_TRUE(SameBits(fourOut.lanes[3], source.lanes[3]));
    EXPECT_TRUE(SameBits(fourOut.entries[3].t, source.entries[3].t));
    EXPECT_TRUE(SameBits(fourOut.entries[3].unused, before.entries[3].unused));
}

} // namespace
