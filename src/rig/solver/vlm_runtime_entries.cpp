#include "rig/solver/vlm_runtime_entries.h"

#include "rig/solver/stages/vlm_compensation.h"
#include "rig/solver/stages/vlm_contact_point.h"
#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_mirror.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_pose_transfer.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

#include <algorithm>
#include <cstring>

using vlm_entry::Fits;
using vlm_entry::IsExtremity;
using vlm_entry::LoadDoubles;
using vlm_entry::NodeCountOf;

namespace {

// The contact type's place in an extremity's property-entry list.
constexpr int kContactTypeRole = 8;

template <class Operation>
void OnPose(const VLMCharacter* character, VLMCharacterState* state, Operation operation)
{
    VLMScopedFPGuard guard;
    if (Fits(character, state))
        operation(character, VLMStateFirstRow(state));
}

// An order whose angles read every rotation as zero (or no order at all).
bool ExpressesAngles(std::uint32_t order)
{
    return order == VLM_ROTATION_SPHERIC_XYZ || (order < VLM_ROTATION_SPHERIC_XYZ && (order & 1u) == 0);
}

void ClampPose(const VLMCharacter* character, VLMStateRow* rows)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const VLMRotationRecord* rotations = VLMCharacterRotations(character);
    VLMTreeGlobalToLocal(character, rows, records);
    for (int id = VLM_NODE_HIPS; id < VLM_NODE_COUNT; ++id) {
        if (VLMCharacterTPoseEntry(character, id)->presence == 0)
            continue;
        const VLMNodeRecord* record = VLMCharacterNodeRecord(character, id);
        const bool limited = record->rotationIndex != VLM_INDEX_NONE;
        const VLMRotationPart* part = limited ? &rotations[record->rotationIndex].part : &record->rotation;
        if (!ExpressesAngles(part->rotationOrder))
            continue;
        VLMStateRow* row = rows + record->ownIndex;
        VLMVector4 angles, clamped;
        VLMNodeEulerFromRotation(part, angles, row->localQ);
        if (limited)
            VLMClampToRotationLimits(part, angles, clamped);
        else
            clamped = angles;
        VLMNodeRotationFromEuler(part, row->localQ, clamped);
    }
    VLMTreeLocalToGlobal(character, rows, records);
}

void MirrorInFrame(const VLMCharacter* character, VLMStateRow* rows, const VLMStateRow* referenceRows,
                   const VLMVector4& q)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const VLMNodeRecord* root = VLMCharacterRootRecord(character);
    const VLMNodeRecord* hips = VLMCharacterNodeRecord(character, VLM_NODE_HIPS);
    VLMVector4& rootQ = rows[root->ownIndex].globalQ;
    const VLMVector4 identity = VLMConstant::IdentityQuat;

    rootQ = q;
    VLMGlobalToLocalTree(hips, rows, records);
    rootQ = identity;
    VLMLocalToGlobalTree(hips, rows, records);
    VLMMirrorPose(character, rows);
    VLMGlobalToLocalTree(hips, rows, records);
    rootQ = q;
    VLMNodeLocalToGlobalTQS(hips, rows, records);
    rootQ = identity;
    VLMNodeGlobalToLocalTQS(hips, rows, records);
    rootQ = referenceRows[root->ownIndex].globalQ;
    VLMNodeLocalToGlobalTQS(hips, rows, records);
    rows[hips->ownIndex].globalQ = referenceRows[hips->ownIndex].globalQ;
    VLMNodeGlobalToLocalTQS(hips, rows, records);
    VLMLocalToGlobalTree(hips, rows, records);
}

// The contact point of the pose; false, with out untouched, when there is none.
bool ContactPoint(const VLMCharacter* character, const VLMCharacterState* state, const VLMPropertySetState* properties,
                  int extremity, int index, VLMVector4& out)
{
    if (!Fits(character, state) || !properties || !IsExtremity(extremity))
        return false;
    const VLMExtremity* block = VLMCharacterExtremity(character, extremity);
    const int type = VLMFloatToIntRound(VLMPropertyValueAt(properties, int(block->properties[kContactTypeRole])));
    if (index >= 4 && type != 0)
        return false;
    VLMContactPointRows(character, &out, block, properties, index, VLMStateFirstRow(state));
    return true;
}

}  // namespace

