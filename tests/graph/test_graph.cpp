// The response graph widget: grid picture, summed trace, handles and their numbers, the
// full recompute, and dragging a handle with the mouse (alone and inside the main window
// against a simulated unit).
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

using namespace quellaton;

namespace {

constexpr QRgb Fill = qRgb(20, 20, 20);
constexpr QRgb Frame = qRgb(128, 128, 128);
constexpr QRgb Grid = qRgb(64, 64, 64);
constexpr QRgb LabelBrush = qRgb(4, 2, 4);
constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Red = qRgb(255, 0, 0);

constexpr std::array<int, 8> GridRows = {40, 63, 86, 109, 133, 156, 179, 202};
constexpr std::array<QPoint, 6> StartHandles = {QPoint(101, 86), QPoint(177, 86), QPoint(236, 86),
                                                QPoint(294, 86), QPoint(371, 86), QPoint(429, 86)};

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}
bool Is(const QImage& image, int x, int y, QRgb colour) {
    return At(image, x, y) == (colour & 0xFFFFFF);
}

int CountColour(const QImage& image, QRect area, QRgb colour) {
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
QList<int> RedRows(const QImage& image, int x) {
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (Is(image, x, y, Red)) {
            rows.append(y);
        }
    }
    return rows;
}

// A trace pixel, or a handle square or number drawn over it.
bool TraceOrHandle(const QImage& image, int x, int y) {
    const QRgb c = At(image, x, y);
    return c == (Red & 0xFFFFFF) || c == (White & 0xFFFFFF) ||
           std::any_of(ResponseGraph::BandColours.begin(), ResponseGraph::BandColours.end(),
                       [&](QRgb band) { return (band & 0xFFFFFF) == c; });
}

// Row of the trace pixel for a summed level, as the graph places it (one above the level's
// row), or -1 when the level lies outside the frame.
int TracePixelRow(double total) {
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

} // namespace

class TestGraph : public QObject {
    Q_OBJECT

private slots:
    void widgetPlacement();
    void gridPicture();
    void gridLabels();
    void flatTraceAndNoWay();
    void traceColumnsFollowFrequency();
    void traceClippedAtFrame();
    void handlesAndNumbers();
    void numberFlipsBelowAtRow117();
    void bypassLeavesBandOut();
    void storedSumIsConnectedAndCountsEveryBand();
    void redrawBandTypes();
    void crossoverRedraw();
    void recomputeAllFillsEverySection();
    void dragFollowsPointerWithinLimits();
    void dragAboveTopKeepsGainRow();
    void overlappingHandlesPickLowerBand();
    void pressWithoutWayOrOffHandle();
    void lostReleaseEndsTheDrag();
    void dragInWindowQueuesLatestValues();
    void smallDragsKeepTheUntouchedAxis_data();
    void smallDragsKeepTheUntouchedAxis();
    void hiddenSectionsInertInWindow();
    void redrawLeavesNothingBehind();
    void oddSizesStayInsideThePicture();
};

void TestGraph::widgetPlacement() {
    Bench b;
    QCOMPARE(b.graph->objectName(), QStringLiteral("responseGraph"));
    // geometry() is the graph's pixel geometry; the widget's own is QWidget's.
    QCOMPARE(static_cast<QWidget*>(b.graph)->geometry(), QRect(8, 12, 720, 249));
    QCOMPARE(b.graph->picture().size(), QSize(720, 249));
    QCOMPARE(b.graph->geometry().width, 720);
    QCOMPARE(b.graph->geometry().height, 249);
    // Before any recompute the graph shows the bare grid.
    QCOMPARE(b.graph->picture(), b.graph->gridPicture());
    for (int band = 0; band < BandCount; ++band) {
        QCOMPARE(b.graph->handle(band), StartHandles[band % 6]);
    }
    QCOMPARE(b.graph->handle(-1), QPoint());
    QCOMPARE(b.graph->handle(24), QPoint());

    // The widget paints its picture.
    const QImage shown = b.graph->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(720, 249));
    QVERIFY(Is(shown, 41, 17, Frame));
    QVERIFY(Is(shown, 300, 40, Grid));
}

