// Editing without a unit and the Edit menu: a preset file opened, edited and saved; the
// unsaved-changes question; undo, redo and A/B compare reaching a connected unit.
#include "app_fixture.h"
#include "editor_test_helpers.h"

#include "../cli/cli_process.h"
#include "files/preset_file_format.h"
#include "protocol/frames.h"
#include "protocol/send_slots.h"

#include "test_files.h"

#include <QCloseEvent>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace quellaton;
using namespace editortest;

namespace {

using Answer = PresetDocumentPanel::Answer;

// A preset file as a unit wrote it, with a spare byte the program does not read set.
QString WriteUnitFile(const QTemporaryDir& dir, const QString& name) {
    ParameterImage image;
    image.masterLevel = 280;
    QByteArray payload = image.Encode();
    payload[ImagePayloadSize - 1] = char(0x33);
    const QString path = dir.filePath(name);
    WritePresetContent(path, DeviceFrame(0, ReadReply, 0, ParameterImageBlock, 0, payload).toHex() +
                                 "\r\n");
    return path;
}

void AnswerOpen(AppFixture& app, const QString& path) {
    app.window->fileChooser().open = [path](QWidget*, const PresetFileKind&) { return path; };
}
void AnswerSave(AppFixture& app, const QString& path) {
    app.window->fileChooser().save = [path](QWidget*, const PresetFileKind&) { return path; };
}

// The unsaved-changes question answers `answer` and counts how often it was asked.
void AnswerQuestion(AppFixture& app, Answer answer, QStringList* asked) {
    app.window->document().setQuestion([answer, asked](QWidget*, const QString& name) {
        asked->append(name);
        return answer;
    });
}

void RandomEdit(UnitModel& model, QRandomGenerator& random) {
    const int section = random.bounded(SectionCount);
    const int way = random.bounded(WayCount);
    const int band = BandIndex(section, random.bounded(BandsPerSection));
    switch (random.bounded(7)) {
    case 0:
        model.setGainDb(way, -20.0 + random.bounded(25.0));
        break;
    case 1:
        model.togglePolarity(section);
        break;
    case 2:
        model.setDelaySteps(section, random.bounded(413));
        break;
    case 3:
        model.setBandGainDb(band, -24.0 + random.bounded(36.0));
        break;
    case 4:
        model.setBandQ(band, 0.2 + random.bounded(30.0));
        break;
    case 5:
        model.setLimiterThreshold(way, random.bounded(20));
        break;
    default:
        model.setCrossoverFrequencyHz(section, UnitModel::Filter::HighPass,
                                      20.0 + random.bounded(2000.0));
    }
}

// True once every block the model carries has reached the unit: the unit's working image holds
// the model's bytes wherever a block writes (the rest of the 320 bytes is the unit's own).
bool UnitHoldsBlocks(AppFixture& app, const ParameterImage& image) {
    return WaitUntil(
        [&] {
            const QByteArray unit = app.sim.unitImage(1);
            for (int slot = 1; slot <= BlockSlotCount; ++slot) {
                const SlotBlock b = BlockOfSlot(slot);
                if (IsChannelBlock(b.block, b.group) &&
                    unit.mid(BlockOffset(b.block, b.group), 8) !=
                        BlockPayload(image, b.block, b.group)) {
                    return false;
                }
            }
            return unit.size() == ImagePayloadSize;
        },
        60000);
}

bool UnitHoldsBytes(AppFixture& app, const QByteArray& bytes) {
    return WaitUntil([&] { return app.sim.unitImage(1) == bytes; }, 60000);
}

} // namespace

class TestOfflineEditing : public QObject {
    Q_OBJECT
private slots:
    void openEditSave();
    void damagedFileChangesNothing();
    void unsavedChangesAreAskedAbout_data();
    void unsavedChangesAreAskedAbout();
    void saveWhileConnectedWritesTheWindow();
    void undoAndRedoReachTheUnit();
    void swapSendsOnlyTheDifferingBlocks();
};

