// The system view of the response graph: the sum and the ways, live while editing and
// dragging, the phase scale, the measurement and target overlays from the View menu, and the
// section view left exactly as it was.
#include "graph_fixture.h"

#include "graph/system_plot.h"
#include "graph/view_menu_panel.h"

#include "test_files.h"

#include <QAccessible>
#include <QMainWindow>
#include <QMenuBar>
#include <QTemporaryDir>

using namespace quellaton;
using namespace quellaton::graph_test;

namespace {

// High and Mid crossed at 2 kHz with 24 dB Linkwitz-Riley filters, Low muted, Main at 0 dB.
void TwoWays(GraphState& s) {
    s.edit([](ParameterImage& image) {
        image.masterLevel = MainLevelTop;
        image.gainIndex = {OutputGainZeroIndex, OutputGainZeroIndex, OutputGainZeroIndex};
        image.highPassIndex[High] = NearestFrequencyIndex(2000.0);
        image.highPassType[High] = 7;
        image.lowPassIndex[Mid] = NearestFrequencyIndex(2000.0);
        image.lowPassType[Mid] = 7;
        image.onFlag[Low] = 0;
    });
}

struct SystemBench {
    SystemBench() : s(b.state()) {
        TwoWays(s);
        s.selectWay(High);
        b.graph->RecomputeAll();
    }
    const QImage& picture() const { return b.graph->picture(); }
    const SystemPlot& plot() const { return b.graph->systemPlot(); }
    // Whether (x, y) lies on a handle square of the shown section.
    bool onHandle(int x, int y) const {
        for (int k = 0; k < BandsPerSection; ++k) {
            const QPoint h = b.graph->handle(BandIndex(b.graph->shownWay(), k));
            if (std::abs(x - h.x()) <= 5 && std::abs(y - h.y()) <= 5) {
                return true;
            }
        }
        return false;
    }
    // Pixels of `colour` in the plot area, handle squares left out.
    int countInPlot(QRgb colour) const {
        int n = 0;
        for (int y = 18; y <= 224; ++y) {
            for (int x = 42; x <= 713; ++x) {
                n += Is(picture(), x, y, colour) && !onHandle(x, y) ? 1 : 0;
            }
        }
        return n;
    }
    // Rows of `colour` in column x of the plot area.
    QList<int> rowsOf(int x, QRgb colour) const {
        QList<int> rows;
        for (int y = 18; y <= 224; ++y) {
            if (Is(picture(), x, y, colour)) {
                rows.append(y);
            }
        }
        return rows;
    }
    // The row the sum's level at column x is drawn on.
    int sumRow(int x) const {
        return plot().levelRow(LevelDb(plot().response().system()[std::size_t(x - 42)]));
    }
    Bench b;
    GraphState s;
};

QString Description(QWidget* graph) {
    QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(graph);
    return chart ? chart->text(QAccessible::Description) : QString();
}

} // namespace

class TestGraphSystem : public QObject {
    Q_OBJECT

private slots:
    void systemViewDrawsTheSumAndTheWays();
    void sumFollowsEditsAndDrags();
    void phaseScaleLeavesTheSectionTrace();
    void viewMenuLoadsOverlays();
    void anyGraphSizeDrawsSafely_data();
    void anyGraphSizeDrawsSafely();
};

void TestGraphSystem::systemViewDrawsTheSumAndTheWays() {
    SystemBench t;
    const QImage section = t.picture().copy();
    QVERIFY(t.countInPlot(Red) > 150); // the section trace, from 1 kHz up
    t.b.graph->setView(GraphView::System);
    // The crossover sums flat: a thick white line on the 0 dB row across the band.
    const GraphGeometry& g = t.b.graph->geometry();
    const int zeroRow = t.plot().levelRow(0.0);
    int flatColumns = 0;
    for (int x = g.frequencyToX(30.0); x <= g.frequencyToX(18000.0); ++x) {
        QCOMPARE(t.sumRow(x), zeroRow);
        if (!t.onHandle(x, zeroRow)) {
            QVERIFY2(t.rowsOf(x, SystemPlot::SumColour).contains(zeroRow),
                     qPrintable(QString::number(x)));
            QVERIFY(t.rowsOf(x, SystemPlot::SumColour).contains(zeroRow - 1));
            ++flatColumns;
        }
    }
    QVERIFY(flatColumns > 400);
    // The ways in their colours, the muted one nowhere; no section trace.
    QVERIFY(t.countInPlot(SystemPlot::WayColour(High)) > 100);
    QVERIFY(t.countInPlot(SystemPlot::WayColour(Mid)) > 100);
    QCOMPARE(t.countInPlot(SystemPlot::WayColour(Low)), 0);
    QCOMPARE(t.countInPlot(Red), 0);
    // The note on what the model leaves out, above the frame.
    QVERIFY(CountColour(t.picture(), QRect(40, 0, 680, 17), SystemPlot::NoteColour) > 50);
    QVERIFY(Description(t.b.graph).contains("System response"));
    QVERIFY(Description(t.b.graph).contains("limiter and the bass enhancer are not modelled"));

    // Back to the section view: the very picture it had.
    t.b.graph->setView(GraphView::Section);
    QCOMPARE(t.picture(), section);
    QCOMPARE(Description(t.b.graph), QStringLiteral("Frequency response from 20 Hz to 20 kHz, "
                                                    "+15 dB to -30 dB, with one handle per "
                                                    "equaliser band."));
}

