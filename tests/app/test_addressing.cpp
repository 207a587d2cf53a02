// Device addressing against simulated units: the searches and their report, changing a
// unit's ID, and broadcast mode.
#include "app_fixture.h"

#include "dsp/scales.h"
#include "operations/device_search.h"
#include "panels/addressing_panel.h"
#include "protocol/frames.h"

#include <QSignalSpy>
#include <QTest>

using namespace quellaton;

namespace {

bool SearchDone(AppFixture& app) {
    return !app.window->addressing().searching() && !app.widgets().searchProgressPanel->isVisible();
}

QString Entry(const QString& port, int id) {
    return port + QStringLiteral("--Device ID") + QString::number(id) + QStringLiteral(" , ");
}

} // namespace

class TestAddressing : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void reportFormat();
    void searchFindsEveryUnitAndSelectsTheLast();
    void cancelStopsBeforeTheNextProbe();
    void startupSearchProbesEveryPortAtOnce();
    void searchWhileConnectedIsRefused();
    void settingTheDeviceId();
    void invalidDeviceIdsAreRefused();
    void broadcastModeLayoutAndRefusal();
    void broadcastConnectRefusedByCloseBox();
    void broadcastWritesEverythingTwiceAndNeverTimesOut();
};

void TestAddressing::reportFormat() {
    FoundTable table;
    const QStringList names = {QStringLiteral("COM1"), QStringLiteral("COM10"),
                               QStringLiteral("COM3")};
    const QList<int> numbers = {1, 10, 3};
    AddressingPanel::Report none = AddressingPanel::BuildReport(table, names, numbers);
    QCOMPARE(none.resultLine, QStringLiteral("search result :none     "));
    QVERIFY(none.lines.isEmpty());
    QCOMPARE(none.lastAddress, -1);

    for (int a = 0; a < 6; ++a) {
        table.mark(2, a); // COM3, IDs 1..6
    }
    table.mark(1, 9);  // COM10, ID 10: reported after COM3
    table.mark(0, 20); // COM1, ID 21: reported first
    const AddressingPanel::Report r = AddressingPanel::BuildReport(table, names, numbers);
    QCOMPARE(r.resultLine, QStringLiteral("search result :     "));
    QCOMPARE(r.lines.size(), 2);
    QCOMPARE(r.lines[0],
             Entry("COM1", 21) + Entry("COM3", 1) + Entry("COM3", 2) + Entry("COM3", 3));
    QCOMPARE(r.lines[1],
             Entry("COM3", 4) + Entry("COM3", 5) + Entry("COM3", 6) + Entry("COM10", 10));
    QCOMPARE(r.lastAddress, 9);
    QCOMPARE(Entry("COM3", 1), QStringLiteral("COM3--Device ID1 , "));
}

void TestAddressing::searchFindsEveryUnitAndSelectsTheLast() {
    AppFixture app(QStringLiteral("1,2,3,4,5,6"));
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    w.searchButton->click();
    QVERIFY(WaitUntil([&] { return SearchDone(app); }, 60000));
    const QString link = app.sim.link();
    QCOMPARE(w.searchResultLine->text(), QStringLiteral("search result :     "));
    const QStringList lines = w.searchResultList->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], Entry(link, 1) + Entry(link, 2) + Entry(link, 3) + Entry(link, 4));
    QCOMPARE(lines[1], Entry(link, 5) + Entry(link, 6));
    QVERIFY(w.searchResultList->isVisible());
    QCOMPARE(w.deviceIdList->currentText(), QStringLiteral("6"));
    QCOMPARE(app.session().address().address(), 5);
    QCOMPARE(w.newIdField->text(), QStringLiteral("6"));
    QVERIFY(w.searchResultPanel->isVisible());
    QVERIFY(!w.editorArea->isVisible());
    QCOMPARE(app.selection().panel(), int(SearchResultPanel));
    QVERIFY(w.channelOverview->isEnabled() && w.connectionGroup->isEnabled() &&
            w.fileGroup->isEnabled());
    QVERIFY(!app.session().link().portOpen());
    // 256 probes, one for each address, in order.
    const QList<QByteArray> polls = app.sim.framesWith("A2002B");
    QCOMPARE(polls.size(), 256);
    QCOMPARE(polls.first(), ToHexText(StatusPoll(0)));
    QCOMPARE(polls.last(), ToHexText(StatusPoll(255)));
    // "Close" returns to the editor area.
    w.resultCloseButton->click();
    QVERIFY(!w.searchResultPanel->isVisible());
    QVERIFY(w.editorArea->isVisible());
    w.searchResultButton->click();
    QVERIFY(w.searchResultPanel->isVisible());
}

