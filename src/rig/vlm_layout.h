// Record layouts of the rig library's blocks. They are part of the public
// interface: the state rows, node records and effector-set layout a host reads
// through the accessors are these records, and the blend lanes
// (VLMEffectorBlendLane) name what the effector setters write. Every block is one
// position-independent piece of caller memory: records refer to one another by
// indices and self-relative offsets, never by pointers. The sizes and offsets
// below are part of the stored and exchanged formats; the static_asserts keep
// the character, the records and the pose-state layer in agreement.
#ifndef VLM_LAYOUT_H
#define VLM_LAYOUT_H

#include "rig/vlm_base.h"

#include <cstddef>
#include <cstdint>

// One node's rest-pose (T-pose) entry. The presence word is non-zero exactly
// for the nodes a character has; the spare entry in front of the array keeps 0.
struct alignas(16) VLMTPoseEntry {
    VLMVector4 t;
    VLMVector4 q;
    VLMVector4 s;
    std::uint32_t presence;
    std::uint32_t unused[3];
};

// One row of a VLMCharacterState: global T, Q, S, then local T, Q, S.
struct alignas(16) VLMStateRow {
    VLMVector4 globalT;
    VLMVector4 globalQ;
    VLMVector4 globalS;
    VLMVector4 localT;
    VLMVector4 localQ;
    VLMVector4 localS;
};

// Rotation flag bits of a rotation part.
enum : std::uint32_t {
    VLM_ROTFLAG_ASSIGNED = 1u << 0,  // record assigned to a node at creation
    VLM_ROTFLAG_MIN_X = 1u << 1,
    VLM_ROTFLAG_MIN_Y = 1u << 2,
    VLM_ROTFLAG_MIN_Z = 1u << 3,
    VLM_ROTFLAG_MAX_X = 1u << 4,
    VLM_ROTFLAG_MAX_Y = 1u << 5,
    VLM_ROTFLAG_MAX_Z = 1u << 6,
    VLM_ROTFLAG_LIMITS = 0x7Eu,          // bits 1..6: joint-geometry mask bit i is flag bit i + 1
    VLM_ROTFLAG_PRE_ROTATION = 1u << 7,  // pre-rotation is not exactly identity
    VLM_ROTFLAG_POST_ROTATION = 1u << 8  // post-rotation is not exactly identity
};

// The rotation definition of a node: how its local rotation is built from
// three angles. The last three fields form the rotation limit block.
struct alignas(16) VLMRotationPart {
    VLMVector4 preRotation;
    VLMVector4 postRotation;
    VLMVector4 postAxes[3];  // images of the unit axes under the post-rotation, w 0
    std::uint32_t rotationOrder;
    float minLimit[3];
    float maxLimit[3];
    std::uint32_t flags;
};

// A user's rotation definition: an unused leading vector, then the part.
struct alignas(16) VLMRotationRecord {
    VLMVector4 lead;
    VLMRotationPart part;
};

// All ones in an index field means "none".
constexpr std::uint64_t VLM_INDEX_NONE = ~std::uint64_t(0);
constexpr std::uint32_t VLM_INDEX32_NONE = ~std::uint32_t(0);

// One node of the rig tree. The character header opens with one of these as the
// root record; the record array keeps a spare record in front so that an absent
// node (compact index -1) lands on it.
struct alignas(16) VLMNodeRecord {
    VLMRotationPart rotation;     // the node's reference frame, written by characterization
    std::uint64_t rotationIndex;  // index among the rotation records, or none
    std::uint64_t parentOffsetIndex;
    std::uint64_t parentIndex;      // compact index of the parent record
    std::uint64_t firstChildIndex;  // lowest compact index among the children
    std::uint32_t childCount;
    std::uint64_t ownIndex;       // compact index: also the node's state row
    std::uint32_t mirrorPartner;  // compact index of the right-side twin (left nodes only)
    std::uint32_t rollFlag;       // 1 when the segment starting here has its roll node
    std::uint32_t nodeId;
};

// Two offsets relative to the descriptor's own address: an i32 index table by
// rig node id (-1 absent), then the element array (its spare element sits just
// before element 0, so index -1 addresses it).
struct VLMTableDescriptor {
    std::int64_t indexTableOffset;
    std::int64_t elementOffset;
};

