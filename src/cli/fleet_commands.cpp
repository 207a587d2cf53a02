#include "cli/fleet_commands.h"

#include "cli/cli_output.h"
#include "fleet/deployment.h"
#include "fleet/fleet_monitor.h"
#include "fleet/venue_scan.h"
#include "process/stop_signals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace quellaton::cli {

namespace {

// Reads the venue file, or says everything that is wrong with it.
std::optional<Venue> ReadVenueOrReport(const QString& path) {
    const VenueRead read = ReadVenueFile(path);
    for (const VenueError& error : read.errors) {
        PrintError(error.text());
    }
    return read.venue;
}

bool WriteAtomically(const QString& path, const QByteArray& content, QString* why) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

QString UnitName(const UnitReport& r) {
    QString name = QStringLiteral("%1 ID %2").arg(r.port).arg(r.id);
    if (!r.label.isEmpty()) {
        name += QStringLiteral(" \"%1\"").arg(r.label);
    }
    return name;
}

QString ResultName(UnitReport::Result result) {
    switch (result) {
    case UnitReport::Result::Unchanged:
        return QStringLiteral("unchanged");
    case UnitReport::Result::Updated:
        return QStringLiteral("updated");
    case UnitReport::Result::Differs:
        return QStringLiteral("differs");
    case UnitReport::Result::Failed:
        return QStringLiteral("failed");
    }
    return {};
}

QJsonObject ReportJson(const UnitReport& r, const DeployTarget& target) {
    QJsonArray differences;
    for (const ReportDifference& d : r.differences) {
        differences.append(QJsonObject{{"section", d.section},
                                       {"parameter", d.parameter},
                                       {"preset", d.first},
                                       {"unit", d.second}});
    }
    QJsonArray slotList;
    for (const int slot : r.differingSlots) {
        slotList.append(slot);
    }
    QJsonObject object{{"port", r.port},
                       {"id", r.id},
                       {"label", r.label},
                       {"preset", target.unit.presetPath},
                       {"result", ResultName(r.result)},
                       {"summary", r.summary()},
                       {"blocksWritten", r.blocksWritten},
                       {"wholeImageWritten", r.wholeImageWritten},
                       {"slotsRestored", r.slotsRestored},
                       {"differences", differences},
                       {"differingSlots", slotList}};
    if (r.result == UnitReport::Result::Failed) {
        object.insert("error", r.failure);
    }
    return object;
}

// Runs a deployment or a check over the venue file named in `in`.
int RunDeployment(const Invocation& in, Deployment::Mode mode) {
    const QString path = in.args.value(0);
    const std::optional<Venue> venue = ReadVenueOrReport(path);
    if (!venue) {
        return BadUsage;
    }
    // Every preset file is read before the first frame goes out.
    const DeployTargets loaded = LoadDeployTargets(*venue, in.options.value(QStringLiteral("tag")));
    if (!loaded.damagedFile.isEmpty()) {
        PrintError(QStringLiteral("File damaged.: ") + loaded.damagedFile);
        return DamagedFile;
    }
    if (loaded.targets.isEmpty()) {
        PrintError(QStringLiteral("%1 names no unit%2")
                       .arg(path, in.isSet(QStringLiteral("tag"))
                                      ? QStringLiteral(" with those tags")
                                      : QString()));
        return BadUsage;
    }
    Deployment deployment(loaded.targets, mode);
    {
        ProgressBar bar(mode == Deployment::Mode::Deploy ? QStringLiteral("deploy")
                                                         : QStringLiteral("verify"));
        int reported = 0;
        QObject::connect(&deployment, &Deployment::unitReported,
                         [&] { bar.show(++reported, int(loaded.targets.size())); });
        QObject::connect(&deployment, &Deployment::finished, [] { QCoreApplication::exit(0); });
        deployment.start();
        QCoreApplication::exec();
    }

    const QList<UnitReport>& reports = deployment.reports();
    bool failed = false;
    bool differs = false;
    for (const UnitReport& r : reports) {
        failed = failed || r.result == UnitReport::Result::Failed;
        differs = differs || r.result == UnitReport::Result::Differs;
    }
    if (in.json) {
        QJsonArray units;
        for (int i = 0; i < reports.size(); ++i) {
            units.append(ReportJson(reports[i], loaded.targets[i]));
        }
        PrintJson(QJsonObject{{"venue", venue->name}, {"file", path}, {"units", units}});
    } else {
        QString text;
        // The differing parameters of each unit, as diff prints them.
        for (int i = 0; i < reports.size(); ++i) {
            const UnitReport& r = reports[i];
            if (r.differences.isEmpty()) {
                continue;
            }
            const QString unitName = QStringLiteral("ID %1 on %2").arg(r.id).arg(r.port);
            Table table({QStringLiteral("SECTION"), QStringLiteral("PARAMETER"),
                         QFileInfo(loaded.targets[i].unit.presetPath).fileName(), unitName});
            for (const ReportDifference& d : r.differences) {
                table.add({d.section, d.parameter, d.first, d.second});
            }
            text += UnitName(r) + QStringLiteral(":\n") + table.text() + QLatin1Char('\n');
        }
        Table summary({QStringLiteral("PORT"), QStringLiteral("ID"), QStringLiteral("LABEL"),
                       QStringLiteral("RESULT")});
        for (const UnitReport& r : reports) {
            summary.add({r.port, QString::number(r.id), r.label, r.summary()});
        }
        PrintOut(text + summary.text());
    }
    for (const UnitReport& r : reports) {
        if (r.result == UnitReport::Result::Failed) {
            PrintError(QStringLiteral("failed: %1: %2").arg(UnitName(r), r.failure));
        }
    }
    if (failed) {
        return LineFailed;
    }
    return (mode == Deployment::Mode::Check && differs && in.command == QLatin1String("verify"))
               ? LineFailed
               : Done;
}

} // namespace

