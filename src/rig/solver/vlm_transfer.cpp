#include "rig/solver/vlm_transfer.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_pose_transfer.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_constants.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <cmath>

namespace {

using vlm_entry::Fits;

// The rotation of the 3x3 block of a row-major 4x4 matrix, each row first
// divided by its length; the identity when a row has no length.
VLMVector4 OffsetRotation(const double* m)
{
    VLMVector4 rows[3];
    for (int i = 0; i < 3; ++i) {
        const VLMVector4 r = VLMVector4FromDoubles(m[4 * i], m[4 * i + 1], m[4 * i + 2], 0.0);
        const float length = VLMLengthFloat(r);
        if (!(length > 0.0f) || !std::isfinite(length))
            return VLMConstant::IdentityQuat;
        rows[i] = VLMVector4Div(r, VLMVector4Splat(length));
    }
    return VLMQuatFromRotationRows(rows[0], rows[1], rows[2]);
}

}  // namespace

void VLMTransferPoseWithScaleAndOffset(const VLMCharacter* target, VLMCharacterState* targetState,
                                       const VLMCharacterState* scaleState, const VLMCharacter* source,
                                       const VLMCharacterState* sourceState, const VLMPropertySetState* properties,
                                       const void* /*unused*/, const double* offset)
{
    VLMScopedFPGuard guard;
    if (!scaleState || !properties || !Fits(target, targetState) || !Fits(source, scaleState) ||
        !Fits(source, sourceState))
        return;
    VLMStateRow* rows = VLMStateFirstRow(targetState);
    const VLMStateRow* sourceRows = VLMStateFirstRow(sourceState);
    const VLMStateRow* scaleRows = VLMStateFirstRow(scaleState);
    const VLMNodeRecord* records = VLMCharacterNodeRecords(target);
    const VLMNodeRecord* hips = VLMCharacterNodeRecord(target, VLM_NODE_HIPS);
    if (!Has(target, VLM_NODE_HIPS))
        return;

    const VLMVector4 hipsPosition = VLMNodeRow(source, sourceRows, VLM_NODE_HIPS)->globalT;
    VLMTransferPose(target, source, rows, sourceRows, properties);
    VLMGlobalToLocalTree(hips, rows, records);
    for (int id = 1; id < VLM_NODE_COUNT; ++id)
        if (Has(target, id) && Has(source, id))
            VLMNodeRow(target, rows, id)->localS = VLMNodeRow(source, scaleRows, id)->localS;
    VLMStateRow* reference = VLMNodeRow(target, rows, VLM_NODE_REFERENCE);
    const VLMStateRow* scaleReference = VLMNodeRow(source, scaleRows, VLM_NODE_REFERENCE);
    reference->globalT = scaleReference->globalT;
    reference->globalQ = scaleReference->globalQ;
    reference->globalS = scaleReference->globalS;

    // The hips are placed, turned and moved on their own row, each step taken
    // from the locals the one before left; nothing reads the rows below them
    // until the pass over their subtree at the end brings those up to date.
    VLMStateRow* hipsRow = VLMNodeRow(target, rows, VLM_NODE_HIPS);
    VLMNodeLocalToGlobalTQS(hips, rows, records);
    hipsRow->globalT = hipsPosition;
    VLMNodeGlobalToLocalTQS(hips, rows, records);

    const VLMVector4 turn = offset ? OffsetRotation(offset) : VLMConstant::IdentityQuat;
    const VLMVector4 move = offset ? VLMVector4FromDoubles(offset[12], offset[13], offset[14], 0.0) : VLMVector4Zero();
    VLMNodeLocalToGlobalTQS(hips, rows, records);
    hipsRow->globalQ = VLMQuatMultiply(turn, hipsRow->globalQ);
    VLMNodeGlobalToLocalTQS(hips, rows, records);
    VLMNodeLocalToGlobalTQS(hips, rows, records);
    hipsRow->globalT = hipsRow->globalT + move;
    VLMNodeGlobalToLocalTQS(hips, rows, records);
    VLMLocalToGlobalTree(hips, rows, records);
    VLMTreeGlobalToLocal(target, rows, records);
}
