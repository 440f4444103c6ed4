// Velmora rig library: the runtime frame shared by every entry point.
//
// Entry points that work on a character or its states, or look up a node or
// effector name, switch the SSE control/status word to the library's own value
// (VLM_LIBRARY_MXCSR) and restore the caller's whole word, sticky flags
// included, on every way out. Internal functions never touch the word.
//
// The library allocates nothing by itself: objects are carved from memory that
// the caller's allocation callback returns, placed on a 16-byte boundary with
// the raw pointer stored in the 8 bytes just before the object.
#ifndef VLM_FRAME_H
#define VLM_FRAME_H

#include "rig/vlm_base.h"

#include <cstdint>

// All six exceptions masked, round to nearest (ties to even), flush-to-zero on,
// denormals-are-zero off, status flags cleared.
constexpr std::uint32_t VLM_LIBRARY_MXCSR = 0x9F80u;

struct VLMFPGuard {
    std::uint32_t saved;
};

// Control word access. The second pair exists for callers that name the word
// generically; both pairs read and load the same register.
VLM_API std::uint32_t VLMGetMXCSR();
VLM_API void VLMSetMXCSR(std::uint32_t word);
VLM_API std::uint32_t VLMGetControlWord();
VLM_API void VLMSetControlWord(std::uint32_t word);

// Saves the current word in the guard and loads `word` (or the library value).
// These are out-of-line on purpose: a call the optimiser cannot see through
// keeps float work from being moved across the control-word switch.
VLM_API VLMFPGuard* VLMFPGuardEnter(VLMFPGuard* guard, std::uint32_t word);
VLM_API VLMFPGuard* VLMFPGuardEnterDefault(VLMFPGuard* guard);
VLM_API void VLMFPGuardLeave(VLMFPGuard* guard);

// Scope form used by the library's entry points: the caller's word comes back
// on every return path.
class VLMScopedFPGuard {
public:
    VLMScopedFPGuard() { VLMFPGuardEnterDefault(&guard_); }
    ~VLMScopedFPGuard() { VLMFPGuardLeave(&guard_); }
    VLMScopedFPGuard(const VLMScopedFPGuard&) = delete;
    VLMScopedFPGuard& operator=(const VLMScopedFPGuard&) = delete;

private:
    VLMFPGuard guard_;
};

// The float 0.0 as a function, for callers that take a value source.
inline float VLMFloatZero() { return 0.0f; }

// Alignment and allocation. Alignments are powers of two.
VLM_API std::uintptr_t VLMAlignUp(std::uintptr_t address, std::uint64_t alignment, std::uint64_t offset);
VLM_API std::uint64_t VLMAlignedAllocationSize(std::uint64_t size, std::uint64_t alignment, std::uint64_t offset);
VLM_API void* VLMAllocAligned(std::uint64_t size, std::uint64_t alignment, std::uint64_t offset,
                              VLMAllocCallback allocate);
VLM_API void* VLMAlignedCarve(void* raw, std::uint64_t alignment, std::uint64_t offset);
VLM_API void* VLMRawAllocationOf(const void* block);

// Destruction of the library's caller-allocated objects: the raw pointer stored
// before the block goes to the free callback (a null block hands null to it).
VLM_API void VLMDestroyCharacter(VLMCharacter* character, VLMFreeCallback release);
VLM_API void VLMDestroyCharacterState(VLMCharacterState* state, VLMFreeCallback release);
VLM_API void VLMDestroyEffectorSetState(VLMEffectorSetState* state, VLMFreeCallback release);

// Library globals. Nothing in the definition layer reads them.
VLM_API std::uint32_t* VLMGetGlobalOption();
VLM_API void VLMSetGlobalOption(std::uint32_t value);
VLM_API std::uint64_t VLMGlobalCounterIncrement(std::uint64_t value);
VLM_API void VLMGlobalCounterDecrement();
VLM_API std::uint32_t VLMGlobalCounterValue();
VLM_API std::uint64_t VLMReleaseGlobalOwner(const std::uint64_t* owner);
// Test and host support: install an owner pair (owner value, value held for it).
VLM_API void VLMSetGlobalOwner(std::uint64_t owner, std::uint64_t held);
VLM_API std::uint64_t VLMGetGlobalOwnerHeld();

#endif
