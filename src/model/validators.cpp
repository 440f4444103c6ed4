#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_names.h"

#include "model/validators.h"
#include "base/float_compare.h"

#include <cmath>
#include <utility>

namespace {

constexpr float kAxisLimitDegrees = 2.0f;
constexpr float kDegreesPerRadian = 57.29578f;
constexpr float kAlmostSameTolerance = 1e-6f;

bool isUsed(const VLMCharacterDefinition& words, int node) { return (words.words[node] & VLM_DEF_USED) != 0; }

// A validator's verdict: its state and its short message (none when valid).
void conclude(ValidationReport& report, int status, const std::string& message = std::string())
{
    report.status = status;
    report.message = message;
}

const char* nodeName(int node) { return VLMGetNodeNameTable()[node]; }

// The rest translation of a node as the character holds it (x, y, z, w).
void restTranslation(VLMCharacter* character, int node, float out[4])
{
    float rotation[4], scale[4];
    VLMGetNodeTPose(character, node, out, rotation, scale);
}

bool isRollNode(int node) { return node >= VLM_NODE_LEFT_UP_LEG_ROLL && node <= VLM_NODE_RIGHT_FORE_ARM_ROLL; }

// The two joints of one limb bone (thigh, shin, upper arm, forearm on each side).
bool isAdjacentLimbPair(int a, int b)
{
    static const int kPairs[][2] = {
        {VLM_NODE_LEFT_LEG, VLM_NODE_LEFT_FOOT},       {VLM_NODE_RIGHT_LEG, VLM_NODE_RIGHT_FOOT},
        {VLM_NODE_LEFT_ARM, VLM_NODE_LEFT_FORE_ARM},   {VLM_NODE_LEFT_FORE_ARM, VLM_NODE_LEFT_HAND},
        {VLM_NODE_RIGHT_ARM, VLM_NODE_RIGHT_FORE_ARM}, {VLM_NODE_RIGHT_FORE_ARM, VLM_NODE_RIGHT_HAND},
    };
    for (const auto& pair : kPairs) {
        if ((pair[0] == a && pair[1] == b) || (pair[0] == b && pair[1] == a))
            return true;
    }
    return false;
}

// The angle in degrees between the rest direction from node `from` to node
// `to` and +X (or -X when `negative`), in single precision; coinciding nodes
// give 180.
float angleToXAxis(VLMCharacter* character, int from, int to, bool negative)
{
    float a[4], b[4];
    restTranslation(character, from, a);
    restTranslation(character, to, b);
    float d[4];
    for (int i = 0; i < 4; ++i)
        d[i] = b[i] - a[i];
    const float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] + d[3] * d[3]);
    float cosine = d[0] / length;  // NaN for coinciding nodes
    if (negative)
        cosine = -cosine;
    if (!(cosine > -1.0f))
        cosine = -1.0f;
    else if (cosine > 1.0f)
        cosine = 1.0f;
    // The arc cosine is taken in double and rounded once to float, so that the
    // angle (whose six decimals appear in the texts) does not depend on how
    // a maths library rounds its single-precision arc cosine.
    const float radians = static_cast<float>(std::acos(static_cast<double>(cosine)));
    return radians * kDegreesPerRadian;
}

std::vector<int> nodeRange(int first, int count)
{
    std::vector<int> chain;
    for (int i = 0; i < count; ++i)
        chain.push_back(first + i);
    return chain;
}

}  // namespace

// --- At least one, required ---------------------------------------------------

bool AtLeastOneBoneValidator::Applies(const VLMCharacterDefinition& words, VLMCharacter*) const
{
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (isUsed(words, node))
            return true;
    }
    return false;
}

void AtLeastOneBoneValidator::Validate(const VLMCharacterDefinition&, VLMCharacter*, ValidationReport& report) const
{
    conclude(report, kStateValid);
}

bool RequiredBoneValidator::Applies(const VLMCharacterDefinition&, VLMCharacter*) const { return true; }

