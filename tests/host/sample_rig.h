// Test helpers: map the shipped sample skeletons onto the rig by hand, take
// the host's rest geometry into a characterization the way the model's poll
// does, and validate it the way the model does.
#ifndef SKW_TESTS_HOST_SAMPLE_RIG_H
#define SKW_TESTS_HOST_SAMPLE_RIG_H

#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_names.h"

#include "model/characterization.h"
#include "model/validators.h"
#include "standin_host.h"

#include <QRegularExpression>

#include <cstdlib>
#include <map>
#include <string>

#include <ostream>

inline void PrintTo(const CharacterizationStatus& s, std::ostream* os)
{
    *os << "{" << s.state << ", \"" << s.message << "\"}";
}

namespace sample_rig {

inline int rigId(const std::string& name) { return VLMGetNodeIdFromName(name.c_str()); }

inline const char* const kDigits[] = {"Thumb", "Index", "Middle", "Ring", "Pinky"};

// The rig node of a sample joint, or -1 for a joint no mapping uses.
inline int RigNodeOf(const QString& file, const QString& joint)
{
    const std::string name = joint.toStdString();
    if (file == QLatin1String("rig_names.bvh"))
        return rigId(name);
    if (file == QLatin1String("namespace_colon.bvh"))
        return name.rfind("hero:", 0) == 0 ? rigId(name.substr(5)) : -1;
    if (file == QLatin1String("prefix_underscore.bvh"))
        return name.rfind("Character1_", 0) == 0 ? rigId(name.substr(11)) : -1;

    if (file == QLatin1String("biped_spaces.bvh")) {
        static const std::map<std::string, std::string> centre = {
            {"Bip01 Pelvis", "Hips"},   {"Bip01 Spine", "Spine"}, {"Bip01 Spine1", "Spine1"},
            {"Bip01 Spine2", "Spine2"}, {"Bip01 Neck", "Neck"},   {"Bip01 Head", "Head"}};
        const auto c = centre.find(name);
        if (c != centre.end())
            return rigId(c->second);
        QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^Bip01 ([LR]) (.+)$")).match(joint);
        if (!m.hasMatch())
            return -1;
        const std::string side = m.captured(1) == QLatin1String("L") ? "Left" : "Right";
        const std::string part = m.captured(2).toStdString();
        static const std::map<std::string, std::string> parts = {
            {"Thigh", "UpLeg"},           {"Calf", "Leg"},     {"Foot", "Foot"},
            {"Clavicle", "Shoulder"},     {"UpperArm", "Arm"}, {"Forearm", "ForeArm"},
            {"ForeTwist", "ForeArmRoll"}, {"Hand", "Hand"}};
        const auto p = parts.find(part);
        if (p != parts.end())
            return rigId(side + p->second);
        // Toe<i>, Toe<i>1; Finger<i>, Finger<i>1, Finger<i>2, Finger<i>Nub.
        m = QRegularExpression(QStringLiteral("^(Toe|Finger)([0-4])(|1|2|Nub)$")).match(m.captured(2));
        if (!m.hasMatch())
            return -1;
        const bool toe = m.captured(1) == QLatin1String("Toe");
        const int joint1 = m.captured(3).isEmpty()                 ? 1
                           : m.captured(3) == QLatin1String("Nub") ? 4
                                                                   : m.captured(3).toInt() + 1;
        return rigId(side + (toe ? "Foot" : "Hand") + kDigits[m.captured(2).toInt()] + std::to_string(joint1));
    }

    if (file == QLatin1String("suffix_lower.bvh")) {
        static const std::map<std::string, std::string> centre = {
            {"root", "Reference"},  {"pelvis", "Hips"},  {"spine_01", "Spine"}, {"spine_02", "Spine1"},
            {"spine_03", "Spine2"}, {"neck_01", "Neck"}, {"neck_02", "Neck1"},  {"head", "Head"}};
        const auto c = centre.find(name);
        if (c != centre.end())
            return rigId(c->second);
        if (name.rfind("ik_", 0) == 0 || name.size() < 3)
            return -1;
        const std::string suffix = name.substr(name.size() - 2);
        if (suffix != "_l" && suffix != "_r")
            return -1;
        const std::string side = suffix == "_l" ? "Left" : "Right";
        const std::string part = name.substr(0, name.size() - 2);
        static const std::map<std::string, std::string> parts = {{"thigh", "UpLeg"},
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
        const auto p = parts.find(part);
        if (p != parts.end())
            return rigId(side + p->second);
        static const std::map<std::string, std::string> digits = {
            {"bigtoe", "FootThumb"}, {"indextoe", "FootIndex"},  {"middletoe", "FootMiddle"},
            {"ringtoe", "FootRing"}, {"littletoe", "FootPinky"}, {"thumb", "HandThumb"},
            {"index", "HandIndex"},  {"middle", "HandMiddle"},   {"ring", "HandRing"},
            {"pinky", "HandPinky"}};
        const std::size_t cut = part.rfind("_0");
        if (cut == std::string::npos)
            return -1;
        const auto d = digits.find(part.substr(0, cut));
        return d == digits.end() ? -1 : rigId(side + d->second + part.substr(cut + 2));
    }
    return -1;
}

// Loads a sample into the host and assigns every joint that maps to a rig
// node; answers the number of assigned nodes (-1 when the file does not load).
inline int AssignSample(StandInHost& host, const QString& file, Characterization& c)
{
    if (!host.LoadSkeletonFile(StandInHost::SamplePath(file)))
        return -1;
    int assigned = 0;
    for (const QString& joint : host.JointNames()) {
        const int node = RigNodeOf(file, joint);
        if (node >= 0) {
            c.SetNodeName(node, joint);
            ++assigned;
        }
    }
    return assigned;
}

// The geometry poll: every assigned node's host rest geometry goes into the
// characterization when the host answers and the record differs.
inline bool PullGeometry(Characterization& c, IDCCHub& hub)
{
    bool changed = false;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!c.IsNodeAssigned(node))
            continue;
        CharacterJointGeometry geometry;
        if (!hub.GetJointGeometry(c.GetNodeName(node), node, geometry, true))
            continue;
        VLMJointGeometry record;
        JointGeometryToSdkRecord(geometry, record);
        if (VLMJointGeometryNotEqual(&record, &c.JointGeometryAt(node))) {
            c.SetJointGeometry(node, record);
            changed = true;
        }
    }
    return changed;
}

inline void* Allocate(std::uint64_t size) { return std::malloc(size); }

struct Validation {
    NodeStatusList nodes;
    CharacterizationStatus overall;
};

// Pull, build with limits and the hub, run the validators, destroy.
inline Validation Validate(Characterization& c, IDCCHub* hub, const ValidatorList& validators)
{
    Validation v;
    if (hub)
        PullGeometry(c, *hub);
    VLMCharacterDefinition words;
    const VLMCharacterHandle character(c.CreateSdkCharacter(words, true, Allocate, hub));
    RunValidators(validators, words, character.get(), c.GetNodeFlags(), v.nodes, v.overall);
    return v;
}

}  // namespace sample_rig

#endif
