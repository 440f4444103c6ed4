#include "vlm_character.h"
#include "vlm_frame.h"
#include "vlm_hierarchy.h"
#include "vlm_joint.h"
#include "vlm_node_record.h"
#include "vlm_rotation.h"

#include "math_test_util.h"
#include "rig_sample.h"
#include "test_alloc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <type_traits>
#include <vector>

using namespace mathtest;

namespace {

static_assert(!std::is_convertible<VLMNodeBitSet*, VLMRowBitSet*>::value &&
                  !std::is_convertible<VLMRowBitSet*, VLMNodeBitSet*>::value,
              "sets by node id and sets by row are different types");

// --- Double-precision oracle: plain recursion over the records' links ---------------

struct DT {
    D4 t, q, s;
};
struct DRow {
    DT g, l;
};

D4 Add(const D4& a, const D4& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2], a[3] + b[3]}; }
D4 Sub(const D4& a, const D4& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]}; }
D4 Mul(const D4& a, const D4& b) { return {a[0] * b[0], a[1] * b[1], a[2] * b[2], a[3] * b[3]}; }
D4 Div(const D4& a, const D4& b) { return {a[0] / b[0], a[1] / b[1], a[2] / b[2], a[3] / b[3]}; }
DT WideT(const VLMVector4& t, const VLMVector4& q, const VLMVector4& s) { return {Wide(t), Wide(q), Wide(s)}; }

DT L2G(const DT& p, const DT& l, bool scaled)
{
    const D4 lt = scaled ? Mul(p.s, l.t) : l.t;
    return {Add(p.t, Rotate(p.q, lt)), Normalized(Hamilton(p.q, l.q)), scaled ? Mul(p.s, l.s) : l.s};
}
DT G2L(const DT& p, const DT& g, bool scaled)
{
    const D4 c = Conj(Normalized(p.q));
    const D4 lt = Rotate(c, Sub(g.t, p.t));
    return {scaled ? Div(lt, p.s) : lt, Hamilton(c, g.q), scaled ? Div(g.s, p.s) : g.s};
}
DT Composite(const DT& p, const VLMTransformTQS* e)
{
    if (!e)
        return {p.t, Normalized(p.q), p.s};
    return L2G(p, WideT(e->t, e->q, e->s), true);
}

struct Rig {
    const VLMNodeRecord* root;
    const VLMNodeRecord* records;
    int count;
    const VLMTransformTQS* offsets;
    const VLMRotationRecord* rotations;

    std::vector<int> Kids(const VLMNodeRecord* r) const
    {
        std::vector<int> k;
        for (std::uint32_t i = 0; i < r->childCount; ++i)
            k.push_back(int(r->firstChildIndex + i));
        return k;
    }
    const VLMTransformTQS* Offset(int i) const
    {
        const std::uint64_t e = records[i].parentOffsetIndex;
        return e == VLM_INDEX_NONE ? nullptr : &offsets[e];
    }
    int Parent(int i) const { return int(records[i].parentIndex); }
};

// A pose as the oracle holds it, row by row.
struct Oracle {
    const Rig& rig;
    std::vector<DRow> rows;

    Oracle(const Rig& r, const std::vector<VLMStateRow>& in) : rig(r)
    {
        for (int i = 0; i < rig.count; ++i) {
            const VLMStateRow& x = in[i + 1];
            rows.push_back({WideT(x.globalT, x.globalQ, x.globalS), WideT(x.localT, x.localQ, x.localS)});
        }
    }
    void PreOrder(int i, const std::function<void(int)>& f, int depth = 1 << 20)
    {
        f(i);
        if (depth > 0)
            for (int k : rig.Kids(&rig.records[i]))
                PreOrder(k, f, depth - 1);
    }
    void PostOrder(int i, const std::function<void(int)>& f)
    {
        for (int k : rig.Kids(&rig.records[i]))
            PostOrder(k, f);
        f(i);
    }
    void L2GAt(int i, bool scaled)
    {
        const DT g = L2G(rows[rig.Parent(i)].g, rows[i].l, scaled);
        rows[i].g = {g.t, g.q, scaled ? g.s : rows[i].g.s};
    }
    void G2LAt(int i, bool scaled)
    {
        const DT l = G2L(rows[rig.Parent(i)].g, rows[i].g, scaled);
        rows[i].l = {l.t, l.q, scaled ? l.s : rows[i].l.s};
    }
};

// --- Fixtures: a hand-built tree and a full character --------------------------------

//         0
//       /   \           0 has two children; 3 branches; 5-7-9 and 6-8-10
//      1     2          are single-child chains; 6 is a roll parent (its
//      |     |          first child 8 is its roll node).
//      3     4
//     / \       .
//    5   6
//    |   |
//    7   8
//    |   |
//    9   10
const std::vector<int> kSmallParents = {-1, 0, 0, 1, 2, 3, 3, 5, 6, 7, 8};

struct Scene {
    std::vector<VLMNodeRecord> records;  // [0] spare
    std::vector<VLMTransformTQS> offsets;
    std::vector<VLMRotationRecord> rotations;
    VLMCharacter* character = nullptr;
    Rig rig{};

