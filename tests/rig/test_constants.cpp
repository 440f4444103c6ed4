#include "vlm_constants.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace {

using Getter = const VLMVector4* (*)();

struct Lanes4 {
    std::uint32_t x, y, z, w;
};

constexpr Lanes4 S(std::uint32_t bits) { return {bits, bits, bits, bits}; }

struct Golden {
    const char* name;
    Getter getter;
    Lanes4 bits;
};

// Bit patterns derived from the decimal values of the constant table (each
// rounded to the nearest single float), independently of the header.
const std::vector<Golden>& GoldenTable()
{
    static const std::vector<Golden> table = {
        {"One", VLMConstOne, S(0x3F800000)},
        {"SignMask", VLMConstSignMask, S(0x80000000)},
        {"Three", VLMConstThree, S(0x40400000)},
        {"Half", VLMConstHalf, S(0x3F000000)},
        {"MaskXYZ", VLMConstMaskXYZ, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000000}},
        {"IdentityQuat", VLMConstIdentityQuat, {0x00000000, 0x00000000, 0x00000000, 0x3F800000}},
        {"HalfW", VLMConstHalfW, {0x00000000, 0x00000000, 0x00000000, 0x3F000000}},
        {"QuatSignsA", VLMConstQuatSignsA, {0x3F800000, 0x3F800000, 0xBF800000, 0xBF800000}},
        {"QuatSignsB", VLMConstQuatSignsB, {0xBF800000, 0x3F800000, 0x3F800000, 0xBF800000}},
        {"QuatSignsC", VLMConstQuatSignsC, {0x3F800000, 0xBF800000, 0x3F800000, 0xBF800000}},
        {"SignMaskXYZ", VLMConstSignMaskXYZ, {0x80000000, 0x80000000, 0x80000000, 0x00000000}},
        {"MaskZ", VLMConstMaskZ, {0x00000000, 0x00000000, 0xFFFFFFFF, 0x00000000}},
        {"MaskW", VLMConstMaskW, {0x00000000, 0x00000000, 0x00000000, 0xFFFFFFFF}},
        {"SignMaskXZ", VLMConstSignMaskXZ, {0x80000000, 0x00000000, 0x80000000, 0x00000000}},
        {"MinusOne", VLMConstMinusOne, S(0xBF800000)},
        {"OneXYZ", VLMConstOneXYZ, {0x3F800000, 0x3F800000, 0x3F800000, 0x00000000}},
        {"AxisX", VLMConstAxisX, {0x3F800000, 0x00000000, 0x00000000, 0x00000000}},
        {"AxisY", VLMConstAxisY, {0x00000000, 0x3F800000, 0x00000000, 0x00000000}},
        {"AxisZ", VLMConstAxisZ, {0x00000000, 0x00000000, 0x3F800000, 0x00000000}},
        {"MinusAxisY", VLMConstMinusAxisY, {0x00000000, 0xBF800000, 0x00000000, 0x00000000}},
        {"MinusAxisZ", VLMConstMinusAxisZ, {0x00000000, 0x00000000, 0xBF800000, 0x00000000}},
        {"SignsYW", VLMConstSignsYW, {0xBF800000, 0x3F800000, 0xBF800000, 0x3F800000}},
        {"Pattern1011", VLMConstPattern1011, {0x3F800000, 0x00000000, 0x3F800000, 0x3F800000}},
        {"Pattern11M11", VLMConstPattern11M11, {0x3F800000, 0x3F800000, 0xBF800000, 0x3F800000}},
        {"Pattern1100", VLMConstPattern1100, {0x3F800000, 0x3F800000, 0x00000000, 0x00000000}},
        {"Pattern1M111", VLMConstPattern1M111, {0x3F800000, 0xBF800000, 0x3F800000, 0x3F800000}},
        {"Pattern1010", VLMConstPattern1010, {0x3F800000, 0x00000000, 0x3F800000, 0x00000000}},
        {"Two", VLMConstTwo, S(0x40000000)},
        {"Four", VLMConstFour, S(0x40800000)},
        {"MinusTwo", VLMConstMinusTwo, S(0xC0000000)},
        {"Quarter", VLMConstQuarter, S(0x3E800000)},
        {"MinusQuarterXYZ", VLMConstMinusQuarterXYZ, {0xBE800000, 0xBE800000, 0xBE800000, 0x00000000}},
        {"MinusQuarter", VLMConstMinusQuarter, S(0xBE800000)},
        {"Eighth", VLMConstEighth, S(0x3E000000)},
        {"MinusEighth", VLMConstMinusEighth, S(0xBE000000)},
        {"TwoThirds", VLMConstTwoThirds, S(0x3F2AAAAB)},
        {"OneAndHalf", VLMConstOneAndHalf, S(0x3FC00000)},
        {"Third", VLMConstThird, S(0x3EAAAAAB)},
        {"Weight02", VLMConstWeight02, S(0x3E4CCCCD)},
        {"Weight03", VLMConstWeight03, S(0x3E99999A)},
        {"Weight04", VLMConstWeight04, S(0x3ECCCCCD)},
        {"Weight06", VLMConstWeight06, S(0x3F19999A)},
        {"Weight07", VLMConstWeight07, S(0x3F333333)},
        {"Twenty", VLMConstTwenty, S(0x41A00000)},
        {"Thousandth", VLMConstThousandth, S(0x3A83126F)},
        {"Hundredth", VLMConstHundredth, S(0x3C23D70A)},
        {"Epsilon", VLMConstEpsilon, S(0x358637BD)},
        {"Tiny", VLMConstTiny, S(0x1E3CE508)},
        {"NearFltMax", VLMConstNearFltMax, S(0x7F7FFFEE)},
        {"MinusInf", VLMConstMinusInf, S(0xFF800000)},
        {"TwoPi", VLMConstTwoPi, S(0x40C90FDB)},
        {"InvTwoPi", VLMConstInvTwoPi, S(0x3E22F983)},
        {"HalfPi", VLMConstHalfPi, S(0x3FC90FDB)},
        {"Pi", VLMConstPi, S(0x40490FDB)},
        {"DegToRad", VLMConstDegToRad, S(0x3C8EFA35)},
        {"RadToDeg", VLMConstRadToDeg, S(0x42652EE1)},
        {"Deg180", VLMConstDeg180, S(0x43340000)},
        {"Deg45", VLMConstDeg45, S(0x42340000)},
        {"Deg30", VLMConstDeg30, S(0x41F00000)},
        {"Deg15", VLMConstDeg15, S(0x41700000)},
        {"DegMinus25", VLMConstDegMinus25, S(0xC1C80000)},
        {"DegMinus45", VLMConstDegMinus45, S(0xC2340000)},
        {"MinusInv90", VLMConstMinusInv90, S(0xBC360B61)},
        {"Cos2Deg", VLMConstCos2Deg, S(0x3F7FD814)},
        {"Cos15Deg", VLMConstCos15Deg, S(0x3F7746EA)},
        {"Cos20Deg", VLMConstCos20Deg, S(0x3F708FB2)},
        {"Cos30Deg", VLMConstCos30Deg, S(0x3F5DB3D7)},
        {"PoleLimit", VLMConstPoleLimit, S(0x3EFFFFDE)},
        {"MinusPoleLimit", VLMConstMinusPoleLimit, S(0xBEFFFFDE)},
        {"HalfX", VLMConstHalfX, {0x3F000000, 0x00000000, 0x00000000, 0x00000000}},
        {"QuatZPlus90", VLMConstQuatZPlus90, {0x00000000, 0x00000000, 0x3F3504F3, 0x3F3504F3}},
        {"QuatZMinus90", VLMConstQuatZMinus90, {0x00000000, 0x00000000, 0xBF3504F3, 0x3F3504F3}},
        {"QuatXMinus90", VLMConstQuatXMinus90, {0xBF3504F3, 0x00000000, 0x00000000, 0x3F3504F3}},
        {"SinCoef7", VLMConstSinCoef7, S(0xC28EAF74)},
        {"SinCoef5", VLMConstSinCoef5, S(0x42A2C81B)},
        {"SinCoef3", VLMConstSinCoef3, S(0xC2255B5A)},
        {"SinCoef1", VLMConstSinCoef1, S(0x40C90FDB)},
        {"AcosCoef4", VLMConstAcosCoef4, S(0x3BCF3C0E)},
        {"AcosCoef3", VLMConstAcosCoef3, S(0x3A4F4241)},
        {"AcosCoef2", VLMConstAcosCoef2, S(0x3CA6E318)},
        {"AcosCoef1", VLMConstAcosCoef1, S(0x3DAA7682)},
        {"Exp2Coef1", VLMConstExp2Coef1, S(0x3F313DB9)},
        {"Exp2Coef2", VLMConstExp2Coef2, S(0x3E75D4DC)},
        {"Exp2Coef3", VLMConstExp2Coef3, S(0x3D6C246E)},
        {"Exp2Coef4", VLMConstExp2Coef4, S(0x3C22B23F)},
        {"Log2Coef1", VLMConstLog2Coef1, S(0x41075E0B)},
        {"Log2Coef2", VLMConstLog2Coef2, S(0xC1115762)},
        {"Log2Coef3", VLMConstLog2Coef3, S(0x40B47B72)},
        {"Log2Coef4", VLMConstLog2Coef4, S(0x3FB8A656)},
        {"Log2Offset", VLMConstLog2Offset, S(0x4064BE5E)},
    };
    return table;
}

