#include "rig/solver/stages/vlm_limb_chain.h"

#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kPassThreshold = 1e-20f;
constexpr float kCos30 = 0.866025388f, kCos15 = 0.965925813f;  // extension geometry ramp
constexpr float kCos20 = 0.939692616f, kCos2 = 0.999390841f;   // bend-plane alignment ramp
constexpr float kSin10 = 0.173648178f;
// How near the middle goal's own plane the carried middle goal moves (below).
constexpr float kCarryShare = 0.5f;
constexpr float kDegPerRad = 57.2957802f;

VLMVector4 Mul(const VLMVector4& a, const VLMVector4& b) { return VLMQuatMultiply(a, b); }
VLMVector4 MulConj(const VLMVector4& a, const VLMVector4& b) { return VLMQuatMultiply(a, VLMVector4NegateXYZ(b)); }
VLMVector4 Rot(const VLMVector4& q, const VLMVector4& v) { return VLMQuatRotate(q, v); }
float Dot3(const VLMVector4& a, const VLMVector4& b) { return VLMVector4Dot3(a, b).x; }
float Length(const VLMVector4& v) { return VLMLengthFloat(v); }
// a + (b - a) w
VLMVector4 Toward(const VLMVector4& a, const VLMVector4& b, float w) { return a + (b - a) * w; }

const VLMVector4& Position(const VLMStateRow* work, int slot) { return work[slot].globalT; }

// The rotation part whose limits VLMClampNodeToLimits would apply, or null.
const VLMRotationPart* LimitedPart(const VLMNodeRecord* record, const VLMRotationRecord* rotations)
{
    if (rotations == nullptr || record->rotationIndex == VLM_INDEX_NONE)
        return nullptr;
    const VLMRotationPart* part = &rotations[record->rotationIndex].part;
    const std::uint32_t order = part->rotationOrder;
    if ((part->flags & VLM_ROTFLAG_LIMITS) == 0 || order > VLM_ROTATION_SPHERIC_XYZ ||
        (order < VLM_ROTATION_SPHERIC_XYZ && (order & 1u) != 0))
        return nullptr;
    return part;
}

// The limit clamp; no records, no limits.
bool Clamp(const VLMLimb* limb, VLMStateRow* work, int slot, const VLMRotationRecord* limits)
{
    return limits != nullptr && VLMClampNodeToLimits(&limb->slotRecords[slot], work, limits);
}

// A joint's new global rotation committed: its local rotation re-derived and,
// with limits, clamped (the global rotation rebuilt when the clamp acted).
void Commit(const VLMLimb* limb, VLMStateRow* work, int slot, const VLMRotationRecord* limits)
{
    const VLMNodeRecord* r = limb->slotRecords;
    VLMNodeGlobalToLocalRotation(&r[slot], work, r);
    if (Clamp(limb, work, slot, limits))
        VLMNodeLocalToGlobalRotation(&r[slot], work, r);
}

void Refresh(const VLMLimb* limb, VLMStateRow* work, int slot)
{
    VLMSubtreeLocalToGlobal(&limb->slotRecords[slot], work, limb->slotRecords);
}

// The same down to the end joint, the tip left as it is: for a step after
// which nothing reads the tip before the next full refresh.
void RefreshToEnd(const VLMLimb* limb, VLMStateRow* work, int slot)
{
    const VLMNodeRecord* r = limb->slotRecords;
    for (const VLMNodeRecord* record = &r[slot]; record->ownIndex != VLM_SLOT_TIP;
         record = &r[record->firstChildIndex]) {
        VLMNodeLocalToGlobal(record, work, r);
        if (record->childCount == 0)
            break;
    }
}

const VLMVector4& UpperSideRotation(const VLMLimb* limb, const VLMStateRow* work)
{
    return work[limb->upperSegmentCount].globalQ;
}

// e (kept in the upper-side joint's frame) as a turn in world space; the
// identity stays exactly the identity.
VLMVector4 CarryToWorld(const VLMLimb* limb, const VLMStateRow* work, const VLMVector4& e)
{
    if (VLMIsIdentityQuat(e))
        return e;
    const VLMVector4& q = UpperSideRotation(limb, work);
    return MulConj(Mul(q, e), q);
}

// acos of the law-of-cosines cosine of the angle between sides a and b
// opposite side x, clamped to [-1, 1] (a NaN cosine counts as -1).
float InteriorAngle(float a, float b, float x)
{
    const float c = ((a * a + b * b) - x * x) / ((2.0f * a) * b);
    return VLMFastAcos(VLMVector4Splat(VLMClampFloat(c, -1.0f, 1.0f))).x;
}

// The upper and lower segments with their components along n removed.
void BendPlaneSegments(const VLMStateRow* work, const VLMVector4& n, VLMVector4& a, VLMVector4& b)
{
    a = VLMVector4RejectFrom(n, Position(work, VLM_SLOT_MIDDLE) - Position(work, VLM_SLOT_UPPER));
    b = VLMVector4RejectFrom(n, Position(work, VLM_SLOT_END) - Position(work, VLM_SLOT_MIDDLE));
}

// The upper joint turned about the line through it so that the plane of u and
// w turns toward the plane of g and w: fully while u and w are at least `lo`
// apart in cosine, not at all from `hi` on (fully always when lo is not below
// hi). With `across`, a unit vector across w (or zero), a limb within about
// 10 degrees of straight, whose u x w shrinks toward nothing, has both
// planes' normals steadied by a share of it that grows as it straightens.
void AlignPlane(const VLMLimb* limb, VLMStateRow* work, const VLMRotationRecord* limits, const VLMVector4& u,
                const VLMVector4& w, const VLMVector4& g, float lo, float hi,
                const VLMVector4& across = VLMVector4Zero())
{
    const VLMVector4 bend = VLMVector4Cross(u, w);
    const VLMVector4 steady = across * VLMMaxFloat(kSin10 * Length(u) * Length(w) - Length(bend), 0.0f);
    const VLMVector4 current = bend + steady;
    const VLMVector4 wanted = VLMVector4Cross(g, w) + steady;
    const float c = Dot3(VLMVector4Normalize3(u), VLMVector4Normalize3(w));
    const float h =
        lo < hi ? VLMVector4SmoothStep(VLMVector4Splat(lo), VLMVector4Splat(hi), VLMVector4Splat(c)).x : 0.0f;
    VLMVector4 r = VLMConstant::IdentityQuat;
    if (h < 1.0f) {
        const VLMVector4 arc = VLMShortestArc(current, wanted);
        if (!VLMIsIdentityQuat(arc))
            r = VLMQuatScaleVectorPart(arc, 1.0f - h);
    }
    work[VLM_SLOT_UPPER].globalQ = Mul(r, work[VLM_SLOT_UPPER].globalQ);
    Commit(limb, work, VLM_SLOT_UPPER, limits);
}

