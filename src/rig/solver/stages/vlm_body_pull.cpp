#include "rig/solver/stages/vlm_body_pull.h"

#include "rig/solver/stages/vlm_collar.h"
#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_neck.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_spine.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

namespace {

const VLMVector4& Position(const VLMCharacter* c, const VLMStateRow* rows, int id)
{
    return VLMNodeRow(c, rows, id)->globalT;
}

// Per limb 0..3: hip or shoulder effector, root node, compression factor.
constexpr struct {
    int holder, root, compression;
} kLimbs[4] = {{VLM_LEFT_HIP_EFFECTOR, VLM_NODE_LEFT_UP_LEG, vlm_entry::CtrlResistCompressionFactorLeftKnee},
               {VLM_RIGHT_HIP_EFFECTOR, VLM_NODE_RIGHT_UP_LEG, vlm_entry::CtrlResistCompressionFactorRightKnee},
               {VLM_LEFT_SHOULDER_EFFECTOR, VLM_NODE_LEFT_ARM, vlm_entry::CtrlResistCompressionFactorLeftElbow},
               {VLM_RIGHT_SHOULDER_EFFECTOR, VLM_NODE_RIGHT_ARM, vlm_entry::CtrlResistCompressionFactorRightElbow}};

// Sums turns as the iterations' small corrections: their vector parts added
// to the identity, each turn first taken in the identity's hemisphere.
struct TurnSum {
    VLMVector4 sum = VLMConstant::IdentityQuat;
    void add(const VLMVector4& centre, const VLMVector4& root, const VLMVector4& pull, float factor)
    {
        const VLMVector4 u = root - centre;
        VLMVector4 arc = VLMQuatScaleVectorPart(VLMShortestArc(u, u + pull), factor);
        VLMVector4 d;
        VLMDot4(d, arc, VLMConstant::IdentityQuat);
        if (d.x < 0.0f)
            arc = VLMVector4Negate(arc);
        sum = sum + (arc - VLMConstant::IdentityQuat);
    }
    VLMVector4 turn() const { return VLMDotFloat(sum, sum) > 0.0f ? VLMQuatNormalize(sum) : VLMConstant::IdentityQuat; }
};

// d with its part along -u dropped; a d that does not point against u comes
// back as it is.
VLMVector4 WithoutInward(VLMVector4 d, const VLMVector4& u)
{
    const float inward = VLMVector4Dot3(d, u).x;
    if (inward < 0.0f)
        d = d - u * (inward / VLMVector4Dot3(u, u).x);
    return d;
}

// The shortest arc from u toward u + pull with any part of the pull toward
// the centre dropped, its vector part scaled by `factor`. A pull through the
// centre says nothing about which way to turn: this arc stays under a quarter
// turn and fades to none as a pull swings through the centre, where the arc to
// the full pulled point nears a half turn about an axis that spins as the pull
// moves.
VLMVector4 SidewaysArc(const VLMVector4& u, const VLMVector4& pull, float factor)
{
    const VLMVector4 d = WithoutInward(VLMVector4ClearW(pull), u);
    return VLMQuatScaleVectorPart(VLMShortestArc(u, u + d), factor);
}

// The turn q (either sign) no further than the half-angle tangent `bound`.
VLMVector4 Lessen(VLMVector4 q, float bound)
{
    if (q.w < 0.0f)
        q = VLMVector4Negate(q);
    const float v = VLMLengthFloat(q);
    if (!(v > bound * q.w))
        return q;
    return VLMQuatNormalize(VLMVector4MergeW(VLMVector4ClearW(q) * (bound / v), VLMConstant::One));
}

// The pulls of one iteration on the chest end: the weighted pulls' sum, no
// longer than the longest of them, and the sum of their sideways arcs, no
// further than the largest of them. Two pulls asking for the same move ask for
// it once; a plain sum moves twice as far, and added up over the iterations
// overshoots and swings from side to side.
struct ChestPulls {
    VLMVector4 shift = VLMVector4Zero(), sum = VLMConstant::IdentityQuat;
    float longest = 0.0f, largest = 0.0f;
    // The move a pull asks of the chest end, `move` of its length.
    static VLMVector4 Step(const VLMVector4& pull, float move) { return VLMVector4ClearW(pull) * move; }
    void add(const VLMVector4& at, const VLMVector4& pull, float move, float turn)
    {
        const VLMVector4 step = Step(pull, move);
        longest = VLMMaxFloat(longest, VLMLengthFloat(step));
        shift = shift + step;
        const VLMVector4 arc = SidewaysArc(at, pull, turn);
        largest = VLMMaxFloat(largest, VLMLengthFloat(arc) / arc.w);
        sum = sum + (arc - VLMConstant::IdentityQuat);
    }
    VLMVector4 moved() const { return VLMShortenTo(shift, longest); }
    VLMVector4 turned() const { return Lessen(VLMQuatNormalize(sum), largest); }
};

VLMVector4 Pack(float a, float b, float c, float d) { return VLMVector4{a, b, c, d}; }

}  // namespace

