// The commands of quellaton-cli: each takes the parsed command line and returns the exit
// status. They run on the core alone (no widgets, no display).
#pragma once

#include "cli/cli_output.h"

#include <QCommandLineOption>
#include <QMap>
#include <QString>
#include <QStringList>

namespace quellaton::cli {

struct Invocation {
    QString command;
    bool json = false;
    QStringList ports; // --port, as given
    int id = 0;        // --id, 1..255; 0 when not given
    int firstId = 1;   // --ids A-B
    int lastId = 255;
    QString output; // -o
    QStringList args;
    // The values of a command's own options, by their long name; a flag that is set has an
    // entry with no values.
    QMap<QString, QStringList> options;
};

struct CommandInfo {
    const char* name;
    const char* summary;
    const char* arguments; // positional arguments, for the usage line
    int minArgs;
    int maxArgs;
    bool takesPort;    // --port P (required unless optional below)
    bool manyPorts;    // --port may be repeated and may be left out
    bool takesId;      // --id N (required)
    bool optionalUnit; // --port and --id may be left out together
    bool takesIds;     // --ids A-B
    bool takesOutput;  // -o FILE (required)
    int (*run)(const Invocation&);
    // Options of this command alone (nullptr: none).
    QList<QCommandLineOption> (*options)() = nullptr;
};

// Every command, in the order --help lists them.
const QList<CommandInfo>& Commands();

} // namespace quellaton::cli