// 192 bits, one per rig node id: bit i is bit (i mod 32) of word (i div 32).
struct VLMNodeBitSet {
    std::uint32_t words[6];
};

// 192 bits, one per state row (compact index). Kept distinct from VLMNodeBitSet
// so that a set indexed by node id is never passed where rows are meant.
struct VLMRowBitSet {
    std::uint32_t words[6];
};

// One limb of the character (0 left leg, 1 right leg, 2 left arm, 3 right arm).
// Its seven node records form a private tree over work slots 0..6: the parent of
// the upper joint, upper, upper roll, middle, middle roll, end, tip.
enum VLMLimbSlot {
    VLM_SLOT_PARENT = 0,
    VLM_SLOT_UPPER,
    VLM_SLOT_UPPER_ROLL,
    VLM_SLOT_MIDDLE,
    VLM_SLOT_MIDDLE_ROLL,
    VLM_SLOT_END,
    VLM_SLOT_TIP,
    VLM_LIMB_SLOT_COUNT
};

struct alignas(16) VLMLimb {
    VLMNodeRecord slotRecords[VLM_LIMB_SLOT_COUNT];
    VLMVector4 axis;                              // bend axis, written by characterization
    std::uint32_t tipMask[4];                     // all ones when the tip node is present
    std::int32_t upperSegmentCount;               // 2 with the upper roll node, else 1
    std::int32_t slotIndex[VLM_LIMB_SLOT_COUNT];  // compact index of each slot's node, -1 absent
    std::int32_t effectors[4];                    // upper, middle, end, tip effector ids
    std::int32_t jointSlots[4];                   // 1, 3, 5, 6
    std::int32_t rollSlots[4];                    // 2 or -1, 4 or -1, then -1, -1
    std::int32_t properties[4];                   // kill pitch, resist max extension, max extension angle, reach
    std::int32_t extremityIndex;
    std::uint8_t boneInverted;
    std::uint32_t realisticKneeEntry;  // property entry of the legs, 0 for arms
};

// One hand or foot (0 left hand, 1 right hand, 2 left foot, 3 right foot).
struct VLMExtremity {
    std::uint64_t endNode;            // wrist or ankle node id
    std::uint64_t baseNode;           // finger or toe base node id
    std::uint64_t digitJoints[6][4];  // node ids, digit-major
    std::int32_t lastJoint[6];        // last joint of the unbroken run from joint 1, -1 none
    std::int32_t endEffector;
    std::int32_t baseEffector;
    std::int32_t digitEffectors[6];
    std::uint32_t isFoot;
    std::uint32_t isRight;
    std::int32_t endNodeId;
    std::int32_t baseNodeId;
    std::uint32_t extremityIndex;
    std::uint32_t properties[22];  // property-table entries of the contact and digit settings
    std::uint32_t hasDigits;       // 1 when any of the 24 digit joints is present
};

// The header of a VLMCharacter block. The arrays follow it directly: T-pose
// entries, node records (each with a spare element in front), parent-offset
// entries, rotation records.
constexpr std::size_t VLM_CHARACTER_HEADER_SIZE = 7968;

struct alignas(16) VLMCharacterHeader {
    VLMNodeRecord root;  // root of the rig tree; its own index is node 0's
    VLMLimb limbs[4];
    VLMTableDescriptor nodes;     // node map, node record 0 (self-relative)
    std::int32_t chestIndex;      // last linked Spine1..9 (0 = Spine1), -1 none
    std::int32_t neckIndex;       // last linked Neck1..9 (0 = Neck1), -1 none
    std::uint32_t digitWords[4];  // per extremity, see VLMBuildSkeleton
    VLMExtremity extremities[4];
    VLMTableDescriptor tpose;              // node map, T-pose entry 0 (self-relative)
    std::int32_t nodeMap[VLM_NODE_COUNT];  // compact index by node id, -1 absent
    std::uint32_t nodeCount;
    std::uint32_t blockSize;           // header and arrays, without allocation slack
    std::uint64_t parentOffsetOffset;  // from the block start
    std::uint64_t rotationOffset;      // from the block start
    std::uint64_t nodeRecordOffset;    // from the block start, of node record 0
};

