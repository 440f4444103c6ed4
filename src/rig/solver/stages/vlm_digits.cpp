#include "rig/solver/stages/vlm_digits.h"

#include "rig/solver/stages/vlm_contact_solve.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

#include <cmath>

namespace {

// Positions in an extremity's property list.
enum { kFirstTip = 12, kContactMode = 20, kRollStiffness = 21 };

constexpr int kIterations = 4;

int Joint(const VLMExtremity* e, int digit, int j) { return int(e->digitJoints[digit][j]); }
int TipIndex(const VLMExtremity* e, int digit) { return e->lastJoint[digit]; }

VLMStateRow& Row(const VLMCharacter* c, VLMStateRow* rows, int id) { return *VLMNodeRow(c, rows, id); }
const VLMStateRow& Row(const VLMCharacter* c, const VLMStateRow* rows, int id) { return *VLMNodeRow(c, rows, id); }
const VLMNodeRecord* Record(const VLMCharacter* c, int id) { return VLMCharacterNodeRecord(c, id); }

VLMVector4 Rotate(const VLMVector4& q, const VLMVector4& v)
{
    VLMVector4 out;
    return VLMQuatRotateVector(out, q, v);
}

float Length4(const VLMVector4& v) { return VLMVector4Length4(v).x; }

// A joint's world bend axis: the third post-rotation row turned by its rotation.
VLMVector4 BendAxis(const VLMCharacter* c, const VLMStateRow* rows, int id)
{
    return Rotate(Row(c, rows, id).globalQ, Record(c, id)->rotation.postAxes[2]);
}

// Local from global, limit clamp, the subtree's globals.
void Commit(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(c);
    VLMNodeGlobalToLocal(Record(c, id), rows, records);
    VLMClampNodeToLimits(Record(c, id), rows, VLMCharacterRotations(c));
    VLMSubtreeLocalToGlobal(Record(c, id), rows, records);
}

void Swing(const VLMCharacter* c, VLMStateRow* rows, int id, const VLMVector4& from, const VLMVector4& to)
{
    VLMStateRow& row = Row(c, rows, id);
    row.globalQ = VLMQuatMultiply(VLMShortestArc(from, to), row.globalQ);
    Commit(c, rows, id);
}

VLMVector4 EulerOf(const VLMCharacter* c, const VLMStateRow* rows, int id)
{
    VLMVector4 angles;
    VLMNodeEulerFromRotation(&Record(c, id)->rotation, angles, Row(c, rows, id).localQ);
    return angles;
}

// The local rotation rebuilt from angles and clamped.
void SetEuler(const VLMCharacter* c, VLMStateRow* rows, int id, const VLMVector4& angles)
{
    VLMNodeRotationFromEuler(&Record(c, id)->rotation, Row(c, rows, id).localQ, angles);
    VLMClampNodeToLimits(Record(c, id), rows, VLMCharacterRotations(c));
}

int GoalIndex(const VLMExtremity* e, std::uint8_t flag, int digit)
{
    return flag != 0 ? 2 + digit : e->digitEffectors[digit];
}

float Acos(float x) { return VLMFastAcos(VLMVector4Splat(VLMClampFloat(x, -1.0f, 1.0f))).x; }

float InteriorAngle(float a, float b, float x) { return Acos(((a * a + b * b) - x * x) / ((2.0f * a) * b)); }

}  // namespace

// --- Digit chains on the floor -----------------------------------------------------------------

float VLMDigitTipRadius(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                        int digit, const VLMPropertySetState* properties)
{
    const VLMVector4& s = Row(character, rows, Joint(extremity, digit, TipIndex(extremity, digit))).globalS;
    return VLMPropertyValueAt(properties, int(extremity->properties[kFirstTip + digit])) *
           (((s.x + s.y) + s.z) * 0.33333334f);
}

VLMVector4* VLMDigitLength(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                           const VLMStateRow* rows, int digit)
{
    float length = 0.0f;
    for (int j = 1; j <= TipIndex(extremity, digit); ++j)
        length += Length4(Row(character, rows, Joint(extremity, digit, j)).localT);
    *out = VLMVector4Splat(length);
    return out;
}

