// Velmora rig library, pose-state layer: entry points that put a whole pose
// through one operation, and the contact-point queries.
//
// Each entry runs under the floating-point guard and hands the first node row
// of each state inward. A null block, or a state whose node count is not its
// character's, makes the entry do nothing (the contact queries answer false).
#ifndef VLM_RUNTIME_ENTRIES_H
#define VLM_RUNTIME_ENTRIES_H

#include "rig/vlm_base.h"
#include "rig/vlm_property.h"

// VLMSetGlobalOption is declared in rig/vlm_frame.h.

// Node 0 at identity in the stored frame (so it reads back as its T-pose
// entry), every other node at its T-pose translation with identity stored
// rotation and unit scale.
VLM_API void VLMPutStateInTPose(const VLMCharacter* character, VLMCharacterState* state);
// The T-pose, then every joint at the zero Euler angles of its rotation definition.
VLM_API void VLMPutStateInZeroPose(const VLMCharacter* character, VLMCharacterState* state);
// The quadruped stance offsets turned on or taken off again.
VLM_API void VLMAddStanceOffsetsToState(const VLMCharacter* character, VLMCharacterState* state);
VLM_API void VLMRemoveStanceOffsetsFromState(const VLMCharacter* character, VLMCharacterState* state);
// The source pose retargeted onto the target, then the target's rotation
// limits applied (rotation only) and its globals recomputed from the locals.
VLM_API void VLMTransferPoseAndUpdate(const VLMCharacter* target, VLMCharacterState* targetState,
                                      const VLMCharacter* source, const VLMCharacterState* sourceState,
                                      const VLMPropertySetState* properties);
// All 44 effectors of the set from the pose.
VLM_API void VLMSetEffectorsFromPose(const VLMCharacter* character, VLMEffectorSetState* set,
                                     const VLMCharacterState* state, const VLMPropertySetState* properties);

// The six vectors of the first n node rows, n the smaller of the two node
// counts (a smaller source is never read past its end). Headers and spare
// rows are not copied.
VLM_API void VLMCopyCharacterState(VLMCharacterState* destination, const VLMCharacterState* source);

// Every node but Reference through its Euler angles: the locals refreshed from
// the globals, the angles clamped to the node's rotation limits (a node without
// a rotation record has none), the globals recomputed. A node whose rotation
// order cannot express a pose as angles (the repeated-axis orders) keeps its
// rotation, as in the library's limit passes.
VLM_API void VLMClampPoseToRotationLimits(const VLMCharacter* character, VLMCharacterState* state);

// The pose mirrored in the frame that the quaternion (four doubles x, y, z, w;
// null for the identity) gives the root, then given the root and hips
// rotations of the reference state. Only node 0's global rotation changes of
// node 0's row. The first argument is not read.
VLM_API void VLMMirrorPoseInFrame(const void* unused, VLMCharacterState* state, const VLMCharacterState* reference,
                                  const VLMCharacter* character, const double* frame);

// One point of a hand's or foot's floor-contact shape (extremity 0 left hand,
// 1 right hand, 2 left foot, 3 right foot; point index 0..3 the corners at the
// joint, 4 and 5 the front corners) from the global transforms of the pose.
// No point, and the answer false, when the index is 4 or more and the contact
// type (HandContactType or FootContactType, rounded to the nearest integer)
// is not 0, and for an extremity outside 0..3. The single form writes the
// point as four floats at any address, (0, 0, 0, 0) when there is none; the
// matrix form writes 16 doubles of a translation matrix with unit axes, the
// identity when there is no point.
VLM_API bool VLMGetContactPoint(const VLMCharacter* character, const VLMCharacterState* state,
                                const VLMPropertySetState* properties, int extremity, int index, float* point);
VLM_API bool VLMGetContactPointMatrixd(const VLMCharacter* character, const VLMCharacterState* state,
                                       const VLMPropertySetState* properties, int extremity, int index, double* matrix);

#endif
