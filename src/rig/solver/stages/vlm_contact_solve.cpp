#include "rig/solver/stages/vlm_contact_solve.h"

#include "rig/solver/stages/vlm_contact_point.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <array>
#include <cmath>

namespace {

// Positions of the contact entries in an extremity's property list.
enum { kFloorContact = 0, kBottom, kBack, kMiddle, kFront, kIn, kOut, kType = 8, kStiffness = 9, kPivot = 11 };

constexpr float kHalfRoot2 = 0.70710677f;
constexpr float kHighest = 3.40282e38f;
constexpr int kRollIterations = 4;
// The roll keeps going after its four iterations while a corner is still
// further below the floor than this, up to the cap: a steep tilt (and the
// hoof turn, which stands the shape on its side) can need more steps.
constexpr int kMaxRollIterations = 32;
constexpr float kFloorTolerance = 1e-3f;
// How level a foot's roll triangle's normal must stand (its upward part) for
// the roll to lay the triangle flat in full: cos 45 degrees.
constexpr float kLevelEnough = 0.70710677f;
// How many times its goal's angle from standing upright a hand's contact
// shape may be tipped by the roll (LimitTipNearUpright). The allowance moves
// that many times as fast as the goal's angle does, so the hand turns beyond
// its goal by at most that many times how far the goal moved, wherever it
// stands. At 10, a goal tilting from upright by 0.28, 0.85 then 12.5 degrees
// in three frames of a fall flipped the hand 71 degrees beyond it in one, and
// one swaying 1 to 5 degrees a frame near upright, 52; at 2, 24 and 10; at
// 1.7, 20 and 9, and a goal held within a degree of upright for several
// frames and then tilting 12 degrees in one turns the hand 20.8 beyond it (at
// 2, 24.5). The solver keeps nothing between frames, so a goal reaching 13
// degrees in one frame or over many is laid alike: no allowance of the angle
// alone can both bound such a tilt by 21 degrees and lay a hand standing a
// few degrees off upright as flat as 10 did. The price is a hand laid only
// partly flat up to 33 degrees from upright and so raised a little more: on
// a sweep of falls its wrist ends 0.08 cm further from its goal on average
// than laid flat in full (at 2: 0.06, at 10: 0.005; steps spared by their
// triangle's steepness: 0.3), at most 4.6 cm (4.5, 0.8); a hand held down
// 2 to 6 cm deep as in push-ups, its goal 3 to 60 degrees from upright, keeps
// a palm's upward part of 0.585 on average against 0.611 at 10 (0.594 at 2),
// its wrist 0.03 cm further from its goal (0.017 at 2).
constexpr float kTipPerUprightAngle = 1.7f;
// How far a foot is pitched about its ankle, toe up, to meet the floor where
// the turn of its toes leaves their front below it (PitchFootToFloor): at most
// kMostPitch, and at most the depth it meets over kLeastRise times the
// front's distance from the ankle, so that the pitch grows no faster than the
// depth does (a front hanging straight below the ankle needs a turn growing
// with the square root of the depth: 17 degrees for 4.5 mm, none a frame
// later).
constexpr float kMostPitch = 0.5235988f;  // 30 degrees
constexpr float kLeastRise = 0.5f;

float Value(const VLMPropertySetState* p, const VLMExtremity* e, int role)
{
    return VLMPropertyValueAt(p, int(e->properties[role]));
}
int Rounded(const VLMPropertySetState* p, const VLMExtremity* e, int role)
{
    return VLMFloatToIntRound(Value(p, e, role));
}
bool BasePresent(const VLMCharacter* c, const VLMExtremity* e)
{
    return VLMCharacterTPoseEntry(c, e->baseNodeId)->presence != 0;
}

VLMVector4 Rotate(const VLMVector4& q, const VLMVector4& v)
{
    VLMVector4 out;
    return VLMQuatRotateVector(out, q, v);
}

// The hoof turn of a hand (by side) or a foot, as a rotation matrix.
VLMMatrix44 HoofMatrix(const VLMExtremity* e)
{
    const VLMVector4 q = e->isFoot != 0    ? VLMVector4{-kHalfRoot2, 0.0f, 0.0f, kHalfRoot2}
                         : e->isRight != 0 ? VLMVector4{0.0f, 0.0f, -kHalfRoot2, kHalfRoot2}
                                           : VLMVector4{0.0f, 0.0f, kHalfRoot2, kHalfRoot2};
    return VLMQuatToMatrix44(q);
}

// The carrying goal's matrix, with the hoof turn folded in first for type 3.
VLMMatrix44 GoalMatrix(const VLMTransformTQS& goal, bool hoof, const VLMMatrix44& h)
{
    const VLMMatrix44 n = VLMTQSToMatrix44(goal.t, VLMQuatNormalize(goal.q), goal.s);
    return hoof ? VLMMatrix44Multiply(n, h) : n;
}

// What one roll step works on: the carrying goal, and the four corners of the
// contact shape in its space (w 1).
struct RollShape {
    int slot;
    bool hoof;
    VLMVector4 local[4];
};

RollShape RollShapeOf(const VLMCharacter* character, const VLMExtremity* extremity,
                      const VLMPropertySetState* properties)
{
    const bool present = BasePresent(character, extremity);
    const int type = Rounded(properties, extremity, kType);
    RollShape shape;
    shape.slot = present && (type >= 2 || type < 0) ? 1 : 0;
    shape.hoof = type == 3;
    const float s = extremity->isRight != 0 ? -1.0f : 1.0f;
    const float B = Value(properties, extremity, kBottom), K = Value(properties, extremity, kBack);
    const float I = Value(properties, extremity, kIn), O = Value(properties, extremity, kOut);
    const float middle = Value(properties, extremity, kMiddle);
    const float M = type == 0 && !present ? middle + Value(properties, extremity, kFront) : middle;
    // Corners a, b, c, d: hand back-in, back-out, front-in, front-out (points
    // 1, 0, 3, 2 of the contact shape); foot in-back, out-back, in-front,
    // out-front (points 0, 1, 2, 3).
    VLMVector4* local = shape.local;
    if (extremity->isFoot != 0) {
        local[0] = {-s * I, -B, -K, 1.0f}, local[1] = {s * O, -B, -K, 1.0f};
        local[2] = {-s * I, -B, M, 1.0f}, local[3] = {s * O, -B, M, 1.0f};
    } else {
        local[0] = {-s * K, -B, I, 1.0f}, local[1] = {-s * K, -B, -O, 1.0f};
        local[2] = {s * M, -B, I, 1.0f}, local[3] = {s * M, -B, -O, 1.0f};
    }
    return shape;
}

// Whether a corner of the carrying goal's shape lies below the floor by more
// than the tolerance.
bool RollCornerBelow(const RollShape& shape, const VLMExtremity* extremity, const VLMLimbGoalBlock* block)
{
    const VLMMatrix44 n = GoalMatrix(block->slots[shape.slot], shape.hoof, HoofMatrix(extremity));
    const float floor = block->frame.t.y - kFloorTolerance;
    for (const VLMVector4& corner : shape.local)
        if (VLMMatrix44MulVector(n, corner).y < floor)
            return true;
    return false;
}

// The two front points of the shape (the finger or toe tips' edge), placed by
// the extremity goal B, the rest offset of the end joint from the base joint
// carried with them.
void FrontPoints(const VLMCharacter* character, const VLMExtremity* extremity, const VLMLimbGoalBlock* block,
                 const VLMPropertySetState* properties, VLMVector4 p[2])
{
    const VLMTransformTQS& b = block->slots[1];
    const float s = extremity->isRight != 0 ? -1.0f : 1.0f;
    const float B = Value(properties, extremity, kBottom), I = Value(properties, extremity, kIn),
                O = Value(properties, extremity, kOut);
    const float front = Value(properties, extremity, kMiddle) + Value(properties, extremity, kFront);
    const VLMVector4 offset = VLMVector4ClearW(VLMCharacterTPoseEntry(character, extremity->endNodeId)->t -
                                               VLMCharacterTPoseEntry(character, extremity->baseNodeId)->t);
    const VLMVector4 local[2] = {
        extremity->isFoot != 0 ? VLMVector4{-s * I, -B, front, 0} : VLMVector4{s * front, -B, -O, 0},
        extremity->isFoot != 0 ? VLMVector4{s * O, -B, front, 0} : VLMVector4{s * front, -B, I, 0}};
    for (int i = 0; i < 2; ++i)
        p[i] = b.t + Rotate(b.q, b.s * (local[i] + offset));
}

bool FrontPointBelow(const VLMCharacter* character, const VLMExtremity* extremity, const VLMLimbGoalBlock* block,
                     const VLMPropertySetState* properties)
{
    VLMVector4 p[2];
    FrontPoints(character, extremity, block, properties, p);
    const float floor = block->frame.t.y - kFloorTolerance;
    return p[0].y < floor || p[1].y < floor;
}

// The unit normal of the plane of the contact shape placed by a goal, the zero
// vector when the shape has no extent.
VLMVector4 ShapeNormal(const RollShape& shape, const VLMExtremity* extremity, const VLMTransformTQS& goal)
{
    const VLMMatrix44 n = GoalMatrix(goal, shape.hoof, HoofMatrix(extremity));
    const VLMVector4 a = VLMMatrix44MulVector(n, shape.local[0]);
    const VLMVector4 b = VLMMatrix44MulVector(n, shape.local[1]);
    const VLMVector4 c = VLMMatrix44MulVector(n, shape.local[2]);
    return VLMSafeDirection(VLMVector4Cross(b - a, c - a));
}

// A hand's shape standing on its edge and pressed into the floor is laid flat
// by the roll steps onto its palm or onto its back, whichever way it leans: a
// degree either side of upright throws it over by up to 180 degrees, and a
// degree off upright, 8 mm deeper turned it by 42 degrees. So the tip of the
// shape over the whole roll (the turn of its plane) is held to
// kTipPerUprightAngle times the goal's angle from upright: none upright, 1.7
// degrees a degree off it, a flat lay (90 degrees) from 33 degrees off. Unlike
// a flat lay in full wherever the goal stands a few degrees off upright, this
// bounds the hand by how far its goal moves from one frame to the next, not by
// where the goal stands: an allowance that reaches a flat lay within a few
// degrees must grow by tens of degrees for each degree the goal moves. The
// roll's whole turn and move are scaled alike, and the goal is raised by what
// that leaves of the shape below the floor. A turn within the shape's plane
// (the fingers dipping on a hand pointing down) tips nothing and is kept.
// Scaling each step by how steeply its triangle stands instead (none upright,
// in full from 45 degrees off) left a hand landing on its edge stood up and
// raised: over a sweep of falls (16,650 rolls) its wrist ended over 1 cm
// further from its goal than laid flat in full in 1,742, by up to 4.5 cm
// (0.30 cm on average); held here, 0.08 on average, the hand turning at most
// 9.1 degrees a frame beyond its goal on that sweep (laid flat in full: 42.2).
void LimitTipNearUpright(const RollShape& shape, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         const VLMTransformTQS& start)
{
    VLMTransformTQS& goal = block->slots[shape.slot];
    const VLMVector4 before = ShapeNormal(shape, extremity, start);
    const VLMVector4 after = ShapeNormal(shape, extremity, goal);
    if (!(VLMDotFloat(before, before) > 0.0f) || !(VLMDotFloat(after, after) > 0.0f))
        return;
    const float up = std::fabs(before.y);
    const float upright = std::atan2(up, std::sqrt(VLMMaxFloat(1.0f - up * up, 0.0f)));
    const float tip = std::acos(VLMClampFloat(VLMDotFloat(before, after), -1.0f, 1.0f));
    const float most = kTipPerUprightAngle * upright;
    if (!(tip > most))
        return;
    const float share = most / tip;
    const VLMVector4 from = VLMQuatNormalize(start.q);
    VLMVector4 turn = VLMQuatMultiply(VLMQuatNormalize(goal.q), VLMVector4NegateXYZ(from));
    turn = turn.w < 0.0f ? VLMVector4Negate(turn) : turn;
    const VLMVector4 v = VLMVector4ClearW(turn);
    const float angle = 2.0f * std::atan2(std::sqrt(VLMDotFloat(v, v)), turn.w);
    goal.q = VLMQuatNormalize(VLMQuatMultiply(VLMQuatAboutAxis(VLMSafeDirection(v), share * angle), from));
    goal.t = start.t + (goal.t - start.t) * share;
    const VLMMatrix44 n = GoalMatrix(goal, shape.hoof, HoofMatrix(extremity));
    float low = kHighest;
    for (const VLMVector4& corner : shape.local)
        low = VLMMinFloat(low, VLMMatrix44MulVector(n, corner).y);
    if (low < block->frame.t.y)
        goal.t.y += block->frame.t.y - low;
}

// One step of the roll (VLMContactRollStep); spareSteep: a triangle standing
// more than 45 degrees from level takes only a share of the turn.
void RollStep(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
              const VLMPropertySetState* properties, bool spareSteep);

// A foot whose toes' front is left `below` the floor by their turn, pitched
// about its ankle's cross axis toward toe up (the shape's front toward its
// top) until the front meets the floor, within kMostPitch and the rise bound
// above; the ankle goal stays where it is, the toe goal turns and moves with
// the foot. The rest of the shape (heel and middle) may sink no deeper than
// the front is left and than it already was, so that the raise after it
// lifts the whole shape onto the floor: the pitch is halved toward the
// largest that keeps to that. Answers what it leaves of the front below the
// floor.
float PitchFootToFloor(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                       const VLMPropertySetState* properties, float below)
{
    constexpr float kTurn = 2.0f * VLMConstant::FloatPi;
    VLMTransformTQS& a = block->slots[0];
    VLMTransformTQS& b = block->slots[1];
    const float floor = block->frame.t.y;
    VLMVector4 p[2];
    FrontPoints(character, extremity, block, properties, p);
    const VLMVector4 qa = VLMQuatNormalize(a.q);
    const VLMVector4 axis = VLMQuatAxisX(qa);
    const VLMVector4 v = VLMVector4ClearW((p[0].y < p[1].y ? p[0] : p[1]) - a.t);
    const VLMVector4 u = v - axis * VLMVector4Dot3(v, axis).x;
    // Pitched by d toe up (a turn by -d about the axis), the lower front
    // point rises by uy (cos d - 1) + wy sin d: r cos(d - top) - uy.
    const float uy = u.y, wy = -VLMVector4Cross(axis, u).y, r = std::sqrt(uy * uy + wy * wy);
    if (!(r > 0.0f))
        return below;
    float top = VLMFastAtan2(wy, uy);
    top = top < 0.0f ? top + kTurn : top;
    const float m = VLMClampFloat((uy + below) / r, -1.0f, 1.0f);
    const float most = VLMMinFloat(kMostPitch, below / (kLeastRise * r));
    const float wanted = VLMClampFloat(top - VLMFastAtan2(std::sqrt(1.0f - m * m), m), 0.0f, most);
    const VLMLimbGoalBlock kept = *block;
    float front = below, rest = 0.0f;
    const auto pitch = [&](float d) {
        *block = kept;
        const VLMVector4 turn = VLMQuatAboutAxis(axis, -d);
        a.q = VLMQuatNormalize(VLMQuatMultiply(turn, qa));
        b.q = VLMQuatNormalize(VLMQuatMultiply(turn, VLMQuatNormalize(kept.slots[1].q)));
        b.t = a.t + VLMQuatRotate(turn, VLMVector4ClearW(kept.slots[1].t - a.t));
        FrontPoints(character, extremity, block, properties, p);
        front = floor - VLMMinFloat(p[0].y, p[1].y);
        rest = -kHighest;
        for (int i = 0; i < 4; ++i) {  // the points the foot's own frame carries
            VLMVector4 c;
            VLMContactPoint(character, &c, extremity, properties, i, &a.t, &a.q, &a.s, &b.t, &b.q, &b.s);
            rest = VLMMaxFloat(rest, floor - c.y);
        }
    };
    pitch(0.0f);
    const float already = VLMMaxFloat(rest, 0.0f);
    pitch(wanted);
    if (rest > VLMMaxFloat(front, already)) {
        float from = 0.0f, to = wanted;
        for (int k = 0; k < 10; ++k) {
            const float mid = 0.5f * (from + to);
            pitch(mid);
            (rest > VLMMaxFloat(front, already) ? to : from) = mid;
        }
        pitch(from);
    }
    return front;
}

}  // namespace

