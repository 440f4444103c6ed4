// The bulk transfer between joint-geometry records and a character.
//
// Both directions make three node accesses per used node. Rather than paying
// for the control-word switch of each guarded entry point (two control
// register accesses, several times the cost of the access itself), each runs
// once under the library's word and uses the unguarded forms of the same
// accesses: the results are the same, and the caller's word comes back as
// from any entry point.
#include "rig/vlm_joint.h"

#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_characterize.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_vector.h"

#include <cstring>

namespace {

bool hasFullDefinition(std::uint32_t word) { return (word & VLM_DEF_FULL) == VLM_DEF_FULL; }

// Walks the used nodes of a definition with their record: record id of a
// dense array, or the next one of a packed array (never more than count).
template <class Record, class F>
void forEachUsedNode(const VLMCharacterDefinition* words, Record* records, int count, F&& visit)
{
    const bool dense = count == VLM_NODE_COUNT;
    int next = 0;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (!(words->words[id] & VLM_DEF_USED))
            continue;
        if (!dense && next >= count)
            return;
        visit(id, words->words[id], dense ? records[id] : records[next++]);
    }
}

}  // namespace

void VLMReadJointGeometries(const VLMCharacterDefinition* words, const VLMCharacter* character, VLMJointGeometry* out,
                            int count, VLMBoneInversion* inversion)
{
    if (!words || !character)
        return;
    VLMScopedFPGuard guard;
    if (out && count > 0) {
        std::memset(static_cast<void*>(out), 0, sizeof(VLMJointGeometry) * std::size_t(count));
        forEachUsedNode(words, out, count, [&](int id, std::uint32_t word, VLMJointGeometry& r) {
            float t[4], q[4], s[4];
            VLMGetNodeTPoseInternal(character, id, t, q, s);
            std::memcpy(r.translate, t, sizeof r.translate);
            std::memcpy(r.rotateQ, q, sizeof r.rotateQ);
            std::memcpy(r.scale, s, sizeof r.scale);
            if (!hasFullDefinition(word))
                return;
            // A node the character lacks leaves these outputs as they are:
            // zero, like the record around them.
            r.limitEnableMask = 0;
            r.rotationOrder = 0;
            VLMGetNodeRotationDefinitionInternal(character, id, r.minRLimit, r.maxRLimit, r.preRotQ, r.postRotQ,
                                                 &r.limitEnableMask, &r.rotationOrder);
            VLMVector4 offsetT = {}, offsetQ = {}, offsetS = {};
            VLMGetNodeParentOffsetInternal(character, id, offsetT, offsetQ, offsetS);
            std::memcpy(r.parentOffsetRotateQ, &offsetQ, sizeof r.parentOffsetRotateQ);
        });
    }
    if (inversion) {
        for (int k = 0; k < VLM_INVERTIBLE_BONE_COUNT; ++k)
            inversion->flags[k] = VLMGetBoneInverted(character, k) ? 1u : 0u;
    }
}

void VLMApplyJointGeometries(const VLMCharacterDefinition* words, VLMCharacter* character,
                             const VLMJointGeometry* records, int count, const VLMBoneInversion* inversion)
{
    if (!words || !character)
        return;
    VLMScopedFPGuard guard;
    if (records && count > 0) {
        forEachUsedNode(words, records, count, [&](int id, std::uint32_t word, const VLMJointGeometry& r) {
            const float t[4] = {r.translate[0], r.translate[1], r.translate[2], 0.0f};
            const float s[4] = {r.scale[0], r.scale[1], r.scale[2], 1.0f};
            VLMSetNodeTPoseInternal(character, id, t, r.rotateQ, s);
            if (!hasFullDefinition(word))
                return;
            VLMSetNodeRotationDefinitionInternal(character, id, r.minRLimit, r.maxRLimit, r.preRotQ, r.postRotQ,
                                                 r.limitEnableMask, r.rotationOrder);
            // Translation 0 (w 0), the record's rotation, scale 1 (w 1).
            VLMSetNodeParentOffsetInternal(character, id, VLMVector4{0.0f, 0.0f, 0.0f, 0.0f},
                                           VLMVector4LoadUnaligned(r.parentOffsetRotateQ), VLMConstant::One);
        });
    }

    // The characterization picks each limb's axis by its inverted flag, and an
    // inversion only mirrors the frames when the flag changes: start every
    // limb from "not inverted", whatever an earlier transfer left behind.
    for (VLMLimb& limb : VLMCharacterHeaderOf(character)->limbs)
        limb.boneInverted = 0;
    VLMCharacterize(character);
    if (inversion) {
        for (int k = 0; k < VLM_INVERTIBLE_BONE_COUNT; ++k) {
            if (inversion->flags[k] != 0)
                VLMSetBoneInverted(character, k, true);
        }
    }
}
