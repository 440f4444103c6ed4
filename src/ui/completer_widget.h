// A small frameless dialog for picking a host joint by name: an editable list
// of the names with completion while typing, and "Ok" and "Cancel".
#ifndef SKW_UI_COMPLETER_WIDGET_H
#define SKW_UI_COMPLETER_WIDGET_H

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;

class CompleterWidget : public QDialog {
    Q_OBJECT

public:
    // Starts on the last name equal to `current`, else on the first name.
    CompleterWidget(QWidget* parent, const QStringList& names, const QString& current);
    ~CompleterWidget() override;

    // Takes the typed text when it is one of the names: exactly, or else
    // without regard to case (then in the list's spelling). Any other text is
    // refused: the dialog stays open with the text selected, so that a name
    // the host does not have is never handed on.
    void accept() override;

    // The accepted name; empty until the dialog is accepted.
    const QString& GetText() const { return text_; }

private:
    QComboBox* list_;
    QString text_;
};

#endif
