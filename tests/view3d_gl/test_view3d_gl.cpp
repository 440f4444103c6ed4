// The 3D view drawing for real: pixels, menus, drags and lifecycle.
#include "view3d/vlm_gl_widget.h"
#include "view3d/vlm_widget.h"

#include "minimal_hub.h"
#include "modal_answer.h"
#include "posed_rig.h"
#include "screenshot.h"
#include "view3d_probe.h"

#include "rig/solver/vlm_runtime_entries.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_names.h"

#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <vector>

using namespace ViewMath;

namespace {

constexpr int kSize = 400;

posed::Rig TPosed(const fixtures::Proportions& proportions, posed::Limits limits = posed::Limits::Mixed)
{
    posed::Rig rig = posed::Make(proportions, limits);
    rig.WriteTPose();
    return rig;
}

// Shows the window with its viewport at 400 x 400.
void ShowAt400(QWidget* window, QWidget* glWidget)
{
    window->show();
    window->activateWindow();  // a late activation would close an open popup
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    for (int i = 0; i < 5 && glWidget->size() != QSize(kSize, kSize); ++i) {
        window->resize(window->size() + QSize(kSize, kSize) - glWidget->size());
        QApplication::processEvents();
    }
    ASSERT_EQ(glWidget->size(), QSize(kSize, kSize));
}

// A mouse event straight to the widget (press and release with `button`).
void Mouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, QPoint at)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, widget->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

bool Black(QRgb p) { return (p & 0xFFFFFFu) == 0; }
bool OneOf(QRgb p, QRgb a, QRgb b, QRgb c) { return (p &= 0xFFFFFFu) == a || p == b || p == c; }
bool PureRgb(QRgb p) { return OneOf(p, 0xFF0000u, 0x00FF00u, 0x0000FFu); }
bool Tint(QRgb p) { return OneOf(p, 0xFF4646u, 0x46FF46u, 0x4646FFu); }  // the rotation-limit shades
bool InGizmo(int x, int y) { return x < 50 && y >= kSize - 50; }

// Counts the pixels outside the gizmo corner that pass the test.
template <typename Test>
int Count(const QImage& image, Test test)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += !InGizmo(x, y) && test(image.pixel(x, y));
    return n;
}

// Where a joint lands in the 400 x 400 frame (y down).
QPoint ProjectNode(const VLMGlWidget& gl, const posed::Rig& rig, int id)
{
    float m[16];
    VLMReadNodeStateMatrix(rig.c(), rig.s(), id, m);
    const Vec4 eye = Multiply(gl.GetCamera(), Vec4{{m[12], m[13], m[14], 1.0f}});
    const Box& v = gl.GetViewBox();
    return QPoint(int((eye[0] - v.min[0]) / ExtentX(v) * kSize), int((v.max[1] - eye[1]) / ExtentY(v) * kSize));
}

// The posed full character with limits, shown at 400 x 400.
class ViewPixels : public testing::Test {
protected:
    void SetUp() override
    {
        gl_.SetCharacter(nullptr, rig_.c(), rig_.s());
        gl_.resize(kSize, kSize);
        ShowAt400(&gl_, &gl_);
    }
    QImage Frame() { return gl_.GrabFrame().convertToFormat(QImage::Format_RGB32); }

    posed::Rig rig_ = TPosed(fixtures::Full());
    VLMGlWidget gl_{nullptr, nullptr};
};

