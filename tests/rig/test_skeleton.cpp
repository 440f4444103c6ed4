#include "vlm_character.h"
#include "vlm_frame.h"
#include "vlm_names.h"
#include "vlm_node_record.h"

#include "rig_tree_oracle.h"
#include "test_alloc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace {

struct CharacterDeleter {
    void operator()(VLMCharacter* c) const { VLMDestroyCharacter(c, &TestAllocator::release); }
};
using CharacterPtr = std::unique_ptr<VLMCharacter, CharacterDeleter>;

CharacterPtr Create(const oracle::Presence& p, std::uint32_t word = 7)
{
    const VLMCharacterDefinition def = oracle::Definition(p, word);
    return CharacterPtr(VLMCreateCharacter(&def, &TestAllocator::allocate));
}

const VLMCharacterHeader& H(const CharacterPtr& c) { return *VLMCharacterHeaderOf(c.get()); }
const VLMNodeRecord& R(const CharacterPtr& c, int id) { return *VLMCharacterNodeRecord(c.get(), id); }

std::vector<int> Children(const VLMCharacter* c, int id)
{
    std::vector<int> out;
    for (int i = 0; i < VLMGetChildNodeCount(c, id); ++i)
        out.push_back(VLMGetChildNodeId(c, id, i));
    std::sort(out.begin(), out.end());
    return out;
}

// Tree invariants of a built character, checked against the oracle.
void ExpectTree(const oracle::Presence& p)
{
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    const VLMCharacter* ch = c.get();
    const VLMNodeRecord* records = VLMCharacterNodeRecords(ch);
    const std::uint32_t n = H(c).nodeCount;

    std::set<std::int32_t> indices;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const std::int32_t k = VLMCharacterCompactIndex(ch, id);
        ASSERT_EQ(k >= 0, p[id]) << id;
        if (k < 0)
            continue;
        ASSERT_LT(std::uint32_t(k), n);
        ASSERT_TRUE(indices.insert(k).second) << "two nodes share index " << k;
        const VLMNodeRecord& r = records[k];
        EXPECT_EQ(r.nodeId, std::uint32_t(id));
        EXPECT_EQ(r.ownIndex, std::uint64_t(k));
        EXPECT_NE(VLMCharacterTPoseEntry(ch, id)->presence, 0u);

        // Parent as the rules say; the parent comes first.
        const int expected = oracle::ExpectedParent(p, id);
        if (id != 0) {
            EXPECT_EQ(VLMGetParentNodeId(ch, id), expected == oracle::kRoot ? 0 : expected) << "parent of " << id;
        }
        if (expected >= 0) {
            EXPECT_LT(VLMCharacterCompactIndex(ch, expected), k);
        }

        // Children: a contiguous run of records, each naming this node as parent.
        if (id == 0)
            continue;
        for (std::uint32_t i = 0; i < r.childCount; ++i) {
            const VLMNodeRecord* child = VLMNodeRecordChild(records, &r, i);
            EXPECT_EQ(child->parentIndex, r.ownIndex);
            EXPECT_EQ(VLMGetParentNodeId(ch, int(child->nodeId)), id);
            EXPECT_EQ(VLMGetChildNodeId(ch, id, int(i)), int(child->nodeId));
        }
        std::vector<int> expectedChildren;
        for (int other = 0; other < VLM_NODE_COUNT; ++other)
            if (oracle::ExpectedParent(p, other) == id)
                expectedChildren.push_back(other);
        EXPECT_EQ(Children(ch, id), expectedChildren) << "children of " << id;
    }

    // Walking down from the root reaches exactly the nodes whose chain is whole.
    std::vector<int> stack = {0};
    std::set<int> reached;
    while (!stack.empty()) {
        const int id = stack.back();
        stack.pop_back();
        if (!p[id])
            continue;  // node 0's one child is Hips, whether or not the character has it
        ASSERT_TRUE(reached.insert(id).second) << "node " << id << " reached twice";
        for (int child : Children(ch, id))
            stack.push_back(child);
    }
    const VLMNodeRecord& root = H(c).root;
    if (p[49]) {
        reached.insert(49);
        EXPECT_EQ(root.childCount, p[1] ? 2u : 1u);
    }
    // ... and those come first: a broken chain is numbered after the whole tree.
    std::int32_t lastReached = -1, firstBroken = VLM_NODE_COUNT;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        EXPECT_EQ(reached.count(id) == 1, oracle::Reachable(p, id)) << id;
        if (reached.count(id))
            lastReached = std::max(lastReached, VLMCharacterCompactIndex(ch, id));
        else if (p[id])
            firstBroken = std::min(firstBroken, VLMCharacterCompactIndex(ch, id));
    }
    EXPECT_LT(lastReached, firstBroken);

    // Nothing aliases Reference.
    EXPECT_EQ(VLMCharacterCompactIndex(ch, 0), 0);
    EXPECT_EQ(records[0].nodeId, 0u);
    EXPECT_EQ(root.ownIndex, 0u);
    EXPECT_EQ(root.nodeId, 0u);
    EXPECT_EQ(records[0].childCount, p[1] ? 1u : 0u);
    if (p[1]) {
        EXPECT_EQ(VLMGetParentNodeId(ch, 1), 0);
    }

    // Mirror partners, left to right only.
    const std::pair<int, int> pairs[] = {{2, 5}, {41, 43}, {3, 6}, {42, 44}, {4, 7}, {16, 17}, {21, 22},
                                         {18, 19}, {170, 171}, {9, 12}, {45, 47}, {10, 13}, {46, 48}, {11, 14}};
    auto expectMirror = [&](int left, int right) {
        if (!p[left])
            return;
        EXPECT_EQ(R(c, left).mirrorPartner, p[right] ? std::uint32_t(VLMCharacterCompactIndex(ch, right))
                                                     : VLM_INDEX32_NONE)
            << left;
        if (p[right]) {
            EXPECT_EQ(R(c, right).mirrorPartner, VLM_INDEX32_NONE) << right;
            EXPECT_EQ(records[R(c, left).mirrorPartner].nodeId, std::uint32_t(right));
        }
    };
    for (const auto& [left, right] : pairs)
        expectMirror(left, right);
    for (int i = 0; i < 24; ++i) {
        expectMirror(50 + i, 74 + i);
        expectMirror(98 + i, 122 + i);
    }
    for (int i = 0; i < 6; ++i) {
        expectMirror(146 + i, 152 + i);
        expectMirror(158 + i, 164 + i);
    }
}

} // namespace

