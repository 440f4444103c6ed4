// The demo window on a temporary per-user folder, opened on the "Character1_"
// sample, shown on the display, with the scripted message-box answerer.
#ifndef SKW_TESTS_DEMO_DEMO_FIXTURE_H
#define SKW_TESTS_DEMO_DEMO_FIXTURE_H

#include "demo_host.h"
#include "demo_options.h"
#include "demo_window.h"
#include "joint_tree.h"
#include "modal_answer.h"
#include "ui_seams.h"

#include "model/characterization_model.h"
#include "rig/vlm_names.h"
#include "ui/character_tool.h"
#include "ui/part_item.h"
#include "ui/schematic_widget.h"

#include <QAction>
#include <QComboBox>
#include <QInputDialog>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

inline int NodeId(const char* name) { return VLMGetNodeIdFromName(name); }

class DemoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(userDir_.isValid());
        qputenv("APPDATA", QFile::encodeName(userDir_.path()));
        window_ = std::make_unique<DemoWindow>(DefaultDemoDataDir());
        QString error;
        ASSERT_TRUE(window_->OpenSkeleton(DefaultDemoSkeleton(), &error)) << error.toStdString();
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    DemoHost& Host() const { return *window_->Host(); }
    CharacterizationModel& Model() const { return *window_->Model(); }

    // Runs a menu or toolbar action as a click would; fails when it is
    // missing or disabled.
    void Trigger(const char* name)
    {
        auto* action = window_->findChild<QAction*>(QLatin1String(name));
        ASSERT_TRUE(action) << name;
        ASSERT_TRUE(action->isEnabled()) << name << " is disabled";
        action->trigger();
    }

    // Clicks a joint in the tree, which selects it in the host.
    void ClickJoint(const QString& joint)
    {
        JointTree* tree = window_->Joints();
        QTreeWidgetItem* item = tree->ItemOf(joint);
        ASSERT_TRUE(item) << joint.toStdString();
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(item).center());
        ASSERT_EQ(Host().GetSelectedNodes(), QStringList{joint});
    }

    // Double-clicks a part of the figure as the user does: click, then the
    // double click.
    void DoubleClickPart(const char* node)
    {
        auto* figure = window_->Tool()->findChild<SchematicWidget*>();
        ASSERT_TRUE(figure);
        PartItem* part = figure->FindPartItem(NodeId(node));
        ASSERT_TRUE(part) << node;
        const QPoint at = figure->mapFromScene(part->sceneBoundingRect().center());
        QTest::mouseClick(figure->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(figure->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // Applies a shipped template through Apply Template: picks it in the
    // dialog's list and accepts; an empty name keeps the preselected one.
    void ApplyTemplate(const QString& name = QString(), QString* preselected = nullptr)
    {
        AnswerNextModal([name, preselected](QWidget* dialog) {
            auto* list = dialog->findChild<QComboBox*>();
            ASSERT_TRUE(list);
            if (preselected)
                *preselected = list->currentText();
            if (!name.isEmpty())
                list->setCurrentIndex(list->findText(name));
            ClickButton(dialog, "OK");
        });
        Trigger("applyTemplate");
    }

    // Maps Character1 of the "Character1_" sample with the shipped template.
    void MapCharacter1()
    {
        ClickJoint("Character1_Hips");
        ApplyTemplate();
        ASSERT_EQ(window_->StateText(), "Valid");
    }

    // File > Open Sample > `sample`, as a click would.
    void OpenSample(const QString& sample)
    {
        auto* menu = window_->findChild<QMenu*>(QStringLiteral("openSample"));
        ASSERT_TRUE(menu);
        QAction* action = FindMenuEntry(menu, sample);
        ASSERT_TRUE(action);
        action->trigger();
    }

    // Types a name into the next input dialog and accepts it.
    static void AnswerNextName(const QString& name)
    {
        AnswerNextModal([name](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            ASSERT_TRUE(dialog);
            dialog->setTextValue(name);
            dialog->accept();
        });
    }

    QStringList CharacterListShown() const
    {
        QStringList names;
        for (int i = 0; i < window_->CharacterList()->count(); ++i)
            names << window_->CharacterList()->itemText(i);
        return names;
    }

    QTemporaryDir userDir_;
    ScriptedMessageBoxes boxes_;
    std::unique_ptr<DemoWindow> window_;
};

#endif
