// Skeleton, effector and floor-contact geometry over characterized sample figures.
#include "view3d/skeleton_display_geometry.h"

#include "rig/solver/vlm_effector_matrix.h"
#include "rig/solver/vlm_runtime_entries.h"
#include "rig/vlm_property.h"

#include "posed_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

using namespace VLMDrawObjectNS;

namespace {

// Every index of the line and triangle objects; every coordinate finite.
std::vector<std::uint32_t> Indices(const GeometryStore& store)
{
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < store.ObjectCount(); ++i)
        if (const auto* l = dynamic_cast<const LinesObject*>(store.Object(i)))
            for (std::size_t k = 0; k < l->PairCount(); ++k)
                out.insert(out.end(), l->Line(k).begin(), l->Line(k).end());
        else if (const auto* t = dynamic_cast<const TrianglesObject*>(store.Object(i)))
            for (std::size_t k = 0; k < t->TriangleCount(); ++k)
                out.insert(out.end(), t->Triangle(k).begin(), t->Triangle(k).end());
    return out;
}

bool AllFinite(const GeometryStore& store)
{
    for (std::size_t i = 0; i < store.VertexCount(); ++i)
        if (!std::isfinite(store.Vertex(i)[0] + store.Vertex(i)[1] + store.Vertex(i)[2]))
            return false;
    for (std::size_t i = 0; i < store.ObjectCount(); ++i)
        if (const auto* s = dynamic_cast<const SphereObject*>(store.Object(i)))
            if (!std::isfinite(s->radius + s->centre[0] + s->centre[1] + s->centre[2]))
                return false;
    return true;
}

