#include "rig/vlm_characterize.h"

#include "rig/vlm_character.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_rotation.h"

#include "math_test_util.h"
#include "rig_sample.h"
#include "rig_tree_oracle.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using mathtest::D4;

struct V3 {
    double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(double s, V3 a) { return {s * a.x, s * a.y, s * a.z}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Unit(V3 a) { return (1.0 / std::sqrt(Dot(a, a))) * a; }
double Distance(V3 a, V3 b) { return std::sqrt(Dot(a - b, a - b)); }
V3 Of(const VLMVector4& v) { return {v.x, v.y, v.z}; }
V3 Rotate(const D4& q, V3 v)
{
    const D4 r = mathtest::Rotate(q, {v.x, v.y, v.z, 0});
    return {r[0], r[1], r[2]};
}
D4 AxisAngle(V3 axis, double radians)
{
    const V3 u = Unit(axis);
    const double s = std::sin(radians / 2);
    return {u.x * s, u.y * s, u.z * s, std::cos(radians / 2)};
}
VLMVector4 Narrow(const D4& q) { return VLMVector4{float(q[0]), float(q[1]), float(q[2]), float(q[3])}; }
bool IsIdentity(const VLMVector4& q) { return mathtest::SameBits(q, VLMVector4{0, 0, 0, 1}); }

constexpr double kTolerance = 2e-5;
constexpr float kDegrees = 0.017453292f;
constexpr double kPi = 3.14159265358979323846;

// The post axes form a right-handed orthonormal frame and are the images of
// the unit axes under the stored post-rotation.
void ExpectProperFrame(const VLMRotationPart& part)
{
    const V3 x = Of(part.postAxes[0]), y = Of(part.postAxes[1]), z = Of(part.postAxes[2]);
    EXPECT_NEAR(Dot(x, x), 1.0, kTolerance);
    EXPECT_NEAR(Dot(y, y), 1.0, kTolerance);
    EXPECT_NEAR(Dot(x, y), 0.0, kTolerance);
    EXPECT_LT(Distance(Cross(x, y), z), kTolerance);
    EXPECT_LT(Distance(Rotate(mathtest::Wide(part.postRotation), {1, 0, 0}), x), kTolerance);
    EXPECT_LT(Distance(Rotate(mathtest::Wide(part.postRotation), {0, 0, 1}), z), kTolerance);
}

// A created character with the sample figure's rest positions in its T-pose
// entries (rotations identity), not yet characterized.
class Figure {
public:
    explicit Figure(const oracle::Presence& presence, std::uint32_t word = 1)
        : character_(sample::Create(oracle::Definition(presence, word)))
    {
        const auto points = sample::RestPositions();
        for (int id = 0; id < VLM_NODE_COUNT; ++id) {
            positions_[id] = {points[id].x, points[id].y, points[id].z};
            if (presence[id])
                place(id, positions_[id]);
        }
    }

    VLMCharacter* get() const { return character_.get(); }
    V3 position(int id) const { return positions_[id]; }
    void place(int id, V3 p)
    {
        positions_[id] = p;
        VLMCharacterTPoseEntry(get(), id)->t = VLMVector4{float(p.x), float(p.y), float(p.z), 0.0f};
    }
    VLMNodeRecord& record(int id) const { return *VLMCharacterNodeRecord(get(), id); }
    const VLMRotationPart& frame(int id) const { return record(id).rotation; }
    VLMRotationPart& definition(int id) const
    {
        return VLMRotationRecordAt(VLMCharacterRotationRecords(get()), record(id).rotationIndex)->part;
    }
    VLMLimb& limb(int k) const { return VLMCharacterHeaderOf(get())->limbs[k]; }
    std::vector<unsigned char> bytes() const
    {
        const auto* at = reinterpret_cast<const unsigned char*>(get());
        return std::vector<unsigned char>(at, at + VLMCharacterHeaderOf(get())->blockSize);
    }

    // The frame's first axis points from the node toward target, or along direction.
    void expectAims(int id, int target) const { expectAlong(id, position(target) - position(id)); }
    void expectAlong(int id, V3 direction) const
    {
        EXPECT_LT(Distance(Of(frame(id).postAxes[0]), Unit(direction)), kTolerance) << "node " << id;
    }

private:
    V3 positions_[VLM_NODE_COUNT];
    sample::CharacterPtr character_;
};

}  // namespace

TEST(Characterize, RequiredNodesAimAlongTheFigure)
{
    Figure f(oracle::Required());
    ASSERT_TRUE(VLMCharacterize(f.get()));
    for (const oracle::Limb& limb : oracle::kLimbs) {
        f.expectAims(limb.upper, limb.middle);
        f.expectAims(limb.middle, limb.end);
    }
    // Without toes, finger bases, chest chain or neck: feet forward, hands
    // outward, the spine at the head, the head and hips straight up.
    f.expectAlong(4, {0, 0, 1});
    f.expectAlong(7, {0, 0, 1});
    f.expectAlong(11, {1, 0, 0});
    f.expectAlong(14, {-1, 0, 0});
    f.expectAims(8, 15);
    f.expectAlong(15, {0, 1, 0});
    f.expectAlong(1, {0, 1, 0});

    // The hint (the reference row's axis where there is one) lies in the
    // frame's x-z plane on the +z side.
    const std::pair<int, V3> hints[] = {{1, {1, 0, 0}},   {2, {0, 0, 1}},  {3, {1, 0, 0}},   {4, {1, 0, 0}},
                                        {5, {0, 0, -1}},  {6, {1, 0, 0}},  {8, {1, 0, 0}},   {9, {0, 0, 1}},
                                        {10, {0, 1, 0}},  {11, {0, 0, 1}}, {12, {0, 0, -1}}, {13, {0, -1, 0}},
                                        {14, {0, 0, -1}}, {15, {1, 0, 0}}};
    for (const auto& [node, hint] : hints) {
        SCOPED_TRACE(node);
        ExpectProperFrame(f.frame(node));
        const V3 x = Of(f.frame(node).postAxes[0]);
        EXPECT_LT(Distance(Of(f.frame(node).postAxes[2]), Unit(hint - Dot(x, hint) * x)), kTolerance);
    }
    // Orders follow the rows' spheric flags; the feet and the spine get theirs
    // from the default limits.
    for (int id = 1; id <= 15; ++id)
        EXPECT_EQ(f.frame(id).rotationOrder, id == 3 || id == 6 || id == 10 || id == 13 ? 0u : 12u) << id;

    // Row limits in radians by the library's factor, all six bits set; the
    // row's Euler pre-rotation (none for the left hand: identity, bit 7 clear).
    const VLMRotationPart& upLeg = f.frame(2);
    EXPECT_EQ(upLeg.minLimit[0], -90.0f * kDegrees);
    EXPECT_EQ(upLeg.maxLimit[1], 120.0f * kDegrees);
    EXPECT_EQ(upLeg.flags & VLM_ROTFLAG_LIMITS, VLM_ROTFLAG_LIMITS);
    EXPECT_TRUE(mathtest::SameRotation(
        upLeg.preRotation, mathtest::Hamilton(AxisAngle({0, 0, 1}, -kPi / 2), AxisAngle({0, 1, 0}, -kPi / 3)),
        kTolerance));
    EXPECT_EQ(f.frame(11).flags & VLM_ROTFLAG_PRE_ROTATION, 0u);
    EXPECT_TRUE(IsIdentity(f.frame(11).preRotation));
    // Without a row the frame is the pre-rotation too; the feet then get a 30
    // degree twist about their own third axis in front of it.
    EXPECT_EQ(std::memcmp(&f.frame(8).preRotation, &f.frame(8).postRotation, 16), 0);
    const VLMRotationPart& foot = f.frame(4);
    EXPECT_TRUE(mathtest::SameRotation(
        foot.preRotation,
        mathtest::Hamilton(AxisAngle(Of(foot.postAxes[2]), kPi / 6), mathtest::Wide(foot.postRotation)), kTolerance));
    EXPECT_EQ(foot.minLimit[1], -15.0f * kDegrees);
    EXPECT_EQ(f.frame(8).maxLimit[2], 30.0f * kDegrees);
}

TEST(Characterize, AllNodesAimAtTheirChildren)
{
    Figure f(oracle::Full(), 7);
    ASSERT_TRUE(VLMCharacterize(f.get()));
    const int aims[][2] = {{2, 3},   {41, 3},  {3, 4},   {42, 4},  {4, 16},   {5, 6},   {43, 6},
                           {6, 7},   {44, 7},  {7, 17},  {18, 9},  {170, 18}, {9, 10},  {45, 10},
                           {10, 11}, {46, 11}, {11, 21}, {19, 12}, {171, 19}, {12, 13}, {47, 13},
                           {13, 14}, {48, 14}, {14, 22}, {8, 23},  {31, 20},  {20, 32}, {40, 15}};
    for (const auto& a : aims)
        f.expectAims(a[0], a[1]);
    for (int k = 0; k < 8; ++k) {
        f.expectAims(23 + k, 24 + k);
        f.expectAims(32 + k, 33 + k);
    }
    f.expectAlong(16, {0, 0, 1});
    f.expectAlong(21, {1, 0, 0});
    f.expectAlong(22, {-1, 0, 0});
    for (const oracle::Extremity& e : oracle::kExtremities) {
        for (int d = 0; d < 6; ++d) {
            const int joint = e.firstJoint + 4 * d;
            for (int j = 0; j < 3; ++j)
                f.expectAims(joint + j, joint + j + 1);
            f.expectAlong(joint + 3, f.position(joint + 3) - f.position(joint + 2));  // the last continues its bone
            f.expectAims(e.firstRoot + d, joint);
        }
    }

    // Every record, the spare included, holds a finite frame; every node but
    // Reference and HipsTranslation a proper one.
    const VLMNodeRecord* records = VLMCharacterNodeRecords(f.get());
    for (int k = -1; k < VLM_NODE_COUNT; ++k) {
        const VLMRotationPart& part = records[k].rotation;
        for (const VLMVector4& v : {part.preRotation, part.postRotation, part.postAxes[0], part.postAxes[1]})
            ASSERT_TRUE(std::isfinite(v.x + v.y + v.z + v.w)) << k;
        if (k >= 0 && records[k].nodeId != 0 && records[k].nodeId != 49)
            ExpectProperFrame(part);
    }
    // Toes, legs, forearms, rolls and digit joints 2 to 4 are Euler XYZ;
    // shoulders (rows 11 and 15), chains, digit joint 1 and in-roots spheric.
    for (int id : {3, 6, 10, 13, 16, 17, 41, 48, 51, 52, 53, 125})
        EXPECT_EQ(f.frame(id).rotationOrder, 0u) << id;
    for (int id : {18, 19, 170, 171, 23, 32, 50, 54, 146, 169})
        EXPECT_EQ(f.frame(id).rotationOrder, 12u) << id;
    // Digit joint 2: a 45 degree twist about its own third axis, limits 0, 0, +-45.
    const VLMRotationPart& middle = f.frame(51);
    EXPECT_TRUE(mathtest::SameRotation(
        middle.preRotation,
        mathtest::Hamilton(AxisAngle(Of(middle.postAxes[2]), kPi / 4), mathtest::Wide(middle.postRotation)),
        kTolerance));
    EXPECT_TRUE(std::signbit(middle.minLimit[0]));
    EXPECT_EQ(middle.maxLimit[2], 45.0f * kDegrees);

    // The limb slots hold copies of the limb's node records.
    for (int k = 0; k < 4; ++k) {
        const oracle::Limb& n = oracle::kLimbs[k];
        const int nodes[6] = {n.upper, n.upperRoll, n.middle, n.middleRoll, n.end, n.tip};
        for (int s = 0; s < 6; ++s) {
            EXPECT_EQ(std::memcmp(&f.limb(k).slotRecords[s + 1].rotation, &f.frame(nodes[s]), sizeof(VLMRotationPart)),
                      0);
            EXPECT_EQ(f.limb(k).slotRecords[s + 1].rotationIndex, f.record(nodes[s]).rotationIndex);
        }
    }
}

TEST(Characterize, NeckChainsAndInRootsWithoutDigits)
{
    // Neck with exactly one Neck1: Neck aims past it at the head.
    oracle::Presence p = oracle::Required();
    p[20] = p[32] = p[23] = true;
    Figure f(p);
    f.place(32, f.position(20) + V3{3, 4, 0});  // off the line from Neck to Head
    ASSERT_TRUE(VLMCharacterize(f.get()));
    f.expectAims(8, 23);
    f.expectAims(23, 20);
    f.expectAims(20, 15);
    f.expectAims(32, 15);

    // An in-root without its digit continues the bone it hangs from: the
    // thumb's from the hand, the others' from the finger base when present.
    p = oracle::Required();
    p[21] = p[146] = p[147] = p[152] = p[153] = true;
    Figure h(p);
    ASSERT_TRUE(VLMCharacterize(h.get()));
    h.expectAlong(146, h.position(146) - h.position(11));
    h.expectAlong(147, h.position(147) - h.position(21));
    h.expectAlong(152, h.position(152) - h.position(14));
    h.expectAlong(153, h.position(153) - h.position(14));
    EXPECT_EQ(h.frame(147).maxLimit[1], 5.0f * kDegrees);
}

TEST(NodeFrame, QuaternionPivotAndDegenerateDirections)
{
    // The sign rule builds on w, x, y or z by the signs of the frame's
    // diagonal; that component comes out at least 1/2.
    std::mt19937 rng(3);
    int branches[4] = {};
    for (int i = 0; i < 2000; ++i) {
        VLMNodeRecord record;
        VLMNodeRecordInit(&record);
        const VLMVector4 d = mathtest::RandomVector(rng, 1.0f, 0.0f), hint = mathtest::RandomVector(rng, 1.0f, 0.0f);
        VLMSetupNodeFrame(&record, d, hint, -1, 0);
        const VLMRotationPart& part = record.rotation;
        ExpectProperFrame(part);
        const V3 x = Of(part.postAxes[0]), y = Of(part.postAxes[1]), z = Of(part.postAxes[2]);
        EXPECT_LT(Distance(x, Unit(Of(d))), kTolerance);
        const int pivot = x.x >= 0 ? (y.y + z.z >= 0 ? 3 : 0) : (y.y - z.z >= 0 ? 1 : 2);
        ++branches[pivot];
        EXPECT_GE((&part.postRotation.x)[pivot], 0.5f - 1e-5f) << i;
        EXPECT_EQ(std::memcmp(&part.preRotation, &part.postRotation, 16), 0);
    }
    for (int b : branches)
        EXPECT_GT(b, 100);

    // Zero, parallel to the hint, not finite, or too long to normalise: the identity.
    const float inf = INFINITY;
    const VLMVector4 degenerate[] = {{0, 0, 0, 0},   {-0.0f, 0, -0.0f, 5}, {3, 0, 0, 0},        {-2, 0, 0, 0},
                                     {inf, 1, 0, 0}, {NAN, 1, 0, 0},       {1e30f, 1e30f, 0, 0}};
    for (const VLMVector4& d : degenerate) {
        SCOPED_TRACE(d.x);
        VLMNodeRecord record;
        VLMNodeRecordInit(&record);
        record.rotation.flags = VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION;
        VLMSetupNodeFrame(&record, d, VLMVector4{1, 0, 0, 0}, -1, 1);
        EXPECT_TRUE(IsIdentity(record.rotation.postRotation) && IsIdentity(record.rotation.preRotation));
        EXPECT_EQ(record.rotation.flags, 0u);
        EXPECT_EQ(record.rotation.rotationOrder, 12u);
        EXPECT_EQ(record.rotation.postAxes[0].x, 1.0f);
        // With a row its axis is the hint (the left hand's +Z) and the
        // pre-rotation is the row's: identity for the hand, not for the leg.
        VLMSetupNodeFrame(&record, VLMVector4{d.z, d.y, d.x, d.w}, VLMVector4{1, 0, 0, 0}, 14, 0);
        EXPECT_TRUE(IsIdentity(record.rotation.postRotation) && IsIdentity(record.rotation.preRotation));
        EXPECT_EQ(record.rotation.flags, VLM_ROTFLAG_LIMITS);
        VLMSetupNodeFrame(&record, d, VLMVector4{0, 1, 0, 0}, 2, 0);
        EXPECT_TRUE(IsIdentity(record.rotation.postRotation));
        EXPECT_FALSE(IsIdentity(record.rotation.preRotation));
        EXPECT_EQ(record.rotation.rotationOrder, 0u);
    }
}

TEST(Characterize, FoldsRestRotationsIntoTheRotationRecords)
{
    // The records end up as P O pre and N post; a node that hangs under
    // nothing (Neck1 without Neck) takes the identity for P.
    oracle::Presence p = oracle::Required();
    p[32] = true;
    Figure f(p, 7);
    std::mt19937 rng(7);
    D4 rest[VLM_NODE_COUNT], offset[VLM_NODE_COUNT], pre[VLM_NODE_COUNT], post[VLM_NODE_COUNT];
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (!p[id])
            continue;
        for (D4* q : {&rest[id], &offset[id], &pre[id], &post[id]})
            *q = mathtest::Wide(mathtest::RandomUnitQuat(rng));
        VLMCharacterTPoseEntry(f.get(), id)->q = Narrow(rest[id]);
        VLMParentOffsetAt(VLMCharacterParentOffsets(f.get()), f.record(id).parentOffsetIndex)->q = Narrow(offset[id]);
        VLMSetPreRotation(&f.definition(id), Narrow(pre[id]));
        VLMSetPostRotation(&f.definition(id), Narrow(post[id]));
    }
    const VLMRotationPart referenceBefore = f.definition(0);
    ASSERT_TRUE(VLMCharacterize(f.get()));
    EXPECT_EQ(VLMGetParentNodeId(f.get(), 32), -1);
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        if (!p[id])
            continue;
        SCOPED_TRACE(id);
        const int parent = VLMGetParentNodeId(f.get(), id);
        const D4 P = parent >= 0 ? rest[parent] : D4{0, 0, 0, 1};
        const D4 folded = mathtest::Hamilton(rest[id], post[id]);
        EXPECT_TRUE(mathtest::SameRotation(f.definition(id).preRotation,
                                           mathtest::Hamilton(mathtest::Hamilton(P, offset[id]), pre[id]), kTolerance));
        EXPECT_TRUE(mathtest::SameRotation(f.definition(id).postRotation, folded, kTolerance));
        EXPECT_LT(Distance(Of(f.definition(id).postAxes[0]), Rotate(folded, {1, 0, 0})), kTolerance);
    }
    EXPECT_EQ(std::memcmp(&f.definition(0), &referenceBefore, sizeof referenceBefore), 0) << "node 0 is not folded";
}

