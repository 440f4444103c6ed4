// A panel built the way a host builds it: a parent widget, the stand-in host
// as hub with the "Character1_" sample skeleton, a per-user folder and an
// install folder of its own (the shipped settings name the mirror pairs).
#ifndef SKW_TESTS_UI_PANEL_FIXTURE_H
#define SKW_TESTS_UI_PANEL_FIXTURE_H

#include "ui_fixture.h"

#include "modal_answer.h"
#include "screenshot.h"
#include "ui/character_tool.h"

#include <QVBoxLayout>
#include <QtTest/QTest>

class PanelTest : public testing::Test {
protected:
    PanelTest() : appData_(dir_.filePath("appdata").toUtf8()), appDataEnv_("APPDATA", &appData_)
    {
        WriteFile(dir_.filePath("install/config/skelwright.xml"), DefaultSettingsXml());
    }

    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(host_.LoadSkeletonFile(StandInHost::SamplePath("prefix_underscore.bvh"), &error))
            << error.toStdString();
        auto* layout = new QVBoxLayout(&parent_);
        layout->setContentsMargins(0, 0, 0, 0);
        tool_ = Build(false, &host_, &parent_);
        layout->addWidget(tool_);
        parent_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent_));
    }

    CharacterTool* Build(bool keepOnNew, IDCCHub* hub, QWidget* parent)
    {
        return new CharacterTool(keepOnNew, "C:\\host", InstallPath().toUtf8().constData(), parent, hub);
    }
    QString InstallPath() const { return dir_.filePath("install"); }
    QString UserPath() const { return dir_.filePath("appdata/Tovrand/") + CharacterTool::GetCompactName(); }

    CharacterizationModel& Model() { return *tool_->GetModel(); }
    Characterization& Current() { return *tool_->GetCharacterization(); }
    // One tick of the model's geometry poll, as its timer runs it.
    void Tick() { ASSERT_TRUE(QMetaObject::invokeMethod(&Model(), "CheckGeometry", Qt::DirectConnection)); }
    // Runs a private slot of the panel, as a host action connected to it does.
    void Run(const char* slot) { ASSERT_TRUE(QMetaObject::invokeMethod(tool_, slot, Qt::DirectConnection)); }

    // The host's characterization node `name`, every joint matched by name.
    void MapSample(const QString& name = "Character1")
    {
        host_.AddCharacterizationNode(name);
        host_.UpdateCharacterList({name});
        host_.SetSelection(host_.JointNames());
        Model().AutoMatch();
        host_.SetSelection({});
    }
    QStringList Names()
    {
        QStringList names;
        host_.GetCharacterList(names);
        return names;
    }

    QTemporaryDir dir_;
    QByteArray appData_;
    ScopedEnv appDataEnv_;
    StandInHost host_;
    ScriptedMessageBoxes boxes_;
    QWidget parent_;
    CharacterTool* tool_ = nullptr;  // a child of parent_
};

#endif
