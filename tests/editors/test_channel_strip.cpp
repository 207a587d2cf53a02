// The channel strip against a simulated unit: the gain popup (typed gain, stepper, fader
// drag), the limiter popup, the DELAY group, mute and polarity, the SIGNAL group, the way
// selection and the close-panel operation.
#include "editor_test_helpers.h"

#include "dsp/scales.h"
#include "editors/editor_pictures.h"
#include "protocol/send_slots.h"

#include <QTest>

using namespace quellaton;
using namespace editortest;

class TestChannelStrip : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void pictureSizes();
    void typedGain();
    void gainStepperAndFader();
    void limiterPopup();
    void delayGroup();
    void muteAndPolarity();
    void signalGroup();
    void closePanelAndInertPopups();
    void heldBarMoveIsOneStep_data();
    void heldBarMoveIsOneStep();
};

void TestChannelStrip::pictureSizes() {
    QCOMPARE(FaderBackgroundPicture().size(), QSize(163, 250));
    QCOMPARE(KnobPicture(false).size(), QSize(12, 13));
    QCOMPARE(KnobPicture(true).size(), QSize(12, 13));
    QVERIFY(KnobPicture(false) != KnobPicture(true));
    // The knob is drawn over the background at left 73 and the given top.
    const QImage composed = ComposeFader(56, true);
    QCOMPARE(composed.size(), QSize(163, 250));
    QCOMPARE(composed.copy(73, 56, 12, 13).convertToFormat(QImage::Format_ARGB32),
             KnobPicture(true).convertToFormat(QImage::Format_ARGB32));
}

