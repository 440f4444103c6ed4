// Tolerant float comparisons for validation results and for writing or showing
// tiny magnitudes as zero.
#ifndef SKW_BASE_FLOAT_COMPARE_H
#define SKW_BASE_FLOAT_COMPARE_H

#include <cmath>

// True when |a - b|, taken in single precision, is strictly below the tolerance.
inline bool FuzzyEqual(float a, float b, float tolerance)
{
    const float difference = a - b;
    return tolerance > std::fabs(difference);
}

// True when |x| is strictly below 1e-6. The bound is the float nearest to 1e-6,
// compared in double precision: a value stored as 1e-6f is itself not near zero.
inline bool IsNearZero(float x) { return std::fabs(static_cast<double>(x)) < static_cast<double>(1e-6f); }

#endif
