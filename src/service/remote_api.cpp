#include "service/remote_api.h"

#include "dsp/system_response.h"
#include "files/image_report.h"
#include "files/preset_file_format.h"
#include "model/parameter_change.h"
#include "model/preset_names.h"
#include "model/system_settings.h"

#include <QFile>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTcpSocket>
#include <QUrlQuery>

namespace quellaton::service {

namespace {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

QByteArray JsonBytes(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The texts of a path's parts are the client's: they are quoted in errors only shortened.
QString Quoted(const QString& text) {
    return QStringLiteral("\"%1\"").arg(text.left(60));
}

// Equal texts take the same time to compare whatever their contents, so that the time of a
// refusal says nothing of how much of a token was right.
bool SameSecret(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

QByteArray Header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

// The host a request names (its Host header without the port) is this machine's loopback
// address or "localhost".
bool LoopbackHost(const QByteArray& hostHeader) {
    QByteArray host = hostHeader.trimmed();
    if (host.startsWith('[')) {
        host = host.mid(1, host.indexOf(']') - 1);
    } else if (host.count(':') == 1) {
        host = host.left(host.indexOf(':'));
    }
    return host.compare("localhost", Qt::CaseInsensitive) == 0 ||
           QHostAddress(QString::fromLatin1(host)).isLoopback();
}

bool IsWebSocketUpgrade(const QHttpServerRequest& request) {
    return Header(request, "upgrade").compare("websocket", Qt::CaseInsensitive) == 0 &&
           Header(request, "connection").toLower().contains("upgrade");
}

// The web remote's files, compiled into the program.
struct WebFile {
    const char* path;
    const char* resource;
    const char* mimeType;
};
constexpr WebFile WebFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/web/style.css", "text/css; charset=utf-8"},
    {"/api/openapi.json", ":/api/openapi.json", "application/json"},
};

// The section's response is drawn at twelve points per octave, as finely as the page's curve
// needs.
constexpr int ResponsePointsPerOctave = 12;

} // namespace

RemoteApi::RemoteApi(ServedFleet& fleet, QByteArray token, QObject* parent)
    : QAbstractHttpServer(parent), fleet_(fleet), token_(std::move(token)) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &RemoteApi::acceptEventClients);
    FleetStatus& status = fleet_.status();
    connect(&status, &FleetStatus::event, this, [this](const MonitorEvent& e) {
        QJsonObject message = e.json();
        message.insert("type", "monitor");
        for (int unit = 0; unit < fleet_.unitCount(); ++unit) {
            if (fleet_.units()[unit].unit.port == e.unit.port &&
                fleet_.units()[unit].unit.id == e.unit.id) {
                message.insert("line", fleet_.lineOf(unit) + 1);
            }
        }
        broadcast(message);
    });
    connect(&status, &FleetStatus::unitChanged, this, [this](int unit) {
        broadcast({{"type", "unit"}, {"unit", unitJson(unit)}});
    });
    connect(&fleet_, &ServedFleet::parametersRead, this, [this](int unit) {
        QJsonObject message = unitKey(unit);
        message.insert("type", "parameters");
        message.insert("parameters", ReportRowsJson(DescribeImage(fleet_.model(unit).image())));
        broadcast(message);
        broadcast({{"type", "unit"}, {"unit", unitJson(unit)}});
    });
    connect(&fleet_, &ServedFleet::recalled, this, [this](int unit, int preset) {
        QJsonObject message = unitKey(unit);
        message.insert("type", "recall");
        message.insert("preset", preset);
        message.insert("parameters", ReportRowsJson(DescribeImage(fleet_.model(unit).image())));
        broadcast(message);
    });
}

RemoteApi::~RemoteApi() = default;

QJsonObject RemoteApi::unitKey(int unit) const {
    return {{"line", fleet_.lineOf(unit) + 1}, {"id", fleet_.units()[unit].unit.id}};
}

