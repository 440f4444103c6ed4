#include "rig/vlm_access.h"

#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_names.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

namespace {

// --- Operand conversions ----------------------------------------------------------

VLMVector4 loadFloats(const float* v) { return VLMVector4LoadUnaligned(v); }

VLMVector4 loadDoubles(const double* v) { return VLMVector4FromDoubles(v[0], v[1], v[2], v[3]); }

void storeFloats(float* out, const VLMVector4& v) { VLMVector4StoreUnaligned(out, v); }

void storeDoubles(double* out, const VLMVector4& v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
    out[3] = v.w;
}

// Three limits narrowed under the library's rounding (to nearest).
void narrow3(float* out, const double* in)
{
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<float>(in[i]);
}

void widen3(double* out, const float* in)
{
    for (int i = 0; i < 3; ++i)
        out[i] = in[i];
}

VLMVector4 withW(VLMVector4 v, float w)
{
    v.w = w;
    return v;
}

// --- Entries of a node ------------------------------------------------------------

bool isPresent(const VLMCharacter* character, int id)
{
    return character && VLMCharacterCompactIndex(character, id) >= 0;
}

VLMTransformTQS* parentOffsetOf(VLMCharacter* character, int id)
{
    if (!isPresent(character, id))
        return nullptr;
    const VLMNodeRecord* record = VLMCharacterNodeRecord(character, id);
    if (!VLMNodeRecordHasParentOffset(record))
        return nullptr;
    return VLMParentOffsetAt(VLMCharacterParentOffsets(character), record->parentOffsetIndex);
}
const VLMTransformTQS* parentOffsetOf(const VLMCharacter* character, int id)
{
    return parentOffsetOf(const_cast<VLMCharacter*>(character), id);
}

VLMRotationPart* rotationPartOf(VLMCharacter* character, int id)
{
    if (!isPresent(character, id))
        return nullptr;
    const VLMNodeRecord* record = VLMCharacterNodeRecord(character, id);
    if (!VLMNodeRecordHasRotation(record))
        return nullptr;
    return &VLMRotationRecordAt(VLMCharacterRotationRecords(character), record->rotationIndex)->part;
}
const VLMRotationPart* rotationPartOf(const VLMCharacter* character, int id)
{
    return rotationPartOf(const_cast<VLMCharacter*>(character), id);
}

// The T-pose rotation of the node's parent (records and T-pose entries share
// the compact index, as in the fold); the identity for a node that has no
// parent (the root, or a node the rig tree left unlinked).
VLMVector4 parentRestRotation(const VLMCharacter* character, int id)
{
    const std::uint64_t parent = VLMCharacterNodeRecord(character, id)->parentIndex;
    if (parent == VLM_INDEX_NONE)
        return VLMConstant::IdentityQuat;
    return VLMDescriptorElement<const VLMTPoseEntry>(&VLMCharacterHeaderOf(character)->tpose, std::int64_t(parent))->q;
}

// --- The work of the rotation-definition setters ----------------------------------

void setLimitFlags(VLMRotationPart* part, std::uint32_t flagMask, std::uint32_t mask)
{
    part->flags = (part->flags & ~flagMask) | ((mask << 1) & flagMask);
}

void setMinimum(VLMRotationPart* part, const float* minimum, std::uint32_t mask)
{
    for (int i = 0; i < 3; ++i)
        part->minLimit[i] = minimum[i];
    setLimitFlags(part, VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MIN_Y | VLM_ROTFLAG_MIN_Z, mask);
}

void setMaximum(VLMRotationPart* part, const float* maximum, std::uint32_t mask)
{
    for (int i = 0; i < 3; ++i)
        part->maxLimit[i] = maximum[i];
    setLimitFlags(part, VLM_ROTFLAG_MAX_X | VLM_ROTFLAG_MAX_Y | VLM_ROTFLAG_MAX_Z, mask);
}

// A code the stream reader would reject never enters a rotation record: a
// character the library holds can always be written and read back.
bool isRotationOrder(std::uint32_t order) { return order < std::uint32_t(VLM_ROTATION_ORDER_COUNT); }

void setDefinition(VLMRotationPart* part, const float* minimum, const float* maximum, const VLMVector4& pre,
                   const VLMVector4& post, std::uint32_t mask, std::uint32_t order)
{
    VLMRotationLimitsSet(part, minimum, maximum);
    VLMSetPreRotation(part, pre);
    VLMSetPostRotation(part, post);
    setLimitFlags(part, VLM_ROTFLAG_LIMITS, mask);
    if (isRotationOrder(order))
        part->rotationOrder = order;
}

// Reads the definition of a node that has a rotation record; false (outputs
// untouched) otherwise.
bool getDefinition(const VLMCharacter* character, int id, float* minimum, float* maximum, VLMVector4& pre,
                   VLMVector4& post, std::uint32_t* mask, std::uint32_t* order)
{
    const VLMRotationPart* part = rotationPartOf(character, id);
    if (!part)
        return false;
    VLMRotationLimitsGet(part, minimum, maximum);
    pre = part->preRotation;
    post = part->postRotation;
    // The characterization folds the rest rotations into every rotation
    // record except Reference's; take them out again.
    if (id != VLM_NODE_REFERENCE) {
        const VLMTransformTQS* offset = parentOffsetOf(character, id);
        const VLMVector4 qo = offset ? offset->q : VLMConstant::IdentityQuat;
        const VLMVector4 qp = parentRestRotation(character, id);
        const VLMVector4 qn = VLMCharacterTPoseEntry(character, id)->q;
        // conj(Qo) conj(Qp) = conj(Qp Qo): the same product the fold formed.
        pre = VLMQuatMultiply(VLMVector4NegateXYZ(VLMQuatMultiply(qp, qo)), pre);
        post = VLMQuatMultiply(VLMVector4NegateXYZ(qn), post);
    }
    *mask |= (part->flags & VLM_ROTFLAG_LIMITS) >> 1;
    *order = part->rotationOrder;
    return true;
}

VLMEffectorSetLayout* layoutOf(VLMEffectorSetState* set) { return reinterpret_cast<VLMEffectorSetLayout*>(set); }
const VLMEffectorSetLayout* layoutOf(const VLMEffectorSetState* set)
{
    return reinterpret_cast<const VLMEffectorSetLayout*>(set);
}

bool isEffector(int effectorId) { return unsigned(effectorId) < unsigned(VLM_EFFECTOR_COUNT); }

void setEffector(VLMEffectorSetState* set, int effectorId, const VLMVector4& t, const VLMVector4& q,
                 const VLMVector4& s)
{
    VLMTransformTQS& target = layoutOf(set)->effectors[effectorId];
    target.t = withW(t, 0.0f);
    target.q = q;
    target.s = withW(s, 1.0f);
}

const unsigned char* bytesAt(const void* base, std::uint64_t offset)
{
    return static_cast<const unsigned char*>(base) + offset;
}

}  // namespace

