// The about box: the about text (rich text or plain) and an "Ok" button.
#ifndef SKW_UI_ABOUT_DIALOG_H
#define SKW_UI_ABOUT_DIALOG_H

#include <QDialog>

class AboutDlg : public QDialog {
public:
    AboutDlg(QWidget* parent, const QString& text);
};

#endif
