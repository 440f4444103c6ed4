#include "rig/vlm_character.h"
#include "rig/vlm_node_record.h"

#include "rig_sample.h"
#include "rig_tree_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using sample::CharacterPtr;

CharacterPtr Create(const oracle::Presence& p) { return sample::Create(oracle::Definition(p)); }

const VLMCharacterHeader& H(const CharacterPtr& c) { return *VLMCharacterHeaderOf(c.get()); }
const VLMNodeRecord& R(const CharacterPtr& c, int id) { return *VLMCharacterNodeRecord(c.get(), id); }
int Parent(const CharacterPtr& c, int id) { return VLMGetParentNodeId(c.get(), id); }

std::vector<int> Children(const VLMCharacter* c, int id)
{
    std::vector<int> out;
    for (int i = 0; i < VLMGetChildNodeCount(c, id); ++i)
        out.push_back(VLMGetChildNodeId(c, id, i));
    std::sort(out.begin(), out.end());
    return out;
}

// The built tree against the oracle: parents, contiguous child ranges,
// parents numbered first, unlinked nodes numbered last, mirror partners.
void ExpectTree(const oracle::Presence& p)
{
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    const VLMCharacter* ch = c.get();
    const VLMNodeRecord* records = VLMCharacterNodeRecords(ch);
    std::set<std::int32_t> indices;
    std::int32_t lastReachable = -1, firstUnreachable = VLM_NODE_COUNT;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const std::int32_t k = VLMCharacterCompactIndex(ch, id);
        ASSERT_EQ(k >= 0, p[id]) << id;
        if (k < 0)
            continue;
        ASSERT_LT(std::uint32_t(k), H(c).nodeCount);
        ASSERT_TRUE(indices.insert(k).second) << "two nodes share index " << k;
        const VLMNodeRecord& r = records[k];
        EXPECT_EQ(r.nodeId, std::uint32_t(id));
        EXPECT_EQ(r.ownIndex, std::uint64_t(k));
        if (oracle::Reachable(p, id))
            lastReachable = std::max(lastReachable, k);
        else
            firstUnreachable = std::min(firstUnreachable, k);

        const int expected = oracle::ExpectedParent(p, id);
        if (id != 0) {
            EXPECT_EQ(Parent(c, id), expected == oracle::kRoot ? 0 : expected) << "parent of " << id;
        }
        if (expected >= 0) {
            EXPECT_LT(VLMCharacterCompactIndex(ch, expected), k);
        }
        if (id == 0)
            continue;
        for (std::uint32_t i = 0; i < r.childCount; ++i) {
            const VLMNodeRecord* child = VLMNodeRecordChild(records, &r, i);
            EXPECT_EQ(child->parentIndex, r.ownIndex) << "children of " << id << " are not one run";
            EXPECT_EQ(VLMGetChildNodeId(ch, id, int(i)), int(child->nodeId));
        }
        std::vector<int> expectedChildren;
        for (int other = 0; other < VLM_NODE_COUNT; ++other)
            if (oracle::ExpectedParent(p, other) == id)
                expectedChildren.push_back(other);
        EXPECT_EQ(Children(ch, id), expectedChildren) << "children of " << id;
    }
    EXPECT_LT(lastReachable, firstUnreachable);

    // Nothing aliases Reference. Hips is linked twice, under the root record
    // and under Reference's record, and counts in both.
    EXPECT_EQ(records[0].nodeId, 0u);
    EXPECT_EQ(records[0].childCount, p[1] ? 1u : 0u);
    EXPECT_EQ(H(c).root.ownIndex, 0u);
    EXPECT_EQ(H(c).root.childCount, std::uint32_t(p[1] + p[49]));

    // Mirror partners, on the left nodes only: {left, right, count}.
    const int mirrors[][3] = {{2, 5, 1},   {41, 43, 1}, {3, 6, 1},     {42, 44, 1},   {4, 7, 1},     {16, 17, 1},
                              {21, 22, 1}, {18, 19, 1}, {170, 171, 1}, {9, 12, 1},    {45, 47, 1},   {10, 13, 1},
                              {46, 48, 1}, {11, 14, 1}, {50, 74, 24},  {98, 122, 24}, {146, 152, 6}, {158, 164, 6}};
    for (const auto& m : mirrors)
        for (int left = m[0], right = m[1]; left < m[0] + m[2]; ++left, ++right) {
            if (p[left]) {
                EXPECT_EQ(R(c, left).mirrorPartner,
                          p[right] ? std::uint32_t(VLMCharacterCompactIndex(ch, right)) : VLM_INDEX32_NONE);
            }
            if (p[right]) {
                EXPECT_EQ(R(c, right).mirrorPartner, VLM_INDEX32_NONE);
            }
        }
}

}  // namespace

