// The unit model without widgets: every edit's limits and snapping, the block each edit reports,
// the Main block's master level, whole-image replacement and the bypass rows, the preset names.
#include "dsp/scales.h"
#include "model/preset_names.h"
#include "model/unit_address.h"
#include "model/unit_model.h"
#include "protocol/block_builders.h"
#include "protocol/frames.h"
#include "protocol/send_slots.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace quellaton;
using Filter = UnitModel::Filter;

namespace {

using Edit = std::function<void(UnitModel&)>;
using Read = std::function<int(const UnitModel&)>;

// The slots the model reported, in order.
QList<int> Slots(const QSignalSpy& spy) {
    QList<int> reported;
    for (const QList<QVariant>& args : spy) {
        reported.append(args.at(0).toInt());
    }
    return reported;
}

} // namespace

Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Read)

class TestUnitModel : public QObject {
    Q_OBJECT
private slots:
    void typedValuesAreClampedAndSnapped_data();
    void typedValuesAreClampedAndSnapped();
    void stepsStopAtTheEndsOfTheirScale_data();
    void stepsStopAtTheEndsOfTheirScale();
    void togglesFlipAsTheUnitsExpect_data();
    void togglesFlipAsTheUnitsExpect();
    void mainEditsCarryTheLevelAsTheBarShowsIt_data();
    void mainEditsCarryTheLevelAsTheBarShowsIt();
    void bandTypeChoosesWhichGainIsEdited();
    void filtersResetSendsTheSixBandsInOrder();
    void replacingTheImageUnticksTheRowsAndSendsNothing();
    void bypassedMainRowGoesOutAtZeroDb_data();
    void bypassedMainRowGoesOutAtZeroDb();
    void outOfRangeSectionsAreIgnored();
    void presetNamesAndLabels_data();
    void presetNamesAndLabels();
    void typedNamesAreTrimmedAndCut_data();
    void typedNamesAreTrimmedAndCut();
    void addressKeepsTheIdThroughBroadcastMode();
};

