#include "ui/schematic_widget.h"

#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"
#include "model/resource_bridge.h"
#include "rig/vlm_names.h"
#include "ui/completer_widget.h"
#include "ui/part_item.h"
#include "ui/schematic_layout.h"
#include "ui/select_assigned_bone.h"
#include "ui/ui_functions.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>
#include <vector>

namespace {

const int kStatusLightNode = 173;

bool isRigNode(int node) { return node >= 0 && node < VLM_NODE_COUNT; }

// The inversion flag of an invertible limb node (3, 6, 10, 13), or -1.
int inversionFlagOf(int node)
{
    switch (node) {
    case 3: return IDCCHub::LeftLegBone;
    case 6: return IDCCHub::RightLegBone;
    case 10: return IDCCHub::LeftForeArmBone;
    case 13: return IDCCHub::RightForeArmBone;
    default: return -1;
    }
}

// The picture state and message a validation state shows; false for a state
// no picture stands for.
bool pictureStateOf(const CharacterizationStatus& status, bool withWarningMessage, int& state, QString& message)
{
    message.clear();
    switch (status.state) {
    case kStateUnset:
    case kStateValid: state = status.state; return true;
    case kStateWarning:
        state = kPartWarning;
        if (withWarningMessage)
            message = QString::fromStdString(status.message);
        return true;
    case kStateError:
        state = kPartError;
        message = QString::fromStdString(status.message);
        return true;
    default: return false;
    }
}

}  // namespace

// --- ViewContext ---

ViewContext::ViewContext(QGraphicsScene* scene, const SchematicPageDef& page, ResourceBridge* bridge,
                         const StateRepresentation& states)
{
    background = new QGraphicsPixmapItem(bridge ? bridge->LoadSharedPicture(page.GetBasePicture()) : QPixmap());
    background->hide();
    scene->addItem(background);
    rgb[0] = page.GetRed();
    rgb[1] = page.GetGreen();
    rgb[2] = page.GetBlue();

    for (const SchematicItemDef* element : page.GetParts()) {
        PartItem* part = CreatePartItemForNode(*element, states, bridge, background);
        part->moveBy(page.GetBaseX(), page.GetBaseY());
        part->hide();
        parts.append(part);
    }
    for (const SchematicItemDef* element : page.GetArrows()) {
        PartItem* arrow = CreatePartItemForNode(*element, states, bridge, background);
        arrow->SetNodeId(element->GetNodeId());
        arrow->SetToolTipText(element->GetToolTip());
        arrow->moveBy(page.GetBaseX(), page.GetBaseY());
        arrow->hide();
        arrows[arrow] = element->GetTargetPage();
    }
    for (const SchematicInversionDef* element : page.GetInversions()) {
        auto* toggle =
            new InversionItem(element->GetNodeId(), element->GetNormalPicture(), element->GetInvertedPicture(),
                              element->GetX(), element->GetY(), element->IsMirrored(), bridge, background);
        toggle->moveBy(page.GetBaseX(), page.GetBaseY());
        toggle->hide();
        inversions.append(toggle);
    }
}

// --- SchematicWidget ---

SchematicWidget::SchematicWidget(QWidget* parent, ResourceBridge* bridge, IDCCHub* hub, CharacterizationModel* model)
    : QGraphicsView(parent), bridge_(bridge), hub_(hub), model_(model)
{
    setInteractive(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A frame would take its width from the 380 by 380 page at minimum size.
    setFrameShape(QFrame::NoFrame);
    // The items draw pictures only and leave the painter as they found it.
    setOptimizationFlags(QGraphicsView::DontSavePainterState | QGraphicsView::DontAdjustForAntialiasing);
    SetupScene();

    if (hub_)
        connect(hub_, &IDCCHub::selectionChanged, this, &SchematicWidget::OnDccSelect);
    connect(model_, &CharacterizationModel::ModelChanged, this, &SchematicWidget::SyncViewOnModel);
    connect(model_, &CharacterizationModel::EditedPartChanged, this, &SchematicWidget::ChangeEditPart);

    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        const QString name = QString::fromUtf8(VLMGetNodeName(node));
        if (name.contains(QLatin1String("Right")))
            nodeSides[node] = true;
        else if (name.contains(QLatin1String("Left")))
            nodeSides[node] = false;
    }
    // The page's height is not fixed, as it was: a host docks the panel on
    // screens 768 pixels high, where the page, the property rows below it,
    // the tab bar and the host's own bars do not all fit. The view asks for
    // the page's size and takes less when the panel has less (see fitPage).
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
}

