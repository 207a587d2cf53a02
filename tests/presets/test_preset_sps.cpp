// Single-preset files (.sps) against simulated units: saving the working set of one unit and
// loading it into another, the file checks, the file dialogs, a save that is cancelled or
// fails, and the time-out of a save whose image never comes.
#include "preset_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QSlider>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace quellaton;
using namespace presettest;

namespace {

// Answers "Load a preset from PC" with `path` and waits for the load to finish (the image
// write, the 8 s pause, the window unlocked again).
bool LoadSinglePreset(AppFixture& app, const QString& path) {
    AnswerOpen(app, path);
    app.widgets().loadOneButton->click();
    if (!WaitUntil([&] { return !app.sim.framesWith(ImageWriteHeader).isEmpty(); }, 5000)) {
        return false;
    }
    return WaitUntil([&] { return Idle(app) && app.session().writer().pollTimer().isActive(); },
                     15000);
}

// Sets the file size limit of this process for the lifetime of the object (the simulator, a
// separate process started before, is not affected).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

private:
    struct rlimit saved_ {};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

} // namespace

class TestPresetSps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void singlePresetRoundTrip();
    void splitOrLowerCaseFileLoads_data();
    void splitOrLowerCaseFileLoads();
    void damagedFilesSendNothing();
    void cancelledOrFailedSaveKeepsTheOldFile();
    void saveWithoutReplyTimesOut();
    void buttonsDoNothingWhileDisconnected();
    void standardDialogsOfferFilterNameAndSuffix();
};

