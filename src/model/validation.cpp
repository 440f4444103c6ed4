#include "model/validation.h"

#include <algorithm>
#include <cstdio>

const char kMissingRequiredBones[] = "Missing required bones.";

namespace {

// Rig nodes 1 to 15 (Hips to Head) must be assigned for any usable state.
constexpr int kFirstRequiredNode = 1;
constexpr int kLastRequiredNode = 15;

bool anyRequiredUnset(const NodeStatusList& nodeStates)
{
    for (int node = kFirstRequiredNode; node <= kLastRequiredNode; ++node) {
        if (nodeStates[node].state == kStateUnset)
            return true;
    }
    return false;
}

}  // namespace

int CombineStates(int a, int b) { return std::max(a, b); }

void ValidationReport::Add(int node, int entryStatus, std::string text)
{
    entries.push_back(ValidationMessage{node, entryStatus, std::move(text)});
}

void ValidationReport::AddWarning(int node, std::string text) { Add(node, kStateWarning, std::move(text)); }

void ValidationReport::AddError(int node, std::string text) { Add(node, kStateError, std::move(text)); }

CharacterizationValidator::~CharacterizationValidator() = default;

void RunValidators(const ValidatorList& validators, const VLMCharacterDefinition& words, VLMCharacter* character,
                   const VLMCharacterDefinition& currentFlags, NodeStatusList& nodeStates,
                   CharacterizationStatus& overall)
{
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        nodeStates[node].state = (currentFlags.words[node] & 1u) ? kStateValid : kStateUnset;
        nodeStates[node].message.clear();
    }

    std::vector<ValidationReport> reports;
    reports.reserve(validators.size());
    for (const std::shared_ptr<CharacterizationValidator>& validator : validators) {
        if (!validator || !validator->Applies(words, character))
            continue;
        reports.emplace_back();
        validator->Validate(words, character, reports.back());
    }

    if (reports.empty()) {
        overall = CharacterizationStatus(kStateError, kMissingRequiredBones);
        return;
    }

    int combined = reports.front().status;
    std::string message;
    for (const ValidationReport& report : reports) {
        combined = CombineStates(combined, report.status);
        if (!report.IsWarningOrError())
            continue;
        if (!message.empty())
            message += '\n';
        message += report.message;
        for (const ValidationMessage& entry : report.entries) {
            if (static_cast<unsigned>(entry.node) >= unsigned(VLM_NODE_COUNT))
                continue;
            CharacterizationStatus& target = nodeStates[entry.node];
            // Unassigned nodes stay unassigned; the first error on a node stays.
            if (target.state == kStateUnset || target.state == kStateError)
                continue;
            target.state = entry.status;
            target.message = entry.text;
        }
    }

    if ((combined == kStateUnset || combined == kStateValid) && anyRequiredUnset(nodeStates))
        combined = kStateError;
    overall = CharacterizationStatus(combined, std::move(message));
}

int GetGroupStatus(const NodeStatusList& nodeStates, const std::vector<int>& nodes)
{
    int worst = kStateUnset;
    bool requiredUnset = false;
    for (int node : nodes) {
        if (static_cast<unsigned>(node) >= unsigned(VLM_NODE_COUNT))
            continue;
        const int state = nodeStates[node].state;
        worst = CombineStates(worst, state);
        if (node >= kFirstRequiredNode && node <= kLastRequiredNode && state == kStateUnset)
            requiredUnset = true;
    }
    if (worst != kStateError && requiredUnset)
        return kStateError;
    return worst;
}

std::string FormatValidationNumber(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", static_cast<double>(value));
    return text;
}
