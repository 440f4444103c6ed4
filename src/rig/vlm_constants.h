// Velmora rig library: the numeric constants of the vector math.
//
// Every vector constant is a read-only, 16-byte aligned VLMVector4, so that a
// primitive combines it with an operand in one lane-wise operation. Each row
// of VLM_VECTOR_CONSTANTS below gives
//   - the getter, e.g. VLMConstHalf(), which returns the constant's address
//     (the same address on every call), and
//   - the value, e.g. VLMConstant::Half, for inline code that wants the
//     vector itself.
// A value written as Bits(...) is a lane mask or an exact bit pattern, not a
// number; a float written to nine significant digits fixes its stored bits
// (the literal rounds to the nearest single float).
#ifndef VLM_CONSTANTS_H
#define VLM_CONSTANTS_H

#include "rig/vlm_base.h"

#include <cstdint>

namespace VLMConstant {

constexpr float Bits(std::uint32_t pattern) { return __builtin_bit_cast(float, pattern); }
constexpr VLMVector4 Lanes(float x, float y, float z, float w) { return VLMVector4{x, y, z, w}; }
constexpr VLMVector4 Splat(float v) { return VLMVector4{v, v, v, v}; }
constexpr VLMVector4 SplatBits(std::uint32_t pattern) { return Splat(Bits(pattern)); }

constexpr std::uint32_t kAllBits = 0xFFFFFFFFu;
constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr float kInfinity = __builtin_huge_valf();

}  // namespace VLMConstant

