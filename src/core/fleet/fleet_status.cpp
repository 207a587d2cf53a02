#include "fleet/fleet_status.h"

#include "model/preset_names.h"

namespace quellaton {

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

QList<WatchedUnit> WatchedUnitsOf(const Venue& venue) {
    QList<WatchedUnit> units;
    for (const VenueLine& line : venue.lines) {
        for (const VenueUnit& unit : line.units) {
            units.append(WatchedUnit{line.port, unit.id, unit.label});
        }
    }
    return units;
}

QList<WatchedUnit> WatchedUnitsOf(const QStringList& ports, int firstId, int lastId) {
    QList<WatchedUnit> units;
    for (const QString& port : ports) {
        for (int id = firstId; id <= lastId; ++id) {
            units.append(WatchedUnit{port, id, {}});
        }
    }
    return units;
}

PortGroups GroupByPort(const QList<WatchedUnit>& units) {
    PortGroups groups;
    for (qsizetype i = 0; i < units.size(); ++i) {
        qsizetype line = groups.ports.indexOf(units[i].port);
        if (line < 0) {
            groups.ports.append(units[i].port);
            groups.members.append(QList<int>{});
            line = groups.ports.size() - 1;
        }
        groups.members[line].append(int(i));
    }
    return groups;
}

FleetStatus::FleetStatus(QList<WatchedUnit> units, std::optional<int> maxTemperature,
                         QObject* parent)
    : QObject(parent), maxTemperature_(maxTemperature) {
    for (const WatchedUnit& unit : units) {
        UnitWatch watch;
        watch.unit = unit;
        watches_.append(watch);
    }
}

void FleetStatus::emitEvent(int index, MonitorEvent::Kind kind, const QString& detail,
                            const QJsonObject& values) {
    MonitorEvent e;
    e.time = QDateTime::currentDateTimeUtc();
    e.unit = watches_[index].unit;
    e.kind = kind;
    e.detail = detail;
    e.values = values;
    emit event(e);
}

void FleetStatus::statusAnswered(int index, const StatusReply& status) {
    UnitWatch& w = watches_[index];
    const UnitWatch before = w;
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
    if (before.presence != w.presence || before.temperatureLabel != w.temperatureLabel ||
        before.attenuationDb != w.attenuationDb || !before.reported) {
        emit unitChanged(index);
    }
}

void FleetStatus::systemAnswered(int index, const SystemValues& system) {
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
        emit unitChanged(index);
    }
}

void FleetStatus::pollMissed(int index) {
    UnitWatch& w = watches_[index];
    w.missedPolls += 1;
    if (w.missedPolls >= MissedPollsOffline && w.presence != UnitWatch::Presence::Offline) {
        w.presence = UnitWatch::Presence::Offline;
        emitEvent(index, MonitorEvent::Kind::Offline,
                  QStringLiteral("(%1 polls unanswered)").arg(w.missedPolls),
                  {{"missedPolls", w.missedPolls}});
        emit unitChanged(index);
    }
}

void FleetStatus::portGone(int index) {
    UnitWatch& w = watches_[index];
    w.missedPolls = std::max(w.missedPolls, MissedPollsOffline);
    if (w.presence != UnitWatch::Presence::Offline) {
        w.presence = UnitWatch::Presence::Offline;
        emitEvent(index, MonitorEvent::Kind::Offline, QStringLiteral("(port gone)"),
                  {{"portGone", true}});
        emit unitChanged(index);
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

QByteArray FleetStatus::prometheusText() const {
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
