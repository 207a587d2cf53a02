// "BTL Mode", the "Bypass" boxes and the refresh of every editor control when a parameter
// image is applied, against a simulated unit.
#include "editor_test_helpers.h"

#include "dsp/scales.h"
#include "editors/editor_pictures.h"
#include "graph/response_graph.h"
#include "protocol/send_slots.h"

#include <QTest>
#include <QTimer>

using namespace quellaton;
using namespace editortest;

namespace {

// The hex text of an image reply frame carrying `image`.
QByteArray ImageText(const ParameterImage& image) {
    return QByteArray("A5A5A5005200280001") + QByteArray("40") + ToHexText(image.Encode()) +
           QByteArray("00AA");
}

bool SamePicture(const QLabel* label, const QPixmap& picture) {
    return label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32) ==
           picture.toImage().convertToFormat(QImage::Format_ARGB32);
}

QList<QWidget*> MidControls(EditorWidgets& e) {
    const WayRowWidgets& r = e.rows[Mid];
    return {r.mute, r.gain, r.eq, r.limiter, r.delay, r.polarity, r.line};
}

} // namespace

class TestBtlBypass : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void btlQuestion();
    void btlMode();
    void bypassBoxes();
    void connectShowsTheUnitsImage();
    void appliedImageRefreshesEveryControl();
};

void TestBtlBypass::btlQuestion() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    app.answerer.setPaused(true);
    QString title;
    QString text;
    bool question = false;
    bool noIsDefault = false;
    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            return;
        }
        title = box->windowTitle();
        text = box->text();
        question = box->icon() == QMessageBox::Question;
        noIsDefault = box->defaultButton() == box->button(QMessageBox::No) &&
                      box->button(QMessageBox::Yes) != nullptr;
        box->button(QMessageBox::No)->click();
    });
    e.btlButton->click();
    QCOMPARE(title, QStringLiteral("Notice"));
    QCOMPARE(text, QStringLiteral("Switch to BTL mode?"));
    QVERIFY(question);
    QVERIFY(noIsDefault);
    QCOMPARE(app.model().image().btlMode, 0);
    for (QWidget* control : MidControls(e)) {
        QVERIFY(control->isVisible());
    }
}

void TestBtlBypass::btlMode() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    app.arrangeImage([&](ParameterImage& image) { image.btlMode = 0; });

    // "No" leaves everything, including an open popup.
    e.rows[Mid].gain->click();
    app.answerer.setQuestionAnswer(false);
    e.btlButton->click();
    QCOMPARE(app.answerer.lastMessage(), QStringLiteral("Switch to BTL mode?"));
    QCOMPARE(s.model().image().btlMode, 0);
    QVERIFY(e.gainPopup->isVisible());
    QCOMPARE(app.selection().way(), int(Mid));

    app.answerer.setQuestionAnswer(true);
    e.btlButton->click();
    QCOMPARE(s.model().image().btlMode, 1);
    for (QWidget* control : MidControls(e)) {
        QVERIFY(!control->isVisible());
    }
    QVERIFY(e.rows[Mid].icon->isVisible());
    QVERIFY(SamePicture(e.rows[Mid].icon, RowIconPicture(true)));
    QVERIFY(e.rows[High].gain->isVisible());
    QCOMPARE(ButtonColour(e.btlButton), BtlButtonColour);
    // The close-panel operation ran: the Mid popup went with its buttons.
    QVERIFY(!e.gainPopup->isVisible());
    QCOMPARE(app.selection().way(), -1);
    QVERIFY(WaitForLastBlock(app.sim, 3, 0,
                             [](const QByteArray& f) { return PayloadByte(f, 7) == 1; }));

    e.btlButton->click();
    QCOMPARE(app.answerer.lastMessage(), QStringLiteral("Cancel the BTL model?"));
    QCOMPARE(s.model().image().btlMode, 0);
    for (QWidget* control : MidControls(e)) {
        QVERIFY(control->isVisible());
    }
    QVERIFY(SamePicture(e.rows[Mid].icon, RowIconPicture(false)));
    QCOMPARE(ButtonColour(e.btlButton), NormalButtonColour);
    QVERIFY(WaitForLastBlock(app.sim, 3, 0,
                             [](const QByteArray& f) { return PayloadByte(f, 7) == 0; }));
}

