#include "rig/vlm_names.h"

#include "rig_tree_oracle.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

namespace {

// Node ids in compact order, after numbering a presence set.
std::vector<int> Order(const oracle::Presence& p)
{
    std::int32_t map[VLM_NODE_COUNT];
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        map[id] = p[id] ? 0 : -1;
    VLMAssignCompactIndices(map);
    std::vector<int> order(VLM_NODE_COUNT, -1);
    int count = 0;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        EXPECT_EQ(map[id] >= 0, p[id]) << id;
        if (map[id] >= 0) {
            order.at(map[id]) = id;
            ++count;
        }
    }
    order.resize(count);
    return order;
}

// The numbering steps as written, read literally; valid for definitions
// without holes.
std::vector<int> StepOrder(const oracle::Presence& p)
{
    std::vector<int> order;
    std::vector<bool> done(VLM_NODE_COUNT);
    const auto take = [&](int id) {
        if (!p[id] || done[id])
            return false;
        done[id] = true;
        order.push_back(id);
        return true;
    };
    const auto digits = [&](int firstRoot, int firstJoint) {
        for (int d = 0; d < 6; ++d)
            for (int j = -1; j < 4; ++j)
                if (take(j < 0 ? firstRoot + d : firstJoint + 4 * d + j))
                    break;
        for (int i = 0; i < 24; ++i)
            take(firstJoint + i);
    };
    for (int id : {0, 1, 49, 2, 5, 8, 41, 3, 42, 4, 16})
        take(id);
    digits(158, 98);
    for (int id : {43, 6, 44, 7, 17})
        take(id);
    digits(164, 122);
    for (int id = 23; id <= 31; ++id)
        take(id);
    const bool leftShoulder = take(18);
    if (!leftShoulder)
        take(9);
    const bool rightShoulder = take(19);
    if (!rightShoulder)
        take(12);
    for (int id : {20, 32, 33, 34, 35, 36, 37, 38, 39, 40, 15})
        if (take(id))
            break;
    if (leftShoulder)
        take(170);
    for (int id : {9, 45, 10, 46, 11, 21})
        take(id);
    digits(146, 50);
    if (rightShoulder)
        take(171);
    for (int id : {12, 47, 13, 48, 14, 22})
        take(id);
    digits(152, 74);
    for (int id = 32; id <= 40; ++id)
        take(id);
    take(15);
    return order;
}

}  // namespace

TEST(Names, TablesLookupsBothWaysAndExactMatching)
{
    EXPECT_EQ(VLMGetNodeCount(), 172);
    const char* const* table = VLMGetNodeNameTable();
    std::set<std::string> names;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        EXPECT_EQ(VLMGetNodeName(id), table[id]);
        EXPECT_EQ(VLMGetNodeIdFromName(table[id]), id) << table[id];
        names.insert(table[id]);
    }
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id) {
        const char* name = VLMGetEffectorName(id);
        EXPECT_EQ(VLMGetEffectorNameInternal(id), name);
        EXPECT_EQ(VLMGetEffectorIdFromName(name), id) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 172u + 44u);
    const std::pair<int, const char*> spots[] = {
        {0, "Reference"},         {22, "RightFingerBase"},     {40, "Neck9"},
        {49, "HipsTranslation"},  {63, "LeftHandRing2"},       {97, "RightHandExtraFinger4"},
        {146, "LeftInHandThumb"}, {171, "RightShoulderExtra"},
    };
    for (const auto& [id, name] : spots)
        EXPECT_STREQ(VLMGetNodeName(id), name);
    EXPECT_STREQ(VLMGetEffectorName(10), "ChestEndEffector");
    EXPECT_STREQ(VLMGetEffectorName(43), "RightFootExtraFingerEffector");

    EXPECT_EQ(VLMGetNodeIdFromName("Hips"), 1);
    EXPECT_EQ(VLMGetEffectorIdFromName("HipsEffector"), 0);
    for (const char* bad :
         {"hips", "Hips ", " Hips", "Hip", "", "Spine10", "hipseffector", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(VLMGetNodeIdFromName(bad), -1);
        EXPECT_EQ(VLMGetEffectorIdFromName(bad), -1);
    }
    for (int id : {-1, 172, INT_MIN, INT_MAX})
        EXPECT_EQ(VLMGetNodeName(id), nullptr) << id;
    EXPECT_EQ(VLMGetEffectorName(44), nullptr);
    EXPECT_EQ(VLMGetEffectorName(-1), nullptr);

    EXPECT_TRUE(RestoresCallerWord([] { VLMGetNodeName(3); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetNodeIdFromName("nothing"); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetEffectorName(7); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetEffectorIdFromName("HeadEffector"); }));
}

