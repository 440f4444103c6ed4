// Solver, internal: the collar solve and the limb reach measures and pull
// targets it shares with the body pull. Values are four-lane broadcasts
// unless a function says it packs one limb per lane.
#ifndef VLM_COLLAR_H
#define VLM_COLLAR_H

#include "rig/solver/stages/vlm_sides.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// A limb's reach measures: weighted current reach a, weighted maximum reach b,
// pull total P and middle stiffness blend.
struct VLMLimbReach {
    VLMVector4 a, b, pull, stiffness;
};

// VLM_ARM_SIDE_LEFT: collar 18, arm 9, shoulder effector 13, limb 2;
// VLM_ARM_SIDE_RIGHT: 19, 12, 14, 3.
void VLMSolveCollar(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                    const VLMPropertySetState* properties, VLMArmSide side, bool stretch);
// With the chain weights W1..W3 and pull shares of the limb chain solve:
// P = a1 + a2 + a3, blend = k1 (1 - W1) + W1, a = sum W |joint - upper|,
// b = W1 |middle - upper| + W2 s R + W3 s (R + |tip - end|), R the maximum
// reach at the limb's maximum-extension angle, s the stretch allowance.
void VLMMeasureLimbReach(const VLMLimb* limb, VLMLimbReach* reach, const VLMStateRow* rows,
                         const VLMEffectorSetLayout* set, const VLMPropertySetState* properties,
                         const VLMRotationRecord* rotations, bool stretch);
// v = sum W (effector - upper); length |v|, direction v / |v| (v when 0).
void VLMLimbPullTarget(const VLMLimb* limb, VLMVector4& length, VLMVector4& direction, const VLMStateRow* rows,
                       const VLMEffectorSetLayout* set);
// The same in two steps, for a caller that takes a limb's pull again and
// again from one effector set: what the set gives (the middle, end and
// extremity effectors' translations, the chain weights) is gathered once.
struct VLMLimbPullGoal {
    VLMVector4 goals[3];
    float weights[3];
    std::int32_t upperRow;
};
void VLMPrepareLimbPull(const VLMLimb* limb, const VLMEffectorSetLayout* set, VLMLimbPullGoal* pull);
void VLMLimbPullTarget(const VLMLimbPullGoal& pull, VLMVector4& length, VLMVector4& direction, const VLMStateRow* rows);
// The part of x beyond the reach, a cubic blend between lo and hi, times s;
// lane by lane with branches, and the same with lane selects (bit-identical).
VLMVector4 VLMSoftExcess(const VLMVector4& x, const VLMVector4& a, const VLMVector4& b, const VLMVector4& f,
                         const VLMVector4& r, const VLMVector4& s);
VLMVector4 VLMSoftExcessSelect(const VLMVector4& x, const VLMVector4& a, const VLMVector4& b, const VLMVector4& f,
                               const VLMVector4& r, const VLMVector4& s);

#endif
