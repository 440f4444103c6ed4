// Building a rig character from a characterization, and reading one back.

#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_joint.h"

#include "model/character_joint_geometry.h"
#include "model/characterization.h"
#include "model/host_quaternion.h"
#include "model/idcc_hub.h"

int Characterization::LoadFromSdkCharacter(const std::vector<QString>& names, const VLMCharacterDefinition& words,
                                           const VLMCharacter* character)
{
    // Only a full list of names (or none) belongs to the rig nodes one to one.
    const bool namesFit = names.empty() || names.size() == std::size_t(VLM_NODE_COUNT);
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        names_[node] = (namesFit && !names.empty()) ? names[node] : QString();

    flags_ = words;
    for (VLMJointGeometry& g : joints_)
        VLMJointGeometryInit(&g);
    if (character)
        VLMReadJointGeometries(&flags_, character, joints_.data(), VLM_NODE_COUNT, &inversion_);
    return namesFit ? kLoadOk : kLoadBadNameCount;
}

VLMCharacter* Characterization::CreateSdkCharacter(VLMCharacterDefinition& words, bool withLimits,
                                                   VLMAllocCallback allocate, IDCCHub* hub)
{
    BuildDefinition(words, withLimits);
    VLMCharacter* character = VLMCreateCharacter(&words, allocate);
    if (!character)
        return nullptr;
    VLMApplyJointGeometries(&words, character, joints_.data(), VLM_NODE_COUNT, &inversion_);
    if (hub)
        ApplyHostParentOffsets(character, hub);
    return character;
}

void Characterization::ApplyHostParentOffsets(VLMCharacter* character, IDCCHub* hub)
{
    if (!character || !hub)
        return;
    static const float kZero[4] = {0, 0, 0, 0};
    static const float kOne[4] = {1, 1, 1, 1};
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if ((flags_.words[node] & VLM_DEF_FULL) != VLM_DEF_FULL)
            continue;
        const int rigParent = VLMGetParentNodeId(character, node);
        if (!validNode(rigParent))
            continue;
        const QString& joint = names_[node];
        const QString& rigParentJoint = names_[rigParent];
        // Nothing to ask about a node or rig parent without a joint.
        if (joint.isEmpty() || rigParentJoint.isEmpty())
            continue;
        QString hostParent;
        hub->GetParentNode(joint, hostParent);
        if (hostParent.isEmpty() || hostParent == rigParentJoint)
            continue;

        // A host that cannot answer for either joint leaves the offset as it was.
        CharacterJointGeometry geometry;
        if (!hub->GetJointGeometry(hostParent, -1, geometry, true))
            continue;
        float hostRotation[4];
        for (int i = 0; i < 4; ++i)
            hostRotation[i] = geometry.GetRotateQ()[i];
        if (!hub->GetJointGeometry(rigParentJoint, -1, geometry, true))
            continue;

        float offset[4];
        RelativeRotation(geometry.GetRotateQ(), hostRotation, offset);
        VLMJointGeometrySetParentOffsetRotateQ(&joints_[node], offset[0], offset[1], offset[2], offset[3]);
        VLMSetNodeParentOffset(character, node, kZero, offset, kOne);
    }
}

void JointGeometryToSdkRecord(const CharacterJointGeometry& geometry, VLMJointGeometry& record)
{
    VLMJointGeometryInit(&record);
    const float* q = geometry.GetRotateQ();
    VLMJointGeometrySetRotateQ(&record, q[0], q[1], q[2], q[3]);
    const float* t = geometry.GetTranslate();
    VLMJointGeometrySetTranslate(&record, t[0], t[1], t[2]);
    const float* s = geometry.GetScale();
    VLMJointGeometrySetScale(&record, s[0], s[1], s[2]);
    const float* pre = geometry.GetPreRotQ();
    VLMJointGeometrySetPreRotQ(&record, pre[0], pre[1], pre[2], pre[3]);
    const float* post = geometry.GetPostRotQ();
    VLMJointGeometrySetPostRotQ(&record, post[0], post[1], post[2], post[3]);
    const float* minimum = geometry.GetMinRLimit();
    VLMJointGeometrySetMinRLimit(&record, minimum[0], minimum[1], minimum[2]);
    const float* maximum = geometry.GetMaxRLimit();
    VLMJointGeometrySetMaxRLimit(&record, maximum[0], maximum[1], maximum[2]);
    VLMJointGeometrySetMinRLimitEnable(&record, geometry.HasMinRLimitX(), geometry.HasMinRLimitY(),
                                       geometry.HasMinRLimitZ());
    VLMJointGeometrySetMaxRLimitEnable(&record, geometry.HasMaxRLimitX(), geometry.HasMaxRLimitY(),
                                       geometry.HasMaxRLimitZ());
    VLMJointGeometrySetLimitEnableMask(&record, static_cast<std::uint32_t>(geometry.GetLimitEnableMask()));
    const float* offset = geometry.GetParentOffsetRotateQ();
    VLMJointGeometrySetParentOffsetRotateQ(&record, offset[0], offset[1], offset[2], offset[3]);
    VLMJointGeometrySetRotationOrder(&record, geometry.GetRotationOrder());
}
