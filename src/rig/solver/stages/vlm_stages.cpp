#include "rig/solver/stages/vlm_stages.h"

#include "rig/solver/stages/vlm_body_pull.h"
#include "rig/solver/stages/vlm_collar.h"
#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_hips_translation.h"
#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_limb_pass.h"
#include "rig/solver/stages/vlm_neck.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_roll.h"
#include "rig/solver/stages/vlm_shoulder.h"
#include "rig/solver/stages/vlm_sides.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_spine.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/solver/vlm_stage_bits.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

namespace {

bool Bit(const VLMEffectorSetLayout* set, std::uint32_t bit) { return (set->stageWord & bit) != 0; }
bool LimbBit(const VLMEffectorSetLayout* set, int group, int limb) { return Bit(set, VLMStageLimbBit(group, limb)); }

const VLMLimb* Limb(const VLMCharacter* c, int k) { return VLMCharacterLimb(c, k); }

}  // namespace

int VLMPullIterationCount(const VLMPropertySetState* properties)
{
    const int n = VLMFloatToIntRound(VLMPropertyValueAt(properties, vlm_entry::PullIterationCount));
    return n < 0 ? 0 : n > 30 ? 30 : n;
}

void VLMPlaceHipsFromEffector(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                              const VLMPropertySetState* properties)
{
    if (VLMCharacterCompactIndex(character, VLM_NODE_HIPS) < 0)
        return;
    const VLMTransformTQS& effector = set->effectors[VLM_HIPS_EFFECTOR];
    const VLMVector4& lanes = set->blend[VLM_HIPS_EFFECTOR];
    const VLMVector4 q =
        VLMQuatNlerp(VLMNodeRow(character, rows, VLM_NODE_HIPS)->globalQ, effector.q, VLMVector4SplatY(lanes));
    const VLMVector4 m = (VLMNodeRow(character, rows, VLM_NODE_LEFT_UP_LEG)->globalT +
                          VLMNodeRow(character, rows, VLM_NODE_RIGHT_UP_LEG)->globalT) *
                         VLMConstant::Half;
    const VLMVector4 o = VLMPropertyVectorAt(properties, vlm_entry::HipsTOffsetX);
    const VLMVector4 goal = effector.t - VLMQuatRotate(q, o);
    VLMPlaceHips(character, rows, VLMVector4Lerp(m, goal, VLMVector4SplatX(lanes)), q);
    VLMTreeLocalToGlobal(character, rows, VLMCharacterNodeRecords(character));
}

// --- Wrappers ------------------------------------------------------------------------------------

void VLMStageCaptureRoll(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties)
{
    VLMStateRow* rows = VLMStateFirstRow(state);
    set->rollCaptured = 0;
    if (Bit(set, VLM_STAGE_ROLL))
        VLMCaptureRollAngles(character, rows, properties, set->rollAngles);
    VLMTreeGlobalToLocal(character, rows, VLMCharacterNodeRecords(character));
    VLMApplyLimitsBelow(character, rows, VLMCharacterNodeRecords(character), VLMCharacterRotations(character));
}

void VLMStageContactSync(const VLMCharacter* character, VLMCharacterState*, VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties)
{
    if (!Bit(set, VLM_STAGE_CONTACT_SYNC))
        return;
    for (int k = 0; k < 4; ++k)
        VLMSolveLimbContactSync(character, set, properties, Limb(character, k));
}

void VLMStageBody(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                  const VLMPropertySetState* properties)
{
    VLMStateRow* rows = VLMStateFirstRow(state);
    const bool spine = Bit(set, VLM_STAGE_SPINE);
    // Either pass leaves the globals below the trunk to the whole-tree pass
    // that follows: nothing reads them before it.
    if (Bit(set, VLM_STAGE_BODY_PULL)) {
        VLMSolveBodyPull(character, rows, set, properties, VLMPullIterationCount(properties), spine,
                         LimbBit(set, VLM_STAGE_STRETCH_BIT, 0), LimbBit(set, VLM_STAGE_STRETCH_BIT, 1),
                         LimbBit(set, VLM_STAGE_STRETCH_BIT, 2), LimbBit(set, VLM_STAGE_STRETCH_BIT, 3), false);
    } else {
        VLMSpineGoal goal;
        VLMInitSpineGoal(&goal);
        VLMFillSpineGoal(&goal, set);
        VLMVector4 limiter = {1.0f, VLMPropertyValueAt(properties, vlm_entry::SnSSpineFreedom), 1.0f, 1.0f};
        VLMSolveSpineStretch(character, rows, &goal, properties,
                             VLMVector4SplatW(set->blend[VLM_CHEST_ORIGIN_EFFECTOR]), VLMVector4Zero(), &limiter, spine,
                             VLMSpineRefresh::Trunk);
    }
    VLMTreeLocalToGlobal(character, rows, VLMCharacterNodeRecords(character));
}

