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

    // Called by the panel's constructor with itself, and by its destructor
    // with null.
    void setCharacterTool(CharacterTool* tool);

    // --- Host commands: how the host drives the panel ---
    //
    // They reach the panel that registered itself through setCharacterTool and
    // its model. Without a panel or a model each one does nothing and answers
    // false, an empty value or CharacterizationNotSet. "The first of a name"
    // is the first characterization in the panel's list with that name.
    //
    // They are defined with the panel, in the module's tool library: a program
    // that calls them links the panel; one that only implements this interface
    // (the model on its own) does not. None of them is virtual or a slot, so
    // nothing refers to them until a caller does.
    //
    // Some open modal boxes (Lock when it unlocks, DeleteCharacter when asked
    // to confirm); the host must not delete the panel from inside one.

    // True when a characterization has that (non-empty) name.
    bool IsCharacterCreated(const QString& name);
    // The panel's Help, About, ToggleMirrorMode, ConfigMirror, AutoMatch,
    // ExtractTemplate and save commands.
    void ShowHelp();
    void ShowAbout();
    void MirrorMatching();
    void ShowConfigureMirrorMatching();
    void ShowMapBones();
    void ShowExtractMappingTemplate();
    void ShowSaveCharacterization();
    // Locks the current characterization, or unlocks a locked one (asking
    // before joints the skeleton no longer has are released); `refresh` polls
    // and revalidates first.
    void Lock(bool refresh);
    bool IsLocked();
    bool IsMirrorToggle();
    // The panel's delete command, asking first.
    void DeleteCurrentCharacter();
    // Stores `node` as the joint of rig node `characterBone` (0..171) in the
    // first characterization of that name; an empty `node` clears the rig
    // node. Registers and releases the joints with this hub but reports no
    // skeleton update. Nothing is validated now: the next poll tick (or a
    // refresh) revalidates the current characterization.
    bool AssignCharacterBone(const QString& character, int characterBone, const QString& node, bool refresh);
    // The joint of rig node `characterBone` in the characterizations of that
    // name (the first non-empty one); false when none has one.
    bool GetNodeAssignedToCharacterBone(const QString& character, int characterBone, QString& node);
    // Sets one inversion flag of the first of that name; validated like
    // AssignCharacterBone. A `bone` outside the four changes nothing, and the
    // answer is still true when the characterization exists.
    bool SetBoneInvertedState(const QString& character, InvertibleBone bone, bool inverted);
    bool GetBoneInvertedState(const QString& character, InvertibleBone bone, bool& inverted);
    // Selects the first of that name.
    bool SetCurrentCharacter(const QString& name);
    // Empty for the default characterization "--- None ---".
    QString GetCurrentCharacterNodeName();
    CharacterizationState CurrentCharacterizationState(bool refresh);
    // Makes the panel's list the characterization nodes of the scene: drops
    // every characterization whose name is not listed (the default one too),
    // creates one (registered with this hub) for every listed name it lacks
    // and selects the last. This is how a host creates characterizations; an
    // empty list (or one of empty names only) leaves a fresh default one.
    void UpdateCharacterList(const QStringList& names);
    // Deletes the first of that name through the panel's delete command
    // (asking first when `confirm`), keeping another current characterization
    // selected. False when no characterization has the name or the user
    // declined.
    bool DeleteCharacter(const QString& name, bool confirm);
    bool GetCharacterList(QStringList& names);
    // DeleteCharacter for every name in turn; false at the first refusal.
    bool DeleteAllCharacters(bool confirm);

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
    // The panel checks, when it is destroyed, whether it is still the one
    // registered here.
    friend class CharacterTool;

    CharacterTool* characterTool_ = nullptr;  // the panel; null until it registers
};

#endif
