// The units of many lines served to remote clients: each line's port is owned here, and every
// request for a line goes through the one session of that line, one exchange at a time, so the
// frames of two clients never interleave.
//
// Each unit has a model of its own, read from the unit when it first answers. A client edits a
// unit through its model (whose setters limit and snap every value); the blocks it edited wait
// in the unit's pending set and leave through the line's send queue, as live edits leave the
// window: a block edited again before it has gone leaves once, with its latest values.
// Between those writes the line polls every unit's status and system block once an interval,
// recalls presets and writes preset files. A port that vanishes marks its units offline; it is
// opened again every interval, and the units are read again once they answer.
#pragma once

#include "files/preset_document.h"
#include "fleet/fleet_status.h"
#include "model/unit_model.h"
#include "operations/unit_session.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace quellaton {

class ServedFleet : public QObject {
    Q_OBJECT
public:
    // How a preset file was brought to a unit.
    struct PresetWrite {
        int blocks = 0;          // blocks queued
        bool wholeImage = false; // bytes no block carries differ: the whole image is written
    };

    ServedFleet(QList<WatchedUnit> units, int pollIntervalMs, QObject* parent = nullptr);
    ~ServedFleet() override;

    void start();

    FleetStatus& status() { return status_; }
    const QList<UnitWatch>& units() const { return status_.units(); }
    int unitCount() const { return int(status_.units().size()); }
    // The ports of the lines: line n (counted from 1) is ports()[n - 1].
    const QStringList& ports() const { return ports_; }
    int lineOf(int unit) const { return lineOfUnit_[std::size_t(unit)]; }
    // The unit with device ID `id` on line `line` (from 1), or -1.
    int findUnit(int line, int id) const;
    // The unit answers and its parameters have been read: it can be shown and edited.
    bool available(int unit) const;
    // The unit's parameters. Edits made through the model's setters go to the unit.
    UnitModel& model(int unit) { return *units_[std::size_t(unit)].model; }
    // The session of line `line` (from 0): its link and send queue.
    UnitSession& session(int line);

    // Recalls preset 1..8 on the unit; recalled() once it has been loaded and its parameters
    // are in the model. False when the unit is not available.
    bool recall(int unit, int preset);
    // The unit's working set as a preset file: its parameters as edited, in the frame it was
    // read in (bytes the program does not interpret are kept).
    QByteArray presetFileContent(int unit) const;
    // Brings the preset file `imageText` (a checked image text) to the unit: the model takes
    // its parameters at once, the blocks that differ go through the send queue, and when bytes
    // differ that no block carries, the whole image is written instead.
    PresetWrite loadPresetFile(int unit, const QByteArray& imageText);

signals:
    // The unit's parameters were read from it (when it first answered, or again after it was
    // gone or had recalled a preset).
    void parametersRead(int unit);
    // Preset `preset` was recalled on the unit; its parameters are in the model.
    void recalled(int unit, int preset);

private:
    class Line;
    friend class Line;

    struct Unit {
        std::unique_ptr<UnitModel> model;
        OpenedPreset base; // the frame last read from the unit or loaded from a file
        bool read = false; // the parameters have been read
        bool readQueued = false;
        quint64 edits = 0; // edits counted, so that a read started before one does not undo it
    };

    FleetStatus status_;
    QStringList ports_;
    std::vector<int> lineOfUnit_;
    std::vector<Unit> units_;
    std::vector<std::unique_ptr<Line>> lines_;
};

} // namespace quellaton