void VLMDigitContactSticky(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                           int digit, const VLMVector4& floor, VLMVector4& target,
                           const VLMPropertySetState* properties)
{
    const float h = floor.x + VLMDigitTipRadius(character, extremity, rows, digit, properties);
    target.y = VLMMaxFloat(target.y, h);
}

void VLMDigitContactSpread(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                           int digit, const VLMVector4& floor, VLMVector4& target, const VLMVector4& reach,
                           const VLMPropertySetState* properties)
{
    const float h = floor.x + VLMDigitTipRadius(character, extremity, rows, digit, properties);
    const VLMVector4& root = Row(character, rows, Joint(extremity, digit, 0)).globalT;
    const VLMVector4 d = target - root;
    const VLMVector4 flat = {d.x, 0.0f, d.z, 0.0f};
    const float flat2 = VLMDotFloat(flat, flat);
    if (!(target.y < h) || !(flat2 > 0.0f))
        return;
    const VLMVector4 u = flat * VLMVector4RSqrt(VLMVector4Splat(flat2));
    const float m = VLMMinFloat(VLMDotFloat(d, d), reach.x * reach.x);
    const float e = (root.y - h) * (root.y - h);
    const float s = e < m ? std::sqrt(m - e) : 0.0f;
    target = VLMVector4{root.x + s * u.x, h, root.z + s * u.z, 0.0f};
}

void VLMApplyDigitContact(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                          int digit, const VLMVector4& floor, VLMVector4& target, const VLMVector4& reach,
                          const VLMPropertySetState* properties)
{
    const int mode = VLMFloatToIntRound(VLMPropertyValueAt(properties, int(extremity->properties[kContactMode])));
    if (mode == 0) {
        VLMDigitContactSticky(character, extremity, rows, digit, floor, target, properties);
    } else if (mode == 1) {
        VLMDigitContactSpread(character, extremity, rows, digit, floor, target, reach, properties);
    } else if (mode == 2) {
        VLMVector4 sticky = target, spread = target;
        VLMDigitContactSticky(character, extremity, rows, digit, floor, sticky, properties);
        VLMDigitContactSpread(character, extremity, rows, digit, floor, spread, reach, properties);
        target = (sticky + spread) * VLMConstant::Half;
    }
}

void VLMSolveDigitChains(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                         VLMLimbContactRecord* record, const VLMPropertySetState* properties)
{
    const VLMVector4 k = VLMVector4Splat(VLMPropertyValueAt(properties, int(extremity->properties[kRollStiffness])));
    const VLMVector4 floor = VLMVector4SplatY(record->frame.t);
    for (int d = 0; d < 6; ++d) {
        if (TipIndex(extremity, d) < 0)
            continue;
        VLMVector4 t = record->slots[2 + d].t;
        const VLMVector4 axis = BendAxis(character, rows, Joint(extremity, d, 0));
        VLMVector4 reach;
        VLMDigitLength(character, &reach, extremity, rows, d);
        for (int i = 0; i < kIterations; ++i) {
            VLMVector4 p = t;
            VLMApplyDigitContact(character, extremity, rows, d, floor, p, reach, properties);
            const VLMVector4 along = VLMVector4Dot4(p - t, axis);
            t = p - k * along * axis;
        }
        record->slots[2 + d].t = t;
    }
}

// --- Per-digit pass --------------------------------------------------------------------------------

VLMVector4* VLMDigitDirectionRotation(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                      const VLMStateRow* rows, int digit)
{
    const int n = TipIndex(extremity, digit);
    *out = Row(character, rows, Joint(extremity, digit, n < 2 ? n : 2)).globalQ;
    return out;
}

VLMVector4* VLMDigitTipPosition(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                const VLMStateRow* rows, int digit)
{
    *out = Row(character, rows, Joint(extremity, digit, TipIndex(extremity, digit))).globalT;
    return out;
}

VLMVector4* VLMDigitProximalLength(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                   const VLMStateRow* rows, int digit)
{
    *out = VLMVector4Splat(Length4(Row(character, rows, Joint(extremity, digit, 1)).localT) +
                           Length4(Row(character, rows, Joint(extremity, digit, 2)).localT));
    return out;
}

void VLMRotateDigitRoot(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows, int digit,
                        const VLMVector4& q)
{
    VLMStateRow& root = Row(character, rows, Joint(extremity, digit, 0));
    root.globalQ = VLMQuatMultiply(q, root.globalQ);
    Commit(character, rows, Joint(extremity, digit, 0));
}

