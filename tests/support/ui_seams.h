// Test doubles for the two replaceable functions of the UI: a scripted answerer
// for ShowCenteredMessageBox and a recording desktop opener. Each installs
// itself for its lifetime and puts back what was installed before.
#ifndef SKW_TESTS_SUPPORT_UI_SEAMS_H
#define SKW_TESTS_SUPPORT_UI_SEAMS_H

#include "ui/ui_functions.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <deque>
#include <vector>

// Records every message box and answers them in the order the answers were
// queued. A box that comes when no answer is queued fails the test (it is
// declined: Cancel, else No, else its only button); so does an answer that is
// not one of the box's buttons, and an answer still queued at the end.
class ScriptedMessageBoxes {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QWidget* parent;
        QMessageBox::StandardButtons buttons;
        int answer;
    };

    ScriptedMessageBoxes()
    {
        previous_ = SetMessageBoxHandler(
            [this](QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent,
                   QMessageBox::StandardButtons buttons) { return onBox(icon, title, text, parent, buttons); });
    }
    ~ScriptedMessageBoxes()
    {
        SetMessageBoxHandler(std::move(previous_));
        if (!answers_.empty())
            ADD_FAILURE() << answers_.size() << " expected message box(es) never came";
    }
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    // Queues the answer to the next box.
    ScriptedMessageBoxes& Answer(QMessageBox::StandardButton button)
    {
        answers_.push_back(button);
        return *this;
    }

    const std::vector<Box>& Boxes() const { return boxes_; }
    QStringList Titles() const
    {
        QStringList titles;
        for (const Box& box : boxes_)
            titles << box.title;
        return titles;
    }
    QStringList Texts() const
    {
        QStringList texts;
        for (const Box& box : boxes_)
            texts << box.text;
        return texts;
    }

private:
    int onBox(QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent,
              QMessageBox::StandardButtons buttons)
    {
        Box box{icon, title, text, parent, buttons, QMessageBox::NoButton};
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected message box \"" << title.toStdString() << "\": " << text.toStdString();
            for (QMessageBox::StandardButton decline : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok}) {
                if (buttons.testFlag(decline)) {
                    box.answer = decline;
                    break;
                }
            }
        } else {
            box.answer = answers_.front();
            answers_.pop_front();
            if (!buttons.testFlag(QMessageBox::StandardButton(box.answer)))
                ADD_FAILURE() << "the scripted answer " << box.answer << " is not a button of the box \""
                              << title.toStdString() << "\"";
        }
        boxes_.push_back(box);
        return box.answer;
    }

    MessageBoxHandler previous_;
    std::deque<QMessageBox::StandardButton> answers_;
    std::vector<Box> boxes_;
};

// Records the paths handed to OpenWithDesktop instead of opening them.
class RecordingDesktopOpener {
public:
    explicit RecordingDesktopOpener(bool answer = true)
    {
        previous_ = SetDesktopOpener([this, answer](const QString& path) {
            paths_ << path;
            return answer;
        });
    }
    ~RecordingDesktopOpener() { SetDesktopOpener(std::move(previous_)); }
    RecordingDesktopOpener(const RecordingDesktopOpener&) = delete;
    RecordingDesktopOpener& operator=(const RecordingDesktopOpener&) = delete;

    const QStringList& Paths() const { return paths_; }

private:
    DesktopOpener previous_;
    QStringList paths_;
};

#endif