Lanes4 BitsOf(const VLMVector4& v)
{
    Lanes4 b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::uint32_t BitsOf(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

} // namespace

TEST(VectorConstants, EveryConstantHoldsItsBitPattern)
{
    for (const Golden& g : GoldenTable()) {
        SCOPED_TRACE(g.name);
        const Lanes4 b = BitsOf(*g.getter());
        EXPECT_EQ(b.x, g.bits.x);
        EXPECT_EQ(b.y, g.bits.y);
        EXPECT_EQ(b.z, g.bits.z);
        EXPECT_EQ(b.w, g.bits.w);
    }
}

TEST(VectorConstants, GettersAreStableAlignedAndAllCovered)
{
    std::set<const VLMVector4*> golden;
    for (const Golden& g : GoldenTable()) {
        SCOPED_TRACE(g.name);
        const VLMVector4* first = g.getter();
        EXPECT_EQ(g.getter(), first);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 16, 0u);
        golden.insert(first);
    }
    // Every getter the header declares has a row above, and no two share storage.
    std::set<const VLMVector4*> declared;
#define VLM_COLLECT(getter, name, value) declared.insert(getter());
    VLM_VECTOR_CONSTANTS(VLM_COLLECT)
#undef VLM_COLLECT
    EXPECT_EQ(declared, golden);
    EXPECT_EQ(golden.size(), GoldenTable().size());
}

