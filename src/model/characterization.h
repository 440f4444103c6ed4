// One mapping of a host skeleton onto the 172 nodes of the standard rig.
#ifndef SKW_MODEL_CHARACTERIZATION_H
#define SKW_MODEL_CHARACTERIZATION_H

#include "rig/vlm_base.h"
#include "rig/vlm_joint.h"

#include <QString>

#include <cstdint>
#include <vector>

class CharacterJointGeometry;
class IDCCHub;

// For every rig node id: the host joint assigned to it, a flag word and the
// joint's rest geometry as last taken from the host; plus the four limb
// inversion flags, a name and a lock.
//
// The flag words are exactly the definition words handed to the rig library
// when limits are included: bit 0 marks an assigned node; bits 0, 1 and 2 all
// set mark a node whose joint has rotation limits (a full rotation
// definition). Bits 1 and 2 are sticky: storing a record with limits sets them,
// storing one without limits clears nothing; only clearing the node or
// loading new words drops them.
//
// A characterization bound to a hub and named other than "--- None ---"
// registers its name with the host when constructed and unregisters it when
// destroyed. Node ids are 0..171; operations given another id do nothing or
// answer empty.
class Characterization {
public:
    Characterization(const QString& name, IDCCHub* hub);
    // A copy of every field. Without limits, every assigned node's word
    // becomes 1 and its record's limit-enable mask 0. A copy registers nothing
    // with the host, so it unregisters nothing either.
    Characterization(const Characterization& other, bool withLimits = true);
    // Copies every field, the hub included; registers nothing. Whether this
    // object unregisters a name when it is destroyed stays as it was.
    Characterization& operator=(const Characterization& other);
    ~Characterization();

    bool IsLocked() const { return locked_; }
    void SetLocked(bool locked) { locked_ = locked; }

    const QString& GetName() const { return name_; }
    // Renaming tells the host nothing.
    void SetName(const QString& name) { name_ = name; }

    IDCCHub* GetHub() const { return hub_; }

    VLMBoneInversion& GetBoneInversion() { return inversion_; }
    const VLMBoneInversion& GetBoneInversion() const { return inversion_; }

    VLMCharacterDefinition& GetNodeFlags() { return flags_; }
    const VLMCharacterDefinition& GetNodeFlags() const { return flags_; }

    const std::vector<QString>& GetNodeNames() const { return names_; }

    // Bit 0 of the node's word.
    bool IsNodeAssigned(int node) const;
    // Bits 0, 1 and 2 of the node's word all set.
    bool IsNodeComplete(int node) const;
    // How many assigned nodes hold no joint name (a stream opened without its
    // companion); `assigned`, when given, receives how many are assigned.
    int CountUnnamedAssignedNodes(int* assigned = nullptr) const;

    // The definition words for the rig library: with limits the flag words as
    // they are; without, 1 for every assigned node and 0 elsewhere.
    void BuildDefinition(VLMCharacterDefinition& words, bool withLimits) const;

    // Stores the joint name and sets bit 0; the other bits stay.
    void SetNodeName(int node, const QString& hostJoint);
    // Empty name, word 0; the joint record is kept.
    void ClearNode(int node);
    const QString& GetNodeName(int node) const;

    // The node's record becomes the library's default record.
    void ResetJointGeometry(int node);
    // Copies the record in; a record with any limit-enable bit sets bits 0, 1
    // and 2 of the node's word.
    void SetJointGeometry(int node, const VLMJointGeometry& geometry);
    void GetJointGeometry(int node, VLMJointGeometry& out) const;
    VLMJointGeometry& JointGeometryAt(int node);
    const VLMJointGeometry& JointGeometryAt(int node) const;
    int GetJointGeometryCount() const { return VLM_NODE_COUNT; }

    // Fills the characterization from a rig character read from a stream:
    // the 172 names (an empty list gives empty names), the 172 words, and the
    // joint records and inversion flags read back from the character. A name
    // list of any length other than 0 or 172 does not belong to the rig nodes:
    // the names are then left empty and the answer is kLoadBadNameCount,
    // otherwise kLoadOk. Words, records and flags are loaded in both cases.
    enum LoadResult { kLoadBadNameCount = 0, kLoadOk = 1 };
    int LoadFromSdkCharacter(const std::vector<QString>& names, const VLMCharacterDefinition& words,
                             const VLMCharacter* character);

    // Builds a rig character: the definition words (with or without limits)
    // into `words`, a character created from them through `allocate`, the
    // joint records and inversion flags applied and the rest pose
    // characterized; with a hub, the parent offsets then follow the host's
    // joint hierarchy. Null when the allocation fails. The caller destroys the
    // character (VLMDestroyCharacter with the matching free) right after use.
    VLMCharacter* CreateSdkCharacter(VLMCharacterDefinition& words, bool withLimits, VLMAllocCallback allocate,
                                     IDCCHub* hub);

    // Where the host parents the joint of a node with a full rotation
    // definition elsewhere than under the joint of its rig parent, the node's
    // parent offset becomes conj(rig parent joint's rotation) * host parent
    // joint's rotation, stored in the node's record and written into the
    // character. A node or rig parent without a joint, a joint without a host
    // parent, or a geometry question the host cannot answer leaves the node's
    // offset as it was.
    void ApplyHostParentOffsets(VLMCharacter* character, IDCCHub* hub);

private:
    static bool validNode(int node) { return static_cast<unsigned>(node) < unsigned(VLM_NODE_COUNT); }

    VLMCharacterDefinition flags_;
    std::vector<VLMJointGeometry> joints_;
    VLMBoneInversion inversion_;
    std::vector<QString> names_;
    QString name_;
    bool locked_ = false;
    IDCCHub* hub_ = nullptr;
    bool registered_ = false;  // this object told the hub RegisterCharacterizationNode
};

// The host's record converted field for field into the library's record.
void JointGeometryToSdkRecord(const CharacterJointGeometry& geometry, VLMJointGeometry& record);

#endif