// clang-format off
// X(getter, value name, value)
#define VLM_VECTOR_CONSTANTS(X)                                                                   \
    /* general */                                                                                 \
    X(VLMConstOne, One, Splat(1.0f))                                                              \
    X(VLMConstSignMask, SignMask, SplatBits(kSignBit))                                            \
    X(VLMConstThree, Three, Splat(3.0f))                                                          \
    X(VLMConstHalf, Half, Splat(0.5f))                                                            \
    X(VLMConstMaskXYZ, MaskXYZ, Lanes(Bits(kAllBits), Bits(kAllBits), Bits(kAllBits), 0.0f))      \
    X(VLMConstIdentityQuat, IdentityQuat, Lanes(0.0f, 0.0f, 0.0f, 1.0f))                          \
    X(VLMConstHalfW, HalfW, Lanes(0.0f, 0.0f, 0.0f, 0.5f))                                        \
    X(VLMConstQuatSignsA, QuatSignsA, Lanes(1.0f, 1.0f, -1.0f, -1.0f))                            \
    X(VLMConstQuatSignsB, QuatSignsB, Lanes(-1.0f, 1.0f, 1.0f, -1.0f))                            \
    X(VLMConstQuatSignsC, QuatSignsC, Lanes(1.0f, -1.0f, 1.0f, -1.0f))                            \
    X(VLMConstSignMaskXYZ, SignMaskXYZ, Lanes(Bits(kSignBit), Bits(kSignBit), Bits(kSignBit), 0.0f)) \
    X(VLMConstMaskZ, MaskZ, Lanes(0.0f, 0.0f, Bits(kAllBits), 0.0f))                              \
    X(VLMConstMaskW, MaskW, Lanes(0.0f, 0.0f, 0.0f, Bits(kAllBits)))                              \
    X(VLMConstSignMaskXZ, SignMaskXZ, Lanes(Bits(kSignBit), 0.0f, Bits(kSignBit), 0.0f))          \
    X(VLMConstMinusOne, MinusOne, Splat(-1.0f))                                                   \
    X(VLMConstOneXYZ, OneXYZ, Lanes(1.0f, 1.0f, 1.0f, 0.0f))                                      \
    X(VLMConstAxisX, AxisX, Lanes(1.0f, 0.0f, 0.0f, 0.0f))                                        \
    X(VLMConstAxisY, AxisY, Lanes(0.0f, 1.0f, 0.0f, 0.0f))                                        \
    X(VLMConstAxisZ, AxisZ, Lanes(0.0f, 0.0f, 1.0f, 0.0f))                                        \
    X(VLMConstMinusAxisY, MinusAxisY, Lanes(0.0f, -1.0f, 0.0f, 0.0f))                             \
    X(VLMConstMinusAxisZ, MinusAxisZ, Lanes(0.0f, 0.0f, -1.0f, 0.0f))                             \
    X(VLMConstSignsYW, SignsYW, Lanes(-1.0f, 1.0f, -1.0f, 1.0f))                                  \
    X(VLMConstPattern1011, Pattern1011, Lanes(1.0f, 0.0f, 1.0f, 1.0f))                            \
    X(VLMConstPattern11M11, Pattern11M11, Lanes(1.0f, 1.0f, -1.0f, 1.0f))                         \
    X(VLMConstPattern1100, Pattern1100, Lanes(1.0f, 1.0f, 0.0f, 0.0f))                            \
    X(VLMConstPattern1M111, Pattern1M111, Lanes(1.0f, -1.0f, 1.0f, 1.0f))                         \
    X(VLMConstPattern1010, Pattern1010, Lanes(1.0f, 0.0f, 1.0f, 0.0f))                            \
    X(VLMConstTwo, Two, Splat(2.0f))                                                              \
    X(VLMConstFour, Four, Splat(4.0f))                                                            \
    X(VLMConstMinusTwo, MinusTwo, Splat(-2.0f))                                                   \
    X(VLMConstQuarter, Quarter, Splat(0.25f))                                                     \
    X(VLMConstMinusQuarterXYZ, MinusQuarterXYZ, Lanes(-0.25f, -0.25f, -0.25f, 0.0f))              \
    X(VLMConstMinusQuarter, MinusQuarter, Splat(-0.25f))                                          \
    X(VLMConstEighth, Eighth, Splat(0.125f))                                                      \
    X(VLMConstMinusEighth, MinusEighth, Splat(-0.125f))                                           \
    X(VLMConstTwoThirds, TwoThirds, Splat(0.666666687f))                                          \
    X(VLMConstOneAndHalf, OneAndHalf, Splat(1.5f))                                                \
    X(VLMConstThird, Third, Splat(0.333333343f))                                                  \
    X(VLMConstWeight02, Weight02, Splat(0.200000003f))                                            \
    X(VLMConstWeight03, Weight03, Splat(0.300000012f))                                            \
    X(VLMConstWeight04, Weight04, Splat(0.400000006f))                                            \
    X(VLMConstWeight06, Weight06, Splat(0.600000024f))                                            \
    X(VLMConstWeight07, Weight07, Splat(0.699999988f))                                            \
    X(VLMConstTwenty, Twenty, Splat(20.0f))                                                       \
    X(VLMConstThousandth, Thousandth, Splat(0.00100000005f))                                      \
    X(VLMConstHundredth, Hundredth, Splat(0.00999999978f))                                        \
    X(VLMConstEpsilon, Epsilon, Splat(9.99999997e-07f))                                           \
    X(VLMConstTiny, Tiny, Splat(9.99999968e-21f))                                                 \
    /* bits 0x7F7FFFEE: deliberately below the largest float 0x7F7FFFFF */                        \
    X(VLMConstNearFltMax, NearFltMax, Splat(3.40282002e+38f))                                     \
    X(VLMConstMinusInf, MinusInf, Splat(-kInfinity))                                              \
    /* angles, radians unless named in degrees */                                                 \
    X(VLMConstTwoPi, TwoPi, Splat(6.28318548f))                                                   \
    X(VLMConstInvTwoPi, InvTwoPi, Splat(0.159154937f))                                            \
    X(VLMConstHalfPi, HalfPi, Splat(1.57079637f))                                                 \
    X(VLMConstPi, Pi, Splat(3.14159274f))                                                         \
    X(VLMConstDegToRad, DegToRad, Splat(0.0174532924f))                                           \
    X(VLMConstRadToDeg, RadToDeg, Splat(57.2957802f))                                             \
    X(VLMConstDeg180, Deg180, Splat(180.0f))                                                      \
    X(VLMConstDeg45, Deg45, Splat(45.0f))                                                         \
    X(VLMConstDeg30, Deg30, Splat(30.0f))                                                         \
    X(VLMConstDeg15, Deg15, Splat(15.0f))                                                         \
    X(VLMConstDegMinus25, DegMinus25, Splat(-25.0f))                                              \
    X(VLMConstDegMinus45, DegMinus45, Splat(-45.0f))                                              \
    X(VLMConstMinusInv90, MinusInv90, Splat(-0.0111111114f))                                      \
    X(VLMConstCos2Deg, Cos2Deg, Splat(0.999390841f))                                              \
    X(VLMConstCos15Deg, Cos15Deg, Splat(0.965925813f))                                            \
    X(VLMConstCos20Deg, Cos20Deg, Splat(0.939692616f))                                            \
    X(VLMConstCos30Deg, Cos30Deg, Splat(0.866025388f))                                            \
    /* bits 0x3EFFFFDE: a pole test against it already holds a little below 0.5 */                \
    X(VLMConstPoleLimit, PoleLimit, Splat(0.499998987f))                                          \
    X(VLMConstMinusPoleLimit, MinusPoleLimit, Splat(-0.499998987f))                               \
    X(VLMConstHalfX, HalfX, Lanes(0.5f, 0.0f, 0.0f, 0.0f))                                        \
    /* quarter-turn quaternions */                                                                \
    X(VLMConstQuatZPlus90, QuatZPlus90, Lanes(0.0f, 0.0f, 0.707106769f, 0.707106769f))            \
    X(VLMConstQuatZMinus90, QuatZMinus90, Lanes(0.0f, 0.0f, -0.707106769f, 0.707106769f))         \
    X(VLMConstQuatXMinus90, QuatXMinus90, Lanes(-0.707106769f, 0.0f, 0.0f, 0.707106769f))         \
    /* kernel coefficients */                                                                     \
    X(VLMConstSinCoef7, SinCoef7, Splat(-71.3426819f))                                            \
    X(VLMConstSinCoef5, SinCoef5, Splat(81.390831f))                                              \
    X(VLMConstSinCoef3, SinCoef3, Splat(-41.3392105f))                                            \
    X(VLMConstSinCoef1, SinCoef1, Splat(6.28318548f))                                             \
    X(VLMConstAcosCoef4, AcosCoef4, Splat(0.00632429775f))                                        \
    X(VLMConstAcosCoef3, AcosCoef3, Splat(0.000790629594f))                                       \
    X(VLMConstAcosCoef2, AcosCoef2, Splat(0.0203719586f))                                         \
    X(VLMConstAcosCoef1, AcosCoef1, Splat(0.0832338482f))                                         \
    X(VLMConstExp2Coef1, Exp2Coef1, Splat(0.692348063f))                                          \
    X(VLMConstExp2Coef2, Exp2Coef2, Splat(0.240069807f))                                          \
    X(VLMConstExp2Coef3, Exp2Coef3, Splat(0.0576519296f))                                         \
    X(VLMConstExp2Coef4, Exp2Coef4, Splat(0.00993019249f))                                        \
    X(VLMConstLog2Coef1, Log2Coef1, Splat(8.46045971f))                                           \
    X(VLMConstLog2Coef2, Log2Coef2, Splat(-9.08383369f))                                          \
    X(VLMConstLog2Coef3, Log2Coef3, Splat(5.64006901f))                                           \
    X(VLMConstLog2Coef4, Log2Coef4, Splat(1.44257617f))                                           \
    X(VLMConstLog2Offset, Log2Offset, Splat(3.57411909f))