void VLMStageShouldersAndLimbs(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                               const VLMPropertySetState* properties)
{
    VLMStateRow* rows = VLMStateFirstRow(state);
    const struct {
        std::uint32_t bit;
        VLMArmSide side;
        VLMLimbIndex limb;
    } shoulders[2] = {{VLM_STAGE_LEFT_SHOULDER, VLM_ARM_SIDE_LEFT, VLM_LIMB_LEFT_ARM},
                      {VLM_STAGE_RIGHT_SHOULDER, VLM_ARM_SIDE_RIGHT, VLM_LIMB_RIGHT_ARM}};
    VLMVector4 captured[2] = {VLMVector4Zero(), VLMVector4Zero()};
    for (int i = 0; i < 2; ++i) {
        if (!Bit(set, shoulders[i].bit))
            continue;
        VLMSolveCollar(character, rows, set, properties, shoulders[i].side,
                       LimbBit(set, VLM_STAGE_STRETCH_BIT, shoulders[i].limb));
        VLMCaptureUpperArmDirection(character, rows, properties, &captured[i], shoulders[i].side);
    }
    static constexpr VLMLimbIndex kOrder[4] = {VLM_LIMB_RIGHT_ARM, VLM_LIMB_LEFT_ARM, VLM_LIMB_RIGHT_LEG,
                                               VLM_LIMB_LEFT_LEG};
    for (VLMLimbIndex limb : kOrder)
        if (LimbBit(set, VLM_STAGE_STRETCH_BIT, limb))
            VLMStretchLimbChain(character, rows, set, properties, Limb(character, limb));
    for (VLMLimbIndex limb : kOrder)
        if (LimbBit(set, VLM_STAGE_CHAIN_BIT, limb))
            VLMSolveLimbChainLimited(character, rows, set, properties, Limb(character, limb));
    for (int i = 0; i < 2; ++i)
        if (Bit(set, shoulders[i].bit))
            VLMSolveShoulderArm(character, rows, set, properties, captured[i], shoulders[i].side);
}

void VLMStageDigits(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                    const VLMPropertySetState* properties)
{
    for (int k = 0; k < 4; ++k)
        if (LimbBit(set, VLM_STAGE_DIGITS_BIT, k))
            VLMSolveLimbDigits(character, VLMStateFirstRow(state), set, properties, Limb(character, k));
}

void VLMStageNeckHead(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                      const VLMPropertySetState* properties)
{
    if (Bit(set, VLM_STAGE_NECK_HEAD))
        VLMSolveNeckHead(character, VLMStateFirstRow(state), set, properties);
}

void VLMStageLimbs(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                   const VLMPropertySetState* properties)
{
    if (!Bit(set, VLM_STAGE_LIMBS))
        return;
    for (int k = 0; k < 4; ++k)
        VLMSolveLimb(character, VLMStateFirstRow(state), set, properties, Limb(character, k));
}

void VLMStageHipsTrajectory(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                            const VLMPropertySetState* properties)
{
    if (Bit(set, VLM_STAGE_HIPS_TRAJECTORY))
        VLMSolveHipsTrajectory(character, VLMStateFirstRow(state), properties);
}

void VLMStageRollDistribution(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                              const VLMPropertySetState* properties)
{
    if (!Bit(set, VLM_STAGE_ROLL))
        return;
    const bool relative = VLMFloatToIntRound(VLMPropertyValueAt(properties, vlm_entry::RollExtractionMode)) == 0;
    VLMDistributeRoll(character, VLMStateFirstRow(state), properties, relative ? set->rollAngles : nullptr);
}
