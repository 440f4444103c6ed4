#include "rig/solver/stages/vlm_pose_transfer.h"

#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_sides.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

#include <initializer_list>

namespace {

const VLMNodeRecord* Record(const VLMCharacter* c, int id) { return VLMCharacterNodeRecord(c, id); }

void ClearBit(VLMRowBitSet* set, const VLMCharacter* c, int id)
{
    const std::int32_t row = VLMCharacterCompactIndex(c, id);
    if (row >= 0 && row < 192)
        set->words[row >> 5] &= ~(1u << (row & 31));
}

int DigitJoint(int extremity, int digit, int joint)
{
    return VLM_NODE_LEFT_HAND_THUMB1 + 24 * extremity + 4 * digit + joint;
}
int JointCount(std::uint32_t digitWord, int digit) { return int((digitWord >> (3 * digit)) & 7u); }

// A world-frame turn of one node of a spread: global Q := partial (x) Q, its
// local rotation re-derived and, with limits, clamped.
void TurnNode(const VLMCharacter* c, VLMStateRow* rows, int id, const VLMVector4& axis, float angle, bool clamp)
{
    if (!Has(c, id))
        return;
    const VLMNodeRecord* records = VLMCharacterNodeRecords(c);
    const VLMNodeRecord* record = Record(c, id);
    VLMStateRow* row = VLMNodeRow(c, rows, id);
    row->globalQ = VLMQuatMultiply(VLMQuatAboutAxis(axis, angle), row->globalQ);
    VLMNodeGlobalToLocalRotation(record, rows, records);
    if (clamp && VLMClampNodeToLimits(record, rows, VLMCharacterRotations(c)))
        VLMNodeLocalToGlobalRotation(record, rows, records);
}

void LocalFromGlobalRotation(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    if (Has(c, id))
        VLMNodeGlobalToLocalRotation(Record(c, id), rows, VLMCharacterNodeRecords(c));
}

// The source's rotation of a node's chain end times the conjugate of the target's.
VLMVector4 Correction(const VLMVector4& source, const VLMVector4& target)
{
    return VLMQuatMultiply(source, VLMVector4NegateXYZ(target));
}

}  // namespace

void VLMDistributeSpineRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& correction,
                                const VLMVector4& weight)
{
    VLMVector4 axis;
    float h;
    if (!Has(character, VLM_NODE_SPINE) || !VLMSpreadAxisAngle(correction, axis, h))
        return;
    const float m = float(VLMCharacterChestIndex(character) + 1);
    const float whole = 2.0f * h;
    const float b = 2.0f * m * weight.x + 0.5f;
    TurnNode(character, rows, VLM_NODE_SPINE, axis, b * whole / (b + m), true);
    for (int i = 0; i < int(m); ++i)
        TurnNode(character, rows, VLM_NODE_SPINE1 + i, axis, (b + float(i) + 1.0f) * whole / (b + m), true);
    LocalFromGlobalRotation(character, rows, VLM_NODE_SPINE);
}

void VLMDistributeNeckRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& correction,
                               const VLMVector4& weight)
{
    VLMVector4 axis;
    float h;
    if (!Has(character, VLM_NODE_NECK) || !VLMSpreadAxisAngle(correction, axis, h))
        return;
    const int k = VLMCharacterNeckIndex(character);
    const float w = weight.x;
    const float t = w * w * w * w * (2.0f * h) / float(k + 3);
    VLMStateRow* neck = VLMNodeRow(character, rows, VLM_NODE_NECK);
    neck->globalQ = VLMQuatMultiply(VLMQuatAboutAxis(axis, t), neck->globalQ);
    for (int i = 0; i <= k; ++i)
        TurnNode(character, rows, VLM_NODE_NECK1 + i, axis, float(i + 2) * t, false);
    LocalFromGlobalRotation(character, rows, VLM_NODE_NECK);
}