VLMVector4* VLMDigitBendAngle(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                              const VLMStateRow* rows, int digit, const VLMVector4& q)
{
    const int root = Joint(extremity, digit, 0);
    const VLMVector4& q0 = Row(character, rows, root).globalQ;
    const VLMVector4& axis = Record(character, root)->rotation.postAxes[2];
    const VLMVector4 a = Rotate(q0, axis);
    const VLMVector4 turned = Rotate(VLMQuatMultiply(q, q0), axis);
    const VLMVector4 t = VLMQuatMultiply(VLMShortestArc(turned, a), q);
    float angle = 2.0f * Acos(t.w);
    if (VLMVector4Dot3(t, a).x < 0.0f)
        angle = -angle;
    *out = VLMVector4Splat(angle);
    return out;
}

void VLMBendDigitMiddle(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows, int digit,
                        const VLMVector4& target)
{
    const int j0 = Joint(extremity, digit, 0), j1 = Joint(extremity, digit, 1), j2 = Joint(extremity, digit, 2);
    // The axis about which the joint's limited angle turns, when it is limited.
    VLMVector4 axis = BendAxis(character, rows, j1);
    const VLMNodeRecord* record = Record(character, j1);
    if (record->rotationIndex != VLM_INDEX_NONE) {
        const VLMRotationPart& user = VLMCharacterRotations(character)[record->rotationIndex].part;
        if ((user.flags & VLM_ROTFLAG_LIMITS) != 0)
            axis = Rotate(
                Row(character, rows, j0).globalQ,
                Rotate(user.preRotation, Rotate(VLMVector4NegateXYZ(user.postRotation), record->rotation.postAxes[2])));
    }
    const VLMVector4& t0 = Row(character, rows, j0).globalT;
    const VLMVector4 u = Row(character, rows, j1).globalT - t0;
    const VLMVector4 v = Row(character, rows, j2).globalT - Row(character, rows, j1).globalT;
    const VLMVector4 ua = VLMVector4RejectFrom(axis, u), va = VLMVector4RejectFrom(axis, v);
    const float l1 = VLMLengthFloat(ua), l2 = VLMLengthFloat(va);
    if (!(l1 * l2 > 0.0f))
        return;
    const float h = VLMVector4Dot3(u, axis).x + VLMVector4Dot3(v, axis).x;
    const VLMVector4 toTarget = target - t0;
    const float g2 = VLMVector4Dot3(toTarget, toTarget).x, h2 = h * h;
    const float c = VLMMinFloat(VLMLengthFloat(ua + va), l1 + l2);
    const float d = VLMMinFloat(h2 < g2 ? std::sqrt(g2 - h2) : 0.0f, l1 + l2);
    VLMStateRow& row = Row(character, rows, j1);
    row.globalQ =
        VLMQuatMultiply(VLMQuatAboutAxis(axis, InteriorAngle(l1, l2, c) - InteriorAngle(l1, l2, d)), row.globalQ);
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    VLMNodeGlobalToLocal(record, rows, records);
    if (VLMClampNodeToLimits(record, rows, VLMCharacterRotations(character)))
        VLMNodeLocalToGlobal(record, rows, records);
}

