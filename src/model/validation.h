// Validation of a characterization: per-node and overall states, the reports
// of the validators and how they combine.
#ifndef SKW_MODEL_VALIDATION_H
#define SKW_MODEL_VALIDATION_H

#include "rig/vlm_base.h"

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Node and overall state codes. They combine by maximum: an error wins over a
// warning, a warning over valid, valid over unassigned.
enum ValidationState : int {
    kStateUnset = 0,  // unassigned, or not validated
    kStateValid = 1,
    kStateWarning = 2,
    kStateError = 3
};

// The larger of two state codes.
int CombineStates(int a, int b);

struct CharacterizationStatus {
    int state = kStateValid;
    std::string message;

    CharacterizationStatus() = default;
    CharacterizationStatus(int s, std::string text) : state(s), message(std::move(text)) { }

    bool IsUnset() const { return state == kStateUnset; }
    bool IsOk() const { return state == kStateValid; }
    bool IsWarning() const { return state == kStateWarning; }
    bool IsError() const { return state == kStateError; }
    bool IsOkOrWarning() const { return state == kStateValid || state == kStateWarning; }
    bool operator==(const CharacterizationStatus& o) const { return state == o.state && message == o.message; }
    bool operator!=(const CharacterizationStatus& o) const { return !(*this == o); }
};

// One state per rig node id.
using NodeStatusList = std::array<CharacterizationStatus, VLM_NODE_COUNT>;

// One finding about one rig node.
struct ValidationMessage {
    int node = -1;
    int status = kStateUnset;
    std::string text;
};

// What one validator found: its state, a short message, and the findings per node.
struct ValidationReport {
    int status = kStateUnset;
    std::string message;
    std::vector<ValidationMessage> entries;

    bool IsWarningOrError() const { return status == kStateWarning || status == kStateError; }
    void Add(int node, int status, std::string text);
    void AddWarning(int node, std::string text);
    void AddError(int node, std::string text);
};

// One rule over a rig character built from a characterization. Applies looks
// only at the definition words; Validate fills the report.
class CharacterizationValidator {
public:
    virtual ~CharacterizationValidator();
    virtual bool Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const = 0;
    virtual void Validate(const VLMCharacterDefinition& words, VLMCharacter* character,
                          ValidationReport& report) const = 0;
};

using ValidatorList = std::vector<std::shared_ptr<CharacterizationValidator>>;

// Runs the validators in list order on the definition words (with limits) and
// the character built from them, and rewrites the node states and the overall
// state. `currentFlags` are the flag words of the characterization itself:
// their bit 0 decides which nodes start valid and which stay unassigned.
void RunValidators(const ValidatorList& validators, const VLMCharacterDefinition& words, VLMCharacter* character,
                   const VLMCharacterDefinition& currentFlags, NodeStatusList& nodeStates,
                   CharacterizationStatus& overall);

// The worst state of the listed nodes; an error when any listed required node
// (rig nodes 1 to 15) is unassigned. Ids outside the rig are skipped.
int GetGroupStatus(const NodeStatusList& nodeStates, const std::vector<int>& nodes);

// A number as the validator texts write it: fixed notation, six decimals.
std::string FormatValidationNumber(float value);

// The message of a characterization missing one of rig nodes 1 to 15.
extern const char kMissingRequiredBones[];

#endif
