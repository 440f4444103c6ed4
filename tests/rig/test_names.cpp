#include "vlm_names.h"

#include "rig_tree_oracle.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

namespace {

std::array<std::int32_t, VLM_NODE_COUNT> Numbered(const oracle::Presence& p)
{
    std::array<std::int32_t, VLM_NODE_COUNT> map;
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        map[id] = p[id] ? 0 : -1;
    VLMAssignCompactIndices(map.data());
    return map;
}

// Node ids in compact order.
std::vector<int> Order(const std::array<std::int32_t, VLM_NODE_COUNT>& map)
{
    std::vector<int> order;
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        if (map[id] >= 0) {
            if (order.size() <= std::size_t(map[id]))
                order.resize(map[id] + 1, -1);
            order[map[id]] = id;
        }
    return order;
}

void Append(std::vector<int>& v, int first, int last)
{
    for (int id = first; id <= last; ++id)
        v.push_back(id);
}

} // namespace

TEST(NodeNames, EveryNameMapsBackToItsIdAndTheTableMatchesTheLookup)
{
    EXPECT_EQ(VLMGetNodeCount(), 172);
    const char* const* table = VLMGetNodeNameTable();
    std::set<std::string> names;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        ASSERT_NE(table[id], nullptr);
        EXPECT_EQ(VLMGetNodeName(id), table[id]);
        EXPECT_EQ(VLMGetNodeIdFromName(table[id]), id) << table[id];
        names.insert(table[id]);
    }
    EXPECT_EQ(names.size(), 172u);
    // Row boundaries of the table; digits are digit-major.
    const std::pair<int, const char*> spots[] = {
        {0, "Reference"}, {22, "RightFingerBase"}, {31, "Spine9"}, {40, "Neck9"}, {48, "RightForeArmRoll"},
        {49, "HipsTranslation"}, {63, "LeftHandRing2"}, {97, "RightHandExtraFinger4"}, {141, "RightFootPinky4"},
        {146, "LeftInHandThumb"}, {169, "RightInFootExtraFinger"}, {171, "RightShoulderExtra"},
    };
    for (const auto& [id, name] : spots)
        EXPECT_STREQ(VLMGetNodeName(id), name);
}

TEST(NodeNames, LookupIsExactAndRefusesUnknownNamesAndIds)
{
    EXPECT_EQ(VLMGetNodeIdFromName("Hips"), 1);
    EXPECT_EQ(VLMGetNodeIdFromName("hips"), -1);
    EXPECT_EQ(VLMGetNodeIdFromName("Hips "), -1);
    EXPECT_EQ(VLMGetNodeIdFromName(" Hips"), -1);
    EXPECT_EQ(VLMGetNodeIdFromName("Hip"), -1);
    EXPECT_EQ(VLMGetNodeIdFromName(""), -1);
    EXPECT_EQ(VLMGetNodeIdFromName("Spine10"), -1);
    EXPECT_EQ(VLMGetNodeIdFromName(nullptr), -1);
    for (int id : {-1, 172, 1000, INT_MIN, INT_MAX})
        EXPECT_EQ(VLMGetNodeName(id), nullptr) << id;
}

TEST(EffectorNames, EveryNameMapsBackAndLookupIsExact)
{
    std::set<std::string> names;
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id) {
        const char* name = VLMGetEffectorName(id);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(VLMGetEffectorNameInternal(id), name);
        EXPECT_EQ(VLMGetEffectorIdFromName(name), id) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 44u);
    EXPECT_EQ(VLMGetEffectorIdFromName("HipsEffector"), 0);
    EXPECT_STREQ(VLMGetEffectorName(10), "ChestEndEffector");
    EXPECT_STREQ(VLMGetEffectorName(19), "RightHandEffector");
    EXPECT_STREQ(VLMGetEffectorName(25), "LeftHandExtraFingerEffector");
    EXPECT_STREQ(VLMGetEffectorName(43), "RightFootExtraFingerEffector");
    EXPECT_EQ(VLMGetEffectorIdFromName("hipseffector"), -1);
    EXPECT_EQ(VLMGetEffectorIdFromName("Hips"), -1);
    EXPECT_EQ(VLMGetEffectorIdFromName(""), -1);
    EXPECT_EQ(VLMGetEffectorIdFromName(nullptr), -1);
    EXPECT_EQ(VLMGetEffectorName(44), nullptr);
    EXPECT_EQ(VLMGetEffectorName(-1), nullptr);
}

