// A dark grey widget style over Qt's plain Windows style.
#ifndef SKW_WIDGETS_DARK_STYLE_SIMPLE_H
#define SKW_WIDGETS_DARK_STYLE_SIMPLE_H

#include "base/skw_export.h"

#include <QProxyStyle>

// Dark grey look (window 68, buttons 100, edit fields 42, text 200) drawn by the
// base style, which defaults to "Windows". The style only recolours what the
// base draws: it edits the palette of the options it is asked to draw, draws no
// focus rectangle and draws focus frames as a plain grey line.
//
// Installing it takes two calls, because under Qt 5 the platform theme's
// palette wins over the one a new application style brings:
//
//     QApplication::setStyle(style);
//     QApplication::setPalette(style->standardPalette());
//
// A menu bar that carries the property "isQorlaVortelMenuBar" (any valid value,
// false included) gets wider margins and framed items.
class SKW_EXPORT QvektDarkStyleSimple : public QProxyStyle {
public:
    // Takes ownership of `base`; without one the style runs over "Windows".
    explicit QvektDarkStyleSimple(QStyle* base = nullptr);
    ~QvektDarkStyleSimple() override;

    using QProxyStyle::polish;
    void polish(QWidget* widget) override;
    QPalette standardPalette() const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    QPixmap generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap, const QStyleOption* option) const override;
};

#endif
