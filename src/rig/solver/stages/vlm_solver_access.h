// Pose-state layer, internal: thin accessors over the character block, the
// state and effector-set blocks and the property set. Nothing here checks its
// arguments or touches the floating-point control word; limb, extremity and
// property-entry indices come from the library's own tables.
#ifndef VLM_SOLVER_ACCESS_H
#define VLM_SOLVER_ACCESS_H

#include "rig/vlm_base.h"
#include "rig/vlm_character.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

#include <cstdint>

// The first node row of a state (compact index 0; index -1 is the spare row).
inline VLMStateRow* VLMStateFirstRow(VLMCharacterState* state) { return VLMStateRowAt(static_cast<void*>(state), 0); }
inline const VLMStateRow* VLMStateFirstRow(const VLMCharacterState* state)
{
    return VLMStateRowAt(static_cast<const void*>(state), 0);
}

// Whether the character has node id (its compact index is not -1). Short,
// because the stages ask it in nearly every condition.
inline bool Has(const VLMCharacter* character, int id) { return VLMCharacterCompactIndex(character, id) >= 0; }

// The row of a node id: the spare row for a node the character lacks and for
// any id outside 0..171.
inline VLMStateRow* VLMNodeRow(const VLMCharacter* character, VLMStateRow* rows, int id)
{
    return rows + VLMCharacterCompactIndex(character, id);
}
inline const VLMStateRow* VLMNodeRow(const VLMCharacter* character, const VLMStateRow* rows, int id)
{
    return rows + VLMCharacterCompactIndex(character, id);
}

inline VLMEffectorSetLayout* VLMEffectorSetLayoutOf(VLMEffectorSetState* set)
{
    return reinterpret_cast<VLMEffectorSetLayout*>(set);
}
inline const VLMEffectorSetLayout* VLMEffectorSetLayoutOf(const VLMEffectorSetState* set)
{
    return reinterpret_cast<const VLMEffectorSetLayout*>(set);
}

// The character's rotation records (the limits the clamps read).
inline const VLMRotationRecord* VLMCharacterRotations(const VLMCharacter* character)
{
    return VLMCharacterRotationRecords(const_cast<VLMCharacter*>(character));
}

// Limb 0 left leg, 1 right leg, 2 left arm, 3 right arm.
inline const VLMLimb* VLMCharacterLimb(const VLMCharacter* character, int limb)
{
    return &VLMCharacterHeaderOf(character)->limbs[limb];
}
// Extremity 0 left hand, 1 right hand, 2 left foot, 3 right foot.
inline const VLMExtremity* VLMCharacterExtremity(const VLMCharacter* character, int extremity)
{
    return &VLMCharacterHeaderOf(character)->extremities[extremity];
}
// Bits 3d..3d+2: joint count of digit d; bits 18..20: present digits among 1..5.
inline std::uint32_t VLMCharacterDigitWord(const VLMCharacter* character, int extremity)
{
    return VLMCharacterHeaderOf(character)->digitWords[extremity];
}
// The last Spine1..9 (0 = Spine1) and Neck1..9 (0 = Neck1) of the character's
// chains, -1 when the chain is empty.
inline std::int32_t VLMCharacterChestIndex(const VLMCharacter* character)
{
    return VLMCharacterHeaderOf(character)->chestIndex;
}
inline std::int32_t VLMCharacterNeckIndex(const VLMCharacter* character)
{
    return VLMCharacterHeaderOf(character)->neckIndex;
}

// Property value and mode by table entry (0..211), never by public id.
inline float VLMPropertyValueAt(const VLMPropertySetState* set, int entry) { return set->entries[entry].value; }
inline std::uint32_t VLMPropertyModeAt(const VLMPropertySetState* set, int entry) { return set->entries[entry].mode; }
// The values of entries first, first + 1 and first + 2 as (x, y, z, 0): the
// X, Y, Z entries of an offset such as HipsTOffsetX.
inline VLMVector4 VLMPropertyVectorAt(const VLMPropertySetState* set, int first)
{
    return VLMVector4{VLMPropertyValueAt(set, first), VLMPropertyValueAt(set, first + 1),
                      VLMPropertyValueAt(set, first + 2), 0.0f};
}

#endif