void TestGraph::gridPicture() {
    Bench b;
    const QImage& g = b.graph->gridPicture();
    QCOMPARE(g.size(), QSize(720, 249));
    QCOMPARE(b.graph->geometry().leftInset(), 60);
    QCOMPARE(b.graph->geometry().rightInset(), 33);

    // Frame: rows 17 and 225 over columns 41..714, columns 41 and 714 over rows 17..225,
    // corners included; the pixels just outside are the fill.
    for (int x = 41; x <= 714; ++x) {
        QVERIFY2(Is(g, x, 17, Frame), qPrintable(QString::number(x)));
        QVERIFY2(Is(g, x, 225, Frame), qPrintable(QString::number(x)));
    }
    for (int y = 17; y <= 225; ++y) {
        QVERIFY2(Is(g, 41, y, Frame), qPrintable(QString::number(y)));
        QVERIFY2(Is(g, 714, y, Frame), qPrintable(QString::number(y)));
    }
    QVERIFY(Is(g, 40, 100, Fill));
    QVERIFY(Is(g, 715, 100, Fill));
    QVERIFY(Is(g, 300, 16, Fill));
    QVERIFY(Is(g, 300, 245, Fill));
    QVERIFY(Is(g, 719, 248, Fill));
    QVERIFY(Is(g, 0, 0, Fill));

    // The eight dB rows run from column 42 to 713; the rows between them are not grid rows.
    for (int row : GridRows) {
        for (int x = 42; x <= 713; ++x) {
            QVERIFY2(Is(g, x, row, Grid), qPrintable(QStringLiteral("%1,%2").arg(x).arg(row)));
        }
    }
    QVERIFY(!Is(g, 150, 41, Grid));
    QVERIFY(!Is(g, 150, 85, Grid));

    // Vertical lines: 27 grid frequencies (with width - 47) and the two edge lines, each over
    // rows 18..224. Row 30 crosses no dB row, so its grid pixels are exactly those columns.
    std::set<int> columns;
    const double third = (720 - 47 - 60 - 33) / 3.0;
    for (double decade : {10.0, 100.0, 1000.0}) {
        for (int m = decade == 10.0 ? 2 : 1; m <= 9; ++m) {
            columns.insert(int(std::trunc(std::log10(decade * m / 20.0) * third)) + 101);
        }
    }
    columns.insert(int(std::trunc(std::log10(10000.0 / 20.0) * third)) + 101);
    columns.insert(101);
    columns.insert(681);
    QVERIFY(columns.count(429));                             // 1 kHz on the grid ...
    QCOMPARE(b.graph->geometry().frequencyToX(1000.0), 430); // ... one left of the trace's
    for (int x = 42; x <= 713; ++x) {
        QCOMPARE(Is(g, x, 30, Grid), columns.count(x) == 1);
    }
    for (int x : columns) {
        for (int y = 18; y <= 224; ++y) {
            QVERIFY2(Is(g, x, y, Grid), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        }
    }

    // The grid picture never changes afterwards: drawing on the graph leaves it alone.
    const QImage before = g.copy();
    b.state().selectWay(0);
    b.graph->PlotTotal();
    b.graph->DrawHandles(0);
    QCOMPARE(b.graph->gridPicture(), before);
    QVERIFY(b.graph->picture() != before);
}

void TestGraph::gridLabels() {
    Bench b;
    const QImage& g = b.graph->gridPicture();
    const QList<QPoint> labels = {{4, 10},    {4, 33},    {8, 56},    {12, 79},   {9, 102},
                                  {6, 126},   {6, 149},   {6, 172},   {6, 195},   {6, 218},
                                  {90, 226},  {166, 226}, {222, 226}, {280, 226}, {357, 226},
                                  {417, 226}, {475, 226}, {552, 226}, {607, 226}, {666, 226}};
    for (const QPoint& at : labels) {
        // The text cell starts at the label's pixel, filled with the label brush, and carries
        // white text (drawn without smoothing).
        const QRect cell(at, QSize(14, 11));
        QVERIFY2(Is(g, at.x(), at.y(), LabelBrush),
                 qPrintable(QStringLiteral("%1,%2").arg(at.x()).arg(at.y())));
        QVERIFY2(CountColour(g, cell, White) > 3,
                 qPrintable(QStringLiteral("%1,%2").arg(at.x()).arg(at.y())));
        QVERIFY(!Is(g, at.x() - 1, at.y(), LabelBrush));
    }
    // The brush shows nowhere but in the label cells: nothing in the plot area.
    QCOMPARE(CountColour(g, QRect(42, 18, 672, 207), LabelBrush), 0);
    QCOMPARE(CountColour(g, QRect(42, 18, 672, 207), White), 0);
}

void TestGraph::flatTraceAndNoWay() {
    Bench b;
    // Nothing shown: no trace and no handles.
    b.graph->PlotTotal();
    b.graph->DrawHandles(-1);
    QCOMPARE(b.graph->picture(), b.graph->gridPicture());

    // All-zero rows: 0 dB is row 86, so the pixel is on row 85 in every column 42..713.
    b.state().selectWay(2);
    b.graph->PlotTotal();
    const QImage& p = b.graph->picture();
    for (int x = 42; x <= 713; ++x) {
        QCOMPARE(RedRows(p, x), QList<int>{85});
    }
    QCOMPARE(CountColour(p, p.rect(), Red), 672);
}

void TestGraph::traceColumnsFollowFrequency() {
    Bench b;
    const GraphGeometry& geo = b.graph->geometry();
    QCOMPARE(geo.frequencyToX(20.0), 101);
    QCOMPARE(geo.frequencyToX(20000.0), 682);
    // Cache column j is pixel column j + 41: a level stored at the column of 20 Hz and of
    // 20 kHz is plotted at 101 and 682.
    ResponseCache& cache = b.graph->cache();
    cache.rows[HighPassRow(1)][101 - 41] = 10.0;
    cache.rows[LowPassRow(1)][682 - 41] = -20.0;
    b.state().selectWay(1);
    b.graph->PlotTotal();
    const QImage& p = b.graph->picture();
    QCOMPARE(RedRows(p, 101), QList<int>{TracePixelRow(10.0)});
    QCOMPARE(RedRows(p, 682), QList<int>{TracePixelRow(-20.0)});
    QCOMPARE(RedRows(p, 100), QList<int>{85});
    QCOMPARE(RedRows(p, 683), QList<int>{85});
    // The column frequencies the rows are computed at agree with those pixels.
    QVERIFY(std::abs(geo.columnFrequency(101) - 20.0) < 0.3);
    QVERIFY(std::abs(geo.columnFrequency(682) - 20000.0) / 20000.0 < 0.012);
}

void TestGraph::traceClippedAtFrame() {
    Bench b;
    ResponseCache& cache = b.graph->cache();
    b.state().selectWay(3);
    // The total is the sum of the six bands, the high-pass and the low-pass: split each level
    // over several rows of Main.
    struct Case {
        int x;
        double total;
        int row; // -1: no pixel
    };
    const QList<Case> cases = {
        {50, 14.57, 17},   {51, 14.58, -1},  {52, 14.6, -1},   {53, 100.0, -1},
        {54, -29.57, 223}, {55, -29.58, -1}, {56, -100.0, -1}, {57, 12.0, 29},
        {58, 0.0, 85},     {59, -24.0, 197}, {60, 1.0e9, -1},  {61, -1.0e9, -1},
    };
    for (const Case& c : cases) {
        const int j = c.x - 41;
        cache.rows[18][j] = c.total / 4;
        cache.rows[23][j] = c.total / 4;
        cache.rows[HighPassRow(3)][j] = c.total / 4;
        cache.rows[LowPassRow(3)][j] = c.total / 4;
    }
    b.graph->PlotTotal();
    const QImage& p = b.graph->picture();
    for (const Case& c : cases) {
        const QList<int> expected = c.row < 0 ? QList<int>{} : QList<int>{c.row};
        QVERIFY2(RedRows(p, c.x) == expected,
                 qPrintable(QStringLiteral("total %1 at column %2").arg(c.total).arg(c.x)));
        if (std::abs(c.total) < 1000) {
            QCOMPARE(TracePixelRow(c.total), c.row);
        }
    }
    // Clipped, not clamped: the out-of-range columns left the frame lines grey.
    QVERIFY(Is(p, 53, 17, Frame));
    QVERIFY(Is(p, 56, 225, Frame));
    QVERIFY(Is(p, 56, 223, Fill));
}

void TestGraph::handlesAndNumbers() {
    Bench b;
    b.graph->DrawHandles(1);
    const QImage& p = b.graph->picture();
    for (int k = 0; k < 6; ++k) {
        const QPoint h = StartHandles[k];
        const QRgb colour = ResponseGraph::BandColours[k];
        // The square covers x - 4 .. x + 3 and y - 4 .. y + 3.
        QCOMPARE(CountColour(p, QRect(h.x() - 4, h.y() - 4, 8, 8), colour), 64);
        QCOMPARE(CountColour(p, QRect(h.x() - 6, h.y() - 6, 12, 12), colour), 64);
        // Above row 117 the number sits above the square, at (x - 2, y - 18).
        QVERIFY(CountColour(p, QRect(h.x() - 2, h.y() - 18, 8, 14), White) > 3);
        QCOMPARE(CountColour(p, QRect(h.x() - 6, h.y() - 4, 14, 20), White), 0);
    }
    QCOMPARE(ResponseGraph::BandColours[0], qRgb(255, 252, 0));
    QCOMPARE(ResponseGraph::BandColours[5], qRgb(0, 0, 255));

    // Squares are all drawn before any number: a number over the next band's square is on top.
    b.state().edit(
        [&](ParameterImage& image) { image.bands[BandIndex(1, 0)].frequencyIndex = 100; });
    b.state().edit(
        [&](ParameterImage& image) { image.bands[BandIndex(1, 1)].frequencyIndex = 100; });
    b.state().edit([&](ParameterImage& image) {
        image.bands[BandIndex(1, 1)].peakingGain = 169;
    }); // +9.8 dB: row 40
    b.state().edit([&](ParameterImage& image) {
        image.bands[BandIndex(1, 0)].peakingGain = 158;
    }); // +7.6 dB: row 50
    b.state().selectWay(1);
    for (int band : {BandIndex(1, 0), BandIndex(1, 1)}) {
        b.graph->setCurrentBand(band);
        b.graph->RedrawBand(0);
    }
    const QPoint h1 = b.graph->handle(BandIndex(1, 0));
    const QPoint h2 = b.graph->handle(BandIndex(1, 1));
    QCOMPARE(h1.y(), 50);
    QCOMPARE(h2.y(), 40);
    QCOMPARE(h1.x(), h2.x());
    // Band 1's number (cell from row 32) lies over band 2's square (rows 36..43).
    const QImage& q = b.graph->picture();
    QVERIFY(CountColour(q, QRect(h2.x() - 4, 36, 8, 8), White) > 0);
    QVERIFY(CountColour(q, QRect(h2.x() - 4, 36, 8, 8), ResponseGraph::BandColours[1]) < 64);
}

void TestGraph::numberFlipsBelowAtRow117() {
    Bench b;
    b.state().selectWay(0);
    b.graph->setCurrentBand(3);
    // -6.4 dB is row 116, -6.6 dB row 117.
    b.state().edit([&](ParameterImage& image) { image.bands[3].peakingGain = 88; });
    b.graph->RedrawBand(0);
    QPoint h = b.graph->handle(3);
    QCOMPARE(h.y(), 116);
    const QRgb colour = ResponseGraph::BandColours[3];
    QCOMPARE(CountColour(b.graph->picture(), QRect(h.x() - 4, h.y() - 4, 8, 8), colour), 64);
    QVERIFY(CountColour(b.graph->picture(), QRect(h.x() - 2, h.y() - 18, 8, 14), White) > 3);
    QCOMPARE(CountColour(b.graph->picture(), QRect(h.x() - 2, h.y() + 4, 8, 14), White), 0);

    b.state().edit([&](ParameterImage& image) { image.bands[3].peakingGain = 87; });
    b.graph->RedrawBand(0);
    h = b.graph->handle(3);
    QCOMPARE(h.y(), 117);
    QCOMPARE(CountColour(b.graph->picture(), QRect(h.x() - 2, h.y() - 18, 8, 14), White), 0);
    QVERIFY(CountColour(b.graph->picture(), QRect(h.x() - 2, h.y() + 4, 8, 14), White) > 3);
}

void TestGraph::bypassLeavesBandOut() {
    Bench b;
    GraphState s = b.state();
    // Band 3 of High and band 3 of Mid each get a +12 dB peak at 1 kHz.
    for (int band : {BandIndex(0, 2), BandIndex(1, 2)}) {
        s.edit([&](ParameterImage& image) { image.bands[band].frequencyIndex = 136; });
        s.edit([&](ParameterImage& image) { image.bands[band].peakingGain = 180; });
        s.edit([&](ParameterImage& image) { image.bands[band].qIndex = 9; });
    }
    s.selectWay(1);
    b.graph->setCurrentBand(BandIndex(1, 2));
    b.graph->RedrawBand(0);
    s.selectWay(0);
    b.graph->setCurrentBand(BandIndex(0, 2));
    b.graph->RedrawBand(0);
    const int peakX = 445; // beside the handle square (426..433)
    QVERIFY(b.graph->cache().rows[2][peakX - 41] > 9.0);
    QCOMPARE(RedRows(b.graph->picture(), peakX),
             QList<int>{TracePixelRow(b.graph->cache().rows[2][peakX - 41])});

    // Ticking box 3 and redrawing the band leaves it out of the trace: flat at row 85.
    s.model.setRowBypassed(2, true);
    b.graph->RedrawBand(0);
    const auto underHandle = [&](int x) {
        for (int k = 0; k < 6; ++k) {
            const int hx = b.graph->handle(k).x();
            if (x >= hx - 4 && x <= hx + 3) {
                return true;
            }
        }
        return false;
    };
    for (int x = 42; x <= 713; ++x) {
        if (!underHandle(x)) {
            QCOMPARE(RedRows(b.graph->picture(), x), QList<int>{85});
        }
    }
    // The band's curve stays in the cache, and so does Mid's band 3.
    QVERIFY(b.graph->cache().rows[2][peakX - 41] > 9.0);
    QVERIFY(b.graph->cache().rows[BandIndex(1, 2)][peakX - 41] > 9.0);
    // Drawing the stored sum counts every band, ticked or not.
    b.graph->DrawStoredSum(0);
    QVERIFY(RedRows(b.graph->picture(), peakX).first() < 40);
    b.graph->RedrawBand(0);
    // The handle is still drawn.
    QCOMPARE(CountColour(b.graph->picture(), QRect(b.graph->handle(2) - QPoint(4, 4), QSize(8, 8)),
                         ResponseGraph::BandColours[2]),
             64);

    // Unticking and redrawing brings it back.
    s.model.setRowBypassed(2, false);
    b.graph->RedrawBand(0);
    QVERIFY(b.graph->cache().rows[2][peakX - 41] > 9.0);
    QVERIFY(RedRows(b.graph->picture(), peakX).first() < 40);
}

void TestGraph::storedSumIsConnectedAndCountsEveryBand() {
    Bench b;
    GraphState s = b.state();
    // A steep, high peak in Low band 5 and a crossover pair, computed while Mid is shown.
    s.edit([&](ParameterImage& image) { image.bands[BandIndex(2, 4)].frequencyIndex = 136; });
    s.edit([&](ParameterImage& image) { image.bands[BandIndex(2, 4)].peakingGain = 180; });
    s.edit([&](ParameterImage& image) { image.bands[BandIndex(2, 4)].qIndex = 14; });
    s.edit([&](ParameterImage& image) { image.lowPassIndex[2] = 180; });
    s.edit([&](ParameterImage& image) { image.lowPassType[2] = 7; });
    s.selectWay(1);
    b.graph->setCurrentBand(BandIndex(2, 4));
    b.graph->RedrawBand(0);
    b.graph->RedrawCrossover(false, 7); // computes Mid's low-pass, not Low's
    b.graph->RecomputeAll();
    // Box 5 is ticked, but the stored sum counts every band.
    s.model.setRowBypassed(4, true);
    s.selectWay(2);
    b.graph->DrawStoredSum(2);
    const QImage& p = b.graph->picture();
    const ResponseCache& c = b.graph->cache();
    QVERIFY(c.rows[BandIndex(2, 4)][430 - 41] > 11.0);

    // Every column 42..712 has red pixels that touch the next column's, and each column's
    // own level row is one of them; the end point (column 713) is not drawn. Columns that a
    // handle or its number covers are left out.
    const auto covered = [&](int x) {
        for (int k = 0; k < 6; ++k) {
            const int hx = b.graph->handle(BandIndex(2, k)).x();
            if (x >= hx - 5 && x <= hx + 12) {
                return true;
            }
        }
        return false;
    };
    QList<int> previous;
    for (int x = 42; x <= 712; ++x) {
        if (covered(x)) {
            previous.clear();
            continue;
        }
        const int j = x - 41;
        double total = 0;
        for (int k = 0; k < 6; ++k) {
            total += c.rows[BandIndex(2, k)][j];
        }
        total += c.rows[HighPassRow(2)][j] + c.rows[LowPassRow(2)][j];
        const int row = int(std::trunc((15.0 - total) / 45.0 * 211 + 16));
        const QList<int> rows = RedRows(p, x);
        if (row >= 0 && row < 249) {
            QVERIFY2(TraceOrHandle(p, x, row), qPrintable(QString::number(x)));
        }
        if (!previous.isEmpty() && !rows.isEmpty()) {
            const bool touches = std::any_of(rows.begin(), rows.end(), [&](int y) {
                return std::any_of(previous.begin(), previous.end(),
                                   [&](int py) { return std::abs(py - y) <= 1; });
            });
            QVERIFY2(touches, qPrintable(QString::number(x)));
        }
        if (!rows.isEmpty()) {
            previous = rows;
        }
    }
    // The line runs on below the frame where the low-pass falls away: it is not clipped.
    QVERIFY(CountColour(p, QRect(600, 226, 114, 23), Red) > 0);
    QVERIFY(RedRows(p, 713).isEmpty() || RedRows(p, 712) != RedRows(p, 713));
    // The bypassed band's row was not zeroed by drawing the stored sum.
    QVERIFY(c.rows[BandIndex(2, 4)][430 - 41] > 11.0);
    QVERIFY(RedRows(p, 445).first() < 60);
}

void TestGraph::redrawBandTypes() {
    Bench b;
    GraphState s = b.state();
    s.selectWay(3);
    const int band = BandIndex(3, 1);
    s.edit([&](ParameterImage& image) {
        EqBand& e = image.bands[band];
        e.frequencyIndex = 120;
        e.peakingGain = 150; // +6 dB
        e.shelfGain = 90;    // -6 dB
    });
    b.graph->setCurrentBand(band);
    QCOMPARE(b.graph->currentBand(), band);
    b.graph->setCurrentBand(99); // ignored
    QCOMPARE(b.graph->currentBand(), band);

    const GraphGeometry& g = b.graph->geometry();
    const int x = g.frequencyToX(FrequencyTable[120]);
    b.graph->RedrawBand(0);
    QCOMPARE(b.graph->handle(band), QPoint(x, g.gainToY(6.0)));
    const double peak = b.graph->cache().rows[band][x - 41];
    QVERIFY(peak > 5.0);

    // Low shelf: the shelf gain places the handle, the low end carries it.
    b.graph->RedrawBand(1);
    QCOMPARE(b.graph->handle(band), QPoint(x, g.gainToY(-6.0)));
    QVERIFY(b.graph->cache().rows[band][1] < -5.5);
    QVERIFY(std::abs(b.graph->cache().rows[band][672]) < 0.2);
    // High shelf: the high end carries it.
    b.graph->RedrawBand(2);
    QVERIFY(b.graph->cache().rows[band][672] < -5.5);
    QVERIFY(std::abs(b.graph->cache().rows[band][1]) < 0.2);

    // Any other type places the handle (from the shelf gain) but computes nothing and draws
    // no trace: the row keeps its values and the picture is grid plus handles.
    const auto kept = b.graph->cache().rows[band];
    s.edit([&](ParameterImage& image) { image.bands[band].frequencyIndex = 60; });
    b.graph->RedrawBand(7);
    QCOMPARE(b.graph->handle(band).x(), g.frequencyToX(FrequencyTable[60]));
    QVERIFY(b.graph->cache().rows[band] == kept);
    // (Band 2's square is red too: it is the only red in the plot area.)
    QCOMPARE(ResponseGraph::BandColours[1], Red);
    QCOMPARE(CountColour(b.graph->picture(),
                         QRect(b.graph->handle(band) - QPoint(4, 4), QSize(8, 8)), Red),
             64);
    QCOMPARE(CountColour(b.graph->picture(), QRect(42, 18, 672, 207), Red), 64);

    // A 0 dB handle gives an all-zero row.
    s.edit([&](ParameterImage& image) { image.bands[band].peakingGain = EqGainZeroIndex; });
    b.graph->RedrawBand(0);
    for (int j = 1; j <= 672; ++j) {
        QCOMPARE(b.graph->cache().rows[band][j], 0.0);
    }
}

void TestGraph::crossoverRedraw() {
    Bench b;
    GraphState s = b.state();
    s.edit([&](ParameterImage& image) { image.lowPassIndex[0] = 136; }); // 1 kHz
    s.edit([&](ParameterImage& image) { image.highPassIndex[0] = 60; });
    // No section shown: nothing computed.
    b.graph->RedrawCrossover(false, 7);
    QCOMPARE(b.graph->cache().rows[LowPassRow(0)][600], 0.0);
    QCOMPARE(b.graph->picture(), b.graph->gridPicture());

    s.selectWay(0);
    b.graph->RedrawCrossover(false, 7);
    const ResponseCache& c = b.graph->cache();
    QVERIFY(c.rows[LowPassRow(0)][600] < -30.0);
    QVERIFY(std::abs(c.rows[LowPassRow(0)][5]) < 0.1);
    QCOMPARE(c.rows[HighPassRow(0)][5], 0.0);
    // Trace: flat on the left, gone below the frame on the right; handles on top.
    QCOMPARE(RedRows(b.graph->picture(), 60), QList<int>{85});
    QVERIFY(RedRows(b.graph->picture(), 700).isEmpty());
    QCOMPARE(CountColour(b.graph->picture(), QRect(97, 82, 8, 8), ResponseGraph::BandColours[0]),
             64);

    b.graph->RedrawCrossover(true, 1);
    QVERIFY(c.rows[HighPassRow(0)][5] < -20.0);
    // Stored types 9..11 compute too.
    b.graph->RedrawCrossover(true, 11);
    QVERIFY(c.rows[HighPassRow(0)][5] < -40.0);
}

void TestGraph::recomputeAllFillsEverySection() {
    Bench b;
    GraphState s = b.state();
    s.edit([&](ParameterImage& image) {
        for (int way = 0; way < 4; ++way) {
            for (int k = 0; k < 6; ++k) {
                EqBand& e = image.bands[BandIndex(way, k)];
                e.frequencyIndex = 20 + 35 * k + way;
                e.type = (k + way) % 3;
                e.peakingGain = 130 + 5 * k;
                e.shelfGain = 100 - 3 * k;
                e.qIndex = 3 + 10 * way;
            }
            image.highPassIndex[way] = 10 + way;
            image.highPassType[way] = way;
            image.lowPassIndex[way] = 200 + way;
            image.lowPassType[way] = 4 + way;
        }
    });
    s.selectWay(2);
    QSignalSpy edited(b.graph, &ResponseGraph::bandEdited);
    b.graph->RecomputeAll();
    QCOMPARE(edited.count(), 0);

    // Every handle sits on its table point, and every row holds the curve computed from it.
    const GraphGeometry& g = b.graph->geometry();
    auto expected = std::make_unique<ResponseCache>();
    for (int band = 0; band < 24; ++band) {
        const EqBand& e = s.image().bands[band];
        const QPoint h(g.frequencyToX(FrequencyTable[e.frequencyIndex]),
                       g.gainToY(EqGainTable[e.activeGain()]));
        QCOMPARE(b.graph->handle(band), h);
        switch (e.type) {
        case 0:
            ComputePeakingResponse(*expected, g, band, h.x(), h.y(), e.qIndex);
            break;
        case 1:
            ComputeLowShelfResponse(*expected, g, band, h.x(), h.y());
            break;
        default:
            ComputeHighShelfResponse(*expected, g, band, h.x(), h.y());
            break;
        }
        QVERIFY(expected->rows[band] == b.graph->cache().rows[band]);
        QVERIFY(std::any_of(expected->rows[band].begin(), expected->rows[band].end(),
                            [](double v) { return std::abs(v) > 0.5; }));
    }
    for (int way = 0; way < 4; ++way) {
        ComputeHighPassResponse(*expected, g, way, s.image().highPassIndex[way],
                                s.image().highPassType[way]);
        ComputeLowPassResponse(*expected, g, way, s.image().lowPassIndex[way],
                               s.image().lowPassType[way]);
        QVERIFY(expected->rows[HighPassRow(way)] == b.graph->cache().rows[HighPassRow(way)]);
        QVERIFY(expected->rows[LowPassRow(way)] == b.graph->cache().rows[LowPassRow(way)]);
        QVERIFY(b.graph->cache().rows[HighPassRow(way)][1] < -3.0);
        QVERIFY(b.graph->cache().rows[LowPassRow(way)][672] < -3.0);
    }
    QCOMPARE(b.graph->currentBand(), 23);

    // The picture is the grid, the shown section's trace and its handles only.
    const QImage& p = b.graph->picture();
    for (int x = 42; x <= 713; ++x) {
        const int j = x - 41;
        double total = 0;
        for (int k = 0; k < 6; ++k) {
            total += expected->rows[BandIndex(2, k)][j];
        }
        total += expected->rows[HighPassRow(2)][j] + expected->rows[LowPassRow(2)][j];
        const int row = TracePixelRow(total);
        if (row >= 0) {
            QVERIFY2(TraceOrHandle(p, x, row), qPrintable(QString::number(x)));
        }
    }
    for (int k = 0; k < 6; ++k) {
        const QPoint h = b.graph->handle(BandIndex(2, k));
        QCOMPARE(CountColour(p, QRect(h - QPoint(4, 4), QSize(8, 8)),
                             ResponseGraph::BandColours[k]) >= 40,
                 true);
    }
    // Only the shown section's handles: one square of each colour (red also being the
    // trace's colour is left out).
    for (int k : {0, 2, 3, 4, 5}) {
        const int n = CountColour(p, p.rect(), ResponseGraph::BandColours[k]);
        QVERIFY2(n >= 40 && n <= 64, qPrintable(QString::number(k)));
    }
}

void TestGraph::dragFollowsPointerWithinLimits() {
    Bench b;
    GraphState s = b.state();
    s.selectWay(0);
    b.graph->RecomputeAll();
    ResponseGraph* graph = b.graph;
    QSignalSpy edited(graph, &ResponseGraph::bandEdited);
    const GraphGeometry& g = graph->geometry();

    const int band = 2;
    QPoint h = graph->handle(band);
    // Picked up at the rim of its catch area: the handle's centre stays 7 pixels left of and
    // below the pointer for the whole drag.
    const QPoint offset(7, -7);
    QTest::mousePress(graph, Qt::LeftButton, {}, h + offset);
    QVERIFY(graph->dragging());
    QCOMPARE(graph->currentBand(), band);
    QCOMPARE(edited.count(), 0);

    QTest::mouseMove(graph, QPoint(400, 60) + offset);
    QCOMPARE(s.image().bands[band].frequencyIndex, g.xToFrequencyIndex(400));
    QCOMPARE(s.image().bands[band].peakingGain, g.yToEqGainIndex(60));
    QCOMPARE(s.image().bands[band].shelfGain, EqGainZeroIndex); // the other gain is untouched
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.last().at(0).toInt(), band);
    // The handle snaps to the table point.
    h = graph->handle(band);
    QCOMPARE(h, QPoint(g.frequencyToX(FrequencyTable[g.xToFrequencyIndex(400)]),
                       g.gainToY(EqGainTable[g.yToEqGainIndex(60)])));
    QCOMPARE(CountColour(graph->picture(), QRect(h - QPoint(4, 4), QSize(8, 8)),
                         ResponseGraph::BandColours[2]),
             64);
    QVERIFY(graph->cache().rows[band][h.x() - 41] > 5.0);

    // The outermost pixels reach the ends of both tables.
    QTest::mouseMove(graph, QPoint(689, 32) + offset);
    QCOMPARE(s.image().bands[band].frequencyIndex, 243);
    QCOMPARE(s.image().bands[band].peakingGain, 180);
    QCOMPARE(graph->handle(band), QPoint(689, 30));
    QTest::mouseMove(graph, QPoint(97, 198) + offset);
    QCOMPARE(s.image().bands[band].frequencyIndex, 0);
    QCOMPARE(s.image().bands[band].peakingGain, 0);
    QCOMPARE(graph->handle(band), QPoint(99, 198));
    // One pixel further the centre is outside the limits: both values stay.
    QTest::mouseMove(graph, QPoint(96, 199) + offset);
    QCOMPARE(s.image().bands[band].frequencyIndex, 0);
    QCOMPARE(s.image().bands[band].peakingGain, 0);

    // A shelf band drags its shelf gain.
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(97, 198));
    QVERIFY(!graph->dragging());
    s.edit([&](ParameterImage& image) { image.bands[4].type = 1; });
    graph->setCurrentBand(4);
    graph->RedrawBand(1);
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(4));
    QTest::mouseMove(graph, QPoint(300, 150));
    QCOMPARE(s.image().bands[4].shelfGain, g.yToEqGainIndex(150));
    QCOMPARE(s.image().bands[4].peakingGain, EqGainZeroIndex);
    QVERIFY(graph->cache().rows[4][1] < -10.0); // low shelf below 0 dB
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(300, 150));

    // Moves after the release change nothing.
    const EqBand before = s.image().bands[4];
    const int count = edited.count();
    QTest::mouseMove(graph, QPoint(500, 100));
    graph->pointerMoved(QPoint(500, 100));
    QCOMPARE(s.image().bands[4], before);
    QCOMPARE(edited.count(), count);
}