TEST(Names, LookupsRestoreTheCallersControlWord)
{
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetNodeName(3); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetNodeName(-5); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetNodeIdFromName("Head"); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetNodeIdFromName("nothing"); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetEffectorName(7); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetEffectorIdFromName("HeadEffector"); }));
    EXPECT_TRUE(RestoresCallerWord([] { VLMGetEffectorIdFromName(nullptr); }));
}

TEST(RigTables, RollSegmentsNameTheirRollNodes)
{
    const VLMRollSegmentRow* rows = VLMRollSegmentTable();
    const int rollNodes[8] = {41, 42, 43, 44, 45, 46, 47, 48};
    for (int i = 0; i < 8; ++i) {
        // The segment's roll node is called after the segment ("LeftUpLeg" -> "LeftUpLegRoll").
        EXPECT_EQ(std::string(VLMGetNodeName(rows[i].node)) + "Roll", VLMGetNodeName(rollNodes[i]));
        EXPECT_EQ(rows[i].rollProperty, 67 + i);
        EXPECT_EQ(rows[i].rollExProperty, 204 + i);
    }
    const int children[8] = {3, 4, 6, 7, 10, 11, 13, 14};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rows[i].child, children[i]);
    EXPECT_EQ(VLMRollSegmentTable(), rows);
}

TEST(RigTables, EffectorInfoPairsLeftWithRightAndNamesBodyNodes)
{
    const VLMEffectorInfoRow* info = VLMEffectorInfoTable();
    EXPECT_EQ(VLMEffectorInfoTable(), info);
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        const std::string name = VLMGetEffectorName(e);
        if (info[e].paired >= 0) {
            ASSERT_EQ(name.rfind("Left", 0), 0u) << name;
            EXPECT_EQ("Right" + name.substr(4), VLMGetEffectorName(info[e].paired));
            EXPECT_EQ(info[info[e].paired].paired, -1);
            EXPECT_EQ(info[info[e].paired].kind, info[e].kind == 0 ? 0 : info[e].kind + 1);
        } else if (name.rfind("Left", 0) == 0) {
            ADD_FAILURE() << name << " has no partner";
        }
        if (e >= 20) {
            EXPECT_EQ(info[e].kind, 3 + (e - 20) / 6);
            EXPECT_EQ(info[e].index, (e - 20) % 6);
        }
    }
    EXPECT_EQ(info[0].kind, 1);
    EXPECT_EQ(info[0].index, 1);
    EXPECT_EQ(info[10].kind, 2);
    EXPECT_EQ(info[10].index, 8);
    // Body effectors sit on the node their name says.
    const std::pair<int, int> bodies[] = {{1, 4}, {2, 7}, {3, 11}, {4, 14}, {5, 3}, {6, 6}, {7, 10}, {8, 13},
                                          {9, 8}, {11, 16}, {12, 17}, {13, 9}, {14, 12}, {15, 15}, {16, 2},
                                          {17, 5}, {18, 21}, {19, 22}};
    for (const auto& [e, node] : bodies) {
        EXPECT_EQ(info[e].kind, 0) << e;
        EXPECT_EQ(info[e].index, node) << e;
    }
}

