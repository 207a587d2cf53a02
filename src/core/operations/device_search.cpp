#include "operations/device_search.h"

#include "operations/pacing.h"
#include "operations/timer_setup.h"
#include "protocol/frames.h"

#include <algorithm>

namespace quellaton {

// ---- One line ----

LineProbe::LineProbe(UnitLink& link, PortEntry port, int firstAddress, int lastAddress, int pauseMs,
                     bool closeWhenDone, QObject* parent)
    : Operation(link, parent), port_(std::move(port)), first_(firstAddress), last_(lastAddress),
      pauseMs_(pauseMs), closeWhenDone_(closeWhenDone) {
    connect(&link_, &UnitLink::replyReceived, this, &LineProbe::replyReceived);
}

QList<ProbeHit> LineProbe::hits() const {
    QList<ProbeHit> sorted = hits_;
    std::sort(sorted.begin(), sorted.end(),
              [](const ProbeHit& a, const ProbeHit& b) { return a.address < b.address; });
    return sorted;
}

void LineProbe::requestStop() {
    stopRequested_ = true;
}

void LineProbe::begin() {
    if (stopRequested_) {
        finish(Result::Aborted);
        return;
    }
    if (link_.portOpen()) {
        state_ = State::Closing;
        link_.driver().ClosePort();
        after(pacing::ReopenPauseMs, [this] { openPort(); });
        return;
    }
    openPort();
}

void LineProbe::openPort() {
    state_ = State::Opening;
    SerialDriver& driver = link_.driver();
    driver.OpenPort(port_.location);
    if (driver.opening()) {
        openWatch_ = connect(&driver, &SerialDriver::openFinished, this, &LineProbe::portOpened);
        return;
    }
    portOpened(driver.PortOpen());
}

void LineProbe::portOpened(bool ok) {
    disconnect(openWatch_);
    if (!ok || !link_.portOpen()) {
        // A port that cannot be opened is skipped.
        openFailure_ = link_.driver().openFailureReason();
        finish(Result::Done);
        return;
    }
    opened_ = true;
    link_.driver().StartWatcher();
    next_ = first_;
    probeNext();
}

void LineProbe::probeNext() {
    if (stopRequested_) {
        finish(Result::Aborted);
        return;
    }
    state_ = State::Pausing;
    after(pauseMs_, [this] {
        const int address = next_;
        state_ = State::Probing;
        link_.clearReceived();
        // Set before the write: an answer that comes while it goes out belongs to this address.
        probeAddress_ = address;
        write(StatusPoll(address), [this](bool) {
            probed_ += 1;
            emit progress(probed_, probeCount());
            next_ += 1;
            if (next_ <= last_) {
                probeNext();
                return;
            }
            // The last probe gets the same time to be answered as every other one.
            state_ = State::LastPause;
            after(pauseMs_, [this] { finish(Result::Done); });
        });
    });
}

void LineProbe::replyReceived(const Reply& reply) {
    // While the probes run, and in the pause after the last one.
    if (reply.kind != Reply::Kind::Status || !running() || !opened_ || probeAddress_ < 0) {
        return;
    }
    const auto known = std::any_of(hits_.cbegin(), hits_.cend(), [this](const ProbeHit& h) {
        return h.address == probeAddress_;
    });
    if (!known) {
        hits_.append(ProbeHit{probeAddress_, reply.status});
    }
}

void LineProbe::end(Result) {
    disconnect(openWatch_);
    if (closeWhenDone_) {
        link_.driver().ClosePort();
    }
}

// ---- Several lines ----

DeviceSearch::DeviceSearch(UnitLink* link, PortList ports, int firstAddress, int lastAddress,
                           int pauseMs, Mode mode, QObject* parent)
    : QObject(parent), link_(link), ports_(std::move(ports)), first_(firstAddress),
      last_(lastAddress), pauseMs_(pauseMs), mode_(mode) {
    SetUpTimer(endPause_, this, "searchEndPause", pacing::SearchEndPauseMs, true);
    connect(&endPause_, &QTimer::timeout, this, [this] {
        if (link_) {
            link_->driver().ClosePort();
        }
        state_ = State::Done;
        emit finished();
    });
    for (const PortEntry& port : ports_) {
        UnitLink* line = link_;
        if (mode_ == Mode::AllAtOnce || !line) {
            addresses_.push_back(std::make_unique<UnitAddress>());
            lines_.push_back(std::make_unique<UnitLink>(*addresses_.back()));
            line = lines_.back().get();
        }
        probes_.push_back(std::make_unique<LineProbe>(*line, port, firstAddress, lastAddress,
                                                      pauseMs, mode_ == Mode::AllAtOnce));
        LineProbe* probe = probes_.back().get();
        connect(probe, &Operation::finished, this, &DeviceSearch::probeEnded);
        connect(probe, &Operation::progress, this, &DeviceSearch::reportProgress);
    }
}

DeviceSearch::~DeviceSearch() {
    endPause_.stop();
    for (auto& probe : probes_) {
        disconnect(probe.get(), nullptr, this, nullptr);
        probe->abort();
    }
}

const LineProbe* DeviceSearch::probe(int index) const {
    return index >= 0 && index < int(probes_.size()) ? probes_[std::size_t(index)].get() : nullptr;
}

// One port after another, the progress counts the ports begun before the current one as whole
// (a port that could not be opened too); all at once, it adds up the probes of every line, a
// line that could not be opened counting as probed.
void DeviceSearch::reportProgress() {
    const int perPort = last_ - first_ + 1;
    const int total = perPort * int(probes_.size());
    int done = 0;
    if (mode_ == Mode::OneAfterAnother) {
        const int begun = int(probes_.size()) - 1 - current_;
        done = begun * perPort + (current_ >= 0 ? probes_[std::size_t(current_)]->probesSent() : 0);
    } else {
        for (const auto& p : probes_) {
            done += (p->ended() && !p->opened()) ? perPort : p->probesSent();
        }
    }
    emit progress(done, total);
}

int DeviceSearch::probeAddress() const {
    if (mode_ == Mode::AllAtOnce) {
        int highest = -1;
        for (const auto& p : probes_) {
            if (p->running()) {
                highest = std::max(highest, p->probeAddress());
            }
        }
        return highest;
    }
    const LineProbe* current = probe(current_);
    return current && current->running() ? current->probeAddress() : -1;
}

void DeviceSearch::start() {
    if (state_ != State::Idle) {
        return;
    }
    state_ = State::Probing;
    if (mode_ == Mode::AllAtOnce) {
        running_ = int(probes_.size());
        if (running_ == 0) {
            finishProbing();
            return;
        }
        for (auto& probe : probes_) {
            probe->start();
        }
        return;
    }
    current_ = int(probes_.size());
    startNext();
}

void DeviceSearch::requestStop() {
    stopRequested_ = true;
    for (auto& probe : probes_) {
        probe->requestStop();
    }
}

// The ports from the last listed one to the first.
void DeviceSearch::startNext() {
    current_ -= 1;
    if (current_ < 0 || stopRequested_) {
        finishProbing();
        return;
    }
    probes_[std::size_t(current_)]->start();
}

void DeviceSearch::probeEnded() {
    if (state_ != State::Probing) {
        return;
    }
    if (mode_ == Mode::AllAtOnce) {
        reportProgress();
        running_ -= 1;
        if (running_ == 0) {
            finishProbing();
        }
        return;
    }
    startNext();
}

void DeviceSearch::finishProbing() {
    state_ = State::EndPause;
    emit probingFinished();
    endPause_.start();
}

} // namespace quellaton