TEST(SkeletonTree, RandomDefinitionsWithoutHoles)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        ExpectTree(oracle::WithoutHoles(oracle::RandomPresence(rng, 0.3 + 0.7 * (round % 6) / 5.0)));
        if (HasFailure())
            return;
    }
}

TEST(SkeletonTree, RandomDefinitionsWithHoles)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        ExpectTree(oracle::RandomPresence(rng, 0.15 + 0.8 * (round % 6) / 5.0));
        if (HasFailure())
            return;
    }
}

TEST(SkeletonTree, FullAndRequiredDefinitions)
{
    ExpectTree(oracle::Full());
    ExpectTree(oracle::Required());
    // Without Hips nothing but HipsTranslation hangs under the root.
    oracle::Presence p = oracle::Full();
    p[1] = false;
    ExpectTree(p);
}

TEST(SkeletonBuild, RequiredNodesOnly)
{
    CharacterPtr c = Create(oracle::Required());
    ASSERT_TRUE(c);
    const VLMCharacterHeader& h = H(c);
    EXPECT_EQ(h.chestIndex, -1);
    EXPECT_EQ(h.neckIndex, -1);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 15), 8);
    EXPECT_EQ(Children(c.get(), 8), (std::vector<int>{9, 12, 15}));
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        EXPECT_EQ(VLMCharacterNodeRecord(c.get(), id)->rollFlag, 0u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(h.digitWords[k], 0u);
        EXPECT_EQ(h.extremities[k].hasDigits, 0u);
        for (int d = 0; d < 6; ++d)
            EXPECT_EQ(h.extremities[k].lastJoint[d], -1);
        const VLMLimb& limb = h.limbs[k];
        EXPECT_EQ(limb.slotIndex[VLM_SLOT_UPPER_ROLL], -1);
        EXPECT_EQ(limb.slotIndex[VLM_SLOT_MIDDLE_ROLL], -1);
        EXPECT_EQ(limb.slotIndex[VLM_SLOT_TIP], -1);
        EXPECT_EQ(limb.rollSlots[0], -1);
        EXPECT_EQ(limb.rollSlots[1], -1);
        EXPECT_EQ(limb.upperSegmentCount, 1);
        EXPECT_EQ(limb.tipMask[0], 0u);
        EXPECT_EQ(limb.tipMask[3], 0u);
    }
    // Presence words: every real entry, never the spare.
    const VLMTPoseEntry* entries = VLMCharacterTPoseEntries(c.get());
    for (int k = -1; k < 16; ++k)
        EXPECT_EQ(entries[k].presence, k < 0 ? 0u : 0xFFFFFFFFu) << k;
}

