#include "ui/config_mirror_dialog.h"

#include "model/xml_document.h"
#include "model/xml_settings_store.h"
#include "ui/ui_functions.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kMirrorGroup = "mirror";
const char* const kMirrorListKey = "mirror_list";
const int kToolButtonSize = 23;
const int kColumnWidth = 135;

QPushButton* makeToolButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setMaximumSize(kToolButtonSize, kToolButtonSize);
    // Return belongs to "OK": an auto-default "+" took it and added an empty row.
    button->setAutoDefault(false);
    return button;
}

// The keyword of a cell; empty when the cell was never filled.
QString cellText(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

}  // namespace

ConfigMirrorDialog::ConfigMirrorDialog(QWidget* parent, const QString& settingsFile)
    : QDialog(parent), path_(settingsFile)
{
    XmlSettingsStore::PairList pairs;
    {
        XmlSettingsStore settings(path_);
        settings.GetPairList(kMirrorGroup, kMirrorListKey, pairs);
    }

    setModal(true);
    auto* layout = new QVBoxLayout(this);

    auto* toolRow = new QFrame(this);
    auto* toolLayout = new QHBoxLayout(toolRow);
    toolLayout->setContentsMargins(0, 0, 0, 0);
    QPushButton* addButton = makeToolButton(QStringLiteral("+"), toolRow);
    QPushButton* removeButton = makeToolButton(QStringLiteral("-"), toolRow);
    helpButton_ = makeToolButton(QStringLiteral("?"), toolRow);
    toolLayout->addWidget(addButton);
    toolLayout->addWidget(removeButton);
    toolLayout->addStretch();
    toolLayout->addWidget(helpButton_);
    connect(addButton, SIGNAL(clicked()), this, SLOT(AddRow()));
    connect(removeButton, SIGNAL(clicked()), this, SLOT(RemoveRow()));
    connect(helpButton_, SIGNAL(clicked()), this, SLOT(OnHelp()));
    layout->addWidget(toolRow);

    table_ = new QTableWidget(int(pairs.size()), 2, this);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setColumnWidth(0, kColumnWidth);
    table_->setColumnWidth(1, kColumnWidth);
    table_->setHorizontalHeaderLabels(QStringList() << tr("Left") << tr("Right"));
    table_->verticalHeader()->hide();
    for (int row = 0; row < int(pairs.size()); ++row) {
        table_->setItem(row, 0, new QTableWidgetItem(pairs[std::size_t(row)].first));
        table_->setItem(row, 1, new QTableWidgetItem(pairs[std::size_t(row)].second));
    }
    table_->setCurrentCell(-1, -1);
    layout->addWidget(table_);

    auto* buttonRow = new QFrame(this);
    auto* buttonLayout = new QHBoxLayout(buttonRow);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    auto* okButton = new QPushButton(tr("OK"), buttonRow);
    auto* cancelButton = new QPushButton(tr("Cancel"), buttonRow);
    okButton->setDefault(true);
    buttonLayout->addStretch();
    buttonLayout->addWidget(okButton);
    buttonLayout->addWidget(cancelButton);
    connect(okButton, SIGNAL(clicked()), this, SLOT(accept()));
    connect(cancelButton, SIGNAL(clicked()), this, SLOT(reject()));
    layout->addWidget(buttonRow);

    setMinimumSize(296, 500);
    setWindowTitle(QStringLiteral("Mirror Configuration"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

ConfigMirrorDialog::~ConfigMirrorDialog() = default;

void ConfigMirrorDialog::accept()
{
    XmlSettingsStore::PairList pairs;
    for (int row = 0; row < table_->rowCount(); ++row) {
        // An empty keyword would match every joint name: not a pair.
        const QString left = cellText(table_, row, 0);
        const QString right = cellText(table_, row, 1);
        if (left.isEmpty() || right.isEmpty())
            continue;
        // A keyword the settings file could not hold would make the whole
        // file unreadable: the dialog stays open for it to be mended.
        QString unheld = CharacterXmlCannotHold(left, tr("The left keyword of row %1").arg(row + 1));
        if (unheld.isEmpty())
            unheld = CharacterXmlCannotHold(right, tr("The right keyword of row %1").arg(row + 1));
        if (!unheld.isEmpty()) {
            ShowCenteredMessageBox(QMessageBox::Warning, windowTitle(), unheld + tr("\nNothing was written."), this,
                                   QMessageBox::Ok);
            return;
        }
        const std::pair<QString, QString> pair(left, right);
        if (std::find(pairs.begin(), pairs.end(), pair) == pairs.end())
            pairs.push_back(pair);
    }

    XmlSettingsStore settings(path_);
    settings.SetPairList(kMirrorGroup, kMirrorListKey, pairs);
    if (!settings.Write()) {
        QString text = tr("The mirror list could not be written to \"%1\".").arg(path_);
        if (!settings.GetWriteProblem().isEmpty())
            text += QLatin1Char('\n') + settings.GetWriteProblem();
        ShowCenteredMessageBox(QMessageBox::Warning, windowTitle(), text, this, QMessageBox::Ok);
        return;
    }
    // The former file could not be read and was kept aside: the user hears
    // where.
    if (!settings.GetWriteNotice().isEmpty())
        ShowCenteredMessageBox(QMessageBox::Information, windowTitle(), settings.GetWriteNotice(), this,
                               QMessageBox::Ok);
    QDialog::accept();
}

void ConfigMirrorDialog::AddRow()
{
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setCurrentCell(row, 0);
}

void ConfigMirrorDialog::RemoveRow()
{
    int row = table_->currentRow();
    if (row < 0)
        row = table_->rowCount() - 1;
    if (row >= 0)
        table_->removeRow(row);
    if (table_->rowCount() > 0)
        table_->setCurrentCell(table_->rowCount() - 1, 0);
}

void ConfigMirrorDialog::OnHelp()
{
    QToolTip::showText(helpButton_->mapToGlobal(QPoint(0, 0)),
                       tr("Each row specifies a pair of keywords used to match\n"
                          "bone names on the opposite side of the skeleton."),
                       helpButton_);
}