void TestChannelStrip::typedGain() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    ChannelStrip& strip = app.window->editors().strip();
    const ParameterImage& image = app.model().image();
    QLineEdit* field = e.gainField;

    // Opening shows the way's gain and places the popup below and right of its button.
    e.rows[High].gain->click();
    QVERIFY(e.gainPopup->isVisible());
    QCOMPARE(e.gainCaption->text(), QStringLiteral("High--Gain"));
    QCOMPARE(field->text(), OutputGainText(image.gainIndex[High]));
    QCOMPARE(ButtonColour(e.rows[High].gain), HighlightButtonColour);
    const QPushButton* gainButton = e.rows[High].gain;
    QCOMPARE(e.gainPopup->pos(),
             gainButton->mapTo(app.window->centralWidget(),
                               QPoint(gainButton->width(), gainButton->height())));

    // High clamps at +5.0 dB.
    QVERIFY(TypeAndEnter(field, QStringLiteral("7")));
    QCOMPARE(field->text(), QStringLiteral("5.0 dB"));
    QCOMPARE(image.gainIndex[High], 250);
    QCOMPARE(strip.knobTop(High), 21);

    // Letters never reach the field.
    QVERIFY(FocusOn(field));
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, QStringLiteral("-1x.5q"));
    QCOMPARE(field->text(), QStringLiteral("-1.5"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(field->text(), QStringLiteral("-1.5 dB"));
    QCOMPARE(image.gainIndex[High], 185);
    QVERIFY(Leave(app));

    // Low clamps at 0.0 dB and at -20.0 dB.
    e.rows[Low].gain->click();
    QCOMPARE(e.gainCaption->text(), QStringLiteral("Low--Gain"));
    QVERIFY(TypeAndLeave(app, field, QStringLiteral("3")));
    QCOMPARE(field->text(), QStringLiteral("0.0 dB"));
    QCOMPARE(image.gainIndex[Low], 200);
    QCOMPARE(strip.knobTop(Low), 56);
    QVERIFY(TypeAndLeave(app, field, QStringLiteral("-25")));
    QCOMPARE(field->text(), QStringLiteral("-20.0 dB"));
    QCOMPARE(image.gainIndex[Low], 0);
    QCOMPARE(strip.knobTop(Low), 200);

    // The unit suffix, with or without its blank, is removed before parsing.
    QVERIFY(FocusOn(field));
    field->setText(QStringLiteral("-3 dB"));
    QVERIFY(Leave(app));
    QCOMPARE(field->text(), QStringLiteral("-3.0 dB"));
    QCOMPARE(image.gainIndex[Low], 170);
    QVERIFY(WaitForLastBlock(app.sim, Low, 0,
                             [](const QByteArray& f) { return PayloadByte(f, 0) == 170; }));
    QVERIFY(FocusOn(field));
    field->setText(QStringLiteral("-4dB"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(field->text(), QStringLiteral("-4.0 dB"));
    QCOMPARE(image.gainIndex[Low], 160);
    QVERIFY(Leave(app));

    // An emptied field does not parse: it gets its text back and nothing changes.
    QVERIFY(TypeAndLeave(app, field, QString()));
    QCOMPARE(field->text(), QStringLiteral("-4.0 dB"));
    QCOMPARE(image.gainIndex[Low], 160);

    // Leaving without a change sends nothing.
    QVERIFY(WaitQuiet(app));
    int mark = LogMark(app.sim);
    QVERIFY(FocusOn(field));
    QVERIFY(Leave(app));
    QTest::qWait(1200);
    QCOMPARE(BlockFrames(app.sim, Low, 0, mark).size(), 0);
    QVERIFY(!app.session().writer().sendSlots().pending(OutputSlot(Low)));
}

void TestChannelStrip::gainStepperAndFader() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    ChannelStrip& strip = app.window->editors().strip();
    const ParameterImage& image = app.model().image();

    // Low's stepper stops at 0.0 dB (index 200), High's at +5.0 dB (250); both stop at 0.
    e.rows[Low].gain->click();
    QVERIFY(TypeAndLeave(app, e.gainField, QStringLiteral("-0.1")));
    QCOMPARE(image.gainIndex[Low], 199);
    e.gainStepper->upButton()->click();
    QCOMPARE(image.gainIndex[Low], 200);
    QCOMPARE(e.gainField->text(), QStringLiteral("0.0 dB"));
    QCOMPARE(strip.knobTop(Low), 56);
    e.gainStepper->upButton()->click();
    QCOMPARE(image.gainIndex[Low], 200);
    QVERIFY(TypeAndLeave(app, e.gainField, QStringLiteral("-20")));
    e.gainStepper->downButton()->click();
    QCOMPARE(image.gainIndex[Low], 0);
    QCOMPARE(e.gainField->text(), QStringLiteral("-20.0 dB"));

    e.rows[High].gain->click();
    QVERIFY(TypeAndLeave(app, e.gainField, QStringLiteral("5")));
    e.gainStepper->upButton()->click();
    QCOMPARE(image.gainIndex[High], 250);
    e.gainStepper->downButton()->click();
    QCOMPARE(image.gainIndex[High], 249);
    QCOMPARE(e.gainField->text(), QStringLiteral("4.9 dB"));
    QCOMPARE(strip.knobTop(High), LevelToFaderY(4.9) - 5);

    // Low's knob: a press must be strictly inside the 12 x 13 knob.
    e.rows[Low].gain->click();
    QVERIFY(TypeAndLeave(app, e.gainField, QStringLiteral("0")));
    QCOMPARE(strip.knobTop(Low), 56);
    Mouse(e.gainFader, QEvent::MouseButtonPress, {73, 62});
    QVERIFY(!strip.dragging());
    Mouse(e.gainFader, QEvent::MouseButtonPress, {79, 56});
    QVERIFY(!strip.dragging());
    Mouse(e.gainFader, QEvent::MouseButtonPress, {79, 62});
    QVERIFY(strip.dragging());

    // Above Low's band the gain stays, but the block is still queued.
    QVERIFY(WaitQuiet(app));
    const int mark = LogMark(app.sim);
    Mouse(e.gainFader, QEvent::MouseMove, {79, 40});
    QCOMPARE(image.gainIndex[Low], 200);
    QCOMPARE(strip.knobTop(Low), 56);
    QCOMPARE(PayloadByte(WaitForBlock(app.sim, Low, 0, 4000, mark), 0), 200);

    // Inside the band the knob follows and the gain is the fader level of the row.
    Mouse(e.gainFader, QEvent::MouseMove, {79, 70});
    QCOMPARE(strip.knobTop(Low), 65);
    QCOMPARE(e.gainField->text(), QStringLiteral("-1.1 dB"));
    QCOMPARE(image.gainIndex[Low], 189);
    Mouse(e.gainFader, QEvent::MouseMove, {79, 62});
    QCOMPARE(image.gainIndex[Low], 200);
    Mouse(e.gainFader, QEvent::MouseButtonRelease, {79, 62});
    QVERIFY(!strip.dragging());
    Mouse(e.gainFader, QEvent::MouseMove, {79, 100});
    QCOMPARE(image.gainIndex[Low], 200);

    // High's band reaches +5.0 dB at row 26 and -20.0 dB at row 205.
    e.rows[High].gain->click();
    const int top = strip.knobTop(High);
    Mouse(e.gainFader, QEvent::MouseButtonPress, {79, top + 5});
    QVERIFY(strip.dragging());
    Mouse(e.gainFader, QEvent::MouseMove, {79, 26});
    QCOMPARE(image.gainIndex[High], 250);
    QCOMPARE(strip.knobTop(High), 21);
    Mouse(e.gainFader, QEvent::MouseMove, {79, 205});
    QCOMPARE(image.gainIndex[High], 0);
    QCOMPARE(e.gainField->text(), QStringLiteral("-20.0 dB"));
    Mouse(e.gainFader, QEvent::MouseMove, {79, 206});
    QCOMPARE(image.gainIndex[High], 0);
    QCOMPARE(strip.knobTop(High), 200);
    Mouse(e.gainFader, QEvent::MouseButtonRelease, {79, 206});
    QVERIFY(WaitForLastBlock(app.sim, High, 0,
                             [](const QByteArray& f) { return PayloadByte(f, 0) == 0; }));
}

void TestChannelStrip::limiterPopup() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    QCOMPARE(e.thresholdList->count(), 20);
    QCOMPARE(e.thresholdList->itemText(0), QStringLiteral("-19dBu"));
    QCOMPARE(e.thresholdList->itemText(19), QStringLiteral("0dBu"));
    QCOMPARE(e.attackList->itemText(0), QStringLiteral("0.5 ms"));
    QCOMPARE(e.releaseList->itemText(6), QStringLiteral("5000ms"));

    app.arrangeImage([&](ParameterImage& image) {
        image.limiterThreshold[High] = 3;
        image.limiterThreshold[Mid] = 17;
        image.limiterAttack[Mid] = 6;
        image.limiterRelease[Mid] = 2;
    });
    e.rows[High].limiter->click();
    QCOMPARE(e.limiterCaption->text(), QStringLiteral("High--Limiter"));
    QCOMPARE(e.thresholdList->currentIndex(), 3);
    // Loading sends nothing.
    QVERIFY(!s.writer().sendSlots().pending(LimiterSlot(High)));

    // The same button again keeps the selection; another way's button moves the one popup
    // below itself and loads that way's values.
    e.rows[High].limiter->click();
    QCOMPARE(ButtonColour(e.rows[High].limiter), HighlightButtonColour);
    e.rows[Mid].limiter->click();
    QCOMPARE(ButtonColour(e.rows[High].limiter), NormalButtonColour);
    QCOMPARE(ButtonColour(e.rows[Mid].limiter), HighlightButtonColour);
    QCOMPARE(e.limiterCaption->text(), QStringLiteral("Mid--Limiter"));
    const QPushButton* b = e.rows[Mid].limiter;
    QCOMPARE(e.limiterPopup->pos(),
             b->mapTo(app.window->centralWidget(), QPoint(b->width(), b->height())));
    QCOMPARE(e.thresholdList->currentIndex(), 17);
    QCOMPARE(e.attackList->currentIndex(), 6);
    QCOMPARE(e.releaseList->currentIndex(), 2);

    e.attackList->setCurrentIndex(1);
    QCOMPARE(s.model().image().limiterAttack[Mid], 1);
    QVERIFY(WaitForLastBlock(app.sim, Mid, 2, [](const QByteArray& f) {
        return PayloadByte(f, 0) == 17 && PayloadByte(f, 1) == 1 && PayloadByte(f, 2) == 2;
    }));
}

void TestChannelStrip::delayGroup() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();

    e.rows[High].delay->click();
    QVERIFY(e.delayPopup->isVisible());
    QCOMPARE(e.delayCaption->text(), QStringLiteral("High--Delay"));
    QCOMPARE(e.delayBar->value(), s.model().image().delay[High]);
    QCOMPARE(e.delayField->text(), DelayMsText(s.model().image().delay[High]));
    QVERIFY(!s.writer().sendSlots().pending(OutputSlot(High)));

    e.delayBar->setValue(412);
    QCOMPARE(s.model().image().delay[High], 412);
    QCOMPARE(e.delayField->text(), QStringLiteral("8.652 ms"));
    QCOMPARE(e.delayMetreLabel->text(), QStringLiteral("2.980 m"));
    QCOMPARE(e.delayFeetLabel->text(), QStringLiteral("9.777 ft"));
    QVERIFY(WaitForLastBlock(app.sim, High, 0, [](const QByteArray& f) {
        return PayloadByte(f, 2) + 256 * PayloadByte(f, 3) == 412;
    }));

    // A typed delay is never applied.
    QVERIFY(FocusOn(e.delayField));
    e.delayField->selectAll();
    QTest::keyClick(e.delayField, Qt::Key_Backspace);
    QTest::keyClicks(e.delayField, QStringLiteral("1-a.5"));
    QCOMPARE(e.delayField->text(), QStringLiteral("1.5"));
    QTest::keyClick(e.delayField, Qt::Key_Return);
    QCOMPARE(e.delayField->text(), QStringLiteral("8.652 ms"));
    QVERIFY(TypeAndLeave(app, e.delayField, QStringLiteral("2")));
    QCOMPARE(e.delayField->text(), QStringLiteral("8.652 ms"));
    QCOMPARE(s.model().image().delay[High], 412);

    // "Main delay" selects Main without closing anything or moving the popup.
    const QPoint popupAt = e.delayPopup->pos();
    app.arrangeImage([&](ParameterImage& image) { image.delay[Main] = 100; });
    e.mainDelayButton->click();
    QCOMPARE(app.selection().way(), int(Main));
    QCOMPARE(app.selection().panel(), int(DelayPanel));
    QCOMPARE(e.delayCaption->text(), QStringLiteral("Mian--Delay"));
    QVERIFY(e.delayPopup->isVisible());
    QCOMPARE(e.delayPopup->pos(), popupAt);
    QCOMPARE(ButtonColour(e.mainDelayButton), HighlightButtonColour);
    QCOMPARE(e.delayBar->value(), 100);
    QCOMPARE(e.delayField->text(), QStringLiteral("2.100 ms"));
    QVERIFY(WaitQuiet(app));
    const int mark = LogMark(app.sim);
    e.delayBar->setValue(50);
    QCOMPARE(s.model().image().delay[Main], 50);
    QCOMPARE(s.model().image().delay[High], 412);
    const QByteArray frame = WaitForBlock(app.sim, 3, 0, 4000, mark);
    QCOMPARE(PayloadByte(frame, 4) + 256 * PayloadByte(frame, 5), 50);
    QCOMPARE(BlockFrames(app.sim, High, 0, mark).size(), 0);
}

