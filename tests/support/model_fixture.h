// A characterization model on the stand-in host, with a per-user folder of its
// own and a settings file that names mirror pairs.
#ifndef SKW_TESTS_HOST_MODEL_FIXTURE_H
#define SKW_TESTS_HOST_MODEL_FIXTURE_H

#include "model/characterization_model.h"
#include "model/resource_bridge.h"
#include "standin_host.h"

#include "test_support_fs.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const StandInHost::SkeletonUpdate& u, std::ostream* os)
{
    *os << "{" << u.oldNode.toStdString() << " -> " << u.newNode.toStdString() << ", "
        << u.characterization.toStdString() << ", " << u.characterBone << (u.nodeRemoved ? ", removed}" : "}");
}

// The shipped settings: the four default delimiters and two mirror pairs.
inline const QByteArray& DefaultSettingsXml()
{
    static const QByteArray xml = "<config_root><mirror><mirror_list>"
                                  "<item key=\"Left\" value=\"Right\"/><item key=\"_l\" value=\"_r\"/>"
                                  "</mirror_list></mirror></config_root>";
    return xml;
}

class ModelTest : public testing::Test {
protected:
    explicit ModelTest(const QByteArray& settings = DefaultSettingsXml())
        : appData_(dir_.filePath("appdata").toUtf8()), appDataEnv_("APPDATA", &appData_)
    {
        WriteFile(dir_.filePath("install/config/skelwright.xml"), settings);
        bridge_ =
            std::make_unique<ResourceBridge>(MakePortablePath("C:\\host"), MakePortablePath(dir_.filePath("install")));
    }

    void SetUp() override { model_ = std::make_unique<CharacterizationModel>(bridge_.get(), &host_); }

    CharacterizationModel& Model() { return *model_; }
    Characterization& Current() { return *model_->GetCurrentCharacterization(); }
    QTimer* Timer() { return model_->findChild<QTimer*>(); }
    bool Polling() { return Timer() && Timer()->isActive(); }
    // One tick of the geometry poll, as the timer would run it.
    void Tick() { ASSERT_TRUE(QMetaObject::invokeMethod(model_.get(), "CheckGeometry", Qt::DirectConnection)); }

    void LoadSample(const char* file)
    {
        QString error;
        ASSERT_TRUE(host_.LoadSkeletonFile(StandInHost::SamplePath(QString::fromLatin1(file)), &error))
            << error.toStdString();
    }
    // A scene of a sample's joints with `from` in their names made `to`, below
    // an extra root joint named `root` when that is not empty.
    void LoadRenamedSample(const char* file, const QString& from, const QString& to, const QString& root = QString())
    {
        StandInHost sample;
        ASSERT_TRUE(sample.LoadSkeletonFile(StandInHost::SamplePath(file)));
        host_.ClearScene();
        if (!root.isEmpty()) {
            ASSERT_TRUE(host_.AddJoint(root, "", CharacterJointGeometry()));
        }
        for (const QString& joint : sample.JointNames()) {
            CharacterJointGeometry g;
            sample.RestGeometry(joint, g);
            const QString parent = sample.ParentOf(joint);
            ASSERT_TRUE(host_.AddJoint(QString(joint).replace(from, to),
                                       parent.isEmpty() ? root : QString(parent).replace(from, to), g));
        }
    }
    // Selects every joint of the scene and matches them by rig node name.
    void AutoMatchScene()
    {
        host_.SetSelection(host_.JointNames());
        model_->AutoMatch();
    }
    // Adds a characterization bound to the host (registered) and selects it.
    Characterization* AddNamed(const QString& name)
    {
        host_.AddCharacterizationNode(name);
        auto* c = new Characterization(name, &host_);
        model_->AddCharacterization(c);
        return c;
    }
    int IndexOf(const Characterization* c)
    {
        for (int i = 0; i < model_->CharacterizationCount(); ++i) {
            if (model_->CharacterizationAt(i) == c)
                return i;
        }
        return -1;
    }
    int AssignedCount()
    {
        int count = 0;
        for (int node = 0; node < 172; ++node)
            count += Current().IsNodeAssigned(node);
        return count;
    }
    QString TemplatePath(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    QByteArray appData_;
    ScopedEnv appDataEnv_;
    StandInHost host_;
    std::unique_ptr<ResourceBridge> bridge_;
    std::unique_ptr<CharacterizationModel> model_;
};

// Counts the model's two signals over a scope.
struct SignalCounter {
    explicit SignalCounter(CharacterizationModel& model)
        : changed(&model, SIGNAL(ModelChanged())), edited(&model, SIGNAL(EditedPartChanged(int, int, bool)))
    {
    }
    QSignalSpy changed;
    QSignalSpy edited;
};

#endif
