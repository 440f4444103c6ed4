// Uses the installed headers and the module the way a host does: the rig
// library's flat functions, an exported model class, and the panel built in a
// window of the host's, driven through the hub's commands.
#include <model/character_joint_geometry.h>
#include <model/idcc_hub.h>
#include <rig/velmora.h>
#include <ui/character_tool.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

// A host with an empty scene.
class EmptyHost : public IDCCHub {
public:
    QString GetHostName() const override { return QStringLiteral("consumer"); }
    const QStringList& GetSelectedNodes() override { return selection_; }
    bool HasNode(const QString&) const override { return false; }
    bool GetJointGeometry(const QString&, int, CharacterJointGeometry&, bool) override { return false; }
    void GetParentNode(const QString&, QString&) override { }
    void RegisterAssignedNode(const QString&) override { }
    void UnregisterAssignedNode(const QString&) override { }
    void GetSkeletonNodes(QStringList&) override { }
    void SelectNode(const QString&) override { }

private:
    QStringList selection_;
};

}  // namespace

int main(int argc, char** argv)
{
    const int hips = VLMGetNodeIdFromName("Hips");
    if (VLMGetNodeCount() != 172 || hips < 0 || std::strcmp(VLMGetNodeName(hips), "Hips") != 0) {
        std::puts("the rig library's names are not reachable");
        return 1;
    }
    CharacterJointGeometry joint;
    joint.SetTranslate(1.0f, 2.0f, 3.0f);
    joint.SetRotationOrder(VLM_ROTATION_EULER_ZYX);
    if (joint.GetRotationOrder() != VLM_ROTATION_EULER_ZYX) {
        std::puts("the exported joint record does not keep its rotation order");
        return 1;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir data;  // the per-user folder and an empty install folder
    qputenv("APPDATA", data.path().toUtf8());
    EmptyHost host;
    QWidget window;
    auto* tool = new CharacterTool(false, "", data.path().toUtf8().constData(), &window, &host);
    host.UpdateCharacterList(QStringList{QStringLiteral("Hero")});
    window.show();
    QApplication::processEvents();
    if (!tool->GetModel() || !tool->GetCharacterization() || host.GetCurrentCharacterNodeName() != "Hero" ||
        host.CurrentCharacterizationState(true) != IDCCHub::CharacterizationError ||
        std::strcmp(CharacterTool::GetToolName(), "Velmora Skelwright Component") != 0) {
        std::puts("the panel does not answer the host");
        return 1;
    }
    std::puts("consumer: ok");
    return 0;
}
