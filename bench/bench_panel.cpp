// The shown panel on the stand-in host with a full 172-node mapping, each
// figure beside its baseline from the same run:
// - an idle poll tick (nothing changed, so nothing is emitted and no view may
//   work), against the idle tick of a bare model with no view: a guard at
//   1.0x;
// - the panel's answer to one ModelChanged() (the figure, the list and both
//   property views re-read the model; nothing is painted), against one
//   revalidation of a bare model, which every ModelChanged() follows.
#include "bench_main.h"
#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/resource_bridge.h"
#include "rig/vlm_names.h"
#include "ui/character_tool.h"

#include "rig_sample.h"
#include "standin_host.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const QString kCharacter = QStringLiteral("Character1");

// 172 joints "Character1_<rig node>" at the sample rest pose.
void LoadScene(StandInHost& host)
{
    const auto positions = sample::RestPositions();
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        CharacterJointGeometry g;
        g.SetTranslate(positions[node].x, positions[node].y, positions[node].z);
        host.AddJoint(kCharacter + QStringLiteral("_") + QString::fromUtf8(VLMGetNodeName(node)), QString(), g);
    }
}

void MatchAll(StandInHost& host, CharacterizationModel& model)
{
    host.SetSelection(host.JointNames());
    model.AutoMatch();
    host.SetSelection({});
}

struct ShownPanel {
    StandInHost host;
    QWidget parent;
    CharacterTool* tool;

    ShownPanel()
    {
        LoadScene(host);
        tool = new CharacterTool(false, "", "", &parent, &host);
        host.AddCharacterizationNode(kCharacter);
        host.UpdateCharacterList({kCharacter});
        MatchAll(host, *tool->GetModel());
        parent.resize(tool->sizeHint());
        parent.show();
        QApplication::processEvents();
    }
};

struct BareModel {
    StandInHost host;
    CharacterizationModel model{nullptr, &host};

    BareModel()
    {
        LoadScene(host);
        host.AddCharacterizationNode(kCharacter);
        model.AddCharacterization(new Characterization(kCharacter, &host));
        MatchAll(host, model);
    }
};

// The host records every geometry question; the records are dropped now and
// then, outside the timing, so that the runs do not grow memory.
void Tick(benchmark::State& state, CharacterizationModel& model, StandInHost& host)
{
    long n = 0;
    for (auto _ : state) {
        QMetaObject::invokeMethod(&model, "CheckGeometry", Qt::DirectConnection);
        if (++n % 1024 == 0) {
            state.PauseTiming();
            host.ClearRecords();
            state.ResumeTiming();
        }
    }
    state.counters["overall_state"] = model.GetStatus().state;
}

void BM_PanelIdleTick(benchmark::State& state)
{
    ShownPanel panel;
    Tick(state, *panel.tool->GetModel(), panel.host);
}
BENCHMARK(BM_PanelIdleTick)->Unit(benchmark::kMicrosecond);

void BM_BareModelIdleTick(benchmark::State& state)
{
    BareModel bare;
    Tick(state, bare.model, bare.host);
}
BENCHMARK(BM_BareModelIdleTick)->Unit(benchmark::kMicrosecond);

void BM_PanelModelChanged(benchmark::State& state)
{
    ShownPanel panel;
    CharacterizationModel* model = panel.tool->GetModel();
    for (auto _ : state)
        emit model->ModelChanged();
}
BENCHMARK(BM_PanelModelChanged)->Unit(benchmark::kMicrosecond);

void BM_BareModelRevalidation(benchmark::State& state)
{
    BareModel bare;
    long n = 0;
    for (auto _ : state) {
        bare.model.Validate(bare.model.GetCurrentCharacterization(), &bare.host);
        if (++n % 1024 == 0) {
            state.PauseTiming();
            bare.host.ClearRecords();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_BareModelRevalidation)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessTold();
    QApplication app(argc, argv);
    QTemporaryDir userRoot;
    qputenv("APPDATA", userRoot.path().toUtf8());
    return RunRegisteredBenchmarks(argc, argv);
}
