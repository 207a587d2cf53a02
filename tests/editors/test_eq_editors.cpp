// The equaliser and crossover editors against a simulated unit: typed band values with their
// clamps and formats, the band type, steppers and their limits, the crossover rows, the edit
// commit rule, "Filters reset", and editors left without a selected section.
#include "editor_test_helpers.h"

#include "dsp/scales.h"
#include "graph/response_graph.h"
#include "protocol/send_slots.h"

#include <QTest>

using namespace quellaton;
using namespace editortest;

namespace {

// Block and group of the EqBandBlock of a band index.
std::pair<int, int> BandBlock(int bandIndex) {
    const SlotBlock sb = BlockOfSlot(EqBandSlot(bandIndex));
    return {sb.block, sb.group};
}

bool WaitForBand(const SimProcess& sim, int bandIndex,
                 const std::function<bool(const QByteArray&)>& check) {
    const auto [block, group] = BandBlock(bandIndex);
    return WaitForLastBlock(sim, block, group, check);
}

} // namespace

class TestEqEditors : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void selectingASectionFillsTheTable();
    void typedBandValues();
    void commitHappensOnceForOneText();
    void steppersStopAtTheirLimits();
    void crossoverRows();
    void filtersReset();
    void graphDragUpdatesTheFields();
    void inertWithoutASelectedSection();
};

void TestEqEditors::selectingASectionFillsTheTable() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();

    for (int way : {int(High), int(Mid), int(Low)}) {
        e.rows[way].eq->click();
        QCOMPARE(app.selection().way(), way);
        QCOMPARE(app.selection().panel(), int(EqPanel));
        QCOMPARE(ButtonColour(e.rows[way].eq), HighlightButtonColour);
        QVERIFY(e.crossoverGroup->isVisible());
        for (int row = 0; row < 6; ++row) {
            const EqBand& band = s.model().image().bands[BandIndex(way, row)];
            QCOMPARE(e.frequencyFields[row]->text(), FrequencyText(band.frequencyIndex));
            QCOMPARE(e.qFields[row]->text(), QText(band.qIndex));
            QCOMPARE(e.typeLists[row]->currentIndex(), band.type);
            QCOMPARE(e.gainFields[row]->text(), EqGainText(band.activeGain()));
        }
        QCOMPARE(e.highPassField->text(), FrequencyText(s.model().image().highPassIndex[way]));
        QCOMPARE(e.lowPassField->text(), FrequencyText(s.model().image().lowPassIndex[way]));
        QCOMPARE(e.highPassTypeList->currentIndex(), s.model().image().highPassType[way]);
        QCOMPARE(e.lowPassTypeList->currentIndex(), s.model().image().lowPassType[way]);
    }
    // Another section's EQ button closes the previous selection.
    QCOMPARE(ButtonColour(e.rows[High].eq), NormalButtonColour);

    // "Main EQ" selects Main without closing anything.
    e.mainEqButton->click();
    QCOMPARE(app.selection().way(), int(Main));
    QCOMPARE(ButtonColour(e.rows[Low].eq), HighlightButtonColour);
    QCOMPARE(e.frequencyFields[5]->text(),
             FrequencyText(s.model().image().bands[BandIndex(Main, 5)].frequencyIndex));
    // Selecting sends nothing.
    for (int slot = 1; slot <= BlockSlotCount; ++slot) {
        QVERIFY(!s.writer().sendSlots().pending(slot));
    }
}

