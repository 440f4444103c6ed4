#include "solver_test_util.h"

namespace {

using namespace soltest;

// Right hand mirrors x; types round, 4 and up are Normal; zero geometry gives the frame.
TEST(ContactPoint, TableFramesAndTypes)
{
    fixtures::Scene s = Make(fixtures::Typical(), 1);
    const VLMExtremity* right = VLMCharacterExtremity(s.c(), 1);
    VLMPropertySetState& p = s.properties;
    for (int k = 0; k < 6; ++k)
        p.entries[right->properties[1 + k]].value = float(k + 1);  // B 1, K 2, M 3, F 4, I 5, O 6
    const VLMVector4 tA = V(10, 0, 0, 0), tB = V(0, 20, 0, 0), q = V(0, 0, 0, 1), one = V(1, 1, 1, 1);
    auto point = [&](int index, float type) {
        p.entries[right->properties[8]].value = type;
        VLMVector4 out;
        VLMScopedFPGuard guard;
        VLMContactPoint(s.c(), &out, right, &p, index, &tA, &q, &one, &tB, &q, &one);
        return out;
    };
    EXPECT_TRUE(SameBits(point(0, 1), V(12, -1, -6, 0)));
    EXPECT_TRUE(SameBits(point(-1, 1), point(5, 1)));
    EXPECT_EQ(point(3, 2.5f).y, 19.0f);  // 2: the finger base
    EXPECT_EQ(point(3, 3.5f).y, -1.0f);  // 4: Normal, point 3 on the wrist
    for (int k = 0; k < 6; ++k)
        p.entries[right->properties[1 + k]].value = 0.0f;
    const VLMVector4 offset = VLMVector4Sub(VLMCharacterTPoseEntry(s.c(), right->endNodeId)->t,
                                            VLMCharacterTPoseEntry(s.c(), right->baseNodeId)->t);
    for (int index = 0; index < 6; ++index) {
        EXPECT_TRUE(SameBits(point(index, 1), tA)) << index;
        EXPECT_TRUE(SameBits(point(index, 2), tB)) << index;
        EXPECT_TRUE(SameBits(point(index, 0), index < 4 ? tA : VLMVector4Add(tB, offset))) << index;
    }
}

}  // namespace