// The front part turned about its own cross axis through the base joint so
// that its front points come up to the floor, then both goals raised by what
// the turn leaves below it.
// This goes beyond the fixed four front steps, which lift the points by
// tilting the triangle of the base joint and the two points: when that
// triangle stands upright (a finger or toe pointing straight down) raising the
// points only reshapes it in its own plane, so the steps barely turn it and
// the points stay below; the turn here reaches the floor in one go.
// Which way to turn is where the care lies. The least turn of either sense
// swaps sense where the part points straight down and the two turns are about
// equal, and drops to no turn at all where the nearer sense runs out of its
// range: a small change of the pose then throws the part from one side to the
// other. So the two senses compete: each bids its turn up to the floor (what
// lies beyond the part's range counting double) and the lower bid wins. A
// clear winner turns exactly up to the floor (or to the end of its range), as
// the least turn did; only in a band where the bids come close does the turn
// shrink, to nothing as they meet, so the sense changes over without a jump.
// What the turn leaves of the front below the floor is then met by pitching
// a foot about its ankle, toe up (PitchFootToFloor), and what that leaves by
// raising both goals: where the senses tie, only a jump avoids both a front
// below the floor and a foot or hand moved off its goal, and the floor wins.
// So no front point ends below the floor, even where no turn in range reaches
// it (the least turn left it as it was), and a foot or hand is moved off its
// goal only inside the band. Unlike raising both goals by all that is left, a
// foot's pitch keeps its ankle on its goal: the band is where the turn moves
// slower than the pose, and raised there the ankle missed its goal wherever a
// toe-off's front hung below the floor (on a take whose toes flick through
// the tie, 0.22 and 0.40 cm on average, at worst 5.7); pitched, 0.18 and 0.30,
// at worst 2.8, the foot turning at most 9 degrees a frame beyond its
// source's.
// The range is the one the least turn kept: bent against the end goal no
// more than a quarter turn, or no further than it already is, never round
// through the fold.
void VLMLiftFrontAboutHinge(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                            const VLMPropertySetState* properties)
{
    constexpr float kPi = VLMConstant::FloatPi, kHalfPi = VLMConstant::FloatHalfPi;
    // How much more a bid's turn beyond the range weighs than its turn within.
    constexpr float kBeyondRange = 1.0f;
    // How many times as fast as the pose the turn may move where the senses
    // change over: the narrower the band, the fewer the poses that raise the
    // foot or hand, but the quicker the swap. On a real walk (a toe-off turns
    // the toe up to 16 degrees a frame at 120 frames a second) the toe turned
    // up to 24.7 degrees a frame beyond its source's turn at twice the pose's
    // pace, 17.1 at 1.3 times, 12.9 at the pose's own; at 1.3 the band ends
    // where the losing bid is about 2.5 times the winner's, not twice.
    // A source's toe that bends 27 degrees down for one frame and back carries
    // its front across the tie within a frame, and the swap adds to the toe's
    // turn what the band lets it: at 1.3 times the pose's pace 34.9 degrees
    // beyond the source's turn (the front hanging a centimetre below the floor
    // at the tie), at 0.45 times 17.7. So where the front hangs only a little
    // below the floor (the arc of its circle below the floor a quarter turn or
    // less), the turn moves at kSlow times the pose's pace, the band is wide
    // and what it leaves below the floor is little; where the front hangs deep
    // (half its circle below the floor or more, a foot pointing its toes down
    // into it) at kQuick as before, so that a clear winner still turns all the
    // way up to the floor; between, in proportion to the arc.
    constexpr float kQuick = 1.3f, kSlow = 0.45f;
    constexpr float kSlowArc = kHalfPi, kQuickArc = kPi;
    VLMTransformTQS& a = block->slots[0];
    VLMTransformTQS& b = block->slots[1];
    const VLMVector4 q = VLMQuatNormalize(b.q);
    const VLMVector4 h = extremity->isFoot != 0 ? VLMQuatAxisX(q) : VLMQuatAxisZ(q);
    // The signed bend of the part behind the end goal about h: a turn by t
    // leaves it bent by bend - t. Its range of turns [lo, hi] holds 0.
    const VLMVector4 back = VLMQuatMultiply(a.q, VLMVector4NegateXYZ(q));
    const float along = VLMVector4Dot3(back, h).x;
    float bend = 0.0f;
    if (along != 0.0f || back.w != 0.0f) {
        bend = 2.0f * VLMFastAtan2(along, back.w);
        bend = bend > kPi ? bend - 2.0f * kPi : bend <= -kPi ? bend + 2.0f * kPi : bend;
    }
    const float hi = VLMClampFloat(bend + kHalfPi, 0.0f, kPi), lo = VLMClampFloat(bend - kHalfPi, -kPi, 0.0f);

    // The two front points differ only along h, so they share one circle
    // about it: p(t).y = c + rho cos(t - phi). The lower one decides.
    VLMVector4 p[2];
    FrontPoints(character, extremity, block, properties, p);
    const float floor = block->frame.t.y;
    float g = -kHighest, ay = 0.0f, by = 0.0f, radius = 0.0f;
    for (const VLMVector4& point : p) {
        const VLMVector4 v = point - b.t;
        const float offset = VLMVector4Dot3(v, h).x;
        const float gi = floor - (b.t.y + offset * h.y);
        if (gi > g) {
            const VLMVector4 u = v - h * offset;
            g = gi, ay = u.y, by = VLMVector4Cross(h, u).y, radius = VLMLengthFloat(u);
        }
    }
    if (!(ay < g))
        return;  // up already
    const float rho = std::sqrt(ay * ay + by * by);
    float t = 0.0f;
    if (rho > 0.0f) {
        // phi: the turn to the top of the circle; alpha: the half width of
        // the arc above the floor about it (0 when the floor is out of reach:
        // the bid then goes to the top, the nearest the point comes).
        const float phi = VLMFastAtan2(by, ay);
        const float m = VLMClampFloat(g / rho, -1.0f, 1.0f);
        const float alpha = VLMFastAtan2(std::sqrt(1.0f - m * m), m);
        const float up = phi >= 0.0f ? phi : phi + 2.0f * kPi;  // to the top the positive way, 0..2 pi
        const float plus = VLMMaxFloat(up - alpha, 0.0f), minus = VLMMaxFloat(2.0f * kPi - up - alpha, 0.0f);
        const float bidPlus = plus + kBeyondRange * VLMMaxFloat(plus - hi, 0.0f);
        const float bidMinus = minus + kBeyondRange * VLMMaxFloat(minus + lo, 0.0f);
        // The lead moves twice as fast as phi, and phi as fast as the pose
        // turns divided by rho / radius (the sine of h's tilt from upright,
        // where the circle stops changing the height): scaled by the share
        // it moves no faster than the pose does. The winner turns by kQuick
        // times the scaled lead, up to all its bid asks within its range: a
        // clear winner goes all the way, and only in the band where the
        // scaled lead is under 1 / kQuick of its turn does the turn fall off,
        // to nothing where the bids meet, there moving at most kQuick times
        // as fast as the pose. A turn no faster than the pose stopped a clear
        // winner part of the way (a foot pitched straight down, its ankle
        // goal 6 over the floor: 65 of the 82 degrees to the floor); much
        // faster, the swap between the senses outruns the pose's own turn.
        const float lead = bidMinus - bidPlus;
        const float arc = 2.0f * (kPi - alpha);  // of the circle below the floor
        const float pace =
            kSlow + (kQuick - kSlow) * VLMClampFloat((arc - kSlowArc) / (kQuickArc - kSlowArc), 0.0f, 1.0f);
        const float share = pace * 0.5f * rho / radius;
        const float winner = lead > 0.0f ? VLMMinFloat(plus, hi) : -VLMMinFloat(minus, -lo);
        t = lead > 0.0f ? VLMMinFloat(share * lead, winner) : VLMMaxFloat(share * lead, winner);
    }
    if (t != 0.0f)
        b.q = VLMQuatNormalize(VLMQuatMultiply(VLMQuatAboutAxis(h, t), q));
    FrontPoints(character, extremity, block, properties, p);
    float below = floor - VLMMinFloat(p[0].y, p[1].y);
    if (below > 0.0f && extremity->isFoot != 0)
        below = PitchFootToFloor(character, extremity, block, properties, below);
    if (below > 0.0f)
        a.t.y += below, b.t.y += below;
}

