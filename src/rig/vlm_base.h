// Velmora rig library: basic types shared by every part of the public interface.
#ifndef VLM_BASE_H
#define VLM_BASE_H

#include <cstddef>
#include <cstdint>

// Functions of the rig library's flat interface are visible outside the module.
#define VLM_API __attribute__((visibility("default")))

// The standard rig: node ids 0..171, effector ids 0..43. This is the one place
// where these counts are defined.
enum : int { VLM_NODE_COUNT = 172, VLM_EFFECTOR_COUNT = 44 };

// Caller-supplied memory: the library never allocates on its own.
typedef void* (*VLMAllocCallback)(std::uint64_t size);
typedef void (*VLMFreeCallback)(void* raw);

// The library's value type: four single floats, always 16-byte aligned. It
// holds points (w 1), directions (w 0), quaternions (x, y, z, w with w the
// scalar part), splatted scalars and lane masks.
struct alignas(16) VLMVector4 {
    float x, y, z, w;
};

// Four rows; rows 0..2 are the images of the x, y and z axes, row 3 the
// translation (w 1): a point p maps to p.x r0 + p.y r1 + p.z r2 + r3.
struct alignas(16) VLMMatrix44 {
    VLMVector4 r[4];
};

// Translation (w 0), rotation quaternion, scale (w 1).
struct alignas(16) VLMTransformTQS {
    VLMVector4 t;
    VLMVector4 q;
    VLMVector4 s;
};

static_assert(sizeof(VLMVector4) == 16 && alignof(VLMVector4) == 16, "VLMVector4 layout");
static_assert(sizeof(VLMMatrix44) == 64, "VLMMatrix44 layout");
static_assert(sizeof(VLMTransformTQS) == 48, "VLMTransformTQS layout");

// How a node's local rotation is built from three angles: twelve Euler orders
// in pairs that share one axis triple (the odd, repeated-axis codes convert from
// angles like the even code before them), and one spheric order. Stored as an
// unsigned 32-bit code in records and streams.
enum VLMRotationOrder : std::uint32_t {
    VLM_ROTATION_EULER_XYZ = 0,
    VLM_ROTATION_EULER_XYX = 1,
    VLM_ROTATION_EULER_XZY = 2,
    VLM_ROTATION_EULER_XZX = 3,
    VLM_ROTATION_EULER_YZX = 4,
    VLM_ROTATION_EULER_YZY = 5,
    VLM_ROTATION_EULER_YXZ = 6,
    VLM_ROTATION_EULER_YXY = 7,
    VLM_ROTATION_EULER_ZXY = 8,
    VLM_ROTATION_EULER_ZXZ = 9,
    VLM_ROTATION_EULER_ZYX = 10,
    VLM_ROTATION_EULER_ZYZ = 11,
    VLM_ROTATION_SPHERIC_XYZ = 12
};
enum : int { VLM_ROTATION_ORDER_COUNT = 13 };

// Opaque handles. Each is one position-independent block of caller memory.
struct VLMCharacter;
struct VLMCharacterState;
struct VLMEffectorSetState;

// 172 definition words, one per rig node id.
struct VLMCharacterDefinition {
    std::uint32_t words[VLM_NODE_COUNT];
};

#endif