    ~Scene()
    {
        if (character)
            VLMDestroyCharacter(character, &TestAllocator::release);
    }
};

void FillOffsetsAndLimits(std::vector<VLMTransformTQS>& offsets, VLMRotationRecord* rotations, int rotationCount,
                          std::mt19937& rng)
{
    for (VLMTransformTQS& e : offsets) {
        e.t = RandomVector(rng, 1.0f, 0.0f);
        e.q = RandomUnitQuat(rng);
        std::uniform_real_distribution<float> s(0.9f, 1.1f);
        e.s = V(s(rng), s(rng), s(rng), 1.0f);
    }
    for (int i = 0; i < rotationCount; i += 3) {
        VLMRotationPart& p = rotations[i].part;
        p.rotationOrder = VLM_ROTATION_EULER_XYZ;
        for (int a = 0; a < 3; ++a) {
            p.minLimit[a] = -0.3f;
            p.maxLimit[a] = 0.2f;
        }
        p.flags |= VLM_ROTFLAG_LIMITS;
    }
}

std::unique_ptr<Scene> SmallScene()
{
    auto scene = std::make_unique<Scene>();
    const int n = int(kSmallParents.size());
    scene->records.resize(n + 1);
    VLMNodeRecord* r = scene->records.data() + 1;
    for (int i = -1; i < n; ++i)
        VLMNodeRecordInit(&r[i]);
    for (int i = 0; i < n; ++i) {
        r[i].ownIndex = std::uint64_t(i);
        r[i].nodeId = std::uint32_t(i);
    }
    for (int i = 1; i < n; ++i)
        VLMNodeRecordLink(&r[i], &r[kSmallParents[i]]);
    r[6].rollFlag = 1;
    r[6].rotation.postAxes[0] = V(1, 0, 0, 0);
    r[8].rotation.postAxes[0] = V(0.6f, 0.8f, 0, 0);

    std::mt19937 rng(11);
    scene->offsets.resize(n);
    scene->rotations.resize(n);
    for (VLMRotationRecord& rr : scene->rotations)
        VLMRotationRecordConstruct(&rr);
    FillOffsetsAndLimits(scene->offsets, scene->rotations.data(), n, rng);
    for (int i = 0; i < n; ++i) {
        r[i].parentOffsetIndex = i % 4 == 2 ? VLM_INDEX_NONE : std::uint64_t(i);  // some nodes have none
        r[i].rotationIndex = i == 4 ? VLM_INDEX_NONE : std::uint64_t(i);
    }
    scene->rig = {&r[0], r, n, scene->offsets.data(), scene->rotations.data()};
    return scene;
}

// A characterized character of all 172 nodes with mixed definition bits,
// random rest geometry, rotation definitions (every order, random limits and
// masks) and parent offsets; every third rotation record gets narrow XYZ limits.
std::unique_ptr<Scene> CharacterScene()
{
    auto scene = std::make_unique<Scene>();
    const VLMCharacterDefinition def = sample::FullDefinition();
    scene->character = VLMCreateCharacter(&def, &TestAllocator::allocate);
    VLMCharacter* c = scene->character;
    std::mt19937 rng(5);
    const auto geometry = sample::RandomRecords(rng);
    VLMApplyJointGeometries(&def, c, geometry.data(), VLM_NODE_COUNT, nullptr);
    const VLMCharacterHeader* h = VLMCharacterHeaderOf(c);
    VLMDefinitionCounts counts;
    VLMCountDefinitionNodes(&def, &counts);
    std::vector<VLMTransformTQS> offsets(counts.parentOffsets);
    FillOffsetsAndLimits(offsets, VLMCharacterRotationRecords(c), int(counts.rotations), rng);
    std::memcpy(VLMCharacterParentOffsets(c), offsets.data(), sizeof(VLMTransformTQS) * offsets.size());
    scene->rig = {VLMCharacterRootRecord(c), VLMCharacterNodeRecords(c), int(h->nodeCount),
                  VLMCharacterParentOffsets(c), VLMCharacterRotationRecords(c)};
    return scene;
}

// Rows [0] spare, [1..count] the nodes, every half random.
std::vector<VLMStateRow> RandomPose(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> s(0.9f, 1.1f);
    std::vector<VLMStateRow> rows(count + 1);
    for (VLMStateRow& r : rows) {
        r.globalT = RandomVector(rng, 2.0f, 0.0f);
        r.globalQ = RandomUnitQuat(rng);
        r.globalS = V(s(rng), s(rng), s(rng), 1.0f);
        r.localT = RandomVector(rng, 1.0f, 0.0f);
        r.localQ = RandomUnitQuat(rng);
        r.localS = V(s(rng), s(rng), s(rng), 1.0f);
    }
    return rows;
}