void TestGraphSystem::sumFollowsEditsAndDrags() {
    SystemBench t;
    t.b.graph->setView(GraphView::System);
    const GraphGeometry& g = t.b.graph->geometry();
    const int crossover = g.frequencyToX(2000.0);
    QCOMPARE(t.sumRow(crossover), t.plot().levelRow(0.0));

    // An edit outside the graph (Mid's polarity) redraws once the event loop runs: the two ways
    // now cancel at the crossover.
    t.s.model.togglePolarity(Mid);
    QTRY_VERIFY(t.sumRow(crossover) > t.plot().levelRow(-20.0));
    QVERIFY(!t.rowsOf(crossover, SystemPlot::SumColour).contains(t.plot().levelRow(0.0)));
    t.s.model.togglePolarity(Mid);
    QTRY_COMPARE(t.sumRow(crossover), t.plot().levelRow(0.0));

    // A drag step redraws the sum at once: band 1 of High at 8 kHz raised by about 6 dB.
    t.s.model.setBandFrequencyHz(BandIndex(High, 0), 8000.0);
    t.b.graph->setCurrentBand(BandIndex(High, 0));
    t.b.graph->RedrawBand(0);
    const QPoint handle = t.b.graph->handle(BandIndex(High, 0));
    t.b.graph->pointerPressed(handle);
    QVERIFY(t.b.graph->dragging());
    t.b.graph->pointerMoved(handle - QPoint(0, 28));
    const double gain = EqGainTable[t.s.model.band(BandIndex(High, 0)).peakingGain];
    QVERIFY(gain > 5.0);
    const int x = g.frequencyToX(8000.0) + 12; // beside the handle
    QCOMPARE(t.sumRow(g.frequencyToX(8000.0)), t.plot().levelRow(gain));
    QVERIFY(t.rowsOf(x, SystemPlot::SumColour).contains(t.sumRow(x)));
    QVERIFY(t.sumRow(x) < t.plot().levelRow(2.0));
    t.b.graph->pointerReleased();
}

void TestGraphSystem::phaseScaleLeavesTheSectionTrace() {
    SystemBench t;
    const QImage section = t.picture().copy();
    t.b.graph->setPhaseShown(true);
    QVERIFY(t.countInPlot(SystemPlot::PhaseColour) > 300);
    // The scale's labels sit right of the 20 kHz line, on the label brush.
    QVERIFY(CountColour(t.picture(), QRect(682, 18, 32, 207), LabelBrush) > 100);
    QVERIFY(CountColour(t.picture(), QRect(0, 0, 681, 249), LabelBrush) ==
            CountColour(section, QRect(0, 0, 681, 249), LabelBrush));
    // The section's trace is where it was.
    for (int x = 42; x <= 680; ++x) {
        if (!RedRows(section, x).isEmpty()) {
            QCOMPARE(RedRows(t.picture(), x), RedRows(section, x));
        }
    }
    QVERIFY(Description(t.b.graph).contains("Phase of the section"));
    t.b.graph->setPhaseShown(false);
    QCOMPARE(t.picture(), section);
}

