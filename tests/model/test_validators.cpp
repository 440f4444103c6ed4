#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_names.h"

#include "model/validators.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// A rig character with the given nodes used and their rest translations set;
// the validators read nothing else.
class PosedCharacter {
public:
    explicit PosedCharacter(const std::map<int, std::array<float, 3>>& positions)
    {
        std::memset(&words_, 0, sizeof words_);
        for (const auto& p : positions)
            words_.words[p.first] = 1;
        character_ = VLMCreateCharacter(&words_, [](std::uint64_t size) { return std::malloc(size); });
        for (const auto& p : positions) {
            const float t[4] = {p.second[0], p.second[1], p.second[2], 0};
            const float q[4] = {0, 0, 0, 1};
            const float s[4] = {1, 1, 1, 1};
            VLMSetNodeTPose(character_, p.first, t, q, s);
        }
    }
    ~PosedCharacter() { VLMDestroyCharacter(character_, std::free); }
    PosedCharacter(const PosedCharacter&) = delete;
    PosedCharacter& operator=(const PosedCharacter&) = delete;

    const VLMCharacterDefinition& words() const { return words_; }
    VLMCharacter* character() const { return character_; }

    // Runs one validator; false when it does not apply.
    bool run(const CharacterizationValidator& validator, ValidationReport& report) const
    {
        report = ValidationReport();
        if (!validator.Applies(words_, character_))
            return false;
        validator.Validate(words_, character_, report);
        return true;
    }

private:
    VLMCharacterDefinition words_;
    VLMCharacter* character_ = nullptr;
};

// The rest positions of the sample humanoid for the nodes the geometry rules look at.
std::map<int, std::array<float, 3>> tPose()
{
    return {
        {VLM_NODE_HIPS, {0, 100, 0}},           {VLM_NODE_LEFT_UP_LEG, {9, 94, 0}},
        {VLM_NODE_LEFT_LEG, {9, 52, 0}},        {VLM_NODE_LEFT_FOOT, {9, 10, 0}},
        {VLM_NODE_RIGHT_UP_LEG, {-9, 94, 0}},   {VLM_NODE_RIGHT_LEG, {-9, 52, 0}},
        {VLM_NODE_RIGHT_FOOT, {-9, 10, 0}},     {VLM_NODE_SPINE, {0, 110, 0}},
        {VLM_NODE_LEFT_ARM, {15, 144, 0}},      {VLM_NODE_LEFT_FORE_ARM, {43, 144, 0}},
        {VLM_NODE_LEFT_HAND, {69, 144, 0}},     {VLM_NODE_RIGHT_ARM, {-15, 144, 0}},
        {VLM_NODE_RIGHT_FORE_ARM, {-43, 144, 0}}, {VLM_NODE_RIGHT_HAND, {-69, 144, 0}},
        {VLM_NODE_HEAD, {0, 161, 0}},
    };
}

const HoleValidator* holeAt(const ValidatorList& list, std::size_t i)
{
    return dynamic_cast<const HoleValidator*>(list.at(i).get());
}

} // namespace

TEST(Validators, TheListRunsInItsFixedOrder)
{
    const ValidatorList list = BuildValidators();
    ASSERT_EQ(list.size(), 32u);
    EXPECT_TRUE(dynamic_cast<const AtLeastOneBoneValidator*>(list[0].get()));
    EXPECT_TRUE(dynamic_cast<const RequiredBoneValidator*>(list[1].get()));
    EXPECT_EQ(holeAt(list, 2)->ChainName(), "spine");
    EXPECT_EQ(holeAt(list, 2)->Chain(), (std::vector<int>{23, 24, 25, 26, 27, 28, 29, 30, 31}));
    EXPECT_EQ(holeAt(list, 3)->ChainName(), "neck");
    EXPECT_EQ(holeAt(list, 3)->Chain(), (std::vector<int>{20, 32, 33, 34, 35, 36, 37, 38, 39, 40}));
    const struct {
        std::size_t index;
        const char* name;
        int first;
    } digits[] = {{4, "right hand thumb", 74},        {9, "right hand extra finger", 94},
                  {10, "left hand thumb", 50},        {13, "left hand ring finger", 62},
                  {16, "right foot thumb", 122},      {20, "right foot pinky finger", 138},
                  {22, "left foot thumb", 98},        {27, "left foot extra finger", 118}};
    for (const auto& d : digits) {
        ASSERT_TRUE(holeAt(list, d.index)) << d.index;
        EXPECT_EQ(holeAt(list, d.index)->ChainName(), d.name);
        EXPECT_EQ(holeAt(list, d.index)->Chain(), (std::vector<int>{d.first, d.first + 1, d.first + 2, d.first + 3}));
    }
    EXPECT_TRUE(dynamic_cast<const HipsXAxisValidator*>(list[28].get()));
    EXPECT_TRUE(dynamic_cast<const RightArmsXAxisValidator*>(list[29].get()));
    EXPECT_TRUE(dynamic_cast<const LeftArmsXAxisValidator*>(list[30].get()));
    EXPECT_TRUE(dynamic_cast<const SameGeometryValidator*>(list[31].get()));
}

