// quellatond against simulated units: the API's round trips with the frames the units
// received, the event stream, access with and without a token, bad input refused with nothing
// sent, fifty clients at once on one unit, and a port that vanishes and comes back.
#include "service_process.h"
#include "sim_process.h"

#include "dsp/scales.h"
#include "files/image_report.h"
#include "files/preset_document.h"
#include "model/parameter_change.h"
#include "model/unit_model.h"
#include "protocol/block_builders.h"
#include "protocol/frames.h"
#include "protocol/send_slots.h"

#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace quellaton;

// Polls often, so that units are found and marked offline quickly.
const QString PollInterval = QStringLiteral("0.3");

bool WaitUntil(const std::function<bool()>& done, int ms) {
    return QTest::qWaitFor(done, ms);
}

// The working set a simulated unit holds now.
ParameterImage SimImage(const SimProcess& sim, int id) {
    const QByteArray payload = sim.unitImage(id);
    return DecodeImageText(
        DeviceFrame(id - 1, ReadReply, 0, ParameterImageBlock, 0, payload).toHex());
}

QJsonArray Rows(const ParameterImage& image) {
    return ReportRowsJson(DescribeImage(image));
}

QByteArray Hex(const QByteArray& frame) {
    return frame.toHex().toUpper();
}

// The frames the units received from line `from` on, but for the reads the service makes of
// its own (status, system block and image of units 1..4): what the clients' requests sent.
QList<QByteArray> Writes(const SimProcess& sim, qsizetype from = 0) {
    QSet<QByteArray> reads;
    for (int address = 0; address < 4; ++address) {
        reads << Hex(StatusPoll(address)) << Hex(SystemRead(address)) << Hex(ImageRead(address));
    }
    QList<QByteArray> writes;
    for (const QByteArray& frame : sim.frames().mid(from)) {
        if (!reads.contains(frame)) {
            writes.append(frame);
        }
    }
    return writes;
}

// Whether a received frame is whole: a frame the service sends, with its sync bytes, check
// byte and End byte where they belong.
bool WholeFrame(const QByteArray& hex, int address) {
    const QByteArray frame = QByteArray::fromHex(hex);
    if (frame == StatusPoll(address) || frame == SystemRead(address) ||
        frame == ImageRead(address)) {
        return true;
    }
    return frame.size() == BlockFrameSize && frame.startsWith("\xA5\xA5\xA5") &&
           quint8(frame[3]) == quint8(address) &&
           quint8(frame[BlockFrameSize - 2]) == FrameCheck(frame) &&
           quint8(frame[BlockFrameSize - 1]) == EndByte;
}

// The blocks the changes edit, as the service's model edits them.
QList<QByteArray> ExpectedFrames(const ParameterImage& before, const QJsonValue& changes,
                                 int address, ParameterImage* after) {
    UnitModel model;
    model.replaceImage(before);
    QList<int> edited;
    QObject::connect(&model, &UnitModel::blockEdited, [&](int slot) {
        if (!edited.contains(slot)) {
            edited.append(slot);
        }
    });
    for (const ParameterChange& change : ParseParameterChanges(changes).changes) {
        ApplyParameterChange(model, change);
    }
    std::sort(edited.begin(), edited.end());
    QList<QByteArray> frames;
    for (const int slot : edited) {
        frames.append(Hex(BuildBlockFrame(slot, address, model.image(), model.bypassRows())));
    }
    *after = model.image();
    return frames;
}

} // namespace

class TestService : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void apiRoundTrips();
    void presetFileRoundTrip();
    void webSocketPushesAnotherClientsEdit();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void fiftyClientsOnOneUnit();
    void otherSitesAreRefused_data();
    void otherSitesAreRefused();
    void authorisation_data();
    void authorisation();
    void vanishedPortRecovers();

private:
    QUrl url(const QString& path) const { return service_.url(path); }
    bool waitAvailable(ServiceProcess& service, const QString& unitPath);

    SimProcess sim_{QStringLiteral("1,3")};
    ServiceProcess service_;
    QNetworkAccessManager manager_;
};

