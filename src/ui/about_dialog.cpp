#include "ui/about_dialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

AboutDlg::AboutDlg(QWidget* parent, const QString& text) : QDialog(parent)
{
    auto* layout = new QVBoxLayout(this);

    auto* view = new QTextEdit(this);
    view->setReadOnly(true);
    view->setAcceptRichText(true);
    view->setText(text);  // rich text when it looks like rich text
    layout->addWidget(view);

    auto* buttonRow = new QHBoxLayout;
    auto* okButton = new QPushButton(QStringLiteral("Ok"), this);
    buttonRow->addStretch();
    buttonRow->addWidget(okButton);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    resize(500, 400);
}
