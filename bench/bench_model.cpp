// The characterization model against a host with a full 172-joint skeleton:
// one geometry poll tick with nothing changed, one tick that finds a moved
// joint and revalidates, and automatic matching of a 172-joint selection.
//
// The host here only looks joints up and counts the questions, so that the
// figures are the model's own.
#include "bench_main.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"
#include "model/name_matching.h"

#include <QCoreApplication>
#include <QHash>
#include <QMetaMethod>

#include <benchmark/benchmark.h>

namespace {

class CountingHost : public IDCCHub {
public:
    CountingHost()
    {
        const std::vector<QString>& names = RigNodeNames();
        for (int node = 0; node < VLM_NODE_COUNT; ++node) {
            const QString joint = QStringLiteral("Character1_") + names[node];
            CharacterJointGeometry g;
            g.SetScale(1, 1, 1);
            // Distinct rest positions, spread as a figure's joints would be.
            g.SetTranslate(float(node % 13) * 7.5f - 45.0f, float(node / 13) * 12.5f, float(node % 5));
            joints_.insert(joint, g);
            selection_.append(joint);
        }
    }

    void Move(const QString& joint, float dx)
    {
        CharacterJointGeometry& g = joints_[joint];
        const float* t = g.GetTranslate();
        g.SetTranslate(t[0] + dx, t[1], t[2]);
    }

    long geometryQuestions = 0;
    long postUpdateQuestions = 0;

    QString GetHostName() const override { return QStringLiteral("bench"); }
    const QStringList& GetSelectedNodes() override { return selection_; }
    bool HasNode(const QString& node) const override { return joints_.contains(node); }
    bool GetJointGeometry(const QString& node, int, CharacterJointGeometry& geometry, bool) override
    {
        ++geometryQuestions;
        const auto it = joints_.constFind(node);
        if (it == joints_.constEnd())
            return false;
        geometry = *it;
        return true;
    }
    void GetParentNode(const QString&, QString&) override { }
    void RegisterAssignedNode(const QString&) override { }
    void UnregisterAssignedNode(const QString&) override { }
    void GetSkeletonNodes(QStringList& nodes) override { nodes += selection_; }
    void SelectNode(const QString&) override { }
    bool PostCharacterUpdate(const QString&) override
    {
        ++postUpdateQuestions;
        return false;
    }

private:
    QHash<QString, CharacterJointGeometry> joints_;
    QStringList selection_;
};

// The timer's slot, resolved once.
QMetaMethod checkGeometrySlot(const CharacterizationModel& model)
{
    const QMetaObject* meta = model.metaObject();
    return meta->method(meta->indexOfSlot("CheckGeometry()"));
}

void BM_PollTickUnchanged(benchmark::State& state)
{
    CountingHost host;
    CharacterizationModel model(nullptr, &host);
    model.AutoMatch();
    const QMetaMethod tick = checkGeometrySlot(model);
    int validations = 0;
    QObject::connect(&model, &CharacterizationModel::ModelChanged, [&] { ++validations; });
    host.geometryQuestions = host.postUpdateQuestions = 0;
    for (auto _ : state)
        tick.invoke(&model, Qt::DirectConnection);
    const double ticks = double(state.iterations());
    state.counters["geometry_calls_per_tick"] = double(host.geometryQuestions) / ticks;
    state.counters["post_update_calls_per_tick"] = double(host.postUpdateQuestions) / ticks;
    state.counters["validations"] = validations;
}

void BM_PollTickRevalidates(benchmark::State& state)
{
    CountingHost host;
    CharacterizationModel model(nullptr, &host);
    model.AutoMatch();
    const QMetaMethod tick = checkGeometrySlot(model);
    long validations = 0;
    QObject::connect(&model, &CharacterizationModel::ModelChanged, [&] { ++validations; });
    const QString moving = QStringLiteral("Character1_LeftHand");
    float dx = 0.5f;
    for (auto _ : state) {
        host.Move(moving, dx);
        dx = -dx;
        tick.invoke(&model, Qt::DirectConnection);
    }
    state.counters["validations_per_tick"] = double(validations) / double(state.iterations());
}

// AutoMatch of the 172 selected joints: each found by rig node name and
// assigned (every node already holds it, so each is released and registered
// again), then one revalidation.
void BM_AutoMatchSelection(benchmark::State& state)
{
    CountingHost host;
    CharacterizationModel model(nullptr, &host);
    for (auto _ : state)
        model.AutoMatch();
    int assigned = 0;
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        assigned += model.GetCurrentCharacterization()->IsNodeAssigned(node);
    state.counters["assigned_nodes"] = assigned;
}

// The name lookup alone: the rig node that ends each of the 172 joint names.
void BM_RigNodeEndingName(benchmark::State& state)
{
    CountingHost host;
    const QStringList joints = host.GetSelectedNodes();
    for (auto _ : state) {
        int sum = 0;
        for (const QString& joint : joints)
            sum += RigNodeEndingName(joint);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * joints.size());
}

}  // namespace

BENCHMARK(BM_PollTickUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PollTickRevalidates)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AutoMatchSelection)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RigNodeEndingName)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    // The model's timer needs an application object.
    QCoreApplication app(argc, argv);
    return RunRegisteredBenchmarks(argc, argv);
}
