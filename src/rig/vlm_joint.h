// Velmora rig library: the joint-geometry and bone-inversion records.
//
// VLMJointGeometry is the rest geometry of one node as the library exchanges it
// with its callers; VLMBoneInversion holds the inverted flags of the four
// invertible limb bones. Both are plain records whose bytes are also a stored
// format (the binary character-definition stream writes them as they are), so
// their layouts are pinned below. The operations here are plain functions on
// caller memory: they check nothing and leave the floating-point control word
// alone.
#ifndef VLM_JOINT_H
#define VLM_JOINT_H

#include "rig/vlm_base.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Limit-enable mask bits. The maximum limits are stored before the minimum ones
// in the record, but the mask keeps the minimum bits low.
enum : std::uint32_t {
    VLM_LIMIT_MIN_X = 1u << 0,
    VLM_LIMIT_MIN_Y = 1u << 1,
    VLM_LIMIT_MIN_Z = 1u << 2,
    VLM_LIMIT_MAX_X = 1u << 3,
    VLM_LIMIT_MAX_Y = 1u << 4,
    VLM_LIMIT_MAX_Z = 1u << 5,
    VLM_LIMIT_MIN_MASK = 0x07u,
    VLM_LIMIT_MAX_MASK = 0x38u
};

// 120 bytes, all fields 32-bit, quaternions (x, y, z, w).
struct VLMJointGeometry {
    float translate[3];  // rest translation
    float rotateQ[4];    // rest rotation
    float scale[3];      // rest scale
    float preRotQ[4];
    float postRotQ[4];
    float maxRLimit[3];             // maximum rotation limits x, y, z
    float minRLimit[3];             // minimum rotation limits x, y, z
    std::uint32_t limitEnableMask;  // VLM_LIMIT_* bits
    float parentOffsetRotateQ[4];   // rotation of the node's parent offset
    std::uint32_t rotationOrder;    // VLMRotationOrder code 0..12
};

static_assert(std::is_standard_layout<VLMJointGeometry>::value && std::is_trivially_copyable<VLMJointGeometry>::value,
              "VLMJointGeometry is copied and streamed byte for byte");
static_assert(sizeof(VLMJointGeometry) == 120, "VLMJointGeometry size");
static_assert(offsetof(VLMJointGeometry, translate) == 0, "Translate offset");
static_assert(offsetof(VLMJointGeometry, rotateQ) == 12, "RotateQ offset");
static_assert(offsetof(VLMJointGeometry, scale) == 28, "Scale offset");
static_assert(offsetof(VLMJointGeometry, preRotQ) == 40, "PreRotQ offset");
static_assert(offsetof(VLMJointGeometry, postRotQ) == 56, "PostRotQ offset");
static_assert(offsetof(VLMJointGeometry, maxRLimit) == 72, "MaxRLimit offset");
static_assert(offsetof(VLMJointGeometry, minRLimit) == 84, "MinRLimit offset");
static_assert(offsetof(VLMJointGeometry, limitEnableMask) == 96, "LimitEnableMask offset");
static_assert(offsetof(VLMJointGeometry, parentOffsetRotateQ) == 100, "ParentOffsetRotateQ offset");
static_assert(offsetof(VLMJointGeometry, rotationOrder) == 116, "RotationOrder offset");

// Index of a flag in VLMBoneInversion; the same order as IDCCHub::InvertibleBone.
enum : int {
    VLM_INVERT_LEFT_LEG = 0,       // bone of LeftLeg (3)
    VLM_INVERT_RIGHT_LEG = 1,      // bone of RightLeg (6)
    VLM_INVERT_LEFT_FOREARM = 2,   // bone of LeftForeArm (10)
    VLM_INVERT_RIGHT_FOREARM = 3,  // bone of RightForeArm (13)
    VLM_INVERTIBLE_BONE_COUNT = 4
};

// Four u32 flags, non-zero meaning inverted.
struct VLMBoneInversion {
    std::uint32_t flags[VLM_INVERTIBLE_BONE_COUNT];
};

static_assert(std::is_standard_layout<VLMBoneInversion>::value && std::is_trivially_copyable<VLMBoneInversion>::value,
              "VLMBoneInversion is streamed byte for byte");
static_assert(sizeof(VLMBoneInversion) == 16, "VLMBoneInversion size");
static_assert(offsetof(VLMBoneInversion, flags) == 0, "VLMBoneInversion flags offset");

// Initial value: every field 0 (scale included), the w of the four quaternions 1.
VLM_API void VLMJointGeometryInit(VLMJointGeometry* g);
VLM_API VLMJointGeometry* VLMJointGeometryConstruct(VLMJointGeometry* g);

// Getters return the address of the field's first component.
VLM_API const float* VLMJointGeometryGetTranslate(const VLMJointGeometry* g);
VLM_API const float* VLMJointGeometryGetRotateQ(const VLMJointGeometry* g);
VLM_API const float* VLMJointGeometryGetScale(const VLMJointGeometry* g);
VLM_API const float* VLMJointGeometryGetPreRotQ(const VLMJointGeometry* g);
VLM_API const float* VLMJointGeometryGetPostRotQ(const VLMJointGeometry* g);
VLM_API const float* VLMJointGeometryGetMinRLimit(const VLMJointGeometry* g);
VLM_API const float* VLMJointGeometryGetMaxRLimit(const VLMJointGeometry* g);
VLM_API const float* VLMJointGeometryGetParentOffsetRotateQ(const VLMJointGeometry* g);
VLM_API std::uint32_t VLMJointGeometryGetLimitEnableMask(const VLMJointGeometry* g);
VLM_API VLMRotationOrder VLMJointGeometryGetRotationOrder(const VLMJointGeometry* g);