QJsonObject RemoteApi::unitJson(int unit) const {
    const UnitWatch& w = fleet_.units()[unit];
    QJsonObject object = unitKey(unit);
    object.insert("port", w.unit.port);
    object.insert("label", w.unit.label);
    object.insert("online", w.presence == UnitWatch::Presence::Online);
    object.insert("available", fleet_.available(unit));
    object.insert("temperature", w.reported ? QJsonValue(w.temperatureCelsius) : QJsonValue());
    object.insert("temperatureText", w.reported
                                         ? QJsonValue(w.temperatureLabel + QStringLiteral(" °C"))
                                         : QJsonValue());
    object.insert("attenuation", w.reported ? QJsonValue(w.attenuationDb) : QJsonValue());
    object.insert("preset", w.lastLoadedPreset > 0 ? QJsonValue(w.lastLoadedPreset) : QJsonValue());
    object.insert("presetName", w.lastLoadedPreset > 0
                                    ? QJsonValue(LastLoadedPresetName(w.lastLoadedPreset))
                                    : QJsonValue());
    return object;
}

bool RemoteApi::authorised(const QHttpServerRequest& request) const {
    if (token_.isEmpty()) {
        return true;
    }
    const QByteArray given = Header(request, "authorization");
    if (given.size() > 7 && given.left(7).compare("Bearer ", Qt::CaseInsensitive) == 0 &&
        SameSecret(given.mid(7).trimmed(), token_)) {
        return true;
    }
    // A browser cannot give the event stream a header: it may give the token in the query.
    if (request.url().path() == QLatin1String("/api/events") && IsWebSocketUpgrade(request)) {
        return SameSecret(request.query().queryItemValue(QStringLiteral("token")).toUtf8(), token_);
    }
    return false;
}

bool RemoteApi::sameOrigin(const QHttpServerRequest& request) const {
    const QByteArray origin = Header(request, "origin");
    if (origin.isEmpty()) {
        return true; // not sent by a browser on behalf of another page
    }
    const QByteArray host = Header(request, "host");
    return !host.isEmpty() && origin == "http://" + host;
}

// A WebSocket upgrade is taken over by the WebSocket server when this returns true, and
// answered by missingHandler() when it returns false; so a refused upgrade leaves its answer
// for missingHandler() to give.
bool RemoteApi::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QString path = request.url().path();
    const bool api = path.startsWith(QLatin1String("/api/")) || path == QLatin1String("/api");
    const bool upgrade = IsWebSocketUpgrade(request);
    const auto refuse = [&](Status status, const QString& why) {
        const Reply reply{status, "application/json", JsonBytes({{"error", why}})};
        if (upgrade) {
            refusedUpgrades_.insert(socket, reply);
            return false;
        }
        send(request, socket, reply);
        return true;
    };
    // Without a token only this machine is served, and only under its own names: a page
    // whose name someone else's DNS points at this machine is not this service's origin.
    if (token_.isEmpty() && !LoopbackHost(Header(request, "host"))) {
        return refuse(Status::Forbidden, QStringLiteral("without a token this service answers "
                                                        "only to localhost, 127.0.0.1 and [::1]"));
    }
    if (api && path != QLatin1String("/api/openapi.json") && !authorised(request)) {
        return refuse(Status::Unauthorized, QStringLiteral("a valid bearer token is needed"));
    }
    if (!sameOrigin(request)) {
        return refuse(Status::Forbidden, QStringLiteral("requests from other origins are not "
                                                        "accepted"));
    }
    if (path == QLatin1String("/api/events")) {
        if (upgrade && request.method() == Method::Get) {
            return true; // taken over as a WebSocket
        }
        return refuse(Status::UpgradeRequired,
                      QStringLiteral("/api/events is a WebSocket: open it with an upgrade"));
    }
    if (upgrade) {
        return refuse(Status::NotFound, QStringLiteral("only /api/events is a WebSocket"));
    }
    send(request, socket, route(request));
    return true;
}