void TestBtlBypass::bypassBoxes() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    ResponseCache& cache = app.window->graph().cache();
    const int mainBand3 = BandIndex(Main, 2);
    const auto [mainBlock, mainGroup] = BlockOfSlot(EqBandSlot(mainBand3));

    e.mainEqButton->click();
    e.typeLists[2]->setCurrentIndex(1);
    e.typeLists[2]->setCurrentIndex(0);
    QVERIFY(TypeAndLeave(app, e.gainFields[2], QStringLiteral("6")));
    QCOMPARE(s.model().image().bands[mainBand3].peakingGain, 150);
    QVERIFY(WaitForLastBlock(app.sim, mainBlock, mainGroup, [](const QByteArray& f) {
        return PayloadByte(f, 2) == 0x96 && PayloadByte(f, 3) == 0;
    }));
    auto rowIsFlat = [&](int bandIndex) {
        const auto& row = cache.rows[bandIndex];
        return std::all_of(row.begin() + 1, row.begin() + 600, [](double v) { return v == 0.0; });
    };
    QVERIFY(!rowIsFlat(mainBand3));
    // Whether the drawn trace counts the band: at the columns where the band lifts the
    // response by more than a pixel, the red pixel sits on the row of the sum with (or
    // without) it.
    auto traceCounts = [&](int bandIndex) {
        const QImage& picture = app.window->graph().picture();
        const int section = bandIndex / 6;
        int checked = 0;
        for (int j = 1; j <= 672; ++j) {
            double without =
                cache.rows[HighPassRow(section)][j] + cache.rows[LowPassRow(section)][j];
            for (int k = 0; k < 6; ++k) {
                if (6 * section + k != bandIndex) {
                    without += cache.rows[6 * section + k][j];
                }
            }
            const double with = without + cache.rows[bandIndex][j];
            const auto row = [](double total) { return int((15 - total) / 45 * 211 + 16) - 1; };
            if (std::abs(row(with) - row(without)) < 3 || row(with) < 17 || row(without) < 17 ||
                row(with) > 222 || row(without) > 222) {
                continue;
            }
            const QRgb red = qRgb(255, 0, 0);
            const bool atWith = picture.pixel(j + 41, row(with)) == red;
            const bool atWithout = picture.pixel(j + 41, row(without)) == red;
            if (atWith == atWithout) {
                continue; // under a handle square or its number
            }
            checked += atWith ? 1 : -1000;
        }
        return checked > 0 ? 1 : (checked < 0 ? 0 : -1);
    };
    QCOMPARE(traceCounts(mainBand3), 1);

    // Ticked: the band leaves the trace and goes out at 0 dB; the stored gain and the band's
    // curve stay.
    e.bypassBoxes[2]->click();
    QVERIFY(s.model().rowBypassed(2));
    QVERIFY(!rowIsFlat(mainBand3));
    QCOMPARE(traceCounts(mainBand3), 0);
    QCOMPARE(s.model().image().bands[mainBand3].peakingGain, 150);
    QVERIFY(WaitForLastBlock(app.sim, mainBlock, mainGroup, [](const QByteArray& f) {
        return PayloadByte(f, 2) == 0x78 && PayloadByte(f, 3) == 0;
    }));
    // Edits of the band while ticked still send 0 dB.
    QVERIFY(TypeAndLeave(app, e.frequencyFields[2], QStringLiteral("2000")));
    QVERIFY(WaitForLastBlock(app.sim, mainBlock, mainGroup, [](const QByteArray& f) {
        return PayloadByte(f, 0) == 160 && PayloadByte(f, 2) == 0x78;
    }));

    // Unticked: back into the trace and sent with its own gain.
    e.bypassBoxes[2]->click();
    QVERIFY(!s.model().rowBypassed(2));
    QCOMPARE(traceCounts(mainBand3), 1);
    QVERIFY(WaitForLastBlock(app.sim, mainBlock, mainGroup, [](const QByteArray& f) {
        return PayloadByte(f, 2) == 0x96 && PayloadByte(f, 3) == 0;
    }));

    // For a way the tick only changes the trace: the band is resent unchanged.
    e.rows[High].eq->click();
    const int highBand3 = BandIndex(High, 2);
    const EqBand band = s.model().image().bands[highBand3];
    const auto [highBlock, highGroup] = BlockOfSlot(EqBandSlot(highBand3));
    e.bypassBoxes[2]->click();
    QVERIFY(WaitForLastBlock(app.sim, highBlock, highGroup, [&](const QByteArray& f) {
        return PayloadByte(f, 0) == band.frequencyIndex && PayloadByte(f, 1) == band.type &&
               PayloadByte(f, 2) == band.peakingGain && PayloadByte(f, 4) == band.shelfGain &&
               PayloadByte(f, 6) == band.qIndex;
    }));
    // The tick belongs to the row and stays when another section is shown.
    e.mainEqButton->click();
    QVERIFY(e.bypassBoxes[2]->isChecked());
    QVERIFY(s.model().rowBypassed(2));
}

