// quellaton-cli: the amplifier units from a script. Finds units on every line, reads and
// writes working sets and preset slots as the window's .sps and .fps files, recalls and
// names presets, changes device IDs and loads one preset into every unit of a line.
#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "program_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

using namespace quellaton::cli;

const char* const Program = "quellaton-cli";

QString GeneralHelp() {
    QString text =
        QStringLiteral(
            "Usage: %1 [--json] COMMAND [options]\n\n"
            "Controls QUELLATON amplifier units over a serial line (9600 8N1) from scripts.\n"
            "--port P takes a port name as the port list shows it or a device path; --id N is a\n"
            "device ID 1..255. --json prints one JSON document (ports, scan, status, show, "
            "diff,\nvenue, deploy, verify, import-eq, response; monitor prints one JSON object per "
            "event).\n\n"
            "Commands:\n")
            .arg(QLatin1String(Program));
    for (const CommandInfo& c : Commands()) {
        text += QStringLiteral("  %1%2\n")
                    .arg(QString::fromLatin1(c.name).leftJustified(11))
                    .arg(QString::fromUtf8(c.summary));
    }
    text += QStringLiteral(
                "\n'%1 COMMAND --help' describes one command.\n\n"
                "Exit status: 0 done; 1 the unit or line failed (no reply, time-out, port lost);\n"
                "2 bad usage; 3 damaged file (or an EQ text it cannot use).\n")
                .arg(QLatin1String(Program));
    return text;
}

int Usage(const QString& message, const QString& command = {}) {
    PrintError(message);
    PrintError(QStringLiteral("Try '%1%2 --help'.")
                   .arg(QLatin1String(Program))
                   .arg(command.isEmpty() ? QString() : QLatin1Char(' ') + command));
    return BadUsage;
}

bool ParseId(const QString& text, int& id) {
    bool ok = false;
    id = text.toInt(&ok);
    return ok && id >= 1 && id <= 255;
}

int RunCommand(const CommandInfo& info, QStringList args, bool json) {
    const QString name = QLatin1String(info.name);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(info.summary));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print one JSON document."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  info.manyPorts
                                      ? QStringLiteral("A port to scan; may be repeated.")
                                      : QStringLiteral("The port of the unit's line."),
                                  QStringLiteral("P"));
    const QCommandLineOption id(QStringLiteral("id"), QStringLiteral("The unit's device ID."),
                                QStringLiteral("N"));
    const QCommandLineOption ids(QStringLiteral("ids"),
                                 QStringLiteral("Device IDs to probe (default 1-255)."),
                                 QStringLiteral("A-B"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The file to write."), QStringLiteral("FILE"));
    parser.addOption(help);
    parser.addOption(jsonOption);
    if (info.takesPort) {
        parser.addOption(port);
    }
    if (info.takesId) {
        parser.addOption(id);
    }
    if (info.takesIds) {
        parser.addOption(ids);
    }
    if (info.takesOutput) {
        parser.addOption(output);
    }
    QList<QCommandLineOption> own;
    for (const CommandOption& o : info.options) {
        own.append(
            o.valueName
                ? QCommandLineOption(QLatin1String(o.name), QString::fromUtf8(o.description),
                                     QLatin1String(o.valueName))
                : QCommandLineOption(QLatin1String(o.name), QString::fromUtf8(o.description)));
        parser.addOption(own.last());
    }
    const QString arguments = QString::fromLatin1(info.arguments);
    for (const QString& a : arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        parser.addPositionalArgument(a, QString(), a);
    }
    args.prepend(QStringLiteral("%1 %2").arg(QLatin1String(Program), name));
    if (!parser.parse(args)) {
        return Usage(parser.errorText(), name);
    }
    if (parser.isSet(help)) {
        PrintOut(parser.helpText());
        return Done;
    }
    Invocation in;
    in.command = name;
    in.json = json || parser.isSet(jsonOption);
    in.args = parser.positionalArguments();
    for (int i = 0; i < info.options.size(); ++i) {
        if (parser.isSet(own[i])) {
            in.options.insert(QLatin1String(info.options[i].name), info.options[i].valueName
                                                                       ? parser.values(own[i])
                                                                       : QStringList{QString()});
        }
    }
    if (in.args.size() < info.minArgs || in.args.size() > info.maxArgs) {
        return Usage(
            QStringLiteral("%1 takes %2")
                .arg(name, arguments.isEmpty() ? QStringLiteral("no arguments") : arguments),
            name);
    }
    if (info.takesPort) {
        in.ports = parser.values(port);
        const bool required = !info.manyPorts && !info.optionalUnit;
        if (required && in.ports.size() != 1) {
            return Usage(QStringLiteral("%1 needs one --port P").arg(name), name);
        }
        if (!info.manyPorts && in.ports.size() > 1) {
            return Usage(QStringLiteral("%1 takes one --port P").arg(name), name);
        }
    }
    if (info.takesId && parser.isSet(id)) {
        if (!ParseId(parser.value(id), in.id)) {
            return Usage(QStringLiteral("--id must be a device ID 1..255"), name);
        }
    } else if (info.takesId && !info.optionalUnit) {
        return Usage(QStringLiteral("%1 needs --id N").arg(name), name);
    }
    if (info.optionalUnit && (in.ports.isEmpty() != (in.id == 0))) {
        return Usage(QStringLiteral("%1: give --port and --id together").arg(name), name);
    }
    if (info.takesIds && parser.isSet(ids)) {
        const QStringList range = parser.value(ids).split(QLatin1Char('-'));
        if (range.size() != 2 || !ParseId(range[0], in.firstId) || !ParseId(range[1], in.lastId) ||
            in.firstId > in.lastId) {
            return Usage(QStringLiteral("--ids must be a range A-B of device IDs 1..255"), name);
        }
    }
    if (info.takesOutput) {
        in.output = parser.value(output);
        if (in.output.isEmpty() && !info.outputOptional) {
            return Usage(QStringLiteral("%1 needs -o FILE").arg(name), name);
        }
    }
    return info.run(in);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(Program));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quellaton::ProgramVersion));

    QStringList args = QCoreApplication::arguments().mid(1);
    bool json = false;
    while (!args.isEmpty() && args.first().startsWith(QLatin1Char('-'))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--json")) {
            json = true;
        } else if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
            PrintOut(GeneralHelp());
            return Done;
        } else if (option == QLatin1String("--version") || option == QLatin1String("-v")) {
            PrintOut(QStringLiteral("%1 %2\n").arg(QLatin1String(Program),
                                                   QCoreApplication::applicationVersion()));
            return Done;
        } else {
            return Usage(QStringLiteral("unknown option '%1'").arg(option));
        }
    }
    if (args.isEmpty()) {
        return Usage(QStringLiteral("no command given"));
    }
    const QString command = args.takeFirst();
    for (const CommandInfo& info : Commands()) {
        if (command == QLatin1String(info.name)) {
            return RunCommand(info, args, json);
        }
    }
    return Usage(QStringLiteral("unknown command '%1'").arg(command));
}