void VLMAlignDigitChain(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                        const VLMStateRow* sourceRows, int sourceExtremity, int targetExtremity, int sourceDigit,
                        int targetDigit)
{
    const int n = JointCount(VLMCharacterDigitWord(target, targetExtremity), targetDigit);
    const int sourceCount = JointCount(VLMCharacterDigitWord(source, sourceExtremity), sourceDigit);
    const int first = DigitJoint(targetExtremity, targetDigit, 0), last = first + n - 1;
    if (n == 0 || !Has(target, first) || !Has(target, last))
        return;
    VLMChainLocalToGlobalRotation(Record(target, last), VLMCharacterCompactIndex(target, first), targetRows,
                                  VLMCharacterNodeRecords(target));
    if (sourceCount == 0)
        return;
    const int sourceLast = DigitJoint(sourceExtremity, sourceDigit, sourceCount - 1);
    const VLMVector4 c =
        Correction(VLMNodeRow(source, sourceRows, sourceLast)->globalQ, VLMNodeRow(target, targetRows, last)->globalQ);
    VLMVector4 axis;
    float h;
    if (!VLMSpreadAxisAngle(c, axis, h))
        return;
    // The first joint stays; the others take growing shares of the whole
    // correction 2h, the last joint all of it, so that the digit ends where
    // the source's digit ends whatever the two joint counts (shares of h
    // alone, or n shares of which the last never arrives, leave the end short).
    const float whole = 2.0f * h;
    for (int j = 1; j < n; ++j)
        TurnNode(target, targetRows, first + j, axis, float(j) * whole / float(n - 1), true);
    LocalFromGlobalRotation(target, targetRows, first);
}

void VLMBlendShoulderEuler(const VLMCharacter* character, int shoulder, VLMStateRow* rows, const VLMVector4& weights,
                           bool extra, const VLMVector4& shoulderAngles, const VLMVector4& extraAngles)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const int extraNode =
        shoulder == VLM_NODE_LEFT_SHOULDER ? VLM_NODE_LEFT_SHOULDER_EXTRA : VLM_NODE_RIGHT_SHOULDER_EXTRA;
    const VLMVector4 keep = VLMConstant::One - weights;
    const auto blend = [&](int id, const VLMVector4& target) {
        const VLMNodeRecord* record = Record(character, id);
        VLMStateRow* row = VLMNodeRow(character, rows, id);
        VLMNodeGlobalToLocalRotation(record, rows, records);
        VLMVector4 angles;
        VLMNodeEulerFromRotation(&record->rotation, angles, row->localQ);
        angles = keep * angles + weights * target;
        VLMNodeRotationFromEuler(&record->rotation, row->localQ, angles);
    };
    if (!Has(character, shoulder))
        return;
    extra = extra && Has(character, extraNode);
    blend(shoulder, shoulderAngles);
    if (extra)
        blend(extraNode, extraAngles);  // its local rotation taken before the shoulder's global moves
    VLMNodeLocalToGlobal(Record(character, shoulder), rows, records);
    if (extra)
        VLMNodeLocalToGlobal(Record(character, extraNode), rows, records);
}

