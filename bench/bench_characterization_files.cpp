// A characterization with all 172 nodes assigned, every one with rotation
// limits: the host stream both ways, the XML file both ways, the binary file
// with its companion saved, and the number texts of the XML file.
#include "rig/vlm_character.h"

#include "model/characterization.h"
#include "model/characterization_files.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

namespace {

Characterization& FullCharacterization()
{
    static Characterization c = [] {
        Characterization full(QStringLiteral("Bench"), nullptr);
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> spread(-1.f, 1.f);
        for (int node = 0; node < VLM_NODE_COUNT; ++node) {
            full.SetNodeName(node, QStringLiteral("Character1_joint%1").arg(node));
            VLMJointGeometry g;
            VLMJointGeometryInit(&g);
            VLMJointGeometrySetTranslate(&g, 40 * spread(rng), 40 * spread(rng), 40 * spread(rng));
            VLMJointGeometrySetRotateQ(&g, 0.5f, 0.5f, -0.5f, 0.5f);
            VLMJointGeometrySetScale(&g, 1, 1, 1);
            VLMJointGeometrySetMinRLimit(&g, -spread(rng), -0.5f, -1.25f);
            VLMJointGeometrySetMaxRLimit(&g, spread(rng), 0.5f, 1.25f);
            VLMJointGeometrySetLimitEnableMask(&g, 0x3f);
            VLMJointGeometrySetRotationOrder(&g, VLMRotationOrder(node % VLM_ROTATION_ORDER_COUNT));
            full.SetJointGeometry(node, g);
        }
        return full;
    }();
    return c;
}

void BM_StreamToHost(benchmark::State& state)
{
    Characterization& c = FullCharacterization();
    for (auto _ : state) {
        char* data = nullptr;
        std::size_t size = 0;
        benchmark::DoNotOptimize(CharacterizationToStream(c, kStreamBigEndian, true, data, size));
        std::free(data);
    }
}
BENCHMARK(BM_StreamToHost);

void BM_StreamFromHost(benchmark::State& state)
{
    Characterization& c = FullCharacterization();
    char* data = nullptr;
    std::size_t size = 0;
    CharacterizationToStream(c, kStreamBigEndian, true, data, size);
    const std::vector<QString> names = c.GetNodeNames();
    for (auto _ : state)
        benchmark::DoNotOptimize(CharacterizationFromStream(data, size, names));
    std::free(data);
}
BENCHMARK(BM_StreamFromHost);

void BM_XmlFileSave(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.xml");
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveCharacterizationXml(FullCharacterization(), path, true));
}
BENCHMARK(BM_XmlFileSave)->Unit(benchmark::kMillisecond);

void BM_XmlFileLoad(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.xml");
    SaveCharacterizationXml(FullCharacterization(), path, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadCharacterizationXml(path));
}
BENCHMARK(BM_XmlFileLoad)->Unit(benchmark::kMillisecond);

// A save of the ".vlmc" pair over the one before, in the user's own folder:
// both files staged, synced and renamed in under the save's journal.
void BM_BinaryFileSave(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.vlmc");
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveCharacterizationBinary(FullCharacterization(), path, QString(), 0, true));
}
BENCHMARK(BM_BinaryFileSave)->Unit(benchmark::kMillisecond);

void BM_FloatToText(benchmark::State& state)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> spread(-100.f, 100.f);
    std::vector<float> values(1024);
    for (float& v : values)
        v = spread(rng);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(FloatToText(values[i++ & 1023]));
}
BENCHMARK(BM_FloatToText);

}  // namespace

BENCHMARK_MAIN();
