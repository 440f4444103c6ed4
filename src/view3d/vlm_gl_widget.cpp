#include "view3d/vlm_gl_widget.h"

#include "model/resource_bridge.h"

#include <QMouseEvent>

#include <GL/gl.h>

using namespace ViewMath;

namespace {

// Side of the axis gizmo's corner square, in logical pixels.
constexpr qreal kGizmoSize = 50.0;

// A drag cursor from its picture, the hot spot in the middle; the arrow while
// the picture tree lacks it.
QCursor PictureCursor(const QString& name)
{
    const QPixmap picture = ResourceBridge::LoadSharedPicture(name);
    if (picture.isNull())
        return QCursor(Qt::ArrowCursor);
    return QCursor(picture, -1, -1);
}

}  // namespace

VLMGlWidget::VLMGlWidget(IDCCHub* hub, CharacterizationModel* model) : QGLWidget(), hub_(hub), model_(model)
{
    Construct();
}

VLMGlWidget::VLMGlWidget(IDCCHub* hub, CharacterizationModel* model, const QGLWidget* shareWidget, QWidget* parent)
    : QGLWidget(parent, shareWidget), hub_(hub), model_(model)
{
    Construct();
}

void VLMGlWidget::Construct()
{
    orbitCursor_ = PictureCursor(QStringLiteral("Cursor_View_Orbit.png"));
    panCursor_ = PictureCursor(QStringLiteral("Cursor_View_Pan.png"));
    zoomCursor_ = PictureCursor(QStringLiteral("Cursor_View_Zoom.png"));
    setMinimumSize(150, 150);
    viewBox_ = ViewCamera::Projection(width(), height(), zoom_).viewBox;
}

VLMGlWidget::~VLMGlWidget()
{
    owner_ = nullptr;
    state_ = nullptr;
    renderer_.Clear();
}

// --- The character ------------------------------------------------------------------------------

bool VLMGlWidget::BuildCharacter(void* owner, VLMCharacter* character, VLMCharacterState* state)
{
    if (!character || !state)
        return false;
    owner_ = owner;
    character_ = character;
    state_ = state;
    renderer_.Build(character, state, characterBox_.min, characterBox_.max);
    return true;
}

void VLMGlWidget::SetCharacter(void* owner, VLMCharacter* character, VLMCharacterState* state)
{
    if (BuildCharacter(owner, character, state))
        FrameAll();
}

void VLMGlWidget::ReplaceCharacter(void* owner, VLMCharacter* character, VLMCharacterState* state)
{
    if (BuildCharacter(owner, character, state))
        updateGL();
}

void VLMGlWidget::UpdatePose(VLMCharacterState* state)
{
    if (!renderer_.UpdatePose(state, characterBox_.min, characterBox_.max))
        return;
    state_ = renderer_.State();
    updateGL();
}

void VLMGlWidget::ClearCharacter()
{
    owner_ = nullptr;
    state_ = nullptr;
    renderer_.Clear();
    updateGL();
}

void VLMGlWidget::SetDisplayFlag(int bit, bool on)
{
    displayFlags_ = on ? displayFlags_ | bit : displayFlags_ & ~bit;
    renderer_.SetDisplayFlags(displayFlags_);
    update();
}

// --- Camera ---------------------------------------------------------------------------------------

void VLMGlWidget::FrameNodes(const std::vector<int>& nodeIds, FrameView view)
{
    if (!renderer_.HasGeometry())
        return;
    if (nodeIds.empty())
        FrameBox(characterBox_, view);
    else
        FrameBox(ViewCamera::NodesBoundingBox(nodeIds, renderer_.Geometry()->SkeletonStore()), view);
}

void VLMGlWidget::FrameAll()
{
    if (!character_ || !state_)
        return;
    FrameBox(characterBox_, FRAME_VIEW_FRONT);
}

void VLMGlWidget::FrameBox(const Box& box, FrameView view)
{
    ViewCamera::Framing framing;
    if (!ViewCamera::FrameBox(box, view, &framing))
        return;
    target_ = framing.target;
    eye_ = framing.eye;
    targetDistance_ = framing.targetDistance;
    camera_ = framing.camera;
    UpdateGizmoMatrix();
    zoom_ = framing.zoom;
    ApplyZoom();
}

// The ceiling follows the character: one too large for 0.99 can be zoomed
// out beyond its framed size as an ordinary one can.
float VLMGlWidget::ZoomCeiling() const
{
    return renderer_.HasGeometry() ? ViewCamera::ZoomCeiling(characterBox_) : ViewCamera::kMaxZoom;
}

void VLMGlWidget::SetZoom(float zoom)
{
    zoom_ = ViewCamera::ClampZoom(zoom, ZoomCeiling());
    ApplyZoom();
}

void VLMGlWidget::ZoomBy(int dx, int dy)
{
    zoom_ = ViewCamera::ZoomAfterDrag(zoom_, dx, dy, ZoomCeiling());
    ApplyZoom();
}

void VLMGlWidget::ApplyZoom()
{
    // The view box is needed for panning whether or not GL runs.
    viewBox_ = ViewCamera::Projection(width(), height(), zoom_).viewBox;
    if (isValid()) {
        makeCurrent();
        GlSetupProjection();
        doneCurrent();
    }
    updateGL();
}

void VLMGlWidget::Pan(int dx, int dy)
{
    camera_ = ViewCamera::PanCamera(camera_, dx, dy, width(), height(), viewBox_);
    updateGL();
}