void TestGraph::dragAboveTopKeepsGainRow() {
    Bench b;
    GraphState s = b.state();
    s.selectWay(3);
    b.graph->RecomputeAll();
    ResponseGraph* graph = b.graph;
    const GraphGeometry& g = graph->geometry();
    const int band = BandIndex(3, 0);
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(band));
    QVERIFY(graph->dragging());
    QTest::mouseMove(graph, QPoint(200, 50));
    const int gain = s.image().bands[band].peakingGain;
    const int row = graph->handle(band).y();
    QCOMPARE(gain, g.yToEqGainIndex(50));
    // Above row 32 the handle keeps its row and the band its gain, however often the pointer
    // moves; the frequency still follows.
    for (int x = 210; x <= 400; x += 10) {
        QTest::mouseMove(graph, QPoint(x, 10));
        QCOMPARE(s.image().bands[band].peakingGain, gain);
        QCOMPARE(graph->handle(band).y(), row);
        QCOMPARE(s.image().bands[band].frequencyIndex, g.xToFrequencyIndex(x));
    }
    // Left of the limit the frequency stays while the gain follows.
    const int frequency = s.image().bands[band].frequencyIndex;
    const int column = graph->handle(band).x();
    for (int y = 100; y <= 190; y += 15) {
        QTest::mouseMove(graph, QPoint(20, y));
        QCOMPARE(s.image().bands[band].frequencyIndex, frequency);
        QCOMPARE(graph->handle(band).x(), column);
        QCOMPARE(s.image().bands[band].peakingGain, g.yToEqGainIndex(y));
    }
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(20, 190));

    // A handle at +12.0 dB (row 30) is picked up normally.
    s.edit([&](ParameterImage& image) { image.bands[band].peakingGain = 180; });
    graph->setCurrentBand(band);
    graph->RedrawBand(0);
    QCOMPARE(graph->handle(band).y(), 30);
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(band));
    QVERIFY(graph->dragging());
    QCOMPARE(graph->currentBand(), band);
    QTest::mouseRelease(graph, Qt::LeftButton, {}, graph->handle(band));
}