VLMVector4* VLMTriangleFrame(VLMVector4 out[4], const VLMVector4& a, const VLMVector4& b, const VLMVector4& c)
{
    const VLMVector4 n = VLMVector4Cross(b - a, c - a);
    if (VLMDotFloat(n, n) > 0.0f) {
        VLMVector4Normalize(out[0], n);
        const VLMVector4 spread = b + c - (a + a);
        VLMVector4Normalize(out[2], VLMVector4Cross(out[0], spread));
        out[1] = VLMVector4Cross(out[2], out[0]);
    } else {
        out[0] = VLMVector4{1, 0, 0, 0}, out[1] = VLMVector4{0, 1, 0, 0}, out[2] = VLMVector4{0, 0, 1, 0};
    }
    out[3] = (a + b + c) * 0.33333334f;
    return out;
}

VLMVector4& VLMVector4Normalize(VLMVector4& out, const VLMVector4& v) { return out = VLMQuatNormalize(v); }

VLMVector4& VLMQuatConjugateMultiply(VLMVector4& out, const VLMVector4& a, const VLMVector4& b)
{
    return out = VLMQuatConjugateMul(a, b);
}

VLMVector4& VLMQuatRotateVector(VLMVector4& out, const VLMVector4& q, const VLMVector4& v)
{
    const VLMVector4 u = VLMVector4ClearW(q);
    const float w = q.w;
    const VLMVector4 along = (2.0f * VLMVector4Dot3(u, v).x) * u;
    const VLMVector4 kept = (2.0f * w * w - 1.0f) * v;
    return out = along + kept + (2.0f * w) * VLMVector4Cross(u, v);
}

