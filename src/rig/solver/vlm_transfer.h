// Velmora rig library, pose-state layer: pose transfer with scale and offset.
#ifndef VLM_TRANSFER_H
#define VLM_TRANSFER_H

#include "rig/vlm_base.h"
#include "rig/vlm_property.h"

// Retargets the source pose onto the target (VLMTransferPose), then gives
// every node both characters have the local scale of the scale state (whose
// rows follow the source character's layout) and node 0 the scale state's node
// 0 transform, puts the target's hips where the source's are, and turns and
// moves them by the offset: 16 doubles of a 4x4 matrix whose elements 0-2,
// 4-6 and 8-10 hold the rotation's axes (each divided by its length first)
// and 12-14 the translation; without one, no turn and no move. The seventh
// argument is not read. Runs under the floating-point guard; null blocks, and
// states made for another node count than their characters', change nothing.
VLM_API void VLMTransferPoseWithScaleAndOffset(const VLMCharacter* target, VLMCharacterState* targetState,
                                               const VLMCharacterState* scaleState, const VLMCharacter* source,
                                               const VLMCharacterState* sourceState,
                                               const VLMPropertySetState* properties, const void* unused,
                                               const double* offset);

#endif