void TestAddressing::cancelStopsBeforeTheNextProbe() {
    AppFixture app(QStringLiteral("1,2"));
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    // The search runs in the event loop: it is started, watched and cancelled from timers.
    int probedAtCancel = -1;
    bool lockedDuringSearch = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (app.window->addressing().searching() && app.window->addressing().probeAddress() >= 4 &&
            probedAtCancel < 0) {
            lockedDuringSearch = !w.channelOverview->isEnabled() && !w.fileGroup->isEnabled() &&
                                 w.searchProgressPanel->isVisible();
            probedAtCancel = app.window->addressing().probeAddress();
            w.cancelSearchButton->click();
        }
    });
    watch.start();
    QTimer::singleShot(0, w.searchButton, &QPushButton::click);
    QVERIFY(WaitUntil([&] { return probedAtCancel >= 0 && SearchDone(app); }, 20000));
    watch.stop();
    QVERIFY(lockedDuringSearch);
    QVERIFY2(probedAtCancel < 20, qPrintable(QString::number(probedAtCancel)));
    QTest::qWait(300);
    const int polls = app.sim.framesWith("A2002B").size();
    QVERIFY2(polls <= probedAtCancel + 2,
             qPrintable(QStringLiteral("%1 %2").arg(polls).arg(probedAtCancel)));
    // The units found before the cancel are reported.
    QCOMPARE(w.searchResultList->toPlainText(),
             Entry(app.sim.link(), 1) + Entry(app.sim.link(), 2));
    QCOMPARE(w.deviceIdList->currentText(), QStringLiteral("2"));
    QVERIFY(w.channelOverview->isEnabled() && w.fileGroup->isEnabled());
}

// Four lines searched at the same time find what four searches one after another find, in a
// little more than the time of one.
void TestAddressing::startupSearchProbesEveryPortAtOnce() {
    std::vector<std::unique_ptr<SimProcess>> sims;
    AppOptions options;
    options.listSystemPorts = false;
    for (const char* ids : {"1,3", "2", "7,10", "4"}) {
        sims.push_back(std::make_unique<SimProcess>(QLatin1String(ids)));
        QVERIFY(sims.back()->start());
        options.extraPorts.append(sims.back()->link());
    }
    PortList ports;
    for (const QString& link : options.extraPorts) {
        ports.append(PortEntry{link, link});
    }
    UnitAddress address;
    UnitLink line(address);
    DeviceSearch oneByOne(&line, ports, 0, 9, pacing::ProbePauseMs,
                          DeviceSearch::Mode::OneAfterAnother);
    QSignalSpy done(&oneByOne, &DeviceSearch::finished);
    oneByOne.start();
    QVERIFY(done.wait(20000));
    FoundTable table;
    for (int row = 0; row < ports.size(); ++row) {
        for (const ProbeHit& hit : oneByOne.probe(row)->hits()) {
            table.mark(row, hit.address);
        }
    }
    const QStringList names = PortNames(ports);
    const AddressingPanel::Report expected =
        AddressingPanel::BuildReport(table, names, BuildPortNumbers(names));
    QCOMPARE(expected.lines.join(QString()).count(QStringLiteral("Device ID")), 6);

    QElapsedTimer clock;
    clock.start();
    MainWindow window(options);
    window.show();
    // Ten probes with their half-second pauses: about 5 s for one port, 20 s for four in turn.
    QVERIFY(WaitUntil([&] { return window.widgets().connectionGroup->isVisible(); }, 30000));
    QVERIFY2(clock.elapsed() < 14000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(window.widgets().searchResultList->toPlainText(),
             expected.lines.join(QLatin1Char('\n')));
    QCOMPARE(window.widgets().searchResultLine->text(), expected.resultLine);
    QCOMPARE(window.widgets().deviceIdList->currentIndex(), expected.lastAddress);
    for (auto& sim : sims) {
        QCOMPARE(sim->framesWith("A2002B").size(), 10 + 10); // both searches
    }
}

void TestAddressing::searchWhileConnectedIsRefused() {
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    app.widgets().searchButton->click();
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("please disconnect and try again."), 2000));
    QVERIFY(!app.window->addressing().searching());
    app.widgets().broadcastButton->click();
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("Please disconnect."), 2000));
    QVERIFY(!app.session().address().broadcast());
}