void TestUnitModel::typedValuesAreClampedAndSnapped_data() {
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Read>("read");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("slot");
    const auto gain = [](int way) {
        return [way](const UnitModel& m) { return m.image().gainIndex[way]; };
    };
    const Read frequency = [](const UnitModel& m) {
        return m.band(BandIndex(Mid, 2)).frequencyIndex;
    };
    const Read q = [](const UnitModel& m) { return m.band(BandIndex(Main, 0)).qIndex; };
    const Read peaking = [](const UnitModel& m) { return m.band(BandIndex(Low, 5)).peakingGain; };
    const int midBand = EqBandSlot(BandIndex(Mid, 2));
    const int mainBand = EqBandSlot(BandIndex(Main, 0));
    const int lowBand = EqBandSlot(BandIndex(Low, 5));

    QTest::newRow("High gain 7 dB: +5.0") << Edit([](UnitModel& m) { m.setGainDb(High, 7); })
                                          << Read(gain(High)) << 250 << OutputSlot(High);
    QTest::newRow("Low gain 3 dB: 0.0") << Edit([](UnitModel& m) { m.setGainDb(Low, 3); })
                                        << Read(gain(Low)) << 200 << OutputSlot(Low);
    QTest::newRow("Mid gain -25 dB: -20.0") << Edit([](UnitModel& m) { m.setGainDb(Mid, -25); })
                                            << Read(gain(Mid)) << 0 << OutputSlot(Mid);
    QTest::newRow("gain halfway goes down") << Edit([](UnitModel& m) { m.setGainDb(High, -3.95); })
                                            << Read(gain(High)) << 160 << OutputSlot(High);
    QTest::newRow("25000 Hz: 21900")
        << Edit([](UnitModel& m) { m.setBandFrequencyHz(BandIndex(Mid, 2), 25000); }) << frequency
        << 243 << midBand;
    QTest::newRow("5 Hz: 19.7") << Edit([](UnitModel& m) {
        m.setBandFrequencyHz(BandIndex(Mid, 2), 5);
    }) << frequency << 0 << midBand;
    QTest::newRow("177 Hz: 179, the nearer")
        << Edit([](UnitModel& m) { m.setBandFrequencyHz(BandIndex(Mid, 2), 177); }) << frequency
        << 76 << midBand;
    QTest::newRow("20 Hz: a tie goes down")
        << Edit([](UnitModel& m) { m.setBandFrequencyHz(BandIndex(Mid, 2), 20); }) << frequency << 0
        << midBand;
    QTest::newRow("1000.05 Hz: 1000")
        << Edit([](UnitModel& m) { m.setBandFrequencyHz(BandIndex(Mid, 2), 1000.05); }) << frequency
        << 136 << midBand;
    QTest::newRow("Q 0: 0.2") << Edit([](UnitModel& m) { m.setBandQ(BandIndex(Main, 0), 0); }) << q
                              << 0 << mainBand;
    QTest::newRow("Q 40: 36") << Edit([](UnitModel& m) { m.setBandQ(BandIndex(Main, 0), 40); }) << q
                              << 179 << mainBand;
    QTest::newRow("band gain -30: -24.0")
        << Edit([](UnitModel& m) { m.setBandGainDb(BandIndex(Low, 5), -30); }) << peaking << 0
        << lowBand;
    QTest::newRow("band gain 15: +12.0")
        << Edit([](UnitModel& m) { m.setBandGainDb(BandIndex(Low, 5), 15); }) << peaking << 180
        << lowBand;
    QTest::newRow("band gain 0.1: a tie goes to 0.0")
        << Edit([](UnitModel& m) { m.setBandGainDb(BandIndex(Low, 5), 0.1); }) << peaking << 120
        << lowBand;
    QTest::newRow("Main HPF 25000 Hz")
        << Edit([](UnitModel& m) { m.setCrossoverFrequencyHz(Main, Filter::HighPass, 25000); })
        << Read([](const UnitModel& m) { return m.crossoverIndex(Main, Filter::HighPass); }) << 243
        << MainCrossoverSlot;
    QTest::newRow("High LPF type 12 is 24db-Bessel")
        << Edit([](UnitModel& m) { m.setCrossoverType(High, Filter::LowPass, 12); })
        << Read([](const UnitModel& m) { return m.crossoverType(High, Filter::LowPass); }) << 8
        << CrossoverSlot(High);
    QTest::newRow("limiter threshold 30 is 0dBu")
        << Edit([](UnitModel& m) { m.setLimiterThreshold(Low, 30); })
        << Read([](const UnitModel& m) { return m.image().limiterThreshold[Low]; }) << 19
        << LimiterSlot(Low);
    QTest::newRow("Main delay 500 steps: 412")
        << Edit([](UnitModel& m) { m.setDelaySteps(Main, 500); })
        << Read([](const UnitModel& m) { return m.image().delay[Main]; }) << 412 << MainBlockSlot;
    QTest::newRow("master level -5: muted")
        << Edit([](UnitModel& m) { m.setMasterLevel(-5); })
        << Read([](const UnitModel& m) { return m.image().masterLevel; }) << 0 << MainBlockSlot;
    QTest::newRow("band type 5: high shelf")
        << Edit([](UnitModel& m) { m.setBandType(BandIndex(Mid, 2), 5); })
        << Read([](const UnitModel& m) { return m.band(BandIndex(Mid, 2)).type; }) << 2 << midBand;
}

void TestUnitModel::typedValuesAreClampedAndSnapped() {
    QFETCH(Edit, edit);
    QFETCH(Read, read);
    QFETCH(int, index);
    QFETCH(int, slot);
    UnitModel model;
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    edit(model);
    QCOMPARE(read(model), index);
    QCOMPARE(Slots(edited), QList<int>{slot});
    // The same edit again changes nothing, but sends the block again.
    edit(model);
    QCOMPARE(read(model), index);
    QCOMPARE(Slots(edited), (QList<int>{slot, slot}));
}