void VLMFlipLimb(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties,
                 VLMLimbIndex which)
{
    const VLMLimb* limb = VLMCharacterLimb(character, which);
    if (!VLMLimbIsComplete(limb))
        return;
    const VLMRotationRecord* rotations = VLMCharacterRotations(character);
    const VLMNodeRecord* r = limb->slotRecords;
    VLMLimbChainJoints frame;
    VLMResetLimbWorkRows(frame.rows);
    VLMLimbChainGoal goal;
    VLMLimbChainInitGoal(&goal);
    VLMLimbChainGatherRows(limb, frame.rows, rows);
    VLMLimbChainGoalFromJoints(limb, &goal, frame.rows);
    VLMLimbChainReadProperties(limb, &goal, properties);
    for (VLMVector4& lane : goal.lanes)
        lane.x = lane.y = 0.0f;
    goal.lanes[2].x = goal.lanes[2].y = 1.0f;

    VLMStateRow& side = frame.rows[limb->upperSegmentCount];
    side.localT = side.globalT;
    side.localQ = side.globalQ;
    if (r[VLM_SLOT_PARENT].childCount > 0)
        VLMSubtreeGlobalToLocal(&r[r[VLM_SLOT_PARENT].firstChildIndex], frame.rows, r);

    VLMLimbFlipBend(limb, frame.rows, rotations);
    VLMLimbAimJoint(limb, frame.rows, &goal, VLM_SLOT_UPPER, 2, rotations);
    VLMSubtreeLocalToGlobal(&r[VLM_SLOT_UPPER], frame.rows, r);
    VLMLimbOrientJoint(limb, frame.rows, &goal, 2, rotations);
    VLMSubtreeLocalToGlobal(&r[VLM_SLOT_END], frame.rows, r);
    VLMLimbChainScatterRows(limb, frame.rows, rows);
    VLMLimbChainRederive(character, rows, limb, false);
}

namespace {

// The T-pose placed under the target's own reference transform.
void PlaceTPoseUnderOwnReference(const VLMCharacter* target, VLMStateRow* targetRows)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(target);
    const VLMStateRow* reference = VLMNodeRow(target, targetRows, VLM_NODE_REFERENCE);
    const VLMVector4 t = reference->globalT, q = reference->globalQ, s = reference->globalS;
    VLMSetStateToTPose(target, targetRows);
    VLMTransformSubtree(VLMCharacterRootRecord(target), targetRows, records, t, q, s);
    VLMTreeGlobalToLocal(target, targetRows, records);
}

// The stored global rotations of the nodes both characters have. Gives the
// rows whose rotation is still to come from their locals: every row but the
// copied ones (the roll nodes stay marked when rolls follow their limbs).
VLMRowBitSet CopySharedRotations(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                                 const VLMStateRow* sourceRows, const VLMPropertySetState* properties)
{
    VLMRowBitSet recompute;
    for (std::uint32_t& word : recompute.words)
        word = ~0u;
    const bool rollsFollow = VLMFloatToIntRound(VLMPropertyValueAt(properties, vlm_entry::RollExtractionMode)) != 0;
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        if (!Has(target, id) || !Has(source, id))
            continue;
        VLMNodeRow(target, targetRows, id)->globalQ = VLMNodeRow(source, sourceRows, id)->globalQ;
        if (!(rollsFollow && id >= VLM_NODE_LEFT_UP_LEG_ROLL && id <= VLM_NODE_RIGHT_FORE_ARM_ROLL))
            ClearBit(&recompute, target, id);
    }
    return recompute;
}

// A spine of another length ends on the source's chest rotation. The chain is
// built up from the hips, the Spine's copied rotation included, so where the
// source's hips turn while its Spine stays (its lower back turning them back),
// the target's Spine keeps that turn but for its share of the spread. Mapping
// that lower back too (onto the Spine, the source's Spine and Spine1 one joint
// up) leaves the 172-node preset's neck turning as far. Built from the source's
// Spine instead, or given the turn the source's Spine stands
// at about its hips, the trunk bends lower than the spread shares it, and the
// chest end lands further from its goal (in 62 of 64 runs of two takes with
// chest reach, by up to 1.5 cm on average). From one frame such a turn and
// turn back cannot be told from a posture of those hips and that lower back.
void SpreadSpineToSourceChest(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                              const VLMStateRow* sourceRows, const VLMPropertySetState* properties,
                              VLMRowBitSet& recompute)
{
    const int chestIndex = VLMCharacterChestIndex(target);
    if (chestIndex == VLMCharacterChestIndex(source) || chestIndex < 0)
        return;
    const int chest = VLMChestNodeId(target);
    VLMChainLocalToGlobalRotation(Record(target, chest), VLMCharacterCompactIndex(target, VLM_NODE_SPINE), targetRows,
                                  VLMCharacterNodeRecords(target));
    VLMVector4 from, to;
    VLMGetChestRotation(source, &from, sourceRows);
    VLMGetChestRotation(target, &to, targetRows);
    VLMDistributeSpineRotation(target, targetRows, Correction(from, to),
                               VLMVector4Splat(VLMPropertyValueAt(properties, vlm_entry::ParamCtrlSpineStiffness)));
    for (int id = VLM_NODE_SPINE1; id <= chest; ++id)
        ClearBit(&recompute, target, id);
}

