#include "rig/vlm_quat.h"

void VLMMatrix44DoubleToTQS(VLMVector4& t, VLMVector4& q, VLMVector4& s, const double* matrix)
{
    const VLMMatrix44 m = VLMMatrix44FromDoubles(matrix);
    VLMMatrix44ToTQS(t, q, s, m);
}

void VLMTQSToMatrix44Double(double* out, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    VLMMatrix44ToDoubles(out, VLMTQSToMatrix44Normalized(t, q, s));
}

void VLMTQS4Unpack(VLMVector4& t0, VLMVector4& q0, VLMVector4& s0, VLMVector4& t1, VLMVector4& q1, VLMVector4& s1,
                   VLMVector4& t2, VLMVector4& q2, VLMVector4& s2, VLMVector4& t3, VLMVector4& q3, VLMVector4& s3,
                   const VLMVector4 translation[3], const VLMVector4 rotation[4], const VLMVector4 scale[3])
{
    // Each group is a 4x4 transpose; the missing fourth row of T and S is
    // 0 and 1, which becomes their w lanes.
    VLMMatrix44Transpose(translation[0], translation[1], translation[2], VLMConstant::Splat(0.0f), t0, t1, t2, t3);
    VLMMatrix44Transpose(rotation[0], rotation[1], rotation[2], rotation[3], q0, q1, q2, q3);
    VLMMatrix44Transpose(scale[0], scale[1], scale[2], VLMConstant::One, s0, s1, s2, s3);
}

void VLMTQS4Pack(VLMVector4 translation[3], VLMVector4 rotation[4], VLMVector4 scale[3], const VLMVector4& t0,
                 const VLMVector4& q0, const VLMVector4& s0, const VLMVector4& t1, const VLMVector4& q1,
                 const VLMVector4& s1, const VLMVector4& t2, const VLMVector4& q2, const VLMVector4& s2,
                 const VLMVector4& t3, const VLMVector4& q3, const VLMVector4& s3)
{
    VLMVector4 droppedT, droppedS;
    VLMMatrix44Transpose(t0, t1, t2, t3, translation[0], translation[1], translation[2], droppedT);
    VLMMatrix44Transpose(q0, q1, q2, q3, rotation[0], rotation[1], rotation[2], rotation[3]);
    VLMMatrix44Transpose(s0, s1, s2, s3, scale[0], scale[1], scale[2], droppedS);
}