void TestChannelStrip::muteAndPolarity() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();

    app.arrangeImage([&](ParameterImage& image) {
        image.onFlag[Mid] = 1;
        image.polarity[Mid] = 0;
    });
    e.rows[Mid].mute->click();
    QCOMPARE(s.model().image().onFlag[Mid], 0);
    QCOMPARE(ButtonColour(e.rows[Mid].mute), ActiveButtonColour);
    e.rows[Mid].polarity->click();
    QCOMPARE(s.model().image().polarity[Mid], 1);
    QCOMPARE(e.rows[Mid].polarity->text(), QStringLiteral("-"));
    QVERIFY(WaitForLastBlock(app.sim, Mid, 0, [](const QByteArray& f) {
        return PayloadByte(f, 1) == 0 && PayloadByte(f, 4) == 1;
    }));

    e.rows[Mid].mute->click();
    e.rows[Mid].polarity->click();
    QCOMPARE(s.model().image().onFlag[Mid], 1);
    QCOMPARE(ButtonColour(e.rows[Mid].mute), NormalButtonColour);
    QCOMPARE(e.rows[Mid].polarity->text(), QStringLiteral("+"));
    QVERIFY(WaitForLastBlock(app.sim, Mid, 0, [](const QByteArray& f) {
        return PayloadByte(f, 1) == 1 && PayloadByte(f, 4) == 0;
    }));
}

