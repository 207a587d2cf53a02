// An exchange with the units that takes more than one step: an explicit state machine that
// moves on when a frame has left the line, a reply arrives or one of its timers fires, and never
// waits in a nested event loop. It is started once, reports its progress, and ends with one
// result. Operations that await replies claim them on the link while they run.
#pragma once

#include "operations/unit_link.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace quellaton {

class Operation : public QObject, public ReplyClaim {
    Q_OBJECT
public:
    enum class Result {
        Done,
        TimedOut, // the unit did not answer in time (or only with damaged replies)
        PortLost, // the port failed or went while the operation ran
        Aborted,  // ended from outside (a disconnect, another transfer, the program closing)
    };
    Q_ENUM(Result)

    explicit Operation(UnitLink& link, QObject* parent = nullptr);
    ~Operation() override;

    // Starts it; an operation runs once.
    void start();
    // Ends it at once with Aborted: nothing more is sent, nothing is resumed.
    void abort();
    bool running() const { return running_; }
    bool ended() const { return ended_; }
    Result result() const { return result_; }

    bool claim(const Reply&) override { return false; }

signals:
    // It has begun (emitted before its first step).
    void started();
    void progress(int done, int total);
    void finished(quellaton::Operation::Result result);

protected:
    // The first step.
    virtual void begin() = 0;
    // Called once as it ends, whatever the result, after all its timers have stopped: release
    // what else it holds.
    virtual void end(Result) {}
    // Whether a port that fails or closes while it runs ends it (with PortLost).
    virtual bool endsWithThePort() const { return true; }

    void finish(Result result);
    // Takes the replies it awaits until it ends.
    void claimReplies();
    // Sets up `timer` as its own single-shot timer of `ms` (at least 0) that ends it with
    // TimedOut when it fires.
    void setUpTimeout(QTimer& timer, const char* name, int ms);

    // Writes `frame` and calls `then` once it has left the line (true) or will not (false);
    // false, and `then` is called with false from the event loop, when nothing was written.
    void write(const QByteArray& frame, std::function<void(bool)> then);
    // Calls `then` after `ms` (a pause between steps); restarting replaces the pending step.
    void after(int ms, std::function<void()> then);
    // Writes the payload of `imageText` (an image reply text) to `address` as an image write
    // (`counter` 25) or a write of preset slot `counter` (1..20): the head, `headPauseMs`, then
    // the rest with its check and End byte. `then` follows once the rest has left the line (or
    // could not go).
    void writeImage(int address, int counter, const QByteArray& imageText, int headPauseMs,
                    std::function<void()> then);

    UnitLink& link_;

private:
    QTimer pause_;
    std::function<void()> afterPause_;
    bool running_ = false;
    bool ended_ = false;
    bool claiming_ = false;
    Result result_ = Result::Aborted;
};

} // namespace quellaton
