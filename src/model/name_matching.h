// Matching host joint names to rig nodes by a studio's naming conventions:
// delimiters, a match type, mirror keyword pairs, name rules and prefix
// guessing. Everything here works on names that already went through the
// host's sanitizer; the model does that first.
#ifndef SKW_MODEL_NAME_MATCHING_H
#define SKW_MODEL_NAME_MATCHING_H

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class XmlSettingsStore;

// One rule per rig node: the joint name's pattern (the name without the
// skeleton's prefix), or, with useRoot, "the joint named like the prefix
// without its last delimiter".
struct NameMatchRule {
    QString pattern;
    bool useRoot = false;
};

enum MatchType {
    MatchContains = 0,  // the longest pattern that the name contains
    MatchSuffix = 1     // the first pattern that ends the name
};

// "Contains" gives MatchContains; anything else MatchSuffix.
MatchType MatchTypeFromName(const QString& name);
// 0 "Contains"; 1 and everything else "Suffix".
QString MatchTypeName(int type);

// The rig node on the other side: the node whose name has "Right" in place of
// "Left" or the other way round; 0 for a node without a side ("Reference" is
// never a mirror, so 0 means none).
int MirrorNodeOf(int node);

// The rig node names as Qt strings, by node id (172 entries).
const std::vector<QString>& RigNodeNames();

// The first rig node, by ascending id, whose name ends `joint` (case-sensitive);
// -1 when none does.
int RigNodeEndingName(const QString& joint);

class NameMatcher {
public:
    using MirrorPair = std::pair<QString, QString>;

    // The four default delimiters ".", " ", ":" and "_", match type Suffix, no
    // mirror pairs.
    NameMatcher();

    // Defaults, then the settings' extra delimiters (group "name_match", key
    // "delimiter_list") and the match type ("match_type").
    void LoadNameMatchSettings(XmlSettingsStore& settings);
    // The pairs of group "mirror", key "mirror_list", each added in both
    // directions. The keyword list keeps what it had.
    void LoadMirrorList(XmlSettingsStore& settings);

    const QStringList& Delimiters() const { return delimiters_; }
    // Appends a delimiter unless it is empty or already listed.
    void AddDelimiter(const QString& delimiter);
    MatchType GetMatchType() const { return matchType_; }
    void SetMatchType(MatchType type) { matchType_ = type; }

    // Appends (a, b) and (b, a) to the pairs and a and b to the keywords.
    void AddMirrorPair(const QString& a, const QString& b);
    const std::vector<MirrorPair>& MirrorPairs() const { return mirrorPairs_; }
    const QStringList& MirrorKeywords() const { return mirrorKeywords_; }

    // The index in Delimiters() of the first delimiter whose last character is
    // at `position` of `text`; -1 when none.
    int DelimiterEndingAt(const QString& text, int position) const;
    // The largest start index at or before `position` of any delimiter; -1 when
    // none (and for a negative position).
    int LastDelimiterIndex(const QString& text, int position) const;
    // `text` up to, not including, its last delimiter when that starts after
    // the first character; otherwise `text` whole.
    QString CutAtLastDelimiter(const QString& text) const;

    // Matches a (sanitized) joint name against the rules with the match type;
    // `index` is the winning rule's position, -1 when none.
    bool MatchName(const QString& name, const QString& root, const std::vector<NameMatchRule>& rules, int& index) const;

    // The skeleton prefix of a (sanitized) joint name: trailing digits and
    // delimiters are skipped, and the prefix runs up to and including the last
    // delimiter before the name's core. A mirror keyword right before that
    // delimiter belongs to the core, not to the prefix. Answers whether it set
    // `prefix` (which may then be empty, as for "Left_Arm"); false, with
    // `prefix` untouched, when the name has no such delimiter.
    bool GuessPrefix(const QString& name, QString& prefix) const;

    // The mirrored joint: the first pair whose keyword `joint` contains
    // (case-insensitive) turns every occurrence of it into the replacement;
    // then the first skeleton joint equal to that candidate, else the first
    // that contains it (both case-insensitive). False when no pair applies or
    // no joint fits.
    bool MirrorCandidate(const QString& joint, QString& candidate) const;
    static bool FindMirrorJoint(const QString& candidate, const QStringList& skeletonJoints, QString& mirrorJoint);

private:
    void resetDelimiters();

    QStringList delimiters_;
    MatchType matchType_ = MatchSuffix;
    QStringList mirrorKeywords_;
    std::vector<MirrorPair> mirrorPairs_;
};

#endif
