#include "view3d/skeleton_display_geometry.h"

#include "rig/solver/vlm_effector_matrix.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_runtime_entries.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_property.h"

#include <cfloat>
#include <cmath>
#include <memory>

using namespace ViewMath;
using VLMDrawObjectNS::BaseObject;
using VLMDrawObjectNS::LinesObject;
using VLMDrawObjectNS::SphereObject;
using VLMDrawObjectNS::TrianglesObject;

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kNarrowRange = 0.17453294f;  // 10 degrees
constexpr float kNarrowHalf = 0.08726647f;   // 5 degrees
constexpr float kLimitShade = 70.0f / 255.0f;

const float kAxisColour[3][4] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}};
const float kLimitColour[3][4] = {
    {1, kLimitShade, kLimitShade, 1}, {kLimitShade, 1, kLimitShade, 1}, {kLimitShade, kLimitShade, 1, 1}};

// Position of each frame axis's letter in a rotation order, -1 when the order
// does not name it. The spheric order keeps x, y, z in place.
const int kOrderComponent[13][3] = {{0, 1, 2},  {0, 1, -1}, {0, 2, 1},  {0, -1, 1}, {2, 0, 1},  {-1, 0, 1}, {1, 0, 2},
                                    {1, 0, -1}, {1, 2, 0},  {1, -1, 0}, {2, 1, 0},  {-1, 1, 0}, {0, 1, 2}};

Vec4 UnitAxis(int i)
{
    Vec4 a{{0, 0, 0, 0}};
    a[i] = 1.0f;
    return a;
}

float Length3(const Vec4& a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

// The direction of a (w dropped), or the fallback when a is too short (or not
// finite) to give one.
Vec4 UnitOr(const Vec4& a, const Vec4& fallback)
{
    const float lengthSquared = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
    if (!(lengthSquared >= FLT_MIN && lengthSquared <= FLT_MAX))  // NaN fails both
        return fallback;
    const float r = 1.0f / std::sqrt(lengthSquared);
    return {{a[0] * r, a[1] * r, a[2] * r, 0.0f}};
}

// Turns v (a direction) by the unit quaternion q.
inline Vec4 Rotate(const Quat& q, const Vec4& v)
{
    const Vec4 u{{q[0], q[1], q[2], 0.0f}};
    const float w = q[3];
    const Vec4 a = Scale(2.0f * Dot(u, v), u);
    const Vec4 b = Scale(2.0f * w * w - 1.0f, v);
    const Vec4 c = Scale(2.0f * w, Cross(u, v));
    return {{a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2], 0.0f}};
}

Vec4 RotateAbout(const Vec4& axis, float angle, const Vec4& v) { return Rotate(AxisAngleQuat(angle, axis), v); }

// The shortest rotation that takes the unit vector a onto the unit vector b.
// Opposite vectors have no single shortest rotation: any half turn about an
// axis perpendicular to a does, so one is picked instead of the NaN that the
// normalised product would give.
Quat ShortestArc(const Vec4& a, const Vec4& b)
{
    const float w = 1.0f + Dot(a, b);
    if (w <= 1e-6f) {
        Vec4 axis = Cross(a, UnitAxis(0));
        if (LengthSquared(axis) < 1e-6f)
            axis = Cross(a, UnitAxis(1));
        axis = UnitOr(axis, UnitAxis(2));
        return {{axis[0], axis[1], axis[2], 0.0f}};
    }
    const Vec4 c = Cross(a, b);
    const Quat q{{c[0], c[1], c[2], w}};
    return Scale(q, 1.0f / std::sqrt(LengthSquared(q)));
}

Quat UnitQuat(const Quat& q)
{
    const float n = LengthSquared(q);
    if (!(n >= FLT_MIN && n <= FLT_MAX))
        return {{0, 0, 0, 1}};
    return Scale(q, 1.0f / std::sqrt(n));
}

// Head.y - Hips.y of the T-pose, with its sign, and the frame axis nearest to
// the line from the hips to the head.
float CharacterHeight(const VLMCharacter* character, int* upAxis)
{
    float hips[4], head[4], q[4], s[4];
    VLMGetNodeTPose(character, 1, hips, q, s);
    VLMGetNodeTPose(character, 15, head, q, s);
    const float dx = std::fabs(head[0] - hips[0]), dy = std::fabs(head[1] - hips[1]), dz = std::fabs(head[2] - hips[2]);
    *upAxis = dx > dy && dx > dz ? 0 : (dx <= dy && dy > dz ? 1 : 2);
    return head[1] - hips[1];
}

// Rounds a sweep's segment count to the nearest whole number, at least one.
int SegmentCount(int perTurn, float range)
{
    const float k = static_cast<float>(perTurn) * range / kTwoPi + 0.5f;
    if (!(k >= 1.0f))
        return 1;
    return static_cast<int>(k);
}