::testing::AssertionResult Near(const VLMVector4& got, const D4& want, int lanes, double tol)
{
    for (int i = 0; i < lanes; ++i) {
        const double d = std::fabs(double(Lane(got, i)) - want[i]);
        if (!(d <= tol * std::fmax(1.0, std::fabs(want[i]))))
            return ::testing::AssertionFailure() << "lane " << i << ": " << Lane(got, i) << " vs " << want[i];
    }
    return ::testing::AssertionSuccess();
}

void ExpectMatches(const std::vector<VLMStateRow>& rows, const Oracle& o, const char* what, double tol = 2e-5)
{
    for (int i = 0; i < o.rig.count; ++i) {
        const VLMStateRow& r = rows[i + 1];
        const DRow& d = o.rows[i];
        SCOPED_TRACE(::testing::Message() << what << ", row " << i);
        EXPECT_TRUE(Near(r.globalT, d.g.t, 3, tol));
        EXPECT_TRUE(Near(r.globalQ, d.g.q, 4, tol));
        EXPECT_TRUE(Near(r.globalS, d.g.s, 3, tol));
        EXPECT_TRUE(Near(r.localT, d.l.t, 3, tol));
        EXPECT_TRUE(Near(r.localQ, d.l.q, 4, tol));
        EXPECT_TRUE(Near(r.localS, d.l.s, 3, tol));
    }
}

bool SameRow(const VLMStateRow& a, const VLMStateRow& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Hierarchy : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        scene = GetParam() ? CharacterScene() : SmallScene();
        rig = scene->rig;
        pose = RandomPose(rig.count, 3);
    }
    VLMStateRow* Rows() { return pose.data() + 1; }
    const VLMNodeRecord* R(int i) const { return &rig.records[i]; }
    // The deepest record (for chains), and a record with a roll parent below it.
    int Deepest() const
    {
        int best = 0, bestDepth = 0;
        for (int i = 0; i < rig.count; ++i) {
            int d = 0;
            for (int k = i; k != 0 && d < 400; k = rig.Parent(k))
                ++d;
            if (d > bestDepth && d < 400) {
                best = i;
                bestDepth = d;
            }
        }
        return best;
    }
    // The root's second child, or -1.
    int SecondRootChild() const { return rig.root->childCount > 1 ? int(rig.root->firstChildIndex + 1) : -1; }

    std::unique_ptr<Scene> scene;
    Rig rig{};
    std::vector<VLMStateRow> pose;
};

// --- Tree forms ------------------------------------------------------------------------

TEST_P(Hierarchy, TreeTQSFormsMatchTheOracle)
{
    Oracle o(rig, pose);
    const int root = int(rig.root->ownIndex);
    o.rows[root].g = o.rows[root].l;
    for (int k : rig.Kids(rig.root))
        o.PreOrder(k, [&](int i) { o.L2GAt(i, true); });
    VLMTreeLocalToGlobalTQS(rig.root, Rows(), rig.records);
    ExpectMatches(pose, o, "L2G-TQS");

    // Globals from a fresh random pose: G2L against the oracle.
    pose = RandomPose(rig.count, 4);
    Oracle g(rig, pose);
    g.rows[root].l = g.rows[root].g;
    for (int k : rig.Kids(rig.root))
        g.PreOrder(k, [&](int i) { g.G2LAt(i, true); });
    VLMTreeGlobalToLocalTQS(rig.root, Rows(), rig.records);
    ExpectMatches(pose, g, "G2L-TQS");
}

TEST_P(Hierarchy, FirstChildTreeFormsLeaveTheRootsSecondChildAlone)
{
    const int root = int(rig.root->ownIndex), second = SecondRootChild();
    const std::vector<VLMStateRow> input = pose;
    Oracle o(rig, pose);
    o.rows[root].g.t = o.rows[root].l.t;
    o.rows[root].g.q = o.rows[root].l.q;
    o.PreOrder(int(rig.root->firstChildIndex), [&](int i) { o.L2GAt(i, false); });
    VLMTreeLocalToGlobal(rig.root, Rows(), rig.records);
    ExpectMatches(pose, o, "L2G-TQ");
    EXPECT_TRUE(SameRow(pose[root + 1], [&] {
        VLMStateRow r = input[root + 1];
        r.globalT = r.localT;
        r.globalQ = r.localQ;
        return r;
    }())) << "root: T and Q copied, scale kept";

    Oracle g(rig, pose);
    g.rows[root].l.t = g.rows[root].g.t;
    g.rows[root].l.q = g.rows[root].g.q;
    g.PreOrder(int(rig.root->firstChildIndex), [&](int i) { g.G2LAt(i, false); });
    VLMTreeGlobalToLocal(rig.root, Rows(), rig.records);
    ExpectMatches(pose, g, "G2L-TQ");

    Oracle q(rig, pose);
    q.rows[root].l.q = q.rows[root].g.q;
    q.PreOrder(int(rig.root->firstChildIndex), [&](int i) {
        q.rows[i].l.q = Hamilton(Conj(q.rows[rig.Parent(i)].g.q), q.rows[i].g.q);
    });
    VLMTreeGlobalToLocalRotation(rig.root, Rows(), rig.records);
    ExpectMatches(pose, q, "G2L-Q");

    if (second >= 0) {
        Oracle untouched(rig, input);
        std::vector<int> below;
        untouched.PreOrder(second, [&](int i) { below.push_back(i); });
        for (int i : below)
            EXPECT_TRUE(SameRow(pose[i + 1], input[i + 1])) << "row " << i << " under the second child";
    }
}

