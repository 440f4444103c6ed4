#include "rig/solver/stages/vlm_spine.h"

#include "rig/solver/stages/vlm_pose_setup.h"
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

#include <cstdint>

namespace {

// The final aim's share fades in between these ratios of the target's and
// the chest end's distance from the Spine joint.
constexpr float kAimFadeIn = 0.25f, kAimWhole = 0.75f;

// Whether node id is present and ancestor is one of its ancestors.
bool IsBelow(const VLMCharacter* c, int id, int ancestor)
{
    if (!Has(c, id) || !Has(c, ancestor))
        return false;
    const VLMNodeRecord* records = VLMCharacterNodeRecords(c);
    const std::uint64_t stop = VLMCharacterNodeRecord(c, ancestor)->ownIndex;
    for (const VLMNodeRecord* r = VLMCharacterNodeRecord(c, id); r->parentIndex != VLM_INDEX_NONE;) {
        r = records + r->parentIndex;
        if (r->ownIndex == stop)
            return true;
    }
    return false;
}

void LocalToGlobal(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    if (Has(c, id))
        VLMNodeLocalToGlobal(VLMCharacterNodeRecord(c, id), rows, VLMCharacterNodeRecords(c));
}

// A new global rotation of one node: locals re-derived, limits applied.
void CommitNode(const VLMCharacter* c, VLMStateRow* rows, int id)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(c);
    const VLMNodeRecord* record = VLMCharacterNodeRecord(c, id);
    VLMNodeGlobalToLocal(record, rows, records);
    if (VLMClampNodeToLimits(record, rows, VLMCharacterRotations(c)))
        VLMNodeLocalToGlobal(record, rows, records);
}

// The global rotations of Spine..chest from their locals, each exactly as the
// chain pass of VLMUpdateUpperBodyGlobals forms it; translations untouched.
void UpdateSpineRotations(const VLMCharacter* c, VLMStateRow* rows)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(c);
    const VLMNodeRecord* path[VLM_NODE_COUNT];
    int length = 0;
    const std::uint64_t spine = VLMCharacterNodeRecord(c, VLM_NODE_SPINE)->ownIndex;
    for (const VLMNodeRecord* r = VLMCharacterNodeRecord(c, VLMChestNodeId(c));; r = records + r->parentIndex) {
        path[length++] = r;
        if (r->ownIndex == spine)
            break;
        if (r->parentIndex == VLM_INDEX_NONE || length == VLM_NODE_COUNT)
            return;  // the chest is not below the spine: the chain pass does nothing either
    }
    while (length > 0) {
        const VLMNodeRecord* r = path[--length];
        VLMStateRow* row = rows + r->ownIndex;
        const VLMStateRow* parent = rows + std::int64_t(r->parentIndex);  // all ones: the spare row
        row->globalQ = VLMQuatNormalize(VLMQuatMultiply(parent->globalQ, row->localQ));
    }
}

// What the chest end is read from: the spine chain and both shoulders, or,
// when a shoulder is missing, the whole upper body (the arms stand in).
void UpdateChestEndGlobals(const VLMCharacter* c, VLMStateRow* rows)
{
    if (!Has(c, VLM_NODE_LEFT_SHOULDER) || !Has(c, VLM_NODE_RIGHT_SHOULDER)) {
        VLMUpdateUpperBodyGlobals(c, rows);
        return;
    }
    const int chest = VLMChestNodeId(c);
    if (chest != VLM_NODE_SPINE)
        VLMChainLocalToGlobal(VLMCharacterNodeRecord(c, chest), VLMCharacterCompactIndex(c, VLM_NODE_SPINE), rows,
                              VLMCharacterNodeRecords(c));
    else
        LocalToGlobal(c, rows, VLM_NODE_SPINE);
    LocalToGlobal(c, rows, VLM_NODE_LEFT_SHOULDER);
    LocalToGlobal(c, rows, VLM_NODE_RIGHT_SHOULDER);
}

VLMVector4 ChestEnd(const VLMCharacter* c, const VLMStateRow* rows, const VLMVector4& offset)
{
    VLMVector4 e;
    VLMGetChestEndPosition(c, &e, rows, offset);
    return e;
}

}  // namespace

