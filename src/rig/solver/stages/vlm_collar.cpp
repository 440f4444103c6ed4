#include "rig/solver/stages/vlm_collar.h"

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_shoulder.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_names.h"
#include "rig/vlm_vector.h"

namespace {

// The chain weights of a limb, from the effector set's lanes.
VLMLimbPassWeights Weights(const VLMLimb* limb, const VLMEffectorSetLayout* set, VLMLimbChainGoal* goal)
{
    VLMLimbChainInitGoal(goal);
    VLMLimbChainGatherEffectors(limb, goal, set);
    return VLMLimbChainPassWeights(limb, goal);
}

float Distance(const VLMStateRow* work, int a, int b) { return VLMLengthFloat(work[a].globalT - work[b].globalT); }

// One lane of the soft excess, as written: a lane's branch.
float ExcessLane(float x, float a, float b, float f, float r, float s)
{
    const float m = (x < a ? r : 1.0f) * f;
    const float lo = b - (b - a) * m;
    const float hi = ((b - lo) * 1.5f + lo) * (1.0f - m) + b * m;
    float result;
    if (lo < x && x < hi) {
        const float t = (x - lo) / (hi - lo);
        const float c0 = (lo - a) * m;
        const float c1 = (hi - lo) * m / 3.0f + c0;
        const float c3 = (hi - a) * m + (hi - b) * (1.0f - m);
        const float c2 = c3 - (hi - lo) / 3.0f;
        result = VLMVector4Bezier3(VLMVector4Splat(t), VLMVector4Splat(c0), VLMVector4Splat(c1), VLMVector4Splat(c2),
                                   VLMVector4Splat(c3))
                     .x;
    } else if (x <= lo) {
        result = (x - a) * m;
    } else {
        result = (x - b) * (1.0f - m) + (x - a) * m;
    }
    return result * s;
}

}  // namespace

VLMVector4 VLMSoftExcess(const VLMVector4& x, const VLMVector4& a, const VLMVector4& b, const VLMVector4& f,
                         const VLMVector4& r, const VLMVector4& s)
{
    VLMVector4 out;
    for (int i = 0; i < 4; ++i)
        (&out.x)[i] = ExcessLane((&x.x)[i], (&a.x)[i], (&b.x)[i], (&f.x)[i], (&r.x)[i], (&s.x)[i]);
    return out;
}

VLMVector4 VLMSoftExcessSelect(const VLMVector4& x, const VLMVector4& a, const VLMVector4& b, const VLMVector4& f,
                               const VLMVector4& r, const VLMVector4& s)
{
    const VLMVector4 one = VLMConstant::One, third = VLMVector4Splat(3.0f), half3 = VLMVector4Splat(1.5f);
    const VLMVector4 m = VLMVector4Select(VLMVector4CmpLT(x, a), r, one) * f;
    const VLMVector4 keep = one - m;
    const VLMVector4 lo = b - (b - a) * m;
    const VLMVector4 hi = ((b - lo) * half3 + lo) * keep + b * m;
    const VLMVector4 width = hi - lo;
    const VLMVector4 c0 = (lo - a) * m;
    const VLMVector4 c1 = VLMVector4Div(width * m, third) + c0;
    const VLMVector4 c3 = (hi - a) * m + (hi - b) * keep;
    const VLMVector4 c2 = c3 - VLMVector4Div(width, third);
    const VLMVector4 t = VLMVector4Div(x - lo, width);
    const VLMVector4 zone = VLMVector4Bezier3(t, c0, c1, c2, c3);
    const VLMVector4 below = (x - a) * m;
    const VLMVector4 above = (x - b) * keep + below;
    const VLMVector4 inside = VLMVector4And(VLMVector4CmpLT(lo, x), VLMVector4CmpLT(x, hi));
    const VLMVector4 result = VLMVector4Select(inside, zone, VLMVector4Select(VLMVector4CmpLE(x, lo), below, above));
    return result * s;
}

void VLMMeasureLimbReach(const VLMLimb* limb, VLMLimbReach* reach, const VLMStateRow* rows,
                         const VLMEffectorSetLayout* set, const VLMPropertySetState* properties,
                         const VLMRotationRecord* rotations, bool stretch)
{
    VLMLimbChainGoal goal;
    const VLMLimbPassWeights w = Weights(limb, set, &goal);
    VLMLimbChainJoints work;
    VLMResetLimbWorkRows(work.rows);
    VLMLimbChainGatherRows(limb, work.rows, rows);
    const float allowance = stretch
                                ? VLMPropertyValueAt(properties, limb->properties[3]) *
                                          (VLMPropertyValueAt(properties, vlm_entry::StretchStopArmsAndLegs) - 1.0f) +
                                      1.0f
                                : 1.0f;
    const float R =
        VLMLimbIsComplete(limb)
            ? VLMLimbMaxReach(limb, work.rows, VLMPropertyValueAt(properties, limb->properties[2]), rotations)
            : 0.0f;
    const float upperToMiddle = Distance(work.rows, VLM_SLOT_MIDDLE, VLM_SLOT_UPPER);
    const float a = w.middle * upperToMiddle + w.end * Distance(work.rows, VLM_SLOT_END, VLM_SLOT_UPPER) +
                    w.extremity * Distance(work.rows, VLM_SLOT_TIP, VLM_SLOT_UPPER);
    const float b = w.middle * upperToMiddle + w.end * allowance * R +
                    w.extremity * allowance * (R + Distance(work.rows, VLM_SLOT_TIP, VLM_SLOT_END));
    const float k1 = goal.lanes[1].w;
    reach->a = VLMVector4Splat(a);
    reach->b = VLMVector4Splat(b);
    reach->pull = VLMVector4Splat(w.a1 + w.a2 + w.a3);
    reach->stiffness = VLMVector4Splat(k1 * (1.0f - w.middle) + w.middle);
}

