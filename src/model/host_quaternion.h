// Quaternion routines for host rest rotations, quaternions stored as
// (x, y, z, w) floats. Nothing here normalises its result.
#ifndef SKW_MODEL_HOST_QUATERNION_H
#define SKW_MODEL_HOST_QUATERNION_H

// (-x, -y, -z, w).
void QuatConjugate(const float q[4], float out[4]);

// (-x, -y, -z).
void NegateVector3(const float v[3], float out[3]);

// conj(a) * b (Hamilton product): the rotation that takes a to b. For unit
// quaternions a and b of one rotation it is the identity.
void RelativeRotation(const float a[4], const float b[4], float out[4]);

// Three angles in radians (about X, Y, Z) such that rotating by X first, then
// Y, then Z gives q. Near the poles (|z x - w y| at or above 0.499999) the
// middle angle is -pi/2 or pi/2, the third 0 and the first takes the whole
// remaining turn.
void QuatToEulerRadians(const float q[4], float angles[3]);

#endif