TEST(SkeletonBuild, RollNodesSpliceIntoTheirSegments)
{
    oracle::Presence p = oracle::Required();
    p[41] = true;  // LeftUpLegRoll
    p[46] = true;  // LeftForeArmRoll
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    EXPECT_EQ(R(c, 2).rollFlag, 1u);
    EXPECT_EQ(R(c, 3).rollFlag, 0u);
    EXPECT_EQ(R(c, 10).rollFlag, 1u);
    EXPECT_EQ(R(c, 9).rollFlag, 0u);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 41), 2);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 3), 41);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 11), 46);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 46), 10);

    const VLMLimb& leg = H(c).limbs[0];
    EXPECT_EQ(leg.upperSegmentCount, 2);
    EXPECT_EQ(leg.rollSlots[0], 2);
    EXPECT_EQ(leg.rollSlots[1], -1);
    // The limb's own tree: 0 -> 1 -> 2 -> 3 -> 5 (no middle roll, no tip).
    EXPECT_EQ(leg.slotRecords[1].parentIndex, 0u);
    EXPECT_EQ(leg.slotRecords[2].parentIndex, 1u);
    EXPECT_EQ(leg.slotRecords[3].parentIndex, 2u);
    EXPECT_EQ(leg.slotRecords[4].parentIndex, VLM_INDEX_NONE);
    EXPECT_EQ(leg.slotRecords[5].parentIndex, 3u);
    EXPECT_EQ(leg.slotRecords[6].parentIndex, VLM_INDEX_NONE);
    EXPECT_EQ(leg.slotRecords[3].childCount, 1u);
    EXPECT_EQ(leg.slotRecords[3].firstChildIndex, 5u);
    const VLMLimb& arm = H(c).limbs[2];
    EXPECT_EQ(arm.upperSegmentCount, 1);
    EXPECT_EQ(arm.rollSlots[0], -1);
    EXPECT_EQ(arm.rollSlots[1], 4);
    EXPECT_EQ(arm.slotRecords[5].parentIndex, 4u);
}

TEST(SkeletonBuild, LimbBlocksOfTheFullRig)
{
    CharacterPtr c = Create(oracle::Full());
    ASSERT_TRUE(c);
    const VLMCharacterHeader& h = H(c);
    // Slot 0 is the upper joint's parent: Hips for the legs, the shoulder extra for the arms.
    const int slots[4][7] = {{1, 2, 41, 3, 42, 4, 16}, {1, 5, 43, 6, 44, 7, 17},
                             {170, 9, 45, 10, 46, 11, 21}, {171, 12, 47, 13, 48, 14, 22}};
    const int extremity[4] = {2, 3, 0, 1};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const VLMLimb& limb = h.limbs[k];
        for (int s = 0; s < 7; ++s) {
            EXPECT_EQ(limb.slotRecords[s].nodeId, std::uint32_t(slots[k][s]));
            EXPECT_EQ(limb.slotIndex[s], VLMCharacterCompactIndex(c.get(), slots[k][s]));
            EXPECT_EQ(limb.slotRecords[s].parentIndex, s > 0 ? std::uint64_t(s - 1) : VLM_INDEX_NONE);
        }
        EXPECT_EQ(limb.rollSlots[0], 2);
        EXPECT_EQ(limb.rollSlots[1], 4);
        EXPECT_EQ(limb.upperSegmentCount, 2);
        EXPECT_EQ(limb.tipMask[3], 0xFFFFFFFFu);
        EXPECT_EQ(limb.extremityIndex, extremity[k]);
        EXPECT_EQ(limb.jointSlots[3], 6);
        EXPECT_EQ(limb.axis.w, 1.0f);
    }
    EXPECT_EQ(h.limbs[1].realisticKneeEntry, 189u);
    EXPECT_EQ(h.limbs[3].realisticKneeEntry, 0u);
    EXPECT_EQ(h.limbs[2].effectors[3], 18);
    EXPECT_EQ(h.limbs[0].properties[3], 195);
    EXPECT_EQ(h.chestIndex, 8);
    EXPECT_EQ(h.neckIndex, 8);
    // Without shoulders the arms hang under the chest, and slot 0 says so.
    oracle::Presence p = oracle::Required();
    p[23] = p[24] = true;
    CharacterPtr plain = Create(p);
    EXPECT_EQ(H(plain).limbs[2].slotRecords[0].nodeId, 24u);
    EXPECT_EQ(H(plain).limbs[2].slotIndex[0], VLMCharacterCompactIndex(plain.get(), 24));
    EXPECT_EQ(H(plain).chestIndex, 1);
}