void TestService::initTestCase() {
    QVERIFY2(!qEnvironmentVariable("QUELLATOND").isEmpty(), "QUELLATOND is not set");
    QVERIFY(sim_.start());
    QVERIFY(service_.start({QStringLiteral("--port"), sim_.link(), QStringLiteral("--ids"),
                            QStringLiteral("1-3"), QStringLiteral("--listen"),
                            QStringLiteral("127.0.0.1:0"), QStringLiteral("--interval"),
                            PollInterval}));
    QVERIFY(waitAvailable(service_, QStringLiteral("/api/units/1/1")));
    QVERIFY(waitAvailable(service_, QStringLiteral("/api/units/1/3")));
}

void TestService::cleanupTestCase() {
    service_.stop();
    // SIGTERM ends it through its event loop: a clean exit.
    QCOMPARE(service_.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(service_.exitCode(), 0);
}

bool TestService::waitAvailable(ServiceProcess& service, const QString& unitPath) {
    QNetworkAccessManager manager;
    return WaitUntil([&] { return Http(manager, "GET", service.url(unitPath)).status == 200; },
                     15000);
}

void TestService::apiRoundTrips() {
    // The units: the two that answer are online with their status, the third is offline.
    const HttpReply list = Http(manager_, "GET", url(QStringLiteral("/api/units")));
    QCOMPARE(list.status, 200);
    const QJsonArray units = list.json().value("units").toArray();
    QCOMPARE(units.size(), 3);
    for (const QJsonValue& value : units) {
        const QJsonObject unit = value.toObject();
        QCOMPARE(unit.value("port").toString(), sim_.link());
        QCOMPARE(unit.value("line").toInt(), 1);
        const bool answers = unit.value("id").toInt() != 2;
        QCOMPARE(unit.value("online").toBool(), answers);
        QCOMPARE(unit.value("temperature").isDouble(), answers);
        QCOMPARE(unit.value("attenuation").isDouble(), answers);
        QCOMPARE(unit.value("preset").isDouble(), answers);
        QVERIFY(unit.contains("label"));
    }

    // The parameters are the unit's own, named and written as quellaton-cli show --json.
    const HttpReply unit = Http(manager_, "GET", url(QStringLiteral("/api/units/1/1")));
    QCOMPARE(unit.status, 200);
    const ParameterImage before = SimImage(sim_, 1);
    QCOMPARE(unit.json().value("parameters").toArray(), Rows(before));

    // One change, limited and snapped by the model: its block reaches the unit.
    const qsizetype from = sim_.frames().size();
    const QJsonObject gain{{"section", "high"}, {"parameter", "gain"}, {"value", -3.04}};
    ParameterImage expected;
    const QList<QByteArray> frames = ExpectedFrames(before, gain, 0, &expected);
    QCOMPARE(frames.size(), 1);
    const HttpReply changed =
        Http(manager_, "PATCH", url(QStringLiteral("/api/units/1/1")), Json(gain));
    QCOMPARE(changed.status, 200);
    QCOMPARE(changed.json().value("changes").toArray(),
             (QJsonArray{
                 QJsonObject{{"section", "High"}, {"parameter", "Gain"}, {"value", "-3.0 dB"}}}));
    QVERIFY(WaitUntil([&] { return Writes(sim_, from) == frames; }, 5000));
    QVERIFY(WaitUntil([&] { return Rows(SimImage(sim_, 1)) == Rows(expected); }, 5000));

    // A list of changes: every block once, and the unit ends with every value.
    const QJsonArray several{
        QJsonObject{{"section", "main"}, {"parameter", "level"}, {"value", -6.13}},
        QJsonObject{{"section", "Low"}, {"parameter", "Mute"}, {"value", true}},
        QJsonObject{{"section", "mid"}, {"parameter", "band 2 frequency"}, {"value", 99999}},
        QJsonObject{{"section", "mid"}, {"parameter", "HPF type"}, {"value", "24db-LR"}}};
    const qsizetype from2 = sim_.frames().size();
    ParameterImage expected2;
    const QList<QByteArray> frames2 = ExpectedFrames(expected, several, 0, &expected2);
    const HttpReply changed2 = Http(manager_, "PATCH", url(QStringLiteral("/api/units/1/1")),
                                    QJsonDocument(several).toJson());
    QCOMPARE(changed2.status, 200);
    const QJsonArray set = changed2.json().value("changes").toArray();
    QCOMPARE(set.size(), 4);
    QCOMPARE(set[0].toObject().value("value").toString(), QStringLiteral("-6.2 dB"));
    QCOMPARE(set[1].toObject().value("value").toString(), QStringLiteral("on"));
    QCOMPARE(set[2].toObject().value("value").toString(), QStringLiteral("21900.0 Hz"));
    QCOMPARE(set[3].toObject().value("value").toString(), QStringLiteral("24db-LR"));
    QVERIFY(WaitUntil(
        [&] {
            QList<QByteArray> writes = Writes(sim_, from2);
            std::sort(writes.begin(), writes.end());
            QList<QByteArray> wanted = frames2;
            std::sort(wanted.begin(), wanted.end());
            return writes == wanted;
        },
        8000));
    QVERIFY(WaitUntil([&] { return Rows(SimImage(sim_, 1)) == Rows(expected2); }, 5000));

    // A recall: the recall frame reaches the unit, and the parameters become the preset's.
    const qsizetype from3 = sim_.frames().size();
    const HttpReply recalled =
        Http(manager_, "POST", url(QStringLiteral("/api/units/1/3/recall")), Json({{"preset", 2}}));
    QCOMPARE(recalled.status, 202);
    QVERIFY(WaitUntil([&] { return Writes(sim_, from3).contains(Hex(PresetRecall(2, 2))); }, 5000));
    QVERIFY(WaitUntil(
        [&] {
            const HttpReply now = Http(manager_, "GET", url(QStringLiteral("/api/units/1/3")));
            return now.status == 200 &&
                   now.json().value("parameters").toArray() == Rows(SimImage(sim_, 3)) &&
                   now.json().value("preset").toInt() == 2;
        },
        8000));
}

void TestService::presetFileRoundTrip() {
    // The file is the unit's working set, as quellaton-cli show reads it.
    const HttpReply file = Http(manager_, "GET", url(QStringLiteral("/api/units/1/1/preset.sps")));
    QCOMPARE(file.status, 200);
    const std::optional<OpenedPreset> opened = ReadSinglePreset(file.body);
    QVERIFY(opened);
    QCOMPARE(Rows(opened->image), Rows(SimImage(sim_, 1)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unit.sps"));
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file.body);
    }
    QProcess cli;
    cli.start(qEnvironmentVariable("QUELLATON_CLI"),
              {QStringLiteral("show"), QStringLiteral("--json"), path});
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(QJsonDocument::fromJson(cli.readAllStandardOutput()).object().value("parameters"),
             QJsonValue(Rows(SimImage(sim_, 1))));

    // A file that differs in one band goes as that band's block.
    ParameterImage edited = opened->image;
    edited.bands[std::size_t(BandIndex(High, 0))].peakingGain += 7;
    const QByteArray content = SinglePresetContent(edited, &*opened, 0);
    const qsizetype from = sim_.frames().size();
    const HttpReply put =
        Http(manager_, "PUT", url(QStringLiteral("/api/units/1/1/preset.sps")), content);
    QCOMPARE(put.status, 200);
    QCOMPARE(put.json().value("blocks").toInt(), 1);
    QCOMPARE(put.json().value("wholeImage").toBool(), false);
    const QByteArray frame = Hex(BuildBlockFrame(EqBandSlot(BandIndex(High, 0)), 0, edited, {}));
    QVERIFY(WaitUntil([&] { return Writes(sim_, from) == QList<QByteArray>{frame}; }, 5000));
    QVERIFY(WaitUntil([&] { return Rows(SimImage(sim_, 1)) == Rows(edited); }, 5000));
    QCOMPARE(Http(manager_, "GET", url(QStringLiteral("/api/units/1/1/preset.sps"))).body, content);
}

void TestService::webSocketPushesAnotherClientsEdit() {
    QWebSocket socket;
    QList<QJsonObject> messages;
    connect(&socket, &QWebSocket::textMessageReceived, &socket, [&](const QString& text) {
        messages.append(QJsonDocument::fromJson(text.toUtf8()).object());
    });
    QUrl events = url(QStringLiteral("/api/events"));
    events.setScheme(QStringLiteral("ws"));
    socket.open(events);
    QVERIFY(WaitUntil([&] { return !messages.isEmpty(); }, 5000));
    // First the snapshot: every unit, with the parameters of those that answer.
    const QJsonObject snapshot = messages.takeFirst();
    QCOMPARE(snapshot.value("type").toString(), QStringLiteral("snapshot"));
    const QJsonArray units = snapshot.value("units").toArray();
    QCOMPARE(units.size(), 3);
    QCOMPARE(units[0].toObject().value("parameters").toArray(), Rows(SimImage(sim_, 1)));

    // Another client's edit arrives as one message with the value set.
    QNetworkAccessManager other;
    const HttpReply changed =
        Http(other, "PATCH", url(QStringLiteral("/api/units/1/3")),
             Json({{"section", "mid"}, {"parameter", "mute"}, {"value", true}}));
    QCOMPARE(changed.status, 200);
    auto pushed = [&] {
        for (const QJsonObject& m : std::as_const(messages)) {
            if (m.value("type") == QLatin1String("parameters") && m.value("id").toInt() == 3 &&
                m.value("changes").toArray() == changed.json().value("changes").toArray()) {
                return true;
            }
        }
        return false;
    };
    QVERIFY(WaitUntil(pushed, 5000));
    // And the unit has it.
    QVERIFY(WaitUntil([&] { return SimImage(sim_, 3).onFlag[Mid] == 0; }, 5000));
}

void TestService::badInputSendsNothing_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    const QString unit = QStringLiteral("/api/units/1/1");
    auto change = [](const char* section, const char* parameter, const QJsonValue& value) {
        return Json({{"section", section}, {"parameter", parameter}, {"value", value}});
    };
    QTest::newRow("invalid JSON") << QByteArray("PATCH") << unit << QByteArray("{\"section\": ")
                                  << 400;
    QTest::newRow("unknown section")
        << QByteArray("PATCH") << unit << change("sub", "gain", -3.0) << 400;
    QTest::newRow("unknown parameter")
        << QByteArray("PATCH") << unit << change("high", "loudness", -3.0) << 400;
    QTest::newRow("text for a number")
        << QByteArray("PATCH") << unit << change("high", "gain", "-3 dB") << 400;
    QTest::newRow("number for a switch")
        << QByteArray("PATCH") << unit << change("high", "mute", 1) << 400;
    QTest::newRow("unknown choice")
        << QByteArray("PATCH") << unit << change("high", "HPF type", "96db") << 400;
    QTest::newRow("one bad change of two")
        << QByteArray("PATCH") << unit
        << QJsonDocument(
               QJsonArray{QJsonObject{{"section", "high"}, {"parameter", "gain"}, {"value", -1.0}},
                          QJsonObject{{"section", "high"}, {"parameter", "gain"}}})
               .toJson()
        << 400;
    QTest::newRow("unknown unit") << QByteArray("PATCH") << QStringLiteral("/api/units/1/9")
                                  << change("high", "gain", -3.0) << 404;
    QTest::newRow("unknown line") << QByteArray("PATCH") << QStringLiteral("/api/units/7/1")
                                  << change("high", "gain", -3.0) << 404;
    QTest::newRow("offline unit") << QByteArray("PATCH") << QStringLiteral("/api/units/1/2")
                                  << change("high", "gain", -3.0) << 503;
    QTest::newRow("recall on an offline unit")
        << QByteArray("POST") << QStringLiteral("/api/units/1/2/recall") << Json({{"preset", 1}})
        << 503;
    // Valid changes, but more than 64 KiB of them.
    QJsonArray many;
    while (QJsonDocument(many).toJson().size() <= 64 * 1024) {
        many.append(QJsonObject{{"section", "high"}, {"parameter", "gain"}, {"value", -2.0}});
    }
    QTest::newRow("body over 64 KiB")
        << QByteArray("PATCH") << unit << QJsonDocument(many).toJson() << 413;
    QTest::newRow("recall of preset 9")
        << QByteArray("POST") << unit + QStringLiteral("/recall") << Json({{"preset", 9}}) << 400;
    QTest::newRow("recall without JSON")
        << QByteArray("POST") << unit + QStringLiteral("/recall") << QByteArray("3") << 400;
    QTest::newRow("damaged preset file")
        << QByteArray("PUT") << unit + QStringLiteral("/preset.sps")
        << QByteArray("A5A5A5 not a preset") << 400;
    QTest::newRow("unknown method") << QByteArray("DELETE") << unit << QByteArray() << 405;
}

