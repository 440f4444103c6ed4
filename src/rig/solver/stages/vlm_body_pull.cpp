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

#include <cmath>

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

// The shortest arc from u toward u + pull with any part of the pull toward
// the centre dropped, its vector part scaled by `factor`. A pull through the
// centre says nothing about which way to turn: this arc stays under a quarter
// turn and fades to none as a pull swings through the centre, where the arc to
// the full pulled point nears a half turn about an axis that spins as the pull
// moves. The sideways part left is weighed down besides by 1 - c^2, c the
// cosine between the pull and -u: near the centre a long pull's sideways part
// swings from one side to the other within a few degrees of its direction,
// and the weight flattens that swing.
VLMVector4 SidewaysArc(const VLMVector4& u, const VLMVector4& pull, float factor)
{
    const VLMVector4 p = VLMVector4ClearW(pull);
    const float c = VLMVector4Dot3(p, u).x, n = VLMLengthFloat(p) * VLMLengthFloat(u);
    const float weight = c < 0.0f && n > 0.0f ? 1.0f - (c / n) * (c / n) : 1.0f;
    const VLMVector4 d = VLMWithoutInward(p, u) * weight;
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

// The pulls of one iteration on the chest end or the hips: the weighted pulls'
// sum, no longer than the longest of them, and the sum of their sideways arcs,
// no further than the largest of them. Two pulls asking for the same move ask
// for it once; a plain sum moves twice as far, and added up over the
// iterations overshoots and swings from side to side. `agreed()` shortens the
// sum further by how much the pulls agree (|sum| over the sum of lengths): two
// hands pulling apart leave a small remainder whose direction turns over as
// their balance shifts, and the iterations would wind it up to the full bound.
struct BodyPulls {
    VLMVector4 shift = VLMVector4Zero(), sum = VLMConstant::IdentityQuat;
    float longest = 0.0f, largest = 0.0f, lengths = 0.0f;
    // The move a pull asks of the chest end or the hips, `move` of its length.
    static VLMVector4 Step(const VLMVector4& pull, float move) { return VLMVector4ClearW(pull) * move; }
    void add(const VLMVector4& at, const VLMVector4& pull, float move, float turn)
    {
        // A limb within reach pulls by nothing: it would add a zero step and
        // the identity arc, so the common case skips the arithmetic.
        if (pull.x == 0.0f && pull.y == 0.0f && pull.z == 0.0f)
            return;
        const VLMVector4 step = Step(pull, move);
        longest = VLMMaxFloat(longest, VLMLengthFloat(step));
        lengths += VLMLengthFloat(step);
        shift = shift + step;
        const VLMVector4 arc = SidewaysArc(at, pull, turn);
        largest = VLMMaxFloat(largest, VLMLengthFloat(arc) / arc.w);
        sum = sum + (arc - VLMConstant::IdentityQuat);
    }
    VLMVector4 moved() const { return VLMShortenTo(shift, longest); }
    VLMVector4 agreed() const
    {
        return lengths > 0.0f ? VLMShortenTo(shift, longest * (VLMLengthFloat(shift) / lengths)) : shift;
    }
    // The sum of the arcs, not held to the largest: what two pulls turning
    // the same way ask together.
    VLMVector4 summed() const { return largest > 0.0f ? VLMQuatNormalize(sum) : VLMConstant::IdentityQuat; }
    VLMVector4 turned() const
    {
        return largest > 0.0f ? Lessen(VLMQuatNormalize(sum), largest) : VLMConstant::IdentityQuat;
    }
};

VLMVector4 Pack(float a, float b, float c, float d) { return VLMVector4{a, b, c, d}; }

// The furthest the hands' pulls shift the chest end, in lengths of the spine
// (hips to chest end), and the legs' pulls the hips, in lengths of the legs
// (up-leg to ankle); each turn is held to a share as an angle (radians), the
// turn that carries a point one such length away by that shift. The hands'
// shift nears its share softly (`SoftShorten`); their turn stays within 0.2:
// turned further, the chest swings the collars round when both hands pull
// beyond reach across the body.
constexpr float kChestShare = 0.27f, kChestTurnShare = 0.2f, kHipsShare = 0.5f;
// A foot's first pull, in lengths of a leg, from which the legs' turns stop
// being added up, and by which they no longer are.
constexpr float kLegsFarFrom = 0.1f, kLegsFarTo = 0.3f;
// The hands' rules loosen where nothing has flipped the body: a hand's first
// pull under kFarFrom of the arm's length (fully loose) to kFarTo (held), and
// the longest first move of a hand under kLeverFrom of the lever the chest end
// swings on about the Spine joint (to kLeverTo). Loose, the hands' shift of the
// chest end nears kLooseShift times their first move softly, their turn
// kLooseTurn (radians), and the lever along which their part toward the joint
// is dropped follows the chest end by up to kLeverTilt (radians). The shift's
// soft bound lies at three first moves, not at the two a hard bound held it
// to. Brought softly toward two, a shift of one and a half first moves kept
// 97% of itself and one of two moves 89%, and with hands hanging a fifth of
// the arm beyond reach through a walk the wrists missed their goals by a
// third more on average; toward three it keeps 99.7% and 98.6% there, so the
// soft bound costs next to nothing short of where the hard one held.
constexpr float kFarFrom = 0.24f, kFarTo = 0.4f, kLeverFrom = 0.35f, kLeverTo = 0.6f;
// The turn loosens over a narrower band of that pull, held from kTurnFarTo of
// the arm. The hands' turn feeds itself: turned one way, the shoulders swing
// round and the pulls ask more of the same sense, so the summed turn runs to
// its bound in whichever sense the first iterations happen to favour. Held
// at 0.2 rad a flip from one sense to the other costs at most twice that;
// loosened toward 1.2 rad, hands hanging three tenths of an arm beyond reach
// (the chest resisting them, source arms half as long again) flipped the
// trunk by 57 degrees in one frame where the source turned half a degree.
// The lever's tilt follows the turn's loosening, not the shift's: over the
// wider band the shift's loosening falls by a fifth for a first pull that
// moves by a fiftieth of the arm between two frames, the tilt with it, and
// the trunk swung with the tilt (with chest and wrist reach and source arms a
// fifth longer, the shoulders turned up to 34 degrees in one frame beyond
// their source; following the turn's loosening, 28). The hands then hang a
// little further from their goals where their first pull lies between the
// two bands' ends.
// The tilt also yields to the chest end's own goal, by its reach: a chest
// end reaching for a goal of its own is held there, and the lean the tilt
// lets the hands give it only pulls it off that goal and swings the trunk
// (with chest and wrist reach and source arms a fifth longer, soles over the
// toes: the shoulders up to 27.5 degrees in one frame beyond their source,
// the chest end 17.7 cm from its goal on average; untilted, 4.7 degrees and
// 15.5 cm; soles at the ankles 28.4 degrees and 14.8 cm, untilted 3.6 and
// 11.8).
constexpr float kTurnFarTo = 0.32f;
constexpr float kLooseShift = 3.0f, kLooseTurn = 1.2f, kLeverTilt = 0.35f;
const float kHipsTurnBound = std::tan(0.5f * kHipsShare);

// `VLMSoftShorten` (a short v stays nearly whole, a long one nears the length
// without reaching it) in place of a hard bound: a hard bound holds a pull
// far beyond reach at the bound, where it helps no further and only its
// direction moves: a steady far pull (a punch beyond the arm's reach) wants
// more of the spine than a pull that wanders, and the hard bound low enough
// for the wandering pull lets the steady one fall short. Without the kink,
// a pull asking for more keeps gaining a little.
VLMVector4 SoftShorten(const VLMVector4& v, float length) { return VLMSoftShorten(v, length); }

// The turn q (either sign) brought softly within the half-angle tangent
// `bound`, as SoftShorten brings a shift within its length.
VLMVector4 SoftLessen(VLMVector4 q, float bound)
{
    if (q.w < 0.0f)
        q = VLMVector4Negate(q);
    if (!(q.w > 0.0f))
        return Lessen(q, bound);
    const VLMVector4 v = SoftShorten(VLMVector4ClearW(q) * (1.0f / q.w), bound);
    return VLMQuatNormalize(VLMVector4MergeW(v, VLMConstant::One));
}

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
    VLMVector4 hipsShift = VLMVector4Zero(), handsShift = VLMVector4Zero(), headShift = VLMVector4Zero();
    VLMVector4 hipsTurned = VLMConstant::IdentityQuat, handsTurned = VLMConstant::IdentityQuat,
               headTurned = VLMConstant::IdentityQuat;
    float hipsReach = 0.0f, handsReach = 0.0f, headReach = 0.0f, handsTurnBound = 0.0f, leverTilt = 0.0f;
    float loose = 0.0f;                                 // how far the hands' rules loosen, 0..1 (below)
    float looseTurn = 0.0f;                             // how far their turn's bound loosens, 0..1 (below)
    float near = 1.0f;                                  // how near reach the feet lie at the first iteration, 0..1
    VLMVector4 hipsSummed = VLMConstant::IdentityQuat;  // the legs' turns added up
    VLMVector4 legRoots[2];                             // the up-legs about the hips at the first iteration
    VLMVector4 lever;                                   // Spine joint to chest end at the first iteration
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

        // A limb far beyond reach keeps pulling however the body moves. Added
        // up over the iterations its pull would wind the body's shift and turn
        // on without end, and a bound taken from the pull itself grows with
        // how far the goal lies beyond reach (three arm lengths, say) and
        // drags the goal tens of centimetres round with it. So the limbs' whole
        // shifts and turns are kept within a share of the body they move: the
        // hands' shift of the chest end within a share of the spine's length
        // (hips to chest end), the legs' shift of the hips within a share of
        // the legs', each turn within the same share as an angle. A small
        // pull keeps the bound it had before the share: twice its first
        // length, whichever is smaller. The share alone lets a push the
        // chest follows (the elbows resisting compression) wind the chest
        // end up to a quarter of the spine away from its own goal.
        //
        // Those bounds are for the pulls that flipped the body: a hand far
        // beyond reach, or a pull long against the lever the chest end swings
        // on about the Spine joint. Where neither holds they cost reach that
        // was smooth (hands hanging a little beyond reach, as a source with
        // arms a tenth or a fifth longer gives in every step of a walk, want
        // the trunk to lean and roll well past a quarter of the spine and 0.2
        // rad). There the hands' rules loosen, smoothly, by `loose`: the shift
        // toward kLooseShift first moves of the hands pulling beyond reach, and
        // by `looseTurn`, over a narrower band, the turn toward kLooseTurn
        // (brought within it softly) and the lever they drop their part toward
        // the joint along, which follows the chest end by up to kLeverTilt
        // (below; not at all where the chest end fully reaches for a goal of
        // its own). The head's pull keeps its own rules (its shift within
        // twice its first pull, its turn unbounded): its goal lies by the
        // neck, and the chest turns until the neck points at it.
        const VLMVector4 hips = Position(character, rows, VLM_NODE_HIPS);
        const VLMVector4 chest = pose.slots[2].t;
        const float chestMove = 1.0f - chestLanes.z, chestTurn = 1.0f - chestLanes.w;
        if (i == 1) {
            float legs = 0.0f;
            for (int j = 0; j < 2; ++j) {
                const int root = kLimbs[j].root;  // then its Leg and Foot
                for (int k = 0; k < 2; ++k)
                    legs += VLMLengthFloat(VLMVector4ClearW(Position(character, rows, root + k + 1) -
                                                            Position(character, rows, root + k)));
                legRoots[j] = VLMVector4ClearW(Position(character, rows, root) - hips);
            }
            hipsReach = kHipsShare * 0.5f * legs;
            float far = 0.0f;
            for (int j = 0; j < 2; ++j)
                far = VLMMaxFloat(far, VLMLengthFloat(VLMVector4ClearW(pull[j])));
            near = 1.0f - VLMVector4SmoothStep(VLMVector4Splat(kLegsFarFrom), VLMVector4Splat(kLegsFarTo),
                                               VLMVector4Splat(legs > 0.0f ? far / (0.5f * legs) : 0.0f))
                              .x;
            // The longest first move of a hand, as `add` takes it, and of a
            // hand pulling beyond reach (not pushing in, as a hand well within
            // reach does with the elbow resisting compression).
            float first = 0.0f, firstOut = 0.0f;
            for (int j = 2; j < 4; ++j) {
                const float move = VLMLengthFloat(BodyPulls::Step(pull[j], chestMove));
                first = VLMMaxFloat(first, move);
                if ((&excess.x)[j] > 0.0f)
                    firstOut = VLMMaxFloat(firstOut, move);
            }
            lever = VLMVector4ClearW(chest - Position(character, rows, VLM_NODE_SPINE));
            float arm = 0.0f, longest = 0.0f;  // the target's arm; the longest first pull of a hand
            for (int k = 0; k < 2; ++k)
                arm += VLMLengthFloat(VLMVector4ClearW(Position(character, rows, VLM_NODE_LEFT_ARM + k + 1) -
                                                       Position(character, rows, VLM_NODE_LEFT_ARM + k)));
            for (int j = 2; j < 4; ++j)
                longest = VLMMaxFloat(longest, VLMLengthFloat(VLMVector4ClearW(pull[j])));
            const float leverLength = VLMLengthFloat(lever);
            const auto fade = [](float from, float to, float at) {
                return 1.0f - VLMVector4SmoothStep(VLMVector4Splat(from), VLMVector4Splat(to), VLMVector4Splat(at)).x;
            };
            if (arm > 0.0f && leverLength > 0.0f) {
                const float shortMove = fade(kLeverFrom, kLeverTo, first / leverLength);
                loose = fade(kFarFrom, kFarTo, longest / arm) * shortMove;
                looseTurn = fade(kFarFrom, kTurnFarTo, longest / arm) * shortMove;
            }
            const float held = VLMMinFloat(kChestShare * VLMLengthFloat(VLMVector4ClearW(chest - hips)), 2.0f * first);
            // Only the first moves of hands pulling beyond reach loosen the
            // shift: hands within reach leave `loose` at 1, and three first
            // moves of their push in place of the held bound let it wind the
            // chest end away from its own goal again (the target's arms a
            // fifth longer than the source's, chest reach on: 1.46 cm mean
            // where the held bound gave 1.35).
            handsReach = held + loose * VLMMaxFloat(0.0f, kLooseShift * firstOut - held);
            handsTurnBound = std::tan(0.5f * (kChestTurnShare + looseTurn * (kLooseTurn - kChestTurnShare)));
            leverTilt = std::tan(0.5f * kLeverTilt * looseTurn * (1.0f - chestLanes.x));
            headReach = 2.0f * VLMLengthFloat(BodyPulls::Step(head, chestMove));
        }

        // The legs turn the hips about the up-legs as they stood at the first
        // iteration. Measured where the up-legs stand after the last turn, the
        // turn feeds back: with the feet pulled apart either sense grows
        // itself, and the hips flip from one to the other as the goals move.
        // Where the feet lie near reach the turns are added up over the
        // iterations (the legs' arcs summed, within the same bound): each
        // iteration's pull is what the turns before it left, and a single
        // iteration's turn leaves the knees a centimetre or so off their goals
        // in nearly every frame of a walk. Where a foot lies far beyond reach
        // (its first pull over a tenth of a leg's length, fully from three
        // tenths) the turn is the one the last iteration asks: the summed turn
        // sits at its bound there, and a leg coming into reach under hips held
        // at the bound bends its knee in one frame.
        const float hipsMove = (0.5f + 0.5f * t) * (1.0f - hipsLanes.z);
        const float hipsTurn = (0.3f + 0.7f * t) * (1.0f - hipsLanes.w);
        BodyPulls legs;
        for (int j = 0; j < 2; ++j)
            legs.add(legRoots[j], pull[j], hipsMove, hipsTurn);
        hipsShift = VLMShortenTo(hipsShift + legs.moved(), hipsReach);
        if (near > 0.0f)
            hipsSummed = Lessen(VLMQuatNormalize(VLMQuatMultiply(legs.summed(), hipsSummed)), kHipsTurnBound);
        if (near >= 1.0f)
            hipsTurned = hipsSummed;
        else if (near > 0.0f)
            hipsTurned = VLMQuatNlerp(Lessen(legs.turned(), kHipsTurnBound), hipsSummed, VLMVector4Splat(near));
        else
            hipsTurned = Lessen(legs.turned(), kHipsTurnBound);

        // The chest end's moves lose their part toward the Spine joint (the
        // chest end cannot follow it); the hands' besides lose what the hands
        // do not agree on (`agreed()`), since dropping their common part
        // toward the spine leaves two hands pulling apart that ill-set
        // remainder. The part is taken along the lever as it stood at the
        // first iteration: taken along the lever where the chest end stands
        // now, it feeds back. Hands pulling down through the spine leave a
        // small sideways remainder, the chest end moves with it, the lever
        // tilts, and what is dropped changes with it, so the remainder winds
        // itself round (a 50-degree swing of the chest end's shift over four
        // frames of a source turning half a degree in each). Where the hands'
        // rules loosen, the lever follows the chest end by a bounded tilt: a
        // hand hanging beyond reach then pulls the chest end sideways as it
        // leans, and the tilt's bound keeps the lean from winding round.
        // (Where the hands' rules loosen, their turn nears its bound softly,
        // as the shift does.)
        BodyPulls hands, neck;
        for (int j = 2; j < 4; ++j)
            hands.add(VLMVector4ClearW(Position(character, rows, kLimbs[j].root) - chest), pull[j],
                      (0.6f + 0.4f * t) * chestMove, (0.4f + 0.6f * t) * chestTurn);
        neck.add(VLMVector4ClearW(Position(character, rows, neckRoot) - chest), head, (0.7f + 0.3f * t) * chestMove,
                 (0.7f + 0.3f * t) * chestTurn);
        VLMVector4 tilted = lever;
        if (leverTilt > 0.0f) {
            const VLMVector4 leverNow = VLMVector4ClearW(chest - Position(character, rows, VLM_NODE_SPINE));
            tilted = VLMQuatRotate(Lessen(VLMShortestArc(lever, leverNow), leverTilt), lever);
        }
        handsShift = SoftShorten(handsShift + VLMWithoutInward(hands.agreed(), tilted), handsReach);
        headShift = VLMShortenTo(headShift + VLMWithoutInward(neck.moved(), lever), headReach);
        const VLMVector4 handsSum = VLMQuatNormalize(VLMQuatMultiply(hands.turned(), handsTurned));
        if (looseTurn >= 1.0f)
            handsTurned = SoftLessen(handsSum, handsTurnBound);
        else if (looseTurn > 0.0f)
            handsTurned = VLMQuatNlerp(Lessen(handsSum, handsTurnBound), SoftLessen(handsSum, handsTurnBound),
                                       VLMVector4Splat(looseTurn));
        else
            handsTurned = Lessen(handsSum, handsTurnBound);
        headTurned = VLMQuatNormalize(VLMQuatMultiply(neck.turned(), headTurned));
        const VLMVector4 chestShift = handsShift + headShift;
        const VLMVector4 chestTurned = VLMQuatNormalize(VLMQuatMultiply(headTurned, handsTurned));

        // The goals: the reach-blended ones, moved by the pulls.
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
    // With the head pulling, the neck and head keep the world turn they came
    // in with; the neck's root joint takes up what the pull turned the chest
    // by (in full at pull 1, by the pull's share below it). The head's pull
    // turns the chest, unbounded, until the neck points at a goal beyond its
    // reach, and a goal that leaves reach in one frame turns it by as much in
    // that frame: carried by the chest, the head turned 12.6 degrees beyond
    // its source where the source's turned 1.1 (the second take onto the
    // 56-node preset, where without the pull the head would miss its goal by
    // 1.4 cm one frame and 4.2 cm the next). The chest still turns and moves
    // toward the goal; the neck stage then bends the chain from where the root
    // stands. (A departure: the pull used to write the hips and the spine only,
    // and the neck rode on the chest.)
    const int neck = Has(character, VLM_NODE_NECK) ? VLM_NODE_NECK : VLM_NODE_HEAD;
    const float keep = measures.headPull.x;
    const bool keeping = keep > 0.0f && Has(character, neck);
    const VLMVector4 came = keeping ? VLMNodeRow(character, rows, neck)->globalQ : VLMConstant::IdentityQuat;
    TurnSpineHalfwayAndPlaceHips(character, rows, goal, pose, offset);
    RunPullIterations(character, rows, set, properties, measures, goal, pose, n, spine);
    HoldHipsTowardGoals(character, rows, set, properties, goal, pose, offset, refreshBelowHips);
    if (keeping) {
        const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
        if (!refreshBelowHips)
            VLMUpdateTrunkGlobals(character, rows);
        VLMStateRow* row = VLMNodeRow(character, rows, neck);
        row->globalQ = VLMQuatNlerp(row->globalQ, came, VLMVector4Splat(keep));
        VLMNodeGlobalToLocal(VLMCharacterNodeRecord(character, neck), rows, records);
        if (refreshBelowHips)
            VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(character, neck), rows, records);
    }
}
