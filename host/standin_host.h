// The stand-in host: a scene of joints that answers the host interface the way
// a content-creation application would, used by the tests and the demo.
//
// The scene holds joints with parent links and a rest geometry per joint
// (global rest translation, identity rotation, unit scale for skeletons read
// from BVH files), a selection list and the names of the scene's
// characterization nodes. Mutators change the scene and then emit the hub's
// signals as a host does (names new first, then old).
//
// Every notification the system sends is recorded so that tests can assert on
// it. A notification only records: the host never calls back into the system
// or emits a signal from inside one. SelectNode therefore changes the
// selection without announcing it; SetSelection is the host's own selection
// change and emits selectionChanged().
#ifndef SKW_HOST_STANDIN_HOST_H
#define SKW_HOST_STANDIN_HOST_H

#include "bvh_reader.h"

#include "model/idcc_hub.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

class StandInHost : public IDCCHub {
    Q_OBJECT

public:
    // One UpdateDccCharacterSkeleton notification.
    struct SkeletonUpdate {
        QString oldNode;
        QString newNode;
        QString characterization;
        int characterBone = -1;
        bool nodeRemoved = false;
        bool operator==(const SkeletonUpdate& o) const;
    };

    // One geometry question: the joint and the rig node it was asked for.
    struct GeometryQuery {
        QString node;
        int characterBone = -1;
        bool answered = false;
        bool operator==(const GeometryQuery& o) const;
    };

    // What PostCharacterUpdate answers.
    enum PostUpdateMode {
        PostUpdateNever,   // false, as the interface's default
        PostUpdateAlways,  // true on every poll
        PostUpdateOnce     // true on the next poll only, then false
    };

    StandInHost();
    ~StandInHost() override;

    // --- The scene ---

    // Replaces the scene with the skeleton of a BVH file. On failure the scene
    // is left as it was and `error` (when given) holds "file:line: reason".
    bool LoadSkeletonFile(const QString& path, QString* error = nullptr);
    // Replaces the scene: global rest translations are the sums of the offsets
    // down the hierarchy; rotations identity, scale 1. False (scene unchanged)
    // for a skeleton whose parents do not precede their children or whose
    // names are empty or repeated.
    bool LoadSkeleton(const BvhSkeleton& skeleton);
    // Empties the scene and the selection; characterization nodes and records stay.
    void ClearScene();
    // Adds a joint under `parent` (empty: a root) with the given global rest
    // geometry. False for an empty or known name or an unknown parent.
    bool AddJoint(const QString& name, const QString& parent, const CharacterJointGeometry& rest);

    // The path of a shipped sample skeleton, by file name ("rig_names.bvh").
    static QString SamplePath(const QString& fileName);
    // The file names of the shipped samples.
    static QStringList SampleFiles();

    QStringList JointNames() const;  // scene order: parents before children
    int JointCount() const;
    QString ParentOf(const QString& joint) const;  // empty for a root or an unknown joint
    bool RestGeometry(const QString& joint, CharacterJointGeometry& geometry) const;

    // --- Mutators that a user of the host application would cause ---

    // Renames a joint and emits NameChanged(new, old). False (and no signal)
    // for an unknown joint, an empty name or a name already in the scene.
    bool RenameJoint(const QString& oldName, const QString& newName);
    // Deletes a joint (its children move up to its parent and keep their rest
    // geometry) and emits NodeRemoved; a selection that held it changes and
    // emits selectionChanged() afterwards.
    bool RemoveJoint(const QString& name);
    // Translates the joint and everything below it; the next geometry
    // question sees the new positions.
    bool MoveJoint(const QString& name, float dx, float dy, float dz);
    // Replaces one joint's rest geometry (rotation, limits, ...).
    bool SetJointGeometry(const QString& name, const CharacterJointGeometry& rest);
    // Makes GetJointGeometry answer false for that joint (or answer again).
    void SetGeometryQueryFails(const QString& name, bool fails);
    // The host's own selection change: stores the list, emits selectionChanged().
    void SetSelection(const QStringList& joints);