// The range of one frame axis. False when neither of its limits is enabled
// (the range is then [boundLo, boundHi]). A limit that is NaN is ignored.
bool AxisRange(int k, const int* component, const float* lower, const float* upper, std::uint32_t mask, float boundLo,
               float boundHi, float& lo, float& hi)
{
    const int c = component ? component[k] : -1;
    const bool lowOn = c >= 0 && ((mask >> k) & 1u) != 0;
    const bool highOn = c >= 0 && ((mask >> (3 + k)) & 1u) != 0;
    lo = lowOn && lower[c] > boundLo ? lower[c] : boundLo;
    hi = highOn && upper[c] < boundHi ? upper[c] : boundHi;
    hi = hi > lo ? hi : lo;
    return lowOn || highOn;
}

// Widens a swing range under 10 degrees to 10 degrees about its middle.
bool Narrowed(float& lo, float& hi)
{
    if (!(hi - lo < kNarrowRange))
        return false;
    const float mid = (lo + hi) * 0.5f;
    lo = mid - kNarrowHalf;
    hi = mid + kNarrowHalf;
    return true;
}

}  // namespace

SkeletonDisplayGeometry::SkeletonDisplayGeometry() = default;
SkeletonDisplayGeometry::~SkeletonDisplayGeometry() = default;

// --- Frames ---------------------------------------------------------------------------------------

namespace {

// The three axes of a frame.
using Axes = std::array<Vec4, 3>;

// The matrix's axes without their scale.
Axes AxesOf(const Mat4& m)
{
    Axes f;
    for (int i = 0; i < 3; ++i)
        f[i] = UnitOr(Vec4{{m[4 * i], m[4 * i + 1], m[4 * i + 2], 0.0f}}, UnitAxis(i));
    return f;
}

// The frame turned by q in its own local space: axis i becomes the sum over j
// of R(j, i) x axis j, R the rotation matrix of q.
Axes Turned(const Axes& f, const Quat& q)
{
    const Mat4 r = QuatToMatrix(UnitQuat(q));
    Axes t;
    for (int i = 0; i < 3; ++i) {
        Vec4 sum{{0, 0, 0, 0}};
        for (int j = 0; j < 3; ++j)
            AddInPlace(sum, Scale(r.At(j, i), f[j]));
        t[i] = sum;
    }
    return t;
}

}  // namespace

Vec4 SkeletonDisplayGeometry::Position(int slot) const
{
    const Mat4& m = pose_[slot];
    return {{m[12], m[13], m[14], 1.0f}};
}

// --- Build and rewrite primitives -----------------------------------------------------------------

inline std::uint32_t SkeletonDisplayGeometry::EmitVertex(GeometryStore& store, const Vec4& p, BaseObject* object)
{
    if (failed_)
        return 0;
    std::uint32_t index = 0;
    if (mode_ == 0) {
        index = store.AddVertex(p.v);
    } else if (!store.RewriteVertex(p.v, &index)) {
        failed_ = true;
        return 0;
    }
    if (object)
        object->ExtendBox(p.v);
    return index;
}

std::uint32_t SkeletonDisplayGeometry::EmitKeptVertex(GeometryStore& store, const Vec4& p, BaseObject* object)
{
    if (mode_ == 0)
        return EmitVertex(store, p, object);
    if (failed_)
        return 0;
    std::uint32_t index = 0;
    if (!store.KeepVertex(&index)) {
        failed_ = true;
        return 0;
    }
    if (object)
        object->ExtendBox(store.Vertex(index));
    return index;
}

template <typename T>
inline T* SkeletonDisplayGeometry::EmitObject(GeometryStore& store, int kind, int nodeId, int secondId,
                                              const float* colour)
{
    if (failed_)
        return nullptr;
    if (mode_ == 0) {
        auto object = std::make_unique<T>();
        object->partKind = kind;
        object->nodeId = nodeId;
        object->secondId = secondId;
        if (colour) {
            for (int i = 0; i < 4; ++i)
                object->colour[i] = colour[i];
        }
        return store.AddObject(std::move(object));
    }
    BaseObject* next = store.NextObject();
    if (!next || next->PrimitiveType() != T::kType || next->partKind != kind || next->nodeId != nodeId ||
        next->secondId != secondId) {
        failed_ = true;
        return nullptr;
    }
    return static_cast<T*>(next);
}

inline void SkeletonDisplayGeometry::EmitLine(LinesObject* object, std::uint32_t a, std::uint32_t b)
{
    if (mode_ == 0)
        object->AddLine(a, b);
}

// --- Init and Update ------------------------------------------------------------------------------

