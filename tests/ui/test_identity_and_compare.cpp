#include "ui/float_compare.h"
#include "ui/tool_identity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <locale>

TEST(FloatCompare, FuzzyEqualIsStrictAtItsTolerance)
{
    EXPECT_FALSE(FuzzyEqual(1.0f, 1.0f, 0.0f));
    EXPECT_TRUE(FuzzyEqual(0.25f, 0.25f, 1e-6f));

    // 1 + 2^-20 is exact in single precision, so the difference equals the
    // tolerance exactly: not equal. Half of it is.
    const float step = std::ldexp(1.0f, -20);
    EXPECT_FALSE(FuzzyEqual(1.0f + step, 1.0f, step));
    EXPECT_TRUE(FuzzyEqual(1.0f + step, 1.0f, std::nextafter(step, 1.0f)));
    EXPECT_TRUE(FuzzyEqual(-1.0f, -1.0f - step / 2, step));
    // The difference is taken in single precision: 1e8 and 1e8 + 1 are one float.
    EXPECT_TRUE(FuzzyEqual(1e8f, 1e8f + 1.0f, 1e-6f));
    EXPECT_FALSE(FuzzyEqual(0.0f, NAN, 1.0f));
}

TEST(FloatCompare, IsNearZeroBelowOneMillionth)
{
    EXPECT_TRUE(IsNearZero(0.0f));
    EXPECT_TRUE(IsNearZero(-0.0f));
    EXPECT_FALSE(IsNearZero(0.001f));
    EXPECT_FALSE(IsNearZero(1e-6f));
    EXPECT_FALSE(IsNearZero(-1e-6f));
    EXPECT_TRUE(IsNearZero(std::nextafter(1e-6f, 0.0f)));
    EXPECT_TRUE(IsNearZero(-std::nextafter(1e-6f, 0.0f)));
    EXPECT_FALSE(IsNearZero(NAN));
}

TEST(ToolIdentity, NameVersionAndCompactName)
{
    EXPECT_STREQ(ToolIdentity::GetToolName(), "Velmora Skelwright Component");
    EXPECT_EQ(ToolIdentity::GetToolVersion(), 3.4f);
    const char* compact = ToolIdentity::GetCompactName();
    EXPECT_STREQ(compact, "VLMSkelwright3");
    // One string for the life of the module: the same pointer on every call.
    EXPECT_EQ(ToolIdentity::GetCompactName(), compact);
}

TEST(ToolIdentity, VersionIgnoresTheProcessLocale)
{
    // A host in a locale whose decimal mark is a comma must still read "3.4".
    const std::locale previous = std::locale::global(std::locale::classic());
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const float version = ToolIdentity::GetToolVersion();
    std::locale::global(previous);
    EXPECT_EQ(version, 3.4f);
}
