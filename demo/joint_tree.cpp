#include "joint_tree.h"

#include "demo_host.h"

#include "model/characterization.h"
#include "ui/ui_functions.h"

#include <QHeaderView>
#include <QMap>
#include <QMouseEvent>

JointTree::JointTree(DemoHost* host, QWidget* parent) : QTreeWidget(parent), host_(host)
{
    setColumnCount(2);
    setHeaderLabels({tr("Joint"), tr("Rig node")});
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    // Skeletons nest deep: a narrow step, and names too long for the column
    // keep their ends, which tell the joints apart.
    setIndentation(12);
    setTextElideMode(Qt::ElideMiddle);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &JointTree::handOverSelection);
    connect(host_, &IDCCHub::selectionChanged, this, &JointTree::FollowHostSelection);
}

void JointTree::Rebuild()
{
    following_ = true;
    clear();
    items_.clear();
    for (const QString& joint : host_->JointNames()) {
        QTreeWidgetItem* parentItem = items_.value(host_->ParentOf(joint));
        auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, joint);
        items_.insert(joint, item);
    }
    expandAll();
    following_ = false;
    FollowHostSelection();
}

void JointTree::ShowAssignments(const Characterization* characterization)
{
    QMap<QString, QStringList> nodesOf;
    if (characterization) {
        const std::vector<QString>& names = characterization->GetNodeNames();
        for (int node = 0; node < int(names.size()); ++node) {
            if (!names[std::size_t(node)].isEmpty())
                nodesOf[names[std::size_t(node)]] << NodeDisplayName(node);
        }
    }
    for (auto it = items_.cbegin(); it != items_.cend(); ++it) {
        QTreeWidgetItem* item = it.value();
        const QStringList nodes = nodesOf.value(it.key());
        QFont font = item->font(0);
        font.setBold(!nodes.isEmpty());
        item->setFont(0, font);
        item->setText(1, nodes.join(QStringLiteral(", ")));
    }
}

QString JointTree::CurrentJoint() const
{
    const QTreeWidgetItem* item = currentItem();
    return item ? item->text(0) : QString();
}

void JointTree::FollowHostSelection()
{
    if (following_)
        return;
    following_ = true;
    const QStringList& selected = host_->GetSelectedNodes();
    QTreeWidgetItem* first = nullptr;
    for (auto it = items_.cbegin(); it != items_.cend(); ++it) {
        const bool on = selected.contains(it.key());
        it.value()->setSelected(on);
        if (on && !first)
            first = it.value();
    }
    if (selected.size() == 1 && first) {
        setCurrentItem(first, 0, QItemSelectionModel::NoUpdate);
        scrollToItem(first);
    }
    following_ = false;
}

void JointTree::handOverSelection()
{
    if (following_)
        return;
    QStringList joints;
    for (const QTreeWidgetItem* item : selectedItems())
        joints << item->text(0);
    following_ = true;
    host_->SetSelection(joints);
    following_ = false;
}

void JointTree::mousePressEvent(QMouseEvent* event)
{
    pressedSelection_ = selectedItems();
    QTreeWidget::mousePressEvent(event);
}

// A click that leaves the selection as it was makes Qt announce nothing, and
// the host would not hear of it: a part waiting for a joint would go on
// waiting while the user clicks the very joint it needs (already selected
// after a rename, say). The host announces the selection again.
void JointTree::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    const QTreeWidgetItem* item = itemAt(event->pos());
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && item && item->isSelected() &&
        selectedItems() == pressedSelection_)
        handOverSelection();
}