TEST_F(ViewPixels, TheCharacterShowsFramedAndDisplayFlagsHideAxesAndLimits)
{
    const QImage frame = Frame();
    ASSERT_EQ(frame.size(), QSize(kSize, kSize));
    SaveArtifact(frame, QStringLiteral("view3d_full_character"));

    std::set<QRgb> gizmo;
    for (int y = kSize - 50; y < kSize; ++y)
        for (int x = 0; x < 50; ++x)
            if (PureRgb(frame.pixel(x, y)))
                gizmo.insert(frame.pixel(x, y) & 0xFFFFFFu);
    EXPECT_EQ(gizmo.size(), 3u);

    // The drawing spans the fitted axis but for the framing margin on both
    // sides (the outermost markers showed cut in half on the edge), inside
    // the other.
    QRect drawn;
    const QRgb background = frame.pixel(kSize - 1, 0);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (!InGizmo(x, y) && frame.pixel(x, y) != background)
                drawn |= QRect(x, y, 1, 1);
    const bool wide = ExtentX(gl_.GetCharacterBox()) > ExtentY(gl_.GetCharacterBox());
    const int margin = int(kSize * 0.05 / 1.1);  // 5% of the framed extent each side
    EXPECT_NEAR(wide ? drawn.width() : drawn.height(), kSize - 2 * margin, 6);
    for (const int edge : {wide ? drawn.left() : drawn.top(), kSize - 1 - (wide ? drawn.right() : drawn.bottom())})
        EXPECT_GE(edge, margin - 3);
    EXPECT_LT(wide ? drawn.height() : drawn.width(), kSize - 2 * margin);

    const QImage& all = frame;  // display flags hide the axes and the limit shapes, nothing else
    EXPECT_GT(Count(all, PureRgb), 0);
    EXPECT_GT(Count(all, Tint), 0);
    gl_.SetDisplayFlag(DISPLAY_JOINT_AXES, false);
    const QImage noAxes = Frame();
    gl_.SetDisplayFlag(DISPLAY_ROTATION_LIMITS, false);
    const QImage noLimits = Frame();
    EXPECT_EQ(Count(noAxes, PureRgb), 0);
    EXPECT_GT(Count(noAxes, Tint), 0);
    EXPECT_EQ(Count(noLimits, Tint), 0);
    // With neither (Z axes and swing grids cover the centres) each joint shows its black sphere.
    for (int id = 1; id <= 20; ++id) {
        const QPoint at = ProjectNode(gl_, rig_, id);
        EXPECT_TRUE(Black(noLimits.pixel(at))) << VLMGetNodeName(id) << " at " << at.x() << ", " << at.y();
    }
    int blackLost = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            blackLost += Black(all.pixel(x, y)) && !(Black(noAxes.pixel(x, y)) && Black(noLimits.pixel(x, y)));
    EXPECT_EQ(blackLost, 0);
    EXPECT_EQ(gl_.GetDisplayFlags(), DISPLAY_EFFECTOR_AXES | DISPLAY_FLOOR_CONTACTS);
}

TEST_F(ViewPixels, APoseUpdateMovesTheHandAndClearingLeavesTheGizmo)
{
    const QPoint before = ProjectNode(gl_, rig_, 11);
    const float z[3] = {0, 0, 1};
    rig_.Bend(10, z, -1.5707964f);  // the left forearm (along +X) points down
    gl_.SetDisplayFlag(DISPLAY_JOINT_AXES, false);
    gl_.SetDisplayFlag(DISPLAY_ROTATION_LIMITS, false);
    gl_.UpdatePose(rig_.s());
    const QImage bent = Frame();
    SaveArtifact(bent, QStringLiteral("view3d_elbow_bent"));
    EXPECT_TRUE(Black(bent.pixel(ProjectNode(gl_, rig_, 11))));
    EXPECT_FALSE(Black(bent.pixel(before)));

    gl_.ClearCharacter();
    EXPECT_FALSE(gl_.HasNoCharacter());
    const QImage cleared = Frame();
    const QRgb background = cleared.pixel(kSize - 1, 0);
    EXPECT_TRUE(qGray(background) == qRed(background) && std::abs(qRed(background) - 128) <= 1);
    EXPECT_EQ(Count(cleared, [background](QRgb p) { return p != background; }), 0);
    const Mat4 camera = gl_.GetCamera();
    gl_.FrameNodes({}, FRAME_VIEW_TOP);  // no geometry: nothing
    EXPECT_EQ(std::memcmp(camera.m, gl_.GetCamera().m, sizeof camera.m), 0);
}

