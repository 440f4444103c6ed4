// Solver, internal: the placement of the HipsTranslation node (49), from the
// character's own hips or, in the "Trajectory" mode, from the source's.
#ifndef VLM_HIPS_TRANSLATION_H
#define VLM_HIPS_TRANSLATION_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

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
