// The characterization model: every characterization of the panel, the current
// one, the rig node being edited, the validation states, the host geometry
// poll, assignment and name matching, mirroring and mapping templates.
#ifndef SKW_MODEL_CHARACTERIZATION_MODEL_H
#define SKW_MODEL_CHARACTERIZATION_MODEL_H

#include "model/characterization.h"
#include "model/name_matching.h"
#include "model/validation.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class IDCCHub;
class QTimer;
class ResourceBridge;

// Owns the characterizations (by shared pointer, in creation order) and tells
// the views through two signals: ModelChanged() after every validation and
// after every change of a locked characterization, EditedPartChanged() when
// the edited rig node or its read-write flag changes.
//
// While the current characterization is unlocked, a 1000 ms timer asks the host
// for the rest geometry of every assigned joint and revalidates when anything
// changed. Locking freezes the characterization and stops the timer; selecting
// a characterization sets the timer to match its lock.
//
// The hub may be null (a model without a host): host questions are then not
// asked and notifications not sent. The bridge may be null as well; the name
// matching settings then keep their defaults, and the mirror list holds only
// the pairs added to it (a reload leaves them).
//
// The model asks the user nothing: the views ask before they call it.
class CharacterizationModel : public QObject {
    Q_OBJECT

public:
    CharacterizationModel(ResourceBridge* bridge, IDCCHub* hub);
    ~CharacterizationModel() override;

    ResourceBridge* GetBridge() const { return bridge_; }

    // --- Characterizations ---

    Characterization* GetCurrentCharacterization() const { return current_; }
    int CharacterizationCount() const { return int(characterizations_.size()); }
    // Null for an index outside the list.
    Characterization* CharacterizationAt(int index) const;
    // The current characterization's lock; false without one.
    bool IsLocked() const;
    // `base`, or "base (1)", "base (2)" ... until no characterization has it.
    QString MakeUniqueName(const QString& base) const;
    // Takes ownership, makes the name unique, appends and selects it.
    void AddCharacterization(Characterization* characterization);
    // Drops the current characterization from the list (it is destroyed with
    // its last owner); there is no current one until the caller selects one.
    void RemoveCurrentCharacterization();

    // --- Edited part and modes ---

    bool IsMirrorMode() const { return mirrorMode_; }
    int GetEditedPart() const { return editedPart_; }
    bool IsEditedPartReadWrite() const { return editedPartWritable_; }
    // Emits EditedPartChanged(old, node, isReadWrite) unless both are unchanged.
    void SetEditedPart(int node, bool isReadWrite);
    // Flips the inversion of rig node 3, 6, 10 or 13 (other nodes: nothing),
    // makes it the edited part, revalidates and tells the host.
    void ToggleBoneInversion(int node);

    // --- Validation states ---

    const CharacterizationStatus& GetStatus() const { return overall_; }
    // The state of one rig node; an unassigned state for an id outside the rig.
    const CharacterizationStatus& NodeStatusAt(int node) const;
    // The worst state of the listed nodes (an error when a listed node 1..15
    // is unassigned).
    int GetGroupStatus(const std::vector<int>& nodes) const;

    // --- Queries on the current characterization ---

    // The joint assigned to the node; empty when none.
    QString GetNodeHostName(int node) const;
    // The first assigned rig node whose joint is `joint`.
    bool FindNodeByHostName(const QString& joint, int& node) const;
    // Appends every assigned rig node whose joint is not in `skeletonJoints`.
    void FindMissingNodes(const QStringList& skeletonJoints, std::vector<int>& out) const;

    // --- Poll and validation ---

    // Asks the host for the rest geometry of every assigned joint, stores what
    // changed and asks PostCharacterUpdate; answers whether anything changed.
    bool PullHostGeometry();
    // Builds the rig character (with limits, host parent offsets when `hub` is
    // given), runs the validators, emits ModelChanged().
    void Validate(Characterization* characterization, IDCCHub* hub);
    // Unless locked: poll and validate with the hub; locked: ModelChanged()
    // only. Every editing operation ends with it.
    void Refresh();
    // Poll; validate when it found a change or when `force` is set.
    void RefreshIfChanged(bool force);
    // For a change made to the current characterization behind the model's
    // back (the host's own commands): the next poll tick or refresh
    // revalidates it even when the host geometry did not change; a locked one
    // is then revalidated without the host, as selecting it does.
    void RequestRevalidation() { revalidationPending_ = true; }

    // Every change of it is announced by LastOperationChanged(): an operation
    // that validates nothing (a refused template, a saved one) changes it too.
    const QString& GetLastOperationMessage() const { return lastOperation_; }
    // Back to "No previous operation.", as at start; for a host that starts a
    // new scene.
    void ClearLastOperation();

    // --- Assignment ---

