#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_rotation.h"

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
const DT kIdentityT = {{0, 0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}};

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
    return e ? L2G(p, WideT(e->t, e->q, e->s), true) : DT{p.t, Normalized(p.q), p.s};
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
    DRow& Parent(int i) { return rows[rig.Parent(i)]; }
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
        const DT g = L2G(Parent(i).g, rows[i].l, scaled);
        rows[i].g = {g.t, g.q, scaled ? g.s : rows[i].g.s};
    }
    void G2LAt(int i, bool scaled)
    {
        const DT l = G2L(Parent(i).g, rows[i].g, scaled);
        rows[i].l = {l.t, l.q, scaled ? l.s : rows[i].l.s};
    }
    void L2GRotationAt(int i) { rows[i].g.q = Hamilton(Parent(i).g.q, rows[i].l.q); }
    void G2LRotationAt(int i) { rows[i].l.q = Hamilton(Conj(Parent(i).g.q), rows[i].g.q); }
    void ApplyOffsetAt(int i) { rows[i].g = L2G(Composite(Parent(i).g, rig.Offset(i)), rows[i].l, true); }
    // Against the parent's local half, which holds its tree-space transform.
    void RemoveOffsetAt(int i) { rows[i].l = G2L(Composite(Parent(i).l, rig.Offset(i)), rows[i].l, true); }
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
    sample::CharacterPtr character;
    Rig rig{};
};

// Random parent offsets; every third rotation record gets narrow XYZ limits.
void FillOffsetsAndLimits(std::vector<VLMTransformTQS>& offsets, VLMRotationRecord* rotations, int rotationCount,
                          std::mt19937& rng)
{
    std::uniform_real_distribution<float> s(0.9f, 1.1f);
    for (VLMTransformTQS& e : offsets)
        e = {RandomVector(rng, 1.0f, 0.0f), RandomUnitQuat(rng), V(s(rng), s(rng), s(rng), 1.0f)};
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
        r[i].parentOffsetIndex = i % 4 == 2 ? VLM_INDEX_NONE : std::uint64_t(i);  // some nodes have none
        r[i].rotationIndex = i == 4 ? VLM_INDEX_NONE : std::uint64_t(i);
        if (i > 0)
            VLMNodeRecordLink(&r[i], &r[kSmallParents[i]]);
    }
    r[6].rollFlag = 1;
    r[6].rotation.postAxes[0] = V(1, 0, 0, 0);
    r[8].rotation.postAxes[0] = V(0.6f, 0.8f, 0, 0);

    std::mt19937 rng(11);
    scene->offsets.resize(n);
    scene->rotations.resize(n);
    for (VLMRotationRecord& rr : scene->rotations)
        VLMRotationRecordConstruct(&rr);
    FillOffsetsAndLimits(scene->offsets, scene->rotations.data(), n, rng);
    scene->rig = {&r[0], r, n, scene->offsets.data(), scene->rotations.data()};
    return scene;
}

// A characterized character of all 172 nodes with mixed definition bits,
// random rest geometry, rotation definitions (every order, random limits and
// masks) and parent offsets.
std::unique_ptr<Scene> CharacterScene()
{
    auto scene = std::make_unique<Scene>();
    const VLMCharacterDefinition def = sample::FullDefinition();
    scene->character = sample::Create(def);
    VLMCharacter* c = scene->character.get();
    std::mt19937 rng(5);
    const auto geometry = sample::RandomRecords(rng);
    VLMApplyJointGeometries(&def, c, geometry.data(), VLM_NODE_COUNT, nullptr);
    VLMDefinitionCounts counts;
    VLMCountDefinitionNodes(&def, &counts);
    std::vector<VLMTransformTQS> offsets(counts.parentOffsets);
    FillOffsetsAndLimits(offsets, VLMCharacterRotationRecords(c), int(counts.rotations), rng);
    std::memcpy(VLMCharacterParentOffsets(c), offsets.data(), sizeof(VLMTransformTQS) * offsets.size());
    scene->rig = {VLMCharacterRootRecord(c), VLMCharacterNodeRecords(c), int(VLMCharacterHeaderOf(c)->nodeCount),
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
        r = {RandomVector(rng, 2.0f, 0.0f), RandomUnitQuat(rng), V(s(rng), s(rng), s(rng), 1.0f),
             RandomVector(rng, 1.0f, 0.0f), RandomUnitQuat(rng), V(s(rng), s(rng), s(rng), 1.0f)};
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
        const VLMVector4* got = &rows[i + 1].globalT;
        const D4* want[6] = {&o.rows[i].g.t, &o.rows[i].g.q, &o.rows[i].g.s,
                             &o.rows[i].l.t, &o.rows[i].l.q, &o.rows[i].l.s};
        for (int v = 0; v < 6; ++v)
            EXPECT_TRUE(Near(got[v], *want[v], v % 3 == 1 ? 4 : 3, tol)) << what << ", row " << i << ", vector " << v;
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
        start = int(rig.root->firstChildIndex);
        rootRow = int(rig.root->ownIndex);
        // The deepest record, for the chains.
        for (int i = 0, bestDepth = 0; i < rig.count; ++i) {
            int d = 0;
            for (int k = i; k != 0 && d < 400; k = rig.Parent(k))
                ++d;
            if (d > bestDepth && d < 400) {
                leaf = i;
                bestDepth = d;
            }
        }
    }
    VLMStateRow* Rows() { return pose.data() + 1; }
    const VLMNodeRecord* R(int i) const { return &rig.records[i]; }

    std::unique_ptr<Scene> scene;
    Rig rig{};
    std::vector<VLMStateRow> pose;
    int start = 0;  // the root's first child: Hips, or node 1
    int rootRow = 0;
    int leaf = 0;
};

