#include "solver_test_util.h"

namespace {

using namespace soltest;

// Characters with 0, 1 and 9 spine and neck joints (the one-joint one without shoulders).
TEST(PoseSetup, ReferencePosesAndReaders)
{
    for (int joints : {0, 1, 9}) {
        fixtures::Proportions p = fixtures::Typical();
        p.spineJoints = p.neckJoints = joints;
        p.shoulders = joints != 1;
        fixtures::Fixture f = fixtures::Build(p, {true, {}, true, false, 4});
        VLMCharacter* c = f.character.get();
        VLMCharacterStateHandle state = NewState(c);
        VLMStateRow* rows = VLMStateFirstRow(state.get());
        VLMSetStateToZeroPose(c, rows);
        EXPECT_TRUE(SameBits(VLMNodeRow(c, rows, 0)->globalQ, V(0, 0, 0, 1)));
        EXPECT_TRUE(SameBits(VLMNodeRow(c, rows, 0)->globalT, V(0, 0, 0, 0)));
        for (int id = 1; id < VLM_NODE_COUNT; ++id) {
            if (VLMCharacterCompactIndex(c, id) < 0)
                continue;
            VLMVector4 zero;
            VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(c, id)->rotation, zero, V(0, 0, 0, 0));
            EXPECT_TRUE(SameRotation(VLMNodeRow(c, rows, id)->localQ, Wide(zero), 1e-6)) << id;
        }
        EXPECT_EQ(VLMChestNodeId(c), joints ? VLM_NODE_SPINE1 + joints - 1 : VLM_NODE_SPINE);
        EXPECT_EQ(VLMNeckEndNodeId(c), joints ? VLM_NODE_NECK1 + joints - 1 : VLM_NODE_NECK);

        VLMSetStateToTPose(c, rows);
        VLMVector4 end;
        VLMGetChestEndPosition(c, &end, rows, V(0, 0, 0, 0));
        const bool both = p.shoulders;
        const float wantY =
            0.5f * (VLMNodeRow(c, rows, both ? 18 : 9)->globalT.y + VLMNodeRow(c, rows, both ? 19 : 12)->globalT.y);
        EXPECT_EQ(end.x, 0.0f) << joints;
        EXPECT_FLOAT_EQ(end.y, wantY) << joints;
    }
}

TEST(PoseSetup, ChestEndUsesTheArmsWhenOneShoulderIsMissing)
{
    fixtures::Proportions p = fixtures::Typical();
    fixtures::Fixture f = fixtures::Build(p);
    VLMCharacterDefinition def = f.definition;
    def.words[VLM_NODE_RIGHT_SHOULDER] = 0;
    sample::CharacterPtr c = sample::Create(def);
    VLMApplyJointGeometries(&def, c.get(), f.records.data(), VLM_NODE_COUNT, nullptr);
    VLMCharacterStateHandle state = NewState(c.get());
    VLMStateRow* rows = VLMStateFirstRow(state.get());
    VLMSetStateToTPose(c.get(), rows);
    VLMVector4 end;
    VLMGetChestEndPosition(c.get(), &end, rows, V(0, 0, 0, 0));
    EXPECT_FLOAT_EQ(end.y, 0.5f * (VLMNodeRow(c.get(), rows, 9)->globalT.y + VLMNodeRow(c.get(), rows, 12)->globalT.y));
}