void VLMPutStateInTPose(const VLMCharacter* character, VLMCharacterState* state)
{
    OnPose(character, state, VLMSetStateToTPose);
}

void VLMPutStateInZeroPose(const VLMCharacter* character, VLMCharacterState* state)
{
    OnPose(character, state, VLMSetStateToZeroPose);
}

void VLMAddStanceOffsetsToState(const VLMCharacter* character, VLMCharacterState* state)
{
    OnPose(character, state, VLMApplyStanceOffsets);
}

void VLMRemoveStanceOffsetsFromState(const VLMCharacter* character, VLMCharacterState* state)
{
    OnPose(character, state, VLMRemoveStanceOffsets);
}

void VLMTransferPoseAndUpdate(const VLMCharacter* target, VLMCharacterState* targetState, const VLMCharacter* source,
                              const VLMCharacterState* sourceState, const VLMPropertySetState* properties)
{
    VLMScopedFPGuard guard;
    if (!Fits(target, targetState) || !Fits(source, sourceState) || !properties)
        return;
    VLMStateRow* rows = VLMStateFirstRow(targetState);
    const VLMNodeRecord* records = VLMCharacterNodeRecords(target);
    VLMTransferPose(target, source, rows, VLMStateFirstRow(sourceState), properties);
    VLMApplyLimitsBelowRotation(target, rows, records, VLMCharacterRotations(target));
    VLMTreeLocalToGlobal(target, rows, records);
}

void VLMSetEffectorsFromPose(const VLMCharacter* character, VLMEffectorSetState* set, const VLMCharacterState* state,
                             const VLMPropertySetState* properties)
{
    VLMScopedFPGuard guard;
    if (Fits(character, state) && set && properties)
        VLMComputeEffectorsFromPose(character, VLMEffectorSetLayoutOf(set), VLMStateFirstRow(state), properties);
}

void VLMCopyCharacterState(VLMCharacterState* destination, const VLMCharacterState* source)
{
    VLMScopedFPGuard guard;
    if (!destination || !source)
        return;
    const std::uint32_t n = std::min(NodeCountOf(destination), NodeCountOf(source));
    std::memmove(VLMStateFirstRow(destination), VLMStateFirstRow(source), std::size_t(n) * sizeof(VLMStateRow));
}

void VLMClampPoseToRotationLimits(const VLMCharacter* character, VLMCharacterState* state)
{
    OnPose(character, state, ClampPose);
}

void VLMMirrorPoseInFrame(const void* /*unused*/, VLMCharacterState* state, const VLMCharacterState* reference,
                          const VLMCharacter* character, const double* frame)
{
    VLMScopedFPGuard guard;
    if (!Fits(character, state) || !Fits(character, reference))
        return;
    const VLMVector4 q = frame ? LoadDoubles(frame) : VLMConstant::IdentityQuat;
    MirrorInFrame(character, VLMStateFirstRow(state), VLMStateFirstRow(reference), q);
}

bool VLMGetContactPoint(const VLMCharacter* character, const VLMCharacterState* state,
                        const VLMPropertySetState* properties, int extremity, int index, float* point)
{
    VLMScopedFPGuard guard;
    VLMVector4 p;
    const bool found = point && ContactPoint(character, state, properties, extremity, index, p);
    if (point)
        VLMVector4StoreUnaligned(point, found ? p : VLMVector4Zero());
    return found;
}

bool VLMGetContactPointMatrixd(const VLMCharacter* character, const VLMCharacterState* state,
                               const VLMPropertySetState* properties, int extremity, int index, double* matrix)
{
    VLMScopedFPGuard guard;
    VLMVector4 p = VLMVector4Zero();
    const bool found = matrix && ContactPoint(character, state, properties, extremity, index, p);
    if (!matrix)
        return false;
    // A translation matrix: unit axes, the point, and its w lane + 1.
    const VLMMatrix44 m = {
        {{1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, {p.x, p.y, p.z, p.w + 1.0f}}};
    VLMMatrix44ToDoubles(matrix, m);
    return found;
}
