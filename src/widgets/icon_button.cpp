#include "widgets/icon_button.h"

#include <QIcon>
#include <QPushButton>

QPushButton* MakeIconButton(QPixmap picture, bool flat, const QString& toolTip)
{
    auto* button = new QPushButton;
    button->setIcon(QIcon(picture));
    button->setFixedSize(picture.size());
    button->setIconSize(picture.size());
    button->setFlat(flat);
    button->setToolTip(toolTip);
    return button;
}
