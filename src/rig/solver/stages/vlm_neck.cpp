#include "rig/solver/stages/vlm_neck.h"

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_pose_transfer.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

#include <cmath>

namespace {

constexpr int kIterations = 20;
constexpr float kQuarterTurn = VLMConstant::FloatHalfPi, kHalfTurn = VLMConstant::FloatPi;

// Where the neck aims for a head goal, as a turn of its incoming direction
// (root to head) toward the goal. A goal beyond the head within a quarter
// turn: the goal's own direction. One further round: the neck turns by pi - a
// for the goal's angle a, so it bends toward the goal by at most a quarter
// turn, less the nearer the goal comes to straight behind the root (a goal
// straight below an upright neck leaves it upright). A goal nearer the root
// than the head cannot be reached by a straight neck: the head goes to the
// point of its sphere that lies as far across the neck as the goal does, so a
// root moving past a near goal moves the head no further than it moved, where
// aiming along the goal's direction from the root would swing the head round
// by the root's move over the goal's distance. That point meets the goal as it
// comes out to the head's distance, so the rules join there. The chain itself
// would swing through itself toward a goal round behind its root, flip the
// side it bends to where the goal passes behind, and, curling to a goal near
// its root, fold its joints with a sense that rounding picks from frame to
// frame.
//
// A turn of more than kFullTurn is followed only at kBeyondShare beyond it: a
// goal that far round from where the pose puts the neck comes from a trunk
// unlike the source's (on a real take onto a longer spine, a hips' jerk the
// spine keeps moves the neck's root 4 to 5 cm past a goal about the head's
// distance away), and following it whole turned the neck 44 to 55 degrees
// beyond its source in one frame (at most 29.7 with the share and the chain
// turned as one). The head then misses such goals by more: 0.6 to 1.4 cm on
// average over that take. (A departure: every goal was aimed at whole.)
constexpr float kFullTurn = 32.0f * VLMConstant::FloatPi / 180.0f, kBeyondShare = 0.45f;

struct NeckAim {
    bool moved = false;     // false: the goal as it is
    bool turns = false;     // false: the chain is not turned before the passes
    VLMVector4 direction;   // unit, from the root
    float distance = 0.0f;  // the goal's from the root
    float nearest = 0.0f;   // the head's from the root as the chain comes in
};

NeckAim AimNeck(const VLMVector4* points, int n, const VLMVector4& target)
{
    const VLMVector4 neck = VLMVector4ClearW(points[n - 1] - points[0]);
    const VLMVector4 goal = VLMVector4ClearW(target - points[0]);
    const VLMVector4 normal = VLMVector4Cross(neck, goal);
    const float across = VLMLengthFloat(normal), along = VLMDotFloat(neck, goal);
    NeckAim aim;
    aim.distance = VLMLengthFloat(goal);
    aim.nearest = VLMLengthFloat(neck);
    // A goal exactly on the neck's line gives no side to bend to.
    if (!(across > 0.0f)) {
        aim.moved = aim.distance < aim.nearest;
        aim.direction = VLMSafeDirection(neck);
        return aim;
    }
    float turn = 0.0f;
    if (aim.distance < aim.nearest) {
        const float side = across / aim.nearest, ahead = std::fabs(along) / aim.nearest;
        turn = std::atan2(side, std::fmax(ahead, std::sqrt(std::fmax(0.0f, aim.nearest * aim.nearest - side * side))));
    } else {
        const float angle = std::atan2(across, along);
        turn = angle > kQuarterTurn ? kHalfTurn - angle : angle;
    }
    aim.turns = true;
    const float followed = turn > kFullTurn ? kFullTurn + kBeyondShare * (turn - kFullTurn) : turn;
    aim.moved = aim.distance < aim.nearest || along < 0.0f || followed < turn;
    aim.direction = VLMQuatRotate(VLMQuatAboutAxis(normal * (1.0f / across), followed), VLMSafeDirection(neck));
    return aim;
}

// The chain turned whole about its root onto the aim's direction: the rotation
// passes then only straighten or curl it toward the aim's distance. Left to
// the passes, the turn piles up on the joints nearest the root and the chain
// bends round after the aim, each joint further out turning further (on a
// nine-joint neck the last turned 55 degrees beyond its source where the
// first turned 6). (A departure: the passes alone used to turn the chain, as
// they still bend it.)
void TurnChainOntoAim(VLMVector4* points, int n, const NeckAim& aim)
{
    if (!aim.turns)
        return;
    const VLMVector4 arc = VLMShortestArc(points[n - 1] - points[0], aim.direction);
    if (VLMIsIdentityQuat(arc))
        return;
    for (int k = 1; k < n; ++k)
        points[k] = points[0] + VLMQuatRotate(arc, points[k] - points[0]);
}

// The aim point once the chain has grown by `scale`. A squashed chain lets the
// head come nearer; a stretched one does not keep it further out than it came
// in, or a goal crossing the head's distance would move the aim by a step.
VLMVector4 AimPoint(const NeckAim& aim, const VLMVector4& root, const VLMVector4& target, float scale)
{
    return aim.moved ? root + aim.direction * std::fmax(aim.distance, aim.nearest * std::fmin(scale, 1.0f)) : target;
}

}  // namespace