void TestPresetSps::singlePresetRoundTrip() {
    AppFixture app(QStringLiteral("1,2"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    const QByteArray image1 = app.sim.unitImage(1);
    const QByteArray image2 = app.sim.unitImage(2);
    QCOMPARE(image1.size(), 320);
    QVERIFY(image1 != image2);
    QVERIFY(image1.mid(280) != image2.mid(280));

    // Save unit 1's working set; the name is typed without a suffix.
    QTemporaryDir dir;
    ChooserLog log;
    AnswerSave(app, dir.filePath("unit1"), &log);
    UnitSession& s = app.session();
    // The program's copy: an image saved to a file is not shown.
    app.arrangeImage([](ParameterImage& image) { image.gainIndex[High] = 5; });
    wire.clear();
    app.answerer.clear();
    app.widgets().saveOneButton->click();
    QCOMPARE(app.answerer.messages(),
             QStringList({"Saving a Preset to PC.Do you want\r to proceed?"}));
    const QString path = dir.filePath("unit1.sps");
    QVERIFY(WaitUntil([&] { return QFile::exists(path); }, 5000));
    QCOMPARE(log.saved.size(), 1);
    QCOMPARE(log.saved[0].filter, QStringLiteral("quellatonfile(*.sps)"));
    QCOMPARE(log.saved[0].defaultName, QStringLiteral("mystyle"));
    QVERIFY(!QFile::exists(dir.filePath("unit1")));

    const QByteArray content = ReadAll(path);
    QCOMPARE(content.size(), 666);
    QVERIFY(content.endsWith("\r\n"));
    QCOMPARE(content, content.toUpper());
    QCOMPARE(QByteArray::fromHex(content.mid(20, 640)), image1);
    QCOMPARE(content.left(20), QByteArray("A5A5A50052002800"
                                          "0140"));
    // One image request to unit 1, and the reply went to the file, not to the editors.
    QCOMPARE(wire.framesWith(ImageReadHeader), QList<QByteArray>({ToHexText(ImageRead(0))}));
    QCOMPARE(s.model().image().gainIndex[High], 5);
    QVERIFY(!RunningOperation<SaveOnePreset>(app));
    QVERIFY(WaitUntil([&] { return s.writer().pollTimer().isActive(); }, 1000));
    QVERIFY(app.answerer.messages().size() == 1); // no time-out, no failure

    // Load the file into unit 2.
    QVERIFY(WaitUntil([&] { return app.widgets().connectButton->isEnabled(); }, 3000));
    app.widgets().connectButton->click();
    QVERIFY(WaitUntil(
        [&] { return app.window->connection().state() == UnitConnection::State::Disconnected; },
        3000));
    QVERIFY(app.connectTo(2));
    QVERIFY(Settle(app));
    wire.clear();
    app.answerer.clear();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(LoadSinglePreset(app, path));
    const qint64 took = clock.elapsed();
    QCOMPARE(app.answerer.messages(),
             QStringList({"Loading a Preset will replace the active\rPreset.Do you want to "
                          "proceed?"}));
    QVERIFY2(took >= 7500 && took < 14000, qPrintable(QString::number(took)));

    // Unit 2's working set is byte for byte unit 1's, its uninterpreted tail included.
    QCOMPARE(app.sim.unitImage(2), image1);
    QCOMPARE(app.sim.unitImage(2).mid(280), image1.mid(280));
    QCOMPARE(app.sim.unitImage(1), image1);
    // One image write to address 1 with a check recomputed for that address.
    const QList<QByteArray> writes = wire.framesWith(ImageWriteHeader);
    QCOMPARE(writes.size(), 1);
    QCOMPARE(QByteArray::fromHex(writes[0]),
             DeviceFrame(1, WriteBlock, 0, ParameterImageBlock, 0, image1));
    // The editors' image is the file's, and the window is usable with the poll running.
    QVERIFY(s.model().image() == DecodeImageText(content));
    // The editors show it too: the master fader sits at 301 - level (units 1 and 2 differ).
    const auto* fader = app.window->findChild<QSlider*>(QStringLiteral("levelBar"));
    QVERIFY(fader);
    QCOMPARE(fader->value(), 301 - DecodeImageText(content).masterLevel);
    QVERIFY(301 - DecodeImageText(ReplyLine(image2)).masterLevel != fader->value());
    QCOMPARE(app.widgets().progressBar->value(), 100);
    QVERIFY(s.writer().scanTimer().isActive());
    // What went out is the file's image, byte for byte.
    QCOMPARE(LoggedPayload(writes[0]), ImagePayloadFromText(content.left(664)));
}

void TestPresetSps::splitOrLowerCaseFileLoads_data() {
    QTest::addColumn<bool>("split");
    QTest::addColumn<bool>("lowerCase");
    QTest::newRow("split over several lines") << true << false;
    QTest::newRow("lower case, header of another unit") << false << true;
}

void TestPresetSps::splitOrLowerCaseFileLoads() {
    QFETCH(bool, split);
    QFETCH(bool, lowerCase);
    AppFixture app(QStringLiteral("1,2"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));

    // Unit 2's slot 9 in a frame whose header names address 7 and another index; its check is
    // wrong on purpose: only the payload is used and the check is computed anew.
    const QByteArray payload = app.sim.unitSlot(2, 9);
    QVERIFY(payload != app.sim.unitImage(1));
    QByteArray line = ReplyLine(payload, PresetSlotBlock, 7, 3);
    line.replace(660, 2, "00");
    QByteArray content;
    if (split) {
        content = line.left(21) + "\r\n" + line.mid(21, 400) + "\r\n\r\n" + line.mid(421, 200) +
                  "\n" + line.mid(621) + "\r\n";
    } else {
        content = (lowerCase ? line.toLower() : line) + "\r\n";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("input.sps");
    QVERIFY(WriteAll(path, content));

    wire.clear();
    app.answerer.clear();
    QVERIFY(LoadSinglePreset(app, path));
    QCOMPARE(app.answerer.messages().size(), 1); // the confirmation only
    QCOMPARE(app.sim.unitImage(1), payload);
    QVERIFY(app.model().image() == DecodeImageText(line));
}

void TestPresetSps::damagedFilesSendNothing() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    UnitSession& s = app.session();
    const ParameterImage before = s.model().image();
    const QByteArray unitBefore = app.sim.unitImage(1);

    const QByteArray good = ReplyLine(app.sim.unitSlot(1, 4));
    QByteArray nonHex = good;
    nonHex.replace(300, 2, "G7");
    QTemporaryDir dir;
    const QList<QPair<QString, QByteArray>> cases = {
        {"663 characters", good.left(663) + "\r\n"},
        {"665 characters: trailing blank", good + " \r\n"},
        {"non-hex pair", nonHex + "\r\n"},
        {"empty file", QByteArray()},
        {"only line ends", "\r\n\r\n"},
    };
    int n = 0;
    for (const auto& [name, content] : cases) {
        const QString path = dir.filePath(QStringLiteral("case%1.sps").arg(n++));
        QVERIFY(WriteAll(path, content));
        AnswerOpen(app, path);
        wire.clear();
        app.answerer.clear();
        app.widgets().loadOneButton->click();
        QVERIFY2(app.answerer.waitForMessage("File damaged.", 3000), qPrintable(name));
        QTest::qWait(300);
        // The keep-alive poll goes on (it is restarted); nothing else reached the unit.
        QVERIFY2(wire.nonPoll().isEmpty(), qPrintable(name));
        QVERIFY2(s.writer().pollTimer().isActive(), qPrintable(name));
        QVERIFY(s.model().image() == before);
        QVERIFY(Idle(app));
    }
    // A file that cannot be read is damaged as well.
    AnswerOpen(app, dir.filePath("missing.sps"));
    wire.clear();
    app.answerer.clear();
    app.widgets().loadOneButton->click();
    QVERIFY(app.answerer.waitForMessage("File damaged.", 3000));
    QTest::qWait(300);
    QVERIFY(wire.nonPoll().isEmpty());
    QCOMPARE(app.sim.unitImage(1), unitBefore);

    // A cancelled dialog: nothing at all, not even a message.
    AnswerOpen(app, QString());
    app.answerer.clear();
    wire.clear();
    app.widgets().loadOneButton->click();
    QTest::qWait(400);
    QCOMPARE(app.answerer.messages().size(), 1); // the confirmation
    QVERIFY(wire.nonPoll().isEmpty());

    // The second button of the confirmation, or its close box: no dialog, nothing sent.
    for (ModalAnswerer::Confirm answer :
         {ModalAnswerer::Confirm::Second, ModalAnswerer::Confirm::Close}) {
        ChooserLog log;
        AnswerOpen(app, dir.filePath("case0.sps"), &log);
        app.answerer.setConfirmation(answer);
        wire.clear();
        app.widgets().loadOneButton->click();
        QTest::qWait(300);
        QVERIFY(log.opened.isEmpty());
        QVERIFY(wire.nonPoll().isEmpty());
    }
}

void TestPresetSps::cancelledOrFailedSaveKeepsTheOldFile() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.sps");
    const QByteArray old = "OLD PRESET\r\n";
    QVERIFY(WriteAll(path, old));

    // Cancelled: the dialog was offered, nothing is written and nothing is said.
    ChooserLog log;
    AnswerSave(app, QString(), &log);
    app.answerer.clear();
    app.widgets().saveOneButton->click();
    QVERIFY(WaitUntil([&] { return log.saved.size() == 1; }, 5000));
    QTest::qWait(100);
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(app.answerer.messages().size(), 1);

    // The write stops half-way (the file size limit cuts it at 300 of 666 bytes): the old
    // file is kept whole and the user is told.
    {
        FileSizeLimit limit(300);
        QVERIFY(limit.ok());
        AnswerSave(app, path, &log);
        app.answerer.clear();
        app.widgets().saveOneButton->click();
        QVERIFY(WaitUntil(
            [&] { return log.saved.size() == 2 && app.answerer.messages().size() == 2; }, 5000));
    }
    const QString failure = app.answerer.lastMessage();
    QVERIFY2(failure.startsWith("The preset file could not be saved:\r"), qPrintable(failure));
    QVERIFY(failure.contains(QDir::toNativeSeparators(path)));
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"keep.sps"}));

    // A folder that does not exist: the same message, nothing created.
    AnswerSave(app, dir.filePath("no/such/folder/x.sps"), &log);
    app.answerer.clear();
    app.widgets().saveOneButton->click();
    QVERIFY(WaitUntil([&] { return app.answerer.messages().size() == 2; }, 5000));
    QVERIFY(app.answerer.lastMessage().startsWith("The preset file could not be saved:\r"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList({"keep.sps"}));
    QVERIFY(Idle(app));
}

