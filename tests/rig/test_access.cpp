#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_node_record.h"

#include "rig_sample.h"
#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

using sample::CharacterPtr;

const VLMRotationPart* StoredPart(VLMCharacter* c, int id)
{
    const VLMNodeRecord* record = VLMCharacterNodeRecord(c, id);
    if (!VLMNodeRecordHasRotation(record))
        return nullptr;
    return &VLMRotationRecordAt(VLMCharacterRotationRecords(c), record->rotationIndex)->part;
}

// The same rotation, up to the sign of the quaternion.
::testing::AssertionResult SameRotation(const float* a, const float* b, double tolerance)
{
    double plus = 0, minus = 0;
    for (int i = 0; i < 4; ++i) {
        plus = std::max(plus, std::fabs(double(a[i]) - b[i]));
        minus = std::max(minus, std::fabs(double(a[i]) + b[i]));
    }
    if (std::min(plus, minus) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a[0] << ", " << a[1] << ", " << a[2] << ", " << a[3] << ") vs ("
                                         << b[0] << ", " << b[1] << ", " << b[2] << ", " << b[3] << ")";
}

std::vector<float> Lanes(const float* v, int n = 4) { return std::vector<float>(v, v + n); }

class AccessTest : public ::testing::Test {
protected:
    void SetUp() override { TestAllocator::reset(); }
    void TearDown() override { EXPECT_EQ(TestAllocator::live, 0); }

    // The 16 required nodes with the given definition word.
    static CharacterPtr Body(std::uint32_t word, VLMCharacterDefinition* out = nullptr)
    {
        VLMCharacterDefinition def{};
        for (int id = 0; id < 16; ++id)
            def.words[id] = word;
        if (out)
            *out = def;
        return sample::Create(def);
    }
};

TEST_F(AccessTest, TPoseStoresFixedWLanesAndMatrixRows)
{
    CharacterPtr c = Body(7);
    const float t[4] = {1, 2, 3, 9}, q[4] = {0, 0, 0.70710678f, 0.70710678f}, s[4] = {2, 2, 2, 0};
    VLMSetNodeTPose(c.get(), 3, t, q, s);
    float t1[4], q1[4], s1[4];
    VLMGetNodeTPose(c.get(), 3, t1, q1, s1);
    EXPECT_EQ(Lanes(t1), (std::vector<float>{1, 2, 3, 0}));
    EXPECT_EQ(Lanes(q1), Lanes(q));
    EXPECT_EQ(Lanes(s1), (std::vector<float>{2, 2, 2, 1}));

    // A quarter turn about z given at twice its length (renormalised), scaled
    // by (2, 3, 4): the x axis goes to +2y, the y axis to -3x.
    const float q2[4] = {0, 0, 1.41421356f, 1.41421356f}, s2[4] = {2, 3, 4, 7};
    VLMSetNodeTPose(c.get(), 4, t, q2, s2);
    float m[17];
    m[16] = 42.0f;
    VLMGetNodeTPoseMatrix(c.get(), 4, m);
    const float expected[16] = {0, 2, 0, 0, -3, 0, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m[i], expected[i], 1e-5f) << i;
    EXPECT_EQ(m[16], 42.0f) << "exactly 16 floats written";

    // The double forms narrow to the nearest float and widen back exactly.
    const double td[4] = {0.1, 1e-3, 1.0 / 3.0, 5}, qd[4] = {0, 0, 0, 1}, sd[4] = {1, 1, 1, 1};
    VLMSetNodeTPoseDouble(c.get(), 2, td, qd, sd);
    double t2[4], q3[4], s3[4];
    VLMGetNodeTPoseDouble(c.get(), 2, t2, q3, s3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(t2[i], double(float(td[i])));
    EXPECT_EQ(t2[3], 0.0);
}

TEST_F(AccessTest, ParentOffsetAndRotationDefinitionOnlyWhereTheEntryExists)
{
    VLMCharacterDefinition def;
    Body(7, &def).reset();
    def.words[3] = 1;  // used, no rotation record; node 20 is absent
    CharacterPtr c = sample::Create(def);

    const float t[4] = {1, 2, 3, 4}, q[4] = {0.5f, 0.5f, 0.5f, 0.5f}, s[4] = {2, 3, 4, 5};
    VLMSetNodeParentOffset(c.get(), 3, t, q, s);
    float t1[4], q1[4], s1[4];
    VLMGetNodeParentOffsetRotation(c.get(), 3, t1, q1, s1);
    EXPECT_EQ(Lanes(t1), (std::vector<float>{1, 2, 3, 0}));
    EXPECT_EQ(Lanes(q1), Lanes(q));
    EXPECT_EQ(Lanes(s1), Lanes(s)) << "scale as given, w included";

    // Node 3 has no rotation record, node 20 nothing at all, and ids outside
    // 0..171 are no node: setters change no byte, getters leave the outputs.
    const std::vector<unsigned char> before(reinterpret_cast<unsigned char*>(c.get()),
                                            reinterpret_cast<unsigned char*>(c.get()) +
                                                VLMCharacterHeaderOf(c.get())->blockSize);
    const float lo[3] = {-1, -2, -3}, hi[3] = {1, 2, 3};
    for (int id : {3, 20, -1, 172, 1000000, -1000000}) {
        VLMSetNodeRotationDefinition(c.get(), id, lo, hi, q, q, 0x3F, 12);
        VLMSetNodeMinRotationLimit(c.get(), id, lo, 7);
        VLMSetNodeRotationOrder(c.get(), id, 5);
        VLMSetNodePostRotation(c.get(), id, q);
        if (id != 3)
            VLMSetNodeParentOffset(c.get(), id, t, q, s);
        float outLo[3] = {9, 9, 9}, outHi[3] = {9, 9, 9}, outPre[4] = {9, 9, 9, 9}, outPost[4] = {9, 9, 9, 9};
        float keep[4] = {7, 7, 7, 7};
        std::uint32_t mask = 0x40, order = 99;
        VLMGetNodeRotationDefinition(c.get(), id, outLo, outHi, outPre, outPost, &mask, &order);
        EXPECT_EQ(outLo[0] + outHi[2] + outPre[3] + outPost[0], 36.0f) << id;
        EXPECT_EQ(mask, 0x40u) << id;
        EXPECT_EQ(order, 99u) << id;
        if (id != 3) {
            VLMGetNodeParentOffsetRotation(c.get(), id, keep, keep, keep);
            EXPECT_EQ(Lanes(keep), std::vector<float>(4, 7.0f)) << id;
        }
    }
    EXPECT_EQ(std::memcmp(before.data(), c.get(), before.size()), 0);
}

TEST_F(AccessTest, RotationDefinitionSettersKeepLimitsFlagsAndOrderApart)
{
    CharacterPtr c = Body(7);
    const float lo[3] = {-0.1f, -0.2f, -0.3f}, hi[3] = {0.4f, 0.5f, 0.6f};
    const float pre[4] = {0, 0, 0, 1}, post[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    VLMSetNodeRotationDefinition(c.get(), 2, lo, hi, pre, post, 0x3F, 7);
    const VLMRotationPart* part = StoredPart(c.get(), 2);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->flags & 0x7Eu, 0x7Eu);
    EXPECT_TRUE(part->flags & VLM_ROTFLAG_ASSIGNED) << "the creation flag stays";
    EXPECT_FALSE(part->flags & VLM_ROTFLAG_PRE_ROTATION);
    EXPECT_TRUE(part->flags & VLM_ROTFLAG_POST_ROTATION);
    EXPECT_EQ(Lanes(part->minLimit, 3), Lanes(lo, 3));
    EXPECT_EQ(Lanes(part->maxLimit, 3), Lanes(hi, 3));
    EXPECT_EQ(part->rotationOrder, 7u);
    EXPECT_NEAR(part->postAxes[0].y, 1.0f, 1e-6f) << "post axes follow the post-rotation";

    VLMSetNodeRotationDefinition(c.get(), 2, lo, hi, pre, post, 0x09, 7);
    EXPECT_EQ(part->flags & 0x7Eu, VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MAX_X);

    // The partial setters touch only their own half of the bits.
    const float lo2[3] = {-1, -1, -1}, hi2[3] = {2, 2, 2};
    VLMSetNodeMinRotationLimit(c.get(), 2, lo2, 0x3E);
    EXPECT_EQ(part->flags & 0x7Eu, VLM_ROTFLAG_MIN_Y | VLM_ROTFLAG_MIN_Z | VLM_ROTFLAG_MAX_X);
    VLMSetNodeMaxRotationLimit(c.get(), 2, hi2, 0x27);
    EXPECT_EQ(part->flags & 0x7Eu, VLM_ROTFLAG_MIN_Y | VLM_ROTFLAG_MIN_Z | VLM_ROTFLAG_MAX_Z);
    EXPECT_EQ(part->minLimit[0], -1.0f);
    EXPECT_EQ(part->maxLimit[0], 2.0f);
    const double hiD[3] = {0.1, 0.2, 0.3}, preD[4] = {0, 1, 0, 0};
    VLMSetNodeMaxRotationLimitDouble(c.get(), 2, hiD, 0);
    EXPECT_EQ(part->maxLimit[2], float(0.3));
    EXPECT_EQ(part->flags & 0x7Eu, VLM_ROTFLAG_MIN_Y | VLM_ROTFLAG_MIN_Z);
    VLMSetNodePreRotationDouble(c.get(), 2, preD);
    EXPECT_TRUE(part->flags & VLM_ROTFLAG_PRE_ROTATION);
    VLMSetNodeRotationOrder(c.get(), 2, 12);

    // Without any fold (identity rest rotations everywhere) the definition
    // reads back as stored; the mask is OR-ed into the caller's word.
    float outLo[3], outHi[3], outPre[4], outPost[4];
    std::uint32_t mask = 0x80, order = 0;
    VLMGetNodeRotationDefinition(c.get(), 2, outLo, outHi, outPre, outPost, &mask, &order);
    EXPECT_EQ(mask, 0x80u | 0x06u);
    EXPECT_EQ(order, 12u);
    EXPECT_EQ(Lanes(outPost), Lanes(post));
    EXPECT_EQ(Lanes(outPre), (std::vector<float>{0, 1, 0, 0}));
    EXPECT_EQ(Lanes(outLo, 3), Lanes(part->minLimit, 3));
    EXPECT_EQ(Lanes(outHi, 3), Lanes(part->maxLimit, 3));
}

// Through the whole transfer: the characterization folds the parent's rest
// rotation and the parent offset into the pre-rotation and the node's own
// rest rotation into the post-rotation; reading takes both out again.
TEST_F(AccessTest, RotationDefinitionsReadBackThroughTheCharacterization)
{
    std::mt19937 rng(11);
    const VLMCharacterDefinition def = sample::FullDefinition();
    auto records = sample::RandomRecords(rng);
    CharacterPtr c = sample::Create(def);
    VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, nullptr);

    const float identity[4] = {0, 0, 0, 1};
    int checked = 0, unfolded = 0;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMJointGeometry& r = records[id];
        float lo[3] = {}, hi[3] = {}, pre[4] = {}, post[4] = {};
        std::uint32_t mask = 0, order = 0;
        VLMGetNodeRotationDefinition(c.get(), id, lo, hi, pre, post, &mask, &order);
        if ((def.words[id] & 4) == 0) {
            EXPECT_EQ(post[3], 0.0f) << "no rotation record, outputs untouched: " << id;
        } else if ((def.words[id] & 7) != 7) {
            // A rotation record the transfer does not fill: the initial
            // definition, folded and unfolded again.
            EXPECT_EQ(mask, 0u) << id;
            EXPECT_TRUE(SameRotation(pre, identity, 2e-5)) << id;
            EXPECT_TRUE(SameRotation(post, identity, 2e-5)) << id;
        } else {
            ++checked;
            EXPECT_EQ(Lanes(lo, 3), Lanes(r.minRLimit, 3)) << id;
            EXPECT_EQ(Lanes(hi, 3), Lanes(r.maxRLimit, 3)) << id;
            EXPECT_EQ(mask, r.limitEnableMask) << id;
            EXPECT_EQ(order, r.rotationOrder) << id;
            EXPECT_TRUE(SameRotation(pre, r.preRotQ, 2e-5)) << id;
            EXPECT_TRUE(SameRotation(post, r.postRotQ, 2e-5)) << id;
            // The stored values are folded, so the read really undoes something.
            const VLMRotationPart* part = StoredPart(c.get(), id);
            unfolded +=
                !SameRotation(&part->preRotation.x, pre, 1e-3) && !SameRotation(&part->postRotation.x, post, 1e-3);
        }
    }
    EXPECT_GT(unfolded, 100);
    EXPECT_GT(checked, 100);
}