void RequiredBoneValidator::Validate(const VLMCharacterDefinition& words, VLMCharacter*, ValidationReport& report) const
{
    for (int node = VLM_NODE_HIPS; node <= VLM_NODE_HEAD; ++node) {
        if (!isUsed(words, node)) {
            conclude(report, kStateError, kMissingRequiredBones);
            return;
        }
    }
    conclude(report, kStateValid);
}

// --- Holes in a chain ---------------------------------------------------------

HoleValidator::HoleValidator(std::string chainName, std::vector<int> chain)
    : chainName_(std::move(chainName)), chain_(std::move(chain))
{
}

bool HoleValidator::Applies(const VLMCharacterDefinition& words, VLMCharacter*) const
{
    for (int node : chain_) {
        if (isUsed(words, node))
            return true;
    }
    return false;
}

void HoleValidator::Validate(const VLMCharacterDefinition& words, VLMCharacter*, ValidationReport& report) const
{
    const std::string missing = "One or more nodes are missing in the " + chainName_;
    bool hole = false;
    for (std::size_t i = 1; i < chain_.size(); ++i) {
        const int node = chain_[i];
        const int predecessor = chain_[i - 1];
        if (!isUsed(words, node) || isUsed(words, predecessor))
            continue;
        report.AddError(node, missing + ". Node " + nodeName(node) + " is set but not node " + nodeName(predecessor));
        hole = true;
    }
    if (hole) {
        conclude(report, kStateError, missing);
    } else {
        conclude(report, kStateValid);
    }
}

// --- Axis alignment -------------------------------------------------------------

// The geometry rules need the rest pose: without a character (its
// allocation failed) they do not apply.
bool AxisAlignmentValidator::Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const
{
    return character && isUsed(words, rule_.from) && isUsed(words, rule_.to);
}

void AxisAlignmentValidator::Validate(const VLMCharacterDefinition&, VLMCharacter* character,
                                      ValidationReport& report) const
{
    const float angle = angleToXAxis(character, rule_.from, rule_.to, rule_.negative);
    if (!(angle > kAxisLimitDegrees)) {
        conclude(report, kStateValid);
        return;
    }
    const std::string text = std::string(rule_.shortText) + " There is a difference of " +
                             FormatValidationNumber(angle) + " degrees between " + rule_.pronoun +
                             " and the X axis. This difference should be less than " +
                             FormatValidationNumber(kAxisLimitDegrees) + " degrees.";
    report.AddWarning(rule_.firstEntry, text);
    report.AddWarning(rule_.secondEntry, text);
    conclude(report, kStateWarning, rule_.shortText);
}

HipsXAxisValidator::HipsXAxisValidator()
    : AxisAlignmentValidator(Rule{VLM_NODE_RIGHT_UP_LEG, VLM_NODE_LEFT_UP_LEG, false, VLM_NODE_LEFT_UP_LEG,
                                  VLM_NODE_RIGHT_UP_LEG,
                                  "The hips don't seem to be facing the positive direction of the Z axis.", "them"})
{
}

LeftArmsXAxisValidator::LeftArmsXAxisValidator()
    : AxisAlignmentValidator(Rule{VLM_NODE_LEFT_ARM, VLM_NODE_LEFT_HAND, false, VLM_NODE_LEFT_HAND, VLM_NODE_LEFT_ARM,
                                  "The left arm doesn't seem to be parallel to the X axis.", "it"})
{
}

RightArmsXAxisValidator::RightArmsXAxisValidator()
    : AxisAlignmentValidator(Rule{VLM_NODE_RIGHT_ARM, VLM_NODE_RIGHT_HAND, true, VLM_NODE_RIGHT_HAND,
                                  VLM_NODE_RIGHT_ARM, "The right arm doesn't seem to be parallel to the X axis.", "it"})
{
}

// --- Same positions ---------------------------------------------------------------

bool SameGeometryValidator::Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const
{
    if (!character)
        return false;
    int used = 0;
    for (int node = 0; node < VLM_NODE_COUNT && used < 2; ++node) {
        if (isUsed(words, node))
            ++used;
    }
    return used >= 2;
}