void TestPresetSps::saveWithoutReplyTimesOut() {
    // The unit answers the connect, the system read and three polls, then falls silent.
    AppFixture app(QStringLiteral("1"), {"--silent-after", "6"});
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitUntil([&] { return wire.frames().size() >= 6; }, 5000));
    ChooserLog log;
    AnswerSave(app, QDir::temp().filePath("never-written.sps"), &log);
    UnitSession& s = app.session();
    app.answerer.clear();
    QElapsedTimer clock;
    clock.start();
    app.widgets().saveOneButton->click();
    QVERIFY(WaitUntil([&] { return RunningOperation<SaveOnePreset>(app) != nullptr; }, 1000));
    QVERIFY(WaitUntil([&] { return Idle(app); }, 2000));
    // The window is usable while the image is awaited; polling is paused.
    QVERIFY(!s.writer().pollTimer().isActive());
    QVERIFY(TimerActive(RunningOperation<SaveOnePreset>(app), "saveOneTimeout"));

    QVERIFY(app.answerer.waitForMessage(QStringLiteral("overtime，try again."), 20000));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 11000 && took < 20000, qPrintable(QString::number(took)));
    QVERIFY(!RunningOperation<SaveOnePreset>(app));
    QVERIFY(s.writer().pollTimer().isActive() || s.writer().watchdogTimer().isActive() ||
            app.window->connection().state() == UnitConnection::State::Disconnected);
    QVERIFY(log.saved.isEmpty());
    QVERIFY(!app.widgets().progressPanel->isVisible());
    QVERIFY(app.widgets().fileGroup->isEnabled());
    // With polling back, the silent unit is then reported lost as usual.
    QVERIFY(app.answerer.waitForMessage(
        QStringLiteral("CONNECTION INTERRUPTED!\rPlease check data cables and reconnect."), 5000));
}