void TestBtlBypass::connectShowsTheUnitsImage() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    EditorWidgets& e = Editors(app);
    UnitSession& s = app.session();
    const QByteArray payload = app.sim.unitImage(1);
    QCOMPARE(payload.size(), 320);
    const ParameterImage unit =
        DecodeImageText(QByteArray(20, '0') + ToHexText(payload) + QByteArray("00AA"));
    QVERIFY(s.model().image() == unit);

    // The Main panels are open, both Main buttons lit.
    QCOMPARE(app.selection().way(), int(Main));
    QCOMPARE(app.selection().panel(), int(DelayPanel));
    QCOMPARE(ButtonColour(e.mainEqButton), HighlightButtonColour);
    QCOMPARE(ButtonColour(e.mainDelayButton), HighlightButtonColour);
    for (int row = 0; row < 6; ++row) {
        const EqBand& band = unit.bands[BandIndex(Main, row)];
        QCOMPARE(e.frequencyFields[row]->text(), FrequencyText(band.frequencyIndex));
        QCOMPARE(e.gainFields[row]->text(), EqGainText(band.activeGain()));
    }
    QCOMPARE(e.highPassField->text(), FrequencyText(unit.highPassIndex[Main]));
    QCOMPARE(e.delayBar->value(), unit.delay[Main]);
    QCOMPARE(e.delayField->text(), DelayMsText(unit.delay[Main]));
    QCOMPARE(e.levelBar->value(), 301 - unit.masterLevel);
    QCOMPARE(e.levelReadout->text(), MasterFaderText(301 - unit.masterLevel));
    for (int way = 0; way < 3; ++way) {
        QCOMPARE(e.rows[way].polarity->text(),
                 unit.polarity[way] ? QStringLiteral("-") : QStringLiteral("+"));
    }
}

