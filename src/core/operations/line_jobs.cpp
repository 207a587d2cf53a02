#include "operations/line_jobs.h"

#include "link/port_list.h"

namespace quellaton {

LineJobs::LineJobs(QString port, QObject* parent)
    : QObject(parent), port_(std::move(port)), session_(std::make_unique<UnitSession>()) {}

LineJobs::~LineJobs() {
    disconnect(openWatch_);
    session_->abortAll();
    session_->link().driver().ClosePort();
}

void LineJobs::addUnit(int address, Job job) {
    units_.push_back(Unit{address, std::move(job), {}});
}

void LineJobs::then(Make make, Done done) {
    if (current_ >= 0) {
        steps_.push_back(Step{std::move(make), std::move(done)});
    }
}

void LineJobs::fail(const QString& why) {
    if (current_ < 0) {
        return;
    }
    Outcome& outcome = units_[std::size_t(current_)].outcome;
    if (!outcome.failed) {
        outcome.failed = true;
        outcome.failure = why;
    }
    steps_.clear();
}

void LineJobs::start() {
    if (running_) {
        return;
    }
    running_ = true;
    SerialDriver& driver = session_->link().driver();
    openWatch_ = connect(&driver, &SerialDriver::openFinished, this, &LineJobs::portOpened);
    // From the event loop, so that whoever started the line is connected to every signal.
    QMetaObject::invokeMethod(
        this,
        [this, &driver] {
            driver.OpenPort(ResolvePort(port_, FillPortList({})).location);
            if (!driver.opening()) {
                portOpened(driver.PortOpen());
            }
        },
        Qt::QueuedConnection);
}

void LineJobs::portOpened(bool ok) {
    disconnect(openWatch_);
    SerialDriver& driver = session_->link().driver();
    opened_ = ok;
    if (!ok) {
        // Every unit of a line that cannot be opened fails for the same reason.
        const QString why = QStringLiteral("cannot open ") + driver.openFailureReason();
        for (Unit& unit : units_) {
            unit.outcome = Outcome{true, true, why};
        }
        for (int i = 0; i < int(units_.size()); ++i) {
            emit unitFinished(i);
        }
        running_ = false;
        emit finished();
        return;
    }
    driver.StartWatcher();
    nextUnit();
}

void LineJobs::nextUnit() {
    current_ += 1;
    if (current_ >= int(units_.size())) {
        current_ = -1;
        running_ = false;
        session_->link().driver().ClosePort();
        emit finished();
        return;
    }
    Unit& unit = units_[std::size_t(current_)];
    if (unit.address == UnitAddress::Broadcast) {
        session_->address().setBroadcast(true);
    } else {
        session_->address().setBroadcast(false);
        session_->address().setDeviceId(unit.address + 1);
    }
    steps_.clear();
    emit unitStarted(current_);
    if (unit.job) {
        unit.job();
    }
    nextStep();
}

void LineJobs::nextStep() {
    if (steps_.empty()) {
        endUnit();
        return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    Operation* op = step.make();
    connect(op, &Operation::finished, this,
            [this, op, done = std::move(step.done)](Operation::Result result) {
                if (result == Operation::Result::Done && done) {
                    done(*op);
                }
                stepEnded(op, result);
            });
    emit stepStarted(op);
    op->start();
}

void LineJobs::stepEnded(Operation*, Operation::Result result) {
    switch (result) {
    case Operation::Result::Done:
        break;
    case Operation::Result::TimedOut:
        fail(QStringLiteral("no reply from ID %1 on %2").arg(idText(), port_));
        break;
    case Operation::Result::PortLost:
    case Operation::Result::Aborted:
        fail(QStringLiteral("lost the line on %1 while talking to ID %2").arg(port_, idText()));
        break;
    }
    // Out of the finishing operation's own signal before the next step starts.
    QMetaObject::invokeMethod(this, &LineJobs::nextStep, Qt::QueuedConnection);
}

void LineJobs::endUnit() {
    // The live writer (if a step used it) rests between units.
    session_->writer().stop();
    session_->writer().setActive(false);
    Outcome& outcome = units_[std::size_t(current_)].outcome;
    outcome.finished = true;
    emit unitFinished(current_);
    nextUnit();
}

QString LineJobs::idText() const {
    // Every unit at once is shown as 255, as the device ID list shows it.
    const int address = current_ >= 0 ? units_[std::size_t(current_)].address : 0;
    return QString::number(address == UnitAddress::Broadcast ? 255 : address + 1);
}

} // namespace quellaton
