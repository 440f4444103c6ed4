#include "rig/vlm_frame.h"

#include <xmmintrin.h>

namespace {

std::uint32_t g_option = 0;
std::uint32_t g_counter = 0;
std::uint64_t g_owner = 0;
std::uint64_t g_ownerHeld = 0;

// An empty asm statement with a memory clobber: the compiler may not keep
// values in flight across the switch of the control word.
inline void compilerBarrier() { asm volatile("" ::: "memory"); }

void releaseBlock(void* block, VLMFreeCallback release)
{
    VLMScopedFPGuard guard;
    release(VLMRawAllocationOf(block));
}

}  // namespace

std::uint32_t VLMGetMXCSR()
{
    compilerBarrier();
    return _mm_getcsr();
}

void VLMSetMXCSR(std::uint32_t word)
{
    compilerBarrier();
    _mm_setcsr(word);
    compilerBarrier();
}

std::uint32_t VLMGetControlWord() { return VLMGetMXCSR(); }
void VLMSetControlWord(std::uint32_t word) { VLMSetMXCSR(word); }

__attribute__((noinline)) VLMFPGuard* VLMFPGuardEnter(VLMFPGuard* guard, std::uint32_t word)
{
    compilerBarrier();
    guard->saved = _mm_getcsr();
    _mm_setcsr(word);
    compilerBarrier();
    return guard;
}

__attribute__((noinline)) VLMFPGuard* VLMFPGuardEnterDefault(VLMFPGuard* guard)
{
    return VLMFPGuardEnter(guard, VLM_LIBRARY_MXCSR);
}

__attribute__((noinline)) void VLMFPGuardLeave(VLMFPGuard* guard)
{
    compilerBarrier();
    _mm_setcsr(guard->saved);
    compilerBarrier();
}

std::uintptr_t VLMAlignUp(std::uintptr_t address, std::uint64_t alignment, std::uint64_t offset)
{
    return address + ((0 - (address + offset)) & (alignment - 1));
}

std::uint64_t VLMAlignedAllocationSize(std::uint64_t size, std::uint64_t alignment, std::uint64_t offset)
{
    return size + (offset & (alignment - 1)) + alignment - 1;
}

void* VLMAllocAligned(std::uint64_t size, std::uint64_t alignment, std::uint64_t offset, VLMAllocCallback allocate)
{
    void* raw = allocate(size + (offset & (alignment - 1)) + alignment + 7);
    if (!raw)
        return nullptr;
    return VLMAlignedCarve(raw, alignment, offset);
}

void* VLMAlignedCarve(void* raw, std::uint64_t alignment, std::uint64_t offset)
{
    if (!raw)
        return nullptr;
    const std::uintptr_t block = VLMAlignUp(reinterpret_cast<std::uintptr_t>(raw) + 8, alignment, offset);
    void* stored = raw;
    __builtin_memcpy(reinterpret_cast<void*>(block - 8), &stored, sizeof stored);
    return reinterpret_cast<void*>(block);
}

void* VLMRawAllocationOf(const void* block)
{
    if (!block)
        return nullptr;
    void* raw;
    __builtin_memcpy(&raw, static_cast<const unsigned char*>(block) - 8, sizeof raw);
    return raw;
}

void VLMDestroyCharacter(VLMCharacter* character, VLMFreeCallback release) { releaseBlock(character, release); }

void VLMDestroyCharacterState(VLMCharacterState* state, VLMFreeCallback release) { releaseBlock(state, release); }

void VLMDestroyEffectorSetState(VLMEffectorSetState* state, VLMFreeCallback release) { releaseBlock(state, release); }

std::uint32_t* VLMGetGlobalOption() { return &g_option; }
void VLMSetGlobalOption(std::uint32_t value) { g_option = value; }

std::uint64_t VLMGlobalCounterIncrement(std::uint64_t value)
{
    ++g_counter;
    return value;
}

void VLMGlobalCounterDecrement() { --g_counter; }
std::uint32_t VLMGlobalCounterValue() { return g_counter; }

std::uint64_t VLMReleaseGlobalOwner(const std::uint64_t* owner)
{
    if (g_owner == *owner) {
        g_owner = 0;
        g_ownerHeld = 0;
    }
    return *owner;
}

void VLMSetGlobalOwner(std::uint64_t owner, std::uint64_t held)
{
    g_owner = owner;
    g_ownerHeld = held;
}

std::uint64_t VLMGetGlobalOwnerHeld() { return g_ownerHeld; }
