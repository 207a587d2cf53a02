#include "cli/unit_command.h"

#include <QCoreApplication>

namespace quellaton::cli {

UnitCommand::UnitCommand(QString port, int address) : line_(std::move(port)) {
    line_.addUnit(address, {});
}

UnitCommand::~UnitCommand() = default;

void UnitCommand::then(std::function<Operation*()> make, std::function<void(Operation&)> done,
                       const char* progressLabel) {
    // The steps are queued on the unit once its turn has come, in the order given here.
    QObject::connect(
        &line_, &LineJobs::unitStarted, &line_,
        [this, make = std::move(make), done = std::move(done), progressLabel](int) {
            line_.then(
                [this, make, progressLabel] {
                    bar_.reset();
                    Operation* op = make();
                    if (progressLabel) {
                        bar_ = std::make_unique<ProgressBar>(QString::fromLatin1(progressLabel));
                        QObject::connect(op, &Operation::progress, op,
                                         [this](int done, int total) { bar_->show(done, total); });
                    }
                    return op;
                },
                done);
        });
}

int UnitCommand::run() {
    QObject::connect(&line_, &LineJobs::finished, &line_, [] { QCoreApplication::exit(0); });
    line_.start();
    QCoreApplication::exec();
    bar_.reset();
    const LineJobs::Outcome& outcome = line_.outcome(0);
    if (outcome.failed) {
        PrintError(outcome.failure);
        return LineFailed;
    }
    return Done;
}

} // namespace quellaton::cli
