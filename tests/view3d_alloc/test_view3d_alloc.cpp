// Rewriting a pose (skeleton, effectors, floor contacts) allocates nothing. This executable replaces the global
// allocation functions to count every allocation while an update runs.
#include "counting_new.h"
#include "view3d/skeleton_display_geometry.h"

#include "rig/solver/vlm_runtime_entries.h"
#include "rig/vlm_property.h"

#include "posed_rig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

namespace {

TEST(SkeletonGeometryAllocation, UpdateAllocatesNothing)
{
    const posed::Rig rig = posed::Make(fixtures::Full(), posed::Limits::Mixed);
    rig.WriteTPose();
    const VLMEffectorSetStateHandle set = VLMAdopt<VLMEffectorSetStateHandle>(VLMCreateEffectorSetState(&std::malloc));
    VLMPropertySetState properties;
    VLMPropertySetDefaults(&properties);
    VLMSetPropertyMode(&properties, 31, 1);  // floor contact of the feet
    VLMSetPropertyMode(&properties, 38, 1);  // and of the hands
    VLMSetEffectorsFromPose(rig.c(), set.get(), rig.s(), &properties);
    SkeletonDisplayGeometry g;
    ASSERT_TRUE(g.Init(SkeletonDisplaySettings(), rig.c(), rig.s()));
    ASSERT_TRUE(g.InitEffectors(3, -64.0f, -10.0f, rig.c(), set.get()));
    ASSERT_TRUE(g.InitFloorContacts(rig.c(), rig.s(), set.get(), &properties));
    const float axis[3] = {0, 0, 1};
    rig.Bend(9, axis, 0.6f);
    rig.Bend(2, axis, 0.3f);
    VLMSetEffectorsFromPose(rig.c(), set.get(), rig.s(), &properties);
    std::vector<float> buffer(3 * g.SkeletonStore().VertexCount());  // the largest of the three stores

    const long before = g_allocations;
    const bool rewritten = g.Update(nullptr) && g.Update(buffer.data()) && g.UpdateEffectors(nullptr) &&
                           g.UpdateEffectors(buffer.data()) && g.UpdateFloorContacts(nullptr) &&
                           g.UpdateFloorContacts(buffer.data());
    const long duringUpdates = g_allocations - before;
    g.Init(SkeletonDisplaySettings(), rig.c(), rig.s());  // the counter itself works: a build allocates
    EXPECT_TRUE(rewritten);
    EXPECT_EQ(duringUpdates, 0);
    EXPECT_GT(g_allocations - before, 0);
}

}  // namespace
