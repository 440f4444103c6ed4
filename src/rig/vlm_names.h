// Velmora rig library: the ids and names of the standard rig's 172 nodes and 44
// effectors, the fixed tables keyed by them, and the compact numbering that a
// character gives its present nodes.
#ifndef VLM_NAMES_H
#define VLM_NAMES_H

#include "rig/vlm_base.h"

#include <cstdint>

// Node ids named in code. Finger and toe joints are addressed through their
// first ids: joint j (0..3) of digit d (0..5) is first + 4 d + j.
enum VLMNodeId : int {
    VLM_NODE_NONE = -1,
    VLM_NODE_REFERENCE = 0,
    VLM_NODE_HIPS = 1,
    VLM_NODE_LEFT_UP_LEG = 2,
    VLM_NODE_LEFT_LEG = 3,
    VLM_NODE_LEFT_FOOT = 4,
    VLM_NODE_RIGHT_UP_LEG = 5,
    VLM_NODE_RIGHT_LEG = 6,
    VLM_NODE_RIGHT_FOOT = 7,
    VLM_NODE_SPINE = 8,
    VLM_NODE_LEFT_ARM = 9,
    VLM_NODE_LEFT_FORE_ARM = 10,
    VLM_NODE_LEFT_HAND = 11,
    VLM_NODE_RIGHT_ARM = 12,
    VLM_NODE_RIGHT_FORE_ARM = 13,
    VLM_NODE_RIGHT_HAND = 14,
    VLM_NODE_HEAD = 15,
    VLM_NODE_LEFT_TOE_BASE = 16,
    VLM_NODE_RIGHT_TOE_BASE = 17,
    VLM_NODE_LEFT_SHOULDER = 18,
    VLM_NODE_RIGHT_SHOULDER = 19,
    VLM_NODE_NECK = 20,
    VLM_NODE_LEFT_FINGER_BASE = 21,
    VLM_NODE_RIGHT_FINGER_BASE = 22,
    VLM_NODE_SPINE1 = 23,  // Spine1..Spine9: 23..31
    VLM_NODE_NECK1 = 32,   // Neck1..Neck9: 32..40
    VLM_NODE_LEFT_UP_LEG_ROLL = 41,
    VLM_NODE_LEFT_LEG_ROLL = 42,
    VLM_NODE_RIGHT_UP_LEG_ROLL = 43,
    VLM_NODE_RIGHT_LEG_ROLL = 44,
    VLM_NODE_LEFT_ARM_ROLL = 45,
    VLM_NODE_LEFT_FORE_ARM_ROLL = 46,
    VLM_NODE_RIGHT_ARM_ROLL = 47,
    VLM_NODE_RIGHT_FORE_ARM_ROLL = 48,
    VLM_NODE_HIPS_TRANSLATION = 49,
    VLM_NODE_LEFT_HAND_THUMB1 = 50,
    VLM_NODE_RIGHT_HAND_THUMB1 = 74,
    VLM_NODE_LEFT_FOOT_THUMB1 = 98,
    VLM_NODE_RIGHT_FOOT_THUMB1 = 122,
    VLM_NODE_LEFT_IN_HAND_THUMB = 146,
    VLM_NODE_RIGHT_IN_HAND_THUMB = 152,
    VLM_NODE_LEFT_IN_FOOT_THUMB = 158,
    VLM_NODE_RIGHT_IN_FOOT_THUMB = 164,
    VLM_NODE_LEFT_SHOULDER_EXTRA = 170,
    VLM_NODE_RIGHT_SHOULDER_EXTRA = 171
};

enum : int {
    VLM_SPINE_CHAIN_LENGTH = 9,  // Spine1..Spine9, and likewise Neck1..Neck9
    VLM_DIGIT_COUNT = 6,         // thumb, index, middle, ring, pinky, extra finger
    VLM_DIGIT_JOINT_COUNT = 4
};

// One row per limb segment that has a roll node: the segment's node, the
// property entries of its roll and extended roll, and the segment's child.
struct VLMRollSegmentRow {
    std::int32_t node;
    std::int32_t rollProperty;
    std::int32_t rollExProperty;
    std::int32_t child;
};

// Effector kinds of VLMEffectorInfoRow.
enum VLMEffectorKind : std::int32_t {
    VLM_EFFECTOR_BODY = 0,  // index: the node id
    VLM_EFFECTOR_HIPS = 1,
    VLM_EFFECTOR_CHEST_END = 2,
    VLM_EFFECTOR_LEFT_HAND_DIGIT = 3,  // kinds 3..6: index is the digit 0..5
    VLM_EFFECTOR_RIGHT_HAND_DIGIT = 4,
    VLM_EFFECTOR_LEFT_FOOT_DIGIT = 5,
    VLM_EFFECTOR_RIGHT_FOOT_DIGIT = 6
};

// One row per effector id: {index, mirror partner (left rows only, else -1), kind}.
struct VLMEffectorInfoRow {
    std::int32_t index;
    std::int32_t paired;
    std::int32_t kind;
};

// Counts and tables; no floating-point guard needed.
VLM_API int VLMGetNodeCount();
VLM_API const char* const* VLMGetNodeNameTable();
VLM_API const VLMRollSegmentRow* VLMRollSegmentTable();    // 8 rows
VLM_API const VLMEffectorInfoRow* VLMEffectorInfoTable();  // 44 rows

// Name lookups (under the floating-point guard). Names match exactly, byte for
// byte; an unknown name gives -1. An id outside the table gives null.
VLM_API const char* VLMGetNodeName(int id);
VLM_API int VLMGetNodeIdFromName(const char* name);
VLM_API const char* VLMGetEffectorName(int id);
VLM_API int VLMGetEffectorIdFromName(const char* name);
// The same as VLMGetEffectorName without touching the control word.
VLM_API const char* VLMGetEffectorNameInternal(int id);

// Numbers the present nodes of a 172-entry node map (present 0, absent -1)
// with their compact indices 0, 1, 2 ... in the rig's fixed order: parents
// before children, and the children of every node on consecutive indices.
// Present nodes that the rig tree cannot reach (their chain is broken by an
// absent node) are numbered after all the others.
VLM_API void VLMAssignCompactIndices(std::int32_t* nodeMap);

#endif