TEST(VectorConstants, NearMaximumAndPoleLimitAreNotTheRoundNumbers)
{
    EXPECT_LT(VLMConstNearFltMax()->x, FLT_MAX);
    const float pole = VLMConstPoleLimit()->x;
    EXPECT_LT(pole, 0.5f);
    EXPECT_TRUE(0.499999f >= pole);
    EXPECT_TRUE(0.5f >= pole);
    EXPECT_FALSE(0.49999f >= pole);
    EXPECT_EQ(VLMConstMinusPoleLimit()->x, -pole);
}

TEST(VectorConstants, BoolTableAndScalars)
{
    const VLMVector4* t = VLMConstant::BoolVectorTable;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(t) % 16, 0u);
    const Lanes4 expected[4] = {S(0), S(0xFFFFFFFFu), S(0), S(0x3F800000u)};
    for (int i = 0; i < 4; ++i) {
        const Lanes4 b = BitsOf(t[i]);
        EXPECT_TRUE(b.x == expected[i].x && b.y == expected[i].y && b.z == expected[i].z && b.w == expected[i].w)
            << "entry " << i;
    }

    using namespace VLMConstant;
    EXPECT_EQ(BitsOf(FloatMinusZero), 0x80000000u);
    EXPECT_EQ(BitsOf(FloatHalfPi), 0x3FC90FDBu);
    EXPECT_EQ(BitsOf(FloatMinusHalfPi), 0xBFC90FDBu);
    EXPECT_EQ(BitsOf(FloatPi), 0x40490FDBu);
    EXPECT_EQ(BitsOf(FloatDegToRad), 0x3C8EFA35u);
    EXPECT_EQ(BitsOf(FloatAtanDen2), 0x3F43B24Eu);
    EXPECT_EQ(BitsOf(FloatAtanNum3), 0x3EDCF805u);
    EXPECT_EQ(BitsOf(FloatAtanDen4), 0x3D6EE04Du);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&DoubleAbsMask) % 16, 0u);
    EXPECT_EQ(DoubleAbsMask.lanes[0], 0x7FFFFFFFFFFFFFFFull);
    EXPECT_EQ(DoubleAbsMask.lanes[1], 0x7FFFFFFFFFFFFFFFull);
}
