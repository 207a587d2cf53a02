// Work with the units of one line, one unit after another: the port is opened once, each unit's
// steps (operations on the line's session, addressed to that unit) run in turn, and a unit whose
// step does not end as done is left with the reason while the line goes on with the next unit.
// A step's done-handler may add further steps for the same unit, so the work of a unit can
// follow what the unit answered. Lines are independent: several run at once, each on its own
// session.
#pragma once

#include "operations/unit_session.h"

#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

namespace quellaton {

class LineJobs : public QObject {
    Q_OBJECT
public:
    using Make = std::function<Operation*()>;
    using Done = std::function<void(Operation&)>;
    // Queues the first steps of a unit's work (with then()), when its turn comes.
    using Job = std::function<void()>;

    struct Outcome {
        bool finished = false;
        bool failed = false;
        QString failure; // why, when it failed
    };

    // `port` as the user named it.
    explicit LineJobs(QString port, QObject* parent = nullptr);
    ~LineJobs() override;

    UnitSession& session() { return *session_; }
    const QString& port() const { return port_; }

    // A unit by its address (the device ID minus 1, or 255 for every unit at once) and its
    // job.
    void addUnit(int address, Job job);
    int unitCount() const { return int(units_.size()); }
    int address(int unit) const { return units_[std::size_t(unit)].address; }
    const Outcome& outcome(int unit) const { return units_[std::size_t(unit)].outcome; }
    // The unit being worked on, -1 when none.
    int currentUnit() const { return current_; }

    // For the unit being worked on: one more step after those queued.
    void then(Make make, Done done = {});
    // For the unit being worked on: it failed with `why`; its steps left are dropped.
    void fail(const QString& why);

    // Opens the port and works through the units; finished() when all have had their turn.
    void start();
    bool running() const { return running_; }
    bool opened() const { return opened_; }

signals:
    void unitStarted(int unit);
    void unitFinished(int unit);
    // A step's operation was made and is about to start.
    void stepStarted(quellaton::Operation* op);
    void finished();

private:
    struct Step {
        Make make;
        Done done;
    };
    struct Unit {
        int address = 0;
        Job job;
        Outcome outcome;
    };

    void portOpened(bool ok);
    void nextUnit();
    void nextStep();
    void stepEnded(Operation* op, Operation::Result result);
    void endUnit();
    QString idText() const;

    QString port_;
    std::unique_ptr<UnitSession> session_;
    std::vector<Unit> units_;
    std::deque<Step> steps_;
    int current_ = -1;
    bool running_ = false;
    bool opened_ = false;
    QMetaObject::Connection openWatch_;
};

} // namespace quellaton
