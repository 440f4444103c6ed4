#include "widgets/dark_style_support.h"

#include <QCommonStyle>
#include <QFontInfo>
#include <QPainter>
#include <QStyleOption>
#include <QVariant>
#include <QWidget>
#include <qdrawutil.h>

#include <algorithm>

namespace DarkStyleSupport {

namespace {

const char* const VortelMenuBarProperty = "isQorlaVortelMenuBar";

// One row per role the dark palette sets, as grey levels by group; -1 leaves the
// start palette's brush. AlternateBase and the disabled Text are derived from
// Base afterwards.
struct GreyRow {
    QPalette::ColorRole role;
    int active;
    int inactive;
    int disabled;
};

const GreyRow DarkGreys[] = {
    {QPalette::WindowText, 200, 200, -1}, {QPalette::Button, 100, 100, 80},   {QPalette::Light, 97, 97, 97},
    {QPalette::Midlight, 59, 59, 59},     {QPalette::Dark, 37, 37, 37},       {QPalette::Mid, 45, 45, 45},
    {QPalette::Text, 200, 200, -1},       {QPalette::BrightText, 37, 37, -1}, {QPalette::ButtonText, 200, 200, -1},
    {QPalette::Base, 42, 42, 42},         {QPalette::Window, 68, 68, 68},     {QPalette::Shadow, 0, 0, 0},
};

void setGrey(QPalette& palette, QPalette::ColorGroup group, QPalette::ColorRole role, int grey)
{
    if (grey >= 0)
        palette.setBrush(group, role, QBrush(QColor(grey, grey, grey)));
}

// The vortel item is painted into a pixmap of the item's size, then drawn at
// the item's corner. The corner points at (w, 0), (0, h) and (w, h) lie just
// outside the pixmap and so leave no mark; only (0, 0) shows the corner colour.
void drawVortelItemFrame(const QStyleOption* option, QPainter* painter, const QWidget* widget)
{
    const QPalette& palette = option->palette;
    QColor border = palette.color(QPalette::Window).darker(178);
    border.setAlpha(std::max(border.alpha(), 100));
    const QColor background =
        widget ? widget->palette().color(widget->backgroundRole()) : palette.color(QPalette::Window);
    const QColor corner = mergedColours(background, border, 50);
    const QColor button = palette.color(QPalette::Button);
    const QColor light = button.lighter(104);
    const QColor dark = button.darker(105);

    const QRect& rect = option->rect;
    const bool selectedAndEnabled = (option->state & QStyle::State_Selected) && (option->state & QStyle::State_Enabled);
    if (!selectedAndEnabled) {
        painter->fillRect(rect, QColor(0, 0, 0, 0));
        return;
    }
    const int w = rect.width();
    const int h = rect.height();
    if (w <= 0 || h <= 0)
        return;
    const bool pressed = option->state & (QStyle::State_Sunken | QStyle::State_On);

    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(border);
    p.drawRect(0, 0, w - 1, h - 1);
    p.setPen(corner);
    p.drawPoint(0, 0);
    p.drawPoint(w, 0);
    p.drawPoint(0, h);
    p.drawPoint(w, h);
    p.setPen(pressed ? button.darker(118) : light);
    p.drawLine(1, 1, w - 1, 1);
    p.drawLine(1, 2, 1, h - 2);
    p.setPen(pressed ? button.darker(114) : dark.darker(102));
    p.drawLine(1, h - 1, w - 1, h - 1);
    p.drawLine(w - 1, 1, w - 1, h - 2);
    p.end();
    painter->drawPixmap(rect.topLeft(), pixmap);
}

void drawVortelMenuBarItem(const QCommonStyle* style, const QStyleOption* option, QPainter* painter,
                           const QWidget* widget)
{
    drawVortelItemFrame(option, painter, widget);
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (!item)
        return;
    // The label is drawn in ButtonText: on the dark bar it should read like the
    // window's own text, unless the host chose a highlight for the bar.
    QStyleOptionMenuItem copy = *item;
    if (!copy.palette.isBrushSet(copy.palette.currentColorGroup(), QPalette::Highlight))
        copy.palette.setColor(QPalette::ButtonText, copy.palette.color(QPalette::WindowText));
    style->QCommonStyle::drawControl(QStyle::CE_MenuBarItem, &copy, painter, widget);
}

}  // namespace

QPalette darkPalette(QPalette start)
{
    for (const GreyRow& row : DarkGreys) {
        setGrey(start, QPalette::Active, row.role, row.active);
        setGrey(start, QPalette::Inactive, row.role, row.inactive);
        setGrey(start, QPalette::Disabled, row.role, row.disabled);
    }
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        start.setBrush(group, QPalette::AlternateBase, QBrush(start.color(group, QPalette::Base).lighter(110)));
    start.setBrush(QPalette::Disabled, QPalette::Text,
                   QBrush(start.color(QPalette::Disabled, QPalette::Base).lighter(250)));
    return start;
}

void exchangeButtonAndWindow(QPalette& palette)
{
    const QBrush button = palette.brush(QPalette::Button);
    const QBrush window = palette.brush(QPalette::Window);
    palette.setBrush(QPalette::Button, window);
    palette.setBrush(QPalette::Window, button);
}

void setOnButtonColour(QPalette& palette, const QColor& on)
{
    palette.setBrush(QPalette::Active, QPalette::Button, QBrush(on));
    palette.setBrush(QPalette::Inactive, QPalette::Button, QBrush(on));
}

bool isVortelMenuBar(const QWidget* widget) { return widget && widget->property(VortelMenuBarProperty).isValid(); }

QColor mergedColours(const QColor& a, const QColor& b, int percent)
{
    const auto mix = [percent](int x, int y) { return x * percent / 100 + y * (100 - percent) / 100; };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()), a.alpha());
}

