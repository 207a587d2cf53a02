// The undo history and the A/B comparison of the unit model: which edits are steps, what
// undo and redo put back, which blocks they report, and where the history ends.
#include "model/unit_model.h"
#include "protocol/send_slots.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace quellaton;

namespace {

// One random edit through the setters the editors use.
void RandomEdit(UnitModel& model, QRandomGenerator& random) {
    const int section = random.bounded(SectionCount);
    const int way = random.bounded(WayCount);
    const int band = BandIndex(section, random.bounded(BandsPerSection));
    switch (random.bounded(10)) {
    case 0:
        model.setGainDb(way, -20.0 + random.bounded(25.0));
        break;
    case 1:
        model.toggleMute(way);
        break;
    case 2:
        model.setLimiterAttack(way, random.bounded(7));
        break;
    case 3:
        model.togglePolarity(section);
        break;
    case 4:
        model.setDelaySteps(section, random.bounded(413));
        break;
    case 5:
        model.setBandFrequencyHz(band, 20.0 + random.bounded(20000.0));
        break;
    case 6:
        model.setBandGainDb(band, -24.0 + random.bounded(36.0));
        break;
    case 7:
        model.setBandQ(band, 0.2 + random.bounded(30.0));
        break;
    case 8:
        model.setCrossoverType(section, UnitModel::Filter::LowPass, random.bounded(9));
        break;
    default:
        model.setMasterLevel(random.bounded(302));
        break;
    }
}

QList<int> Slots(const QSignalSpy& spy) {
    QList<int> edited;
    for (const QList<QVariant>& call : spy) {
        edited.append(call.at(0).toInt());
    }
    return edited;
}

} // namespace

class EditHistoryTest : public QObject {
    Q_OBJECT
private slots:
    void undoAndRedoRoundTrip() {
        UnitModel model;
        QRandomGenerator random(20261209);
        const ParameterImage start = model.image();
        for (int i = 0; i < 50; ++i) {
            // Each edit must change something to count as one step.
            const int before = model.history().stepCount();
            do {
                RandomEdit(model, random);
            } while (model.history().stepCount() == before);
        }
        const ParameterImage edited = model.image();
        QCOMPARE(model.history().stepCount(), 50);
        for (int i = 0; i < 50; ++i) {
            QVERIFY(model.undo());
        }
        QVERIFY(!model.undo());
        QCOMPARE(model.image().Encode(), start.Encode());
        QVERIFY(model.image() == start);
        for (int i = 0; i < 50; ++i) {
            QVERIFY(model.redo());
        }
        QVERIFY(!model.redo());
        QVERIFY(model.image() == edited);
    }

    void stepNames_data() {
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("name");
        QTest::newRow("band gain") << 0 << "High band 3 gain";
        QTest::newRow("way gain") << 1 << "Low gain";
        QTest::newRow("main level") << 2 << "Main level";
        QTest::newRow("crossover") << 3 << "Mid HPF frequency";
        QTest::newRow("filters reset") << 4 << "Main filters reset";
        QTest::newRow("grouped drag") << 5 << "Drag";
        QTest::newRow("unnamed drag") << 6 << "Low band 1";
    }
    void stepNames() {
        QFETCH(int, edit);
        QFETCH(QString, name);
        UnitModel model;
        model.setBandGainDb(BandIndex(Main, 1), 6.0);
        model.setBandGainDb(BandIndex(Main, 2), 6.0);
        switch (edit) {
        case 0:
            model.setBandGainDb(BandIndex(High, 2), 3.0);
            break;
        case 1:
            model.setGainDb(Low, -6.0);
            break;
        case 2:
            model.setMasterLevel(100);
            break;
        case 3:
            model.setCrossoverFrequencyHz(Mid, UnitModel::Filter::HighPass, 500.0);
            break;
        case 4:
            model.resetBandGains(Main);
            break;
        case 6:
            model.beginStep();
            model.setBandPoint(BandIndex(Low, 0), 40, 150);
            model.endStep();
            break;
        default:
            model.beginStep(QStringLiteral("Drag"));
            for (int f = 10; f < 60; f += 5) {
                model.setBandPoint(BandIndex(Low, 0), f, 100 + f);
            }
            model.endStep();
            break;
        }
        QCOMPARE(model.history().undoName(), name);
        QCOMPARE(model.history().stepCount(), 3);
        QVERIFY(model.undo());
        QCOMPARE(model.history().redoName(), name);
    }

