#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_names.h"

#include "model/validators.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>

namespace {

using Positions = std::map<int, std::array<float, 3>>;

// A rig character with the given nodes used and their rest translations set;
// the validators read nothing else.
class PosedCharacter {
public:
    explicit PosedCharacter(const Positions& positions)
    {
        for (const auto& p : positions)
            words_.words[p.first] = 1;
        character_.reset(VLMCreateCharacter(&words_, [](std::uint64_t size) { return std::malloc(size); }));
        const float q[4] = {0, 0, 0, 1}, s[4] = {1, 1, 1, 1};
        for (const auto& p : positions) {
            const float t[4] = {p.second[0], p.second[1], p.second[2], 0};
            VLMSetNodeTPose(character_.get(), p.first, t, q, s);
        }
    }

    // Runs one validator; false when it does not apply.
    bool run(const CharacterizationValidator& validator, ValidationReport& report) const
    {
        report = ValidationReport();
        if (!validator.Applies(words_, character_.get()))
            return false;
        validator.Validate(words_, character_.get(), report);
        return true;
    }
    const VLMCharacterDefinition& words() const { return words_; }

private:
    VLMCharacterDefinition words_{};
    VLMCharacterHandle character_;
};

// The sample humanoid's rest positions of the nodes the geometry rules read.
Positions tPose()
{
    return {
        {VLM_NODE_HIPS, {0, 100, 0}},
        {VLM_NODE_LEFT_UP_LEG, {9, 94, 0}},
        {VLM_NODE_LEFT_LEG, {9, 52, 0}},
        {VLM_NODE_LEFT_FOOT, {9, 10, 0}},
        {VLM_NODE_RIGHT_UP_LEG, {-9, 94, 0}},
        {VLM_NODE_RIGHT_LEG, {-9, 52, 0}},
        {VLM_NODE_RIGHT_FOOT, {-9, 10, 0}},
        {VLM_NODE_SPINE, {0, 110, 0}},
        {VLM_NODE_LEFT_ARM, {15, 144, 0}},
        {VLM_NODE_LEFT_FORE_ARM, {43, 144, 0}},
        {VLM_NODE_LEFT_HAND, {69, 144, 0}},
        {VLM_NODE_RIGHT_ARM, {-15, 144, 0}},
        {VLM_NODE_RIGHT_FORE_ARM, {-43, 144, 0}},
        {VLM_NODE_RIGHT_HAND, {-69, 144, 0}},
        {VLM_NODE_HEAD, {0, 161, 0}},
    };
}

const HoleValidator* holeAt(const ValidatorList& list, std::size_t i)
{
    return dynamic_cast<const HoleValidator*>(list.at(i).get());
}

}  // namespace

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
    const char* const limbs[] = {"right hand", "left hand", "right foot", "left foot"};
    const int firsts[] = {74, 50, 122, 98};
    const char* const digits[] = {"thumb",       "index finger", "middle finger",
                                  "ring finger", "pinky finger", "extra finger"};
    for (int limb = 0; limb < 4; ++limb) {
        for (int digit = 0; digit < 6; ++digit) {
            const HoleValidator* hole = holeAt(list, std::size_t(4 + 6 * limb + digit));
            ASSERT_TRUE(hole);
            EXPECT_EQ(hole->ChainName(), std::string(limbs[limb]) + " " + digits[digit]);
            const int first = firsts[limb] + 4 * digit;
            EXPECT_EQ(hole->Chain(), (std::vector<int>{first, first + 1, first + 2, first + 3}));
        }
    }
    EXPECT_TRUE(dynamic_cast<const HipsXAxisValidator*>(list[28].get()));
    EXPECT_TRUE(dynamic_cast<const RightArmsXAxisValidator*>(list[29].get()));
    EXPECT_TRUE(dynamic_cast<const LeftArmsXAxisValidator*>(list[30].get()));
    EXPECT_TRUE(dynamic_cast<const SameGeometryValidator*>(list[31].get()));

    // With nothing assigned only the required-node rule applies.
    ValidationReport report;
    PosedCharacter empty({});
    EXPECT_FALSE(empty.run(*list[0], report));
    ASSERT_TRUE(empty.run(*list[1], report));
    EXPECT_EQ(report.status, 3);
    EXPECT_EQ(report.message, "Missing required bones.");
    EXPECT_TRUE(report.entries.empty());
}

