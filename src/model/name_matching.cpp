#include "model/name_matching.h"

#include "model/xml_settings_store.h"
#include "rig/vlm_names.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace {

const QString kNameMatchGroup = QStringLiteral("name_match");
const QString kDelimiterListKey = QStringLiteral("delimiter_list");
const QString kMatchTypeKey = QStringLiteral("match_type");
const QString kMirrorGroup = QStringLiteral("mirror");
const QString kMirrorListKey = QStringLiteral("mirror_list");
const QString kContains = QStringLiteral("Contains");
const QString kSuffix = QStringLiteral("Suffix");

std::array<int, VLM_NODE_COUNT> buildMirrorTable()
{
    std::array<int, VLM_NODE_COUNT> table{};
    const std::vector<QString>& names = RigNodeNames();
    const QString left = QStringLiteral("Left");
    const QString right = QStringLiteral("Right");
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        QString other = names[node];
        if (other.contains(left))
            other.replace(left, right);
        else if (other.contains(right))
            other.replace(right, left);
        else
            continue;
        const auto it = std::find(names.begin(), names.end(), other);
        if (it != names.end())
            table[node] = int(it - names.begin());
    }
    return table;
}

}  // namespace

MatchType MatchTypeFromName(const QString& name) { return name == kContains ? MatchContains : MatchSuffix; }

QString MatchTypeName(int type) { return type == MatchContains ? kContains : kSuffix; }

const std::vector<QString>& RigNodeNames()
{
    static const std::vector<QString> names = [] {
        std::vector<QString> out;
        const char* const* table = VLMGetNodeNameTable();
        out.reserve(VLM_NODE_COUNT);
        for (int node = 0; node < VLM_NODE_COUNT; ++node)
            out.push_back(QString::fromLatin1(table[node]));
        return out;
    }();
    return names;
}

int MirrorNodeOf(int node)
{
    static const std::array<int, VLM_NODE_COUNT> table = buildMirrorTable();
    return static_cast<unsigned>(node) < unsigned(VLM_NODE_COUNT) ? table[node] : 0;
}

int RigNodeEndingName(const QString& joint)
{
    if (joint.isEmpty())
        return -1;
    // Only names that end with the joint's last character can end the joint:
    // the nodes grouped by last character, each group in ascending id.
    static const std::unordered_map<ushort, std::vector<int>> byLastCharacter = [] {
        std::unordered_map<ushort, std::vector<int>> groups;
        const std::vector<QString>& names = RigNodeNames();
        for (int node = 0; node < VLM_NODE_COUNT; ++node)
            groups[names[node].back().unicode()].push_back(node);
        return groups;
    }();
    const auto group = byLastCharacter.find(joint.back().unicode());
    if (group == byLastCharacter.end())
        return -1;
    const std::vector<QString>& names = RigNodeNames();
    for (int node : group->second) {
        if (joint.endsWith(names[node], Qt::CaseSensitive))
            return node;
    }
    return -1;
}

NameMatcher::NameMatcher() { resetDelimiters(); }

void NameMatcher::resetDelimiters()
{
    delimiters_ = QStringList{QStringLiteral("."), QStringLiteral(" "), QStringLiteral(":"), QStringLiteral("_")};
}

void NameMatcher::AddDelimiter(const QString& delimiter)
{
    // An empty delimiter would end at every position and stop prefix guessing
    // from ever moving; a settings file that lists one gets it ignored.
    if (!delimiter.isEmpty() && !delimiters_.contains(delimiter, Qt::CaseSensitive))
        delimiters_.append(delimiter);
}

void NameMatcher::LoadNameMatchSettings(XmlSettingsStore& settings)
{
    resetDelimiters();
    XmlSettingsStore::StringList extra;
    settings.GetList(kNameMatchGroup, kDelimiterListKey, extra);
    for (const QString& delimiter : extra)
        AddDelimiter(delimiter);
    matchType_ = MatchTypeFromName(settings.GetValue(kNameMatchGroup, kMatchTypeKey, kSuffix));
}

void NameMatcher::LoadMirrorList(XmlSettingsStore& settings)
{
    mirrorPairs_.clear();
    XmlSettingsStore::PairList pairs;
    settings.GetPairList(kMirrorGroup, kMirrorListKey, pairs);
    for (const auto& pair : pairs)
        AddMirrorPair(pair.first, pair.second);
}