float Distance(const float* a, const float* b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

fixtures::Proportions Figure(int nodes, float height = 177.0f)
{
    fixtures::Proportions p = nodes == 16 ? fixtures::Minimal() : fixtures::Full();
    p.height = height;
    return p;
}

SkeletonDisplaySettings Flags(int flags, int shape = 0)
{
    SkeletonDisplaySettings s;
    s.buildFlags = flags;
    s.boneShape = shape;
    return s;
}

TEST(SkeletonGeometry, CountsPerBoneShape)
{
    struct Case {
        int nodes, shape;
        std::size_t vertices, objects, indices;
    } const cases[] = {
        // Hips's subtree only: 170 joints and 169 bones, 15 and 14 for the required body.
        {172, 0, 1356, 849, 5076},
        {172, 1, 1 + 3 * 170 + 9 * 169, 4 * 170 + 169, 6 * 170 + 24 * 169},
        {172, 2, 1 + 3 * 170 + 169, 4 * 170, 6 * 170},
        {16, 1, 1 + 3 * 15 + 9 * 14, 4 * 15 + 14, 6 * 15 + 24 * 14},
    };
    for (const Case& c : cases) {
        const posed::Rig rig = posed::Make(Figure(c.nodes), posed::Limits::Mixed);
        rig.WriteTPose();
        SkeletonDisplayGeometry g;
        ASSERT_TRUE(g.Init(Flags(7, c.shape), rig.c(), rig.s()));
        const GeometryStore& store = g.SkeletonStore();
        EXPECT_EQ(std::make_tuple(store.VertexCount(), store.ObjectCount(), Indices(store).size()),
                  std::make_tuple(c.vertices, c.objects, c.indices))
            << c.nodes << " nodes, shape " << c.shape;
    }
}

// The left forearm limited (twist x, swings y and z) against the figure without limits.
TEST(SkeletonGeometry, RotationLimitShapes)
{
    const float d = posed::kDeg;
    struct Case {
        const char* what;
        int node;
        std::uint32_t mask, order;
        float lower[3], upper[3];
        std::size_t objects, vertices;  // added by the limits
        int twistObjects;               // of the added objects, twist ones (second id 0)
    } const cases[] = {
        // k = int(32 x 60 / 360 + 0.5) = 5 segments: centre, 6 arc points, marker end.
        {"twist +-30", 10, 0x09, 0, {-30 * d, 0, 0}, {30 * d, 0, 0}, 2, 5 + 3, 2},
        {"locked twist", 10, 0x09, 0, {0, 0, 0}, {0, 0, 0}, 2, 1 + 3, 2},
        {"twist under half a segment", 10, 0x09, 0, {-2 * d, 0, 0}, {2 * d, 0, 0}, 2, 1 + 3, 2},
        // u and v over 60 degrees: 5 segments each way, two grids of 6 x 6.
        {"swing +-30", 10, 0x36, 0, {0, -30 * d, -30 * d}, {0, 30 * d, 30 * d}, 2, 2 * 6 * 6, 0},
        // u narrow (one step), v open over 180 degrees (16 segments).
        {"narrow swing", 10, 0x12, 0, {0, 0, 0}, {0, 5 * d, 0}, 2, 2 * 2 * 17, 0},
        {"twist and swing", 10, 0x3F, 0, {-30 * d, -30 * d, -30 * d}, {30 * d, 30 * d, 30 * d}, 4, 8 + 72, 2},
        // YZX keeps x's limits in component 2.
        {"order YZX", 10, 0x09, 4, {-90 * d, -90 * d, -30 * d}, {90 * d, 90 * d, 30 * d}, 2, 5 + 3, 2},
        {"spheric order", 10, 0x09, 12, {-30 * d, 0, 0}, {30 * d, 0, 0}, 2, 5 + 3, 2},
        // XYX names no z: a z limit has no value and counts as disabled.
        {"axis without component", 10, 0x24, 1, {0, 0, -30 * d}, {0, 0, 30 * d}, 0, 0, 0},
        {"order beyond the table", 10, 0x3F, 13, {-30 * d, -30 * d, -30 * d}, {30 * d, 30 * d, 30 * d}, 0, 0, 0},
        {"Hips has no parent frame", 1, 0x3F, 0, {-30 * d, -30 * d, -30 * d}, {30 * d, 30 * d, 30 * d}, 0, 0, 0},
    };
    const posed::Rig plain = posed::Make(Figure(16), posed::Limits::None);
    plain.WriteTPose();
    SkeletonDisplayGeometry base;
    ASSERT_TRUE(base.Init(Flags(15), plain.c(), plain.s()));
    const float identity[4] = {0, 0, 0, 1};
    for (const Case& c : cases) {
        const posed::Rig rig = posed::Make(Figure(16), posed::Limits::None);
        VLMSetNodeRotationDefinition(rig.c(), c.node, c.lower, c.upper, identity, identity, c.mask, c.order);
        if (c.order >= 13)  // the setter refuses such a code; a stream or a host record may carry one
            VLMCharacterRotationRecords(rig.c())[VLMCharacterNodeRecord(rig.c(), c.node)->rotationIndex]
                .part.rotationOrder = c.order;
        rig.WriteTPose();
        SkeletonDisplayGeometry g;
        ASSERT_TRUE(g.Init(Flags(15), rig.c(), rig.s()));
        const GeometryStore& store = g.SkeletonStore();
        EXPECT_EQ(store.ObjectCount() - base.SkeletonStore().ObjectCount(), c.objects) << c.what;
        EXPECT_EQ(store.VertexCount() - base.SkeletonStore().VertexCount(), c.vertices) << c.what;
        EXPECT_TRUE(AllFinite(store)) << c.what;
        int twist = 0, swing = 0;
        for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
            const BaseObject* o = store.Object(i);
            if (o->partKind != DRAW_PART_ROTATION_LIMIT)
                continue;
            EXPECT_EQ(o->nodeId, c.node) << c.what;
            // Twist in x's colour; grids in their inner axis's: z for id 1, y for id 2.
            const int channel = o->secondId == 0 ? 0 : (o->secondId == 1 ? 2 : 1);
            EXPECT_EQ(o->colour[channel], 1.0f) << c.what;
            EXPECT_FLOAT_EQ(o->colour[(channel + 1) % 3], 70.0f / 255.0f) << c.what;
            if (o->secondId == 0)
                ++twist;
            else
                EXPECT_EQ(o->secondId, ++swing) << c.what;
        }
        EXPECT_EQ(twist, c.twistObjects) << c.what;
    }
}