void RemoteApi::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    const Reply refused = refusedUpgrades_.take(socket);
    if (!refused.body.isEmpty()) {
        send(request, socket, refused);
        return;
    }
    send(request, socket,
         {Status::NotFound, "application/json", JsonBytes({{"error", "not found"}})});
}

void RemoteApi::send(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply) {
    QHttpServerResponder responder = makeResponder(request, socket);
    QHttpServerResponder::HeaderList headers{
        {"Content-Type", reply.mimeType},
        {"X-Content-Type-Options", "nosniff"},
        {"Cache-Control", "no-store"},
        {"Content-Security-Policy",
         "default-src 'self'; connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'"},
        {"Referrer-Policy", "no-referrer"}};
    responder.write(reply.body, headers, reply.status);
}

RemoteApi::Reply RemoteApi::route(const QHttpServerRequest& request) {
    const QString path = request.url().path();
    const auto error = [](Status status, const QString& why) {
        return Reply{status, "application/json", JsonBytes({{"error", why}})};
    };
    const bool read = request.method() == Method::Get;
    for (const WebFile& file : WebFiles) {
        if (path == QLatin1String(file.path)) {
            if (!read) {
                return error(Status::MethodNotAllowed, QStringLiteral("only GET is allowed here"));
            }
            return webFile(path);
        }
    }
    if (path == QLatin1String("/api/units")) {
        if (!read) {
            return error(Status::MethodNotAllowed, QStringLiteral("only GET is allowed here"));
        }
        return units();
    }
    const QString unitsPrefix = QStringLiteral("/api/units/");
    if (path.startsWith(unitsPrefix)) {
        return unitRoute(request, path.mid(unitsPrefix.size()).split(QLatin1Char('/')));
    }
    return error(Status::NotFound, QStringLiteral("no such resource: %1").arg(Quoted(path)));
}

RemoteApi::Reply RemoteApi::unitRoute(const QHttpServerRequest& request, const QStringList& parts) {
    const auto error = [](Status status, const QString& why) {
        return Reply{status, "application/json", JsonBytes({{"error", why}})};
    };
    const Method method = request.method();
    // What each resource of a unit allows.
    const QString resource = parts.value(2);
    QList<Method> allowed;
    if (parts.size() == 2) {
        allowed = {Method::Get, Method::Patch};
    } else if (parts.size() == 3 && resource == QLatin1String("recall")) {
        allowed = {Method::Post};
    } else if (parts.size() == 3 && resource == QLatin1String("preset.sps")) {
        allowed = {Method::Get, Method::Put};
    } else if (parts.size() == 3 && resource == QLatin1String("response")) {
        allowed = {Method::Get};
    } else {
        return error(Status::NotFound, QStringLiteral("no such resource"));
    }
    if (!allowed.contains(method)) {
        return error(Status::MethodNotAllowed,
                     QStringLiteral("this method is not allowed on this resource"));
    }
    if (request.body().size() > MaxBodyBytes) {
        return error(Status::PayloadTooLarge,
                     QStringLiteral("the body is over %1 bytes").arg(MaxBodyBytes));
    }
    bool lineOk = false;
    bool idOk = false;
    const int line = parts[0].toInt(&lineOk);
    const int id = parts[1].toInt(&idOk);
    const int unit = lineOk && idOk ? fleet_.findUnit(line, id) : -1;
    if (unit < 0) {
        return error(
            Status::NotFound,
            QStringLiteral("no unit %1 on line %2").arg(Quoted(parts[1]), Quoted(parts[0])));
    }
    if (method == Method::Patch) {
        return change(unit, request);
    }
    if (resource == QLatin1String("recall")) {
        return recall(unit, request);
    }
    if (method == Method::Put) {
        return loadPresetFile(unit, request);
    }
    if (!fleet_.available(unit)) {
        return unavailable(unit);
    }
    if (resource == QLatin1String("preset.sps")) {
        return presetFile(unit);
    }
    if (resource == QLatin1String("response")) {
        return response(unit, request);
    }
    return parameters(unit);
}

