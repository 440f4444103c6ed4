#include "ui/part_item.h"

#include "model/resource_bridge.h"
#include "rig/vlm_names.h"
#include "ui/schematic_layout.h"

#include <QGraphicsScene>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsView>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QStyleOptionGraphicsItem>
#include <QToolTip>

namespace {

const int kFadeLevel = 50;

}  // namespace

// The selection and picking pictures are drawn at every paint of the edited
// part, and the bridge decodes on every load.
QPixmap LoadCachedPicture(const ResourceBridge* bridge, const QString& name)
{
    const QString key = QStringLiteral("skelwright:") + name;
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture) && bridge) {
        picture = bridge->LoadSharedPicture(name);
        if (!picture.isNull())
            QPixmapCache::insert(key, picture);
    }
    return picture;
}

HoverAdapter::HoverAdapter(QObject* parent) : QObject(parent) { }

HoverAdapter::~HoverAdapter() = default;

// --- PartItem ---

PartItem::PartItem(int nodeId, const QString& toolTipText, const QString& picturePrefix, const QString& overlayPicture,
                   int x, int y, const StateRepresentation& states, ResourceBridge* bridge, QGraphicsItem* parent)
    : QGraphicsItem(parent),
      nodeId_(nodeId),
      toolTipText_(toolTipText),
      picturePrefix_(picturePrefix),
      bridge_(bridge),
      states_(states)
{
    setFlags(QGraphicsItem::ItemIsSelectable);
    SetState(kPartUnassigned, QString());
    if (!overlayPicture.isEmpty() && bridge_)
        overlayPicture_ = bridge_->LoadSharedPicture(overlayPicture);
    setAcceptHoverEvents(true);
    setPos(x, y);
}

PartItem::~PartItem() = default;

QRectF PartItem::boundingRect() const { return QRectF(QPointF(0, 0), QSizeF(statePicture_.size())); }

void PartItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    painter->drawPixmap(0, 0, statePicture_);
    if (!overlayPicture_.isNull())
        painter->drawPixmap(0, 0, overlayPicture_);
    const int key = SelectionOverlayKey(selectionMode_, state_);
    if (key >= 0)
        painter->drawPixmap(option->rect, LoadCachedPicture(bridge_, picturePrefix_ + states_.GetSuffix(key)),
                            option->rect);
}

void PartItem::SetState(int state, const QString& message)
{
    message_ = message;
    RefreshToolTip();
    if (state == state_)
        return;
    state_ = state;
    loadStatePicture();
}

void PartItem::loadStatePicture()
{
    // Pictures of one element may differ in size.
    prepareGeometryChange();
    statePicture_ = bridge_ ? bridge_->LoadSharedPicture(picturePrefix_ + states_.GetSuffix(state_)) : QPixmap();
    if (faded_)
        FadePixmap(statePicture_, kFadeLevel);
    update();
}

void PartItem::SetToolTipText(const QString& text)
{
    toolTipText_ = text;
    RefreshToolTip();
}

void PartItem::RefreshToolTip()
{
    fullToolTip_ = toolTipText_;
    if (!message_.isEmpty())
        fullToolTip_ += QLatin1Char('\n') + message_;
    setToolTip(fullToolTip_);
}

void PartItem::SetSelectionMode(int mode)
{
    selectionMode_ = mode;
    update();
}

void PartItem::SetFaded(bool faded)
{
    // Every part of every page is told after each edited-part change; only a
    // change of look touches the picture.
    if (faded == faded_)
        return;
    faded_ = faded;
    if (faded)
        FadePixmap(statePicture_, kFadeLevel);
    else
        loadStatePicture();
    update();
}

void PartItem::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    if (QGraphicsScene* itemScene = scene()) {
        const QList<QGraphicsView*> views = itemScene->views();
        if (!views.isEmpty()) {
            QGraphicsView* view = views.front();
            const QPointF at = scenePos() + QPointF(0, boundingRect().height() / 2);
            QToolTip::showText(view->viewport()->mapToGlobal(view->mapFromScene(at)), fullToolTip_);
        }
    }
    if (hoverAdapter_)
        emit hoverAdapter_->Hover(this, true);
    QGraphicsItem::hoverEnterEvent(event);
}

void PartItem::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    if (hoverAdapter_)
        emit hoverAdapter_->Hover(this, false);
    QGraphicsItem::hoverLeaveEvent(event);
}

PartItem* CreatePartItemForNode(const SchematicItemDef& element, const StateRepresentation& states,
                                ResourceBridge* bridge, QGraphicsItem* parent)
{
    const int node = element.GetNodeId();
    const QString name = node < 0 ? QString() : QString::fromUtf8(VLMGetNodeName(node));
    return new PartItem(node, name, element.GetPicturePrefix(), element.GetPicture(), element.GetX(), element.GetY(),
                        states, bridge, parent);
}

void FadePixmap(QPixmap& pixmap, int level)
{
    if (pixmap.isNull())
        return;
    // Straight (not premultiplied) alpha, so that the colours stay while the
    // alpha of every pixel is replaced; Qt's own alpha-channel setter
    // multiplies instead and would leave transparent pixels transparent.
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb alpha = QRgb(qBound(0, level, 255)) << 24;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = (line[x] & 0x00FFFFFFu) | alpha;
    }
    pixmap = QPixmap::fromImage(image);
}

// --- InversionItem ---

InversionItem::InversionItem(int nodeId, const QString& normalPicture, const QString& invertedPicture, int x, int y,
                             bool mirrored, ResourceBridge* bridge, QGraphicsItem* parent)
    : QGraphicsItem(parent), nodeId_(nodeId), current_(&normal_)
{
    if (bridge) {
        normal_ = bridge->LoadSharedPicture(normalPicture);
        inverted_ = bridge->LoadSharedPicture(invertedPicture);
    }
    if (mirrored) {
        normal_ = QPixmap::fromImage(normal_.toImage().mirrored(true, false));
        inverted_ = QPixmap::fromImage(inverted_.toImage().mirrored(true, false));
    }
    setPos(x, y);
}

InversionItem::~InversionItem() = default;

QRectF InversionItem::boundingRect() const { return QRectF(QPointF(0, 0), QSizeF(current_->size())); }

void InversionItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->drawPixmap(0, 0, *current_);
}

void InversionItem::ShowNormal()
{
    prepareGeometryChange();
    current_ = &normal_;
}

void InversionItem::ShowInverted()
{
    prepareGeometryChange();
    current_ = &inverted_;
}