TEST(Validators, AtLeastOneNeedsANodeAndRequiredAlwaysApplies)
{
    ValidationReport report;
    PosedCharacter empty({});
    EXPECT_FALSE(empty.run(AtLeastOneBoneValidator(), report));
    ASSERT_TRUE(empty.run(RequiredBoneValidator(), report));
    EXPECT_EQ(report.status, 3);
    EXPECT_EQ(report.message, "Missing required bones.");
    EXPECT_TRUE(report.entries.empty());
}

TEST(Validators, AChainMustBeALeadingRun)
{
    const ValidatorList list = BuildValidators();
    const CharacterizationValidator& leftThumb = *list[10];
    ValidationReport report;

    PosedCharacter onlySecond({{51, {0, 0, 0}}});
    ASSERT_TRUE(onlySecond.run(leftThumb, report));
    EXPECT_EQ(report.status, 3);
    EXPECT_EQ(report.message, "One or more nodes are missing in the left hand thumb");
    ASSERT_EQ(report.entries.size(), 1u);
    EXPECT_EQ(report.entries[0].node, 51);
    EXPECT_EQ(report.entries[0].status, 3);
    EXPECT_EQ(report.entries[0].text, "One or more nodes are missing in the left hand thumb. Node LeftHandThumb2 is "
                                      "set but not node LeftHandThumb1");

    PosedCharacter leading({{50, {0, 0, 0}}, {51, {1, 0, 0}}});
    ASSERT_TRUE(leading.run(leftThumb, report));
    EXPECT_EQ(report.status, 1);
    EXPECT_TRUE(report.message.empty());
    EXPECT_TRUE(report.entries.empty());

    PosedCharacter otherHand({{74, {0, 0, 0}}});
    EXPECT_FALSE(otherHand.run(leftThumb, report));

    // Two holes in one chain: each node after a gap is reported.
    PosedCharacter spine({{23, {0, 1, 0}}, {25, {0, 2, 0}}, {26, {0, 3, 0}}, {28, {0, 4, 0}}});
    ASSERT_TRUE(spine.run(*list[2], report));
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].node, 25);
    EXPECT_EQ(report.entries[1].node, 28);
}

TEST(Validators, AxisChecksAgainstTheirReferenceDirection)
{
    ValidationReport report;
    // The right arm is measured against -X: a hand on the +X side is 180 degrees off.
    auto pose = tPose();
    pose[VLM_NODE_RIGHT_HAND] = {69, 144, 0};
    PosedCharacter crossed(pose);
    ASSERT_TRUE(crossed.run(RightArmsXAxisValidator(), report));
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].node, VLM_NODE_RIGHT_HAND);
    EXPECT_NE(report.entries[0].text.find("difference of 180.000000 degrees between it"), std::string::npos);

    // Hips at one point: the direction is undefined and counts as 180 degrees.
    pose = tPose();
    pose[VLM_NODE_RIGHT_UP_LEG] = pose[VLM_NODE_LEFT_UP_LEG];
    PosedCharacter together(pose);
    ASSERT_TRUE(together.run(HipsXAxisValidator(), report));
    EXPECT_EQ(report.message, "The hips don't seem to be facing the positive direction of the Z axis.");
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].node, VLM_NODE_LEFT_UP_LEG);
    EXPECT_EQ(report.entries[1].node, VLM_NODE_RIGHT_UP_LEG);
    EXPECT_EQ(report.entries[0].text,
              "The hips don't seem to be facing the positive direction of the Z axis. There is a difference of "
              "180.000000 degrees between them and the X axis. This difference should be less than 2.000000 degrees.");

    PosedCharacter noHand({{VLM_NODE_LEFT_ARM, {15, 144, 0}}});
    EXPECT_FALSE(noHand.run(LeftArmsXAxisValidator(), report));
}

TEST(Validators, AlmostTogetherAndRollNodes)
{
    ValidationReport report;
    const SameGeometryValidator same;
    // Within 1e-6 on every axis: the "almost" warning.
    auto pose = tPose();
    pose[VLM_NODE_HIPS] = {0, 0.5f, 0};
    pose[VLM_NODE_SPINE] = {0, 0.5f + 0.0000005f, 0};
    PosedCharacter near(pose);
    ASSERT_TRUE(near.run(same, report));
    EXPECT_EQ(report.status, 2);
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].text, "Node Hips is almost at the same position as node Spine.");

    // Roll nodes are never compared.
    pose = tPose();
    pose[VLM_NODE_LEFT_UP_LEG_ROLL] = pose[VLM_NODE_LEFT_UP_LEG];
    pose[VLM_NODE_LEFT_ARM_ROLL] = pose[VLM_NODE_LEFT_ARM];
    PosedCharacter rolls(pose);
    ASSERT_TRUE(rolls.run(same, report));
    EXPECT_EQ(report.status, 1);

    PosedCharacter single({{VLM_NODE_HIPS, {0, 0, 0}}});
    EXPECT_FALSE(single.run(same, report));
}

TEST(Validators, WithoutACharacterTheGeometryRulesDoNotApply)
{
    PosedCharacter posed(tPose());
    NodeStatusList nodes;
    CharacterizationStatus overall;
    RunValidators(BuildValidators(), posed.words(), nullptr, posed.words(), nodes, overall);
    EXPECT_EQ(overall.state, 1);
    EXPECT_TRUE(overall.message.empty());
}
