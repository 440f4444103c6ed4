// Solver, internal: the left/right mirror of a pose and of an effector set,
// and the placement of the HipsTranslation node (49).
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

// Stage bit 15: HipsTranslation placed from the hips for every
// HipsTranslationMode but 2 ("Trajectory"); 3 acts as 0.
void VLMSolveHipsTrajectory(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties);
// Global T, Q, S of HipsTranslation, or of Hips when the character lacks it.
void VLMGetHipsTranslationFrame(const VLMCharacter* character, const VLMStateRow* rows, VLMVector4& t, VLMVector4& q,
                                VLMVector4& s);
// HipsTranslation := transform (x) frame (when present), its locals re-derived.
void VLMSetHipsTranslationFrame(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& frameT,
                                const VLMVector4& frameQ, const VLMVector4& frameS, const VLMVector4& t,
                                const VLMVector4& q, const VLMVector4& s);
// Mode exactly 2: the target's HipsTranslation := the transform applied to the
// source's HipsTranslation frame.
void VLMApplyHipsTrajectory(const VLMCharacter* target, VLMStateRow* targetRows, const VLMCharacter* source,
                            const VLMStateRow* sourceRows, const VLMPropertySetState* properties, const VLMVector4& t,
                            const VLMVector4& q, const VLMVector4& s);

#endif
