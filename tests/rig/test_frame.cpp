#include "velmora.h"

#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>
#include <xmmintrin.h>

namespace {

float opaque(float v)
{
    volatile float x = v;
    return x;
}

} // namespace

TEST(FPGuard, EnterLoadsLibraryWordAndLeaveRestoresCallersWord)
{
    ControlWordScope scope;
    _mm_setcsr(kUnusualCallerWord);
    VLMFPGuard guard;
    VLMFPGuardEnterDefault(&guard);
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, VLM_LIBRARY_MXCSR);
    EXPECT_EQ(guard.saved, kUnusualCallerWord);
    VLMFPGuardLeave(&guard);
    EXPECT_EQ(_mm_getcsr(), kUnusualCallerWord);
}

TEST(FPGuard, InsideTheGuardDenormalsFlushDivisionByZeroDoesNotTrapTiesGoToEven)
{
    ControlWordScope scope;
    _mm_setcsr(kUnusualCallerWord);  // divide-by-zero unmasked: it would trap outside
    float denormal, quotient, tie;
    {
        VLMScopedFPGuard guard;
        denormal = opaque(FLT_MIN) * opaque(0.5f);
        quotient = opaque(1.0f) / opaque(0.0f);
        // 1 + 2^-24 lies exactly between 1 and the next float: ties to even gives 1.
        tie = opaque(1.0f) + opaque(0x1p-24f);
    }
    EXPECT_EQ(_mm_getcsr(), kUnusualCallerWord);
    EXPECT_EQ(denormal, 0.0f);
    EXPECT_EQ(quotient, INFINITY);
    EXPECT_EQ(tie, 1.0f);
    // With flush-to-zero off (the caller's word) the same product is denormal.
    _mm_setcsr(0x1F80u);
    EXPECT_GT(opaque(FLT_MIN) * opaque(0.5f), 0.0f);
}

TEST(FPGuard, ScopedGuardRestoresOnEarlyReturn)
{
    ControlWordScope scope;
    _mm_setcsr(kUnusualCallerWord);
    auto early = [](bool leave) {
        VLMScopedFPGuard guard;
        if (leave)
            return 1;
        return 2;
    };
    early(true);
    EXPECT_EQ(_mm_getcsr(), kUnusualCallerWord);
    early(false);
    EXPECT_EQ(_mm_getcsr(), kUnusualCallerWord);
}

TEST(Allocation, RequestSizeAlignmentAndStoredRawPointer)
{
    TestAllocator::reset();
    void* block = VLMAllocAligned(100, 16, 0, &TestAllocator::allocate);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(TestAllocator::requests.size(), 1u);
    EXPECT_EQ(TestAllocator::requests[0], 123u);
    void* raw = VLMRawAllocationOf(block);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
    EXPECT_GE(static_cast<char*>(block) - static_cast<char*>(raw), 8);
    EXPECT_LE(static_cast<char*>(block) + 100, static_cast<char*>(raw) + 123);
    VLMDestroyCharacter(static_cast<VLMCharacter*>(block), &TestAllocator::release);
    ASSERT_EQ(TestAllocator::freed.size(), 1u);
    EXPECT_EQ(TestAllocator::freed[0], raw);
}

TEST(Allocation, CarveFromEveryMisalignmentAndWithOffset)
{
    alignas(64) unsigned char arena[256];
    for (int shift = 0; shift < 16; ++shift) {
        void* raw = arena + shift;
        void* block = VLMAlignedCarve(raw, 16, 0);
        const auto address = reinterpret_cast<std::uintptr_t>(block);
        EXPECT_EQ(address % 16, 0u);
        EXPECT_GE(address, reinterpret_cast<std::uintptr_t>(raw) + 8);
        EXPECT_LT(address, reinterpret_cast<std::uintptr_t>(raw) + 8 + 16);
        EXPECT_EQ(VLMRawAllocationOf(block), raw);
    }
    // With an offset the block is placed so that address + offset is aligned.
    const std::uintptr_t a = VLMAlignUp(1000, 32, 4);
    EXPECT_EQ((a + 4) % 32, 0u);
    EXPECT_GE(a, 1000u);
    EXPECT_LT(a, 1032u);
    EXPECT_EQ(VLMAlignUp(1024, 16, 0), 1024u);
    EXPECT_EQ(VLMAlignedAllocationSize(100, 16, 0), 115u);
    EXPECT_EQ(VLMAlignedAllocationSize(100, 16, 20), 119u);
}

TEST(Allocation, NullHandling)
{
    TestAllocator::reset();
    TestAllocator::failAt = 0;
    EXPECT_EQ(VLMAllocAligned(64, 16, 0, &TestAllocator::allocate), nullptr);
    EXPECT_EQ(VLMAlignedCarve(nullptr, 16, 0), nullptr);
    EXPECT_EQ(VLMRawAllocationOf(nullptr), nullptr);
    TestAllocator::failAt = -1;
    VLMDestroyCharacter(nullptr, &TestAllocator::release);
    VLMDestroyCharacterState(nullptr, &TestAllocator::release);
    VLMDestroyEffectorSetState(nullptr, &TestAllocator::release);
    ASSERT_EQ(TestAllocator::freed.size(), 3u);
    for (void* p : TestAllocator::freed)
        EXPECT_EQ(p, nullptr);
}

TEST(Allocation, DestroyRestoresCallersControlWord)
{
    ControlWordScope scope;
    TestAllocator::reset();
    void* block = VLMAllocAligned(32, 16, 0, &TestAllocator::allocate);
    _mm_setcsr(kUnusualCallerWord);
    VLMDestroyEffectorSetState(static_cast<VLMEffectorSetState*>(block), &TestAllocator::release);
    EXPECT_EQ(_mm_getcsr(), kUnusualCallerWord);
}

TEST(LibraryGlobals, OptionCounterAndOwner)
{
    EXPECT_EQ(VLMGetGlobalOption(), VLMGetGlobalOption());
    VLMSetGlobalOption(7);
    EXPECT_EQ(*VLMGetGlobalOption(), 7u);
    VLMSetGlobalOption(0);

    const std::uint32_t before = VLMGlobalCounterValue();
    EXPECT_EQ(VLMGlobalCounterIncrement(42), 42u);
    EXPECT_EQ(VLMGlobalCounterValue(), before + 1);
    VLMGlobalCounterDecrement();
    EXPECT_EQ(VLMGlobalCounterValue(), before);

    VLMSetGlobalOwner(5, 9);
    const std::uint64_t other = 6, same = 5;
    EXPECT_EQ(VLMReleaseGlobalOwner(&other), 6u);
    EXPECT_EQ(VLMGetGlobalOwnerHeld(), 9u);
    EXPECT_EQ(VLMReleaseGlobalOwner(&same), 5u);
    EXPECT_EQ(VLMGetGlobalOwnerHeld(), 0u);
}
