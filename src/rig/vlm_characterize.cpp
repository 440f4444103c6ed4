// Rest-pose characterization: node frames from the rest geometry, default
// limits, the fold of the rest rotations into the rotation records, the limb
// blocks and their bend axes, and the bone-inversion flags.
#include "rig/vlm_characterize.h"

#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_names.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_tree_rules.h"
#include "rig/vlm_vector.h"

#include <cmath>

namespace {

constexpr int kNoRow = -1;

constexpr VLMVector4 kPlusX = {1.0f, 0.0f, 0.0f, 0.0f};
constexpr VLMVector4 kPlusY = {0.0f, 1.0f, 0.0f, 0.0f};
constexpr VLMVector4 kMinusY = {0.0f, -1.0f, 0.0f, 0.0f};
constexpr VLMVector4 kPlusZ = {0.0f, 0.0f, 1.0f, 0.0f};
constexpr VLMVector4 kMinusZ = {0.0f, 0.0f, -1.0f, 0.0f};

// Reference rows that the characterization reads.
enum : int {
    kRowHips = 0,
    kRowLeftUpLeg = 1,
    kRowLeftLeg = 2,
    kRowLeftToes = 4,
    kRowRightUpLeg = 5,
    kRowRightLeg = 6,
    kRowRightToes = 8,
    kRowLeftShoulder = 11,
    kRowLeftArm = 12,
    kRowLeftForeArm = 13,
    kRowLeftHand = 14,
    kRowRightShoulder = 15,
    kRowRightArm = 16,
    kRowRightForeArm = 17,
    kRowRightHand = 18,
    kRowHead = 20
};

VLMVector4 Direction(float x, float y, float z) { return VLMVector4{x, y, z, 0.0f}; }
VLMVector4 Direction(const float v[3]) { return VLMVector4{v[0], v[1], v[2], 0.0f}; }

// The unit direction of v's x, y and z, or false when v has no length that
// the refined reciprocal square root can handle (zero, denormal, overflowing
// or not finite): such a direction gives the identity frame, never NaN.
bool UnitDirection(const VLMVector4& v, VLMVector4& unit)
{
    const VLMVector4 d = Direction(v.x, v.y, v.z);
    const VLMVector4 lengthSq = VLMVector4Dot4(d, d);
    if (!(lengthSq.x > 0.0f))
        return false;
    const VLMVector4 u = VLMVector4Mul(d, VLMVector4RSqrt(lengthSq));
    if (!std::isfinite(u.x) || !std::isfinite(u.y) || !std::isfinite(u.z))
        return false;
    unit = u;
    return true;
}

// The unit quaternion of the rotation whose matrix has the columns x, y, z,
// built on the largest pivot the signs allow so that nothing cancels.
VLMVector4 QuatFromAxes(const VLMVector4& x, const VLMVector4& y, const VLMVector4& z)
{
    VLMVector4 q;
    if (x.x >= 0.0f) {
        if (y.y + z.z >= 0.0f)
            q = VLMVector4{y.z - z.y, z.x - x.z, x.y - y.x, 1.0f + x.x + y.y + z.z};
        else
            q = VLMVector4{1.0f + x.x - y.y - z.z, x.y + y.x, x.z + z.x, y.z - z.y};
    } else {
        if (y.y - z.z >= 0.0f)
            q = VLMVector4{x.y + y.x, 1.0f - x.x + y.y - z.z, y.z + z.y, z.x - x.z};
        else
            q = VLMVector4{x.z + z.x, y.z + z.y, 1.0f - x.x - y.y + z.z, x.y - y.x};
    }
    return VLMQuatNormalize(q);
}

VLMVector4 Conjugate(const VLMVector4& q) { return VLMVector4{-q.x, -q.y, -q.z, q.w}; }

// Default limits (degrees), order and twist of a group of nodes.
struct LimitRow {
    float minimum[3];
    float maximum[3];
    VLMRotationOrder order;
    float twist;
};
constexpr LimitRow kFootLimits = {{-30.0f, -15.0f, -45.0f}, {30.0f, 15.0f, 45.0f}, VLM_ROTATION_SPHERIC_XYZ, 30.0f};
constexpr LimitRow kRollLimits = {{-90.0f, 0.0f, 0.0f}, {90.0f, 0.0f, 0.0f}, VLM_ROTATION_EULER_XYZ, 0.0f};
constexpr LimitRow kSpineLimits = {{-30.0f, -30.0f, -30.0f}, {30.0f, 30.0f, 30.0f}, VLM_ROTATION_SPHERIC_XYZ, 0.0f};
constexpr LimitRow kThumbFirstLimits = {
    {-25.0f, -25.0f, -25.0f}, {25.0f, 25.0f, 25.0f}, VLM_ROTATION_SPHERIC_XYZ, -25.0f};
constexpr LimitRow kDigitFirstLimits = {
    {-25.0f, -25.0f, -45.0f}, {25.0f, 25.0f, 45.0f}, VLM_ROTATION_SPHERIC_XYZ, 45.0f};
constexpr LimitRow kDigitMiddleLimits = {{-0.0f, -0.0f, -45.0f}, {0.0f, 0.0f, 45.0f}, VLM_ROTATION_EULER_XYZ, 45.0f};
constexpr LimitRow kDigitLastLimits = {{-0.0f, -0.0f, -0.0f}, {0.0f, 0.0f, 0.0f}, VLM_ROTATION_EULER_XYZ, 0.0f};
constexpr LimitRow kInRootLimits = {{-0.0f, -5.0f, -5.0f}, {0.0f, 5.0f, 5.0f}, VLM_ROTATION_SPHERIC_XYZ, 0.0f};

// Frame hints of the digits and in-roots of one extremity.
struct ExtremityHints {
    VLMVector4 thumb;  // digit 0
    VLMVector4 otherDigits;
    VLMVector4 thumbRoot;  // in-root 0
    VLMVector4 otherRoots;
};
constexpr ExtremityHints kExtremityHints[4] = {
    {kPlusY, kMinusZ, kPlusY, kMinusZ},  // left hand
    {kMinusY, kPlusZ, kPlusY, kPlusZ},   // right hand
    {kPlusY, kPlusX, kPlusX, kPlusX},    // left foot
    {kMinusY, kPlusX, kPlusX, kPlusX},   // right foot
};

// The character as the characterization reads it: rest translations and
// presence by node id, node records by node id. An absent node id reaches the
// spare elements, whose rest translation is 0; writes to its record land in
// the spare record, which no present node reads.
class RestPose {
public:
    explicit RestPose(VLMCharacter* character) : character_(character), header_(VLMCharacterHeaderOf(character)) { }