void VLMPlaceHips(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& position,
                  const VLMVector4& rotation)
{
    if (!Has(character, VLM_NODE_HIPS))
        return;
    VLMStateRow* hips = VLMNodeRow(character, rows, VLM_NODE_HIPS);
    const VLMVector4 legs = (VLMNodeRow(character, rows, VLM_NODE_LEFT_UP_LEG)->localT +
                             VLMNodeRow(character, rows, VLM_NODE_RIGHT_UP_LEG)->localT) *
                            VLMConstant::Half;
    hips->globalQ = rotation;
    hips->globalT = VLMVector4ClearW(position) - VLMQuatRotate(rotation, legs);
    CommitNode(character, rows, VLM_NODE_HIPS);
}

void VLMSolveSpineStretch(const VLMCharacter* character, VLMStateRow* rows, const VLMSpineGoal* goal,
                          const VLMPropertySetState* properties, const VLMVector4& stiffness,
                          const VLMVector4& preRotationWeight, VLMVector4* limiter, bool spine, VLMSpineRefresh refresh)
{
    if (!Has(character, VLM_NODE_HIPS))
        return;
    const VLMVector4 hipsOffset = VLMPropertyVectorAt(properties, vlm_entry::HipsTOffsetX);
    const VLMStateRow* hips = VLMNodeRow(character, rows, VLM_NODE_HIPS);
    const VLMVector4 q = VLMQuatReachToward(hips->globalQ, goal->slots[0].q, goal->lanes[0].y);
    const VLMVector4 m = (VLMNodeRow(character, rows, VLM_NODE_LEFT_UP_LEG)->globalT +
                          VLMNodeRow(character, rows, VLM_NODE_RIGHT_UP_LEG)->globalT) *
                         VLMConstant::Half;
    const VLMVector4 g = goal->slots[0].t - VLMQuatRotate(q, hipsOffset);
    VLMPlaceHips(character, rows, VLMVector4Lerp(m, g, VLMVector4Splat(goal->lanes[0].x)), q);
    if (!spine || !Has(character, VLM_NODE_SPINE))
        return;

    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    const VLMNodeRecord* spineRecord = VLMCharacterNodeRecord(character, VLM_NODE_SPINE);
    if (refresh == VLMSpineRefresh::Subtree)
        VLMSubtreeLocalToGlobal(spineRecord, rows, records);
    else if (!Has(character, VLM_NODE_NECK) && IsBelow(character, VLM_NODE_HEAD, VLM_NODE_SPINE))
        VLMChainLocalToGlobal(VLMCharacterNodeRecord(character, VLM_NODE_HEAD), std::int32_t(spineRecord->ownIndex),
                              rows, records);
    else
        VLMNodeLocalToGlobal(spineRecord, rows, records);
    VLMStateRow* spineRow = VLMNodeRow(character, rows, VLM_NODE_SPINE);
    spineRow->globalQ = VLMQuatReachToward(spineRow->globalQ, goal->slots[1].q, goal->lanes[1].y);
    CommitNode(character, rows, VLM_NODE_SPINE);
    const bool subtree = refresh == VLMSpineRefresh::Subtree;
    // The chest's turn reads the spine's rotations only; the chest end after
    // it, the spine chain and the collars.
    if (subtree)
        VLMUpdateUpperBodyGlobals(character, rows);
    else
        UpdateSpineRotations(character, rows);

    VLMVector4 chest;
    VLMGetChestRotation(character, &chest, rows);
    VLMRotateChestTo(character, rows, VLMQuatReachToward(chest, goal->slots[2].q, goal->lanes[2].y), stiffness);
    if (subtree)
        VLMUpdateUpperBodyGlobals(character, rows);
    else
        UpdateChestEndGlobals(character, rows);

    const VLMVector4 chestOffset = VLMPropertyVectorAt(properties, vlm_entry::ChestTOffsetX);
    const VLMVector4 e = ChestEnd(character, rows, chestOffset);
    const VLMVector4 target = VLMVector4Lerp(e, goal->slots[2].t, VLMVector4Splat(goal->lanes[2].x));
    const auto value = [properties](int entry) { return VLMVector4Splat(VLMPropertyValueAt(properties, entry)); };
    VLMStretchSpine(character, rows, target, stiffness, preRotationWeight, chestOffset, value(vlm_entry::SnSScaleSpine),
                    value(vlm_entry::SnSScaleSpineChildren), value(vlm_entry::SnSReachChestEnd), limiter, refresh);
    if (subtree)
        VLMUpdateUpperBodyGlobals(character, rows);
}

