// Live filtering as the user types: a 7-letter word typed letter by letter and
// erased again, on 10,000 rows of 3 columns. Side by side, the same sequence of
// filters handed straight to the proxy, so that the difference is the widget's
// own signal path. The "per_keystroke" counter is the time of one keystroke.
#include "bench_main.h"
#include "widgets/live_search_widget.h"

#include <QApplication>
#include <QRegExp>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

const QString Word = QStringLiteral("leftarm");

// Joint-like names, a few of which share each prefix of the word.
std::unique_ptr<QStandardItemModel> makeRows()
{
    const char* const stems[] = {"LeftArm", "LeftLeg", "LeftHand", "RightArm", "Spine", "Neck", "Head", "Hips"};
    const char* const kinds[] = {"limb", "chain", "root"};
    auto model = std::make_unique<QStandardItemModel>(10000, 3);
    for (int row = 0; row < 10000; ++row) {
        model->setItem(row, 0, new QStandardItem(QString::asprintf("%s%d", stems[row % 8], row)));
        model->setItem(row, 1, new QStandardItem(kinds[row % 3]));
        model->setItem(row, 2, new QStandardItem(QString::number(row)));
    }
    return model;
}

// The texts of one pass: the word typed letter by letter, then erased.
QStringList keystrokes()
{
    QStringList texts;
    for (int n = 1; n <= Word.size(); ++n)
        texts << Word.left(n);
    for (int n = Word.size() - 1; n >= 0; --n)
        texts << Word.left(n);
    return texts;
}

void setPerKeystroke(benchmark::State& state, int keys)
{
    state.counters["per_keystroke"] =
        benchmark::Counter(keys, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_TypingThroughTheWidget(benchmark::State& state)
{
    auto rows = makeRows();
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(rows.get());
    KWDQLiveSearchWidget widget;
    widget.SetFilterModel(&proxy);
    widget.EnableLiveFiltering();
    const QStringList texts = keystrokes();
    for (auto _ : state) {
        for (const QString& text : texts)
            widget.setText(text);
        benchmark::DoNotOptimize(proxy.rowCount());
    }
    setPerKeystroke(state, texts.size());
}
BENCHMARK(BM_TypingThroughTheWidget)->Unit(benchmark::kMillisecond);

void BM_SameFiltersStraightToTheProxy(benchmark::State& state)
{
    auto rows = makeRows();
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(rows.get());
    const QStringList texts = keystrokes();
    for (auto _ : state) {
        for (const QString& text : texts)
            proxy.setFilterRegExp(QRegExp(text, Qt::CaseInsensitive, QRegExp::FixedString));
        benchmark::DoNotOptimize(proxy.rowCount());
    }
    setPerKeystroke(state, texts.size());
}
BENCHMARK(BM_SameFiltersStraightToTheProxy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessTold();
    QApplication app(argc, argv);
    return RunRegisteredBenchmarks(argc, argv);
}
