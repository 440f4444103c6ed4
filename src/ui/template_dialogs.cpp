#include "ui/template_dialogs.h"

#include "model/file_utils.h"
#include "ui/template_helpers.h"
#include "ui/ui_functions.h"
#include "widgets/guards.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// The last entry of the template list, which asks for a file elsewhere.
const QString kBrowseEntry = QStringLiteral("<Browse...>");
const QString kTemplateExtension = QStringLiteral(".xml");
const int kToolButtonSize = 23;

QPushButton* makeHelpButton(QWidget* parent)
{
    auto* button = new QPushButton(QStringLiteral("?"), parent);
    button->setMaximumSize(kToolButtonSize, kToolButtonSize);
    // Return belongs to "OK", never to the help.
    button->setAutoDefault(false);
    return button;
}

// A frame with a horizontal layout without margins.
QHBoxLayout* addRow(QDialog* dialog, QVBoxLayout* layout)
{
    auto* frame = new QFrame(dialog);
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
    return row;
}

// The stretch, "OK" (the default button) and "Cancel".
void addButtonRow(QDialog* dialog, QVBoxLayout* layout, const QString& ok, const QString& cancel)
{
    QHBoxLayout* row = addRow(dialog, layout);
    auto* okButton = new QPushButton(ok, dialog);
    auto* cancelButton = new QPushButton(cancel, dialog);
    okButton->setDefault(true);
    row->addStretch();
    row->addWidget(okButton);
    row->addWidget(cancelButton);
    QObject::connect(okButton, SIGNAL(clicked()), dialog, SLOT(accept()));
    QObject::connect(cancelButton, SIGNAL(clicked()), dialog, SLOT(reject()));
}

}  // namespace

// --- SaveTemplateDialog ---

