// The 3D view's camera as pure functions: the orthographic volume, framing a
// box from one of six directions, the zoom mapping and the three drags (orbit
// on a virtual trackball, zoom, pan). The viewport keeps the camera state and
// only hands the results to GL.
//
// The camera is a world-to-eye matrix (column-major, view_math.h); the
// projection is orthographic with half extents of 1000 units times the zoom
// along the viewport's shorter side, so the visible width of a square viewport
// is 2000 x zoom.
#ifndef SKW_VIEW3D_VIEW_CAMERA_H
#define SKW_VIEW3D_VIEW_CAMERA_H

#include "base/skw_export.h"
#include "view3d/view_math.h"

#include <vector>

class GeometryStore;

// The six directions framing looks from.
enum FrameView : int {
    FRAME_VIEW_FRONT = 0,  // from +Z, +Y up
    FRAME_VIEW_BACK = 1,   // from -Z, +Y up
    FRAME_VIEW_LEFT = 2,   // from +X, +Y up
    FRAME_VIEW_RIGHT = 3,  // from -X, +Y up
    FRAME_VIEW_TOP = 4,    // from +Y, +Z up
    FRAME_VIEW_BOTTOM = 5  // from -Y, +Z up
};

namespace ViewCamera {

constexpr float kMinZoom = 1.5e-5f;
// The largest zoom of an ordinary character (up to about 1,800 units): the
// zoom mapping's range ends here.
constexpr float kMaxZoom = 0.99f;
// The largest zoom of any character: the visible volume stays finite in
// single precision.
constexpr float kLargestZoom = 1e30f;
// Framing leaves this share of the framed extent free on each side, so that
// the joint markers at the ends show whole.
constexpr float kFrameMargin = 0.05f;
// How far beyond its framed size a character larger than kMaxZoom frames can
// be zoomed out, as an ordinary character can be zoomed out to kMaxZoom.
constexpr float kZoomOutRoom = 10.0f;

// Clamps to [kMinZoom, ceiling]; a ceiling below kMaxZoom counts as
// kMaxZoom, one above kLargestZoom as kLargestZoom.
SKW_EXPORT float ClampZoom(float zoom, float ceiling = kMaxZoom);
// The zoom ceiling of a character of that box: kMaxZoom, or kZoomOutRoom
// times the zoom that frames it when that is larger. A box that holds
// nothing gives kMaxZoom.
SKW_EXPORT float ZoomCeiling(const ViewMath::Box& box);

// The orthographic volume of a viewport of w x h pixels (sizes below 1 count
// as 1). left..top go to glOrtho with the near and far planes, which the zoom
// does not scale; viewBox is the same volume with the depth scaled.
struct Ortho {
    double left, right, bottom, top;
    double zNear, zFar;
    ViewMath::Box viewBox;
};
SKW_EXPORT Ortho Projection(int w, int h, float zoom);
// `o` with its near and far planes moved apart, where needed, until every
// corner of the box, seen through the camera, lies between them with a
// little room; planes that already hold it stay. Framing puts the eye 20
// units beyond the box, and an orbit turns the box about its centre: a
// character larger than the fixed planes would lose its feet or head to them.
// A box that holds nothing, or is not finite, changes nothing.
SKW_EXPORT Ortho HoldBoxInDepth(Ortho o, const ViewMath::Mat4& camera, const ViewMath::Box& box);

// Where framing puts the camera.
struct Framing {
    ViewMath::Vec4 target;  // box centre, w 1
    ViewMath::Vec4 eye;     // 20 units beyond the box face the view looks at
    float targetDistance;
    ViewMath::Mat4 camera;
    float zoom;  // fits the larger of the box's x and y extents, in every view, with kFrameMargin
};
// False, with `out` untouched, for a box that holds nothing (min above max
// on an axis), is not finite, or a view outside 0..5: such a box has no
// centre, and a camera made from it would be infinite or NaN.
SKW_EXPORT bool FrameBox(const ViewMath::Box& box, int view, Framing* out);

// The union of the boxes of the bone objects (kind 0) of the store whose
// second id (the bone's child node) is one of the ids, and of the joint
// spheres (kind 2) at both ends of those bones; a reset box when no bone
// matches.
SKW_EXPORT ViewMath::Box NodesBoundingBox(const std::vector<int>& nodeIds, const GeometryStore& store);

// The zoom mapping: [L, H] = [exp(1e-6), exp(20)] linearly onto
// [kMinZoom, kMaxZoom] and back.
SKW_EXPORT float DistanceToZoom(float distance);
SKW_EXPORT float ZoomToDistance(float zoom);
// A zoom drag of (dx, dy) pixels (dy positive upwards): the larger of the two
// (dy on a tie) scales the distance by exp(0.002) per pixel; clamped to
// [kMinZoom, ceiling] as ClampZoom does.
SKW_EXPORT float ZoomAfterDrag(float zoom, int dx, int dy, float ceiling = kMaxZoom);

// The unit trackball vector of a viewport pixel (y down), w 0.
SKW_EXPORT ViewMath::Vec4 TrackballPoint(int x, int y, int w, int h);

// The turn of an orbit drag from the trackball vector at the press to the
// current one: false when they lie within 0.0001 (no turn); otherwise the
// angle in degrees (90 per unit of distance) and the unit eye-space axis.
SKW_EXPORT bool OrbitTurn(const ViewMath::Vec4& start, const ViewMath::Vec4& current, float* degrees,
                          ViewMath::Vec4* axis);
// The press-time camera turned by `degrees` about `axis` through the target,
// which lies at (0, 0, -targetDistance) in eye space.
SKW_EXPORT ViewMath::Mat4 OrbitCamera(const ViewMath::Mat4& dragStart, float degrees, const ViewMath::Vec4& axis,
                                      float targetDistance);

// The camera moved in eye space so that the picture follows a drag of
// (dx, dy) pixels (dy positive upwards) one to one.
SKW_EXPORT ViewMath::Mat4 PanCamera(const ViewMath::Mat4& camera, int dx, int dy, int w, int h,
                                    const ViewMath::Box& viewBox);

}  // namespace ViewCamera

#endif