VLMVector4 VLMPoweredStiffness(const VLMVector4& k, float e) { return VLMPow(k, VLMVector4Splat(e)); }

void VLMBlendSpineGoals(VLMSpineGoal* a, const VLMSpineGoal* b, const VLMVector4* lanes)
{
    for (int i = 0; i < 3; ++i) {
        a->slots[i].t = VLMVector4Lerp(a->slots[i].t, b->slots[i].t, VLMVector4SplatX(lanes[i]));
        a->slots[i].q = VLMQuatNlerp(a->slots[i].q, b->slots[i].q, VLMVector4SplatY(lanes[i]));
    }
}

void VLMMeasureNeck(const VLMCharacter* character, VLMVector4& headDistance, VLMVector4& neckLength,
                    VLMVector4& headPull, VLMVector4& headStiffness, const VLMStateRow* rows,
                    const VLMEffectorSetLayout* set)
{
    const VLMVector4& lanes = set->blend[VLM_HEAD_EFFECTOR];
    headPull = VLMVector4Splat(lanes.z * lanes.x);
    headStiffness = VLMVector4SplatW(lanes);
    headDistance = neckLength = VLMVector4Zero();
    if (!Has(character, VLM_NODE_NECK) || !Has(character, VLM_NODE_HEAD))
        return;
    headDistance =
        VLMVector4Length3(Position(character, rows, VLM_NODE_HEAD) - Position(character, rows, VLM_NODE_NECK));
    // The neck's reach is the chain from Neck to Head, the length the neck
    // and head stage bends and stretches: the bone into Neck lies below the
    // point the head is measured from, and the last bone ends at the head.
    VLMVector4 points[VLM_NECK_CHAIN_MAX];
    neckLength = VLMVector4Splat(VLMPointChainLength(points, VLMGatherNeckChainPositions(character, points, rows)));
}

void VLMHeadPullTarget(const VLMCharacter* character, VLMVector4& length, VLMVector4& direction,
                       const VLMStateRow* rows, const VLMEffectorSetLayout* set)
{
    const int from = Has(character, VLM_NODE_NECK) ? VLM_NODE_NECK : VLM_NODE_HEAD;
    const VLMVector4 v = VLMVector4ClearW(set->effectors[VLM_HEAD_EFFECTOR].t - Position(character, rows, from));
    length = VLMVector4Length3(v);
    direction = length.x > 0.0f ? VLMVector4Div(v, length) : v;
}

void VLMCorrectHips(const VLMCharacter* character, VLMStateRow* rows, const VLMSpineGoal* a, const VLMSpineGoal* b,
                    const VLMVector4& weights, const VLMVector4& offset)
{
    const float w0 = weights.x, w1 = weights.y, w2 = weights.z, w3 = weights.w;
    if (!(w0 > 0.0f || w1 > 0.0f || w2 > 0.0f || w3 > 0.0f))
        return;
    VLMVector4 h = b->slots[0].t, q = b->slots[0].q, c = b->slots[2].t;
    if (w2 > 0.0f || w3 > 0.0f) {
        const VLMVector4 dh = VLMQuatNormalize(VLMQuatMultiply(a->slots[0].q, VLMVector4NegateXYZ(q)));
        const VLMVector4 dc = VLMQuatNormalize(VLMQuatMultiply(a->slots[2].q, VLMVector4NegateXYZ(b->slots[2].q)));
        const VLMVector4 nh = VLMQuatScaleVectorPart(dh, w2), nc = VLMQuatScaleVectorPart(dc, w3);
        const float s = VLMDotFloat(nh, nc) >= 0.0f ? 1.0f : -1.0f;
        const VLMVector4 r = VLMQuatNormalize(w2 * nh + (s * w3) * nc);
        q = VLMQuatNormalize(VLMQuatMultiply(r, q));
        c = h + VLMQuatRotate(r, c - h);
    }
    if (w0 > 0.0f || w1 > 0.0f)
        h = h + w0 * (a->slots[0].t - h) + w1 * (a->slots[2].t - c);
    VLMPlaceHips(character, rows, h - VLMQuatRotate(q, offset), q);
}

