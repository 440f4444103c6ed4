#include "model/mapping_template.h"
#include "model_fixture.h"

#include <cmath>
#include <limits>
#include <map>

namespace {

// The joints of suffix_lower.bvh and the rig nodes they stand for (the ik
// helper joints stand for none).
std::map<QString, QString> SuffixLowerMapping()
{
    std::map<QString, QString> m = {{"root", "Reference"},  {"pelvis", "Hips"},     {"spine_01", "Spine"},
                                    {"spine_02", "Spine1"}, {"spine_03", "Spine2"}, {"neck_01", "Neck"},
                                    {"neck_02", "Neck1"},   {"head", "Head"}};
    const char* limbs[][2] = {{"thigh", "UpLeg"},
                              {"thigh_twist_01", "UpLegRoll"},
                              {"calf", "Leg"},
                              {"calf_twist_01", "LegRoll"},
                              {"foot", "Foot"},
                              {"ball", "ToeBase"},
                              {"clavicle", "Shoulder"},
                              {"upperarm", "Arm"},
                              {"upperarm_twist_01", "ArmRoll"},
                              {"lowerarm", "ForeArm"},
                              {"lowerarm_twist_01", "ForeArmRoll"},
                              {"hand", "Hand"}};
    const char* toes[] = {"bigtoe", "indextoe", "middletoe", "ringtoe", "littletoe"};
    const char* digits[] = {"Thumb", "Index", "Middle", "Ring", "Pinky"};
    for (const auto& [side, c] : {std::pair<QString, QString>("Left", "l"), {"Right", "r"}}) {
        for (const auto& limb : limbs)
            m[QString("%1_%2").arg(limb[0], c)] = side + limb[1];
        for (int d = 0; d < 5; ++d) {
            for (int j = 1; j <= 2; ++j)
                m[QString("%1_0%2_%3").arg(toes[d]).arg(j).arg(c)] = QString("%1Foot%2%3").arg(side, digits[d]).arg(j);
            for (int j = 1; j <= 4; ++j)
                m[QString("%1_0%2_%3").arg(QString(digits[d]).toLower()).arg(j).arg(c)] =
                    QString("%1Hand%2%3").arg(side, digits[d]).arg(j);
        }
    }
    return m;
}

int NodeId(const QString& name)
{
    const std::vector<QString>& names = RigNodeNames();
    return int(std::find(names.begin(), names.end(), name) - names.begin());
}

}  // namespace

TEST_F(ModelTest, AutoMatchMapsRigNamedSkeletons)
{
    for (const char* file : {"rig_names.bvh", "namespace_colon.bvh", "prefix_underscore.bvh"}) {
        SCOPED_TRACE(file);
        Model().CreateNewCharacterization();
        LoadSample(file);
        AutoMatchScene();
        EXPECT_EQ(AssignedCount(), host_.JointCount());
        for (const QString& joint : host_.JointNames()) {
            int node = -1;
            ASSERT_TRUE(Model().FindNodeByHostName(joint, node)) << joint.toStdString();
            EXPECT_TRUE(joint.endsWith(RigNodeNames()[node])) << joint.toStdString();
        }
    }
    // Lower-case joint names end with no rig node's name.
    Model().CreateNewCharacterization();
    LoadSample("suffix_lower.bvh");
    AutoMatchScene();
    EXPECT_EQ(AssignedCount(), 0);
}

TEST_F(ModelTest, MatchingAndPrefixesGoThroughTheHostSanitizer)
{
    std::vector<NameMatchRule> rules(3);
    rules[1].pattern = "Hips";
    rules[2].useRoot = true;
    int index = -1;
    EXPECT_FALSE(Model().MatchNodeName("hero:HipsX", "hero", rules, index));
    EXPECT_TRUE(Model().MatchNodeName("HERO", "hero", rules, index));
    EXPECT_EQ(index, 2);

    // The settings' side keywords reach prefix guessing.
    QString prefix;
    EXPECT_TRUE(Model().GuessPrefix("Hero_Right_Arm", prefix));
    EXPECT_EQ(prefix, "Hero_");
    prefix.clear();
    EXPECT_TRUE(Model().GuessPrefixFromNames({"Hips", "Spine_01", "Character1_Hips"}, prefix));
    EXPECT_EQ(prefix, "Character1_");
    prefix.clear();
    EXPECT_FALSE(Model().GuessPrefixFromNames({"Hips", "Spine"}, prefix));
    EXPECT_FALSE(Model().GuessTemplatePrefix(prefix));

    // The host's sanitizer runs first; a prefix of a changed name is trimmed.
    host_.SetBoneNameSanitizer(StandInHost::StripNamespace);
    EXPECT_TRUE(Model().MatchNodeName("hero:Hips", "x", rules, index));
    EXPECT_FALSE(Model().GuessPrefix("hero:Hips", prefix));
    host_.SetBoneNameSanitizer([](const QString& name) { return QString(name).replace(':', ' '); });
    EXPECT_TRUE(Model().GuessPrefix("hero:Hips", prefix));
    EXPECT_EQ(prefix, "hero");
    host_.SetBoneNameSanitizer({});

    LoadSample("prefix_underscore.bvh");
    AutoMatchScene();
    prefix.clear();
    EXPECT_TRUE(Model().GuessTemplatePrefix(prefix));
    EXPECT_EQ(prefix, "Character1_");
}

