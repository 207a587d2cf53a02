// The simulator at work: received bytes become frames, frames reach the units, replies leave
// at the line's pace, all in one poll() loop.
#include "simulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace unitsim {
namespace {

using namespace std::chrono_literals;

// 10 bit times (start, 8 data, stop) at 9600 baud.
constexpr auto ByteTime = std::chrono::nanoseconds(1'041'667);
// A frame left unfinished this long is given up (the program pauses at most about a second
// between the head and the rest of a large write).
constexpr auto UnfinishedFrameTimeout = 2000ms;
// How long an --exit-after waits at most for its last replies to leave.
constexpr auto ExitDrainLimit = 5s;
// Time after a write by which the bytes have surely reached the reading side's input queue.
constexpr auto HandOverTime = 100ms;

} // namespace

// Received bytes: without --realtime the units see them at once; with it each first takes
// its time on the line.
void Simulator::Feed(const std::uint8_t* data, std::size_t size, Clock::time_point now,
                     std::vector<Piece>& pieces) {
    if (!options_.realtime) {
        fedSlots_.insert(fedSlots_.end(), size, LineSlot{now, now});
        reader_.Feed(data, size, pieces);
        return;
    }
    for (std::size_t i = 0; i < size; ++i) {
        const Clock::time_point start = std::max(now, rxLineFreeAt_);
        rxLineFreeAt_ = start + ByteTime;
        arriving_.push_back(Arriving{data[i], LineSlot{start, rxLineFreeAt_}});
    }
    FeedArrived(now, pieces);
}

void Simulator::FeedArrived(Clock::time_point now, std::vector<Piece>& pieces) {
    Bytes bytes;
    while (!arriving_.empty() && arriving_.front().slot.end <= now) {
        bytes.push_back(arriving_.front().value);
        fedSlots_.push_back(arriving_.front().slot);
        arriving_.pop_front();
    }
    if (!bytes.empty()) {
        lastReceived_ = now;
        reader_.Feed(bytes.data(), bytes.size(), pieces);
    }
}

bool Simulator::Chance(double percent) {
    if (percent <= 0) {
        return false;
    }
    return std::uniform_real_distribution<double>(0.0, 100.0)(random_) < percent;
}

bool Simulator::FaultChosen(std::size_t index, RequestKind request) {
    const Fault& fault = options_.faults[index];
    if (!fault.request.empty() && fault.request != RequestName(request)) {
        return false;
    }
    const long number = ++faultSeen_[index];
    if (fault.percent >= 0) {
        return Chance(fault.percent);
    }
    for (const auto& [first, last] : fault.numbers) {
        if (number >= first && number <= last) {
            return true;
        }
    }
    return false;
}

void Simulator::QueueReply(Bytes reply, RequestKind request, Clock::time_point now) {
    if (Chance(options_.dropPercent)) {
        Note("dropped reply " + ToHex(reply));
        return;
    }
    faultSeen_.resize(options_.faults.size(), 0);
    int delayMs = options_.replyDelayMs;
    Bytes stray;
    for (std::size_t i = 0; i < options_.faults.size(); ++i) {
        if (!FaultChosen(i, request)) {
            continue;
        }
        const Fault& fault = options_.faults[i];
        switch (fault.kind) {
        case FaultKind::Check:
            reply[reply.size() - 2] ^= 0x5A;
            break;
        case FaultKind::Data: {
            const std::size_t last = std::max(HeaderSize, reply.size() - 3);
            const std::size_t at =
                std::uniform_int_distribution<std::size_t>(HeaderSize, last)(random_);
            reply[at] ^= 0x24;
            break;
        }
        case FaultKind::End:
            reply.back() = 0x55;
            break;
        case FaultKind::Short: {
            const std::size_t payload = reply.size() - FrameOverhead;
            const std::size_t cut = std::min<std::size_t>(payload, std::size_t(fault.value));
            const auto checkAt = reply.end() - 2;
            reply.erase(checkAt - static_cast<std::ptrdiff_t>(cut), checkAt);
            break;
        }
        case FaultKind::Stray:
            stray.push_back(static_cast<std::uint8_t>(fault.value));
            break;
        case FaultKind::Delay:
            delayMs = fault.value;
            break;
        }
        Note(std::string("fault in the reply to ") + RequestName(request));
    }
    reply.insert(reply.end(), stray.begin(), stray.end());
    if (Chance(options_.corruptPercent)) {
        // One of the payload bytes or the check byte (index 10 .. size - 2).
        const std::size_t first = HeaderSize;
        const std::size_t last = reply.size() - 2;
        const std::size_t at = std::uniform_int_distribution<std::size_t>(first, last)(random_);
        const auto mask =
            static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, 255)(random_));
        reply[at] ^= mask;
        Note("corrupted byte " + std::to_string(at) + " of reply " + ToHex(reply));
    }
    Outgoing out;
    out.bytes = std::move(reply);
    out.notBefore = now + std::chrono::milliseconds(delayMs);
    output_.push_back(std::move(out));
}

