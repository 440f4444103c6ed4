#include "model/mapping_template.h"
#include "model/name_matching.h"
#include "model/xml_settings_store.h"

#include "test_support_fs.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::vector<NameMatchRule> Rules(std::initializer_list<NameMatchRule> rules)
{
    return std::vector<NameMatchRule>(rules);
}

NameMatcher WithMirrorPairs(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    NameMatcher matcher;
    for (const auto& pair : pairs)
        matcher.AddMirrorPair(pair.first, pair.second);
    return matcher;
}

// GuessPrefix's outcome: the prefix, or "<none>" when it set nothing.
QString Guess(const NameMatcher& matcher, const QString& name)
{
    QString prefix = "<none>";
    matcher.GuessPrefix(name, prefix);
    return prefix;
}

} // namespace

TEST(NameMatchTables, MatchTypeNamesAndMirrorNodes)
{
    EXPECT_EQ(MatchTypeFromName("Contains"), MatchContains);
    EXPECT_EQ(MatchTypeFromName("Suffix"), MatchSuffix);
    EXPECT_EQ(MatchTypeFromName("Prefix"), MatchSuffix);
    EXPECT_EQ(MatchTypeFromName("contains"), MatchSuffix);
    EXPECT_EQ(MatchTypeName(0), "Contains");
    EXPECT_EQ(MatchTypeName(1), "Suffix");
    EXPECT_EQ(MatchTypeName(7), "Suffix");

    // Every node with a side has the node of the other side, and back.
    const std::vector<QString>& names = RigNodeNames();
    ASSERT_EQ(names.size(), 172u);
    for (int node = 0; node < 172; ++node) {
        const bool hasSide = names[node].contains("Left") || names[node].contains("Right");
        EXPECT_EQ(MirrorNodeOf(node) != 0, hasSide) << names[node].toStdString();
        if (hasSide) {
            EXPECT_EQ(MirrorNodeOf(MirrorNodeOf(node)), node);
        }
    }
    EXPECT_EQ(MirrorNodeOf(9), 12);  // LeftArm <-> RightArm
    EXPECT_EQ(MirrorNodeOf(-1), 0);
    EXPECT_EQ(MirrorNodeOf(172), 0);

    EXPECT_EQ(RigNodeEndingName("mixLeftArm"), 9);
    EXPECT_EQ(RigNodeEndingName("mixleftarm"), -1);
    EXPECT_EQ(RigNodeEndingName("LeftUpLegRoll"), 41);
}

TEST(NameMatcher, DelimiterRoutines)
{
    NameMatcher matcher;
    EXPECT_EQ(matcher.Delimiters(), QStringList({".", " ", ":", "_"}));
    matcher.AddDelimiter("--");
    matcher.AddDelimiter("_");  // already there
    matcher.AddDelimiter("");   // never a delimiter
    EXPECT_EQ(matcher.Delimiters(), QStringList({".", " ", ":", "_", "--"}));

    EXPECT_EQ(matcher.DelimiterEndingAt("a_b", 1), 3);
    EXPECT_EQ(matcher.DelimiterEndingAt("a--b", 2), 4);
    EXPECT_EQ(matcher.DelimiterEndingAt("-b", 0), -1);  // "--" would start before the text
    EXPECT_EQ(matcher.DelimiterEndingAt("ab", 1), -1);
    EXPECT_EQ(matcher.DelimiterEndingAt("ab", 5), -1);

    EXPECT_EQ(matcher.LastDelimiterIndex("a:b_c d", 6), 5);
    EXPECT_EQ(matcher.LastDelimiterIndex("a:b_c d", 4), 3);
    EXPECT_EQ(matcher.LastDelimiterIndex("a:b_c d", 0), -1);
    EXPECT_EQ(matcher.LastDelimiterIndex("a:b", -1), -1);

    EXPECT_EQ(matcher.CutAtLastDelimiter("Character1_"), "Character1");
    EXPECT_EQ(matcher.CutAtLastDelimiter("hero:rig_"), "hero:rig");
    EXPECT_EQ(matcher.CutAtLastDelimiter("_x"), "_x");  // a delimiter at 0 does not cut
    EXPECT_EQ(matcher.CutAtLastDelimiter("Hips"), "Hips");
    EXPECT_EQ(matcher.CutAtLastDelimiter(""), "");
}

