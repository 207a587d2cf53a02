// Dragging a response graph handle with the mouse: alone, and inside the main window against
// a simulated unit, where the drag becomes queued edits.
#include "graph_fixture.h"

using namespace quellaton;
using namespace quellaton::graph_test;

class TestGraphDrag : public QObject {
    Q_OBJECT

private slots:
    void dragFollowsPointerWithinLimits();
    void dragAboveTopKeepsGainRow();
    void overlappingHandlesPickLowerBand();
    void pressWithoutWayOrOffHandle();
    void lostReleaseEndsTheDrag();
    void dragIsOneStep();
    void dragInWindowQueuesLatestValues();
    void smallDragsKeepTheUntouchedAxis_data();
    void smallDragsKeepTheUntouchedAxis();
    void hiddenSectionsInertInWindow();
};

void TestGraphDrag::dragFollowsPointerWithinLimits() {
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

void TestGraphDrag::dragAboveTopKeepsGainRow() {
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

void TestGraphDrag::overlappingHandlesPickLowerBand() {
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

void TestGraphDrag::pressWithoutWayOrOffHandle() {
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

void TestGraphDrag::lostReleaseEndsTheDrag() {
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

void TestGraphDrag::dragInWindowQueuesLatestValues() {
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

void TestGraphDrag::smallDragsKeepTheUntouchedAxis_data() {
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
void TestGraphDrag::smallDragsKeepTheUntouchedAxis() {
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
void TestGraphDrag::hiddenSectionsInertInWindow() {
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

// Press to release is one step for undo, however many moves it has; a press whose release
// was lost closes its step, so the next edit is a step of its own.
void TestGraphDrag::dragIsOneStep() {
    Bench b;
    GraphState s = b.state();
    ResponseGraph* graph = b.graph;
    s.selectWay(High);
    b.graph->RecomputeAll();
    const ParameterImage start = s.image();
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(2));
    for (int x = 250; x <= 400; x += 30) {
        QTest::mouseMove(graph, QPoint(x, 60 + x / 10));
    }
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(400, 100));
    const ParameterImage dragged = s.image();
    QVERIFY(dragged != start);
    QCOMPARE(s.model.history().stepCount(), 1);
    QCOMPARE(s.model.history().undoName(), QStringLiteral("High band 3"));

    // Two presses in a row (the first release went elsewhere), then a drag.
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(4));
    QTest::mouseMove(graph, QPoint(500, 120));
    QTest::mousePress(graph, Qt::LeftButton, {}, graph->handle(4));
    QTest::mouseMove(graph, QPoint(550, 150));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(550, 150));
    QCOMPARE(s.model.history().stepCount(), 3);
    s.model.setDelaySteps(High, 40);
    QCOMPARE(s.model.history().stepCount(), 4);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(s.model.undo());
    }
    QCOMPARE(s.image(), dragged);
    QVERIFY(s.model.undo());
    QCOMPARE(s.image(), start);
    QVERIFY(!s.model.history().canUndo());
}

QTEST_MAIN(TestGraphDrag)
#include "test_graph_drag.moc"
