// The 3D character view: a title bar (a label and three flat icon buttons
// that open menus) above the GL viewport. The frame menu aims the viewport at
// the whole body or one body part from a fixed direction; the display menu
// shows or hides the joint axes and the rotation-limit shapes; the
// characterization-options menu starts empty and its button stays hidden
// until a caller adds an action.
#ifndef SKW_VIEW3D_VLM_WIDGET_H
#define SKW_VIEW3D_VLM_WIDGET_H

#include "base/skw_export.h"

#include <QFrame>
#include <QString>

#include <memory>
#include <vector>

class CharacterizationModel;
class IDCCHub;
class QAction;
class QHBoxLayout;
class QMenu;
class QPushButton;
class VLMGlWidget;

class SKW_EXPORT VLMWidget : public QFrame {
    Q_OBJECT

public:
    // One frame preset: its menu entry, the rig nodes whose bones it frames
    // (none: the whole character) and the FrameView it looks from.
    struct FrameInfo {
        // The ids first, first + 1, ..., last; none when first > last.
        FrameInfo(int first, int last);
        // The ids of a list ended by 0 (rig node 0 cannot stand in one); a null
        // list gives none.
        explicit FrameInfo(const int* ids);

        QAction* action = nullptr;
        std::vector<int> nodeIds;
        int view = 0;
    };

    // The viewport shares the host's GL context when the hub offers one.
    VLMWidget(const QString& title, IDCCHub* hub, CharacterizationModel* model);
    ~VLMWidget() override;

    VLMGlWidget* GetGlWidget() const { return glWidget_; }
    // The title bar's layout, for callers that add widgets of their own to it.
    QHBoxLayout* GetHeaderLayout() const { return headerLayout_; }
    // Adds to the display menu; its button shows while the menu has actions.
    void AddMenuAction(QAction* action);
    // Adds to the characterization-options menu; the same for its button.
    void AddOptionsMenuAction(QAction* action);
    // Frames the viewport on the first preset (the whole body from the front).
    void FrameFirstPreset();

private slots:
    void FrameSomething();
    void DisplayOption();
    void CharacterizationOption();
    void DisplayLimits(bool on);
    void DisplayAxis(bool on);

private:
    void BuildPresets();

    VLMGlWidget* glWidget_ = nullptr;
    QHBoxLayout* headerLayout_ = nullptr;
    std::vector<std::shared_ptr<FrameInfo>> presets_;
    QPushButton* frameButton_ = nullptr;
    QMenu* frameMenu_ = nullptr;
    QPushButton* visibilityButton_ = nullptr;
    QMenu* displayMenu_ = nullptr;
    QPushButton* settingsButton_ = nullptr;
    QMenu* optionsMenu_ = nullptr;
};

#endif
