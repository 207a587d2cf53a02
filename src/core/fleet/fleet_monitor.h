// Watching many units during a show: every line at once, every unit of a line in turn, asked
// for its status and system block once a round, a round every interval. What changes becomes
// an event: a unit goes offline after three polls in a row without an answer and online when
// it answers again, its temperature goes over the limit and back, its attenuation changes, its
// last loaded preset changes. A port that vanishes marks its units offline at once and is
// opened again every interval until it is back.
#pragma once

#include "fleet/fleet_status.h"
#include "operations/unit_session.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace quellaton {

class FleetMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int MissedPollsOffline = FleetStatus::MissedPollsOffline;
    // A unit answers a poll within a few tens of milliseconds; a poll waits at most this long,
    // and never longer than half the interval, so that three missed polls take three rounds.
    static constexpr int ReplyTimeoutMs = 1000;
    static int ReplyTimeoutFor(int intervalMs) {
        return std::clamp(intervalMs / 2, 50, ReplyTimeoutMs);
    }

    // `units` in the order they are reported; lines are formed by port, in order of first
    // appearance. `maxTemperature`: a unit at that temperature or above is over the limit.
    FleetMonitor(QList<WatchedUnit> units, int intervalMs, std::optional<int> maxTemperature,
                 QObject* parent = nullptr);
    ~FleetMonitor() override;

    void start();
    const QList<UnitWatch>& units() const { return status_.units(); }
    int intervalMs() const { return intervalMs_; }

    // The Prometheus text exposition of the units' state (node_exporter's textfile format).
    QByteArray prometheusText() const { return status_.prometheusText(); }

signals:
    void event(const quellaton::MonitorEvent& event);
    // A line finished a round of polls (or found its port gone).
    void roundFinished();

private:
    class LineWatcher;
    friend class LineWatcher;

    FleetStatus status_;
    int intervalMs_;
    std::vector<std::unique_ptr<LineWatcher>> lines_;
};

} // namespace quellaton
