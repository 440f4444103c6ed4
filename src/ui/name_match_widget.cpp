#include "ui/name_match_widget.h"

#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"
#include "model/resource_bridge.h"
#include "ui/completer_widget.h"
#include "ui/select_assigned_bone.h"
#include "ui/ui_functions.h"
#include "widgets/guards.h"

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

const QString UndefinedNameText = QStringLiteral("Undefined");

namespace {

// One group of the tree: an optional leading node that also stands in another
// group, then a run of consecutive rig node ids.
struct NodeGroup {
    const char* name;
    int lead;  // -1: none
    int first;
    int last;
    bool expanded;
};

// clang-format off
const NodeGroup kGroups[] = {
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Base (required)"), -1,   1,  15, true},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Auxiliary"),       -1,  16,  22, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Spine"),            8,  23,  31, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Neck"),            20,  32,  40, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Roll"),            -1,  41,  48, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Special"),         -1,  49,  49, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Left Hand"),       -1,  50,  73, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Right Hand"),      -1,  74,  97, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Left Foot"),       -1,  98, 121, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Right Foot"),      -1, 122, 145, false},
    {QT_TRANSLATE_NOOP("NameMatchWidget", "Inner Finger"),    -1, 146, 169, false},
};
// clang-format on

const char* const kBubbles[4][2] = {
    {"BubbleSmall_Gray.png", "BubbleSmall_Gray_Highlight.png"},
    {"BubbleSmall_Green.png", "BubbleSmall_Green_Highlight.png"},
    {"BubbleSmall_Orange.png", "BubbleSmall_Orange_Highlight.png"},
    // An error node being edited keeps its colour, so the user still sees
    // that the joint is wrong while choosing another.
    {"BubbleSmall_Red.png", "BubbleSmall_Red_Highlight.png"},
};

bool isInvertible(int node) { return node == 3 || node == 6 || node == 10 || node == 13; }

}  // namespace

// --- NameMatchTreeWidget ---

NameMatchTreeWidget::NameMatchTreeWidget(QWidget* parent) : QTreeWidget(parent) { }

void NameMatchTreeWidget::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton)
        emit MouseRightClicked(event);
}

// --- BubbleIconSet ---

const QIcon& BubbleIconSet::Get(int state, bool highlight) const
{
    const int index = (state >= 0 && state <= 3) ? state : 3;
    return highlight ? highlighted[index] : normal[index];
}

// --- NameMatchWidget ---