TEST_P(Hierarchy, MarkedRotationsComposeWithKeptParents)
{
    VLMRowBitSet marked = {};
    for (int i = 0; i < rig.count; ++i) {
        if (i % 3 != 1)
            marked.words[i / 32] |= 1u << (i % 32);
    }
    const std::vector<VLMStateRow> input = pose;
    Oracle o(rig, pose);
    const int root = int(rig.root->ownIndex);
    if (VLMRowBitSetTest(&marked, std::uint64_t(root)))
        o.rows[root].g.q = o.rows[root].l.q;
    o.PreOrder(int(rig.root->firstChildIndex), [&](int i) {
        if (VLMRowBitSetTest(&marked, std::uint64_t(i)))
            o.rows[i].g.q = Hamilton(o.rows[rig.Parent(i)].g.q, o.rows[i].l.q);
    });
    VLMTreeLocalToGlobalRotationMarked(rig.root, Rows(), rig.records, &marked);
    ExpectMatches(pose, o, "MARKED");
    for (int i = 0; i < rig.count; ++i) {
        if (!VLMRowBitSetTest(&marked, std::uint64_t(i))) {
            EXPECT_TRUE(SameRow(pose[i + 1], input[i + 1])) << "unmarked row " << i;
        }
    }
}

// --- Offsets -----------------------------------------------------------------------------

TEST_P(Hierarchy, OffsetPassesMatchTheOracleAndInvertEachOther)
{
    const int root = int(rig.root->ownIndex);
    Oracle o(rig, pose);
    const VLMTransformTQS* rootEntry = rig.root->parentOffsetIndex == VLM_INDEX_NONE
                                           ? nullptr
                                           : &rig.offsets[rig.root->parentOffsetIndex];
    const DT identity = {{0, 0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}};
    o.rows[root].g = L2G(Composite(identity, rootEntry), o.rows[root].l, true);
    for (int k : rig.Kids(rig.root))
        o.PreOrder(k, [&](int i) { o.rows[i].g = L2G(Composite(o.rows[rig.Parent(i)].g, rig.Offset(i)), o.rows[i].l, true); });
    VLMTreeApplyParentOffsets(rig.root, Rows(), rig.offsets, rig.records);
    ExpectMatches(pose, o, "APPLY-OFFSET");

    // Local halves holding tree-space transforms: removing the offsets and
    // applying them again gives those transforms back as globals.
    pose = RandomPose(rig.count, 8);
    const std::vector<VLMStateRow> input = pose;
    Oracle r(rig, pose);
    for (int k : rig.Kids(rig.root))
        r.PostOrder(k, [&](int i) {
            const DT& p = r.rows[rig.Parent(i)].l;  // parents are rewritten after their children
            r.rows[i].l = G2L(Composite(p, rig.Offset(i)), r.rows[i].l, true);
        });
    if (rootEntry)
        r.rows[root].l = G2L(Composite(identity, rootEntry), r.rows[root].l, true);
    VLMTreeRemoveParentOffsets(rig.root, Rows(), rig.offsets, rig.records);
    ExpectMatches(pose, r, "REMOVE-OFFSET");
    VLMTreeApplyParentOffsets(rig.root, Rows(), rig.offsets, rig.records);
    for (int i = 0; i < rig.count; ++i) {
        EXPECT_TRUE(Near(pose[i + 1].globalT, Wide(input[i + 1].localT), 3, 1e-4)) << i;
        EXPECT_TRUE(Near(pose[i + 1].globalQ, Wide(input[i + 1].localQ), 4, 1e-4)) << i;
        EXPECT_TRUE(Near(pose[i + 1].globalS, Wide(input[i + 1].localS), 3, 1e-4)) << i;
    }

    // The node forms against their oracle rules.
    pose = input;
    const int n = Deepest();
    VLMNodeRemoveParentOffset(&Rows()[rig.Parent(n)], &Rows()[n], rig.records[n].parentOffsetIndex, rig.offsets);
    const DT removed = G2L(Composite(Oracle(rig, input).rows[rig.Parent(n)].l, rig.Offset(n)),
                           Oracle(rig, input).rows[n].l, true);
    EXPECT_TRUE(Near(pose[n + 1].localT, removed.t, 3, 2e-5));
    EXPECT_TRUE(Near(pose[n + 1].localQ, removed.q, 4, 2e-5));
}

// --- Subtree, chain and node forms --------------------------------------------------------