void VLMBlendDigitTarget(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                         int digit, const VLMVector4& goal, VLMVector4& target)
{
    VLMVector4 t[4];
    for (int j = 0; j < 4; ++j)
        t[j] = Row(character, rows, Joint(extremity, digit, j)).globalT;
    target = t[2];
    // l2: the chain's length out to joint 2, which the digit reaches when straight.
    const float l2 = VLMLengthFloat(t[1] - t[0]) + VLMLengthFloat(t[2] - t[1]);
    const float l3 = VLMLengthFloat(t[3] - t[2]);
    const float d02 = VLMLengthFloat(t[2] - t[0]), d03 = VLMLengthFloat(t[3] - t[0]);
    if (!(d02 > 0.0f) || !(d03 > 0.0f))  // no direction to curl along
        return;
    const VLMVector4 u = VLMVector4Div(t[2] - t[0], VLMVector4Splat(d02));
    float e = VLMLengthFloat(goal - t[0]);
    const float r = e / d03;
    float h;
    if (r > 1.0f) {
        const float room = (l2 + l3) - d03;  // none for a straight digit: fully open
        const float f = room > 0.0f ? VLMClamp01Float((e - d03) / room) : 1.0f;
        h = VLMMinFloat(d02, l2) * (1.0f - f) + f * l2;
    } else {
        h = (1.0f - r) * 1.5f * l3 + r * d02;
    }
    const VLMVector4 toGoal = goal - t[0];
    if (!(e > 0.0f)) {  // a goal on the root: straight out along the digit
        target = t[0] + u * h;
        return;
    }
    const VLMVector4 along = VLMVector4Div(toGoal, VLMVector4Splat(e));
    e = VLMMinFloat(e, h + l3);
    const float eh = e * h;
    const float cosine = eh > 0.0f ? VLMMinFloat(std::fabs((l3 * l3 - h * h - e * e) / (2.0f * eh)), 1.0f) : 1.0f;
    // The angle at the root between joint 2 and the goal, taken from the goal's
    // direction toward the side joint 2 curls to, so that the last bone can
    // span the rest.
    const VLMVector4 a = BendAxis(character, rows, Joint(extremity, digit, 1));
    const float angle = VLMVector4Dot3(VLMVector4Cross(along, u), a).x < 0.0f ? -Acos(cosine) : Acos(cosine);
    target = t[0] + Rotate(VLMQuatAboutAxis(a, angle), along * h);
}

VLMVector4* VLMDigitGoal(const VLMCharacter*, VLMVector4* lane, const VLMExtremity* extremity,
                         const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag, int digit,
                         VLMVector4* translation)
{
    const int index = GoalIndex(extremity, contactFlag, digit);
    *translation = records[index].t;
    *lane = VLMVector4SplatX(lanes[index]);
    return lane;
}

void VLMStraightenDigitJoint(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows, int digit)
{
    if (TipIndex(extremity, digit) <= 1)
        return;
    const int j0 = Joint(extremity, digit, 0), j1 = Joint(extremity, digit, 1), j2 = Joint(extremity, digit, 2);
    const VLMVector4 a = BendAxis(character, rows, j1);
    const VLMVector4 u = VLMVector4RejectFrom(a, Row(character, rows, j1).globalT - Row(character, rows, j0).globalT);
    const VLMVector4 v = VLMVector4RejectFrom(a, Row(character, rows, j2).globalT - Row(character, rows, j1).globalT);
    if (!(VLMVector4Dot3(VLMVector4Cross(u, v), a).x < 0.0f))
        return;
    Swing(character, rows, j1, v, u);
}

void VLMReachDigitRotation(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                           const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag, int digit)
{
    const int n = TipIndex(extremity, digit), index = GoalIndex(extremity, contactFlag, digit);
    const float w = lanes[index].y;
    if (n < 0 || !(w > 0.0f))
        return;
    VLMVector4 q0, q1, b;
    VLMDigitDirectionRotation(character, &q0, extremity, rows, digit);
    const VLMVector4 q = VLMQuatReachToward(q0, records[index].q, w);
    if (n > 1) {
        VLMDigitBendAngle(character, &b, extremity, rows, digit, VLMQuatMultiply(q, VLMVector4NegateXYZ(q0)));
        float bend = 0.5f * b.x;
        if (n > 2) {
            bend = bend * 0.6666667f;
            VLMVector4 angles = EulerOf(character, rows, Joint(extremity, digit, 2));
            angles.z += bend;
            SetEuler(character, rows, Joint(extremity, digit, 2), angles);
        }
        const int j1 = Joint(extremity, digit, 1);
        VLMVector4 angles = EulerOf(character, rows, j1);
        angles.z = VLMMaxFloat(angles.z + bend, -45.0f);  // -45 against radians, as the rule has it
        SetEuler(character, rows, j1, angles);
        VLMSubtreeLocalToGlobal(Record(character, j1), rows, VLMCharacterNodeRecords(character));
    }
    VLMDigitDirectionRotation(character, &q1, extremity, rows, digit);
    VLMRotateDigitRoot(character, extremity, rows, digit, VLMQuatMultiply(q, VLMVector4NegateXYZ(q1)));
}