void VLMSolveNeckHead(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                      const VLMPropertySetState* properties)
{
    if (Has(character, VLM_NODE_HEAD)) {
        const VLMTransformTQS& effector = set->effectors[VLM_HEAD_EFFECTOR];
        const VLMVector4& lanes = set->blend[VLM_HEAD_EFFECTOR];
        const VLMStateRow* head = VLMNodeRow(character, rows, VLM_NODE_HEAD);
        const VLMVector4 turned = VLMQuatNlerp(head->globalQ, effector.q, VLMVector4SplatY(lanes));
        VLMAimNeckAtRotation(character, rows, turned,
                             VLMVector4Splat(VLMPropertyValueAt(properties, vlm_entry::ParamCtrlNeckStiffness)));
        const VLMVector4 target = VLMVector4Lerp(head->globalT, effector.t, VLMVector4SplatX(lanes));
        VLMSolveNeckStretch(character, rows, target, properties);
    }
    VLMBlendHeadRotation(character, rows, set);
}

void VLMAimNeckAtRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target,
                          const VLMVector4& stiffness)
{
    if (!Has(character, VLM_NODE_NECK))
        return;
    const VLMVector4& head = VLMNodeRow(character, rows, VLM_NODE_HEAD)->globalQ;
    VLMDistributeNeckRotation(character, rows, VLMQuatMultiply(target, VLMVector4NegateXYZ(head)),
                              VLMConstant::One - stiffness);
    VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(character, VLM_NODE_NECK), rows, VLMCharacterNodeRecords(character));
}

void VLMSolveNeckStretch(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target,
                         const VLMPropertySetState* properties)
{
    VLMVector4 points[VLM_NECK_CHAIN_MAX];
    const int n = VLMGatherNeckChainPositions(character, points, rows);
    if (n == 0)
        return;
    const float restLength = VLMPointChainLength(points, n);
    float squared = restLength * restLength, scale = 1.0f;
    const float freedom = VLMPropertyValueAt(properties, vlm_entry::SnSNeckFreedom);
    const float reach = VLMPropertyValueAt(properties, vlm_entry::SnSReachHead);
    const NeckAim aim = AimNeck(points, n, target);
    TurnChainOntoAim(points, n, aim);
    for (int i = 0; i < kIterations; ++i) {
        if (reach > 0.0f) {
            const float t = float(i + 1) / float(kIterations);
            const float toEnd = VLMLengthFloat(points[n - 1] - points[0]);
            // A neck of no length has nothing to stretch: its ratio is 1.
            const float ratio = toEnd > 0.0f ? VLMLengthFloat(target - points[0]) / toEnd : 1.0f;
            const float wanted = (1.0f + (ratio - 1.0f) * t * reach) * scale - 1.0f;
            const float e =
                VLMSoftLimit(VLMVector4Splat(-0.5f * freedom), VLMVector4Splat(-2.0f * freedom),
                             VLMVector4Splat(0.5f * freedom), VLMVector4Splat(2.0f * freedom), VLMVector4Splat(wanted))
                    .x;
            const float g = (e + 1.0f) / scale;
            scale = scale * g;
            const VLMVector4 grow = VLMVector4Splat(g);
            for (int k = 1; k < n; ++k)
                points[k] = points[0] + (points[k] - points[0]) * grow;
            squared = squared * (g * g);
        }
        VLMRotatePointChainTowardTarget(points, n, VLMVector4Splat(squared), AimPoint(aim, points[0], target, scale));
    }
    const float neckScale = VLMPropertyValueAt(properties, vlm_entry::SnSScaleNeck);
    VLMApplyNeckChainPositions(character, rows, points, VLMVector4Splat((scale - 1.0f) * neckScale + 1.0f));
}