TEST(SkeletonTree, RandomDefinitionsWithAndWithoutHoles)
{
    ExpectTree(oracle::Full());
    oracle::Presence noHips = oracle::Full();
    noHips[1] = false;
    ExpectTree(noHips);
    std::mt19937 rng(4242);
    for (int round = 0; round < 400 && !HasFailure(); ++round) {
        SCOPED_TRACE(round);
        const oracle::Presence p = oracle::RandomPresence(rng, 0.15 + 0.85 * (round % 6) / 5.0);
        ExpectTree(round % 2 ? p : oracle::WithoutHoles(p));
    }
}

TEST(SkeletonBuild, RequiredNodesOnly)
{
    CharacterPtr c = Create(oracle::Required());
    ASSERT_TRUE(c);
    const VLMCharacterHeader& h = H(c);
    EXPECT_EQ(h.chestIndex, -1);
    EXPECT_EQ(h.neckIndex, -1);
    EXPECT_EQ(Children(c.get(), 8), (std::vector<int>{9, 12, 15}));
    for (int id = 0; id <= 15; ++id)
        EXPECT_EQ(R(c, id).rollFlag, 0u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(h.digitWords[k], 0u);
        EXPECT_EQ(h.extremities[k].hasDigits, 0u);
        EXPECT_EQ(*std::max_element(h.extremities[k].lastJoint, h.extremities[k].lastJoint + 6), -1);
        const VLMLimb& limb = h.limbs[k];
        for (int slot : {VLM_SLOT_UPPER_ROLL, VLM_SLOT_MIDDLE_ROLL, VLM_SLOT_TIP})
            EXPECT_EQ(limb.slotIndex[slot], -1);
        EXPECT_EQ(limb.rollSlots[0], -1);
        EXPECT_EQ(limb.rollSlots[1], -1);
        EXPECT_EQ(limb.upperSegmentCount, 1);
        EXPECT_EQ(limb.tipMask[0] | limb.tipMask[3], 0u);
    }
    // Presence words on every real entry, never on the spare.
    const VLMTPoseEntry* entries = VLMCharacterTPoseEntries(c.get());
    for (int k = -1; k < 16; ++k)
        EXPECT_EQ(entries[k].presence, k < 0 ? 0u : 0xFFFFFFFFu) << k;
}

TEST(SkeletonBuild, RollNodesSpliceIntoTheirSegmentsAndLimbTrees)
{
    oracle::Presence p = oracle::Required();
    p[41] = p[46] = true;  // LeftUpLegRoll, LeftForeArmRoll
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    EXPECT_EQ(R(c, 2).rollFlag + R(c, 10).rollFlag, 2u);
    EXPECT_EQ(R(c, 3).rollFlag + R(c, 9).rollFlag, 0u);
    const VLMLimb& leg = H(c).limbs[0];
    EXPECT_EQ(leg.upperSegmentCount, 2);
    EXPECT_EQ(leg.rollSlots[0], 2);
    EXPECT_EQ(leg.rollSlots[1], -1);
    // The limb's own tree skips the missing slots: 0 -> 1 -> 2 -> 3 -> 5.
    const std::uint64_t legParents[7] = {VLM_INDEX_NONE, 0, 1, 2, VLM_INDEX_NONE, 3, VLM_INDEX_NONE};
    for (int s = 0; s < 7; ++s)
        EXPECT_EQ(leg.slotRecords[s].parentIndex, legParents[s]) << s;
    EXPECT_EQ(leg.slotRecords[3].firstChildIndex, 5u);
    EXPECT_EQ(H(c).limbs[2].rollSlots[1], 4);
    EXPECT_EQ(H(c).limbs[2].slotRecords[5].parentIndex, 4u);

    CharacterPtr full = Create(oracle::Full());
    // Slot 0 is the upper joint's parent: Hips for the legs, the shoulder extra for the arms.
    const int slots[4][7] = {{1, 2, 41, 3, 42, 4, 16},
                             {1, 5, 43, 6, 44, 7, 17},
                             {170, 9, 45, 10, 46, 11, 21},
                             {171, 12, 47, 13, 48, 14, 22}};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const VLMLimb& limb = H(full).limbs[k];
        for (int s = 0; s < 7; ++s) {
            EXPECT_EQ(limb.slotRecords[s].nodeId, std::uint32_t(slots[k][s]));
            EXPECT_EQ(limb.slotIndex[s], VLMCharacterCompactIndex(full.get(), slots[k][s]));
            EXPECT_EQ(limb.slotRecords[s].parentIndex, s > 0 ? std::uint64_t(s - 1) : VLM_INDEX_NONE);
        }
        EXPECT_EQ(limb.upperSegmentCount, 2);
        EXPECT_EQ(limb.tipMask[3], 0xFFFFFFFFu);
        EXPECT_EQ(limb.extremityIndex, (k + 2) % 4);
        EXPECT_EQ(limb.jointSlots[3], 6);
    }
    EXPECT_EQ(H(full).limbs[1].realisticKneeEntry, 189u);
    EXPECT_EQ(H(full).limbs[3].realisticKneeEntry, 0u);
    EXPECT_EQ(H(full).limbs[2].effectors[3], 18);
    EXPECT_EQ(H(full).limbs[0].properties[3], 195);
}

