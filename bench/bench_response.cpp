// Cost of recomputing one response row, the work a drag step does before it sums and repaints.
#include "dsp/response.h"

#include <benchmark/benchmark.h>

#include <memory>

#ifdef QUELLATON_BENCH_GUI
#include <QApplication>
#endif

using namespace quellaton;

namespace {

// One peaking band over all 672 columns of the default graph. The handle walks a few pixels
// each iteration, as during a drag, so no step can reuse the previous one's coefficients.
void BM_ComputeBandRow(benchmark::State& state) {
    auto cache = std::make_unique<ResponseCache>();
    const GraphGeometry geometry;
    int step = 0;
    for (auto _ : state) {
        const int x = 97 + (step * 7) % 593;
        const int y = 32 + (step * 3) % 167;
        ComputePeakingResponse(*cache, geometry, 8, x, y, 20);
        benchmark::DoNotOptimize(cache->rows[8].data());
        benchmark::ClobberMemory();
        ++step;
    }
    state.SetItemsProcessed(state.iterations() * LastResponseColumn(geometry));
}
BENCHMARK(BM_ComputeBandRow);

// The costliest crossover: a 48 dB/octave Bessel low-pass (type 11, four sections).
void BM_ComputeCrossoverRow(benchmark::State& state) {
    auto cache = std::make_unique<ResponseCache>();
    const GraphGeometry geometry;
    int step = 0;
    for (auto _ : state) {
        ComputeLowPassResponse(*cache, geometry, 3, 100 + step % 100, 11);
        benchmark::DoNotOptimize(cache->rows[LowPassRow(3)].data());
        benchmark::ClobberMemory();
        ++step;
    }
    state.SetItemsProcessed(state.iterations() * LastResponseColumn(geometry));
}
BENCHMARK(BM_ComputeCrossoverRow);

} // namespace

// The benchmark executable's entry point. With the widget library linked in, a
// QApplication (offscreen unless QT_QPA_PLATFORM says otherwise) exists while the
// benchmarks of every source of this folder run.
int main(int argc, char** argv) {
#ifdef QUELLATON_BENCH_GUI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