void TestEqEditors::typedBandValues() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    e.rows[High].eq->click();
    const EqBand& band1 = s.model().image().bands[BandIndex(High, 0)];

    QVERIFY(TypeAndLeave(app, e.frequencyFields[0], QStringLiteral("25000")));
    QCOMPARE(e.frequencyFields[0]->text(), QStringLiteral("21900.0 Hz"));
    QCOMPARE(band1.frequencyIndex, 243);
    QVERIFY(WaitForBand(app.sim, BandIndex(High, 0),
                        [](const QByteArray& f) { return PayloadByte(f, 0) == 243; }));
    QVERIFY(TypeAndLeave(app, e.frequencyFields[0], QStringLiteral("5")));
    QCOMPARE(e.frequencyFields[0]->text(), QStringLiteral("19.7 Hz"));
    QCOMPARE(band1.frequencyIndex, 0);
    QVERIFY(TypeAndLeave(app, e.frequencyFields[0], QStringLiteral("177")));
    QCOMPARE(e.frequencyFields[0]->text(), QStringLiteral("179.0 Hz"));

    QVERIFY(TypeAndLeave(app, e.qFields[0], QStringLiteral("0")));
    QCOMPARE(e.qFields[0]->text(), QStringLiteral("0.2"));
    QCOMPARE(band1.qIndex, 0);
    QVERIFY(TypeAndLeave(app, e.qFields[0], QStringLiteral("40")));
    QCOMPARE(e.qFields[0]->text(), QStringLiteral("36"));
    QCOMPARE(band1.qIndex, 179);

    // Gains clamp to -24.0 and +12.0 dB and go to the gain of the band's type.
    e.typeLists[0]->setCurrentIndex(1);
    e.typeLists[0]->setCurrentIndex(0);
    QCOMPARE(band1.type, 0);
    const int shelf = band1.shelfGain;
    QVERIFY(TypeAndLeave(app, e.gainFields[0], QStringLiteral("-30")));
    QCOMPARE(e.gainFields[0]->text(), QStringLiteral("-24.0 dB"));
    QCOMPARE(band1.peakingGain, 0);
    QVERIFY(TypeAndLeave(app, e.gainFields[0], QStringLiteral("15")));
    QCOMPARE(e.gainFields[0]->text(), QStringLiteral("12.0 dB"));
    QCOMPARE(band1.peakingGain, 180);
    QCOMPARE(band1.shelfGain, shelf);
    QVERIFY(TypeAndLeave(app, e.gainFields[0], QStringLiteral("0.1")));
    QCOMPARE(e.gainFields[0]->text(), QStringLiteral("0.0 dB"));
    QCOMPARE(band1.peakingGain, 120);

    // Switching to "LS" shows the shelf gain and sends the new type.
    e.typeLists[0]->setCurrentIndex(1);
    QCOMPARE(band1.type, 1);
    QCOMPARE(e.gainFields[0]->text(), EqGainText(shelf));
    QVERIFY(WaitForBand(app.sim, BandIndex(High, 0), [&](const QByteArray& f) {
        return PayloadByte(f, 1) == 1 && PayloadByte(f, 2) == 120 && PayloadByte(f, 4) == shelf;
    }));
    QVERIFY(TypeAndLeave(app, e.gainFields[0], QStringLiteral("-6")));
    QCOMPARE(band1.shelfGain, 90);
    QCOMPARE(band1.peakingGain, 120);

    // Letters never reach a field; a frequency field that still carries " Hz" reverts.
    const QString before = e.frequencyFields[1]->text();
    const int index = s.model().image().bands[BandIndex(High, 1)].frequencyIndex;
    QVERIFY(FocusOn(e.frequencyFields[1]));
    e.frequencyFields[1]->setCursorPosition(0);
    QTest::keyClicks(e.frequencyFields[1], QStringLiteral("x5"));
    QCOMPARE(e.frequencyFields[1]->text(), QStringLiteral("5") + before);
    QVERIFY(Leave(app));
    QCOMPARE(e.frequencyFields[1]->text(), before);
    QCOMPARE(s.model().image().bands[BandIndex(High, 1)].frequencyIndex, index);
    // ... and so does an emptied one.
    QVERIFY(TypeAndLeave(app, e.qFields[1], QString()));
    QCOMPARE(e.qFields[1]->text(), QText(s.model().image().bands[BandIndex(High, 1)].qIndex));
}

void TestEqEditors::commitHappensOnceForOneText() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    e.mainEqButton->click();
    const auto [block, group] = BandBlock(BandIndex(Main, 2));

    QVERIFY(WaitQuiet(app));
    const int mark = LogMark(app.sim);
    QVERIFY(TypeAndEnter(e.frequencyFields[2], QStringLiteral("1000")));
    QCOMPARE(e.frequencyFields[2]->text(), QStringLiteral("1000.0 Hz"));
    QVERIFY(!WaitForBlock(app.sim, block, group, 4000, mark).isEmpty());
    QTest::keyClick(e.frequencyFields[2], Qt::Key_Return);
    QVERIFY(Leave(app));
    QVERIFY(FocusOn(e.frequencyFields[2]));
    QVERIFY(Leave(app));
    QTest::qWait(1200);
    QCOMPARE(BlockFrames(app.sim, block, group, mark).size(), 1);
    QCOMPARE(PayloadByte(BlockFrames(app.sim, block, group, mark).last(), 0), 136);
}