    bool present(int id) const { return VLMCharacterTPoseEntry(character_, id)->presence != 0; }
    const VLMVector4& translation(int id) const { return VLMCharacterTPoseEntry(character_, id)->t; }
    VLMVector4 toward(int target, int from) const { return VLMVector4Sub(translation(target), translation(from)); }
    VLMNodeRecord* record(int id) const { return VLMCharacterNodeRecord(character_, id); }
    const VLMCharacterHeader& header() const { return *header_; }

    void frame(int id, const VLMVector4& direction, const VLMVector4& hint, int row = kNoRow,
               std::uint32_t spheric = 0) const
    {
        VLMSetupNodeFrame(record(id), direction, hint, row, spheric);
    }
    void limits(int id, const LimitRow& row) const
    {
        VLMSetNodeRotationDefinitionDegrees(record(id), row.minimum, row.maximum, row.order, row.twist);
    }

private:
    VLMCharacter* character_;
    const VLMCharacterHeader* header_;
};

// Step 1: the rotation records hold the user's definition relative to the
// rest pose; store them relative to the parent's rest frame instead:
// pre := P O pre, post := N post, with P the parent's rest rotation, O the
// parent-offset rotation and N the node's own rest rotation. A node that hangs
// under nothing (its chain is broken) uses the identity for P.
void FoldRestRotations(VLMCharacter* character)
{
    const VLMTPoseEntry* entries = VLMCharacterTPoseEntries(character);
    VLMTransformTQS* offsets = VLMCharacterParentOffsets(character);
    VLMRotationRecord* rotations = VLMCharacterRotationRecords(character);
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        const VLMNodeRecord* record = VLMCharacterNodeRecord(character, id);
        if (!VLMNodeRecordHasRotation(record))
            continue;
        VLMRotationPart* part = &VLMRotationRecordAt(rotations, record->rotationIndex)->part;
        const VLMVector4 parent = record->parentIndex == VLM_INDEX_NONE ? VLMConstant::IdentityQuat
                                                                        : entries[std::int64_t(record->parentIndex)].q;
        const VLMVector4 offset = VLMNodeRecordHasParentOffset(record)
                                      ? VLMParentOffsetAt(offsets, record->parentOffsetIndex)->q
                                      : VLMConstant::IdentityQuat;
        const VLMVector4 own = VLMCharacterTPoseEntry(character, id)->q;
        VLMSetPreRotation(part, VLMQuatMultiply(VLMQuatMultiply(parent, offset), part->preRotation));
        VLMSetPostRotation(part, VLMQuatMultiply(own, part->postRotation));
    }
}

