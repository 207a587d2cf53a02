#include "cli/cli_commands.h"

#include "files/image_report.h"
#include "files/preset_file_format.h"
#include "link/port_list.h"
#include "protocol/frames.h"
#include "protocol/receive_parser.h"
#include "transfers/line_scan.h"
#include "transfers/unit_session.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <functional>

namespace quellaton::cli {

namespace {

const char* const PresetPrefixes[8] = {
    "Pre0:", "Pre1:", "Pre2:", "Pre3:", "Pre4:", "Pre5:", "Usr6:", "Usr7:"};

// A port as the user named it: an item of the port list (by its name or location), a
// network port, or a device path the system does not list.
PortEntry ResolvePort(const QString& given, const PortList& listed) {
    for (const PortEntry& entry : listed) {
        if (entry.name == given || entry.location == given) {
            return entry;
        }
    }
    // A path the system does not list; a relative one is taken from the working folder, not
    // from /dev.
    const QFileInfo file(given);
    return PortEntry{given, file.exists() ? file.absoluteFilePath() : given};
}

QString NameText(const QByteArray& name) {
    const qsizetype end = name.indexOf('\0');
    return QString::fromLatin1(end < 0 ? name : name.left(end));
}

// Reports why a session's request failed, as one line, and gives the exit status.
int Failed(const UnitSession& session, const Invocation& in) {
    const QString where = in.ports.value(0);
    switch (session.failure()) {
    case UnitSession::Failure::PortUnavailable:
        PrintError(QStringLiteral("cannot open ") + session.portError());
        break;
    case UnitSession::Failure::PortLost:
        PrintError(QStringLiteral("lost the line on %1 while talking to ID %2")
                       .arg(where)
                       .arg(in.id > 0 ? QString::number(in.id) : QStringLiteral("255")));
        break;
    case UnitSession::Failure::NoReply:
    case UnitSession::Failure::None:
        PrintError(QStringLiteral("no reply from ID %1 on %2").arg(in.id).arg(where));
        break;
    }
    return LineFailed;
}

// Opens the unit's line and runs `exchange` on it, with a progress bar labelled `label` (none
// when null); gives the exit status.
int WithUnit(const Invocation& in, int address, const char* label,
             const std::function<bool(UnitSession&, const UnitSession::Progress&)>& exchange) {
    UnitSession session(ResolvePort(in.ports.value(0), FillPortList({})).location, address);
    Invocation where = in;
    where.id = address == BroadcastAddress ? BroadcastAddress : in.id;
    if (!session.open()) {
        return Failed(session, where);
    }
    bool done = false;
    if (label) {
        ProgressBar bar{QString::fromLatin1(label)};
        done = exchange(session, [&](int step, int total) { bar.show(step, total); });
    } else {
        done = exchange(session, {});
    }
    return done ? Done : Failed(session, where);
}

int DamagedFileError(const QString& path) {
    PrintError(QStringLiteral("File damaged.: ") + path);
    return DamagedFile;
}

bool IsAllPresetsPath(const QString& path) {
    return QFileInfo(path).suffix().compare(QStringLiteral("fps"), Qt::CaseInsensitive) == 0;
}

int WriteFileOrFail(const QString& path, const QList<QByteArray>& lines) {
    QString why;
    if (!WritePresetFile(path, lines, &why)) {
        PrintError(QStringLiteral("cannot write %1: %2").arg(path, why));
        return LineFailed;
    }
    return Done;
}

QJsonArray RowsJson(const QList<ReportRow>& rows) {
    QJsonArray out;
    for (const ReportRow& r : rows) {
        out.append(
            QJsonObject{{"section", r.section}, {"parameter", r.parameter}, {"value", r.value}});
    }
    return out;
}

// --- commands ----------------------------------------------------------------------------

int Ports(const Invocation& in) {
    const PortList list = FillPortList({});
    if (in.json) {
        QJsonArray out;
        for (const PortEntry& p : list) {
            out.append(QJsonObject{{"name", p.name}, {"location", p.location}});
        }
        PrintJson(out);
        return Done;
    }
    Table table({QStringLiteral("PORT"), QStringLiteral("LOCATION")});
    for (const PortEntry& p : list) {
        table.add({p.name, p.location});
    }
    PrintOut(table.text());
    return Done;
}

int Scan(const Invocation& in) {
    const PortList listed = FillPortList({});
    PortList ports = in.ports.isEmpty() ? listed : PortList{};
    for (const QString& given : in.ports) {
        ports.append(ResolvePort(given, listed));
    }
    QList<LineScan> scans;
    {
        ProgressBar bar(QStringLiteral("scan"));
        scans = ScanLines(ports, in.firstId, in.lastId,
                          [&](int done, int total) { bar.show(done, total); });
    }
    int status = Done;
    for (const LineScan& scan : scans) {
        if (!scan.opened) {
            PrintError(QStringLiteral("cannot open ") + scan.openFailure);
            status = LineFailed;
        }
    }
    if (in.json) {
        QJsonArray lines;
        for (const LineScan& scan : scans) {
            QJsonArray units;
            for (const ScanHit& hit : scan.hits) {
                units.append(QJsonObject{{"id", hit.id},
                                         {"temperature", hit.temperature},
                                         {"attenuation", hit.attenuation}});
            }
            QJsonObject line{{"port", scan.port.name}, {"opened", scan.opened}, {"units", units}};
            if (!scan.opened) {
                line.insert("error", scan.openFailure);
            }
            lines.append(line);
        }
        PrintJson(QJsonObject{{"lines", lines}});
        return status;
    }
    Table table({QStringLiteral("PORT"), QStringLiteral("ID"), QStringLiteral("TEMPERATURE"),
                 QStringLiteral("ATTENUATION")});
    for (const LineScan& scan : scans) {
        for (const ScanHit& hit : scan.hits) {
            table.add({scan.port.name, QString::number(hit.id), hit.temperature, hit.attenuation});
        }
    }
    PrintOut(table.text());
    return status;
}

int Status(const Invocation& in) {
    std::optional<StatusReply> status;
    std::optional<SystemBlockReply> system;
    std::optional<std::array<QByteArray, 20>> names;
    const int result = WithUnit(in, in.id - 1, nullptr, [&](UnitSession& s, const auto&) {
        return (status = s.readStatus()) && (system = s.readSystem()) && (names = s.readNames());
    });
    if (result != Done) {
        return result;
    }
    const QString temperature = status->temperatureLabel.trimmed();
    const QString lastLoaded = system->lastLoadedLabel.trimmed().mid(19); // after "...preset:"
    QStringList presets;
    for (int k = 0; k < 8; ++k) {
        presets.append(QLatin1String(PresetPrefixes[k]) + NameText((*names)[std::size_t(k)]));
    }
    if (in.json) {
        QJsonArray list;
        for (int k = 0; k < 8; ++k) {
            list.append(QJsonObject{{"preset", k + 1},
                                    {"entry", presets[k]},
                                    {"name", NameText((*names)[std::size_t(k)])}});
        }
        PrintJson(QJsonObject{{"port", in.ports.value(0)},
                              {"id", in.id},
                              {"temperature", temperature},
                              {"attenuation", status->attenuationLabel},
                              {"lastLoadedPreset", system->lastLoadedPreset},
                              {"lastLoaded", lastLoaded},
                              {"presets", list}});
        return Done;
    }
    Table table({QStringLiteral("ITEM"), QStringLiteral("VALUE")});
    table.add({QStringLiteral("Temperature"), temperature});
    table.add({QStringLiteral("Attenuation"), status->attenuationLabel});
    table.add({QStringLiteral("Last loaded preset"), lastLoaded});
    for (int k = 0; k < 8; ++k) {
        table.add({QStringLiteral("Preset %1").arg(k + 1), presets[k]});
    }
    PrintOut(table.text());
    return Done;
}

int Read(const Invocation& in) {
    std::optional<QByteArray> image;
    const int result = WithUnit(in, in.id - 1, nullptr, [&](UnitSession& s, const auto&) {
        return (image = s.readImage()).has_value();
    });
    return result == Done ? WriteFileOrFail(in.output, {*image}) : result;
}

int Write(const Invocation& in) {
    const QString path = in.args.value(0);
    const SinglePresetText loaded = LoadSinglePresetFile(path);
    if (loaded.status != PresetFileStatus::Ok) {
        return DamagedFileError(path);
    }
    return WithUnit(in, in.id - 1, "write", [&](UnitSession& s, const auto& progress) {
        return s.writeImage(loaded.text, progress);
    });
}

int Backup(const Invocation& in) {
    std::optional<QList<QByteArray>> lines;
    const int result = WithUnit(in, in.id - 1, "backup", [&](UnitSession& s, const auto& progress) {
        return (lines = s.backupSlots(progress)).has_value();
    });
    return result == Done ? WriteFileOrFail(in.output, *lines) : result;
}

int Restore(const Invocation& in) {
    const QString path = in.args.value(0);
    const AllPresetsText loaded = LoadAllPresetsFile(path);
    if (loaded.status != PresetFileStatus::Ok) {
        return DamagedFileError(path);
    }
    return WithUnit(in, in.id - 1, "restore", [&](UnitSession& s, const auto& progress) {
        return s.restoreSlots(loaded.lines, progress);
    });
}

int Recall(const Invocation& in) {
    bool ok = false;
    const int preset = in.args.value(0).toInt(&ok);
    if (!ok || preset < 1 || preset > 8) {
        PrintError(QStringLiteral("recall: SLOT must be a preset 1..8"));
        return BadUsage;
    }
    return WithUnit(in, in.id - 1, nullptr,
                    [&](UnitSession& s, const auto&) { return s.recall(preset); });
}

int Name(const Invocation& in) {
    bool ok = false;
    const int slot = in.args.value(0).toInt(&ok);
    const QString text = in.args.value(1).trimmed();
    if (!ok || (slot != 7 && slot != 8)) {
        PrintError(QStringLiteral("name: SLOT must be a user preset, 7 or 8"));
        return BadUsage;
    }
    const bool printable = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() <= 0x7E;
    });
    if (text.size() > 19 || !printable) {
        PrintError(QStringLiteral("name: TEXT must be at most 19 printable ASCII characters"));
        return BadUsage;
    }
    const int result = WithUnit(in, in.id - 1, nullptr, [&](UnitSession& s, const auto&) {
        return s.storeName(slot, text.toLatin1());
    });
    if (result == Done) {
        PrintOut(QStringLiteral("Successfully saved.\n"));
    }
    return result;
}

