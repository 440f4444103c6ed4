#include "model/character_joint_geometry.h"

CharacterJointGeometry::CharacterJointGeometry() { VLMJointGeometryInit(&record_); }

void CharacterJointGeometry::Reset() { VLMJointGeometryInit(&record_); }

void CharacterJointGeometry::SetTranslate(float x, float y, float z)
{
    VLMJointGeometrySetTranslate(&record_, x, y, z);
}

void CharacterJointGeometry::SetRotateQ(float x, float y, float z, float w)
{
    VLMJointGeometrySetRotateQ(&record_, x, y, z, w);
}

void CharacterJointGeometry::SetScale(float x, float y, float z) { VLMJointGeometrySetScale(&record_, x, y, z); }

void CharacterJointGeometry::SetPreRotQ(float x, float y, float z, float w)
{
    VLMJointGeometrySetPreRotQ(&record_, x, y, z, w);
}

void CharacterJointGeometry::SetPostRotQ(float x, float y, float z, float w)
{
    VLMJointGeometrySetPostRotQ(&record_, x, y, z, w);
}

void CharacterJointGeometry::SetMinRLimit(float x, float y, float z)
{
    VLMJointGeometrySetMinRLimit(&record_, x, y, z);
}

void CharacterJointGeometry::SetMaxRLimit(float x, float y, float z)
{
    VLMJointGeometrySetMaxRLimit(&record_, x, y, z);
}

void CharacterJointGeometry::SetParentOffsetRotateQ(float x, float y, float z, float w)
{
    VLMJointGeometrySetParentOffsetRotateQ(&record_, x, y, z, w);
}

const float* CharacterJointGeometry::GetTranslate() const { return VLMJointGeometryGetTranslate(&record_); }
const float* CharacterJointGeometry::GetRotateQ() const { return VLMJointGeometryGetRotateQ(&record_); }
const float* CharacterJointGeometry::GetScale() const { return VLMJointGeometryGetScale(&record_); }
const float* CharacterJointGeometry::GetPreRotQ() const { return VLMJointGeometryGetPreRotQ(&record_); }
const float* CharacterJointGeometry::GetPostRotQ() const { return VLMJointGeometryGetPostRotQ(&record_); }
const float* CharacterJointGeometry::GetMinRLimit() const { return VLMJointGeometryGetMinRLimit(&record_); }
const float* CharacterJointGeometry::GetMaxRLimit() const { return VLMJointGeometryGetMaxRLimit(&record_); }

const float* CharacterJointGeometry::GetParentOffsetRotateQ() const
{
    return VLMJointGeometryGetParentOffsetRotateQ(&record_);
}

void CharacterJointGeometry::SetLimitEnableMask(int mask)
{
    VLMJointGeometrySetLimitEnableMask(&record_, static_cast<std::uint32_t>(mask));
}

int CharacterJointGeometry::GetLimitEnableMask() const
{
    return static_cast<int>(VLMJointGeometryGetLimitEnableMask(&record_));
}

void CharacterJointGeometry::SetMinRLimitEnable(bool x, bool y, bool z)
{
    VLMJointGeometrySetMinRLimitEnable(&record_, x, y, z);
}

void CharacterJointGeometry::SetMaxRLimitEnable(bool x, bool y, bool z)
{
    VLMJointGeometrySetMaxRLimitEnable(&record_, x, y, z);
}

bool CharacterJointGeometry::HasMinRLimitX() const { return VLMJointGeometryHasMinRLimitX(&record_); }
bool CharacterJointGeometry::HasMinRLimitY() const { return VLMJointGeometryHasMinRLimitY(&record_); }
bool CharacterJointGeometry::HasMinRLimitZ() const { return VLMJointGeometryHasMinRLimitZ(&record_); }
bool CharacterJointGeometry::HasMaxRLimitX() const { return VLMJointGeometryHasMaxRLimitX(&record_); }
bool CharacterJointGeometry::HasMaxRLimitY() const { return VLMJointGeometryHasMaxRLimitY(&record_); }
bool CharacterJointGeometry::HasMaxRLimitZ() const { return VLMJointGeometryHasMaxRLimitZ(&record_); }

void CharacterJointGeometry::SetRotationOrder(VLMRotationOrder order)
{
    VLMJointGeometrySetRotationOrder(&record_, order);
}

VLMRotationOrder CharacterJointGeometry::GetRotationOrder() const { return VLMJointGeometryGetRotationOrder(&record_); }

bool CharacterJointGeometry::operator==(const CharacterJointGeometry& other) const
{
    return VLMJointGeometryEqual(&record_, &other.record_);
}

bool CharacterJointGeometry::operator!=(const CharacterJointGeometry& other) const
{
    return VLMJointGeometryNotEqual(&record_, &other.record_);
}
