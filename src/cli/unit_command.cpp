#include "cli/unit_command.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace quellaton::cli {

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

UnitCommand::UnitCommand(QString port, int address)
    : portName_(std::move(port)), address_(address), session_(std::make_unique<UnitSession>()) {
    if (address_ == UnitAddress::Broadcast) {
        session_->address().setBroadcast(true);
    } else {
        session_->address().setDeviceId(address_ + 1);
    }
}

UnitCommand::~UnitCommand() = default;

void UnitCommand::then(std::function<Operation*()> make, std::function<void(Operation&)> done,
                       const char* progressLabel) {
    steps_.append(Step{std::move(make), std::move(done), progressLabel});
}

int UnitCommand::run() {
    SerialDriver& driver = session_->link().driver();
    QObject::connect(&driver, &SerialDriver::openFinished, session_.get(),
                     [this](bool ok) { opened(ok); });
    QMetaObject::invokeMethod(
        session_.get(),
        [this, &driver] {
            driver.OpenPort(ResolvePort(portName_, FillPortList({})).location);
            if (!driver.opening()) {
                opened(driver.PortOpen());
            }
        },
        Qt::QueuedConnection);
    QCoreApplication::exec();
    bar_.reset();
    session_->link().driver().ClosePort();
    return status_;
}

void UnitCommand::opened(bool ok) {
    if (!ok) {
        fail(QStringLiteral("cannot open ") + session_->link().driver().openFailureReason());
        return;
    }
    session_->link().driver().StartWatcher();
    next();
}

void UnitCommand::next() {
    bar_.reset();
    step_ += 1;
    if (step_ >= steps_.size()) {
        exitWith(Done);
        return;
    }
    const Step& step = steps_[step_];
    Operation* op = step.make();
    if (step.progressLabel) {
        bar_ = std::make_unique<ProgressBar>(QString::fromLatin1(step.progressLabel));
        QObject::connect(op, &Operation::progress, op,
                         [this](int done, int total) { bar_->show(done, total); });
    }
    QObject::connect(op, &Operation::finished, op, [this, op](Operation::Result result) {
        const QString id = address_ == UnitAddress::Broadcast ? QStringLiteral("255")
                                                              : QString::number(address_ + 1);
        switch (result) {
        case Operation::Result::Done:
            if (steps_[step_].done) {
                steps_[step_].done(*op);
            }
            next();
            return;
        case Operation::Result::TimedOut:
            fail(QStringLiteral("no reply from ID %1 on %2").arg(id, portName_));
            return;
        case Operation::Result::PortLost:
        case Operation::Result::Aborted:
            fail(QStringLiteral("lost the line on %1 while talking to ID %2").arg(portName_, id));
            return;
        }
    });
    op->start();
}

void UnitCommand::fail(const QString& message) {
    bar_.reset();
    PrintError(message);
    exitWith(LineFailed);
}

void UnitCommand::exitWith(int status) {
    status_ = status;
    QCoreApplication::exit(status);
}

} // namespace quellaton::cli
