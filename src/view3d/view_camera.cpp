#include "view3d/view_camera.h"

#include "view3d/geometry_store.h"

#include <algorithm>
#include <cmath>

using namespace ViewMath;

namespace ViewCamera {

namespace {

constexpr float kZoomSpan = 0.989985f;  // kMaxZoom - kMinZoom
constexpr float kZoomPerPixel = 0.002f;
constexpr float kOrbitDeadZone = 0.0001f;
constexpr float kDegreesPerUnit = 90.0f;
constexpr float kEyeOffset = 20.0f;

// The ends of the distance range the zoom maps onto, as floats.
float DistanceLow()
{
    static const float low = static_cast<float>(std::exp(1e-6));
    return low;
}

float DistanceHigh()
{
    static const float high = static_cast<float>(std::exp(20.0));
    return high;
}

bool Finite(const Mat4& m)
{
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(m[i]))
            return false;
    return true;
}

Mat4 Translation(float x, float y, float z)
{
    Mat4 t = Identity();
    t[12] = x;
    t[13] = y;
    t[14] = z;
    return t;
}

}  // namespace

namespace {

bool HoldsSomething(const Box& box)
{
    for (int i = 0; i < 3; ++i)
        if (!(box.min[i] <= box.max[i]) || !std::isfinite(box.min[i]) || !std::isfinite(box.max[i]))
            return false;
    return true;
}

// The zoom at which the larger of the box's x and y extents, with the
// margin on both sides, spans the shorter side of the viewport; unclamped.
double FittingZoom(const Box& box)
{
    const double extent =
        std::max(static_cast<double>(box.max[0]) - box.min[0], static_cast<double>(box.max[1]) - box.min[1]);
    return extent * (1.0 + 2.0 * kFrameMargin) / 2000.0;
}

}  // namespace

// Unlike a fixed range of [kMinZoom, kMaxZoom], the ceiling may be raised
// for a large character: at 0.99 the view shows 1,980 units, and a
// character in millimetres could never be seen whole.
float ClampZoom(float zoom, float ceiling)
{
    float top = ceiling;
    Clamp(top, kMaxZoom, kLargestZoom);
    if (!(top == top))  // NaN
        top = kMaxZoom;
    Clamp(zoom, kMinZoom, top);
    return zoom;
}

float ZoomCeiling(const Box& box)
{
    if (!HoldsSomething(box))
        return kMaxZoom;
    const double room = FittingZoom(box) * kZoomOutRoom;
    return room > kMaxZoom ? static_cast<float>(std::min(room, double(kLargestZoom))) : kMaxZoom;
}

Ortho Projection(int w, int h, float zoom)
{
    // An unmapped or collapsed widget reports 0 x 0; its aspect must stay finite.
    const double aspect = static_cast<double>(std::max(w, 1)) / static_cast<double>(std::max(h, 1));
    double left = -1000.0, right = 1000.0, bottom = -1000.0, top = 1000.0;
    if (aspect >= 1.0) {
        left *= aspect;
        right *= aspect;
    } else {
        bottom /= aspect;
        top /= aspect;
    }
    Ortho o;
    o.left = zoom * left;
    o.right = zoom * right;
    o.bottom = zoom * bottom;
    o.top = zoom * top;
    o.zNear = -1000.0;
    o.zFar = 1000.0;
    const float depth = zoom * 1000.0f;
    o.viewBox = {{static_cast<float>(o.left), static_cast<float>(o.bottom), -depth},
                 {static_cast<float>(o.right), static_cast<float>(o.top), depth}};
    return o;
}

Ortho HoldBoxInDepth(Ortho o, const Mat4& camera, const Box& box)
{
    if (!HoldsSomething(box))
        return o;
    // Eye-space depth of the eight corners: the third row of the camera.
    double nearest = -HUGE_VAL, farthest = HUGE_VAL;
    for (int corner = 0; corner < 8; ++corner) {
        const double x = (corner & 1) ? box.max[0] : box.min[0];
        const double y = (corner & 2) ? box.max[1] : box.min[1];
        const double z = (corner & 4) ? box.max[2] : box.min[2];
        const double depth = camera[2] * x + camera[6] * y + camera[10] * z + camera[14];
        nearest = std::max(nearest, depth);
        farthest = std::min(farthest, depth);
    }
    if (!std::isfinite(nearest) || !std::isfinite(farthest))
        return o;
    // The eye looks down -z: glOrtho shows eye depths from -zFar to -zNear.
    // The room keeps a corner off the plane, where rounding could clip it.
    const double room = 0.01 * (nearest - farthest) + 1.0;
    o.zNear = std::min(o.zNear, -nearest - room);
    o.zFar = std::max(o.zFar, -farthest + room);
    return o;
}

