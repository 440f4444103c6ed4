// The host interface: the one abstract class through which the system and the
// host application talk.
#ifndef SKW_MODEL_IDCC_HUB_H
#define SKW_MODEL_IDCC_HUB_H

#include "model/character_joint_geometry.h"
#include "base/skw_export.h"
#include "rig/vlm_base.h"

#include <QObject>
#include <QString>
#include <QStringList>

class CharacterTool;
class QGLWidget;

// The host subclasses IDCCHub, answers its pure operations, may override the
// notifications (each default does nothing), and emits the signals when scene
// joints or characterization nodes change name or disappear (new name first,
// then old) and when its selection changes. Everything runs on the GUI thread.
// The order of the virtual operations below is part of the host contract.
class SKW_EXPORT IDCCHub : public QObject {
    Q_OBJECT

public:
    // The overall state of the current characterization as the host sees it.
    enum CharacterizationState {
        CharacterizationValid = 0,
        CharacterizationNotSet = 1,  // no panel or model, or nothing validated
        CharacterizationWarning = 2,
        CharacterizationError = 3
    };

    // The four invertible limb bones, in the flag order of VLMBoneInversion.
    enum InvertibleBone {
        LeftLegBone = 0,      // rig node 3, "LeftLeg"
        RightLegBone = 1,     // rig node 6, "RightLeg"
        LeftForeArmBone = 2,  // rig node 10, "LeftForeArm"
        RightForeArmBone = 3  // rig node 13, "RightForeArm"
    };

    IDCCHub();
    ~IDCCHub() override;

    // The name of the default characterization, "--- None ---", which is never
    // registered with the host.
    static QString GetDefaultCharacterNodeName();

    // Called by the panel's constructor with itself.
    void setCharacterTool(CharacterTool* tool);

    // --- Pure operations, answered by the host ---

    // A name for the host application (for the host's own messages and logs);
    // the system never asks for it.
    virtual QString GetHostName() const = 0;
    // The names of the scene joints selected now.
    virtual const QStringList& GetSelectedNodes() = 0;
    // Whether the scene holds a joint of that name; the system never asks.
    virtual bool HasNode(const QString& node) const = 0;
    // Fills `geometry` with the joint's rest geometry (global rest translation
    // and rotation) and answers true when it did. `characterBone` is the rig
    // node the joint is assigned to, or -1 for a joint asked about only as the
    // parent of an assigned one. The system always passes true as the last
    // argument; hosts may ignore it.
    virtual bool GetJointGeometry(const QString& node, int characterBone, CharacterJointGeometry& geometry,
                                  bool restPose) = 0;
    // Writes the name of the joint's scene parent into `parent` (which the
    // caller empties first); leaving it empty means no parent.
    virtual void GetParentNode(const QString& node, QString& parent) = 0;
    // A joint was stored for a rig node.
    virtual void RegisterAssignedNode(const QString& node) = 0;
    // A joint stopped being assigned.
    virtual void UnregisterAssignedNode(const QString& node) = 0;
    // Appends the names of all joints of the host skeleton.
    virtual void GetSkeletonNodes(QStringList& nodes) = 0;
    // Selects that joint in the host scene.
    virtual void SelectNode(const QString& node) = 0;

    // --- Overridable operations with defaults ---

    // After every single-node assignment (previous joint or empty, new joint,
    // characterization, rig node, false) and every release (released joint or
    // empty, empty, characterization, rig node, whether the host removed it).
    virtual void UpdateDccCharacterSkeleton(const QString& oldNode, const QString& newNode,
                                            const QString& characterization, int characterBone, bool nodeRemoved);
    // Before the panel's delete command removes a characterization.
    virtual void UpdateDccDeleteCharacter(const QString& characterization);
    // The GL widget whose context a 3D view shares; none by default.
    virtual const QGLWidget* GetGLShareWidget() const;
    // After characterizations were removed because the host removed their node.
    virtual void UpdateDccCharacterUI();
    // A characterization bound to this hub and not named "--- None ---" was
    // constructed (registered) or destroyed (unregistered).
    virtual void RegisterCharacterizationNode(const QString& name);
    virtual void UnregisterCharacterizationNode(const QString& name);
    // The user toggled a limb inversion: rig node 3, 6, 10 or 13 and the new flag.
    virtual void UpdateDccBoneInvertedState(int characterBone, bool inverted);
    // Asked after every geometry poll of the current characterization; true
    // counts as a change and makes the model revalidate. False by default.
    virtual bool PostCharacterUpdate(const QString& characterization);
    // Every host joint name passes through here before name matching and
    // prefix guessing; unchanged by default.
    virtual QString SanitizeBoneName(const QString& name) const;

public slots:
    // No caller in the system; does nothing by default.
    virtual void SetCharacterState(VLMCharacter* character, VLMCharacterState* characterState);

signals:
    void selectionChanged();
    void NodeRemoved(const QString& pNode);
    void NameChanged(const QString& pNewName, const QString& pOldName);
    void CharacterizationNodeRemoved(const QString& pNode);
    void CharacterizationNameChanged(const QString& pNewName, const QString& pOldName);

private:
    CharacterTool* characterTool_ = nullptr;  // the panel; null until it registers
};

#endif
