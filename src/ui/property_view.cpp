#include "ui/property_view.h"

#include "base/float_compare.h"
#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_names.h"
#include "ui/completer_widget.h"
#include "ui/ui_functions.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextEdit>

#include <algorithm>
#include <cmath>

namespace {

const int kValueFieldWidth = 55;
const int kLineEditTextMargin = 2;  // QLineEdit's own margin on each side of its text
// The shortest value text every field has room for, whatever it shows now.
const char* const kNarrowestValue = "-000.000";
// The longest value text a field grows to hold. A longer one (garbage geometry
// from a host) keeps its start in view and shows whole in its tooltip instead
// of widening the panel without bound.
const char* const kWidestValue = "-0000000.000";
const float kDegreesPerRadian = 57.29578f;
// Beyond this |t| the rotation is treated as gimbal-locked.
const float kPoleThreshold = 0.499999f;
const float kHalfPi = 1.5707964f;

// A rotation quaternion (x, y, z, w) as three angles in radians, in single
// precision throughout.
void quaternionToEuler(const float* q, float angles[3])
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    if (IsNearZero(x) && IsNearZero(y) && IsNearZero(z)) {
        angles[0] = angles[1] = angles[2] = 0.0f;
        return;
    }
    const float t = z * x - w * y;
    if (t >= kPoleThreshold) {
        angles[0] = std::atan2(w * x - z * y, -z * x - w * y);
        angles[1] = -kHalfPi;
        angles[2] = 0.0f;
    } else if (t <= -kPoleThreshold) {
        angles[0] = std::atan2(y * x - z * w, y * y + w * w - 0.5f);
        angles[1] = kHalfPi;
        angles[2] = 0.0f;
    } else {
        angles[0] = std::atan2(z * y + w * x, z * z + w * w - 0.5f);
        angles[1] = -std::asin(2.0f * t);
        angles[2] = std::atan2(z * w + y * x, w * w + x * x - 0.5f);
    }
}

// Fixed notation, three decimals, "." whatever the locale.
QString numberText(float value) { return QStringLiteral("%1").arg(double(value), 0, 'f', 3); }

// The width a read-only value field needs to show `text` whole in its current
// font and style: the text, QLineEdit's own margins, the frame, and the pixel
// QLineEdit keeps beside the text before it starts scrolling.
int fieldWidthFor(QLineEdit* field, const QString& text)
{
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    const QMargins margins = field->textMargins();
    const QSize inner(field->fontMetrics().horizontalAdvance(text) + 1 + 2 * kLineEditTextMargin + margins.left() +
                          margins.right(),
                      field->fontMetrics().height());
    return field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, inner, field).width();
}

QLabel* makeLabel(const QString& text, QWidget* parent, bool rightAligned)
{
    auto* label = new QLabel(text, parent);
    if (rightAligned)
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

}  // namespace

// --- LineEditWithMouseBroadcast ---

LineEditWithMouseBroadcast::LineEditWithMouseBroadcast(QWidget* parent) : QLineEdit(parent) { }

void LineEditWithMouseBroadcast::mouseDoubleClickEvent(QMouseEvent* event) { emit mouseDoubleClickSent(event); }

// --- PropertyView ---