VLMMatrix44& VLMMatrixMultiplyTransposed(VLMMatrix44& out, const VLMMatrix44& a, const VLMMatrix44& b)
{
    VLMMatrix44 m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            (&m.r[i].x)[j] = VLMDotFloat(b.r[i], a.r[j]);
    return out = m;
}

bool VLMMatrixMultiplyInverse(VLMMatrix44& out, const VLMMatrix44& a, const VLMMatrix44& b)
{
    const auto e = [&a](int i, int j) { return (&a.r[i].x)[j]; };
    // 2x2 minors of the upper two rows (s) and of the lower two rows (c).
    const float s0 = e(0, 0) * e(1, 1) - e(1, 0) * e(0, 1), s1 = e(0, 0) * e(1, 2) - e(1, 0) * e(0, 2);
    const float s2 = e(0, 0) * e(1, 3) - e(1, 0) * e(0, 3), s3 = e(0, 1) * e(1, 2) - e(1, 1) * e(0, 2);
    const float s4 = e(0, 1) * e(1, 3) - e(1, 1) * e(0, 3), s5 = e(0, 2) * e(1, 3) - e(1, 2) * e(0, 3);
    const float c0 = e(2, 0) * e(3, 1) - e(3, 0) * e(2, 1), c1 = e(2, 0) * e(3, 2) - e(3, 0) * e(2, 2);
    const float c2 = e(2, 0) * e(3, 3) - e(3, 0) * e(2, 3), c3 = e(2, 1) * e(3, 2) - e(3, 1) * e(2, 2);
    const float c4 = e(2, 1) * e(3, 3) - e(3, 1) * e(2, 3), c5 = e(2, 2) * e(3, 3) - e(3, 2) * e(2, 3);
    const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (!(det != 0.0f) || !std::isfinite(det))
        return false;
    const float k = 1.0f / det;
    const VLMMatrix44 inverse = {{
        {(e(1, 1) * c5 - e(1, 2) * c4 + e(1, 3) * c3) * k, (-e(0, 1) * c5 + e(0, 2) * c4 - e(0, 3) * c3) * k,
         (e(3, 1) * s5 - e(3, 2) * s4 + e(3, 3) * s3) * k, (-e(2, 1) * s5 + e(2, 2) * s4 - e(2, 3) * s3) * k},
        {(-e(1, 0) * c5 + e(1, 2) * c2 - e(1, 3) * c1) * k, (e(0, 0) * c5 - e(0, 2) * c2 + e(0, 3) * c1) * k,
         (-e(3, 0) * s5 + e(3, 2) * s2 - e(3, 3) * s1) * k, (e(2, 0) * s5 - e(2, 2) * s2 + e(2, 3) * s1) * k},
        {(e(1, 0) * c4 - e(1, 1) * c2 + e(1, 3) * c0) * k, (-e(0, 0) * c4 + e(0, 1) * c2 - e(0, 3) * c0) * k,
         (e(3, 0) * s4 - e(3, 1) * s2 + e(3, 3) * s0) * k, (-e(2, 0) * s4 + e(2, 1) * s2 - e(2, 3) * s0) * k},
        {(-e(1, 0) * c3 + e(1, 1) * c1 - e(1, 2) * c0) * k, (e(0, 0) * c3 - e(0, 1) * c1 + e(0, 2) * c0) * k,
         (-e(3, 0) * s3 + e(3, 1) * s1 - e(3, 2) * s0) * k, (e(2, 0) * s3 - e(2, 1) * s1 + e(2, 2) * s0) * k},
    }};
    out = VLMMatrix44Multiply(inverse, b);
    return true;
}