TEST(SkeletonBuild, ExtremityBlocks)
{
    CharacterPtr c = Create(oracle::Full());
    ASSERT_TRUE(c);
    const VLMCharacterHeader& h = H(c);
    const int ends[4] = {11, 14, 4, 7}, bases[4] = {21, 22, 16, 17}, firsts[4] = {50, 74, 98, 122};
    const std::uint32_t indexRoots[4] = {147, 153, 159, 165};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const VLMExtremity& x = h.extremities[k];
        EXPECT_EQ(x.endNode, std::uint64_t(ends[k]));
        EXPECT_EQ(x.baseNodeId, bases[k]);
        EXPECT_EQ(x.digitJoints[5][3], std::uint64_t(firsts[k] + 23));
        EXPECT_EQ(x.lastJoint[5], 3);
        EXPECT_EQ(x.digitEffectors[0], 20 + 6 * k);
        EXPECT_EQ(x.isFoot + 2 * x.isRight, std::uint32_t(k / 2 + 2 * (k & 1)));
        EXPECT_EQ(x.extremityIndex, std::uint32_t(k));
        EXPECT_EQ(x.hasDigits, 1u);
        EXPECT_EQ(x.properties[8], k < 2 ? 166u : 170u);
        EXPECT_EQ(x.properties[12], 141u + 6 * k);
        // Six digits of four joints, five non-thumb digits hung under the index finger's root.
        const std::uint32_t counts = 4u * (1 + 8 + 64 + 512 + 4096 + 32768);
        EXPECT_EQ(h.digitWords[k], counts | (5u << 18) | (indexRoots[k] << 24));
    }
}

TEST(SkeletonBuild, DigitWordsAndRuns)
{
    oracle::Presence p = oracle::Required();
    // Left hand: thumb 1-2, index 1, 2, 4 (no 3), middle only a root, ring 2 only.
    p[50] = p[51] = true;
    p[54] = p[55] = p[57] = true;
    p[148] = true;
    p[63] = true;
    // Left foot: toe base; index and pinky with joint 1..3.
    p[16] = true;
    p[102] = p[103] = p[104] = true;
    p[114] = p[115] = p[116] = true;
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    const VLMCharacterHeader& h = H(c);

    const VLMExtremity& hand = h.extremities[0];
    EXPECT_EQ(hand.lastJoint[0], 1);
    EXPECT_EQ(hand.lastJoint[1], 1);
    EXPECT_EQ(hand.lastJoint[2], -1);
    EXPECT_EQ(hand.lastJoint[3], -1);
    EXPECT_EQ(hand.hasDigits, 1u);
    EXPECT_EQ(h.digitWords[0], 2u | (2u << 3) | (1u << 18) | (11u << 24));
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 57), -1);  // joint 4 after a gap is not linked
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 63), -1);  // ring joint 2 without joint 1
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 148), 11); // the root is linked, its digit counts 0
    EXPECT_EQ(Children(c.get(), 11), (std::vector<int>{50, 54, 148}));

    const VLMExtremity& foot = h.extremities[2];
    EXPECT_EQ(h.digitWords[2], (3u << 3) | (3u << 12) | (2u << 18) | (16u << 24));
    EXPECT_EQ(foot.lastJoint[1], 2);
    EXPECT_EQ(foot.lastJoint[4], 2);
    EXPECT_EQ(h.extremities[1].hasDigits, 0u);
    EXPECT_EQ(h.digitWords[1], 0u);

    // Effectors of digits: joint 1 for one or two joints, joint 3 for three or four.
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 20), 50);   // thumb, 2 joints
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 21), 54);   // index, 2 joints in its run
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 22), -1);   // middle: root only
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 23), -1);   // ring: no joint 1
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 33), 104);  // left foot index, 3 joints
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 36), 116);
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 38), -1);
}