    void unchangedEditIsNoStep() {
        UnitModel model;
        model.setGainDb(High, -3.0);
        model.setGainDb(High, -3.0); // the same value again
        model.touch(OutputSlot(High));
        model.beginStep(QStringLiteral("Drag"));
        model.endStep();
        model.endStep(); // one too many does no harm
        QCOMPARE(model.history().stepCount(), 1);
        QVERIFY(model.undo());
        QVERIFY(!model.history().canUndo());
    }

    void undoReportsOnlyChangedBlocks() {
        UnitModel model;
        model.setBandGainDb(BandIndex(Mid, 4), -3.0);
        model.setDelaySteps(Main, 40);
        QSignalSpy blocks(&model, &UnitModel::blockEdited);
        QSignalSpy refreshed(&model, &UnitModel::imageEdited);
        QVERIFY(model.undo());
        QCOMPARE(Slots(blocks), QList<int>{MainBlockSlot});
        QCOMPARE(refreshed.count(), 1);
        blocks.clear();
        QVERIFY(model.undo());
        QCOMPARE(Slots(blocks), QList<int>{EqBandSlot(BandIndex(Mid, 4))});
    }

    void newStepDropsRedo() {
        UnitModel model;
        model.setGainDb(High, -3.0);
        model.setGainDb(High, -6.0);
        QVERIFY(model.undo());
        model.toggleMute(Mid);
        QVERIFY(!model.history().canRedo());
        QCOMPARE(model.history().stepCount(), 2);
    }

    void historyKeepsTheLastThousand() {
        UnitModel model;
        for (int i = 0; i < 1001; ++i) {
            model.setDelaySteps(High, 1 + i % 400);
        }
        QCOMPARE(model.history().stepCount(), EditHistory::StepLimit);
        int undone = 0;
        while (model.undo()) {
            ++undone;
        }
        QCOMPARE(undone, 1000);
        QCOMPARE(model.image().delay[High], 1); // the first edit's result is the oldest kept
    }

    void newImageClearsHistoryAndComparison() {
        UnitModel model;
        model.setGainDb(High, -3.0);
        model.toggleComparison();
        model.setGainDb(High, -6.0);
        model.replaceImage(ParameterImage{});
        QVERIFY(!model.history().canUndo());
        QVERIFY(!model.comparing());
    }

    void comparisonSwapsSettingsAndReportsDifferences() {
        UnitModel model;
        model.setGainDb(High, -3.0);
        QSignalSpy blocks(&model, &UnitModel::blockEdited);
        model.toggleComparison(); // B is a copy of A: nothing changes
        QVERIFY(model.showingB());
        QCOMPARE(blocks.count(), 0);
        model.setBandGainDb(BandIndex(Low, 5), 4.0);
        model.setLimiterRelease(Mid, 3);
        const ParameterImage b = model.image();
        blocks.clear();
        model.toggleComparison(); // back to A
        QVERIFY(!model.showingB());
        QCOMPARE(model.image().gainIndex[High], b.gainIndex[High]);
        QCOMPARE(Slots(blocks), (QList<int>{LimiterSlot(Mid), EqBandSlot(BandIndex(Low, 5))}));
        // A's own history came back with it; B's edits are not in it.
        QCOMPARE(model.history().undoName(), QStringLiteral("High gain"));
        model.toggleComparison();
        QVERIFY(model.image() == b);
        QCOMPARE(model.history().undoName(), QStringLiteral("Mid limiter release"));
    }

    void applyEditIsOneStep() {
        UnitModel model;
        ParameterImage target = model.image();
        target.bands[std::size_t(BandIndex(High, 0))].peakingGain = 100;
        target.bands[std::size_t(BandIndex(High, 1))].qIndex = 30;
        target.gainIndex[High] = 90;
        QSignalSpy blocks(&model, &UnitModel::blockEdited);
        model.applyEdit(target, QStringLiteral("Import EQ filters"));
        QCOMPARE(Slots(blocks), (QList<int>{OutputSlot(High), EqBandSlot(BandIndex(High, 0)),
                                            EqBandSlot(BandIndex(High, 1))}));
        QCOMPARE(model.history().stepCount(), 1);
        QCOMPARE(model.history().undoName(), QStringLiteral("Import EQ filters"));
        QVERIFY(model.undo());
        QVERIFY(model.image() == ParameterImage{});
    }
};

QTEST_GUILESS_MAIN(EditHistoryTest)
#include "test_edit_history.moc"