void VLMRotateChestTo(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& chest,
                      const VLMVector4& stiffness)
{
    VLMVector4 current;
    VLMGetChestRotation(character, &current, rows);
    VLMDistributeSpineRotation(character, rows, VLMQuatMultiply(chest, VLMVector4NegateXYZ(current)), stiffness);
}

void VLMStretchSpine(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target,
                     const VLMVector4& stiffness, const VLMVector4& preRotationWeight, const VLMVector4& chestOffset,
                     const VLMVector4& scaleSpine, const VLMVector4& scaleChildren, const VLMVector4& reach,
                     VLMVector4* limiter, VLMSpineRefresh refresh)
{
    const auto update = refresh == VLMSpineRefresh::Subtree ? &VLMUpdateUpperBodyGlobals : &UpdateChestEndGlobals;
    if (!Has(character, VLM_NODE_SPINE) || !Has(character, VLM_NODE_HIPS))
        return;
    const VLMVector4 h = VLMNodeRow(character, rows, VLM_NODE_HIPS)->globalT;
    const VLMVector4 toTarget = target - h;
    VLMVector4 r = VLMShortestArc(ChestEnd(character, rows, chestOffset) - h, toTarget);
    const float w = preRotationWeight.x;
    if (w > 0.0f)
        r = VLMQuatScaleVectorPart(r, 1.0f - 2.0f * w);
    VLMDistributeSpineRotation(character, rows, r, stiffness);
    update(character, rows);

    const int chest = VLMChestNodeId(character);
    if (reach.x > 0.0f) {
        const VLMVector4 spine = VLMNodeRow(character, rows, VLM_NODE_SPINE)->globalT;
        const float toEnd = VLMLengthFloat(ChestEnd(character, rows, chestOffset) - spine);
        const float l0 = limiter->x, f = limiter->y;
        float k = 1.0f;  // a spine without length keeps it
        if (toEnd > 0.0f && l0 != 0.0f) {
            const float ratio = VLMLengthFloat(target - spine) / toEnd;
            const float x = ((ratio - 1.0f) * reach.x + 1.0f) * l0 - 1.0f;
            const float y = VLMSoftLimit(VLMVector4Splat(-0.5f * f), VLMVector4Splat(-2.0f * f),
                                         VLMVector4Splat(0.5f * f), VLMVector4Splat(2.0f * f), VLMVector4Splat(x))
                                .x;
            k = (y + 1.0f) / l0;
        }
        limiter->x = l0 * k;
        const VLMVector4 grow = VLMVector4Splat((k - 1.0f) * scaleSpine.x + 1.0f);
        // k is the ratio of distances from the Spine joint, so only the bones
        // above that joint grow by it: lengthening the hips-to-spine bone as
        // well would move the joint itself and carry the chest end past (or
        // short of) its target by that bone's growth. A spine without
        // Spine1.. has no bone above its joint, though: its chest end hangs on
        // the chest's children, which grow only by SnSScaleSpineChildren.
        // Unlike the longer spines, such a spine still grows its hips-to-spine
        // bone, by the share of k the children leave (1 - that scale, within
        // [0, 1]): at the default 0 by the whole of k, as a stretch of every
        // spine bone alike would, so that it keeps reaching toward its target,
        // and the final aim about the moved joint then brings the chest end at
        // least as near as an aim about the hips would. With the children
        // growing fully the chest end lands and that bone keeps its length.
        const float spineShare = chest == VLM_NODE_SPINE ? VLMClamp01Float(1.0f - scaleChildren.x) : 0.0f;
        for (int id = VLM_NODE_SPINE; id <= chest; id = id == VLM_NODE_SPINE ? VLM_NODE_SPINE1 : id + 1) {
            VLMStateRow* row = VLMNodeRow(character, rows, id);
            if (id != VLM_NODE_SPINE)
                row->localT = row->localT * k;
            else if (spineShare > 0.0f)
                row->localT = row->localT * ((k - 1.0f) * spineShare + 1.0f);
            row->globalS = VLMVector4ScaleXYZ(row->globalS, grow);
        }
        const VLMNodeRecord* top = VLMCharacterNodeRecord(character, chest);
        const VLMVector4 children = VLMVector4Splat((k - 1.0f) * scaleChildren.x + 1.0f);
        for (std::uint32_t i = 0; i < top->childCount; ++i) {
            VLMStateRow* row = rows + top->firstChildIndex + i;
            row->localT = row->localT * children;
        }
        update(character, rows);
    }

    // Unlike the first turn, the final aim is measured about the Spine joint,
    // not the hips: it turns the Spine, so only an arc about the Spine's own
    // joint carries the chest end onto the target (and, once the stretch has
    // made the chest end as far from that joint as the target is, exactly).
    VLMStateRow* spineRow = VLMNodeRow(character, rows, VLM_NODE_SPINE);
    const VLMVector4 pivot = spineRow->globalT;
    const VLMVector4 end = ChestEnd(character, rows, chestOffset);
    VLMVector4 aim = VLMShortestArc(end - pivot, target - pivot);
    // The aim turns the chest end by as much as the target's direction from
    // the joint turns, so a target that the stretch could not bring out to
    // the chest end's distance, lying well inside it, would swing the chest
    // end further than the target moves (by their distances' ratio) and
    // round with every small move of a target close to the joint. The aim
    // therefore fades, smoothly, from whole where the target lies three
    // quarters of the chest end's distance out to nothing where it lies a
    // quarter out; the first turn, about the hips, still points the chest end
    // toward such a target. Where the stretch reached, or the target lies
    // beyond the chest end, the aim is whole and the chest end lands on the
    // target as before.
    const float toEnd = VLMLengthFloat(end - pivot);
    if (toEnd > 0.0f) {
        const float share = (VLMLengthFloat(target - pivot) / toEnd - kAimFadeIn) / (kAimWhole - kAimFadeIn);
        if (share < 1.0f) {
            const float fade = share > 0.0f ? share * share * (3.0f - 2.0f * share) : 0.0f;
            aim = VLMQuatReachToward(VLMConstant::IdentityQuat, aim, fade);
        }
    }
    spineRow->globalQ = VLMQuatMultiply(aim, spineRow->globalQ);
    CommitNode(character, rows, VLM_NODE_SPINE);
}