void TestAddressing::settingTheDeviceId() {
    AppFixture app(QStringLiteral("3"));
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    // Not connected: refused.
    w.newIdField->setText(QStringLiteral("7"));
    w.setIdButton->click();
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("Disconnect."), 2000));

    QVERIFY(app.connectTo(3));
    QCOMPARE(w.newIdField->text(), QStringLiteral("3"));
    w.newIdField->setFocus();
    w.newIdField->selectAll();
    QTest::keyClicks(w.newIdField, QStringLiteral("7"));
    QTest::keyClick(w.newIdField, Qt::Key_Return); // Enter sends it as "OK" does
    QCOMPARE(w.deviceIdList->currentText(), QStringLiteral("7"));
    QCOMPARE(app.session().address().address(), 6);
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("Device ID changed to 7"), 4000));

    const QList<QByteArray> writes = app.sim.framesWith("A10021");
    QCOMPARE(writes.size(), 1);
    QVERIFY(writes[0].startsWith("A5A5A502")); // sent to the old address
    QCOMPARE(writes[0].mid(26, 2), QByteArray("07"));
    // Polls now go to address 6, and the unit answers there.
    QVERIFY(WaitUntil([&] { return app.sim.frames().last().startsWith("A5A5A506A2002B"); }, 3000));
    QTest::qWait(2500);
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Connected);
    QCOMPARE(app.sim.stateValue(QStringLiteral("unit 3 id")), QByteArray("7"));
}

void TestAddressing::invalidDeviceIdsAreRefused() {
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    ShellWidgets& w = app.widgets();
    for (const QString& text : {QStringLiteral("0"), QStringLiteral("256"), QString()}) {
        app.answerer.clear();
        w.newIdField->setText(text);
        w.setIdButton->click();
        QVERIFY(app.answerer.waitForMessage(QStringLiteral("Please input 1~255 number."), 2000));
        QCOMPARE(w.newIdField->text(), QStringLiteral("1"));
    }
    // Letters never reach the field.
    w.newIdField->setFocus();
    w.newIdField->setText(QStringLiteral("1"));
    w.newIdField->end(false);
    QTest::keyClicks(w.newIdField, QStringLiteral("ab-.5"));
    QCOMPARE(w.newIdField->text(), QStringLiteral("15"));
    // 255 and 1 are accepted.
    w.newIdField->setText(QStringLiteral("255"));
    w.setIdButton->click();
    QCOMPARE(app.session().address().address(), 254);
    QVERIFY(WaitUntil([&] { return app.sim.framesWith("A10021").size() == 1; }, 3000));
    QCOMPARE(app.sim.framesWith("A10021").constFirst().mid(26, 2), QByteArray("FF"));
}