SchematicWidget::~SchematicWidget()
{
    // The items go with the scene, before the page contexts that list them.
    delete scene_;
    scene_ = nullptr;
}

void SchematicWidget::SetupScene()
{
    pages_.clear();
    currentPage_ = 0;
    editedPart_ = nullptr;
    menuPart_ = nullptr;
    delete scene_;
    scene_ = new QGraphicsScene(this);
    // About 200 items that never move, all but one page of them hidden: a
    // scan of the list is cheaper than keeping and searching a tree.
    scene_->setItemIndexMethod(QGraphicsScene::NoIndex);
    setScene(scene_);

    const SchematicLayout& layout = SchematicLayout::Instance();
    const StateRepresentation states = layout.GetStates();

    statusLight_ = CreatePartItemForNode(layout.GetStatus(), states, bridge_, nullptr);
    statusLight_->SetNodeId(kStatusLightNode);
    statusLight_->SetToolTipText(tr("Validation status"));
    statusLight_->setFlag(QGraphicsItem::ItemIsSelectable, false);
    statusLight_->setZValue(10.0);
    statusLight_->setVisible(true);
    scene_->addItem(statusLight_);

    pages_.resize(kSchematicPageCount);
    delete hoverAdapter_;
    hoverAdapter_ = new HoverAdapter(this);
    connect(hoverAdapter_, &HoverAdapter::Hover, this, &SchematicWidget::ShowInvertItems);

    for (const SchematicPageDef* page : layout.GetPages()) {
        const int index = page->GetPageIndex();
        if (index < 0 || index >= pages_.size())
            continue;
        pages_[index] = std::make_shared<ViewContext>(scene_, *page, bridge_, states);
        // Only the invertible limb parts report hovering, to show their toggle.
        for (const SchematicInversionDef* toggle : page->GetInversions()) {
            if (PartItem* part = FindPartItem(toggle->GetNodeId()))
                part->SetHoverAdapter(hoverAdapter_);
        }
    }

    ShowPage(kPageFullBody);
    if (pages_[kPageFullBody]) {
        const QSize size = pages_[kPageFullBody]->background->pixmap().size();
        scene_->setSceneRect(QRectF(QPointF(0, 0), QSizeF(size)));
        // The whole width, so the pictures stay 1:1 whenever the height
        // allows; half the height at least, so the smallest parts can still
        // be clicked. A panel shorter than that scrolls instead.
        setMinimumSize(size.width(), (size.height() + 1) / 2);
        fitPage();
    }
}

QSize SchematicWidget::sizeHint() const
{
    // Not the base's answer, which maps the scene through the view's scale:
    // once drawn smaller, the view would ask for less and never grow back.
    const QMargins frame = contentsMargins();
    return sceneRect().size().toSize() + QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

void SchematicWidget::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    fitPage();
}

void SchematicWidget::fitPage()
{
    const QSizeF page = sceneRect().size();
    const QSize room = viewport()->size();
    if (page.isEmpty() || room.isEmpty())
        return;
    const double scale = std::min({1.0, room.width() / page.width(), room.height() / page.height()});
    // Exactly the identity when the page fits: every picture pixel on one
    // screen pixel, as drawn. Smaller, the pictures are filtered rather than
    // lose every other line.
    setTransform(scale < 1.0 ? QTransform::fromScale(scale, scale) : QTransform());
    setRenderHint(QPainter::SmoothPixmapTransform, scale < 1.0);
}

void SchematicWidget::ShowPage(int page)
{
    if (page < 0 || page >= pages_.size() || !pages_[page])
        return;
    if (const std::shared_ptr<ViewContext>& current = pages_[currentPage_]) {
        current->background->hide();
        for (PartItem* part : current->parts)
            part->hide();
        for (const auto& arrow : current->arrows)
            arrow.first->hide();
    }
    // The page colour fills the view around the page. A brush, not a style
    // sheet: a style sheet would reach the dialogs and message boxes opened
    // on the view as well.
    const ViewContext& next = *pages_[page];
    setBackgroundBrush(QColor(next.rgb[0], next.rgb[1], next.rgb[2]));

    currentPage_ = page;
    next.background->show();
    for (PartItem* part : next.parts)
        part->show();
    for (const auto& arrow : next.arrows)
        arrow.first->show();
}