int SetId(const Invocation& in) {
    bool ok = false;
    const int id = in.args.value(0).toInt(&ok);
    if (!ok || id < 1 || id > 255) {
        PrintError(QStringLiteral("set-id: Please input 1~255 number."));
        return BadUsage;
    }
    const int result = WithUnit(in, in.id - 1, nullptr,
                                [&](UnitSession& s, const auto&) { return s.changeId(id); });
    if (result == Done) {
        PrintOut(QStringLiteral("Device ID changed to %1\n").arg(id));
    }
    return result;
}

int Broadcast(const Invocation& in) {
    const QString path = in.args.value(0);
    const SinglePresetText loaded = LoadSinglePresetFile(path);
    if (loaded.status != PresetFileStatus::Ok) {
        return DamagedFileError(path);
    }
    return WithUnit(in, BroadcastAddress, "broadcast", [&](UnitSession& s, const auto& progress) {
        return s.broadcastImage(loaded.text, progress);
    });
}

int Show(const Invocation& in) {
    const QString path = in.args.value(0);
    QList<QByteArray> lines;
    const bool all = IsAllPresetsPath(path);
    if (all) {
        const AllPresetsText loaded = LoadAllPresetsFile(path);
        if (loaded.status != PresetFileStatus::Ok) {
            return DamagedFileError(path);
        }
        lines = loaded.lines;
    } else {
        const SinglePresetText loaded = LoadSinglePresetFile(path);
        if (loaded.status != PresetFileStatus::Ok) {
            return DamagedFileError(path);
        }
        lines = {loaded.text};
    }
    if (in.json) {
        if (!all) {
            PrintJson(
                QJsonObject{{"file", path},
                            {"kind", "sps"},
                            {"parameters", RowsJson(DescribeImage(DecodeImageText(lines[0])))}});
            return Done;
        }
        QJsonArray slotList;
        for (int n = 1; n <= lines.size(); ++n) {
            slotList.append(QJsonObject{
                {"slot", n},
                {"parameters", RowsJson(DescribeImage(DecodeImageText(lines[n - 1])))}});
        }
        PrintJson(QJsonObject{{"file", path}, {"kind", "fps"}, {"slots", slotList}});
        return Done;
    }
    QStringList header{QStringLiteral("SECTION"), QStringLiteral("PARAMETER"),
                       QStringLiteral("VALUE")};
    if (all) {
        header.prepend(QStringLiteral("SLOT"));
    }
    Table table(header);
    for (int n = 1; n <= lines.size(); ++n) {
        for (const ReportRow& r : DescribeImage(DecodeImageText(lines[n - 1]))) {
            QStringList row{r.section, r.parameter, r.value};
            if (all) {
                row.prepend(QString::number(n));
            }
            table.add(row);
        }
    }
    PrintOut(table.text());
    return Done;
}

