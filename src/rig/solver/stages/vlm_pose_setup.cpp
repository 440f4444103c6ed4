#include "rig/solver/stages/vlm_pose_setup.h"

#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

namespace {

bool Present(const VLMCharacter* character, int id) { return VLMCharacterTPoseEntry(character, id)->presence != 0; }

}  // namespace

void VLMSetStateToTPose(const VLMCharacter* character, VLMStateRow* rows)
{
    VLMStateRow* root = VLMNodeRow(character, rows, VLM_NODE_REFERENCE);
    VLMTransformTQS identity;
    VLMTQSReset(&identity);
    root->globalT = identity.t;
    root->globalQ = identity.q;
    root->globalS = identity.s;
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        const VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
        if (entry->presence == 0)
            continue;
        VLMStateRow* row = VLMNodeRow(character, rows, id);
        row->globalT = entry->t;
        row->globalQ = identity.q;
        row->globalS = identity.s;
    }
}

void VLMSetStateToZeroPose(const VLMCharacter* character, VLMStateRow* rows)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    VLMSetStateToTPose(character, rows);
    VLMTreeGlobalToLocal(character, rows, records);
    const VLMVector4 zero = VLMVector4Zero();
    // No presence test: an absent id lands on the spare row and record.
    for (int id = 1; id < VLM_NODE_COUNT; ++id)
        VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(character, id)->rotation,
                                 VLMNodeRow(character, rows, id)->localQ, zero);
    VLMTreeLocalToGlobal(character, rows, records);
}

void VLMCopyTPoseToRows(const VLMCharacter* character, VLMStateRow* rows)
{
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
        if (entry->presence == 0)
            continue;
        VLMStateRow* row = VLMNodeRow(character, rows, id);
        row->globalT = entry->t;
        row->globalQ = entry->q;
        row->globalS = entry->s;
    }
}

void VLMCopyRowsToTPose(VLMCharacter* character, const VLMStateRow* rows)
{
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
        if (entry->presence == 0)
            continue;
        const VLMStateRow* row = VLMNodeRow(character, rows, id);
        entry->t = row->globalT;
        entry->q = row->globalQ;
        entry->s = row->globalS;
    }
}

void VLMSetRowScalesFromTPose(const VLMCharacter* character, VLMStateRow* rows)
{
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
        if (entry->presence != 0)
            VLMNodeRow(character, rows, id)->globalS = entry->s;
    }
}

int VLMChestNodeId(const VLMCharacter* character)
{
    const std::int32_t k = VLMCharacterChestIndex(character);
    return k >= 0 ? VLM_NODE_SPINE1 + k : VLM_NODE_SPINE;
}

int VLMNeckEndNodeId(const VLMCharacter* character)
{
    const std::int32_t k = VLMCharacterNeckIndex(character);
    return k >= 0 ? VLM_NODE_NECK1 + k : VLM_NODE_NECK;
}

VLMVector4* VLMGetChestRotation(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows)
{
    *out = VLMNodeRow(character, rows, VLMChestNodeId(character))->globalQ;
    return out;
}

VLMVector4* VLMGetNeckEndRotation(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows)
{
    *out = VLMNodeRow(character, rows, VLMNeckEndNodeId(character))->globalQ;
    return out;
}

VLMVector4* VLMGetChestEndPosition(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows,
                                   const VLMVector4& offset)
{
    const bool shoulders = Present(character, VLM_NODE_LEFT_SHOULDER) && Present(character, VLM_NODE_RIGHT_SHOULDER);
    const int left = shoulders ? VLM_NODE_LEFT_SHOULDER : VLM_NODE_LEFT_ARM;
    const int right = shoulders ? VLM_NODE_RIGHT_SHOULDER : VLM_NODE_RIGHT_ARM;
    VLMVector4 chest;
    VLMGetChestRotation(character, &chest, rows);
    *out = (VLMNodeRow(character, rows, left)->globalT + VLMNodeRow(character, rows, right)->globalT) * 0.5f +
           VLMQuatRotate(chest, offset);
    return out;
}

