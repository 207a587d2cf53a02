// The units over HTTP and WebSocket: the API under /api/ (its OpenAPI document at
// /api/openapi.json), the event stream at /api/events and the web remote's files at /. Every
// answer of the API is JSON, errors too ({"error": "..."}); requests with a body over 64 KiB,
// bad JSON, unknown units and offline units are refused before anything reaches a line.
//
// Access: with a token, every API request and the event stream must carry
// "Authorization: Bearer TOKEN" (a browser's event stream, which cannot set headers, may give
// it as ?token=). Without a token only requests naming localhost or a loopback address as
// their host are served. No cross-origin access is granted: no CORS headers are sent, and a
// request whose Origin is not this service's own is refused, so that a web page elsewhere
// cannot make a browser change the units.
#pragma once

#include "fleet/served_fleet.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QHttpServerResponder>
#include <QJsonObject>
#include <QList>
#include <QWebSocket>

#include <memory>
#include <vector>

namespace quellaton::service {

class RemoteApi : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qsizetype MaxBodyBytes = 64 * 1024;
    // Event clients at once; more are turned away, so that each push stays cheap.
    static constexpr std::size_t MaxEventClients = 64;

    // `token` empty: no token is asked for.
    RemoteApi(ServedFleet& fleet, QByteArray token, QObject* parent = nullptr);
    ~RemoteApi() override;

    int eventClientCount() const { return int(clients_.size()); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Reply {
        QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok;
        QByteArray mimeType = "application/json";
        QByteArray body;
    };

    Reply route(const QHttpServerRequest& request);
    Reply unitRoute(const QHttpServerRequest& request, const QStringList& parts);
    // 503: the unit is offline, or online and not read yet.
    Reply unavailable(int unit) const;
    Reply units() const;
    Reply parameters(int unit) const;
    Reply change(int unit, const QHttpServerRequest& request);
    Reply recall(int unit, const QHttpServerRequest& request);
    Reply presetFile(int unit) const;
    Reply loadPresetFile(int unit, const QHttpServerRequest& request);
    Reply response(int unit, const QHttpServerRequest& request) const;
    Reply webFile(const QString& path) const;

    bool authorised(const QHttpServerRequest& request) const;
    bool sameOrigin(const QHttpServerRequest& request) const;
    void send(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply);

    QJsonObject unitJson(int unit) const;
    QJsonObject unitKey(int unit) const;
    void acceptEventClients();
    void broadcast(const QJsonObject& message);

    ServedFleet& fleet_;
    QByteArray token_;
    std::vector<std::unique_ptr<QWebSocket>> clients_;
    // The answer to a WebSocket upgrade refused, until missingHandler() gives it.
    QHash<QTcpSocket*, Reply> refusedUpgrades_;
};

} // namespace quellaton::service