bool FrameBox(const Box& box, int view, Framing* out)
{
    if (view < FRAME_VIEW_FRONT || view > FRAME_VIEW_BOTTOM || !HoldsSomething(box))
        return false;

    Framing f;
    f.target = Centre(box);
    Vec4 eye{{f.target[0], f.target[1], f.target[2], 1.0f}};
    Vec4 up{{0.0f, 1.0f, 0.0f, 0.0f}};
    switch (view) {
    case FRAME_VIEW_FRONT: eye[2] = box.max[2] + kEyeOffset; break;
    case FRAME_VIEW_BACK: eye[2] = box.min[2] - kEyeOffset; break;
    case FRAME_VIEW_LEFT: eye[0] = box.max[0] + kEyeOffset; break;
    case FRAME_VIEW_RIGHT: eye[0] = box.min[0] - kEyeOffset; break;
    case FRAME_VIEW_TOP:
        eye[1] = box.max[1] + kEyeOffset;
        up = {{0.0f, 0.0f, 1.0f, 0.0f}};
        break;
    default:
        eye[1] = box.min[1] - kEyeOffset;
        up = {{0.0f, 0.0f, 1.0f, 0.0f}};
        break;
    }
    f.eye = eye;
    const Vec4 toEye = SubtractXYZ(eye, f.target);
    f.targetDistance = std::sqrt(toEye[0] * toEye[0] + toEye[1] * toEye[1] + toEye[2] * toEye[2]);
    f.camera = LookAt(eye, f.target, up);
    // Unlike a box fitted edge to edge, the framed extent keeps a margin on
    // each side: the markers of the outermost joints (ankles, head) lay half
    // outside the view. The zoom is the box's own however large it is.
    f.zoom = ClampZoom(static_cast<float>(std::min(FittingZoom(box), double(kLargestZoom))), kLargestZoom);
    // A finite box can still be too large for its extent to be.
    if (!Finite(f.camera) || !std::isfinite(f.targetDistance))
        return false;
    *out = f;
    return true;
}

Box NodesBoundingBox(const std::vector<int>& nodeIds, const GeometryStore& store)
{
    // Unlike the box of the bones alone, which runs from joint centre to joint
    // centre, the box also holds the joint spheres at both ends of each bone:
    // framed edge to edge on the bones, a vertical chain (the neck, the spine)
    // had its end spheres cut by the view's edges.
    std::vector<int> ends;
    Box box = ResetBox();
    for (const int id : nodeIds) {
        for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
            const VLMDrawObjectNS::BaseObject* object = store.Object(i);
            if (object->partKind == DRAW_PART_BONE && object->secondId == id) {
                Grow(box, object->boxMin);
                Grow(box, object->boxMax);
                ends.push_back(object->nodeId);
                ends.push_back(object->secondId);
            }
        }
    }
    for (std::size_t i = 0; i < store.ObjectCount() && !ends.empty(); ++i) {
        const VLMDrawObjectNS::BaseObject* object = store.Object(i);
        if (object->partKind == DRAW_PART_JOINT_SPHERE &&
            std::find(ends.begin(), ends.end(), object->nodeId) != ends.end()) {
            Grow(box, object->boxMin);
            Grow(box, object->boxMax);
        }
    }
    return box;
}

float DistanceToZoom(float distance)
{
    const float low = DistanceLow(), high = DistanceHigh();
    return (distance - low) / (high - low) * kZoomSpan + kMinZoom;
}

float ZoomToDistance(float zoom)
{
    const float low = DistanceLow(), high = DistanceHigh();
    return (zoom - kMinZoom) / kZoomSpan * (high - low) + low;
}

float ZoomAfterDrag(float zoom, int dx, int dy, float ceiling)
{
    const int d = std::abs(dx) > std::abs(dy) ? dx : dy;
    if (zoom <= kMaxZoom) {
        const float distance = std::exp(std::log(ZoomToDistance(zoom)) + kZoomPerPixel * static_cast<float>(d));
        return ClampZoom(DistanceToZoom(distance), ceiling);
    }
    // Beyond the mapping's range the distance of a large zoom would overflow
    // a float; there the distance is as good as proportional to the zoom, so
    // the drag scales the zoom itself.
    const double scaled = static_cast<double>(zoom) * std::exp(double(kZoomPerPixel) * d);
    return ClampZoom(static_cast<float>(std::min(scaled, double(kLargestZoom))), ceiling);
}

Vec4 TrackballPoint(int x, int y, int w, int h)
{
    const float fw = static_cast<float>(std::max(w, 1)), fh = static_cast<float>(std::max(h, 1));
    const float px = (2.0f * static_cast<float>(x) - fw) / fw;
    const float py = (fh - 2.0f * static_cast<float>(y)) / fh;
    const float r = std::min(std::sqrt(px * px + py * py), 1.0f);
    const float pz = std::sqrt(1.001f - r * r);
    return Normalize(Vec4{{px, py, pz, 0.0f}});
}

bool OrbitTurn(const Vec4& start, const Vec4& current, float* degrees, Vec4* axis)
{
    const Vec4 d = Subtract(current, start);
    const float length = std::sqrt(LengthSquared(d));
    const Vec4 turnAxis{{-d[1], d[0], 0.0f, 0.0f}};
    // Two trackball vectors that differ only in z cannot arise, but rounding
    // must not turn them into a NaN axis.
    if (!(length > kOrbitDeadZone) || !(LengthSquared(turnAxis) > 0.0f))
        return false;
    *axis = Normalize(turnAxis);
    *degrees = kDegreesPerUnit * length;
    return true;
}

Mat4 OrbitCamera(const Mat4& dragStart, float degrees, const Vec4& axis, float targetDistance)
{
    const Mat4 turn = AxisAngleMatrix(DegreesToRadians(degrees), axis);
    const Mat4 toTarget = Translation(0.0f, 0.0f, targetDistance);
    const Mat4 back = Translation(0.0f, 0.0f, -targetDistance);
    return Multiply(Multiply(Multiply(back, turn), toTarget), dragStart);
}

Mat4 PanCamera(const Mat4& camera, int dx, int dy, int w, int h, const Box& viewBox)
{
    const float tx = static_cast<float>(dx) / static_cast<float>(std::max(w, 1)) * ExtentX(viewBox);
    const float ty = static_cast<float>(dy) / static_cast<float>(std::max(h, 1)) * ExtentY(viewBox);
    return Multiply(Translation(tx, ty, 0.0f), camera);
}

}  // namespace ViewCamera