void TestService::badInputSendsNothing() {
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const qsizetype from = sim_.frames().size();
    const HttpReply reply = Http(manager_, method, url(path), body);
    QCOMPARE(reply.status, status);
    QVERIFY2(!reply.json().value("error").toString().isEmpty(), reply.body.constData());
    // Well past the time a queued block takes to go out.
    QTest::qWait(500);
    QCOMPARE(Writes(sim_, from), QList<QByteArray>{});
}

void TestService::fiftyClientsOnOneUnit() {
    // Fifty clients, each changing a parameter of its own three times, all at once.
    struct Client {
        explicit Client(QJsonObject p)
            : manager(std::make_unique<QNetworkAccessManager>()), parameter(std::move(p)) {}
        std::unique_ptr<QNetworkAccessManager> manager;
        QJsonObject parameter;
        int sent = 0;
        int answered = 0;
        QString lastSet;
        bool failed = false;
    };
    std::vector<Client> clients;
    const char* const sections[] = {"high", "mid", "low"};
    for (int way = 0; way < 2; ++way) {
        clients.emplace_back(QJsonObject{{"section", sections[way]}, {"parameter", "gain"}});
    }
    for (int band = 0; band < 16; ++band) {
        for (const char* parameter : {"frequency", "gain", "Q"}) {
            clients.emplace_back(QJsonObject{
                {"section", sections[band / 6]},
                {"parameter", QStringLiteral("band %1 %2").arg(band % 6 + 1).arg(parameter)}});
        }
    }
    QCOMPARE(clients.size(), std::size_t(50));
    auto valueFor = [](const QJsonObject& p, int round, int client) -> double {
        const QString name = p.value("parameter").toString();
        if (name.endsWith(QLatin1String("frequency"))) {
            return 100.0 + 37.0 * client + 500.0 * round;
        }
        if (name.endsWith(QLatin1String("Q"))) {
            return 0.5 + 0.1 * client + round;
        }
        return -1.0 - 0.5 * (client % 12) - 2.0 * round;
    };
    const qsizetype from = sim_.frames().size();
    std::function<void(int)> sendNext = [&](int i) {
        Client& c = clients[std::size_t(i)];
        QJsonObject change = c.parameter;
        change.insert("value", valueFor(c.parameter, c.sent, i));
        c.sent += 1;
        QNetworkRequest request(url(QStringLiteral("/api/units/1/1")));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply* reply = c.manager->sendCustomRequest(request, "PATCH", Json(change));
        connect(reply, &QNetworkReply::finished, reply, [&, i, reply] {
            reply->deleteLater();
            Client& c = clients[std::size_t(i)];
            const QJsonObject json = QJsonDocument::fromJson(reply->readAll()).object();
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) {
                c.failed = true;
                return;
            }
            c.lastSet =
                json.value("changes").toArray().first().toObject().value("value").toString();
            c.answered += 1;
            if (c.sent < 3) {
                sendNext(i);
            }
        });
    };
    for (int i = 0; i < int(clients.size()); ++i) {
        sendNext(i);
    }
    QVERIFY(WaitUntil(
        [&] {
            return std::all_of(clients.begin(), clients.end(),
                               [](const Client& c) { return c.failed || c.answered == 3; });
        },
        30000));
    for (const Client& c : clients) {
        QVERIFY(!c.failed);
    }

    // The unit's parameters hold each client's last value...
    const HttpReply now = Http(manager_, "GET", url(QStringLiteral("/api/units/1/1")));
    QCOMPARE(now.status, 200);
    const QJsonArray rows = now.json().value("parameters").toArray();
    for (const Client& c : clients) {
        bool found = false;
        for (const QJsonValue& row : rows) {
            const QJsonObject r = row.toObject();
            if (r.value("section").toString().compare(c.parameter.value("section").toString(),
                                                      Qt::CaseInsensitive) == 0 &&
                r.value("parameter")
                        .toString()
                        .compare(c.parameter.value("parameter").toString(), Qt::CaseInsensitive) ==
                    0) {
                QVERIFY2(r.value("value").toString() == c.lastSet,
                         qPrintable(Json(c.parameter) + " ended " + r.value("value").toString() +
                                    ", last set " + c.lastSet));
                found = true;
            }
        }
        QVERIFY(found);
    }
    // ... and so does the unit, once the queue has sent them.
    QVERIFY(WaitUntil([&] { return Rows(SimImage(sim_, 1)) == rows; }, 40000));
    // Every frame on the line is whole: nothing interleaved, nothing damaged.
    const QList<QByteArray> frames = sim_.frames().mid(from);
    QVERIFY(!frames.isEmpty());
    for (const QByteArray& frame : frames) {
        QVERIFY2(WholeFrame(frame, 0) || WholeFrame(frame, 1) || WholeFrame(frame, 2) ||
                     WholeFrame(frame, 3),
                 frame.constData());
    }
    // A burst goes out as the window sends it: a block edited again before its turn leaves
    // once, so the writes are fewer than the edits.
    QVERIFY(Writes(sim_, from).size() < 150);
}