// Every vertex finite: a fresh state (all joints at the origin) and a bone
// exactly against its joint's X axis (no single shortest arc).
TEST(SkeletonGeometry, FiniteInDegeneratePoses)
{
    for (int shape = 0; shape < 2; ++shape) {
        const posed::Rig rig = posed::Make(Figure(VLM_NODE_COUNT), posed::Limits::Mixed);
        SkeletonDisplayGeometry g;
        ASSERT_TRUE(g.Init(Flags(15, shape), rig.c(), rig.s()));
        EXPECT_TRUE(AllFinite(g.SkeletonStore())) << "fresh state, shape " << shape;

        // The left forearm straight back along its parent's (the arm roll's) own X axis.
        rig.WriteTPose();
        float m[16];
        VLMReadNodeStateMatrix(rig.c(), rig.s(), 45, m);
        m[12] -= 10.0f;
        VLMWriteNodeStateMatrix(rig.c(), rig.s(), 10, m);
        ASSERT_TRUE(g.Init(Flags(15, shape), rig.c(), rig.s()));
        EXPECT_TRUE(AllFinite(g.SkeletonStore())) << "bone against X, shape " << shape;
        std::size_t limits = 0;
        for (std::size_t i = 0; i < g.SkeletonStore().ObjectCount(); ++i)
            limits += g.SkeletonStore().Object(i)->partKind == DRAW_PART_ROTATION_LIMIT;
        EXPECT_GT(limits, 100u) << "the mixed limits must reach the view";
    }
}

// H = 1.28: sizes 0.02, 0.02, 0.128, 0.08 capped by 0.1 x the bone, 0.2, 0.6, 0.4 x the local size.
TEST(SkeletonGeometry, SizesFollowTheHeight)
{
    // The rest pose's head stands 63.6 above its hips at the height 177.
    const posed::Rig rig = posed::Make(Figure(16, 177.0f * 1.28f / 63.6f), posed::Limits::All30Deg);
    rig.WriteTPose();
    SkeletonDisplayGeometry g;
    ASSERT_TRUE(g.Init(Flags(15), rig.c(), rig.s()));
    EXPECT_NEAR(g.Height(), 1.28f, 1e-5f);

    std::vector<std::array<float, 3>> at(VLM_NODE_COUNT);
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        float m[16];
        VLMReadNodeStateMatrix(rig.c(), rig.s(), id, m);
        at[id] = {m[12], m[13], m[14]};
    }
    // The local size: the nearest child or parent (not the reference node).
    auto local = [&](int id) {
        float best = INFINITY;
        for (int i = 0; i < VLMGetChildNodeCount(rig.c(), id); ++i)
            best = std::min(best, Distance(at[id].data(), at[VLMGetChildNodeId(rig.c(), id, i)].data()));
        const int parent = VLMGetParentNodeId(rig.c(), id);
        return parent > 0 ? std::min(best, Distance(at[id].data(), at[parent].data())) : best;
    };
    const GeometryStore& store = g.SkeletonStore();
    int checked[7] = {};
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const BaseObject* o = store.Object(i);
        const auto* lines = dynamic_cast<const LinesObject*>(o);
        const float* j = at[o->nodeId].data();
        float expected = 0.0f, actual = 0.0f;
        if (o->partKind == DRAW_PART_JOINT_SPHERE) {
            actual = static_cast<const SphereObject*>(o)->radius;
            expected = std::min(0.02f, 0.2f * local(o->nodeId));
        } else if (o->partKind == DRAW_PART_JOINT_AXIS) {
            actual = Distance(store.Vertex(lines->Line(0)[0]), store.Vertex(lines->Line(0)[1]));
            expected = std::min(0.128f, 0.6f * local(o->nodeId));
        } else if (o->partKind == DRAW_PART_BONE) {
            // Lines 8-11 are the ring edges, each from corner k: corners 0 and 2 are opposite.
            actual = 0.5f * Distance(store.Vertex(lines->Line(8)[0]), store.Vertex(lines->Line(10)[0]));
            expected = std::sqrt(2.0f) * std::min(0.02f, 0.1f * Distance(j, at[o->secondId].data()));
        } else if (o->partKind == DRAW_PART_ROTATION_LIMIT && o->secondId > 0) {
            actual = Distance(store.Vertex(lines->Line(0)[0]), j);
            expected = std::min(0.08f, 0.4f * local(o->nodeId));
        } else {
            continue;
        }
        EXPECT_NEAR(actual, expected, 1e-5f) << "kind " << o->partKind << ", node " << o->nodeId;
        ++checked[o->partKind];
    }
    EXPECT_EQ(checked[DRAW_PART_JOINT_SPHERE] + checked[DRAW_PART_BONE] + checked[DRAW_PART_ROTATION_LIMIT],
              15 + 14 + 2 * 14);
}

struct Snapshot {
    // boxes: the store's, then each object's box and colour (spheres: centre and radius too)
    std::vector<float> vertices, boxes;
    std::vector<const BaseObject*> objects;
    std::vector<std::uint32_t> indices;