TEST(PoseSetup, EffectorsFromAPose)
{
    fixtures::Proportions p = fixtures::Typical();
    p.handDigitJoints[0] = 2;  // thumb: tip index 1
    p.handDigitJoints[1] = 4;  // index: tip index 3
    p.handDigitJoints[2] = 0;  // middle: absent
    fixtures::Fixture f = fixtures::Build(p, {false, {}, true, false, 6});
    VLMCharacter* c = f.character.get();
    VLMCharacterStateHandle state = NewState(c);
    std::mt19937 rng(6);
    fixtures::SamplePose(c, state.get(), rng, {});
    const VLMStateRow* rows = VLMStateFirstRow(state.get());
    VLMPropertySetState props = Defaults();
    for (int e = vlm_entry::HipsTOffsetX; e <= vlm_entry::ChestTOffsetZ; ++e)
        props.entries[e].value = 0.0f;
    VLMEffectorSetStateHandle set = NewSet();
    VLMEffectorSetLayout* s = Layout(set.get());
    VLMComputeEffectorsFromPose(c, s, rows, &props);
    auto node = [&](int id) { return VLMNodeRow(c, rows, id); };
    auto mid = [](const VLMVector4& a, const VLMVector4& b) {
        return D4{(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2, 0};
    };
    EXPECT_LT(MaxDiff(s->effectors[VLM_HIPS_EFFECTOR].t, mid(node(2)->globalT, node(5)->globalT)), 1e-4);
    EXPECT_LT(MaxDiff(s->effectors[VLM_CHEST_END_EFFECTOR].t, mid(node(18)->globalT, node(19)->globalT)), 1e-4);
    EXPECT_TRUE(SameBits(s->effectors[20].q, node(50)->globalQ)) << "tip 1: joint 0";
    EXPECT_TRUE(SameBits(s->effectors[20].t, node(51)->globalT));
    EXPECT_TRUE(SameBits(s->effectors[21].q, node(56)->globalQ)) << "tip 3: joint 2";
    EXPECT_TRUE(SameBits(s->effectors[21].t, node(57)->globalT));
    EXPECT_TRUE(SameBits(s->effectors[22].q, V(0, 0, 0, 1)) && SameBits(s->effectors[22].t, V(0, 0, 0, 0)));

    // The octet blend: weight 0 gives the pose, weight 1 keeps the stored value.
    const VLMExtremity* hand = VLMCharacterExtremity(c, 0);
    VLMLimbContactRecord record;
    VLMInitLimbContactRecord(&record);
    for (int i = 0; i < 8; ++i)
        record.slots[i].t = V(7, 7, 7, 0), record.lanes[i] = i < 4 ? V(0, 0, 0, 0) : V(1, 1, 0, 0);
    VLMComputeExtremityEffectorsFromPose(c, hand, &record, rows, true, &props);
    for (int i = 0; i < 8; ++i) {
        const D4 want = i < 4 ? Wide(s->effectors[(&hand->endEffector)[i]].t) : D4{7, 7, 7, 0};
        EXPECT_LT(MaxDiff(record.slots[i].t, want), 1e-6) << i;
    }
}

// Non-zero offsets: the hips effector's turns with the hips, the chest end's with the chest node.
TEST(PoseSetup, HipsAndChestOffsetsTurnWithTheirNodes)
{
    for (const fixtures::Proportions& p : {fixtures::Typical(), fixtures::Full()}) {
        for (unsigned seed = 1; seed <= 4; ++seed) {
            fixtures::Scene s(p, {false, {}, true, false, seed}, {0.5f, 0.5f, 10.0f});
            const P3 hipsOffset{3, -5, 7}, chestOffset{-4, 6, 2};
            for (int i = 0; i < 3; ++i) {
                s.properties.entries[vlm_entry::HipsTOffsetX + i].value = float((&hipsOffset.x)[i]);
                s.properties.entries[vlm_entry::ChestTOffsetX + i].value = float((&chestOffset.x)[i]);
            }
            VLMComputeEffectorsFromPose(s.c(), s.effectors(), s.rows(), &s.properties);
            const auto turned = [](const VLMVector4& q, const P3& v) {
                const D4 r = mathtest::Rotate(Wide(q), {v.x, v.y, v.z, 0});
                return P3{r[0], r[1], r[2]};
            };
            const auto mid = [&](int a, int b) { return 0.5 * (At(Row(s, a).globalT) + At(Row(s, b).globalT)); };
            const VLMStateRow& hips = Row(s, VLM_NODE_HIPS);
            const VLMStateRow& chest = Row(s, p.spineJoints ? VLM_NODE_SPINE1 + p.spineJoints - 1 : VLM_NODE_SPINE);
            const VLMTransformTQS* e = s.effectors()->effectors;
            SCOPED_TRACE(::testing::Message() << "spine " << p.spineJoints << ", seed " << seed);
            EXPECT_LT(Len(At(e[VLM_HIPS_EFFECTOR].t) - mid(2, 5) - turned(hips.globalQ, hipsOffset)), 1e-3);
            EXPECT_LT(Len(At(e[VLM_CHEST_END_EFFECTOR].t) - mid(18, 19) - turned(chest.globalQ, chestOffset)), 1e-3);
            EXPECT_TRUE(SameBits(e[VLM_HIPS_EFFECTOR].q, hips.globalQ));
            EXPECT_TRUE(SameBits(e[VLM_CHEST_END_EFFECTOR].q, chest.globalQ));
        }
    }
}

}  // namespace
