// What the response graph tests share: the colours and rows of the picture, pixel counting,
// and a graph on a host widget with its own model and send queue.
#pragma once

#include "app_fixture.h"

#include "editors/channel_editors.h"

#include "common/way_selection.h"
#include "graph/response_graph.h"
#include "model/unit_model.h"
#include "operations/live_writer.h"
#include "protocol/parameter_image.h"
#include "protocol/send_slots.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>
#include <set>

namespace quellaton::graph_test {

constexpr QRgb Fill = qRgb(20, 20, 20);
constexpr QRgb Frame = qRgb(128, 128, 128);
constexpr QRgb Grid = qRgb(64, 64, 64);
constexpr QRgb LabelBrush = qRgb(4, 2, 4);
constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Red = qRgb(255, 0, 0);

constexpr std::array<int, 8> GridRows = {40, 63, 86, 109, 133, 156, 179, 202};
constexpr std::array<QPoint, 6> StartHandles = {QPoint(101, 86), QPoint(177, 86), QPoint(236, 86),
                                                QPoint(294, 86), QPoint(371, 86), QPoint(429, 86)};

inline QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}
inline bool Is(const QImage& image, int x, int y, QRgb colour) {
    return At(image, x, y) == (colour & 0xFFFFFF);
}

inline int CountColour(const QImage& image, QRect area, QRgb colour) {
    int n = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += Is(image, x, y, colour) ? 1 : 0;
        }
    }
    return n;
}

// Rows of the red pixels in column x, top to bottom.
inline QList<int> RedRows(const QImage& image, int x) {
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (Is(image, x, y, Red)) {
            rows.append(y);
        }
    }
    return rows;
}

// A trace pixel, or a handle square or number drawn over it.
inline bool TraceOrHandle(const QImage& image, int x, int y) {
    const QRgb c = At(image, x, y);
    return c == (Red & 0xFFFFFF) || c == (White & 0xFFFFFF) ||
           std::any_of(ResponseGraph::BandColours.begin(), ResponseGraph::BandColours.end(),
                       [&](QRgb band) { return (band & 0xFFFFFF) == c; });
}

// Row of the trace pixel for a summed level, as the graph places it (one above the level's
// row), or -1 when the level lies outside the frame.
inline int TracePixelRow(double total) {
    const int y = int(std::trunc((15.0 - total) / 45.0 * (249 - 38) + 16));
    return (y > 17 && y < 225) ? y - 1 : -1;
}

// The graph's model and way selection, as the tests arrange them.
struct GraphState {
    UnitModel& model;
    WaySelection& selection;
    const SendSlots* queue = nullptr; // the window's send slots, where there is a window

    const SendSlots& sendSlots() const { return *queue; }
    const ParameterImage& image() const { return model.image(); }
    // Puts values into the image as a whole parameter set arriving would.
    void edit(const std::function<void(ParameterImage&)>& change) {
        ParameterImage image = model.image();
        change(image);
        model.replaceImage(image);
    }
    void selectWay(int way) { selection.set(way, selection.panel()); }
};

// A window-less graph: a shown host with the graph in it, the grid drawn at the default size.
struct Bench {
    Bench() {
        host.resize(740, 270);
        graph = new ResponseGraph(model, selection, &host);
        graph->DrawGrid(720, 249);
        host.show();
    }
    GraphState state() { return GraphState{model, selection, &writer.sendSlots()}; }
    UnitModel model;
    WaySelection selection;
    // The line to no unit: what the graph's edits would queue.
    UnitAddress address;
    UnitLink link{address};
    LiveWriter writer{link, model};
    QWidget host;
    ResponseGraph* graph = nullptr;
};

// Bands of Main spread out over the graph, some where the pixel mappings and their inverses
// disagree most (the top rows, 182 Hz), one a low shelf. No two catch areas touch.
inline void SpreadMainBands(GraphState& s) {
    const struct {
        int frequency;
        int gain;
        int type;
    } bands[6] = {{30, 170, 0}, {77, 175, 0},  {100, 120, 0},
                  {136, 60, 0}, {180, 150, 1}, {220, 5, 0}};
    s.edit([&](ParameterImage& image) {
        for (int k = 0; k < 6; ++k) {
            EqBand& band = image.bands[BandIndex(Main, k)];
            band.frequencyIndex = bands[k].frequency;
            band.type = bands[k].type;
            band.peakingGain = bands[k].type == 0 ? bands[k].gain : EqGainZeroIndex;
            band.shelfGain = bands[k].type == 0 ? EqGainZeroIndex : bands[k].gain;
        }
    });
}

} // namespace quellaton::graph_test