int Diff(const Invocation& in) {
    const QString first = in.args.value(0);
    const SinglePresetText a = LoadSinglePresetFile(first);
    if (a.status != PresetFileStatus::Ok) {
        return DamagedFileError(first);
    }
    QByteArray secondText;
    QString secondName;
    if (in.args.size() >= 2) {
        secondName = in.args.value(1);
        const SinglePresetText b = LoadSinglePresetFile(secondName);
        if (b.status != PresetFileStatus::Ok) {
            return DamagedFileError(secondName);
        }
        secondText = b.text;
    } else {
        if (in.ports.isEmpty() || in.id == 0) {
            PrintError(QStringLiteral("diff: give a second file, or --port and --id of a unit"));
            return BadUsage;
        }
        std::optional<QByteArray> image;
        const int result = WithUnit(in, in.id - 1, nullptr, [&](UnitSession& s, const auto&) {
            return (image = s.readImage()).has_value();
        });
        if (result != Done) {
            return result;
        }
        secondText = *image;
        secondName = QStringLiteral("ID %1 on %2").arg(in.id).arg(in.ports.value(0));
    }
    const QList<ReportDifference> diffs =
        DifferingRows(DecodeImageText(a.text), DecodeImageText(secondText));
    if (in.json) {
        QJsonArray list;
        for (const ReportDifference& d : diffs) {
            list.append(QJsonObject{{"section", d.section},
                                    {"parameter", d.parameter},
                                    {"a", d.first},
                                    {"b", d.second}});
        }
        PrintJson(QJsonObject{{"a", first}, {"b", secondName}, {"differences", list}});
        return Done;
    }
    Table table({QStringLiteral("SECTION"), QStringLiteral("PARAMETER"), first, secondName});
    for (const ReportDifference& d : diffs) {
        table.add({d.section, d.parameter, d.first, d.second});
    }
    PrintOut(table.text());
    return Done;
}

} // namespace