// --- T-pose ------------------------------------------------------------------

void VLMGetNodeTPoseInternal(const VLMCharacter* character, int id, float* t, float* q, float* s)
{
    if (!character)
        return;
    const VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
    storeFloats(t, entry->t);
    storeFloats(q, entry->q);
    storeFloats(s, entry->s);
}

void VLMGetNodeTPose(const VLMCharacter* character, int id, float* t, float* q, float* s)
{
    VLMScopedFPGuard guard;
    VLMGetNodeTPoseInternal(character, id, t, q, s);
}

void VLMGetNodeTPoseDouble(const VLMCharacter* character, int id, double* t, double* q, double* s)
{
    VLMScopedFPGuard guard;
    if (!character)
        return;
    const VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
    storeDoubles(t, entry->t);
    storeDoubles(q, entry->q);
    storeDoubles(s, entry->s);
}

namespace {
void setTPose(VLMCharacter* character, int id, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
    entry->t = withW(t, 0.0f);
    entry->q = q;
    entry->s = withW(s, 1.0f);
}
}  // namespace

void VLMSetNodeTPoseInternal(VLMCharacter* character, int id, const float* t, const float* q, const float* s)
{
    if (character)
        setTPose(character, id, loadFloats(t), loadFloats(q), loadFloats(s));
}

void VLMSetNodeTPose(VLMCharacter* character, int id, const float* t, const float* q, const float* s)
{
    VLMScopedFPGuard guard;
    VLMSetNodeTPoseInternal(character, id, t, q, s);
}

