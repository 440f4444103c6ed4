#include "vlm_characterize.h"

#include "vlm_character.h"
#include "vlm_frame.h"
#include "vlm_names.h"
#include "vlm_node_record.h"
#include "vlm_rotation.h"

#include "rig_tree_oracle.h"
#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

// --- Double-precision reference geometry ----------------------------------------

struct V3 {
    double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(double s, V3 a) { return {s * a.x, s * a.y, s * a.z}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Unit(V3 a) { return (1.0 / std::sqrt(Dot(a, a))) * a; }
V3 Of(const VLMVector4& v) { return {v.x, v.y, v.z}; }
V3 Of(const float v[3]) { return {v[0], v[1], v[2]}; }

struct Q {
    double x, y, z, w;
};
Q Of4(const VLMVector4& q) { return {q.x, q.y, q.z, q.w}; }
Q Mul(Q a, Q b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
Q Conj(Q q) { return {-q.x, -q.y, -q.z, q.w}; }
V3 Rotate(Q q, V3 v)
{
    const Q r = Mul(Mul(q, Q{v.x, v.y, v.z, 0.0}), Conj(q));
    return {r.x, r.y, r.z};
}
Q AxisAngle(V3 axis, double radians)
{
    const V3 u = Unit(axis);
    const double s = std::sin(radians / 2);
    return {u.x * s, u.y * s, u.z * s, std::cos(radians / 2)};
}
VLMVector4 ToVector(Q q) { return VLMVector4{float(q.x), float(q.y), float(q.z), float(q.w)}; }
VLMVector4 Point(V3 p) { return VLMVector4{float(p.x), float(p.y), float(p.z), 0.0f}; }

// q and -q are the same rotation.
double RotationDistance(const VLMVector4& got, Q want)
{
    const Q g = Of4(got);
    return 1.0 - std::fabs(g.x * want.x + g.y * want.y + g.z * want.z + g.w * want.w);
}

double Distance(V3 a, V3 b) { return std::sqrt(Dot(a - b, a - b)); }

constexpr double kTolerance = 2e-5;
constexpr float kDegrees = 0.017453292f;
constexpr double kPi = 3.14159265358979323846;

bool Finite(const VLMVector4& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// The post axes form a right-handed orthonormal frame, and they are the
// columns of the stored post-rotation.
void ExpectProperFrame(const VLMRotationPart& part)
{
    const V3 x = Of(part.postAxes[0]), y = Of(part.postAxes[1]), z = Of(part.postAxes[2]);
    EXPECT_NEAR(Dot(x, x), 1.0, kTolerance);
    EXPECT_NEAR(Dot(y, y), 1.0, kTolerance);
    EXPECT_NEAR(Dot(x, y), 0.0, kTolerance);
    EXPECT_LT(Distance(Cross(x, y), z), kTolerance);
    const Q q = Of4(part.postRotation);
    EXPECT_LT(Distance(Rotate(q, {1, 0, 0}), x), kTolerance);
    EXPECT_LT(Distance(Rotate(q, {0, 0, 1}), z), kTolerance);
}

// --- Characters on the reference figure --------------------------------------------

struct CharacterDeleter {
    void operator()(VLMCharacter* c) const { VLMDestroyCharacter(c, &TestAllocator::release); }
};
using CharacterPtr = std::unique_ptr<VLMCharacter, CharacterDeleter>;

V3 Mirrored(V3 p) { return {-p.x, p.y, p.z}; }
V3 Lerp(V3 a, V3 b, double t) { return a + t * (b - a); }

// Rest positions of all 172 nodes on the 177 cm reference figure: the body
// joints are the segment start points of the reference table, the rest is
// placed between them (rolls, spine and neck chains, shoulder extras) or laid
// out in front of the hands and feet (digits, in-roots).
std::array<V3, VLM_NODE_COUNT> ReferencePositions()
{
    const VLMReferenceSegment* r = VLMReferenceSkeleton;
    std::array<V3, VLM_NODE_COUNT> p{};
    const auto start = [&](int row) { return Of(r[row].start); };
    p[1] = start(0);
    const int legRows[2][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    const int legNodes[2][4] = {{2, 3, 4, 16}, {5, 6, 7, 17}};
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < 4; ++i)
            p[legNodes[s][i]] = start(legRows[s][i]);
    const int armRows[2][4] = {{11, 12, 13, 14}, {15, 16, 17, 18}};
    const int armNodes[2][4] = {{18, 9, 10, 11}, {19, 12, 13, 14}};
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < 4; ++i)
            p[armNodes[s][i]] = start(armRows[s][i]);
    p[21] = Of(r[14].end);
    p[22] = Of(r[18].end);
    p[8] = start(9);
    p[20] = start(19);
    p[15] = start(20);
    p[49] = p[1];
    const int rolls[8][3] = {{41, 2, 3}, {42, 3, 4}, {43, 5, 6}, {44, 6, 7},
                             {45, 9, 10}, {46, 10, 11}, {47, 12, 13}, {48, 13, 14}};
    for (const auto& roll : rolls)
        p[roll[0]] = Lerp(p[roll[1]], p[roll[2]], 0.5);
    for (int k = 0; k < 9; ++k) {
        p[23 + k] = Lerp(p[8], p[20], (k + 1) / 10.0);
        p[32 + k] = Lerp(p[20], p[15], (k + 1) / 10.0);
    }
    p[170] = Lerp(p[18], p[9], 0.5);
    p[171] = Lerp(p[19], p[12], 0.5);
    for (int d = 0; d < 6; ++d) {
        for (int j = 0; j < 4; ++j) {
            p[50 + 4 * d + j] = V3{84.0 + 3.0 * j, 143.0 - 0.5 * j, -1.8 + 2.0 * (d - 2.5)};
            p[74 + 4 * d + j] = Mirrored(p[50 + 4 * d + j]);
            p[98 + 4 * d + j] = V3{9.6 + 1.5 * (d - 2.5), 1.0 - 0.2 * j, 10.3 + 2.0 * j};
            p[122 + 4 * d + j] = Mirrored(p[98 + 4 * d + j]);
        }
        p[146 + d] = Lerp(p[11], p[50 + 4 * d], 0.5);
        p[152 + d] = Mirrored(p[146 + d]);
        p[158 + d] = Lerp(p[4], p[98 + 4 * d], 0.5);
        p[164 + d] = Mirrored(p[158 + d]);
    }
    return p;
}

// A created character with the reference figure's rest positions written into
// its T-pose entries (rotations identity), not yet characterized.
class Figure {
public:
    explicit Figure(const oracle::Presence& presence, std::uint32_t word = 1)
        : positions_(ReferencePositions())
    {
        const VLMCharacterDefinition def = oracle::Definition(presence, word);
        character_.reset(VLMCreateCharacter(&def, &TestAllocator::allocate));
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            if (presence[id])
                place(id, positions_[id]);
    }

    VLMCharacter* get() const { return character_.get(); }
    V3 position(int id) const { return positions_[id]; }
    void place(int id, V3 p)
    {
        positions_[id] = p;
        VLMCharacterTPoseEntry(get(), id)->t = Point(p);
    }
    void restRotation(int id, Q q) { VLMCharacterTPoseEntry(get(), id)->q = ToVector(q); }
    VLMNodeRecord& record(int id) const { return *VLMCharacterNodeRecord(get(), id); }
    const VLMRotationPart& frame(int id) const { return record(id).rotation; }
    VLMRotationPart& definition(int id) const
    {
        return VLMRotationRecordAt(VLMCharacterRotationRecords(get()), record(id).rotationIndex)->part;
    }
    VLMTransformTQS& parentOffset(int id) const
    {
        return *VLMParentOffsetAt(VLMCharacterParentOffsets(get()), record(id).parentOffsetIndex);
    }
    VLMLimb& limb(int k) const { return VLMCharacterHeaderOf(get())->limbs[k]; }
    std::vector<unsigned char> bytes() const
    {
        const auto* at = reinterpret_cast<const unsigned char*>(get());
        return std::vector<unsigned char>(at, at + VLMCharacterHeaderOf(get())->blockSize);
    }

    // The frame's first axis points from the node toward target.
    void expectAims(int id, int target) const { expectAlong(id, position(target) - position(id)); }
    void expectAlong(int id, V3 direction) const
    {
        EXPECT_LT(Distance(Of(frame(id).postAxes[0]), Unit(direction)), kTolerance) << "node " << id;
    }

private:
    std::array<V3, VLM_NODE_COUNT> positions_;
    CharacterPtr character_;
};

// ---------------------------------------------------------------------------

TEST(ReferenceSkeleton, SegmentsJoinIntoOneSymmetricFigure)
{
    const VLMReferenceSegment* r = VLMReferenceSkeleton;
    // Chains: each segment starts where the one before it ends.
    const int chains[][5] = {{1, 2, 3, 4, -1}, {5, 6, 7, 8, -1}, {12, 13, 14, -1}, {16, 17, 18, -1},
                             {0, 9, 10, 19, 20}};
    for (const auto& chain : chains)
        for (int i = 1; i < 5 && chain[i] >= 0; ++i)
            EXPECT_LT(Distance(Of(r[chain[i - 1]].end), Of(r[chain[i]].start)), 1e-6) << chain[i];
    EXPECT_EQ(r[20].end[1], 177.0f);
    // The right side mirrors the left: points and axes with x negated, the
    // same limits on the legs; negative zeros kept where the table has them.
    const int pairs[][2] = {{1, 5}, {2, 6}, {3, 7}, {4, 8}, {11, 15}, {12, 16}, {13, 17}, {14, 18}};
    for (const auto& pair : pairs) {
        EXPECT_LT(Distance(Mirrored(Of(r[pair[0]].start)), Of(r[pair[1]].start)), 1e-6);
        EXPECT_LT(Distance(Mirrored(Of(r[pair[0]].end)), Of(r[pair[1]].end)), 1e-6);
        EXPECT_EQ(r[pair[0]].spheric, r[pair[1]].spheric);
    }
    EXPECT_TRUE(std::signbit(r[5].axis[1]));
    EXPECT_TRUE(std::signbit(r[8].minimum[0]) && std::signbit(r[8].minimum[1]));
    EXPECT_FALSE(std::signbit(r[4].minimum[1]));
}

TEST(Characterize, RequiredNodesAimAlongTheFigure)
{
    TestAllocator::reset();
    Figure f(oracle::Required());
    ASSERT_TRUE(f.get());
    ASSERT_TRUE(VLMCharacterize(f.get()));
    for (int limb = 0; limb < 4; ++limb) {
        f.expectAims(oracle::kLimbs[limb].upper, oracle::kLimbs[limb].middle);
        f.expectAims(oracle::kLimbs[limb].middle, oracle::kLimbs[limb].end);
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
    const struct {
        int node;
        V3 hint;
    } hints[] = {{1, {1, 0, 0}},  {2, {0, 0, 1}},  {3, {1, 0, 0}},   {4, {1, 0, 0}},  {5, {0, 0, -1}},
                 {6, {1, 0, 0}},  {8, {1, 0, 0}},  {9, {0, 0, 1}},   {10, {0, 1, 0}}, {11, {0, 0, 1}},
                 {12, {0, 0, -1}}, {13, {0, -1, 0}}, {14, {0, 0, -1}}, {15, {1, 0, 0}}};
    for (const auto& h : hints) {
        SCOPED_TRACE(h.node);
        const VLMRotationPart& part = f.frame(h.node);
        ExpectProperFrame(part);
        const V3 x = Of(part.postAxes[0]);
        const V3 expectedZ = Unit(h.hint - Dot(x, h.hint) * x);
        EXPECT_LT(Distance(Of(part.postAxes[2]), expectedZ), kTolerance);
        EXPECT_TRUE(Finite(part.preRotation));
    }

    // Rotation orders follow the reference rows' spheric flags; the feet and
    // the spine get theirs from the default limits.
    for (int id : {1, 2, 4, 5, 7, 8, 9, 11, 12, 14, 15})
        EXPECT_EQ(f.frame(id).rotationOrder, 12u) << id;
    for (int id : {3, 6, 10, 13})
        EXPECT_EQ(f.frame(id).rotationOrder, 0u) << id;

    // Row limits converted with the library's degree factor, all six bits set.
    const VLMRotationPart& upLeg = f.frame(2);
    EXPECT_EQ(upLeg.minLimit[0], -90.0f * kDegrees);
    EXPECT_EQ(upLeg.maxLimit[1], 120.0f * kDegrees);
    EXPECT_EQ(upLeg.flags & VLM_ROTFLAG_LIMITS, VLM_ROTFLAG_LIMITS);
    // A row node keeps the row's Euler pre-rotation; the left hand's row has
    // none, so its pre-rotation stays the identity with bit 7 clear.
    EXPECT_LT(RotationDistance(upLeg.preRotation, Mul(AxisAngle({0, 0, 1}, -90 * kPi / 180),
                                                       AxisAngle({0, 1, 0}, -60 * kPi / 180))),
              kTolerance);
    EXPECT_EQ(f.frame(11).flags & VLM_ROTFLAG_PRE_ROTATION, 0u);
    EXPECT_EQ(f.frame(11).preRotation.w, 1.0f);
    EXPECT_NE(f.frame(2).flags & VLM_ROTFLAG_POST_ROTATION, 0u);
    // A node without a row takes its frame as pre-rotation too; the feet then
    // get a 30 degree twist about their own third axis in front of it.
    EXPECT_EQ(std::memcmp(&f.frame(8).preRotation, &f.frame(8).postRotation, 16), 0);
    const Q foot = Of4(f.frame(4).postRotation);
    EXPECT_LT(RotationDistance(f.frame(4).preRotation, Mul(AxisAngle(Of(f.frame(4).postAxes[2]), 30 * kPi / 180), foot)),
              kTolerance);
    EXPECT_EQ(f.frame(4).minLimit[1], -15.0f * kDegrees);
    EXPECT_EQ(f.frame(8).maxLimit[2], 30.0f * kDegrees);
}

TEST(Characterize, AllNodesAimAtTheirChildren)
{
    TestAllocator::reset();
    Figure f(oracle::Full(), 7);
    ASSERT_TRUE(f.get());
    ASSERT_TRUE(VLMCharacterize(f.get()));

    const int aims[][2] = {
        {2, 3},    {41, 3},   {3, 4},    {42, 4},   {4, 16},   {5, 6},    {43, 6},   {6, 7},   {44, 7},
        {7, 17},   {18, 9},   {170, 18}, {9, 10},   {45, 10},  {10, 11},  {46, 11},  {11, 21}, {19, 12},
        {171, 19}, {12, 13},  {47, 13},  {13, 14},  {48, 14},  {14, 22},  {8, 23},   {31, 20}, {20, 32},
        {40, 15},
    };
    for (const auto& a : aims)
        f.expectAims(a[0], a[1]);
    for (int k = 0; k < 8; ++k) {
        f.expectAims(23 + k, 24 + k);
        f.expectAims(32 + k, 33 + k);
    }
    f.expectAlong(16, {0, 0, 1});
    f.expectAlong(21, {1, 0, 0});
    f.expectAlong(22, {-1, 0, 0});
    for (int first : {50, 74, 98, 122}) {
        for (int d = 0; d < 6; ++d) {
            const int joint = first + 4 * d;
            f.expectAims(joint, joint + 1);
            f.expectAims(joint + 1, joint + 2);
            f.expectAims(joint + 2, joint + 3);
            // The last joint continues its bone.
            f.expectAlong(joint + 3, f.position(joint + 3) - f.position(joint + 2));
        }
    }
    for (int i = 0; i < 6; ++i)
        for (const auto& e : oracle::kExtremities)
            f.expectAims(e.firstRoot + i, e.firstJoint + 4 * i);

    // Every record of the character (the spare included) holds a proper,
    // finite frame.
    const VLMNodeRecord* records = VLMCharacterNodeRecords(f.get());
    for (int k = -1; k < VLM_NODE_COUNT; ++k) {
        const VLMRotationPart& part = records[k].rotation;
        for (const VLMVector4& v : {part.preRotation, part.postRotation, part.postAxes[0], part.postAxes[1]})
            ASSERT_TRUE(Finite(v)) << k;
        // Reference and HipsTranslation get no frame; the spare is untouched
        // when every node is present.
        if (k >= 0 && records[k].nodeId != 0 && records[k].nodeId != 49)
            ExpectProperFrame(part);
    }
    // Toes and leg/forearm rows are Euler XYZ; shoulders spheric (rows 11 and
    // 15); digit joints 2 to 4 Euler, joint 1 and the in-roots spheric.
    for (int id : {3, 6, 10, 13, 16, 17, 41, 48, 51, 52, 53, 125})
        EXPECT_EQ(f.frame(id).rotationOrder, 0u) << id;
    for (int id : {18, 19, 170, 171, 23, 32, 50, 54, 146, 169})
        EXPECT_EQ(f.frame(id).rotationOrder, 12u) << id;
    // Digit joint 2 carries a 45 degree twist about its own third axis and
    // limits of 0, 0 and +-45 degrees.
    const VLMRotationPart& middle = f.frame(51);
    EXPECT_LT(RotationDistance(middle.preRotation,
                               Mul(AxisAngle(Of(middle.postAxes[2]), 45 * kPi / 180), Of4(middle.postRotation))),
              kTolerance);
    EXPECT_TRUE(std::signbit(middle.minLimit[0]));
    EXPECT_EQ(middle.maxLimit[2], 45.0f * kDegrees);

    // The limb slots hold copies of the limb's node records.
    for (int k = 0; k < 4; ++k) {
        const oracle::Limb& n = oracle::kLimbs[k];
        const int nodes[6] = {n.upper, n.upperRoll, n.middle, n.middleRoll, n.end, n.tip};
        for (int s = 0; s < 6; ++s) {
            EXPECT_EQ(std::memcmp(&f.limb(k).slotRecords[s + 1].rotation, &f.frame(nodes[s]), sizeof(VLMRotationPart)), 0);
            EXPECT_EQ(f.limb(k).slotRecords[s + 1].rotationIndex, f.record(nodes[s]).rotationIndex);
        }
    }
}

TEST(Characterize, NeckWithOneNeckNodeAimsPastItAtTheHead)
{
    oracle::Presence p = oracle::Required();
    p[20] = p[32] = p[23] = true;
    TestAllocator::reset();
    Figure f(p);
    f.place(32, f.position(20) + V3{3, 4, 0});  // off the line from Neck to Head
    ASSERT_TRUE(VLMCharacterize(f.get()));
    f.expectAims(8, 23);
    f.expectAims(23, 20);
    f.expectAims(20, 15);
    f.expectAims(32, 15);
    // With two neck nodes the chain is followed.
    p[33] = true;
    Figure g(p);
    g.place(32, f.position(32));
    ASSERT_TRUE(VLMCharacterize(g.get()));
    g.expectAims(20, 32);
    g.expectAims(32, 33);
    g.expectAims(33, 15);
}

TEST(Characterize, InRootsWithoutDigitsPointAwayFromWhereTheyHang)
{
    // The thumb root hangs under the hand, the others under the finger base
    // when there is one; without their digit they continue that bone.
    oracle::Presence p = oracle::Required();
    p[21] = p[146] = p[147] = p[152] = p[153] = true;
    TestAllocator::reset();
    Figure f(p);
    ASSERT_TRUE(VLMCharacterize(f.get()));
    f.expectAlong(146, f.position(146) - f.position(11));
    f.expectAlong(147, f.position(147) - f.position(21));
    f.expectAlong(152, f.position(152) - f.position(14));
    f.expectAlong(153, f.position(153) - f.position(14));
    EXPECT_EQ(f.frame(147).rotationOrder, 12u);
    EXPECT_EQ(f.frame(147).maxLimit[1], 5.0f * kDegrees);
}

TEST(Characterize, FrameQuaternionHasItsPivotPositive)
{
    // The sign rule picks w, x, y or z as the pivot by the signs of the
    // frame's diagonal; the pivot comes out at least 1/2, so q is fixed in sign.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    int branches[4] = {};
    for (int i = 0; i < 2000; ++i) {
        VLMNodeRecord record;
        VLMNodeRecordInit(&record);
        const VLMVector4 d = {u(rng), u(rng), u(rng), 0.0f}, hint = {u(rng), u(rng), u(rng), 0.0f};
        VLMSetupNodeFrame(&record, d, hint, -1, 0);
        const VLMRotationPart& part = record.rotation;
        ExpectProperFrame(part);
        const V3 x = Of(part.postAxes[0]), y = Of(part.postAxes[1]), z = Of(part.postAxes[2]);
        EXPECT_LT(Distance(x, Unit(Of(d))), kTolerance);
        const float* q = &part.postRotation.x;
        const int pivot = x.x >= 0 ? (y.y + z.z >= 0 ? 3 : 0) : (y.y - z.z >= 0 ? 1 : 2);
        ++branches[pivot];
        EXPECT_GE(q[pivot], 0.5f - 1e-5f) << i;
        EXPECT_EQ(std::memcmp(&part.preRotation, &part.postRotation, 16), 0);
    }
    for (int b : branches)
        EXPECT_GT(b, 100);
}

TEST(Characterize, DegenerateDirectionsGiveTheIdentity)
{
    const VLMVector4 identity = {0.0f, 0.0f, 0.0f, 1.0f};
    const auto isIdentity = [&](const VLMVector4& q) { return std::memcmp(&q, &identity, 16) == 0; };
    const float inf = INFINITY;
    const VLMVector4 degenerate[] = {
        {0.0f, 0.0f, 0.0f, 0.0f},     // zero length
        {-0.0f, 0.0f, -0.0f, 5.0f},   // zero length, w ignored
        {3.0f, 0.0f, 0.0f, 0.0f},     // parallel to the hint +X
        {-2.0f, 0.0f, 0.0f, 0.0f},    // antiparallel
        {inf, 1.0f, 0.0f, 0.0f},      // not finite
        {NAN, 1.0f, 0.0f, 0.0f},
        {1e30f, 1e30f, 0.0f, 0.0f},   // its squared length overflows
    };
    const VLMVector4 hint = {1.0f, 0.0f, 0.0f, 0.0f};
    for (const VLMVector4& d : degenerate) {
        SCOPED_TRACE(d.x);
        VLMNodeRecord record;
        VLMNodeRecordInit(&record);
        record.rotation.flags = VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION;
        VLMSetupNodeFrame(&record, d, hint, -1, 1);
        EXPECT_TRUE(isIdentity(record.rotation.postRotation));
        EXPECT_TRUE(isIdentity(record.rotation.preRotation));
        EXPECT_EQ(record.rotation.flags, 0u);
        EXPECT_EQ(record.rotation.rotationOrder, 12u);
        EXPECT_EQ(record.rotation.postAxes[0].x, 1.0f);
        // With a row the row's axis is the hint (left hand: +Z, so the
        // direction is turned onto z) and the pre-rotation is the row's: the
        // left hand's zero angles give the identity, the left leg's do not.
        VLMSetupNodeFrame(&record, VLMVector4{d.z, d.y, d.x, d.w}, hint, 14, 0);
        EXPECT_TRUE(isIdentity(record.rotation.postRotation));
        EXPECT_TRUE(isIdentity(record.rotation.preRotation));
        EXPECT_EQ(record.rotation.flags, VLM_ROTFLAG_LIMITS);
        VLMSetupNodeFrame(&record, d, VLMVector4{0.0f, 1.0f, 0.0f, 0.0f}, 2, 0);
        EXPECT_TRUE(isIdentity(record.rotation.postRotation));
        EXPECT_FALSE(isIdentity(record.rotation.preRotation));
        EXPECT_EQ(record.rotation.rotationOrder, 0u);
    }

    // Through a character: a knee at the ankle and a forearm along the
    // forearm row's axis.
    TestAllocator::reset();
    Figure f(oracle::Required());
    f.place(3, f.position(4));
    f.place(10, f.position(9));
    ASSERT_TRUE(VLMCharacterize(f.get()));
    EXPECT_TRUE(isIdentity(f.frame(3).postRotation));
    EXPECT_TRUE(isIdentity(f.frame(9).postRotation));
    EXPECT_FALSE(isIdentity(f.frame(10).postRotation));
    f.place(11, f.position(10) + V3{0, 20, 0});  // along row 13's axis (0, 1, 0)
    ASSERT_TRUE(VLMCharacterize(f.get()));
    EXPECT_TRUE(isIdentity(f.frame(10).postRotation));
    EXPECT_EQ(f.frame(10).flags & VLM_ROTFLAG_POST_ROTATION, 0u);
}

TEST(Characterize, FoldsRestRotationsIntoTheRotationRecords)
{
    // Non-identity rest rotations and parent offsets: the records end up as
    // P O pre and N post.
    oracle::Presence p = oracle::Required();
    p[32] = true;  // Neck1 without Neck hangs under nothing
    TestAllocator::reset();
    Figure f(p, 7);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const auto randomRotation = [&] { return AxisAngle({u(rng), u(rng), u(rng)}, 3.0 * u(rng)); };
    std::array<Q, VLM_NODE_COUNT> rest{}, offset{}, pre{}, post{};
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (!p[id])
            continue;
        rest[id] = randomRotation();
        f.restRotation(id, rest[id]);
        offset[id] = randomRotation();
        f.parentOffset(id).q = ToVector(offset[id]);
        pre[id] = randomRotation();
        post[id] = randomRotation();
        VLMSetPreRotation(&f.definition(id), ToVector(pre[id]));
        VLMSetPostRotation(&f.definition(id), ToVector(post[id]));
    }
    const VLMRotationPart referenceBefore = f.definition(0);
    ASSERT_TRUE(VLMCharacterize(f.get()));

    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        if (!p[id])
            continue;
        SCOPED_TRACE(id);
        const int parent = VLMGetParentNodeId(f.get(), id);
        const Q P = parent >= 0 ? rest[parent] : Q{0, 0, 0, 1};
        EXPECT_LT(RotationDistance(f.definition(id).preRotation, Mul(Mul(P, offset[id]), pre[id])), kTolerance);
        EXPECT_LT(RotationDistance(f.definition(id).postRotation, Mul(rest[id], post[id])), kTolerance);
        EXPECT_NE(f.definition(id).flags & VLM_ROTFLAG_PRE_ROTATION, 0u);
        // The stored axes follow the folded post-rotation.
        EXPECT_LT(Distance(Of(f.definition(id).postAxes[0]), Rotate(Mul(rest[id], post[id]), {1, 0, 0})), kTolerance);
    }
    EXPECT_EQ(VLMGetParentNodeId(f.get(), 32), -1);
    EXPECT_EQ(std::memcmp(&f.definition(0), &referenceBefore, sizeof referenceBefore), 0) << "node 0 is not folded";
}

// Limb k of a full-definition figure, with limits on the middle joint's
// rotation record so that the bend axis goes through it.
struct InversionCase {
    int limb;
    bool limited;
};

TEST(BoneInversion, MirrorsTheLimbAndSecondInversionRestoresIt)
{
    for (const InversionCase c : {InversionCase{0, false}, InversionCase{1, true}, InversionCase{2, true},
                                  InversionCase{3, false}}) {
        SCOPED_TRACE(c.limb);
        TestAllocator::reset();
        Figure f(oracle::Full(), 7);
        const oracle::Limb& n = oracle::kLimbs[c.limb];
        const bool leg = c.limb < 2;
        const Q middlePre = AxisAngle({0.3, -0.2, 0.9}, 0.7), middlePost = AxisAngle({-0.5, 0.4, 0.1}, 1.1);
        VLMSetPreRotation(&f.definition(n.middle), ToVector(middlePre));
        VLMSetPostRotation(&f.definition(n.middle), ToVector(middlePost));
        if (c.limited)
            f.definition(n.middle).flags |= VLM_ROTFLAG_MAX_Y;
        ASSERT_TRUE(VLMCharacterize(f.get()));

        const std::vector<unsigned char> start = f.bytes();
        const VLMRotationPart upper = f.frame(n.upper), middle = f.frame(n.middle);
        const VLMVector4 axis = f.limb(c.limb).axis;

        // The axis is the middle joint's third axis, through the record when
        // it has limits.
        V3 expected = Of(middle.postAxes[2]);
        const double side = leg ? expected.x : (c.limb == 2 ? -expected.y : expected.y);
        if (side < 0)
            expected = -1.0 * expected;
        if (c.limited) {
            const VLMRotationPart& user = f.definition(n.middle);
            expected = Rotate(Of4(user.preRotation), Rotate(Conj(Of4(user.postRotation)), expected));
        }
        EXPECT_LT(Distance(Of(axis), expected), kTolerance);
        EXPECT_EQ(axis.w, 0.0f);

        EXPECT_FALSE(VLMGetBoneInverted(f.get(), c.limb));
        VLMSetBoneInverted(f.get(), c.limb, true);
        EXPECT_TRUE(VLMGetBoneInverted(f.get(), c.limb));
        EXPECT_EQ(f.limb(c.limb).boneInverted, 1);

        // Mirrored: the first axis of each mirrored pre-rotation has its z
        // negated and the result is still a unit quaternion; an arm's upper
        // joint and every post-rotation stay as they were.
        const auto expectMirrored = [](const VLMRotationPart& before, const VLMRotationPart& after) {
            const V3 x = Rotate(Of4(before.preRotation), {1, 0, 0});
            EXPECT_LT(Distance(Rotate(Of4(after.preRotation), {1, 0, 0}), V3{x.x, x.y, -x.z}), kTolerance);
            const Q a = Of4(after.preRotation);
            EXPECT_NEAR(a.x * a.x + a.y * a.y + a.z * a.z + a.w * a.w, 1.0, kTolerance);
            EXPECT_EQ(std::memcmp(&before.postRotation, &after.postRotation, 16), 0);
        };
        expectMirrored(middle, f.frame(n.middle));
        if (leg)
            expectMirrored(upper, f.frame(n.upper));
        else
            EXPECT_EQ(std::memcmp(&upper, &f.frame(n.upper), sizeof upper), 0);
        // The bend axis turns around exactly.
        const VLMVector4& flipped = f.limb(c.limb).axis;
        EXPECT_EQ(flipped.x, -axis.x);
        EXPECT_EQ(flipped.y, -axis.y);
        EXPECT_EQ(flipped.z, -axis.z);

        // Setting the flag it already has changes nothing at all.
        const std::vector<unsigned char> inverted = f.bytes();
        VLMSetBoneInverted(f.get(), c.limb, true);
        EXPECT_EQ(f.bytes(), inverted);

        // Inverting back restores the block bit for bit.
        VLMSetBoneInverted(f.get(), c.limb, false);
        EXPECT_EQ(f.bytes(), start);
        VLMSetBoneInverted(f.get(), c.limb, false);
        EXPECT_EQ(f.bytes(), start);
    }
}

TEST(BoneInversion, OnlyLimbsZeroToThreeAndOnlyTheirOwnLimb)
{
    TestAllocator::reset();
    Figure f(oracle::Required());
    ASSERT_TRUE(VLMCharacterize(f.get()));
    const std::vector<unsigned char> start = f.bytes();
    for (int limb : {-1, 4, 100, -2147483647 - 1}) {
        VLMSetBoneInverted(f.get(), limb, true);
        EXPECT_FALSE(VLMGetBoneInverted(f.get(), limb));
    }
    EXPECT_EQ(f.bytes(), start);
    EXPECT_FALSE(VLMGetBoneInverted(nullptr, 0));
    VLMSetBoneInverted(nullptr, 0, true);
    EXPECT_FALSE(VLMCharacterize(nullptr));

    // The left arm's inversion touches its forearm record and its own limb
    // block, nothing else.
    VLMSetBoneInverted(f.get(), 2, true);
    const std::vector<unsigned char> after = f.bytes();
    const auto* base = reinterpret_cast<const unsigned char*>(f.get());
    const auto inside = [&](std::size_t at, const void* object, std::size_t size) {
        const auto* o = static_cast<const unsigned char*>(object);
        return base + at >= o && base + at < o + size;
    };
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] != start[i]) {
            ASSERT_TRUE(inside(i, &f.frame(10), sizeof(VLMRotationPart)) || inside(i, &f.limb(2), sizeof(VLMLimb)))
                << "byte " << i;
        }
    }
    for (int k : {0, 1, 3})
        EXPECT_FALSE(VLMGetBoneInverted(f.get(), k));
}

TEST(Characterize, EntryPointsRestoreTheCallersControlWord)
{
    TestAllocator::reset();
    Figure f(oracle::Full(), 7);
    EXPECT_TRUE(RestoresCallerWord([&] { EXPECT_TRUE(VLMCharacterize(f.get())); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetBoneInverted(f.get(), 1, true); }));
    EXPECT_TRUE(RestoresCallerWord([&] { EXPECT_TRUE(VLMGetBoneInverted(f.get(), 1)); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetBoneInverted(f.get(), 7, true); }));
    EXPECT_TRUE(RestoresCallerWord([&] { EXPECT_FALSE(VLMCharacterize(nullptr)); }));

    // The results do not depend on the caller's word.
    Figure g(oracle::Full(), 7);
    ASSERT_TRUE(VLMCharacterize(g.get()));
    VLMSetBoneInverted(g.get(), 1, true);
    EXPECT_EQ(f.bytes(), g.bytes());
}

} // namespace