void NameMatcher::AddMirrorPair(const QString& a, const QString& b)
{
    // A pair with an empty side would match every name (and its reverse would
    // turn every name into itself): not a keyword pair.
    if (a.isEmpty() || b.isEmpty())
        return;
    mirrorPairs_.emplace_back(a, b);
    mirrorPairs_.emplace_back(b, a);
    mirrorKeywords_.append(a);
    mirrorKeywords_.append(b);
}

int NameMatcher::DelimiterEndingAt(const QString& text, int position) const
{
    if (position < 0 || position >= text.length())
        return -1;
    for (int i = 0; i < delimiters_.size(); ++i) {
        const QString& delimiter = delimiters_[i];
        const int length = delimiter.length();
        if (length <= position + 1 && text.midRef(position - length + 1, length) == delimiter)
            return i;
    }
    return -1;
}

int NameMatcher::LastDelimiterIndex(const QString& text, int position) const
{
    if (position < 0)
        return -1;
    int last = -1;
    for (const QString& delimiter : delimiters_)
        last = std::max(last, text.lastIndexOf(delimiter, position, Qt::CaseSensitive));
    return last;
}

QString NameMatcher::CutAtLastDelimiter(const QString& text) const
{
    const int index = LastDelimiterIndex(text, text.length() - 1);
    return index > 0 ? text.left(index) : text;
}

bool NameMatcher::MatchName(const QString& name, const QString& root, const std::vector<NameMatchRule>& rules,
                            int& index) const
{
    index = -1;
    if (name.isEmpty())
        return false;
    if (matchType_ == MatchContains) {
        int bestLength = 0;
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const QString& pattern = rules[i].pattern;
            if (pattern.length() > bestLength && name.contains(pattern, Qt::CaseInsensitive)) {
                index = int(i);
                bestLength = pattern.length();
            }
        }
        return index >= 0;
    }
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const NameMatchRule& rule = rules[i];
        const bool match = rule.useRoot ? name.compare(root, Qt::CaseInsensitive) == 0
                                        : !rule.pattern.isEmpty() && name.endsWith(rule.pattern, Qt::CaseInsensitive);
        if (match) {
            index = int(i);
            return true;
        }
    }
    return false;
}

bool NameMatcher::GuessPrefix(const QString& name, QString& prefix) const
{
    // Skip the numbering and separators at the end ("Hips_02" -> "Hips").
    int position = name.length() - 1;
    while (position >= 0) {
        if (name.at(position).isDigit()) {
            --position;
            continue;
        }
        const int delimiter = DelimiterEndingAt(name, position);
        if (delimiter < 0)
            break;
        position -= delimiters_[delimiter].length();
    }

    const int index = LastDelimiterIndex(name, position);
    if (index < 0)
        return false;

    // "Hero_Left_Arm": the side keyword is part of the joint's own name, so the
    // prefix ends before it ("Hero_"), where the same skeleton's centre joints
    // ("Hero_Hips") put it too.
    for (const QString& keyword : mirrorKeywords_) {
        const int length = keyword.length();
        if (length > 0 && index >= length && name.midRef(index - length, length) == keyword) {
            prefix = name.left(index - length);
            return true;
        }
    }
    prefix = name.left(index + 1);
    return true;
}

bool NameMatcher::MirrorCandidate(const QString& joint, QString& candidate) const
{
    for (const MirrorPair& pair : mirrorPairs_) {
        if (joint.contains(pair.first, Qt::CaseInsensitive)) {
            candidate = joint;
            candidate.replace(pair.first, pair.second, Qt::CaseInsensitive);
            return true;
        }
    }
    return false;
}

bool NameMatcher::FindMirrorJoint(const QString& candidate, const QStringList& skeletonJoints, QString& mirrorJoint)
{
    for (const QString& joint : skeletonJoints) {
        if (joint.compare(candidate, Qt::CaseInsensitive) == 0) {
            mirrorJoint = joint;
            return true;
        }
    }
    for (const QString& joint : skeletonJoints) {
        if (joint.contains(candidate, Qt::CaseInsensitive)) {
            mirrorJoint = joint;
            return true;
        }
    }
    return false;
}
