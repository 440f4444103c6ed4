#include "model/host_quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
const float kHalfSqrt2 = std::sqrt(0.5f);
}

TEST(HostQuaternion, RelativeRotationIsTheConjugateOfTheFirstTimesTheSecond)
{
    const float aboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
    const float aboutX[4] = {kHalfSqrt2, 0, 0, kHalfSqrt2};
    float out[4];
    // conj(90 about X) * (90 about Z) = (-1/2, 1/2, 1/2, 1/2); the reverse order
    // differs in the sign of the vector part's cross term.
    RelativeRotation(aboutX, aboutZ, out);
    EXPECT_FLOAT_EQ(out[0], -0.5f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);
    EXPECT_FLOAT_EQ(out[3], 0.5f);
    RelativeRotation(aboutZ, aboutX, out);
    EXPECT_FLOAT_EQ(out[1], -0.5f);

    // Not normalised.
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
    EXPECT_TRUE(n[0] == -1.0f && n[1] == 2.0f && n[2] == 0.0f);
}

TEST(HostQuaternion, EulerAnglesAndTheGimbalPoles)
{
    float angles[3];
    const float aboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
    QuatToEulerRadians(aboutZ, angles);
    EXPECT_NEAR(angles[0], 0.0f, 1e-6f);
    EXPECT_NEAR(angles[1], 0.0f, 1e-6f);
    EXPECT_NEAR(angles[2], 1.5707964f, 1e-6f);

    // 0.5 rad about X, then 90 degrees about Y: the pole z x - w y = -0.5.
    const float yq[4] = {0, kHalfSqrt2, 0, kHalfSqrt2};
    const float xq[4] = {std::sin(0.25f), 0, 0, std::cos(0.25f)};
    const float q[4] = {yq[3] * xq[0], yq[1] * xq[3], -yq[1] * xq[0], yq[3] * xq[3]};  // yq * xq
    QuatToEulerRadians(q, angles);
    EXPECT_EQ(angles[1], 1.5707964f);
    EXPECT_EQ(angles[2], 0.0f);
    EXPECT_NEAR(angles[0], 0.5f, 1e-6f);
    const float down[4] = {0, -kHalfSqrt2, 0, kHalfSqrt2};
    QuatToEulerRadians(down, angles);
    EXPECT_EQ(angles[1], -1.5707964f);
}