TEST(RigTables, RollSegmentsAndEffectorInfo)
{
    const VLMRollSegmentRow* rows = VLMRollSegmentTable();
    const int children[8] = {3, 4, 6, 7, 10, 11, 13, 14};
    for (int i = 0; i < 8; ++i) {
        // The segment's roll node is named after the segment ("LeftUpLeg" -> "LeftUpLegRoll").
        EXPECT_EQ(std::string(VLMGetNodeName(rows[i].node)) + "Roll", VLMGetNodeName(41 + i));
        EXPECT_EQ(rows[i].rollProperty, 67 + i);
        EXPECT_EQ(rows[i].rollExProperty, 204 + i);
        EXPECT_EQ(rows[i].child, children[i]);
    }

    const VLMEffectorInfoRow* info = VLMEffectorInfoTable();
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        const std::string name = VLMGetEffectorName(e);
        const bool left = name.rfind("Left", 0) == 0;
        ASSERT_EQ(info[e].paired >= 0, left) << name;
        if (left) {
            EXPECT_EQ("Right" + name.substr(4), VLMGetEffectorName(info[e].paired));
            EXPECT_EQ(info[info[e].paired].kind, info[e].kind == 0 ? 0 : info[e].kind + 1);
        }
        if (e >= 20) {
            EXPECT_EQ(info[e].kind, 3 + (e - 20) / 6);
            EXPECT_EQ(info[e].index, (e - 20) % 6);
        }
    }
    EXPECT_EQ(info[0].kind, 1);
    EXPECT_EQ(info[10].kind, 2);
    // Body effectors sit on the node their name says.
    const int bodies[20] = {1, 4, 7, 11, 14, 3, 6, 10, 13, 8, 8, 16, 17, 9, 12, 15, 2, 5, 21, 22};
    for (int e = 0; e < 20; ++e) {
        EXPECT_EQ(info[e].index, bodies[e]) << e;
        if (e != 0 && e != 10) {
            EXPECT_EQ(info[e].kind, 0) << e;
        }
    }
}

TEST(CompactIndices, FollowTheStepsForDefinitionsWithoutHoles)
{
    EXPECT_EQ(Order(oracle::Required()), (std::vector<int>{0, 1, 2, 5, 8, 3, 4, 6, 7, 9, 12, 15, 10, 11, 13, 14}));
    const std::vector<int> full = Order(oracle::Full());
    EXPECT_EQ(full, StepOrder(oracle::Full()));
    EXPECT_EQ(std::vector<int>(full.begin(), full.begin() + 12),
              (std::vector<int>{0, 1, 49, 2, 5, 8, 41, 3, 42, 4, 16, 158}));
    EXPECT_EQ(full.back(), 15);

    std::mt19937 rng(5150);
    for (int round = 0; round < 400; ++round) {
        const oracle::Presence p = oracle::WithoutHoles(oracle::RandomPresence(rng, 0.2 + 0.8 * (round % 5) / 4.0));
        ASSERT_EQ(Order(p), StepOrder(p)) << "round " << round;
    }
    // A digit without its root: joint 1 in the first pass among the other
    // digits' first nodes, the rest in the second.
    oracle::Presence p = oracle::Required();
    for (int j = 0; j < 4; ++j)
        p[50 + j] = p[58 + j] = true;  // thumb, middle finger
    p[54] = p[148] = true;             // index joint 1, middle finger root
    const std::vector<int> order = Order(p);
    const auto hand = std::find(order.begin(), order.end(), 11);
    ASSERT_LE(hand + 12, order.end());
    EXPECT_EQ(std::vector<int>(hand, hand + 12), (std::vector<int>{11, 50, 54, 148, 51, 52, 53, 58, 59, 60, 61, 13}));
}

TEST(CompactIndices, UnlinkedNodesComeAfterEveryLinkedOne)
{
    // Neck1, Neck2 without Neck: Head takes the neck slot beside the arms.
    oracle::Presence p = oracle::Required();
    p[32] = p[33] = true;
    std::vector<int> order = Order(p);
    EXPECT_EQ(order[11], 15);
    EXPECT_EQ(std::vector<int>(order.end() - 2, order.end()), (std::vector<int>{32, 33}));

    // A finger with joints 2 and 3 only: numbered last, the other fingers
    // stay together under the finger base.
    p = oracle::Required();
    p[21] = true;
    for (int d = 0; d < 6; ++d)
        p[50 + 4 * d] = d != 2;
    p[59] = p[60] = true;
    order = Order(p);
    EXPECT_EQ(std::vector<int>(order.end() - 2, order.end()), (std::vector<int>{59, 60}));
    const auto base = std::find(order.begin(), order.end(), 21);
    ASSERT_LE(base + 6, order.end());
    EXPECT_EQ(std::vector<int>(base, base + 6), (std::vector<int>{21, 50, 54, 62, 66, 70}));

    // A shoulder extra without its shoulder: its own index, the last one.
    p = oracle::Required();
    p[170] = p[19] = p[171] = true;
    order = Order(p);
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(order.back(), 170);
    EXPECT_LT(std::find(order.begin(), order.end(), 19), std::find(order.begin(), order.end(), 171));
}
