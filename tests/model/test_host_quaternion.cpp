#include "model/host_quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
const float kHalfSqrt2 = std::sqrt(0.5f);
}

TEST(HostQuaternion, RelativeRotationIsTheConjugateOfTheFirstTimesTheSecond)
{
    // Identity relative to a 90 degree turn about Z is that turn.
    const float identity[4] = {0, 0, 0, 1};
    const float aboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
    const float aboutX[4] = {kHalfSqrt2, 0, 0, kHalfSqrt2};
    float out[4];
    RelativeRotation(identity, aboutZ, out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], aboutZ[2]);
    EXPECT_EQ(out[3], aboutZ[3]);

    // conj(90 about X) * (90 about Z) = (-1/2, 1/2, 1/2, 1/2).
    RelativeRotation(aboutX, aboutZ, out);
    EXPECT_FLOAT_EQ(out[0], -0.5f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);
    EXPECT_FLOAT_EQ(out[3], 0.5f);

    // A rotation relative to itself is the identity; not normalised otherwise.
    RelativeRotation(aboutX, aboutX, out);
    EXPECT_FLOAT_EQ(out[3], 1.0f);
    EXPECT_EQ(out[0], 0.0f);
    const float doubled[4] = {0, 0, 0, 2};
    RelativeRotation(doubled, doubled, out);
    EXPECT_EQ(out[3], 4.0f);

    float conj[4];
    QuatConjugate(aboutX, conj);
    EXPECT_EQ(conj[0], -kHalfSqrt2);
    EXPECT_EQ(conj[3], kHalfSqrt2);
    const float v[3] = {1, -2, 0};
    float n[3];
    NegateVector3(v, n);
    EXPECT_EQ(n[0], -1.0f);
    EXPECT_EQ(n[1], 2.0f);
}

TEST(HostQuaternion, EulerAnglesAndTheGimbalPoles)
{
    float angles[3];
    const float aboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
    QuatToEulerRadians(aboutZ, angles);
    EXPECT_NEAR(angles[0], 0.0f, 1e-6f);
    EXPECT_NEAR(angles[1], 0.0f, 1e-6f);
    EXPECT_NEAR(angles[2], 1.5707964f, 1e-6f);

    const float s = std::sin(0.3f), c = std::cos(0.3f);
    const float aboutX[4] = {s, 0, 0, c};
    QuatToEulerRadians(aboutX, angles);
    EXPECT_NEAR(angles[0], 0.6f, 1e-6f);
    EXPECT_NEAR(angles[2], 0.0f, 1e-6f);

    // 90 degrees about Y, then 0.5 rad about X first: the pole.
    const float yq[4] = {0, kHalfSqrt2, 0, kHalfSqrt2};
    const float xq[4] = {std::sin(0.25f), 0, 0, std::cos(0.25f)};
    // yq * xq
    const float q[4] = {yq[3] * xq[0], yq[1] * xq[3], -yq[1] * xq[0], yq[3] * xq[3]};
    QuatToEulerRadians(q, angles);
    EXPECT_EQ(angles[1], 1.5707964f);
    EXPECT_EQ(angles[2], 0.0f);
    EXPECT_NEAR(angles[0], 0.5f, 1e-6f);
    const float down[4] = {0, -kHalfSqrt2, 0, kHalfSqrt2};
    QuatToEulerRadians(down, angles);
    EXPECT_EQ(angles[1], -1.5707964f);
}
