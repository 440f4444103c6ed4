// One full revalidation of a characterization that maps all 172 rig nodes:
// build the rig character with limits and the host's parent offsets, run the
// 32 validators, destroy the character. The panel does this whenever its
// 1000 ms geometry poll sees a change, so the target is well below 1 ms.
//
// The host has one joint per rig node (named by the node, placed like the
// sample humanoid where it has the joint), every joint with rotation limits so
// that every node carries a full rotation definition, and the shoulders
// parented under the neck so that the parent-offset pass has host questions
// to ask. It answers from hash tables and records nothing, as a real host
// would.
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_names.h"

#include "model/characterization.h"
#include "model/validators.h"
#include "standin_host.h"

#include <QHash>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <array>
#include <vector>

namespace {

void* allocate(std::uint64_t size) { return std::malloc(size); }

class BenchHost : public IDCCHub {
public:
    void AddJoint(const QString& name, const QString& parent, const CharacterJointGeometry& rest)
    {
        parents_.insert(name, parent);
        rest_.insert(name, rest);
    }
    QString GetHostName() const override { return QStringLiteral("bench"); }
    const QStringList& GetSelectedNodes() override { return selection_; }
    bool HasNode(const QString& node) const override { return rest_.contains(node); }
    bool GetJointGeometry(const QString& node, int, CharacterJointGeometry& geometry, bool) override
    {
        const auto it = rest_.constFind(node);
        if (it == rest_.constEnd())
            return false;
        geometry = *it;
        return true;
    }
    void GetParentNode(const QString& node, QString& parent) override { parent = parents_.value(node); }
    void RegisterAssignedNode(const QString&) override { }
    void UnregisterAssignedNode(const QString&) override { }
    void GetSkeletonNodes(QStringList& nodes) override { nodes << rest_.keys(); }
    void SelectNode(const QString&) override { }

private:
    QHash<QString, QString> parents_;
    QHash<QString, CharacterJointGeometry> rest_;
    QStringList selection_;
};

struct FullMapping {
    BenchHost host;
    Characterization characterization{QStringLiteral("Bench"), nullptr};
    ValidatorList validators = BuildValidators();

    FullMapping()
    {
        // The rig tree of a character that has every node.
        VLMCharacterDefinition all{};
        for (std::uint32_t& w : all.words)
            w = 7;
        VLMCharacter* tree = VLMCreateCharacter(&all, allocate);

        // Where the sample humanoid has the joint, its rest position.
        StandInHost sample;
        sample.LoadSkeletonFile(StandInHost::SamplePath(QStringLiteral("rig_names.bvh")));

        // Parents before children: walk the tree from Reference.
        std::vector<int> order{VLM_NODE_REFERENCE};
        for (std::size_t i = 0; i < order.size(); ++i) {
            for (int k = 0; k < VLMGetChildNodeCount(tree, order[i]); ++k)
                order.push_back(VLMGetChildNodeId(tree, order[i], k));
        }
        std::vector<std::array<float, 3>> position(VLM_NODE_COUNT, {0, 0, 0});
        for (int node : order) {
            const QString name = QString::fromLatin1(VLMGetNodeName(node));
            const int parent = VLMGetParentNodeId(tree, node);
            CharacterJointGeometry g;
            if (sample.RestGeometry(name, g)) {
                position[node] = {g.GetTranslate()[0], g.GetTranslate()[1], g.GetTranslate()[2]};
            } else if (parent >= 0) {
                const float side = name.startsWith(QLatin1String("Right")) ? -1.0f : 1.0f;
                position[node] = {position[parent][0] + side * (0.25f + 0.01f * node), position[parent][1] + 0.3f,
                                  position[parent][2] + 0.02f * node};
            }
            g.Reset();
            g.SetTranslate(position[node][0], position[node][1], position[node][2]);
            g.SetScale(1, 1, 1);
            g.SetMinRLimit(-45, -30, -20);
            g.SetMaxRLimit(45, 30, 20);
            g.SetMinRLimitEnable(true, true, true);
            g.SetMaxRLimitEnable(true, true, true);
            if (node == VLM_NODE_NECK)
                g.SetRotateQ(0, 0, std::sqrt(0.5f), std::sqrt(0.5f));
            QString hostParent;
            if (node == VLM_NODE_LEFT_SHOULDER || node == VLM_NODE_RIGHT_SHOULDER)
                hostParent = QStringLiteral("Neck");
            else if (parent >= 0)
                hostParent = QString::fromLatin1(VLMGetNodeName(parent));
            host.AddJoint(name, hostParent, g);
            characterization.SetNodeName(node, name);
        }
        VLMDestroyCharacter(tree, std::free);

        // The geometry poll, once.
        for (int node = 0; node < VLM_NODE_COUNT; ++node) {
            CharacterJointGeometry g;
            if (host.GetJointGeometry(characterization.GetNodeName(node), node, g, true)) {
                VLMJointGeometry record;
                JointGeometryToSdkRecord(g, record);
                characterization.SetJointGeometry(node, record);
            }
        }
    }
};

FullMapping& mapping()
{
    static FullMapping m;
    return m;
}

void BM_RevalidateFullMapping(benchmark::State& state)
{
    FullMapping& m = mapping();
    NodeStatusList nodes;
    CharacterizationStatus overall;
    for (auto _ : state) {
        VLMCharacterDefinition words;
        VLMCharacter* character = m.characterization.CreateSdkCharacter(words, true, allocate, &m.host);
        RunValidators(m.validators, words, character, m.characterization.GetNodeFlags(), nodes, overall);
        VLMDestroyCharacter(character, std::free);
        benchmark::DoNotOptimize(overall.state);
    }
    state.counters["overall_state"] = overall.state;
}

}  // namespace

BENCHMARK(BM_RevalidateFullMapping)->Unit(benchmark::kMicrosecond)->Repetitions(25)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
