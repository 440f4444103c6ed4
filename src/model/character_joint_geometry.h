// The rest geometry of one host joint, as the host hands it to the system.
#ifndef SKW_MODEL_CHARACTER_JOINT_GEOMETRY_H
#define SKW_MODEL_CHARACTER_JOINT_GEOMETRY_H

#include "base/skw_export.h"
#include "rig/vlm_joint.h"

#include <type_traits>

// A value class with exactly the layout of the rig library's VLMJointGeometry
// (120 bytes: translation, rotation, scale, pre- and post-rotation, maximum then
// minimum limits, limit-enable mask, parent-offset rotation, rotation order), so
// that records pass between host, model and library without conversion.
// Functions take limits as (x, y, z) of the minimum or maximum; the mask keeps
// the minimum enable bits (0..2) below the maximum ones (3..5).
class SKW_EXPORT CharacterJointGeometry {
public:
    // Every float 0 (scale included), the w of the four quaternions 1, mask 0,
    // rotation order 0.
    CharacterJointGeometry();
    CharacterJointGeometry(const CharacterJointGeometry&) = default;
    CharacterJointGeometry& operator=(const CharacterJointGeometry&) = default;
    ~CharacterJointGeometry() = default;

    void Reset();

    void SetTranslate(float x, float y, float z);
    void SetRotateQ(float x, float y, float z, float w);
    void SetScale(float x, float y, float z);
    void SetPreRotQ(float x, float y, float z, float w);
    void SetPostRotQ(float x, float y, float z, float w);
    void SetMinRLimit(float x, float y, float z);
    void SetMaxRLimit(float x, float y, float z);
    void SetParentOffsetRotateQ(float x, float y, float z, float w);

    const float* GetTranslate() const;
    const float* GetRotateQ() const;
    const float* GetScale() const;
    const float* GetPreRotQ() const;
    const float* GetPostRotQ() const;
    const float* GetMinRLimit() const;
    const float* GetMaxRLimit() const;
    const float* GetParentOffsetRotateQ() const;

    void SetLimitEnableMask(int mask);
    int GetLimitEnableMask() const;
    void SetMinRLimitEnable(bool x, bool y, bool z);
    void SetMaxRLimitEnable(bool x, bool y, bool z);
    bool HasMinRLimitX() const;
    bool HasMinRLimitY() const;
    bool HasMinRLimitZ() const;
    bool HasMaxRLimitX() const;
    bool HasMaxRLimitY() const;
    bool HasMaxRLimitZ() const;

    void SetRotationOrder(VLMRotationOrder order);
    VLMRotationOrder GetRotationOrder() const;

    // Exact float comparison of every field except the parent-offset rotation
    // (0 equals -0, a NaN equals nothing). The geometry poll relies on the
    // parent offset being ignored.
    bool operator==(const CharacterJointGeometry& other) const;
    bool operator!=(const CharacterJointGeometry& other) const;

private:
    VLMJointGeometry record_;
};

static_assert(sizeof(CharacterJointGeometry) == sizeof(VLMJointGeometry) &&
                  alignof(CharacterJointGeometry) == alignof(VLMJointGeometry),
              "CharacterJointGeometry has the layout of VLMJointGeometry");
static_assert(std::is_standard_layout<CharacterJointGeometry>::value &&
                  std::is_trivially_copyable<CharacterJointGeometry>::value,
              "CharacterJointGeometry is exchanged as plain bytes");

#endif