using Pass = void (*)(const VLMLimb*, VLMStateRow*, const VLMLimbChainGoal*, const VLMRotationRecord*);

}  // namespace

void VLMLimbChainRederive(const VLMCharacter* character, VLMStateRow* rows, const VLMLimb* limb, bool withScale)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const VLMNodeRecord* end = &records[limb->slotIndex[VLM_SLOT_END]];
    const VLMNodeRecord* last = limb->tipMask[0] != 0 ? &records[limb->slotIndex[VLM_SLOT_TIP]] : end;
    const std::int32_t upperRow = limb->slotIndex[VLM_SLOT_UPPER];
    if (withScale) {
        VLMChainGlobalToLocalTQS(last, upperRow, rows, records);
        VLMLocalToGlobalTree(end, rows, records);
    } else {
        VLMChainGlobalToLocal(last, upperRow, rows, records);
        VLMSubtreeLocalToGlobal(end, rows, records);
    }
}

namespace {

// Gather, goals from the set, properties: what the limited and stretch forms share.
void Begin(const VLMLimb* limb, VLMStateRow* work, const VLMStateRow* rows, VLMLimbChainGoal* goal,
           const VLMEffectorSetLayout* set, const VLMPropertySetState* properties)
{
    VLMResetLimbWorkRows(work);
    VLMLimbChainGatherRows(limb, work, rows);
    VLMLimbChainInitGoal(goal);
    VLMLimbChainGatherEffectors(limb, goal, set);
    VLMLimbChainReadProperties(limb, goal, properties);
}

}  // namespace

// --- Entries -----------------------------------------------------------------------------

bool VLMLimbIsComplete(const VLMLimb* limb)
{
    return limb->slotIndex[VLM_SLOT_UPPER] >= 0 && limb->slotIndex[VLM_SLOT_MIDDLE] >= 0 &&
           limb->slotIndex[VLM_SLOT_END] >= 0;
}

void VLMSolveLimbChainLimited(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                              const VLMPropertySetState* properties, const VLMLimb* limb)
{
    if (!VLMLimbIsComplete(limb))
        return;
    VLMLimbChainJoints work;
    VLMLimbChainGoal goal;
    Begin(limb, work.rows, rows, &goal, set, properties);
    VLMLimbChainCore(limb, work.rows, &goal, VLMCharacterRotations(character));
    VLMLimbChainScatterRows(limb, work.rows, rows);
    VLMLimbChainRederive(character, rows, limb, false);
}

void VLMStretchLimbChain(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties, const VLMLimb* limb)
{
    if (!VLMLimbIsComplete(limb))
        return;
    VLMLimbChainJoints work;
    VLMLimbChainGoal goal;
    Begin(limb, work.rows, rows, &goal, set, properties);
    VLMLimbStretch(limb, work.rows, &goal, properties);
    VLMLimbChainScatterRows(limb, work.rows, rows);
    VLMLimbChainRederive(character, rows, limb, true);
}

void VLMSolveLimbChainTargets(const VLMCharacter* character, VLMStateRow* rows, const VLMLimbGoalBlock* block,
                              const VLMPropertySetState* properties, bool isFoot, bool isLeft)
{
    const VLMLimb* limb = VLMCharacterLimb(character, (isFoot ? 0 : 2) + (isLeft ? 0 : 1));
    if (!VLMLimbIsComplete(limb))
        return;
    VLMLimbChainJoints work;
    VLMResetLimbWorkRows(work.rows);
    VLMLimbChainGatherRows(limb, work.rows, rows);
    VLMLimbChainGoal goal;
    VLMLimbChainInitGoal(&goal);
    for (int k = 0; k < 2; ++k) {
        goal.slots[2 + k].t = block->slots[k].t;
        goal.slots[2 + k].q = block->slots[k].q;
        goal.lanes[2 + k].x = block->lanes[k].x;
        goal.lanes[2 + k].y = block->lanes[k].y;
    }
    VLMLimbChainReadProperties(limb, &goal, properties);
    VLMLimbChainCore(limb, work.rows, &goal, VLMCharacterRotations(character));
    VLMLimbChainScatterRows(limb, work.rows, rows);
    VLMLimbChainRederive(character, rows, limb, false);
}

// --- Records -----------------------------------------------------------------------------

void VLMLimbChainInitGoal(VLMLimbChainGoal* goal)
{
    for (VLMTransformTQS& slot : goal->slots)
        VLMTQSReset(&slot);
    for (VLMVector4& lane : goal->lanes)
        lane = VLMVector4Zero();
    goal->resistExtension = 0.0f;
    goal->maxExtensionAngle = 180.0f;
    goal->stretchReach = 0.0f;
    goal->rollFlag = 0;
    goal->realisticKnee = 0.0f;
    goal->killPitch = 0;
}

void VLMLimbChainGatherRows(const VLMLimb* limb, VLMStateRow* work, const VLMStateRow* rows)
{
    for (int slot = 0; slot < VLM_LIMB_SLOT_COUNT; ++slot) {
        const std::int32_t row = limb->slotIndex[slot];
        if (row < 0)
            continue;
        work[slot].globalT = rows[row].globalT;
        work[slot].globalQ = rows[row].globalQ;
        work[slot].globalS = rows[row].globalS;
    }
}

