// The vector constants: a golden table of bit patterns, derived from the
// decimal values of the constant list (each rounded to the nearest single
// float) independently of the header.
#include "rig/vlm_constants.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <set>

namespace {

struct Golden {
    const char* name;
    const VLMVector4* (*getter)();
    std::uint32_t bits[4];
};

#define ROW(getter, x, y, z, w)         \
    {                                   \
#getter, getter, { x, y, z, w } \
    }
#define SPLAT(getter, bits) ROW(getter, bits, bits, bits, bits)
// clang-format off
const Golden kGolden[] = {
    SPLAT(VLMConstOne, 0x3F800000), SPLAT(VLMConstSignMask, 0x80000000), SPLAT(VLMConstThree, 0x40400000),
    SPLAT(VLMConstHalf, 0x3F000000), ROW(VLMConstMaskXYZ, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0),
    ROW(VLMConstIdentityQuat, 0, 0, 0, 0x3F800000), ROW(VLMConstHalfW, 0, 0, 0, 0x3F000000),
    ROW(VLMConstQuatSignsA, 0x3F800000, 0x3F800000, 0xBF800000, 0xBF800000),
    ROW(VLMConstQuatSignsB, 0xBF800000, 0x3F800000, 0x3F800000, 0xBF800000),
    ROW(VLMConstQuatSignsC, 0x3F800000, 0xBF800000, 0x3F800000, 0xBF800000),
    ROW(VLMConstSignMaskXYZ, 0x80000000, 0x80000000, 0x80000000, 0), ROW(VLMConstMaskZ, 0, 0, 0xFFFFFFFF, 0),
    ROW(VLMConstMaskW, 0, 0, 0, 0xFFFFFFFF), ROW(VLMConstSignMaskXZ, 0x80000000, 0, 0x80000000, 0),
    SPLAT(VLMConstMinusOne, 0xBF800000), ROW(VLMConstOneXYZ, 0x3F800000, 0x3F800000, 0x3F800000, 0),
    ROW(VLMConstAxisX, 0x3F800000, 0, 0, 0), ROW(VLMConstAxisY, 0, 0x3F800000, 0, 0),
    ROW(VLMConstAxisZ, 0, 0, 0x3F800000, 0), ROW(VLMConstMinusAxisY, 0, 0xBF800000, 0, 0),
    ROW(VLMConstMinusAxisZ, 0, 0, 0xBF800000, 0),
    ROW(VLMConstSignsYW, 0xBF800000, 0x3F800000, 0xBF800000, 0x3F800000),
    ROW(VLMConstPattern1011, 0x3F800000, 0, 0x3F800000, 0x3F800000),
    ROW(VLMConstPattern11M11, 0x3F800000, 0x3F800000, 0xBF800000, 0x3F800000),
    ROW(VLMConstPattern1100, 0x3F800000, 0x3F800000, 0, 0),
    ROW(VLMConstPattern1M111, 0x3F800000, 0xBF800000, 0x3F800000, 0x3F800000),
    ROW(VLMConstPattern1010, 0x3F800000, 0, 0x3F800000, 0),
    SPLAT(VLMConstTwo, 0x40000000), SPLAT(VLMConstFour, 0x40800000), SPLAT(VLMConstMinusTwo, 0xC0000000),
    SPLAT(VLMConstQuarter, 0x3E800000), ROW(VLMConstMinusQuarterXYZ, 0xBE800000, 0xBE800000, 0xBE800000, 0),
    SPLAT(VLMConstMinusQuarter, 0xBE800000), SPLAT(VLMConstEighth, 0x3E000000),
    SPLAT(VLMConstMinusEighth, 0xBE000000), SPLAT(VLMConstTwoThirds, 0x3F2AAAAB),
    SPLAT(VLMConstOneAndHalf, 0x3FC00000), SPLAT(VLMConstThird, 0x3EAAAAAB), SPLAT(VLMConstWeight02, 0x3E4CCCCD),
    SPLAT(VLMConstWeight03, 0x3E99999A), SPLAT(VLMConstWeight04, 0x3ECCCCCD), SPLAT(VLMConstWeight06, 0x3F19999A),
    SPLAT(VLMConstWeight07, 0x3F333333), SPLAT(VLMConstTwenty, 0x41A00000), SPLAT(VLMConstThousandth, 0x3A83126F),
    SPLAT(VLMConstHundredth, 0x3C23D70A), SPLAT(VLMConstEpsilon, 0x358637BD), SPLAT(VLMConstTiny, 0x1E3CE508),
    SPLAT(VLMConstNearFltMax, 0x7F7FFFEE), SPLAT(VLMConstMinusInf, 0xFF800000), SPLAT(VLMConstTwoPi, 0x40C90FDB),
    SPLAT(VLMConstInvTwoPi, 0x3E22F983), SPLAT(VLMConstHalfPi, 0x3FC90FDB), SPLAT(VLMConstPi, 0x40490FDB),
    SPLAT(VLMConstDegToRad, 0x3C8EFA35), SPLAT(VLMConstRadToDeg, 0x42652EE1), SPLAT(VLMConstDeg180, 0x43340000),
    SPLAT(VLMConstDeg45, 0x42340000), SPLAT(VLMConstDeg30, 0x41F00000), SPLAT(VLMConstDeg15, 0x41700000),
    SPLAT(VLMConstDegMinus25, 0xC1C80000), SPLAT(VLMConstDegMinus45, 0xC2340000),
    SPLAT(VLMConstMinusInv90, 0xBC360B61), SPLAT(VLMConstCos2Deg, 0x3F7FD814), SPLAT(VLMConstCos15Deg, 0x3F7746EA),
    SPLAT(VLMConstCos20Deg, 0x3F708FB2), SPLAT(VLMConstCos30Deg, 0x3F5DB3D7), SPLAT(VLMConstPoleLimit, 0x3EFFFFDE),
    SPLAT(VLMConstMinusPoleLimit, 0xBEFFFFDE), ROW(VLMConstHalfX, 0x3F000000, 0, 0, 0),
    ROW(VLMConstQuatZPlus90, 0, 0, 0x3F3504F3, 0x3F3504F3), ROW(VLMConstQuatZMinus90, 0, 0, 0xBF3504F3, 0x3F3504F3),
    ROW(VLMConstQuatXMinus90, 0xBF3504F3, 0, 0, 0x3F3504F3),
    SPLAT(VLMConstSinCoef7, 0xC28EAF74), SPLAT(VLMConstSinCoef5, 0x42A2C81B), SPLAT(VLMConstSinCoef3, 0xC2255B5A),
    SPLAT(VLMConstSinCoef1, 0x40C90FDB), SPLAT(VLMConstAcosCoef4, 0x3BCF3C0E), SPLAT(VLMConstAcosCoef3, 0x3A4F4241),
    SPLAT(VLMConstAcosCoef2, 0x3CA6E318), SPLAT(VLMConstAcosCoef1, 0x3DAA7682), SPLAT(VLMConstExp2Coef1, 0x3F313DB9),
    SPLAT(VLMConstExp2Coef2, 0x3E75D4DC), SPLAT(VLMConstExp2Coef3, 0x3D6C246E), SPLAT(VLMConstExp2Coef4, 0x3C22B23F),
    SPLAT(VLMConstLog2Coef1, 0x41075E0B), SPLAT(VLMConstLog2Coef2, 0xC1115762), SPLAT(VLMConstLog2Coef3, 0x40B47B72),
    SPLAT(VLMConstLog2Coef4, 0x3FB8A656), SPLAT(VLMConstLog2Offset, 0x4064BE5E),
};
// clang-format on
#undef SPLAT
#undef ROW

std::uint32_t Bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

bool HasBits(const VLMVector4& v, const std::uint32_t (&bits)[4])
{
    return Bits(v.x) == bits[0] && Bits(v.y) == bits[1] && Bits(v.z) == bits[2] && Bits(v.w) == bits[3];
}

}  // namespace

