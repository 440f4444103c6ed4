// Solver, internal: roll bones. The twist of each limb segment (up-leg, leg,
// arm, fore-arm of each side) is shared with its optional roll node (41..48)
// by the rows of VLMRollSegmentTable (rig/vlm_names.h). Roll-angle blocks hold
// 16 entries: the segments' Euler angles of rows 0..7, then the roll nodes'.
#ifndef VLM_ROLL_H
#define VLM_ROLL_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// Entries of the rows whose roll property is in effect; the others are left.
void VLMCaptureRollAngles(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties,
                          VLMVector4* block);
// Rows 7 down to 0: the segment keeps a + (1 - r) d of its x angle, the roll
// node takes b + (1 - e) r d, measured against the reference block (a, b) or,
// without one, against 0.
void VLMDistributeRoll(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties,
                       const VLMVector4* reference);

#endif