PropertyView::PropertyView(QWidget* parent, IDCCHub* hub, CharacterizationModel* model)
    : QFrame(parent), hub_(hub), model_(model)
{
    connect(model_, SIGNAL(ModelChanged()), this, SLOT(UpdateView()));
    connect(model_, SIGNAL(EditedPartChanged(int, int, bool)), this, SLOT(ChangeEditPart(int, int, bool)));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    grid->setColumnStretch(0, 0);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(12, 1);

    nodeField_ = new QLineEdit(this);
    nodeField_->setReadOnly(true);
    jointField_ = new LineEditWithMouseBroadcast(this);
    jointField_->setReadOnly(true);
    selectionField_ = new QLineEdit(this);
    selectionField_->setReadOnly(true);
    rotationOrderField_ = new QLineEdit(this);
    rotationOrderField_->setReadOnly(true);
    validationText_ = new QTextEdit(this);
    validationText_->setReadOnly(true);

    grid->addWidget(makeLabel(tr("Velmora node"), this, true), 0, 0);
    grid->addWidget(nodeField_, 0, 1, 1, 3);
    selectionHeading_ = makeLabel(tr("Selected bone in skeleton:"), this, false);
    grid->addWidget(selectionHeading_, 0, 4);
    grid->addWidget(makeLabel(tr("Bone"), this, true), 1, 0);
    grid->addWidget(jointField_, 1, 1, 1, 3);
    grid->addWidget(selectionField_, 1, 4);

    AddPropertyRow(grid, 2, tr("Translate"), PropertyRow::Plain);
    AddPropertyRow(grid, 3, tr("Rotate"), PropertyRow::QuaternionAsDegrees);
    AddPropertyRow(grid, 4, tr("Scale"), PropertyRow::Plain);
    AddPropertyRow(grid, 5, tr("Pre-rotate"), PropertyRow::QuaternionAsDegrees);
    AddPropertyRow(grid, 6, tr("Post-rotate"), PropertyRow::QuaternionAsDegrees);
    AddPropertyRow(grid, 7, tr("Min rot limit"), PropertyRow::RadiansAsDegrees);
    AddPropertyRow(grid, 8, tr("Max rot limit"), PropertyRow::RadiansAsDegrees);
    AddPropertyRow(grid, 9, tr("Parent offset R"), PropertyRow::QuaternionAsDegrees);

    grid->addWidget(makeLabel(tr("Validation status:"), this, false), 2, 4);
    grid->addWidget(validationText_, 3, 4, 8, 1);
    grid->addWidget(makeLabel(tr("Rotation order"), this, true), 10, 0);
    grid->addWidget(rotationOrderField_, 10, 1, 1, 3);

    connect(jointField_, SIGNAL(mouseDoubleClickSent(QMouseEvent*)), this, SLOT(BoneDoubleClick(QMouseEvent*)));
    if (hub_)
        connect(hub_, SIGNAL(selectionChanged()), this, SLOT(OnDccSelect()));
    UpdateView();
}

PropertyView::~PropertyView() = default;

QLineEdit* PropertyView::MakeReadOnlyLineEdit()
{
    auto* field = new QLineEdit(this);
    field->setReadOnly(true);
    // 55 pixels hold an angle such as -123.456 in a small dialog font; a larger
    // font widens the field rather than cutting the sign off.
    field->setFixedWidth(std::max(kValueFieldWidth, fieldWidthFor(field, QLatin1String(kNarrowestValue))));
    return field;
}

void PropertyView::fitValueFields()
{
    // The fixed 55 pixels cut a translation such as -10250.250 to "0250.250",
    // which reads as another valid number. Each column of values is as wide as
    // its longest text (never narrower than "-000.000" needs), so that every
    // value shows whole and the column stays aligned; beyond kWidestValue the
    // start stays in view and the tooltip holds the whole value.
    bool widened = false;
    for (int axis = 0; axis < 3; ++axis) {
        QLineEdit* first = rows_.front().fields[axis];
        const int widest = fieldWidthFor(first, QLatin1String(kWidestValue));
        const int narrowest = std::max(kValueFieldWidth, fieldWidthFor(first, QLatin1String(kNarrowestValue)));
        int width = narrowest;
        for (const PropertyRow& row : rows_)
            width = std::max(width, std::min(widest, fieldWidthFor(row.fields[axis], row.fields[axis]->text())));
        for (const PropertyRow& row : rows_) {
            QLineEdit* field = row.fields[axis];
            if (field->minimumWidth() != width || field->maximumWidth() != width)
                field->setFixedWidth(width);
            const bool whole = fieldWidthFor(field, field->text()) <= width;
            field->setToolTip(whole ? QString() : field->text());
            field->setCursorPosition(0);
        }
        widened = widened || width > narrowest;
    }
    // The panel's width is set once, for the fields at their narrowest and
    // the headings of the right-hand column on one line. Wider fields take
    // their room from that column, whose widest heading then breaks between
    // its words instead of being cut off at the panel's edge; the panel
    // keeps its width.
    selectionHeading_->setWordWrap(widened);
    selectionHeading_->setMinimumWidth(
        widened ? 0 : selectionHeading_->fontMetrics().horizontalAdvance(selectionHeading_->text()));
    // Two lines need a row of their height, which the field beside them does
    // not ask for. The row keeps that height on one line too: a row that grew
    // only when the heading broke made the view, and the host's window with
    // it, taller, and a window grown for its contents never shrinks back.
    const QFontMetrics metrics = selectionHeading_->fontMetrics();
    static_cast<QGridLayout*>(layout())->setRowMinimumHeight(0, metrics.lineSpacing() + metrics.height());
}