TEST(NameMatcher, GuessPrefixOnNamingConventions)
{
    const NameMatcher plain;
    EXPECT_EQ(Guess(plain, "Character1_Hips"), "Character1_");
    EXPECT_EQ(Guess(plain, "Character1_Hips_02"), "Character1_");
    EXPECT_EQ(Guess(plain, "Character1_Spine1"), "Character1_");
    EXPECT_EQ(Guess(plain, "hero:LeftArm"), "hero:");
    EXPECT_EQ(Guess(plain, "rig.body:Hips.001"), "rig.body:");
    EXPECT_EQ(Guess(plain, "Bip01 Pelvis"), "Bip01 ");
    EXPECT_EQ(Guess(plain, "Hips"), "<none>");
    EXPECT_EQ(Guess(plain, "Spine_01"), "<none>");  // the numbering is skipped, nothing before it
    EXPECT_EQ(Guess(plain, "__12"), "<none>");
    EXPECT_EQ(Guess(plain, ""), "<none>");
    // Without mirror keywords a side word looks like part of the prefix.
    EXPECT_EQ(Guess(plain, "Hero_Left_Arm"), "Hero_Left_");

    // With the side keywords the prefix ends before the side, on both sides,
    // where the centre joints of the same skeleton put it.
    const NameMatcher sided = WithMirrorPairs({{"Left", "Right"}, {"L", "R"}});
    EXPECT_EQ(Guess(sided, "Hero_Left_Arm"), "Hero_");
    EXPECT_EQ(Guess(sided, "Hero_Right_Arm"), "Hero_");
    EXPECT_EQ(Guess(sided, "Hero_Hips"), "Hero_");
    EXPECT_EQ(Guess(sided, "Hero_Right_Hand_03"), "Hero_");
    EXPECT_EQ(Guess(sided, "Bip01 L Thigh"), "Bip01 ");
    EXPECT_EQ(Guess(sided, "Bip01 R Finger12"), "Bip01 ");
    EXPECT_EQ(Guess(sided, "Hero_LeftArm"), "Hero_");  // keyword not before the delimiter
    // A side word at the very start leaves no prefix (but the guess was made).
    QString prefix = "old";
    EXPECT_TRUE(sided.GuessPrefix("Left_Arm", prefix));
    EXPECT_EQ(prefix, "");
}

TEST(NameMatcher, ContainsAndSuffixMatching)
{
    NameMatcher matcher;
    const auto rules = Rules({{"Arm", false}, {"", false}, {"ForeArm", false}, {"arm_l", false}, {"", true}});
    int index = 7;

    matcher.SetMatchType(MatchContains);
    EXPECT_TRUE(matcher.MatchName("char_LeftForeArm", "char", rules, index));
    EXPECT_EQ(index, 2);  // the longest pattern wins
    EXPECT_TRUE(matcher.MatchName("xFOREARMx", "char", rules, index));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(matcher.MatchName("upperarm_l", "", rules, index));
    EXPECT_EQ(index, 3);
    // Equally long patterns: the first in rule order.
    EXPECT_TRUE(matcher.MatchName("LegArm", "", Rules({{"Leg", false}, {"Arm", false}}), index));
    EXPECT_EQ(index, 0);
    // The root rule has no pattern and takes no part in Contains matching.
    EXPECT_FALSE(matcher.MatchName("char", "char", rules, index));
    EXPECT_EQ(index, -1);

    matcher.SetMatchType(MatchSuffix);
    EXPECT_TRUE(matcher.MatchName("char_LeftForeArm", "char", rules, index));
    EXPECT_EQ(index, 0);  // the first rule that ends the name
    EXPECT_TRUE(matcher.MatchName("upperarm_L", "", rules, index));
    EXPECT_EQ(index, 3);
    EXPECT_TRUE(matcher.MatchName("CHAR", "char", rules, index));
    EXPECT_EQ(index, 4);
    EXPECT_FALSE(matcher.MatchName("char_Head", "char", rules, index));
    EXPECT_EQ(index, -1);
    EXPECT_FALSE(matcher.MatchName("", "", rules, index));
}

