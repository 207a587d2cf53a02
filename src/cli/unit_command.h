// How a command of quellaton-cli talks to one unit: it opens the unit's line, runs its
// operations one after another in the program's event loop, and ends with the exit status. The
// first operation that does not end as done ends the command, with one line saying why.
#pragma once

#include "cli/cli_output.h"
#include "operations/line_jobs.h"

#include <QString>
#include <functional>
#include <memory>

namespace quellaton::cli {

class UnitCommand {
public:
    // `port` as the user named it, `address` the device ID minus 1 (255: every unit).
    UnitCommand(QString port, int address);
    ~UnitCommand();

    UnitSession& session() { return line_.session(); }

    // Appends a step: `make` makes the operation on session() when its turn comes, `done` is
    // told that it ended as done. `progressLabel` draws a progress bar for it.
    void then(std::function<Operation*()> make, std::function<void(Operation&)> done = {},
              const char* progressLabel = nullptr);
    // Runs the steps; returns Done, or LineFailed after saying why.
    int run();

private:
    LineJobs line_;
    std::unique_ptr<ProgressBar> bar_;
};

} // namespace quellaton::cli