RemoteApi::Reply RemoteApi::unavailable(int unit) const {
    const UnitWatch& w = fleet_.units()[unit];
    const QString why = w.presence == UnitWatch::Presence::Online
                            ? QStringLiteral("ID %1 on line %2 has not been read yet")
                            : QStringLiteral("ID %1 on line %2 is offline");
    return {Status::ServiceUnavailable, "application/json",
            JsonBytes({{"error", why.arg(w.unit.id).arg(fleet_.lineOf(unit) + 1)}})};
}

RemoteApi::Reply RemoteApi::units() const {
    QJsonArray list;
    for (int unit = 0; unit < fleet_.unitCount(); ++unit) {
        list.append(unitJson(unit));
    }
    return {Status::Ok, "application/json", JsonBytes({{"units", list}})};
}

RemoteApi::Reply RemoteApi::parameters(int unit) const {
    QJsonObject object = unitJson(unit);
    object.insert("parameters", ReportRowsJson(DescribeImage(fleet_.model(unit).image())));
    return {Status::Ok, "application/json", JsonBytes(object)};
}

RemoteApi::Reply RemoteApi::change(int unit, const QHttpServerRequest& request) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return {Status::BadRequest, "application/json",
                JsonBytes({{"error", QStringLiteral("the body is not JSON: %1 at %2")
                                         .arg(parseError.errorString())
                                         .arg(parseError.offset)}})};
    }
    const QJsonValue json =
        document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    const ParsedChanges parsed = ParseParameterChanges(json);
    if (!parsed.ok()) {
        return {Status::BadRequest, "application/json", JsonBytes({{"error", parsed.error}})};
    }
    if (!fleet_.available(unit)) {
        return unavailable(unit);
    }
    UnitModel& model = fleet_.model(unit);
    for (const ParameterChange& change : parsed.changes) {
        ApplyParameterChange(model, change);
    }
    // The values as the model set them, named as the reports name them.
    const QList<ReportRow> rows = DescribeImage(model.image());
    QList<ReportRow> set;
    for (const ParameterChange& change : parsed.changes) {
        for (const ReportRow& row : rows) {
            if (row.section == SectionName(change.section) && row.parameter == change.parameter) {
                set.append(row);
            }
        }
    }
    QJsonObject reply = unitKey(unit);
    reply.insert("changes", ReportRowsJson(set));
    QJsonObject message = reply;
    message.insert("type", "parameters");
    broadcast(message);
    return {Status::Ok, "application/json", JsonBytes(reply)};
}

RemoteApi::Reply RemoteApi::recall(int unit, const QHttpServerRequest& request) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parseError);
    const QJsonValue preset = document.object().value(QLatin1String("preset"));
    if (parseError.error != QJsonParseError::NoError || !document.isObject() ||
        document.object().size() != 1 || !preset.isDouble() ||
        preset.toDouble() != double(preset.toInt()) || preset.toInt() < 1 || preset.toInt() > 8) {
        return {Status::BadRequest, "application/json",
                JsonBytes({{"error", QStringLiteral("the body must be {\"preset\": N}, N 1..8")}})};
    }
    if (!fleet_.recall(unit, preset.toInt())) {
        return unavailable(unit);
    }
    QJsonObject reply = unitKey(unit);
    reply.insert("preset", preset.toInt());
    reply.insert("queued", true);
    return {Status::Accepted, "application/json", JsonBytes(reply)};
}

RemoteApi::Reply RemoteApi::presetFile(int unit) const {
    return {Status::Ok, "application/octet-stream", fleet_.presetFileContent(unit)};
}

