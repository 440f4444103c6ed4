#include "rig/vlm_joint.h"

namespace {

void set3(float* f, float x, float y, float z)
{
    f[0] = x;
    f[1] = y;
    f[2] = z;
}

void set4(float* f, float x, float y, float z, float w)
{
    f[0] = x;
    f[1] = y;
    f[2] = z;
    f[3] = w;
}

// Float ==, not a byte compare: -0 must equal 0 and a NaN must differ.
bool equalFloats(const float* a, const float* b, int n)
{
    for (int i = 0; i < n; ++i) {
        if (!(a[i] == b[i]))
            return false;
    }
    return true;
}

void setBit(std::uint32_t& mask, std::uint32_t bit, bool on)
{
    if (on)
        mask |= bit;
    else
        mask &= ~bit;
}

}  // namespace

void VLMJointGeometryInit(VLMJointGeometry* g)
{
    set3(g->translate, 0.0f, 0.0f, 0.0f);
    set4(g->rotateQ, 0.0f, 0.0f, 0.0f, 1.0f);
    set3(g->scale, 0.0f, 0.0f, 0.0f);
    set4(g->preRotQ, 0.0f, 0.0f, 0.0f, 1.0f);
    set4(g->postRotQ, 0.0f, 0.0f, 0.0f, 1.0f);
    set3(g->maxRLimit, 0.0f, 0.0f, 0.0f);
    set3(g->minRLimit, 0.0f, 0.0f, 0.0f);
    g->limitEnableMask = 0;
    set4(g->parentOffsetRotateQ, 0.0f, 0.0f, 0.0f, 1.0f);
    g->rotationOrder = VLM_ROTATION_EULER_XYZ;
}

VLMJointGeometry* VLMJointGeometryConstruct(VLMJointGeometry* g)
{
    VLMJointGeometryInit(g);
    return g;
}

const float* VLMJointGeometryGetTranslate(const VLMJointGeometry* g) { return g->translate; }
const float* VLMJointGeometryGetRotateQ(const VLMJointGeometry* g) { return g->rotateQ; }
const float* VLMJointGeometryGetScale(const VLMJointGeometry* g) { return g->scale; }
const float* VLMJointGeometryGetPreRotQ(const VLMJointGeometry* g) { return g->preRotQ; }
const float* VLMJointGeometryGetPostRotQ(const VLMJointGeometry* g) { return g->postRotQ; }
const float* VLMJointGeometryGetMinRLimit(const VLMJointGeometry* g) { return g->minRLimit; }
const float* VLMJointGeometryGetMaxRLimit(const VLMJointGeometry* g) { return g->maxRLimit; }

const float* VLMJointGeometryGetParentOffsetRotateQ(const VLMJointGeometry* g) { return g->parentOffsetRotateQ; }

std::uint32_t VLMJointGeometryGetLimitEnableMask(const VLMJointGeometry* g) { return g->limitEnableMask; }

VLMRotationOrder VLMJointGeometryGetRotationOrder(const VLMJointGeometry* g)
{
    return static_cast<VLMRotationOrder>(g->rotationOrder);
}

void VLMJointGeometrySetTranslate(VLMJointGeometry* g, float x, float y, float z) { set3(g->translate, x, y, z); }

void VLMJointGeometrySetRotateQ(VLMJointGeometry* g, float x, float y, float z, float w)
{
    set4(g->rotateQ, x, y, z, w);
}

void VLMJointGeometrySetScale(VLMJointGeometry* g, float x, float y, float z) { set3(g->scale, x, y, z); }

void VLMJointGeometrySetPreRotQ(VLMJointGeometry* g, float x, float y, float z, float w)
{
    set4(g->preRotQ, x, y, z, w);
}

void VLMJointGeometrySetPostRotQ(VLMJointGeometry* g, float x, float y, float z, float w)
{
    set4(g->postRotQ, x, y, z, w);
}

void VLMJointGeometrySetMinRLimit(VLMJointGeometry* g, float x, float y, float z) { set3(g->minRLimit, x, y, z); }

void VLMJointGeometrySetMaxRLimit(VLMJointGeometry* g, float x, float y, float z) { set3(g->maxRLimit, x, y, z); }

void VLMJointGeometrySetParentOffsetRotateQ(VLMJointGeometry* g, float x, float y, float z, float w)
{
    set4(g->parentOffsetRotateQ, x, y, z, w);
}

void VLMJointGeometrySetLimitEnableMask(VLMJointGeometry* g, std::uint32_t mask) { g->limitEnableMask = mask; }

