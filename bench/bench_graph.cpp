// Cost of one drag step on the response graph: the pointer moves, the band snaps to its table
// point, its row is recomputed, the section's total summed and grid, trace and handles
// repainted into the 720 x 249 picture; and the same in the system view.
#ifdef QUELLATON_BENCH_GUI

#include "common/way_selection.h"
#include "graph/response_graph.h"
#include "graph/system_plot.h"
#include "model/unit_model.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>
#include <functional>
#include <memory>

using namespace quellaton;

namespace {

// A graph showing High with six bands and both crossovers, a band picked up and dragged
// between two points far apart, so every step moves the band. `prepare` sets the view.
void DragSteps(benchmark::State& state, const std::function<void(ResponseGraph&)>& prepare) {
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
    image.masterLevel = MainLevelTop;
    model.replaceImage(image);
    prepare(*graph);
    graph->RecomputeAll();

    const QPoint start = graph->handle(2);
    graph->pointerPressed(start);
    if (!graph->dragging()) {
        state.SkipWithError("no handle picked");
        return;
    }
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

void BM_DragStep(benchmark::State& state) {
    DragSteps(state, [](ResponseGraph&) {});
}
BENCHMARK(BM_DragStep);

// The same drag in the system view with the phase shown and a measured driver on High: the
// dragged band's complex values, the products, sum, levels and phase, and their drawing.
void BM_DragStepSystem(benchmark::State& state) {
    DragSteps(state, [](ResponseGraph& graph) {
        std::vector<CurvePoint> points;
        for (int k = 0; k <= 240; ++k) {
            const double f = 20.0 * std::exp2(k / 24.0);
            points.push_back({f, 85.0 + 3.0 * std::sin(k / 7.0), -30.0 * k});
        }
        graph.systemPlot().setMeasurement(0, MeasuredCurve(std::move(points), true),
                                          QStringLiteral("bench.frd"));
        graph.setView(GraphView::System);
        graph.setPhaseShown(true);
    });
}
BENCHMARK(BM_DragStepSystem);

} // namespace

#endif // QUELLATON_BENCH_GUI