// Setters take the components by value in field order.
VLM_API void VLMJointGeometrySetTranslate(VLMJointGeometry* g, float x, float y, float z);
VLM_API void VLMJointGeometrySetRotateQ(VLMJointGeometry* g, float x, float y, float z, float w);
VLM_API void VLMJointGeometrySetScale(VLMJointGeometry* g, float x, float y, float z);
VLM_API void VLMJointGeometrySetPreRotQ(VLMJointGeometry* g, float x, float y, float z, float w);
VLM_API void VLMJointGeometrySetPostRotQ(VLMJointGeometry* g, float x, float y, float z, float w);
VLM_API void VLMJointGeometrySetMinRLimit(VLMJointGeometry* g, float x, float y, float z);
VLM_API void VLMJointGeometrySetMaxRLimit(VLMJointGeometry* g, float x, float y, float z);
VLM_API void VLMJointGeometrySetParentOffsetRotateQ(VLMJointGeometry* g, float x, float y, float z, float w);
VLM_API void VLMJointGeometrySetLimitEnableMask(VLMJointGeometry* g, std::uint32_t mask);
VLM_API void VLMJointGeometrySetRotationOrder(VLMJointGeometry* g, VLMRotationOrder order);

// Set or clear the three minimum (bits 0..2) or maximum (bits 3..5) enable bits;
// the other bits of the mask are kept.
VLM_API void VLMJointGeometrySetMinRLimitEnable(VLMJointGeometry* g, bool x, bool y, bool z);
VLM_API void VLMJointGeometrySetMaxRLimitEnable(VLMJointGeometry* g, bool x, bool y, bool z);

VLM_API bool VLMJointGeometryHasMinRLimitX(const VLMJointGeometry* g);
VLM_API bool VLMJointGeometryHasMinRLimitY(const VLMJointGeometry* g);
VLM_API bool VLMJointGeometryHasMinRLimitZ(const VLMJointGeometry* g);
VLM_API bool VLMJointGeometryHasMaxRLimitX(const VLMJointGeometry* g);
VLM_API bool VLMJointGeometryHasMaxRLimitY(const VLMJointGeometry* g);
VLM_API bool VLMJointGeometryHasMaxRLimitZ(const VLMJointGeometry* g);

// Exact float comparison of every field except the parent-offset rotation
// (0 equals -0, a NaN equals nothing), then the mask and the order as integers.
// The geometry poll relies on the parent offset being left out: the character
// build writes host-derived offsets into the stored records.
VLM_API bool VLMJointGeometryEqual(const VLMJointGeometry* a, const VLMJointGeometry* b);
VLM_API bool VLMJointGeometryNotEqual(const VLMJointGeometry* a, const VLMJointGeometry* b);

// All four flags 0.
VLM_API VLMBoneInversion* VLMBoneInversionInit(VLMBoneInversion* inversion);
VLM_API void VLMBoneInversionSetLeftLeg(VLMBoneInversion* inversion, std::uint32_t inverted);
VLM_API std::uint32_t VLMBoneInversionGetLeftLeg(const VLMBoneInversion* inversion);
VLM_API void VLMBoneInversionSetRightLeg(VLMBoneInversion* inversion, std::uint32_t inverted);
VLM_API std::uint32_t VLMBoneInversionGetRightLeg(const VLMBoneInversion* inversion);
VLM_API void VLMBoneInversionSetLeftForeArm(VLMBoneInversion* inversion, std::uint32_t inverted);
VLM_API std::uint32_t VLMBoneInversionGetLeftForeArm(const VLMBoneInversion* inversion);
VLM_API void VLMBoneInversionSetRightForeArm(VLMBoneInversion* inversion, std::uint32_t inverted);
VLM_API std::uint32_t VLMBoneInversionGetRightForeArm(const VLMBoneInversion* inversion);

// --- Bulk transfer between records and a character ------------------------------
//
// count chooses how the record array is addressed: exactly 172 means record i
// belongs to node id i (dense; records of unused nodes are present but
// ignored); any other count means the records of the used nodes (definition
// word bit 0) follow one another in ascending node-id order (packed), and no
// more than count of them are touched. Each runs its node accesses (those of
// vlm_access.h) under one switch to the library's control word and restores
// the caller's word on return.

// Zeroes count records, then for every used node fills Translate, RotateQ and
// Scale from its T-pose; a node whose word has bits 0, 1 and 2 set also gets
// its rotation definition (limits, pre- and post-rotation, mask, order, as
// VLMGetNodeRotationDefinition gives them) and its parent-offset rotation;
// the other fields of other nodes stay zero. inversion := the four limbs'
// bone-inverted flags (1 or 0).
VLM_API void VLMReadJointGeometries(const VLMCharacterDefinition* words, const VLMCharacter* character,
                                    VLMJointGeometry* out, int count, VLMBoneInversion* inversion);

// Writes every used node's T-pose and, for a node with bits 0, 1 and 2, its
// rotation definition and parent offset (translation 0, the record's
// parent-offset rotation, scale 1; a rotation order above 12 leaves the
// node's order as it was, Euler XYZ on a fresh character); clears the four bone-inverted flags;
// characterizes the rest pose once; then inverts each limb whose flag in
// inversion is non-zero. Meant for a character fresh from creation; applying
// again writes the values again and characterizes from them.
VLM_API void VLMApplyJointGeometries(const VLMCharacterDefinition* words, VLMCharacter* character,
                                     const VLMJointGeometry* records, int count, const VLMBoneInversion* inversion);

#endif