void PropertyView::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    // A host that sets a larger font after the view was built.
    if (event->type() == QEvent::FontChange && !rows_.empty())
        fitValueFields();
}

void PropertyView::AddPropertyRow(QGridLayout* grid, int gridRow, const QString& label, int kind)
{
    PropertyRow row{{MakeReadOnlyLineEdit(), MakeReadOnlyLineEdit(), MakeReadOnlyLineEdit()}, kind};
    grid->addWidget(makeLabel(label, this, true), gridRow, 0);
    for (int axis = 0; axis < 3; ++axis)
        grid->addWidget(row.fields[axis], gridRow, 1 + axis);
    rows_.push_back(row);
}

void PropertyView::ChangeEditPart(int /*oldEditedPartId*/, int newEditedPartId, bool /*isReadWrite*/)
{
    showNode(newEditedPartId);
}

void PropertyView::UpdateView() { showNode(model_->GetEditedPart()); }

void PropertyView::showNode(int node)
{
    QString nodeText = tr("No node selected.");
    QString jointText;
    for (PropertyRow& row : rows_) {
        for (QLineEdit* field : row.fields) {
            field->clear();
            field->setEnabled(true);
        }
    }
    rotationOrderField_->clear();

    const Characterization* current = model_->GetCurrentCharacterization();
    if (node != -1) {
        if (const char* name = VLMGetNodeName(node))
            nodeText = QString::fromLatin1(name);
        if (current && current->IsNodeAssigned(node)) {
            jointText = model_->GetNodeHostName(node);
            VLMJointGeometry g;
            current->GetJointGeometry(node, g);
            const float* values[8] = {g.translate, g.rotateQ,   g.scale,     g.preRotQ,
                                      g.postRotQ,  g.minRLimit, g.maxRLimit, g.parentOffsetRotateQ};
            for (std::size_t i = 0; i < rows_.size(); ++i) {
                float shown[3] = {values[i][0], values[i][1], values[i][2]};
                if (rows_[i].kind == PropertyRow::QuaternionAsDegrees)
                    quaternionToEuler(values[i], shown);
                for (int axis = 0; axis < 3; ++axis) {
                    const float value =
                        rows_[i].kind == PropertyRow::Plain ? shown[axis] : shown[axis] * kDegreesPerRadian;
                    rows_[i].fields[axis]->setText(numberText(value));
                }
            }
            for (int axis = 0; axis < 3; ++axis) {
                rows_[5].fields[axis]->setEnabled((g.limitEnableMask & (VLM_LIMIT_MIN_X << axis)) != 0);
                rows_[6].fields[axis]->setEnabled((g.limitEnableMask & (VLM_LIMIT_MAX_X << axis)) != 0);
            }
            rotationOrderField_->setText(RotationOrderDisplayName(VLMRotationOrder(g.rotationOrder)));
        }
    }

    // The status is the whole characterization's, whatever node is shown.
    const CharacterizationStatus& status = model_->GetStatus();
    QString validation;
    if (current && status.state == kStateValid)
        validation = tr("Characterization is valid.");
    else if (!current || status.state == kStateUnset)
        validation = tr("Not enough information to validate.");
    else
        validation = QString::fromStdString(status.message);

    nodeField_->setText(nodeText);
    jointField_->setText(jointText);
    validationText_->setPlainText(validation);
    fitValueFields();
}

void PropertyView::OnDccSelect()
{
    const QStringList& selection = hub_->GetSelectedNodes();
    selectionField_->setText(selection.size() == 1 ? selection.first() : QString());
}

void PropertyView::BoneDoubleClick(QMouseEvent* event)
{
    const Characterization* current = model_->GetCurrentCharacterization();
    if (model_->GetEditedPart() == -1 || event->button() != Qt::LeftButton || !current || current->IsLocked())
        return;
    if (!hub_)
        return;
    // The default characterization is never registered with the host; the
    // figure and the list refuse to edit it, and so does this field.
    if (RefuseCharacterizationEdit(this, current, /*defaultEditable=*/false, CharacterizationEdit::BoneMappings))
        return;

    QStringList names;
    hub_->GetSkeletonNodes(names);
    CompleterWidget completer(this, names, model_->GetNodeHostName(model_->GetEditedPart()));
    completer.move(jointField_->mapToGlobal(QPoint(0, 0)));
    if (completer.exec() == QDialog::Accepted)
        AssignBoneAndMirror(parentWidget(), model_, model_->GetEditedPart(), completer.GetText());
}
