// Solver, internal: the left/right mirror of a pose and of an effector set.
//
// The transform mirror negates T.z and maps Q = (x, y, z, w) to (-z, w, -x, y),
// which is the reflection across z = 0 followed by a half turn about y. With
// the partner swap, a pose's mirror is its left/right mirror turned 180
// degrees about y: a symmetric T-pose mirrors onto itself turned by a half
// turn (node 0 is not mirrored). The transform mirror applied twice gives back
// the same bits.
#ifndef VLM_MIRROR_H
#define VLM_MIRROR_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

void VLMMirrorTransform(VLMVector4& t, VLMVector4& q);
void VLMMirrorPose(const VLMCharacter* character, VLMStateRow* rows);
// Mirrors all 44 effectors, then swaps every left effector's T, Q (not S) and
// blend lanes with its right partner's.
void VLMMirrorEffectorSet(VLMEffectorSetLayout* set);

#endif
