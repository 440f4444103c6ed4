#include "widgets/dark_style_orla.h"

#include "widgets/dark_style_support.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmapCache>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

using DarkStyleSupport::mergedColours;

namespace {

const QColor DarkStyleOnButtonColour(175, 175, 175, 255);
const QColor DarkStyleFocusFrameColour(130, 130, 130, 255);
// Every disabled text: clearly dimmer than the enabled 200, still readable on
// the disabled button face (80) and on Window (68) and Base (42).
const QColor DarkStyleDisabledTextColour(128, 128, 128, 255);

// The check mark: colour 0 is the mark itself, 1 and 2 are recoloured with it
// (the sunken and partial looks use all three), 3 is transparent.
const char* const CheckMarkXpm[] = {
    "9 9 4 1",   ".      c #525252", "+      c #000000", "@      c #A7A7A7", "       c None", "        .", "       ..",
    "      ...", "     ... ",        ".   ...  ",        ".. ...   ",        ".....    ",     " ...     ", "  .      ",
};

// Cache key of a drawn element: it changes with the state, the active
// sub-controls, the palette and the size.
QString pixmapCacheKey(const char* name, const QStyleOption* option, const QSize& size)
{
    const auto* complex = qstyleoption_cast<const QStyleOptionComplex*>(option);
    return QString::asprintf("%s-%d-%d-%lld-%dx%d", name, static_cast<int>(option->state),
                             complex ? static_cast<int>(complex->activeSubControls) : 0,
                             static_cast<long long>(option->palette.cacheKey()), size.width(), size.height());
}

// A vertical gradient from `top` to `bottom` over a pixmap of `size`, cached by
// size and colours.
QPixmap gradientPixmap(const QSize& size, const QColor& top, const QColor& bottom)
{
    const QString key = QString::asprintf("%dx%d-%x-%x", size.width(), size.height(), top.rgba(), bottom.rgba());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = QPixmap(size);
    pixmap.fill(Qt::transparent);
    const QRect rect(QPoint(0, 0), size);
    QLinearGradient gradient(rect.center().x(), rect.top(), rect.center().x(), rect.bottom());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    QPainter painter(&pixmap);
    painter.fillRect(rect, gradient);
    painter.end();
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPixmap paintCheckBox(const QStyleOptionButton* option, int w, int h)
{
    const QPalette& palette = option->palette;
    const QColor window = palette.color(QPalette::Window);
    const QColor base = palette.color(QPalette::Base);
    const QColor button = palette.color(QPalette::Button);
    const QColor highlight = palette.color(QPalette::Highlight);
    const QColor text = palette.color(QPalette::Text);
    const QStyle::State state = option->state;
    const bool hover = (state & QStyle::State_Enabled) && (state & QStyle::State_MouseOver);

    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);

    const QColor border = window.darker(178);
    p.setPen(border);
    p.drawLine(1, 0, w - 2, 0);
    p.drawLine(1, h - 1, w - 2, h - 1);
    p.drawLine(0, 1, 0, h - 2);
    p.drawLine(w - 1, 1, w - 1, h - 2);
    p.setPen(mergedColours(window, border, 50));
    p.drawPoint(0, 0);
    p.drawPoint(w - 1, 0);
    p.drawPoint(0, h - 1);
    p.drawPoint(w - 1, h - 1);

    if (w > 2 && h > 2) {
        const QColor top = hover ? base : base.darker(101);
        const QColor bottom = hover ? mergedColours(base.darker(105), highlight, 70) : base.darker(106);
        p.drawPixmap(1, 1, gradientPixmap(QSize(w - 2, h - 2), top, bottom));
    }

    if (hover) {
        // Two rings inside the border, lit on the top and left.
        const QColor outer = mergedColours(button, highlight, 35);
        const QColor inner = mergedColours(button, highlight, 58);
        p.setPen(outer);
        p.drawLine(1, 1, w - 3, 1);
        p.drawLine(1, h - 2, 1, 1);
        p.setPen(inner);
        p.drawLine(2, 2, w - 4, 2);
        p.drawLine(2, h - 3, 2, 2);
        p.setPen(outer.darker(110));
        p.drawLine(2, h - 2, w - 2, h - 2);
        p.drawLine(w - 2, 1, w - 2, h - 3);
        p.setPen(inner.darker(110));
        p.drawLine(3, h - 3, w - 3, h - 3);
        p.drawLine(w - 3, 2, w - 3, h - 4);
    }

    if (state & (QStyle::State_On | QStyle::State_Sunken | QStyle::State_NoChange)) {
        QImage mark(CheckMarkXpm);
        if (state & (QStyle::State_Sunken | QStyle::State_NoChange)) {
            const QColor pale = mergedColours(window.lighter(250), text.lighter(250), 50);
            mark.setColor(0, pale.rgba());
            mark.setColor(1, pale.lighter(130).rgba());
            mark.setColor(2, pale.lighter(110).rgba());
        } else {
            mark.setColor(0, text.rgba());
            mark.setColor(1, mergedColours(window, text, 50).rgba());
        }
        p.drawImage(2, 2, mark);
    }
    p.end();
    return pixmap;
}

}  // namespace

QvektDarkStyleOrla::QvektDarkStyleOrla(QStyle* base)
    : QProxyStyle(base ? base : QStyleFactory::create(QStringLiteral("Fusion")))
{
}

QvektDarkStyleOrla::~QvektDarkStyleOrla() = default;

