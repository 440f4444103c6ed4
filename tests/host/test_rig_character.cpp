#include "sample_rig.h"

#include "rig/vlm_access.h"
#include "rig/vlm_characterize.h"
#include "rig/vlm_handle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace sample_rig;

namespace {

const float kHalfSqrt2 = std::sqrt(0.5f);
const float kAboutZ[4] = {0, 0, kHalfSqrt2, kHalfSqrt2};
const float kSkew[4] = {0.5f, 0.5f, -0.5f, 0.5f};

using CharacterPtr = VLMCharacterHandle;

// A sample mapped by hand; `pull` takes the host geometry in.
struct Mapped {
    StandInHost host;
    Characterization c{QStringLiteral("Body"), nullptr};
    VLMCharacterDefinition words;

    explicit Mapped(const char* file) { EXPECT_GT(AssignSample(host, QString::fromLatin1(file), c), 0) << file; }

    // Changes a joint on the host side: rotation limits (as a host with joint
    // limits would give), a rest rotation, a parent offset of its own.
    void edit(const char* joint, bool limits, const float* rotation = nullptr, const float* parentOffset = nullptr)
    {
        CharacterJointGeometry g;
        ASSERT_TRUE(host.RestGeometry(QString::fromLatin1(joint), g));
        if (limits) {
            g.SetMaxRLimit(45, 0, 0);
            g.SetMaxRLimitEnable(true, false, false);
        }
        if (rotation)
            g.SetRotateQ(rotation[0], rotation[1], rotation[2], rotation[3]);
        if (parentOffset)
            g.SetParentOffsetRotateQ(parentOffset[0], parentOffset[1], parentOffset[2], parentOffset[3]);
        ASSERT_TRUE(host.SetJointGeometry(QString::fromLatin1(joint), g));
    }
    void pull()
    {
        PullGeometry(c, host);
        host.ClearRecords();
    }
    CharacterPtr build(bool withLimits, IDCCHub* hub)
    {
        CharacterPtr character(c.CreateSdkCharacter(words, withLimits, Allocate, hub));
        EXPECT_TRUE(character);
        return character;
    }
};

// The node's parent offset in the character and in the characterization's record.
void expectOffset(const VLMCharacter* character, const Characterization& c, int node, const float* expected)
{
    float t[4], q[4], s[4];
    VLMGetNodeParentOffsetRotation(character, node, t, q, s);
    const float* stored = c.JointGeometryAt(node).parentOffsetRotateQ;
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(q[i], expected[i]) << "character, component " << i;
        EXPECT_FLOAT_EQ(stored[i], expected[i]) << "record, component " << i;
    }
}

}  // namespace

TEST(RigCharacter, DefinitionWordsWithAndWithoutLimits)
{
    Mapped m("rig_names.bvh");
    m.edit("LeftArm", true);
    ASSERT_TRUE(PullGeometry(m.c, m.host));
    EXPECT_FALSE(PullGeometry(m.c, m.host)) << "a second poll finds nothing new";

    CharacterPtr full = m.build(true, nullptr);
    EXPECT_EQ(m.words.words[VLM_NODE_LEFT_ARM], 7u);
    EXPECT_EQ(m.words.words[VLM_NODE_HIPS], 1u);
    EXPECT_EQ(m.words.words[VLM_NODE_LEFT_IN_HAND_THUMB], 0u);
    EXPECT_EQ(VLMGetNodeDefinitionBits(full.get(), VLM_NODE_LEFT_ARM), 7);
    EXPECT_EQ(VLMGetNodeDefinitionBits(full.get(), VLM_NODE_HIPS), 3);
    // The host's rest translations are the character's T-pose.
    float t[4], q[4], s[4];
    VLMGetNodeTPose(full.get(), VLM_NODE_LEFT_HAND, t, q, s);
    EXPECT_TRUE(t[0] == 69.0f && t[1] == 144.0f && t[2] == 0.0f && s[0] == 1.0f);

    CharacterPtr plain = m.build(false, nullptr);
    EXPECT_EQ(m.words.words[VLM_NODE_LEFT_ARM], 1u);
    EXPECT_EQ(VLMGetNodeDefinitionBits(plain.get(), VLM_NODE_LEFT_ARM), 3);
    EXPECT_EQ(m.c.GetNodeFlags().words[VLM_NODE_LEFT_ARM], 7u) << "building changes no flag word";

    m.c.GetBoneInversion().flags[VLM_INVERT_LEFT_FOREARM] = 1;
    CharacterPtr inverted = m.build(true, nullptr);
    EXPECT_FALSE(VLMGetBoneInverted(inverted.get(), 0 /* left leg */));
    EXPECT_TRUE(VLMGetBoneInverted(inverted.get(), 2 /* left arm */));

    EXPECT_EQ(m.c.CreateSdkCharacter(
                  m.words, true, [](std::uint64_t) -> void* { return nullptr; }, &m.host),
              nullptr);
}

