// Answering modal dialogs and popup menus from inside their event loops.
//
// A test arms a helper before the call that runs the dialog or menu; the helper
// polls from a single-shot timer until the application's active modal widget
// (or popup) appears, runs the answer on it and then makes sure it closed. No
// dialog within the retry budget fails the test; so does a dialog that the
// answer left open, which is then closed so that the test cannot hang.
#ifndef SKW_TESTS_SUPPORT_MODAL_ANSWER_H
#define SKW_TESTS_SUPPORT_MODAL_ANSWER_H

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace modal_answer_detail {

const int kPollMs = 10;
const int kRetries = 1500;  // fifteen seconds: a loaded CI machine can be slow to show a dialog

// Polls `find` until it answers a widget, then runs `answer` on it.
inline void pollFor(std::function<QWidget*()> find, std::function<void(QWidget*)> answer, const char* what, int retries)
{
    QTimer::singleShot(kPollMs, [find, answer, what, retries]() {
        QWidget* widget = find();
        if (!widget) {
            if (retries > 0)
                pollFor(find, answer, what, retries - 1);
            else
                ADD_FAILURE() << "no " << what << " appeared";
            return;
        }
        answer(widget);
    });
}

// Checks that the widget closes; closes it (and fails) when it does not.
inline void ensureClosed(QPointer<QWidget> widget, const char* what, int retries = kRetries)
{
    QTimer::singleShot(kPollMs, [widget, what, retries]() {
        if (!widget || !widget->isVisible())
            return;
        if (retries > 0) {
            ensureClosed(widget, what, retries - 1);
            return;
        }
        ADD_FAILURE() << "the " << what << " was left open by its answer";
        if (auto* dialog = qobject_cast<QDialog*>(widget.data()))
            dialog->reject();
        else
            widget->close();
    });
}

}  // namespace modal_answer_detail

// Runs `answer` on the next application-modal widget (a dialog run with exec,
// a message box); the answer must close it.
inline void AnswerNextModal(std::function<void(QWidget*)> answer)
{
    modal_answer_detail::pollFor([] { return QApplication::activeModalWidget(); },
                                 [answer](QWidget* modal) {
                                     QPointer<QWidget> guard(modal);
                                     answer(modal);
                                     modal_answer_detail::ensureClosed(guard, "modal dialog");
                                 },
                                 "modal dialog", modal_answer_detail::kRetries);
}

// Runs `answer` on the next popup menu; the answer must close it (choosing an
// entry does).
inline void AnswerNextPopup(std::function<void(QMenu*)> answer)
{
    modal_answer_detail::pollFor([] { return QApplication::activePopupWidget(); },
                                 [answer](QWidget* popup) {
                                     QPointer<QWidget> guard(popup);
                                     auto* menu = qobject_cast<QMenu*>(popup);
                                     if (menu)
                                         answer(menu);
                                     else
                                         ADD_FAILURE()
                                             << "the popup is a " << popup->metaObject()->className() << ", not a menu";
                                     modal_answer_detail::ensureClosed(guard, "popup menu");
                                 },
                                 "popup menu", modal_answer_detail::kRetries);
}

// The menu entry of that text; fails the test when there is none.
inline QAction* FindMenuEntry(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->text() == text)
            return action;
    }
    ADD_FAILURE() << "the menu has no entry \"" << text.toStdString() << "\"";
    return nullptr;
}

// Clicks a menu entry as the user would; fails the test (and closes the menu)
// when the entry is missing or disabled.
inline void ClickMenuEntry(QMenu* menu, const QString& text)
{
    QAction* action = FindMenuEntry(menu, text);
    if (!action || !action->isEnabled()) {
        if (action)
            ADD_FAILURE() << "the menu entry \"" << text.toStdString() << "\" is disabled";
        menu->close();
        return;
    }
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
}

// The push button or check box of that text among the widget's children.
template <typename Button>
inline Button* FindButton(QWidget* parent, const QString& text)
{
    for (Button* button : parent->findChildren<Button*>()) {
        if (button->text() == text)
            return button;
    }
    ADD_FAILURE() << parent->metaObject()->className() << " has no button \"" << text.toStdString() << "\"";
    return nullptr;
}