void TestAddressing::broadcastModeLayoutAndRefusal() {
    AppFixture app;
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    w.broadcastButton->click();
    QVERIFY(app.session().address().broadcast());
    QCOMPARE(app.session().address().address(), 255);
    QVERIFY(!w.deviceIdList->isVisible());
    QVERIFY(!w.deviceIdLabel->isVisible());
    QVERIFY(!w.fileGroup->isVisible());
    QCOMPARE(w.connectionGroup->geometry().top(), 90);
    QCOMPARE(w.connectionGroup->width(), 215);
    QCOMPARE(w.connectButton->y(), 31);
    QCOMPARE(w.connectionIndicator->y(), 29);
    QCOMPARE(ButtonColour(w.broadcastButton), qRgb(0, 128, 0));
    w.broadcastButton->click();
    QVERIFY(!app.session().address().broadcast());
    QCOMPARE(app.session().address().address(), 0);
    QVERIFY(w.deviceIdList->isVisible());
    QVERIFY(w.fileGroup->isVisible());
    QCOMPARE(w.connectionGroup->geometry().top(), 2);
    QCOMPARE(w.connectionGroup->width(), 594);
    QCOMPARE(w.connectButton->y(), 55);
    QCOMPARE(w.connectionIndicator->y(), 54);
    QCOMPARE(ButtonColour(w.broadcastButton), qRgb(224, 224, 224));
}

void TestAddressing::broadcastConnectRefusedByCloseBox() {
    AppFixture app;
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    w.broadcastButton->click();
    app.answerer.setConfirmation(ModalAnswerer::Confirm::Close);
    w.connectButton->click();
    QVERIFY(WaitUntil([&] { return !app.answerer.messages().isEmpty(); }, 2000));
    QCOMPARE(app.answerer.messages().constFirst(),
             QStringLiteral("Please make sure you have selected\rthe same preset on all devices."));
    QVERIFY(WaitUntil(
        [&] { return app.window->connection().state() == UnitConnection::State::Disconnected; },
        2000));
    QCOMPARE(w.connectButton->text(), QStringLiteral("Connect"));
    QVERIFY(!app.session().link().portOpen());
    // Nothing was sent to the units.
    QVERIFY(app.sim.frames().isEmpty());
}

void TestAddressing::broadcastWritesEverythingTwiceAndNeverTimesOut() {
    AppFixture app(QStringLiteral("1,2"));
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    w.broadcastButton->click();
    app.answerer.setConfirmation(ModalAnswerer::Confirm::First);
    w.connectButton->click();
    QVERIFY(WaitUntil(
        [&] { return app.window->connection().state() == UnitConnection::State::Broadcasting; },
        2000));
    QVERIFY(app.session().link().portOpen());
    // As after the initial data load: the queue runs, and the keep-alive poll as well.
    app.session().writer().start();
    app.model().setGainDb(Mid, OutputGainTable[77]);
    QVERIFY(WaitUntil([&] { return app.sim.framesWith("A10001").size() >= 2; }, 3000));
    QTest::qWait(300);
    const QList<QByteArray> writes = app.sim.framesWith("A10001");
    QCOMPARE(writes.size(), 2);
    QCOMPARE(writes[0], writes[1]);
    QVERIFY(writes[0].startsWith("A5A5A5FF"));
    QCOMPARE(quint8(app.sim.unitImage(1).at(72)), quint8(77));
    QCOMPARE(quint8(app.sim.unitImage(2).at(72)), quint8(77));
    // Nobody answers a broadcast, and that never ends the connection.
    QTest::qWait(3500);
    QVERIFY(app.session().link().portOpen());
    QVERIFY(app.answerer.messages().size() == 1); // only the confirmation
    QVERIFY(app.sim.framesWith("A2002B").size() >= 4);
}

QTEST_MAIN(TestAddressing)
#include "test_addressing.moc"