void VLMSetNodeTPoseDouble(VLMCharacter* character, int id, const double* t, const double* q, const double* s)
{
    VLMScopedFPGuard guard;
    if (character)
        setTPose(character, id, loadDoubles(t), loadDoubles(q), loadDoubles(s));
}

void VLMGetNodeTPoseMatrix(const VLMCharacter* character, int id, float* matrix)
{
    VLMScopedFPGuard guard;
    if (!character)
        return;
    const VLMTPoseEntry* entry = VLMCharacterTPoseEntry(character, id);
    VLMMatrix44 m;
    VLMTQSToMatrix44Normalized(m, entry->t, entry->q, entry->s);
    VLMMatrix44CopyUnaligned(matrix, m);
}

// --- Parent offset -------------------------------------------------------------

void VLMSetNodeParentOffset(VLMCharacter* character, int id, const float* t, const float* q, const float* s)
{
    VLMScopedFPGuard guard;
    VLMSetNodeParentOffsetInternal(character, id, withW(loadFloats(t), 0.0f), loadFloats(q), loadFloats(s));
}

void VLMSetNodeParentOffsetDouble(VLMCharacter* character, int id, const double* t, const double* q, const double* s)
{
    VLMScopedFPGuard guard;
    VLMSetNodeParentOffsetInternal(character, id, withW(loadDoubles(t), 0.0f), loadDoubles(q), loadDoubles(s));
}

void VLMGetNodeParentOffsetRotation(const VLMCharacter* character, int id, float* t, float* q, float* s)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* offset = parentOffsetOf(character, id)) {
        storeFloats(t, offset->t);
        storeFloats(q, offset->q);
        storeFloats(s, offset->s);
    }
}

void VLMGetNodeParentOffsetRotationDouble(const VLMCharacter* character, int id, double* t, double* q, double* s)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* offset = parentOffsetOf(character, id)) {
        storeDoubles(t, offset->t);
        storeDoubles(q, offset->q);
        storeDoubles(s, offset->s);
    }
}

void VLMSetNodeParentOffsetInternal(VLMCharacter* character, int id, const VLMVector4& t, const VLMVector4& q,
                                    const VLMVector4& s)
{
    if (VLMTransformTQS* offset = parentOffsetOf(character, id)) {
        offset->t = t;
        offset->q = q;
        offset->s = s;
    }
}

void VLMGetNodeParentOffsetInternal(const VLMCharacter* character, int id, VLMVector4& t, VLMVector4& q, VLMVector4& s)
{
    if (const VLMTransformTQS* offset = parentOffsetOf(character, id)) {
        t = offset->t;
        q = offset->q;
        s = offset->s;
    }
}

// --- Rotation definition ---------------------------------------------------------

void VLMSetNodeRotationDefinitionInternal(VLMCharacter* character, int id, const float* minimum, const float* maximum,
                                          const float* pre, const float* post, std::uint32_t mask, std::uint32_t order)
{
    if (VLMRotationPart* part = rotationPartOf(character, id))
        setDefinition(part, minimum, maximum, loadFloats(pre), loadFloats(post), mask, order);
}

void VLMSetNodeRotationDefinition(VLMCharacter* character, int id, const float* minimum, const float* maximum,
                                  const float* pre, const float* post, std::uint32_t mask, std::uint32_t order)
{
    VLMScopedFPGuard guard;
    VLMSetNodeRotationDefinitionInternal(character, id, minimum, maximum, pre, post, mask, order);
}

void VLMSetNodeRotationDefinitionDouble(VLMCharacter* character, int id, const double* minimum, const double* maximum,
                                        const double* pre, const double* post, std::uint32_t mask, std::uint32_t order)
{
    VLMScopedFPGuard guard;
    if (VLMRotationPart* part = rotationPartOf(character, id)) {
        float lo[3], hi[3];
        narrow3(lo, minimum);
        narrow3(hi, maximum);
        setDefinition(part, lo, hi, loadDoubles(pre), loadDoubles(post), mask, order);
    }
}

