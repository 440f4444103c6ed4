// Velmora rig library: the whole public interface in one include.
//
// The library is a flat set of VLM* functions over caller-allocated,
// position-independent blocks (characters, pose states, property sets) and
// plain records. Entry points that work on a character switch the SSE control
// word to the library's own value and restore the caller's on every return.
#ifndef VELMORA_H
#define VELMORA_H

#include "vlm_base.h"
#include "vlm_frame.h"
#include "vlm_names.h"

#include "vlm_constants.h"
#include "vlm_vector.h"
#include "vlm_kernels.h"
#include "vlm_quat.h"
#include "vlm_quat_utils.h"
#include "vlm_rotation.h"
#include "vlm_records.h"

#include "vlm_property.h"
#include "vlm_node_record.h"
#include "vlm_character.h"
#include "vlm_joint.h"
#include "vlm_access.h"
#include "vlm_characterize.h"
#include "vlm_stream.h"
#include "vlm_hierarchy.h"
#include "vlm_matrix_entry.h"

#endif