namespace {

// A: the reach-blended goals; B: the pose, with full reach.
void BlendGoalsAndPose(const VLMCharacter* character, const VLMStateRow* rows, const VLMEffectorSetLayout* set,
                       const VLMPropertySetState* properties, VLMSpineGoal& goal, VLMSpineGoal& pose)
{
    VLMInitSpineGoal(&goal);
    VLMInitSpineGoal(&pose);
    VLMFillSpineGoal(&pose, set);
    VLMComputeEffectorTripleFromPose(character, &goal, rows, properties);
    VLMBlendSpineGoals(&goal, &pose, pose.lanes);
    VLMComputeEffectorTripleFromPose(character, &pose, rows, properties);
    for (VLMVector4& lanes : pose.lanes)
        lanes.x = lanes.y = 1.0f;
}

// What the iterations read and never change: the limbs' reach measures, one
// limb per lane (a, b, the powered stiffness f, the pull total p and the
// compression factor r), their hold factors, the head's measures, and the
// limbs' pull goals (the effector set does not change while the body is pulled).
struct PullMeasures {
    VLMVector4 a, b, f, p, r;
    float hold[4];
    VLMVector4 headDistance, neckLength, headPull, headStiffness;
    VLMLimbPullGoal pullGoals[4];
};

// Reach measures, powered stiffnesses, hold factors.
PullMeasures MeasureReaches(const VLMCharacter* character, const VLMStateRow* rows, const VLMEffectorSetLayout* set,
                            const VLMPropertySetState* properties, int iterations, const bool (&stretch)[4])
{
    const auto value = [properties](int entry) { return VLMPropertyValueAt(properties, entry); };
    PullMeasures m;
    VLMLimbReach reach[4];
    for (int j = 0; j < 4; ++j)
        VLMMeasureLimbReach(VLMCharacterLimb(character, j), &reach[j], rows, set, properties,
                            VLMCharacterRotations(character), stretch[j]);
    VLMMeasureNeck(character, m.headDistance, m.neckLength, m.headPull, m.headStiffness, rows, set);
    const float exponent = VLMMaxFloat(1.0f, 0.2f * float(iterations + 2));
    for (VLMLimbReach& r : reach)
        r.stiffness = VLMPoweredStiffness(r.stiffness, exponent);
    m.headStiffness = VLMPoweredStiffness(m.headStiffness, exponent);
    for (int j = 0; j < 4; ++j) {
        const VLMVector4& lanes = set->blend[kLimbs[j].holder];
        m.hold[j] = 1.0f - lanes.z * lanes.x;
    }
    m.a = Pack(reach[0].a.x, reach[1].a.x, reach[2].a.x, reach[3].a.x);
    m.b = Pack(reach[0].b.x, reach[1].b.x, reach[2].b.x, reach[3].b.x);
    m.f = Pack(reach[0].stiffness.x, reach[1].stiffness.x, reach[2].stiffness.x, reach[3].stiffness.x);
    m.p = Pack(reach[0].pull.x, reach[1].pull.x, reach[2].pull.x, reach[3].pull.x);
    m.r = Pack(value(kLimbs[0].compression), value(kLimbs[1].compression), value(kLimbs[2].compression),
               value(kLimbs[3].compression));
    for (int j = 0; j < 4; ++j)
        VLMPrepareLimbPull(VLMCharacterLimb(character, j), set, &m.pullGoals[j]);
    return m;
}

// Pre-pass: the spine turned halfway toward the chest goal's rotation and
// clamped, the hips placed fully on the goals, the trunk refreshed.
void TurnSpineHalfwayAndPlaceHips(const VLMCharacter* character, VLMStateRow* rows, const VLMSpineGoal& goal,
                                  const VLMSpineGoal& pose, const VLMVector4& offset)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const VLMNodeRecord* spineRecord = VLMCharacterNodeRecord(character, VLM_NODE_SPINE);
    VLMStateRow* spineRow = VLMNodeRow(character, rows, VLM_NODE_SPINE);
    spineRow->globalQ = VLMQuatReachToward(spineRow->globalQ, goal.slots[1].q, 0.5f);
    VLMNodeGlobalToLocal(spineRecord, rows, records);
    // The spine's new local rotation reaches the upper body's globals through
    // the trunk refresh below: placing the hips reads none of them.
    VLMClampNodeToLimits(spineRecord, rows, VLMCharacterRotations(character));
    VLMCorrectHips(character, rows, &goal, &pose, VLMVector4{1.0f, 0.0f, 1.0f, 1.0f}, offset);
    VLMUpdateTrunkGlobals(character, rows);
}