void TestUnitModel::stepsStopAtTheEndsOfTheirScale_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("delta");
    QTest::addColumn<bool>("moves");
    QTest::addColumn<QString>("what");
    for (const char* what : {"High gain", "Low gain", "frequency", "Q", "band gain", "crossover"}) {
        const QString w = QLatin1String(what);
        const int last = w == "High gain"   ? 250
                         : w == "Low gain"  ? 200
                         : w == "frequency" ? 243
                         : w == "Q"         ? 179
                         : w == "band gain" ? 180
                                            : 243;
        QTest::addRow("%s at its top, up", what) << last << 1 << false << w;
        QTest::addRow("%s at its top, down", what) << last << -1 << true << w;
        QTest::addRow("%s at 0, down", what) << 0 << -1 << false << w;
        QTest::addRow("%s at 0, up", what) << 0 << 1 << true << w;
    }
}

void TestUnitModel::stepsStopAtTheEndsOfTheirScale() {
    QFETCH(int, start);
    QFETCH(int, delta);
    QFETCH(bool, moves);
    QFETCH(QString, what);
    const int band = BandIndex(High, 3);
    ParameterImage image;
    image.gainIndex[High] = start;
    image.gainIndex[Low] = start;
    image.bands[band].frequencyIndex = start;
    image.bands[band].qIndex = start;
    image.bands[band].peakingGain = start;
    image.highPassIndex[Mid] = start;
    UnitModel model;
    model.replaceImage(image);
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    bool stepped = false;
    int after = -1;
    if (what == "High gain") {
        stepped = model.stepGain(High, delta);
        after = model.image().gainIndex[High];
    } else if (what == "Low gain") {
        stepped = model.stepGain(Low, delta);
        after = model.image().gainIndex[Low];
    } else if (what == "frequency") {
        stepped = model.stepBandFrequency(band, delta);
        after = model.band(band).frequencyIndex;
    } else if (what == "Q") {
        stepped = model.stepBandQ(band, delta);
        after = model.band(band).qIndex;
    } else if (what == "band gain") {
        stepped = model.stepBandGain(band, delta);
        after = model.band(band).peakingGain;
    } else {
        stepped = model.stepCrossover(Mid, Filter::HighPass, delta);
        after = model.crossoverIndex(Mid, Filter::HighPass);
    }
    QCOMPARE(stepped, moves);
    QCOMPARE(after, moves ? start + delta : start);
    QCOMPARE(edited.count(), moves ? 1 : 0);
}

void TestUnitModel::togglesFlipAsTheUnitsExpect_data() {
    QTest::addColumn<Edit>("toggle");
    QTest::addColumn<Read>("read");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("slot");
    const Read onFlag = [](const UnitModel& m) { return m.image().onFlag[Mid]; };
    const Read polarity = [](const UnitModel& m) { return m.image().polarity[Low]; };
    const Read enhancer = [](const UnitModel& m) { return m.image().bassEnhancer; };
    const Read btl = [](const UnitModel& m) { return m.image().btlMode; };
    const Edit mute = [](UnitModel& m) { m.toggleMute(Mid); };
    const Edit invert = [](UnitModel& m) { m.togglePolarity(Low); };
    const Edit enhance = [](UnitModel& m) { m.toggleBassEnhancer(); };
    const Edit bridge = [](UnitModel& m) { m.toggleBtlMode(); };
    QTest::newRow("mute a sounding way") << mute << onFlag << 1 << 0 << OutputSlot(Mid);
    QTest::newRow("unmute") << mute << onFlag << 0 << 1 << OutputSlot(Mid);
    QTest::newRow("a stray on flag counts as on") << mute << onFlag << 7 << 0 << OutputSlot(Mid);
    QTest::newRow("invert") << invert << polarity << 0 << 1 << OutputSlot(Low);
    QTest::newRow("any other polarity is inverted")
        << invert << polarity << 4 << 0 << OutputSlot(Low);
    QTest::newRow("bass enhancer on") << enhance << enhancer << 0 << 1 << MainBlockSlot;
    QTest::newRow("bass enhancer off") << enhance << enhancer << 1 << 0 << MainBlockSlot;
    QTest::newRow("bass enhancer 2 goes on") << enhance << enhancer << 2 << 1 << MainBlockSlot;
    QTest::newRow("BTL on") << bridge << btl << 0 << 1 << MainBlockSlot;
    QTest::newRow("BTL 3 goes off") << bridge << btl << 3 << 0 << MainBlockSlot;
}

