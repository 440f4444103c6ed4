#include "view3d/vlm_widget.h"

#include "view3d/vlm_gl_widget.h"

#include "model/idcc_hub.h"
#include "model/resource_bridge.h"
#include "widgets/icon_button.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Rig node ids of the presets' lists, each ended by 0.
const int kRightArm[] = {14, 13, 12, 0};                // RightHand, RightForeArm, RightArm
const int kLeftArm[] = {11, 10, 9, 0};                  // LeftHand, LeftForeArm, LeftArm
const int kLegs[] = {2, 3, 4, 16, 5, 6, 7, 17, 0};      // both legs down to the toe bases
const int kNeckFirst = 32, kNeckLast = 40, kHead = 15;  // Neck1..Neck9, then Head
const int kSpineFirst = 23, kSpineLast = 31, kSpine = 8;
const int kRightFingersFirst = 74, kRightFingersLast = 97;
const int kLeftFingersFirst = 50, kLeftFingersLast = 73;

// Opens a menu modally under a button's lower-left corner.
QAction* ExecUnder(QMenu* menu, QPushButton* button)
{
    return menu->exec(button->mapToGlobal(QPoint(0, button->height())));
}

}  // namespace

VLMWidget::FrameInfo::FrameInfo(int first, int last)
{
    for (int id = first; id <= last; ++id)
        nodeIds.push_back(id);
}

VLMWidget::FrameInfo::FrameInfo(const int* ids)
{
    for (const int* id = ids; id && *id != 0; ++id)
        nodeIds.push_back(*id);
}

