// Velmora rig library: rotation definitions and rotation orders.
//
// A joint's rotation definition says how its local rotation is built from
// three angles: a rotation order, a pre-rotation, a post-rotation and optional
// per-axis limits. It is the 112-byte VLMRotationPart (vlm_layout.h) at the
// head of every node record and behind the 16-byte lead of every rotation
// record. Within the part the minimum limits come before the maximum limits,
// and every function here takes them in that order (minimum, maximum).
//
// Flag word of a rotation part: bit 0 record assigned at creation, bits 1..3
// minimum limit of x, y, z enabled, bits 4..6 maximum limit of x, y, z
// enabled, bit 7 pre-rotation not the identity, bit 8 post-rotation not the
// identity. Bits 7 and 8 always follow the last value stored through the
// setters below.
//
// Conventions: quaternions (x, y, z, w), w the scalar part; products are
// Hamilton products, the right factor acting first; angles are radians
// except in the FromEuler setters, which take degrees. None of these
// functions touch the floating-point control word; results follow the
// caller's mode (the library's entry points run them under VLMScopedFPGuard).
// Output vectors may be the same objects as the inputs.
#ifndef VLM_ROTATION_H
#define VLM_ROTATION_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"

#include <cstdint>

// VLMRotationOrder (vlm_base.h): twelve Euler codes in pairs that share one
// axis triple, then the spheric code 12. An Euler name gives the axes in the
// order in which they act.

// The axis triple (a, b, c) of an Euler code (0 x, 1 y, 2 z): a row of a
// twelve-row table in which each odd code shares the row of the even code
// before it. Null for the spheric code and for codes above 12.
VLM_API const std::int32_t* VLMRotationOrderAxes(VLMRotationOrder order);

// --- Records -----------------------------------------------------------------

// Copies the rotation part field by field: the five quaternion and axis
// vectors, the order, then the limits and flags as one 28-byte block.
VLM_API void VLMRotationPartCopy(VLMRotationPart* destination, const VLMRotationPart* source);

// Stores q as the pre-rotation; flag bit 7 := q differs in any lane from
// (0, 0, 0, 1) (a float comparison: -0 counts as 0, NaN as different).
VLM_API void VLMSetPreRotation(VLMRotationPart* part, const VLMVector4& q);
// Stores q as the post-rotation with its three axes (the images of the unit
// axes, w 0); flag bit 8 by the same test as bit 7.
VLM_API void VLMSetPostRotation(VLMRotationPart* part, const VLMVector4& q);

// The same from Euler angles in degrees (four lanes): the flag := any of the
// four lanes is non-zero; the quaternion := VLMEulerToQuat(order, degrees x
// 0.017453292).
VLM_API void VLMSetPreRotationFromEuler(VLMRotationPart* part, const VLMVector4& degrees, VLMRotationOrder order);
VLM_API void VLMSetPostRotationFromEuler(VLMRotationPart* part, const VLMVector4& degrees, VLMRotationOrder order);

// out := angles, then each of x, y, z raised to its minimum when that limit is
// enabled, then lowered to its maximum when that one is. Nothing changes when
// no limit is enabled; the w lane and a NaN angle pass unchanged.
VLM_API VLMVector4& VLMClampToRotationLimits(const VLMRotationPart* part, const VLMVector4& angles, VLMVector4& out);

// --- Conversions ---------------------------------------------------------------

// Quaternion of Euler angles (radians, lanes x, y, z; w ignored). Euler codes
// apply the axes of their triple in order (q = q_c q_b q_a); an odd code gives
// exactly the quaternion of the even code before it. The spheric code is a
// twist about x followed by a swing about an axis in the y-z plane. A code
// above 12 gives the identity.
VLM_API VLMVector4& VLMEulerToQuat(VLMRotationOrder order, VLMVector4& q, const VLMVector4& angles);

// Euler angles (radians, w lane 0) of a unit quaternion. Even codes give the
// middle angle in [-pi/2, pi/2] and the outer ones in (-pi, pi]; at a pole
// (|sine term| >= VLMConstPoleLimit) the middle angle is +-pi/2, one outer
// angle 0 and the other carries the combined rotation. Odd codes, and codes
// above 12, give (0, 0, 0, 0).
VLM_API VLMVector4& VLMQuatToEuler(VLMRotationOrder order, VLMVector4& angles, const VLMVector4& q);

// The spheric and the code-0 branches of VLMQuatToEuler on their own.
VLM_API VLMVector4& VLMQuatToSpheric(VLMVector4& angles, const VLMVector4& q);
VLM_API VLMVector4& VLMQuatToEulerXYZ(VLMVector4& angles, const VLMVector4& q);

// The same two conversions with the order as the last argument.
VLM_API VLMVector4& VLMEulerToQuatByValue(VLMVector4& q, const VLMVector4& angles, VLMRotationOrder order);
VLM_API VLMVector4& VLMQuatToEulerByValue(VLMVector4& angles, const VLMVector4& q, VLMRotationOrder order);

// The local rotation of a joint at Euler angles (radians, the part's order):
// pre (x) euler (x) conj(post) normalised, each factor only when its flag bit
// is set.
VLM_API VLMVector4& VLMNodeRotationFromEuler(const VLMRotationPart* part, VLMVector4& q, const VLMVector4& angles);
// The inverse: the angles of conj(pre) (x) q (x) post in the part's order.
VLM_API VLMVector4& VLMNodeEulerFromRotation(const VLMRotationPart* part, VLMVector4& angles, const VLMVector4& q);

#endif