void TestGraph::overlappingHandlesPickLowerBand() {
    Bench b;
    GraphState s = b.state();
    for (int k : {2, 4}) {
        s.edit([&](ParameterImage& image) { image.bands[BandIndex(1, k)].frequencyIndex = 150; });
        s.edit([&](ParameterImage& image) { image.bands[BandIndex(1, k)].peakingGain = 140; });
    }
    s.selectWay(1);
    b.graph->RecomputeAll();
    ResponseGraph* graph = b.graph;
    const QPoint h = graph->handle(BandIndex(1, 2));
    QCOMPARE(graph->handle(BandIndex(1, 4)), h);
    QTest::mousePress(graph, Qt::LeftButton, {}, h);
    QCOMPARE(graph->currentBand(), BandIndex(1, 2));
    QTest::mouseMove(graph, h + QPoint(60, 40));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, h + QPoint(60, 40));
    QVERIFY(s.image().bands[BandIndex(1, 2)].frequencyIndex > 150);
    QCOMPARE(s.image().bands[BandIndex(1, 4)].frequencyIndex, 150);
    QCOMPARE(s.image().bands[BandIndex(1, 4)].peakingGain, 140);
}

void TestGraph::pressWithoutWayOrOffHandle() {
    Bench b;
    GraphState s = b.state();
    ResponseGraph* graph = b.graph;
    QSignalSpy edited(graph, &ResponseGraph::bandEdited);
    const ParameterImage image = s.image();
    const QImage picture = graph->picture().copy();

    // No section shown: a press on a start handle picks nothing.
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(236, 86));
    QVERIFY(!graph->dragging());
    QTest::mouseMove(graph, QPoint(300, 120));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(300, 120));
    QCOMPARE(s.image(), image);
    QCOMPARE(edited.count(), 0);
    QCOMPARE(graph->picture(), picture);

    // A section shown, but the press is 8 pixels off every handle: nothing happens.
    s.selectWay(0);
    graph->DrawHandles(0);
    graph->setCurrentBand(5);
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(236 + 8, 86));
    QVERIFY(!graph->dragging());
    QCOMPARE(graph->currentBand(), 5);
    QTest::mouseMove(graph, QPoint(300, 120));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(300, 120));
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(236, 86 - 8));
    QVERIFY(!graph->dragging());
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(236, 86 - 8));
    QCOMPARE(s.image(), image);
    QCOMPARE(edited.count(), 0);
    // No unit connected: a drag edits the image but queues nothing.
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(236 - 7, 86 + 7));
    QVERIFY(graph->dragging());
    QTest::mouseMove(graph, QPoint(300, 120));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(300, 120));
    QVERIFY(s.image() != image);
    QCOMPARE(edited.count(), 1);
    QVERIFY(!s.sendSlots().pending(EqBandSlot(2)));
}