// VLMCharacterState: a 16-byte header whose first word is the node count, the
// spare row, then one row per compact index.
struct alignas(16) VLMCharacterStateHeader {
    std::uint32_t nodeCount;
    std::uint32_t unused[3];
};
constexpr std::size_t VLM_STATE_HEADER_SIZE = 16;
// The first node row (compact index 0) follows the header and the spare row.
constexpr std::size_t VLM_STATE_FIRST_ROW_OFFSET = VLM_STATE_HEADER_SIZE + 96;
constexpr std::size_t VLMCharacterStateSize(std::uint32_t nodeCount)
{
    return (std::size_t(nodeCount) + 1) * sizeof(VLMStateRow) + VLM_STATE_HEADER_SIZE;
}

// The row of compact index k (k = -1 gives the spare row). Signed arithmetic:
// the spare row lies in front of row 0, never at an unsigned wrap-around.
inline VLMStateRow* VLMStateRowAt(void* state, std::int64_t compactIndex)
{
    return reinterpret_cast<VLMStateRow*>(static_cast<unsigned char*>(state) + VLM_STATE_HEADER_SIZE +
                                          std::int64_t(sizeof(VLMStateRow)) * (compactIndex + 1));
}
inline const VLMStateRow* VLMStateRowAt(const void* state, std::int64_t compactIndex)
{
    return VLMStateRowAt(const_cast<void*>(state), compactIndex);
}

// VLMEffectorSetState: the targets of a solve (3296 bytes).
enum VLMEffectorBlendLane { VLM_BLEND_REACH_T = 0, VLM_BLEND_REACH_R = 1, VLM_BLEND_PULL = 2, VLM_BLEND_STIFFNESS = 3 };

struct alignas(16) VLMEffectorSetLayout {
    VLMTransformTQS effectors[VLM_EFFECTOR_COUNT];  // by effector id
    VLMVector4 blend[VLM_EFFECTOR_COUNT];           // per effector: VLMEffectorBlendLane lanes
    VLMTransformTQS extremities[4];                 // left hand, right hand, left foot, right foot
    VLMVector4 rollAngles[16];
    std::uint32_t rollCaptured;
    std::uint32_t stageWord;
    float leftHandPull;
    float rightHandPull;
    float bodyMeasurements[3];
    std::uint32_t reserved;
};