bool SkeletonDisplayGeometry::Init(const SkeletonDisplaySettings& settings, VLMCharacter* character,
                                   VLMCharacterState* state)
{
    mode_ = 0;
    settings_ = settings;
    character_ = character;
    state_ = state;
    skeleton_.Clear();
    plan_.clear();
    childSlots_.clear();
    pose_.clear();
    vertexOf_.clear();
    builtVertexCount_ = builtObjectCount_ = 0;
    if (!character || !state)
        return false;

    int up = 1;
    height_ = CharacterHeight(character, &up);
    for (int i = 0; i < 3; ++i)
        upAxis_[i] = i == up ? 1.0f : 0.0f;

    // Negative sizes are divisors of the height, which keeps its sign.
    float* sizes[] = {&settings_.boneHalfWidth, &settings_.jointSphereRadius, &settings_.jointAxisLength,
                      &settings_.limits.twistArcRadius, &settings_.limits.swingSphereRadius};
    for (float* size : sizes) {
        if (*size < 0.0f)
            *size = height_ / std::fabs(*size);
    }

    PlanSkeleton();
    const bool built = Rebuild();
    builtVertexCount_ = skeleton_.VertexCount();
    builtObjectCount_ = skeleton_.ObjectCount();
    return built;
}

bool SkeletonDisplayGeometry::Update(float* outsideVertices)
{
    if (!character_ || !state_ || plan_.empty())
        return false;
    // A store changed since the build (cleared, rebuilt elsewhere) no longer
    // matches the replay: leave it as it is.
    if (skeleton_.OutsideVertices() || skeleton_.VertexCount() != builtVertexCount_ ||
        skeleton_.ObjectCount() != builtObjectCount_)
        return false;
    mode_ = 1;
    if (outsideVertices)
        skeleton_.UseOutsideVertices(outsideVertices);
    skeleton_.ResetWriteCounters();
    skeleton_.ResetBoxes();
    const bool rewritten = Rebuild() && skeleton_.VertexWriteCounter() == builtVertexCount_ &&
                           skeleton_.ObjectWriteCounter() == builtObjectCount_;
    if (outsideVertices)
        skeleton_.DetachOutsideVertices();
    return rewritten;
}

bool SkeletonDisplayGeometry::UseState(VLMCharacterState* state)
{
    if (!state || !character_ || VLMGetCharacterStateSizeFromState(state) != VLMGetCharacterStateSize(character_))
        return false;
    state_ = state;
    return true;
}

// --- The plan -------------------------------------------------------------------------------------

void SkeletonDisplayGeometry::PlanSkeleton()
{
    // Depth first from the children of the reference node, children in child
    // order. A node is visited once, whatever the tree says.
    struct Pending {
        int id;
        int parent;
    };
    std::vector<Pending> stack;
    bool visited[VLM_NODE_COUNT] = {};
    const int rootChildren = VLMGetChildNodeCount(character_, 0);
    for (int i = rootChildren - 1; i >= 0; --i)
        stack.push_back({VLMGetChildNodeId(character_, 0, i), -1});
    while (!stack.empty()) {
        const Pending next = stack.back();
        stack.pop_back();
        if (next.id <= 0 || next.id >= VLM_NODE_COUNT || visited[next.id])
            continue;
        visited[next.id] = true;
        const int slot = static_cast<int>(plan_.size());
        NodePlan node;
        node.id = next.id;
        node.parent = next.parent;
        plan_.push_back(node);
        const int count = VLMGetChildNodeCount(character_, next.id);
        for (int i = count - 1; i >= 0; --i)
            stack.push_back({VLMGetChildNodeId(character_, next.id, i), slot});
    }

    // Children as plan slots: pre-order puts them in child order.
    const int n = static_cast<int>(plan_.size());
    std::vector<int> counts(n, 0);
    for (const NodePlan& node : plan_) {
        if (node.parent >= 0)
            ++counts[node.parent];
    }
    int first = 0;
    for (int slot = 0; slot < n; ++slot) {
        plan_[slot].firstChild = first;
        first += counts[slot];
        counts[slot] = 0;
    }
    childSlots_.assign(first, 0);
    for (int slot = 0; slot < n; ++slot) {
        const int parent = plan_[slot].parent;
        if (parent >= 0)
            childSlots_[plan_[parent].firstChild + plan_[parent].childCount++] = slot;
    }

    pose_.assign(n, Identity());
    axes_.assign(n, Axes());
    boneLength_.assign(n, -1.0f);
    boneDirection_.assign(n, Vec4{{1, 0, 0, 0}});
    vertexOf_.assign(n, 0);
    ReadPose();

    for (int slot = 0; slot < n; ++slot) {
        NodePlan& node = plan_[slot];
        // A node without a rotation record leaves every output as it was.
        float lower[3] = {0, 0, 0}, upper[3] = {0, 0, 0};
        float pre[4] = {0, 0, 0, 1}, post[4] = {0, 0, 0, 1};
        std::uint32_t mask = 0, order = 0;
        VLMGetNodeRotationDefinition(character_, node.id, lower, upper, pre, post, &mask, &order);
        node.pre = {{pre[0], pre[1], pre[2], pre[3]}};
        node.post = {{post[0], post[1], post[2], post[3]}};
        node.limited = (mask & 63u) != 0;
        if (node.parent >= 0)
            node.limits = PlanLimits(slot, lower, upper, mask, order);
    }
}