// Iterations: the pulls taken where the joints stand now, added up into the
// hips' and chest end's shifts and turns, and the spine stretched toward the
// reach-blended goals moved by them.
void RunPullIterations(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                       const VLMPropertySetState* properties, const PullMeasures& m, const VLMSpineGoal& goal,
                       VLMSpineGoal& pose, int iterations, bool spine)
{
    const VLMVector4& hipsLanes = set->blend[VLM_HIPS_EFFECTOR];
    const VLMVector4& chestLanes = set->blend[VLM_CHEST_END_EFFECTOR];
    const int total = iterations + 2;
    const VLMVector4 stiffness = VLMVector4SplatW(set->blend[VLM_CHEST_ORIGIN_EFFECTOR]);
    const int neckRoot = Has(character, VLM_NODE_NECK) ? VLM_NODE_NECK : VLM_NODE_HEAD;
    VLMVector4 hipsShift = VLMVector4Zero(), chestShift = VLMVector4Zero();
    VLMVector4 hipsTurned = VLMConstant::IdentityQuat, chestTurned = VLMConstant::IdentityQuat;
    float chestReach = 0.0f;
    // One limiter for every iteration: the stretch hands back in its lane 0
    // the factor it has scaled the spine by so far, so its soft limit holds
    // the spine's whole stretch. Set afresh for each iteration, it let every
    // iteration stretch up to the limit again, and twelve iterations drew a
    // spine out to fifteen times its length.
    VLMVector4 limiter = {1.0f, VLMPropertyValueAt(properties, vlm_entry::SnSSpineFreedom), 1.0f, 1.0f};
    for (int i = 1; i <= total; ++i) {
        const float t = float(i) / float(total);
        VLMComputeEffectorTripleFromPose(character, &pose, rows, properties);
        VLMVector4 lengths[4], directions[4];
        for (int j = 3; j >= 0; --j)
            VLMLimbPullTarget(m.pullGoals[j], lengths[j], directions[j], rows);
        const VLMVector4 x = Pack(lengths[0].x, lengths[1].x, lengths[2].x, lengths[3].x);
        const VLMVector4 excess = VLMSoftExcessSelect(x, m.a, m.b, m.f, m.r, m.p);
        VLMVector4 pull[4];
        for (int j = 0; j < 4; ++j)
            pull[j] = directions[j] * ((&excess.x)[j] * m.hold[j]);
        VLMVector4 headLength, headDirection;
        VLMHeadPullTarget(character, headLength, headDirection, rows, set);
        const VLMVector4 head = headDirection * VLMSoftExcess(headLength, m.headDistance, m.neckLength, m.headStiffness,
                                                              VLMConstant::One, m.headPull);

        // The pulls of this iteration, about the joints where they stand now.
        const VLMVector4& hips = Position(character, rows, VLM_NODE_HIPS);
        const VLMVector4 chest = pose.slots[2].t;
        const float hipsMove = (0.5f + 0.5f * t) * (1.0f - hipsLanes.z);
        const float hipsTurn = (0.3f + 0.7f * t) * (1.0f - hipsLanes.w);
        hipsShift = hipsShift + (pull[0] + pull[1]) * hipsMove;
        TurnSum legs;
        for (int j = 0; j < 2; ++j)
            legs.add(hips, Position(character, rows, kLimbs[j].root), pull[j], hipsTurn);
        hipsTurned = VLMQuatNormalize(VLMQuatMultiply(legs.turn(), hipsTurned));

        // Unlike the hips', the chest's pulls are held to what they can explain.
        // A wrist far beyond reach keeps pulling however the chest moves, and
        // added up over the iterations its pull would wind the chest's shift
        // and turn on without end: toward the spine, where the chest end can
        // only swing about a shortened lever and overshoots from side to side,
        // and round, past a half turn when the wrist lies behind the back.
        // So each iteration the arms' and head's moves are summed no longer
        // than the longest, their turns taken sideways (above), the part of the
        // move toward the Spine joint dropped (the chest end cannot follow it),
        // and the whole shift kept within twice the longest pull the chest felt
        // at first: a pull the chest follows shortens and the sums settle well
        // within that, and the chest's move stays continuous in its pulls.
        const float chestMove = 1.0f - chestLanes.z, chestTurn = 1.0f - chestLanes.w;
        const VLMVector4 arms[2] = {VLMVector4ClearW(Position(character, rows, kLimbs[2].root) - chest),
                                    VLMVector4ClearW(Position(character, rows, kLimbs[3].root) - chest)};
        const VLMVector4 neck = VLMVector4ClearW(Position(character, rows, neckRoot) - chest);
        ChestPulls upper;
        for (int j = 2; j < 4; ++j)
            upper.add(arms[j - 2], pull[j], (0.6f + 0.4f * t) * chestMove, (0.4f + 0.6f * t) * chestTurn);
        upper.add(neck, head, (0.7f + 0.3f * t) * chestMove, (0.7f + 0.3f * t) * chestTurn);
        if (i == 1) {
            // The longest full move, taken in the order ChestPulls::add takes it.
            float longest = 0.0f;
            for (int j = 2; j < 4; ++j)
                longest = VLMMaxFloat(longest, VLMLengthFloat(ChestPulls::Step(pull[j], chestMove)));
            longest = VLMMaxFloat(longest, VLMLengthFloat(ChestPulls::Step(head, chestMove)));
            chestReach = 2.0f * longest;
        }
        const VLMVector4 lever = VLMVector4ClearW(chest - Position(character, rows, VLM_NODE_SPINE));
        const VLMVector4 step = WithoutInward(upper.moved(), lever);
        chestShift = VLMShortenTo(chestShift + step, chestReach);
        chestTurned = VLMQuatNormalize(VLMQuatMultiply(upper.turned(), chestTurned));

        // The goals: the reach-blended ones, moved by the pulls so far.
        pose.slots[0].t = goal.slots[0].t + hipsShift;
        pose.slots[0].q = VLMQuatNormalize(VLMQuatMultiply(hipsTurned, goal.slots[0].q));
        pose.slots[1].t = goal.slots[1].t;
        pose.slots[1].q = goal.slots[1].q;
        pose.slots[2].t = goal.slots[2].t + chestShift;
        pose.slots[2].q = VLMQuatNormalize(VLMQuatMultiply(chestTurned, goal.slots[2].q));

        // Only the trunk is refreshed between iterations: the rows below it
        // (fingers, neck chain, forearms and the rest) are read by nothing
        // here, and the pass below the hips after the last iteration brings
        // them up to date.
        VLMSolveSpineStretch(character, rows, &pose, properties, stiffness, VLMVector4Splat(0.5f * (1.0f - t)),
                             &limiter, spine, VLMSpineRefresh::Trunk);
        VLMUpdateTrunkGlobals(character, rows);
    }
}