TEST_P(Hierarchy, SubtreeChainAndNodeFormsMatchTheOracle)
{
    const int start = int(rig.root->firstChildIndex);  // Hips, or node 1
    const int leaf = Deepest();
    struct Case {
        const char* name;
        std::function<void()> run;
        std::function<void(Oracle&)> expect;
    };
    auto chain = [&](const std::function<void(int)>& f) {
        std::vector<int> path;
        for (int i = leaf; i != start; i = rig.Parent(i))
            path.insert(path.begin(), i);
        path.insert(path.begin(), start);
        for (int i : path)
            f(i);
    };
    VLMStateRow* rows = Rows();
    const VLMNodeRecord* recs = rig.records;
    const Case cases[] = {
        {"GlobalToLocalTree", [&] { VLMGlobalToLocalTree(R(start), rows, recs); },
         [&](Oracle& o) { o.PreOrder(start, [&](int i) { o.G2LAt(i, true); }); }},
        {"LocalToGlobalTree", [&] { VLMLocalToGlobalTree(R(start), rows, recs); },
         [&](Oracle& o) { o.PreOrder(start, [&](int i) { o.L2GAt(i, true); }); }},
        {"SubtreeGlobalToLocal", [&] { VLMSubtreeGlobalToLocal(R(start), rows, recs); },
         [&](Oracle& o) { o.PreOrder(start, [&](int i) { o.G2LAt(i, false); }); }},
        {"SubtreeLocalToGlobal", [&] { VLMSubtreeLocalToGlobal(R(start), rows, recs); },
         [&](Oracle& o) { o.PreOrder(start, [&](int i) { o.L2GAt(i, false); }); }},
        {"ToDepth 0", [&] { VLMSubtreeLocalToGlobalToDepth(R(start), rows, recs, 0); },
         [&](Oracle& o) { o.L2GAt(start, false); }},
        {"ToDepth 2", [&] { VLMSubtreeLocalToGlobalToDepth(R(start), rows, recs, 2); },
         [&](Oracle& o) { o.PreOrder(start, [&](int i) { o.L2GAt(i, false); }, 2); }},
        {"Rotation depth 3", [&] { VLMSubtreeLocalToGlobalRotation(R(start), rows, recs, 3); },
         [&](Oracle& o) {
             o.PreOrder(start, [&](int i) { o.rows[i].g.q = Hamilton(o.rows[rig.Parent(i)].g.q, o.rows[i].l.q); }, 3);
         }},
        {"Rotation depth -1", [&] { VLMSubtreeLocalToGlobalRotation(R(start), rows, recs, -1); }, [](Oracle&) {}},
        {"ApplyParentOffsets", [&] { VLMSubtreeApplyParentOffsets(R(start), rows, rig.offsets, recs); },
         [&](Oracle& o) {
             o.PreOrder(start, [&](int i) {
                 o.rows[i].g = L2G(Composite(o.rows[rig.Parent(i)].g, rig.Offset(i)), o.rows[i].l, true);
             });
         }},
        {"ChainGlobalToLocal", [&] { VLMChainGlobalToLocal(R(leaf), start, rows, recs); },
         [&](Oracle& o) { chain([&](int i) { o.G2LAt(i, false); }); }},
        {"ChainGlobalToLocalTQS", [&] { VLMChainGlobalToLocalTQS(R(leaf), start, rows, recs); },
         [&](Oracle& o) { chain([&](int i) { o.G2LAt(i, true); }); }},
        {"ChainLocalToGlobal", [&] { VLMChainLocalToGlobal(R(leaf), start, rows, recs); },
         [&](Oracle& o) { chain([&](int i) { o.L2GAt(i, false); }); }},
        {"ChainLocalToGlobalRotation", [&] { VLMChainLocalToGlobalRotation(R(leaf), start, rows, recs); },
         [&](Oracle& o) {
             chain([&](int i) { o.rows[i].g.q = Hamilton(o.rows[rig.Parent(i)].g.q, o.rows[i].l.q); });
         }},
        {"Chain of one", [&] { VLMChainLocalToGlobal(R(leaf), leaf, rows, recs); },
         [&](Oracle& o) { o.L2GAt(leaf, false); }},
        {"NodeGlobalToLocalTQS", [&] { VLMNodeGlobalToLocalTQS(R(leaf), rows, recs); },
         [&](Oracle& o) { o.G2LAt(leaf, true); }},
        {"NodeLocalToGlobalTQS", [&] { VLMNodeLocalToGlobalTQS(R(leaf), rows, recs); },
         [&](Oracle& o) { o.L2GAt(leaf, true); }},
        {"NodeGlobalToLocal", [&] { VLMNodeGlobalToLocal(R(leaf), rows, recs); }, [&](Oracle& o) { o.G2LAt(leaf, false); }},
        {"NodeLocalToGlobal", [&] { VLMNodeLocalToGlobal(R(leaf), rows, recs); }, [&](Oracle& o) { o.L2GAt(leaf, false); }},
        {"NodeGlobalToLocalRotation", [&] { VLMNodeGlobalToLocalRotation(R(leaf), rows, recs); },
         [&](Oracle& o) { o.rows[leaf].l.q = Hamilton(Conj(o.rows[rig.Parent(leaf)].g.q), o.rows[leaf].g.q); }},
        {"NodeLocalToGlobalRotation", [&] { VLMNodeLocalToGlobalRotation(R(leaf), rows, recs); },
         [&](Oracle& o) { o.rows[leaf].g.q = Hamilton(o.rows[rig.Parent(leaf)].g.q, o.rows[leaf].l.q); }},
    };
    const std::vector<VLMStateRow> input = pose;
    for (const Case& c : cases) {
        pose = input;
        rows = Rows();
        Oracle o(rig, pose);
        c.expect(o);
        c.run();
        ExpectMatches(pose, o, c.name);
    }
}