    explicit Snapshot(const GeometryStore& store) : indices(Indices(store))
    {
        auto add = [](std::vector<float>& to, const float* from, int n) { to.insert(to.end(), from, from + n); };
        for (std::size_t i = 0; i < store.VertexCount(); ++i)
            add(vertices, store.Vertex(i), 3);
        add(boxes, store.Box().min, 3);
        add(boxes, store.Box().max, 3);
        for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
            const BaseObject* o = store.Object(i);
            objects.push_back(o);
            add(boxes, o->boxMin, 3);
            add(boxes, o->boxMax, 3);
            add(boxes, o->colour, 4);
            if (const auto* sphere = dynamic_cast<const SphereObject*>(o)) {
                add(boxes, sphere->centre, 3);
                boxes.push_back(sphere->radius);
            }
        }
    }
};

// Bent poses: joints turned by hand, then poses sampled within the limits.
TEST(SkeletonGeometry, UpdateEqualsAFreshBuild)
{
    const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    for (int shape = 0; shape < 2; ++shape) {
        const posed::Rig rig = posed::Make(Figure(VLM_NODE_COUNT), posed::Limits::Mixed);
        rig.WriteTPose();
        SkeletonDisplayGeometry g;
        ASSERT_TRUE(g.Init(Flags(15, shape), rig.c(), rig.s()));
        const Snapshot before(g.SkeletonStore());
        std::mt19937 rng(5);
        for (int pose = 0; pose < 3; ++pose) {
            if (pose == 0)
                for (const auto& [id, axis, angle] :
                     {std::make_tuple(9, z, 0.7f), std::make_tuple(13, y, -1.1f), std::make_tuple(5, x, -0.5f),
                      std::make_tuple(8, y, 0.3f), std::make_tuple(3, x, 0.9f)})
                    rig.Bend(id, axis, angle);
            else
                fixtures::SamplePose(rig.c(), rig.s(), rng, fixtures::PoseOptions());
            ASSERT_TRUE(g.Update(nullptr));
            EXPECT_EQ(g.Mode(), 1);
            const Snapshot after(g.SkeletonStore());
            EXPECT_EQ(after.objects, before.objects) << "the same objects";
            EXPECT_EQ(after.indices, before.indices) << "the same indices";
            EXPECT_NE(after.vertices, before.vertices) << "the pose must move vertices";

            SkeletonDisplayGeometry fresh;
            ASSERT_TRUE(fresh.Init(Flags(15, shape), rig.c(), rig.s()));
            const Snapshot expected(fresh.SkeletonStore());
            EXPECT_EQ(after.vertices, expected.vertices) << "shape " << shape << ", pose " << pose;
            EXPECT_EQ(after.boxes, expected.boxes) << "shape " << shape << ", pose " << pose;

            // Through an outside buffer: the buffer and the own list both hold the pose.
            std::vector<float> buffer(expected.vertices.size(), -1.0f);
            ASSERT_TRUE(g.Update(buffer.data()));
            EXPECT_EQ(buffer, expected.vertices);
            EXPECT_EQ(g.SkeletonStore().OutsideVertices(), nullptr);
            ASSERT_TRUE(g.Update(nullptr)) << "no rebuild needed after a buffer";
            EXPECT_EQ(Snapshot(g.SkeletonStore()).vertices, expected.vertices);
        }
    }
}