// Step 3, one leg: hip, knee and ankle aim down the chain, the roll nodes at
// the joint after them; a foot without toes points forward.
void LegFrames(const RestPose& pose, const vlm::LimbNodes& n, int upperRow, int middleRow, int toesRow, float L)
{
    pose.frame(n.upper, pose.toward(n.middle, n.upper), kPlusX, upperRow);
    pose.frame(n.upperRoll, pose.toward(n.middle, n.upperRoll), kPlusX);
    pose.frame(n.middle, pose.toward(n.end, n.middle), kPlusX, middleRow);
    pose.frame(n.middleRoll, pose.toward(n.end, n.middleRoll), kPlusX);
    pose.frame(n.end, pose.present(n.tip) ? pose.toward(n.tip, n.end) : Direction(0.0f, 0.0f, L / 4.0f), kPlusX);
    pose.frame(n.tip, Direction(0.0f, 0.0f, L / 8.0f), kPlusX, toesRow);
}

// Step 3, one arm with its shoulder: a hand without a finger base points
// outward along x. The shoulder extra aims back at its shoulder.
void ArmFrames(const RestPose& pose, bool left, int shoulderRow, int armRow, int foreArmRow, int handRow, float L)
{
    const int side = left ? 0 : 1;
    const vlm::LimbNodes& n = vlm::kLimbNodes[2 + side];
    const int shoulder = vlm::kShoulder[side];
    const int extra = vlm::kShoulderExtra[side];
    const std::uint32_t spheric = VLMReferenceSkeleton()[shoulderRow].spheric;
    const VLMVector4& upperHint = left ? kPlusY : kMinusY;
    const VLMVector4& middleHint = left ? kMinusY : kPlusY;
    const float outward = left ? L : -L;

    pose.frame(shoulder, pose.toward(n.upper, shoulder), kPlusZ, kNoRow, spheric);
    pose.frame(extra, pose.toward(shoulder, extra), kPlusZ, kNoRow, spheric);
    pose.frame(n.upper, pose.toward(n.middle, n.upper), upperHint, armRow);
    pose.frame(n.upperRoll, pose.toward(n.middle, n.upperRoll), upperHint);
    pose.frame(n.middle, pose.toward(n.end, n.middle), middleHint, foreArmRow);
    pose.frame(n.middleRoll, pose.toward(n.end, n.middleRoll), middleHint);
    pose.frame(n.end, pose.present(n.tip) ? pose.toward(n.tip, n.end) : Direction(outward / 4.0f, 0.0f, 0.0f), kPlusZ,
               handRow);
    pose.frame(n.tip, Direction(outward / 8.0f, 0.0f, 0.0f), kPlusZ);
}

// Steps 4 and 5: the spine chain aims at the neck (or the head), the neck
// chain at the head, the head straight up. With a single Neck1, Neck aims
// past it at the head.
void SpineNeckHeadFrames(const RestPose& pose, float L)
{
    const int chest = pose.header().chestIndex;
    const int neck = pose.header().neckIndex;
    const bool hasNeck = pose.present(VLM_NODE_NECK);
    const int aboveChest = hasNeck ? VLM_NODE_NECK : VLM_NODE_HEAD;

    pose.frame(VLM_NODE_SPINE, pose.toward(chest >= 0 ? VLM_NODE_SPINE1 : aboveChest, VLM_NODE_SPINE), kPlusX);
    for (int k = 0; k <= chest; ++k) {
        const int node = VLM_NODE_SPINE1 + k;
        pose.frame(node, pose.toward(k < chest ? node + 1 : aboveChest, node), kPlusX);
    }
    if (hasNeck) {
        pose.frame(VLM_NODE_NECK, pose.toward(neck <= 0 ? VLM_NODE_HEAD : VLM_NODE_NECK1, VLM_NODE_NECK), kPlusX);
        for (int k = 0; k <= neck; ++k) {
            const int node = VLM_NODE_NECK1 + k;
            pose.frame(node, pose.toward(k < neck ? node + 1 : VLM_NODE_HEAD, node), kPlusX);
        }
    }
    pose.frame(VLM_NODE_HEAD, Direction(0.0f, L / 4.0f, 0.0f), kPlusX, kRowHead);
}