VLMVector4 VLMDigitJointTarget(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                               int digit, const VLMVector4& goal, float reachRotation)
{
    const int j0 = Joint(extremity, digit, 0), j2 = Joint(extremity, digit, 2), j3 = Joint(extremity, digit, 3);
    const VLMVector4 a = reachRotation > 0.0f
                             ? goal - Rotate(Row(character, rows, j2).globalQ, Row(character, rows, j3).localT)
                             : VLMVector4Zero();
    VLMVector4 b = VLMVector4Zero();
    if (reachRotation < 1.0f)
        VLMBlendDigitTarget(character, extremity, rows, digit, goal, b);
    VLMVector4 j = VLMVector4Lerp(b, a, VLMVector4Splat(reachRotation));
    VLMVector4 proximal;
    VLMDigitProximalLength(character, &proximal, extremity, rows, digit);
    const VLMVector4& root = Row(character, rows, j0).globalT;
    const VLMVector4 out = j - root;
    const float length = VLMLengthFloat(out);
    if (length > 0.0f)  // a target on the root has no direction to shorten along
        j = root + out * (VLMMinFloat(proximal.x, length) / length);
    return j;
}

void VLMReachDigitPosition(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                           const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag, int digit)
{
    const int n = TipIndex(extremity, digit), index = GoalIndex(extremity, contactFlag, digit);
    VLMVector4 lane, goal;
    VLMDigitGoal(character, &lane, extremity, records, lanes, contactFlag, digit, &goal);
    const float w0 = lane.x, w1 = lanes[index].y;
    if (n <= 0 || !(w0 > 0.0f))
        return;
    const int j0 = Joint(extremity, digit, 0), tip = Joint(extremity, digit, n);
    const auto position = [&](int id) { return Row(character, rows, id).globalT; };
    const VLMVector4 p = VLMVector4Lerp(position(tip), goal, lane);
    const auto swingRoot = [&] { Swing(character, rows, j0, position(tip) - position(j0), p - position(j0)); };
    VLMVector4 keptTip = VLMConstant::IdentityQuat;
    VLMVector4 point = p;
    if (n == 2) {
        swingRoot();
        keptTip = Row(character, rows, tip).globalQ;
    } else if (n == 3) {
        const int j2 = Joint(extremity, digit, 2);
        VLMVector4 angles = EulerOf(character, rows, j2);
        const float d = VLMLengthFloat(p - position(tip));
        if (angles.z < -45.0f && d > 0.0f) {  // -45 against radians, as the rule has it
            angles.z = -45.0f + (angles.z + 45.0f) * (1.0f - VLMMinFloat(d, 1.0f));
            SetEuler(character, rows, j2, angles);
            VLMSubtreeLocalToGlobal(Record(character, j2), rows, VLMCharacterNodeRecords(character));
        }
        swingRoot();
        point = VLMDigitJointTarget(character, extremity, rows, digit, p, w1);
    }
    if (n >= 2) {
        VLMBendDigitMiddle(character, extremity, rows, digit, point);
        const int j1 = Joint(extremity, digit, 1);
        const VLMNodeRecord* nodes = VLMCharacterNodeRecords(character);
        if (n == 2) {
            VLMSubtreeLocalToGlobal(Record(character, j1), rows, nodes);
        } else {
            const int j2 = Joint(extremity, digit, 2);
            VLMNodeLocalToGlobal(Record(character, j2), rows, nodes);
            Swing(character, rows, j0, position(j2) - position(j0), point - position(j0));
            Swing(character, rows, j2, position(tip) - position(j2), p - position(j2));
        }
    }
    swingRoot();
    if (n == 2) {
        Row(character, rows, tip).globalQ = keptTip;
        Commit(character, rows, tip);
    }
}

void VLMSolveDigit(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                   const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag, int digit)
{
    const int n = TipIndex(extremity, digit);
    if (n < 0)
        return;
    for (int j = 0; j <= n; ++j)
        if (!Has(character, Joint(extremity, digit, j)))
            return;
    VLMStraightenDigitJoint(character, extremity, rows, digit);
    VLMReachDigitRotation(character, extremity, rows, records, lanes, contactFlag, digit);
    VLMReachDigitPosition(character, extremity, rows, records, lanes, contactFlag, digit);
}
