// The host's joint tree: the scene hierarchy in the columns "Joint" and "Rig
// node", with multiple selection. A joint that the current characterization
// uses is bold, with its rig node (or nodes) beside it.
//
// The tree and the host's selection follow each other: a selection the user
// makes here becomes the host's (which announces it), and every selection the
// host announces is shown here without being handed back. A click on a joint
// that is already the selection hands it over again: the user meant it (to
// complete an assignment the panel waits for), though nothing changed.
#ifndef SKW_DEMO_JOINT_TREE_H
#define SKW_DEMO_JOINT_TREE_H

#include <QHash>
#include <QTreeWidget>

class Characterization;
class DemoHost;

class JointTree : public QTreeWidget {
    Q_OBJECT

public:
    JointTree(DemoHost* host, QWidget* parent);

    // Rebuilds the tree from the host's scene, keeping the host's selection.
    void Rebuild();
    // Marks the joints the characterization uses (none for null).
    void ShowAssignments(const Characterization* characterization);
    // The item of a joint, or null.
    QTreeWidgetItem* ItemOf(const QString& joint) const { return items_.value(joint); }
    // The joint of the current item; empty when there is none.
    QString CurrentJoint() const;

public slots:
    // Shows the host's selection.
    void FollowHostSelection();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private slots:
    void handOverSelection();

private:
    DemoHost* host_;
    QHash<QString, QTreeWidgetItem*> items_;
    bool following_ = false;
    // The selection when the left button went down, to tell a click that
    // changed nothing.
    QList<QTreeWidgetItem*> pressedSelection_;
};

#endif