// The shipped settings choose Contains matching and one more delimiter.
class ContainsSettingsTest : public ModelTest {
protected:
    ContainsSettingsTest()
        : ModelTest("<config_root><name_match><delimiter_list><item value=\"|\"/></delimiter_list>"
                    "<match_type value=\"Contains\"/></name_match></config_root>")
    {
    }
};

TEST_F(ContainsSettingsTest, MatchingFollowsTheSettings)
{
    std::vector<NameMatchRule> rules(2);
    rules[0].pattern = "Arm";
    rules[1].pattern = "ForeArm";
    int index = -1;
    EXPECT_TRUE(Model().MatchNodeName("char_LeftForeArm", "", rules, index));
    EXPECT_EQ(index, 1);
    QString prefix;
    EXPECT_TRUE(Model().GuessPrefix("rig|Hips", prefix));
    EXPECT_EQ(prefix, "rig|");
    // No mirror pairs in these settings: the side word stays in the prefix.
    prefix.clear();
    EXPECT_TRUE(Model().GuessPrefix("Hero_Left_Arm", prefix));
    EXPECT_EQ(prefix, "Hero_Left_");

    // A template applied with Contains matching: the longest pattern wins.
    std::vector<NameMatchRule> templateRules(172);
    templateRules[9].pattern = "LeftArm";
    templateRules[45].pattern = "LeftArmRoll";
    const QString path = TemplatePath("contains.xml");
    Model().WriteMappingTemplate(path.toUtf8().constData(), templateRules);
    LoadSample("rig_names.bvh");
    Model().ApplyMappingTemplate(path.toUtf8().constData(), 0, "");
    EXPECT_EQ(Current().GetNodeName(9), "LeftArm");
    EXPECT_EQ(Current().GetNodeName(45), "LeftArmRoll");
    EXPECT_EQ(AssignedCount(), 2);
}

TEST_F(ModelTest, MirrorMatchingBothWays)
{
    LoadSample("rig_names.bvh");
    int mirrorNode = 0;
    QString mirrorJoint = "untouched";
    // Mirror mode off: nothing is looked for.
    Model().AssignNodeAndFindMirror(9, "LeftArm", mirrorNode, mirrorJoint);
    EXPECT_EQ(mirrorNode, -1);
    EXPECT_EQ(mirrorJoint, "untouched");

    Model().SetMirrorMode(true);
    host_.ClearRecords();
    const auto mirror = [&](int node, const char* joint) {
        Model().AssignNodeAndFindMirror(node, joint, mirrorNode, mirrorJoint);
        return mirrorNode < 0 ? QString("none") : QString("%1 %2").arg(mirrorNode).arg(mirrorJoint);
    };
    EXPECT_EQ(mirror(9, "LeftArm"), "12 RightArm");
    EXPECT_FALSE(Current().IsNodeAssigned(12));  // the caller assigns the mirror
    EXPECT_EQ(host_.SkeletonUpdates().size(), 1u);
    EXPECT_EQ(mirror(13, "RightForeArm"), "10 LeftForeArm");
    EXPECT_EQ(mirror(1, "Hips"), "none");  // a centre node has no mirror
    // Without RightArm in the skeleton the first joint containing it answers.
    host_.RemoveJoint("RightArm");
    EXPECT_EQ(mirror(9, "LeftArm"), "12 RightArmRoll");
    host_.RemoveJoint("RightArmRoll");
    EXPECT_EQ(mirror(9, "LeftArm"), "none");
    // The lower-case side suffix of the settings.
    LoadSample("suffix_lower.bvh");
    EXPECT_EQ(mirror(11, "hand_l"), "14 hand_r");
}

// Without a bridge there is no settings file: a reload keeps the pairs the
// model was given.
TEST(ModelWithoutBridge, MirrorPairsSurviveAReload)
{
    StandInHost host;
    ASSERT_TRUE(host.LoadSkeletonFile(StandInHost::SamplePath("rig_names.bvh")));
    CharacterizationModel model(nullptr, &host);
    model.SetMirrorMode(true);
    model.AddMirrorPair("Left", "Right");
    model.LoadMirrorList();
    int mirrorNode = -1;
    QString mirrorJoint;
    model.AssignNodeAndFindMirror(9, "LeftArm", mirrorNode, mirrorJoint);
    EXPECT_EQ(mirrorNode, 12);
    EXPECT_EQ(mirrorJoint, "RightArm");
}