// Reference (node 0) is the root: the characterization never folds its
// definition, so it reads back as written whatever its rest rotation; the same
// holds for a node the rig tree leaves without a parent (read as if its parent
// rotation were the identity, never through a parent index of -1).
TEST_F(AccessTest, NodesWithoutAParentReadTheirDefinitionUnchanged)
{
    std::mt19937 rng(5);
    VLMCharacterDefinition def;
    Body(7, &def).reset();
    def.words[170] = 7;  // LeftShoulderExtra without LeftShoulder: unlinked
    auto records = sample::RandomRecords(rng);
    CharacterPtr c = sample::Create(def);
    VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, nullptr);
    ASSERT_EQ(VLMGetParentNodeId(c.get(), 170), -1);

    float lo[3], hi[3], pre[4], post[4];
    std::uint32_t mask = 0, order = 0;
    VLMGetNodeRotationDefinition(c.get(), 0, lo, hi, pre, post, &mask, &order);
    EXPECT_EQ(Lanes(pre), Lanes(records[0].preRotQ));
    EXPECT_EQ(Lanes(post), Lanes(records[0].postRotQ));
    VLMGetNodeRotationDefinition(c.get(), 170, lo, hi, pre, post, &mask, &order);
    EXPECT_TRUE(SameRotation(pre, records[170].preRotQ, 2e-5));
    EXPECT_TRUE(SameRotation(post, records[170].postRotQ, 2e-5));
}

