#include "fleet/served_fleet.h"

#include "files/preset_file_format.h"
#include "fleet/fleet_monitor.h"
#include "fleet/image_comparison.h"
#include "operations/reopening_port.h"
#include "protocol/block_builders.h"

#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <set>

namespace quellaton {

namespace {

// A unit's image reply arrives within a few hundred milliseconds at 9600 baud; the read waits
// this long before it counts as unanswered (and is tried again next round).
constexpr int ImageReadTimeoutMs = 3000;

} // namespace

// One line: its port, opened once and again whenever it has gone, and one exchange at a time
// on it. What waits is served in this order: the blocks the clients edited, then the queued
// exchanges (recalls, preset files, reads of a unit's parameters, polls) in the order queued.
// A round of polls is queued every interval, once the round before has ended.
class ServedFleet::Line : public QObject {
public:
    enum class State { Closed, Opening, Ready, Busy };

    Line(ServedFleet& fleet, QString port, QList<int> units, int intervalMs)
        : fleet_(fleet), units_(std::move(units)), port_(session_, std::move(port)) {
        interval_.setInterval(intervalMs);
        replyTimeoutMs_ = FleetMonitor::ReplyTimeoutFor(intervalMs);
        connect(&interval_, &QTimer::timeout, this, &Line::tick);
        connect(&port_, &ReopeningPort::opened, this, &Line::opened);
        connect(&port_, &ReopeningPort::lost, this, &Line::portLost);
        for (const int unit : std::as_const(units_)) {
            connect(&fleet_.model(unit), &UnitModel::blockEdited, this,
                    [this, unit](int slot) { blockEdited(unit, slot); });
        }
    }

    UnitSession& session() { return session_; }

    void start() {
        interval_.start();
        open();
    }

    // A job: an exchange with one unit, made when its turn comes.
    struct Job {
        int unit = -1;
        std::function<Operation*()> make;
        std::function<void(Operation&, Operation::Result)> done;
    };

    void queue(Job job, bool first = false) {
        if (first) {
            jobs_.push_front(std::move(job));
        } else {
            jobs_.push_back(std::move(job));
        }
        schedulePump();
    }

    // The blocks a preset file brings: waiting like edits (the whole image write replaces
    // them).
    void queueBlocks(int unit, const QList<int>& blockSlots) {
        for (const int slot : blockSlots) {
            pending_[unit].insert(slot);
        }
        schedulePump();
    }
    void dropPendingBlocks(int unit) { pending_.erase(unit); }

    void queueRead(int unit) {
        Unit& u = fleet_.units_[std::size_t(unit)];
        if (u.readQueued) {
            return;
        }
        u.readQueued = true;
        const quint64 editsBefore = u.edits;
        queue({unit, [this] { return session_.saveOnePreset(ImageReadTimeoutMs); },
               [this, unit, editsBefore](Operation& op, Operation::Result result) {
                   Unit& u = fleet_.units_[std::size_t(unit)];
                   u.readQueued = false;
                   if (result != Operation::Result::Done) {
                       return;
                   }
                   const QByteArray text = static_cast<SaveOnePreset&>(op).imageText();
                   std::optional<OpenedPreset> opened = ReadSinglePreset(PresetFileContent({text}));
                   if (!opened) {
                       return;
                   }
                   u.base = *opened;
                   // An edit made while the read was on its way stays: only the frame is new.
                   if (!u.read || u.edits == editsBefore) {
                       u.model->replaceImage(opened->image);
                   }
                   u.read = true;
                   emit fleet_.parametersRead(unit);
               }});
    }

private:
    void tick() {
        if (state_ == State::Closed) {
            open();
            return;
        }
        roundDue_ = true;
        schedulePump();
    }

    void open() {
        state_ = State::Opening;
        port_.open();
    }

    void opened() {
        if (state_ != State::Opening) {
            return;
        }
        state_ = State::Ready;
        roundDue_ = true;
        schedulePump();
    }

    void portLost() {
        if (state_ == State::Closed) {
            return;
        }
        state_ = State::Closed;
        jobs_.clear();
        pending_.clear();
        roundLeft_ = 0;
        session_.writer().stop();
        session_.writer().setActive(false);
        for (const int unit : std::as_const(units_)) {
            // The unit may come back with other settings: it is read again when it answers.
            Unit& u = fleet_.units_[std::size_t(unit)];
            u.read = false;
            u.readQueued = false;
            fleet_.status_.portGone(unit);
        }
    }

