// The view toolkit against worked examples: rotations, look-at, products in
// both orders and the reset box.
#include "view3d/view_math.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ViewMath;

namespace {

void ExpectNear(const Vec4& actual, const Vec4& expected, const char* what)
{
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5f) << what << ", component " << i;
}

Mat4 Translation(float x, float y, float z)
{
    Mat4 t = Identity();
    SetTranslation(t, MakeVector(x, y, z));
    return t;
}

TEST(ViewMath, WorkedExamples)
{
    const Mat4 rz90 = AxisAngleMatrix(1.5707963f, MakeVector(0, 0, 1));
    const Mat4 rx90 = AxisAngleMatrix(DegreesToRadians(90.0f), MakeVector(1, 0, 0));
    const Mat4 look = LookAt(MakeVector(0, 0, 20, 1), MakeVector(0, 0, 0, 1), MakeVector(0, 1, 0, 0));
    // An oblique view: the eye sits on +x looking at a target off the origin.
    const Mat4 side = LookAt(MakeVector(10, 2, 3, 1), MakeVector(0, 2, 3, 1), MakeVector(0, 1, 0, 0));
    struct Case {
        const char* what;
        Mat4 m;
        Vec4 in, out;
    } const cases[] = {
        {"90 degrees about z", rz90, MakeVector(1, 0, 0, 1), MakeVector(0, 1, 0, 1)},
        {"90 degrees about x", rx90, MakeVector(0, 1, 0, 0), MakeVector(0, 0, 1, 0)},
        {"look-at: target on the -z axis", look, MakeVector(0, 0, 0, 1), MakeVector(0, 0, -20, 1)},
        {"look-at: the rotation is the identity", look, MakeVector(1, 2, 3, 0), MakeVector(1, 2, 3, 0)},
        {"look-at from +x: target ahead", side, MakeVector(0, 2, 3, 1), MakeVector(0, 0, -10, 1)},
        {"look-at from +x: world -z is eye +x", side, MakeVector(0, 0, -1, 0), MakeVector(1, 0, 0, 0)},
        {"T(0,0,5) x R: rotate, then move", Multiply(Translation(0, 0, 5), rz90), MakeVector(1, 0, 0, 1),
         MakeVector(0, 1, 5, 1)},
        {"R x T(0,0,5): move, then rotate", Multiply(rx90, Translation(0, 0, 5)), MakeVector(0, 0, 0, 1),
         MakeVector(0, -5, 0, 1)},
        // Element 15 is negated with the translation.
        {"negated translation", NegatedTranslation(Translation(1, 2, 3)), MakeVector(0, 0, 0, 1),
         MakeVector(-1, -2, -3, -1)},
        {"rotation part drops the move", RotationPart(Multiply(Translation(4, 5, 6), rz90)), MakeVector(1, 0, 0, 1),
         MakeVector(0, 1, 0, 1)},
        {"translation only keeps the move", TranslationOnly(Multiply(Translation(4, 5, 6), rz90)),
         MakeVector(1, 0, 0, 1), MakeVector(5, 5, 6, 1)},
    };
    for (const Case& c : cases)
        ExpectNear(Multiply(c.m, c.in), c.out, c.what);
}

TEST(ViewMath, VectorsAndBoxes)
{
    ExpectNear(Cross(MakeVector(1, 0, 0), MakeVector(0, 1, 0)), MakeVector(0, 0, 1), "x cross y");
    ExpectNear(Normalize(MakeVector(3, 0, 4, 0)), MakeVector(0.6f, 0, 0.8f, 0), "normalise");
    ExpectNear(AxisAngleQuat(DegreesToRadians(180.0f), MakeVector(0, 1, 0)), MakeVector(0, 1, 0, 0), "half turn");

    Box b = ResetBox();
    EXPECT_TRUE(std::isinf(ExtentX(b)) && ExtentX(b) < 0.0f) << "a reset box has no extent to frame";
    const float p[3] = {1, -2, 3}, q[3] = {-3, 4, 3}, r[3] = {5, 0, 2};
    Grow(b, p);
    EXPECT_TRUE(b.min[0] == 1 && b.max[0] == 1 && b.min[1] == -2 && b.max[1] == -2 && b.min[2] == 3 && b.max[2] == 3);
    Box other = ResetBox();
    Grow(other, q);
    Grow(other, r);
    Grow(b, other);
    EXPECT_EQ(ExtentX(b), 8.0f);
    EXPECT_EQ(ExtentY(b), 6.0f);
    EXPECT_EQ(ExtentZ(b), 1.0f);
    ExpectNear(Centre(b), MakeVector(1, 1, 2.5f, 1), "centre");
}

}  // namespace