void TestService::otherSitesAreRefused_data() {
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<int>("status");

    const QByteArray port = QByteArray::number(url(QStringLiteral("/")).port());
    QTest::newRow("the service's own page")
        << "127.0.0.1:" + port << "http://127.0.0.1:" + port << 200;
    QTest::newRow("localhost, no origin") << "localhost:" + port << QByteArray() << 200;
    QTest::newRow("a page of another site")
        << "127.0.0.1:" + port << QByteArray("http://example.com") << 403;
    // A name of someone else's that their DNS points at this machine.
    QTest::newRow("a foreign host name")
        << "attacker.example:" + port << "http://attacker.example:" + port << 403;
}

void TestService::otherSitesAreRefused() {
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, origin);
    QFETCH(int, status);
    // A browser's request as it goes on the wire (the HTTP client would set its own Host).
    const QByteArray body = Json({{"section", "high"}, {"parameter", "mute"}, {"value", true}});
    QByteArray request =
        "PATCH /api/units/1/1 HTTP/1.1\r\nHost: " + host +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nConnection: close\r\n";
    if (!origin.isEmpty()) {
        request += "Origin: " + origin + "\r\n";
    }
    request += "\r\n" + body;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(url(QStringLiteral("/")).port()));
    QVERIFY(socket.waitForConnected(5000));
    socket.write(request);
    QByteArray reply;
    QVERIFY(WaitUntil(
        [&] {
            reply += socket.readAll();
            return reply.contains("\r\n\r\n") && reply.endsWith("}");
        },
        5000));
    QVERIFY2(reply.startsWith("HTTP/1.1 " + QByteArray::number(status)), reply.constData());
    // Unmute again for the tests that follow.
    if (status == 200) {
        QCOMPARE(Http(manager_, "PATCH", url(QStringLiteral("/api/units/1/1")),
                      Json({{"section", "high"}, {"parameter", "mute"}, {"value", false}}))
                     .status,
                 200);
    }
}