QPalette QvektDarkStyleOrla::standardPalette() const
{
    QPalette palette = DarkStyleSupport::darkPalette(baseStyle()->standardPalette());
    // Fusion's disabled text grey (190) is made for light themes: beside the
    // enabled 200 a disabled label, button, check box or combo box read as
    // enabled, while disabled line edits and tree rows (Base light(250), 105)
    // were dim but all but invisible on a disabled button. One mid grey for
    // every disabled text role, in place of both.
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setBrush(QPalette::Disabled, role, QBrush(DarkStyleDisabledTextColour));
    return palette;
}

void QvektDarkStyleOrla::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    if (widget && widget->inherits("QTabBar")) {
        QPalette palette = standardPalette();
        DarkStyleSupport::exchangeButtonAndWindow(palette);
        widget->setPalette(palette);
    }
}

int QvektDarkStyleOrla::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                  QStyleHintReturn* returnData) const
{
    const int baseValue = QProxyStyle::styleHint(hint, option, widget, returnData);
    if (hint == SH_Slider_AbsoluteSetButtons)
        return Qt::LeftButton;
    return DarkStyleSupport::sharedStyleHint(hint, baseValue, this);
}

int QvektDarkStyleOrla::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_FocusFrameHMargin)
        return 2;
    int value = 0;
    if (DarkStyleSupport::sharedPixelMetric(metric, widget, &value))
        return value;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QPixmap QvektDarkStyleOrla::generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap,
                                                const QStyleOption* option) const
{
    if (mode == QIcon::Active)
        return DarkStyleSupport::brightenedIcon(pixmap);
    return QCommonStyle::generatedIconPixmap(mode, pixmap, option);
}

void QvektDarkStyleOrla::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                       const QWidget* widget) const
{
    if (!option) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // The colours travel in the caller's option: the base style reads them from
    // there. Nothing reads the option back afterwards.
    auto* editable = const_cast<QStyleOption*>(option);
    switch (element) {
    case PE_FrameTabWidget: DarkStyleSupport::exchangeButtonAndWindow(editable->palette); break;
    case PE_PanelButtonTool:
        if ((option->state & State_Enabled) && (option->state & State_On))
            DarkStyleSupport::setOnButtonColour(editable->palette, DarkStyleOnButtonColour);
        break;
    case PE_IndicatorCheckBox:
        if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
            drawCheckBox(button, painter);
            return;
        }
        break;
    case PE_IndicatorHeaderArrow:
        if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
            QPixmap arrow;
            const QString name = header->sortIndicator == QStyleOptionHeader::SortUp ? QStringLiteral("arrowDown.png")
                                                                                     : QStringLiteral("arrowUp.png");
            if (QPixmapCache::find(name, &arrow)) {
                painter->drawPixmap(option->rect, arrow);
                return;
            }
        }
        break;
    case PE_FrameLineEdit:
    case PE_PanelLineEdit:
    case PE_IndicatorRadioButton:
        editable->palette.setBrush(QPalette::Shadow, QBrush(option->palette.color(QPalette::Window).lighter(144)));
        break;
    case PE_IndicatorBranch: drawBranch(option, painter, widget); return;
    default: break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void QvektDarkStyleOrla::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const
{
    if (!DarkStyleSupport::drawSharedControl(this, element, option, painter, widget, DarkStyleFocusFrameColour))
        QProxyStyle::drawControl(element, option, painter, widget);
}

QSize QvektDarkStyleOrla::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                           const QWidget* widget) const
{
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (type != CT_PushButton || !button)
        return QProxyStyle::sizeFromContents(type, option, size, widget);

    QSize result = QCommonStyle::sizeFromContents(type, option, size, widget);
    const bool autoDefault = button->features & QStyleOptionButton::AutoDefaultButton;
    const int extra = autoDefault ? 2 * pixelMetric(PM_ButtonDefaultIndicator, option, widget) : 0;
    if (autoDefault && !button->text.isEmpty())
        result.setWidth(qMax(result.width(), 75 + extra));
    result.setHeight(qMax(result.height(), 23 + extra));
    return result;
}

void QvektDarkStyleOrla::drawCheckBox(const QStyleOptionButton* option, QPainter* painter) const
{
    const QRect& rect = option->rect;
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    const QString key = pixmapCacheKey("checkbox", option, rect.size());
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = paintCheckBox(option, rect.width(), rect.height());
        QPixmapCache::insert(key, pixmap);
    }
    painter->drawPixmap(rect.topLeft(), pixmap);
}

void QvektDarkStyleOrla::drawBranch(const QStyleOption* option, QPainter* painter, const QWidget* widget) const
{
    if (!(option->state & State_Children))
        return;
    const QPalette& palette = option->palette;
    const QColor window = palette.color(QPalette::Window);
    const QColor border = window.darker(178);
    const QColor background = widget ? widget->palette().color(widget->backgroundRole()) : window;
    const QRect& r = option->rect;
    const int cx = (r.left() + r.right()) / 2;
    const int cy = (r.top() + r.bottom()) / 2;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(border);
    painter->drawLine(cx - 3, cy - 4, cx + 3, cy - 4);
    painter->drawLine(cx - 3, cy + 4, cx + 3, cy + 4);
    painter->drawLine(cx - 4, cy - 3, cx - 4, cy + 3);
    painter->drawLine(cx + 4, cy - 3, cx + 4, cy + 3);
    painter->setPen(mergedColours(background, border, 50));
    painter->drawPoint(cx - 4, cy - 4);
    painter->drawPoint(cx + 4, cy - 4);
    painter->drawPoint(cx - 4, cy + 4);
    painter->drawPoint(cx + 4, cy + 4);
    painter->setPen(mergedColours(window, palette.color(QPalette::Text), 50));
    painter->drawLine(cx - 2, cy, cx + 2, cy);
    if (!(option->state & State_Open))
        painter->drawLine(cx, cy - 2, cx, cy + 2);
    painter->restore();
}