void VLMLimbChainScatterRows(const VLMLimb* limb, const VLMStateRow* work, VLMStateRow* rows)
{
    for (int slot = 0; slot < VLM_LIMB_SLOT_COUNT; ++slot) {
        const std::int32_t row = limb->slotIndex[slot];
        if (row < 0)
            continue;
        rows[row].globalT = work[slot].globalT;
        rows[row].globalQ = work[slot].globalQ;
        rows[row].globalS = work[slot].globalS;
    }
}

void VLMLimbChainGatherEffectors(const VLMLimb* limb, VLMLimbChainGoal* goal, const VLMEffectorSetLayout* set)
{
    goal->rollFlag = set->rollCaptured;
    for (int k = 0; k < 4; ++k) {
        const std::int32_t id = limb->effectors[k];
        if (id < 0 || id >= VLM_EFFECTOR_COUNT)
            continue;
        goal->slots[k].t = set->effectors[id].t;
        goal->slots[k].q = set->effectors[id].q;
        goal->lanes[k] = set->blend[id];
    }
}

void VLMLimbChainReadProperties(const VLMLimb* limb, VLMLimbChainGoal* goal, const VLMPropertySetState* properties)
{
    goal->killPitch = VLMIsPropertyInEffect(properties, limb->properties[0]) ? 1u : 0u;
    goal->resistExtension = VLMPropertyValueAt(properties, limb->properties[1]);
    goal->maxExtensionAngle = VLMPropertyValueAt(properties, limb->properties[2]);
    goal->stretchReach = VLMPropertyValueAt(properties, limb->properties[3]);
    const std::uint32_t knee = limb->realisticKneeEntry;
    goal->realisticKnee = knee != 0 ? VLMPropertyValueAt(properties, int(knee)) : 0.0f;
}

void VLMLimbChainGoalFromJoints(const VLMLimb* limb, VLMLimbChainGoal* goal, const VLMStateRow* work)
{
    for (int k = 0; k < 4; ++k) {
        const VLMStateRow& row = work[limb->jointSlots[k]];
        goal->slots[k].t = row.globalT;
        goal->slots[k].q = row.globalQ;
        goal->slots[k].s = row.globalS;
    }
}

void VLMLimbChainCopyLocalRotations(const VLMStateRow* work, VLMVector4 out[VLM_LIMB_SLOT_COUNT])
{
    for (int slot = 0; slot < VLM_LIMB_SLOT_COUNT; ++slot)
        out[slot] = work[slot].localQ;
}

void VLMLimbChainCopyParameters(VLMLimbChainGoal* a, const VLMLimbChainGoal* b)
{
    a->resistExtension = b->resistExtension;
    a->maxExtensionAngle = b->maxExtensionAngle;
    a->stretchReach = b->stretchReach;
    a->rollFlag = b->rollFlag;
    a->realisticKnee = b->realisticKnee;
    a->killPitch = b->killPitch;
}

// --- Core ----------------------------------------------------------------------------------

VLMLimbPassWeights VLMLimbChainPassWeights(const VLMLimb* limb, const VLMLimbChainGoal* goal)
{
    const VLMVector4* lanes = goal->lanes;
    const float rT1 = lanes[1].x, rT2 = lanes[2].x, p1 = lanes[1].z, p2 = lanes[2].z, p3 = lanes[3].z;
    float m;
    const std::uint32_t bits = [&] {
        std::uint32_t b;
        std::memcpy(&b, &lanes[3].x, sizeof b);
        return b & limb->tipMask[0];
    }();
    std::memcpy(&m, &bits, sizeof m);
    VLMLimbPassWeights w;
    w.m = m;
    w.a1 = p1 * rT1;
    w.a2 = p2 * rT2 * (1.0f - w.a1);
    w.a3 = (1.0f - w.a2) * (1.0f - w.a1) * p3 * m;
    w.extremity = ((1.0f - w.a1) - w.a2 - w.a3) * m + w.a3;
    w.end = ((1.0f - w.a1) - w.a2 - w.extremity) * rT2 + w.a2;
    w.middle = ((1.0f - w.a1) - w.end - w.extremity) * rT1 + w.a1;
    return w;
}

void VLMLimbChainCore(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                      const VLMRotationRecord* rotations)
{
    const VLMNodeRecord* r = limb->slotRecords;
    const VLMLimbPassWeights weights = VLMLimbChainPassWeights(limb, goal);

    VLMSubtreeGlobalToLocal(&r[VLM_SLOT_UPPER], work, r);
    if (goal->lanes[0].y > 0.0f) {
        VLMLimbOrientJoint(limb, work, goal, 0, rotations);
        if (goal->lanes[1].y > 0.0f)
            VLMChainLocalToGlobal(&r[VLM_SLOT_MIDDLE], VLM_SLOT_UPPER, work, r);
        else
            Refresh(limb, work, VLM_SLOT_UPPER);
    }
    if (goal->lanes[1].y > 0.0f) {
        VLMLimbOrientJoint(limb, work, goal, 1, rotations);
        Refresh(limb, work, VLM_SLOT_MIDDLE);
    }
    if (goal->lanes[2].y > 0.0f && goal->realisticKnee > 0.0f)
        VLMLimbRealisticKnee(limb, work, goal, rotations);
    VLMLimbBendState bend;
    VLMLimbPrepareBend(limb, work, goal, rotations, &bend);

    // Each pass from the same start pose; their local-rotation deltas blended.
    const struct {
        float weight;
        Pass run;
    } passes[3] = {{weights.middle, &VLMLimbPassMiddle},
                   {weights.end, &VLMLimbPassEnd},
                   {weights.extremity, &VLMLimbPassExtremity}};
    VLMVector4 sum[VLM_LIMB_SLOT_COUNT];
    for (VLMVector4& d : sum)
        d = VLMVector4Zero();
    bool ran = false;
    for (const auto& pass : passes) {
        if (!(pass.weight > kPassThreshold))
            continue;
        VLMLimbChainJoints scratch;
        std::memcpy(static_cast<void*>(scratch.rows), work, sizeof scratch.rows);
        pass.run(limb, scratch.rows, goal, rotations);
        for (int j = 0; j < VLM_LIMB_SLOT_COUNT; ++j) {
            const VLMVector4 d = MulConj(scratch.rows[j].localQ, work[j].localQ);
            const float s = VLMDotFloat(d, sum[j]) >= 0.0f ? 1.0f : -1.0f;
            sum[j] = sum[j] + d * s * pass.weight;
        }
        ran = true;
    }
    if (ran) {
        for (int j = 0; j < VLM_LIMB_SLOT_COUNT; ++j)
            work[j].localQ = Mul(VLMQuatNormalize(sum[j]), work[j].localQ);
        Refresh(limb, work, VLM_SLOT_UPPER);
    } else if (goal->lanes[2].y > 0.0f) {
        VLMLimbOrientJoint(limb, work, goal, 2, nullptr);
        Refresh(limb, work, VLM_SLOT_END);
    }
    if (limb->tipMask[0] != 0)
        VLMLimbOrientJoint(limb, work, goal, 3, nullptr);
    VLMLimbFinishRolls(limb, work, goal, rotations, &bend);
}