bool sharedPixelMetric(QStyle::PixelMetric metric, const QWidget* widget, int* value)
{
    switch (metric) {
    case QStyle::PM_MenuBarPanelWidth:
    case QStyle::PM_FocusFrameVMargin: *value = 0; return true;
    case QStyle::PM_MenuBarVMargin: *value = isVortelMenuBar(widget) ? 4 : 1; return true;
    case QStyle::PM_MenuBarHMargin: *value = isVortelMenuBar(widget) ? 3 : 0; return true;
    default: return false;
    }
}

int sharedStyleHint(QStyle::StyleHint hint, int baseValue, const QStyle* style)
{
    switch (hint) {
    case QStyle::SH_EtchDisabledText:
    case QStyle::SH_Button_FocusPolicy: return 0;
    case QStyle::SH_Table_GridLineColor:
        return static_cast<int>(style->standardPalette().color(QPalette::Active, QPalette::Window).rgb());
    default: return baseValue;
    }
}

QPixmap brightenedIcon(const QPixmap& pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = QColor::fromRgba(line[x]);
            const int value = colour.value();
            if (value <= 30)
                continue;
            const int brighter = value < 205 ? value + 50 : 255;
            qreal hue, saturation, unusedValue, alpha;
            colour.getHsvF(&hue, &saturation, &unusedValue, &alpha);
            line[x] = QColor::fromHsvF(hue, saturation, brighter / 255.0, alpha).rgba();
        }
    }
    return QPixmap::fromImage(image);
}

bool drawSharedControl(const QCommonStyle* style, QStyle::ControlElement element, const QStyleOption* option,
                       QPainter* painter, const QWidget* widget, const QColor& focusColour)
{
    switch (element) {
    case QStyle::CE_DockWidgetTitle: {
        // The title is laid out in points: pin the size the font really has.
        QFont font = painter->font();
        const int pointSize = QFontInfo(font).pointSize();
        if (pointSize > 0) {
            font.setPointSize(pointSize);
            painter->setFont(font);
        }
        return false;
    }
    case QStyle::CE_FocusFrame:
        if (option)
            qDrawPlainRect(painter, option->rect, focusColour, 1, nullptr);
        return true;
    case QStyle::CE_MenuBarItem:
        if (!option || !isVortelMenuBar(widget))
            return false;
        drawVortelMenuBarItem(style, option, painter, widget);
        return true;
    default: return false;
    }
}

}  // namespace DarkStyleSupport
