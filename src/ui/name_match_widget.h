// The name-match list: the rig nodes as a tree of body-part groups, each node
// shown with the host joint assigned to it and a coloured bubble for its
// validation state. The user picks the node to edit here, assigns the host's
// selected joint or a joint typed with completion, clears one node or all, and
// toggles the inversion of the four limb joints.
//
// The list keeps no characterization data of its own: it re-reads the model
// whenever the model says something changed, and every action is a call of the
// model or of the shared assignment functions.
#ifndef SKW_UI_NAME_MATCH_WIDGET_H
#define SKW_UI_NAME_MATCH_WIDGET_H

#include <QIcon>
#include <QString>
#include <QTreeWidget>
#include <QWidget>

#include <map>
#include <vector>

class CharacterizationModel;
class IDCCHub;
class QMouseEvent;
class QVBoxLayout;
class ResourceBridge;

// Stands for the joint of a node that has none.
extern const QString UndefinedNameText;

// A tree widget that also reports right-button presses, after its own press
// handling has made the pressed item current.
class NameMatchTreeWidget : public QTreeWidget {
    Q_OBJECT

public:
    explicit NameMatchTreeWidget(QWidget* parent = nullptr);

signals:
    void MouseRightClicked(QMouseEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The eight bubbles: one per node state (0 unassigned, 1 valid, 2 warning,
// 3 error), each in a normal and a highlighted form.
struct BubbleIconSet {
    QIcon normal[4];
    QIcon highlighted[4];

    // Any state outside 0..3 counts as an error.
    const QIcon& Get(int state, bool highlight) const;
};

class NameMatchWidget : public QWidget {
    Q_OBJECT

public:
    // The hub may be null: the host selection then counts as empty and the
    // completion dialog does not open. The bridge loads the bubbles.
    NameMatchWidget(QWidget* parent, IDCCHub* hub, ResourceBridge* bridge, CharacterizationModel* model);
    ~NameMatchWidget() override;

public slots:
    // Re-reads every text and bubble from the model.
    void SyncViewOnModel();
    // Assigns the host's single selected joint to the current item's node
    // while the node is being edited read-write.
    void OnDccSelect();
    void ClearAllParts();
    void ClearSelectedPart();
    // Marks the new edited part's item as the current one.
    void ChangeEditPart(int oldEditedPartId, int newEditedPartId, bool isReadWrite);

private slots:
    void PopMenu(QMouseEvent* event);
    void UpdateEditedPart(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void ShowAutoCompletion();
    void SetItemEditable(QTreeWidgetItem* item, int column);
    void AssignSelection();
    void InvertJoint();

private:
    // The current characterization exists, is unlocked and, with a hub, is
    // not the default one.
    bool isEditable() const;
    bool isLocked() const;
    int currentNode() const;
    int nodeState(int node) const;
    QString nodeText(int node) const;
    void showNode(QTreeWidgetItem* item, int node, bool highlight);

    ResourceBridge* bridge_;
    IDCCHub* hub_;
    CharacterizationModel* model_;
    BubbleIconSet icons_;
    QVBoxLayout* layout_;
    NameMatchTreeWidget* tree_;
    QTreeWidgetItem* root_;
    std::multimap<int, QTreeWidgetItem*> nodeItems_;
    std::map<QTreeWidgetItem*, int> itemNodes_;
    QTreeWidgetItem* marked_ = nullptr;
};

#endif