TEST_F(ViewPixels, DragsOrbitAndZoomWithTheirCursors)
{
    const Mat4 pressed = gl_.GetCamera();
    Mouse(&gl_, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(200, 200));
    EXPECT_EQ(gl_.cursor().shape(), Qt::BitmapCursor);
    Mouse(&gl_, QEvent::MouseMove, Qt::LeftButton, QPoint(380, 200));
    EXPECT_NE(std::memcmp(pressed.m, gl_.GetCamera().m, sizeof pressed.m), 0);
    SaveArtifact(gl_.GrabFrame(), QStringLiteral("view3d_orbited"));
    Mouse(&gl_, QEvent::MouseMove, Qt::LeftButton, QPoint(200, 200));  // back at the press point: the press camera
    EXPECT_EQ(std::memcmp(pressed.m, gl_.GetCamera().m, sizeof pressed.m), 0);
    Mouse(&gl_, QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(200, 200));
    EXPECT_EQ(gl_.cursor().shape(), Qt::ArrowCursor);

    const float zoom = gl_.GetZoom();
    Mouse(&gl_, QEvent::MouseButtonPress, Qt::RightButton, QPoint(100, 100));
    Mouse(&gl_, QEvent::MouseMove, Qt::RightButton, QPoint(103, 110));  // dy = -10 outweighs dx = 3
    EXPECT_NEAR(ViewCamera::ZoomToDistance(gl_.GetZoom()) / ViewCamera::ZoomToDistance(zoom), std::exp(-0.02f), 1e-5f);
}

// Chooses a menu entry as the keyboard does.
void Choose(QMenu* menu, const QString& text)
{
    QAction* action = FindMenuEntry(menu, text);
    if (action)
        menu->setActiveAction(action);
    QTest::keyClick(menu, action ? Qt::Key_Return : Qt::Key_Escape);
}

QPushButton* Button(VLMWidget& view, const char* toolTip)
{
    for (QPushButton* button : view.findChildren<QPushButton*>())
        if (button->toolTip() == QLatin1String(toolTip))
            return button;
    return nullptr;
}

// Opens the title-bar menu of that button and answers it, clicking again when a
// late focus change (no window manager under Xvfb) closed the popup unanswered.
void OpenMenu(VLMWidget& view, const char* toolTip, std::function<void(QMenu*)> answer)
{
    auto answered = std::make_shared<bool>(false);
    AnswerNextPopup([answered, answer](QMenu* menu) {
        *answered = true;
        answer(menu);
    });
    for (int attempt = 0; attempt < 3 && !*answered; ++attempt)
        QTest::mouseClick(Button(view, toolTip), Qt::LeftButton);
    EXPECT_TRUE(*answered) << toolTip;
}

TEST(ViewFrame, PresetsAndDisplayOptionsThroughTheMenus)
{
    const posed::Rig rig = TPosed(fixtures::Full()), fingerless = TPosed(fixtures::Minimal());
    VLMWidget view(QStringLiteral("3D View"), nullptr, nullptr);
    ShowAt400(&view, view.GetGlWidget());
    VLMGlWidget& gl = *view.GetGlWidget();
    EXPECT_TRUE(Button(view, "Frame body part")->isVisible() && Button(view, "Show/hide character data")->isVisible());
    EXPECT_FALSE(Button(view, "Enable/disable characterization options")->isVisible());
    view.AddOptionsMenuAction(new QAction(QStringLiteral("Option"), &view));
    EXPECT_TRUE(Button(view, "Enable/disable characterization options")->isVisible());

    bool enabled = true;
    OpenMenu(view, "Frame body part", [&enabled](QMenu* menu) {
        enabled = menu->isEnabled();
        menu->close();
    });
    EXPECT_FALSE(enabled);  // no character yet

    gl.SetCharacter(nullptr, rig.c(), rig.s());
    OpenMenu(view, "Frame body part", [](QMenu* menu) { Choose(menu, QStringLiteral("Frame Left Arm - Top")); });
    const Box arm = ViewCamera::NodesBoundingBox({11, 10, 9}, gl.GetRenderer()->Geometry()->SkeletonStore());
    ViewCamera::Framing top;
    ASSERT_TRUE(ViewCamera::FrameBox(arm, FRAME_VIEW_TOP, &top));
    EXPECT_EQ(std::memcmp(top.camera.m, gl.GetCamera().m, sizeof top.camera.m), 0);
    EXPECT_EQ(gl.GetZoom(), top.zoom);
    SaveArtifact(gl.GrabFrame(), QStringLiteral("view3d_left_arm_top"));

    for (const auto& [entry, flags] :
         {std::pair<const char*, int>("Axis", 25), {"Limits", 24}, {"Axis", 28}, {"Limits", 29}}) {
        OpenMenu(view, "Show/hide character data", [entry = entry](QMenu* menu) { Choose(menu, entry); });
        EXPECT_EQ(gl.GetDisplayFlags(), flags);
    }

    // A hand preset on a character without fingers keeps the camera.
    gl.SetCharacter(nullptr, fingerless.c(), fingerless.s());
    const Mat4 camera = gl.GetCamera();
    const float zoom = gl.GetZoom();
    OpenMenu(view, "Frame body part", [](QMenu* menu) { Choose(menu, QStringLiteral("Frame Right Hand")); });
    EXPECT_EQ(std::memcmp(camera.m, gl.GetCamera().m, sizeof camera.m), 0);
    EXPECT_EQ(gl.GetZoom(), zoom);

    // The whole frame with its title bar, the GL frame painted in.
    QImage shot = view.grab().toImage();
    QPainter(&shot).drawImage(gl.geometry().topLeft(), gl.GrabFrame());
    SaveArtifact(shot, QStringLiteral("view3d_frame"));
}