// Step 6: each present digit joint aims at the next joint; the last one
// continues the direction of its bone, a lone first joint points along the
// extremity's default direction.
void DigitFrames(const RestPose& pose, float L)
{
    const VLMVector4 defaults[4] = {Direction(L / 8.0f, 0.0f, 0.0f), Direction(-L / 8.0f, 0.0f, 0.0f),
                                    Direction(0.0f, 0.0f, L / 8.0f), Direction(0.0f, 0.0f, L / 8.0f)};
    for (int k = 0; k < 4; ++k) {
        const int first = vlm::kExtremityNodes[k].firstJoint;
        for (int i = 0; i < VLM_DIGIT_COUNT * VLM_DIGIT_JOINT_COUNT; ++i) {
            const int id = first + i;
            if (!pose.present(id))
                continue;
            const int joint = i % VLM_DIGIT_JOINT_COUNT;
            VLMVector4 direction;
            if (joint < VLM_DIGIT_JOINT_COUNT - 1 && pose.present(id + 1))
                direction = pose.toward(id + 1, id);
            else if (joint == 0)
                direction = defaults[k];
            else
                direction = pose.toward(id, id - 1);
            const int digit = i / VLM_DIGIT_JOINT_COUNT;
            pose.frame(id, direction, digit == 0 ? kExtremityHints[k].thumb : kExtremityHints[k].otherDigits);
        }
    }
}

// Step 7: every in-root, present or not, aims at its digit's first joint, or
// without one away from where it hangs.
void InRootFrames(const RestPose& pose)
{
    for (int k = 0; k < 4; ++k) {
        const vlm::ExtremityNodes& e = vlm::kExtremityNodes[k];
        for (int i = 0; i < VLM_DIGIT_COUNT; ++i) {
            const int root = e.firstRoot + i;
            const int joint = vlm::DigitJoint(e, i, 0);
            const int origin = pose.present(e.base) && i > 0 ? e.base : e.end;
            const VLMVector4 direction = pose.present(joint) ? pose.toward(joint, root) : pose.toward(root, origin);
            pose.frame(root, direction, i == 0 ? kExtremityHints[k].thumbRoot : kExtremityHints[k].otherRoots);
        }
    }
}

// Step 8. The digit and in-root rows cover every id of their ranges.
void DefaultLimits(const RestPose& pose)
{
    pose.limits(VLM_NODE_LEFT_FOOT, kFootLimits);
    pose.limits(VLM_NODE_RIGHT_FOOT, kFootLimits);
    for (int id = VLM_NODE_LEFT_UP_LEG_ROLL; id <= VLM_NODE_RIGHT_FORE_ARM_ROLL; ++id)
        pose.limits(id, kRollLimits);
    pose.limits(VLM_NODE_SPINE, kSpineLimits);
    for (int k = 0; k <= pose.header().chestIndex; ++k)
        pose.limits(VLM_NODE_SPINE1 + k, kSpineLimits);
    if (pose.present(VLM_NODE_NECK)) {
        pose.limits(VLM_NODE_NECK, kSpineLimits);
        for (int k = 0; k <= pose.header().neckIndex; ++k)
            pose.limits(VLM_NODE_NECK1 + k, kSpineLimits);
    }

    struct DigitRow {
        int firstDigit, lastDigit, firstJoint, lastJoint;
        const LimitRow& limits;
    };
    const DigitRow digitRows[] = {
        {0, 0, 0, 0, kThumbFirstLimits},
        {1, VLM_DIGIT_COUNT - 1, 0, 0, kDigitFirstLimits},
        {0, VLM_DIGIT_COUNT - 1, 1, 2, kDigitMiddleLimits},
        {0, VLM_DIGIT_COUNT - 1, 3, 3, kDigitLastLimits},
    };
    for (const DigitRow& row : digitRows)
        for (const vlm::ExtremityNodes& e : vlm::kExtremityNodes)
            for (int d = row.firstDigit; d <= row.lastDigit; ++d)
                for (int j = row.firstJoint; j <= row.lastJoint; ++j)
                    pose.limits(vlm::DigitJoint(e, d, j), row.limits);

    for (int id = VLM_NODE_LEFT_IN_HAND_THUMB; id < VLM_NODE_LEFT_SHOULDER_EXTRA; ++id)
        pose.limits(id, kInRootLimits);
}