void VLMGetNodeRotationDefinitionInternal(const VLMCharacter* character, int id, float* minimum, float* maximum,
                                          float* pre, float* post, std::uint32_t* mask, std::uint32_t* order)
{
    VLMVector4 qPre, qPost;
    if (getDefinition(character, id, minimum, maximum, qPre, qPost, mask, order)) {
        storeFloats(pre, qPre);
        storeFloats(post, qPost);
    }
}

void VLMGetNodeRotationDefinition(const VLMCharacter* character, int id, float* minimum, float* maximum, float* pre,
                                  float* post, std::uint32_t* mask, std::uint32_t* order)
{
    VLMScopedFPGuard guard;
    VLMGetNodeRotationDefinitionInternal(character, id, minimum, maximum, pre, post, mask, order);
}

void VLMGetNodeRotationDefinitionDouble(const VLMCharacter* character, int id, double* minimum, double* maximum,
                                        double* pre, double* post, std::uint32_t* mask, std::uint32_t* order)
{
    VLMScopedFPGuard guard;
    float lo[3], hi[3];
    VLMVector4 qPre, qPost;
    if (getDefinition(character, id, lo, hi, qPre, qPost, mask, order)) {
        widen3(minimum, lo);
        widen3(maximum, hi);
        storeDoubles(pre, qPre);
        storeDoubles(post, qPost);
    }
}

void VLMSetNodePreRotationInternal(VLMCharacter* character, int id, const float* q)
{
    if (VLMRotationPart* part = rotationPartOf(character, id))
        VLMSetPreRotation(part, loadFloats(q));
}

void VLMSetNodePreRotation(VLMCharacter* character, int id, const float* q)
{
    VLMScopedFPGuard guard;
    VLMSetNodePreRotationInternal(character, id, q);
}

void VLMSetNodePreRotationDouble(VLMCharacter* character, int id, const double* q)
{
    VLMScopedFPGuard guard;
    if (VLMRotationPart* part = rotationPartOf(character, id))
        VLMSetPreRotation(part, loadDoubles(q));
}

void VLMSetNodePostRotationInternal(VLMCharacter* character, int id, const float* q)
{
    if (VLMRotationPart* part = rotationPartOf(character, id))
        VLMSetPostRotation(part, loadFloats(q));
}

void VLMSetNodePostRotation(VLMCharacter* character, int id, const float* q)
{
    VLMScopedFPGuard guard;
    VLMSetNodePostRotationInternal(character, id, q);
}

void VLMSetNodePostRotationDouble(VLMCharacter* character, int id, const double* q)
{
    VLMScopedFPGuard guard;
    if (VLMRotationPart* part = rotationPartOf(character, id))
        VLMSetPostRotation(part, loadDoubles(q));
}

void VLMSetNodeMinRotationLimitInternal(VLMCharacter* character, int id, const float* minimum, std::uint32_t mask)
{
    if (VLMRotationPart* part = rotationPartOf(character, id))
        setMinimum(part, minimum, mask);
}

void VLMSetNodeMinRotationLimit(VLMCharacter* character, int id, const float* minimum, std::uint32_t mask)
{
    VLMScopedFPGuard guard;
    VLMSetNodeMinRotationLimitInternal(character, id, minimum, mask);
}

void VLMSetNodeMinRotationLimitDouble(VLMCharacter* character, int id, const double* minimum, std::uint32_t mask)
{
    VLMScopedFPGuard guard;
    if (VLMRotationPart* part = rotationPartOf(character, id)) {
        float lo[3];
        narrow3(lo, minimum);
        setMinimum(part, lo, mask);
    }
}

void VLMSetNodeMaxRotationLimitInternal(VLMCharacter* character, int id, const float* maximum, std::uint32_t mask)
{
    if (VLMRotationPart* part = rotationPartOf(character, id))
        setMaximum(part, maximum, mask);
}

void VLMSetNodeMaxRotationLimit(VLMCharacter* character, int id, const float* maximum, std::uint32_t mask)
{
    VLMScopedFPGuard guard;
    VLMSetNodeMaxRotationLimitInternal(character, id, maximum, mask);
}

void VLMSetNodeMaxRotationLimitDouble(VLMCharacter* character, int id, const double* maximum, std::uint32_t mask)
{
    VLMScopedFPGuard guard;
    if (VLMRotationPart* part = rotationPartOf(character, id)) {
        float hi[3];
        narrow3(hi, maximum);
        setMaximum(part, hi, mask);
    }
}

