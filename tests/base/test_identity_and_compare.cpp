#include "base/float_compare.h"
#include "base/tool_identity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <locale>

TEST(FloatCompare, StrictAtTheirThresholds)
{
    EXPECT_FALSE(FuzzyEqual(1.0f, 1.0f, 0.0f));
    EXPECT_TRUE(FuzzyEqual(0.25f, 0.25f, 1e-6f));
    // 1 + 2^-20 is exact in single precision, so the difference equals the
    // tolerance exactly: not equal. Just above it, equal.
    const float step = std::ldexp(1.0f, -20);
    EXPECT_FALSE(FuzzyEqual(1.0f + step, 1.0f, step));
    EXPECT_TRUE(FuzzyEqual(1.0f + step, 1.0f, std::nextafter(step, 1.0f)));
    // The difference is taken in single precision: 1e8 and 1e8 + 1 are one float.
    EXPECT_TRUE(FuzzyEqual(1e8f, 1e8f + 1.0f, 1e-6f));
    EXPECT_FALSE(FuzzyEqual(0.0f, NAN, 1.0f));

    for (float x : {0.0f, -0.0f, std::nextafter(1e-6f, 0.0f), -std::nextafter(1e-6f, 0.0f)})
        EXPECT_TRUE(IsNearZero(x)) << x;
    for (float x : {0.001f, 1e-6f, -1e-6f, float(NAN)})
        EXPECT_FALSE(IsNearZero(x)) << x;
}

TEST(ToolIdentity, NameVersionAndCompactName)
{
    EXPECT_STREQ(ToolIdentity::GetToolName(), "Velmora Skelwright Component");
    const char* compact = ToolIdentity::GetCompactName();
    EXPECT_STREQ(compact, "VLMSkelwright3");
    EXPECT_EQ(ToolIdentity::GetCompactName(), compact);  // one string for the life of the module

    // A host in a locale whose decimal mark is a comma still reads "3.4".
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const float version = ToolIdentity::GetToolVersion();
    std::locale::global(previous);
    EXPECT_EQ(version, 3.4f);
}