// Poses that do not fit the build (a twist axis flipped by a moved joint,
// another character's pose) update in place; a store changed behind the
// geometry's back is left as it is.
TEST(SkeletonGeometry, UpdateKeepsTheBuildLayout)
{
    const float d = posed::kDeg;
    const float lower[3] = {-30 * d, 0, 0}, upper[3] = {30 * d, 0, 0}, identity[4] = {0, 0, 0, 1};
    const posed::Rig rig = posed::Make(Figure(VLM_NODE_COUNT), posed::Limits::None);
    VLMSetNodeRotationDefinition(rig.c(), 10, lower, upper, identity, identity, 0x09, 0);  // twist only
    rig.WriteTPose();
    SkeletonDisplayGeometry g;
    EXPECT_FALSE(g.Update(nullptr)) << "nothing built yet";
    EXPECT_FALSE(g.Init(Flags(15), rig.c(), nullptr));
    ASSERT_TRUE(g.Init(Flags(15), rig.c(), rig.s()));
    const Snapshot before(g.SkeletonStore());

    const float up[3] = {-26.0f, 40.0f, 0.0f};  // the forearm joint straight above the shoulder
    rig.Move(10, up);
    SkeletonDisplayGeometry flipped;
    ASSERT_TRUE(flipped.Init(Flags(15), rig.c(), rig.s()));
    EXPECT_NE(flipped.SkeletonStore().VertexCount(), before.vertices.size() / 3) << "the move must flip the axis";
    ASSERT_TRUE(g.Update(nullptr));
    EXPECT_TRUE(AllFinite(g.SkeletonStore()));
    EXPECT_EQ(Snapshot(g.SkeletonStore()).indices, before.indices);

    const posed::Rig other = posed::Make(Figure(16, 354.0f), posed::Limits::Mixed);
    for (int id = 0; id < 16; ++id) {
        float m[16];
        VLMGetNodeTPoseMatrix(other.c(), id, m);
        VLMWriteNodeStateMatrix(rig.c(), rig.s(), id, m);
    }
    ASSERT_TRUE(g.Update(nullptr));
    EXPECT_TRUE(AllFinite(g.SkeletonStore()));
    EXPECT_EQ(Snapshot(g.SkeletonStore()).objects, before.objects);

    g.SkeletonStore().Clear();
    const float p[3] = {1, 2, 3};
    g.SkeletonStore().AddVertex(p);
    EXPECT_FALSE(g.Update(nullptr));
    EXPECT_EQ(g.SkeletonStore().Vertex(0)[2], 3.0f);
}

// The full figure in its T-pose, its effectors with distinct lanes each.
struct World {
    posed::Rig rig = posed::Make(Figure(VLM_NODE_COUNT), posed::Limits::None);
    VLMEffectorSetStateHandle set = VLMAdopt<VLMEffectorSetStateHandle>(VLMCreateEffectorSetState(&std::malloc));
    VLMPropertySetState properties;

    World()
    {
        VLMPropertySetDefaults(&properties);
        rig.WriteTPose();
        Pose(0.0f);
    }
    void Pose(float phase)
    {
        VLMSetEffectorsFromPose(rig.c(), set.get(), rig.s(), &properties);
        for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id) {
            VLMSetEffectorReachT(set.get(), id, float(id % 5) / 4.0f);
            VLMSetEffectorReachR(set.get(), id, float(id % 3) / 2.0f + phase);
            VLMSetEffectorPull(set.get(), id, float(id) / 43.0f);
            VLMSetEffectorStiffness(set.get(), id, 1.0f - float(id % 7) / 6.0f);
        }
    }
    void Contacts(int feetMode, int handsMode, float type)
    {
        VLMSetPropertyMode(&properties, 31, std::uint32_t(feetMode));   // FloorContact
        VLMSetPropertyMode(&properties, 38, std::uint32_t(handsMode));  // HandFloorContact
        VLMSetPropertyValue(&properties, 48, type);                     // FootContactType
        VLMSetPropertyValue(&properties, 45, type);                     // HandContactType
    }
};

// A tripod and a sphere coloured by the lanes per effector; an update equals a fresh build.
TEST(EffectorGeometry, SpheresTakeTheLanes)
{
    World w;
    SkeletonDisplayGeometry g;
    ASSERT_TRUE(g.InitEffectors(3, -64.0f, -10.0f, w.rig.c(), w.set.get()));
    EXPECT_EQ(g.EffectorStore().VertexCount(), 4u * 44);
    ASSERT_EQ(g.EffectorStore().ObjectCount(), 4u * 44);
    for (std::size_t i = 3; i < g.EffectorStore().ObjectCount(); i += 4) {
        const BaseObject* o = g.EffectorStore().Object(i);
        const float lanes[4] = {
            VLMGetEffectorReachT(w.set.get(), o->nodeId), VLMGetEffectorReachR(w.set.get(), o->nodeId),
            VLMGetEffectorPull(w.set.get(), o->nodeId), VLMGetEffectorStiffness(w.set.get(), o->nodeId)};
        EXPECT_TRUE(std::equal(lanes, lanes + 4, o->colour)) << "effector " << o->nodeId;
    }
    const float z[3] = {0, 0, 1};
    w.rig.Bend(9, z, 0.7f);
    w.Pose(0.5f);
    ASSERT_TRUE(g.UpdateEffectors(nullptr));
    SkeletonDisplayGeometry fresh;
    ASSERT_TRUE(fresh.InitEffectors(3, -64.0f, -10.0f, w.rig.c(), w.set.get()));
    EXPECT_EQ(Snapshot(g.EffectorStore()).vertices, Snapshot(fresh.EffectorStore()).vertices);
    EXPECT_EQ(Snapshot(g.EffectorStore()).boxes, Snapshot(fresh.EffectorStore()).boxes) << "boxes and colours";
}