void VLMSetNodeRotationOrder(VLMCharacter* character, int id, std::uint32_t order)
{
    VLMScopedFPGuard guard;
    VLMRotationPart* part = rotationPartOf(character, id);
    if (part && isRotationOrder(order))
        part->rotationOrder = order;
}

// --- Pose-state and effector-set records -------------------------------------------

void VLMGetNodeStoredTQS(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t, float* q,
                         float* s)
{
    VLMScopedFPGuard guard;
    if (!character || !state)
        return;
    const VLMStateRow* row = VLMStateRowAt(state, VLMCharacterCompactIndex(character, id));
    storeFloats(t, row->globalT);
    storeFloats(q, row->globalQ);
    storeFloats(s, row->globalS);
}

void VLMSetEffectorTQS(VLMEffectorSetState* set, int effectorId, const float* t, const float* q, const float* s)
{
    VLMScopedFPGuard guard;
    if (set && isEffector(effectorId))
        setEffector(set, effectorId, loadFloats(t), loadFloats(q), loadFloats(s));
}

void VLMSetEffectorTQSDouble(VLMEffectorSetState* set, int effectorId, const double* t, const double* q,
                             const double* s)
{
    VLMScopedFPGuard guard;
    if (set && isEffector(effectorId))
        setEffector(set, effectorId, loadDoubles(t), loadDoubles(q), loadDoubles(s));
}

void VLMSetEffectorTQSAt(VLMEffectorSetState* set, int effectorId, const void* base, std::uint64_t offsetT,
                         std::uint64_t offsetQ, std::uint64_t offsetS)
{
    VLMScopedFPGuard guard;
    if (set && base && isEffector(effectorId))
        setEffector(set, effectorId, VLMVector4LoadUnaligned(bytesAt(base, offsetT)),
                    VLMVector4LoadUnaligned(bytesAt(base, offsetQ)), VLMVector4LoadUnaligned(bytesAt(base, offsetS)));
}

void VLMSetEffectorTQAt(VLMEffectorSetState* set, int effectorId, const void* base, std::uint64_t offsetT,
                        std::uint64_t offsetQ)
{
    VLMScopedFPGuard guard;
    if (set && base && isEffector(effectorId))
        setEffector(set, effectorId, VLMVector4LoadUnaligned(bytesAt(base, offsetT)),
                    VLMVector4LoadUnaligned(bytesAt(base, offsetQ)), VLMConstant::One);
}

void VLMGetEffectorTQSDouble(const VLMEffectorSetState* set, int effectorId, double* t, double* q, double* s)
{
    VLMScopedFPGuard guard;
    if (!set || !isEffector(effectorId))
        return;
    const VLMTransformTQS& source = layoutOf(set)->effectors[effectorId];
    storeDoubles(t, source.t);
    storeDoubles(q, source.q);
    storeDoubles(s, source.s);
}

void VLMGetExtremityTQDouble(const VLMEffectorSetState* set, int extremity, double* t, double* q)
{
    VLMScopedFPGuard guard;
    if (!set || unsigned(extremity) >= 4u)
        return;
    const VLMTransformTQS& source = layoutOf(set)->extremities[extremity];
    storeDoubles(t, source.t);
    storeDoubles(q, source.q);
}

void VLMSetEffectorsFromLayout(VLMEffectorSetState* set, const VLMEffectorSourceLayout* layout, const void* data)
{
    VLMScopedFPGuard guard;
    if (!set || !layout || !layout->effectorIds || !data)
        return;
    const unsigned char* element = static_cast<const unsigned char*>(data);
    for (const std::int32_t* id = layout->effectorIds; *id != -2; ++id, element += layout->stride) {
        if (!isEffector(*id))
            continue;
        setEffector(set, *id, VLMVector4LoadUnaligned(element + layout->offsetT),
                    VLMVector4LoadUnaligned(element + layout->offsetQ),
                    VLMVector4LoadUnaligned(element + layout->offsetS));
        layoutOf(set)->blend[*id] = VLMVector4Clamp01(VLMVector4LoadUnaligned(element + layout->offsetReach));
    }
}
