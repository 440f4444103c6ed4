#include "vlm_rotation.h"

#include "vlm_constants.h"
#include "vlm_vector.h"

#include <cstring>

namespace {

// Axis triples (0 x, 1 y, 2 z) by Euler code; each odd code uses the row of
// the even code before it.
const std::int32_t kAxisTriples[12][3] = {
    {0, 1, 2}, {0, 1, 2}, {0, 2, 1}, {0, 2, 1}, {1, 2, 0}, {1, 2, 0},
    {1, 0, 2}, {1, 0, 2}, {2, 0, 1}, {2, 0, 1}, {2, 1, 0}, {2, 1, 0},
};

// Any lane differs from (0, 0, 0, 1) as floats: -0 equals 0, NaN differs.
bool DiffersFromIdentity(const VLMVector4& q)
{
    return q.x != 0.0f || q.y != 0.0f || q.z != 0.0f || q.w != 1.0f;
}


void SetFlag(VLMRotationPart* part, std::uint32_t bit, bool on)
{
    part->flags = on ? (part->flags | bit) : (part->flags & ~bit);
}

// The images of the x, y and z axes under q, each 2 (... - 1/2 ...) with the
// sums in the written order; w lanes 0. Exact for the identity.
VLMVector4 AxisX(const VLMVector4& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return VLMVector4{2.0f * ((x * x + w * w) - 0.5f), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y), 0.0f};
}
VLMVector4 AxisY(const VLMVector4& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return VLMVector4{2.0f * (x * y - w * z), 2.0f * ((y * y + w * w) - 0.5f), 2.0f * (y * z + w * x), 0.0f};
}
VLMVector4 AxisZ(const VLMVector4& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return VLMVector4{2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 2.0f * ((z * z + w * w) - 0.5f), 0.0f};
}

void StorePostRotation(VLMRotationPart* part, const VLMVector4& q)
{
    const VLMVector4 value = q;  // q may live inside the part
    VLMVector4Copy(part->postAxes[0], AxisX(value));
    VLMVector4Copy(part->postAxes[1], AxisY(value));
    VLMVector4Copy(part->postAxes[2], AxisZ(value));
    VLMVector4Copy(part->postRotation, value);
}

} // namespace

const std::int32_t* VLMRotationOrderAxes(VLMRotationOrder order)
{
    return order < VLM_SPHERIC_XYZ ? kAxisTriples[order] : nullptr;
}

void VLMRotationPartCopy(VLMRotationPart* destination, const VLMRotationPart* source)
{
    if (destination == source)
        return;
    VLMVector4Copy(destination->preRotation, source->preRotation);
    VLMVector4Copy(destination->postRotation, source->postRotation);
    for (int i = 0; i < 3; ++i)
        VLMVector4Copy(destination->postAxes[i], source->postAxes[i]);
    destination->rotationOrder = source->rotationOrder;
    static_assert(offsetof(VLMRotationPart, flags) + sizeof(std::uint32_t) - offsetof(VLMRotationPart, minLimit) == 28,
                  "limits and flags form one 28-byte block");
    std::memcpy(destination->minLimit, source->minLimit, 28);
}

void VLMSetPreRotation(VLMRotationPart* part, const VLMVector4& q)
{
    const VLMVector4 value = q;
    SetFlag(part, VLM_ROTFLAG_PRE_ROTATION, DiffersFromIdentity(value));
    VLMVector4Copy(part->preRotation, value);
}

void VLMSetPostRotation(VLMRotationPart* part, const VLMVector4& q)
{
    const VLMVector4 value = q;
    SetFlag(part, VLM_ROTFLAG_POST_ROTATION, DiffersFromIdentity(value));
    StorePostRotation(part, value);
}

VLMVector4& VLMClampToRotationLimits(const VLMRotationPart* part, const VLMVector4& angles, VLMVector4& out)
{
    VLMVector4 a = angles;
    const std::uint32_t flags = part->flags;
    if ((flags & VLM_ROTFLAG_LIMITS) != 0) {
        float* lane = &a.x;
        for (int i = 0; i < 3; ++i) {
            // max(minimum, a) and min(maximum, a) return a when a is NaN.
            if ((flags & (VLM_ROTFLAG_MIN_X << i)) != 0)
                lane[i] = VLMMaxFloat(part->minLimit[i], lane[i]);
            if ((flags & (VLM_ROTFLAG_MAX_X << i)) != 0)
                lane[i] = VLMMinFloat(part->maxLimit[i], lane[i]);
        }
    }
    return VLMVector4Copy(out, a);
}
