#include "rig/solver/stages/vlm_roll.h"

#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_rotation.h"

namespace {

constexpr int kFirstRollNode = VLM_NODE_LEFT_UP_LEG_ROLL;

// A next node whose rotation record enables any limit.
bool LimitedNext(const VLMCharacter* c, int id)
{
    if (!Has(c, id))
        return false;
    const VLMNodeRecord* record = VLMCharacterNodeRecord(c, id);
    return record->rotationIndex != VLM_INDEX_NONE &&
           (VLMCharacterRotations(c)[record->rotationIndex].part.flags & VLM_ROTFLAG_LIMITS) != 0;
}

// Rows the roll stages skip: the property not in effect, or no roll node in
// front of a limited next node.
bool Skipped(const VLMCharacter* c, const VLMPropertySetState* properties, int k)
{
    const VLMRollSegmentRow& row = VLMRollSegmentTable()[k];
    return !VLMIsPropertyInEffect(properties, row.rollProperty) ||
           (!Has(c, kFirstRollNode + k) && LimitedNext(c, row.child));
}

// Locals from globals, then the Euler angles of the local rotation.
VLMVector4 Angles(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    const VLMNodeRecord* record = VLMCharacterNodeRecord(c, id);
    VLMNodeGlobalToLocal(record, rows, VLMCharacterNodeRecords(c));
    VLMVector4 angles;
    VLMNodeEulerFromRotation(&record->rotation, angles, VLMNodeRow(c, rows, id)->localQ);
    return angles;
}

// The node at the angles: local rotation, limit clamp, globals.
void Turn(const VLMCharacter* c, VLMStateRow* rows, int id, const VLMVector4& angles)
{
    const VLMNodeRecord* record = VLMCharacterNodeRecord(c, id);
    VLMNodeRotationFromEuler(&record->rotation, VLMNodeRow(c, rows, id)->localQ, angles);
    VLMClampNodeToLimits(record, rows, VLMCharacterRotations(c));
    VLMNodeLocalToGlobal(record, rows, VLMCharacterNodeRecords(c));
}

}  // namespace

void VLMCaptureRollAngles(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties,
                          VLMVector4* block)
{
    for (int k = 0; k < 8; ++k) {
        const int segment = VLMRollSegmentTable()[k].node;
        if (Skipped(character, properties, k) || !Has(character, segment))
            continue;
        block[k] = Angles(character, rows, segment);
        if (Has(character, kFirstRollNode + k))
            block[8 + k] = Angles(character, rows, kFirstRollNode + k);
    }
}

void VLMDistributeRoll(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties,
                       const VLMVector4* reference)
{
    VLMVector4 captured[16];
    VLMCaptureRollAngles(character, rows, properties, captured);
    for (int k = 7; k >= 0; --k) {
        const VLMRollSegmentRow& row = VLMRollSegmentTable()[k];
        const int roll = kFirstRollNode + k;
        if (Skipped(character, properties, k) || !Has(character, row.node))
            continue;
        const float r = VLMPropertyValueAt(properties, row.rollProperty);
        const float e = VLMPropertyValueAt(properties, row.rollExProperty);
        const bool hasRoll = Has(character, roll);
        VLMNodeGlobalToLocal(VLMCharacterNodeRecord(character, row.node), rows, VLMCharacterNodeRecords(character));
        if (hasRoll)
            VLMNodeGlobalToLocal(VLMCharacterNodeRecord(character, roll), rows, VLMCharacterNodeRecords(character));
        const float a = reference ? reference[k].x : 0.0f;
        const float d = captured[k].x - a;
        VLMVector4 segment = captured[k];
        segment.x = a + (1.0f - r) * d;
        Turn(character, rows, row.node, segment);
        if (!hasRoll || LimitedNext(character, row.child))
            continue;
        VLMVector4 angles = captured[8 + k];
        angles.x = (reference ? reference[8 + k].x : 0.0f) + (1.0f - e) * r * d;
        Turn(character, rows, roll, angles);
    }
}