class ShareHub : public MinimalHub {
public:
    const QGLWidget* GetGLShareWidget() const override { return &share; }
    QGLWidget share;
};

TEST(ViewFrame, SharesTheHostsContextAndDrawsOnceShownInAWindow)
{
    ShareHub hub;
    VLMWidget shared(QStringLiteral("3D View"), &hub, nullptr);
    EXPECT_TRUE(QGLContext::areSharing(hub.share.context(), shared.GetGlWidget()->context()));
    VLMWidget alone(QStringLiteral("3D View"), nullptr, nullptr);
    EXPECT_FALSE(alone.GetGlWidget()->context()->isSharing());

    // Built without parent, given its character, then put into a window.
    const posed::Rig rig = TPosed(fixtures::Full(), posed::Limits::None);
    auto* view = new VLMWidget(QStringLiteral("3D View"), nullptr, nullptr);
    view->GetGlWidget()->SetCharacter(nullptr, rig.c(), rig.s());
    QMainWindow window;
    window.setCentralWidget(view);
    ShowAt400(&window, view->GetGlWidget());
    const QImage frame = view->GetGlWidget()->GrabFrame();
    EXPECT_GT(Count(frame, Black), 100);
}

TEST(ViewLifecycle, RebuildsAndNullPointers)
{
    SkeletonRenderer renderer;
    float lo[3], hi[3];
    EXPECT_FALSE(renderer.UpdatePose(nullptr, lo, hi));
    renderer.DrawFloorContacts(nullptr, nullptr);  // no geometry: no GL call, no crash
    EXPECT_FALSE(renderer.Build(nullptr, nullptr, lo, hi));
    renderer.NewQuadric();  // the old quadric is freed (the leak checker watches)
    renderer.SetBoneColour(1, 0, 0, 1);
    renderer.NewQuadric();
    EXPECT_EQ(renderer.BoneColour()[0], 0.0f);

    const posed::Rig full = TPosed(fixtures::Full()), minimal = TPosed(fixtures::Minimal());
    ASSERT_TRUE(renderer.Build(full.c(), full.s(), lo, hi));
    ASSERT_TRUE(renderer.Build(minimal.c(), minimal.s(), lo, hi));
    std::vector<std::uint32_t> expected;
    const GeometryStore& store = renderer.Geometry()->SkeletonStore();
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const std::set<int> kinds = {0, 1, 3, 5, 6};
        if (const auto* l = dynamic_cast<const VLMDrawObjectNS::LinesObject*>(store.Object(i)))
            for (std::size_t k = 0; kinds.count(l->partKind) && k < l->PairCount(); ++k)
                expected.insert(expected.end(), l->Line(k).begin(), l->Line(k).end());
    }
    EXPECT_EQ(renderer.Indices(), expected);
    EXPECT_EQ(renderer.State(), minimal.s());
    // Another character's state is not read through this geometry.
    EXPECT_TRUE(renderer.UpdatePose(full.s(), lo, hi));
    EXPECT_EQ(renderer.State(), minimal.s());

    VLMGlWidget gl(nullptr, nullptr);
    gl.UpdatePose(nullptr);
    gl.SetCharacter(nullptr, nullptr, full.s());
    gl.SetCharacter(nullptr, full.c(), nullptr);
    EXPECT_TRUE(gl.HasNoCharacter());
    EXPECT_FALSE(gl.GetRenderer()->HasGeometry());
    EXPECT_EQ(std::memcmp(gl.GetCamera().m, Identity().m, sizeof Identity().m), 0);
}

