// The live writer: how edits reach a connected unit, and how the unit is kept in view. Every
// block the model reports edited is prepared in its send slot (while a port is open); the send
// queue takes the lowest pending slot every 10 ms, writes it 200 ms later (twice to the
// broadcast address, which nobody answers) and resumes 300 ms after that, so one block leaves
// about every half second and a block edited again before its turn leaves once, with its latest
// values. Between sends the keep-alive poll asks the unit for its status every 500 ms; a poll
// left unanswered for 2 s (no byte at all) is reported. The poll pauses while a block is sent.
#pragma once

#include "model/unit_model.h"
#include "operations/unit_link.h"
#include "protocol/send_slots.h"

#include <QObject>
#include <QTimer>

namespace quellaton {

class LiveWriter : public QObject {
    Q_OBJECT
public:
    // The queue: looking for a pending slot, a slot picked and waiting to be written, its
    // frame(s) on the line, or the pause after a send.
    enum class QueueState { Idle, Scanning, Picked, Writing, Resuming };
    Q_ENUM(QueueState)

    LiveWriter(UnitLink& link, UnitModel& model, QObject* parent = nullptr);

    SendSlots& sendSlots() { return slots_; }
    const SendSlots& sendSlots() const { return slots_; }
    QueueState queueState() const { return queueState_; }
    // The slot picked and not yet sent, 0 when none.
    int sendingSlot() const { return sendingSlot_; }

    // While active (a connection stands), the poll and the queue write; otherwise their
    // timers find nothing to do. Going inactive stops everything (stop()).
    void setActive(bool active);
    bool active() const { return active_; }

    // Start the poll and the queue; either keeps its countdown when it already runs.
    void start();
    void startQueue();
    void startPoll();
    // A transfer takes the line: the poll, its watchdog, the queue and its pending steps stop.
    // A slot picked but not yet written goes back into its slot (it leaves when the queue runs
    // again), and a send on the line finishes without resuming anything.
    void pause();
    // Stops the poll, its watchdog and the queue's scan; a send already picked goes on.
    void stopPollAndQueue();
    // Stops the poll and its watchdog.
    void stopPoll();
    // Disconnected: everything stops and the picked slot is forgotten.
    void stop();
    // A byte arrived: the poll was answered.
    void stopWatchdog() { watchdog_.stop(); }

    // Prepares `frame` in slot 1..36 and marks it pending (the device ID change).
    void queueFrame(int slot, const QByteArray& frame);
    // Marks the system read pending: it is sent through the queue like a block.
    void requestSystemRead() { slots_.setPending(SystemReadSlot); }

    QTimer& scanTimer() { return scan_; }
    QTimer& pollTimer() { return poll_; }
    QTimer& watchdogTimer() { return watchdog_; }

signals:
    // The frame(s) of a picked slot have left the line.
    void slotSent(int slot);
    // The poll went unanswered for the watchdog's time.
    void pollUnanswered();

private:
    void blockEdited(int slot);
    void scanTick();
    void writePicked();
    void resume();
    void pollTick();
    bool canWrite() const;

    UnitLink& link_;
    UnitModel& model_;
    SendSlots slots_;
    bool active_ = false;
    QueueState queueState_ = QueueState::Idle;
    int sendingSlot_ = 0;
    // Counts pauses and stops, so that a send on the line when one came resumes nothing.
    quint64 generation_ = 0;
    QTimer scan_;
    QTimer writeDelay_;
    QTimer resume_;
    QTimer poll_;
    QTimer watchdog_;
};

} // namespace quellaton