void TestOfflineEditing::openEditSave() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QTemporaryDir dir;
    const QString path = WriteUnitFile(dir, QStringLiteral("hall.sps"));
    const QByteArray original = ReadAll(path);
    QCOMPARE(app.window->windowTitle(), QStringLiteral("QUELLATON"));
    AnswerOpen(app, path);
    app.window->document().openAction()->trigger();
    QCOMPARE(app.window->windowTitle(), QStringLiteral("QUELLATON — hall.sps"));
    QCOMPARE(app.session().model().image().masterLevel, 280);

    // Saved unchanged, the file stays what it was.
    app.window->document().saveAction()->trigger();
    QCOMPARE(ReadAll(path), original);

    // An edit in a field, with no unit: the title marks it, the Edit menu names it.
    EditorWidgets& e = Editors(app);
    e.rows[High].eq->click();
    QVERIFY(TypeAndLeave(app, e.gainFields[2], QStringLiteral("-4.6")));
    QCOMPARE(app.window->windowTitle(), QStringLiteral("QUELLATON — hall.sps*"));
    QCOMPARE(app.window->editMenu().undoAction()->text(), QStringLiteral("Undo High band 3 gain"));
    QVERIFY(app.window->editMenu().undoAction()->isEnabled());
    QVERIFY(!app.window->editMenu().redoAction()->isEnabled());

    const QString copy = dir.filePath(QStringLiteral("copy"));
    AnswerSave(app, copy);
    app.window->document().saveAsAction()->trigger();
    QCOMPARE(app.window->windowTitle(), QStringLiteral("QUELLATON — copy.sps"));
    const QByteArray saved = ReadAll(copy + QStringLiteral(".sps"));
    QCOMPARE(saved.size(), 666);
    QCOMPARE(saved.mid(2 * 329, 2), QByteArray("33")); // the spare byte survived
    const QByteArray frame = QByteArray::fromHex(saved.left(664));
    QCOMPARE(quint8(frame[330]), FrameCheck(frame));
    const CliRun shown = RunCli({QStringLiteral("show"), copy + QStringLiteral(".sps")});
    QCOMPARE(shown.exitCode, 0);
    QVERIFY2(shown.out.contains("-4.6 dB"), shown.out.constData());
}

void TestOfflineEditing::damagedFileChangesNothing() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.sps"));
    QVERIFY(WritePresetContent(path, QByteArray(663, 'A') + "\r\n"));
    app.session().model().setMasterLevel(100);
    const ParameterImage before = app.session().model().image();
    AnswerOpen(app, path);
    app.window->document().openAction()->trigger();
    QVERIFY(app.answerer.waitForMessage(QString::fromLatin1(FileDamagedMessage), 5000));
    QVERIFY(app.session().model().image() == before);
    QCOMPARE(app.window->windowTitle(), QStringLiteral("QUELLATON"));

    // A name that does not exist (typed on the command line) is reported as such.
    const QString missing = dir.filePath(QStringLiteral("missing.sps"));
    QVERIFY(!app.window->document().openFile(missing));
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("File not found:\r") + missing, 5000));
    QVERIFY(app.session().model().image() == before);
}

void TestOfflineEditing::unsavedChangesAreAskedAbout_data() {
    QTest::addColumn<int>("place");
    QTest::newRow("opening another file") << 0;
    QTest::newRow("connecting") << 1;
    QTest::newRow("closing the window") << 2;
}

void TestOfflineEditing::unsavedChangesAreAskedAbout() {
    QFETCH(int, place);
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QTemporaryDir dir;
    const QString path = WriteUnitFile(dir, QStringLiteral("a.sps"));
    AnswerOpen(app, path);
    app.window->document().openAction()->trigger();
    app.session().model().setDelaySteps(Main, 30);
    const ParameterImage edited = app.session().model().image();
    QStringList asked;

    // Cancel keeps everything as it is.
    AnswerQuestion(app, Answer::Cancel, &asked);
    auto act = [&] {
        if (place == 0) {
            app.window->document().openAction()->trigger();
        } else if (place == 1) {
            app.window->connection().connectClicked();
        } else {
            QCloseEvent close;
            QCoreApplication::sendEvent(app.window.get(), &close);
            return close.isAccepted();
        }
        return false;
    };
    QVERIFY(!act());
    QCOMPARE(asked, QStringList{QStringLiteral("a.sps")});
    QVERIFY(app.session().model().image() == edited);
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Disconnected);

    // Save writes the file first, and the action goes on.
    AnswerQuestion(app, Answer::Save, &asked);
    const bool closed = act();
    QCOMPARE(asked.size(), 2);
    QVERIFY(DecodeImageText(ReadAll(path).left(664)) == edited);
    if (place == 1) {
        QVERIFY(WaitUntil(
            [&] { return app.window->connection().state() == UnitConnection::State::Connected; },
            10000));
    } else if (place == 2) {
        QVERIFY(closed);
    }
}