void TestGraph::lostReleaseEndsTheDrag() {
    Bench b;
    GraphState s = b.state();
    ResponseGraph* graph = b.graph;
    s.selectWay(0);
    graph->DrawHandles(0);
    QSignalSpy edited(graph, &ResponseGraph::bandEdited);
    const ParameterImage image = s.image();
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(2));
    QVERIFY(graph->dragging());
    // The release went to a modal box: the next move arrives with no button held.
    QMouseEvent move(QEvent::MouseMove, QPointF(650, 200), graph->mapToGlobal(QPointF(650, 200)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(graph, &move);
    QVERIFY(!graph->dragging());
    QCOMPARE(s.image(), image);
    QCOMPARE(edited.count(), 0);
    // A press away from every handle then starts nothing either.
    QTest::mouseRelease(graph, Qt::LeftButton, {}, graph->handle(2));
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(650, 200));
    QTest::mouseMove(graph, QPoint(600, 150));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(600, 150));
    QCOMPARE(s.image(), image);
    QCOMPARE(edited.count(), 0);
}

void TestGraph::dragInWindowQueuesLatestValues() {
    if (qEnvironmentVariableIsEmpty("QUELLATON_UNIT_SIM")) {
        QSKIP("the simulated unit is not built");
    }
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    MainWindow& window = *app.window;
    ResponseGraph& graph = window.graph();
    QCOMPARE(graph.parentWidget(), static_cast<QWidget*>(app.widgets().graphArea));
    QCOMPARE(static_cast<QWidget&>(graph).geometry(), QRect(8, 12, 720, 249));
    QVERIFY(WaitUntil([&] { return graph.isVisible(); }, 5000));
    GraphState s{app.model(), app.selection(), &app.session().writer().sendSlots()};

    // Show High with its bands spread out, as selecting its EQ page would.
    for (int k = 0; k < 6; ++k) {
        s.edit([&](ParameterImage& image) {
            image.bands[BandIndex(0, k)].frequencyIndex = 30 + 35 * k;
        });
        s.edit([&](ParameterImage& image) { image.bands[BandIndex(0, k)].type = 0; });
        s.edit([&](ParameterImage& image) {
            image.bands[BandIndex(0, k)].peakingGain = EqGainZeroIndex;
        });
    }
    s.selectWay(0);
    graph.RecomputeAll();
    QSignalSpy edited(&graph, &ResponseGraph::bandEdited);

    // A field being typed in loses the focus to "Broadcast Mode" on the press.
    auto* field = window.findChild<QLineEdit*>();
    QVERIFY(field);
    window.activateWindow();
    field->setFocus();
    const int slot = EqBandSlot(2);
    QCOMPARE(slot, 12);
    const QByteArray header = "A10000050008"; // block write, High, group of band 3, 8 bytes
    const auto bandFrames = [&] {
        QList<QByteArray> out;
        for (const QByteArray& f : app.sim.frames()) {
            if (f.mid(8, header.size()) == header) {
                out.append(f);
            }
        }
        return out;
    };
    const auto expectedPayload = [&] { return ToHexText(BlockPayload(s.image(), 0, 5)); };

    const QPoint start = graph.handle(2);
    QTest::mousePress(&graph, Qt::LeftButton, {}, start + QPoint(3, 2));
    QVERIFY(graph.dragging());
    QCOMPARE(graph.currentBand(), 2);
    QCOMPARE(window.focusWidget(), static_cast<QWidget*>(app.widgets().broadcastButton));

    // Several quick moves inside one queue interval: the slot holds the latest values.
    const int frequencyBefore = s.image().bands[2].frequencyIndex;
    for (int i = 1; i <= 8; ++i) {
        QTest::mouseMove(&graph, start + QPoint(10 * i, -5 * i));
    }
    QVERIFY(s.image().bands[2].frequencyIndex > frequencyBefore);
    QVERIFY(s.image().bands[2].peakingGain > EqGainZeroIndex);
    QCOMPARE(edited.count(), 8);
    QVERIFY(s.sendSlots().pending(slot));
    QVERIFY(s.sendSlots().blockFrame(slot).toHex().toUpper().contains(expectedPayload()));

    // The queue writes it once, with those values.
    QVERIFY(WaitUntil([&] { return bandFrames().size() >= 1; }, 4000));
    QTest::qWait(1300);
    QList<QByteArray> frames = bandFrames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.last().mid(20, 16), expectedPayload());

    // A second burst: one more frame, again with the last values.
    for (int i = 1; i <= 5; ++i) {
        QTest::mouseMove(&graph, start + QPoint(60 + 7 * i, 30 + 9 * i));
    }
    QVERIFY(WaitUntil([&] { return bandFrames().size() >= 2; }, 4000));
    QTest::mouseRelease(&graph, Qt::LeftButton, {}, start + QPoint(95, 75));
    QVERIFY(!graph.dragging());
    // No frame for the release.
    QTest::qWait(1300);
    frames = bandFrames();
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.last().mid(20, 16), expectedPayload());
    QVERIFY(!s.sendSlots().pending(slot));
    // The unit stored what was sent.
    QCOMPARE(app.sim.unitImage(1).mid(BlockOffset(0, 5), 8).toHex().toUpper(), expectedPayload());

    // With no section shown a press does nothing, also in the window.
    s.selectWay(-1);
    const ParameterImage image = s.image();
    QTest::mousePress(&graph, Qt::LeftButton, {}, graph.handle(2));
    QVERIFY(!graph.dragging());
    QTest::mouseMove(&graph, graph.handle(2) + QPoint(30, 30));
    QTest::mouseRelease(&graph, Qt::LeftButton, {}, graph.handle(2) + QPoint(30, 30));
    QCOMPARE(s.image(), image);
}

