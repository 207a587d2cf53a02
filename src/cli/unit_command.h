// How a command of quellaton-cli talks to a unit: it opens the unit's line, runs its operations
// one after another in the program's event loop, and ends with the exit status. The first
// operation that does not end as done ends the command, with one line saying why.
#pragma once

#include "cli/cli_output.h"
#include "link/port_list.h"
#include "operations/unit_session.h"

#include <QString>
#include <functional>
#include <memory>

namespace quellaton::cli {

// A port as the user named it: an item of `listed` (by its name or location), a network port,
// or a device path the system does not list.
PortEntry ResolvePort(const QString& given, const PortList& listed);

class UnitCommand {
public:
    // `port` as the user named it, `address` the device ID minus 1 (255: every unit).
    UnitCommand(QString port, int address);
    ~UnitCommand();

    UnitSession& session() { return *session_; }

    // Appends a step: `make` makes the operation on session() when its turn comes, `done` is
    // told that it ended as done. `progressLabel` draws a progress bar for it.
    void then(std::function<Operation*()> make, std::function<void(Operation&)> done = {},
              const char* progressLabel = nullptr);
    // Runs the steps; returns Done, or LineFailed after saying why.
    int run();

private:
    struct Step {
        std::function<Operation*()> make;
        std::function<void(Operation&)> done;
        const char* progressLabel = nullptr;
    };

    void opened(bool ok);
    void next();
    void fail(const QString& message);
    void exitWith(int status);

    QString portName_;
    int address_;
    std::unique_ptr<UnitSession> session_;
    QList<Step> steps_;
    int step_ = -1;
    int status_ = Done;
    std::unique_ptr<ProgressBar> bar_;
};

} // namespace quellaton::cli
