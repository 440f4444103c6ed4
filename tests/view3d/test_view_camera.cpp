// The camera as pure functions: projection, framing, zoom, orbit and pan.
#include "view3d/view_camera.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using namespace ViewMath;
using namespace ViewCamera;

namespace {

Vec4 Point(float x, float y, float z) { return {{x, y, z, 1.0f}}; }

void ExpectNear(const Vec4& got, float x, float y, float z, float tolerance = 1e-4f)
{
    EXPECT_NEAR(got[0], x, tolerance);
    EXPECT_NEAR(got[1], y, tolerance);
    EXPECT_NEAR(got[2], z, tolerance);
}

TEST(ViewCamera, ProjectionKeepsTheShorterSideAndTheDepth)
{
    struct Case {
        int w, h;
        float zoom;
        double x, y;  // half extents
    } const cases[] = {{400, 400, 0.5f, 500, 500},
                       {800, 400, 1.0f, 2000, 1000},
                       {400, 800, 1.0f, 1000, 2000},
                       {400, 300, 0.09f, 120, 90}};
    for (const Case& c : cases) {
        const Ortho o = Projection(c.w, c.h, c.zoom);
        for (const auto& [got, want] : {std::make_pair(o.left, -c.x), {o.right, c.x}, {o.bottom, -c.y}, {o.top, c.y}})
            EXPECT_NEAR(got, want, 1e-3) << c.w << "x" << c.h;
        EXPECT_TRUE(o.zNear == -1000.0 && o.zFar == 1000.0);  // the zoom does not scale the depth planes
        EXPECT_NEAR(o.viewBox.max[2], c.zoom * 1000.0f, 1e-3f);
    }
    // A collapsed widget (height 0) still gives a finite volume.
    const Ortho collapsed = Projection(300, 0, 0.5f);
    EXPECT_TRUE(std::isfinite(collapsed.left) && std::isfinite(collapsed.top));
}

TEST(ViewCamera, FramingLooksAtTheBoxCentreFromEachView)
{
    const Box box{{-10, 0, -5}, {30, 180, 15}};
    struct Case {
        int view;
        Vec4 eye, up;
    } const cases[] = {
        {FRAME_VIEW_FRONT, Point(10, 90, 35), {{0, 1, 0, 0}}}, {FRAME_VIEW_BACK, Point(10, 90, -25), {{0, 1, 0, 0}}},
        {FRAME_VIEW_LEFT, Point(50, 90, 5), {{0, 1, 0, 0}}},   {FRAME_VIEW_RIGHT, Point(-30, 90, 5), {{0, 1, 0, 0}}},
        {FRAME_VIEW_TOP, Point(10, 200, 5), {{0, 0, 1, 0}}},   {FRAME_VIEW_BOTTOM, Point(10, -20, 5), {{0, 0, 1, 0}}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.view);
        Framing f;
        ASSERT_TRUE(FrameBox(box, c.view, &f));
        ExpectNear(f.target, 10, 90, 5);
        ExpectNear(f.eye, c.eye[0], c.eye[1], c.eye[2]);
        const Vec4 d = Subtract(c.eye, f.target);  // w 0
        const float distance = std::sqrt(LengthSquared(d));
        EXPECT_NEAR(f.targetDistance, distance, 1e-4f);
        // Eye at the origin, target straight ahead, up up the screen.
        ExpectNear(Multiply(f.camera, c.eye), 0, 0, 0);
        ExpectNear(Multiply(f.camera, f.target), 0, 0, -distance);
        ExpectNear(Multiply(f.camera, c.up), 0, 1, 0);
        EXPECT_NEAR(f.zoom, 0.099f, 1e-6f);  // the y extent and a 5% margin each side, in every view
    }

    // Any size frames whole, with its margin; the smallest zoom clamps. The
    // drags may zoom out ten times beyond a box too large for 0.99. A box
    // that holds nothing, a NaN box or an unknown view leaves the output
    // alone.
    const struct {
        Box box;
        float zoom, ceiling;
    } zooms[] = {{{{0, 0, 0}, {100, 180, 1}}, 0.099f, 0.99f},
                 {{{0, 0, 0}, {10000, 1, 1}}, 5.5f, 55.0f},
                 {{{-1e12f, 0, 0}, {1e12f, 1, 1}}, 1.1e9f, 1.1e10f},
                 {{{0, 0, 0}, {0.01f, 0.01f, 0.01f}}, 1.5e-5f, 0.99f}};
    for (const auto& z : zooms) {
        Framing f;
        ASSERT_TRUE(FrameBox(z.box, FRAME_VIEW_TOP, &f));
        EXPECT_FLOAT_EQ(f.zoom, z.zoom);
        EXPECT_FLOAT_EQ(ZoomCeiling(z.box), z.ceiling);
        EXPECT_FLOAT_EQ(ClampZoom(1e20f, ZoomCeiling(z.box)), z.ceiling);
    }
    Framing untouched{};
    untouched.zoom = 0.5f;
    const Box nan{{0, NAN, 0}, {1, 1, 1}};
    for (const Box& b : {ResetBox(), nan, Box{{0, 0, 0}, {1, 1, -1}}, Box{{-FLT_MAX, 0, 0}, {FLT_MAX, 1, 1}}})
        EXPECT_FALSE(FrameBox(b, FRAME_VIEW_FRONT, &untouched));
    EXPECT_FALSE(FrameBox(box, 6, &untouched));
    EXPECT_EQ(untouched.zoom, 0.5f);
}

// The planes stay at +-1000 for a character in centimetres; a ten times larger
// one seen from above needs the far plane beyond its feet, 20 units past its
// height from the eye.
TEST(ViewCamera, DepthPlanesMoveApartOnlyForABoxTheyDoNotHold)
{
    const Ortho fixed = Projection(400, 400, 0.5f);
    Framing f;
    const Box person{{-90, 0, -15}, {90, 180, 15}}, large{{-900, 0, -150}, {900, 1800, 150}};
    ASSERT_TRUE(FrameBox(person, FRAME_VIEW_TOP, &f));
    const Ortho kept = HoldBoxInDepth(fixed, f.camera, person);
    EXPECT_TRUE(kept.zNear == -1000.0 && kept.zFar == 1000.0);
    ASSERT_TRUE(FrameBox(large, FRAME_VIEW_TOP, &f));
    const Ortho wide = HoldBoxInDepth(fixed, f.camera, large);
    EXPECT_GT(wide.zFar, 1820.0);  // the feet
    EXPECT_LT(wide.zFar, 1900.0);  // a little room, not an arbitrary depth
    EXPECT_EQ(wide.zNear, -1000.0);
    EXPECT_EQ(wide.left, fixed.left);
    // Seen from below, the head is as far.
    ASSERT_TRUE(FrameBox(large, FRAME_VIEW_BOTTOM, &f));
    EXPECT_GT(HoldBoxInDepth(fixed, f.camera, large).zFar, 1820.0);
    // A box that holds nothing says nothing about depth.
    for (const Box& b : {ResetBox(), Box{{0, NAN, 0}, {1, 1, 1}}})
        EXPECT_EQ(HoldBoxInDepth(fixed, f.camera, b).zFar, 1000.0);
}

TEST(ViewCamera, ZoomDragsScaleTheDistance)
{
    for (const float zoom : {1.5e-5f, 0.003f, 0.09f, 0.5f, 0.99f})
        EXPECT_NEAR(DistanceToZoom(ZoomToDistance(zoom)), zoom, 1e-6f);
    struct Case {
        int dx, dy;
        float pixels;  // the drag that counts
    } const cases[] = {{3, -10, -10}, {5, -5, -5}, {-12, 4, -12}, {0, 7, 7}};
    for (const Case& c : cases) {
        const float after = ZoomAfterDrag(0.09f, c.dx, c.dy);
        EXPECT_NEAR(ZoomToDistance(after) / ZoomToDistance(0.09f), std::exp(0.002f * c.pixels), 1e-5f);
    }
    EXPECT_EQ(ZoomAfterDrag(0.99f, 0, 500), 0.99f);
    EXPECT_EQ(ZoomAfterDrag(1.5e-5f, 0, -500), 1.5e-5f);
    // Under a raised ceiling a drag goes on scaling, up to the ceiling.
    EXPECT_NEAR(ZoomAfterDrag(0.5f, 0, 500, 55.0f), 0.5f * std::exp(1.0f), 1e-3f);
    EXPECT_NEAR(ZoomAfterDrag(5.5f, 0, -500, 55.0f), 5.5f * std::exp(-1.0f), 1e-4f);
    EXPECT_EQ(ZoomAfterDrag(5.5f, 0, 5000, 55.0f), 55.0f);
}

TEST(ViewCamera, OrbitTurnsAboutTheTargetAndPanFollowsTheMouse)
{
    const Vec4 centre = TrackballPoint(200, 200, 400, 400);
    const Vec4 rim = TrackballPoint(400, 200, 400, 400);
    ExpectNear(centre, 0, 0, 1);
    ExpectNear(rim, 0.9995f, 0, 0.0316f);
    float degrees = 0;
    Vec4 axis;
    ASSERT_TRUE(OrbitTurn(centre, rim, &degrees, &axis));
    EXPECT_NEAR(degrees, 125.25f, 0.05f);
    ExpectNear(axis, 0, 1, 0);
    EXPECT_FALSE(OrbitTurn(centre, centre, &degrees, &axis));
    ExpectNear(TrackballPoint(0, 0, 0, 0), -0.70693f, 0.70693f, 0.02235f);  // a collapsed widget stays finite

    Framing f;
    ASSERT_TRUE(FrameBox(Box{{-10, 0, -5}, {30, 180, 15}}, FRAME_VIEW_FRONT, &f));
    const Mat4 turned = OrbitCamera(f.camera, degrees, axis, f.targetDistance);
    ExpectNear(Multiply(turned, f.target), 0, 0, -f.targetDistance);  // the target stays put
    // The front of the box (+z) turns to the right of the screen.
    EXPECT_GT(Multiply(turned, Point(10, 90, 15))[0], 5.0f);

    // 10 pixels right on a 500-pixel widget showing 2000 units: 40 units.
    const Box viewBox{{-1000, -1000, -1000}, {1000, 1000, 1000}};
    ExpectNear(TranslationColumn(PanCamera(Identity(), 10, 0, 500, 500, viewBox)), 40, 0, 0);
    ExpectNear(TranslationColumn(PanCamera(Identity(), 0, -5, 500, 250, viewBox)), 0, -40, 0);
}

}  // namespace
