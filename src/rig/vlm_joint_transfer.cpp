// The bulk transfer between joint-geometry records and a character.
#include "vlm_joint.h"

#include "vlm_access.h"
#include "vlm_character.h"
#include "vlm_characterize.h"

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

} // namespace

void VLMReadJointGeometries(const VLMCharacterDefinition* words, const VLMCharacter* character, VLMJointGeometry* out,
                            int count, VLMBoneInversion* inversion)
{
    if (!words || !character)
        return;
    if (out && count > 0) {
        std::memset(static_cast<void*>(out), 0, sizeof(VLMJointGeometry) * std::size_t(count));
        forEachUsedNode(words, out, count, [&](int id, std::uint32_t word, VLMJointGeometry& r) {
            float t[4], q[4], s[4];
            VLMGetNodeTPose(character, id, t, q, s);
            std::memcpy(r.translate, t, sizeof r.translate);
            std::memcpy(r.rotateQ, q, sizeof r.rotateQ);
            std::memcpy(r.scale, s, sizeof r.scale);
            if (!hasFullDefinition(word))
                return;
            // A node the character lacks leaves these outputs as they are:
            // zero, like the record around them.
            r.limitEnableMask = 0;
            r.rotationOrder = 0;
            VLMGetNodeRotationDefinition(character, id, r.minRLimit, r.maxRLimit, r.preRotQ, r.postRotQ,
                                         &r.limitEnableMask, &r.rotationOrder);
            float offsetT[4] = {}, offsetQ[4] = {}, offsetS[4] = {};
            VLMGetNodeParentOffsetRotation(character, id, offsetT, offsetQ, offsetS);
            std::memcpy(r.parentOffsetRotateQ, offsetQ, sizeof r.parentOffsetRotateQ);
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
    if (records && count > 0) {
        forEachUsedNode(words, records, count, [&](int id, std::uint32_t word, const VLMJointGeometry& r) {
            const float t[4] = {r.translate[0], r.translate[1], r.translate[2], 0.0f};
            const float s[4] = {r.scale[0], r.scale[1], r.scale[2], 1.0f};
            VLMSetNodeTPose(character, id, t, r.rotateQ, s);
            if (!hasFullDefinition(word))
                return;
            VLMSetNodeRotationDefinition(character, id, r.minRLimit, r.maxRLimit, r.preRotQ, r.postRotQ,
                                         r.limitEnableMask, r.rotationOrder);
            const float offsetT[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            const float offsetS[4] = {1.0f, 1.0f, 1.0f, 1.0f};
            VLMSetNodeParentOffset(character, id, offsetT, r.parentOffsetRotateQ, offsetS);
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