// --- Passes ----------------------------------------------------------------------------------
// Each works on its own copy of the goal; every step that turns a joint is
// followed by a refresh of the globals below that joint that the next steps
// read (the tip only where it is read). What a pass gives is its local
// rotations: the globals after its last step are not refreshed.

namespace {

void OrientEndIfReached(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                        const VLMRotationRecord* limits)
{
    if (!(goal->lanes[2].y > 0.0f))
        return;
    VLMLimbOrientJoint(limb, work, goal, 2, limits);
    Refresh(limb, work, VLM_SLOT_END);
}

// The end aimed at the extremity goal, a pass's last step; a limb without a
// tip has nothing to aim.
void AimEndAtExtremity(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal)
{
    if (limb->tipMask[0] == 0)
        return;
    VLMLimbAimJoint(limb, work, goal, VLM_SLOT_END, 3, nullptr);
}

enum Tip { kTipRead, kTipNotRead };

void AimUpper(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal, int slot,
              const VLMRotationRecord* rotations, Tip tip)
{
    VLMLimbAimJoint(limb, work, goal, VLM_SLOT_UPPER, slot, rotations);
    if (tip == kTipRead)
        Refresh(limb, work, VLM_SLOT_UPPER);
    else
        RefreshToEnd(limb, work, VLM_SLOT_UPPER);
}

// Nothing after a bend reads the tip before the upper joint's next full refresh.
void Bend(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal, const VLMRotationRecord* rotations)
{
    VLMLimbBendMiddle(limb, work, goal, rotations);
    RefreshToEnd(limb, work, VLM_SLOT_MIDDLE);
}

}  // namespace

void VLMLimbPassMiddle(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* shared,
                       const VLMRotationRecord* rotations)
{
    VLMLimbChainGoal goal = *shared;
    AimUpper(limb, work, &goal, 1, rotations, kTipRead);
    VLMLimbSolveMiddleGoal(limb, work, &goal);
    goal.lanes[2].x = 1.0f;
    Bend(limb, work, &goal, rotations);
    VLMLimbAlignBendPlaneEnd(limb, work, &goal, rotations);
    Refresh(limb, work, VLM_SLOT_UPPER);
    OrientEndIfReached(limb, work, &goal, nullptr);
    AimEndAtExtremity(limb, work, &goal);
}

void VLMLimbPassEnd(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* shared,
                    const VLMRotationRecord* rotations)
{
    VLMLimbChainGoal goal = *shared;
    const float reach = VLMLimbMaxReach(limb, work, goal.maxExtensionAngle, rotations);
    VLMLimbExtensionLimit(limb, work, &goal, reach);
    AimUpper(limb, work, &goal, 2, rotations, kTipNotRead);
    Bend(limb, work, &goal, rotations);
    AimUpper(limb, work, &goal, 2, rotations, kTipNotRead);
    VLMLimbAlignBendPlane(limb, work, shared, rotations);
    Refresh(limb, work, VLM_SLOT_UPPER);
    OrientEndIfReached(limb, work, &goal, nullptr);
    AimEndAtExtremity(limb, work, &goal);
}

void VLMLimbPassExtremity(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* shared,
                          const VLMRotationRecord* rotations)
{
    VLMLimbChainGoal goal = *shared;
    const float reach = VLMLimbMaxReach(limb, work, goal.maxExtensionAngle, rotations);
    OrientEndIfReached(limb, work, &goal, rotations);
    AimUpper(limb, work, &goal, 3, rotations, kTipRead);
    VLMLimbPlaceEndForExtremity(limb, work, &goal, reach);
    goal.lanes[2].x = 1.0f;
    Bend(limb, work, &goal, rotations);
    AimUpper(limb, work, &goal, 2, rotations, kTipNotRead);
    VLMLimbAlignBendPlane(limb, work, shared, rotations);
    Refresh(limb, work, VLM_SLOT_UPPER);
    OrientEndIfReached(limb, work, &goal, nullptr);
    AimEndAtExtremity(limb, work, &goal);
}

// --- Steps ----------------------------------------------------------------------------------

VLMVector4 VLMLimbWorldBendAxis(const VLMLimb* limb, const VLMStateRow* work)
{
    return Rot(UpperSideRotation(limb, work), limb->axis);
}

void VLMLimbOrientJoint(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal, int slot,
                        const VLMRotationRecord* limits)
{
    const int j = limb->jointSlots[slot];
    work[j].globalQ = VLMQuatReachToward(work[j].globalQ, goal->slots[slot].q, goal->lanes[slot].y);
    Commit(limb, work, j, limits);
}

void VLMLimbAimJoint(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal, int joint, int slot,
                     const VLMRotationRecord* limits)
{
    const VLMVector4& e = Position(work, limb->jointSlots[slot]);
    const VLMVector4& o = Position(work, joint);
    const VLMVector4 u = e - o;
    const VLMVector4 v = Toward(e, goal->slots[slot].t, goal->lanes[slot].x) - o;
    work[joint].globalQ = Mul(VLMShortestArc(u, v), work[joint].globalQ);
    Commit(limb, work, joint, limits);
}