TEST_P(Hierarchy, LocalToGlobalThenGlobalToLocalGivesTheLocalsBack)
{
    const int start = int(rig.root->firstChildIndex), leaf = Deepest();
    const std::vector<VLMStateRow> input = pose;
    const std::function<void()> trips[] = {
        [&] { VLMNodeLocalToGlobalTQS(R(leaf), Rows(), rig.records); VLMNodeGlobalToLocalTQS(R(leaf), Rows(), rig.records); },
        [&] { VLMNodeLocalToGlobal(R(leaf), Rows(), rig.records); VLMNodeGlobalToLocal(R(leaf), Rows(), rig.records); },
        [&] { VLMChainLocalToGlobal(R(leaf), start, Rows(), rig.records); VLMChainGlobalToLocal(R(leaf), start, Rows(), rig.records); },
        [&] { VLMLocalToGlobalTree(R(start), Rows(), rig.records); VLMGlobalToLocalTree(R(start), Rows(), rig.records); },
        [&] { VLMSubtreeLocalToGlobal(R(start), Rows(), rig.records); VLMSubtreeGlobalToLocal(R(start), Rows(), rig.records); },
        [&] { VLMTreeLocalToGlobal(rig.root, Rows(), rig.records); VLMTreeGlobalToLocal(rig.root, Rows(), rig.records); },
        [&] { VLMTreeLocalToGlobalTQS(rig.root, Rows(), rig.records); VLMTreeGlobalToLocalTQS(rig.root, Rows(), rig.records); },
    };
    for (const auto& trip : trips) {
        pose = input;
        trip();
        for (int i = 0; i < rig.count; ++i) {
            EXPECT_TRUE(Near(pose[i + 1].localT, Wide(input[i + 1].localT), 3, 2e-5)) << i;
            EXPECT_TRUE(Near(pose[i + 1].localQ, Wide(input[i + 1].localQ), 4, 2e-5)) << i;
            EXPECT_TRUE(Near(pose[i + 1].localS, Wide(input[i + 1].localS), 3, 2e-5)) << i;
        }
    }
}

TEST_P(Hierarchy, ChainStopRowMustBeAnAncestor)
{
    const int leaf = Deepest();
    std::vector<bool> onPath(rig.count, false);
    for (int i = leaf; i >= 0; i = rig.Parent(i))
        onPath[i] = true;
    int stranger = 0;
    while (onPath[stranger])
        ++stranger;
    const std::vector<VLMStateRow> input = pose;
    for (int stop : {stranger, 400, -7}) {
        EXPECT_DEBUG_DEATH(VLMChainLocalToGlobal(R(leaf), stop, Rows(), rig.records),
                           "not the row of the start record or of an ancestor");
        for (int i = 0; i <= rig.count; ++i)
            EXPECT_TRUE(SameRow(pose[i], input[i])) << "stop " << stop << ", row " << i;
    }
}

TEST_P(Hierarchy, MoveByTheIdentityChangesNothingAndMatchesTheOracle)
{
    const int start = int(rig.root->firstChildIndex);
    const std::vector<VLMStateRow> input = pose;
    VLMTransformSubtree(R(start), Rows(), rig.records, V(0, 0, 0, 0), V(0, 0, 0, 1), V(1, 1, 1, 1));
    for (int i = 0; i <= rig.count; ++i)
        for (int v = 0; v < 6; ++v)
            for (int l = 0; l < 4; ++l)
                EXPECT_EQ(Lane((&pose[i].globalT)[v], l), Lane((&input[i].globalT)[v], l));

    std::mt19937 rng(2);
    const VLMVector4 t = RandomVector(rng, 3, 0), q = RandomUnitQuat(rng), s = V(1.5f, 0.5f, 2, 1);
    Oracle o(rig, pose);
    o.PreOrder(start, [&](int i) {
        DT& g = o.rows[i].g;
        g = {Add(Wide(t), Rotate(Wide(q), Mul(Wide(s), g.t))), Hamilton(Wide(q), g.q), Mul(g.s, Wide(s))};
    });
    VLMTransformSubtree(R(start), Rows(), rig.records, t, q, s);
    ExpectMatches(pose, o, "MOVE");
}

// --- Limits ----------------------------------------------------------------------------

