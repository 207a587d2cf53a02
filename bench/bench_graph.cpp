// Cost of one drag step on the response graph: the pointer moves, the band snaps to its table
// point, its row is recomputed, the section's total summed and grid, trace and handles
// repainted into the 720 x 249 picture.
#ifdef QUELLATON_BENCH_GUI

#include "common/way_selection.h"
#include "graph/response_graph.h"
#include "model/unit_model.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <memory>

using namespace quellaton;

namespace {

void BM_DragStep(benchmark::State& state) {
    // Widgets need a QApplication; the benchmark executable's main() creates the application
    // object for every source of this folder.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        state.SkipWithError("no QApplication");
        return;
    }
    UnitModel model;
    WaySelection selection;
    auto graph = std::make_unique<ResponseGraph>(model, selection, nullptr);
    graph->DrawGrid(720, 249);
    selection.set(0, EqPanel);
    ParameterImage image;
    for (int k = 0; k < BandsPerSection; ++k) {
        image.bands[BandIndex(0, k)].frequencyIndex = 20 + 40 * k;
        image.bands[BandIndex(0, k)].peakingGain = 100 + 10 * k;
        image.bands[BandIndex(0, k)].qIndex = 6;
    }
    image.highPassIndex[0] = 40;
    image.highPassType[0] = 7;
    image.lowPassIndex[0] = 200;
    image.lowPassType[0] = 7;
    model.replaceImage(image);
    graph->RecomputeAll();

    const QPoint start = graph->handle(2);
    graph->pointerPressed(start);
    if (!graph->dragging()) {
        state.SkipWithError("no handle picked");
        return;
    }
    // Two pointer positions far apart, alternated, so every step moves the band.
    const std::array<QPoint, 2> points = {QPoint(250, 60), QPoint(520, 170)};
    std::size_t step = 0;
    for (auto _ : state) {
        graph->pointerMoved(points[step & 1]);
        benchmark::DoNotOptimize(graph->picture().constBits());
        benchmark::ClobberMemory();
        ++step;
    }
    graph->pointerReleased();
}
BENCHMARK(BM_DragStep);

} // namespace

#endif // QUELLATON_BENCH_GUI
