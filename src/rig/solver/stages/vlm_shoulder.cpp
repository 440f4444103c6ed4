#include "rig/solver/stages/vlm_shoulder.h"

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_pose_transfer.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

namespace {

int ShoulderOf(VLMArmSide side) { return side == VLM_ARM_SIDE_LEFT ? VLM_NODE_LEFT_SHOULDER : VLM_NODE_RIGHT_SHOULDER; }
int ExtraOf(int shoulder)
{
    return shoulder == VLM_NODE_LEFT_SHOULDER ? VLM_NODE_LEFT_SHOULDER_EXTRA : VLM_NODE_RIGHT_SHOULDER_EXTRA;
}

VLMVector4 Euler(const VLMCharacter* c, int id, const VLMVector4& local)
{
    VLMVector4 angles;
    VLMNodeEulerFromRotation(&VLMCharacterNodeRecord(c, id)->rotation, angles, local);
    return angles;
}

// Local rotation from angles, limits, globals from locals.
void SetAngles(const VLMCharacter* c, VLMStateRow* rows, int id, const VLMVector4& angles)
{
    const VLMNodeRecord* record = VLMCharacterNodeRecord(c, id);
    VLMNodeRotationFromEuler(&record->rotation, VLMNodeRow(c, rows, id)->localQ, angles);
    VLMClampNodeToLimits(record, rows, VLMCharacterRotations(c));
    VLMNodeLocalToGlobal(record, rows, VLMCharacterNodeRecords(c));
}

void LocalFromGlobal(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    VLMNodeGlobalToLocal(VLMCharacterNodeRecord(c, id), rows, VLMCharacterNodeRecords(c));
}
void GlobalFromLocal(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    VLMNodeLocalToGlobal(VLMCharacterNodeRecord(c, id), rows, VLMCharacterNodeRecords(c));
}
void ClampAndRefresh(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    if (VLMClampNodeToLimits(VLMCharacterNodeRecord(c, id), rows, VLMCharacterRotations(c)))
        GlobalFromLocal(c, rows, id);
}

// A shortest-arc turn with its angle multiplied by f (through the half angle's
// one-sided arc cosine and the polynomial sine and cosine); a turn without a
// vector part stays as it is.
VLMVector4 ScaleTurn(const VLMVector4& q, float f)
{
    const VLMVector4 v = VLMVector4ClearW(q);
    if (!(VLMDotFloat(v, v) > 0.0f))
        return q;
    return VLMQuatAboutAxis(VLMQuatNormalize(v), 2.0f * VLMFastAcosUnit(q.w) * f);
}

bool AnyLane(const VLMVector4& v) { return v.x != 0.0f || v.y != 0.0f || v.z != 0.0f || v.w != 0.0f; }

}  // namespace

VLMVector4* VLMGetUpperArmDirection(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows,
                                    VLMArmSide side)
{
    const int arm = side == VLM_ARM_SIDE_LEFT ? VLM_NODE_LEFT_ARM : VLM_NODE_RIGHT_ARM;
    const int foreArm = side == VLM_ARM_SIDE_LEFT ? VLM_NODE_LEFT_FORE_ARM : VLM_NODE_RIGHT_FORE_ARM;
    *out = VLMSafeDirection(VLMNodeRow(character, rows, foreArm)->globalT - VLMNodeRow(character, rows, arm)->globalT);
    return out;
}

void VLMCaptureUpperArmDirection(const VLMCharacter* character, const VLMStateRow* rows,
                                 const VLMPropertySetState* properties, VLMVector4* out, VLMArmSide side)
{
    if (Has(character, ShoulderOf(side)) && VLMPropertyValueAt(properties, vlm_entry::ShoulderCorrection) > 0.0f)
        VLMGetUpperArmDirection(character, out, rows, side);
}

void VLMSolveShoulderArm(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties, const VLMVector4& captured, VLMArmSide side)
{
    const float correction = VLMPropertyValueAt(properties, vlm_entry::ShoulderCorrection);
    if (correction == 0.0f || !Has(character, ShoulderOf(side)))
        return;
    const int effector = side == VLM_ARM_SIDE_LEFT ? VLM_LEFT_SHOULDER_EFFECTOR : VLM_RIGHT_SHOULDER_EFFECTOR;
    const VLMVector4 weight = VLMVector4Splat((1.0f - set->blend[effector].x) * correction);
    const VLMVector4 share = VLMVector4Splat(VLMPropertyValueAt(properties, vlm_entry::ExtraCollarRatio));
    VLMCorrectShoulderFromArm(character, rows, side, weight, share, captured, set->rollCaptured == 0);
    VLMSolveLimbChainLimited(
        character, rows, set, properties,
        VLMCharacterLimb(character, side == VLM_ARM_SIDE_LEFT ? VLM_LIMB_LEFT_ARM : VLM_LIMB_RIGHT_ARM));
}

