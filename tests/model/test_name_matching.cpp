#include "model/mapping_template.h"
#include "model/name_matching.h"
#include "model/xml_settings_store.h"

#include "test_support_fs.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

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

}  // namespace

TEST(NameMatchTables, MatchTypesMirrorNodesAndRigNameEndings)
{
    EXPECT_EQ(MatchTypeFromName("Contains"), MatchContains);
    for (const char* other : {"Suffix", "Prefix", "contains"})
        EXPECT_EQ(MatchTypeFromName(other), MatchSuffix) << other;
    EXPECT_EQ(MatchTypeName(0) + MatchTypeName(1) + MatchTypeName(7), "ContainsSuffixSuffix");

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
    EXPECT_EQ(MirrorNodeOf(9), 12);
    EXPECT_EQ(MirrorNodeOf(-1) + MirrorNodeOf(172), 0);

    EXPECT_EQ(RigNodeEndingName("mixLeftArm"), 9);
    EXPECT_EQ(RigNodeEndingName("mixleftarm"), -1);
    EXPECT_EQ(RigNodeEndingName("LeftUpLegRoll"), 41);
}

TEST(NameMatcher, DelimiterRoutines)
{
    NameMatcher matcher;
    for (const char* delimiter : {"--", "_", ""})  // "_" is listed already, "" is never one
        matcher.AddDelimiter(delimiter);
    EXPECT_EQ(matcher.Delimiters(), QStringList({".", " ", ":", "_", "--"}));

    EXPECT_EQ(matcher.DelimiterEndingAt("a_b", 1), 3);
    EXPECT_EQ(matcher.DelimiterEndingAt("a--b", 2), 4);
    EXPECT_EQ(matcher.DelimiterEndingAt("-b", 0), -1);  // "--" would start before the text
    EXPECT_EQ(matcher.DelimiterEndingAt("ab", 5), -1);

    EXPECT_EQ(matcher.LastDelimiterIndex("a:b_c d", 6), 5);
    EXPECT_EQ(matcher.LastDelimiterIndex("a:b_c d", 4), 3);
    EXPECT_EQ(matcher.LastDelimiterIndex("a:b_c d", 0), -1);
    EXPECT_EQ(matcher.LastDelimiterIndex("a:b", -1), -1);

    EXPECT_EQ(matcher.CutAtLastDelimiter("hero:rig_"), "hero:rig");
    EXPECT_EQ(matcher.CutAtLastDelimiter("_x"), "_x");  // a delimiter at 0 does not cut
    EXPECT_EQ(matcher.CutAtLastDelimiter("Hips"), "Hips");
}

TEST(NameMatcher, GuessPrefixOnNamingConventions)
{
    const NameMatcher plain;
    const NameMatcher sided = WithMirrorPairs({{"Left", "Right"}, {"L", "R"}});
    // name, prefix without side keywords, prefix with them
    const char* const cases[][3] = {
        {"Character1_Hips", "Character1_", "Character1_"},
        {"Character1_Hips_02", "Character1_", "Character1_"},
        {"rig.body:Hips.001", "rig.body:", "rig.body:"},
        {"Bip01 Pelvis", "Bip01 ", "Bip01 "},
        {"Hips", "<none>", "<none>"},
        {"Spine_01", "<none>", "<none>"},  // the numbering is skipped, nothing before it
        {"__12", "<none>", "<none>"},
        // The side keyword just before the delimiter belongs to the joint's own
        // name: the prefix ends before it, on both sides.
        {"Hero_Left_Arm", "Hero_Left_", "Hero_"},
        {"Hero_Right_Hand_03", "Hero_Right_", "Hero_"},
        {"Bip01 L Thigh", "Bip01 L ", "Bip01 "},
        {"Hero_LeftArm", "Hero_", "Hero_"},
        {"Left_Arm", "Left_", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Guess(plain, c[0]), c[1]) << c[0];
        EXPECT_EQ(Guess(sided, c[0]), c[2]) << c[0];
    }
}

TEST(NameMatcher, ContainsAndSuffixMatching)
{
    NameMatcher matcher;
    const std::vector<NameMatchRule> rules = {
        {"Arm", false}, {"", false}, {"ForeArm", false}, {"arm_l", false}, {"", true}};
    // name, root, Contains winner, Suffix winner (-1: none)
    const std::tuple<const char*, const char*, int, int> cases[] = {
        {"char_LeftForeArm", "char", 2, 0},  // Contains: the longest pattern; Suffix: the first that ends the name
        {"xFOREARMx", "", 2, -1},
        {"upperarm_L", "", 3, 3},
        {"CHAR", "char", -1, 4},  // the root rule has no pattern: Suffix matching only
        {"char_Head", "char", -1, -1},
        {"", "", -1, -1},
    };
    for (const auto& [name, root, contains, suffix] : cases) {
        int index = 7;
        matcher.SetMatchType(MatchContains);
        EXPECT_EQ(matcher.MatchName(name, root, rules, index), contains >= 0) << name;
        EXPECT_EQ(index, contains) << name;
        matcher.SetMatchType(MatchSuffix);
        EXPECT_EQ(matcher.MatchName(name, root, rules, index), suffix >= 0) << name;
        EXPECT_EQ(index, suffix) << name;
    }
    // Equally long patterns: the first in rule order.
    int index = -1;
    matcher.SetMatchType(MatchContains);
    EXPECT_TRUE(matcher.MatchName("LegArm", "", {{"Leg", false}, {"Arm", false}}, index));
    EXPECT_EQ(index, 0);
}

