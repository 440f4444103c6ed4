// Geometry stores: build-order rewriting, bounds, outside buffers and Clear.
#include "view3d/geometry_store.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <memory>

using namespace VLMDrawObjectNS;

namespace {

const float kA[3] = {1, 2, 3}, kB[3] = {-1, 5, 0}, kC[3] = {7, 7, 7};

// Two vertices and one line, then the build replayed with new positions.
TEST(GeometryStore, RewriteFollowsBuildOrderAndStopsAtTheEnd)
{
    GeometryStore store;
    const std::uint32_t a = store.AddVertex(kA), b = store.AddVertex(kB);
    LinesObject* line = store.AddObject(std::make_unique<LinesObject>());
    line->AddLine(a, b);
    line->ExtendBox(kA);

    store.ResetWriteCounters();
    store.ResetBoxes();
    EXPECT_EQ(line->boxMin[0], FLT_MAX);
    std::uint32_t index = 99;
    ASSERT_TRUE(store.RewriteVertex(kC, &index));
    EXPECT_EQ(index, 0u);
    ASSERT_TRUE(store.RewriteVertex(kA, &index));
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(store.NextObject(), line);
    // Past the build: nothing is written and no object is handed out.
    EXPECT_FALSE(store.RewriteVertex(kB, &index));
    EXPECT_EQ(store.NextObject(), nullptr);
    EXPECT_FALSE(store.SetVertex(2, kB));
    EXPECT_EQ(store.VertexCount(), 2u);
    EXPECT_EQ(store.Vertex(0)[0], 7.0f);
    EXPECT_TRUE(store.Box().min[0] == 1.0f && store.Box().max[0] == 7.0f);  // the rewritten points only
}

TEST(GeometryStore, OutsideBufferIsWrittenBesideTheOwnList)
{
    GeometryStore store;
    store.AddVertex(kA);
    store.AddVertex(kB);
    float buffer[6] = {};
    store.UseOutsideVertices(buffer);
    ASSERT_TRUE(store.SetVertex(1, kC));
    EXPECT_EQ(buffer[3], 7.0f);
    EXPECT_EQ(store.Vertex(1), buffer + 3);
    store.DetachOutsideVertices();
    EXPECT_EQ(store.VertexCount(), 2u);
    EXPECT_EQ(store.Vertex(1)[2], 7.0f) << "the own list keeps the rewritten position";

    // Clear forgets vertices, objects, buffer and box; a store with no own
    // vertex then accepts no write into a buffer.
    store.AddObject(std::make_unique<SphereObject>());
    store.UseOutsideVertices(buffer);
    store.Clear();
    EXPECT_TRUE(store.VertexCount() == 0 && store.ObjectCount() == 0 && store.OutsideVertices() == nullptr);
    EXPECT_EQ(store.Box().min[1], FLT_MAX);
    float untouched[3] = {9, 9, 9};
    store.UseOutsideVertices(untouched);
    EXPECT_EQ(store.VertexCount(), 0u);
    EXPECT_FALSE(store.SetVertex(0, kA));
    EXPECT_EQ(untouched[0], 9.0f);
}

}  // namespace