RemoteApi::Reply RemoteApi::loadPresetFile(int unit, const QHttpServerRequest& request) {
    const SinglePresetText text = ReadSinglePresetText(request.body());
    if (text.status != PresetFileStatus::Ok) {
        return {Status::BadRequest, "application/json",
                JsonBytes({{"error", QStringLiteral("File damaged.")}})};
    }
    if (!fleet_.available(unit)) {
        return unavailable(unit);
    }
    const ServedFleet::PresetWrite write = fleet_.loadPresetFile(unit, text.text);
    QJsonObject reply = unitKey(unit);
    reply.insert("blocks", write.blocks);
    reply.insert("wholeImage", write.wholeImage);
    QJsonObject message = unitKey(unit);
    message.insert("type", "parameters");
    message.insert("parameters", ReportRowsJson(DescribeImage(fleet_.model(unit).image())));
    broadcast(message);
    return {Status::Ok, "application/json", JsonBytes(reply)};
}

RemoteApi::Reply RemoteApi::response(int unit, const QHttpServerRequest& request) const {
    const QString name = request.query().queryItemValue(QStringLiteral("section"));
    int section = -1;
    for (int s = 0; s < SectionCount; ++s) {
        if (name.compare(SectionName(s), Qt::CaseInsensitive) == 0) {
            section = s;
        }
    }
    if (section < 0) {
        return {Status::BadRequest, "application/json",
                JsonBytes({{"error", QStringLiteral("section must be high, mid, low or main")}})};
    }
    const UnitModel& model = fleet_.model(unit);
    SystemResponse curve(OctaveFrequencies(20.0, 20000.0, ResponsePointsPerOctave));
    curve.update(SystemSettingsOf(model.image(), model.bypassRows()));
    const SystemResponse::Row& values = curve.section(section);
    QJsonObject reply = unitKey(unit);
    reply.insert("section", SectionName(section));
    reply.insert("points", ResponsePointsJson(curve.frequencies(), values));
    return {Status::Ok, "application/json", JsonBytes(reply)};
}

RemoteApi::Reply RemoteApi::webFile(const QString& path) const {
    for (const WebFile& file : WebFiles) {
        if (path == QLatin1String(file.path)) {
            QFile resource(QLatin1String(file.resource));
            if (resource.open(QIODevice::ReadOnly)) {
                return {Status::Ok, file.mimeType, resource.readAll()};
            }
        }
    }
    return {Status::NotFound, "application/json", JsonBytes({{"error", "not found"}})};
}

void RemoteApi::acceptEventClients() {
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
        if (!socket) {
            continue;
        }
        // Nothing a client sends is used; a large message is not even collected.
        socket->setMaxAllowedIncomingMessageSize(quint64(MaxBodyBytes));
        socket->setMaxAllowedIncomingFrameSize(quint64(MaxBodyBytes));
        if (clients_.size() >= MaxEventClients) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                          QStringLiteral("too many event clients"));
            socket.release()->deleteLater();
            continue;
        }
        QWebSocket* raw = socket.get();
        // Queued: a client may go while a push is being sent to every client.
        connect(
            raw, &QWebSocket::disconnected, this,
            [this, raw] {
                for (auto it = clients_.begin(); it != clients_.end(); ++it) {
                    if (it->get() == raw) {
                        it->release()->deleteLater();
                        clients_.erase(it);
                        return;
                    }
                }
            },
            Qt::QueuedConnection);
        QJsonArray list;
        for (int unit = 0; unit < fleet_.unitCount(); ++unit) {
            QJsonObject object = unitJson(unit);
            if (fleet_.available(unit)) {
                object.insert("parameters",
                              ReportRowsJson(DescribeImage(fleet_.model(unit).image())));
            }
            list.append(object);
        }
        // The presets a recall can name, as the window names them.
        QJsonArray presets;
        for (int preset = 1; preset <= 8; ++preset) {
            presets.append(QJsonObject{{"preset", preset}, {"name", PresetShortName(preset)}});
        }
        raw->sendTextMessage(QString::fromUtf8(
            JsonBytes({{"type", "snapshot"}, {"units", list}, {"presets", presets}})));
        clients_.push_back(std::move(socket));
    }
}

void RemoteApi::broadcast(const QJsonObject& message) {
    const QString text = QString::fromUtf8(JsonBytes(message));
    for (const auto& client : clients_) {
        client->sendTextMessage(text);
    }
}

} // namespace quellaton::service
