#include "model/host_quaternion.h"

#include <cmath>

void QuatConjugate(const float q[4], float out[4])
{
    out[0] = -q[0];
    out[1] = -q[1];
    out[2] = -q[2];
    out[3] = q[3];
}

void NegateVector3(const float v[3], float out[3])
{
    out[0] = -v[0];
    out[1] = -v[1];
    out[2] = -v[2];
}

void RelativeRotation(const float a[4], const float b[4], float out[4])
{
    const float x2 = a[0], y2 = a[1], z2 = a[2], w2 = a[3];
    const float x1 = b[0], y1 = b[1], z1 = b[2], w1 = b[3];
    const float w = w2 * w1 + x2 * x1 + y2 * y1 + z2 * z1;
    const float x = w2 * x1 - x2 * w1 - y2 * z1 + z2 * y1;
    const float y = w2 * y1 - y2 * w1 - z2 * x1 + x2 * z1;
    const float z = w2 * z1 - z2 * w1 - x2 * y1 + y2 * x1;
    out[0] = x;
    out[1] = y;
    out[2] = z;
    out[3] = w;
}

void QuatToEulerRadians(const float q[4], float angles[3])
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    const float pole = z * x - w * y;
    if (pole >= 0.499999f || pole <= -0.499999f) {
        angles[0] = 2.0f * std::atan2(x, w);
        angles[1] = pole >= 0.499999f ? -1.5707964f : 1.5707964f;
        angles[2] = 0.0f;
        return;
    }
    angles[0] = std::atan2(2.0f * (w * x + y * z), 1.0f - 2.0f * (x * x + y * y));
    angles[1] = std::asin(-2.0f * pole);
    angles[2] = std::atan2(2.0f * (w * z + x * y), 1.0f - 2.0f * (y * y + z * z));
}
