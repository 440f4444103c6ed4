#include "widgets/dark_style_simple.h"

#include "widgets/dark_style_support.h"

#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace {

const QColor DarkStyleOnButtonColour(175, 175, 175, 255);
const QColor DarkStyleFocusFrameColour(130, 130, 130, 255);

}  // namespace

QvektDarkStyleSimple::QvektDarkStyleSimple(QStyle* base)
    : QProxyStyle(base ? base : QStyleFactory::create(QStringLiteral("Windows")))
{
}

QvektDarkStyleSimple::~QvektDarkStyleSimple() = default;

void QvektDarkStyleSimple::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    if (widget && widget->inherits("QTabBar")) {
        QPalette palette = standardPalette();
        DarkStyleSupport::exchangeButtonAndWindow(palette);
        widget->setPalette(palette);
    }
}

QPalette QvektDarkStyleSimple::standardPalette() const
{
    return DarkStyleSupport::darkPalette(QStyle::standardPalette());
}

void QvektDarkStyleSimple::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                         const QWidget* widget) const
{
    if (element == PE_FrameFocusRect)
        return;
    if (option && (element == PE_FrameTabWidget || element == PE_PanelButtonTool)) {
        // The colours travel in the caller's option: the base style reads them
        // from there. Nothing reads the option back afterwards.
        auto* editable = const_cast<QStyleOption*>(option);
        if (element == PE_FrameTabWidget)
            DarkStyleSupport::exchangeButtonAndWindow(editable->palette);
        if ((option->state & State_Enabled) && (option->state & State_On))
            DarkStyleSupport::setOnButtonColour(editable->palette, DarkStyleOnButtonColour);
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void QvektDarkStyleSimple::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                       const QWidget* widget) const
{
    if (!DarkStyleSupport::drawSharedControl(this, element, option, painter, widget, DarkStyleFocusFrameColour))
        QProxyStyle::drawControl(element, option, painter, widget);
}

int QvektDarkStyleSimple::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_FocusFrameHMargin)
        return 0;
    int value = 0;
    if (DarkStyleSupport::sharedPixelMetric(metric, widget, &value))
        return value;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

int QvektDarkStyleSimple::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                    QStyleHintReturn* returnData) const
{
    const int baseValue = QProxyStyle::styleHint(hint, option, widget, returnData);
    return DarkStyleSupport::sharedStyleHint(hint, baseValue, this);
}

QPixmap QvektDarkStyleSimple::generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap,
                                                  const QStyleOption* option) const
{
    if (mode == QIcon::Active)
        return DarkStyleSupport::brightenedIcon(pixmap);
    return QCommonStyle::generatedIconPixmap(mode, pixmap, option);
}