void VLMJointGeometrySetRotationOrder(VLMJointGeometry* g, VLMRotationOrder order) { g->rotationOrder = order; }

void VLMJointGeometrySetMinRLimitEnable(VLMJointGeometry* g, bool x, bool y, bool z)
{
    setBit(g->limitEnableMask, VLM_LIMIT_MIN_X, x);
    setBit(g->limitEnableMask, VLM_LIMIT_MIN_Y, y);
    setBit(g->limitEnableMask, VLM_LIMIT_MIN_Z, z);
}

void VLMJointGeometrySetMaxRLimitEnable(VLMJointGeometry* g, bool x, bool y, bool z)
{
    setBit(g->limitEnableMask, VLM_LIMIT_MAX_X, x);
    setBit(g->limitEnableMask, VLM_LIMIT_MAX_Y, y);
    setBit(g->limitEnableMask, VLM_LIMIT_MAX_Z, z);
}

bool VLMJointGeometryHasMinRLimitX(const VLMJointGeometry* g) { return (g->limitEnableMask & VLM_LIMIT_MIN_X) != 0; }
bool VLMJointGeometryHasMinRLimitY(const VLMJointGeometry* g) { return (g->limitEnableMask & VLM_LIMIT_MIN_Y) != 0; }
bool VLMJointGeometryHasMinRLimitZ(const VLMJointGeometry* g) { return (g->limitEnableMask & VLM_LIMIT_MIN_Z) != 0; }
bool VLMJointGeometryHasMaxRLimitX(const VLMJointGeometry* g) { return (g->limitEnableMask & VLM_LIMIT_MAX_X) != 0; }
bool VLMJointGeometryHasMaxRLimitY(const VLMJointGeometry* g) { return (g->limitEnableMask & VLM_LIMIT_MAX_Y) != 0; }
bool VLMJointGeometryHasMaxRLimitZ(const VLMJointGeometry* g) { return (g->limitEnableMask & VLM_LIMIT_MAX_Z) != 0; }

bool VLMJointGeometryEqual(const VLMJointGeometry* a, const VLMJointGeometry* b)
{
    return equalFloats(a->translate, b->translate, 3) && equalFloats(a->rotateQ, b->rotateQ, 4) &&
           equalFloats(a->scale, b->scale, 3) && equalFloats(a->preRotQ, b->preRotQ, 4) &&
           equalFloats(a->postRotQ, b->postRotQ, 4) && equalFloats(a->minRLimit, b->minRLimit, 3) &&
           equalFloats(a->maxRLimit, b->maxRLimit, 3) && a->limitEnableMask == b->limitEnableMask &&
           a->rotationOrder == b->rotationOrder;
}

bool VLMJointGeometryNotEqual(const VLMJointGeometry* a, const VLMJointGeometry* b)
{
    return !VLMJointGeometryEqual(a, b);
}

VLMBoneInversion* VLMBoneInversionInit(VLMBoneInversion* inversion)
{
    for (std::uint32_t& flag : inversion->flags)
        flag = 0;
    return inversion;
}

void VLMBoneInversionSetLeftLeg(VLMBoneInversion* inversion, std::uint32_t inverted)
{
    inversion->flags[VLM_INVERT_LEFT_LEG] = inverted;
}

std::uint32_t VLMBoneInversionGetLeftLeg(const VLMBoneInversion* inversion)
{
    return inversion->flags[VLM_INVERT_LEFT_LEG];
}

void VLMBoneInversionSetRightLeg(VLMBoneInversion* inversion, std::uint32_t inverted)
{
    inversion->flags[VLM_INVERT_RIGHT_LEG] = inverted;
}

std::uint32_t VLMBoneInversionGetRightLeg(const VLMBoneInversion* inversion)
{
    return inversion->flags[VLM_INVERT_RIGHT_LEG];
}

void VLMBoneInversionSetLeftForeArm(VLMBoneInversion* inversion, std::uint32_t inverted)
{
    inversion->flags[VLM_INVERT_LEFT_FOREARM] = inverted;
}

std::uint32_t VLMBoneInversionGetLeftForeArm(const VLMBoneInversion* inversion)
{
    return inversion->flags[VLM_INVERT_LEFT_FOREARM];
}

void VLMBoneInversionSetRightForeArm(VLMBoneInversion* inversion, std::uint32_t inverted)
{
    inversion->flags[VLM_INVERT_RIGHT_FOREARM] = inverted;
}

std::uint32_t VLMBoneInversionGetRightForeArm(const VLMBoneInversion* inversion)
{
    return inversion->flags[VLM_INVERT_RIGHT_FOREARM];
}