void TestUnitModel::togglesFlipAsTheUnitsExpect() {
    QFETCH(Edit, toggle);
    QFETCH(Read, read);
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, slot);
    ParameterImage image;
    image.onFlag[Mid] = before;
    image.polarity[Low] = before;
    image.bassEnhancer = before;
    image.btlMode = before;
    UnitModel model;
    model.replaceImage(image);
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    toggle(model);
    QCOMPARE(read(model), after);
    QCOMPARE(Slots(edited), QList<int>{slot});
}

void TestUnitModel::mainEditsCarryTheLevelAsTheBarShowsIt_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("sent");
    // An image may hold any level; the bar shows it within 0..301, and that is what a Main
    // edit sends.
    QTest::newRow("in range") << 151 << 151;
    QTest::newRow("above 0 dB") << 400 << 301;
    QTest::newRow("0 dB") << 301 << 301;
    QTest::newRow("muted") << 0 << 0;
}

void TestUnitModel::mainEditsCarryTheLevelAsTheBarShowsIt() {
    QFETCH(int, level);
    QFETCH(int, sent);
    for (const Edit& edit : {Edit([](UnitModel& m) { m.togglePolarity(Main); }),
                             Edit([](UnitModel& m) { m.toggleBassEnhancer(); }),
                             Edit([](UnitModel& m) { m.toggleBtlMode(); }),
                             Edit([](UnitModel& m) { m.setDelaySteps(Main, 12); })}) {
        ParameterImage image;
        image.masterLevel = level;
        UnitModel model;
        model.replaceImage(image);
        edit(model);
        QCOMPARE(model.image().masterLevel, sent);
        const QByteArray payload = SlotPayload(MainBlockSlot, model.image(), model.bypassRows());
        QCOMPARE(quint8(payload[2]) + 256 * quint8(payload[3]), sent);
    }
    // A way's edit leaves the level as it is.
    ParameterImage image;
    image.masterLevel = level;
    UnitModel model;
    model.replaceImage(image);
    model.togglePolarity(High);
    QCOMPARE(model.image().masterLevel, level);
}

void TestUnitModel::bandTypeChoosesWhichGainIsEdited() {
    const int band = BandIndex(Main, 4);
    UnitModel model;
    model.setBandGainDb(band, -3.0);
    QCOMPARE(model.band(band).peakingGain, 105);
    QCOMPARE(model.band(band).shelfGain, EqGainZeroIndex);
    model.setBandType(band, 1);
    QCOMPARE(model.band(band).activeGain(), EqGainZeroIndex);
    QVERIFY(model.stepBandGain(band, 1));
    QCOMPARE(model.band(band).shelfGain, EqGainZeroIndex + 1);
    QCOMPARE(model.band(band).peakingGain, 105);
    model.setBandPoint(band, 300, -4);
    QCOMPARE(model.band(band).frequencyIndex, MaxFrequencyIndex);
    QCOMPARE(model.band(band).shelfGain, 0);
    QCOMPARE(model.band(band).peakingGain, 105);
}