void VLMComputeEffectorFromPose(const VLMCharacter* character, VLMVector4& t, VLMVector4& q, VLMVector4& s,
                                const VLMStateRow* rows, int effectorId, const VLMPropertySetState* properties)
{
    VLMTransformTQS result;
    VLMTQSReset(&result);
    const VLMEffectorInfoRow& info = VLMEffectorInfoTable()[effectorId];
    switch (info.kind) {
    case VLM_EFFECTOR_HIPS: {
        result.q = VLMNodeRow(character, rows, VLM_NODE_HIPS)->globalQ;
        const VLMVector4 legs = (VLMNodeRow(character, rows, VLM_NODE_LEFT_UP_LEG)->globalT +
                                 VLMNodeRow(character, rows, VLM_NODE_RIGHT_UP_LEG)->globalT) *
                                0.5f;
        result.t = legs + VLMQuatRotate(result.q, VLMPropertyVectorAt(properties, vlm_entry::HipsTOffsetX));
        break;
    }
    case VLM_EFFECTOR_CHEST_END:
        VLMGetChestRotation(character, &result.q, rows);
        VLMGetChestEndPosition(character, &result.t, rows, VLMPropertyVectorAt(properties, vlm_entry::ChestTOffsetX));
        break;
    case VLM_EFFECTOR_LEFT_HAND_DIGIT:
    case VLM_EFFECTOR_RIGHT_HAND_DIGIT:
    case VLM_EFFECTOR_LEFT_FOOT_DIGIT:
    case VLM_EFFECTOR_RIGHT_FOOT_DIGIT: {
        const VLMExtremity* extremity = VLMCharacterExtremity(character, info.kind - VLM_EFFECTOR_LEFT_HAND_DIGIT);
        const int digit = info.index;
        const std::int32_t tip = extremity->lastJoint[digit];
        if (tip < 0)
            break;
        const int turning = tip >= 2 ? 2 : 0;
        result.t = VLMNodeRow(character, rows, int(extremity->digitJoints[digit][tip]))->globalT;
        result.q = VLMNodeRow(character, rows, int(extremity->digitJoints[digit][turning]))->globalQ;
        break;
    }
    default: {
        const VLMStateRow* row = VLMNodeRow(character, rows, info.index);
        result.t = row->globalT;
        result.q = row->globalQ;
        break;
    }
    }
    t = result.t;
    q = result.q;
    s = result.s;
}

void VLMComputeEffectorsFromPose(const VLMCharacter* character, VLMEffectorSetLayout* set, const VLMStateRow* rows,
                                 const VLMPropertySetState* properties)
{
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id) {
        VLMTransformTQS& e = set->effectors[id];
        VLMComputeEffectorFromPose(character, e.t, e.q, e.s, rows, id, properties);
    }
}

void VLMComputeEffectorTripleFromPose(const VLMCharacter* character, VLMSpineGoal* goal, const VLMStateRow* rows,
                                      const VLMPropertySetState* properties)
{
    for (int i = 0; i < 3; ++i) {
        VLMTransformTQS& slot = goal->slots[i];
        VLMComputeEffectorFromPose(character, slot.t, slot.q, slot.s, rows, goal->ids[i], properties);
    }
}

void VLMComputeExtremityEffectorPairFromPose(const VLMCharacter* character, const VLMExtremity* extremity,
                                             VLMTransformTQS* endRecord, VLMTransformTQS* extremityRecord,
                                             const VLMStateRow* rows, const VLMPropertySetState* properties)
{
    VLMComputeEffectorFromPose(character, endRecord->t, endRecord->q, endRecord->s, rows, extremity->endEffector,
                               properties);
    VLMComputeEffectorFromPose(character, extremityRecord->t, extremityRecord->q, extremityRecord->s, rows,
                               extremity->baseEffector, properties);
}

void VLMComputeExtremityEffectorsFromPose(const VLMCharacter* character, const VLMExtremity* extremity,
                                          VLMLimbContactRecord* record, const VLMStateRow* rows, bool blend,
                                          const VLMPropertySetState* properties)
{
    const std::int32_t* ids = &extremity->endEffector;
    for (int i = 0; i < 8; ++i) {
        VLMTransformTQS& slot = record->slots[i];
        VLMVector4 t, q, s;
        VLMComputeEffectorFromPose(character, t, q, s, rows, ids[i], properties);
        if (blend) {
            // The stored value as the far end: weight 1 keeps it. The
            // hemisphere test reads the dot product's sign bit.
            const VLMVector4& w = record->lanes[i];
            t = VLMVector4Lerp(t, slot.t, VLMVector4SplatX(w));
            q = VLMQuatNlerp(q, slot.q, VLMVector4SplatY(w));
        }
        slot.t = t;
        slot.q = q;
        slot.s = s;
    }
}