void VLMCorrectShoulderFromArm(const VLMCharacter* character, VLMStateRow* rows, VLMArmSide side,
                               const VLMVector4& weight, const VLMVector4& share, const VLMVector4& captured,
                               bool clamp)
{
    const int s = ShoulderOf(side), e = ExtraOf(s),
              a = side == VLM_ARM_SIDE_LEFT ? VLM_NODE_LEFT_ARM : VLM_NODE_RIGHT_ARM;
    VLMVector4 current;
    VLMGetUpperArmDirection(character, &current, rows, side);
    // A direction of no length (coincident arm joints) leaves the shoulder.
    if (!Has(character, s) || !(VLMDotFloat(captured, captured) > 0.0f) || !(VLMDotFloat(current, current) > 0.0f))
        return;
    const VLMStateRow* row = VLMNodeRow(character, rows, s);
    const VLMVector4 e0 = Euler(character, s, row->localQ);
    const VLMVector4& reference = VLMCharacterNodeRecord(character, s)->rotation.postAxes[0];
    const auto anglesFor = [&](const VLMVector4& d) {
        const VLMVector4 local = VLMQuatRotate(VLMVector4NegateXYZ(row->globalQ), d);
        return Euler(character, s, VLMQuatMultiply(row->localQ, VLMShortestArc(reference, local)));
    };
    const VLMVector4 e1 = anglesFor(captured), e2 = anglesFor(current);
    const float D = e2.z - e0.z, D1 = e2.z - e1.z;
    const float lifted = D * (1.0f - VLMClamp01Float(-e2.y * 0.011111111f));
    float v;
    if (side == VLM_ARM_SIDE_LEFT)
        v = D < 0.0f ? VLMMaxFloat(VLMMinFloat(0.0f, -e0.z), D) : lifted;
    else
        v = D <= 0.0f ? lifted : VLMMinFloat(VLMMaxFloat(0.0f, -e0.z), D);
    if (clamp) {
        const bool up = side == VLM_ARM_SIDE_LEFT ? D1 > 0.0f : !(D1 < 0.0f);
        v = up ? VLMMinFloat(VLMMaxFloat(0.0f, v), D1) : VLMMaxFloat(VLMMinFloat(0.0f, v), D1);
    }
    const bool extra = Has(character, e);
    const float r = extra ? share.x : 0.0f;
    SetAngles(character, rows, s, e0 + VLMVector4{0.0f, 0.0f, v * weight.x * (1.0f - r), 0.0f});
    if (extra)
        SetAngles(character, rows, e,
                  Euler(character, e, VLMNodeRow(character, rows, e)->localQ) +
                      VLMVector4{0.0f, 0.0f, v * weight.x * r, 0.0f});

    // The arm keeps its world rotation; its position follows the shoulder.
    VLMStateRow* arm = VLMNodeRow(character, rows, a);
    const VLMVector4 kept = arm->globalQ;
    GlobalFromLocal(character, rows, a);
    arm->globalQ = kept;
    LocalFromGlobal(character, rows, a);
    VLMClampNodeToLimits(VLMCharacterNodeRecord(character, a), rows, VLMCharacterRotations(character));
    VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(character, a), rows, VLMCharacterNodeRecords(character));
}

void VLMAimCollarAtPoint(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target, int shoulder,
                         int arm, const VLMVector4& share, const VLMVector4& stiffness)
{
    if (!Has(character, shoulder))
        return;
    const int e = ExtraOf(shoulder);
    VLMStateRow* s = VLMNodeRow(character, rows, shoulder);
    const VLMVector4 armT = VLMNodeRow(character, rows, arm)->globalT;
    const VLMVector4 q = VLMShortestArc(armT - s->globalT, target - s->globalT);
    const bool stiff = AnyLane(stiffness);
    const VLMVector4 es = stiff ? Euler(character, shoulder, s->localQ) : VLMVector4Zero();
    if (Has(character, e)) {
        VLMStateRow* x = VLMNodeRow(character, rows, e);
        const VLMVector4 extraT = x->globalT;  // before the shoulder moves
        s->globalQ = VLMQuatMultiply(ScaleTurn(q, 1.0f - share.x), s->globalQ);
        LocalFromGlobal(character, rows, shoulder);
        const VLMVector4 q2 = ScaleTurn(VLMShortestArc(armT - extraT, target - extraT), share.x);
        GlobalFromLocal(character, rows, e);
        const VLMVector4 ee = stiff ? Euler(character, e, x->localQ) : VLMVector4Zero();
        x->globalQ = VLMQuatMultiply(q2, x->globalQ);
        LocalFromGlobal(character, rows, e);
        if (stiff)
            VLMBlendShoulderEuler(character, shoulder, rows, stiffness, true, es, ee);
        ClampAndRefresh(character, rows, shoulder);
        ClampAndRefresh(character, rows, e);
        return;
    }
    s->globalQ = VLMQuatMultiply(q, s->globalQ);
    LocalFromGlobal(character, rows, shoulder);
    if (stiff)
        VLMBlendShoulderEuler(character, shoulder, rows, stiffness, false, es, VLMVector4Zero());
    ClampAndRefresh(character, rows, shoulder);
}