TEST(SkeletonBuild, EffectorNodes)
{
    CharacterPtr full = Create(oracle::Full());
    ASSERT_TRUE(full);
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 0), 1);
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 10), 31);  // Spine9
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 9), 8);
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 3), 11);
    EXPECT_EQ(VLMEffectorNodeIndex(full.get(), 18), 21);
    for (int e = 20; e < 44; ++e) {
        const int k = (e - 20) / 6, d = (e - 20) % 6;
        EXPECT_EQ(VLMEffectorNodeIndex(full.get(), e), 50 + 24 * k + 4 * d + 2) << e;
    }
    CharacterPtr required = Create(oracle::Required());
    EXPECT_EQ(VLMEffectorNodeIndex(required.get(), 10), 8);
    for (int e = 20; e < 44; ++e)
        EXPECT_EQ(VLMEffectorNodeIndex(required.get(), e), -1);
}

TEST(SkeletonBuild, BrokenSpineAndNeckChains)
{
    // Spine2 without Spine1: no spine chain at all, chest = Spine.
    oracle::Presence p = oracle::Required();
    p[24] = p[25] = true;
    p[20] = true;
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    EXPECT_EQ(H(c).chestIndex, -1);
    EXPECT_EQ(VLMEffectorNodeIndex(c.get(), 10), 8);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 24), -1);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 25), -1);
    EXPECT_EQ(Children(c.get(), 8), (std::vector<int>{9, 12, 20}));
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 15), 20);

    // Neck1 without Neck: no neck chain, Head under the chest, next to the arms.
    p = oracle::Required();
    p[32] = p[33] = true;
    c = Create(p);
    ASSERT_TRUE(c);
    EXPECT_EQ(H(c).neckIndex, -1);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 32), -1);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 15), 8);
    EXPECT_EQ(Children(c.get(), 8), (std::vector<int>{9, 12, 15}));

    // Neck with Neck1..3: Head closes the chain.
    p = oracle::Required();
    p[20] = p[32] = p[33] = p[34] = p[36] = true;
    c = Create(p);
    EXPECT_EQ(H(c).neckIndex, 2);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 15), 34);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 36), -1);
}

TEST(SkeletonBuild, ShoulderExtraWithoutItsShoulderLeavesReferenceAlone)
{
    oracle::Presence p = oracle::Required();
    p[170] = true;
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 1), 0);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 170), -1);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 9), 8);
    EXPECT_EQ(VLMCharacterNodeRecords(c.get())[0].nodeId, 0u);
    EXPECT_EQ(VLMCharacterCompactIndex(c.get(), 170), 16);
    EXPECT_EQ(VLMCharacterNodeRecords(c.get())[16].nodeId, 170u);
    EXPECT_EQ(VLMGetNodeDefinitionBits(c.get(), 0), 7);
    EXPECT_EQ(VLMGetNodeDefinitionBits(c.get(), 170), 7);

    // With its shoulder it sits between shoulder and arm.
    p[18] = true;
    c = Create(p);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 170), 18);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 9), 170);
    EXPECT_EQ(H(c).limbs[2].slotRecords[0].nodeId, 170u);
}

TEST(SkeletonBuild, HipsTranslationHangsUnderTheRootRecordOnly)
{
    oracle::Presence p = oracle::Required();
    p[49] = true;
    CharacterPtr c = Create(p);
    ASSERT_TRUE(c);
    EXPECT_EQ(H(c).root.childCount, 2u);
    EXPECT_EQ(H(c).root.firstChildIndex, 1u);
    EXPECT_EQ(R(c, 0).childCount, 1u);
    EXPECT_EQ(VLMGetParentNodeId(c.get(), 49), 0);
    EXPECT_EQ(VLMGetChildNodeCount(c.get(), 0), 1);
    EXPECT_EQ(VLMGetChildNodeId(c.get(), 0, 0), 1);
}