void TestService::authorisation_data() {
    QTest::addColumn<QString>("listen");
    QTest::addColumn<bool>("withToken");
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<int>("status");

    QTest::newRow("loopback, no token") << "127.0.0.1:0" << false << QByteArray() << 200;
    QTest::newRow("loopback IPv6, no token") << "[::1]:0" << false << QByteArray() << 200;
    QTest::newRow("any address, no token: refuses to start")
        << "0.0.0.0:0" << false << QByteArray() << 0;
    QTest::newRow("token, none given") << "0.0.0.0:0" << true << QByteArray() << 401;
    QTest::newRow("token, wrong one")
        << "0.0.0.0:0" << true << QByteArray("Bearer wrong-token") << 401;
    QTest::newRow("token, not bearer")
        << "0.0.0.0:0" << true << QByteArray("Basic c2VjcmV0LXRva2VuLTEyMw==") << 401;
    QTest::newRow("token, right one")
        << "0.0.0.0:0" << true << QByteArray("Bearer secret-token-123") << 200;
}

void TestService::authorisation() {
    QFETCH(QString, listen);
    QFETCH(bool, withToken);
    QFETCH(QByteArray, authorization);
    QFETCH(int, status);
    QTemporaryDir dir;
    const QString tokenPath = dir.filePath(QStringLiteral("token"));
    {
        QFile file(tokenPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("secret-token-123\n");
    }
    // A line that is not there: the service runs all the same, its units offline.
    QStringList args{QStringLiteral("--port"),   dir.filePath(QStringLiteral("no-line")),
                     QStringLiteral("--ids"),    QStringLiteral("1-2"),
                     QStringLiteral("--listen"), listen};
    if (withToken) {
        args += {QStringLiteral("--token-file"), tokenPath};
    }
    ServiceProcess service;
    if (status == 0) {
        QByteArray err;
        QCOMPARE(service.runToEnd(args, &err), 2);
        QVERIFY2(err.contains("--token-file"), err.constData());
        return;
    }
    QVERIFY(service.start(args));
    QUrl units = service.url(QStringLiteral("/api/units"));
    units.setHost(QUrl(service.base()).host() == QLatin1String("0.0.0.0")
                      ? QStringLiteral("127.0.0.1")
                      : QUrl(service.base()).host());
    QNetworkAccessManager manager;
    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!authorization.isEmpty()) {
        headers.append({"Authorization", authorization});
    }
    const HttpReply reply = Http(manager, "GET", units, {}, headers);
    QCOMPARE(reply.status, status);
    if (status != 200) {
        QVERIFY(!reply.json().value("error").toString().isEmpty());
    } else {
        QCOMPARE(reply.json().value("units").toArray().size(), 2);
    }

    // The event stream asks for the same.
    QUrl events = units;
    events.setScheme(QStringLiteral("ws"));
    events.setPath(QStringLiteral("/api/events"));
    QNetworkRequest request(events);
    if (!authorization.isEmpty()) {
        request.setRawHeader("Authorization", authorization);
    }
    QWebSocket socket;
    bool snapshot = false;
    bool failed = false;
    connect(&socket, &QWebSocket::textMessageReceived, &socket,
            [&](const QString& text) { snapshot = text.contains(QLatin1String("snapshot")); });
    connect(&socket, &QWebSocket::disconnected, &socket, [&] { failed = true; });
    socket.open(request);
    QVERIFY(WaitUntil([&] { return snapshot || failed; }, 5000));
    QCOMPARE(snapshot, status == 200);
}