VLMWidget::VLMWidget(const QString& title, IDCCHub* hub, CharacterizationModel* model) : QFrame()
{
    frameMenu_ = new QMenu(this);
    displayMenu_ = new QMenu(this);
    optionsMenu_ = new QMenu(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* header = new QFrame;
    headerLayout_ = new QHBoxLayout(header);
    headerLayout_->setContentsMargins(0, 0, 0, 0);
    headerLayout_->addWidget(new QLabel(title));
    headerLayout_->addStretch(1);
    const auto button = [this](const char* picture, const QString& toolTip, void (VLMWidget::*slot)()) {
        QPushButton* made =
            MakeIconButton(ResourceBridge::LoadSharedPicture(QString::fromLatin1(picture)), true, toolTip);
        connect(made, &QPushButton::clicked, this, slot);
        headerLayout_->addWidget(made);
        return made;
    };
    settingsButton_ = button("ViewportButton_Settings.png", tr("Enable/disable characterization options"),
                             &VLMWidget::CharacterizationOption);
    visibilityButton_ =
        button("ViewportButton_Visibility.png", tr("Show/hide character data"), &VLMWidget::DisplayOption);
    frameButton_ = button("ViewportButton_Frame.png", tr("Frame body part"), &VLMWidget::FrameSomething);
    settingsButton_->setVisible(false);
    visibilityButton_->setVisible(false);
    layout->addWidget(header, 0);

    const QGLWidget* share = hub ? hub->GetGLShareWidget() : nullptr;
    glWidget_ = share ? new VLMGlWidget(hub, model, share, nullptr) : new VLMGlWidget(hub, model);
    layout->addWidget(glWidget_, 1);

    BuildPresets();

    auto* axis = new QAction(tr("Axis"), this);
    axis->setCheckable(true);
    axis->setChecked(true);
    connect(axis, &QAction::toggled, this, &VLMWidget::DisplayAxis);
    AddMenuAction(axis);
    auto* limits = new QAction(tr("Limits"), this);
    limits->setCheckable(true);
    limits->setChecked(true);
    connect(limits, &QAction::toggled, this, &VLMWidget::DisplayLimits);
    AddMenuAction(limits);
}

VLMWidget::~VLMWidget() = default;

void VLMWidget::BuildPresets()
{
    const auto add = [this](std::shared_ptr<FrameInfo> preset, const QString& label, FrameView view, bool separator) {
        preset->action = frameMenu_->addAction(label);
        preset->view = view;
        presets_.push_back(std::move(preset));
        if (separator)
            frameMenu_->addSeparator();
    };
    const auto range = [](int first, int last) { return std::make_shared<FrameInfo>(first, last); };
    const auto list = [](const int* ids) { return std::make_shared<FrameInfo>(ids); };
    const auto rangeThen = [](int first, int last, int then) {
        auto preset = std::make_shared<FrameInfo>(first, last);
        preset->nodeIds.push_back(then);
        return preset;
    };

    // Three of the whole-body labels are shown as they are, untranslated.
    add(list(nullptr), tr("Frame Full Body - Front"), FRAME_VIEW_FRONT, false);
    add(list(nullptr), QStringLiteral("Frame Full Body - Top"), FRAME_VIEW_TOP, false);
    add(list(nullptr), QStringLiteral("Frame Full Body - Left"), FRAME_VIEW_LEFT, false);
    add(list(nullptr), QStringLiteral("Frame Full Body - Right"), FRAME_VIEW_RIGHT, true);
    add(rangeThen(kNeckFirst, kNeckLast, kHead), tr("Frame Neck"), FRAME_VIEW_FRONT, false);
    add(rangeThen(kSpineFirst, kSpineLast, kSpine), tr("Frame Spine"), FRAME_VIEW_FRONT, true);
    add(range(kRightFingersFirst, kRightFingersLast), tr("Frame Right Hand"), FRAME_VIEW_FRONT, false);
    add(range(kRightFingersFirst, kRightFingersLast), tr("Frame Right Hand - Top"), FRAME_VIEW_TOP, true);
    add(list(kRightArm), tr("Frame Right Arm"), FRAME_VIEW_FRONT, false);
    add(list(kRightArm), tr("Frame Right Arm - Top"), FRAME_VIEW_TOP, true);
    add(range(kLeftFingersFirst, kLeftFingersLast), tr("Frame Left Hand"), FRAME_VIEW_FRONT, false);
    add(range(kLeftFingersFirst, kLeftFingersLast), tr("Frame Left Hand - Top"), FRAME_VIEW_TOP, true);
    add(list(kLeftArm), tr("Frame Left Arm"), FRAME_VIEW_FRONT, false);
    add(list(kLeftArm), tr("Frame Left Arm - Top"), FRAME_VIEW_TOP, true);
    add(list(kLegs), tr("Frame Legs"), FRAME_VIEW_FRONT, false);
}

void VLMWidget::AddMenuAction(QAction* action)
{
    displayMenu_->addAction(action);
    visibilityButton_->setVisible(!displayMenu_->actions().isEmpty());
}

void VLMWidget::AddOptionsMenuAction(QAction* action)
{
    optionsMenu_->addAction(action);
    settingsButton_->setVisible(!optionsMenu_->actions().isEmpty());
}

void VLMWidget::FrameFirstPreset()
{
    const FrameInfo& first = *presets_.front();
    glWidget_->FrameNodes(first.nodeIds, static_cast<FrameView>(first.view));
}

void VLMWidget::FrameSomething()
{
    frameMenu_->setEnabled(!glWidget_->HasNoCharacter());
    QAction* chosen = ExecUnder(frameMenu_, frameButton_);
    if (!chosen)
        return;
    for (const std::shared_ptr<FrameInfo>& preset : presets_) {
        if (preset->action == chosen) {
            glWidget_->FrameNodes(preset->nodeIds, static_cast<FrameView>(preset->view));
            return;
        }
    }
}

void VLMWidget::DisplayOption() { ExecUnder(displayMenu_, visibilityButton_); }

void VLMWidget::CharacterizationOption() { ExecUnder(optionsMenu_, settingsButton_); }

void VLMWidget::DisplayLimits(bool on) { glWidget_->SetDisplayFlag(DISPLAY_ROTATION_LIMITS, on); }

void VLMWidget::DisplayAxis(bool on) { glWidget_->SetDisplayFlag(DISPLAY_JOINT_AXES, on); }