void Simulator::HandleFrame(const Bytes& frame, Clock::time_point now) {
    std::string why;
    const std::optional<Request> request = RecognizeRequest(frame, why);
    if (!request) {
        Note("ignored frame (" + why + "): " + ToHex(frame));
        return;
    }
    const bool broadcast = request->address == BroadcastAddress;
    const bool silent = options_.silentAfter >= 0 && framesReceived_ > options_.silentAfter;
    bool changed = false;
    bool addressed = false;
    for (UnitState& unit : units_) {
        if (!broadcast && unit.Address() != request->address) {
            continue;
        }
        addressed = true;
        Outcome outcome = ApplyRequest(unit, *request, !options_.noNames);
        changed = changed || outcome.changed;
        if (broadcast || silent) {
            continue;
        }
        for (Bytes& reply : outcome.replies) {
            QueueReply(std::move(reply), request->kind, now);
        }
    }
    if (!addressed) {
        return; // for a unit that is not on this line
    }
    if (changed) {
        WriteState();
    }
}

void Simulator::HandlePieces(std::vector<Piece>& pieces, Clock::time_point now) {
    for (const Piece& piece : pieces) {
        if (exiting_) {
            break;
        }
        LogLine(piece.bytes);
        if (piece.kind == PieceKind::Junk || piece.kind == PieceKind::Cut) {
            Note(std::string("ignored ") + PieceKindName(piece.kind) + ": " + ToHex(piece.bytes));
            continue;
        }
        ++framesReceived_;
        if (piece.kind == PieceKind::Frame) {
            HandleFrame(piece.bytes, now);
        } else {
            Note(std::string("ignored ") + PieceKindName(piece.kind) + ": " + ToHex(piece.bytes));
        }
        if (options_.exitAfter > 0 && framesReceived_ >= options_.exitAfter) {
            exiting_ = true;
            exitDeadline_ = now + std::chrono::milliseconds(options_.replyDelayMs) + ExitDrainLimit;
        }
    }
    pieces.clear();
}

// Writes what is due. Returns false on a fatal write error. Sets the time to wait for the
// next byte, or asks to be woken when the line takes more.
bool Simulator::PumpOutput(Clock::time_point now, int& timeoutMs, bool& wantWritable) {
    while (!output_.empty()) {
        Outgoing& out = output_.front();
        if (now < out.notBefore) {
            timeoutMs = std::min(timeoutMs, MillisecondsUntil(out.notBefore, now));
            return true;
        }
        std::size_t count = out.bytes.size() - out.sent;
        if (options_.realtime) {
            if (!out.started) {
                out.started = true;
                out.start = std::max(out.notBefore, nextByteAt_);
            }
            const auto elapsed = now - out.start;
            const long long due = elapsed < Clock::duration::zero() ? 0 : elapsed / ByteTime + 1;
            const long long allowed = due - static_cast<long long>(out.sent);
            if (allowed <= 0) {
                const auto next = out.start + ByteTime * static_cast<long long>(out.sent);
                timeoutMs = std::min(timeoutMs, std::max(1, MillisecondsUntil(next, now)));
                return true;
            }
            count = std::min<std::size_t>(count, static_cast<std::size_t>(allowed));
        }
        if (LineFd() < 0) {
            output_.pop_front(); // nobody on the line to take it
            continue;
        }
        const ssize_t n = write(LineFd(), out.bytes.data() + out.sent, count);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                wantWritable = true;
                return true;
            }
            if (errno == EINTR) {
                continue;
            }
            if (listening()) {
                DropClient(); // the client went away mid-reply
                continue;
            }
            Note(ErrnoText("write to the line"));
            return false;
        }
        out.sent += static_cast<std::size_t>(n);
        lastWritten_ = now;
        if (options_.realtime) {
            nextByteAt_ = out.start + ByteTime * static_cast<long long>(out.sent);
        }
        if (out.sent < out.bytes.size()) {
            if (!options_.realtime) {
                wantWritable = true;
                return true;
            }
            continue; // computes the wait for the next byte
        }
        output_.pop_front();
    }
    return true;
}