// Feet first, three objects each, unless the mode is 0; six outline points when
// the type rounds to 0 (ties to even), every one a point the query gives.
TEST(FloorContactGeometry, ModesAndContactTypes)
{
    struct Case {
        int feetMode, handsMode;
        float type;
        std::size_t objects;
        int points;
    } const cases[] = {
        {0, 0, 0.4f, 0, 0}, {1, 0, 0.4f, 6, 6}, {0, 2, 0.6f, 6, 4}, {1, 1, 0.5f, 12, 6}, {1, 1, 1.5f, 12, 4}};
    for (const Case& c : cases) {
        World w;
        w.Contacts(c.feetMode, c.handsMode, c.type);
        SkeletonDisplayGeometry g;
        ASSERT_TRUE(g.InitFloorContacts(w.rig.c(), w.rig.s(), w.set.get(), &w.properties));
        const GeometryStore& store = g.FloorContactStore();
        ASSERT_EQ(store.ObjectCount(), c.objects) << c.type;
        for (std::size_t k = 0; k < c.objects; k += 3) {
            const auto* outline = static_cast<const LinesObject*>(store.Object(k));
            EXPECT_EQ(outline->nodeId, int(k / 3) + (c.feetMode ? (k < 6 ? 2 : -2) : 0));
            EXPECT_EQ(outline->PairCount(), c.points == 6 ? 7u : 4u) << c.type;
            for (int i = 0; i < c.points; ++i) {
                float want[4];
                ASSERT_TRUE(VLMGetContactPoint(w.rig.c(), w.rig.s(), &w.properties, outline->nodeId, i, want));
                EXPECT_EQ(Distance(store.Vertex(outline->Line(0)[1] + i), want), 0.0f) << c.type << ", " << i;
            }
        }
    }
}

// A six-point outline keeps its two front points where they were (in the
// outside buffer too, not at the origin) after the type asks for four.
TEST(FloorContactGeometry, UpdateKeepsTheBuiltOutline)
{
    World w;
    w.Contacts(1, 1, 0.4f);
    SkeletonDisplayGeometry g;
    EXPECT_FALSE(g.UpdateFloorContacts(nullptr)) << "nothing built yet";
    EXPECT_FALSE(g.InitFloorContacts(w.rig.c(), w.rig.s(), w.set.get(), nullptr));
    ASSERT_TRUE(g.InitFloorContacts(w.rig.c(), w.rig.s(), w.set.get(), &w.properties));
    const Snapshot six(g.FloorContactStore());
    const float x[3] = {1, 0, 0};
    w.rig.Bend(2, x, 0.6f);
    w.Contacts(1, 1, 0.6f);
    std::vector<float> buffer(six.vertices.size(), -1.0f);
    ASSERT_TRUE(g.UpdateFloorContacts(buffer.data()));
    const Snapshot four(g.FloorContactStore());
    EXPECT_EQ(four.indices, six.indices);
    EXPECT_EQ(buffer, four.vertices);
    for (int k = 0; k < 4; ++k) {  // twelve vertices per extremity, the outline first
        for (int i = 0; i < 6; ++i) {
            float want[4];
            const int e = g.FloorContactStore().Object(3 * k)->nodeId;
            const bool given = VLMGetContactPoint(w.rig.c(), w.rig.s(), &w.properties, e, i, want);
            EXPECT_EQ(given, i < 4);
            const std::size_t at = 3 * (12 * k + i);
            EXPECT_EQ(Distance(&four.vertices[at], given ? want : &six.vertices[at]), 0.0f) << e << ", " << i;
        }
    }
    EXPECT_NE(four.vertices, six.vertices) << "the bend must move the left foot";
    g.FloorContactStore().Clear();
    EXPECT_FALSE(g.UpdateFloorContacts(nullptr)) << "a store changed behind the geometry's back";
}

}  // namespace