TEST(ViewLifecycle, FloorContactsAreBuiltOnceThenReplayed)
{
    const posed::Rig rig = TPosed(fixtures::Full(), posed::Limits::None);
    VLMEffectorSetStateHandle set = VLMAdopt<VLMEffectorSetStateHandle>(VLMCreateEffectorSetState(&std::malloc));
    VLMPropertySetState properties;
    VLMPropertySetDefaults(&properties);
    VLMSetPropertyMode(&properties, 31, 1u);  // FloorContact on: the feet are drawn
    VLMSetEffectorsFromPose(rig.c(), set.get(), rig.s(), &properties);

    VLMGlWidget gl(nullptr, nullptr);
    gl.SetCharacter(nullptr, rig.c(), rig.s());
    gl.makeCurrent();
    SkeletonRenderer* renderer = gl.GetRenderer();
    ASSERT_TRUE(renderer->HasGeometry());
    const GeometryStore& contacts = renderer->Geometry()->FloorContactStore();
    ASSERT_EQ(contacts.ObjectCount(), 0u);

    renderer->DrawFloorContacts(set.get(), &properties);
    const std::size_t built = contacts.ObjectCount();
    EXPECT_GT(built, 0u);
    renderer->DrawFloorContacts(set.get(), &properties);  // replayed in place, not rebuilt
    EXPECT_EQ(contacts.ObjectCount(), built);
}

}  // namespace