void VLMRunLimbSubSolver(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         int kind, const VLMPropertySetState* properties)
{
    if (kind == 0)
        VLMClampContactHeights(character, extremity, block, properties);
    else if (kind == 1)
        VLMSolveContactRoll(character, extremity, block, properties);
    else if (kind == 2)
        VLMLiftContactShape(character, extremity, block, properties);
}

void VLMClampContactHeights(const VLMCharacter*, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                            const VLMPropertySetState* properties)
{
    const float k = Value(properties, extremity, kStiffness), floor = block->frame.t.y;
    float& a = block->slots[0].t.y;
    float& b = block->slots[1].t.y;
    const float ma = VLMMaxFloat(floor, a), mb = VLMMaxFloat(floor, b);
    const float below = VLMMaxFloat(ma - a, mb - b);
    a = ma + k * (below + a - ma);
    b = mb + k * (below + b - mb);
}

void VLMLiftContactShape(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         const VLMPropertySetState* properties)
{
    const int count = Rounded(properties, extremity, kType) == 0 ? 6 : 4;
    float lowest = kHighest;
    if (VLMPropertyModeAt(properties, int(extremity->properties[kFloorContact])) != 0) {
        const VLMTransformTQS& a = block->slots[0];
        const VLMTransformTQS& b = block->slots[1];
        for (int i = 0; i < count; ++i) {
            VLMVector4 p;
            VLMContactPoint(character, &p, extremity, properties, i, &a.t, &a.q, &a.s, &b.t, &b.q, &b.s);
            lowest = VLMMinFloat(lowest, p.y);
        }
    }
    const float d = block->frame.t.y - lowest;
    if (d > 0.0f) {
        block->slots[0].t.y += d;
        block->slots[1].t.y += d;
    }
}