TEST(CompactIndices, SixteenBodyNodesNumberInTheRigOrder)
{
    const auto map = Numbered(oracle::Required());
    const std::vector<int> expected = {0, 1, 2, 5, 8, 3, 4, 6, 7, 9, 12, 15, 10, 11, 13, 14};
    EXPECT_EQ(Order(map), expected);
}

TEST(CompactIndices, FullRigOrder)
{
    std::vector<int> expected = {0, 1, 49, 2, 5, 8, 41, 3, 42, 4, 16};
    Append(expected, 158, 163);
    Append(expected, 98, 121);
    for (int id : {43, 6, 44, 7, 17})
        expected.push_back(id);
    Append(expected, 164, 169);
    Append(expected, 122, 145);
    Append(expected, 23, 31);
    for (int id : {18, 19, 20, 170, 9, 45, 10, 46, 11, 21})
        expected.push_back(id);
    Append(expected, 146, 151);
    Append(expected, 50, 73);
    for (int id : {171, 12, 47, 13, 48, 14, 22})
        expected.push_back(id);
    Append(expected, 152, 157);
    Append(expected, 74, 97);
    Append(expected, 32, 40);
    expected.push_back(15);
    ASSERT_EQ(expected.size(), 172u);
    EXPECT_EQ(Order(Numbered(oracle::Full())), expected);
}

TEST(CompactIndices, DigitsHangFromTheirHandOnConsecutiveIndices)
{
    // No roots: the first pass numbers each digit's joint 1, the second the rest.
    oracle::Presence p = oracle::Required();
    for (int j = 0; j < 4; ++j) {
        p[50 + j] = true;       // thumb
        p[50 + 8 + j] = true;   // middle
    }
    p[50 + 4] = true;           // index, one joint
    p[146 + 2] = true;          // root of the middle finger
    const auto order = Order(Numbered(p));
    const auto at = std::find(order.begin(), order.end(), 11);
    ASSERT_NE(at, order.end());
    const std::vector<int> hand(at, at + 12);
    EXPECT_EQ(hand, (std::vector<int>{11, 50, 54, 148, 51, 52, 53, 58, 59, 60, 61, 13}));
}

TEST(CompactIndices, NeckChainWithoutNeckGoesLastAndHeadTakesTheNeckSlot)
{
    oracle::Presence p = oracle::Required();
    p[32] = p[33] = true;  // Neck1, Neck2 without Neck
    const auto map = Numbered(p);
    const auto order = Order(map);
    ASSERT_EQ(order.size(), 18u);
    EXPECT_EQ(order[11], 15) << "Head follows the two arms among the chest's children";
    EXPECT_EQ(order[16], 32);
    EXPECT_EQ(order[17], 33);
}

TEST(CompactIndices, DigitWithoutItsFirstJointGoesLast)
{
    oracle::Presence p = oracle::Required();
    p[21] = true;                        // LeftFingerBase
    for (int d = 0; d < 6; ++d)
        p[50 + 4 * d] = d != 2;          // joint 1 of every digit but the middle finger
    p[50 + 8 + 1] = p[50 + 8 + 2] = true;  // middle finger joints 2 and 3 only
    const auto map = Numbered(p);
    const int n = 16 + 1 + 5 + 2;
    EXPECT_EQ(map[59], n - 2);
    EXPECT_EQ(map[60], n - 1);
    // The other fingers stay together under the finger base.
    EXPECT_EQ(map[54], map[21] + 2);     // after the thumb (under the hand)
    EXPECT_EQ(map[62], map[54] + 1);
    EXPECT_EQ(map[66], map[62] + 1);
    EXPECT_EQ(map[70], map[66] + 1);
}

TEST(CompactIndices, ShoulderExtraWithoutItsShoulderGetsItsOwnIndex)
{
    oracle::Presence p = oracle::Required();
    p[170] = true;
    p[19] = p[171] = true;  // the right side is whole
    const auto map = Numbered(p);
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[170], 18);  // the last index, after everything else
    EXPECT_GT(map[171], map[19]);
}

