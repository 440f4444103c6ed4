// Writes the demo's install data: the settings file with the mirror pairs, and
// one mapping template per naming style of the sample skeletons.
//
// Each template comes from the style's sample, mapped by the style's rules and
// validated, and is written by the model's own template writer with the style's
// prefix. The rules name every rig node the style has a name for, also where
// the one sample leaves a joint out, so that the template serves other
// skeletons of that style.
//
//   make_demo_data DATA_DIR    writes DATA_DIR/config and DATA_DIR/template
#include "standin_host.h"

#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/name_matching.h"
#include "model/xml_settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <functional>
#include <iostream>
#include <map>

namespace {

using JointNaming = std::function<QString(const QString& node)>;

struct Style {
    const char* sample;
    const char* templateName;  // listed in reverse name order: the rig names come first
    const char* prefix;
    JointNaming jointOf;  // the joint name the style gives a rig node; empty for none
};

const char* const kDigits[] = {"Thumb", "Index", "Middle", "Ring", "Pinky"};
const char* const kSides[] = {"Left", "Right"};

// Looks a node up in a table built once per style.
JointNaming fromTable(std::map<QString, QString> table)
{
    return [table](const QString& node) {
        const auto it = table.find(node);
        return it == table.end() ? QString() : it->second;
    };
}

// "Bip01 L Thigh": every joint under a numbered prefix, the side as a spaced
// letter, fingers and toes numbered from 0 with their links as 1, 2 and Nub.
// The numbered root sits where the pelvis is, so it maps to no rig node.
JointNaming bipedNaming()
{
    const QString p = QStringLiteral("Bip01 ");
    std::map<QString, QString> t = {
        {"Hips", p + "Pelvis"}, {"Spine", p + "Spine"}, {"Neck", p + "Neck"}, {"Head", p + "Head"}};
    for (int i = 1; i <= 9; ++i) {
        t[QStringLiteral("Spine%1").arg(i)] = p + QStringLiteral("Spine%1").arg(i);
        t[QStringLiteral("Neck%1").arg(i)] = p + QStringLiteral("Neck%1").arg(i);
    }
    const std::map<QString, QString> limbs = {{"Shoulder", "Clavicle"},
                                              {"Arm", "UpperArm"},
                                              {"ArmRoll", "UpArmTwist"},
                                              {"ForeArm", "Forearm"},
                                              {"ForeArmRoll", "ForeTwist"},
                                              {"Hand", "Hand"},
                                              {"UpLeg", "Thigh"},
                                              {"UpLegRoll", "ThighTwist"},
                                              {"Leg", "Calf"},
                                              {"LegRoll", "CalfTwist"},
                                              {"Foot", "Foot"}};
    const QStringList links = {QString(), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("Nub")};
    for (const char* side : kSides) {
        const QString s = p + (QLatin1String(side) == QLatin1String("Left") ? "L " : "R ");
        for (const auto& limb : limbs)
            t[side + limb.first] = s + limb.second;
        for (int d = 0; d < 5; ++d) {
            for (int link = 0; link < 4; ++link) {
                const QString end = QString::number(d) + links[link];
                t[QStringLiteral("%1Hand%2%3").arg(side, kDigits[d]).arg(link + 1)] = s + "Finger" + end;
                t[QStringLiteral("%1Foot%2%3").arg(side, kDigits[d]).arg(link + 1)] = s + "Toe" + end;
            }
        }
    }
    return fromTable(t);
}

// "thigh_l": lower case, numbered chain links, the side as a suffix, twist
// joints for the roll bones.
JointNaming lowerSuffixNaming()
{
    std::map<QString, QString> t = {{"Reference", "root"}, {"Hips", "pelvis"}, {"Head", "head"}};
    t["Spine"] = "spine_01";
    t["Neck"] = "neck_01";
    for (int i = 1; i <= 9; ++i) {
        t[QStringLiteral("Spine%1").arg(i)] = QStringLiteral("spine_%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        t[QStringLiteral("Neck%1").arg(i)] = QStringLiteral("neck_%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    const std::map<QString, QString> limbs = {{"Shoulder", "clavicle"},
                                              {"Arm", "upperarm"},
                                              {"ArmRoll", "upperarm_twist_01"},
                                              {"ForeArm", "lowerarm"},
                                              {"ForeArmRoll", "lowerarm_twist_01"},
                                              {"Hand", "hand"},
                                              {"UpLeg", "thigh"},
                                              {"UpLegRoll", "thigh_twist_01"},
                                              {"Leg", "calf"},
                                              {"LegRoll", "calf_twist_01"},
                                              {"Foot", "foot"},
                                              {"ToeBase", "ball"}};
    const char* const fingers[] = {"thumb", "index", "middle", "ring", "pinky"};
    const char* const toes[] = {"bigtoe", "indextoe", "middletoe", "ringtoe", "littletoe"};
    for (const char* side : kSides) {
        const QString s = QLatin1String(side) == QLatin1String("Left") ? "_l" : "_r";
        for (const auto& limb : limbs)
            t[side + limb.first] = limb.second + s;
        for (int d = 0; d < 5; ++d) {
            for (int link = 1; link <= 4; ++link) {
                const QString number = QStringLiteral("_%1").arg(link, 2, 10, QLatin1Char('0'));
                t[QStringLiteral("%1Hand%2%3").arg(side, kDigits[d]).arg(link)] = fingers[d] + number + s;
                t[QStringLiteral("%1Foot%2%3").arg(side, kDigits[d]).arg(link)] = toes[d] + number + s;
            }
        }
    }
    return fromTable(t);
}

// The rig's own node names behind a prefix.
JointNaming rigNaming(const QString& prefix)
{
    return [prefix](const QString& node) { return prefix + node; };
}

bool writeSettings(const QString& dataDir)
{
    const QString folder = dataDir + QStringLiteral("/config");
    const QString path = folder + QStringLiteral("/skelwright.xml");
    QDir().mkpath(folder);
    QFile::remove(path);
    XmlSettingsStore store(path);
    store.SetPairList(QStringLiteral("mirror"), QStringLiteral("mirror_list"),
                      {{QStringLiteral("Left"), QStringLiteral("Right")},
                       {QStringLiteral(" L "), QStringLiteral(" R ")},
                       {QStringLiteral("_l"), QStringLiteral("_r")}});
    return store.Write();
}

bool writeTemplate(const Style& style, const QString& folder)
{
    StandInHost host;
    QString error;
    if (!host.LoadSkeletonFile(StandInHost::SamplePath(QLatin1String(style.sample)), &error)) {
        std::cerr << error.toStdString() << std::endl;
        return false;
    }
    CharacterizationModel model(nullptr, &host);
    model.AddCharacterization(new Characterization(QStringLiteral("Template"), nullptr));

    // The sample mapped by the style must be valid, or the rules are wrong.
    const std::vector<QString>& nodes = RigNodeNames();
    for (int node = 0; node < int(nodes.size()); ++node) {
        const QString joint = style.jointOf(nodes[std::size_t(node)]);
        if (host.HasNode(joint))
            model.AssignNode(node, joint);
    }
    model.Refresh();
    if (!model.GetStatus().IsOk()) {
        std::cerr << style.sample << " mapped by its style is not valid: " << model.GetStatus().message << std::endl;
        return false;
    }
    for (int node = 0; node < int(nodes.size()); ++node) {
        const QString joint = style.jointOf(nodes[std::size_t(node)]);
        if (!joint.isEmpty() && model.GetNodeHostName(node).isEmpty())
            model.AssignNode(node, joint);
    }

    const QString path = folder + QLatin1Char('/') + QLatin1String(style.templateName) + QStringLiteral(".xml");
    if (!model.SaveMappingTemplate(path.toUtf8().constData(), QLatin1String(style.prefix))) {
        std::cerr << "cannot write " << path.toStdString() << std::endl;
        return false;
    }
    std::cout << path.toStdString() << std::endl;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // The XML writer orders attributes by hash: a fixed seed makes the files
    // come out the same on every run.
    qSetGlobalQHashSeed(0);
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: make_demo_data DATA_DIR" << std::endl;
        return 2;
    }
    const QString dataDir = QFile::decodeName(argv[1]);
    const Style styles[] = {
        {"rig_names.bvh", "Rig Names", "", rigNaming(QString())},
        {"prefix_underscore.bvh", "Prefixed Names", "Character1_", rigNaming(QStringLiteral("Character1_"))},
        {"namespace_colon.bvh", "Namespaced Names", "hero:", rigNaming(QStringLiteral("hero:"))},
        {"suffix_lower.bvh", "Lower Case Suffix", "", lowerSuffixNaming()},
        {"biped_spaces.bvh", "Biped", "Bip01 ", bipedNaming()},
    };

    if (!writeSettings(dataDir)) {
        std::cerr << "cannot write the settings file" << std::endl;
        return 1;
    }
    const QString folder = dataDir + QStringLiteral("/template");
    QDir().mkpath(folder);
    for (const Style& style : styles) {
        if (!writeTemplate(style, folder))
            return 1;
    }
    return 0;
}