// --- The forms against the oracle ---------------------------------------------------------

TEST_P(Hierarchy, EveryFormMatchesTheOracle)
{
    using Step = std::function<void(Oracle&, int)>;
    // The root's row first, then every child's subtree, or only the first
    // child's (the second, HipsTranslation in a character, is left alone).
    auto tree = [this](std::function<void(DRow&)> atRoot, bool firstOnly, Step f) {
        return [this, atRoot, firstOnly, f](Oracle& o) {
            atRoot(o.rows[rootRow]);
            for (int k : rig.Kids(rig.root)) {
                if (!firstOnly || k == start)
                    o.PreOrder(k, [&](int i) { f(o, i); });
            }
        };
    };
    auto subtree = [this](int depth, Step f) {
        return [this, depth, f](Oracle& o) {
            o.PreOrder(
                start, [&](int i) { f(o, i); }, depth);
        };
    };
    auto chain = [this](Step f) {
        return [this, f](Oracle& o) {
            std::vector<int> path = {leaf};
            while (path.front() != start)
                path.insert(path.begin(), rig.Parent(path.front()));
            for (int i : path)
                f(o, i);
        };
    };
    auto node = [this](Step f) { return [this, f](Oracle& o) { f(o, leaf); }; };
    const auto l2g = [](bool scaled) { return [scaled](Oracle& o, int i) { o.L2GAt(i, scaled); }; };
    const auto g2l = [](bool scaled) { return [scaled](Oracle& o, int i) { o.G2LAt(i, scaled); }; };
    const Step l2gQ = [](Oracle& o, int i) { o.L2GRotationAt(i); };
    const Step g2lQ = [](Oracle& o, int i) { o.G2LRotationAt(i); };
    const Step apply = [](Oracle& o, int i) { o.ApplyOffsetAt(i); };
    const Step remove = [](Oracle& o, int i) { o.RemoveOffsetAt(i); };
    const int all = 1 << 20;

    VLMRowBitSet marked = {};
    for (int i = 0; i < rig.count; i += 3)
        marked.words[i / 32] |= 1u << (i % 32);
    const VLMTransformTQS* rootEntry =
        rig.root->parentOffsetIndex == VLM_INDEX_NONE ? nullptr : &rig.offsets[rig.root->parentOffsetIndex];
    // The one-row kernels take the parent's transform itself.
    const VLMStateRow& p = pose[rig.Parent(leaf) + 1];
    const VLMTransformTQS parent = {p.globalT, p.globalQ, p.globalS};
    const std::uint64_t offset = R(leaf)->parentOffsetIndex;
    std::mt19937 rng(2);
    const VLMVector4 mt = RandomVector(rng, 3, 0), mq = RandomUnitQuat(rng), ms = V(1.5f, 0.5f, 2, 1);
    const VLMNodeRecord* root = rig.root;
    const VLMNodeRecord* recs = rig.records;
    const VLMTransformTQS* offsets = rig.offsets;
    VLMStateRow* rows = nullptr;
    const struct {
        const char* name;
        std::function<void()> run;
        std::function<void(Oracle&)> expect;
    } cases[] = {
        {"TreeLocalToGlobalTQS", [&] { VLMTreeLocalToGlobalTQS(root, rows, recs); },
         tree([](DRow& r) { r.g = r.l; }, false, l2g(true))},
        {"TreeGlobalToLocalTQS", [&] { VLMTreeGlobalToLocalTQS(root, rows, recs); },
         tree([](DRow& r) { r.l = r.g; }, false, g2l(true))},
        {"TreeLocalToGlobal (root scale kept)", [&] { VLMTreeLocalToGlobal(root, rows, recs); },
         tree([](DRow& r) { r.g.t = r.l.t, r.g.q = r.l.q; }, true, l2g(false))},
        {"TreeGlobalToLocal", [&] { VLMTreeGlobalToLocal(root, rows, recs); },
         tree([](DRow& r) { r.l.t = r.g.t, r.l.q = r.g.q; }, true, g2l(false))},
        {"TreeGlobalToLocalRotation", [&] { VLMTreeGlobalToLocalRotation(root, rows, recs); },
         tree([](DRow& r) { r.l.q = r.g.q; }, true, g2lQ)},
        // An unmarked record keeps its global rotation, which its marked
        // children then compose with.
        {"TreeLocalToGlobalRotationMarked", [&] { VLMTreeLocalToGlobalRotationMarked(root, rows, recs, &marked); },
         tree([this](DRow& r) { r.g.q = rootRow % 3 == 0 ? r.l.q : r.g.q; }, true,
              [](Oracle& o, int i) {
                  if (i % 3 == 0)
                      o.L2GRotationAt(i);
              })},
        {"TreeApplyParentOffsets", [&] { VLMTreeApplyParentOffsets(root, rows, offsets, recs); },
         tree([&](DRow& r) { r.g = L2G(Composite(kIdentityT, rootEntry), r.l, true); }, false, apply)},
        // Post-order: every node sees its parent's local half still unchanged.
        {"TreeRemoveParentOffsets", [&] { VLMTreeRemoveParentOffsets(root, rows, offsets, recs); },
         [&](Oracle& o) {
             for (int k : rig.Kids(root))
                 o.PostOrder(k, [&](int i) { o.RemoveOffsetAt(i); });
             if (rootEntry)
                 o.rows[rootRow].l = G2L(Composite(kIdentityT, rootEntry), o.rows[rootRow].l, true);
         }},
        {"GlobalToLocalTree", [&] { VLMGlobalToLocalTree(R(start), rows, recs); }, subtree(all, g2l(true))},
        {"LocalToGlobalTree", [&] { VLMLocalToGlobalTree(R(start), rows, recs); }, subtree(all, l2g(true))},
        {"SubtreeGlobalToLocal", [&] { VLMSubtreeGlobalToLocal(R(start), rows, recs); }, subtree(all, g2l(false))},
        {"SubtreeLocalToGlobal", [&] { VLMSubtreeLocalToGlobal(R(start), rows, recs); }, subtree(all, l2g(false))},
        {"ToDepth 0", [&] { VLMSubtreeLocalToGlobalToDepth(R(start), rows, recs, 0); }, subtree(0, l2g(false))},
        {"ToDepth 2", [&] { VLMSubtreeLocalToGlobalToDepth(R(start), rows, recs, 2); }, subtree(2, l2g(false))},
        {"Rotation depth 3", [&] { VLMSubtreeLocalToGlobalRotation(R(start), rows, recs, 3); }, subtree(3, l2gQ)},
        {"Rotation depth -1", [&] { VLMSubtreeLocalToGlobalRotation(R(start), rows, recs, -1); }, [](Oracle&) {}},
        {"TransformSubtree", [&] { VLMTransformSubtree(R(start), rows, recs, mt, mq, ms); },
         subtree(
             all,
             [&](Oracle& o, int i) {
                 DT& g = o.rows[i].g;
                 g = {Add(Wide(mt), Rotate(Wide(mq), Mul(Wide(ms), g.t))), Hamilton(Wide(mq), g.q), Mul(g.s, Wide(ms))};
             })},
        {"SubtreeApplyParentOffsets", [&] { VLMSubtreeApplyParentOffsets(R(start), rows, offsets, recs); },
         subtree(all, apply)},
        {"ChainGlobalToLocal", [&] { VLMChainGlobalToLocal(R(leaf), start, rows, recs); }, chain(g2l(false))},
        {"ChainGlobalToLocalTQS", [&] { VLMChainGlobalToLocalTQS(R(leaf), start, rows, recs); }, chain(g2l(true))},
        {"ChainLocalToGlobal", [&] { VLMChainLocalToGlobal(R(leaf), start, rows, recs); }, chain(l2g(false))},
        {"ChainLocalToGlobalRotation", [&] { VLMChainLocalToGlobalRotation(R(leaf), start, rows, recs); }, chain(l2gQ)},
        {"Chain of one", [&] { VLMChainLocalToGlobal(R(leaf), leaf, rows, recs); }, node(l2g(false))},
        {"NodeGlobalToLocalTQS", [&] { VLMNodeGlobalToLocalTQS(R(leaf), rows, recs); }, node(g2l(true))},
        {"NodeLocalToGlobalTQS", [&] { VLMNodeLocalToGlobalTQS(R(leaf), rows, recs); }, node(l2g(true))},
        {"NodeGlobalToLocal", [&] { VLMNodeGlobalToLocal(R(leaf), rows, recs); }, node(g2l(false))},
        {"NodeLocalToGlobal", [&] { VLMNodeLocalToGlobal(R(leaf), rows, recs); }, node(l2g(false))},
        {"NodeGlobalToLocalRotation", [&] { VLMNodeGlobalToLocalRotation(R(leaf), rows, recs); }, node(g2lQ)},
        {"NodeLocalToGlobalRotation", [&] { VLMNodeLocalToGlobalRotation(R(leaf), rows, recs); }, node(l2gQ)},
        {"NodeRemoveParentOffset", [&] { VLMNodeRemoveParentOffset(&p, &rows[leaf], offset, offsets); }, node(remove)},
        {"NodeApplyParentOffset",
         [&] { EXPECT_EQ(VLMNodeApplyParentOffset(&parent, &rows[leaf], offset, offsets), &rows[leaf]); }, node(apply)},
        {"TQSGlobalToLocal", [&] { VLMTQSGlobalToLocal(&rows[leaf], &parent); }, node(g2l(true))},
        {"TQSLocalToGlobal", [&] { VLMTQSLocalToGlobal(&rows[leaf], &parent); }, node(l2g(true))},
        {"RowGlobalToLocalTQ", [&] { VLMRowGlobalToLocalTQ(&parent, &rows[leaf]); }, node(g2l(false))},
        {"RowLocalToGlobalTQ", [&] { VLMRowLocalToGlobalTQ(&parent, &rows[leaf]); }, node(l2g(false))},
        {"RowGlobalToLocalQ",
         [&] { EXPECT_TRUE(SameBits(VLMRowGlobalToLocalQ(&parent, &rows[leaf]), rows[leaf].localQ)); }, node(g2lQ)},
        {"RowLocalToGlobalQ",
         [&] { EXPECT_TRUE(SameBits(VLMRowLocalToGlobalQ(&parent, &rows[leaf]), rows[leaf].globalQ)); }, node(l2gQ)},
    };
    const std::vector<VLMStateRow> input = pose;
    for (const auto& c : cases) {
        pose = input;
        rows = Rows();
        Oracle o(rig, pose);
        c.expect(o);
        c.run();
        ExpectMatches(pose, o, c.name);
    }
}

