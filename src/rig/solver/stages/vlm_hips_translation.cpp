#include "rig/solver/stages/vlm_hips_translation.h"

#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

namespace {

int HipsTranslationMode(const VLMPropertySetState* properties)
{
    return VLMFloatToIntRound(VLMPropertyValueAt(properties, vlm_entry::HipsTranslationMode));
}

}  // namespace

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
        a.globalT = hips->globalT + a.localT * hips->globalS;
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
    row->globalT = t + VLMQuatRotate(q, s * frameT);
    row->globalQ = VLMQuatMultiply(q, frameQ);
    row->globalS = frameS * s;
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