float VLMPointChainLength(const VLMVector4* points, int count)
{
    float length = 0.0f;
    for (int k = 0; k < count - 1; ++k)
        length += VLMLengthFloat(points[k + 1] - points[k]);
    return length;
}

int VLMGatherNeckChainPositions(const VLMCharacter* character, VLMVector4* points, const VLMStateRow* rows)
{
    if (!Has(character, VLM_NODE_HEAD) || !Has(character, VLM_NODE_NECK))
        return 0;
    const int n = VLMCharacterNeckIndex(character) + 3;
    points[0] = VLMNodeRow(character, rows, VLM_NODE_NECK)->globalT;
    for (int k = 1; k < n - 1; ++k)
        points[k] = VLMNodeRow(character, rows, VLM_NODE_NECK1 + k - 1)->globalT;
    points[n - 1] = VLMNodeRow(character, rows, VLM_NODE_HEAD)->globalT;
    return n;
}

void VLMApplyNeckChainPositions(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4* points,
                                const VLMVector4& scale)
{
    if (!Has(character, VLM_NODE_HEAD) || !Has(character, VLM_NODE_NECK))
        return;
    const int n = VLMCharacterNeckIndex(character) + 3;
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const VLMNodeRecord* record = VLMCharacterNodeRecord(character, VLM_NODE_NECK);
    for (int k = 0; k < n - 1 && record->childCount > 0; ++k) {
        VLMStateRow* row = rows + record->ownIndex;
        const VLMVector4 bone = rows[record->firstChildIndex].globalT - row->globalT;
        row->globalT = points[k];
        row->globalQ = VLMQuatMultiply(VLMShortestArc(bone, points[k + 1] - points[k]), row->globalQ);
        row->globalS = scale * row->globalS;
        VLMNodeGlobalToLocal(record, rows, records);
        record = records + record->firstChildIndex;
    }
    const VLMNodeRecord* head = VLMCharacterNodeRecord(character, VLM_NODE_HEAD);
    VLMNodeRow(character, rows, VLM_NODE_HEAD)->globalT = points[n - 1];
    VLMNodeGlobalToLocal(head, rows, records);
    VLMSubtreeLocalToGlobal(head, rows, records);
}

void VLMBlendHeadRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set)
{
    VLMStateRow* head = VLMNodeRow(character, rows, VLM_NODE_HEAD);
    head->globalQ = VLMQuatNlerp(head->globalQ, set->effectors[VLM_HEAD_EFFECTOR].q,
                                 VLMVector4SplatY(set->blend[VLM_HEAD_EFFECTOR]));
    if (!Has(character, VLM_NODE_HEAD))
        return;
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const VLMNodeRecord* record = VLMCharacterNodeRecord(character, VLM_NODE_HEAD);
    VLMNodeGlobalToLocal(record, rows, records);
    VLMSubtreeLocalToGlobal(record, rows, records);
}

void VLMRotatePointChainTowardTarget(VLMVector4* points, int count, const VLMVector4& squaredLength,
                                     const VLMVector4& target)
{
    if (!(squaredLength.x > 0.0f))  // a chain of no length has no share to turn by
        return;
    for (int j = count - 2; j >= 0; --j) {
        const VLMVector4 a = points[count - 1] - points[j];
        const VLMVector4 arc = VLMShortestArc(a, target - points[j]);
        if (VLMIsIdentityQuat(arc))
            continue;
        const VLMVector4 share = VLMVector4Div(VLMVector4Dot3(a, a), squaredLength);
        const VLMVector4 turn = VLMQuatNormalize(VLMVector4ScaleXYZ(arc, share));
        for (int k = j + 1; k < count; ++k)
            points[k] = points[j] + VLMQuatRotate(turn, points[k] - points[j]);
    }
}