void VLMLimbBendMiddle(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                       const VLMRotationRecord* rotations)
{
    const VLMVector4 n = VLMLimbWorldBendAxis(limb, work);
    const VLMVector4& upper = Position(work, VLM_SLOT_UPPER);
    VLMVector4 a, b;
    BendPlaneSegments(work, n, a, b);
    const float l1 = Length(a), l2 = Length(b);
    if (!(l1 * l2 > 0.0f))  // coincident joints: no triangle to bend
        return;
    const float full = l1 + l2;
    const float c = VLMMinFloat(Length(a + b), full);
    const float h = Dot3(Position(work, VLM_SLOT_MIDDLE) - upper, n) +
                    Dot3(Position(work, VLM_SLOT_END) - Position(work, VLM_SLOT_MIDDLE), n);
    const VLMVector4 toGoal = goal->slots[2].t - upper;
    const float g2 = Dot3(toGoal, toGoal), h2 = h * h;
    const float wanted = h2 < g2 ? std::sqrt(g2 - h2) : 0.0f;  // a goal inside the axial offset folds the limb
    const float d = VLMMinFloat(c + goal->lanes[2].x * (wanted - c), full);
    const float turn = InteriorAngle(l1, l2, c) - InteriorAngle(l1, l2, d);
    work[VLM_SLOT_MIDDLE].globalQ = Mul(VLMQuatAboutAxis(n, turn), work[VLM_SLOT_MIDDLE].globalQ);
    Commit(limb, work, VLM_SLOT_MIDDLE, rotations);
}

void VLMLimbRealisticKnee(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                          const VLMRotationRecord* rotations)
{
    const VLMVector4 qe = work[VLM_SLOT_END].globalQ;
    const VLMVector4 halfway = VLMQuatNormalize(qe + VLMQuatToHemisphere(qe, goal->slots[2].q));
    const VLMVector4 d = VLMVector4ScaleXYZ(VLMQuatConjugateMul(qe, halfway), VLMVector4Splat(goal->realisticKnee));
    const VLMVector4 before = Position(work, VLM_SLOT_END);
    work[VLM_SLOT_UPPER].globalQ = Mul(d, work[VLM_SLOT_UPPER].globalQ);
    VLMNodeGlobalToLocalRotation(&limb->slotRecords[VLM_SLOT_UPPER], work, limb->slotRecords);
    Refresh(limb, work, VLM_SLOT_UPPER);

    const VLMVector4& upper = Position(work, VLM_SLOT_UPPER);
    const VLMVector4 back = VLMShortestArc(Position(work, VLM_SLOT_END) - upper, before - upper);
    work[VLM_SLOT_UPPER].globalQ = Mul(back, work[VLM_SLOT_UPPER].globalQ);
    VLMNodeGlobalToLocalRotation(&limb->slotRecords[VLM_SLOT_UPPER], work, limb->slotRecords);
    Clamp(limb, work, VLM_SLOT_UPPER, rotations);
    Refresh(limb, work, VLM_SLOT_UPPER);
}

void VLMLimbPrepareBend(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                        const VLMRotationRecord* rotations, VLMLimbBendState* state)
{
    const VLMNodeRecord* r = limb->slotRecords;
    const bool killPitch = goal->killPitch != 0;
    VLMVector4 a, b;
    const VLMVector4 n = VLMLimbWorldBendAxis(limb, work);
    BendPlaneSegments(work, n, a, b);
    if (!killPitch && Dot3(VLMVector4Cross(a, b), n) < 0.0f) {  // bent the wrong way: straightened
        work[VLM_SLOT_MIDDLE].globalQ = Mul(VLMShortestArc(b, a), work[VLM_SLOT_MIDDLE].globalQ);
        VLMNodeGlobalToLocalRotation(&r[VLM_SLOT_MIDDLE], work, r);
        Clamp(limb, work, VLM_SLOT_MIDDLE, rotations);
        Refresh(limb, work, VLM_SLOT_MIDDLE);
    }

    VLMVector4 e = VLMConstant::IdentityQuat;
    const bool hasUpperRoll = limb->rollSlots[0] >= 0;
    if (hasUpperRoll || LimitedPart(&r[VLM_SLOT_MIDDLE], rotations) == nullptr || killPitch) {
        VLMLimbExtensionGeometry(limb, e, work);
        work[VLM_SLOT_UPPER].globalQ = Mul(CarryToWorld(limb, work, e), work[VLM_SLOT_UPPER].globalQ);
        Commit(limb, work, VLM_SLOT_UPPER, rotations);
        if (hasUpperRoll)
            VLMNodeLocalToGlobal(&r[VLM_SLOT_UPPER_ROLL], work, r);
        VLMNodeGlobalToLocal(&r[VLM_SLOT_MIDDLE], work, r);
        Refresh(limb, work, VLM_SLOT_MIDDLE);
    }
    state->extension = e;
    state->twist = VLMLimbBendTwist(limb, work);
    VLMLimbBendFrame(limb, state->frame, work);
}

void VLMLimbFinishRolls(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                        const VLMRotationRecord* rotations, const VLMLimbBendState* state)
{
    const VLMNodeRecord* r = limb->slotRecords;
    const VLMVector4 undo = goal->killPitch != 0 || VLMIsIdentityQuat(state->extension)
                                ? VLMConstant::IdentityQuat
                                : VLMVector4NegateXYZ(state->extension);
    VLMVector4 f1;
    VLMLimbBendFrame(limb, f1, work);
    const VLMVector4 f0 = VLMLimbBendFrameAbout(work, state->twist);  // the kept angle about today's axis

    work[VLM_SLOT_UPPER].globalQ = Mul(CarryToWorld(limb, work, undo), work[VLM_SLOT_UPPER].globalQ);
    Commit(limb, work, VLM_SLOT_UPPER, rotations);
    if (limb->rollSlots[0] >= 0)
        VLMNodeLocalToGlobal(&r[VLM_SLOT_UPPER_ROLL], work, r);

    work[VLM_SLOT_MIDDLE].globalQ = Mul(MulConj(f1, f0), work[VLM_SLOT_MIDDLE].globalQ);
    Commit(limb, work, VLM_SLOT_MIDDLE, rotations);
    if (limb->rollSlots[1] >= 0)
        VLMNodeLocalToGlobal(&r[VLM_SLOT_MIDDLE_ROLL], work, r);

    VLMNodeGlobalToLocalRotation(&r[VLM_SLOT_END], work, r);
    Refresh(limb, work, VLM_SLOT_UPPER);
}