// clang-format on

namespace VLMConstant {

#define VLM_CONSTANT_VALUE(getter, name, value) inline constexpr VLMVector4 name = value;
VLM_VECTOR_CONSTANTS(VLM_CONSTANT_VALUE)
#undef VLM_CONSTANT_VALUE

static_assert(__builtin_bit_cast(std::uint32_t, NearFltMax.x) == 0x7F7FFFEEu, "near-maximum bits");
static_assert(__builtin_bit_cast(std::uint32_t, PoleLimit.x) == 0x3EFFFFDEu, "pole limit bits");

// Bool-to-vector table: entries 0 and 1 are the lane masks for false and true,
// entries 2 and 3 the floats 0.0 and 1.0 for false and true.
inline constexpr VLMVector4 BoolVectorTable[4] = {Splat(0.0f), SplatBits(kAllBits), Splat(0.0f), Splat(1.0f)};

// Scalars of the scalar kernels.
inline constexpr float FloatOne = 1.0f;
inline constexpr float FloatHalf = 0.5f;
inline constexpr float FloatMinusZero = -0.0f;
inline constexpr float FloatMinusOne = -1.0f;
inline constexpr float FloatZero = 0.0f;
inline constexpr float FloatHalfPi = 1.57079637f;
inline constexpr float FloatMinusHalfPi = -1.57079637f;
inline constexpr float FloatPi = 3.14159274f;
inline constexpr float FloatDegToRad = 0.0174532924f;
// Arc tangent rational R(t) = (t + AtanNum3 t^3) / (1 + AtanDen2 t^2 + AtanDen4 t^4).
inline constexpr float FloatAtanDen2 = 0.764439464f;
inline constexpr float FloatAtanNum3 = 0.431579739f;
inline constexpr float FloatAtanDen4 = 0.0583193786f;

// Clears the sign of both doubles of a 128-bit lane pair.
struct alignas(16) DoubleMask2 {
    std::uint64_t lanes[2];
};
inline constexpr DoubleMask2 DoubleAbsMask = {{0x7FFFFFFFFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull}};

}  // namespace VLMConstant

#define VLM_CONSTANT_GETTER(getter, name, value) VLM_API const VLMVector4* getter();
VLM_VECTOR_CONSTANTS(VLM_CONSTANT_GETTER)
#undef VLM_CONSTANT_GETTER

#endif
