// The commands of quellaton-cli: each takes the parsed command line and returns the exit
// status. They run on the core alone (no widgets, no display).
#pragma once

#include "cli/cli_output.h"
#include "link/port_list.h"

#include <QHash>
#include <QList>
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
    // The values of the command's own options, by name; a flag given has one empty value.
    QHash<QString, QStringList> options;

    bool isSet(const QString& name) const { return options.contains(name); }
    QString value(const QString& name) const { return options.value(name).value(0); }
};

// An option only some commands take.
struct CommandOption {
    const char* name;
    const char* valueName; // nullptr for a flag
    const char* description;
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
    bool takesOutput;  // -o FILE (required unless outputOptional)
    int (*run)(const Invocation&);
    QList<CommandOption> options = {}; // further options of the command
    bool outputOptional = false;       // -o FILE may be left out
};

// The ports given with --port, or every port the system lists when none is given.
PortList PortsToSearch(const Invocation& in);

// Every command, in the order --help lists them.
const QList<CommandInfo>& Commands();

} // namespace quellaton::cli