SkeletonDisplayGeometry::LimitPlan SkeletonDisplayGeometry::PlanLimits(int slot, const float* lower, const float* upper,
                                                                       std::uint32_t mask, std::uint32_t order) const
{
    LimitPlan plan;
    const int* component = order < 13 ? kOrderComponent[order] : nullptr;
    if (!component || (mask & 63u) == 0)
        return plan;
    const NodePlan& node = plan_[slot];

    // The twist axis: the axis of the parent frame (with the pre-rotation)
    // most aligned with the bone as the build pose has it.
    const Axes f = Turned(axes_[node.parent], node.pre);
    const Vec4 d = UnitOr(Subtract(Position(slot), Position(node.parent)), axes_[slot][0]);
    const float x = std::fabs(Dot(f[0], d)), y = std::fabs(Dot(f[1], d)), z = std::fabs(Dot(f[2], d));
    if (x <= y)
        plan.a = y <= z ? 2 : 1;
    else
        plan.a = x <= z ? 2 : 0;
    plan.sign = Dot(f[plan.a], d) < 0.0f ? -1.0f : 1.0f;

    // Of the other two, the swing axis u is the one nearer the up axis in the
    // T-pose.
    Mat4 tpose;
    VLMGetNodeTPoseMatrix(character_, node.id, tpose.m);
    const Axes t = AxesOf(tpose);
    const Vec4 up{{upAxis_[0], upAxis_[1], upAxis_[2], 0.0f}};
    const int b1 = (plan.a + 1) % 3, b2 = (plan.a + 2) % 3;
    if (std::fabs(Dot(t[b1], up)) > std::fabs(Dot(t[b2], up))) {
        plan.u = b1;
        plan.v = b2;
    } else {
        plan.u = b2;
        plan.v = b1;
    }

    const SkeletonRotationLimitSettings& ls = settings_.limits;
    plan.twist = AxisRange(plan.a, component, lower, upper, mask, -kPi, kPi, plan.twistLo, plan.twistHi);
    plan.twistSegments = SegmentCount(ls.twistSegments, plan.twistHi - plan.twistLo);

    const bool uOn = AxisRange(plan.u, component, lower, upper, mask, -kPi, kPi, plan.uLo, plan.uHi);
    const bool vOn = AxisRange(plan.v, component, lower, upper, mask, -kHalfPi, kHalfPi, plan.vLo, plan.vHi);
    plan.swing = uOn || vOn;
    const bool uNarrow = Narrowed(plan.uLo, plan.uHi);
    const bool vNarrow = Narrowed(plan.vLo, plan.vHi);
    plan.gridOuterU = uNarrow ? 1 : SegmentCount(ls.swingOuterSegments, plan.uHi - plan.uLo);
    plan.gridInnerU = uNarrow ? 1 : SegmentCount(ls.swingInnerSegments, plan.uHi - plan.uLo);
    plan.gridOuterV = vNarrow ? 1 : SegmentCount(ls.swingOuterSegments, plan.vHi - plan.vLo);
    plan.gridInnerV = vNarrow ? 1 : SegmentCount(ls.swingInnerSegments, plan.vHi - plan.vLo);
    return plan;
}

// Reads every joint's matrix, then takes its axes and the length of its bone
// once for all the shapes that use them.
void SkeletonDisplayGeometry::ReadPose()
{
    for (std::size_t slot = 0; slot < plan_.size(); ++slot) {
        VLMReadNodeStateMatrix(character_, state_, plan_[slot].id, pose_[slot].m);
        axes_[slot] = AxesOf(pose_[slot]);
        const int parent = plan_[slot].parent;
        if (parent < 0) {
            boneLength_[slot] = -1.0f;
            continue;
        }
        // A bone of zero length points along its parent joint's own X axis.
        const Vec4 bone = Subtract(Position(int(slot)), Position(parent));
        boneLength_[slot] = Length3(bone);
        boneDirection_[slot] = UnitOr(bone, axes_[parent][0]);
    }
}

// --- The traversal --------------------------------------------------------------------------------

// One pass in build order. Pre-order over the plan is the order of the
// depth-first build: each joint's vertex and the bone from its parent come
// right before the joint's own parts, and its children's subtrees follow.
bool SkeletonDisplayGeometry::Rebuild()
{
    failed_ = false;
    ReadPose();
    for (int slot = 0; slot < static_cast<int>(plan_.size()); ++slot) {
        vertexOf_[slot] = EmitVertex(skeleton_, Position(slot), nullptr);
        const int parent = plan_[slot].parent;
        if (parent >= 0 && (settings_.buildFlags & SKELETON_BUILD_BONES))
            BuildBone(parent, slot);
        BuildNode(slot);
        if (failed_)
            return false;
    }
    return true;
}