void TestEqEditors::steppersStopAtTheirLimits() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    e.rows[Mid].eq->click();
    app.arrangeImage([](ParameterImage& image) { image.bands[BandIndex(Mid, 3)].type = 2; });
    const EqBand& band = s.model().image().bands[BandIndex(Mid, 3)];
    e.rows[Mid].eq->click(); // reload with the type set above

    QVERIFY(TypeAndLeave(app, e.frequencyFields[3], QStringLiteral("1")));
    QVERIFY(TypeAndLeave(app, e.qFields[3], QStringLiteral("0")));
    QVERIFY(TypeAndLeave(app, e.gainFields[3], QStringLiteral("-99")));
    QCOMPARE(band.frequencyIndex, 0);
    QCOMPARE(band.qIndex, 0);
    QCOMPARE(band.shelfGain, 0);
    const int peaking = band.peakingGain;
    e.frequencySteppers[3]->downButton()->click();
    e.qSteppers[3]->downButton()->click();
    e.gainSteppers[3]->downButton()->click();
    QCOMPARE(band.frequencyIndex, 0);
    QCOMPARE(band.qIndex, 0);
    QCOMPARE(band.shelfGain, 0);
    e.frequencySteppers[3]->upButton()->click();
    e.qSteppers[3]->upButton()->click();
    e.gainSteppers[3]->upButton()->click();
    QCOMPARE(e.frequencyFields[3]->text(), QStringLiteral("20.3 Hz"));
    QCOMPARE(e.qFields[3]->text(), QStringLiteral("0.4"));
    QCOMPARE(e.gainFields[3]->text(), QStringLiteral("-23.8 dB"));
    QCOMPARE(band.shelfGain, 1);
    QCOMPARE(band.peakingGain, peaking);

    QVERIFY(TypeAndLeave(app, e.frequencyFields[3], QStringLiteral("99999")));
    QVERIFY(TypeAndLeave(app, e.qFields[3], QStringLiteral("99")));
    QVERIFY(TypeAndLeave(app, e.gainFields[3], QStringLiteral("99")));
    e.frequencySteppers[3]->upButton()->click();
    e.qSteppers[3]->upButton()->click();
    e.gainSteppers[3]->upButton()->click();
    QCOMPARE(band.frequencyIndex, 243);
    QCOMPARE(band.qIndex, 179);
    QCOMPARE(band.shelfGain, 180);
    e.qSteppers[3]->downButton()->click();
    QCOMPARE(e.qFields[3]->text(), QStringLiteral("35.8"));
}

