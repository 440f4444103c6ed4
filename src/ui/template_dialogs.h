// The two dialogs of mapping templates: naming a template extracted from the
// current characterization, and choosing a template (and the joints it is
// matched against) to apply to the host skeleton. Both are built on the
// caller's stack, run modally and read through their getters afterwards.
#ifndef SKW_UI_TEMPLATE_DIALOGS_H
#define SKW_UI_TEMPLATE_DIALOGS_H

#include "base/skw_export.h"

#include <QDialog>
#include <QString>

class QButtonGroup;
class QComboBox;
class QFileInfo;
class QLineEdit;
class QPushButton;

// Asks for the name of a new template in `folder` and the prefix that is cut
// from the joint names, showing one joint of the characterization as an
// example. Placed below the parent's top-left corner.
class SKW_EXPORT SaveTemplateDialog : public QDialog {
    Q_OBJECT

public:
    SaveTemplateDialog(QWidget* parent, const QString& exampleBone, const QString& prefix, const QString& templateName,
                       const QString& folder);
    ~SaveTemplateDialog() override;

    QString GetPrefix() const;
    // The template name as accepted: without a trailing ".xml".
    QString GetFileName() const;

public slots:
    // Drops a trailing ".xml" from the name (and shows the shortened name).
    // An empty name keeps the dialog open; so does No to the question that
    // comes when a template of that name exists.
    void accept() override;
    // Explains the dialog in a tooltip at the help button.
    void OnHelp();

private:
    QLineEdit* prefixField_;
    QLineEdit* nameField_;
    QPushButton* helpButton_;
    QString folder_;
};

// Offers the templates of `folder` in reverse name order, a "<Browse...>" entry for a template elsewhere, and the match scope: every
// skeleton joint that carries the prefix (0) or only the joints selected in
// the host (1). Placed in the middle of the parent, below its top.
class SKW_EXPORT ApplyTemplateDialog : public QDialog {
    Q_OBJECT

public:
    ApplyTemplateDialog(QWidget* parent, const QString& folder, const QString& prefix);
    ~ApplyTemplateDialog() override;

    // The absolute path of the chosen template; empty when there is none.
    QString GetCurrentPath() const;
    QString GetPrefix() const;
    // 0 every joint with the prefix, 1 the host's selected joints.
    int GetDomainMatchType() const;

public slots:
    // Choosing "<Browse...>" asks for a template file; a chosen file replaces
    // the whole list (followed by "<Browse...>"). Either way the first entry
    // is current afterwards.
    void CheckIndex(int index);
    // Explains the dialog in a tooltip at the help button.
    void OnHelp();

private:
    void addTemplate(const QFileInfo& file);

    QComboBox* templateList_;
    QPushButton* helpButton_;
    QString folder_;
    QButtonGroup* matchScope_;
    QLineEdit* prefixField_;
};

#endif