void VLMSolveContactRoll(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         const VLMPropertySetState* properties)
{
    const bool present = BasePresent(character, extremity);
    const int type = Rounded(properties, extremity, kType), pivot = Rounded(properties, extremity, kPivot);
    const bool carry = !(present && (type == 2 || type == 3));
    const bool front = present && type == 0;
    VLMTransformTQS& a = block->slots[0];
    VLMTransformTQS& b = block->slots[1];
    VLMVector4 point = VLMVector4Zero(), relT = VLMVector4Zero(), relQ = VLMConstant::IdentityQuat;
    if (carry) {
        if (pivot == 1)
            point = a.t;
        else if (pivot == 2 && present)
            point = b.t;
        if (present) {
            relT = Rotate(VLMVector4NegateXYZ(a.q), b.t - a.t);
            VLMQuatConjugateMultiply(relQ, a.q, b.q);
        }
    }
    const RollShape shape = RollShapeOf(character, extremity, properties);
    const VLMTransformTQS start = block->slots[shape.slot];
    for (int i = 0; i < kMaxRollIterations && (i < kRollIterations || RollCornerBelow(shape, extremity, block)); ++i)
        RollStep(character, extremity, block, properties, extremity->isFoot != 0);
    if (extremity->isFoot == 0)
        LimitTipNearUpright(shape, extremity, block, start);
    if (carry && present) {
        b.t = a.t + Rotate(a.q, relT);
        b.q = VLMQuatMultiply(a.q, relQ);
        // The front part is not stepped onto the floor by tilting the
        // triangle of the base joint and its front points: near a part
        // pointing down such steps swing it by tens of degrees between two
        // close poses (and gain little each, so how many ran would swing it
        // more). The lift below turns it about its hinge directly, and only
        // as far as a small change of the pose allows.
        if (front && FrontPointBelow(character, extremity, block, properties))
            VLMLiftFrontAboutHinge(character, extremity, block, properties);
    }
    if (!carry || !(pivot == 1 || (pivot == 2 && present)))
        return;
    const VLMVector4 d = point - (pivot == 1 ? a.t : b.t);
    a.t.x += d.x;
    a.t.z += d.z;
}

