#include "fleet/fleet_monitor.h"

#include "operations/reopening_port.h"

namespace quellaton {

// One line: its port, opened once and again whenever it has gone, and a round of polls over
// its units every interval. A round that takes longer than the interval is followed by the
// next at once.
class FleetMonitor::LineWatcher : public QObject {
public:
    enum class State { Closed, Opening, Polling, Resting };

    LineWatcher(FleetMonitor& monitor, QString port, QList<int> units, int intervalMs)
        : monitor_(monitor), units_(std::move(units)), port_(session_, std::move(port)) {
        interval_.setInterval(intervalMs);
        connect(&interval_, &QTimer::timeout, this, &LineWatcher::tick);
        connect(&port_, &ReopeningPort::opened, this, [this] {
            if (state_ == State::Opening) {
                startRound();
            }
        });
        connect(&port_, &ReopeningPort::lost, this, &LineWatcher::portLost);
    }

    void start() {
        interval_.start();
        open();
    }

private:
    void tick() {
        switch (state_) {
        case State::Closed:
            open();
            break;
        case State::Resting:
            startRound();
            break;
        case State::Opening:
        case State::Polling:
            roundDue_ = true;
            break;
        }
    }

    void open() {
        state_ = State::Opening;
        port_.open();
    }

    void startRound() {
        roundDue_ = false;
        state_ = State::Polling;
        next_ = 0;
        pollNext();
    }

    void pollNext() {
        if (state_ != State::Polling) {
            return;
        }
        if (next_ >= units_.size()) {
            state_ = State::Resting;
            emit monitor_.roundFinished();
            if (roundDue_) {
                QMetaObject::invokeMethod(this, &LineWatcher::startRound, Qt::QueuedConnection);
            }
            return;
        }
        const int index = units_[next_];
        session_.address().setDeviceId(monitor_.status_.units()[index].unit.id);
        Request* status = session_.readStatus(ReplyTimeoutFor(interval_.interval()));
        connect(status, &Operation::finished, this, [this, status, index](Operation::Result r) {
            if (r == Operation::Result::Done) {
                monitor_.status_.statusAnswered(index, status->reply().status);
                askSystem(index);
                return;
            }
            if (r == Operation::Result::TimedOut) {
                monitor_.status_.pollMissed(index);
                advance();
            }
            // PortLost: the driver's state change has ended the round already.
        });
        status->start();
    }

    void askSystem(int index) {
        Request* system = session_.readSystem(ReplyTimeoutFor(interval_.interval()));
        connect(system, &Operation::finished, this, [this, system, index](Operation::Result r) {
            if (r == Operation::Result::Done) {
                monitor_.status_.systemAnswered(index, system->reply().system);
            }
            if (r != Operation::Result::PortLost && r != Operation::Result::Aborted) {
                advance();
            }
        });
        system->start();
    }

    void advance() {
        next_ += 1;
        // From the event loop: the request that ended is still on the stack.
        QMetaObject::invokeMethod(this, &LineWatcher::pollNext, Qt::QueuedConnection);
    }

    void portLost() {
        if (state_ == State::Closed) {
            return;
        }
        state_ = State::Closed;
        for (const int index : std::as_const(units_)) {
            monitor_.status_.portGone(index);
        }
        emit monitor_.roundFinished();
    }

    FleetMonitor& monitor_;
    QList<int> units_;
    UnitSession session_;
    ReopeningPort port_; // after the session it works on, so that it goes first
    QTimer interval_;
    State state_ = State::Closed;
    int next_ = 0;
    bool roundDue_ = false;
};

FleetMonitor::FleetMonitor(QList<WatchedUnit> units, int intervalMs,
                           std::optional<int> maxTemperature, QObject* parent)
    : QObject(parent), status_(units, maxTemperature), intervalMs_(intervalMs) {
    connect(&status_, &FleetStatus::event, this, &FleetMonitor::event);
    const PortGroups groups = GroupByPort(units);
    for (qsizetype i = 0; i < groups.ports.size(); ++i) {
        lines_.push_back(
            std::make_unique<LineWatcher>(*this, groups.ports[i], groups.members[i], intervalMs));
    }
}

FleetMonitor::~FleetMonitor() = default;

void FleetMonitor::start() {
    for (auto& line : lines_) {
        line->start();
    }
}

} // namespace quellaton
