#include "solver_test_util.h"

namespace {

using namespace soltest;

// The roll table; e = 0 keeps the twist, r = 0 keeps the segment, only x changes, limited next keeps.
TEST(Roll, DistributionSharesTheTwist)
{
    const int table[8][4] = {{2, 67, 204, 3},  {3, 68, 205, 4},   {5, 69, 206, 6},   {6, 70, 207, 7},
                             {9, 71, 208, 10}, {10, 72, 209, 11}, {12, 73, 210, 13}, {13, 74, 211, 14}};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(std::memcmp(&VLMRollSegmentTable()[k], table[k], sizeof table[k]), 0) << k;
    for (float r : {0.0f, 0.6f}) {
        for (bool limitedNext : {false, true}) {
            Posed s(fixtures::Full(), 6);
            s.properties.entries[vlm_entry::LeftArmRoll].mode = 1;
            s.properties.entries[vlm_entry::LeftArmRoll].value = r;
            if (limitedNext) {
                VLMRotationPart& part = const_cast<VLMRotationRecord*>(VLMCharacterRotations(
                    s.c()))[VLMCharacterNodeRecord(s.c(), VLM_NODE_LEFT_FORE_ARM)->rotationIndex]
                                            .part;
                part.flags |= VLM_ROTFLAG_MIN_X, part.minLimit[0] = -10.0f;
            }
            VLMScopedFPGuard guard;
            VLMVector4 block[16];
            VLMCaptureRollAngles(s.c(), s.rows(), &s.properties, block);
            VLMVector4 twisted = block[4];
            twisted.x += 0.4f;
            VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(s.c(), 9)->rotation, s.row(9).localQ, twisted);
            VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(s.c(), 9), s.rows(), VLMCharacterNodeRecords(s.c()));
            const VLMVector4 roll = s.euler(45);
            VLMDistributeRoll(s.c(), s.rows(), &s.properties, block);
            const VLMVector4 segment = s.euler(9), after = s.euler(45);
            SCOPED_TRACE(::testing::Message() << "r " << r << ", limited " << limitedNext);
            EXPECT_NEAR(segment.x, twisted.x - r * 0.4f, 1e-4);
            EXPECT_NEAR(segment.y, twisted.y, 1e-4);
            EXPECT_NEAR(segment.z, twisted.z, 1e-4);
            EXPECT_NEAR(after.x, limitedNext ? roll.x : block[12].x + r * 0.4f, 1e-4);
            EXPECT_NEAR(after.y, roll.y, 1e-4);
            if (r == 0.0f && !limitedNext) {  // without a reference block: measured against 0
                VLMDistributeRoll(s.c(), s.rows(), &s.properties, nullptr);
                EXPECT_NEAR(s.euler(45).x, 0.0, 1e-4);
                EXPECT_NEAR(s.euler(9).x, twisted.x, 1e-4);
            }
        }
    }
}

// Each row its own share r and extraction e (1 drops the twist, 2 turns the roll node back): roll x = b + (1 - e) r d.
TEST(Roll, ExtractionSharesTheTwistWithTheRollNode)
{
    const float share[8] = {0.6f, 0.3f, 0.8f, 0.5f, 0.7f, 0.4f, 0.9f, 0.2f};
    const float extraction[8] = {1.0f, 2.0f, 1.5f, 0.5f, 2.0f, 1.0f, 0.25f, 1.75f};
    Posed s(fixtures::Full(), 6);
    for (int k = 0; k < 8; ++k) {
        const VLMRollSegmentRow& row = VLMRollSegmentTable()[k];
        s.properties.entries[row.rollProperty].mode = 1;
        s.properties.entries[row.rollProperty].value = share[k];
        s.properties.entries[vlm_entry::LeftUpLegRollEx + k].value = extraction[k];
    }
    VLMScopedFPGuard guard;
    VLMVector4 block[16];
    VLMCaptureRollAngles(s.c(), s.rows(), &s.properties, block);
    VLMVector4 twisted[8];
    for (int k = 0; k < 8; ++k) {
        const int segment = VLMRollSegmentTable()[k].node;
        twisted[k] = block[k];
        twisted[k].x += 0.4f - 0.07f * float(k);
        VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(s.c(), segment)->rotation, s.row(segment).localQ, twisted[k]);
    }
    VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
    VLMDistributeRoll(s.c(), s.rows(), &s.properties, block);
    for (int k = 0; k < 8; ++k) {
        const float d = twisted[k].x - block[k].x;
        EXPECT_NEAR(s.euler(VLMRollSegmentTable()[k].node).x, block[k].x + (1 - share[k]) * d, 1e-4) << k;
        EXPECT_NEAR(s.euler(VLM_NODE_LEFT_UP_LEG_ROLL + k).x, block[8 + k].x + (1 - extraction[k]) * share[k] * d, 1e-4)
            << k;
    }
}

}  // namespace
