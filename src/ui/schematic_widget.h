// The figure view: one of the seven figure pages at a time, a picture item for
// every rig node showing its validation state, the navigation arrows, the limb
// inversion toggles and the status light. A click makes a rig node the edited
// part and selects its joint in the host; a double click starts picking, in
// which the single joint the host then has selected is assigned to it; the
// context menu assigns, changes, clears and inverts.
#ifndef SKW_UI_SCHEMATIC_WIDGET_H
#define SKW_UI_SCHEMATIC_WIDGET_H

#include "ui/part_states.h"

#include <QGraphicsView>
#include <QList>
#include <QString>
#include <QVector>

#include <map>
#include <memory>

class CharacterizationModel;
class HoverAdapter;
class IDCCHub;
class InversionItem;
class PartItem;
class QGraphicsPixmapItem;
class QGraphicsScene;
class QMenu;
class ResourceBridge;
class SchematicPageDef;

// One page at run time. The items belong to the scene (the background is the
// parent of all the page's items); the context holds only their addresses.
struct ViewContext {
    ViewContext(QGraphicsScene* scene, const SchematicPageDef& page, ResourceBridge* bridge,
                const StateRepresentation& states);

    QGraphicsPixmapItem* background = nullptr;
    int rgb[3] = {0, 0, 0};
    QVector<PartItem*> parts;            // layout order
    std::map<PartItem*, int> arrows;     // arrow to its target page
    QVector<InversionItem*> inversions;  // the page's toggles
};

class SchematicWidget : public QGraphicsView {
    Q_OBJECT

public:
    // The bridge, hub and model are borrowed; the hub may be null (no host
    // selection, no completion, no joint selected in the host), the model not.
    SchematicWidget(QWidget* parent, ResourceBridge* bridge, IDCCHub* hub, CharacterizationModel* model);
    ~SchematicWidget() override;

    void SetupScene();
    void ShowPage(int page);
    int GetCurrentPage() const { return currentPage_; }
    // Runs the context menu for the part under `viewPoint` at `globalPoint`.
    void PopMenu(const QPoint& globalPoint, const QPoint& viewPoint);
    // The context menu for the part under `viewPoint`, which stays the menu
    // part until PopMenu ends or the next menu is built.
    std::unique_ptr<QMenu> BuildContextMenu(const QPoint& viewPoint);
    void UpdateInversionItems();
    // Fades every part of the current page but the picking one while a part
    // picks; unfades every page otherwise.
    void FadeOtherParts(bool fade);

    // The part item of the node: the current page first, then the others in
    // index order; null when none. Arrows are not searched.
    PartItem* FindPartItem(int node) const;
    // The current page's toggle of the node, or null.
    InversionItem* FindInversionItem(int node) const;
    PartItem* GetStatusLight() const { return statusLight_; }
    // How much the page is drawn smaller than its pictures: 1 when the view
    // has the page's room, less (down to half) when a short panel gives it
    // less.
    double GetPageScale() const { return transform().m22(); }

    // The page at its own size: the view asks for that whatever its scale.
    QSize sizeHint() const override;
    PartItem* GetEditedPartItem() const { return editedPart_; }

    void AssignBoneToPart(const QString& joint, PartItem* part);
    void ClearPart(PartItem* part);
    void SelectPart(PartItem* part, bool isReadWrite);
    // Appends the current page's part items that are selected in the scene.
    void CollectSelectedParts(QList<PartItem*>& parts) const;

public slots:
    void SyncViewOnModel();
    void OnDccSelect();
    void ClearMenuItem();
    void ClearAll();
    void ClearView();
    void ChangeEditPart(int oldEditedPartId, int newEditedPartId, bool isReadWrite);
    void AssignSelection();
    void ShowAutoCompletion();
    void InvertJoint();

private slots:
    void ShowInvertItems(PartItem* part, bool enter);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Not locked, and a characterization that may be edited: there is one and,
    // with a hub, it is not the default "--- None ---".
    bool isEditable() const;
    // The target page of an arrow of the current page, or -1.
    int arrowTarget(const PartItem* part) const;
    // The index of the page whose parts hold the item, or -1.
    int pageOf(const PartItem* part) const;
    // Draws the page at 1:1 when it fits the view, else scaled down to fit.
    void fitPage();

    QGraphicsScene* scene_ = nullptr;
    ResourceBridge* bridge_;
    IDCCHub* hub_;
    CharacterizationModel* model_;
    PartItem* editedPart_ = nullptr;
    PartItem* menuPart_ = nullptr;
    PartItem* statusLight_ = nullptr;
    HoverAdapter* hoverAdapter_ = nullptr;
    QVector<std::shared_ptr<ViewContext>> pages_;
    int currentPage_ = 0;
    std::map<int, bool> nodeSides;  // rig node id: true "Right", false "Left"
    // The last left press switched the page through an arrow: the double
    // click it starts must not act on the new page.
    bool pressSwitchedPage_ = false;
};

// The first visible part item at the view point (topmost first), or null.
PartItem* FindPartItemAt(QGraphicsView* view, const QPoint& point);
// The same, but null for an item that is not selectable.
PartItem* FindSelectablePartItemAt(QGraphicsView* view, const QPoint& point);

#endif