void TestUnitModel::filtersResetSendsTheSixBandsInOrder() {
    ParameterImage image;
    for (int row = 0; row < BandsPerSection; ++row) {
        image.bands[BandIndex(Low, row)].type = row % 3;
        image.bands[BandIndex(Low, row)].peakingGain = 10 + row;
        image.bands[BandIndex(Low, row)].shelfGain = 50 + row;
    }
    UnitModel model;
    model.replaceImage(image);
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    model.resetBandGains(Low);
    QCOMPARE(Slots(edited), (QList<int>{22, 23, 24, 25, 26, 27}));
    for (int row = 0; row < BandsPerSection; ++row) {
        const EqBand& band = model.band(BandIndex(Low, row));
        QCOMPARE(band.activeGain(), EqGainZeroIndex);
        // The gain the type does not use stays.
        QCOMPARE(band.type == 0 ? band.shelfGain : band.peakingGain,
                 band.type == 0 ? 50 + row : 10 + row);
    }
}

void TestUnitModel::replacingTheImageUnticksTheRowsAndSendsNothing() {
    UnitModel model;
    model.setRowBypassed(2, true);
    model.setRowBypassed(5, true);
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    QSignalSpy replaced(&model, &UnitModel::imageReplaced);
    QSignalSpy unticked(&model, &UnitModel::bypassChanged);
    ParameterImage image;
    image.gainIndex[High] = 77;
    // A view that refreshes from the new image and edits while doing so sends nothing.
    connect(&model, &UnitModel::imageReplaced, this, [&] { model.touch(OutputSlot(High)); });
    model.replaceImage(image);
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(edited.count(), 0);
    QCOMPARE(unticked.count(), 2);
    QVERIFY(!model.rowBypassed(2));
    QVERIFY(!model.rowBypassed(5));
    QCOMPARE(model.image().gainIndex[High], 77);
}

void TestUnitModel::bypassedMainRowGoesOutAtZeroDb_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("at");
    QTest::newRow("peaking: bytes 2..3") << 0 << 2;
    QTest::newRow("low shelf: bytes 4..5") << 1 << 4;
    QTest::newRow("high shelf: bytes 4..5") << 2 << 4;
}

void TestUnitModel::bypassedMainRowGoesOutAtZeroDb() {
    QFETCH(int, type);
    QFETCH(int, at);
    UnitModel model;
    const int mainBand = BandIndex(Main, 2);
    const int highBand = BandIndex(High, 2);
    model.setBandType(mainBand, type);
    model.setBandType(highBand, type);
    model.setBandGainDb(mainBand, 6.0);
    model.setBandGainDb(highBand, 6.0);
    model.setRowBypassed(2, true);
    const QByteArray frame =
        BuildBlockFrame(EqBandSlot(mainBand), 0, model.image(), model.bypassRows());
    QCOMPARE(frame.size(), BlockFrameSize);
    QCOMPARE(quint8(frame[10 + at]), quint8(EqGainZeroIndex));
    QCOMPARE(quint8(frame[10 + at + 1]), quint8(0));
    QCOMPARE(FrameCheck(frame), quint8(frame[18]));
    // The stored gain stays; the ways' bands go out as they are.
    QCOMPARE(model.band(mainBand).activeGain(), 150);
    const QByteArray way = SlotPayload(EqBandSlot(highBand), model.image(), model.bypassRows());
    QCOMPARE(quint8(way[at]), quint8(150));
    model.setRowBypassed(2, false);
    QCOMPARE(quint8(SlotPayload(EqBandSlot(mainBand), model.image(), model.bypassRows())[at]),
             quint8(150));
}