void VLMContactRollStep(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                        const VLMPropertySetState* properties)
{
    RollStep(character, extremity, block, properties, false);
}

namespace {

void RollStep(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
              const VLMPropertySetState* properties, bool spareSteep)
{
    const RollShape shape = RollShapeOf(character, extremity, properties);
    VLMTransformTQS& goal = block->slots[shape.slot];
    const float floor = block->frame.t.y;
    const VLMVector4* local = shape.local;
    const bool hoof = shape.hoof;
    const VLMMatrix44 h = HoofMatrix(extremity);
    const VLMMatrix44 unturn = VLMMatrix44Transpose(h);
    static constexpr int kTriangles[2][3] = {{0, 1, 2}, {1, 2, 3}};
    for (const auto& triangle : kTriangles) {
        const VLMMatrix44 n = GoalMatrix(goal, hoof, h);
        VLMVector4 p[3];
        bool below = false;
        for (int i = 0; i < 3; ++i) {
            p[i] = VLMMatrix44MulVector(n, local[triangle[i]]);
            below = below || p[i].y < floor;
        }
        if (!below)
            continue;
        VLMVector4 f1[4], f2[4];
        VLMTriangleFrame(f1, p[0], p[1], p[2]);
        for (VLMVector4& q : p)
            q.y = VLMMaxFloat(q.y, floor);
        VLMTriangleFrame(f2, p[0], p[1], p[2]);
        VLMMatrix44 moved;
        if (!VLMMatrixMultiplyInverse(moved, VLMMatrix44FromRows(f1[0], f1[1], f1[2], f1[3]), n))
            continue;  // a degenerate frame: this triangle is left as it is
        moved = VLMMatrix44Multiply(VLMMatrix44FromRows(f2[0], f2[1], f2[2], f2[3]), moved);
        if (hoof)
            moved = VLMMatrix44Multiply(moved, unturn);
        // The rows carry the scale: divided by their lengths before the rotation is read.
        VLMVector4 t, q, scale;
        VLMMatrix44ToTQS(t, q, scale, moved);
        // A triangle standing steeply is laid flat by a turn that swaps sense
        // where it stands upright: its raised points fall onto one line and
        // past it their order on the floor flips, so a foot landing on its
        // edge would roll onto its sole in one frame and onto its back in the
        // next. Standing more than 45 degrees from level, a foot's triangle
        // takes only a share of the turn (and of the move), the less the
        // steeper it stands, nothing upright, and the goal is raised by what
        // that leaves of the triangle below the floor. (A hand is rolled in
        // full and its tip limited over the whole roll: LimitTipNearUpright.
        // Rolled in full, the toe of a foot pitched toe down, lifted about
        // its hinge after the roll, turned up to 1 degree beyond its bound.)
        const float w = spareSteep ? VLMMinFloat(std::fabs(f1[0].y) / kLevelEnough, 1.0f) : 1.0f;
        if (w < 1.0f) {
            q = VLMQuatNlerp(VLMQuatNormalize(goal.q), q, VLMVector4Splat(w));
            t = goal.t + (t - goal.t) * w;
            const VLMMatrix44 m = GoalMatrix({t, q, goal.s}, hoof, h);
            float low = kHighest;
            for (int i = 0; i < 3; ++i)
                low = VLMMinFloat(low, VLMMatrix44MulVector(m, local[triangle[i]]).y);
            if (low < floor)
                t.y += floor - low;
        }
        goal.t = t;
        goal.q = q;
    }
}

}  // namespace

