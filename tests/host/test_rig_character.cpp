#include "sample_rig.h"

#include "rig/vlm_access.h"
#include "rig/vlm_characterize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

using namespace sample_rig;

namespace {

const float kHalfSqrt2 = std::sqrt(0.5f);

struct CharacterDeleter {
    void operator()(VLMCharacter* c) const { VLMDestroyCharacter(c, std::free); }
};
using CharacterPtr = std::unique_ptr<VLMCharacter, CharacterDeleter>;

// A sample mapped and its host geometry taken in.
struct Mapped {
    StandInHost host;
    Characterization c{QStringLiteral("Body"), nullptr};

    explicit Mapped(const char* file)
    {
        EXPECT_GT(AssignSample(host, QString::fromLatin1(file), c), 0) << file;
    }
    // Gives a joint rotation limits (and optionally a rotation and a parent
    // offset) on the host side, as a host with joint limits would.
    void limitJoint(const char* joint, const float* rotation = nullptr, const float* parentOffset = nullptr)
    {
        CharacterJointGeometry g;
        ASSERT_TRUE(host.RestGeometry(QString::fromLatin1(joint), g));
        g.SetMaxRLimit(45, 0, 0);
        g.SetMaxRLimitEnable(true, false, false);
        if (rotation)
            g.SetRotateQ(rotation[0], rotation[1], rotation[2], rotation[3]);
        if (parentOffset)
            g.SetParentOffsetRotateQ(parentOffset[0], parentOffset[1], parentOffset[2], parentOffset[3]);
        ASSERT_TRUE(host.SetJointGeometry(QString::fromLatin1(joint), g));
    }
    void rotateJoint(const char* joint, const float* rotation)
    {
        CharacterJointGeometry g;
        ASSERT_TRUE(host.RestGeometry(QString::fromLatin1(joint), g));
        g.SetRotateQ(rotation[0], rotation[1], rotation[2], rotation[3]);
        ASSERT_TRUE(host.SetJointGeometry(QString::fromLatin1(joint), g));
    }
    CharacterPtr build(VLMCharacterDefinition& words, bool withLimits, IDCCHub* hub)
    {
        return CharacterPtr(c.CreateSdkCharacter(words, withLimits, Allocate, hub));
    }
};

void characterOffset(const VLMCharacter* character, int node, float q[4])
{
    float t[4], s[4];
    VLMGetNodeParentOffsetRotation(character, node, t, q, s);
}

void expectQuat(const float* q, float x, float y, float z, float w)
{
    EXPECT_FLOAT_EQ(q[0], x);
    EXPECT_FLOAT_EQ(q[1], y);
    EXPECT_FLOAT_EQ(q[2], z);
    EXPECT_FLOAT_EQ(q[3], w);
}

std::vector<StandInHost::GeometryQuery> parentQuestions(const StandInHost& host)
{
    std::vector<StandInHost::GeometryQuery> out;
    for (const StandInHost::GeometryQuery& q : host.GeometryQueries()) {
        if (q.characterBone == -1)
            out.push_back(q);
    }
    return out;
}

} // namespace