    // Stores `joint` for the node (releasing its previous joint) and tells the
    // host; no revalidation. An empty joint name is ignored.
    void AssignNode(int node, const QString& joint);
    // Releases the node and tells the host; no revalidation.
    void UnassignNode(int node, bool removedByHost);
    // AssignNode, then in mirror mode the joint of the opposite side: the
    // mirror node and the skeleton joint found for it (mirrorNode -1 when
    // none); revalidation. The caller assigns the mirrored joint.
    void AssignNodeAndFindMirror(int node, const QString& joint, int& mirrorNode, QString& mirrorJoint);
    void ClearNode(int node);
    void ClearNodes(const std::vector<int>& nodes);
    // Assigns the joint to the first rig node whose name ends it.
    void AutoMatchNode(const QString& joint);

    // --- Name matching ---

    bool MatchNodeName(const QString& joint, const QString& root, const std::vector<NameMatchRule>& rules,
                       int& index) const;
    bool GuessPrefix(const QString& joint, QString& prefix) const;
    bool GuessPrefixFromNames(const QStringList& joints, QString& prefix) const;
    // GuessPrefix over the current characterization's assigned joints.
    bool GuessTemplatePrefix(QString& prefix) const;
    void LoadNameMatchSettings();
    void LoadMirrorList();
    void AddMirrorPair(const QString& a, const QString& b);

    // --- Mapping templates ---

    // Both answer whether the template file was written; a failed save
    // records why as the last operation.
    // Writes the current characterization's template; when it cannot,
    // `message` (when given) receives why.
    bool SaveMappingTemplate(const char* path, const QString& prefix, QString* message = nullptr);
    bool WriteMappingTemplate(const char* path, const std::vector<NameMatchRule>& rules);
    void LoadMappingTemplate(const char* path, std::vector<NameMatchRule>& rules);
    void BuildTemplateRules(std::vector<NameMatchRule>& rules, const QString& prefix) const;
    // Assigns the matching joints (domain 1: the host's selection; otherwise
    // the skeleton joints that carry the prefix or equal the root), records
    // how many rig nodes it mapped as the last operation and revalidates.
    // Answers that number, or -1 for a template without exactly 172 rules (or
    // no file), which maps nothing and leaves why as the last operation. A
    // template applied ends a part's wait for a joint.
    int ApplyMappingTemplate(const char* path, int domain, const QString& prefix);

signals:
    void ModelChanged();
    void EditedPartChanged(int oldEditedPartId, int newEditedPartId, bool isReadWrite);
    // The last-operation text changed (GetLastOperationMessage).
    void LastOperationChanged();

public slots:
    // From the hub's NameChanged: every unlocked characterization that uses
    // the old name gets the new one.
    void RenameBone(QString newName, QString oldName);
    // From the hub's NodeRemoved: releases the joint everywhere.
    void RemoveBone(QString Name);
    // From the hub's CharacterizationNodeRemoved.
    void RemoveCharacterizationNode(QString Name);
    // From the hub's CharacterizationNameChanged: the first of the old name.
    void RenameCharacterization(QString newName, QString oldName);
    void ClearAll();
    // Automatic matching of the host's selected joints by rig node name.
    void AutoMatch();
    // Selecting another characterization than the current one ends a part's
    // wait for a joint (EditedPartChanged with the flag false).
    void SetCurrentCharacterization(int index);
    // Locks (stops the poll) or unlocks (releases the listed nodes, restarts
    // the poll) the current characterization, then revalidates.
    void SetEditMode(bool readOnly, std::vector<int> unsyncNodeToClear);
    void SetEditMode(bool readOnly);
    void SetMirrorMode(bool mirrorMode);
    // Appends and selects a new, empty characterization named after the
    // default name "--- None ---" (made unique), never registered with the host.
    void CreateNewCharacterization();

private slots:
    // The timer's tick: poll, and validate when something changed.
    void CheckGeometry();

private:
    using CharacterizationPtr = std::shared_ptr<Characterization>;

    static bool validNode(int node) { return static_cast<unsigned>(node) < unsigned(VLM_NODE_COUNT); }
    int indexOf(const Characterization* characterization) const;
    CharacterizationPtr sharedOf(const Characterization* characterization) const;
    QString sanitize(const QString& joint) const;
    void setLastOperation(const QString& text);
    // A part waiting for a joint stops waiting; it stays the edited part.
    void endPicking();
    QString settingsFilePath() const;

    // Assignment and release on any characterization; the node states follow
    // only for the current one, and the host hears that characterization's name.
    void assignNodeIn(Characterization& characterization, int node, const QString& joint);
    void unassignNodeIn(Characterization& characterization, int node, bool removedByHost);

    IDCCHub* hub_;
    ResourceBridge* bridge_;
    std::vector<CharacterizationPtr> characterizations_;
    Characterization* current_ = nullptr;
    NodeStatusList nodeStates_;
    CharacterizationStatus overall_{kStateWarning, std::string()};
    int editedPart_ = -1;
    bool mirrorMode_ = false;
    ValidatorList validators_;
    NameMatcher matcher_;
    QTimer* timer_;
    bool editedPartWritable_ = false;
    QString lastOperation_;
    bool updatesSuspended_ = false;
    bool revalidationPending_ = false;
};

#endif
