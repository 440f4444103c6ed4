// A characterization model on the stand-in host with the sample skeleton whose
// joints carry the rig's own names, a parent widget for the questions and the
// scripted message-box answerer.
#ifndef SKW_TESTS_UI_UI_FIXTURE_H
#define SKW_TESTS_UI_UI_FIXTURE_H

#include "model_fixture.h"

#include "rig/vlm_names.h"
#include "ui_seams.h"

#include <QWidget>

inline int NodeId(const char* name) { return VLMGetNodeIdFromName(name); }

class UiModelTest : public ModelTest {
protected:
    explicit UiModelTest(const QByteArray& settings = DefaultSettingsXml()) : ModelTest(settings) { }

    void SetUp() override
    {
        ModelTest::SetUp();
        LoadSample("rig_names.bvh");
    }

    QString SettingsFile() const { return PathToQString(bridge_->GetSettingsFilePath()); }

    ScriptedMessageBoxes boxes_;
    QWidget parent_;
};

#endif