// Bands of Main spread out over the graph, some where the pixel mappings and their inverses
// disagree most (the top rows, 182 Hz), one a low shelf. No two catch areas touch.
void SpreadMainBands(GraphState& s) {
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

void TestGraph::smallDragsKeepTheUntouchedAxis_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QPoint>("direction");
    QTest::addColumn<QPoint>("rim");
    const QList<std::pair<const char*, QPoint>> directions = {
        {"right", {1, 0}}, {"left", {-1, 0}}, {"up", {0, -1}}, {"down", {0, 1}}};
    const QList<QPoint> rims = {{7, 7}, {-7, -7}, {7, -7}, {-7, 0}, {0, 7}};
    for (int row = 0; row < 6; ++row) {
        for (const auto& [name, direction] : directions) {
            for (const QPoint rim : rims) {
                QTest::addRow("band %d %s, rim %d,%d", row + 1, name, rim.x(), rim.y())
                    << row << direction << rim;
            }
        }
    }
}

// A handle picked up at its centre or anywhere on the rim of its catch area and moved 1..5
// pixels along one axis: the other axis keeps its value and its pixel exactly, the moved one
// never goes against the pointer and gets the same value whichever point was pressed, and a
// 5-pixel move gets somewhere.
void TestGraph::smallDragsKeepTheUntouchedAxis() {
    QFETCH(int, row);
    QFETCH(QPoint, direction);
    QFETCH(QPoint, rim);
    Bench b;
    GraphState s = b.state();
    SpreadMainBands(s);
    s.selectWay(Main);
    b.graph->RecomputeAll();
    ResponseGraph* graph = b.graph;
    const int band = BandIndex(Main, row);
    const QPoint start = graph->handle(band);
    const EqBand before = s.image().bands[band];
    const bool sideways = direction.y() == 0;

    // The moved axis's index after each step, pressed at the centre, then on the rim.
    const auto drag = [&](QPoint pressAt) {
        QList<int> moved;
        QTest::mousePress(graph, Qt::LeftButton, {}, pressAt);
        if (!graph->dragging() || graph->currentBand() != band) {
            return QList<int>{-1};
        }
        for (int d = 1; d <= 5; ++d) {
            QTest::mouseMove(graph, pressAt + d * direction);
            const EqBand& now = s.image().bands[band];
            const QPoint h = graph->handle(band);
            if (sideways) {
                if (now.activeGain() != before.activeGain() || h.y() != start.y()) {
                    return QList<int>{-2, d, now.activeGain(), h.y()};
                }
                moved.append(now.frequencyIndex);
            } else {
                if (now.frequencyIndex != before.frequencyIndex || h.x() != start.x()) {
                    return QList<int>{-3, d, now.frequencyIndex, h.x()};
                }
                moved.append(now.activeGain());
            }
        }
        // Back on the press point: the band is as it was.
        QTest::mouseMove(graph, pressAt);
        const bool restored = s.image().bands[band] == before && graph->handle(band) == start;
        QTest::mouseRelease(graph, Qt::LeftButton, {}, pressAt);
        return restored ? moved : QList<int>{-4};
    };

    const QList<int> fromCentre = drag(start);
    QCOMPARE(fromCentre.size(), 5);
    const QList<int> fromRim = drag(start + rim);
    QCOMPARE(fromRim, fromCentre);

    // Right raises the frequency and up the gain; left and down lower them, or keep them.
    const int was = sideways ? before.frequencyIndex : before.activeGain();
    const int sign = sideways ? direction.x() : -direction.y();
    int previous = was;
    for (int value : fromCentre) {
        QVERIFY2((value - previous) * sign >= 0,
                 qPrintable(QStringLiteral("%1 after %2").arg(value).arg(previous)));
        previous = value;
    }
    QVERIFY((fromCentre.last() - was) * sign > 0);
}

