// Solver, internal: infix arithmetic on VLMVector4, so that the stages read as
// the formulas they compute.
//
// Each operator is exactly one primitive: a + b is VLMVector4Add(a, b), a - b
// VLMVector4Sub, a * b VLMVector4Mul, and a float operand is VLMVector4Splat of
// it, on the side where it is written (s * a is VLMVector4Mul(VLMVector4Splat(s),
// a)). An expression therefore gives the same bits as the nested calls it
// stands for, provided it groups the same way: C++ groups a + b + c as
// (a + b) + c and a * b + c as (a * b) + c; any other grouping is written with
// parentheses. There is no unary minus (negation is its own primitive,
// VLMVector4Negate).
//
// Not installed: a host may have operators of its own on these structs.
#ifndef VLM_VECTOR_OPS_H
#define VLM_VECTOR_OPS_H

#include "rig/vlm_vector.h"

VLM_VALUE VLMVector4 operator+(const VLMVector4& a, const VLMVector4& b) { return VLMVector4Add(a, b); }
VLM_VALUE VLMVector4 operator-(const VLMVector4& a, const VLMVector4& b) { return VLMVector4Sub(a, b); }
VLM_VALUE VLMVector4 operator*(const VLMVector4& a, const VLMVector4& b) { return VLMVector4Mul(a, b); }

VLM_VALUE VLMVector4 operator+(const VLMVector4& a, float s) { return VLMVector4Add(a, VLMVector4Splat(s)); }
VLM_VALUE VLMVector4 operator-(const VLMVector4& a, float s) { return VLMVector4Sub(a, VLMVector4Splat(s)); }
VLM_VALUE VLMVector4 operator*(const VLMVector4& a, float s) { return VLMVector4Mul(a, VLMVector4Splat(s)); }

VLM_VALUE VLMVector4 operator+(float s, const VLMVector4& a) { return VLMVector4Add(VLMVector4Splat(s), a); }
VLM_VALUE VLMVector4 operator-(float s, const VLMVector4& a) { return VLMVector4Sub(VLMVector4Splat(s), a); }
VLM_VALUE VLMVector4 operator*(float s, const VLMVector4& a) { return VLMVector4Mul(VLMVector4Splat(s), a); }

#endif
