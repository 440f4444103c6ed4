// Solver, internal: one point of a hand's or foot's floor-contact box, in the
// space of the frames it is given (frame A of the wrist or ankle, frame B of
// the finger or toe base). Contact types: 0 Normal (front points 4 and 5
// follow the base when it exists), 1 the extremity node, 2 the base node, 3
// the base node with the hoof turn; any other value counts as 0. A negative
// point index takes the last point (5).
#ifndef VLM_CONTACT_POINT_H
#define VLM_CONTACT_POINT_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

VLMVector4* VLMContactPoint(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                            const VLMPropertySetState* properties, int index, const VLMVector4* tA,
                            const VLMVector4* qA, const VLMVector4* sA, const VLMVector4* tB, const VLMVector4* qB,
                            const VLMVector4* sB);
// Frames A and B from the global T, Q, S of the extremity and base nodes' rows.
VLMVector4* VLMContactPointRows(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                const VLMPropertySetState* properties, int index, const VLMStateRow* rows);
// T and Q of the frames from a goal block's end and extremity slots, the
// scales from the two nodes' rows.
VLMVector4* VLMContactPointRecord(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                  const VLMPropertySetState* properties, int index, const VLMStateRow* rows,
                                  const VLMLimbGoalBlock* record);

#endif