// Whether the clamp acts on a record: it has a rotation record with a limit
// enabled and an order that converts to angles (not a repeated-axis one).
bool Limited(const Rig& rig, int i)
{
    const std::uint64_t k = rig.records[i].rotationIndex;
    if (k == VLM_INDEX_NONE)
        return false;
    const VLMRotationPart& p = rig.rotations[k].part;
    return (p.flags & VLM_ROTFLAG_LIMITS) != 0 && (p.rotationOrder == 12 || p.rotationOrder % 2 == 0);
}

TEST_P(Hierarchy, LimitPassesClampAndRepairTheRightNodes)
{
    // LIMITS-TQ: the clamped locals of every limited node hold, and the nodes
    // at or below one get their globals rebuilt; all others keep theirs.
    std::vector<VLMStateRow> clamped = pose;
    for (int i = 0; i < rig.count; ++i)
        VLMClampNodeToLimits(R(i), clamped.data() + 1, rig.rotations);
    Oracle o(rig, clamped);
    std::function<void(int, bool)> walk = [&](int i, bool carried) {
        const bool acted = Limited(rig, i) || carried;
        if (acted)
            o.L2GAt(i, false);
        for (int k : rig.Kids(R(i)))
            walk(k, acted);
    };
    for (int k : rig.Kids(rig.root))
        walk(k, false);
    const int root = int(rig.root->ownIndex);
    o.rows[root] = Oracle(rig, pose).rows[root];  // the root's row is untouched
    VLMApplyLimitsBelow(rig.root, Rows(), rig.records, rig.rotations);
    ExpectMatches(pose, o, "LIMITS-TQ");
    for (int i = 0; i < rig.count; ++i) {
        if (!Limited(rig, i) || i == root)
            continue;
        const VLMRotationPart& part = rig.rotations[rig.records[i].rotationIndex].part;
        VLMVector4 a;
        VLMNodeEulerFromRotation(&part, a, pose[i + 1].localQ);
        for (int l = 0; l < 3; ++l) {
            if (part.flags & (VLM_ROTFLAG_MIN_X << l)) {
                EXPECT_GE(Lane(a, l), part.minLimit[l] - 1e-4f) << i << " order " << part.rotationOrder;
            }
            if (part.flags & (VLM_ROTFLAG_MAX_X << l)) {
                EXPECT_LE(Lane(a, l), part.maxLimit[l] + 1e-4f) << i << " order " << part.rotationOrder;
            }
        }
    }

    // LIMITS-Q: locals from the parents' current globals, clamped; limited
    // nodes recompose their globals and roll parents turn their roll child.
    pose = RandomPose(rig.count, 9);
    Oracle q(rig, pose);
    std::function<void(int)> walkQ = [&](int i) {
        DRow& r = q.rows[i];
        const D4 pq = q.rows[rig.Parent(i)].g.q;
        r.l.q = Hamilton(Conj(pq), r.g.q);
        if (Limited(rig, i)) {
            VLMStateRow tmp = {};
            for (int l = 0; l < 4; ++l)
                (&tmp.localQ.x)[l] = float(r.l.q[l]);
            VLMNodeRecord one = *R(i);
            one.ownIndex = 0;
            VLMClampNodeToLimits(&one, &tmp, rig.rotations);
            r.l.q = mathtest::Wide(tmp.localQ);
            r.g.q = Hamilton(pq, r.l.q);
            if (R(i)->rollFlag) {
                const int c = int(R(i)->firstChildIndex);
                const D4 u = Rotate(q.rows[c].g.q, mathtest::Wide(R(c)->rotation.postAxes[0]));
                const D4 v = Rotate(r.g.q, mathtest::Wide(R(i)->rotation.postAxes[0]));
                const double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2], vv = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
                const D4 arc = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0],
                                std::sqrt(uu * vv) + u[0] * v[0] + u[1] * v[1] + u[2] * v[2]};
                q.rows[c].g.q = Hamilton(Normalized(arc), q.rows[c].g.q);
            }
        }
        for (int k : rig.Kids(R(i)))
            walkQ(k);
    };
    for (int k : rig.Kids(rig.root))
        walkQ(k);
    VLMApplyLimitsBelowRotation(rig.root, Rows(), rig.records, rig.rotations);
    ExpectMatches(pose, q, "LIMITS-Q", 1e-4);
}

