// Owning handles for the rig library's caller-allocated objects. The library
// itself only offers create/destroy pairs; code of ours that holds a character
// or a state for a while holds it through one of these, so that every way out
// releases it with the free function matching the allocation.
#ifndef VLM_HANDLE_H
#define VLM_HANDLE_H

#include "rig/vlm_frame.h"

#include <cstdlib>
#include <memory>

template <typename T, void (*Destroy)(T*, VLMFreeCallback)>
struct VLMDestroyer {
    VLMFreeCallback release = &std::free;
    void operator()(T* object) const
    {
        if (object)
            Destroy(object, release);
    }
};

using VLMCharacterHandle = std::unique_ptr<VLMCharacter, VLMDestroyer<VLMCharacter, &VLMDestroyCharacter>>;
using VLMCharacterStateHandle =
    std::unique_ptr<VLMCharacterState, VLMDestroyer<VLMCharacterState, &VLMDestroyCharacterState>>;
using VLMEffectorSetStateHandle =
    std::unique_ptr<VLMEffectorSetState, VLMDestroyer<VLMEffectorSetState, &VLMDestroyEffectorSetState>>;

// Takes ownership of `object`, released later through `release` (the free
// function paired with the allocation callback that created it).
template <typename Handle>
Handle VLMAdopt(typename Handle::pointer object, VLMFreeCallback release = &std::free)
{
    return Handle(object, typename Handle::deleter_type{release});
}

#endif