void TestEqEditors::crossoverRows() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    const int highPassHigh = s.model().image().highPassIndex[High];
    const int highPassTypeHigh = s.model().image().highPassType[High];
    e.rows[Low].eq->click();
    QCOMPARE(e.highPassTypeList->count(), 9);
    QCOMPARE(e.highPassTypeList->itemText(0), QStringLiteral("12db-Bworth"));
    QCOMPARE(e.highPassTypeList->itemText(8), QStringLiteral("24db-Bessel"));

    // A crossover field accepts its unit suffix, with or without the blank; a band field
    // does not.
    QVERIFY(FocusOn(e.highPassField));
    e.highPassField->setText(QStringLiteral("250 Hz"));
    QVERIFY(Leave(app));
    QCOMPARE(e.highPassField->text(), QStringLiteral("250.0 Hz"));
    QCOMPARE(s.model().image().highPassIndex[Low], 88);
    QVERIFY(WaitForLastBlock(app.sim, Low, 1,
                             [](const QByteArray& f) { return PayloadByte(f, 0) == 88; }));
    QVERIFY(FocusOn(e.lowPassField));
    e.lowPassField->setText(QStringLiteral("5000Hz"));
    QTest::keyClick(e.lowPassField, Qt::Key_Return);
    QCOMPARE(e.lowPassField->text(), QStringLiteral("5040.0 Hz"));
    QCOMPARE(s.model().image().lowPassIndex[Low], 192);
    QVERIFY(Leave(app));
    const QString bandText = e.frequencyFields[0]->text();
    QVERIFY(FocusOn(e.frequencyFields[0]));
    e.frequencyFields[0]->setText(QStringLiteral("250 Hz"));
    QVERIFY(Leave(app));
    QCOMPARE(e.frequencyFields[0]->text(), bandText);

    // Types and steppers.
    e.highPassTypeList->setCurrentIndex(7);
    QCOMPARE(s.model().image().highPassType[Low], 7);
    e.lowPassTypeList->setCurrentIndex(3);
    QCOMPARE(s.model().image().lowPassType[Low], 3);
    QVERIFY(TypeAndLeave(app, e.highPassField, QStringLiteral("10")));
    QCOMPARE(s.model().image().highPassIndex[Low], 0);
    e.highPassStepper->downButton()->click();
    QCOMPARE(s.model().image().highPassIndex[Low], 0);
    e.highPassStepper->upButton()->click();
    QCOMPARE(e.highPassField->text(), QStringLiteral("20.3 Hz"));
    QVERIFY(TypeAndLeave(app, e.lowPassField, QStringLiteral("30000")));
    QCOMPARE(e.lowPassField->text(), QStringLiteral("21900.0 Hz"));
    e.lowPassStepper->upButton()->click();
    QCOMPARE(s.model().image().lowPassIndex[Low], 243);
    e.lowPassStepper->downButton()->click();
    QCOMPARE(s.model().image().lowPassIndex[Low], 242);
    QVERIFY(WaitForLastBlock(app.sim, Low, 1, [](const QByteArray& f) {
        return PayloadByte(f, 0) == 1 && PayloadByte(f, 1) == 7 && PayloadByte(f, 4) == 242 &&
               PayloadByte(f, 5) == 3;
    }));
    // Only Low's crossover changed.
    QCOMPARE(s.model().image().highPassIndex[High], highPassHigh);
    QCOMPARE(s.model().image().highPassType[High], highPassTypeHigh);
}

void TestEqEditors::filtersReset() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();

    // Without a unit the gains go to 0 dB at once, with no progress box, as one step.
    e.mainEqButton->click();
    QVERIFY(TypeAndLeave(app, e.gainFields[0], QStringLiteral("6")));
    QCOMPARE(s.model().image().bands[BandIndex(Main, 0)].peakingGain, 150);
    QVERIFY(e.filtersResetButton->isEnabled());
    e.filtersResetButton->click();
    QVERIFY(!w.progressPanel->isVisible());
    QVERIFY(w.editorArea->isEnabled());
    QCOMPARE(s.model().image().bands[BandIndex(Main, 0)].peakingGain, EqGainZeroIndex);
    QCOMPARE(s.model().history().undoName(), QStringLiteral("Main filters reset"));
    QVERIFY(s.model().undo());
    QCOMPARE(s.model().image().bands[BandIndex(Main, 0)].peakingGain, 150);

    QVERIFY(app.connectTo(1));
    QVERIFY(WaitQuiet(app));
    QVERIFY(e.filtersResetButton->isEnabled());
    const ParameterImage before = s.model().image();
    const int mark = LogMark(app.sim);
    e.filtersResetButton->click();
    QVERIFY(w.progressPanel->isVisible());
    QCOMPARE(w.progressPanel->pos(), QPoint(208, 512));
    for (QWidget* area :
         {static_cast<QWidget*>(w.graphArea), static_cast<QWidget*>(w.channelOverview),
          static_cast<QWidget*>(w.connectionGroup), static_cast<QWidget*>(w.fileGroup),
          static_cast<QWidget*>(w.editorArea)}) {
        QVERIFY(!area->isEnabled());
    }
    QVERIFY(w.fileMenu->isEnabled());
    for (QLineEdit* field : e.gainFields) {
        QCOMPARE(field->text(), QStringLiteral("0"));
    }
    for (int row = 0; row < 6; ++row) {
        const EqBand& band = s.model().image().bands[BandIndex(Main, row)];
        const EqBand& old = before.bands[BandIndex(Main, row)];
        QCOMPARE(band.activeGain(), 120);
        QCOMPARE(band.frequencyIndex, old.frequencyIndex);
        QCOMPARE(band.qIndex, old.qIndex);
        QCOMPARE(band.type, old.type);
    }

    QVERIFY(WaitUntil([&] { return w.editorArea->isEnabled(); }, 10000));
    QVERIFY(!w.progressPanel->isVisible());
    QVERIFY(w.channelOverview->isEnabled());
    QVERIFY(s.runningOperations().isEmpty());
    QTest::qWait(800);
    for (int row = 0; row < 6; ++row) {
        const int bandIndex = BandIndex(Main, row);
        const auto [block, group] = BandBlock(bandIndex);
        const QList<QByteArray> frames = BlockFrames(app.sim, block, group, mark);
        QCOMPARE(frames.size(), 1);
        const int at = s.model().image().bands[bandIndex].type == 0 ? 2 : 4;
        QCOMPARE(PayloadByte(frames[0], at), 120);
    }
}

