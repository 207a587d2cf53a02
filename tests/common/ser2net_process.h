// A real serial device server (ser2net) on the loopback address in front of a line, for the
// network tests: raw TCP or telnet with RFC 2217, on a free port.
#pragma once

#include "process_stop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class Ser2netProcess {
public:
    enum class Mode { Raw, Rfc2217 };

    ~Ser2netProcess() { stop(); }

    static QString program() {
        QString path = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
        if (path.isEmpty()) {
            path = QStandardPaths::findExecutable(
                QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        }
        return path;
    }

    // Serves `device` (a terminal device path; links are followed) at 9600 8N1, on `port` or
    // (0) a free one.
    bool start(const QString& device, Mode mode, quint16 port = 0) {
        const QString tty = QFileInfo(device).canonicalFilePath();
        if (program().isEmpty() || tty.isEmpty() || !dir_.isValid()) {
            return false;
        }
        if (port == 0) {
            QTcpServer probe; // a free port
            if (!probe.listen(QHostAddress::LocalHost)) {
                return false;
            }
            port = probe.serverPort();
        }
        port_ = port;
        mode_ = mode;
        const QString accepter = mode == Mode::Raw
                                     ? QStringLiteral("tcp,127.0.0.1,%1")
                                     : QStringLiteral("telnet(rfc2217),tcp,127.0.0.1,%1");
        QFile config(dir_.filePath(QStringLiteral("ser2net.yaml")));
        if (!config.open(QIODevice::WriteOnly)) {
            return false;
        }
        config.write(QStringLiteral("connection: &line\n"
                                    "  accepter: %1\n"
                                    "  connector: serialdev,%2,9600n81,local\n"
                                    "  options:\n"
                                    "    kickolduser: true\n")
                         .arg(accepter.arg(port_), tty)
                         .toUtf8());
        config.close();
        process_.setProgram(program());
        process_.setArguments({QStringLiteral("-n"), QStringLiteral("-c"), config.fileName(),
                               QStringLiteral("-P"), dir_.filePath(QStringLiteral("pid"))});
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start();
        if (!process_.waitForStarted(5000)) {
            return false;
        }
        // Ready once it accepts connections.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            if (socket.waitForConnected(200)) {
                socket.abort();
                QTest::qWait(200); // let it settle before the real client comes
                return true;
            }
            QTest::qWait(50);
        }
        return false;
    }

    void stop() { TerminateProcess(process_); }

    QString url() const {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(mode_ == Mode::Raw ? QStringLiteral("tcp") : QStringLiteral("rfc2217"))
            .arg(port_);
    }
    quint16 port() const { return port_; }
    QByteArray output() { return process_.readAll(); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    Mode mode_ = Mode::Raw;
};
