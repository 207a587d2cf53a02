#include "cli/cli_commands.h"

#include "cli/eq_commands.h"
#include "cli/fleet_commands.h"
#include "cli/response_command.h"
#include "cli/unit_command.h"
#include "files/image_report.h"
#include "files/preset_file_format.h"
#include "link/port_list.h"
#include "model/preset_names.h"
#include "operations/device_search.h"
#include "protocol/frame_reader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <functional>

namespace quellaton::cli {

namespace {

// A short request of a tool without a window counts as unanswered after the time the
// window's watchdog gives a poll.
constexpr int ShortReplyTimeoutMs = pacing::PollWatchdogMs;

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

// --- commands ----------------------------------------------------------------------------

int Ports(const Invocation& in) {
    // With --port, the list the window shows when started with the same options.
    const PortList list = FillPortList(in.ports);
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
    const PortList ports = PortsToSearch(in);
    // Every line at once, with the probes and pauses of the window's search.
    DeviceSearch search(nullptr, ports, in.firstId - 1, in.lastId - 1, pacing::ProbePauseMs,
                        DeviceSearch::Mode::AllAtOnce);
    {
        ProgressBar bar(QStringLiteral("scan"));
        QObject::connect(&search, &DeviceSearch::progress,
                         [&](int done, int total) { bar.show(done, total); });
        QObject::connect(&search, &DeviceSearch::finished, [] { QCoreApplication::exit(0); });
        QMetaObject::invokeMethod(
            &search, [&] { search.start(); }, Qt::QueuedConnection);
        QCoreApplication::exec();
        const int total = (in.lastId - in.firstId + 1) * int(ports.size());
        bar.show(total, total);
    }
    int status = Done;
    QJsonArray lines;
    Table table({QStringLiteral("PORT"), QStringLiteral("ID"), QStringLiteral("TEMPERATURE"),
                 QStringLiteral("ATTENUATION")});
    for (int i = 0; i < int(ports.size()); ++i) {
        const LineProbe* probe = search.probe(i);
        if (!probe->opened()) {
            PrintError(QStringLiteral("cannot open ") + probe->openFailure());
            status = LineFailed;
        }
        QJsonArray units;
        for (const ProbeHit& hit : probe->hits()) {
            const QString id = QString::number(hit.address + 1);
            const QString temperature = hit.status.temperatureLabel.trimmed();
            units.append(QJsonObject{{"id", hit.address + 1},
                                     {"temperature", temperature},
                                     {"attenuation", hit.status.attenuationLabel}});
            table.add({probe->port().name, id, temperature, hit.status.attenuationLabel});
        }
        QJsonObject line{
            {"port", probe->port().name}, {"opened", probe->opened()}, {"units", units}};
        if (!probe->opened()) {
            line.insert("error", probe->openFailure());
        }
        lines.append(line);
    }
    if (in.json) {
        PrintJson(QJsonObject{{"lines", lines}});
    } else {
        PrintOut(table.text());
    }
    return status;
}

// The preset list entry of preset 1..8 for the names the unit sent.
QString PresetEntry(const PresetNames& names, int preset) {
    return PresetListEntry(preset, names[std::size_t(preset - 1)]);
}

int Status(const Invocation& in) {
    UnitCommand command(in.ports.value(0), in.id - 1);
    UnitSession& s = command.session();
    StatusReply status;
    SystemValues system;
    PresetNames names{};
    command.then([&] { return s.readStatus(ShortReplyTimeoutMs); },
                 [&](Operation& op) { status = static_cast<Request&>(op).reply().status; });
    command.then([&] { return s.readSystem(ShortReplyTimeoutMs); },
                 [&](Operation& op) { system = static_cast<Request&>(op).reply().system; });
    command.then([&] { return s.readNames(pacing::NamesTimeoutMs); },
                 [&](Operation& op) { names = static_cast<Request&>(op).reply().names; });
    const int result = command.run();
    if (result != Done) {
        return result;
    }
    const QString temperature = status.temperatureLabel.trimmed();
    const QString lastLoaded = LastLoadedPresetName(system.lastLoadedPreset);
    if (in.json) {
        QJsonArray list;
        for (int preset = 1; preset <= PresetListCount; ++preset) {
            list.append(QJsonObject{{"preset", preset},
                                    {"entry", PresetEntry(names, preset)},
                                    {"name", PresetNameText(names[std::size_t(preset - 1)])}});
        }
        PrintJson(QJsonObject{{"port", in.ports.value(0)},
                              {"id", in.id},
                              {"temperature", temperature},
                              {"attenuation", status.attenuationLabel},
                              {"lastLoadedPreset", system.lastLoadedPreset},
                              {"lastLoaded", lastLoaded},
                              {"presets", list}});
        return Done;
    }
    Table table({QStringLiteral("ITEM"), QStringLiteral("VALUE")});
    table.add({QStringLiteral("Temperature"), temperature});
    table.add({QStringLiteral("Attenuation"), status.attenuationLabel});
    table.add({QStringLiteral("Last loaded preset"), lastLoaded});
    for (int preset = 1; preset <= PresetListCount; ++preset) {
        table.add({QStringLiteral("Preset %1").arg(preset), PresetEntry(names, preset)});
    }
    PrintOut(table.text());
    return Done;
}

// Reads the unit's working set as "Save this preset to PC" does; empty when it failed.
int ReadWorkingSet(const Invocation& in, QByteArray& image) {
    UnitCommand command(in.ports.value(0), in.id - 1);
    command.then([&] { return command.session().saveOnePreset(pacing::ImageTimeoutMs); },
                 [&](Operation& op) { image = static_cast<SaveOnePreset&>(op).imageText(); });
    return command.run();
}

int Read(const Invocation& in) {
    QByteArray image;
    const int result = ReadWorkingSet(in, image);
    return result == Done ? WriteFileOrFail(in.output, {image}) : result;
}

int Write(const Invocation& in) {
    const QString path = in.args.value(0);
    const SinglePresetText loaded = LoadSinglePresetFile(path);
    if (loaded.status != PresetFileStatus::Ok) {
        return DamagedFileError(path);
    }
    UnitCommand command(in.ports.value(0), in.id - 1);
    command.then([&] { return command.session().loadOnePreset(loaded.text); }, {}, "write");
    return command.run();
}

int Backup(const Invocation& in) {
    QList<QByteArray> lines;
    UnitCommand command(in.ports.value(0), in.id - 1);
    command.then([&] { return command.session().saveAllPresets(); },
                 [&](Operation& op) { lines = static_cast<SaveAllPresets&>(op).lines(); },
                 "backup");
    const int result = command.run();
    return result == Done ? WriteFileOrFail(in.output, lines) : result;
}

int Restore(const Invocation& in) {
    const QString path = in.args.value(0);
    const AllPresetsText loaded = LoadAllPresetsFile(path);
    if (loaded.status != PresetFileStatus::Ok) {
        return DamagedFileError(path);
    }
    // Done when the unit has answered the name table request that ends the restore.
    UnitCommand command(in.ports.value(0), in.id - 1);
    command.then(
        [&] { return command.session().loadAllPresets(loaded.lines, pacing::NamesTimeoutMs); }, {},
        "restore");
    return command.run();
}

int Recall(const Invocation& in) {
    bool ok = false;
    const int preset = in.args.value(0).toInt(&ok);
    if (!ok || preset < 1 || preset > PresetListCount) {
        PrintError(QStringLiteral("recall: SLOT must be a preset 1..8"));
        return BadUsage;
    }
    UnitCommand command(in.ports.value(0), in.id - 1);
    command.then([&] { return command.session().recallPreset(preset); });
    return command.run();
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
    if (text.size() > PresetNameMaxLength || !printable) {
        PrintError(QStringLiteral("name: TEXT must be at most 19 printable ASCII characters"));
        return BadUsage;
    }
    UnitCommand command(in.ports.value(0), in.id - 1);
    command.then(
        [&] { return command.session().storeName(slot, text.toLatin1(), ShortReplyTimeoutMs); });
    const int result = command.run();
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
    UnitCommand command(in.ports.value(0), in.id - 1);
    UnitSession& s = command.session();
    // The system block carries the unit's other values too: they are written back unchanged.
    command.then(
        [&] { return s.readSystem(ShortReplyTimeoutMs); },
        [&](Operation& op) { s.model().setSystem(static_cast<Request&>(op).reply().system); });
    // As the window does: the write goes through the send queue, the polls go to the new ID.
    command.then([&] {
        s.writer().setActive(true);
        s.writer().start();
        return s.changeId(id, ShortReplyTimeoutMs);
    });
    const int result = command.run();
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
    // The initial data load of the window's broadcast mode, from a file.
    UnitCommand command(in.ports.value(0), UnitAddress::Broadcast);
    command.then(
        [&] {
            InitialDataLoad* load = command.session().initialDataLoad();
            QObject::connect(load, &Operation::started, load, [load, &loaded] {
                QMetaObject::invokeMethod(
                    load, [load, &loaded] { load->loadFromImage(loaded.text); },
                    Qt::QueuedConnection);
            });
            return load;
        },
        {}, "broadcast");
    return command.run();
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
            PrintJson(QJsonObject{
                {"file", path},
                {"kind", "sps"},
                {"parameters", ReportRowsJson(DescribeImage(DecodeImageText(lines[0])))}});
            return Done;
        }
        QJsonArray slotList;
        for (int n = 1; n <= lines.size(); ++n) {
            slotList.append(QJsonObject{
                {"slot", n},
                {"parameters", ReportRowsJson(DescribeImage(DecodeImageText(lines[n - 1])))}});
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
        const int result = ReadWorkingSet(in, secondText);
        if (result != Done) {
            return result;
        }
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

PortList PortsToSearch(const Invocation& in) {
    const PortList listed = FillPortList({});
    PortList ports = in.ports.isEmpty() ? listed : PortList{};
    for (const QString& given : in.ports) {
        ports.append(ResolvePort(given, listed));
    }
    return ports;
}

const QList<CommandInfo>& Commands() {
    // name, summary, arguments, min, max, port, many ports, id, optional unit, ids, output
    static const QList<CommandInfo> commands = {
        {"ports",
         "List the serial ports, as the window lists them (with the same --port "
         "options).",
         "", 0, 0, true, true, false, false, false, false, Ports},
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
        {"venue",
         "venue scan: find the units on every given port at once and write a venue file "
         "(with --save DIR, also each unit's .sps and .fps).",
         "scan",
         1,
         1,
         true,
         true,
         false,
         false,
         true,
         true,
         VenueCommand,
         {{"save", "DIR", "Also save each unit's working set and slots into DIR."}}},
        {"deploy",
         "Bring each unit of a venue file to its preset, writing only what differs, and "
         "verify it; every line at once.",
         "VENUE.toml",
         1,
         1,
         false,
         false,
         false,
         false,
         false,
         false,
         DeployCommand,
         {{"dry-run", nullptr, "Compare only; write nothing."},
          {"tag", "T", "Only units with tag T (may be repeated: any of them)."}}},
        {"verify",
         "Compare each unit of a venue file with its presets; exit 1 if any differs.",
         "VENUE.toml",
         1,
         1,
         false,
         false,
         false,
         false,
         false,
         false,
         VerifyCommand,
         {{"tag", "T", "Only units with tag T (may be repeated: any of them)."}}},
        {"monitor",
         "Watch the units of a venue file (or --port P... --ids A-B): one event a line "
         "when a unit goes offline or online, overheats, its attenuation or preset changes.",
         "[VENUE.toml]",
         0,
         1,
         true,
         true,
         false,
         false,
         true,
         false,
         MonitorCommand,
         {{"interval", "S", "Seconds between rounds of polls (default 5)."},
          {"max-temperature", "C", "Report a unit at C °C or above."},
          {"prometheus", "FILE", "Rewrite FILE with the units' state after every round."}}},
        {"import-eq",
         "Fit the EQ filters of a REW, Equalizer APO or AutoEq text onto one section (--way), "
         "of a .sps file (--into IN.sps -o OUT.sps) or of a unit (--port and --id, sending only "
         "the blocks that change); print what fitting changed.",
         "FILE.txt", 1, 1, true, false, true, true, false, true, ImportEq, ImportEqOptions(), true},
        {"export-eq",
         "Write one section's (--way) EQ filters, crossovers and gain as Equalizer APO / REW "
         "text, from a .sps file or a unit (--port and --id), to -o FILE or standard output.",
         "[FILE.sps]", 0, 1, true, false, true, true, false, true, ExportEq, ExportEqOptions(),
         true},
        {"response",
         "Print the predicted response of a .sps file or a unit (--port and --id): frequency, "
         "level and phase of a section or of the whole system.",
         "[FILE.sps]", 0, 1, true, false, true, true, false, false, Response, ResponseOptions()},
    };
    return commands;
}

} // namespace quellaton::cli