TEST(BoneInversion, MirrorsTheLimbAndASecondInversionRestoresIt)
{
    for (int limb = 0; limb < 4; ++limb) {
        SCOPED_TRACE(limb);
        const bool limited = limb == 1 || limb == 2;  // the bend axis goes through the rotation record
        Figure f(oracle::Full(), 7);
        const oracle::Limb& n = oracle::kLimbs[limb];
        VLMSetPreRotation(&f.definition(n.middle), Narrow(AxisAngle({0.3, -0.2, 0.9}, 0.7)));
        VLMSetPostRotation(&f.definition(n.middle), Narrow(AxisAngle({-0.5, 0.4, 0.1}, 1.1)));
        if (limited)
            f.definition(n.middle).flags |= VLM_ROTFLAG_MAX_Y;
        ASSERT_TRUE(VLMCharacterize(f.get()));
        const std::vector<unsigned char> start = f.bytes();
        const VLMRotationPart upper = f.frame(n.upper), middle = f.frame(n.middle);
        const VLMVector4 axis = f.limb(limb).axis;

        // The axis: the middle joint's third axis signed by side, through the
        // record when it has limits.
        V3 expected = Of(middle.postAxes[2]);
        if ((limb < 2 ? expected.x : (limb == 2 ? -expected.y : expected.y)) < 0)
            expected = -1.0 * expected;
        if (limited) {
            const VLMRotationPart& user = f.definition(n.middle);
            expected = Rotate(mathtest::Wide(user.preRotation),
                              Rotate(mathtest::Conj(mathtest::Wide(user.postRotation)), expected));
        }
        EXPECT_LT(Distance(Of(axis), expected), kTolerance);
        EXPECT_EQ(axis.w, 0.0f);

        VLMSetBoneInverted(f.get(), limb, true);
        EXPECT_TRUE(VLMGetBoneInverted(f.get(), limb));
        // Mirrored pre-rotations: the first axis has its z negated and the
        // quaternion stays a unit one; an arm's upper joint and every
        // post-rotation stay as they were.
        const auto expectMirrored = [](const VLMRotationPart& before, const VLMRotationPart& after) {
            const V3 x = Rotate(mathtest::Wide(before.preRotation), {1, 0, 0});
            EXPECT_LT(Distance(Rotate(mathtest::Wide(after.preRotation), {1, 0, 0}), V3{x.x, x.y, -x.z}), kTolerance);
            const VLMVector4& a = after.preRotation;
            EXPECT_NEAR(double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z + double(a.w) * a.w, 1.0, kTolerance);
            EXPECT_EQ(std::memcmp(&before.postRotation, &after.postRotation, 16), 0);
        };
        expectMirrored(middle, f.frame(n.middle));
        if (limb < 2)
            expectMirrored(upper, f.frame(n.upper));
        else {
            EXPECT_EQ(std::memcmp(&upper, &f.frame(n.upper), sizeof upper), 0);
        }
        EXPECT_TRUE(mathtest::SameBits(f.limb(limb).axis, VLMVector4{-axis.x, -axis.y, -axis.z, 0.0f}));

        // Setting the flag it already has changes nothing; inverting back
        // restores the block bit for bit.
        const std::vector<unsigned char> inverted = f.bytes();
        VLMSetBoneInverted(f.get(), limb, true);
        EXPECT_EQ(f.bytes(), inverted);
        VLMSetBoneInverted(f.get(), limb, false);
        EXPECT_EQ(f.bytes(), start);
    }
}