void TestService::vanishedPortRecovers() {
    SimProcess sim(QStringLiteral("4"));
    QVERIFY(sim.start());
    ServiceProcess service;
    QVERIFY(
        service.start({QStringLiteral("--port"), sim.link(), QStringLiteral("--ids"),
                       QStringLiteral("4-4"), QStringLiteral("--listen"),
                       QStringLiteral("127.0.0.1:0"), QStringLiteral("--interval"), PollInterval}));
    QVERIFY(waitAvailable(service, QStringLiteral("/api/units/1/4")));
    QNetworkAccessManager manager;
    const QUrl unit = service.url(QStringLiteral("/api/units/1/4"));
    const QByteArray change = Json({{"section", "low"}, {"parameter", "gain"}, {"value", -4.0}});

    // The port vanishes: the unit is offline and edits are refused.
    sim.stop();
    QVERIFY(WaitUntil(
        [&] {
            const HttpReply list = Http(manager, "GET", service.url(QStringLiteral("/api/units")));
            return !list.json()
                        .value("units")
                        .toArray()
                        .first()
                        .toObject()
                        .value("online")
                        .toBool();
        },
        10000));
    QCOMPARE(Http(manager, "PATCH", unit, change).status, 503);
    QVERIFY(service.running());

    // It comes back: the unit is read again and edits reach it.
    QVERIFY(sim.start());
    QVERIFY(waitAvailable(service, QStringLiteral("/api/units/1/4")));
    const qsizetype from = sim.frames().size();
    QCOMPARE(Http(manager, "PATCH", unit, change).status, 200);
    QVERIFY(WaitUntil([&] { return Writes(sim, from).size() == 1; }, 5000));
    // The units' state file follows the frame log.
    QVERIFY(WaitUntil(
        [&] { return SimImage(sim, 4).gainIndex[Low] == NearestOutputGainIndex(-4.0); }, 5000));
    QVERIFY(service.running());
}

QTEST_GUILESS_MAIN(TestService)
#include "test_service.moc"