// Mirrors a rest frame R to M R M, M the reflection that negates z: the first
// axis keeps its x and y and negates its z, the result is again a rotation,
// and mirroring twice gives back the very same bits.
void MirrorPreRotation(VLMRotationPart* part)
{
    const VLMVector4 q = part->preRotation;
    VLMSetPreRotation(part, VLMVector4{-q.x, -q.y, q.z, q.w});
}

}  // namespace

bool VLMCharacterize(VLMCharacter* character)
{
    VLMScopedFPGuard guard;
    if (!character)
        return false;
    return VLMSetupFromJointGeometry(character);
}

void VLMSetBoneInverted(VLMCharacter* character, int limb, bool inverted)
{
    VLMScopedFPGuard guard;
    if (!character || static_cast<unsigned>(limb) >= 4u)
        return;
    VLMLimb* block = &VLMCharacterHeaderOf(character)->limbs[limb];
    if ((block->boneInverted != 0) == inverted)
        return;
    block->boneInverted = inverted ? 1 : 0;
    const vlm::LimbNodes& nodes = vlm::kLimbNodes[limb];
    VLMSetupLimbFrame(character, limb < 2, (limb & 1) == 0, nodes.upper, nodes.middle, block);
}

bool VLMGetBoneInverted(const VLMCharacter* character, int limb)
{
    VLMScopedFPGuard guard;
    if (!character || static_cast<unsigned>(limb) >= 4u)
        return false;
    return VLMCharacterHeaderOf(character)->limbs[limb].boneInverted != 0;
}

bool VLMSetupFromJointGeometry(VLMCharacter* character)
{
    FoldRestRotations(character);

    const RestPose pose(character);
    const float L = VLMVector4Length3(pose.toward(VLM_NODE_LEFT_FOOT, VLM_NODE_LEFT_UP_LEG)).x;

    pose.frame(VLM_NODE_HIPS, Direction(0.0f, L / 4.0f, 0.0f), kPlusX, kRowHips);
    LegFrames(pose, vlm::kLimbNodes[0], kRowLeftUpLeg, kRowLeftLeg, kRowLeftToes, L);
    ArmFrames(pose, true, kRowLeftShoulder, kRowLeftArm, kRowLeftForeArm, kRowLeftHand, L);
    LegFrames(pose, vlm::kLimbNodes[1], kRowRightUpLeg, kRowRightLeg, kRowRightToes, L);
    ArmFrames(pose, false, kRowRightShoulder, kRowRightArm, kRowRightForeArm, kRowRightHand, L);
    SpineNeckHeadFrames(pose, L);
    DigitFrames(pose, L);
    InRootFrames(pose);
    DefaultLimits(pose);

    const VLMRotationRecord* rotations = VLMCharacterRotationRecords(character);
    VLMCharacterHeader* header = VLMCharacterHeaderOf(character);
    for (int k = 0; k < 4; ++k)
        VLMSetupLimbNodes(&header->limbs[k], k < 2, (k & 1) == 0, character, rotations);
    return true;
}

void VLMSetupNodeFrame(VLMNodeRecord* record, const VLMVector4& direction, const VLMVector4& hint, int row,
                       std::uint32_t spheric)
{
    VLMRotationPart* part = &record->rotation;
    const bool withRow = row >= 0 && row < VLM_REFERENCE_SEGMENT_COUNT;
    VLMVector4 b = hint;
    if (withRow) {
        const VLMReferenceSegment& segment = VLMReferenceSkeleton()[row];
        part->rotationOrder = segment.spheric != 0 ? VLM_ROTATION_SPHERIC_XYZ : VLM_ROTATION_EULER_XYZ;
        for (int i = 0; i < 3; ++i) {
            part->minLimit[i] = segment.minimum[i] * VLMConstant::FloatDegToRad;
            part->maxLimit[i] = segment.maximum[i] * VLMConstant::FloatDegToRad;
        }
        VLMRotationFlagSet(part, VLM_ROTFLAG_LIMITS, true);
        VLMSetPreRotationFromEuler(part, Direction(segment.euler), VLM_ROTATION_EULER_XYZ);
        b = Direction(segment.axis);
    } else {
        part->rotationOrder = spheric > 0 ? VLM_ROTATION_SPHERIC_XYZ : VLM_ROTATION_EULER_XYZ;
    }

    VLMVector4 q = VLMConstant::IdentityQuat;
    VLMVector4 x, y;
    if (UnitDirection(direction, x) && UnitDirection(VLMVector4Cross(b, x), y))
        q = QuatFromAxes(x, y, VLMVector4Cross(x, y));
    VLMSetPostRotation(part, q);
    if (!withRow)
        VLMSetPreRotation(part, q);
}