TEST(BoneInversion, OnlyLimbsZeroToThreeOnlyTheirOwnRecordsAndTheCallersWord)
{
    Figure f(oracle::Required());
    EXPECT_TRUE(RestoresCallerWord([&] { EXPECT_TRUE(VLMCharacterize(f.get())); }));
    const std::vector<unsigned char> start = f.bytes();
    for (int limb : {-1, 4, 100, -2147483647 - 1}) {
        EXPECT_TRUE(RestoresCallerWord([&] { VLMSetBoneInverted(f.get(), limb, true); }));
        EXPECT_FALSE(VLMGetBoneInverted(f.get(), limb));
    }
    EXPECT_EQ(f.bytes(), start);
    EXPECT_FALSE(VLMGetBoneInverted(nullptr, 0));
    VLMSetBoneInverted(nullptr, 0, true);
    EXPECT_FALSE(VLMCharacterize(nullptr));

    // The left arm's inversion touches its forearm record and its own limb block only.
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetBoneInverted(f.get(), 2, true); }));
    EXPECT_TRUE(RestoresCallerWord([&] { EXPECT_TRUE(VLMGetBoneInverted(f.get(), 2)); }));
    const std::vector<unsigned char> after = f.bytes();
    const auto* base = reinterpret_cast<const unsigned char*>(f.get());
    const auto inside = [&](std::size_t at, const void* object, std::size_t size) {
        return base + at >= static_cast<const unsigned char*>(object) &&
               base + at < static_cast<const unsigned char*>(object) + size;
    };
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i] != start[i]) {
            ASSERT_TRUE(inside(i, &f.frame(10), sizeof(VLMRotationPart)) || inside(i, &f.limb(2), sizeof(VLMLimb)))
                << i;
        }

    // The results do not depend on the caller's word.
    Figure g(oracle::Required());
    ASSERT_TRUE(VLMCharacterize(g.get()));
    VLMSetBoneInverted(g.get(), 2, true);
    EXPECT_EQ(f.bytes(), g.bytes());
}
