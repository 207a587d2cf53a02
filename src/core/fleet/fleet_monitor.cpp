#include "fleet/fleet_monitor.h"

#include "link/port_list.h"
#include "model/preset_names.h"

#include <QJsonDocument>

namespace quellaton {

// One line: its port, opened once and again whenever it has gone, and a round of polls over
// its units every interval. A round that takes longer than the interval is followed by the
// next at once.
class FleetMonitor::LineWatcher : public QObject {
public:
    enum class State { Closed, Opening, Polling, Resting };

    LineWatcher(FleetMonitor& monitor, QString port, QList<int> units, int intervalMs)
        : monitor_(monitor), port_(std::move(port)), units_(std::move(units)) {
        interval_.setInterval(intervalMs);
        connect(&interval_, &QTimer::timeout, this, &LineWatcher::tick);
        SerialDriver& driver = session_.link().driver();
        connect(&driver, &SerialDriver::openFinished, this, &LineWatcher::opened);
        connect(&driver, &SerialDriver::stateChanged, this,
                [this](SerialDriver::DriverState state) {
                    if (state == SerialDriver::DriverState::Broken) {
                        portLost();
                    }
                });
    }

    ~LineWatcher() override {
        session_.abortAll();
        session_.link().driver().ClosePort();
    }

    void start() {
        interval_.start();
        open();
    }

private:
    void tick() {
        switch (state_) {
        case State::Closed:
            open();
            break;
        case State::Resting:
            startRound();
            break;
        case State::Opening:
        case State::Polling:
            roundDue_ = true;
            break;
        }
    }

    void open() {
        state_ = State::Opening;
        SerialDriver& driver = session_.link().driver();
        driver.OpenPort(ResolvePort(port_, FillPortList({})).location);
        if (!driver.opening()) {
            opened(driver.PortOpen());
        }
    }

    void opened(bool ok) {
        if (state_ != State::Opening) {
            return;
        }
        if (!ok) {
            portLost();
            return;
        }
        session_.link().driver().StartWatcher();
        startRound();
    }

    void startRound() {
        roundDue_ = false;
        state_ = State::Polling;
        next_ = 0;
        pollNext();
    }

    void pollNext() {
        if (state_ != State::Polling) {
            return;
        }
        if (next_ >= units_.size()) {
            state_ = State::Resting;
            emit monitor_.roundFinished();
            if (roundDue_) {
                QMetaObject::invokeMethod(this, &LineWatcher::startRound, Qt::QueuedConnection);
            }
            return;
        }
        const int index = units_[next_];
        session_.address().setDeviceId(monitor_.watches_[index].unit.id);
        Request* status = session_.readStatus(ReplyTimeoutFor(interval_.interval()));
        connect(status, &Operation::finished, this, [this, status, index](Operation::Result r) {
            if (r == Operation::Result::Done) {
                monitor_.statusAnswered(index, status->reply().status);
                askSystem(index);
                return;
            }
            if (r == Operation::Result::TimedOut) {
                monitor_.pollMissed(index);
                advance();
            }
            // PortLost: the driver's state change has ended the round already.
        });
        status->start();
    }

    void askSystem(int index) {
        Request* system = session_.readSystem(ReplyTimeoutFor(interval_.interval()));
        connect(system, &Operation::finished, this, [this, system, index](Operation::Result r) {
            if (r == Operation::Result::Done) {
                monitor_.systemAnswered(index, system->reply().system);
            }
            if (r != Operation::Result::PortLost && r != Operation::Result::Aborted) {
                advance();
            }
        });
        system->start();
    }

    void advance() {
        next_ += 1;
        // From the event loop: the request that ended is still on the stack.
        QMetaObject::invokeMethod(this, &LineWatcher::pollNext, Qt::QueuedConnection);
    }

    void portLost() {
        if (state_ == State::Closed) {
            return;
        }
        state_ = State::Closed;
        session_.abortAll();
        session_.link().driver().ClosePort();
        for (const int index : std::as_const(units_)) {
            monitor_.portGone(index);
        }
        emit monitor_.roundFinished();
    }

