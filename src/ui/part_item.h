// The graphics items of the figure view: a PartItem for every rig-node part,
// navigation arrow and the status light, and an InversionItem for each of the
// four limb inversion toggles.
#ifndef SKW_UI_PART_ITEM_H
#define SKW_UI_PART_ITEM_H

#include "ui/part_states.h"

#include <QGraphicsItem>
#include <QObject>
#include <QPixmap>
#include <QString>

class PartItem;
class ResourceBridge;
class SchematicItemDef;

// Reports hovering on behalf of part items, which are not QObjects.
class HoverAdapter : public QObject {
    Q_OBJECT

public:
    explicit HoverAdapter(QObject* parent);
    ~HoverAdapter() override;

signals:
    void Hover(PartItem* part, bool enter);
};

// One element of a figure page: its state picture (prefix plus the suffix of
// the state), an optional fixed picture over it and, while it is the edited
// part, the selection or picking picture on top. The tooltip is the tooltip
// text with the validation message as a second line.
class PartItem : public QGraphicsItem {
public:
    // Starts unassigned, not selected, with the tooltip text as tooltip. The
    // bridge is borrowed and must outlive the item.
    PartItem(int nodeId, const QString& toolTipText, const QString& picturePrefix, const QString& overlayPicture, int x,
             int y, const StateRepresentation& states, ResourceBridge* bridge, QGraphicsItem* parent);
    ~PartItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Stores the message and refreshes the tooltip; a new state loads its
    // picture (faded again when the item is faded).
    void SetState(int state, const QString& message);
    int GetState() const { return state_; }

    void SetToolTipText(const QString& text);
    const QString& GetToolTipText() const { return toolTipText_; }
    // The tooltip: the text, then "\n" and the message when there is one.
    void RefreshToolTip();

    void SetSelectionMode(int mode);
    int GetSelectionMode() const { return selectionMode_; }

    // True draws the state picture translucent; false brings the exact
    // picture back.
    void SetFaded(bool faded);
    bool IsFaded() const { return faded_; }

    int GetNodeId() const { return nodeId_; }
    void SetNodeId(int nodeId) { nodeId_ = nodeId; }

    // Hovering is reported through the adapter once one is set (borrowed).
    void SetHoverAdapter(HoverAdapter* adapter) { hoverAdapter_ = adapter; }

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;

private:
    void loadStatePicture();

    int nodeId_;
    QString toolTipText_;
    QString fullToolTip_;
    int state_ = 12;  // no state takes it: the first SetState loads a picture
    QString message_;
    QString picturePrefix_;
    ResourceBridge* bridge_;
    QPixmap statePicture_;
    QPixmap overlayPicture_;
    StateRepresentation states_;
    int selectionMode_ = kSelectionNone;
    HoverAdapter* hoverAdapter_ = nullptr;
    bool faded_ = false;
};

// A new part item for a layout element: its node id, the rig node name as
// tooltip text (empty for a negative id), its picture prefix and overlay
// picture, at its position.
PartItem* CreatePartItemForNode(const SchematicItemDef& element, const StateRepresentation& states,
                                ResourceBridge* bridge, QGraphicsItem* parent);

// The compiled-in picture of that name through the pixmap cache: what is drawn
// at every paint is decoded once. A null pixmap for an unknown name.
QPixmap LoadCachedPicture(const ResourceBridge* bridge, const QString& name);

// Gives every pixel of the pixmap, the transparent ones included, the opacity
// level/255, whatever its alpha was.
void FadePixmap(QPixmap& pixmap, int level);

// A limb inversion toggle: the normal or the inverted picture.
class InversionItem : public QGraphicsItem {
public:
    // `mirrored` draws both pictures mirrored left to right.
    InversionItem(int nodeId, const QString& normalPicture, const QString& invertedPicture, int x, int y, bool mirrored,
                  ResourceBridge* bridge, QGraphicsItem* parent);
    ~InversionItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Make one picture current; the caller repaints (update()).
    void ShowNormal();
    void ShowInverted();
    bool IsInverted() const { return current_ == &inverted_; }

    int GetNodeId() const { return nodeId_; }

private:
    int nodeId_;
    QPixmap normal_;
    QPixmap inverted_;
    const QPixmap* current_;
};

#endif
