// Solver, internal: hips placement and the spine's turn and squash-and-stretch
// toward the hips, chest-origin and chest-end effectors, with the global
// refreshes of the trunk that the body stages share.
#ifndef VLM_SPINE_H
#define VLM_SPINE_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// Hips global rotation := rotation, global translation := position minus the
// rotated midpoint of the up-legs' local translations; locals re-derived,
// limits applied.
void VLMPlaceHips(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& position,
                  const VLMVector4& rotation);
// Which globals below the spine VLMSolveSpineStretch (and VLMStretchSpine)
// bring up to date. Subtree: all of them, and the whole upper body after each
// step. Trunk: for a caller that refreshes the trunk itself right after (the
// body pull between its iterations, a stage before its whole-tree pass): only
// what the steps read, as they read it (the spine, without a Neck the path to
// the Head, from which the body pull then measures the head's pull; the spine
// rotations before the chest turns; the spine chain and the collars, or the
// whole upper body when a collar is missing, before the chest end is read).
enum class VLMSpineRefresh { Subtree, Trunk };

// The hips toward the hips slot; with the spine flag, the spine toward the
// chest-origin and chest-end slots and stretched toward the chest end.
// `limiter` is (L0, freedom, 1, 1); lane 0 comes back as L0 times the stretch
// factor used.
void VLMSolveSpineStretch(const VLMCharacter* character, VLMStateRow* rows, const VLMSpineGoal* goal,
                          const VLMPropertySetState* properties, const VLMVector4& stiffness,
                          const VLMVector4& preRotationWeight, VLMVector4* limiter, bool spine,
                          VLMSpineRefresh refresh = VLMSpineRefresh::Subtree);
// The chest turned onto a rotation, spread over the spine by the stiffness.
void VLMRotateChestTo(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& chest,
                      const VLMVector4& stiffness);
void VLMStretchSpine(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target,
                     const VLMVector4& stiffness, const VLMVector4& preRotationWeight, const VLMVector4& chestOffset,
                     const VLMVector4& scaleSpine, const VLMVector4& scaleChildren, const VLMVector4& reach,
                     VLMVector4* limiter, VLMSpineRefresh refresh = VLMSpineRefresh::Subtree);
// Globals from locals: the spine chain, the shoulders and their extras, the arms.
void VLMUpdateUpperBodyGlobals(const VLMCharacter* character, VLMStateRow* rows);
// Hips, up-legs, the upper body, the neck.
void VLMUpdateTrunkGlobals(const VLMCharacter* character, VLMStateRow* rows);

#endif
