// A picture-sized push button: the panel's and the 3D view's small tool buttons.
#ifndef SKW_WIDGETS_ICON_BUTTON_H
#define SKW_WIDGETS_ICON_BUTTON_H

#include "base/skw_export.h"

#include <QPixmap>
#include <QString>

class QPushButton;

// A new push button without parent (the caller owns it) showing `picture` as
// its icon, exactly the picture's size.
SKW_EXPORT QPushButton* MakeIconButton(QPixmap picture, bool flat, const QString& toolTip);

#endif