// In the connected window: "Mid Gain" open while the graph and the table show Main. A press
// where a Mid handle sits, or on a Main handle, and a tick of a "Bypass" box change nothing
// and send nothing; the table's controls are shown disabled.
void TestGraph::hiddenSectionsInertInWindow() {
    if (qEnvironmentVariableIsEmpty("QUELLATON_UNIT_SIM")) {
        QSKIP("the simulated unit is not built");
    }
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    MainWindow& window = *app.window;
    ResponseGraph& graph = window.graph();
    EditorWidgets& e = window.editors().widgets();
    GraphState s{app.model(), app.selection(), &app.session().writer().sendSlots()};
    QVERIFY(WaitUntil([&] { return graph.isVisible(); }, 5000));
    SpreadMainBands(s);
    s.edit([&](ParameterImage& image) { image.bands[BandIndex(Mid, 1)].frequencyIndex = 160; });
    s.edit([&](ParameterImage& image) { image.bands[BandIndex(Mid, 1)].peakingGain = 100; });
    graph.RecomputeAll();
    e.mainEqButton->click();
    QCOMPARE(graph.shownWay(), int(Main));
    const QPoint mainHandle = graph.handle(BandIndex(Main, 3));
    // Where Mid's band 2 would be drawn if Mid were shown.
    const QPoint midHandle = graph.handle(BandIndex(Mid, 1));
    e.rows[Mid].gain->click();
    QCOMPARE(s.selection.way(), int(Mid));
    QVERIFY(!e.bypassBoxes[1]->isEnabled());
    QVERIFY(!e.frequencyFields[1]->isEnabled());
    // Let anything the selection queued go out first.
    QVERIFY(WaitUntil([&] { return !s.sendSlots().anyPending(); }, 5000));
    QTest::qWait(600);
    const int mark = int(app.sim.frames().size());
    const ParameterImage image = s.image();
    const QImage picture = graph.picture().copy();

    for (const QPoint at : {midHandle, mainHandle}) {
        QTest::mousePress(&graph, Qt::LeftButton, {}, at);
        QVERIFY(!graph.dragging());
        QTest::mouseMove(&graph, at + QPoint(50, 40));
        QTest::mouseRelease(&graph, Qt::LeftButton, {}, at + QPoint(50, 40));
    }
    // A box ticked all the same (it is disabled to the user) keeps its tick and acts on no band.
    e.bypassBoxes[1]->setChecked(true);
    QVERIFY(s.model.rowBypassed(1));
    QCOMPARE(graph.shownWay(), int(Main));
    QCOMPARE(graph.picture(), picture);
    QCOMPARE(s.image(), image);
    QVERIFY(!s.sendSlots().anyPending());
    QTest::qWait(1300);
    // Nothing but polls went out: no block write.
    const QList<QByteArray> after = app.sim.frames().mid(mark);
    QVERIFY(std::none_of(after.begin(), after.end(),
                         [](const QByteArray& f) { return f.mid(8, 2) == "A1"; }));
    e.bypassBoxes[1]->setChecked(false);
}