NameMatchWidget::NameMatchWidget(QWidget* parent, IDCCHub* hub, ResourceBridge* bridge, CharacterizationModel* model)
    : QWidget(parent), bridge_(bridge), hub_(hub), model_(model)
{
    for (int state = 0; state < 4; ++state) {
        icons_.normal[state] = QIcon(bridge_->LoadSharedPicture(QLatin1String(kBubbles[state][0])));
        icons_.highlighted[state] = QIcon(bridge_->LoadSharedPicture(QLatin1String(kBubbles[state][1])));
    }

    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    tree_ = new NameMatchTreeWidget(this);
    layout_->addWidget(tree_);

    tree_->setColumnCount(1);
    tree_->header()->hide();
    root_ = new QTreeWidgetItem(tree_, QStringList(tr("Body")));
    root_->setIcon(0, icons_.Get(0, false));
    root_->setExpanded(true);
    for (const NodeGroup& group : kGroups) {
        auto* groupItem = new QTreeWidgetItem(root_, QStringList(tr(group.name)));
        groupItem->setIcon(0, icons_.Get(0, false));
        std::vector<int> nodes;
        if (group.lead >= 0)
            nodes.push_back(group.lead);
        for (int node = group.first; node <= group.last; ++node)
            nodes.push_back(node);
        for (int node : nodes) {
            auto* item = new QTreeWidgetItem(groupItem);
            item->setIcon(0, icons_.Get(0, false));
            item->setText(0, QStringLiteral("%1 : <%2>").arg(NodeDisplayName(node), UndefinedNameText));
            nodeItems_.emplace(node, item);
            itemNodes_.emplace(item, node);
        }
        groupItem->setExpanded(group.expanded);
    }

    connect(tree_, SIGNAL(MouseRightClicked(QMouseEvent*)), this, SLOT(PopMenu(QMouseEvent*)));
    connect(tree_, SIGNAL(currentItemChanged(QTreeWidgetItem*, QTreeWidgetItem*)), this,
            SLOT(UpdateEditedPart(QTreeWidgetItem*, QTreeWidgetItem*)));
    connect(tree_, SIGNAL(itemDoubleClicked(QTreeWidgetItem*, int)), this,
            SLOT(SetItemEditable(QTreeWidgetItem*, int)));
    if (hub_)
        connect(hub_, SIGNAL(selectionChanged()), this, SLOT(OnDccSelect()));
    connect(model_, SIGNAL(ModelChanged()), this, SLOT(SyncViewOnModel()));
    connect(model_, SIGNAL(EditedPartChanged(int, int, bool)), this, SLOT(ChangeEditPart(int, int, bool)));

    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

NameMatchWidget::~NameMatchWidget() = default;

bool NameMatchWidget::isLocked() const { return model_->IsLocked(); }

bool NameMatchWidget::isEditable() const
{
    return MayEditCharacterization(model_->GetCurrentCharacterization(), !hub_);
}

int NameMatchWidget::currentNode() const
{
    const auto it = itemNodes_.find(tree_->currentItem());
    return it == itemNodes_.end() ? -1 : it->second;
}

int NameMatchWidget::nodeState(int node) const
{
    // Without a characterization nothing is assigned, whatever the last
    // validation said.
    return model_->GetCurrentCharacterization() ? model_->NodeStatusAt(node).state : 0;
}

QString NameMatchWidget::nodeText(int node) const
{
    QString joint = model_->GetNodeHostName(node);
    if (joint.isEmpty())
        joint = UndefinedNameText;
    return QStringLiteral("%1 : <%2>").arg(NodeDisplayName(node), joint);
}

void NameMatchWidget::showNode(QTreeWidgetItem* item, int node, bool highlight)
{
    item->setIcon(0, icons_.Get(nodeState(node), highlight));
    item->setText(0, nodeText(node));
}

void NameMatchWidget::SyncViewOnModel()
{
    for (const auto& entry : itemNodes_)
        showNode(entry.first, entry.second, false);

    const bool hasCharacterization = model_->GetCurrentCharacterization() != nullptr;
    for (int i = 0; i < root_->childCount(); ++i) {
        QTreeWidgetItem* group = root_->child(i);
        std::vector<int> nodes;
        for (int j = 0; j < group->childCount(); ++j)
            nodes.push_back(itemNodes_.at(group->child(j)));
        group->setIcon(0, icons_.Get(hasCharacterization ? model_->GetGroupStatus(nodes) : 0, false));
    }
    root_->setIcon(0, icons_.Get(hasCharacterization ? model_->GetStatus().state : 0, false));
}

void NameMatchWidget::ChangeEditPart(int /*oldEditedPartId*/, int newEditedPartId, bool isReadWrite)
{
    // Making an item current here must not come back as an edit request.
    const SignalBlockerGroup blocked(tree_);
    if (marked_)
        showNode(marked_, itemNodes_.at(marked_), false);

    // The first item of a node is the one in "Base (required)" or "Auxiliary".
    const auto it = nodeItems_.find(newEditedPartId);
    if (newEditedPartId == -1 || it == nodeItems_.end()) {
        // A node without an item (the reference, the two spare nodes) leaves
        // nothing current, so that no later action lands on the previous one.
        marked_ = nullptr;
        tree_->setCurrentItem(nullptr);
        return;
    }
    marked_ = it->second;
    tree_->setCurrentItem(marked_);
    showNode(marked_, newEditedPartId, isReadWrite);
}

void NameMatchWidget::UpdateEditedPart(QTreeWidgetItem* current, QTreeWidgetItem* /*previous*/)
{
    const auto it = itemNodes_.find(current);
    if (it == itemNodes_.end())
        return;
    const int node = it->second;
    // The host may announce its new selection from inside SelectNode, while
    // the node edited before is still read-write; OnDccSelect then works on
    // the current item, which is already this node's.
    SelectAssignedBoneInHost(hub_, model_, node);
    model_->SetEditedPart(node, false);
}

void NameMatchWidget::OnDccSelect()
{
    if (!isVisible() || !hub_ || !model_->IsEditedPartReadWrite())
        return;
    if (!model_->GetCurrentCharacterization() || isLocked())
        return;
    const QStringList selection = hub_->GetSelectedNodes();
    const int node = currentNode();
    if (selection.size() != 1 || node < 0)
        return;
    // The current item, not the model's edited part: while the host answers a
    // selection request, the edited part is still the node edited before.
    AssignBoneAndMirror(this, model_, node, selection.first());
}

void NameMatchWidget::ClearAllParts()
{
    if (!model_->GetCurrentCharacterization() || isLocked())
        return;
    model_->ClearAll();
}

void NameMatchWidget::ClearSelectedPart()
{
    if (!model_->GetCurrentCharacterization() || isLocked())
        return;
    const int node = currentNode();
    if (node >= 0)
        model_->ClearNode(node);
}

void NameMatchWidget::SetItemEditable(QTreeWidgetItem* item, int /*column*/)
{
    const Characterization* current = model_->GetCurrentCharacterization();
    if (!current || RefuseCharacterizationEdit(this, current, !hub_, CharacterizationEdit::BoneMappings))
        return;
    const auto it = itemNodes_.find(item);
    if (it != itemNodes_.end())
        model_->SetEditedPart(it->second, true);
}

void NameMatchWidget::PopMenu(QMouseEvent* event)
{
    const int node = currentNode();
    QStringList selection;
    if (hub_)
        selection = hub_->GetSelectedNodes();
    const QTreeWidgetItem* current = tree_->currentItem();
    const bool onGroup = current && current->childCount() > 0;
    const bool editable = isEditable();

    QMenu menu;
    QAction* assign = menu.addAction(tr("Assign Selected Bone"), this, SLOT(AssignSelection()));
    assign->setEnabled(!selection.isEmpty() && editable && !onGroup);
    QAction* change = menu.addAction(tr("Change Assigned Bone..."), this, SLOT(ShowAutoCompletion()));
    change->setEnabled(editable && !onGroup);
    menu.addSeparator();
    menu.addAction(tr("Clear"), this, SLOT(ClearSelectedPart()))->setEnabled(editable);
    menu.addAction(tr("Clear All"), this, SLOT(ClearAllParts()))->setEnabled(editable);
    menu.addSeparator();
    menu.addAction(tr("Invert Joint"), this, SLOT(InvertJoint()))->setEnabled(editable && isInvertible(node));
    menu.exec(event->globalPos());
}

void NameMatchWidget::ShowAutoCompletion()
{
    QTreeWidgetItem* item = tree_->currentItem();
    const int node = currentNode();
    if (node < 0 || !hub_)
        return;
    QStringList names;
    hub_->GetSkeletonNodes(names);
    CompleterWidget completer(this, names, model_->GetNodeHostName(node));
    completer.move(tree_->viewport()->mapToGlobal(tree_->visualItemRect(item).topLeft()));
    if (completer.exec() == QDialog::Accepted)
        AssignBoneAndMirror(this, model_, node, completer.GetText());
}

void NameMatchWidget::AssignSelection()
{
    const int node = currentNode();
    if (node < 0)
        return;
    model_->SetEditedPart(node, true);
    OnDccSelect();
    model_->SetEditedPart(node, false);
}

void NameMatchWidget::InvertJoint()
{
    if (!model_->GetCurrentCharacterization() || isLocked())
        return;
    model_->ToggleBoneInversion(currentNode());
}