    FleetMonitor& monitor_;
    QString port_;
    QList<int> units_;
    UnitSession session_;
    QTimer interval_;
    State state_ = State::Closed;
    int next_ = 0;
    bool roundDue_ = false;
};

QString MonitorEvent::KindName(Kind kind) {
    switch (kind) {
    case Kind::Online:
        return QStringLiteral("online");
    case Kind::Offline:
        return QStringLiteral("offline");
    case Kind::Temperature:
        return QStringLiteral("temperature");
    case Kind::Attenuation:
        return QStringLiteral("attenuation");
    case Kind::Preset:
        return QStringLiteral("preset");
    }
    return {};
}

QString MonitorEvent::text() const {
    QString line = QStringLiteral("%1  %2  ID %3")
                       .arg(time.toString(Qt::ISODate), unit.port, QString::number(unit.id));
    if (!unit.label.isEmpty()) {
        line += QStringLiteral("  \"%1\"").arg(unit.label);
    }
    line += QStringLiteral("  ") + KindName(kind);
    if (!detail.isEmpty()) {
        line += QLatin1Char(' ') + detail;
    }
    return line;
}

QJsonObject MonitorEvent::json() const {
    QJsonObject object{{"time", time.toString(Qt::ISODate)},
                       {"port", unit.port},
                       {"id", unit.id},
                       {"label", unit.label},
                       {"event", KindName(kind)}};
    for (auto it = values.begin(); it != values.end(); ++it) {
        object.insert(it.key(), it.value());
    }
    return object;
}

FleetMonitor::FleetMonitor(QList<WatchedUnit> units, int intervalMs,
                           std::optional<int> maxTemperature, QObject* parent)
    : QObject(parent), intervalMs_(intervalMs), maxTemperature_(maxTemperature) {
    QStringList ports;
    QList<QList<int>> members;
    for (const WatchedUnit& unit : units) {
        UnitWatch watch;
        watch.unit = unit;
        watches_.append(watch);
        qsizetype line = ports.indexOf(unit.port);
        if (line < 0) {
            ports.append(unit.port);
            members.append(QList<int>{});
            line = ports.size() - 1;
        }
        members[line].append(int(watches_.size() - 1));
    }
    for (qsizetype i = 0; i < ports.size(); ++i) {
        lines_.push_back(std::make_unique<LineWatcher>(*this, ports[i], members[i], intervalMs));
    }
}

FleetMonitor::~FleetMonitor() = default;

void FleetMonitor::start() {
    for (auto& line : lines_) {
        line->start();
    }
}

void FleetMonitor::emitEvent(int index, MonitorEvent::Kind kind, const QString& detail,
                             const QJsonObject& values) {
    MonitorEvent e;
    e.time = QDateTime::currentDateTimeUtc();
    e.unit = watches_[index].unit;
    e.kind = kind;
    e.detail = detail;
    e.values = values;
    emit event(e);
}

void FleetMonitor::statusAnswered(int index, const StatusReply& status) {
    UnitWatch& w = watches_[index];
    w.missedPolls = 0;
    if (w.presence != UnitWatch::Presence::Online) {
        w.presence = UnitWatch::Presence::Online;
        emitEvent(index, MonitorEvent::Kind::Online, {}, {});
    }
    const int celsius = status.temperatureCelsius();
    const bool first = !w.reported;
    if (!first && status.attenuationDb != w.attenuationDb) {
        emitEvent(
            index, MonitorEvent::Kind::Attenuation,
            QStringLiteral("%1 dB (was %2 dB)").arg(status.attenuationDb).arg(w.attenuationDb),
            {{"attenuation", status.attenuationDb}, {"previous", w.attenuationDb}});
    }
    w.reported = true;
    w.temperatureCelsius = celsius;
    w.temperatureLabel = status.temperatureLabel.trimmed();
    w.attenuationDb = status.attenuationDb;
    if (maxTemperature_) {
        const bool over = celsius >= *maxTemperature_;
        if (over != w.overTemperature) {
            w.overTemperature = over;
            emitEvent(index, MonitorEvent::Kind::Temperature,
                      QStringLiteral("%1 °C, %2 %3 °C")
                          .arg(w.temperatureLabel)
                          .arg(over ? QStringLiteral("at or over") : QStringLiteral("back under"))
                          .arg(*maxTemperature_),
                      {{"temperature", celsius}, {"over", over}, {"limit", *maxTemperature_}});
        }
    }
}

void FleetMonitor::systemAnswered(int index, const SystemValues& system) {
    UnitWatch& w = watches_[index];
    if (system.lastLoadedPreset != w.lastLoadedPreset) {
        const int previous = w.lastLoadedPreset;
        w.lastLoadedPreset = system.lastLoadedPreset;
        const QString name = LastLoadedPresetName(system.lastLoadedPreset);
        QJsonObject values{{"preset", system.lastLoadedPreset}, {"name", name}};
        if (previous != 0) {
            values.insert("previous", previous);
        }
        emitEvent(index, MonitorEvent::Kind::Preset, name, values);
    }
}

void FleetMonitor::pollMissed(int index) {
    UnitWatch& w = watches_[index];
    w.missedPolls += 1;
    if (w.missedPolls >= MissedPollsOffline && w.presence != UnitWatch::Presence::Offline) {
        w.presence = UnitWatch::Presence::Offline;
        emitEvent(index, MonitorEvent::Kind::Offline,
                  QStringLiteral("(%1 polls unanswered)").arg(w.missedPolls),
                  {{"missedPolls", w.missedPolls}});
    }
}

void FleetMonitor::portGone(int index) {
    UnitWatch& w = watches_[index];
    w.missedPolls = std::max(w.missedPolls, MissedPollsOffline);
    if (w.presence != UnitWatch::Presence::Offline) {
        w.presence = UnitWatch::Presence::Offline;
        emitEvent(index, MonitorEvent::Kind::Offline, QStringLiteral("(port gone)"),
                  {{"portGone", true}});
    }
}

namespace {

QString LabelValue(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return out;
}

} // namespace

QByteArray FleetMonitor::prometheusText() const {
    struct Metric {
        const char* name;
        const char* help;
    };
    const Metric up{"quellaton_unit_up", "1 while the unit answers its status polls, else 0."};
    const Metric temperature{"quellaton_unit_temperature_celsius",
                             "The unit's temperature as it reports it (70 stands for 70 or above, "
                             "10 for 10 or below)."};
    const Metric attenuation{"quellaton_unit_attenuation_db",
                             "The attenuation the unit reports, in dB."};
    auto labels = [](const UnitWatch& w) {
        return QStringLiteral("{port=\"%1\",id=\"%2\",label=\"%3\"}")
            .arg(LabelValue(w.unit.port))
            .arg(w.unit.id)
            .arg(LabelValue(w.unit.label));
    };
    QString text;
    auto header = [&](const Metric& m) {
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n")
                    .arg(QLatin1String(m.name), QLatin1String(m.help));
    };
    header(up);
    for (const UnitWatch& w : watches_) {
        text += QLatin1String(up.name) + labels(w) +
                (w.presence == UnitWatch::Presence::Online ? QStringLiteral(" 1\n")
                                                           : QStringLiteral(" 0\n"));
    }
    header(temperature);
    for (const UnitWatch& w : watches_) {
        if (w.reported) {
            text += QLatin1String(temperature.name) + labels(w) +
                    QStringLiteral(" %1\n").arg(w.temperatureCelsius);
        }
    }
    header(attenuation);
    for (const UnitWatch& w : watches_) {
        if (w.reported) {
            text += QLatin1String(attenuation.name) + labels(w) +
                    QStringLiteral(" %1\n").arg(w.attenuationDb);
        }
    }
    return text.toUtf8();
}

} // namespace quellaton
