// The response graph's picture: the grid, the summed trace, the handles and their numbers.
#include "graph_fixture.h"

using namespace quellaton;
using namespace quellaton::graph_test;

class TestGraphPicture : public QObject {
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
    void oddSizesStayInsideThePicture();
};

void TestGraphPicture::widgetPlacement() {
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

void TestGraphPicture::gridPicture() {
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

void TestGraphPicture::gridLabels() {
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

void TestGraphPicture::flatTraceAndNoWay() {
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

void TestGraphPicture::traceColumnsFollowFrequency() {
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

void TestGraphPicture::traceClippedAtFrame() {
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

void TestGraphPicture::handlesAndNumbers() {
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

void TestGraphPicture::numberFlipsBelowAtRow117() {
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

void TestGraphPicture::bypassLeavesBandOut() {
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

void TestGraphPicture::storedSumIsConnectedAndCountsEveryBand() {
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

void TestGraphPicture::oddSizesStayInsideThePicture() {
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

QTEST_MAIN(TestGraphPicture)
#include "test_graph_picture.moc"
