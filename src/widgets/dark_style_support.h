// What the two dark styles share: the palette, the menu-bar and focus-frame
// metrics, the style hints, the brightened active icons and the control
// elements both draw the same way. Internal to the widget library.
#ifndef SKW_WIDGETS_DARK_STYLE_SUPPORT_H
#define SKW_WIDGETS_DARK_STYLE_SUPPORT_H

#include <QColor>
#include <QPalette>
#include <QPixmap>
#include <QStyle>

class QCommonStyle;
class QPainter;
class QStyleOption;
class QWidget;

namespace DarkStyleSupport {

// The dark grey palette laid over `start`; roles it does not name keep the
// values of `start`.
QPalette darkPalette(QPalette start);

// Exchanges Button and Window with the brushes of the palette's current group:
// all three groups get the current Window brush as Button and the current
// Button brush as Window.
void exchangeButtonAndWindow(QPalette& palette);

// The Active and Inactive Button brush of a checked ("on") tool button.
void setOnButtonColour(QPalette& palette, const QColor& on);

// A menu bar asks for the vortel look by carrying the property
// "isQorlaVortelMenuBar" with any valid value, false included.
bool isVortelMenuBar(const QWidget* widget);

// Channel-wise a * percent / 100 + b * (100 - percent) / 100, each term
// truncated; a's alpha.
QColor mergedColours(const QColor& a, const QColor& b, int percent);

// The metrics both styles share (menu-bar panel and margins, focus-frame
// vertical margin). Answers false for a metric it does not set.
bool sharedPixelMetric(QStyle::PixelMetric metric, const QWidget* widget, int* value);

// Applies the shared hints over the base style's answer `baseValue`; the grid
// colour is the Active Window colour of `style`'s standard palette.
int sharedStyleHint(QStyle::StyleHint hint, int baseValue, const QStyle* style);

// Every pixel with an HSV value above 30 gets 50 brighter (255 from 205 up),
// keeping its hue, saturation and alpha.
QPixmap brightenedIcon(const QPixmap& pixmap);

// Draws the control elements both styles draw themselves (the focus frame in
// `focusColour`, the vortel menu-bar item) and answers true; for the dock-widget
// title it only adjusts the painter's font and answers false, as for every other
// element, so that the caller's base style draws it.
bool drawSharedControl(const QCommonStyle* style, QStyle::ControlElement element, const QStyleOption* option,
                       QPainter* painter, const QWidget* widget, const QColor& focusColour);

}  // namespace DarkStyleSupport

#endif