const QList<CommandInfo>& Commands() {
    // name, summary, arguments, min, max, port, many ports, id, optional unit, ids, output
    static const QList<CommandInfo> commands = {
        {"ports", "List the serial ports, as the window lists them.", "", 0, 0, false, false, false,
         false, false, false, Ports},
        {"scan",
         "Find the units on every given port (default: every listed port), all ports "
         "at the same time; print port, ID, temperature and attenuation.",
         "", 0, 0, true, true, false, false, true, false, Scan},
        {"status", "Temperature, attenuation, last loaded preset and the eight preset names.", "",
         0, 0, true, false, true, false, false, false, Status},
        {"read", "Save the unit's working set to a .sps file (as \"Save this preset to PC\").", "",
         0, 0, true, false, true, false, false, true, Read},
        {"write", "Load a .sps file into the unit (as \"Load a preset from PC\").", "FILE.sps", 1,
         1, true, false, true, false, false, false, Write},
        {"backup",
         "Save the unit's 20 preset slots to a .fps file (as \"Save all presets to "
         "PC\").",
         "", 0, 0, true, false, true, false, false, true, Backup},
        {"restore",
         "Load a .fps file into the unit's 20 preset slots (as \"Load all presets "
         "from PC\").",
         "FILE.fps", 1, 1, true, false, true, false, false, false, Restore},
        {"recall", "Recall preset SLOT (1..8) into the unit's working set.", "SLOT", 1, 1, true,
         false, true, false, false, false, Recall},
        {"name", "Store the name of user preset SLOT (7 or 8), as the window's \"Save\".",
         "SLOT TEXT", 2, 2, true, false, true, false, false, false, Name},
        {"set-id", "Give the unit a new device ID (1..255).", "NEW", 1, 1, true, false, true, false,
         false, false, SetId},
        {"broadcast", "Load one .sps file into every unit on the line at once.", "FILE.sps", 1, 1,
         true, false, false, false, false, false, Broadcast},
        {"show", "Show a .sps or .fps file as people read it.", "FILE", 1, 1, false, false, false,
         false, false, false, Show},
        {"diff",
         "Show the parameters that differ between two .sps files, or between a .sps file "
         "and a unit (--port and --id).",
         "A.sps [B.sps]", 1, 2, true, false, true, true, false, false, Diff},
    };
    return commands;
}

} // namespace quellaton::cli