TEST(SkeletonBuild, ExtremityBlocksDigitWordsAndDigitEffectors)
{
    CharacterPtr full = Create(oracle::Full());
    ASSERT_TRUE(full);
    const std::uint32_t indexRoots[4] = {147, 153, 159, 165};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const VLMExtremity& x = H(full).extremities[k];
        EXPECT_EQ(x.endNode, std::uint64_t(oracle::kExtremities[k].end));
        EXPECT_EQ(x.baseNodeId, oracle::kExtremities[k].base);
        EXPECT_EQ(x.digitJoints[5][3], std::uint64_t(oracle::kExtremities[k].firstJoint + 23));
        EXPECT_EQ(x.digitEffectors[0], 20 + 6 * k);
        EXPECT_EQ(x.isFoot + 2 * x.isRight, std::uint32_t(k / 2 + 2 * (k & 1)));
        EXPECT_EQ(x.properties[8], k < 2 ? 166u : 170u);
        EXPECT_EQ(x.properties[12], 141u + 6 * k);
        // Six digits of four joints; five non-thumb digits hung under the index root.
        EXPECT_EQ(H(full).digitWords[k], 4u * 0x9249u | (5u << 18) | (indexRoots[k] << 24));
        for (int d = 0; d < 6; ++d)
            EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 20 + 6 * k + d), oracle::kExtremities[k].firstJoint + 4 * d + 2);
    }
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 0), 1);
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 10), 31);  // the chest: Spine9
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 18), 21);

    oracle::Presence p = oracle::Required();
    // Left hand: thumb 1-2, index 1, 2 and 4 (no 3), middle only a root, ring 2 only.
    for (int id : {50, 51, 54, 55, 57, 148, 63})
        p[id] = true;
    // Left foot: toe base; index and pinky joints 1..3.
    for (int id : {16, 102, 103, 104, 114, 115, 116})
        p[id] = true;
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    const VLMExtremity& hand = H(c).extremities[0];
    EXPECT_EQ(std::vector<int>(hand.lastJoint, hand.lastJoint + 6), (std::vector<int>{1, 1, -1, -1, -1, -1}));
    EXPECT_EQ(H(c).digitWords[0], 2u | (2u << 3) | (1u << 18) | (11u << 24));
    EXPECT_EQ(Parent(c, 57), -1);  // joint 4 after a gap is not linked
    EXPECT_EQ(Parent(c, 63), -1);  // ring joint 2 without joint 1
    EXPECT_EQ(Children(c.get(), 11), (std::vector<int>{50, 54, 148}));
    EXPECT_EQ(H(c).digitWords[2], (3u << 3) | (3u << 12) | (2u << 18) | (16u << 24));
    EXPECT_EQ(H(c).extremities[1].hasDigits, 0u);
    // Digit effectors: joint 1 for one or two joints, joint 3 for three or four, none without joint 1.
    const std::pair<int, int> effectors[] = {{20, 50},  {21, 54},  {22, -1}, {23, -1},
                                             {33, 104}, {36, 116}, {38, -1}, {10, 8}};
    for (const auto& [e, node] : effectors)
        EXPECT_EQ(VLMEffectorNodeIndex(c.get(), e), node) << e;
}

TEST(SkeletonBuild, ChainIndicesShoulderExtraAndHipsTranslation)
{
    // Spine2 without Spine1: no spine chain, the chest is Spine.
    oracle::Presence p = oracle::Required();
    p[24] = p[20] = true;
    CharacterPtr c = Create(p);
    EXPECT_EQ(H(c).chestIndex, -1);
    EXPECT_EQ(H(c).neckIndex, -1);
    // Neck with Neck1..3 (Neck5 after a gap).
    p = oracle::Required();
    p[20] = p[32] = p[33] = p[34] = p[36] = true;
    c = Create(p);
    EXPECT_EQ(H(c).neckIndex, 2);
    EXPECT_EQ(Parent(c, 15), 34);

    // A shoulder extra without its shoulder gets its own record: Reference
    // keeps record 0 and stays Hips' parent.
    p = oracle::Required();
    p[170] = true;
    c = Create(p);
    EXPECT_EQ(Parent(c, 1), 0);
    EXPECT_EQ(VLMCharacterCompactIndex(c.get(), 170), 16);
    EXPECT_EQ(VLMCharacterNodeRecords(c.get())[0].nodeId, 0u);
    EXPECT_EQ(VLMCharacterNodeRecords(c.get())[16].nodeId, 170u);
    EXPECT_EQ(VLMGetNodeDefinitionBits(c.get(), 0), 7);

    // HipsTranslation hangs under the root record only.
    p = oracle::Required();
    p[49] = true;
    c = Create(p);
    EXPECT_EQ(H(c).root.firstChildIndex, 1u);
    EXPECT_EQ(R(c, 0).childCount, 1u);
    EXPECT_EQ(Parent(c, 49), 0);
    EXPECT_EQ(VLMGetChildNodeCount(c.get(), 0), 1);
    EXPECT_EQ(VLMGetChildNodeId(c.get(), 0, 0), 1);
}