TEST(RigCharacter, DefinitionWordsWithAndWithoutLimits)
{
    Mapped m("rig_names.bvh");
    m.limitJoint("LeftArm");
    ASSERT_TRUE(PullGeometry(m.c, m.host));
    EXPECT_FALSE(PullGeometry(m.c, m.host)) << "a second poll finds nothing new";
    EXPECT_EQ(m.c.GetNodeFlags().words[VLM_NODE_LEFT_ARM], 7u);

    VLMCharacterDefinition words;
    CharacterPtr full = m.build(words, true, nullptr);
    ASSERT_TRUE(full);
    EXPECT_EQ(words.words[VLM_NODE_LEFT_ARM], 7u);
    EXPECT_EQ(words.words[VLM_NODE_HIPS], 1u);
    EXPECT_EQ(words.words[VLM_NODE_LEFT_IN_HAND_THUMB], 0u);
    EXPECT_EQ(VLMGetNodeDefinitionBits(full.get(), VLM_NODE_LEFT_ARM), 7);
    EXPECT_EQ(VLMGetNodeDefinitionBits(full.get(), VLM_NODE_HIPS), 3);
    EXPECT_EQ(VLMGetNodeDefinitionBits(full.get(), VLM_NODE_LEFT_IN_HAND_THUMB), 0);

    // The host's rest translations are the character's T-pose.
    float t[4], q[4], s[4];
    VLMGetNodeTPose(full.get(), VLM_NODE_LEFT_HAND, t, q, s);
    EXPECT_EQ(t[0], 69.0f);
    EXPECT_EQ(t[1], 144.0f);
    EXPECT_EQ(t[2], 0.0f);
    EXPECT_EQ(s[0], 1.0f);

    CharacterPtr plain = m.build(words, false, nullptr);
    ASSERT_TRUE(plain);
    EXPECT_EQ(words.words[VLM_NODE_LEFT_ARM], 1u);
    EXPECT_EQ(VLMGetNodeDefinitionBits(plain.get(), VLM_NODE_LEFT_ARM), 3);
    EXPECT_EQ(m.c.GetNodeFlags().words[VLM_NODE_LEFT_ARM], 7u) << "building changes no flag word";

    // A failing allocation gives no character.
    EXPECT_EQ(m.c.CreateSdkCharacter(words, true, [](std::uint64_t) -> void* { return nullptr; }, &m.host),
              nullptr);
}

TEST(RigCharacter, InversionFlagsReachTheCharacter)
{
    Mapped m("rig_names.bvh");
    PullGeometry(m.c, m.host);
    m.c.GetBoneInversion().flags[VLM_INVERT_LEFT_FOREARM] = 1;
    VLMCharacterDefinition words;
    CharacterPtr character = m.build(words, true, nullptr);
    ASSERT_TRUE(character);
    EXPECT_FALSE(VLMGetBoneInverted(character.get(), 0 /* left leg */));
    EXPECT_TRUE(VLMGetBoneInverted(character.get(), 2 /* left arm */));
    EXPECT_FALSE(VLMGetBoneInverted(character.get(), 3 /* right arm */));
}

