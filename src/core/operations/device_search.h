// Finding the units on the lines: each device ID of a range is probed with a status poll,
// after a pause, and a unit that answers is found. The window and quellaton-cli probe every
// port at once, each on a line of its own with its own probe order and pauses, so four lines
// take about as long as one; probing one port after another on one line remains for callers
// that hold a single line.
#pragma once

#include "link/port_list.h"
#include "model/unit_address.h"
#include "operations/operation.h"

#include <QList>
#include <memory>
#include <vector>

namespace quellaton {

struct ProbeHit {
    int address = 0; // the device ID minus 1
    StatusReply status;
};

// Probes addresses first..last on one port: open it (closing what the line had open first,
// with a pause), then before each probe the pause, then the status poll; the last probe gets
// the same pause to be answered. An answer is filed under the address probed last.
class LineProbe : public Operation {
    Q_OBJECT
public:
    enum class State { Idle, Closing, Opening, Pausing, Probing, LastPause };
    Q_ENUM(State)

    LineProbe(UnitLink& link, PortEntry port, int firstAddress, int lastAddress, int pauseMs,
              bool closeWhenDone, QObject* parent = nullptr);

    State state() const { return state_; }
    const PortEntry& port() const { return port_; }
    bool opened() const { return opened_; }
    QString openFailure() const { return openFailure_; }
    // In increasing address, each once.
    QList<ProbeHit> hits() const;
    int probesSent() const { return probed_; }
    // The address probed last (an answer now is filed under it); -1 before the first probe.
    int probeAddress() const { return probeAddress_; }
    int probeCount() const { return last_ - first_ + 1; }
    // Stops before the next probe (the hits found so far stay); ends with Aborted.
    void requestStop();

protected:
    void begin() override;
    void end(Result result) override;
    bool endsWithThePort() const override { return false; }

private:
    void openPort();
    void portOpened(bool ok);
    void probeNext();
    void replyReceived(const Reply& reply);

    PortEntry port_;
    int first_;
    int last_;
    int pauseMs_;
    bool closeWhenDone_;
    State state_ = State::Idle;
    bool opened_ = false;
    bool stopRequested_ = false;
    QString openFailure_;
    int next_ = 0;
    int probeAddress_ = -1;
    int probed_ = 0;
    QList<ProbeHit> hits_;
    QMetaObject::Connection openWatch_;
};

// The search over several ports.
class DeviceSearch : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        // One port after another on `link`, last port first; when all are probed (or the search
        // was stopped), probingFinished(), a pause, the port closed, finished().
        OneAfterAnother,
        // Every port at once, each on a line of its own (closed when its probes are done); when
        // all are done, probingFinished(), the same pause, finished().
        AllAtOnce,
    };
    enum class State { Idle, Probing, EndPause, Done };
    Q_ENUM(State)

    // `link` is the line of OneAfterAnother; AllAtOnce opens lines of its own.
    DeviceSearch(UnitLink* link, PortList ports, int firstAddress, int lastAddress, int pauseMs,
                 Mode mode, QObject* parent = nullptr);
    ~DeviceSearch() override;

    void start();
    // Stops before the next probe (the window's "Cancel", or the window closing).
    void requestStop();
    State state() const { return state_; }
    bool running() const { return state_ == State::Probing || state_ == State::EndPause; }

    // One per port, in the order given.
    const PortList& ports() const { return ports_; }
    const LineProbe* probe(int index) const;
    // The address probed last on the port probed now (all at once: the highest of the ports
    // still probing), else -1.
    int probeAddress() const;

signals:
    void progress(int done, int total);
    void probingFinished();
    void finished();

private:
    void startNext();
    void probeEnded();
    void reportProgress();
    void finishProbing();

    UnitLink* link_;
    PortList ports_;
    int first_;
    int last_;
    int pauseMs_;
    Mode mode_;
    State state_ = State::Idle;
    bool stopRequested_ = false;
    int current_ = -1; // OneAfterAnother: the port being probed
    int running_ = 0;  // AllAtOnce: probes still running
    QTimer endPause_;
    // AllAtOnce: each port's own address and line.
    std::vector<std::unique_ptr<UnitAddress>> addresses_;
    std::vector<std::unique_ptr<UnitLink>> lines_;
    std::vector<std::unique_ptr<LineProbe>> probes_;
};

} // namespace quellaton