void TestGraph::redrawLeavesNothingBehind() {
    Bench b;
    GraphState s = b.state();
    ResponseGraph* graph = b.graph;
    for (int k = 0; k < 6; ++k) {
        s.edit([&](ParameterImage& image) {
            image.bands[BandIndex(3, k)].frequencyIndex = 10 + 45 * k;
        });
        s.edit([&](ParameterImage& image) {
            image.bands[BandIndex(3, k)].peakingGain = k % 2 ? 0 : 180;
        });
    }
    s.edit([&](ParameterImage& image) { image.lowPassIndex[3] = 150; });
    s.edit([&](ParameterImage& image) { image.lowPassType[3] = 11; });
    s.selectWay(3);
    graph->RecomputeAll();
    graph->DrawStoredSum(3);
    const QImage held = graph->picture(); // a copy handed out keeps what it showed
    const QImage heldPixels = held.copy();
    // Handles and their numbers all over the picture, low and high.
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(BandIndex(3, 1)));
    for (const QPoint at : {QPoint(97, 198), QPoint(689, 32), QPoint(400, 116), QPoint(400, 117),
                            QPoint(150, 190), QPoint(600, 40)}) {
        QTest::mouseMove(graph, at);
    }
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(600, 40));
    QCOMPARE(held, heldPixels);

    // A redraw with nothing to show brings back the bare grid, pixel for pixel.
    s.selectWay(-1);
    graph->RedrawBand(7);
    QCOMPARE(graph->picture(), graph->gridPicture());
    s.selectWay(3);
    graph->DrawStoredSum(3);
    s.selectWay(-1);
    graph->RedrawCrossover(true, 0);
    QCOMPARE(graph->picture(), graph->gridPicture());
}

void TestGraph::oddSizesStayInsideThePicture() {
    Bench b;
    GraphState s = b.state();
    ResponseGraph* graph = b.graph;
    s.selectWay(0);
    s.edit([&](ParameterImage& image) { image.lowPassIndex[0] = 100; });
    s.edit([&](ParameterImage& image) { image.lowPassType[0] = 11; });
    // Sizes far from the default draw what fits and write nothing outside the picture or the
    // cache (a sanitized build checks the memory side); wider than the cache is limited to it.
    for (const QSize size : {QSize(1, 1), QSize(60, 30), QSize(2000, 2000), QSize(720, 249)}) {
        graph->DrawGrid(size.width(), size.height());
        const QSize expected = size.boundedTo(QSize(840, 4096));
        QCOMPARE(graph->gridPicture().size(), expected);
        QCOMPARE(graph->picture().size(), expected);
        graph->RecomputeAll();
        graph->DrawStoredSum(0);
        graph->RedrawCrossover(false, 11);
        QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(0));
        QTest::mouseMove(graph, QPoint(300, 100));
        QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(300, 100));
    }
    QCOMPARE(graph->geometry().width, 720);
    QCOMPARE(graph->geometry().leftInset(), 60);
}

QTEST_MAIN(TestGraph)
#include "test_graph.moc"
