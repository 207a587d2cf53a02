// The initial data load of broadcast mode against three simulated units: the source panel,
// loading from one unit and from a file, the double broadcast write, and the failures.
#include "preset_test_support.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace quellaton;
using namespace presettest;

namespace {

const QString ProceedMessage =
    QStringLiteral("Please make sure you have selected\rthe same preset on all devices.");
const QString CheckIdMessage = QStringLiteral("Please check the ID and try to connect again.");

bool DistributionDone(AppFixture& app) {
    return WaitUntil(
        [&] {
            return app.sim.framesWith(ImageWriteHeader).size() >= 2 && Idle(app) &&
                   !app.window->initialDataLoad().distributing();
        },
        15000);
}

// The frames the units get from one distribution: two polls and two image writes, all to
// every unit at once.
QList<QByteArray> BroadcastFrames(const QByteArray& payload) {
    const QByteArray poll = ToHexText(StatusPoll(BroadcastAddress));
    const QByteArray write =
        ToHexText(DeviceFrame(BroadcastAddress, WriteBlock, 0, ParameterImageBlock, 0, payload));
    return {poll, poll, write, write};
}

} // namespace

class TestInitialDataLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void loadFromUnitReachesEveryUnit();
    void loadFromFileReachesEveryUnit();
    void badFilesAndCancelSendNothing();
    void sourceIdIsChecked();
    void silentSourceThenLateReply();
    void fileChosenAfterSilentSourceWins();
    void closeButtonDisconnects();
};

