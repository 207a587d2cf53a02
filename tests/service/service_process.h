// Starts quellatond for a test (its path comes from QUELLATOND), learns the port it listens
// on, and makes HTTP requests and WebSocket connections to it.
#pragma once

#include "process_stop.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWebSocket>

#include <memory>

class ServiceProcess {
public:
    ~ServiceProcess() { stop(); }

    // Starts it with `args` and waits until it listens; false when it did not.
    bool start(const QStringList& args) {
        process_.setProgram(qEnvironmentVariable("QUELLATOND"));
        process_.setArguments(args);
        process_.start();
        if (!process_.waitForStarted(5000)) {
            return false;
        }
        static const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/)"));
        QDeadlineTimer deadline(10000);
        QByteArray out;
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            process_.waitForReadyRead(50);
            out += process_.readAllStandardOutput();
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(out));
            if (match.hasMatch()) {
                base_ = match.captured(1);
                return true;
            }
        }
        return false;
    }

    // Runs it to its end (for options it refuses): the exit status, its stderr in `err`.
    int runToEnd(const QStringList& args, QByteArray* err = nullptr) {
        process_.setProgram(qEnvironmentVariable("QUELLATOND"));
        process_.setArguments(args);
        process_.start();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(2000);
            return -1;
        }
        if (err) {
            *err = process_.readAllStandardError();
        }
        return process_.exitCode();
    }

    void stop() { TerminateProcess(process_); }

    bool running() const { return process_.state() == QProcess::Running; }
    int exitCode() const { return process_.exitCode(); }
    QProcess& process() { return process_; }
    // "http://127.0.0.1:PORT/"
    const QString& base() const { return base_; }
    QUrl url(const QString& path) const { return QUrl(base_ + path.mid(1)); }

private:
    QProcess process_;
    QString base_;
};

struct HttpReply {
    int status = 0;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// One request and its whole answer (a client of its own: the tests' clients are
// independent).
inline HttpReply Http(QNetworkAccessManager& manager, const QByteArray& method, const QUrl& url,
                      const QByteArray& body = {},
                      const QList<std::pair<QByteArray, QByteArray>>& headers = {}) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    for (const auto& [name, value] : headers) {
        request.setRawHeader(name, value);
    }
    std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(request, method, body));
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 20000)) {
        return {};
    }
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

inline QByteArray Json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