void VLMGlWidget::BeginOrbit(int x, int y)
{
    trackballStart_ = TrackballPoint(x, y);
    dragStart_ = camera_;
}

void VLMGlWidget::Orbit(int x, int y)
{
    float degrees = 0.0f;
    Vec4 axis;
    if (ViewCamera::OrbitTurn(trackballStart_, TrackballPoint(x, y), &degrees, &axis)) {
        ApplyOrbit(degrees, axis.v);
        return;
    }
    // Back at the press point: the camera of the press, not the last turn.
    camera_ = dragStart_;
    UpdateGizmoMatrix();
    updateGL();
}

void VLMGlWidget::ApplyOrbit(float degrees, const float axis[4])
{
    camera_ = ViewCamera::OrbitCamera(dragStart_, degrees, Vec4{{axis[0], axis[1], axis[2], axis[3]}}, targetDistance_);
    UpdateGizmoMatrix();
    updateGL();
}

Vec4 VLMGlWidget::TrackballPoint(int x, int y) const { return ViewCamera::TrackballPoint(x, y, width(), height()); }

void VLMGlWidget::UpdateGizmoMatrix() { gizmo_ = RotationPart(camera_); }

QImage VLMGlWidget::GrabFrame()
{
    // Without a context grabFrameBuffer would dereference nothing.
    if (!isValid() || !context() || !context()->isValid())
        return QImage();
    // One frame into the back buffer, read before any swap: updateGL would
    // paint only a mapped widget.
    const bool swap = autoBufferSwap();
    setAutoBufferSwap(false);
    glDraw();
    const QImage image = grabFrameBuffer();
    setAutoBufferSwap(swap);
    return image;
}

// --- Mouse ----------------------------------------------------------------------------------------

void VLMGlWidget::mousePressEvent(QMouseEvent* event)
{
    dragMode_ = event->button();
    lastMouseX_ = event->x();
    lastMouseY_ = event->y();
    switch (event->button()) {
    case Qt::LeftButton:
        BeginOrbit(event->x(), event->y());
        setCursor(orbitCursor_);
        break;
    case Qt::RightButton: setCursor(zoomCursor_); break;
    case Qt::MiddleButton: setCursor(panCursor_); break;
    default: break;
    }
    QGLWidget::mousePressEvent(event);
}

void VLMGlWidget::mouseMoveEvent(QMouseEvent* event)
{
    QGLWidget::mouseMoveEvent(event);
    switch (dragMode_) {
    case Qt::LeftButton: Orbit(event->x(), event->y()); break;
    case Qt::RightButton: ZoomBy(event->x() - lastMouseX_, lastMouseY_ - event->y()); break;
    case Qt::MiddleButton: Pan(event->x() - lastMouseX_, lastMouseY_ - event->y()); break;
    default: break;
    }
    lastMouseX_ = event->x();
    lastMouseY_ = event->y();
}

void VLMGlWidget::mouseReleaseEvent(QMouseEvent* event)
{
    dragMode_ = 0;
    setCursor(Qt::ArrowCursor);
    QGLWidget::mouseReleaseEvent(event);
}

// --- GL -------------------------------------------------------------------------------------------

// Sets state only, so it may run again when the widget is reparented and gets
// a new context.
void VLMGlWidget::initializeGL()
{
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POLYGON_SMOOTH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glLineWidth(1.0f);
    const QSize device = DeviceSize();
    glViewport(0, 0, device.width(), device.height());
    GlSetupProjection();
}

// Qt hands the size in device pixels, which glViewport counts.
void VLMGlWidget::resizeGL(int w, int h)
{
    glViewport(0, 0, w, h);
    GlSetupProjection();
}

QSize VLMGlWidget::DeviceSize() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(qRound(width() * ratio), qRound(height() * ratio));
}

void VLMGlWidget::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GlDrawAxisGizmo();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMultMatrixf(camera_.m);
    if (renderer_.HasGeometry())
        renderer_.Draw();
}

void VLMGlWidget::GlSetupProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Only the aspect of the size counts here, so logical pixels serve.
    ViewCamera::Ortho o = ViewCamera::Projection(width(), height(), zoom_);
    viewBox_ = o.viewBox;
    // The fixed depth planes hold a character of a few metres in centimetres;
    // a larger one (a file in millimetres) needs them further apart, or a
    // side or top view would clip its far arm, its feet or its head.
    if (renderer_.HasGeometry())
        o = ViewCamera::HoldBoxInDepth(o, camera_, characterBox_);
    glOrtho(o.left, o.right, o.bottom, o.top, o.zNear, o.zFar);
    glMatrixMode(GL_MODELVIEW);
}

void VLMGlWidget::GlDrawAxisGizmo()
{
    static const float kVertices[18] = {1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    static const float kColours[18] = {1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1};
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // The corner square is 50 logical pixels, as large on a high-DPI screen
    // as on any other.
    const QSize device = DeviceSize();
    const int corner = qRound(kGizmoSize * devicePixelRatioF());
    glViewport(0, 0, corner, corner);
    glOrtho(-34.0, 34.0, -34.0, 34.0, -34.0, 2014.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMultMatrixf(gizmo_.m);
    glScalef(20.0f, 20.0f, 20.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, kVertices);
    glColorPointer(3, GL_FLOAT, 0, kColours);
    glDrawArrays(GL_LINES, 0, 6);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glViewport(0, 0, device.width(), device.height());
    GlSetupProjection();
}
