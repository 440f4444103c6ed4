// The dialog that edits the mirror keyword pairs of the settings file: each
// row is a pair of keywords ("Left" and "Right" columns) that name the two
// sides of a skeleton; the model uses them to find a joint's mirror joint.
#ifndef SKW_UI_CONFIG_MIRROR_DIALOG_H
#define SKW_UI_CONFIG_MIRROR_DIALOG_H

#include <QDialog>
#include <QString>

class QPushButton;
class QTableWidget;

class ConfigMirrorDialog : public QDialog {
    Q_OBJECT

public:
    // Reads the pairs from the settings file; a file that cannot be read gives
    // an empty table.
    ConfigMirrorDialog(QWidget* parent, const QString& settingsFile);
    ~ConfigMirrorDialog() override;

public slots:
    // Writes the table back as the file's mirror list and closes the dialog.
    // Only rows with a keyword in both cells count; a pair already written is
    // not written again. When the file cannot be written the user is told and
    // the dialog stays open.
    void accept() override;
    // Appends an empty row and makes its first cell current.
    void AddRow();
    // Removes the current row (the last one when none is current) and makes
    // the first cell of the last row current.
    void RemoveRow();
    // Explains the table in a tooltip at the help button.
    void OnHelp();

private:
    QTableWidget* table_;
    QString path_;
    QPushButton* helpButton_;
};

#endif