// The same for the neck, weighted by 1 - stiffness.
void SpreadNeckToSourceNeckEnd(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                               const VLMStateRow* sourceRows, const VLMPropertySetState* properties,
                               VLMRowBitSet& recompute)
{
    const int neckIndex = VLMCharacterNeckIndex(target);
    if (neckIndex == VLMCharacterNeckIndex(source) || neckIndex < 0 || !Has(target, VLM_NODE_NECK))
        return;
    VLMSubtreeLocalToGlobalRotation(Record(target, VLM_NODE_NECK), targetRows, VLMCharacterNodeRecords(target),
                                    neckIndex + 1);
    VLMVector4 from, to;
    VLMGetNeckEndRotation(source, &from, sourceRows);
    VLMGetNeckEndRotation(target, &to, targetRows);
    VLMDistributeNeckRotation(
        target, targetRows, Correction(from, to),
        VLMVector4Splat(1.0f - VLMPropertyValueAt(properties, vlm_entry::ParamCtrlNeckStiffness)));
    ClearBit(&recompute, target, VLM_NODE_NECK);
    for (int id = VLM_NODE_NECK1; id <= VLMNeckEndNodeId(target); ++id)
        ClearBit(&recompute, target, id);
}

// One shoulder, with or without its extra node on either side.
void TransferShoulder(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                      const VLMStateRow* sourceRows, const VLMPropertySetState* properties, VLMSide side,
                      VLMRowBitSet& recompute)
{
    const auto value = [properties](int entry) { return VLMPropertyValueAt(properties, entry); };
    const VLMNodeRecord* records = VLMCharacterNodeRecords(target);
    const float ratio = value(vlm_entry::ExtraCollarRatio);
    const VLMVector4 stiffness = {value(vlm_entry::CollarStiffnessX), value(vlm_entry::CollarStiffnessY),
                                  value(vlm_entry::CollarStiffnessZ), 0.0f};
    const int shoulder = side == VLM_SIDE_LEFT ? VLM_NODE_LEFT_SHOULDER : VLM_NODE_RIGHT_SHOULDER;
    const int extra = side == VLM_SIDE_LEFT ? VLM_NODE_LEFT_SHOULDER_EXTRA : VLM_NODE_RIGHT_SHOULDER_EXTRA;
    if (!Has(target, shoulder) || !Has(source, shoulder))
        return;
    VLMStateRow* row = VLMNodeRow(target, targetRows, shoulder);
    if (Has(target, extra) && !Has(source, extra)) {
        VLMNodeRow(target, targetRows, extra)->globalQ = VLMNodeRow(source, sourceRows, shoulder)->globalQ;
        VLMNodeGlobalToLocalRotation(Record(target, shoulder), targetRows, records);
        row->localQ = VLMQuatScaleVectorPart(row->localQ, 1.0f - ratio);
        VLMNodeLocalToGlobalRotation(Record(target, shoulder), targetRows, records);
        ClearBit(&recompute, target, shoulder);
        ClearBit(&recompute, target, extra);
    } else if (!Has(target, extra) && Has(source, extra)) {
        // The extra's rotation in the shoulder's hemisphere: a share of an
        // antipodal pair would come near zero.
        const VLMVector4 e = VLMQuatToHemisphere(row->globalQ, VLMNodeRow(source, sourceRows, extra)->globalQ);
        row->globalQ = row->globalQ + ratio * (e - row->globalQ);
    }
    if (stiffness.x != 0.0f || stiffness.y != 0.0f || stiffness.z != 0.0f)
        VLMBlendShoulderEuler(target, shoulder, targetRows, stiffness, Has(target, extra), VLMVector4Zero(),
                              VLMVector4Zero());
}