TEST_F(AccessTest, StateRowsAndEffectorRecords)
{
    CharacterPtr c = Body(7);
    std::vector<VLMStateRow> rows(VLMCharacterHeaderOf(c.get())->nodeCount + 2);
    VLMStateRow* row = VLMStateRowAt(rows.data(), VLMCharacterCompactIndex(c.get(), 10));
    *row = VLMStateRow{{1, 2, 3, 4}, {0.5f, -0.5f, 0.5f, 0.5f}, {5, 6, 7, 8}, {}, {}, {}};
    float t[4], q[4], s[4];
    VLMGetNodeStoredTQS(c.get(), reinterpret_cast<const VLMCharacterState*>(rows.data()), 10, t, q, s);
    EXPECT_EQ(Lanes(t), Lanes(&row->globalT.x)) << "copied as stored, w included";
    EXPECT_EQ(Lanes(q), Lanes(&row->globalQ.x));
    EXPECT_EQ(Lanes(s), Lanes(&row->globalS.x));

    VLMEffectorSetLayout set{};
    VLMEffectorSetState* handle = reinterpret_cast<VLMEffectorSetState*>(&set);
    const float et[4] = {1, 2, 3, 9}, eq[4] = {0, 1, 0, 0}, es[4] = {4, 5, 6, 0};
    VLMSetEffectorTQS(handle, 7, et, eq, es);
    EXPECT_EQ(Lanes(&set.effectors[7].t.x), (std::vector<float>{1, 2, 3, 0}));
    EXPECT_EQ(Lanes(&set.effectors[7].s.x), (std::vector<float>{4, 5, 6, 1}));
    double dt[4], dq[4], ds[4];
    VLMGetEffectorTQSDouble(handle, 7, dt, dq, ds);
    EXPECT_EQ(dt[2] + dq[1] + ds[3], 3.0 + 1.0 + 1.0);
    set.extremities[2].t = {7, 8, 9, 0};
    VLMGetExtremityTQDouble(handle, 2, dt, dq);
    EXPECT_EQ(dt[1], 8.0);

    // Elements of 80 bytes: T at 0, Q at 16, S at 32, reach at 48.
    struct Element {
        float t[4], q[4], s[4], reach[4], pad[4];
    };
    Element data[4] = {};
    for (int k = 0; k < 4; ++k)
        data[k] = Element{{float(k + 1)}, {0, 0, 0, 1}, {2}, {-0.5f, 0.25f, 3.0f, NAN}, {}};
    const std::int32_t ids[] = {3, -1, 5, 99, -2};
    const VLMEffectorSourceLayout layout = {0, 16, 32, 48, sizeof(Element), ids};
    const VLMEffectorSetLayout untouched = set;
    VLMSetEffectorsFromLayout(handle, &layout, data);
    EXPECT_EQ(set.effectors[3].t.x, 1.0f);
    EXPECT_EQ(set.effectors[5].t.x, 3.0f) << "element 2 for the third entry";
    EXPECT_EQ(set.effectors[5].s.w, 1.0f);
    EXPECT_EQ(Lanes(&set.blend[5].x), (std::vector<float>{0, 0.25f, 1, 0})) << "clamped to [0, 1], NaN to 0";
    EXPECT_EQ(std::memcmp(&set.effectors[4], &untouched.effectors[4], sizeof(VLMTransformTQS)), 0);

    VLMSetEffectorTQAt(handle, 9, &data[3], 0, 16);
    EXPECT_EQ(set.effectors[9].t.x, 4.0f);
    EXPECT_EQ(set.effectors[9].s.x, 1.0f) << "TQ read at offsets gets scale 1";
    VLMSetEffectorTQSAt(handle, 10, &data[1], 0, 16, 32);
    EXPECT_EQ(set.effectors[10].s.x, 2.0f);
    const VLMEffectorSetLayout before = set;
    VLMSetEffectorTQS(handle, 44, et, eq, es);
    VLMSetEffectorTQS(handle, -1, et, eq, es);
    EXPECT_EQ(std::memcmp(&before, &set, sizeof set), 0) << "ids outside 0..43 write nothing";
}

// Every entry point opens with the scoped guard; these cover its ways out: a
// normal return, a node without the entry, an id outside the set, no character.
TEST_F(AccessTest, EntryPointsRestoreTheCallersControlWord)
{
    CharacterPtr c = Body(7);
    float f[16] = {0, 0, 0, 1}, g[4] = {0, 0, 0, 1};
    double d[4] = {0, 0, 0, 1};
    std::uint32_t mask = 0, order = 0;
    VLMEffectorSetLayout setLayout{};
    auto* set = reinterpret_cast<VLMEffectorSetState*>(&setLayout);
    const std::function<void()> calls[] = {
        [&] { VLMGetNodeTPoseMatrix(c.get(), 2, f); },
        [&] { VLMSetNodeRotationDefinitionDouble(c.get(), 2, d, d, d, d, 0x3F, 0); },
        [&] { VLMGetNodeRotationDefinition(c.get(), 30, f, f, g, g, &mask, &order); },
        [&] { VLMSetEffectorTQS(set, 50, f, g, g); },
        [&] { VLMGetNodeTPose(nullptr, 2, f, g, g); },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i)
        EXPECT_TRUE(RestoresCallerWord(calls[i])) << "call " << i;
}

}  // namespace