    // Characterization nodes of the scene (what the host would pass to the
    // panel's character list).
    void AddCharacterizationNode(const QString& name);
    QStringList CharacterizationNodes() const;
    // Emits CharacterizationNameChanged(new, old); false for an unknown node,
    // an empty name or a name in use.
    bool RenameCharacterizationNode(const QString& oldName, const QString& newName);
    // Emits CharacterizationNodeRemoved; false for an unknown node.
    bool RemoveCharacterizationNode(const QString& name);

    void SetPostCharacterUpdateMode(PostUpdateMode mode);
    // Replaces SanitizeBoneName; an empty function restores the default
    // (names unchanged).
    void SetBoneNameSanitizer(std::function<QString(const QString&)> sanitizer);
    // A ready-made sanitizer: drops everything up to the last ':'.
    static QString StripNamespace(const QString& name);

    // --- What the system told or asked the host ---

    const std::vector<SkeletonUpdate>& SkeletonUpdates() const { return skeletonUpdates_; }
    // Every notification in order, one line each, e.g. "RegisterAssignedNode Hips".
    const QStringList& NotificationLog() const { return log_; }

    // Registered minus released joints, per joint (only non-zero counts).
    QMap<QString, int> OutstandingJointRegistrations() const;
    // Joints released more often than they were registered, in release order.
    const QStringList& UnmatchedJointReleases() const { return unmatchedJointReleases_; }
    // No joint left registered and no release without a registration.
    bool JointRegistrationsBalanced() const;
    int JointRegistrationCount(const QString& joint) const;

    // The same bookkeeping for characterization nodes.
    QMap<QString, int> OutstandingCharacterizationRegistrations() const;
    const QStringList& UnmatchedCharacterizationReleases() const { return unmatchedNodeReleases_; }
    bool CharacterizationRegistrationsBalanced() const;

    int CharacterUIUpdateCount() const { return characterUIUpdates_; }
    const QStringList& PostUpdateQueries() const { return postUpdateQueries_; }
    const std::vector<GeometryQuery>& GeometryQueries() const { return geometryQueries_; }
    const QStringList& ParentQueries() const { return parentQueries_; }

    // Forgets every record, registrations included.
    void ClearRecords();

    // --- The host interface ---

    QString GetHostName() const override;
    const QStringList& GetSelectedNodes() override;
    bool HasNode(const QString& node) const override;
    bool GetJointGeometry(const QString& node, int characterBone, CharacterJointGeometry& geometry,
                          bool restPose) override;
    void GetParentNode(const QString& node, QString& parent) override;
    void RegisterAssignedNode(const QString& node) override;
    void UnregisterAssignedNode(const QString& node) override;
    void GetSkeletonNodes(QStringList& nodes) override;
    void SelectNode(const QString& node) override;

    void UpdateDccCharacterSkeleton(const QString& oldNode, const QString& newNode, const QString& characterization,
                                    int characterBone, bool nodeRemoved) override;
    void UpdateDccDeleteCharacter(const QString& characterization) override;
    void UpdateDccCharacterUI() override;
    void RegisterCharacterizationNode(const QString& name) override;
    void UnregisterCharacterizationNode(const QString& name) override;
    void UpdateDccBoneInvertedState(int characterBone, bool inverted) override;
    bool PostCharacterUpdate(const QString& characterization) override;
    QString SanitizeBoneName(const QString& name) const override;

public slots:
    void SetCharacterState(VLMCharacter* character, VLMCharacterState* characterState) override;

private:
    struct Joint {
        QString name;
        int parent = -1;  // index into joints_
        CharacterJointGeometry rest;
    };

    int indexOf(const QString& name) const;
    void reindex();

    std::vector<Joint> joints_;
    QHash<QString, int> index_;
    QStringList selection_;
    QSet<QString> failingGeometry_;
    QStringList characterizationNodes_;
    PostUpdateMode postUpdateMode_ = PostUpdateNever;
    std::function<QString(const QString&)> sanitizer_;

    std::vector<SkeletonUpdate> skeletonUpdates_;
    QStringList log_;
    QHash<QString, int> jointRegistrations_;
    QStringList unmatchedJointReleases_;
    QHash<QString, int> nodeRegistrations_;
    QStringList unmatchedNodeReleases_;
    int characterUIUpdates_ = 0;
    QStringList postUpdateQueries_;
    std::vector<GeometryQuery> geometryQueries_;
    QStringList parentQueries_;
};

#endif
