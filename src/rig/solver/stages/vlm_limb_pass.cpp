#include "rig/solver/stages/vlm_limb_pass.h"

#include "rig/solver/stages/vlm_contact_solve.h"
#include "rig/solver/stages/vlm_digits.h"
#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/vlm_stage_bits.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

namespace {

// Positions in an extremity's property list.
enum { kFloorContact = 0, kType = 8, kStiffness = 9, kFingerSolving = 18, kDigitContact = 19 };

std::uint32_t Mode(const VLMPropertySetState* p, const VLMExtremity* e, int role)
{
    return VLMPropertyModeAt(p, int(e->properties[role]));
}

const VLMExtremity* ExtremityOf(const VLMCharacter* c, const VLMLimb* limb)
{
    return VLMCharacterExtremity(c, limb->extremityIndex);
}

// A hand's or foot's floor frame as the move into it: rotation conj(Q),
// translation -conj(Q) T.
struct FloorFrame {
    VLMVector4 t, q, backT, backQ;
    explicit FloorFrame(const VLMTransformTQS& frame)
        : t(VLMQuatRotate(VLMVector4NegateXYZ(frame.q), VLMVector4Negate(VLMVector4ClearW(frame.t)))),
          q(VLMVector4NegateXYZ(frame.q)),
          backT(VLMVector4ClearW(frame.t)),
          backQ(frame.q)
    {
    }
    void into(VLMLimbGoalBlock* block) const
    {
        VLMTransformGoalBlockTranslations(block, t, q);
        VLMRotateGoalBlockRotations(block, q);
    }
    void back(VLMLimbGoalBlock* block) const
    {
        VLMTransformGoalBlockTranslations(block, backT, backQ);
        VLMRotateGoalBlockRotations(block, backQ);
    }
};

// A sub-solver on a block moved into the floor frame, the floor at height 0.
void RunInFrame(const VLMCharacter* c, const VLMExtremity* e, VLMLimbGoalBlock* block, int kind,
                const VLMPropertySetState* properties)
{
    const FloorFrame frame(block->frame);
    const VLMVector4 kept = block->frame.t;
    frame.into(block);
    block->frame.t = VLMVector4Zero();
    VLMRunLimbSubSolver(c, e, block, kind, properties);
    block->frame.t = kept;
    frame.back(block);
}

void InitPairs(VLMPairEntry* entries, VLMVector4* lanes, int n)
{
    for (int i = 0; i < n; ++i) {
        entries[i].t = VLMVector4Zero();
        entries[i].q = VLMConstant::IdentityQuat;
        entries[i].unused = VLMConstant::One;
        lanes[i] = VLMVector4Zero();
    }
}

}  // namespace

void VLMInitGoalPair(VLMPairArray2* record) { InitPairs(record->entries, record->lanes, 2); }
void VLMInitGoalQuad(VLMPairArray4* record) { InitPairs(record->entries, record->lanes, 4); }
void VLMInitGoalOctet(VLMPairArray8* record) { InitPairs(record->entries, record->lanes, 8); }

void VLMBlendGoalPair(VLMLimbGoalBlock* a, const VLMLimbGoalBlock* b, const VLMVector4 weights[2])
{
    for (int i = 0; i < 2; ++i) {
        a->slots[i].t = VLMVector4Lerp(a->slots[i].t, b->slots[i].t, VLMVector4SplatX(weights[i]));
        a->slots[i].q = VLMQuatNlerp(a->slots[i].q, b->slots[i].q, VLMVector4SplatY(weights[i]));
    }
}

void VLMLimbContactPass(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                        const VLMPropertySetState* properties)
{
    if (Mode(properties, extremity, kFloorContact) == 0)
        return;
    const float s = VLMPropertyValueAt(properties, int(extremity->properties[kStiffness]));
    const bool lift = s > 0.0f, roll = s < 1.0f;
    VLMLimbGoalBlock a = *block, b = *block;
    if (lift)
        RunInFrame(character, extremity, &a, 2, properties);
    if (roll)
        RunInFrame(character, extremity, &b, 1, properties);
    if (lift && roll) {
        const VLMVector4 weights[2] = {VLMVector4Splat(1.0f - s), VLMVector4Splat(1.0f - s)};
        VLMBlendGoalPair(&a, &b, weights);
    }
    // A stiffness of 0 or 1 (or beyond) leaves one sub-solver: its goals are
    // taken as they are, not blended against goals that were never solved.
    VLMCopyLimbGoalBlockGoals(block, roll && !lift ? &b : &a);

    const bool base = VLMCharacterCompactIndex(character, extremity->baseNodeId) >= 0;
    const int type = VLMFloatToIntRound(VLMPropertyValueAt(properties, int(extremity->properties[kType])));
    const float x = base && (type == 2 || type == 3) ? 0.0f : 1.0f;
    VLMVector4& end = block->lanes[0];
    VLMVector4& tip = block->lanes[1];
    end = VLMVector4{x, x, 0.0f, end.w};
    tip = VLMVector4{1.0f - x, 1.0f, 0.0f, tip.w};
    (base ? tip : end).z = 1.0f;
}