void VLMContactFrontStep(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         const VLMPropertySetState* properties, const VLMVector4& restRotation)
{
    const VLMTransformTQS& a = block->slots[0];
    VLMTransformTQS& b = block->slots[1];
    const float floor = block->frame.t.y;
    VLMVector4 p[2];
    FrontPoints(character, extremity, block, properties, p);
    if (!(p[0].y < floor || p[1].y < floor))
        return;
    const VLMVector4 o = b.t + VLMVector4{0, 0, 0, 1};
    VLMVector4 f1[4], f2[4];
    VLMTriangleFrame(f1, o, p[0], p[1]);
    p[0].y = VLMMaxFloat(p[0].y, floor);
    p[1].y = VLMMaxFloat(p[1].y, floor);
    VLMTriangleFrame(f2, o, p[0], p[1]);
    VLMMatrix44 n = VLMQuatToMatrix44(VLMQuatNormalize(b.q));
    n.r[3] = o;
    VLMMatrix44 m;
    if (!VLMMatrixMultiplyInverse(m, VLMMatrix44FromRows(f1[0], f1[1], f1[2], f1[3]), n))
        return;
    m = VLMMatrix44Multiply(VLMMatrix44FromRows(f2[0], f2[1], f2[2], f2[3]), m);
    const VLMVector4 q = VLMQuatFromRotationRows(m.r[0], m.r[1], m.r[2]);

    // The hinge: the front part turns only about the rest rotation's z axis.
    VLMVector4 d;
    VLMQuatConjugateMultiply(d, a.q, q);
    const VLMVector4 ad = VLMQuatAxisX(d), az = VLMQuatAxisZ(restRotation);
    const VLMVector4 across = ad - VLMVector4Dot3(ad, az) * az;
    b.q = VLMQuatMultiply(q, VLMShortestArc(ad, across));
}