TEST(NameMatcher, MirrorCandidatesBothWays)
{
    const NameMatcher matcher = WithMirrorPairs({{"Left", "Right"}, {"_l", "_r"}});
    EXPECT_EQ(matcher.MirrorKeywords(), QStringList({"Left", "Right", "_l", "_r"}));
    ASSERT_EQ(matcher.MirrorPairs().size(), 4u);

    QString candidate;
    EXPECT_TRUE(matcher.MirrorCandidate("LEFT_leftArm", candidate));  // every occurrence, any case
    EXPECT_EQ(candidate, "Right_RightArm");
    EXPECT_TRUE(matcher.MirrorCandidate("hand_r", candidate));
    EXPECT_EQ(candidate, "hand_l");
    EXPECT_FALSE(matcher.MirrorCandidate("Hips", candidate));

    QString joint;
    EXPECT_TRUE(NameMatcher::FindMirrorJoint("RightArm", {"RightArmRoll", "rightarm"}, joint));
    EXPECT_EQ(joint, "rightarm");  // equality before containment
    EXPECT_TRUE(NameMatcher::FindMirrorJoint("RightArm", {"Hips", "RightArmRoll"}, joint));
    EXPECT_EQ(joint, "RightArmRoll");
    EXPECT_FALSE(NameMatcher::FindMirrorJoint("RightArm", {"Hips"}, joint));

    // Pairs with an empty side are not keywords.
    NameMatcher empty;
    empty.AddMirrorPair("", "Right");
    empty.AddMirrorPair("Left", "");
    EXPECT_TRUE(empty.MirrorPairs().empty());
    EXPECT_FALSE(empty.MirrorCandidate("LeftArm", candidate));
}

TEST(NameMatcher, SettingsFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("skelwright.xml");
    WriteFile(path, "<config_root>"
                    "<name_match><delimiter_list><item value=\"-\"/><item value=\"_\"/><item value=\"\"/>"
                    "</delimiter_list><match_type value=\"Contains\"/></name_match>"
                    "<mirror><mirror_list><item key=\"Left\" value=\"Right\"/><item key=\"L\" value=\"R\"/>"
                    "</mirror_list></mirror></config_root>");
    NameMatcher matcher;
    {
        XmlSettingsStore settings(path);
        matcher.LoadNameMatchSettings(settings);
        matcher.LoadMirrorList(settings);
    }
    EXPECT_EQ(matcher.Delimiters(), QStringList({".", " ", ":", "_", "-"}));
    EXPECT_EQ(matcher.GetMatchType(), MatchContains);
    ASSERT_EQ(matcher.MirrorPairs().size(), 4u);
    EXPECT_EQ(matcher.MirrorPairs()[1], std::make_pair(QString("Right"), QString("Left")));
    EXPECT_EQ(matcher.MirrorPairs()[2], std::make_pair(QString("L"), QString("R")));

    // Reloading replaces the pairs and the delimiters; the keywords accumulate.
    WriteFile(path, "<config_root><name_match><match_type value=\"Prefix\"/></name_match>"
                    "<mirror><mirror_list><item key=\"lf\" value=\"rt\"/></mirror_list></mirror></config_root>");
    {
        XmlSettingsStore settings(path);
        matcher.LoadNameMatchSettings(settings);
        matcher.LoadMirrorList(settings);
    }
    EXPECT_EQ(matcher.Delimiters(), QStringList({".", " ", ":", "_"}));
    EXPECT_EQ(matcher.GetMatchType(), MatchSuffix);
    ASSERT_EQ(matcher.MirrorPairs().size(), 2u);
    EXPECT_EQ(matcher.MirrorKeywords(), QStringList({"Left", "Right", "L", "R", "lf", "rt"}));

    // A missing file leaves the defaults.
    NameMatcher missing;
    {
        XmlSettingsStore settings(dir.filePath("none.xml"));
        missing.LoadNameMatchSettings(settings);
        missing.LoadMirrorList(settings);
    }
    EXPECT_EQ(missing.Delimiters().size(), 4);
    EXPECT_EQ(missing.GetMatchType(), MatchSuffix);
    EXPECT_TRUE(missing.MirrorPairs().empty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("none.xml")));
}