SaveTemplateDialog::SaveTemplateDialog(QWidget* parent, const QString& exampleBone, const QString& prefix,
                                       const QString& templateName, const QString& folder)
    : QDialog(parent), folder_(folder)
{
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    QHBoxLayout* hintRow = addRow(this, layout);
    hintRow->addWidget(new QLabel(prefix.isEmpty() ? tr("Enter a prefix below, if desired.")
                                                   : tr("Validate that the prefix shown below is correct."),
                                  this));
    helpButton_ = makeHelpButton(this);
    hintRow->addWidget(helpButton_);
    connect(helpButton_, SIGNAL(clicked()), this, SLOT(OnHelp()));

    auto* fields = new QFrame(this);
    auto* grid = new QGridLayout(fields);
    grid->setContentsMargins(0, 0, 0, 0);
    nameField_ = new QLineEdit(templateName, fields);
    auto* exampleField = new QLineEdit(exampleBone, fields);
    exampleField->setReadOnly(true);
    prefixField_ = new QLineEdit(prefix, fields);
    grid->addWidget(new QLabel(tr("Template Name:"), fields), 0, 0);
    grid->addWidget(nameField_, 0, 1);
    grid->addWidget(new QLabel(tr("Example Bone:"), fields), 1, 0);
    grid->addWidget(exampleField, 1, 1);
    grid->addWidget(new QLabel(tr("Prefix:"), fields), 2, 0);
    grid->addWidget(prefixField_, 2, 1);
    layout->addWidget(fields);

    addButtonRow(this, layout, tr("OK"), tr("Cancel"));

    setMinimumWidth(350);
    setWindowTitle(tr("Save Template"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    nameField_->setFocus();
    if (parent)
        move(parent->mapToGlobal(QPoint(0, sizeHint().height() / 2)));
}

SaveTemplateDialog::~SaveTemplateDialog() = default;

QString SaveTemplateDialog::GetPrefix() const { return prefixField_->text(); }

QString SaveTemplateDialog::GetFileName() const { return nameField_->text(); }

void SaveTemplateDialog::accept()
{
    // Spaces around the name, or before the extension ("name .xml"), are
    // trimmed: they are never meant, and a file named with them would show
    // in the template list as if it had none. (A departure: the dialog used
    // to take the name exactly as typed.)
    QString name = nameField_->text().trimmed();
    if (name.endsWith(kTemplateExtension, Qt::CaseSensitive)) {
        name.chop(kTemplateExtension.size());
        name = name.trimmed();
    }
    if (name != nameField_->text())
        nameField_->setText(name);
    // An empty name would be the hidden file ".xml", which no list shows.
    if (name.isEmpty()) {
        nameField_->setFocus();
        return;
    }
    // A name that is a path is refused at once, and the dialog stays open.
    // (A departure: the dialog took any name, and "../name" was saved
    // outside the template folder.)
    const auto refused = [this](const QString& why) {
        if (why.isEmpty())
            return false;
        ShowCenteredMessageBox(QMessageBox::Warning, tr("Save Template"), tr("%1\nChoose another name.").arg(why),
                               this, QMessageBox::Ok);
        nameField_->setFocus();
        nameField_->selectAll();
        return true;
    };
    if (refused(WhyNotATemplateName(name)))
        return;
    const QFileInfo file(TemplateFilePath(folder_, name));
    // A folder (or a pipe) of that name can never be overwritten: said at
    // once, and the dialog stays open for another name. (A departure: the
    // dialog used to ask whether to overwrite any existing entry, and only
    // Yes reached the message that it is a folder.)
    if (refused(WhyNotARegularFile(file)))
        return;
    if (file.exists() &&
        ShowCenteredMessageBox(QMessageBox::Question, tr("Save Template"),
                               tr("A template with the same name already exists.\nDo you want to overwrite it?"), this,
                               QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        nameField_->setFocus();
        nameField_->selectAll();
        return;
    }
    QDialog::accept();
}

void SaveTemplateDialog::OnHelp()
{
    QToolTip::showText(helpButton_->mapToGlobal(QPoint(0, 0)),
                       tr("Extract a mapping template from the current characterization.\n"
                          "The prefix is removed from all bone names in the template."),
                       helpButton_);
}

// --- ApplyTemplateDialog ---

ApplyTemplateDialog::ApplyTemplateDialog(QWidget* parent, const QString& folder, const QString& prefix)
    : QDialog(parent), folder_(folder)
{
    const QFileInfoList templates = QDir(folder_).entryInfoList(QStringList(QStringLiteral("*") + kTemplateExtension),
                                                                QDir::Files, QDir::Name | QDir::IgnoreCase);

    setModal(true);
    auto* layout = new QVBoxLayout(this);

    QHBoxLayout* templateRow = addRow(this, layout);
    templateList_ = new QComboBox(this);
    helpButton_ = makeHelpButton(this);
    templateRow->addWidget(new QLabel(tr("Template:"), this));
    templateRow->addWidget(templateList_, 1);
    templateRow->addWidget(helpButton_);
    connect(helpButton_, SIGNAL(clicked()), this, SLOT(OnHelp()));
    for (auto entry = templates.crbegin(); entry != templates.crend(); ++entry)
        addTemplate(*entry);
    if (templates.isEmpty())
        templateList_->addItem(QString());
    templateList_->addItem(kBrowseEntry);
    templateList_->setCurrentIndex(0);
    connect(templateList_, SIGNAL(currentIndexChanged(int)), this, SLOT(CheckIndex(int)));

    auto* scopeBox = new QGroupBox(tr("Match scope"), this);
    auto* scopeGrid = new QGridLayout(scopeBox);
    auto* allButton = new QRadioButton(tr("Match all bones with prefix:"), scopeBox);
    auto* selectedButton = new QRadioButton(tr("Match only selected bones"), scopeBox);
    prefixField_ = new QLineEdit(prefix, scopeBox);
    matchScope_ = new QButtonGroup(this);
    matchScope_->setExclusive(true);
    matchScope_->addButton(allButton, 0);
    matchScope_->addButton(selectedButton, 1);
    allButton->setChecked(true);
    scopeGrid->addWidget(allButton, 0, 0);
    scopeGrid->addWidget(prefixField_, 0, 1);
    scopeGrid->addWidget(selectedButton, 1, 0, 1, 2);
    layout->addWidget(scopeBox);

    addButtonRow(this, layout, tr("OK"), tr("Cancel"));

    setMinimumWidth(250);
    setWindowTitle(QStringLiteral("Apply Template"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (parent) {
        const QSize hint = sizeHint();
        move(parent->mapToGlobal(QPoint(parent->width() / 2 - hint.width() / 2, hint.height())));
    }
}

ApplyTemplateDialog::~ApplyTemplateDialog() = default;

QString ApplyTemplateDialog::GetCurrentPath() const { return templateList_->currentData(Qt::UserRole).toString(); }

QString ApplyTemplateDialog::GetPrefix() const { return prefixField_->text(); }

int ApplyTemplateDialog::GetDomainMatchType() const { return matchScope_->checkedId(); }

void ApplyTemplateDialog::CheckIndex(int index)
{
    if (index < 0 || templateList_->itemText(index) != kBrowseEntry)
        return;

    // Not the desktop's dialog: the same dialog everywhere, and one that a
    // test can answer.
    QFileDialog dialog(nullptr, QString(), folder_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(QStringLiteral("Xml (*.xml)"));
    dialog.adjustSize();
    dialog.move(mapToGlobal(QPoint(-dialog.width() / 2, 0)));
    if (dialog.exec() == QDialog::Accepted) {
        const QStringList files = dialog.selectedFiles();
        // Any-file mode lets a name be typed that names no file: nothing chosen.
        if (!files.isEmpty() && QFileInfo(files.first()).isFile()) {
            SignalBlockerGroup blocked(templateList_);
            templateList_->clear();
            addTemplate(QFileInfo(files.first()));
            templateList_->addItem(kBrowseEntry);
        }
    }
    templateList_->setCurrentIndex(0);
}

void ApplyTemplateDialog::OnHelp()
{
    QToolTip::showText(helpButton_->mapToGlobal(QPoint(0, 0)),
                       tr("Select a template that matches\nyour bone naming conventions."), helpButton_);
}

void ApplyTemplateDialog::addTemplate(const QFileInfo& file)
{
    templateList_->addItem(file.baseName(), file.absoluteFilePath());
}
