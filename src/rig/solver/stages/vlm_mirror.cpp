#include "rig/solver/stages/vlm_mirror.h"

#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"

#include <utility>

namespace {

// Left/right node pairs whose one-sided presence keeps a local rotation: first
// left id, first right id, run length.
constexpr struct {
    int left, right, count;
} kPairs[] = {{16, 17, 1}, {18, 19, 1},  {21, 22, 1},   {41, 43, 1},   {42, 44, 1},   {45, 47, 1},
              {46, 48, 1}, {50, 74, 24}, {98, 122, 24}, {146, 152, 6}, {158, 164, 6}, {170, 171, 1}};

void SetBit(VLMRowBitSet* set, std::int32_t row)
{
    if (row >= 0 && row < 192)
        set->words[row >> 5] |= 1u << (row & 31);
}

}  // namespace

void VLMMirrorTransform(VLMVector4& t, VLMVector4& q)
{
    t = VLMVector4{t.x, t.y, -t.z, t.w};
    q = VLMVector4{-q.z, q.w, -q.x, q.y};
}

void VLMMirrorPose(const VLMCharacter* character, VLMStateRow* rows)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    VLMTreeGlobalToLocal(character, rows, records);
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        if (!Has(character, id))
            continue;
        VLMStateRow* row = VLMNodeRow(character, rows, id);
        VLMMirrorTransform(row->globalT, row->globalQ);
    }
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        const std::uint32_t partner = VLMCharacterNodeRecord(character, id)->mirrorPartner;
        if (!Has(character, id) || partner == VLM_INDEX32_NONE)
            continue;
        VLMStateRow* row = VLMNodeRow(character, rows, id);
        std::swap(row->globalT, rows[partner].globalT);
        std::swap(row->globalQ, rows[partner].globalQ);
    }
    VLMRowBitSet oneSided = {};
    for (const auto& pair : kPairs) {
        for (int i = 0; i < pair.count; ++i) {
            const bool left = Has(character, pair.left + i), right = Has(character, pair.right + i);
            if (left != right)
                SetBit(&oneSided, VLMCharacterCompactIndex(character, left ? pair.left + i : pair.right + i));
        }
    }
    VLMTreeLocalToGlobalRotationMarked(character, rows, records, &oneSided);
    VLMTreeGlobalToLocalRotation(character, rows, records);
    if (Has(character, VLM_NODE_HIPS))
        VLMNodeGlobalToLocal(VLMCharacterNodeRecord(character, VLM_NODE_HIPS), rows, records);
    VLMTreeLocalToGlobal(character, rows, records);
}

void VLMMirrorEffectorSet(VLMEffectorSetLayout* set)
{
    for (VLMTransformTQS& e : set->effectors)
        VLMMirrorTransform(e.t, e.q);
    const VLMEffectorInfoRow* info = VLMEffectorInfoTable();
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        const int partner = info[e].paired;
        if (partner < 0 || partner >= VLM_EFFECTOR_COUNT)
            continue;
        std::swap(set->effectors[e].t, set->effectors[partner].t);
        std::swap(set->effectors[e].q, set->effectors[partner].q);
        std::swap(set->blend[e], set->blend[partner]);
    }
}