TEST_P(Hierarchy, RowKernelsAgreeWithTheNodeForms)
{
    // The one-row kernels take the parent transform directly; given the
    // parent's global half they must write exactly what the node forms write.
    const int n = Deepest(), p = rig.Parent(n);
    const VLMStateRow* parentRow = &Rows()[p];
    const VLMTransformTQS parent = {parentRow->globalT, parentRow->globalQ, parentRow->globalS};
    const VLMStateRow input = Rows()[n];
    struct Pair {
        std::function<void(VLMStateRow*)> kernel;
        void (*node)(const VLMNodeRecord*, VLMStateRow*, const VLMNodeRecord*);
    };
    const Pair pairs[] = {
        {[&](VLMStateRow* r) { VLMTQSGlobalToLocal(r, &parent); }, &VLMNodeGlobalToLocalTQS},
        {[&](VLMStateRow* r) { VLMTQSLocalToGlobal(r, &parent); }, &VLMNodeLocalToGlobalTQS},
        {[&](VLMStateRow* r) { VLMRowGlobalToLocalTQ(&parent, r); }, &VLMNodeGlobalToLocal},
        {[&](VLMStateRow* r) { VLMRowLocalToGlobalTQ(&parent, r); }, &VLMNodeLocalToGlobal},
        {[&](VLMStateRow* r) { EXPECT_TRUE(SameBits(VLMRowGlobalToLocalQ(&parent, r), r->localQ)); },
         &VLMNodeGlobalToLocalRotation},
        {[&](VLMStateRow* r) { EXPECT_TRUE(SameBits(VLMRowLocalToGlobalQ(&parent, r), r->globalQ)); },
         &VLMNodeLocalToGlobalRotation},
    };
    for (std::size_t k = 0; k < sizeof pairs / sizeof pairs[0]; ++k) {
        VLMStateRow viaKernel = input;
        pairs[k].kernel(&viaKernel);
        Rows()[n] = input;
        pairs[k].node(R(n), Rows(), rig.records);
        EXPECT_TRUE(SameRow(viaKernel, Rows()[n])) << "pair " << k;
    }

    VLMStateRow applied = input;
    EXPECT_EQ(VLMNodeApplyParentOffset(&parent, &applied, R(n)->parentOffsetIndex, rig.offsets), &applied);
    const DT want = L2G(Composite(WideT(parent.t, parent.q, parent.s), rig.Offset(n)),
                        WideT(input.localT, input.localQ, input.localS), true);
    EXPECT_TRUE(Near(applied.globalT, want.t, 3, 2e-5));
    EXPECT_TRUE(Near(applied.globalQ, want.q, 4, 2e-5));
    EXPECT_TRUE(Near(applied.globalS, want.s, 3, 2e-5));
}

INSTANTIATE_TEST_SUITE_P(SmallTreeAndCharacter, Hierarchy, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("FullCharacter") : std::string("SmallTree");
                         });

// --- The clamp on one node -------------------------------------------------------------

TEST(HierarchyClamp, AnswersWhetherTheNodeHasUsableLimits)
{
    VLMNodeRecord record;
    VLMNodeRecordInit(&record);
    record.ownIndex = 0;
    VLMRotationRecord rotation;
    VLMRotationRecordConstruct(&rotation);
    VLMStateRow row = {};
    row.localQ = V(0.8f, 0.0f, 0.0f, 0.6f);  // about 1.85 rad about x
    const VLMStateRow before = row;

    EXPECT_FALSE(VLMClampNodeToLimits(&record, &row, &rotation)) << "no rotation record";
    record.rotationIndex = 0;
    rotation.part.flags = VLM_ROTFLAG_ASSIGNED | VLM_ROTFLAG_PRE_ROTATION;
    EXPECT_FALSE(VLMClampNodeToLimits(&record, &row, &rotation)) << "no limit enabled";
    EXPECT_TRUE(SameRow(row, before));

    // Repeated-axis orders read every rotation as zero angles: the pose stays.
    rotation.part.flags |= VLM_ROTFLAG_MAX_X;
    for (std::uint32_t order : {1u, 3u, 5u, 7u, 9u, 11u, 13u}) {
        rotation.part.rotationOrder = order;
        EXPECT_FALSE(VLMClampNodeToLimits(&record, &row, &rotation)) << order;
        EXPECT_TRUE(SameRow(row, before)) << order;
    }

    rotation.part.flags = VLM_ROTFLAG_MAX_X;
    rotation.part.maxLimit[0] = 0.5f;
    rotation.part.rotationOrder = VLM_ROTATION_EULER_XYZ;
    EXPECT_TRUE(VLMClampNodeToLimits(&record, &row, &rotation));
    EXPECT_TRUE(SameRotation(row.localQ, {std::sin(0.25), 0, 0, std::cos(0.25)}, 1e-5));
    const VLMStateRow inside = row;
    EXPECT_TRUE(VLMClampNodeToLimits(&record, &row, &rotation)) << "inside its limits, still true";
    EXPECT_TRUE(SameRotation(row.localQ, mathtest::Wide(inside.localQ), 1e-5));
}

TEST(HierarchyRecords, ParentOffsetIndexAndRowBits)
{
    VLMNodeRecord record;
    VLMNodeRecordInit(&record);
    EXPECT_EQ(VLMNodeRecordParentOffsetIndex(&record), VLM_INDEX_NONE);
    record.parentOffsetIndex = 7;
    EXPECT_EQ(VLMNodeRecordParentOffsetIndex(&record), 7u);

    VLMRowBitSet set = {};
    set.words[1] = 1u << 3;
    EXPECT_TRUE(VLMRowBitSetTest(&set, 35));
    EXPECT_FALSE(VLMRowBitSetTest(&set, 3));
    set.words[5] = ~0u;
    EXPECT_TRUE(VLMRowBitSetTest(&set, 191));
    EXPECT_FALSE(VLMRowBitSetTest(&set, 192)) << "past the set";
}

} // namespace
