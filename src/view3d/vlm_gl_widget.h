// The OpenGL viewport of the 3D character view: one characterized skeleton (a
// rig character with a pose state) drawn by the skeleton renderer through an
// orthographic camera. Left drag orbits about the framed target, right drag
// zooms, middle drag pans; an axis gizmo sits in the lower-left corner.
// Framing aims the camera at the whole character or at the bones ending at a
// list of rig nodes, from one of six directions.
//
// The widget may be built before it has a parent and before it is shown; GL
// set-up may run again after reparenting.
#ifndef SKW_VIEW3D_VLM_GL_WIDGET_H
#define SKW_VIEW3D_VLM_GL_WIDGET_H

#include "base/skw_export.h"
#include "view3d/skeleton_renderer.h"
#include "view3d/view_camera.h"
#include "view3d/view_math.h"

#include <QCursor>
#include <QGLWidget>
#include <QImage>

#include <vector>

class CharacterizationModel;
class IDCCHub;

class SKW_EXPORT VLMGlWidget : public QGLWidget {
public:
    // Without parent and without a shared context.
    VLMGlWidget(IDCCHub* hub, CharacterizationModel* model);
    // Sharing the GL context of `shareWidget` when it is not null.
    VLMGlWidget(IDCCHub* hub, CharacterizationModel* model, const QGLWidget* shareWidget, QWidget* parent);
    ~VLMGlWidget() override;

    // Builds the skeleton geometry from the character's rest pose and the
    // state's node matrices and frames the whole character from the front.
    // `owner` is kept, never read. Nothing happens for a null character or
    // state.
    void SetCharacter(void* owner, VLMCharacter* character, VLMCharacterState* state);
    // The same build with the camera as it is: for a caller that shows the
    // same figure again after an edit and must not undo the user's orbit,
    // pan and zoom. Nothing happens for a null character or state.
    void ReplaceCharacter(void* owner, VLMCharacter* character, VLMCharacterState* state);
    // Rewrites the geometry for the pose now in the state and repaints. A state
    // of the character's size becomes the one the view reads; null or another
    // character's state keeps the old one. Nothing happens without geometry.
    void UpdatePose(VLMCharacterState* state);
    // Removes the geometry; the character pointer stays (HasNoCharacter stays
    // false) and framing does nothing until the next SetCharacter.
    void ClearCharacter();
    bool HasNoCharacter() const { return character_ == nullptr; }
    // Sets or clears display flag bits (DISPLAY_* of skeleton_renderer.h).
    void SetDisplayFlag(int bit, bool on);
    int GetDisplayFlags() const { return displayFlags_; }
    SkeletonRenderer* GetRenderer() { return &renderer_; }

    // Frames the bones ending at the listed rig nodes (all of the character for
    // an empty list). Nothing without geometry or when no listed node ends a
    // bone.
    void FrameNodes(const std::vector<int>& nodeIds, FrameView view);
    // Frames the whole character from the front; nothing without a character
    // and state.
    void FrameAll();
    // Aims the camera at the box from the view and fits its x and y extents.
    // A box that holds nothing leaves camera and zoom as they are.
    void FrameBox(const ViewMath::Box& box, FrameView view);
    void SetZoom(float zoom);

    // The drags, in widget pixels (dy positive upwards).
    void ZoomBy(int dx, int dy);
    void Pan(int dx, int dy);
    void BeginOrbit(int x, int y);
    void Orbit(int x, int y);
    void ApplyOrbit(float degrees, const float axis[4]);
    ViewMath::Vec4 TrackballPoint(int x, int y) const;
    void UpdateGizmoMatrix();

    float GetZoom() const { return zoom_; }
    // The largest zoom the setters and the zoom drag allow now: 0.99, or more
    // for a character too large to show whole at 0.99.
    float ZoomCeiling() const;
    const ViewMath::Mat4& GetCamera() const { return camera_; }
    const ViewMath::Box& GetViewBox() const { return viewBox_; }
    const ViewMath::Box& GetCharacterBox() const { return characterBox_; }

    // The current frame as the GL draws it: QWidget::grab shows a GL widget
    // black. A null image when there is no valid GL context (offscreen
    // platforms, no display).
    QImage GrabFrame();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void Construct();
    // The geometry of a character and its state, kept as the view's own;
    // false, with nothing changed, for a null character or state.
    bool BuildCharacter(void* owner, VLMCharacter* character, VLMCharacterState* state);
    // The widget's size in device pixels, which GL viewports count: on a
    // high-DPI screen a logical pixel covers several.
    QSize DeviceSize() const;
    void GlSetupProjection();
    void GlDrawAxisGizmo();
    // The projection again inside makeCurrent / doneCurrent, then a repaint.
    void ApplyZoom();

    IDCCHub* hub_;
    CharacterizationModel* model_;
    SkeletonRenderer renderer_;
    float zoom_ = 1.0f;
    int displayFlags_ = DISPLAY_DEFAULT;
    int lastMouseX_ = 0;
    int lastMouseY_ = 0;
    int dragMode_ = 0;  // Qt button of the drag: 0 none, 1 orbit, 2 zoom, 4 pan
    ViewMath::Box characterBox_ = ViewMath::ResetBox();
    void* owner_ = nullptr;
    VLMCharacter* character_ = nullptr;
    VLMCharacterState* state_ = nullptr;
    ViewMath::Box viewBox_ = ViewMath::ResetBox();
    QCursor orbitCursor_;
    QCursor panCursor_;
    QCursor zoomCursor_;
    // Until the first framing and press the camera looks from the origin.
    float targetDistance_ = 0.0f;
    ViewMath::Vec4 trackballStart_{{0.0f, 0.0f, 1.0f, 0.0f}};
    ViewMath::Vec4 target_{{0.0f, 0.0f, 0.0f, 1.0f}};
    ViewMath::Vec4 eye_{{0.0f, 0.0f, 0.0f, 1.0f}};
    ViewMath::Mat4 camera_ = ViewMath::Identity();
    ViewMath::Mat4 dragStart_ = ViewMath::Identity();
    ViewMath::Mat4 gizmo_ = ViewMath::Identity();
};

#endif