TEST(NameMatcher, MirrorCandidatesBothWays)
{
    const NameMatcher matcher = WithMirrorPairs({{"Left", "Right"}, {"_l", "_r"}, {"", "x"}});
    EXPECT_EQ(matcher.MirrorKeywords(), QStringList({"Left", "Right", "_l", "_r"}));  // no empty side

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
}

// The model reads the shipped settings (see the model tests); here reloading:
// the pairs and delimiters are replaced, the side keywords accumulate.
TEST(NameMatcher, SettingsReload)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("skelwright.xml");
    NameMatcher matcher;
    const auto load = [&](const char* xml) {
        WriteFile(path, xml);
        XmlSettingsStore settings(path);
        matcher.LoadNameMatchSettings(settings);
        matcher.LoadMirrorList(settings);
    };
    load("<config_root><name_match><delimiter_list><item value='-'/><item value='_'/></delimiter_list>"
         "<match_type value='Contains'/></name_match>"
         "<mirror><mirror_list><item key='Left' value='Right'/></mirror_list></mirror></config_root>");
    EXPECT_EQ(matcher.Delimiters(), QStringList({".", " ", ":", "_", "-"}));
    EXPECT_EQ(matcher.GetMatchType(), MatchContains);
    load("<config_root><mirror><mirror_list><item key='lf' value='rt'/></mirror_list></mirror></config_root>");
    EXPECT_EQ(matcher.Delimiters().size(), 4);
    EXPECT_EQ(matcher.GetMatchType(), MatchSuffix);
    ASSERT_EQ(matcher.MirrorPairs().size(), 2u);
    EXPECT_EQ(matcher.MirrorPairs()[1], std::make_pair(QString("rt"), QString("lf")));
    EXPECT_EQ(matcher.MirrorKeywords(), QStringList({"Left", "Right", "lf", "rt"}));
}

TEST(MappingTemplate, RulesFromAMappedSkeleton)
{
    std::vector<QString> joints(172);
    joints[0] = "Character1";
    joints[1] = "Character1_Hips";
    joints[9] = "Other_LeftArm";
    joints[15] = "Character1_";
    std::vector<NameMatchRule> rules(3);
    BuildTemplateRules(joints, "Character1_", NameMatcher(), rules);
    ASSERT_EQ(rules.size(), 172u);
    const auto rule = [&](int node) { return rules[node].pattern + (rules[node].useRoot ? "+root" : ""); };
    EXPECT_EQ(rule(0), "+root");
    EXPECT_EQ(rule(1), "Hips");
    EXPECT_EQ(rule(9), "");   // neither prefixed nor the root
    EXPECT_EQ(rule(15), "");  // the prefix itself
    EXPECT_EQ(rule(2), "");

    // An empty prefix keeps whole names and has no root.
    BuildTemplateRules(joints, "", NameMatcher(), rules);
    EXPECT_EQ(rule(0), "Character1");
    EXPECT_EQ(rule(9), "Other_LeftArm");
}

TEST(MappingTemplate, FileRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.xml");
    // Saving replaces whatever was there, a damaged file included.
    WriteFile(path, "<config_root><match_list>");
    std::vector<NameMatchRule> rules(172);
    rules[0] = {"", true};
    rules[1] = {"Hips", false};
    rules[171] = {"Extra", false};
    WriteMappingTemplate(path, rules);

    // One "match_list" under the root, one item per rig node named by the node,
    // "use_root" only where it is set.
    QDomDocument document;
    ASSERT_TRUE(document.setContent(ReadFile(path)));
    const QDomElement list = document.documentElement().firstChildElement();
    EXPECT_EQ(document.documentElement().tagName() + "/" + list.tagName(), "config_root/match_list");
    EXPECT_TRUE(list.nextSiblingElement().isNull());
    const QDomNodeList items = list.childNodes();
    ASSERT_EQ(items.count(), 172);
    EXPECT_EQ(items.at(0).toElement().attribute("key"), "Reference");
    EXPECT_EQ(items.at(1).toElement().attribute("value"), "Hips");
    EXPECT_EQ(items.at(171).toElement().attribute("key"), "RightShoulderExtra");
    EXPECT_EQ(ReadFile(path).count("use_root=\"true\""), 1);
    EXPECT_EQ(ReadFile(path).count("use_root"), 1);

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
    testing::internal::CaptureStdout();
    back.assign(3, NameMatchRule());
    LoadMappingTemplate(path, back);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Error in parsing"), std::string::npos);
    EXPECT_TRUE(back.empty());
}
