// Starts quellaton-unit-sim on a temporary link for a test and reads what it logged and
// stored. The simulator's path comes from QUELLATON_UNIT_SIM.
#pragma once

#include "process_stop.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class SimProcess {
public:
    explicit SimProcess(QString ids = QStringLiteral("1"), QStringList extraArgs = {})
        : ids_(std::move(ids)), extraArgs_(std::move(extraArgs)) {}
    ~SimProcess() { stop(); }

    const QString& ids() const { return ids_; }
    // The options of the next start() (a unit that comes back without the fault it had).
    void setExtraArgs(QStringList extraArgs) { extraArgs_ = std::move(extraArgs); }

    bool start() {
        const QString program = qEnvironmentVariable("QUELLATON_UNIT_SIM");
        if (program.isEmpty() || !dir_.isValid()) {
            return false;
        }
        QStringList args = {
            QStringLiteral("--link"), link(),    QStringLiteral("--ids"),   ids_,
            QStringLiteral("--log"),  logPath(), QStringLiteral("--state"), statePath()};
        args += extraArgs_;
        process_.setProgram(program);
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        if (!process_.waitForStarted(5000)) {
            return false;
        }
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (process_.canReadLine() && process_.readLine().trimmed() == "ready") {
                return true;
            }
            process_.waitForReadyRead(100);
        }
        return false;
    }

    void stop() { TerminateProcess(process_); }

    bool running() const { return process_.state() == QProcess::Running; }
    bool waitForExit(int ms) { return process_.waitForFinished(ms); }

    QString link() const { return dir_.filePath(QStringLiteral("line")); }
    QString logPath() const { return dir_.filePath(QStringLiteral("frames.log")); }
    QString statePath() const { return dir_.filePath(QStringLiteral("units.state")); }
    QString dirPath() const { return dir_.path(); }

    // Every frame the units received so far, one upper-case hex text each.
    QList<QByteArray> frames() const {
        QList<QByteArray> hex;
        for (const TimedFrame& frame : timedFrames()) {
            hex.append(frame.hex);
        }
        return hex;
    }

    // A received frame with its time on the line (with --realtime): one range of ms since the
    // simulator started for each stretch that reached the line without a pause.
    struct Stretch {
        double start = 0;
        double end = 0;
    };
    struct TimedFrame {
        QByteArray hex;
        QList<Stretch> stretches;
        double start() const { return stretches.isEmpty() ? 0 : stretches.first().start; }
        double end() const { return stretches.isEmpty() ? 0 : stretches.last().end; }
    };
    QList<TimedFrame> timedFrames() const {
        QFile file(logPath());
        QList<TimedFrame> frames;
        if (!file.open(QIODevice::ReadOnly)) {
            return frames;
        }
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.trimmed().split(' ');
            if (fields.first().isEmpty()) {
                continue;
            }
            TimedFrame frame;
            frame.hex = fields.first();
            for (const QByteArray& field : fields.mid(1)) {
                const QList<QByteArray> range = field.split('-');
                if (range.size() == 2) {
                    frame.stretches.append({range[0].toDouble(), range[1].toDouble()});
                }
            }
            frames.append(frame);
        }
        return frames;
    }

    // Frames received whose bytes 4..6 (command, index, block) read as `header` hex text
    // (for example "A2002B" for status polls).
    QList<QByteArray> framesWith(const QByteArray& header) const {
        QList<QByteArray> out;
        for (const QByteArray& f : frames()) {
            if (f.mid(8, header.size()) == header) {
                out.append(f);
            }
        }
        return out;
    }

    void clearLog() const {
        QFile file(logPath());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }

    // A value of the state file: "unit 1 image", "unit 1 slot 3", "unit 1 name 7", ...
    QByteArray stateValue(const QString& key) const {
        QFile file(statePath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        for (const QByteArray& line : file.readAll().split('\n')) {
            const int at = line.lastIndexOf(' ');
            if (at > 0 && QString::fromLatin1(line.left(at)) == key) {
                return line.mid(at + 1).trimmed();
            }
        }
        return {};
    }
    QByteArray unitImage(int id) const {
        return QByteArray::fromHex(stateValue(QStringLiteral("unit %1 image").arg(id)));
    }
    QByteArray unitSlot(int id, int slot) const {
        return QByteArray::fromHex(stateValue(QStringLiteral("unit %1 slot %2").arg(id).arg(slot)));
    }
    QByteArray unitName(int id, int slot) const {
        return QByteArray::fromHex(stateValue(QStringLiteral("unit %1 name %2").arg(id).arg(slot)));
    }

private:
    QString ids_;
    QStringList extraArgs_;
    QTemporaryDir dir_;
    QProcess process_;
};
