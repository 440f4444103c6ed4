#include "model/characterization.h"
#include "minimal_hub.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Records the characterization registrations it is told about.
class RegistrationHub : public MinimalHub {
public:
    void RegisterCharacterizationNode(const QString& name) override { log << "+" + name; }
    void UnregisterCharacterizationNode(const QString& name) override { log << "-" + name; }
    QStringList log;
};

VLMJointGeometry recordWithMask(std::uint32_t mask)
{
    VLMJointGeometry g;
    VLMJointGeometryInit(&g);
    VLMJointGeometrySetTranslate(&g, 1, 2, 3);
    VLMJointGeometrySetMaxRLimit(&g, 10, 20, 30);
    VLMJointGeometrySetLimitEnableMask(&g, mask);
    return g;
}

bool sameBytes(const VLMJointGeometry& a, const VLMJointGeometry& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(Characterization, OnlyANamedCharacterizationWithAHubRegistersAndCopiesNever)
{
    RegistrationHub hub;
    {
        Characterization none(IDCCHub::GetDefaultCharacterNodeName(), &hub);
        Characterization unbound(QStringLiteral("Loose"), nullptr);
        Characterization body(QStringLiteral("Body"), &hub);
        {
            // Copies keep the hub but neither register nor release the name.
            Characterization copy(body);
            Characterization withoutLimits(body, false);
            Characterization assigned(QStringLiteral("Other"), nullptr);
            assigned = body;
            EXPECT_EQ(assigned.GetHub(), &hub);
            EXPECT_EQ(assigned.GetName(), QStringLiteral("Body"));
        }
        EXPECT_EQ(hub.log, QStringList{"+Body"});
        // Renaming tells the host nothing; the release names what it is called now.
        body.SetName(QStringLiteral("Hero"));
        EXPECT_EQ(hub.log, QStringList{"+Body"});
    }
    EXPECT_EQ(hub.log, (QStringList{"+Body", "-Hero"}));
}

TEST(Characterization, LimitsMakeTheWordFullAndTheFullBitsStick)
{
    Characterization c(QStringLiteral("Body"), nullptr);
    VLMJointGeometry fresh;
    VLMJointGeometryInit(&fresh);
    ASSERT_EQ(c.GetNodeNames().size(), 172u);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        ASSERT_EQ(c.GetNodeFlags().words[node], 0u);
        ASSERT_TRUE(sameBytes(c.JointGeometryAt(node), fresh));
    }

    c.SetNodeName(9, QStringLiteral("arm_l"));
    EXPECT_EQ(c.GetNodeFlags().words[9], 1u);
    EXPECT_FALSE(c.IsNodeComplete(9));
    c.SetJointGeometry(9, recordWithMask(0x08));
    EXPECT_EQ(c.GetNodeFlags().words[9], 7u);
    EXPECT_TRUE(c.IsNodeComplete(9));

    VLMCharacterDefinition words;
    std::memset(&words, 0xAB, sizeof words);
    c.BuildDefinition(words, true);
    EXPECT_EQ(words.words[9], 7u);
    EXPECT_EQ(words.words[10], 0u);
    c.BuildDefinition(words, false);
    EXPECT_EQ(words.words[9], 1u);

    // A later record without limits clears nothing; a new name keeps the bits.
    c.SetJointGeometry(9, recordWithMask(0));
    c.SetNodeName(9, QStringLiteral("upperarm_l"));
    EXPECT_EQ(c.GetNodeFlags().words[9], 7u);

    // Clearing drops name and word but keeps the stored record.
    c.ClearNode(9);
    EXPECT_EQ(c.GetNodeFlags().words[9], 0u);
    EXPECT_TRUE(c.GetNodeName(9).isEmpty());
    EXPECT_TRUE(sameBytes(c.JointGeometryAt(9), recordWithMask(0)));
    c.ResetJointGeometry(9);
    EXPECT_TRUE(sameBytes(c.JointGeometryAt(9), fresh));

    // Ids outside the rig change nothing.
    c.SetNodeName(-1, QStringLiteral("x"));
    c.SetNodeName(172, QStringLiteral("x"));
    c.SetJointGeometry(172, recordWithMask(1));
    EXPECT_FALSE(c.IsNodeAssigned(172));
    EXPECT_TRUE(c.GetNodeName(200).isEmpty());
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        EXPECT_EQ(c.GetNodeFlags().words[node], 0u);
}

TEST(Characterization, ACopyWithoutLimitsKeepsOnlyTheUsedBits)
{
    Characterization c(QStringLiteral("Body"), nullptr);
    c.SetNodeName(1, QStringLiteral("pelvis"));
    c.SetNodeName(3, QStringLiteral("calf_l"));
    c.SetJointGeometry(3, recordWithMask(0x3F));
    c.GetBoneInversion().flags[VLM_INVERT_LEFT_LEG] = 1;
    c.SetLocked(true);

    const Characterization plain(c, false);
    EXPECT_EQ(plain.GetNodeFlags().words[1], 1u);
    EXPECT_EQ(plain.GetNodeFlags().words[3], 1u);
    EXPECT_EQ(plain.JointGeometryAt(3).limitEnableMask, 0u);
    EXPECT_EQ(plain.JointGeometryAt(3).maxRLimit[1], 20.0f);
    EXPECT_EQ(plain.GetNodeName(3), QStringLiteral("calf_l"));
    EXPECT_EQ(plain.GetBoneInversion().flags[VLM_INVERT_LEFT_LEG], 1u);
    EXPECT_TRUE(plain.IsLocked());

    const Characterization full(c, true);
    EXPECT_EQ(full.GetNodeFlags().words[3], 7u);
    EXPECT_TRUE(sameBytes(full.JointGeometryAt(3), c.JointGeometryAt(3)));
}
