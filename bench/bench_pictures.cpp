// Every picture of the compiled-in tree loaded cold through the bridge (the
// pixmap cache cleared each round), against decoding the same PNG bytes held
// in memory. The tree should cost little over memory: the PNG data is stored
// uncompressed, so loading reads it in place. The counter "tree_bytes" is the
// size of the pictures in the tree.
#include "bench_main.h"
#include "model/resource_bridge.h"

#include <QApplication>
#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QPixmap>
#include <QPixmapCache>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const QString kRoot = QStringLiteral(":/skelwright/resources/shared_pictures/");

// The tree is registered while a bridge exists: one bridge for the whole run.
const ResourceBridge* bridge = nullptr;

QStringList PictureNames()
{
    QStringList names;
    for (QDirIterator it(kRoot, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        names << it.next().mid(kRoot.size());
    names.sort();
    return names;
}

void BM_LoadSharedPictures(benchmark::State& state)
{
    const QStringList names = PictureNames();
    qint64 bytes = 0;
    for (const QString& name : names)
        bytes += QFile(kRoot + name).size();
    for (auto _ : state) {
        QPixmapCache::clear();
        for (const QString& name : names)
            benchmark::DoNotOptimize(bridge->LoadSharedPicture(name));
    }
    state.counters["pictures"] = double(names.size());
    state.counters["tree_bytes"] = double(bytes);
}
BENCHMARK(BM_LoadSharedPictures)->Unit(benchmark::kMillisecond);

void BM_LoadPicturesFromMemory(benchmark::State& state)
{
    std::vector<QByteArray> data;
    for (const QString& name : PictureNames()) {
        QFile file(kRoot + name);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("a picture of the tree cannot be read");
            return;
        }
        data.push_back(file.readAll());
    }
    for (auto _ : state) {
        for (const QByteArray& bytes : data) {
            QPixmap pixmap;
            pixmap.loadFromData(bytes, "PNG");
            benchmark::DoNotOptimize(pixmap);
        }
    }
    state.counters["pictures"] = double(data.size());
}
BENCHMARK(BM_LoadPicturesFromMemory)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessTold();
    QApplication app(argc, argv);
    QTemporaryDir userRoot;
    qputenv("APPDATA", userRoot.path().toUtf8());
    const ResourceBridge shared(MakePortablePath(QString()), MakePortablePath(QString()));
    bridge = &shared;
    return RunRegisteredBenchmarks(argc, argv);
}
