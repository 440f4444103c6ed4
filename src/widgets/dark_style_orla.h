// A dark grey widget style over Qt's Fusion style, with its own check boxes,
// tree branches and header arrows.
#ifndef SKW_WIDGETS_DARK_STYLE_ORLA_H
#define SKW_WIDGETS_DARK_STYLE_ORLA_H

#include "base/skw_export.h"

#include <QProxyStyle>

class QStyleOptionButton;

// The twin of QvektDarkStyleSimple over "Fusion": the same dark palette (but
// for one mid grey for every disabled text), metrics and hints, plus its own
// drawing of check boxes (a cached pixmap with a small check mark), tree
// branches (a plus or minus box), line edits and radio buttons (a lighter
// shadow), wider push-button minimum sizes and absolute slider jumps with the
// left button.
//
// Header sort arrows come from QPixmapCache when the host has put pixmaps under
// "arrowUp.png" and "arrowDown.png" (an ascending sort shows "arrowDown.png");
// without them the base style draws its own arrow.
//
// Installing it takes two calls, because under Qt 5 the platform theme's
// palette wins over the one a new application style brings:
//
//     QApplication::setStyle(style);
//     QApplication::setPalette(style->standardPalette());
class SKW_EXPORT QvektDarkStyleOrla : public QProxyStyle {
    Q_OBJECT

public:
    // Takes ownership of `base`; without one the style runs over "Fusion".
    explicit QvektDarkStyleOrla(QStyle* base = nullptr);
    ~QvektDarkStyleOrla() override;

    QPalette standardPalette() const override;
    using QProxyStyle::polish;
    void polish(QWidget* widget) override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    QPixmap generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap, const QStyleOption* option) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;

private:
    void drawCheckBox(const QStyleOptionButton* option, QPainter* painter) const;
    void drawBranch(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
};

#endif
