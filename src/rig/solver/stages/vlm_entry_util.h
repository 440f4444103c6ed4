// Pose-state layer, internal: the argument checks and memory helpers that the
// runtime entry points share. Nothing here touches the floating-point control
// word.
#ifndef VLM_ENTRY_UTIL_H
#define VLM_ENTRY_UTIL_H

#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/vlm_base.h"
#include "rig/vlm_character.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_vector.h"

#include <cstdint>

namespace vlm_entry {

inline bool IsEffector(int id) { return static_cast<unsigned>(id) < unsigned(VLM_EFFECTOR_COUNT); }
inline bool IsExtremity(int k) { return static_cast<unsigned>(k) < 4u; }

// A state that was made for the character: both present and the state's node
// count the character's. Whole-pose work on any other pair would run past the
// state's rows.
inline bool Fits(const VLMCharacter* character, const VLMCharacterState* state)
{
    return character && state &&
           reinterpret_cast<const VLMCharacterStateHeader*>(state)->nodeCount ==
               VLMCharacterHeaderOf(character)->nodeCount;
}

inline std::uint32_t NodeCountOf(const VLMCharacterState* state)
{
    return reinterpret_cast<const VLMCharacterStateHeader*>(state)->nodeCount;
}

// Four doubles narrowed to floats (round to nearest under the guard).
inline VLMVector4 LoadDoubles(const double* v) { return VLMVector4FromDoubles(v[0], v[1], v[2], v[3]); }

// A 16-byte aligned vector at base + a signed byte offset.
inline const VLMVector4& AlignedAt(const void* base, std::int64_t offset)
{
    return *reinterpret_cast<const VLMVector4*>(static_cast<const unsigned char*>(base) + offset);
}
inline VLMVector4& AlignedAt(void* base, std::int64_t offset)
{
    return *reinterpret_cast<VLMVector4*>(static_cast<unsigned char*>(base) + offset);
}

}  // namespace vlm_entry

#endif