void TestChannelStrip::signalGroup() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    ChannelStrip& strip = app.window->editors().strip();
    UnitSession& s = app.session();

    e.levelBar->setValue(0);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("0.0 dB"));
    QCOMPARE(s.model().image().masterLevel, 301);
    e.levelBar->setValue(300);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("-60.0 dB"));
    e.levelBar->setValue(120);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("-24.0 dB"));
    QVERIFY(WaitForLastBlock(app.sim, 3, 0, [](const QByteArray& f) {
        return PayloadByte(f, 2) + 256 * PayloadByte(f, 3) == 181;
    }));

    // Mute twice returns the bar to where it was.
    e.mainMuteButton->click();
    QVERIFY(strip.masterMuted());
    QCOMPARE(e.levelBar->value(), 301);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("Mute"));
    QCOMPARE(ButtonColour(e.mainMuteButton), ActiveButtonColour);
    QVERIFY(WaitForLastBlock(app.sim, 3, 0, [](const QByteArray& f) {
        return PayloadByte(f, 2) == 0 && PayloadByte(f, 3) == 0;
    }));
    e.mainMuteButton->click();
    QVERIFY(!strip.masterMuted());
    QCOMPARE(e.levelBar->value(), 120);
    QCOMPARE(ButtonColour(e.mainMuteButton), NormalButtonColour);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("-24.0 dB"));

    // A bar move while muted clears the mute.
    e.mainMuteButton->click();
    QVERIFY(strip.masterMuted());
    e.levelBar->setValue(200);
    QVERIFY(!strip.masterMuted());
    QCOMPARE(ButtonColour(e.mainMuteButton), NormalButtonColour);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("-40.0 dB"));
    e.mainMuteButton->click();
    e.mainMuteButton->click();
    QCOMPARE(e.levelBar->value(), 200);

    // Main polarity and bass enhancer.
    app.arrangeImage([&](ParameterImage& image) {
        image.polarity[Main] = 0;
        image.bassEnhancer = 0;
    });
    e.mainPolarityButton->click();
    QCOMPARE(e.mainPolarityButton->text(), QStringLiteral("Pol(-)"));
    QCOMPARE(ButtonColour(e.mainPolarityButton), ActiveButtonColour);
    e.bassEnhancerButton->click();
    QCOMPARE(s.model().image().bassEnhancer, 1);
    QCOMPARE(ButtonColour(e.bassEnhancerButton), ActiveButtonColour);
    QVERIFY(WaitForLastBlock(app.sim, 3, 0, [](const QByteArray& f) {
        return PayloadByte(f, 0) == 1 && PayloadByte(f, 6) == 1 &&
               PayloadByte(f, 2) + 256 * PayloadByte(f, 3) == 101;
    }));
    e.mainPolarityButton->click();
    e.bassEnhancerButton->click();
    QCOMPARE(e.mainPolarityButton->text(), QStringLiteral("Pol(+)"));
    QCOMPARE(ButtonColour(e.mainPolarityButton), NormalButtonColour);
    QCOMPARE(s.model().image().polarity[Main], 0);
    QCOMPARE(s.model().image().bassEnhancer, 0);
    QCOMPARE(ButtonColour(e.bassEnhancerButton), NormalButtonColour);
}