void VLMUpdateUpperBodyGlobals(const VLMCharacter* character, VLMStateRow* rows)
{
    const int chest = VLMChestNodeId(character);
    if (chest != VLM_NODE_SPINE && Has(character, VLM_NODE_SPINE))
        VLMChainLocalToGlobal(VLMCharacterNodeRecord(character, chest),
                              VLMCharacterCompactIndex(character, VLM_NODE_SPINE), rows,
                              VLMCharacterNodeRecords(character));
    else
        LocalToGlobal(character, rows, VLM_NODE_SPINE);
    for (int side = 0; side < 2; ++side) {
        const int shoulder = side == 0 ? VLM_NODE_LEFT_SHOULDER : VLM_NODE_RIGHT_SHOULDER;
        if (!Has(character, shoulder))
            continue;
        LocalToGlobal(character, rows, shoulder);
        LocalToGlobal(character, rows, side == 0 ? VLM_NODE_LEFT_SHOULDER_EXTRA : VLM_NODE_RIGHT_SHOULDER_EXTRA);
    }
    LocalToGlobal(character, rows, VLM_NODE_LEFT_ARM);
    LocalToGlobal(character, rows, VLM_NODE_RIGHT_ARM);
}

void VLMUpdateTrunkGlobals(const VLMCharacter* character, VLMStateRow* rows)
{
    LocalToGlobal(character, rows, VLM_NODE_HIPS);
    LocalToGlobal(character, rows, VLM_NODE_LEFT_UP_LEG);
    LocalToGlobal(character, rows, VLM_NODE_RIGHT_UP_LEG);
    VLMUpdateUpperBodyGlobals(character, rows);
    LocalToGlobal(character, rows, VLM_NODE_NECK);
}