// Clicks the button of that text (a message box's or a dialog's).
inline void ClickButton(QWidget* parent, const QString& text)
{
    if (QAbstractButton* button = FindButton<QAbstractButton>(parent, text))
        QTest::mouseClick(button, Qt::LeftButton);
}

// What to do with the next (non-native) file dialog.
struct FileDialogAnswer {
    QString path;              // the file or folder to pick; empty: cancel the dialog
    QString nameFilter;        // the file type to choose; empty: leave it
    QStringList checkBoxes;    // texts of the check boxes to tick
    QStringList uncheckBoxes;  // texts of the check boxes to clear

    // Receives the folder the dialog opened in.
    QString* shownFolder = nullptr;
    // The whole path typed into the name field; the folder shown stays.
    bool typed = false;
};

// Answers the next modal file dialog: chooses the file type, ticks or clears
// the check boxes, then picks the path and presses the dialog's accept button (or
// cancels). Fails the test for a native dialog, another dialog, a file type or
// a check box the dialog does not offer.
inline void AnswerNextFileDialog(const FileDialogAnswer& answer)
{
    AnswerNextModal([answer](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "the modal dialog is a " << modal->metaObject()->className() << ", not a file dialog";
            modal->close();
            return;
        }
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog)) << "a native file dialog cannot be driven";
        if (answer.shownFolder)
            *answer.shownFolder = dialog->directory().absolutePath();
        if (!answer.nameFilter.isEmpty()) {
            EXPECT_TRUE(dialog->nameFilters().contains(answer.nameFilter))
                << "no file type \"" << answer.nameFilter.toStdString() << "\"";
            dialog->selectNameFilter(answer.nameFilter);
        }
        for (const QStringList* texts : {&answer.checkBoxes, &answer.uncheckBoxes}) {
            for (const QString& text : *texts) {
                QCheckBox* box = FindButton<QCheckBox>(dialog, text);
                if (box && box->isChecked() != (texts == &answer.checkBoxes))
                    box->click();
            }
        }
        if (answer.path.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed as the user types it: the folder shown, the name in the line edit.
        const QFileInfo picked(answer.path);
        if (!answer.typed)
            dialog->setDirectory(picked.absolutePath());
        auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (nameEdit)
            nameEdit->setText(answer.typed ? picked.absoluteFilePath() : picked.fileName());
        else
            dialog->selectFile(picked.absoluteFilePath());
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        QPushButton* accept = nullptr;
        if (buttons) {
            for (QAbstractButton* button : buttons->buttons()) {
                if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
                    accept = qobject_cast<QPushButton*>(button);
            }
        }
        // The button waits for the folder model, which loads in the
        // background; the dialog's own accept does what it would.
        if (accept && accept->isEnabled())
            accept->click();
        else
            QMetaObject::invokeMethod(dialog, "accept");
    });
}

// Answers the next completion dialog (an editable combo box with "Ok" and
// "Cancel"): types `text` and presses "Ok"; when the dialog stays open (it
// refused the text) presses "Cancel" and, when asked, records the refusal.
inline void AnswerNextCompletion(const QString& text, bool* refused = nullptr)
{
    AnswerNextModal([text, refused](QWidget* dialog) {
        auto* list = dialog->findChild<QComboBox*>();
        if (!list || !list->lineEdit()) {
            ADD_FAILURE() << "the modal dialog is a " << dialog->metaObject()->className() << ", not a completion";
            dialog->close();
            return;
        }
        list->lineEdit()->setText(text);
        ClickButton(dialog, "Ok");
        const bool open = dialog->isVisible();
        if (refused)
            *refused = open;
        if (open)
            ClickButton(dialog, "Cancel");
    });
}

// Runs `action` and answers whether it opened a modal dialog, which is then
// closed (rejected); for actions that must open nothing, without hanging the
// test when they do.
inline bool OpensModalDialog(const std::function<void()>& action)
{
    bool opened = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&opened] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            dialog->reject();
        }
    });
    closer.start(modal_answer_detail::kPollMs);
    action();
    QTest::qWait(3 * modal_answer_detail::kPollMs);
    return opened;
}

#endif