// Pairs of inverse passes give their input back; a rule and its inverse that
// the oracle shared a mistake with would still fail here.
TEST_P(Hierarchy, InversePassesGiveTheInputBack)
{
    const VLMNodeRecord* recs = rig.records;
    const std::vector<VLMStateRow> input = pose;
    auto expectHalf = [&](std::size_t half, const char* what) {  // 0 global, 3 local
        for (int i = 0; i < rig.count; ++i) {
            const VLMVector4* got = &pose[i + 1].globalT + half;
            const VLMVector4* want = &input[i + 1].localT;
            for (int v = 0; v < 3; ++v)
                EXPECT_TRUE(Near(got[v], Wide(want[v]), v == 1 ? 4 : 3, 1e-4)) << what << ", row " << i;
        }
    };
    using Pass = void (*)(const VLMNodeRecord*, VLMStateRow*, const VLMNodeRecord*);
    const struct {
        const char* name;
        const VLMNodeRecord* from;
        Pass there, back;
    } trips[] = {
        {"tree TQS", rig.root, &VLMTreeLocalToGlobalTQS, &VLMTreeGlobalToLocalTQS},
        {"tree TQ", rig.root, &VLMTreeLocalToGlobal, &VLMTreeGlobalToLocal},
        {"node TQS", R(leaf), &VLMNodeLocalToGlobalTQS, &VLMNodeGlobalToLocalTQS},
    };
    for (const auto& trip : trips) {
        pose = input;
        trip.there(trip.from, Rows(), recs);
        trip.back(trip.from, Rows(), recs);
        expectHalf(3, trip.name);
    }
    // Local halves holding tree-space transforms: removing the offsets and
    // applying them again gives those transforms back as globals.
    pose = input;
    VLMTreeRemoveParentOffsets(rig.root, Rows(), rig.offsets, recs);
    VLMTreeApplyParentOffsets(rig.root, Rows(), rig.offsets, recs);
    expectHalf(0, "offsets");

    pose = input;
    VLMTransformSubtree(R(start), Rows(), recs, V(0, 0, 0, 0), V(0, 0, 0, 1), V(1, 1, 1, 1));
    EXPECT_EQ(std::memcmp(pose.data(), input.data(), sizeof(VLMStateRow) * pose.size()), 0) << "move by identity";
}