TEST_F(ModelTest, TemplateFromOneSkeletonAppliedToAnother)
{
    // Character1's skeleton with a root joint named like the prefix.
    LoadRenamedSample("prefix_underscore.bvh", "Character1_", "Character1_", "Character1");
    AutoMatchScene();
    Model().AssignNode(0, "Character1");  // Reference on the root joint
    Model().AssignNode(2, "Elsewhere");   // neither prefixed nor the root
    const QByteArray path = TemplatePath("character.xml").toUtf8();
    SignalCounter saved(Model());
    Model().SaveMappingTemplate(path.constData(), "Character1_");
    EXPECT_EQ(saved.changed.count(), 0);
    EXPECT_EQ(Model().GetLastOperationMessage(), "Template successfully saved.");
    std::vector<NameMatchRule> rules;
    Model().LoadMappingTemplate(path.constData(), rules);
    ASSERT_EQ(rules.size(), 172u);
    EXPECT_TRUE(rules[0].useRoot);

    // Character2's skeleton: the same convention, another prefix.
    LoadRenamedSample("prefix_underscore.bvh", "Character1_", "Character2_", "Character2");
    Model().CreateNewCharacterization();
    SignalCounter applied(Model());
    const int mapped = Model().ApplyMappingTemplate(path.constData(), 0, "Character2_");
    EXPECT_EQ(applied.changed.count(), 1);
    EXPECT_EQ(mapped, AssignedCount());
    EXPECT_EQ(Model().GetLastOperationMessage(), QString("Template applied: %1 nodes mapped.").arg(mapped));
    EXPECT_EQ(Current().GetNodeName(0), "Character2");
    EXPECT_EQ(Current().GetNodeName(1), "Character2_Hips");
    EXPECT_EQ(Current().GetNodeName(2), "");
    EXPECT_EQ(Current().GetNodeName(45), "Character2_LeftArmRoll");
    // Every joint but Character2_Reference (whose node took the root) and the
    // one left out by the hand assignment is mapped.
    EXPECT_EQ(AssignedCount(), host_.JointCount() - 2);

    // Only the selection, whatever its prefix.
    Model().CreateNewCharacterization();
    host_.SetSelection({"Character2_Head", "Character2_Neck", "Character2"});
    EXPECT_EQ(Model().ApplyMappingTemplate(path.constData(), 1, "Character2_"), 3);
    EXPECT_EQ(AssignedCount(), 3);
    // A prefix no joint carries maps nothing, and says so.
    host_.SetSelection({"Character2_Head"});
    EXPECT_EQ(Model().ApplyMappingTemplate(path.constData(), 1, "Character3_"), 1);
    EXPECT_EQ(Model().GetLastOperationMessage(), "Template applied: 1 node mapped.");
    EXPECT_EQ(Model().ApplyMappingTemplate(path.constData(), 0, "Character3_"), 0);
    EXPECT_EQ(Model().GetLastOperationMessage(), "No joint matched the template: nothing was mapped.");

    // A template that does not have exactly 172 rules, or none, applies nothing.
    rules.pop_back();
    const QByteArray shortPath = TemplatePath("short.xml").toUtf8();
    Model().WriteMappingTemplate(shortPath.constData(), rules);
    Model().CreateNewCharacterization();
    host_.ClearRecords();
    SignalCounter ignored(Model());
    EXPECT_EQ(Model().ApplyMappingTemplate(shortPath.constData(), 0, "Character2_"), -1);
    EXPECT_EQ(Model().GetLastOperationMessage(),
              "The template could not be applied: short.xml holds 171 mapping rules, not 172.");
    EXPECT_EQ(Model().ApplyMappingTemplate(TemplatePath("missing.xml").toUtf8().constData(), 0, "Character2_"), -1);
    EXPECT_EQ(ignored.changed.count(), 0);
    EXPECT_EQ(AssignedCount(), 0);
    EXPECT_TRUE(host_.NotificationLog().isEmpty());
}