// The hips held toward the goals by the resist lanes.
void HoldHipsTowardGoals(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties, const VLMSpineGoal& goal, VLMSpineGoal& pose,
                         const VLMVector4& offset, bool refreshBelowHips)
{
    const VLMVector4& hipsLanes = set->blend[VLM_HIPS_EFFECTOR];
    const VLMVector4& chestLanes = set->blend[VLM_CHEST_END_EFFECTOR];
    VLMComputeEffectorTripleFromPose(character, &pose, rows, properties);
    VLMCorrectHips(character, rows, &goal, &pose, VLMVector4{hipsLanes.z, 0.0f, hipsLanes.w, chestLanes.w}, offset);
    if (refreshBelowHips)
        VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(character, VLM_NODE_HIPS), rows,
                                VLMCharacterNodeRecords(character));
}

}  // namespace

void VLMSolveBodyPull(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                      const VLMPropertySetState* properties, int iterations, bool spine, bool stretchLeftLeg,
                      bool stretchRightLeg, bool stretchLeftArm, bool stretchRightArm, bool refreshBelowHips)
{
    if (!Has(character, VLM_NODE_HIPS) || !Has(character, VLM_NODE_SPINE))
        return;
    const int n = iterations < 30 ? iterations : 30;
    const bool stretch[4] = {stretchLeftLeg, stretchRightLeg, stretchLeftArm, stretchRightArm};
    const VLMVector4 offset = VLMPropertyVectorAt(properties, vlm_entry::HipsTOffsetX);
    VLMSpineGoal goal, pose;
    BlendGoalsAndPose(character, rows, set, properties, goal, pose);
    const PullMeasures measures = MeasureReaches(character, rows, set, properties, n, stretch);
    TurnSpineHalfwayAndPlaceHips(character, rows, goal, pose, offset);
    RunPullIterations(character, rows, set, properties, measures, goal, pose, n, spine);
    HoldHipsTowardGoals(character, rows, set, properties, goal, pose, offset, refreshBelowHips);
}