VLMVector4 VLMLimbBendTwist(const VLMLimb* limb, const VLMStateRow* work)
{
    const VLMVector4& q = work[VLM_SLOT_END].localQ;
    const float p = Dot3(q, limb->slotRecords[VLM_SLOT_MIDDLE].rotation.postAxes[0]);
    const float n = std::sqrt(p * p + q.w * q.w);
    if (!(n > 0.0f))
        return VLMConstant::IdentityQuat;
    const float s = p / n;
    return VLMVector4{s, s, s, q.w / n};
}

VLMVector4 VLMLimbBendFrameAbout(const VLMStateRow* work, const VLMVector4& twist)
{
    const VLMVector4 axis = VLMSafeDirection(Position(work, VLM_SLOT_END) - Position(work, VLM_SLOT_MIDDLE));
    if (!(Dot3(axis, axis) > 0.0f))
        return VLMConstant::IdentityQuat;
    return VLMQuatNormalize(VLMVector4MergeW(axis * twist, twist));
}

void VLMLimbBendFrame(const VLMLimb* limb, VLMVector4& out, const VLMStateRow* work)
{
    out = VLMLimbBendFrameAbout(work, VLMLimbBendTwist(limb, work));
}

void VLMLimbExtensionGeometry(const VLMLimb* limb, VLMVector4& out, const VLMStateRow* work)
{
    out = VLMConstant::IdentityQuat;
    const VLMVector4 u = Position(work, VLM_SLOT_MIDDLE) - Position(work, VLM_SLOT_UPPER);
    const VLMVector4 l = Position(work, VLM_SLOT_END) - Position(work, VLM_SLOT_MIDDLE);
    const VLMVector4& q = UpperSideRotation(limb, work);
    const VLMVector4 axis = Rot(q, limb->axis);
    // The bend plane's normal, and the normal the axis asks for: its part
    // across u (a limb bent the right way has the two pointing the same way).
    const VLMVector4 plane = VLMVector4Cross(u, l);
    const VLMVector4 asked = VLMVector4Cross(u, VLMVector4Cross(axis, u));
    const float c = Dot3(VLMVector4Normalize3(u), VLMVector4Normalize3(l));
    const float h = VLMVector4SmoothStep(VLMVector4Splat(kCos30), VLMVector4Splat(kCos15), VLMVector4Splat(c)).x;
    if (!(h < 1.0f))
        return;
    // The upper joint turns while the middle keeps its place: it is the axis
    // that moves, so the arc takes the asked normal onto the plane's.
    const VLMVector4 arc = VLMShortestArc(asked, plane);
    if (VLMIsIdentityQuat(arc))
        return;
    out = Mul(VLMQuatConjugateMul(q, VLMQuatScaleVectorPart(arc, 1.0f - h)), q);
}

void VLMLimbAlignBendPlane(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                           const VLMRotationRecord* rotations)
{
    const VLMVector4& upper = Position(work, VLM_SLOT_UPPER);
    const VLMVector4& middle = Position(work, VLM_SLOT_MIDDLE);
    const VLMVector4 u = middle - upper;
    const VLMVector4 w = Position(work, VLM_SLOT_END) - upper;
    // The middle goal is read against the goals' own line, upper goal to end
    // goal (its part across that line: where the source's knee or elbow
    // points), and carried onto this limb's upper-to-end line, rather than
    // taken as it stands (g = u + middle goal - middle). Measured from the
    // upper joint itself it stops saying which way the knee points once
    // the body pull has moved the hips off their goal: with the source's legs
    // longer than these, the knee goal then crosses the line from the hip to
    // the ankle while the source's leg straightens, g x w swings through a
    // half turn, and the thigh spins with it. Where the upper joint stands on
    // its goal and the end on the goals' line, this is the middle goal itself.
    // `goal` is the pass's start goal: the end goal as given, before the pass
    // limits or re-places it.
    //
    // Carried whole, though, the plane is the source's and not the goal's:
    // wherever the hips stand off their goal, or the end off the goals'
    // line, the knee misses its goal by what the two planes part it from it
    // (on a walk onto a preset whose legs are not the source's, a tenth of a
    // centimetre on average and a third at worst beyond the middle goal taken
    // as it stands). So the carried point moves on toward the middle goal
    // itself, by its part across w, held softly within kCarryShare of the
    // carried point's own distance from w: where the two agree but for a
    // small part the plane is the goal's, and however far they part, the
    // point never comes within half its distance of w, so it cannot cross
    // it while the carried one stays out.
    const VLMVector4 knee = goal->slots[1].t - goal->slots[0].t;
    const VLMVector4 line = VLMSafeDirection(goal->slots[2].t - goal->slots[0].t);
    const float along = Dot3(knee, line);
    const VLMVector4 way = VLMSafeDirection(w);
    const VLMVector4 carried = upper + (knee - line * along) + way * along;
    const VLMVector4 toGoal = VLMSoftShorten(VLMVector4RejectFrom(way, goal->slots[1].t - carried),
                                             kCarryShare * Length(VLMVector4RejectFrom(way, carried - upper)));
    const VLMVector4 g = u + (carried + toGoal - middle) * goal->lanes[1].x;
    // The plane turns toward the middle effector however straight the limb
    // is. Fading the turn out as the limb straightens (fully from 20 degrees
    // of bend, not at all within 2) swings the whole limb about w by the
    // full angle between the two planes within those few degrees of bend:
    // tens of degrees between close poses where the goals lie beyond reach.
    // Near straight, where u x w vanishes, the bend axis taken across w
    // steadies the plane (it lies along u x w for a limb bent the right way,
    // which the bend's preparation sees to), and it damps the turn where g
    // also nears w and the wanted plane would swing with every small move.
    const VLMVector4 n = VLMLimbWorldBendAxis(limb, work);
    const VLMVector4 across = VLMSafeDirection(n - w * (Dot3(n, w) / Dot3(w, w)));
    AlignPlane(limb, work, rotations, u, w, g, 0.0f, 0.0f, across);
}