TEST_P(Hierarchy, ChainStopRowMustBeAnAncestor)
{
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
        EXPECT_EQ(std::memcmp(pose.data(), input.data(), sizeof(VLMStateRow) * pose.size()), 0) << stop;
    }
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
    o.rows[rootRow] = Oracle(rig, pose).rows[rootRow];  // the root's row is untouched
    VLMApplyLimitsBelow(rig.root, Rows(), rig.records, rig.rotations);
    ExpectMatches(pose, o, "LIMITS-TQ");
    for (int i = 0; i < rig.count; ++i) {
        if (!Limited(rig, i) || i == rootRow)
            continue;
        const VLMRotationPart& part = rig.rotations[R(i)->rotationIndex].part;
        VLMVector4 a;
        VLMNodeEulerFromRotation(&part, a, pose[i + 1].localQ);
        for (int l = 0; l < 3; ++l) {
            const float low = part.flags & (VLM_ROTFLAG_MIN_X << l) ? part.minLimit[l] - 1e-4f : -INFINITY;
            const float high = part.flags & (VLM_ROTFLAG_MAX_X << l) ? part.maxLimit[l] + 1e-4f : INFINITY;
            EXPECT_TRUE(Lane(a, l) >= low && Lane(a, l) <= high) << i << ", order " << part.rotationOrder;
        }
    }

    // LIMITS-Q: locals from the parents' current globals, clamped; limited
    // nodes recompose their globals and roll parents turn their roll child.
    pose = RandomPose(rig.count, 9);
    Oracle q(rig, pose);
    std::function<void(int)> walkQ = [&](int i) {
        DRow& r = q.rows[i];
        q.G2LRotationAt(i);
        if (Limited(rig, i)) {
            VLMStateRow one = {};
            for (int l = 0; l < 4; ++l)
                (&one.localQ.x)[l] = float(r.l.q[l]);
            VLMNodeRecord alone = *R(i);
            alone.ownIndex = 0;
            VLMClampNodeToLimits(&alone, &one, rig.rotations);
            r.l.q = Wide(one.localQ);
            q.L2GRotationAt(i);
            if (R(i)->rollFlag) {
                const int c = int(R(i)->firstChildIndex);
                const D4 u = Rotate(q.rows[c].g.q, Wide(R(c)->rotation.postAxes[0]));
                const D4 v = Rotate(r.g.q, Wide(R(i)->rotation.postAxes[0]));
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

INSTANTIATE_TEST_SUITE_P(SmallTreeAndCharacter, Hierarchy, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("FullCharacter") : std::string("SmallTree");
                         });

// --- The clamp on one node, and row bits --------------------------------------------------

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
    EXPECT_TRUE(SameRotation(row.localQ, Wide(inside.localQ), 1e-5));
}

TEST(HierarchyRecords, RowBitsAndParentOffsetIndex)
{
    VLMRowBitSet set = {};
    set.words[1] = 1u << 3;
    set.words[5] = ~0u;
    EXPECT_TRUE(VLMRowBitSetTest(&set, 35));
    EXPECT_FALSE(VLMRowBitSetTest(&set, 3));
    EXPECT_TRUE(VLMRowBitSetTest(&set, 191));
    EXPECT_FALSE(VLMRowBitSetTest(&set, 192)) << "past the set";

    VLMNodeRecord record;
    VLMNodeRecordInit(&record);
    EXPECT_EQ(VLMNodeRecordParentOffsetIndex(&record), VLM_INDEX_NONE);
}

}  // namespace