void SameGeometryValidator::Validate(const VLMCharacterDefinition& words, VLMCharacter* character,
                                     ValidationReport& report) const
{
    // Read every compared node's position once.
    struct Position {
        int node;
        float p[4];
    };
    Position positions[VLM_NODE_COUNT];
    int count = 0;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!isUsed(words, node) || isRollNode(node))
            continue;
        positions[count].node = node;
        restTranslation(character, node, positions[count].p);
        ++count;
    }

    bool adjacentTogether = false;
    bool warned = false;
    for (int a = 0; a < count; ++a) {
        const float* p = positions[a].p;
        for (int b = a + 1; b < count; ++b) {
            const float* q = positions[b].p;
            const int i = positions[a].node;
            const int j = positions[b].node;
            if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) {
                const std::string text =
                    std::string("Node ") + nodeName(i) + " is at the same position as node " + nodeName(j) + ".";
                if (isAdjacentLimbPair(i, j)) {
                    report.AddError(i, text);
                    report.AddError(j, text);
                    adjacentTogether = true;
                } else {
                    report.AddWarning(i, text);
                    report.AddWarning(j, text);
                    warned = true;
                }
            } else if (FuzzyEqual(p[0], q[0], kAlmostSameTolerance) && FuzzyEqual(p[1], q[1], kAlmostSameTolerance) &&
                       FuzzyEqual(p[2], q[2], kAlmostSameTolerance)) {
                const std::string text =
                    std::string("Node ") + nodeName(i) + " is almost at the same position as node " + nodeName(j) + ".";
                report.AddWarning(i, text);
                report.AddWarning(j, text);
                warned = true;
            }
        }
    }
    if (adjacentTogether) {
        conclude(report, kStateError, "Some nodes are at the same position.");
    } else if (warned) {
        conclude(report, kStateWarning, "Some nodes are almost at the same position.");
    } else {
        conclude(report, kStateValid);
    }
}

// --- The list ------------------------------------------------------------------------

ValidatorList BuildValidators()
{
    ValidatorList list;
    list.reserve(32);
    list.push_back(std::make_shared<AtLeastOneBoneValidator>());
    list.push_back(std::make_shared<RequiredBoneValidator>());
    list.push_back(std::make_shared<HoleValidator>("spine", nodeRange(VLM_NODE_SPINE1, VLM_SPINE_CHAIN_LENGTH)));
    std::vector<int> neck{VLM_NODE_NECK};
    for (int node : nodeRange(VLM_NODE_NECK1, VLM_SPINE_CHAIN_LENGTH))
        neck.push_back(node);
    list.push_back(std::make_shared<HoleValidator>("neck", neck));

    static const char* const kDigits[VLM_DIGIT_COUNT] = {"thumb",       "index finger", "middle finger",
                                                         "ring finger", "pinky finger", "extra finger"};
    static const struct {
        const char* limb;
        int firstNode;
    } kExtremities[] = {
        {"right hand", VLM_NODE_RIGHT_HAND_THUMB1},
        {"left hand", VLM_NODE_LEFT_HAND_THUMB1},
        {"right foot", VLM_NODE_RIGHT_FOOT_THUMB1},
        {"left foot", VLM_NODE_LEFT_FOOT_THUMB1},
    };
    for (const auto& extremity : kExtremities) {
        for (int digit = 0; digit < VLM_DIGIT_COUNT; ++digit) {
            list.push_back(std::make_shared<HoleValidator>(
                std::string(extremity.limb) + " " + kDigits[digit],
                nodeRange(extremity.firstNode + VLM_DIGIT_JOINT_COUNT * digit, VLM_DIGIT_JOINT_COUNT)));
        }
    }

    list.push_back(std::make_shared<HipsXAxisValidator>());
    list.push_back(std::make_shared<RightArmsXAxisValidator>());
    list.push_back(std::make_shared<LeftArmsXAxisValidator>());
    list.push_back(std::make_shared<SameGeometryValidator>());
    return list;
}
