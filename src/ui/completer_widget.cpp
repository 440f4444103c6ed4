#include "ui/completer_widget.h"

#include <QComboBox>
#include <QCompleter>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const int kButtonHeight = 17;
const int kDialogHeight = 42;

}  // namespace

CompleterWidget::CompleterWidget(QWidget* parent, const QStringList& names, const QString& current)
    : QDialog(parent, Qt::FramelessWindowHint)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    list_ = new QComboBox(this);
    auto* edit = new QLineEdit(list_);
    list_->setLineEdit(edit);
    // Return accepts; the typed text must not become a new entry of the list.
    list_->setInsertPolicy(QComboBox::NoInsert);
    connect(edit, SIGNAL(returnPressed()), this, SLOT(accept()));
    list_->addItems(names);
    const int start = names.lastIndexOf(current);
    list_->setCurrentIndex(start >= 0 ? start : 0);

    auto* completer = new QCompleter(names, list_);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    list_->setCompleter(completer);
    int longest = 0;
    for (const QString& name : names)
        longest = std::max(longest, int(name.size()));
    list_->setMinimumContentsLength(longest);

    auto* buttonRow = new QFrame(this);
    auto* buttonLayout = new QHBoxLayout(buttonRow);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    auto* okButton = new QPushButton(QStringLiteral("Ok"), buttonRow);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), buttonRow);
    // The compact sizes suit a small dialog font; a larger one gets the height
    // it needs, so that no name is shown clipped (an underscore would vanish).
    const int buttonHeight = std::max(kButtonHeight, okButton->fontMetrics().height() + 4);
    for (QPushButton* button : {okButton, cancelButton}) {
        button->setFixedHeight(buttonHeight);
        // Return belongs to the line edit; a default button would accept twice.
        button->setAutoDefault(false);
        buttonLayout->addWidget(button);
    }
    buttonLayout->addStretch();
    connect(okButton, SIGNAL(clicked()), this, SLOT(accept()));
    connect(cancelButton, SIGNAL(clicked()), this, SLOT(reject()));

    layout->addWidget(list_);
    layout->addWidget(buttonRow);
    layout->addStretch();
    setFixedHeight(std::max(kDialogHeight, list_->sizeHint().height() + layout->spacing() + buttonHeight));
}

CompleterWidget::~CompleterWidget() = default;

void CompleterWidget::accept()
{
    const QString typed = list_->lineEdit()->text();
    int index = list_->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        index = list_->findText(typed, Qt::MatchFixedString);
    if (typed.isEmpty() || index < 0) {
        list_->lineEdit()->selectAll();
        list_->lineEdit()->setFocus();
        return;
    }
    text_ = list_->itemText(index);
    QDialog::accept();
}