int VenueCommand(const Invocation& in) {
    if (in.args.value(0) != QLatin1String("scan")) {
        PrintError(QStringLiteral("venue: the only subcommand is 'scan'"));
        return BadUsage;
    }
    const PortList ports = PortsToSearch(in);
    const QString output = QFileInfo(in.output).absoluteFilePath();
    QString saveFolder = in.value(QStringLiteral("save"));
    if (!saveFolder.isEmpty()) {
        saveFolder = QFileInfo(saveFolder).absoluteFilePath();
    }
    VenueScan scan(ports, in.firstId, in.lastId, saveFolder);
    {
        ProgressBar bar(QStringLiteral("scan"));
        QObject::connect(&scan, &VenueScan::progress,
                         [&](int done, int total) { bar.show(done, total); });
        QObject::connect(&scan, &VenueScan::finished, [] { QCoreApplication::exit(0); });
        QMetaObject::invokeMethod(
            &scan, [&] { scan.start(); }, Qt::QueuedConnection);
        QCoreApplication::exec();
    }
    for (const QString& problem : scan.problems()) {
        PrintError(problem);
    }
    Venue venue = scan.venue();
    venue.name = QFileInfo(output).completeBaseName();
    QString why;
    if (!WriteAtomically(output, VenueFileText(venue, QFileInfo(output).absolutePath()), &why)) {
        PrintError(QStringLiteral("cannot write %1: %2").arg(in.output, why));
        return LineFailed;
    }
    Table table({QStringLiteral("PORT"), QStringLiteral("ID"), QStringLiteral("PRESET")});
    for (const VenueLine& line : venue.lines) {
        for (const VenueUnit& unit : line.units) {
            table.add(
                {line.port, QString::number(unit.id),
                 unit.presetPath.isEmpty() ? QString() : QFileInfo(unit.presetPath).fileName()});
        }
    }
    if (in.json) {
        QJsonArray lines;
        for (const VenueLine& line : venue.lines) {
            QJsonArray units;
            for (const VenueUnit& unit : line.units) {
                units.append(QJsonObject{
                    {"id", unit.id}, {"preset", unit.presetPath}, {"slots", unit.slotsPath}});
            }
            lines.append(QJsonObject{{"port", line.port}, {"units", units}});
        }
        PrintJson(QJsonObject{{"file", output}, {"lines", lines}});
    } else {
        PrintOut(table.text());
    }
    return scan.problems().isEmpty() ? Done : LineFailed;
}

int DeployCommand(const Invocation& in) {
    return RunDeployment(in, in.isSet(QStringLiteral("dry-run")) ? Deployment::Mode::Check
                                                                 : Deployment::Mode::Deploy);
}

int VerifyCommand(const Invocation& in) {
    return RunDeployment(in, Deployment::Mode::Check);
}

int MonitorCommand(const Invocation& in) {
    QList<WatchedUnit> units;
    if (!in.args.isEmpty()) {
        if (!in.ports.isEmpty()) {
            PrintError(QStringLiteral("monitor: give a venue file or --port, not both"));
            return BadUsage;
        }
        const std::optional<Venue> venue = ReadVenueOrReport(in.args[0]);
        if (!venue) {
            return BadUsage;
        }
        units = WatchedUnitsOf(*venue);
    } else {
        if (in.ports.isEmpty()) {
            PrintError(QStringLiteral("monitor: give a venue file, or --port P and --ids A-B"));
            return BadUsage;
        }
        units = WatchedUnitsOf(in.ports, in.firstId, in.lastId);
    }
    if (units.isEmpty()) {
        PrintError(QStringLiteral("monitor: no unit to watch"));
        return BadUsage;
    }
    bool ok = true;
    const double seconds = in.isSet(QStringLiteral("interval"))
                               ? in.value(QStringLiteral("interval")).toDouble(&ok)
                               : 5.0;
    if (!ok || seconds < 0.1 || seconds > 3600) {
        PrintError(QStringLiteral("monitor: --interval must be 0.1 to 3600 seconds"));
        return BadUsage;
    }
    std::optional<int> maxTemperature;
    if (in.isSet(QStringLiteral("max-temperature"))) {
        const int c = in.value(QStringLiteral("max-temperature")).toInt(&ok);
        if (!ok || c < 10 || c > 70) {
            PrintError(QStringLiteral("monitor: --max-temperature must be 10 to 70 (°C)"));
            return BadUsage;
        }
        maxTemperature = c;
    }
    const QString prometheus = in.value(QStringLiteral("prometheus"));

    FleetMonitor monitor(units, int(seconds * 1000), maxTemperature);
    QObject::connect(&monitor, &FleetMonitor::event, [&in](const MonitorEvent& e) {
        if (in.json) {
            PrintOut(QString::fromUtf8(QJsonDocument(e.json()).toJson(QJsonDocument::Compact)) +
                     QLatin1Char('\n'));
        } else {
            PrintOut(e.text() + QLatin1Char('\n'));
        }
    });
    QString lastProblem;
    if (!prometheus.isEmpty()) {
        QObject::connect(&monitor, &FleetMonitor::roundFinished, [&] {
            QString why;
            if (!WriteAtomically(prometheus, monitor.prometheusText(), &why)) {
                if (why != lastProblem) {
                    PrintError(QStringLiteral("cannot write %1: %2").arg(prometheus, why));
                }
                lastProblem = why;
            } else {
                lastProblem.clear();
            }
        });
    }
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::received, [] { QCoreApplication::exit(0); });
    monitor.start();
    QCoreApplication::exec();
    return Done;
}

} // namespace quellaton::cli