int Simulator::Run() {
    for (int id : options_.ids) {
        units_.push_back(MakeStartUnit(id, options_.temperatureRaw, options_.attenuationDb));
    }
    if (!options_.logPath.empty()) {
        // Start empty, then append: a reader may truncate the log between frames and the next
        // line must still start at the beginning of the file.
        if (FILE* fresh = std::fopen(options_.logPath.c_str(), "w")) {
            std::fclose(fresh);
        }
        log_ = std::fopen(options_.logPath.c_str(), "a");
        if (!log_) {
            Note(ErrnoText("cannot open log " + options_.logPath));
            return 1;
        }
    }
    if (listening() ? !OpenListener() : !OpenLine()) {
        return 1;
    }
    if (!options_.statePath.empty() && !WriteWholeFile(options_.statePath, StateText(units_))) {
        return 1;
    }
    if (listening()) {
        const std::string where = options_.listenHost + ":" + std::to_string(options_.listenPort);
        Note("line served on " + where);
        std::printf("ready %s\n", where.c_str());
    } else {
        if (!PublishLink()) {
            return 1;
        }
        Note("line " + slavePath_ + " published at " + options_.link);
        std::printf("ready\n");
    }
    std::fflush(stdout);

    std::vector<Piece> pieces;
    std::uint8_t buffer[4096];
    for (;;) {
        const Clock::time_point now = Clock::now();
        int timeoutMs = 60'000;
        bool wantWritable = false;
        if (!PumpOutput(now, timeoutMs, wantWritable)) {
            return 1;
        }
        if (exiting_) {
            // Closing the master throws away what the program has not read yet, so the last
            // replies are given a while to be picked up.
            // The pseudo-terminal hands written bytes over to the reading side a little
            // later, so an empty input queue counts only some time after the last write.
            if (now >= exitDeadline_ ||
                (output_.empty() && now >= lastWritten_ + HandOverTime && UnreadOnLine() == 0)) {
                return 0;
            }
            timeoutMs = std::min(
                {timeoutMs, MillisecondsUntil(exitDeadline_, now), output_.empty() ? 10 : 60'000});
        }
        if (reader_.HasPending()) {
            timeoutMs =
                std::min(timeoutMs, MillisecondsUntil(lastReceived_ + UnfinishedFrameTimeout, now));
        }
        if (!arriving_.empty()) {
            // Wake when the bytes now on the line have all arrived; a frame that ends earlier
            // is taken then as well.
            timeoutMs =
                std::min(timeoutMs, std::max(1, MillisecondsUntil(arriving_.back().slot.end, now)));
        }

        pollfd fds[3] = {};
        fds[0].fd = signalFd_;
        fds[0].events = POLLIN;
        fds[1].fd = LineFd();
        fds[1].events = static_cast<short>((exiting_ ? 0 : POLLIN) | (wantWritable ? POLLOUT : 0));
        fds[2].fd = exiting_ ? -1 : listener_;
        fds[2].events = POLLIN;
        const int ready = poll(fds, 3, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            Note(ErrnoText("poll"));
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            Note("stopping on signal");
            return 0;
        }
        const Clock::time_point after = Clock::now();
        if (fds[2].revents & POLLIN) {
            AcceptClient();
            continue;
        }
        if (!exiting_ && LineFd() >= 0 && (fds[1].revents & (POLLIN | POLLHUP)) && listening()) {
            const ssize_t n = read(LineFd(), buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                DropClient();
                continue;
            }
            if (n > 0) {
                lastReceived_ = after;
                Feed(buffer, static_cast<std::size_t>(n), after, pieces);
                HandlePieces(pieces, after);
            }
        } else if (!exiting_ && (fds[1].revents & POLLIN)) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                lastReceived_ = after;
                Feed(buffer, static_cast<std::size_t>(n), after, pieces);
                HandlePieces(pieces, after);
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                Note(ErrnoText("read from the line"));
                return 1;
            }
        } else if (fds[1].revents & (POLLERR | POLLNVAL)) {
            Note("the line failed");
            return 1;
        }
        if (!exiting_ && !arriving_.empty()) {
            FeedArrived(after, pieces);
            HandlePieces(pieces, after);
        }
        if (!exiting_ && arriving_.empty() && reader_.HasPending() &&
            after >= lastReceived_ + UnfinishedFrameTimeout) {
            reader_.DropUnfinished(pieces);
            HandlePieces(pieces, after);
        }
    }
}

} // namespace unitsim
