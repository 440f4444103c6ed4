#include "bvh_reader.h"
#include "standin_host.h"

#include "test_support_fs.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

const std::string kDataDir = SKW_TEST_DATA_DIR "/bvh/";

std::string samplePath(const char* file) { return StandInHost::SamplePath(QString::fromLatin1(file)).toStdString(); }

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A valid file with `depth` joints nested one in another.
std::string nested(int depth)
{
    std::string text = "HIERARCHY\n";
    for (int i = 0; i < depth; ++i)
        text += (i == 0 ? "ROOT j" : "JOINT j") + std::to_string(i) + "\n{\nOFFSET 0 1 0\nCHANNELS 0\n";
    for (int i = 0; i < depth; ++i)
        text += "}\n";
    return text;
}

}  // namespace

// The samples are read through the stand-in host (test_standin_host.cpp).

TEST(BvhReader, EveryMalformedFileGivesItsErrorWithFileAndLine)
{
    const struct {
        const char* file;
        int line;
        const char* reason;  // a part of the reason
    } cases[] = {
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
        {"does_not_exist.bvh", 0, "cannot open the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = kDataDir + c.file;
        BvhSkeleton s;
        s.joints.resize(3);  // a failed read leaves nothing behind
        BvhError error;
        EXPECT_FALSE(ReadBvhFile(path, s, error));
        EXPECT_TRUE(s.joints.empty());
        EXPECT_EQ(error.line, c.line);
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
        const std::string prefix = c.line > 0 ? path + ":" + std::to_string(c.line) + ": " : path + ": ";
        EXPECT_EQ(error.Message(), prefix + error.reason);
    }

    // A folder, and a named pipe (whose opening would wait for a writer).
    QTemporaryDir dir;
    const std::string pipe = dir.filePath("take.bvh").toStdString();
    const FifoWatch watch(pipe);
    ASSERT_TRUE(watch.Made());
    for (const auto& c : {std::make_pair(pipe, "not a regular file: a pipe, a socket or a device"),
                          std::make_pair(dir.path().toStdString(), "a folder, not a file")}) {
        BvhSkeleton s;
        BvhError error;
        EXPECT_FALSE(ReadBvhFile(c.first, s, error));
        EXPECT_EQ(error.Message(), c.first + ": " + c.second);
    }
    EXPECT_FALSE(watch.WasOpened());
}

TEST(BvhReader, DepthAndSizeAreBoundedWithoutRecursion)
{
    BvhSkeleton s;
    BvhError error;
    ASSERT_TRUE(ReadBvhText(nested(kBvhMaxDepth), "deep", s, error)) << error.Message();
    EXPECT_EQ(s.joints.back().parent, kBvhMaxDepth - 2);
    EXPECT_FALSE(ReadBvhText(nested(kBvhMaxDepth + 1), "deeper", s, error));
    EXPECT_EQ(error.line, 2 + 4 * kBvhMaxDepth);  // the JOINT line of the extra level
    EXPECT_NE(error.reason.find("nested deeper than 128"), std::string::npos);
    // Far beyond the bound: still a clean error, no stack exhaustion.
    EXPECT_FALSE(ReadBvhText(nested(50000), "abyss", s, error));

    std::string wide = "HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 0\n";
    for (int i = 0; i < kBvhMaxJoints; ++i)
        wide += "JOINT j" + std::to_string(i) + "\n{\nOFFSET 1 0 0\nCHANNELS 0\n}\n";
    EXPECT_FALSE(ReadBvhText(wide + "}\n", "wide", s, error));
    EXPECT_NE(error.reason.find("more than 10000 joints"), std::string::npos);

    std::string text = readAll(samplePath("rig_names.bvh"));
    text[text.size() / 2] = '\0';
    EXPECT_FALSE(ReadBvhText(text, "mem", s, error));
    EXPECT_NE(error.reason.find("NUL"), std::string::npos);
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
    EXPECT_EQ(s.joints[0].channelCount, 3);
    EXPECT_EQ(s.joints[0].line, 3);

    for (const char* number : {"+-1", "++1", "+", "-"}) {
        const std::string bad = "HIERARCHY\nROOT r\n{\nOFFSET " + std::string(number) + " 0 0\n";
        EXPECT_FALSE(ReadBvhText(bad, "sign", s, error)) << number;
        EXPECT_EQ(error.reason, "bad number '" + std::string(number) + "' in OFFSET");
    }
}

// A UTF-8 byte-order mark in front is accepted; file text quoted in an error
// shows control and non-ASCII bytes escaped, so that nothing in it is hidden.
TEST(BvhReader, ByteOrderMarkIsAcceptedAndErrorsShowHiddenBytes)
{
    const std::string mark = "\xEF\xBB\xBF";
    BvhSkeleton s;
    BvhError error;
    ASSERT_TRUE(ReadBvhText(mark + nested(2), "mark", s, error)) << error.Message();
    EXPECT_EQ(s.joints.size(), 2u);
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {mark + mark + "HIERARCHY\n", "expected HIERARCHY, found '\\xEF\\xBB\\xBFHIERARCHY'"},
        {"HIERARCHY\nROOT r\n{\nOFFSET 0 0 0\nCHANNELS 0\nCaf\xC3\xA9\x07\n", "unknown statement 'Caf\\xC3\\xA9\\x07'"},
        {"HIERARCHY\nROOT r\n{\nOFFSET \x1B[31m 0 0\n", "bad number '\\x1B[31m' in OFFSET"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(ReadBvhText(c.text, "hidden", s, error));
        EXPECT_EQ(error.reason, c.reason);
    }

    // Joint names are kept in XML files: characters XML cannot hold are
    // refused at their line; the replacement character, an emoji and bytes
    // that are not UTF-8 (read as U+FFFD) are not.
    const auto named = [](const std::string& bytes) {
        return "HIERARCHY\nROOT j0\n{\nOFFSET 0 1 0\nCHANNELS 0\nJOINT j" + bytes +
               "\n{\nOFFSET 0 1 0\nCHANNELS 0\n}\n}\n";
    };
    const std::pair<const char*, const char*> refused[] = {
        {"\xEF\xBF\xBE", "U+FFFE in the joint name 'j\\xEF\\xBF\\xBE'"},
        {"\xEF\xBF\xBF", "U+FFFF in the joint name 'j\\xEF\\xBF\\xBF'"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(ReadBvhText(named(c.first), "names", s, error));
        EXPECT_EQ(error.Message(),
                  "names:6: " + std::string(c.second) + ": joint names are kept in XML files, which cannot hold it");
    }
    for (const char* kept : {"\xEF\xBF\xBD", "\xF0\x9F\x98\x80", "\xE9", "\xED\xA0\x80"}) {
        ASSERT_TRUE(ReadBvhText(named(kept), "names", s, error)) << error.Message();
        EXPECT_EQ(s.joints[1].name, "j" + std::string(kept));
    }
}

TEST(BvhReader, DamagedSamplesNeverCrashAndNeverHalfLoad)
{
    const std::string good = readAll(samplePath("biped_spaces.bvh"));
    const std::size_t motion = good.find("MOTION");
    ASSERT_NE(motion, std::string::npos);
    BvhSkeleton s;
    BvhError error;
    // Every truncation before the root's closing brace fails.
    for (std::size_t cut = 0; cut + 1 < motion; cut += 53) {
        ASSERT_FALSE(ReadBvhText(good.substr(0, cut), "cut", s, error)) << "cut at " << cut;
        EXPECT_TRUE(s.joints.empty());
    }
    // Random byte damage: any answer is fine, as long as it is a whole one.
    std::mt19937 random(20240607u);
    const char noise[] = {'{', '}', ' ', '\n', 'x', '-', '.', '9', '\t', '\r'};
    for (int round = 0; round < 400; ++round) {
        std::string damaged = good.substr(0, motion);
        for (int k = 0; k < 4; ++k)
            damaged[random() % damaged.size()] = noise[random() % sizeof noise];
        if (ReadBvhText(damaged, "noise", s, error)) {
            for (std::size_t i = 0; i < s.joints.size(); ++i)
                EXPECT_LT(s.joints[i].parent, static_cast<int>(i));
        } else {
            EXPECT_TRUE(s.joints.empty());
            EXPECT_GT(error.line, 0);
        }
    }
}