void TestInitialDataLoad::loadFromUnitReachesEveryUnit() {
    AppFixture app(QStringLiteral("1,2,3"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();
    QVERIFY(ConnectBroadcast(app));
    QCOMPARE(app.answerer.messages(), QStringList({ProceedMessage}));
    QCOMPARE(w.initialDataPanel->pos(), QPoint(208, 448));
    QVERIFY(!w.editorArea->isVisible());
    QVERIFY(!w.channelOverview->isEnabled() && !w.connectionGroup->isEnabled());
    QVERIFY(wire.frames().isEmpty()); // a broadcast connect asks nothing

    const QByteArray image3 = app.sim.unitImage(3);
    QVERIFY(image3 != app.sim.unitImage(1) && image3 != app.sim.unitImage(2));
    w.sourceIdField->setText(QStringLiteral("3"));
    QElapsedTimer clock;
    clock.start();
    w.sourceIdButton->click();
    QVERIFY(!w.initialDataPanel->isVisible());
    QVERIFY(w.progressPanel->isVisible());
    QCOMPARE(w.progressPanel->pos(), QPoint(208, 232));
    QVERIFY(DistributionDone(app));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 5000 && took < 15000, qPrintable(QString::number(took)));

    // The image is read from address 2, then broadcast twice.
    QCOMPARE(wire.frames(), QList<QByteArray>{ToHexText(ImageRead(2))} + BroadcastFrames(image3));
    for (int id = 1; id <= 3; ++id) {
        QCOMPARE(app.sim.unitImage(id), image3);
    }
    QCOMPARE(app.window->initialDataLoad().sourceAddress(), 2);
    QVERIFY(s.model().image() == DecodeImageText(ReplyLine(image3, ParameterImageBlock, 2)));
    QVERIFY(!w.initialDataPanel->isVisible() && w.editorArea->isVisible());
    QCOMPARE(w.progressBar->value(), 100);
    // Editing goes on by broadcast: the queue runs, the poll does not.
    QVERIFY(s.writer().scanTimer().isActive());
    QVERIFY(!s.writer().pollTimer().isActive());
    QCOMPARE(app.answerer.messages().size(), 1);
}

void TestInitialDataLoad::loadFromFileReachesEveryUnit() {
    AppFixture app(QStringLiteral("1,2,3"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();
    QVERIFY(ConnectBroadcast(app));

    // A file holding unit 2's slot 5, split over two lines, in lower case.
    const QByteArray payload = app.sim.unitSlot(2, 5);
    const QByteArray line = ReplyLine(payload, PresetSlotBlock, 1, 5).toLower();
    QTemporaryDir dir;
    const QString path = dir.filePath("start.sps");
    QVERIFY(WriteAll(path, line.left(333) + "\r\n" + line.mid(333) + "\r\n"));
    ChooserLog log;
    AnswerOpen(app, path, &log);

    QElapsedTimer clock;
    clock.start();
    w.sourceFileButton->click();
    QVERIFY(DistributionDone(app));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 3500 && took < 12000, qPrintable(QString::number(took)));
    QCOMPARE(log.opened.size(), 1);
    QCOMPARE(log.opened[0].filter, QStringLiteral("quellatonfile(*.sps)"));
    QCOMPARE(log.opened[0].defaultName, QStringLiteral("mystyle"));

    QCOMPARE(wire.frames(), BroadcastFrames(payload));
    for (int id = 1; id <= 3; ++id) {
        QCOMPARE(app.sim.unitImage(id), payload);
        QCOMPARE(app.sim.unitImage(id).mid(280), payload.mid(280));
    }
    QVERIFY(s.model().image() == DecodeImageText(line));
    QVERIFY(!w.initialDataPanel->isVisible() && w.editorArea->isVisible());
    QVERIFY(s.writer().scanTimer().isActive());
    QVERIFY(!s.writer().pollTimer().isActive());
    QCOMPARE(app.answerer.messages().size(), 1);
}

void TestInitialDataLoad::badFilesAndCancelSendNothing() {
    AppFixture app(QStringLiteral("1,2"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QVERIFY(ConnectBroadcast(app));
    const QByteArray good = ReplyLine(app.sim.unitSlot(1, 2));
    QByteArray nonHex = good;
    nonHex.replace(640, 2, "+1");
    QTemporaryDir dir;
    const QList<QPair<QByteArray, bool>> cases = {
        {good.left(663), true}, {good + " ", true}, {nonHex, true},
        {QByteArray(), false},  {"\r\n", false}, // empty: no message
    };
    int n = 0;
    for (const auto& [content, damaged] : cases) {
        const QString path = dir.filePath(QStringLiteral("f%1.sps").arg(n++));
        QVERIFY(WriteAll(path, content));
        AnswerOpen(app, path);
        app.answerer.clear();
        w.sourceFileButton->click();
        QTest::qWait(300);
        QCOMPARE(app.answerer.messages(), damaged ? QStringList({"File damaged."}) : QStringList());
        QVERIFY(w.initialDataPanel->isVisible());
        QVERIFY(!w.progressPanel->isVisible());
    }
    AnswerOpen(app, QString());
    w.sourceFileButton->click();
    QTest::qWait(300);
    QVERIFY(app.answerer.messages().isEmpty());
    QVERIFY(w.initialDataPanel->isVisible());
    // Broadcast frames are answered by nobody and no poll runs: the line stayed silent.
    QVERIFY(wire.frames().isEmpty());
}

void TestInitialDataLoad::sourceIdIsChecked() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QVERIFY(ConnectBroadcast(app));
    for (const QString& text : {QStringLiteral("0"), QStringLiteral("256"), QString()}) {
        w.sourceIdField->setText(text);
        app.answerer.clear();
        w.sourceIdButton->click();
        QCOMPARE(app.answerer.messages(), QStringList({"Please input 1~255 number."}));
        QCOMPARE(w.sourceIdField->text(), QStringLiteral("1")); // the last source ID
        QVERIFY(w.initialDataPanel->isVisible());
    }
    QVERIFY(wire.frames().isEmpty());

    // Only digits reach the field; Enter runs "OK" (here with ID 7, where no unit answers).
    w.sourceIdField->clear();
    w.sourceIdField->setFocus();
    QTest::keyClicks(w.sourceIdField, QStringLiteral("a7-b."));
    QCOMPARE(w.sourceIdField->text(), QStringLiteral("7"));
    app.answerer.clear();
    QTest::keyClick(w.sourceIdField, Qt::Key_Return);
    QVERIFY(app.answerer.waitForMessage(CheckIdMessage, 4000));
    QCOMPARE(wire.frames(), QList<QByteArray>({ToHexText(ImageRead(6))}));
    // Refused again: the field goes back to the last source tried.
    w.sourceIdField->setText(QStringLiteral("300"));
    w.sourceIdButton->click();
    QCOMPARE(w.sourceIdField->text(), QStringLiteral("7"));
}

void TestInitialDataLoad::silentSourceThenLateReply() {
    // Every reply comes 2.5 s late: after the 1.5 s the program waits for the source.
    AppFixture app(QStringLiteral("1,2,3"), {"--reply-delay", "2500"});
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();
    QVERIFY(ConnectBroadcast(app));
    const QByteArray image2 = app.sim.unitImage(2);
    w.sourceIdField->setText(QStringLiteral("2"));
    app.answerer.clear();
    QElapsedTimer clock;
    clock.start();
    w.sourceIdButton->click();
    QVERIFY(app.answerer.waitForMessage(CheckIdMessage, 4000));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 1300 && took < 3000, qPrintable(QString::number(took)));
    // Back to the choice, the window still locked, the read still awaited.
    QVERIFY(w.initialDataPanel->isVisible());
    QVERIFY(!w.progressPanel->isVisible());
    QVERIFY(!w.editorArea->isVisible());
    QVERIFY(!w.channelOverview->isEnabled());
    InitialDataLoad* load = RunningOperation<InitialDataLoad>(app);
    QVERIFY(load);
    QVERIFY(!TimerActive(load, "initialLoadProgress"));
    QVERIFY(load->awaitingSource());

    // The late reply still goes out to every unit.
    QVERIFY(WaitUntil([&] { return wire.framesWith(ImageWriteHeader).size() >= 2; }, 12000));
    QVERIFY(WaitUntil([&] { return !app.window->initialDataLoad().distributing(); }, 5000));
    QCOMPARE(wire.frames(), QList<QByteArray>{ToHexText(ImageRead(1))} + BroadcastFrames(image2));
    for (int id = 1; id <= 3; ++id) {
        QCOMPARE(app.sim.unitImage(id), image2);
    }
    QVERIFY(s.model().image() == DecodeImageText(ReplyLine(image2)));
    QVERIFY(!RunningOperation<InitialDataLoad>(app) ||
            !RunningOperation<InitialDataLoad>(app)->awaitingSource());
}

void TestInitialDataLoad::fileChosenAfterSilentSourceWins() {
    AppFixture app(QStringLiteral("1,2"), {"--reply-delay", "2500"});
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();
    QVERIFY(ConnectBroadcast(app));
    const QByteArray payload = app.sim.unitSlot(1, 5);
    QVERIFY(payload != app.sim.unitImage(2));
    QTemporaryDir dir;
    const QString path = dir.filePath("start.sps");
    QVERIFY(WriteAll(path, ReplyLine(payload)));
    AnswerOpen(app, path);

    w.sourceIdField->setText(QStringLiteral("2"));
    w.sourceIdButton->click();
    QVERIFY(app.answerer.waitForMessage(CheckIdMessage, 4000));
    // The user turns to a file; unit 2's reply comes in the middle of its distribution.
    w.sourceFileButton->click();
    QVERIFY(DistributionDone(app));
    // The reply did arrive, and it is not waited for any more.
    QVERIFY(!RunningOperation<InitialDataLoad>(app) ||
            !RunningOperation<InitialDataLoad>(app)->awaitingSource());
    QCOMPARE(wire.frames(), QList<QByteArray>{ToHexText(ImageRead(1))} + BroadcastFrames(payload));
    for (int id = 1; id <= 2; ++id) {
        QCOMPARE(app.sim.unitImage(id), payload);
    }
    QVERIFY(s.model().image() == DecodeImageText(ReplyLine(payload)));
    // The late reply did not start another distribution.
    QTest::qWait(1500);
    QCOMPARE(wire.framesWith(ImageWriteHeader).size(), 2);
}

void TestInitialDataLoad::closeButtonDisconnects() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QVERIFY(ConnectBroadcast(app));
    w.closeInitialDataButton->click();
    QVERIFY(WaitUntil(
        [&] { return app.window->connection().state() == UnitConnection::State::Disconnected; },
        3000));
    QCOMPARE(w.connectButton->text(), QStringLiteral("Connect"));
    QVERIFY(!w.initialDataPanel->isVisible());
    QVERIFY(w.editorArea->isVisible());
    QVERIFY(!app.session().link().portOpen());
    QVERIFY(wire.frames().isEmpty());
}

QTEST_MAIN(TestInitialDataLoad)
#include "test_initial_data_load.moc"