// The biped hangs its clavicles under the neck; the rig hangs the shoulders
// under the last spine node.
TEST(RigCharacter, AHostParentOtherThanTheRigParentGivesTheRelativeRotation)
{
    Mapped m("biped_spaces.bvh");
    m.edit("Bip01 L Clavicle", true, nullptr, kSkew);
    m.edit("Bip01 L UpperArm", true, nullptr, kSkew);
    m.edit("Bip01 Neck", false, kAboutZ);
    m.pull();

    // Without a hub (stream export) the records' own offsets reach the character.
    CharacterPtr character = m.build(true, nullptr);
    expectOffset(character.get(), m.c, VLM_NODE_LEFT_SHOULDER, kSkew);
    EXPECT_TRUE(m.host.ParentQueries().isEmpty());
    EXPECT_TRUE(m.host.GeometryQueries().empty());

    // Host parent turned 90 degrees about Z, rig parent not turned.
    character = m.build(true, &m.host);
    EXPECT_EQ(m.c.GetNodeName(VLMGetParentNodeId(character.get(), VLM_NODE_LEFT_SHOULDER)),
              QStringLiteral("Bip01 Spine2"));
    expectOffset(character.get(), m.c, VLM_NODE_LEFT_SHOULDER, kAboutZ);
    // Only full nodes are asked about, in node order: the upper arm, the clavicle.
    EXPECT_EQ(m.host.ParentQueries(), (QStringList{"Bip01 L UpperArm", "Bip01 L Clavicle"}));
    // The upper arm hangs under the clavicle on both sides: its own offset stays.
    expectOffset(character.get(), m.c, VLM_NODE_LEFT_ARM, kSkew);

    // With the rig parent's joint turned 90 degrees about X as well:
    // conj(about X) * (about Z) = (-1/2, 1/2, 1/2, 1/2).
    const float aboutX[4] = {kHalfSqrt2, 0, 0, kHalfSqrt2};
    m.edit("Bip01 Spine2", false, aboutX);
    m.pull();
    character = m.build(true, &m.host);
    const float relative[4] = {-0.5f, 0.5f, 0.5f, 0.5f};
    expectOffset(character.get(), m.c, VLM_NODE_LEFT_SHOULDER, relative);
    EXPECT_FALSE(PullGeometry(m.c, m.host)) << "the stored offset does not count as a change";
}

TEST(RigCharacter, TheParentPassAsksNothingAboutAMissingJointAndKeepsTheOffsetOnAFailedAnswer)
{
    // Hips with limits under an unassigned Reference: the rig parent has no
    // joint, so there is nothing to compare the host parent with.
    {
        Mapped m("prefix_underscore.bvh");
        m.c.ClearNode(VLM_NODE_REFERENCE);
        m.edit("Character1_Hips", true, nullptr, kSkew);
        m.pull();
        CharacterPtr character = m.build(true, &m.host);
        EXPECT_TRUE(m.host.GeometryQueries().empty());
        expectOffset(character.get(), m.c, VLM_NODE_HIPS, kSkew);
    }
    // The host cannot answer for its parent joint, then for the rig parent's joint.
    for (const char* failing : {"Bip01 Neck", "Bip01 Spine2"}) {
        SCOPED_TRACE(failing);
        Mapped m("biped_spaces.bvh");
        m.edit("Bip01 L Clavicle", true, nullptr, kSkew);
        m.edit("Bip01 Neck", false, kAboutZ);
        m.pull();
        m.host.SetGeometryQueryFails(QString::fromLatin1(failing), true);
        CharacterPtr character = m.build(true, &m.host);
        ASSERT_FALSE(m.host.GeometryQueries().empty());
        EXPECT_EQ(m.host.GeometryQueries().back().node, QString::fromLatin1(failing));
        EXPECT_FALSE(m.host.GeometryQueries().back().answered);
        expectOffset(character.get(), m.c, VLM_NODE_LEFT_SHOULDER, kSkew);
    }
}

TEST(RigCharacter, LoadingFromACharacterTakesOnlyAFullNameList)
{
    Mapped m("rig_names.bvh");
    m.edit("LeftForeArm", true);
    m.pull();
    m.c.GetBoneInversion().flags[VLM_INVERT_RIGHT_LEG] = 1;
    CharacterPtr character = m.build(true, nullptr);

    const std::vector<QString> names = m.c.GetNodeNames();
    for (std::size_t count : {std::size_t(172), std::size_t(0), std::size_t(1), std::size_t(171), std::size_t(173)}) {
        SCOPED_TRACE(count);
        std::vector<QString> list(names.begin(), names.begin() + std::min<std::size_t>(count, names.size()));
        list.resize(count, QStringLiteral("extra"));
        Characterization loaded(QStringLiteral("Loaded"), nullptr);
        loaded.SetNodeName(5, QStringLiteral("stale"));
        const int result = loaded.LoadFromSdkCharacter(list, m.words, character.get());
        EXPECT_EQ(result, count == 0 || count == 172 ? Characterization::kLoadOk : Characterization::kLoadBadNameCount);
        EXPECT_EQ(loaded.GetNodeNames(), count == 172 ? names : std::vector<QString>(172));
        // Words, records and inversion flags load all the same.
        EXPECT_EQ(std::memcmp(&loaded.GetNodeFlags(), &m.words, sizeof m.words), 0);
        EXPECT_EQ(loaded.JointGeometryAt(VLM_NODE_LEFT_FORE_ARM).limitEnableMask, VLM_LIMIT_MAX_X);
        EXPECT_EQ(loaded.JointGeometryAt(VLM_NODE_LEFT_FORE_ARM).maxRLimit[0], 45.0f);
        EXPECT_EQ(loaded.JointGeometryAt(VLM_NODE_LEFT_HAND).translate[0], 69.0f);
        EXPECT_EQ(loaded.GetBoneInversion().flags[VLM_INVERT_RIGHT_LEG], 1u);
        EXPECT_EQ(loaded.GetBoneInversion().flags[VLM_INVERT_LEFT_LEG], 0u);
    }
}