TEST(MappingTemplate, RulesFromAMappedSkeleton)
{
    const NameMatcher matcher;
    std::vector<QString> joints(172);
    joints[0] = "Character1";
    joints[1] = "Character1_Hips";
    joints[8] = "Character1_Spine";
    joints[9] = "Other_LeftArm";
    joints[15] = "Character1_";
    std::vector<NameMatchRule> rules(3);
    BuildTemplateRules(joints, "Character1_", matcher, rules);
    ASSERT_EQ(rules.size(), 172u);
    EXPECT_EQ(rules[0].pattern, "");
    EXPECT_TRUE(rules[0].useRoot);
    EXPECT_EQ(rules[1].pattern, "Hips");
    EXPECT_FALSE(rules[1].useRoot);
    EXPECT_EQ(rules[8].pattern, "Spine");
    EXPECT_EQ(rules[9].pattern, "");  // neither prefixed nor the root
    EXPECT_FALSE(rules[9].useRoot);
    EXPECT_EQ(rules[15].pattern, "");  // the prefix itself
    EXPECT_FALSE(rules[15].useRoot);
    EXPECT_EQ(rules[2].pattern, "");

    // An empty prefix keeps whole names and has no root.
    BuildTemplateRules(joints, "", matcher, rules);
    EXPECT_EQ(rules[0].pattern, "Character1");
    EXPECT_FALSE(rules[0].useRoot);
    EXPECT_EQ(rules[9].pattern, "Other_LeftArm");
}

TEST(MappingTemplate, FileRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.xml");
    std::vector<NameMatchRule> rules(172);
    rules[0] = {"", true};
    rules[1] = {"Hips", false};
    rules[171] = {"RightShoulderExtra", false};
    WriteMappingTemplate(path, rules);

    // One "match_list" under the root, one item per rig node named by the node,
    // "use_root" only where it is set.
    QDomDocument document;
    ASSERT_TRUE(document.setContent(ReadFile(path)));
    const QDomElement root = document.documentElement();
    EXPECT_EQ(root.tagName(), "config_root");
    const QDomElement list = root.firstChildElement();
    EXPECT_EQ(list.tagName(), "match_list");
    EXPECT_TRUE(list.nextSiblingElement().isNull());
    const QDomNodeList items = list.childNodes();
    ASSERT_EQ(items.count(), 172);
    EXPECT_EQ(items.at(0).toElement().attribute("key"), "Reference");
    EXPECT_EQ(items.at(0).toElement().attribute("use_root"), "true");
    EXPECT_EQ(items.at(1).toElement().attribute("key"), "Hips");
    EXPECT_EQ(items.at(1).toElement().attribute("value"), "Hips");
    EXPECT_EQ(items.at(171).toElement().attribute("key"), "RightShoulderExtra");
    int flagged = 0;
    for (int i = 0; i < items.count(); ++i)
        flagged += items.at(i).toElement().hasAttribute("use_root");
    EXPECT_EQ(flagged, 1);

    std::vector<NameMatchRule> back(5, NameMatchRule{"junk", true});
    LoadMappingTemplate(path, back);
    ASSERT_EQ(back.size(), 172u);
    for (int node = 0; node < 172; ++node) {
        EXPECT_EQ(back[node].pattern, rules[node].pattern) << node;
        EXPECT_EQ(back[node].useRoot, rules[node].useRoot) << node;
    }

    // The items count in file order; their keys are not read.
    WriteFile(path, "<config_root><match_list><item key=\"Head\" value=\"a\"/>"
                    "<item key=\"Hips\" value=\"b\" use_root=\"true\"/></match_list></config_root>");
    LoadMappingTemplate(path, back);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].pattern, "a");
    EXPECT_TRUE(back[1].useRoot);

    // Missing and unparsable files read as empty templates.
    LoadMappingTemplate(dir.filePath("missing.xml"), back);
    EXPECT_TRUE(back.empty());
    WriteFile(path, "<config_root><match_list>");
    CaptureStdout();
    back.assign(3, NameMatchRule());
    LoadMappingTemplate(path, back);
    EXPECT_NE(GetCapturedStdout().find("Error in parsing"), std::string::npos);
    EXPECT_TRUE(back.empty());
}