void SkeletonDisplayGeometry::BuildNode(int slot)
{
    const NodePlan& node = plan_[slot];
    // The local size: the nearest child, or the parent when nearer; a leaf
    // takes the distance to its parent, and a lone joint 1.
    bool found = false;
    float local = 0.0f;
    for (int i = 0; i < node.childCount; ++i) {
        const float d = boneLength_[childSlots_[node.firstChild + i]];
        if (!found || d < local)
            local = d;
        found = true;
    }
    if (node.parent >= 0) {
        const float d = boneLength_[slot];
        if (!found || d < local)
            local = d;
        found = true;
    }
    if (!found)
        local = 1.0f;

    const int flags = settings_.buildFlags;
    if (flags & SKELETON_BUILD_JOINT_AXES)
        BuildJointAxes(slot, settings_.JointAxisLength(local));
    if (flags & SKELETON_BUILD_JOINT_SPHERES) {
        SphereObject* sphere = EmitObject<SphereObject>(skeleton_, DRAW_PART_JOINT_SPHERE, node.id, -1, nullptr);
        if (!sphere)
            return;
        FillSphere(skeleton_, sphere, Position(slot), settings_.JointSphereRadius(local));
    }
    if ((flags & SKELETON_BUILD_ROTATION_LIMITS) && node.parent >= 0)
        BuildRotationLimits(slot, local);
}

void SkeletonDisplayGeometry::BuildJointAxes(int slot, float length)
{
    const NodePlan& node = plan_[slot];
    const Axes f = node.limited ? Turned(axes_[slot], node.post) : axes_[slot];
    BuildTripod(skeleton_, Position(slot), vertexOf_[slot], f, length, DRAW_PART_JOINT_AXIS, node.id);
}

void SkeletonDisplayGeometry::BuildTripod(GeometryStore& store, const Vec4& origin, std::uint32_t originIndex,
                                          const Axes& axes, float length, int kind, int id)
{
    Vec4 ends[3];
    std::uint32_t endIndex[3];
    for (int i = 0; i < 3; ++i) {
        ends[i] = Add(origin, Scale(length, axes[i]));
        endIndex[i] = EmitVertex(store, ends[i], nullptr);
    }
    for (int i = 0; i < 3; ++i) {
        LinesObject* axis = EmitObject<LinesObject>(store, kind, id, i, kAxisColour[i]);
        if (!axis)
            return;
        EmitLine(axis, originIndex, endIndex[i]);
        axis->ExtendBox(origin.v);
        axis->ExtendBox(ends[i].v);
    }
}

// A sphere's box, and the store's, hold the cube around it.
void SkeletonDisplayGeometry::FillSphere(GeometryStore& store, SphereObject* sphere, const Vec4& centre, float radius)
{
    for (int i = 0; i < 3; ++i)
        sphere->centre[i] = centre[i];
    sphere->radius = radius;
    const float r = std::fabs(radius);
    const float low[3] = {centre[0] - r, centre[1] - r, centre[2] - r};
    const float high[3] = {centre[0] + r, centre[1] + r, centre[2] + r};
    for (const float* p : {low, high}) {
        sphere->ExtendBox(p);
        store.ExtendBox(p);
    }
}

