// Settings of the skeleton display geometry: which parts are built and how
// large they are drawn. A size given as a negative number is a divisor of the
// character's height (the geometry replaces it when it builds); most sizes are
// further capped by a ratio of a local bone length.
#ifndef SKW_VIEW3D_SKELETON_DISPLAY_SETTINGS_H
#define SKW_VIEW3D_SKELETON_DISPLAY_SETTINGS_H

#include <type_traits>

// Build flags (settings word 1).
enum : int {
    SKELETON_BUILD_BONES = 1,
    SKELETON_BUILD_JOINT_AXES = 2,
    SKELETON_BUILD_JOINT_SPHERES = 4,
    SKELETON_BUILD_ROTATION_LIMITS = 8
};

// Effector flags.
enum : int { SKELETON_EFFECTOR_AXES = 1, SKELETON_EFFECTOR_SPHERES = 2 };

// s when the cap ratio c is 0 or less, else the smaller of s and c x L (s when equal).
inline float SkeletonCappedSize(float s, float c, float length)
{
    if (c <= 0.0f)
        return s;
    const float cap = c * length;
    return cap < s ? cap : s;
}

// Words 8-15: the rotation-limit shapes.
struct SkeletonRotationLimitSettings {
    float twistCentreOffset = 0.4f;     // 8: factor of the twist length along the twist axis
    float twistArcRadius = -16.0f;      // 9
    float twistArcRadiusCap = 0.4f;     // 10
    float swingSphereRadius = -16.0f;   // 11
    float swingSphereRadiusCap = 0.4f;  // 12
    int twistSegments = 32;             // 13: per full turn
    int swingInnerSegments = 32;        // 14: per full turn, inner sweeps
    int swingOuterSegments = 32;        // 15: per full turn, outer sweeps
};

// Sixteen 4-byte words, copied whole into the geometry when it builds.
struct SkeletonDisplaySettings {
    int boneShape = 0;  // 0 double pyramid, 1 prism, other values no bone shape
    int buildFlags = SKELETON_BUILD_BONES | SKELETON_BUILD_JOINT_AXES | SKELETON_BUILD_JOINT_SPHERES |
                     SKELETON_BUILD_ROTATION_LIMITS;
    float boneHalfWidth = -64.0f;
    float boneHalfWidthCap = 0.1f;
    float jointSphereRadius = -64.0f;
    float jointSphereRadiusCap = 0.2f;
    float jointAxisLength = -10.0f;
    float jointAxisLengthCap = 0.6f;
    SkeletonRotationLimitSettings limits;

    int BoneShape() const { return boneShape; }
    int BuildFlags() const { return buildFlags; }
    const SkeletonRotationLimitSettings& RotationLimits() const { return limits; }

    // The capped sizes for a reference length.
    float BoneHalfWidth(float length) const { return SkeletonCappedSize(boneHalfWidth, boneHalfWidthCap, length); }
    float JointSphereRadius(float length) const
    {
        return SkeletonCappedSize(jointSphereRadius, jointSphereRadiusCap, length);
    }
    float JointAxisLength(float length) const
    {
        return SkeletonCappedSize(jointAxisLength, jointAxisLengthCap, length);
    }
    float TwistArcRadius(float length) const
    {
        return SkeletonCappedSize(limits.twistArcRadius, limits.twistArcRadiusCap, length);
    }
    float SwingSphereRadius(float length) const
    {
        return SkeletonCappedSize(limits.swingSphereRadius, limits.swingSphereRadiusCap, length);
    }
};

static_assert(sizeof(SkeletonRotationLimitSettings) == 32, "words 8-15");
static_assert(sizeof(SkeletonDisplaySettings) == 64, "sixteen 4-byte words");
static_assert(std::is_trivially_copyable<SkeletonDisplaySettings>::value, "copied whole");

// The three effector words.
struct SkeletonEffectorSettings {
    int flags = SKELETON_EFFECTOR_AXES | SKELETON_EFFECTOR_SPHERES;
    float sphereRadius = -64.0f;
    float axisLength = -10.0f;

    int Flags() const { return flags; }
    float SphereRadius() const { return sphereRadius; }
    float AxisLength() const { return axisLength; }
};

static_assert(sizeof(SkeletonEffectorSettings) == 12, "three 4-byte words");

#endif
