// What is known of many units' state while they are watched: whether each answers, its
// temperature, attenuation and last loaded preset, and the events their changes make. A unit
// goes offline after three polls in a row without an answer (at once when its port vanishes)
// and online when it answers again; its temperature goes over the limit and back, its
// attenuation changes, its last loaded preset changes. Whoever polls the units (the fleet
// monitor, the remote service) reports each answer here.
#pragma once

#include "files/venue_file.h"
#include "protocol/frame_reader.h"
#include "protocol/parameter_image.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace quellaton {

struct WatchedUnit {
    QString port;
    int id = 0;
    QString label;
};

// What the monitor knows of one unit.
struct UnitWatch {
    WatchedUnit unit;
    enum class Presence { Unknown, Online, Offline };
    Presence presence = Presence::Unknown;
    int missedPolls = 0;
    bool reported = false; // a status has come at least once
    int temperatureCelsius = 0;
    QString temperatureLabel;
    bool overTemperature = false;
    int attenuationDb = 0;
    int lastLoadedPreset = 0; // 0 before the first system block
};

struct MonitorEvent {
    enum class Kind { Online, Offline, Temperature, Attenuation, Preset };
    QDateTime time;
    WatchedUnit unit;
    Kind kind = Kind::Online;
    QString detail; // for people: "72 °C, over 70 °C", "3 dB", "Pre2"
    QJsonObject values;

    static QString KindName(Kind kind);
    QString text() const;
    QJsonObject json() const;
};

// The units a venue file names, line by line, with their labels.
QList<WatchedUnit> WatchedUnitsOf(const Venue& venue);
// Every device ID firstId..lastId on each of `ports`.
QList<WatchedUnit> WatchedUnitsOf(const QStringList& ports, int firstId, int lastId);

// The units grouped into lines by port, in order of first appearance: each line's unit indexes.
struct PortGroups {
    QStringList ports;
    QList<QList<int>> members;
};
PortGroups GroupByPort(const QList<WatchedUnit>& units);

class FleetStatus : public QObject {
    Q_OBJECT
public:
    static constexpr int MissedPollsOffline = 3;

    // `maxTemperature`: a unit at that temperature or above is over the limit.
    FleetStatus(QList<WatchedUnit> units, std::optional<int> maxTemperature,
                QObject* parent = nullptr);

    const QList<UnitWatch>& units() const { return watches_; }

    // What a poll of unit `index` brought.
    void statusAnswered(int index, const StatusReply& status);
    void systemAnswered(int index, const SystemValues& system);
    void pollMissed(int index);
    void portGone(int index);

    // The Prometheus text exposition of the units' state (node_exporter's textfile format).
    QByteArray prometheusText() const;

signals:
    void event(const quellaton::MonitorEvent& event);
    // Anything of unit `index` that a view shows changed (presence, temperature,
    // attenuation, last loaded preset).
    void unitChanged(int index);

private:
    void emitEvent(int index, MonitorEvent::Kind kind, const QString& detail,
                   const QJsonObject& values);

    QList<UnitWatch> watches_;
    std::optional<int> maxTemperature_;
};

} // namespace quellaton