// The biped hangs its clavicles under the neck; the rig hangs the shoulders
// under the last spine node.
TEST(RigCharacter, AHostParentOtherThanTheRigParentGivesTheRelativeRotation)
{
    const float aboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
    const float aboutX[4] = {kHalfSqrt2, 0, 0, kHalfSqrt2};
    const float skew[4] = {0.5f, 0.5f, 0.5f, 0.5f};

    Mapped m("biped_spaces.bvh");
    m.limitJoint("Bip01 L Clavicle");
    m.limitJoint("Bip01 L UpperArm", nullptr, skew);
    m.rotateJoint("Bip01 Neck", aboutZ);
    PullGeometry(m.c, m.host);
    m.host.ClearRecords();

    VLMCharacterDefinition words;
    CharacterPtr character = m.build(words, true, &m.host);
    ASSERT_TRUE(character);
    const int rigParent = VLMGetParentNodeId(character.get(), VLM_NODE_LEFT_SHOULDER);
    EXPECT_EQ(m.c.GetNodeName(rigParent), QStringLiteral("Bip01 Spine2"));

    // Host parent turned 90 degrees about Z, rig parent not turned.
    expectQuat(m.c.JointGeometryAt(VLM_NODE_LEFT_SHOULDER).parentOffsetRotateQ, 0, 0, kHalfSqrt2, kHalfSqrt2);
    float q[4];
    characterOffset(character.get(), VLM_NODE_LEFT_SHOULDER, q);
    expectQuat(q, 0, 0, kHalfSqrt2, kHalfSqrt2);
    // Only full nodes are asked about, in node order: the upper arm, the clavicle.
    EXPECT_EQ(m.host.ParentQueries(), (QStringList{"Bip01 L UpperArm", "Bip01 L Clavicle"}));

    // The upper arm hangs under the clavicle on both sides: its own offset stays.
    expectQuat(m.c.JointGeometryAt(VLM_NODE_LEFT_ARM).parentOffsetRotateQ, 0.5f, 0.5f, 0.5f, 0.5f);
    characterOffset(character.get(), VLM_NODE_LEFT_ARM, q);
    expectQuat(q, 0.5f, 0.5f, 0.5f, 0.5f);

    // With the rig parent's joint turned 90 degrees about X as well:
    // conj(about X) * (about Z) = (-1/2, 1/2, 1/2, 1/2).
    m.rotateJoint("Bip01 Spine2", aboutX);
    PullGeometry(m.c, m.host);
    character = m.build(words, true, &m.host);
    ASSERT_TRUE(character);
    characterOffset(character.get(), VLM_NODE_LEFT_SHOULDER, q);
    expectQuat(q, -0.5f, 0.5f, 0.5f, 0.5f);
    expectQuat(m.c.JointGeometryAt(VLM_NODE_LEFT_SHOULDER).parentOffsetRotateQ, -0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_FALSE(PullGeometry(m.c, m.host)) << "the stored offset does not count as a change";
}

TEST(RigCharacter, WithoutAHubTheRecordsOwnOffsetsReachTheCharacter)
{
    const float aboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
    const float skew[4] = {0.5f, -0.5f, 0.5f, 0.5f};
    Mapped m("biped_spaces.bvh");
    m.limitJoint("Bip01 L Clavicle", nullptr, skew);
    m.rotateJoint("Bip01 Neck", aboutZ);
    PullGeometry(m.c, m.host);
    m.host.ClearRecords();

    VLMCharacterDefinition words;
    CharacterPtr character = m.build(words, true, nullptr);
    ASSERT_TRUE(character);
    float q[4];
    characterOffset(character.get(), VLM_NODE_LEFT_SHOULDER, q);
    expectQuat(q, 0.5f, -0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(m.host.ParentQueries().isEmpty());
    EXPECT_TRUE(m.host.GeometryQueries().empty());
}

TEST(RigCharacter, TheParentPassAsksNothingAboutAMissingJointAndKeepsTheOffsetOnAFailedAnswer)
{
    const float aboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
    const float skew[4] = {0.5f, 0.5f, -0.5f, 0.5f};

    // Hips with limits under an unassigned Reference: the rig parent has no
    // joint, so there is nothing to compare the host parent with.
    {
        Mapped m("prefix_underscore.bvh");
        m.c.ClearNode(VLM_NODE_REFERENCE);
        m.limitJoint("Character1_Hips", nullptr, skew);
        PullGeometry(m.c, m.host);
        m.host.ClearRecords();
        VLMCharacterDefinition words;
        CharacterPtr character = m.build(words, true, &m.host);
        ASSERT_TRUE(character);
        EXPECT_TRUE(parentQuestions(m.host).empty());
        for (const StandInHost::GeometryQuery& g : m.host.GeometryQueries())
            EXPECT_FALSE(g.node.isEmpty());
        float q[4];
        characterOffset(character.get(), VLM_NODE_HIPS, q);
        expectQuat(q, 0.5f, 0.5f, -0.5f, 0.5f);
    }

    // The host cannot answer for its parent joint, then for the rig parent's joint.
    for (const char* failing : {"Bip01 Neck", "Bip01 Spine2"}) {
        SCOPED_TRACE(failing);
        Mapped m("biped_spaces.bvh");
        m.limitJoint("Bip01 L Clavicle", nullptr, skew);
        m.rotateJoint("Bip01 Neck", aboutZ);
        PullGeometry(m.c, m.host);
        m.host.ClearRecords();
        m.host.SetGeometryQueryFails(QString::fromLatin1(failing), true);

        VLMCharacterDefinition words;
        CharacterPtr character = m.build(words, true, &m.host);
        ASSERT_TRUE(character);
        const std::vector<StandInHost::GeometryQuery> asked = parentQuestions(m.host);
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back().node, QString::fromLatin1(failing));
        EXPECT_FALSE(asked.back().answered);
        expectQuat(m.c.JointGeometryAt(VLM_NODE_LEFT_SHOULDER).parentOffsetRotateQ, 0.5f, 0.5f, -0.5f, 0.5f);
        float q[4];
        characterOffset(character.get(), VLM_NODE_LEFT_SHOULDER, q);
        expectQuat(q, 0.5f, 0.5f, -0.5f, 0.5f);
    }
}

TEST(RigCharacter, LoadingFromACharacterTakesOnlyAFullNameList)
{
    Mapped m("rig_names.bvh");
    m.limitJoint("LeftForeArm");
    PullGeometry(m.c, m.host);
    m.c.GetBoneInversion().flags[VLM_INVERT_RIGHT_LEG] = 1;
    VLMCharacterDefinition words;
    CharacterPtr character = m.build(words, true, nullptr);
    ASSERT_TRUE(character);

    std::vector<QString> names = m.c.GetNodeNames();
    Characterization loaded(QStringLiteral("New Characterization"), nullptr);
    EXPECT_EQ(loaded.LoadFromSdkCharacter(names, words, character.get()), Characterization::kLoadOk);
    EXPECT_EQ(loaded.GetNodeNames(), names);
    EXPECT_EQ(std::memcmp(&loaded.GetNodeFlags(), &words, sizeof words), 0);
    EXPECT_EQ(loaded.GetNodeFlags().words[VLM_NODE_LEFT_FORE_ARM], 7u);
    EXPECT_EQ(loaded.JointGeometryAt(VLM_NODE_LEFT_FORE_ARM).limitEnableMask, VLM_LIMIT_MAX_X);
    EXPECT_EQ(loaded.JointGeometryAt(VLM_NODE_LEFT_FORE_ARM).maxRLimit[0], 45.0f);
    EXPECT_EQ(loaded.JointGeometryAt(VLM_NODE_LEFT_HAND).translate[0], 69.0f);
    EXPECT_EQ(loaded.GetBoneInversion().flags[VLM_INVERT_RIGHT_LEG], 1u);
    EXPECT_EQ(loaded.GetBoneInversion().flags[VLM_INVERT_LEFT_LEG], 0u);

    for (std::size_t count : {std::size_t(0), std::size_t(1), std::size_t(171), std::size_t(173)}) {
        SCOPED_TRACE(count);
        std::vector<QString> list(names.begin(), names.begin() + std::min<std::size_t>(count, names.size()));
        list.resize(count, QStringLiteral("extra"));
        Characterization other(QStringLiteral("Other"), nullptr);
        other.SetNodeName(5, QStringLiteral("stale"));
        const int result = other.LoadFromSdkCharacter(list, words, character.get());
        EXPECT_EQ(result, count == 0 ? Characterization::kLoadOk : Characterization::kLoadBadNameCount);
        for (const QString& name : other.GetNodeNames())
            EXPECT_TRUE(name.isEmpty());
        // Words and records load all the same.
        EXPECT_EQ(other.GetNodeFlags().words[VLM_NODE_LEFT_FORE_ARM], 7u);
        EXPECT_EQ(other.JointGeometryAt(VLM_NODE_LEFT_HAND).translate[0], 69.0f);
    }
}

TEST(RigCharacter, TheHostRecordConvertsFieldForField)
{
    CharacterJointGeometry g;
    g.SetTranslate(1, 2, 3);
    g.SetRotateQ(4, 5, 6, 7);
    g.SetScale(8, 9, 10);
    g.SetPreRotQ(11, 12, 13, 14);
    g.SetPostRotQ(15, 16, 17, 18);
    g.SetMinRLimit(19, 20, 21);
    g.SetMaxRLimit(22, 23, 24);
    g.SetLimitEnableMask(0x2A);
    g.SetParentOffsetRotateQ(25, 26, 27, 28);
    g.SetRotationOrder(VLM_ROTATION_EULER_YXY);
    VLMJointGeometry record;
    std::memset(&record, 0xFF, sizeof record);
    JointGeometryToSdkRecord(g, record);
    EXPECT_EQ(std::memcmp(&record, &g, sizeof record), 0);
}