void TestEqEditors::graphDragUpdatesTheFields() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    ResponseGraph& graph = app.window->graph();
    e.rows[High].eq->click();
    graph.RecomputeAll();
    const QPoint at = graph.handle(BandIndex(High, 3));
    Mouse(&graph, QEvent::MouseButtonPress, at);
    QVERIFY(graph.dragging());
    Mouse(&graph, QEvent::MouseMove, {500, 60});
    Mouse(&graph, QEvent::MouseButtonRelease, {500, 60});
    const EqBand& band = s.model().image().bands[BandIndex(High, 3)];
    QCOMPARE(e.frequencyFields[3]->text(), FrequencyText(band.frequencyIndex));
    QCOMPARE(e.gainFields[3]->text(), EqGainText(band.activeGain()));
    QVERIFY(band.activeGain() > 120);
}

void TestEqEditors::inertWithoutASelectedSection() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    EqEditors& eq = app.window->editors().eq();
    EditCommitState& commit = app.window->editors().commitState();
    UnitSession& s = app.session();
    QCOMPARE(app.selection().way(), -1); // the result view was closed
    const ParameterImage before = s.model().image();
    const QString frequency = e.frequencyFields[0]->text();

    // Every control of the table is shown disabled: it would do nothing.
    const QList<QWidget*> table = {
        e.frequencyFields[0], e.frequencySteppers[0], e.qFields[3],        e.qSteppers[3],
        e.gainFields[5],      e.gainSteppers[5],      e.typeLists[2],      e.bypassBoxes[4],
        e.highPassField,      e.highPassStepper,      e.highPassTypeList,  e.lowPassField,
        e.lowPassStepper,     e.lowPassTypeList,      e.filtersResetButton};
    for (QWidget* control : table) {
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    }
    // The handlers refuse as well: text that reaches a field anyway goes back.
    commit.referenceText = frequency;
    e.frequencyFields[0]->setText(QStringLiteral("5000"));
    eq.commitBandField(EqEditors::BandField::Frequency, 0, false);
    QCOMPARE(e.frequencyFields[0]->text(), frequency);
    commit.referenceText = e.highPassField->text();
    e.highPassField->setText(QStringLiteral("500"));
    eq.commitCrossover(true, true);
    QCOMPARE(e.highPassField->text(), FrequencyText(before.highPassIndex[Main]));
    eq.stepBandField(EqEditors::BandField::Gain, 0, -1);
    e.typeLists[2]->setCurrentIndex(2);
    QCOMPARE(e.typeLists[2]->currentIndex(), 0);
    e.highPassTypeList->setCurrentIndex(4);
    QCOMPARE(e.highPassTypeList->currentIndex(), 0);
    // A bypass box keeps its tick but changes no band.
    e.bypassBoxes[4]->setChecked(true);
    QVERIFY(s.model().rowBypassed(4));
    e.bypassBoxes[4]->setChecked(false);
    QVERIFY(s.model().image() == before);

    // Selecting Main brings the table to life ...
    e.mainEqButton->click();
    for (QWidget* control : table) {
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    }
    // ... and another way's panel makes it inert again: it shows Main, High is selected.
    e.rows[High].gain->click();
    for (QWidget* control : table) {
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    }
    commit.referenceText = e.qFields[0]->text();
    e.qFields[0]->setText(QStringLiteral("9"));
    eq.commitBandField(EqEditors::BandField::Q, 0, true);
    QCOMPARE(e.qFields[0]->text(), QText(before.bands[BandIndex(Main, 0)].qIndex));
    eq.filtersResetClicked();
    QVERIFY(s.model().image() == before);
}

QTEST_MAIN(TestEqEditors)
#include "test_eq_editors.moc"
