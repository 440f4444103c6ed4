// Velmora rig library: the whole public interface in one include.
//
// The library is a flat set of VLM* functions over caller-allocated,
// position-independent blocks (characters, pose states, property sets) and
// plain records. Entry points that work on a character switch the SSE control
// word to the library's own value and restore the caller's on every return.
#ifndef VELMORA_H
#define VELMORA_H

#include "rig/vlm_base.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_names.h"

#include "rig/vlm_constants.h"
#include "rig/vlm_vector.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_records.h"

#include "rig/vlm_property.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_character.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_access.h"
#include "rig/vlm_characterize.h"
#include "rig/vlm_stream.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_matrix_entry.h"

#include "rig/solver/vlm_state.h"
#include "rig/solver/vlm_pose_frame.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_transfer.h"
#include "rig/solver/vlm_solve.h"
#include "rig/solver/vlm_stage_bits.h"
#include "rig/solver/vlm_runtime_entries.h"
#include "rig/solver/vlm_effector_matrix.h"
#include "rig/solver/vlm_compose.h"
#include "rig/solver/vlm_effector_frame.h"
#include "rig/solver/vlm_blend.h"
#include "rig/solver/vlm_bulk.h"

#endif