void TestPresetSps::buttonsDoNothingWhileDisconnected() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ChooserLog log;
    AnswerOpen(app, QDir::temp().filePath("x.sps"), &log);
    AnswerSave(app, QDir::temp().filePath("x.sps"), &log);
    ShellWidgets& w = app.widgets();
    for (QPushButton* button :
         {w.saveOneButton, w.saveAllButton, w.loadOneButton, w.loadAllButton}) {
        button->click();
    }
    QTest::qWait(200);
    QVERIFY(app.answerer.messages().isEmpty());
    QVERIFY(log.opened.isEmpty() && log.saved.isEmpty());
    QVERIFY(wire.frames().isEmpty());
}

void TestPresetSps::standardDialogsOfferFilterNameAndSuffix() {
    QTemporaryDir dir;
    QStringList filters;
    QString suffix;
    QString preselected;
    bool saving = false;
    auto answer = [&](bool accept, const QString& typed) {
        QTimer::singleShot(0, [&, accept, typed] {
            QFileDialog* dialog = nullptr;
            WaitUntil(
                [&] {
                    dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                    return dialog != nullptr;
                },
                5000);
            if (!dialog) {
                return;
            }
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix();
            saving = dialog->acceptMode() == QFileDialog::AcceptSave;
            preselected = dialog->selectedFiles().value(0);
            if (accept) {
                dialog->setDirectory(dir.path());
                dialog->selectFile(typed);
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                dialog->reject();
            }
        });
    };

    answer(true, QStringLiteral("typed"));
    const QString saved = FileChooser::StandardSave(nullptr, SinglePresetFile());
    QCOMPARE(filters, QStringList({"quellatonfile(*.sps)"}));
    QCOMPARE(suffix, QStringLiteral("sps"));
    QVERIFY(saving);
    QVERIFY2(QFileInfo(preselected).completeBaseName() == "mystyle", qPrintable(preselected));
    QCOMPARE(QFileInfo(saved).fileName(), QStringLiteral("typed.sps"));

    answer(false, QString());
    QCOMPARE(FileChooser::StandardOpen(nullptr, AllPresetsFile()), QString());
    QCOMPARE(filters, QStringList({"quellatonfile(*.fps)"}));
    QCOMPARE(suffix, QStringLiteral("fps"));
    QVERIFY(!saving);
    QCOMPARE(QFileInfo(preselected).completeBaseName(), QStringLiteral("myallstyle"));

    // Names typed without a suffix get the default one when saving; others are kept.
    QCOMPARE(WithDefaultSuffix("/a/b/name", "sps"), QStringLiteral("/a/b/name.sps"));
    QCOMPARE(WithDefaultSuffix("/a/b/name.sps", "sps"), QStringLiteral("/a/b/name.sps"));
    QCOMPARE(WithDefaultSuffix("/a/b.d/name", "fps"), QStringLiteral("/a/b.d/name.fps"));
    QCOMPARE(WithDefaultSuffix("/a/b/name.txt", "fps"), QStringLiteral("/a/b/name.txt"));
    QCOMPARE(WithDefaultSuffix(QString(), "fps"), QString());
}

QTEST_MAIN(TestPresetSps)
#include "test_preset_sps.moc"