static_assert(sizeof(VLMTPoseEntry) == 64, "T-pose entry is 64 bytes");
static_assert(offsetof(VLMTPoseEntry, presence) == 48, "presence word follows T, Q, S");
static_assert(sizeof(VLMStateRow) == 96, "state row is 96 bytes");
static_assert(sizeof(VLMRotationPart) == 112, "rotation part is 112 bytes");
static_assert(offsetof(VLMRotationPart, postAxes) == 32, "rotation part layout");
static_assert(offsetof(VLMRotationPart, rotationOrder) == 80, "rotation part layout");
static_assert(offsetof(VLMRotationPart, minLimit) == 84, "rotation part layout");
static_assert(offsetof(VLMRotationPart, maxLimit) == 96, "rotation part layout");
static_assert(offsetof(VLMRotationPart, flags) == 108, "rotation part layout");
static_assert(sizeof(VLMRotationRecord) == 128, "rotation record is 128 bytes");
static_assert(offsetof(VLMRotationRecord, part) == 16, "rotation record layout");
static_assert(sizeof(VLMNodeRecord) == 176, "node record is 176 bytes");
static_assert(offsetof(VLMNodeRecord, rotationIndex) == 112, "node record layout");
static_assert(offsetof(VLMNodeRecord, parentOffsetIndex) == 120, "node record layout");
static_assert(offsetof(VLMNodeRecord, parentIndex) == 128, "node record layout");
static_assert(offsetof(VLMNodeRecord, firstChildIndex) == 136, "node record layout");
static_assert(offsetof(VLMNodeRecord, childCount) == 144, "node record layout");
static_assert(offsetof(VLMNodeRecord, ownIndex) == 152, "node record layout");
static_assert(offsetof(VLMNodeRecord, mirrorPartner) == 160, "node record layout");
static_assert(offsetof(VLMNodeRecord, rollFlag) == 164, "node record layout");
static_assert(offsetof(VLMNodeRecord, nodeId) == 168, "node record layout");
static_assert(sizeof(VLMTableDescriptor) == 16, "table descriptor is 16 bytes");
static_assert(sizeof(VLMNodeBitSet) == 24 && sizeof(VLMRowBitSet) == 24, "bit sets are 192 bits");
static_assert(sizeof(VLMLimb) == 1376, "limb block is 1376 bytes");
static_assert(offsetof(VLMLimb, axis) == 1232, "limb block layout");
static_assert(offsetof(VLMLimb, tipMask) == 1248, "limb block layout");
static_assert(offsetof(VLMLimb, upperSegmentCount) == 1264, "limb block layout");
static_assert(offsetof(VLMLimb, slotIndex) == 1268, "limb block layout");
static_assert(offsetof(VLMLimb, properties) == 1344, "limb block layout");
static_assert(offsetof(VLMLimb, extremityIndex) == 1360, "limb block layout");
static_assert(offsetof(VLMLimb, boneInverted) == 1364, "limb block layout");
static_assert(offsetof(VLMLimb, realisticKneeEntry) == 1368, "limb block layout");
static_assert(sizeof(VLMExtremity) == 376, "extremity block is 376 bytes");
static_assert(offsetof(VLMExtremity, lastJoint) == 208, "extremity block layout");
static_assert(offsetof(VLMExtremity, isFoot) == 264, "extremity block layout");
static_assert(offsetof(VLMExtremity, extremityIndex) == 280, "extremity block layout");
static_assert(offsetof(VLMExtremity, properties) == 284, "extremity block layout");
static_assert(offsetof(VLMExtremity, hasDigits) == 372, "extremity block layout");
static_assert(sizeof(VLMCharacterHeader) == VLM_CHARACTER_HEADER_SIZE, "character header is 7968 bytes");
static_assert(alignof(VLMCharacterHeader) == 16, "character header alignment");
static_assert(offsetof(VLMCharacterHeader, limbs) == 176, "character header layout");
static_assert(offsetof(VLMCharacterHeader, nodes) == 5680, "character header layout");
static_assert(offsetof(VLMCharacterHeader, chestIndex) == 5696, "character header layout");
static_assert(offsetof(VLMCharacterHeader, digitWords) == 5704, "character header layout");
static_assert(offsetof(VLMCharacterHeader, extremities) == 5720, "character header layout");
static_assert(offsetof(VLMCharacterHeader, tpose) == 7224, "character header layout");
static_assert(offsetof(VLMCharacterHeader, nodeMap) == 7240, "node map follows the T-pose descriptor");
static_assert(offsetof(VLMCharacterHeader, nodeCount) == 7928, "character header layout");
static_assert(offsetof(VLMCharacterHeader, blockSize) == 7932, "character header layout");
static_assert(offsetof(VLMCharacterHeader, parentOffsetOffset) == 7936, "character header layout");
static_assert(offsetof(VLMCharacterHeader, rotationOffset) == 7944, "character header layout");
static_assert(offsetof(VLMCharacterHeader, nodeRecordOffset) == 7952, "character header layout");
static_assert(sizeof(VLMCharacterStateHeader) == VLM_STATE_HEADER_SIZE, "state header");
static_assert(offsetof(VLMCharacterStateHeader, nodeCount) == 0, "the node count opens a state");
static_assert(VLM_STATE_FIRST_ROW_OFFSET == 112, "first node row at block + 112");
static_assert(offsetof(VLMStateRow, globalT) == 0 && offsetof(VLMStateRow, globalQ) == 16 &&
                  offsetof(VLMStateRow, globalS) == 32 && offsetof(VLMStateRow, localT) == 48 &&
                  offsetof(VLMStateRow, localQ) == 64 && offsetof(VLMStateRow, localS) == 80,
              "state row: global T, Q, S, then local T, Q, S");
static_assert(VLMCharacterStateSize(VLM_NODE_COUNT) == 16624, "largest state");
static_assert(VLMCharacterStateSize(1) == 208, "smallest state");
static_assert(offsetof(VLMEffectorSetLayout, blend) == 2112, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, extremities) == 2816, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, rollAngles) == 3008, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, rollCaptured) == 3264, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, stageWord) == 3268, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, leftHandPull) == 3272, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, rightHandPull) == 3276, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, bodyMeasurements) == 3280, "effector set layout");
static_assert(offsetof(VLMEffectorSetLayout, reserved) == 3292, "effector set layout");
static_assert(sizeof(VLMEffectorSetLayout) == 3296, "effector set state is 3296 bytes");

#endif
