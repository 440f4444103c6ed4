#include "model/validation.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const CharacterizationStatus& s, std::ostream* os)
{
    *os << "{" << s.state << ", \"" << s.message << "\"}";
}

namespace {

using Status = CharacterizationStatus;

// A validator whose answer the test scripts.
class ScriptedValidator : public CharacterizationValidator {
public:
    ScriptedValidator(bool applies, ValidationReport report) : applies_(applies), report_(std::move(report)) { }
    bool Applies(const VLMCharacterDefinition&, VLMCharacter*) const override { return applies_; }
    void Validate(const VLMCharacterDefinition&, VLMCharacter*, ValidationReport& report) const override
    {
        ++runs;
        report = report_;
    }
    mutable int runs = 0;

private:
    bool applies_;
    ValidationReport report_;
};

std::shared_ptr<ScriptedValidator> scripted(int status, const char* message,
                                            std::vector<ValidationMessage> entries = {}, bool applies = true)
{
    return std::make_shared<ScriptedValidator>(applies, ValidationReport{status, message, std::move(entries)});
}

// Rig nodes 1 to 15 and the given ones used.
VLMCharacterDefinition required(std::initializer_list<int> extra = {}, int dropped = -1)
{
    VLMCharacterDefinition words{};
    for (int n = 1; n <= 15; ++n)
        words.words[n] = 1;
    for (int n : extra)
        words.words[n] = 1;
    if (dropped >= 0)
        words.words[dropped] = 0;
    return words;
}

// Runs over stale states, so that every state the run leaves is its own.
struct Outcome {
    NodeStatusList nodes;
    Status overall{7, "stale"};

    Outcome(const ValidatorList& validators, const VLMCharacterDefinition& flags)
    {
        nodes.fill(Status(3, "stale"));
        RunValidators(validators, flags, nullptr, flags, nodes, overall);
    }
};

}  // namespace

TEST(Validation, WithoutAnyReportTheCharacterizationMissesRequiredBones)
{
    const VLMCharacterDefinition flags = required({50}, 15);
    const auto skipped = scripted(1, "", {}, false);
    const Outcome run({skipped}, flags);
    EXPECT_EQ(skipped->runs, 0);
    EXPECT_EQ(run.overall, Status(3, "Missing required bones."));
    for (int n = 0; n < VLM_NODE_COUNT; ++n)
        EXPECT_EQ(run.nodes[n], Status(flags.words[n] ? 1 : 0, "")) << n;
}

TEST(Validation, ValidReportsGiveValidUnlessARequiredNodeIsUnassigned)
{
    const ValidatorList valid = {scripted(1, ""), scripted(1, "ignored when valid", {{9, 3, "ignored"}})};
    const Outcome complete(valid, required());
    EXPECT_EQ(complete.overall, Status(1, ""));
    EXPECT_EQ(complete.nodes[9], Status(1, ""));
    EXPECT_EQ(complete.nodes[16], Status(0, ""));
    EXPECT_EQ(Outcome(valid, required({}, 15)).overall, Status(3, ""));
    // A warning is not raised to an error by an unassigned required node.
    EXPECT_EQ(Outcome({scripted(2, "w")}, required({}, 15)).overall, Status(2, "w"));
}

TEST(Validation, ReportsCombineByMaximumAndJoinTheirMessagesInOrder)
{
    EXPECT_EQ(Outcome({scripted(2, "first"), scripted(1, "valid"), scripted(2, "second")}, required()).overall,
              Status(2, "first\nsecond"));
    EXPECT_EQ(Outcome({scripted(1, ""), scripted(3, "broken"), scripted(2, "odd")}, required()).overall,
              Status(3, "broken\nodd"));
}

TEST(Validation, TheFirstErrorOfANodeStaysAndUnassignedNodesStayUnassigned)
{
    const Outcome run(
        {scripted(2, "w1", {{10, 2, "first warning"}, {11, 3, "first error"}}),
         scripted(3, "e", {{10, 3, "later error"}, {11, 2, "later warning"}, {11, 3, "later error"}}),
         scripted(2, "w2", {{60, 2, "unassigned"}, {10, 2, "after the error"}, {-1, 3, "x"}, {172, 3, "x"}})},
        required());
    EXPECT_EQ(run.overall, Status(3, "w1\ne\nw2"));
    EXPECT_EQ(run.nodes[10], Status(3, "later error"));
    EXPECT_EQ(run.nodes[11], Status(3, "first error"));
    EXPECT_EQ(run.nodes[60], Status(0, ""));
}

TEST(Validation, GroupStateIsTheWorstAndAnErrorWhileARequiredNodeIsUnassigned)
{
    NodeStatusList nodes;
    nodes.fill(Status(0, ""));
    nodes[9] = Status(1, "");
    nodes[10] = Status(2, "w");
    nodes[50] = Status(1, "");
    EXPECT_EQ(GetGroupStatus(nodes, {9, 10}), 2);
    EXPECT_EQ(GetGroupStatus(nodes, {50, 51}), 1);
    EXPECT_EQ(GetGroupStatus(nodes, {0, 16}), 0);      // Reference and toes are optional
    EXPECT_EQ(GetGroupStatus(nodes, {9, 10, 11}), 3);  // LeftHand is required
    EXPECT_EQ(GetGroupStatus(nodes, {9, -1, 400}), 1);
}

TEST(Validation, NumbersHaveSixDecimals)
{
    EXPECT_EQ(FormatValidationNumber(2.0f), "2.000000");
    EXPECT_EQ(FormatValidationNumber(180.0f), "180.000000");
    EXPECT_EQ(FormatValidationNumber(0.1f), "0.100000");
}