TEST(Validators, EveryNodeAfterAGapInAChainIsAnError)
{
    const ValidatorList list = BuildValidators();
    ValidationReport report;
    PosedCharacter onlySecond({{51, {0, 0, 0}}});
    ASSERT_TRUE(onlySecond.run(*list[10], report));  // left hand thumb
    EXPECT_EQ(report.status, 3);
    EXPECT_EQ(report.message, "One or more nodes are missing in the left hand thumb");
    ASSERT_EQ(report.entries.size(), 1u);
    EXPECT_EQ(report.entries[0].node, 51);
    EXPECT_EQ(report.entries[0].status, 3);
    EXPECT_EQ(report.entries[0].text, "One or more nodes are missing in the left hand thumb. Node LeftHandThumb2 is "
                                      "set but not node LeftHandThumb1");
    EXPECT_FALSE(PosedCharacter({{74, {0, 0, 0}}}).run(*list[10], report));

    PosedCharacter spine({{23, {0, 1, 0}}, {25, {0, 2, 0}}, {26, {0, 3, 0}}, {28, {0, 4, 0}}});
    ASSERT_TRUE(spine.run(*list[2], report));
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].node, 25);
    EXPECT_EQ(report.entries[1].node, 28);
}

// Exact coincidences on the samples are covered with the whole pipeline; here
// the texts that need a synthetic pose.
TEST(Validators, CoincidingHipsAre180OffAndAlmostTogetherWarns)
{
    ValidationReport report;
    Positions pose = tPose();
    pose[VLM_NODE_RIGHT_UP_LEG] = pose[VLM_NODE_LEFT_UP_LEG];
    ASSERT_TRUE(PosedCharacter(pose).run(HipsXAxisValidator(), report));
    EXPECT_EQ(report.status, 2);
    EXPECT_EQ(report.message, "The hips don't seem to be facing the positive direction of the Z axis.");
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].node, VLM_NODE_LEFT_UP_LEG);
    EXPECT_EQ(report.entries[1].node, VLM_NODE_RIGHT_UP_LEG);
    EXPECT_EQ(report.entries[0].text,
              "The hips don't seem to be facing the positive direction of the Z axis. There is a difference of "
              "180.000000 degrees between them and the X axis. This difference should be less than 2.000000 degrees.");
    EXPECT_FALSE(PosedCharacter({{VLM_NODE_LEFT_ARM, {15, 144, 0}}}).run(LeftArmsXAxisValidator(), report));

    const SameGeometryValidator same;
    pose = tPose();
    pose[VLM_NODE_HIPS] = {0, 0.5f, 0};
    pose[VLM_NODE_SPINE] = {0, 0.5f + 0.0000005f, 0};
    ASSERT_TRUE(PosedCharacter(pose).run(same, report));
    EXPECT_EQ(report.status, 2);
    EXPECT_EQ(report.message, "Some nodes are almost at the same position.");
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[1].text, "Node Hips is almost at the same position as node Spine.");
    EXPECT_FALSE(PosedCharacter({{VLM_NODE_HIPS, {0, 0, 0}}}).run(same, report));
}

TEST(Validators, WithoutACharacterTheGeometryRulesDoNotApply)
{
    const PosedCharacter posed(tPose());
    NodeStatusList nodes;
    CharacterizationStatus overall;
    RunValidators(BuildValidators(), posed.words(), nullptr, posed.words(), nodes, overall);
    EXPECT_EQ(overall.state, 1);
    EXPECT_TRUE(overall.message.empty());
}
