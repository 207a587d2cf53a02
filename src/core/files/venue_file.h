// A venue file: every line of an installation, the units on it and the preset each should hold,
// in one TOML file kept beside the presets it names:
//
//   [venue]
//   name = "Main hall"
//
//   [[line]]
//   port = "/dev/ttyUSB0"             # or tcp://HOST:PORT, rfc2217://HOST:PORT
//
//   [[line.unit]]
//   id = 1
//   label = "Stage left top"
//   tags = ["stage-left", "top"]
//   preset = "presets/top.sps"        # the working set; relative to the venue file
//   slots = "presets/top.fps"         # optional: the 20 preset slots
//
// Reading checks everything before anything is used: unknown keys, values of the wrong type,
// a line without a port, a port named twice, IDs outside 1..254 (255 reaches every unit, so it
// is nobody's ID), an ID twice on one line, and preset files that do not exist. Each error
// names the file, the line in it and the key.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quellaton {

struct VenueUnit {
    int id = 0;
    QString label;
    QStringList tags;
    QString presetPath; // absolute path, or empty when the file names none
    QString slotsPath;  // absolute path, or empty
    int sourceLine = 0;

    bool hasTag(const QString& tag) const { return tags.contains(tag); }
};

struct VenueLine {
    QString port;
    QList<VenueUnit> units;
    int sourceLine = 0;
};

struct Venue {
    QString name;
    QList<VenueLine> lines;
    int unitCount() const;
};

struct VenueError {
    QString file;
    int line = 0; // 0 when the error is about the file as a whole
    QString key;  // dotted path of the key, e.g. "line[2].unit[1].id"
    QString message;
    // "FILE:LINE: KEY: MESSAGE"
    QString text() const;
};

struct VenueRead {
    std::optional<Venue> venue; // only when there is no error
    QList<VenueError> errors;
};

inline constexpr int VenueHighestId = 254;

VenueRead ReadVenueFile(const QString& path);
// The same from text; `path` names it in errors and anchors the relative preset paths.
VenueRead ReadVenueText(const QByteArray& text, const QString& path);

// The TOML text of `venue`. Preset paths are written relative to `folder`, the folder of the
// file the text goes into, where they lie inside it.
QByteArray VenueFileText(const Venue& venue, const QString& folder);

} // namespace quellaton
