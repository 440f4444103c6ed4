#include "bvh_reader.h"
#include "standin_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

namespace {

const std::string kDataDir = SKW_TEST_DATA_DIR "/bvh/";

std::string samplePath(const char* file)
{
    return StandInHost::SamplePath(QString::fromLatin1(file)).toStdString();
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const BvhJoint* find(const BvhSkeleton& s, const std::string& name)
{
    for (const BvhJoint& j : s.joints) {
        if (j.name == name)
            return &j;
    }
    return nullptr;
}

std::string parentName(const BvhSkeleton& s, const std::string& name)
{
    const BvhJoint* j = find(s, name);
    if (!j || j->parent < 0)
        return std::string();
    return s.joints[static_cast<std::size_t>(j->parent)].name;
}

// Text of a minimal valid file with `depth` joints nested one in another.
std::string nested(int depth)
{
    std::string text = "HIERARCHY\n";
    for (int i = 0; i < depth; ++i) {
        text += (i == 0 ? "ROOT j" : "JOINT j") + std::to_string(i) + "\n{\nOFFSET 0 1 0\nCHANNELS 3 Zrotation Xrotation Yrotation\n";
    }
    for (int i = 0; i < depth; ++i)
        text += "}\n";
    return text;
}

} // namespace

struct SampleExpectation {
    const char* file;
    std::size_t joints;
    const char* root;
    // One joint with its parent and offset.
    const char* joint;
    const char* parent;
    float offset[3];
};

TEST(BvhReader, ReadsEverySampleSkeleton)
{
    const SampleExpectation samples[] = {
        {"rig_names.bvh", 92, "Reference", "LeftLeg", "LeftUpLegRoll", {0, -21, 0}},
        {"namespace_colon.bvh", 83, "hero:Hips", "hero:LeftHandThumb1", "hero:LeftHand", {2, -1, 3}},
        {"prefix_underscore.bvh", 92, "Character1_Reference", "Character1_LeftArmRoll",
         "Character1_LeftArm", {14, 0, 0}},
        {"biped_spaces.bvh", 84, "Bip01", "Bip01 L Clavicle", "Bip01 Neck", {3, -6, 0}},
        {"suffix_lower.bvh", 99, "root", "ik_hand_l", "ik_hand_gun", {138, 0, 0}},
    };
    ASSERT_EQ(StandInHost::SampleFiles().size(), 5);
    for (const SampleExpectation& e : samples) {
        SCOPED_TRACE(e.file);
        BvhSkeleton s;
        BvhError error;
        ASSERT_TRUE(ReadBvhFile(samplePath(e.file), s, error)) << error.Message();
        EXPECT_EQ(s.joints.size(), e.joints);
        ASSERT_FALSE(s.joints.empty());
        EXPECT_EQ(s.joints[0].name, e.root);
        EXPECT_EQ(s.joints[0].parent, -1);
        EXPECT_EQ(s.joints[0].channelCount, 6);
        for (std::size_t i = 1; i < s.joints.size(); ++i) {
            EXPECT_GE(s.joints[i].parent, 0) << s.joints[i].name;  // one root only
            EXPECT_LT(s.joints[i].parent, static_cast<int>(i)) << s.joints[i].name;
            EXPECT_EQ(s.joints[i].channelCount, 3);
        }
        const BvhJoint* j = find(s, e.joint);
        ASSERT_NE(j, nullptr);
        EXPECT_EQ(parentName(s, e.joint), e.parent);
        EXPECT_EQ(j->offset[0], e.offset[0]);
        EXPECT_EQ(j->offset[1], e.offset[1]);
        EXPECT_EQ(j->offset[2], e.offset[2]);
    }
}

TEST(BvhReader, KeepsNamesWithBlanksAndTheParentsOfEachStyle)
{
    BvhSkeleton s;
    BvhError error;
    ASSERT_TRUE(ReadBvhFile(samplePath("biped_spaces.bvh"), s, error)) << error.Message();
    EXPECT_EQ(parentName(s, "Bip01 L Thigh"), "Bip01 Pelvis");
    EXPECT_EQ(parentName(s, "Bip01 R Finger4Nub"), "Bip01 R Finger42");
    EXPECT_EQ(parentName(s, "Bip01 R Toe41"), "Bip01 R Toe4");
    EXPECT_NE(find(s, "Bip01 Footsteps"), nullptr);

    ASSERT_TRUE(ReadBvhFile(samplePath("suffix_lower.bvh"), s, error)) << error.Message();
    EXPECT_EQ(parentName(s, "thigh_twist_01_l"), "thigh_l");
    EXPECT_EQ(parentName(s, "calf_l"), "thigh_l");
    EXPECT_EQ(parentName(s, "littletoe_02_r"), "littletoe_01_r");
    EXPECT_EQ(parentName(s, "pinky_04_r"), "pinky_03_r");
    // End Sites are not joints.
    EXPECT_EQ(find(s, "End Site"), nullptr);
}

struct MalformedCase {
    const char* file;
    int line;
    const char* reason; // a part of the reason
};

TEST(BvhReader, EveryMalformedFileGivesItsErrorWithFileAndLine)
{
    const MalformedCase cases[] = {
        {"unbalanced_open.bvh", 14, "unbalanced braces, 1 block(s) not closed"},
        {"unbalanced_close.bvh", 11, "unbalanced braces: '}' without an open block"},
        {"missing_offset.bvh", 8, "missing OFFSET before CHANNELS"},
        {"missing_offset_empty_block.bvh", 4, "missing OFFSET in joint 'Hips'"},
        {"bad_number.bvh", 8, "bad number '1O' in OFFSET"},
        {"decimal_comma.bvh", 4, "bad number '100,5'"},
        {"nan_offset.bvh", 4, "bad number 'nan'"},
        {"huge_offset.bvh", 4, "bad number '1e39'"},
        {"offset_two_numbers.bvh", 4, "OFFSET needs three numbers, found 2"},
        {"duplicate_name.bvh", 11, "duplicate joint name 'LeftUpLeg' (first at line 6)"},
        {"channels_count_mismatch.bvh", 9, "CHANNELS count mismatch: count 3, 2 channel(s) listed"},
        {"channels_missing.bvh", 9, "missing CHANNELS before JOINT 'Spine1'"},
        {"channels_unknown.bvh", 5, "unknown channel 'Wrotation'"},
        {"end_site_channels.bvh", 9, "CHANNELS in an End Site"},
        {"end_site_child.bvh", 9, "JOINT inside an End Site"},
        {"end_site_without_offset.bvh", 8, "missing OFFSET in the End Site of line 6"},
        {"motion_inside_block.bvh", 6, "MOTION inside an open block: unbalanced braces"},
        {"no_hierarchy.bvh", 1, "expected HIERARCHY"},
        {"empty.bvh", 0, "empty file"},
        {"no_root.bvh", 2, "no ROOT joint"},
        {"missing_open_brace.bvh", 3, "expected '{' after joint 'Hips', found 'OFFSET 0 100 0'"},
        {"joint_outside_root.bvh", 2, "JOINT 'Spine' outside a ROOT block"},
        {"brace_in_name.bvh", 2, "brace in the joint name"},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = kDataDir + c.file;
        BvhSkeleton s;
        s.joints.resize(3);  // a failed read leaves nothing behind
        BvhError error;
        EXPECT_FALSE(ReadBvhFile(path, s, error));
        EXPECT_TRUE(s.joints.empty());
        EXPECT_EQ(error.file, path);
        EXPECT_EQ(error.line, c.line);
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
        const std::string prefix = c.line > 0 ? path + ":" + std::to_string(c.line) + ": " : path + ": ";
        EXPECT_EQ(error.Message(), prefix + error.reason);
    }
}

TEST(BvhReader, MissingFileAndBinaryDataAreErrors)
{
    BvhSkeleton s;
    BvhError error;
    EXPECT_FALSE(ReadBvhFile(kDataDir + "does_not_exist.bvh", s, error));
    EXPECT_EQ(error.Message(), kDataDir + "does_not_exist.bvh: cannot open the file");

    std::string text = readAll(samplePath("rig_names.bvh"));
    text[text.size() / 2] = '\0';
    EXPECT_FALSE(ReadBvhText(text, "mem", s, error));
    EXPECT_NE(error.reason.find("NUL"), std::string::npos);
}

TEST(BvhReader, DepthIsBoundedWithoutRecursion)
{
    BvhSkeleton s;
    BvhError error;
    ASSERT_TRUE(ReadBvhText(nested(kBvhMaxDepth), "deep", s, error)) << error.Message();
    EXPECT_EQ(s.joints.size(), static_cast<std::size_t>(kBvhMaxDepth));
    EXPECT_EQ(s.joints.back().parent, kBvhMaxDepth - 2);

    EXPECT_FALSE(ReadBvhText(nested(kBvhMaxDepth + 1), "deeper", s, error));
    EXPECT_EQ(error.line, 2 + 4 * kBvhMaxDepth);  // the JOINT line of the extra level
    EXPECT_NE(error.reason.find("nested deeper than 128"), std::string::npos);
    // Far beyond the bound: still a clean error, no stack exhaustion.
    EXPECT_FALSE(ReadBvhText(nested(50000), "abyss", s, error));
    EXPECT_TRUE(s.joints.empty());
}

TEST(BvhReader, JointCountIsBounded)
{
    std::string text = "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 0\n";
    for (int i = 0; i < kBvhMaxJoints; ++i)
        text += "JOINT j" + std::to_string(i) + "\n{\nOFFSET 1 0 0\nCHANNELS 0\n}\n";
    text += "}\n";
    BvhSkeleton s;
    BvhError error;
    EXPECT_FALSE(ReadBvhText(text, "wide", s, error));
    EXPECT_NE(error.reason.find("more than 10000 joints"), std::string::npos);
}

TEST(BvhReader, AcceptsCrLfTabsAndSignedNumbersAndIgnoresMotion)
{
    const std::string text =
        "HIERARCHY\r\n\r\nROOT  Bip01 L Thigh \r\n{\r\n\tOFFSET +1.5 -2e1 .25\r\n"
        "\tCHANNELS 3 Xrotation Yrotation Zrotation\r\n\tEnd Site\r\n\t{\r\n\t\tOFFSET 0 0 0\r\n\t}\r\n}\r\n"
        "MOTION\r\nFrames: 2\r\nnot read at all {{{\r\n";
    BvhSkeleton s;
    BvhError error;
    ASSERT_TRUE(ReadBvhText(text, "crlf", s, error)) << error.Message();
    ASSERT_EQ(s.joints.size(), 1u);
    EXPECT_EQ(s.joints[0].name, "Bip01 L Thigh");
    EXPECT_EQ(s.joints[0].offset[0], 1.5f);
    EXPECT_EQ(s.joints[0].offset[1], -20.0f);
    EXPECT_EQ(s.joints[0].offset[2], 0.25f);
    EXPECT_EQ(s.joints[0].line, 3);
}

TEST(BvhReader, DamagedSamplesNeverCrashAndNeverHalfLoad)
{
    const std::string good = readAll(samplePath("biped_spaces.bvh"));
    ASSERT_FALSE(good.empty());
    const int lines = 1 + static_cast<int>(std::count(good.begin(), good.end(), '\n'));
    BvhSkeleton s;
    BvhError error;
    // Every truncation before the root's closing brace fails with a line
    // inside the file.
    const std::size_t motion = good.find("MOTION");
    for (std::size_t cut = 0; cut + 1 < motion; cut += 53) {
        const bool ok = ReadBvhText(good.substr(0, cut), "cut", s, error);
        ASSERT_FALSE(ok) << "cut at " << cut;
        EXPECT_TRUE(s.joints.empty());
        EXPECT_LE(error.line, lines);
    }
    // Random byte damage: any answer is fine, as long as it is a whole one.
    std::mt19937 random(20240607u);
    const char noise[] = {'{', '}', ' ', '\n', 'x', '-', '.', '9', '\t', '\r'};
    for (int round = 0; round < 400; ++round) {
        std::string damaged = good.substr(0, motion);
        for (int k = 0; k < 4; ++k)
            damaged[random() % damaged.size()] = noise[random() % sizeof noise];
        if (ReadBvhText(damaged, "noise", s, error)) {
            EXPECT_FALSE(s.joints.empty());
            for (std::size_t i = 0; i < s.joints.size(); ++i)
                EXPECT_LT(s.joints[i].parent, static_cast<int>(i));
        } else {
            EXPECT_TRUE(s.joints.empty());
            EXPECT_GT(error.line, 0);
            EXPECT_FALSE(error.reason.empty());
        }
    }
}