void VLMSolveLimb(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                  const VLMPropertySetState* properties, const VLMLimb* limb)
{
    const VLMExtremity* extremity = ExtremityOf(character, limb);
    const std::uint32_t digitContact = Mode(properties, extremity, kDigitContact);
    if (Mode(properties, extremity, kFloorContact) == 0 && digitContact == 0)
        return;
    const bool digits = extremity->hasDigits != 0;
    VLMLimbContactRecord record;
    VLMInitLimbContactRecord(&record);
    if (digits) {
        VLMFillLimbContactRecord(&record, extremity, set);
        for (int i = 0; i < 2; ++i)
            record.lanes[i].x = record.lanes[i].y = 0.0f;
        VLMComputeExtremityEffectorsFromPose(character, extremity, &record, rows, false, properties);
    }

    VLMLimbGoalBlock block;
    VLMInitLimbGoalBlock(&block);
    VLMComputeExtremityEffectorPairFromPose(character, extremity, &block.slots[0], &block.slots[1], rows, properties);
    const VLMTransformTQS& frame = set->extremities[extremity->extremityIndex];
    block.frame.t = frame.t;
    block.frame.q = frame.q;
    block.slots[0].s = block.slots[1].s = VLMNodeRow(character, rows, extremity->endNodeId)->globalS;
    VLMLimbContactPass(character, extremity, &block, properties);
    VLMSolveLimbChainTargets(character, rows, &block, properties, extremity->isFoot == 1, extremity->isRight == 0);
    if (!digits)
        return;

    VLMComputeExtremityEffectorsFromPose(character, extremity, &record, rows, true, properties);
    for (int i = 0; i < 8; ++i)
        record.lanes[i].y = record.lanes[i].z = 0.0f;
    for (int i = 2; i < 8; ++i)
        record.lanes[i].x = 1.0f;
    if (digitContact != 0) {
        // The hand or foot and the record in the floor frame, the floor at 0.
        const FloorFrame floor(record.frame);
        const VLMNodeRecord* end = VLMCharacterNodeRecord(character, extremity->endNodeId);
        const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
        VLMTransformSubtree(end, rows, records, floor.t, floor.q, VLMConstant::One);
        VLMTransformContactRecordTranslations(&record, floor.t, floor.q);
        VLMRotateContactRecordRotations(&record, floor.q);
        const VLMVector4 kept = record.frame.t;
        record.frame.t = VLMVector4Zero();
        VLMSolveDigitChains(character, extremity, rows, &record, properties);
        record.frame.t = kept;
        VLMTransformContactRecordTranslations(&record, floor.backT, floor.backQ);
        VLMRotateContactRecordRotations(&record, floor.backQ);
        VLMTransformSubtree(end, rows, records, floor.backT, floor.backQ, VLMConstant::One);
    }
    VLMSolveExtremityDigits(character, extremity, rows, record.slots, record.lanes, 1, properties);
}

void VLMSolveLimbContactSync(const VLMCharacter* character, VLMEffectorSetLayout* set,
                             const VLMPropertySetState* properties, const VLMLimb* limb)
{
    const VLMExtremity* extremity = ExtremityOf(character, limb);
    if (Mode(properties, extremity, kFloorContact) == 0 ||
        VLMFloatToIntRound(VLMPropertyValueAt(properties, vlm_entry::ContactBehaviour)) != 2)
        return;
    VLMLimbGoalBlock block;
    VLMInitLimbGoalBlock(&block);
    VLMFillLimbGoalBlock(&block, extremity, set);
    RunInFrame(character, extremity, &block, 0, properties);
    VLMStoreLimbGoalBlock(&block, extremity, set);
}

void VLMSolveLimbDigits(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                        const VLMPropertySetState* properties, const VLMLimb* limb)
{
    const VLMExtremity* extremity = ExtremityOf(character, limb);
    if (Mode(properties, extremity, kFingerSolving) == 1 && extremity->hasDigits != 0)
        VLMSolveExtremityDigits(character, extremity, rows, set->effectors, set->blend, 0, properties);
}

void VLMSolveExtremityDigits(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                             const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag,
                             const VLMPropertySetState* properties)
{
    if (Mode(properties, extremity, kFingerSolving) != 1)
        return;
    for (int d = 0; d < 6; ++d)
        VLMSolveDigit(character, extremity, rows, records, lanes, contactFlag, d);
}