PartItem* SchematicWidget::FindPartItem(int node) const
{
    auto findIn = [node](const std::shared_ptr<ViewContext>& page) -> PartItem* {
        // Pages not yet built while the scene is set up are skipped.
        if (!page)
            return nullptr;
        for (PartItem* part : page->parts) {
            if (part->GetNodeId() == node)
                return part;
        }
        return nullptr;
    };
    if (currentPage_ >= 0 && currentPage_ < pages_.size()) {
        if (PartItem* part = findIn(pages_[currentPage_]))
            return part;
    }
    for (int page = 0; page < pages_.size(); ++page) {
        if (page == currentPage_)
            continue;
        if (PartItem* part = findIn(pages_[page]))
            return part;
    }
    return nullptr;
}

InversionItem* SchematicWidget::FindInversionItem(int node) const
{
    if (currentPage_ < 0 || currentPage_ >= pages_.size() || !pages_[currentPage_])
        return nullptr;
    for (InversionItem* toggle : pages_[currentPage_]->inversions) {
        if (toggle->GetNodeId() == node)
            return toggle;
    }
    return nullptr;
}

int SchematicWidget::arrowTarget(const PartItem* part) const
{
    if (!part || !pages_[currentPage_])
        return -1;
    const auto& arrows = pages_[currentPage_]->arrows;
    const auto found = arrows.find(const_cast<PartItem*>(part));
    return found == arrows.end() ? -1 : found->second;
}

int SchematicWidget::pageOf(const PartItem* part) const
{
    for (int page = 0; page < pages_.size(); ++page) {
        if (pages_[page] && pages_[page]->parts.contains(const_cast<PartItem*>(part)))
            return page;
    }
    return -1;
}

bool SchematicWidget::isEditable() const
{
    return MayEditCharacterization(model_->GetCurrentCharacterization(), !hub_);
}

// --- Mouse ---

PartItem* FindPartItemAt(QGraphicsView* view, const QPoint& point)
{
    for (QGraphicsItem* item : view->items(point)) {
        auto* part = dynamic_cast<PartItem*>(item);
        if (part && part->isVisible())
            return part;
    }
    return nullptr;
}

PartItem* FindSelectablePartItemAt(QGraphicsView* view, const QPoint& point)
{
    PartItem* part = FindPartItemAt(view, point);
    return part && (part->flags() & QGraphicsItem::ItemIsSelectable) ? part : nullptr;
}

void SchematicWidget::mousePressEvent(QMouseEvent* event)
{
    QGraphicsView::mousePressEvent(event);
    pressSwitchedPage_ = false;
    if (event->button() == Qt::LeftButton) {
        // Whatever was edited stops being edited first.
        model_->SetEditedPart(-1, false);
        PartItem* item = FindPartItemAt(this, event->pos());
        if (!item)
            return;
        const int target = arrowTarget(item);
        if (target >= 0) {
            ShowPage(target);
            pressSwitchedPage_ = true;
            return;
        }
        if (item->flags() & QGraphicsItem::ItemIsSelectable) {
            SelectAssignedBoneInHost(hub_, model_, item->GetNodeId());
            model_->SetEditedPart(item->GetNodeId(), false);
        }
    } else if (event->button() == Qt::RightButton) {
        PopMenu(event->globalPos(), event->pos());
    }
}

void SchematicWidget::mouseReleaseEvent(QMouseEvent* event) { QGraphicsView::mouseReleaseEvent(event); }

void SchematicWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    QGraphicsView::mouseDoubleClickEvent(event);
    // The press of this double click went through an arrow to another page;
    // what lies under the pointer there was never clicked.
    if (pressSwitchedPage_) {
        pressSwitchedPage_ = false;
        return;
    }
    if (RefuseCharacterizationEdit(this, model_->GetCurrentCharacterization(), !hub_,
                                   CharacterizationEdit::BoneMappings))
        return;
    if (event->button() != Qt::LeftButton)
        return;
    if (PartItem* item = FindSelectablePartItemAt(this, event->pos()))
        model_->SetEditedPart(item->GetNodeId(), true);
}

// --- Context menu ---

