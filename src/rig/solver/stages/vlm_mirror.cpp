#include "rig/solver/stages/vlm_mirror.h"

#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <utility>

namespace {

bool Has(const VLMCharacter* c, int id) { return VLMCharacterCompactIndex(c, id) >= 0; }

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

int HipsTranslationMode(const VLMPropertySetState* properties)
{
    return VLMFloatToIntRound(VLMPropertyValueAt(properties, vlm_entry::HipsTranslationMode));
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

void VLMSolveHipsTrajectory(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties)
{
    const int mode = HipsTranslationMode(properties);
    if (!Has(character, VLM_NODE_HIPS_TRANSLATION) || !Has(character, VLM_NODE_HIPS) || mode == 2)
        return;
    const VLMTPoseEntry* node = VLMCharacterTPoseEntry(character, VLM_NODE_HIPS_TRANSLATION);
    const VLMTPoseEntry* hipsRest = VLMCharacterTPoseEntry(character, VLM_NODE_HIPS);
    VLMStateRow a;
    VLMStateRowReset(&a);
    a.globalT = node->t;
    a.globalS = node->s;
    const VLMTransformTQS b = {hipsRest->t, VLMConstant::IdentityQuat, hipsRest->s};
    VLMTQSGlobalToLocal(&a, &b);

    const VLMStateRow* hips = VLMNodeRow(character, rows, VLM_NODE_HIPS);
    if (mode == 1) {
        const VLMTransformTQS parent = {hips->globalT, hips->globalQ, hips->globalS};
        VLMTQSLocalToGlobal(&a, &parent);
    } else {
        a.globalT = VLMVector4Add(hips->globalT, VLMVector4Mul(a.localT, hips->globalS));
        a.globalS = hips->globalS;
    }
    VLMStateRow* row = VLMNodeRow(character, rows, VLM_NODE_HIPS_TRANSLATION);
    row->globalT = a.globalT;
    row->globalQ = VLMConstant::IdentityQuat;
    row->globalS = a.globalS;
    VLMNodeGlobalToLocal(VLMCharacterNodeRecord(character, VLM_NODE_HIPS_TRANSLATION), rows,
                         VLMCharacterNodeRecords(character));
}

void VLMGetHipsTranslationFrame(const VLMCharacter* character, const VLMStateRow* rows, VLMVector4& t, VLMVector4& q,
                                VLMVector4& s)
{
    const int id = Has(character, VLM_NODE_HIPS_TRANSLATION) ? VLM_NODE_HIPS_TRANSLATION : VLM_NODE_HIPS;
    const VLMStateRow* row = VLMNodeRow(character, rows, id);
    t = row->globalT;
    q = row->globalQ;
    s = row->globalS;
}

void VLMSetHipsTranslationFrame(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& frameT,
                                const VLMVector4& frameQ, const VLMVector4& frameS, const VLMVector4& t,
                                const VLMVector4& q, const VLMVector4& s)
{
    if (!Has(character, VLM_NODE_HIPS_TRANSLATION))
        return;
    VLMStateRow* row = VLMNodeRow(character, rows, VLM_NODE_HIPS_TRANSLATION);
    row->globalT = VLMVector4Add(t, VLMQuatRotate(q, VLMVector4Mul(s, frameT)));
    row->globalQ = VLMQuatMultiply(q, frameQ);
    row->globalS = VLMVector4Mul(frameS, s);
    VLMNodeGlobalToLocal(VLMCharacterNodeRecord(character, VLM_NODE_HIPS_TRANSLATION), rows,
                         VLMCharacterNodeRecords(character));
}

void VLMApplyHipsTrajectory(const VLMCharacter* target, VLMStateRow* targetRows, const VLMCharacter* source,
                            const VLMStateRow* sourceRows, const VLMPropertySetState* properties, const VLMVector4& t,
                            const VLMVector4& q, const VLMVector4& s)
{
    if (HipsTranslationMode(properties) != 2)
        return;
    VLMVector4 frameT, frameQ, frameS;
    VLMGetHipsTranslationFrame(source, sourceRows, frameT, frameQ, frameS);
    VLMSetHipsTranslationFrame(target, targetRows, frameT, frameQ, frameS, t, q, s);
}
