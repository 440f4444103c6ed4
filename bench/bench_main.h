// The end of a benchmark program's own main: the benchmark library's run, for
// programs that first set up what their benchmarks need (a Qt application, a
// picture tree, a per-user folder).
#ifndef SKW_BENCH_MAIN_H
#define SKW_BENCH_MAIN_H

#include <QByteArray>
#include <QtGlobal>
#include <benchmark/benchmark.h>

// Widgets need a platform; without a display the offscreen one serves.
inline void UseOffscreenUnlessTold()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

inline int RunRegisteredBenchmarks(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#endif