void TestChannelStrip::closePanelAndInertPopups() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    ChannelStrip& strip = app.window->editors().strip();
    UnitSession& s = app.session();
    const ParameterImage before = s.model().image();

    // A way's button after another way's closes the first: one highlight, one popup.
    e.rows[High].gain->click();
    e.rows[Mid].gain->click();
    QCOMPARE(ButtonColour(e.rows[High].gain), NormalButtonColour);
    QCOMPARE(ButtonColour(e.rows[Mid].gain), HighlightButtonColour);
    QCOMPARE(e.gainCaption->text(), QStringLiteral("Mid--Gain"));

    // The close button restores the button, hides the popup and clears the selection.
    e.closeGainButton->click();
    QVERIFY(!e.gainPopup->isVisible());
    QCOMPARE(ButtonColour(e.rows[Mid].gain), NormalButtonColour);
    QCOMPARE(app.selection().way(), -1);
    QCOMPARE(app.selection().panel(), -1);

    // With no way selected the gain popup's controls change nothing.
    e.gainStepper->upButton()->click();
    e.gainStepper->downButton()->click();
    Mouse(e.gainFader, QEvent::MouseButtonPress, {79, strip.knobTop(Mid) + 5});
    QVERIFY(!strip.dragging());

    // Limiter: close, then a selector change is refused.
    e.rows[Low].limiter->click();
    QVERIFY(e.limiterPopup->isVisible());
    QVERIFY(e.thresholdList->isEnabled());
    e.closeLimiterButton->click();
    QVERIFY(!e.limiterPopup->isVisible());
    QCOMPARE(ButtonColour(e.rows[Low].limiter), NormalButtonColour);
    for (QWidget* selector : {e.thresholdList, e.attackList, e.releaseList}) {
        QVERIFY(!selector->isEnabled());
    }
    e.thresholdList->setCurrentIndex(9);
    QCOMPARE(e.thresholdList->currentIndex(), before.limiterThreshold[Low]);

    // Delay: close, then a bar move is refused.
    e.rows[Low].delay->click();
    QVERIFY(e.delayPopup->isVisible());
    QVERIFY(e.delayBar->isEnabled());
    e.closeDelayButton->click();
    QVERIFY(!e.delayPopup->isVisible());
    QCOMPARE(ButtonColour(e.rows[Low].delay), NormalButtonColour);
    QVERIFY(!e.delayBar->isEnabled());
    e.delayBar->setValue(300);
    QCOMPARE(e.delayBar->value(), before.delay[Low]);

    // The graph ignores presses while no section is selected.
    ResponseGraph& graph = app.window->graph();
    const QPoint handle = graph.handle(BandIndex(Main, 0));
    QTest::mousePress(&graph, Qt::LeftButton, {}, handle);
    QVERIFY(!graph.dragging());
    QTest::mouseRelease(&graph, Qt::LeftButton, {}, handle);
    QVERIFY(s.model().image() == before);
    QVERIFY(!s.writer().sendSlots().anyPending());

    // "Main EQ" selects Main without closing: a way popup left open is shown but inert, and
    // its controls say so by being disabled.
    e.rows[High].gain->click();
    QVERIFY(e.gainField->isEnabled() && e.gainStepper->isEnabled() && e.gainFader->isEnabled());
    e.mainEqButton->click();
    QVERIFY(e.gainPopup->isVisible());
    QCOMPARE(app.selection().way(), int(Main));
    QVERIFY(!e.gainField->isEnabled() && !e.gainStepper->isEnabled() && !e.gainFader->isEnabled());
    e.gainStepper->upButton()->click();
    // A text that reaches the field anyway goes back on leaving it.
    app.window->editors().commitState().referenceText = e.gainField->text();
    e.gainField->setText(QStringLiteral("-7"));
    strip.gainFieldLeft();
    QCOMPARE(e.gainField->text(), OutputGainText(before.gainIndex[High]));
    QCOMPARE(s.model().image().gainIndex[High], before.gainIndex[High]);
    // A way's button afterwards closes everything the selection lit.
    e.rows[Low].delay->click();
    QCOMPARE(ButtonColour(e.mainEqButton), NormalButtonColour);
    QCOMPARE(ButtonColour(e.rows[High].gain), NormalButtonColour);
    QVERIFY(!e.gainPopup->isVisible());
    QVERIFY(e.delayPopup->isVisible());

    // The search result view: closing it brings the editor area back.
    app.selection().setPanel(SearchResultPanel);
    app.widgets().editorArea->hide();
    app.widgets().searchResultPanel->show();
    app.selection().requestClose();
    QVERIFY(!app.widgets().searchResultPanel->isVisible());
    QVERIFY(app.widgets().editorArea->isVisible());
    QVERIFY(!e.delayPopup->isVisible());
    QCOMPARE(app.selection().way(), -1);
    QCOMPARE(app.selection().panel(), -1);
}