std::unique_ptr<QMenu> SchematicWidget::BuildContextMenu(const QPoint& viewPoint)
{
    menuPart_ = FindSelectablePartItemAt(this, viewPoint);
    const bool hasSelection = hub_ && !hub_->GetSelectedNodes().isEmpty();
    const int node = menuPart_ ? menuPart_->GetNodeId() : -1;
    const bool part = menuPart_ != nullptr;
    const bool invertible = inversionFlagOf(node) >= 0;
    const bool arrow = arrowTarget(menuPart_) >= 0;
    const bool editable = isEditable();

    auto menu = std::make_unique<QMenu>();
    auto add = [&menu, this](const QString& text, void (SchematicWidget::*slot)(), bool enabled) {
        QAction* action = menu->addAction(text);
        connect(action, &QAction::triggered, this, slot);
        action->setEnabled(enabled);
    };
    add(tr("Assign Selected Bone"), &SchematicWidget::AssignSelection, hasSelection && part && editable && !arrow);
    // The completion needs the host's joints.
    add(QStringLiteral("Change Assigned Bone..."), &SchematicWidget::ShowAutoCompletion,
        hub_ && part && editable && !arrow);
    menu->addSeparator();
    // A return arrow stands for no rig node: there is nothing to clear.
    add(tr("Clear"), &SchematicWidget::ClearMenuItem, part && editable && isRigNode(node));
    add(tr("Clear All in View"), &SchematicWidget::ClearView, editable);
    add(tr("Clear All"), &SchematicWidget::ClearAll, editable);
    menu->addSeparator();
    add(tr("Invert Joint"), &SchematicWidget::InvertJoint, editable && invertible);
    return menu;
}

void SchematicWidget::PopMenu(const QPoint& globalPoint, const QPoint& viewPoint)
{
    std::unique_ptr<QMenu> menu = BuildContextMenu(viewPoint);
    menu->exec(globalPoint);
    menuPart_ = nullptr;
}

// --- Slots ---

void SchematicWidget::SyncViewOnModel()
{
    const Characterization* current = model_->GetCurrentCharacterization();
    int state = kPartUnassigned;
    QString message;

    for (const std::shared_ptr<ViewContext>& page : pages_) {
        if (!page)
            continue;
        for (PartItem* part : page->parts) {
            const int node = part->GetNodeId();
            QString text = NodeDisplayName(node);
            if (!current) {
                part->SetToolTipText(text);
                part->SetState(kPartUnassigned, QString());
                continue;
            }
            if (current->IsNodeAssigned(node))
                text += QStringLiteral(" - ") + model_->GetNodeHostName(node);
            part->SetToolTipText(text);
            if (pictureStateOf(model_->NodeStatusAt(node), false, state, message))
                part->SetState(state, message);
        }
    }

    // Each go-to arrow sums up its page, or its side of the page.
    if (const std::shared_ptr<ViewContext>& body = pages_[kPageFullBody]) {
        for (const auto& arrow : body->arrows) {
            const std::shared_ptr<ViewContext>& target = pages_.value(arrow.second);
            if (!target)
                continue;
            const auto side = nodeSides.find(arrow.first->GetNodeId());
            std::vector<int> nodes;
            for (const PartItem* part : target->parts) {
                const auto partSide = nodeSides.find(part->GetNodeId());
                if (side == nodeSides.end() || (partSide != nodeSides.end() && partSide->second == side->second))
                    nodes.push_back(part->GetNodeId());
            }
            const int group = current ? model_->GetGroupStatus(nodes) : kPartUnassigned;
            if (group >= kPartUnassigned && group <= kPartError)
                arrow.first->SetState(group, QString());
        }
    }

    if (!current)
        statusLight_->SetState(kPartUnassigned, QString());
    else if (pictureStateOf(model_->GetStatus(), true, state, message))
        statusLight_->SetState(state, message);

    UpdateInversionItems();
}

void SchematicWidget::OnDccSelect()
{
    if (!hub_ || !isVisible() || !editedPart_ || editedPart_->GetSelectionMode() != kSelectionPicking)
        return;
    // A copy: the answer is a reference into the host, and the questions of
    // the assignment run an event loop in which the host may change it.
    const QStringList selection = hub_->GetSelectedNodes();
    if (selection.size() == 1)
        AssignBoneToPart(selection.front(), editedPart_);
}

void SchematicWidget::AssignBoneToPart(const QString& joint, PartItem* part)
{
    if (part && isEditable())
        AssignBoneAndMirror(parentWidget(), model_, part->GetNodeId(), joint);
}

void SchematicWidget::ClearMenuItem()
{
    if (menuPart_ && isEditable() && isRigNode(menuPart_->GetNodeId()))
        model_->ClearNode(menuPart_->GetNodeId());
}

void SchematicWidget::ClearAll()
{
    if (isEditable())
        model_->ClearAll();
}

void SchematicWidget::ClearView()
{
    if (!isEditable() || !pages_[currentPage_])
        return;
    std::vector<int> nodes;
    for (const PartItem* part : pages_[currentPage_]->parts)
        nodes.push_back(part->GetNodeId());
    model_->ClearNodes(nodes);
}

