#include "rig/velmora.h"

#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <xmmintrin.h>

namespace {

float opaque(float v)
{
    volatile float x = v;
    return x;
}

}  // namespace

TEST(FPGuard, EnterLoadsLibraryWordAndLeaveRestoresCallersWord)
{
    ControlWordScope scope(kUnusualCallerWord);
    VLMFPGuard guard;
    EXPECT_EQ(VLMFPGuardEnterDefault(&guard), &guard);
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, VLM_LIBRARY_MXCSR);
    EXPECT_EQ(guard.saved, kUnusualCallerWord);
    VLMFPGuardLeave(&guard);
    EXPECT_EQ(_mm_getcsr(), kUnusualCallerWord);
}

TEST(FPGuard, InsideTheGuardDenormalsFlushDivisionByZeroDoesNotTrapTiesGoToEven)
{
    // The caller's word unmasks division by zero and rounds toward zero.
    ControlWordScope scope(kUnusualCallerWord);
    float denormal, quotient, tie;
    {
        VLMScopedFPGuard guard;
        denormal = opaque(FLT_MIN) * opaque(0.5f);
        quotient = opaque(1.0f) / opaque(0.0f);
        // Halfway between 1 + 2^-23 (odd) and 1 + 2^-22 (even): to nearest
        // even gives the upper one, toward zero the lower.
        tie = opaque(1.0f + 0x1p-23f) + opaque(0x1p-24f);
    }
    EXPECT_EQ(_mm_getcsr(), kUnusualCallerWord);
    EXPECT_EQ(denormal, 0.0f);
    EXPECT_EQ(quotient, INFINITY);
    EXPECT_EQ(tie, 1.0f + 0x1p-22f);
    // With flush-to-zero off (the caller's word) the same product is denormal.
    _mm_setcsr(0x1F80u);
    EXPECT_GT(opaque(FLT_MIN) * opaque(0.5f), 0.0f);
}

TEST(FPGuard, ScopedGuardRestoresOnEarlyReturn)
{
    auto early = [](bool leave) {
        VLMScopedFPGuard guard;
        return leave ? 1 : 2;
    };
    EXPECT_TRUE(RestoresCallerWord([&] { early(true); }));
    EXPECT_TRUE(RestoresCallerWord([&] { early(false); }));
}

TEST(Allocation, RequestSizeAlignmentAndStoredRawPointer)
{
    TestAllocator::reset();
    void* block = VLMAllocAligned(100, 16, 0, &TestAllocator::allocate);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(TestAllocator::requests, std::vector<std::uint64_t>{123u});
    void* raw = VLMRawAllocationOf(block);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
    EXPECT_GE(static_cast<char*>(block) - static_cast<char*>(raw), 8);
    EXPECT_LE(static_cast<char*>(block) + 100, static_cast<char*>(raw) + 123);
    auto* character = static_cast<VLMCharacter*>(block);
    EXPECT_TRUE(RestoresCallerWord([&] { VLMDestroyCharacter(character, &TestAllocator::release); }));
    EXPECT_EQ(TestAllocator::freed, std::vector<void*>{raw});
}

TEST(Allocation, CarveFromEveryMisalignmentAndWithOffset)
{
    alignas(64) unsigned char arena[256];
    for (int shift = 0; shift < 16; ++shift) {
        void* raw = arena + shift;
        const auto address = reinterpret_cast<std::uintptr_t>(VLMAlignedCarve(raw, 16, 0));
        EXPECT_EQ(address % 16, 0u);
        EXPECT_GE(address, reinterpret_cast<std::uintptr_t>(raw) + 8);
        EXPECT_LT(address, reinterpret_cast<std::uintptr_t>(raw) + 8 + 16);
        EXPECT_EQ(VLMRawAllocationOf(reinterpret_cast<void*>(address)), raw);
    }
    // With an offset the block is placed so that address + offset is aligned.
    EXPECT_EQ(VLMAlignUp(1000, 32, 4), 1020u);
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
    VLMDestroyCharacter(nullptr, &TestAllocator::release);
    VLMDestroyCharacterState(nullptr, &TestAllocator::release);
    VLMDestroyEffectorSetState(nullptr, &TestAllocator::release);
    EXPECT_EQ(TestAllocator::freed, (std::vector<void*>{nullptr, nullptr, nullptr}));
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