    void blockEdited(int unit, int slot) {
        Unit& u = fleet_.units_[std::size_t(unit)];
        u.edits += 1;
        if (state_ != State::Ready && state_ != State::Busy) {
            return;
        }
        // A block of the unit being written that is still waiting in the send queue takes the
        // new values there and leaves once; otherwise it waits for the next write.
        LiveWriter& writer = session_.writer();
        if (writing_ && busyUnit_ == unit && writer.sendSlots().pending(slot)) {
            writer.queueFrame(slot, frameOf(unit, slot));
            return;
        }
        pending_[unit].insert(slot);
        schedulePump();
    }

    QByteArray frameOf(int unit, int slot) {
        const UnitModel& model = fleet_.model(unit);
        return BuildBlockFrame(slot, fleet_.units()[unit].unit.id - 1, model.image(),
                               model.bypassRows());
    }

    void schedulePump() {
        if (!pumpScheduled_) {
            pumpScheduled_ = true;
            QMetaObject::invokeMethod(this, &Line::pump, Qt::QueuedConnection);
        }
    }

    void pump() {
        pumpScheduled_ = false;
        if (state_ != State::Ready) {
            return;
        }
        if (!pending_.empty()) {
            writePending();
            return;
        }
        if (jobs_.empty() && roundDue_ && roundLeft_ == 0) {
            queueRound();
        }
        if (jobs_.empty()) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        run(std::move(job));
    }

    // The next unit after the last one written gets its turn, so that one busy unit does not
    // hold the line from the others.
    void writePending() {
        auto it = pending_.upper_bound(lastWritten_);
        if (it == pending_.end()) {
            it = pending_.begin();
        }
        const int unit = it->first;
        QList<QueuedBlockWrites::Block> blocks;
        for (const int slot : it->second) {
            blocks.append({slot, frameOf(unit, slot)});
        }
        pending_.erase(it);
        lastWritten_ = unit;
        writing_ = true;
        run({unit, [this, blocks] { return session_.writeBlocks(blocks); },
             [this](Operation&, Operation::Result) {
                 // The queue rests between units: its poll is the line's own round here.
                 session_.writer().stop();
                 session_.writer().setActive(false);
             }});
    }

    void queueRound() {
        roundDue_ = false;
        roundLeft_ = int(units_.size());
        for (const int unit : std::as_const(units_)) {
            queue({unit, [this] { return session_.readStatus(replyTimeoutMs_); },
                   [this, unit](Operation& op, Operation::Result result) {
                       roundLeft_ = std::max(0, roundLeft_ - 1);
                       if (result == Operation::Result::Done) {
                           fleet_.status_.statusAnswered(unit,
                                                         static_cast<Request&>(op).reply().status);
                           askSystem(unit);
                           if (!fleet_.units_[std::size_t(unit)].read) {
                               queueRead(unit);
                           }
                       } else if (result == Operation::Result::TimedOut) {
                           fleet_.status_.pollMissed(unit);
                       }
                   }});
        }
    }

    void askSystem(int unit) {
        queue({unit, [this] { return session_.readSystem(replyTimeoutMs_); },
               [this, unit](Operation& op, Operation::Result result) {
                   if (result == Operation::Result::Done) {
                       fleet_.status_.systemAnswered(unit,
                                                     static_cast<Request&>(op).reply().system);
                   }
               }},
              true);
    }

    void run(Job job) {
        state_ = State::Busy;
        busyUnit_ = job.unit;
        session_.address().setDeviceId(fleet_.units()[job.unit].unit.id);
        Operation* op = job.make();
        connect(op, &Operation::finished, this,
                [this, op, done = std::move(job.done)](Operation::Result result) {
                    if (state_ == State::Busy) {
                        state_ = State::Ready;
                    }
                    writing_ = false;
                    busyUnit_ = -1;
                    if (done) {
                        done(*op, result);
                    }
                    schedulePump();
                });
        op->start();
    }