void SkeletonDisplayGeometry::BuildBone(int parentSlot, int slot)
{
    const int shape = settings_.boneShape;
    if (shape != 0 && shape != 1)
        return;
    const Vec4 j = Position(parentSlot), child = Position(slot);
    const float length = boneLength_[slot];
    const Axes& n = axes_[parentSlot];
    const Vec4& u = boneDirection_[slot];
    const float w = settings_.BoneHalfWidth(length);

    LinesObject* bone =
        EmitObject<LinesObject>(skeleton_, DRAW_PART_BONE, plan_[parentSlot].id, plan_[slot].id, nullptr);
    if (!bone)
        return;
    const std::uint32_t jointIndex = vertexOf_[parentSlot], childIndex = vertexOf_[slot];
    Vec4 a1 = n[1], a2 = n[2];
    if (shape == 0) {
        const Vec4 centre = settings_.buildFlags & SKELETON_BUILD_JOINT_SPHERES
                                ? Add(j, Scale(1.2f * settings_.JointSphereRadius(length), u))
                                : Add(j, Scale(0.2f * length, u));
        // With X pointing against the bone the ring keeps the joint's own axes.
        const Vec4 sum = Add(n[0], u);
        if (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2] > 1e-10f) {
            const Quat q = ShortestArc(n[0], u);
            a1 = Rotate(q, a1);
            a2 = Rotate(q, a2);
        }
        bone->ExtendBox(j.v);
        bone->ExtendBox(child.v);
        const float signs[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
        std::uint32_t corner[4];
        for (int i = 0; i < 4; ++i)
            corner[i] =
                EmitVertex(skeleton_, Add(centre, Add(Scale(signs[i][0] * w, a1), Scale(signs[i][1] * w, a2))), bone);
        for (int i = 0; i < 4; ++i)
            EmitLine(bone, jointIndex, corner[i]);
        for (int i = 0; i < 4; ++i)
            EmitLine(bone, corner[i], childIndex);
        for (int i = 0; i < 4; ++i)
            EmitLine(bone, corner[i], corner[(i + 1) % 4]);
        return;
    }
    const Quat q = ShortestArc(n[0], u);
    a1 = Rotate(q, a1);
    a2 = Rotate(q, a2);
    const float signs[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    std::uint32_t corner[8];
    for (int end = 0; end < 2; ++end) {
        const Vec4& centre = end == 0 ? j : child;
        for (int i = 0; i < 4; ++i)
            corner[4 * end + i] =
                EmitVertex(skeleton_, Add(centre, Add(Scale(signs[i][0] * w, a1), Scale(signs[i][1] * w, a2))), bone);
    }
    for (int end = 0; end < 2; ++end) {
        for (int i = 0; i < 4; ++i)
            EmitLine(bone, corner[4 * end + i], corner[4 * end + (i + 1) % 4]);
    }
    for (int i = 0; i < 4; ++i)
        EmitLine(bone, corner[i], corner[4 + i]);
}

void SkeletonDisplayGeometry::BuildRotationLimits(int slot, float localSize)
{
    const NodePlan& node = plan_[slot];
    const LimitPlan& plan = node.limits;
    if (!plan.twist && !plan.swing)
        return;
    const Vec4 j = Position(slot);
    const Axes f = Turned(axes_[node.parent], node.pre);
    const Axes n2 = Turned(axes_[slot], node.post);
    const SkeletonRotationLimitSettings& ls = settings_.limits;

    if (plan.twist) {
        float twistLength = 0.0f;
        if (node.childCount > 0) {
            for (int i = 0; i < node.childCount; ++i) {
                const float d = boneLength_[childSlots_[node.firstChild + i]];
                if (d > twistLength)
                    twistLength = d;
            }
        } else {
            twistLength = boneLength_[slot];
        }
        const Vec4& axis = n2[plan.a];
        const Vec4 c = Add(j, Scale(plan.sign * ls.twistCentreOffset * twistLength, axis));
        const float r = settings_.TwistArcRadius(localSize);
        const Vec4 r0 = Rotate(ShortestArc(f[plan.a], axis), f[plan.v]);

        LinesObject* arc =
            EmitObject<LinesObject>(skeleton_, DRAW_PART_ROTATION_LIMIT, node.id, 0, kLimitColour[plan.a]);
        if (!arc)
            return;
        const std::uint32_t centre = EmitVertex(skeleton_, c, arc);
        const int k = plan.twistSegments;
        const float step = (plan.twistHi - plan.twistLo) / static_cast<float>(k);
        std::uint32_t previous = centre;
        for (int i = 0; i <= k; ++i) {
            const float angle = plan.twistLo + static_cast<float>(i) * step;
            const std::uint32_t at = EmitVertex(skeleton_, Add(c, Scale(r, RotateAbout(axis, angle, r0))), arc);
            EmitLine(arc, previous, at);
            previous = at;
        }
        EmitLine(arc, previous, centre);

        LinesObject* marker =
            EmitObject<LinesObject>(skeleton_, DRAW_PART_ROTATION_LIMIT, node.id, 0, kLimitColour[plan.a]);
        if (!marker)
            return;
        if (mode_ == 0)
            marker->lineWidth = 2.0f;
        marker->ExtendBox(c.v);
        EmitLine(marker, centre, EmitVertex(skeleton_, Add(c, Scale(1.2f * r, r0)), marker));
    }

    if (plan.swing) {
        const float r2 = settings_.SwingSphereRadius(localSize);
        // Second id 1 sweeps u outside and v inside, second id 2 the other way
        // round.
        for (int grid = 1; grid <= 2; ++grid) {
            const bool outerIsU = grid == 1;
            LinesObject* lines = EmitObject<LinesObject>(skeleton_, DRAW_PART_ROTATION_LIMIT, node.id, grid,
                                                         kLimitColour[outerIsU ? plan.v : plan.u]);
            if (!lines)
                return;
            const float outerLo = outerIsU ? plan.uLo : plan.vLo, outerHi = outerIsU ? plan.uHi : plan.vHi;
            const float innerLo = outerIsU ? plan.vLo : plan.uLo, innerHi = outerIsU ? plan.vHi : plan.uHi;
            const int outerCount = outerIsU ? plan.gridOuterU : plan.gridOuterV;
            const int innerCount = outerIsU ? plan.gridInnerV : plan.gridInnerU;
            const float outerStep = (outerHi - outerLo) / static_cast<float>(outerCount);
            const float innerStep = (innerHi - innerLo) / static_cast<float>(innerCount);
            for (int i = 0; i <= outerCount; ++i) {
                const float outer = outerLo + static_cast<float>(i) * outerStep;
                std::uint32_t previous = 0;
                for (int k = 0; k <= innerCount; ++k) {
                    const float inner = innerLo + static_cast<float>(k) * innerStep;
                    const float tu = outerIsU ? outer : inner, tv = outerIsU ? inner : outer;
                    const Vec4 dir = RotateAbout(f[plan.u], tu, RotateAbout(f[plan.v], tv, f[plan.a]));
                    const std::uint32_t at = EmitVertex(skeleton_, Add(j, Scale(r2, dir)), lines);
                    if (k > 0)
                        EmitLine(lines, previous, at);
                    previous = at;
                }
            }
        }
    }
}

// --- Replays of the effector and floor-contact stores ---------------------------------------------

bool SkeletonDisplayGeometry::Replay(GeometryStore& store, const BuiltCounts& built, float* outsideVertices,
                                     bool (SkeletonDisplayGeometry::*pass)())
{
    // A store changed since its build no longer matches the replay: leave it
    // as it is.
    if (store.OutsideVertices() || store.VertexCount() != built.vertices || store.ObjectCount() != built.objects)
        return false;
    mode_ = 1;
    if (outsideVertices)
        store.UseOutsideVertices(outsideVertices);
    store.ResetWriteCounters();
    store.ResetBoxes();
    const bool rewritten =
        (this->*pass)() && store.VertexWriteCounter() == built.vertices && store.ObjectWriteCounter() == built.objects;
    if (outsideVertices)
        store.DetachOutsideVertices();
    return rewritten;
}

// --- Effectors ------------------------------------------------------------------------------------

bool SkeletonDisplayGeometry::InitEffectors(int flags, float sphereRadius, float axisLength, VLMCharacter* character,
                                            VLMEffectorSetState* effectors)
{
    mode_ = 0;
    effectorSettings_.flags = flags;
    effectorSettings_.sphereRadius = sphereRadius;
    effectorSettings_.axisLength = axisLength;
    effectorSet_ = effectors;
    effectors_.Clear();
    effectorsBuilt_ = BuiltCounts();
    effectorsReady_ = false;
    if (!character || !effectors)
        return false;

    // Negative sizes are divisors of the height taken positive.
    int up = 1;
    const float height = std::fabs(CharacterHeight(character, &up));
    for (float* size : {&effectorSettings_.sphereRadius, &effectorSettings_.axisLength}) {
        if (*size < 0.0f)
            *size = height / std::fabs(*size);
    }
    effectorsReady_ = BuildEffectors();
    effectorsBuilt_ = {effectors_.VertexCount(), effectors_.ObjectCount()};
    return effectorsReady_;
}

bool SkeletonDisplayGeometry::UpdateEffectors(float* outsideVertices)
{
    if (!effectorsReady_)
        return false;
    return Replay(effectors_, effectorsBuilt_, outsideVertices, &SkeletonDisplayGeometry::BuildEffectors);
}

bool SkeletonDisplayGeometry::BuildEffectors()
{
    failed_ = false;
    const int flags = effectorSettings_.flags;
    for (int id = 0; id < VLM_EFFECTOR_COUNT && !failed_; ++id) {
        Mat4 m = Identity();
        VLMReadEffectorMatrix(effectorSet_, id, m.m);
        const Vec4 position{{m[12], m[13], m[14], 1.0f}};
        if (flags & SKELETON_EFFECTOR_AXES) {
            const std::uint32_t at = EmitVertex(effectors_, position, nullptr);
            BuildTripod(effectors_, position, at, AxesOf(m), effectorSettings_.axisLength, DRAW_PART_EFFECTOR_AXIS, id);
        }
        if (flags & SKELETON_EFFECTOR_SPHERES) {
            const float lanes[4] = {VLMGetEffectorReachT(effectorSet_, id), VLMGetEffectorReachR(effectorSet_, id),
                                    VLMGetEffectorPull(effectorSet_, id), VLMGetEffectorStiffness(effectorSet_, id)};
            SphereObject* sphere = EmitObject<SphereObject>(effectors_, DRAW_PART_EFFECTOR_SPHERE, id, -1, nullptr);
            if (!sphere)
                break;
            // The lanes change with the solve: the colour follows them.
            for (int i = 0; i < 4; ++i)
                sphere->colour[i] = lanes[i];
            FillSphere(effectors_, sphere, position, effectorSettings_.sphereRadius);
        }
    }
    return !failed_;
}

// --- Floor contacts -------------------------------------------------------------------------------

namespace {

// Public property ids.
constexpr int kFloorContact = 31;
constexpr int kHandFloorContact = 38;
constexpr int kHandContactType = 45;
constexpr int kFootContactType = 48;

// Half the side of the drawn contact plane and the length of its normal.
constexpr float kContactPlaneSize = 10.0f;

// The contact query takes the contact type rounded to the nearest integer,
// ties to even: only values in [-0.5, 0.5] are type 0, which has the two
// front points as well. (Not-a-number and values beyond an int are not 0.)
int OutlinePointCount(float contactType) { return std::fabs(contactType) <= 0.5f ? 6 : 4; }

}  // namespace

bool SkeletonDisplayGeometry::InitFloorContacts(VLMCharacter* character, VLMCharacterState* state,
                                                VLMEffectorSetState* effectors, VLMPropertySetState* properties)
{
    mode_ = 0;
    contactCharacter_ = character;
    contactState_ = state;
    contactEffectors_ = effectors;
    contactProperties_ = properties;
    floorContacts_.Clear();
    contactCount_ = 0;
    contactsBuilt_ = BuiltCounts();
    contactsReady_ = false;
    if (!character || !state || !effectors || !properties)
        return false;

    // The feet, then the hands, each pair unless its floor contact is off.
    for (const int e : {2, 3, 0, 1}) {
        const bool foot = e >= 2;
        if (VLMGetPropertyMode(properties, foot ? kFloorContact : kHandFloorContact) == 0)
            continue;
        const float type = VLMGetPropertyValue(properties, foot ? kFootContactType : kHandContactType);
        contactPlan_[contactCount_++] = {e, OutlinePointCount(type)};
    }
    contactsReady_ = BuildFloorContacts();
    contactsBuilt_ = {floorContacts_.VertexCount(), floorContacts_.ObjectCount()};
    return contactsReady_;
}

bool SkeletonDisplayGeometry::UpdateFloorContacts(float* outsideVertices)
{
    if (!contactsReady_)
        return false;
    return Replay(floorContacts_, contactsBuilt_, outsideVertices, &SkeletonDisplayGeometry::BuildFloorContacts);
}

bool SkeletonDisplayGeometry::BuildFloorContacts()
{
    failed_ = false;
    GeometryStore& store = floorContacts_;
    for (int k = 0; k < contactCount_ && !failed_; ++k) {
        const int e = contactPlan_[k].extremity;
        float t[4] = {0, 0, 0, 0}, q[4] = {0, 0, 0, 1};
        VLMGetExtremityTQ(contactEffectors_, e, t, q);
        const Vec4 origin{{t[0], t[1], t[2], 1.0f}};

        // The outline: the points come in pairs across the extremity; each
        // pair is a rung, and each point joins the one two before it.
        LinesObject* outline = EmitObject<LinesObject>(store, DRAW_PART_FLOOR_CONTACT, e, 0, nullptr);
        if (!outline)
            break;
        std::uint32_t points[6] = {};
        for (int i = 0; i < contactPlan_[k].points; ++i) {
            float p[4];
            // A point the pose does not give keeps its place; at the build it
            // takes the extremity's position rather than the origin.
            if (VLMGetContactPoint(contactCharacter_, contactState_, contactProperties_, e, i, p))
                points[i] = EmitVertex(store, Vec4{{p[0], p[1], p[2], 1.0f}}, outline);
            else
                points[i] = EmitKeptVertex(store, origin, outline);
            if (i % 2 == 1)
                EmitLine(outline, points[i], points[i - 1]);
            if (i >= 2)
                EmitLine(outline, points[i], points[i - 2]);
        }

        const Quat turn = UnitQuat(Quat{{q[0], q[1], q[2], q[3]}});
        const Vec4 x = Scale(kContactPlaneSize, Rotate(turn, UnitAxis(0)));
        const Vec4 y = Scale(kContactPlaneSize, Rotate(turn, UnitAxis(1)));
        const Vec4 z = Scale(kContactPlaneSize, Rotate(turn, UnitAxis(2)));

        LinesObject* normal = EmitObject<LinesObject>(store, DRAW_PART_FLOOR_CONTACT, e, 1, nullptr);
        if (!normal)
            break;
        const std::uint32_t base = EmitVertex(store, origin, normal);
        EmitLine(normal, base, EmitVertex(store, Add(origin, y), normal));

        TrianglesObject* plane = EmitObject<TrianglesObject>(store, DRAW_PART_FLOOR_CONTACT, e, 2, nullptr);
        if (!plane)
            break;
        const float signs[4][2] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
        std::uint32_t corner[4];
        for (int i = 0; i < 4; ++i)
            corner[i] = EmitVertex(store, Add(origin, Add(Scale(signs[i][0], x), Scale(signs[i][1], z))), plane);
        if (mode_ == 0) {
            plane->AddTriangle(corner[0], corner[1], corner[2]);
            plane->AddTriangle(corner[0], corner[2], corner[3]);
        }
    }
    return !failed_;
}