void VLMPrepareLimbPull(const VLMLimb* limb, const VLMEffectorSetLayout* set, VLMLimbPullGoal* pull)
{
    VLMLimbChainGoal goal;
    const VLMLimbPassWeights w = Weights(limb, set, &goal);
    for (int k = 0; k < 3; ++k)
        pull->goals[k] = goal.slots[1 + k].t;
    pull->weights[0] = w.middle, pull->weights[1] = w.end, pull->weights[2] = w.extremity;
    pull->upperRow = limb->slotIndex[VLM_SLOT_UPPER];
}

void VLMLimbPullTarget(const VLMLimbPullGoal& pull, VLMVector4& length, VLMVector4& direction, const VLMStateRow* rows)
{
    const VLMVector4 upper = pull.upperRow >= 0 ? rows[pull.upperRow].globalT : VLMVector4Zero();
    const VLMVector4 v =
        VLMVector4ClearW((pull.goals[0] - upper) * pull.weights[0] + (pull.goals[1] - upper) * pull.weights[1] +
                         (pull.goals[2] - upper) * pull.weights[2]);
    length = VLMVector4Length3(v);
    direction = length.x > 0.0f ? VLMVector4Div(v, length) : v;
}

void VLMLimbPullTarget(const VLMLimb* limb, VLMVector4& length, VLMVector4& direction, const VLMStateRow* rows,
                       const VLMEffectorSetLayout* set)
{
    VLMLimbPullGoal pull;
    VLMPrepareLimbPull(limb, set, &pull);
    VLMLimbPullTarget(pull, length, direction, rows);
}

void VLMSolveCollar(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                    const VLMPropertySetState* properties, VLMArmSide side, bool stretch)
{
    const int collar = side == VLM_ARM_SIDE_LEFT ? VLM_NODE_LEFT_SHOULDER : VLM_NODE_RIGHT_SHOULDER;
    const int arm = side == VLM_ARM_SIDE_LEFT ? VLM_NODE_LEFT_ARM : VLM_NODE_RIGHT_ARM;
    const int effector = side == VLM_ARM_SIDE_LEFT ? VLM_LEFT_SHOULDER_EFFECTOR : VLM_RIGHT_SHOULDER_EFFECTOR;
    const VLMLimb* limb =
        VLMCharacterLimb(character, side == VLM_ARM_SIDE_LEFT ? VLM_LIMB_LEFT_ARM : VLM_LIMB_RIGHT_ARM);
    if (!Has(character, collar) || !Has(character, arm))
        return;
    const VLMNodeRecord* armRecord = VLMCharacterNodeRecord(character, arm);
    const VLMVector4 share = VLMVector4Splat(VLMPropertyValueAt(properties, vlm_entry::ExtraCollarRatio));
    const VLMVector4 stiffness = {VLMPropertyValueAt(properties, vlm_entry::CollarStiffnessX),
                                  VLMPropertyValueAt(properties, vlm_entry::CollarStiffnessY),
                                  VLMPropertyValueAt(properties, vlm_entry::CollarStiffnessZ), 0.0f};
    const VLMVector4& lanes = set->blend[effector];
    const VLMStateRow* armRow = VLMNodeRow(character, rows, arm);
    if (lanes.x > 0.0f) {
        const VLMVector4 target = VLMVector4Lerp(armRow->globalT, set->effectors[effector].t, VLMVector4SplatX(lanes));
        VLMAimCollarAtPoint(character, rows, target, collar, arm, share, stiffness);
        VLMSubtreeLocalToGlobal(armRecord, rows, VLMCharacterNodeRecords(character));
    }
    VLMLimbReach reach;
    VLMMeasureLimbReach(limb, &reach, rows, set, properties, VLMCharacterRotations(character), stretch);
    if (!(reach.pull.x > 0.0f))
        return;
    const int compression = side == VLM_ARM_SIDE_LEFT ? vlm_entry::CtrlResistCompressionFactorLeftElbow
                                                      : vlm_entry::CtrlResistCompressionFactorRightElbow;
    VLMVector4 length, direction;
    VLMLimbPullTarget(limb, length, direction, rows, set);
    const VLMVector4 excess = VLMSoftExcess(length, reach.a, reach.b, reach.stiffness,
                                            VLMVector4Splat(VLMPropertyValueAt(properties, compression)), reach.pull);
    const float held = excess.x * (1.0f - lanes.z * lanes.x) * (1.0f - lanes.w);
    // The pull's part toward the collar joint is dropped before the collar
    // aims: a wrist goal across or behind the body pulls the arm joint
    // through the collar's own pivot, where the arc to the pulled point nears
    // a half turn about an axis that spins as the goal moves, and the collar
    // flips. (The plain target is the arm joint moved by the whole pull.)
    const VLMVector4 bone = VLMVector4ClearW(armRow->globalT - VLMNodeRow(character, rows, collar)->globalT);
    const VLMVector4 target = armRow->globalT + VLMWithoutInward(direction * held, bone);
    VLMAimCollarAtPoint(character, rows, target, collar, arm, share, stiffness);
    VLMSubtreeLocalToGlobal(armRecord, rows, VLMCharacterNodeRecords(character));
}
