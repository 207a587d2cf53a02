// Redrawing the response graph after an edit: band types, crossovers, the full recompute, and
// nothing left behind where a handle or the trace used to be.
#include "graph_fixture.h"

using namespace quellaton;
using namespace quellaton::graph_test;

class TestGraphRedraw : public QObject {
    Q_OBJECT

private slots:
    void redrawBandTypes();
    void crossoverRedraw();
    void recomputeAllFillsEverySection();
    void redrawLeavesNothingBehind();
};

void TestGraphRedraw::redrawBandTypes() {
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

void TestGraphRedraw::crossoverRedraw() {
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

void TestGraphRedraw::recomputeAllFillsEverySection() {
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

void TestGraphRedraw::redrawLeavesNothingBehind() {
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

QTEST_MAIN(TestGraphRedraw)
#include "test_graph_redraw.moc"