namespace {

// The rectangle of the pixels that pass the test, in the frame's own (device)
// pixels.
template <typename Test>
QRect Bounds(const QImage& image, Test test)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (test(x, y, image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

// The device-pixel ratio the suite was started with (QT_SCALE_FACTOR).
qreal RequestedRatio()
{
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? factor : 1.0;
}

}  // namespace

// At a device-pixel ratio of 2 the frame holds twice the pixels each way; the
// drawing must scale with it, not stay in the lower-left quarter. The suite
// runs this once as it is and once more under QT_SCALE_FACTOR=2.
TEST(ViewHighDpi, TheCharacterAndTheGizmoFillTheSameShareOfTheFrameAtAnyPixelRatio)
{
    const posed::Rig rig = TPosed(fixtures::Full());
    VLMGlWidget gl(nullptr, nullptr);
    gl.SetCharacter(nullptr, rig.c(), rig.s());
    gl.SetDisplayFlag(DISPLAY_JOINT_AXES, false);  // pure red, green and blue are then the gizmo's alone
    gl.SetDisplayFlag(DISPLAY_ROTATION_LIMITS, false);
    gl.resize(kSize, kSize);
    ShowAt400(&gl, &gl);
    const qreal ratio = gl.devicePixelRatioF();
    ASSERT_EQ(ratio, RequestedRatio());

    const QImage frame = gl.GrabFrame().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(frame.size(), QSize(kSize, kSize) * ratio);
    SaveArtifact(frame, QStringLiteral("view3d_pixel_ratio_%1").arg(ratio));
    const int corner = int(50 * ratio);
    const auto inCorner = [&](int x, int y) { return x < corner && y >= frame.height() - corner; };
    const QRgb background = frame.pixel(frame.width() - 1, 0);

    // The character: the share its box takes of the view volume, within a
    // pixel or two of the frame at ratio 1.
    const QRect drawn = Bounds(frame, [&](int x, int y, QRgb p) { return !inCorner(x, y) && p != background; });
    const Box& box = gl.GetCharacterBox();
    const Box& view = gl.GetViewBox();
    const double wantX = ExtentX(box) / ExtentX(view), wantY = ExtentY(box) / ExtentY(view);
    const double shareX = double(drawn.width()) / frame.width(), shareY = double(drawn.height()) / frame.height();
    std::printf("ratio %.0f: character %.3f x %.3f of the frame (box %.3f x %.3f)\n", ratio, shareX, shareY, wantX,
                wantY);
    EXPECT_NEAR(shareX, wantX, 0.02);
    EXPECT_NEAR(shareY, wantY, 0.02);
    EXPECT_NEAR((drawn.left() + drawn.right() + 1) / 2.0 / frame.width(), 0.5, 0.02);  // centred

    // The gizmo: its three axes from the middle of the 50-pixel corner, each
    // 20 of the 68 units across it (about 15 pixels at ratio 1).
    const QRect gizmo = Bounds(frame, [&](int x, int y, QRgb p) { return inCorner(x, y) && PureRgb(p); });
    const double unit = 50.0 * ratio / 68.0;
    std::printf("ratio %.0f: gizmo %d x %d device pixels of %d\n", ratio, gizmo.width(), gizmo.height(), frame.width());
    EXPECT_NEAR(gizmo.left(), 25 * ratio, 1.5 * ratio);
    EXPECT_NEAR(frame.height() - 1 - gizmo.bottom(), 25 * ratio, 1.5 * ratio);
    EXPECT_NEAR(gizmo.width(), 20 * unit, 1.5 * ratio);
    EXPECT_NEAR(gizmo.height(), 20 * unit, 1.5 * ratio);
}

namespace {

int NotBackground(const QImage& frame)
{
    const QRgb background = frame.pixel(frame.width() - 1, 0);
    return Count(frame, [background](QRgb p) { return p != background; });
}

}  // namespace

// Every size of the view follows the character's height, so a figure ten or a
// hundred times as tall (a file in millimetres, or larger) looks the same; the
// fixed depth planes cut off its far arm, its feet or its head when it is seen
// from the side, above or below, and the zoom stopped short of framing one
// taller than about 2,000 units.
TEST(ViewFraming, EveryJointOfALargeCharacterStaysInViewFromEveryDirection)
{
    const posed::Rig small = TPosed(fixtures::Full(), posed::Limits::None);
    VLMGlWidget a(nullptr, nullptr), b(nullptr, nullptr);
    a.SetCharacter(nullptr, small.c(), small.s());
    ShowAt400(&a, &a);
    ShowAt400(&b, &b);
    std::vector<posed::Rig> large;  // each outlives the view's use of it
    large.reserve(2);
    for (const float times : {100.0f, 10.0f}) {
        fixtures::Proportions tall = fixtures::Full();
        tall.height *= times;
        large.push_back(TPosed(tall, posed::Limits::None));
        b.SetCharacter(nullptr, large.back().c(), large.back().s());
        for (int view = FRAME_VIEW_FRONT; view <= FRAME_VIEW_BOTTOM; ++view) {
            SCOPED_TRACE(testing::Message() << times << " times as tall, view " << view);
            a.FrameNodes({}, FrameView(view));
            b.FrameNodes({}, FrameView(view));
            const QImage smallFrame = a.GrabFrame(), largeFrame = b.GrabFrame();
            if (view == FRAME_VIEW_TOP)
                SaveArtifact(largeFrame, QStringLiteral("view3d_large_character_top_%1").arg(times));
            EXPECT_EQ(JointsOutsideTheView(a), "");
            EXPECT_EQ(JointsOutsideTheView(b), "");
            const int want = NotBackground(smallFrame), got = NotBackground(largeFrame);
            EXPECT_NEAR(got, want, 0.02 * want);
        }
        // A drag zooms out beyond the framed size, as for a small one.
        const float framed = b.GetZoom();
        b.ZoomBy(0, 300);
        EXPECT_NEAR(b.GetZoom(), framed * std::exp(0.6f), 0.01f * framed);
    }

    // Orbited a quarter turn about the screen's x axis from the front, the
    // character is seen from above with its feet far behind its head.
    b.FrameNodes({}, FRAME_VIEW_FRONT);
    Mouse(&b, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(200, 200));
    const float axis[4] = {1, 0, 0, 0};
    b.ApplyOrbit(90.0f, axis);
    Mouse(&b, QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(200, 200));
    SaveArtifact(b.GrabFrame(), QStringLiteral("view3d_large_character_orbited"));
    EXPECT_EQ(JointsOutsideTheView(b), "");
}