// Connected, "Save preset file" writes the working set as edited, and asks the unit nothing.
void TestOfflineEditing::saveWhileConnectedWritesTheWindow() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitQuiet(app));
    UnitModel& model = app.session().model();
    model.setBandGainDb(BandIndex(Mid, 2), -7.0);
    model.setMasterLevel(200);
    QVERIFY(WaitQuiet(app));
    const int mark = LogMark(app.sim);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.sps"));
    AnswerSave(app, path);
    app.window->document().saveAction()->trigger();
    QCOMPARE(app.window->windowTitle(), QStringLiteral("QUELLATON — live.sps"));
    const QByteArray saved = ReadAll(path);
    QCOMPARE(saved.size(), 666);
    QVERIFY(DecodeImageText(saved.left(664)) == model.image());
    QCOMPARE(saved.mid(6, 2), QByteArray("00")); // the address of device ID 1
    // The unit was not asked for its image, a slot or its names.
    for (const QByteArray& frame : app.sim.frames().mid(mark)) {
        const bool read = frame.mid(8, 2) == "A2";
        const QByteArray block = frame.mid(12, 2);
        QVERIFY2(!read || (block != "28" && block != "29" && block != "26"), frame.constData());
    }
    // The next edit marks the file unsaved; the one after the save does not exist yet.
    model.toggleMute(Low);
    QCOMPARE(app.window->windowTitle(), QStringLiteral("QUELLATON — live.sps*"));
}

void TestOfflineEditing::undoAndRedoReachTheUnit() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitQuiet(app));
    UnitModel& model = app.session().model();
    QVERIFY(!model.history().canUndo()); // connecting cleared it
    const ParameterImage start = model.image();
    const QByteArray unitBefore = app.sim.unitImage(1);
    QCOMPARE(unitBefore.size(), ImagePayloadSize);
    QRandomGenerator random(9122026);
    while (model.history().stepCount() < 50) {
        RandomEdit(model, random);
    }
    const ParameterImage edited = model.image();
    QVERIFY(UnitHoldsBlocks(app, edited));
    const QByteArray unitAfter = app.sim.unitImage(1);
    QVERIFY(unitAfter != unitBefore);
    for (int i = 0; i < 50; ++i) {
        app.window->editMenu().undoAction()->trigger();
    }
    QVERIFY(!app.window->editMenu().undoAction()->isEnabled());
    QVERIFY(model.image() == start);
    QVERIFY(UnitHoldsBytes(app, unitBefore));
    for (int i = 0; i < 50; ++i) {
        app.window->editMenu().redoAction()->trigger();
    }
    QVERIFY(model.image() == edited);
    QVERIFY(UnitHoldsBytes(app, unitAfter));
}

void TestOfflineEditing::swapSendsOnlyTheDifferingBlocks() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitQuiet(app));
    UnitModel& model = app.session().model();
    EditMenuPanel& menu = app.window->editMenu();
    menu.compareAction()->trigger();
    QCOMPARE(menu.compareLabel()->text(), QStringLiteral("B"));
    QVERIFY(!menu.compareLabel()->isHidden());
    model.setBandGainDb(BandIndex(Low, 1), 5.0);
    model.setLimiterRelease(High, 4);
    QVERIFY(WaitQuiet(app));
    const int mark = LogMark(app.sim);
    menu.compareAction()->trigger();
    QCOMPARE(menu.compareLabel()->text(), QStringLiteral("A"));
    QVERIFY(WaitQuiet(app));
    QList<QByteArray> writes;
    for (const QByteArray& frame : app.sim.frames().mid(mark)) {
        if (frame.mid(8, 4) == "A100") {
            writes.append(frame.mid(12, 4));
        }
    }
    const SlotBlock band = BlockOfSlot(EqBandSlot(BandIndex(Low, 1)));
    const SlotBlock limiter = BlockOfSlot(LimiterSlot(High));
    auto header = [](SlotBlock b) {
        return QByteArray::number(b.block, 16).rightJustified(2, '0').toUpper() +
               QByteArray::number(b.group, 16).rightJustified(2, '0').toUpper();
    };
    QCOMPARE(writes, (QList<QByteArray>{header(limiter), header(band)}));
}

QTEST_MAIN(TestOfflineEditing)
#include "test_offline_editing.moc"