void TestUnitModel::outOfRangeSectionsAreIgnored() {
    UnitModel model;
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    const ParameterImage before = model.image();
    model.setGainDb(Main, 0);
    model.setGainDb(-1, 0);
    model.toggleMute(3);
    model.setDelaySteps(4, 10);
    model.setBandFrequencyHz(24, 1000);
    model.setBandQ(-1, 1);
    model.setCrossoverType(7, Filter::HighPass, 1);
    QVERIFY(!model.stepBandGain(99, 1));
    model.setRowBypassed(6, true);
    model.touch(SystemWriteSlot);
    model.touch(37);
    QCOMPARE(edited.count(), 0);
    QVERIFY(model.image() == before);
}

void TestUnitModel::presetNamesAndLabels_data() {
    QTest::addColumn<int>("preset");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("label");
    QByteArray stage("Stage");
    stage.append(QByteArray(15, '\0'));
    QTest::newRow("Pre0 with a name ending in zero bytes") << 1 << stage << "Pre0:Stage"
                                                           << "Last loaded preset:Pre0         ";
    QTest::newRow("Pre5") << 6 << QByteArray(20, '\0') << "Pre5:"
                          << "Last loaded preset:Pre5         ";
    QTest::newRow("Usr6 full") << 7 << QByteArray(20, 'x') << "Usr6:" + QString(20, 'x')
                               << "Last loaded preset:Usr6         ";
    QTest::newRow("Usr7") << 8 << QByteArray("Hall\0\0", 6) << "Usr7:Hall"
                          << "Last loaded preset:Usr7         ";
}

void TestUnitModel::presetNamesAndLabels() {
    QFETCH(int, preset);
    QFETCH(QByteArray, name);
    QFETCH(QString, entry);
    QFETCH(QString, label);
    QCOMPARE(PresetListEntry(preset, name), entry);
    QCOMPARE(LastLoadedLabel(preset), label);
    UnitModel model;
    QSignalSpy changed(&model, &UnitModel::presetNameChanged);
    model.setPresetName(preset, name.left(name.indexOf('\0') < 0 ? 20 : name.indexOf('\0')));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), preset);
    QCOMPARE(model.presetNames()[std::size_t(preset - 1)].size(), PresetNameSize);
    QCOMPARE(PresetListEntry(preset, model.presetNames()[std::size_t(preset - 1)]), entry);
}

void TestUnitModel::typedNamesAreTrimmedAndCut_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("blanks around") << "  Stage  " << QByteArray("Stage");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("only blanks") << "   " << QByteArray();
    QTest::newRow("19 characters") << QString(19, 'a') << QByteArray(19, 'a');
    QTest::newRow("21 characters: 19 kept") << QString(21, 'b') << QByteArray(19, 'b');
    QTest::newRow("a tab in front") << "\tHall" << QByteArray("Hall");
}

void TestUnitModel::typedNamesAreTrimmedAndCut() {
    QFETCH(QString, typed);
    QFETCH(QByteArray, stored);
    QCOMPARE(PresetNameBytes(typed), stored);
    QCOMPARE(TrimPresetName(typed), QString::fromLatin1(stored));
}

void TestUnitModel::addressKeepsTheIdThroughBroadcastMode() {
    UnitAddress address;
    QSignalSpy changed(&address, &UnitAddress::changed);
    QCOMPARE(address.address(), 0);
    address.setDeviceId(7);
    QCOMPARE(address.address(), 6);
    address.setBroadcast(true);
    QCOMPARE(address.address(), UnitAddress::Broadcast);
    // An ID change in broadcast mode reaches every unit; the address stays the broadcast one.
    address.setDeviceId(9);
    QCOMPARE(address.address(), UnitAddress::Broadcast);
    address.setBroadcast(false);
    QCOMPARE(address.address(), 8);
    QCOMPARE(address.deviceId(), 9);
    address.setDeviceId(0);
    address.setDeviceId(256);
    QCOMPARE(address.deviceId(), 9);
    QCOMPARE(changed.count(), 4);
}

QTEST_GUILESS_MAIN(TestUnitModel)
#include "test_unit_model.moc"