void VLMLimbAlignBendPlaneEnd(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                              const VLMRotationRecord* rotations)
{
    const VLMVector4& middle = Position(work, VLM_SLOT_MIDDLE);
    const VLMVector4& end = Position(work, VLM_SLOT_END);
    const VLMVector4 u = end - middle;
    const VLMVector4 w = middle - Position(work, VLM_SLOT_UPPER);
    const VLMVector4 g = u + (goal->slots[2].t - end) * goal->lanes[2].x;
    AlignPlane(limb, work, rotations, u, w, g, kCos20, kCos2);
}

float VLMLimbMaxReach(const VLMLimb* limb, const VLMStateRow* work, float angleDegrees,
                      const VLMRotationRecord* rotations)
{
    VLMVector4 e;
    VLMLimbExtensionGeometry(limb, e, work);
    const VLMVector4 n = Rot(UpperSideRotation(limb, work), Rot(e, limb->axis));
    VLMVector4 a, b;
    BendPlaneSegments(work, n, a, b);
    const float current = InteriorAngle(Length(a), Length(b), Length(a + b));
    const float opened = VLMClampFloat(angleDegrees, 0.0f, 180.0f) * VLMConstant::FloatDegToRad;

    const VLMNodeRecord* middleRecord = &limb->slotRecords[VLM_SLOT_MIDDLE];
    const VLMVector4& q = work[VLM_SLOT_MIDDLE].globalQ;
    VLMVector4 turned = Mul(VLMQuatAboutAxis(n, current - opened), q);
    if (const VLMRotationPart* part = LimitedPart(middleRecord, rotations)) {
        const VLMVector4& parent = work[middleRecord->parentIndex].globalQ;
        VLMVector4 angles, clamped, local;
        VLMNodeEulerFromRotation(part, angles, VLMQuatConjugateMul(parent, turned));
        VLMClampToRotationLimits(part, angles, clamped);
        VLMNodeRotationFromEuler(part, local, clamped);
        turned = Mul(parent, local);
    }
    const VLMVector4& middle = Position(work, VLM_SLOT_MIDDLE);
    const VLMVector4 end = middle + Rot(MulConj(turned, q), Position(work, VLM_SLOT_END) - middle);
    return Length(end - Position(work, VLM_SLOT_UPPER));
}

void VLMLimbExtensionLimit(const VLMLimb* limb, const VLMStateRow* work, VLMLimbChainGoal* goal, float reach)
{
    (void)limb;
    const VLMVector4& upper = Position(work, VLM_SLOT_UPPER);
    const VLMVector4 toGoal = goal->slots[2].t - upper;
    const float d = Length(toGoal);
    if (!(reach > 0.0f) || !(d > 0.0f))
        return;
    // Opening angles in degrees, 90 - acos(ratio): 0 folded, 90 at the reach.
    const auto opening = [reach](float x) {
        const float ratio = VLMClamp01Float(x / reach);
        return 90.0f - VLMFastAcos(VLMVector4Splat(ratio)).x * kDegPerRad;
    };
    const float current = opening(Length(Position(work, VLM_SLOT_END) - upper));
    const float requested = opening(d);
    const float k = goal->lanes[1].w * goal->resistExtension;
    const float rootK = std::sqrt(k);
    float w = 0.0f;
    if (rootK >= kPassThreshold) {
        const float t = VLMClamp01Float((current + requested) / 180.0f);
        const float p = (goal->rollFlag == 1 ? 0.0f : 15.0f) + 30.0f * (1.0f - rootK);
        w = VLMPow(VLMVector4Splat(t), VLMVector4Splat(p)).x;
    }
    const float angle = requested + (current - requested) * w;
    if (angle == requested && d <= reach)  // nothing limited: the goal stays as it was
        return;
    VLMVector4 sine, cosine;
    VLMFastSinCos(VLMVector4Splat(angle * VLMConstant::FloatDegToRad), sine, cosine);
    const float limited = VLMMinFloat(reach * sine.x, reach);
    goal->slots[2].t = upper + toGoal * (limited / d);
}

void VLMLimbSolveMiddleGoal(const VLMLimb* limb, const VLMStateRow* work, VLMLimbChainGoal* goal)
{
    const VLMLimbPassWeights weights = VLMLimbChainPassWeights(limb, goal);
    const float w3 = ((1.0f - weights.a2) - weights.a3) * weights.m + weights.a3;
    const float w2 = 1.0f - w3;
    const VLMVector4& middle = Position(work, VLM_SLOT_MIDDLE);
    const VLMVector4& end = Position(work, VLM_SLOT_END);
    const float l2 = Length(end - middle);

    // The lower segment pointed at the end goal, moved by its reach.
    const VLMVector4 toward = VLMSafeDirection(Toward(end, goal->slots[2].t, goal->lanes[2].x) - middle);
    const VLMVector4 fromEnd = Dot3(toward, toward) > 0.0f ? middle + toward * l2 : end;

    // The end placed so that the extremity can sit on its goal: the triangle
    // middle, end, extremity goal with sides l2, l3 and D.
    VLMVector4 fromExtremity = fromEnd;
    if (limb->tipMask[0] != 0) {
        const VLMVector4 toTip = goal->slots[3].t - middle;
        const float l3 = Length(Position(work, VLM_SLOT_TIP) - end);
        const float distance = Length(toTip);
        const float D = VLMMinFloat(distance, l2 + l3);
        if (D > 0.0f && l2 > 0.0f) {
            const VLMVector4 u = toTip * (1.0f / distance);
            const float c = VLMClampFloat(((l2 * l2 + D * D) - l3 * l3) / ((2.0f * l2) * D), -1.0f, 1.0f);
            const float s = std::sqrt(1.0f - c * c);
            const VLMVector4 across = end - middle;
            VLMVector4 v = VLMSafeDirection(across - u * Dot3(across, u));
            if (!(Dot3(v, v) > 0.0f))
                v = VLMSafeDirection(VLMVector4Cross(VLMLimbWorldBendAxis(limb, work), u));
            fromExtremity = middle + (u * c + v * s) * l2;
        }
    }
    goal->slots[2].t = fromEnd * w2 + fromExtremity * w3;
}