    ServedFleet& fleet_;
    QList<int> units_;
    UnitSession session_;
    ReopeningPort port_; // after the session it works on, so that it goes first
    QTimer interval_;
    int replyTimeoutMs_ = 0;
    State state_ = State::Closed;
    std::deque<Job> jobs_;
    std::map<int, std::set<int>> pending_; // per unit: the send slots of its edited blocks
    int lastWritten_ = -1;
    int busyUnit_ = -1;
    bool writing_ = false;
    bool roundDue_ = false;
    int roundLeft_ = 0;
    bool pumpScheduled_ = false;
};

ServedFleet::ServedFleet(QList<WatchedUnit> units, int pollIntervalMs, QObject* parent)
    : QObject(parent), status_(units, std::nullopt) {
    lineOfUnit_.resize(std::size_t(units.size()));
    units_.resize(std::size_t(units.size()));
    for (Unit& unit : units_) {
        unit.model = std::make_unique<UnitModel>();
    }
    const PortGroups groups = GroupByPort(units);
    ports_ = groups.ports;
    for (qsizetype line = 0; line < groups.ports.size(); ++line) {
        for (const int unit : groups.members[line]) {
            lineOfUnit_[std::size_t(unit)] = int(line);
        }
        lines_.push_back(std::make_unique<Line>(*this, groups.ports[line], groups.members[line],
                                                pollIntervalMs));
    }
    // A unit that comes back is read again before it is shown.
    connect(&status_, &FleetStatus::event, this, [this](const MonitorEvent& e) {
        if (e.kind == MonitorEvent::Kind::Offline) {
            for (int unit = 0; unit < unitCount(); ++unit) {
                const WatchedUnit& watched = this->units()[unit].unit;
                if (watched.port == e.unit.port && watched.id == e.unit.id) {
                    units_[std::size_t(unit)].read = false;
                }
            }
        }
    });
}

ServedFleet::~ServedFleet() {
    // The lines' sessions refer to the units' models: they go first.
    lines_.clear();
}

void ServedFleet::start() {
    for (auto& line : lines_) {
        line->start();
    }
}

int ServedFleet::findUnit(int line, int id) const {
    for (int unit = 0; unit < unitCount(); ++unit) {
        if (lineOf(unit) == line - 1 && units()[unit].unit.id == id) {
            return unit;
        }
    }
    return -1;
}

bool ServedFleet::available(int unit) const {
    return units()[unit].presence == UnitWatch::Presence::Online && units_[std::size_t(unit)].read;
}

UnitSession& ServedFleet::session(int line) {
    return lines_[std::size_t(line)]->session();
}

bool ServedFleet::recall(int unit, int preset) {
    if (!available(unit)) {
        return false;
    }
    Line& line = *lines_[std::size_t(lineOf(unit))];
    // Edits not yet sent belong to the settings the recall replaces.
    line.dropPendingBlocks(unit);
    line.queue({unit, [&line, preset] { return line.session().recallPreset(preset); },
                [this, &line, unit, preset](Operation&, Operation::Result result) {
                    if (result != Operation::Result::Done) {
                        return;
                    }
                    Unit& u = units_[std::size_t(unit)];
                    u.model->replaceImage(line.session().model().image());
                    u.edits += 1;
                    emit recalled(unit, preset);
                    // The frame as the unit now holds it, for its preset file.
                    line.queueRead(unit);
                }});
    return true;
}

QByteArray ServedFleet::presetFileContent(int unit) const {
    const Unit& u = units_[std::size_t(unit)];
    return SinglePresetContent(u.model->image(), &u.base, units()[unit].unit.id - 1);
}

ServedFleet::PresetWrite ServedFleet::loadPresetFile(int unit, const QByteArray& imageText) {
    PresetWrite write;
    Unit& u = units_[std::size_t(unit)];
    const QByteArray current = ReadSinglePresetText(presetFileContent(unit)).text;
    const ImageComparison comparison = CompareImages(imageText, current);
    std::optional<OpenedPreset> opened = ReadSinglePreset(PresetFileContent({imageText}));
    if (!opened) {
        return write;
    }
    Line& line = *lines_[std::size_t(lineOf(unit))];
    u.base = *opened;
    u.edits += 1;
    u.model->replaceImage(opened->image);
    if (comparison.outsideBlocks) {
        write.wholeImage = true;
        line.dropPendingBlocks(unit);
        line.queue(
            {unit, [&line, imageText] { return line.session().loadOnePreset(imageText); }, {}});
    } else {
        write.blocks = int(comparison.blockSlots.size());
        line.queueBlocks(unit, comparison.blockSlots);
    }
    return write;
}

} // namespace quellaton