TEST_F(ModelTest, LowerCaseSkeletonMapsThroughATemplate)
{
    LoadSample("suffix_lower.bvh");
    const std::map<QString, QString> mapping = SuffixLowerMapping();
    ASSERT_EQ(mapping.size(), 92u);
    for (const auto& [joint, node] : mapping) {
        ASSERT_TRUE(host_.JointNames().contains(joint)) << joint.toStdString();
        Model().AssignNode(NodeId(node), joint);
    }
    const QByteArray path = TemplatePath("lower.xml").toUtf8();
    // A save that cannot write its file says so and does not claim success.
    const QByteArray nowhere = TemplatePath("missing-folder/lower.xml").toUtf8();
    EXPECT_FALSE(Model().SaveMappingTemplate(nowhere.constData(), ""));
    EXPECT_NE(Model().GetLastOperationMessage(), "Template successfully saved.");
    // Nor does one whose path goes up out of its folder.
    ASSERT_TRUE(QDir().mkpath(TemplatePath("template")));
    const QByteArray up = TemplatePath("template/../up.xml").toUtf8();
    EXPECT_FALSE(Model().SaveMappingTemplate(up.constData(), ""));
    EXPECT_EQ(Model().GetLastOperationMessage(), "The template could not be saved: " + up +
                                                     " was not saved: its path goes up out of its folder (\"..\").");
    EXPECT_FALSE(QFileInfo::exists(TemplatePath("up.xml")));
    ASSERT_TRUE(Model().SaveMappingTemplate(path.constData(), ""));
    EXPECT_EQ(Model().GetLastOperationMessage(), "Template successfully saved.");

    // A later helper joint that only ends with a pattern ("ik_hand_l" after
    // "hand_l", "ik_foot_root" after "root") does not take the node of the
    // joint named exactly like it.
    Model().CreateNewCharacterization();
    Model().ApplyMappingTemplate(path.constData(), 0, "");
    EXPECT_EQ(AssignedCount(), 92);
    for (const auto& [joint, node] : mapping)
        EXPECT_EQ(Current().GetNodeName(NodeId(node)), joint) << node.toStdString();

    // A partial match still replaces an earlier partial match, and an exact
    // one replaces a partial one.
    std::vector<NameMatchRule> rules(172);
    rules[11].pattern = "hand_l";
    const QString handPath = TemplatePath("hand.xml");
    WriteMappingTemplate(handPath, rules);
    Model().CreateNewCharacterization();
    host_.SetSelection({"ik_hand_l", "xhand_l"});
    Model().ApplyMappingTemplate(handPath.toUtf8().constData(), 1, "");
    EXPECT_EQ(Current().GetNodeName(11), "xhand_l");
    host_.SetSelection({"ik_hand_l", "hand_l", "ik_hand_l"});
    Model().ApplyMappingTemplate(handPath.toUtf8().constData(), 1, "");
    EXPECT_EQ(Current().GetNodeName(11), "hand_l");
}

TEST_F(ModelTest, PollRevalidatesOnlyOnChange)
{
    LoadSample("rig_names.bvh");
    AutoMatchScene();
    host_.ClearRecords();
    const auto changesOver = [&](int ticks) {
        SignalCounter counter(Model());
        while (ticks-- > 0)
            Tick();
        return counter.changed.count();
    };

    // Nothing changed: every assigned joint asked once, PostCharacterUpdate once, no signal.
    EXPECT_EQ(changesOver(1), 0);
    EXPECT_EQ(int(host_.GeometryQueries().size()), host_.JointCount());
    EXPECT_EQ(host_.PostUpdateQueries(), QStringList({"--- None ---"}));
    EXPECT_EQ(host_.GeometryQueries()[1], (StandInHost::GeometryQuery{"Hips", 1, true}));

    // A moved joint is stored and revalidated once.
    host_.MoveJoint("LeftHand", 2, 0, 0);
    EXPECT_EQ(changesOver(2), 1);
    EXPECT_EQ(Current().JointGeometryAt(11).translate[0], 71.0f);

    // A joint the host cannot answer for is skipped.
    host_.SetGeometryQueryFails("Head", true);
    host_.MoveJoint("Head", 0, 5, 0);
    EXPECT_EQ(changesOver(1), 0);
    host_.SetGeometryQueryFails("Head", false);
    EXPECT_EQ(changesOver(1), 1);

    // A parent offset of its own is not a change; PostCharacterUpdate is.
    CharacterJointGeometry g;
    host_.RestGeometry("Spine", g);
    g.SetParentOffsetRotateQ(0, 0, 0.7071f, 0.7071f);
    host_.SetJointGeometry("Spine", g);
    EXPECT_EQ(changesOver(1), 0);
    host_.SetPostCharacterUpdateMode(StandInHost::PostUpdateOnce);
    EXPECT_EQ(changesOver(2), 1);

    // A NaN from the host is a change once, not on every tick.
    host_.RestGeometry("LeftArm", g);
    g.SetTranslate(std::numeric_limits<float>::quiet_NaN(), 144, 0);
    host_.SetJointGeometry("LeftArm", g);
    EXPECT_EQ(changesOver(3), 1);
    EXPECT_TRUE(std::isnan(Current().JointGeometryAt(9).translate[0]));

    // A record with limits gives the node a full rotation definition.
    host_.RestGeometry("LeftForeArm", g);
    g.SetMaxRLimitEnable(false, true, false);
    host_.SetJointGeometry("LeftForeArm", g);
    Tick();
    EXPECT_TRUE(Current().IsNodeComplete(10));
}
