#include "model/validation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>

void PrintTo(const CharacterizationStatus& s, std::ostream* os)
{
    *os << "{" << s.state << ", \"" << s.message << "\"}";
}

namespace {

// A validator whose answer the test scripts.
class ScriptedValidator : public CharacterizationValidator {
public:
    ScriptedValidator(bool applies, ValidationReport report) : applies_(applies), report_(std::move(report)) {}
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

ValidationReport report(int status, const char* message, std::vector<ValidationMessage> entries = {})
{
    ValidationReport r;
    r.status = status;
    r.message = message;
    r.entries = std::move(entries);
    return r;
}

VLMCharacterDefinition usedNodes(std::initializer_list<int> nodes)
{
    VLMCharacterDefinition words;
    std::memset(&words, 0, sizeof words);
    for (int n : nodes)
        words.words[n] = 1;
    return words;
}

VLMCharacterDefinition requiredAnd(std::initializer_list<int> extra)
{
    VLMCharacterDefinition words = usedNodes(extra);
    for (int n = 1; n <= 15; ++n)
        words.words[n] = 1;
    return words;
}

struct ValidationRun {
    NodeStatusList nodes;
    CharacterizationStatus overall{7, "stale"};

    void operator()(const ValidatorList& validators, const VLMCharacterDefinition& flags)
    {
        for (CharacterizationStatus& s : nodes)
            s = CharacterizationStatus(3, "stale");
        RunValidators(validators, flags, nullptr, flags, nodes, overall);
    }
};

std::shared_ptr<ScriptedValidator> scripted(bool applies, ValidationReport r)
{
    return std::make_shared<ScriptedValidator>(applies, std::move(r));
}

} // namespace

TEST(Validation, WithoutAnyReportTheCharacterizationMissesRequiredBones)
{
    ValidationRun run;
    const VLMCharacterDefinition flags = usedNodes({1, 50});
    run({}, flags);
    EXPECT_EQ(run.overall, CharacterizationStatus(3, "Missing required bones."));
    for (int n = 0; n < VLM_NODE_COUNT; ++n)
        EXPECT_EQ(run.nodes[n], CharacterizationStatus(flags.words[n] ? 1 : 0, "")) << n;

    // Validators that do not apply make no report and are not asked to validate.
    auto skipped = scripted(false, report(1, ""));
    run({skipped}, flags);
    EXPECT_EQ(run.overall, CharacterizationStatus(3, "Missing required bones."));
    EXPECT_EQ(skipped->runs, 0);
}

TEST(Validation, ACompleteCharacterizationWithoutFindingsIsValid)
{
    ValidationRun run;
    run({scripted(true, report(1, "")), scripted(true, report(1, "ignored when valid"))}, requiredAnd({}));
    EXPECT_EQ(run.overall, CharacterizationStatus(1, ""));
    for (int n = 0; n < VLM_NODE_COUNT; ++n)
        EXPECT_EQ(run.nodes[n].state, n >= 1 && n <= 15 ? 1 : 0) << n;

    // The same reports with a required node unassigned end in an error, with the
    // message as built (empty here).
    VLMCharacterDefinition flags = requiredAnd({});
    flags.words[15] = 0;
    run({scripted(true, report(1, ""))}, flags);
    EXPECT_EQ(run.overall, CharacterizationStatus(3, ""));
}

TEST(Validation, ReportsCombineByMaximumAndJoinTheirMessagesInOrder)
{
    ValidationRun run;
    run({scripted(true, report(2, "first warning", {{9, 2, "arm"}})), scripted(true, report(1, "")),
         scripted(true, report(2, "second warning"))},
        requiredAnd({}));
    EXPECT_EQ(run.overall, CharacterizationStatus(2, "first warning\nsecond warning"));
    EXPECT_EQ(run.nodes[9], CharacterizationStatus(2, "arm"));

    run({scripted(true, report(1, "")), scripted(true, report(3, "broken")), scripted(true, report(2, "odd"))},
        requiredAnd({}));
    EXPECT_EQ(run.overall, CharacterizationStatus(3, "broken\nodd"));
}

TEST(Validation, TheFirstErrorOfANodeStaysAndUnassignedNodesStayUnassigned)
{
    ValidationRun run;
    run({scripted(true, report(2, "w1", {{10, 2, "first warning"}, {11, 3, "first error"}})),
         scripted(true, report(3, "e", {{10, 3, "later error"}, {11, 2, "later warning"}, {11, 3, "later error"}})),
         scripted(true, report(2, "w2", {{60, 2, "on an unassigned node"}, {10, 2, "after the error"},
                                         {-1, 3, "outside"}, {172, 3, "outside"}}))},
        requiredAnd({}));
    EXPECT_EQ(run.overall, CharacterizationStatus(3, "w1\ne\nw2"));
    EXPECT_EQ(run.nodes[10], CharacterizationStatus(3, "later error"));
    EXPECT_EQ(run.nodes[11], CharacterizationStatus(3, "first error"));
    EXPECT_EQ(run.nodes[60], CharacterizationStatus(0, ""));
}

TEST(Validation, GroupStateIsTheWorstAndAnErrorWhileARequiredNodeIsUnassigned)
{
    NodeStatusList nodes;
    for (CharacterizationStatus& s : nodes)
        s = CharacterizationStatus(0, "");
    nodes[9] = CharacterizationStatus(1, "");
    nodes[10] = CharacterizationStatus(2, "w");
    nodes[50] = CharacterizationStatus(1, "");
    EXPECT_EQ(GetGroupStatus(nodes, {9, 10}), 2);
    EXPECT_EQ(GetGroupStatus(nodes, {50, 51}), 1);
    EXPECT_EQ(GetGroupStatus(nodes, {51, 52}), 0);
    EXPECT_EQ(GetGroupStatus(nodes, {50, 11}), 3); // LeftHand is required
    EXPECT_EQ(GetGroupStatus(nodes, {9, 10, 11}), 3);
    EXPECT_EQ(GetGroupStatus(nodes, {0, 16}), 0); // Reference and toes are optional
    EXPECT_EQ(GetGroupStatus(nodes, {9, -1, 400}), 1);
}

TEST(Validation, StatusTestsAndNumberFormat)
{
    const CharacterizationStatus fresh;
    EXPECT_TRUE(fresh.IsOk());
    EXPECT_TRUE(fresh.message.empty());
    EXPECT_TRUE(CharacterizationStatus(0, "").IsUnset());
    EXPECT_TRUE(CharacterizationStatus(2, "").IsOkOrWarning());
    EXPECT_FALSE(CharacterizationStatus(3, "").IsOkOrWarning());
    EXPECT_FALSE(CharacterizationStatus(0, "").IsOkOrWarning());

    EXPECT_EQ(FormatValidationNumber(2.0f), "2.000000");
    EXPECT_EQ(FormatValidationNumber(180.0f), "180.000000");
    EXPECT_EQ(FormatValidationNumber(0.1f), "0.100000");
}