void TestBtlBypass::appliedImageRefreshesEveryControl() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    EditorWidgets& e = Editors(app);
    ChannelStrip& strip = app.window->editors().strip();
    UnitSession& s = app.session();

    // State the image must reset: ticked boxes, a master mute, an open High gain popup.
    e.mainEqButton->click();
    e.bypassBoxes[0]->click();
    e.bypassBoxes[5]->click();
    QVERIFY(s.model().rowBypassed(5));
    e.mainMuteButton->click();
    QVERIFY(strip.masterMuted());
    e.rows[High].gain->click();

    ParameterImage image;
    image.gainIndex = {230, 40, 250}; // Low's 250 is limited to 200
    image.onFlag = {1, 0, 1};
    image.polarity = {0, 1, 0, 1};
    image.delay = {10, 20, 30, 412};
    image.masterLevel = 151;
    image.bassEnhancer = 1;
    image.btlMode = 1;
    image.highPassIndex[Main] = 88;
    image.bands[BandIndex(Main, 0)].frequencyIndex = 136;
    image.bands[BandIndex(Main, 0)].peakingGain = 150;
    image.bands[BandIndex(Main, 1)].type = 1;
    image.bands[BandIndex(Main, 1)].shelfGain = 60;
    s.model().replaceImage(DecodeImageText(ImageText(image)));

    QCOMPARE(s.model().image().gainIndex[Low], 200);
    for (QCheckBox* box : e.bypassBoxes) {
        QVERIFY(!box->isChecked());
    }
    for (int row = 0; row < 6; ++row) {
        QVERIFY(!s.model().rowBypassed(row));
    }
    QVERIFY(!strip.masterMuted());
    QCOMPARE(ButtonColour(e.mainMuteButton), NormalButtonColour);
    QCOMPARE(e.levelBar->value(), 150);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("-30.0 dB"));
    QCOMPARE(e.rows[High].polarity->text(), QStringLiteral("+"));
    QCOMPARE(e.rows[Mid].polarity->text(), QStringLiteral("-"));
    QCOMPARE(ButtonColour(e.rows[High].mute), NormalButtonColour);
    QCOMPARE(ButtonColour(e.rows[Mid].mute), ActiveButtonColour);
    QCOMPARE(e.mainPolarityButton->text(), QStringLiteral("Pol(-)"));
    QCOMPARE(ButtonColour(e.mainPolarityButton), ActiveButtonColour);
    QCOMPARE(ButtonColour(e.bassEnhancerButton), ActiveButtonColour);
    QCOMPARE(ButtonColour(e.btlButton), BtlButtonColour);
    for (QWidget* control : MidControls(e)) {
        QVERIFY(control->isHidden());
    }
    QVERIFY(SamePicture(e.rows[Mid].icon, RowIconPicture(true)));
    // Main EQ and Main delay ran.
    QCOMPARE(app.selection().way(), int(Main));
    QCOMPARE(app.selection().panel(), int(DelayPanel));
    QCOMPARE(e.frequencyFields[0]->text(), QStringLiteral("1000.0 Hz"));
    QCOMPARE(e.gainFields[0]->text(), QStringLiteral("6.0 dB"));
    QCOMPARE(e.typeLists[1]->currentIndex(), 1);
    QCOMPARE(e.gainFields[1]->text(), QStringLiteral("-12.0 dB"));
    QCOMPARE(e.highPassField->text(), QStringLiteral("250.0 Hz"));
    QCOMPARE(e.delayBar->value(), 412);
    QCOMPARE(e.delayFeetLabel->text(), QStringLiteral("9.777 ft"));
    QCOMPARE(e.delayCaption->text(), QStringLiteral("Mian--Delay"));
    // The gain popup left open shows the new gain.
    QVERIFY(e.gainPopup->isVisible());
    QCOMPARE(e.gainField->text(), QStringLiteral("3.0 dB"));
    QCOMPARE(strip.knobTop(High), LevelToFaderY(3.0) - 5);
    // The graph shows Main with its handles on their table points.
    const ResponseGraph& graph = app.window->graph();
    QCOMPARE(graph.handle(BandIndex(Main, 0)),
             QPoint(graph.geometry().frequencyToX(1000.0), graph.geometry().gainToY(6.0)));
    QVERIFY(!s.writer().sendSlots().anyPending());

    // A bass-enhancer value of 2 leaves the button as it was; level extremes.
    image.bassEnhancer = 2;
    image.btlMode = 0;
    image.masterLevel = 301;
    s.model().replaceImage(DecodeImageText(ImageText(image)));
    QCOMPARE(ButtonColour(e.bassEnhancerButton), ActiveButtonColour);
    QCOMPARE(e.levelBar->value(), 0);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("0.0 dB"));
    for (QWidget* control : MidControls(e)) {
        QVERIFY(!control->isHidden());
    }
    QCOMPARE(ButtonColour(e.btlButton), NormalButtonColour);
    image.bassEnhancer = 0;
    image.masterLevel = 0;
    s.model().replaceImage(DecodeImageText(ImageText(image)));
    QCOMPARE(ButtonColour(e.bassEnhancerButton), NormalButtonColour);
    QCOMPARE(e.levelBar->value(), 301);
    QCOMPARE(e.levelReadout->text(), QStringLiteral("Mute"));
}

QTEST_MAIN(TestBtlBypass)
#include "test_btl_bypass.moc"