void VLMSetNodeRotationDefinitionDegrees(VLMNodeRecord* record, const float minimumDegrees[3],
                                         const float maximumDegrees[3], VLMRotationOrder order, float twistDegrees)
{
    VLMRotationPart* part = &record->rotation;
    part->rotationOrder = order;
    for (int i = 0; i < 3; ++i) {
        part->minLimit[i] = minimumDegrees[i] * VLMConstant::FloatDegToRad;
        part->maxLimit[i] = maximumDegrees[i] * VLMConstant::FloatDegToRad;
    }
    VLMRotationFlagSet(part, VLM_ROTFLAG_LIMITS, true);
    // The kernel's cosine of 0 need not be exactly 1: no twist, no product.
    if (twistDegrees == 0.0f)
        return;
    VLMVector4 halfAngle, sine, cosine;
    VLMVector4Splat(halfAngle, twistDegrees * VLMConstant::FloatDegToRad / 2.0f);
    VLMFastSinCos(halfAngle, sine, cosine);
    const VLMVector4& axis = part->postAxes[2];
    const VLMVector4 twist = {axis.x * sine.x, axis.y * sine.x, axis.z * sine.x, cosine.x};
    VLMSetPreRotation(part, VLMQuatMultiply(twist, part->preRotation));
}

void VLMSetupLimbNodes(VLMLimb* limb, bool leg, bool left, VLMCharacter* character,
                       const VLMRotationRecord* rotationRecords)
{
    const vlm::LimbNodes& n = vlm::kLimbNodes[vlm::LimbIndex(leg, left)];
    const int nodes[6] = {n.upper, n.upperRoll, n.middle, n.middleRoll, n.end, n.tip};
    for (int i = 0; i < 6; ++i) {
        const VLMNodeRecord* record = VLMCharacterNodeRecord(character, nodes[i]);
        VLMNodeRecord& slot = limb->slotRecords[VLM_SLOT_UPPER + i];
        VLMRotationRecordCopy(&slot.rotation, &record->rotation);
        slot.rotationIndex = record->rotationIndex;
    }
    VLMSetupLimbAxis(limb, leg, left, rotationRecords);
}

void VLMSetupLimbAxis(VLMLimb* limb, bool leg, bool left, const VLMRotationRecord* rotationRecords)
{
    const VLMNodeRecord& middle = limb->slotRecords[VLM_SLOT_MIDDLE];
    const VLMVector4& z = middle.rotation.postAxes[2];
    const float side = leg ? z.x : (left ? -z.y : z.y);
    bool positive = !std::signbit(side);
    if (limb->boneInverted != 0)
        positive = !positive;
    VLMVector4 axis = positive ? Direction(z.x, z.y, z.z) : Direction(-z.x, -z.y, -z.z);

    if (rotationRecords && VLMNodeRecordHasRotation(&middle)) {
        const VLMRotationPart& user = rotationRecords[std::int64_t(middle.rotationIndex)].part;
        if (VLMRotationFlagTest(&user, VLM_ROTFLAG_LIMITS)) {
            axis = VLMQuatRotate(Conjugate(user.postRotation), axis);
            axis = VLMQuatRotate(user.preRotation, axis);
        }
    }
    limb->axis = axis;
}

void VLMSetupLimbFrame(VLMCharacter* character, bool leg, bool left, int upperNode, int middleNode, VLMLimb* limb)
{
    if (leg)
        MirrorPreRotation(&VLMCharacterNodeRecord(character, upperNode)->rotation);
    MirrorPreRotation(&VLMCharacterNodeRecord(character, middleNode)->rotation);
    VLMSetupLimbAxis(limb, leg, left, VLMCharacterRotationRecords(character));
}