void SchematicWidget::ChangeEditPart(int oldEditedPartId, int newEditedPartId, bool isReadWrite)
{
    if (PartItem* old = FindPartItem(oldEditedPartId)) {
        old->SetSelectionMode(kSelectionNone);
        if (InversionItem* toggle = FindInversionItem(oldEditedPartId))
            toggle->hide();
    }
    editedPart_ = FindPartItem(newEditedPartId);
    if (!editedPart_) {
        FadeOtherParts(false);
        return;
    }
    const int page = pageOf(editedPart_);
    if (page != currentPage_)
        ShowPage(page);
    editedPart_->setSelected(true);
    editedPart_->SetSelectionMode(isReadWrite ? kSelectionPicking : kSelectionSelected);
    FadeOtherParts(isReadWrite);
    if (InversionItem* toggle = FindInversionItem(newEditedPartId))
        toggle->show();
}

void SchematicWidget::AssignSelection()
{
    if (!menuPart_ || !isEditable() || arrowTarget(menuPart_) >= 0)
        return;
    const int node = menuPart_->GetNodeId();
    model_->SetEditedPart(node, true);
    OnDccSelect();
    SelectAssignedBoneInHost(hub_, model_, node);
    model_->SetEditedPart(node, false);
}

void SchematicWidget::ShowAutoCompletion()
{
    model_->SetEditedPart(-1, false);
    if (!menuPart_ || arrowTarget(menuPart_) >= 0 || !hub_ || !isEditable())
        return;
    const int node = menuPart_->GetNodeId();
    QStringList names;
    hub_->GetSkeletonNodes(names);
    CompleterWidget dialog(this, names, model_->GetNodeHostName(node));
    // Below and right of the part. Its position is a point of the scene,
    // which the view centres, so it is mapped through the view.
    const QRectF bounds = menuPart_->boundingRect();
    const QPointF corner = menuPart_->scenePos() + QPointF(bounds.width(), bounds.height());
    dialog.move(viewport()->mapToGlobal(mapFromScene(QPointF(int(corner.x()), int(corner.y())))));
    if (dialog.exec() == QDialog::Accepted)
        AssignBoneAndMirror(parentWidget(), model_, node, dialog.GetText());
}

void SchematicWidget::InvertJoint()
{
    if (menuPart_ && isEditable())
        model_->ToggleBoneInversion(menuPart_->GetNodeId());
}

void SchematicWidget::ShowInvertItems(PartItem* part, bool enter)
{
    InversionItem* toggle = part ? FindInversionItem(part->GetNodeId()) : nullptr;
    if (toggle && part != editedPart_)
        toggle->setVisible(enter);
}

// --- Members the view leaves to its users ---

void SchematicWidget::ClearPart(PartItem* part)
{
    if (part && isEditable() && isRigNode(part->GetNodeId()))
        model_->ClearNode(part->GetNodeId());
}

void SchematicWidget::SelectPart(PartItem* part, bool isReadWrite)
{
    if (!part)
        return;
    if (!isReadWrite)
        SelectAssignedBoneInHost(hub_, model_, part->GetNodeId());
    model_->SetEditedPart(part->GetNodeId(), isReadWrite);
}

void SchematicWidget::CollectSelectedParts(QList<PartItem*>& parts) const
{
    if (!pages_[currentPage_])
        return;
    for (PartItem* part : pages_[currentPage_]->parts) {
        if (part->isSelected())
            parts.append(part);
    }
}

// --- Pictures that follow the model ---

void SchematicWidget::FadeOtherParts(bool fade)
{
    // Every page, not only the one shown: the edited part may have moved to
    // another page while picking, and the page it left must not stay faded.
    bool picking = false;
    if (fade && pages_[currentPage_]) {
        for (const PartItem* part : pages_[currentPage_]->parts)
            picking = picking || part->GetSelectionMode() == kSelectionPicking;
    }
    for (int page = 0; page < pages_.size(); ++page) {
        if (!pages_[page])
            continue;
        for (PartItem* part : pages_[page]->parts)
            part->SetFaded(picking && page == currentPage_ && part->GetSelectionMode() != kSelectionPicking);
    }
}

void SchematicWidget::UpdateInversionItems()
{
    const std::shared_ptr<ViewContext>& body = pages_[kPageFullBody];
    if (!body)
        return;
    const Characterization* current = model_->GetCurrentCharacterization();
    for (InversionItem* toggle : body->inversions) {
        const int flag = inversionFlagOf(toggle->GetNodeId());
        if (current && flag >= 0 && current->GetBoneInversion().flags[flag] != 0)
            toggle->ShowInverted();
        else
            toggle->ShowNormal();
        toggle->update();
    }
}
