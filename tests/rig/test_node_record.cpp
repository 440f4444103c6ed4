#include "vlm_node_record.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(NodeRecord, LinkKeepsTheLowestChildAndCountsEveryLink)
{
    VLMNodeRecord parent, other, a, b;
    for (VLMNodeRecord* r : {&parent, &other, &a, &b})
        VLMNodeRecordInit(r);
    parent.ownIndex = 2;
    other.ownIndex = 3;
    a.ownIndex = 7;
    b.ownIndex = 5;
    VLMNodeRecordLink(&a, &parent);
    EXPECT_EQ(parent.firstChildIndex, 7u);
    VLMNodeRecordLink(&b, &parent);
    EXPECT_EQ(parent.firstChildIndex, 5u);
    EXPECT_EQ(parent.childCount, 2u);
    EXPECT_EQ(a.parentIndex, 2u);
    // A child linked to two records counts in both; the last link names its parent.
    VLMNodeRecordLink(&a, &other);
    EXPECT_EQ(other.childCount, 1u);
    EXPECT_EQ(parent.childCount, 2u);
    EXPECT_EQ(a.parentIndex, 3u);
}

TEST(NodeRecord, AddressingWithNoneReachesTheSpareInFront)
{
    VLMNodeRecord records[4];
    for (int i = 0; i < 4; ++i) {
        VLMNodeRecordInit(&records[i]);
        records[i].nodeId = std::uint32_t(100 + i);
    }
    const VLMNodeRecord* base = records + 1;
    VLMNodeRecord orphan;
    VLMNodeRecordInit(&orphan);
    EXPECT_EQ(VLMNodeRecordParent(base, &orphan), records);
    orphan.parentIndex = 2;
    EXPECT_EQ(VLMNodeRecordParent(base, &orphan)->nodeId, 103u);
    orphan.firstChildIndex = 0;
    EXPECT_EQ(VLMNodeRecordChild(base, &orphan, 1)->nodeId, 102u);
    EXPECT_EQ(VLMNodeRecordAt(base, -1), records);

    VLMRotationRecord rotations[2];
    EXPECT_EQ(VLMRotationRecordAt(rotations, 1), rotations + 1);
    VLMTransformTQS offsets[3];
    EXPECT_EQ(VLMParentOffsetAt(offsets, 2), offsets + 2);
    EXPECT_EQ(VLMParentOffsetConstruct(offsets)->s.w, 1.0f);
    VLMTPoseEntry entry;
    std::memset(&entry, 0x5A, sizeof entry);
    VLMTPoseEntryConstruct(&entry);
    EXPECT_EQ(entry.presence, 0u);
    EXPECT_EQ(entry.t.w, 0.0f);
    EXPECT_EQ(entry.q.w, 1.0f);
    EXPECT_EQ(entry.s.w, 1.0f);
}