TEST(VectorConstants, EveryGetterIsStableAlignedAndHoldsItsBits)
{
    std::set<const VLMVector4*> golden;
    for (const Golden& g : kGolden) {
        const VLMVector4* first = g.getter();
        EXPECT_TRUE(HasBits(*first, g.bits)) << g.name;
        EXPECT_EQ(g.getter(), first) << g.name;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 16, 0u) << g.name;
        golden.insert(first);
    }
    // Every getter the header declares has a row above, and no two share storage.
    std::set<const VLMVector4*> declared;
#define VLM_COLLECT(getter, name, value) declared.insert(getter());
    VLM_VECTOR_CONSTANTS(VLM_COLLECT)
#undef VLM_COLLECT
    EXPECT_EQ(declared, golden);
    EXPECT_EQ(golden.size(), std::size(kGolden));
}

TEST(VectorConstants, NearMaximumAndPoleLimitAreNotTheRoundNumbers)
{
    EXPECT_LT(VLMConstNearFltMax()->x, FLT_MAX);
    const float pole = VLMConstPoleLimit()->x;
    EXPECT_TRUE(pole < 0.5f && 0.499999f >= pole && 0.5f >= pole && !(0.49999f >= pole));
}

TEST(VectorConstants, BoolTableAndScalars)
{
    using namespace VLMConstant;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(BoolVectorTable) % 16, 0u);
    EXPECT_TRUE(HasBits(BoolVectorTable[0], {0, 0, 0, 0}) && HasBits(BoolVectorTable[2], {0, 0, 0, 0}));
    EXPECT_TRUE(HasBits(BoolVectorTable[1], {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_TRUE(HasBits(BoolVectorTable[3], {0x3F800000, 0x3F800000, 0x3F800000, 0x3F800000}));

    const std::uint32_t scalars[][2] = {
        {Bits(FloatMinusZero), 0x80000000}, {Bits(FloatHalfPi), 0x3FC90FDB},   {Bits(FloatMinusHalfPi), 0xBFC90FDB},
        {Bits(FloatPi), 0x40490FDB},        {Bits(FloatDegToRad), 0x3C8EFA35}, {Bits(FloatAtanDen2), 0x3F43B24E},
        {Bits(FloatAtanNum3), 0x3EDCF805},  {Bits(FloatAtanDen4), 0x3D6EE04D},
    };
    for (const auto& s : scalars)
        EXPECT_EQ(s[0], s[1]);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&DoubleAbsMask) % 16, 0u);
    EXPECT_TRUE(DoubleAbsMask.lanes[0] == 0x7FFFFFFFFFFFFFFFull && DoubleAbsMask.lanes[1] == 0x7FFFFFFFFFFFFFFFull);
}
