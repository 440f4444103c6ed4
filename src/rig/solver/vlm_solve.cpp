#include "rig/solver/vlm_solve.h"

#include "rig/solver/stages/vlm_compensation.h"
#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_hips_translation.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_pose_transfer.h"
#include "rig/solver/stages/vlm_roll.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_stages.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"

namespace {

using vlm_entry::Fits;

// Step 7 of the solve: the lanes from the target's properties, the reach of
// effectors the source lacks masked.
void FillLanes(VLMEffectorSetLayout* set, const VLMPropertySetState* properties, const VLMCharacter* source)
{
    VLMSetEffectorReachFromProperties(set, properties);
    VLMSetEffectorPullFromProperties(set, properties);
    VLMSetEffectorStiffnessFromProperties(set, properties);
    VLMSetHandPullFromProperties(set, properties);
    VLMMaskAbsentEffectorReach(set, source);
}

void CaptureForStages(const VLMCharacter* target, VLMStateRow* rows, VLMEffectorSetLayout* set,
                      const VLMPropertySetState* properties)
{
    set->rollCaptured = 1;
    VLMCaptureRollAngles(target, rows, properties, set->rollAngles);
}

using Wrapper = void (*)(const VLMCharacter*, VLMCharacterState*, VLMEffectorSetLayout*, const VLMPropertySetState*);
constexpr Wrapper kSolveStages[] = {
    &VLMStageContactSync, &VLMStageBody,  &VLMStageShouldersAndLimbs, &VLMStageDigits,
    &VLMStageNeckHead,    &VLMStageLimbs, &VLMStageHipsTrajectory,    &VLMStageRollDistribution};

// Steps 1, 2, 4, 5 and 7 of the solve, with the transfer (step 3) and the
// tree passes (step 6) when asked.
void FirstHalf(const VLMCharacter* target, VLMStateRow* rt, const VLMCharacter* source, const VLMStateRow* rs,
               VLMEffectorSetLayout* set, const VLMPropertySetState* targetProperties,
               const VLMPropertySetState* sourceProperties, bool transfer)
{
    VLMComputeEffectorsFromPose(source, set, rs, sourceProperties);
    VLMMeasureSourceBody(source, set, rs, sourceProperties);
    if (transfer)
        VLMTransferPose(target, source, rt, rs, targetProperties);
    VLMVector4 t, q, s;
    VLMApplyActorCompensation(target, set, rt, targetProperties, t, q, s);
    VLMApplyHipsTrajectory(target, rt, source, rs, targetProperties, t, q, s);
    if (transfer) {
        const VLMNodeRecord* records = VLMCharacterNodeRecords(target);
        VLMApplyLimitsBelowRotation(target, rt, records, VLMCharacterRotations(target));
        VLMTreeLocalToGlobal(target, rt, records);
    }
    FillLanes(set, targetProperties, source);
}

// What both entries start with: the arguments checked, then the first half of
// the solve (with the transfer or without). Null when an argument does not fit.
VLMEffectorSetLayout* CheckAndRunFirstHalf(const VLMCharacter* target, VLMCharacterState* targetState,
                                           const VLMCharacter* source, const VLMCharacterState* sourceState,
                                           VLMEffectorSetState* set, const VLMPropertySetState* targetProperties,
                                           const VLMPropertySetState* sourceProperties, bool transfer)
{
    if (!Fits(target, targetState) || !Fits(source, sourceState) || !set || !targetProperties || !sourceProperties)
        return nullptr;
    VLMEffectorSetLayout* layout = VLMEffectorSetLayoutOf(set);
    FirstHalf(target, VLMStateFirstRow(targetState), source, VLMStateFirstRow(sourceState), layout, targetProperties,
              sourceProperties, transfer);
    return layout;
}

}  // namespace

void VLMSolve(const VLMCharacter* target, VLMCharacterState* targetState, const VLMCharacter* source,
              const VLMCharacterState* sourceState, VLMEffectorSetState* set,
              const VLMPropertySetState* targetProperties, const VLMPropertySetState* sourceProperties)
{
    VLMScopedFPGuard guard;
    VLMEffectorSetLayout* layout =
        CheckAndRunFirstHalf(target, targetState, source, sourceState, set, targetProperties, sourceProperties, true);
    if (!layout)
        return;
    VLMStateRow* rt = VLMStateFirstRow(targetState);
    if (layout->stageWord == 0) {
        VLMPlaceHipsFromEffector(target, rt, layout, targetProperties);
        return;
    }
    CaptureForStages(target, rt, layout, targetProperties);
    for (Wrapper stage : kSolveStages)
        stage(target, targetState, layout, targetProperties);
}

void VLMSolvePrepare(const VLMCharacter* target, VLMCharacterState* targetState, const VLMCharacter* source,
                     const VLMCharacterState* sourceState, VLMEffectorSetState* set,
                     const VLMPropertySetState* targetProperties, const VLMPropertySetState* sourceProperties)
{
    VLMScopedFPGuard guard;
    VLMEffectorSetLayout* layout =
        CheckAndRunFirstHalf(target, targetState, source, sourceState, set, targetProperties, sourceProperties, false);
    if (layout)
        CaptureForStages(target, VLMStateFirstRow(targetState), layout, targetProperties);
}

void VLMSolveStages(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetState* set,
                    const VLMPropertySetState* properties)
{
    VLMScopedFPGuard guard;
    if (!Fits(character, state) || !set || !properties)
        return;
    VLMEffectorSetLayout* layout = VLMEffectorSetLayoutOf(set);
    VLMStageCaptureRoll(character, state, layout, properties);
    for (Wrapper stage : kSolveStages)
        stage(character, state, layout, properties);
}