void VLMLimbPlaceEndForExtremity(const VLMLimb* limb, const VLMStateRow* work, VLMLimbChainGoal* goal, float reach)
{
    const VLMVector4& end = Position(work, VLM_SLOT_END);
    const VLMVector4& tipGoal = goal->slots[3].t;
    const VLMVector4 tip = Position(work, VLM_SLOT_TIP) - end;
    const float l3 = Length(tip);
    const VLMVector4 direction =
        VLMSafeDirection(VLMSafeDirection(tip) * 0.6f + VLMSafeDirection(tipGoal - end) * 0.4f);
    VLMLimbChainGoal placed = *goal;
    placed.slots[2].t = tipGoal - direction * l3;
    VLMLimbExtensionLimit(limb, work, &placed, reach);
    const VLMVector4& e = placed.slots[2].t;
    goal->slots[2].t = Toward(e, goal->slots[2].t, goal->lanes[2].x);
}

void VLMLimbStretch(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                    const VLMPropertySetState* properties)
{
    const float start = VLMPropertyValueAt(properties, vlm_entry::StretchStartArmsAndLegs);
    const float stop = VLMPropertyValueAt(properties, vlm_entry::StretchStopArmsAndLegs);
    const float scale = VLMPropertyValueAt(properties, vlm_entry::SnSScaleArmsAndLegs);
    if (!(start < stop))
        return;
    const VLMLimbPassWeights shares = VLMLimbChainPassWeights(limb, goal);  // m: extremity reach AND tip mask
    const float rT2 = goal->lanes[2].x, rT3 = shares.m;
    const float a2 = goal->lanes[2].z * rT2;
    const float a3 = goal->lanes[3].z * (1.0f - a2) * rT3;
    const float w3 = ((1.0f - a2) - a3) * rT3 + a3;
    const float w2 = ((1.0f - a2) - w3) * rT2 + a2;

    const VLMNodeRecord* r = limb->slotRecords;
    VLMSubtreeGlobalToLocal(&r[VLM_SLOT_UPPER], work, r);
    const VLMVector4& upper = Position(work, VLM_SLOT_UPPER);
    const float l1 = Length(Position(work, VLM_SLOT_MIDDLE) - upper);
    const float l2 = Length(Position(work, VLM_SLOT_END) - Position(work, VLM_SLOT_MIDDLE));

    // Bones from `first` on lengthened by s, scales of the joints before them grown.
    const auto stretch = [&](float weight, float ratio, int last) {
        if (!(ratio > start))
            return;
        const float s = goal->stretchReach * weight * (ratio - start) / (stop - start) * (stop - 1.0f) + 1.0f;
        const VLMVector4 grow = VLMVector4Splat((s - 1.0f) * scale + 1.0f);
        for (int j = VLM_SLOT_UPPER_ROLL; j <= last; ++j)
            work[j].localT = work[j].localT * s;
        for (int j = VLM_SLOT_UPPER; j < last; ++j)
            work[j].globalS = VLMVector4ScaleXYZ(work[j].globalS, grow);
    };
    const float limbLength = l1 + l2;
    if (w2 > kPassThreshold && limbLength > 0.0f) {
        const VLMVector4& end = Position(work, VLM_SLOT_END);
        stretch(w2, Length(Toward(end, goal->slots[2].t, w2) - upper) / limbLength, VLM_SLOT_END);
    }
    const float l3 = Length(Position(work, VLM_SLOT_TIP) - Position(work, VLM_SLOT_END));
    if (w3 > kPassThreshold && limbLength + l3 > 0.0f) {
        const VLMVector4& tip = Position(work, VLM_SLOT_TIP);
        stretch(w3, Length(Toward(tip, goal->slots[3].t, w3) - upper) / (limbLength + l3), VLM_SLOT_TIP);
    }
    Refresh(limb, work, VLM_SLOT_UPPER);
}

void VLMLimbFlipBend(const VLMLimb* limb, VLMStateRow* work, const VLMRotationRecord* rotations)
{
    const VLMNodeRecord* r = limb->slotRecords;
    const VLMVector4 n = VLMLimbWorldBendAxis(limb, work);
    VLMVector4 a, b;
    BendPlaneSegments(work, n, a, b);
    // Twice the arc from b to a: the lower segment mirrored across the upper one.
    const VLMVector4 half = VLMShortestArc(b, a);
    const VLMVector4 before = Position(work, VLM_SLOT_END);
    work[VLM_SLOT_MIDDLE].globalQ = Mul(Mul(half, half), work[VLM_SLOT_MIDDLE].globalQ);
    VLMNodeGlobalToLocalRotation(&r[VLM_SLOT_MIDDLE], work, r);
    Clamp(limb, work, VLM_SLOT_MIDDLE, rotations);
    Refresh(limb, work, VLM_SLOT_MIDDLE);

    // The upper joint turned about the axis until the end is back.
    const VLMVector4& upper = Position(work, VLM_SLOT_UPPER);
    const VLMVector4 now = VLMVector4RejectFrom(n, Position(work, VLM_SLOT_END) - upper);
    const VLMVector4 then = VLMVector4RejectFrom(n, before - upper);
    work[VLM_SLOT_UPPER].globalQ = Mul(VLMShortestArc(now, then), work[VLM_SLOT_UPPER].globalQ);
    VLMNodeGlobalToLocalRotation(&r[VLM_SLOT_UPPER], work, r);
    Clamp(limb, work, VLM_SLOT_UPPER, rotations);
    Refresh(limb, work, VLM_SLOT_UPPER);
}