void TestChannelStrip::heldBarMoveIsOneStep_data() {
    QTest::addColumn<bool>("delayBar");
    QTest::addColumn<QString>("stepName");
    QTest::newRow("delay bar") << true << QStringLiteral("Mid delay");
    QTest::newRow("level bar") << false << QStringLiteral("Main level");
}

// However many values a held bar passes through, the move is one step for undo. No unit is
// needed for any of this.
void TestChannelStrip::heldBarMoveIsOneStep() {
    QFETCH(bool, delayBar);
    QFETCH(QString, stepName);
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    UnitModel& model = app.session().model();
    if (delayBar) {
        e.rows[Mid].delay->click();
    }
    QAbstractSlider* bar = delayBar ? static_cast<QAbstractSlider*>(e.delayBar)
                                    : static_cast<QAbstractSlider*>(e.levelBar);
    const ParameterImage start = model.image();
    auto hold = [bar](std::initializer_list<int> positions, bool release) {
        bar->setSliderDown(true);
        for (int position : positions) {
            bar->setSliderPosition(position);
        }
        if (release) {
            bar->setSliderDown(false);
        }
    };
    hold({10, 40, 90, 150}, true);
    QCOMPARE(model.history().stepCount(), 1);
    QCOMPARE(model.history().undoName(), stepName);
    const ParameterImage moved = model.image();
    QVERIFY(moved != start);

    // A popup closed while its bar is held ends the move's step; the next edit is its own.
    hold({160, 170}, false);
    if (delayBar) {
        e.closeDelayButton->click();
    } else {
        bar->setSliderDown(false);
    }
    model.toggleMute(High);
    QCOMPARE(model.history().stepCount(), 3);
    QVERIFY(model.undo());
    QVERIFY(model.undo());
    QVERIFY(model.image() == moved);
    QVERIFY(model.undo());
    QVERIFY(model.image() == start);
}

QTEST_MAIN(TestChannelStrip)
#include "test_channel_strip.moc"