void TestGraphSystem::viewMenuLoadsOverlays() {
    SystemBench t;
    QMainWindow window;
    ShellWidgets w;
    w.fileMenu = window.menuBar()->addMenu(QStringLiteral("File"));
    w.editMenu = window.menuBar()->addMenu(QStringLiteral("Edit"));
    w.helpMenu = window.menuBar()->addMenu(QStringLiteral("Help"));
    QString chosen;
    FileChooser chooser;
    chooser.open = [&](QWidget*, const PresetFileKind&) { return chosen; };
    ViewMenuPanel panel(*t.b.graph, t.b.selection, w, chooser, &window);
    QStringList menus;
    for (QAction* action : window.menuBar()->actions()) {
        menus.append(action->text());
    }
    QCOMPARE(menus, QStringList({"File", "Edit", "View", "Help"}));
    QVERIFY(panel.sectionViewAction()->isChecked());
    QVERIFY(!panel.clearAction()->isEnabled());

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The tweeter 6 dB down above 1 kHz; SPL levels, drawn relative to its pass band (85 dB).
    chosen = dir.filePath("tweeter.txt");
    QVERIFY(WriteAll(chosen, "* REW\n20 85 0\n1000 85 0\n1001 79 0\n20000 79 0\n"));
    panel.measurementAction()->trigger();
    QVERIFY(panel.systemViewAction()->isChecked());
    QCOMPARE(t.b.graph->view(), GraphView::System);
    QCOMPARE(t.plot().measurementReference(), 85.0);
    // The prediction is dashed: drawn on four columns in eight.
    const GraphGeometry& g = t.b.graph->geometry();
    int on = 0;
    int off = 0;
    for (int x = g.frequencyToX(5000.0); x <= g.frequencyToX(15000.0); ++x) {
        const double level = LevelDb(t.plot().response().predicted(High)[std::size_t(x - 42)]);
        QVERIFY(std::abs(level + 6.0) < 0.5);
        const int row = t.plot().levelRow(level);
        const bool drawn = Is(t.picture(), x, row, SystemPlot::WayColour(High));
        if (((x - 42) / 4) % 2 == 0) {
            // Up here the sum is the tweeter's prediction: drawn last, it may cover it.
            const bool covered = Is(t.picture(), x, row, SystemPlot::SumColour);
            QVERIFY2(drawn || covered || t.onHandle(x, row), qPrintable(QString::number(x)));
            ++on;
        } else {
            QVERIFY(!drawn);
            ++off;
        }
    }
    QVERIFY(on > 20 && off > 20);
    QVERIFY(Description(t.b.graph).contains("Measurement for High (tweeter.txt)"));

    // A target: grey dashes on its level.
    chosen = dir.filePath("house.txt");
    QVERIFY(WriteAll(chosen, "House curve\n20 -10\n20000 -10\n"));
    panel.targetAction()->trigger();
    const int targetRow = t.plot().levelRow(-10.0);
    QVERIFY(CountColour(t.picture(), QRect(42, targetRow, 672, 1), SystemPlot::TargetColour) > 250);
    QVERIFY(Description(t.b.graph).contains("Target curve (house.txt)"));
    QVERIFY(panel.clearAction()->isEnabled());

    // A bad file says what and where, and changes nothing.
    ModalAnswerer answerer;
    chosen = dir.filePath("bad.frd");
    QVERIFY(WriteAll(chosen, "100 1 0\n50 2 0\n"));
    panel.measurementAction()->trigger();
    QTRY_COMPARE(answerer.messages().size(), 1);
    QCOMPARE(answerer.lastMessage(),
             QStringLiteral("The measurement bad.frd cannot be loaded:\rline 2: the frequency "
                            "50 Hz is not above the 100 Hz of line 1; frequencies must ascend"));
    QVERIFY(Description(t.b.graph).contains("tweeter.txt"));

    // Only a way takes a measurement.
    t.s.selectWay(Main);
    t.b.selection.announce();
    QVERIFY(!panel.measurementAction()->isEnabled());

    panel.clearAction()->trigger();
    QVERIFY(!Description(t.b.graph).contains("Measurement"));
    QVERIFY(!Description(t.b.graph).contains("Target"));
    QCOMPARE(CountColour(t.picture(), QRect(42, 18, 672, 207), SystemPlot::TargetColour), 0);
    QVERIFY(!panel.clearAction()->isEnabled());
}

void TestGraphSystem::anyGraphSizeDrawsSafely_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("tiny") << QSize(1, 1);
    QTest::newRow("narrow and low") << QSize(60, 20);
    QTest::newRow("widest") << QSize(840, 600);
}

void TestGraphSystem::anyGraphSizeDrawsSafely() {
    QFETCH(QSize, size);
    SystemBench t;
    const MeasuredCurve driver({{20.0, 80.0, 0.0}, {20000.0, 80.0, -720.0}}, true);
    t.b.graph->systemPlot().setMeasurement(Mid, driver, QStringLiteral("mid.frd"));
    t.b.graph->systemPlot().setTarget(driver, QStringLiteral("target.txt"));
    t.b.graph->setView(GraphView::System);
    t.b.graph->setPhaseShown(true);
    t.b.graph->DrawGrid(size.width(), size.height());
    t.b.graph->RecomputeAll();
    t.b.graph->refresh();
    QCOMPARE(t.picture().size(), size);
    t.b.graph->setView(GraphView::Section);
    QCOMPARE(t.picture().size(), size);
}

QTEST_MAIN(TestGraphSystem)
#include "test_graph_system.moc"