// Digits whose joint counts differ, re-aimed at the source's digit ends.
void AlignDifferingDigits(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                          const VLMStateRow* sourceRows, const VLMPropertySetState* properties, VLMRowBitSet& recompute)
{
    if (VLMPropertyModeAt(properties, vlm_entry::FingerPropagation) == 0)
        return;
    const VLMNodeRecord* records = VLMCharacterNodeRecords(target);
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t targetWord = VLMCharacterDigitWord(target, k);
        const std::uint32_t sourceWord = VLMCharacterDigitWord(source, k);
        const auto clearDigit = [&](int d) {
            for (int j = 0; j < 4; ++j)
                ClearBit(&recompute, target, DigitJoint(k, d, j));
        };
        const int thumb = JointCount(targetWord, 0), sourceThumb = JointCount(sourceWord, 0);
        if (thumb > 0 && sourceThumb > 0 && thumb != sourceThumb) {
            VLMAlignDigitChain(target, source, targetRows, sourceRows, k, k, 0, 0);
            clearDigit(0);
        }
        const int added = int(targetWord >> 24);
        if (targetWord >> 24 > sourceWord >> 24 && Has(target, added)) {
            VLMNodeLocalToGlobalRotation(Record(target, added), targetRows, records);
            ClearBit(&recompute, target, added);
        }
        int from = -1;  // the thumb never serves another digit
        for (int d = 1; d < 6; ++d) {
            if (JointCount(sourceWord, d) > 0)
                from = d;
            const int count = JointCount(targetWord, d);
            if (from < 0 || count == 0 || (from == d && count == JointCount(sourceWord, d)))
                continue;
            VLMAlignDigitChain(target, source, targetRows, sourceRows, k, k, from, d);
            clearDigit(d);
        }
    }
}

// Rotations of the rows still marked from their locals, then every local and
// global: translations follow, bone lengths stay the target's.
void RederiveMarkedRowsAndGlobals(const VLMCharacter* target, VLMStateRow* targetRows, const VLMRowBitSet& recompute)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(target);
    VLMTreeLocalToGlobalRotationMarked(target, targetRows, records, &recompute);
    VLMTreeGlobalToLocalRotation(target, targetRows, records);
    VLMTreeLocalToGlobal(target, targetRows, records);
}

// Limbs inverted against the source.
void FlipInvertedLimbs(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                       const VLMPropertySetState* properties)
{
    for (VLMLimbIndex limb : {VLM_LIMB_LEFT_LEG, VLM_LIMB_RIGHT_LEG, VLM_LIMB_LEFT_ARM, VLM_LIMB_RIGHT_ARM})
        if (VLMCharacterLimb(target, limb)->boneInverted != VLMCharacterLimb(source, limb)->boneInverted)
            VLMFlipLimb(target, targetRows, properties, limb);
}

}  // namespace

void VLMTransferPose(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                     const VLMStateRow* sourceRows, const VLMPropertySetState* properties)
{
    PlaceTPoseUnderOwnReference(target, targetRows);
    VLMRowBitSet recompute = CopySharedRotations(target, source, targetRows, sourceRows, properties);
    SpreadSpineToSourceChest(target, source, targetRows, sourceRows, properties, recompute);
    SpreadNeckToSourceNeckEnd(target, source, targetRows, sourceRows, properties, recompute);
    TransferShoulder(target, source, targetRows, sourceRows, properties, VLM_SIDE_LEFT, recompute);
    TransferShoulder(target, source, targetRows, sourceRows, properties, VLM_SIDE_RIGHT, recompute);
    AlignDifferingDigits(target, source, targetRows, sourceRows, properties, recompute);
    RederiveMarkedRowsAndGlobals(target, targetRows, recompute);
    FlipInvertedLimbs(target, source, targetRows, properties);
}
