// quellaton-unit-sim: simulated amplifier units on a pseudo-terminal.
//
// One process emulates every unit on the line. The master side of the pseudo-terminal is the
// units' end of the cable; the slave is published as a symbolic link for the program to open.
// Everything runs in one poll() loop: bytes from the program are cut into frames, each frame
// is logged and handed to the addressed units, and their replies are queued for writing,
// optionally delayed, dropped, corrupted or paced at 9600 baud. With --realtime the received
// bytes are paced too: each takes its 1.04 ms on the line before the units see it, and the
// log gives every frame's time on the line.

#include "sim_frame.h"
#include "sim_options.h"
#include "sim_unit.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace unitsim {
namespace {

using Clock = std::chrono::steady_clock;
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

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

void Note(const std::string& text) {
    std::fprintf(stderr, "quellaton-unit-sim: %s\n", text.c_str());
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    FILE* file = std::fopen(temp.c_str(), "w");
    if (!file) {
        Note(ErrnoText("cannot write " + temp));
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        Note(ErrnoText("cannot write " + temp));
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        Note(ErrnoText("cannot rename " + temp + " to " + path));
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
    if (when <= now) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}

// A received byte's time on the line (realtime): it starts when it arrives or when the byte
// before it has finished, whichever is later.
struct LineSlot {
    Clock::time_point start;
    Clock::time_point end;
};

struct Arriving {
    std::uint8_t value;
    LineSlot slot;
};

struct Outgoing {
    Bytes bytes;
    std::size_t sent = 0;
    Clock::time_point notBefore;
    Clock::time_point start{}; // first byte's slot on the line, set when it begins (realtime)
    bool started = false;
};

class Simulator {
public:
    explicit Simulator(Options options) : options_(std::move(options)), random_(options_.seed) {}
    ~Simulator() { Shutdown(); }

    int Run();

private:
    bool OpenLine();
    bool OpenListener();
    void AcceptClient();
    void DropClient();
    int LineFd() const { return listening() ? client_ : master_; }
    bool listening() const { return options_.listenPort >= 0; }
    bool PublishLink();
    void RemoveLink();
    void Shutdown();
    void WriteState();
    void LogLine(const Bytes& bytes);
    std::string LineTimes(std::size_t count);
    void Feed(const std::uint8_t* data, std::size_t size, Clock::time_point now,
              std::vector<Piece>& pieces);
    void FeedArrived(Clock::time_point now, std::vector<Piece>& pieces);
    void HandlePieces(std::vector<Piece>& pieces, Clock::time_point now);
    void HandleFrame(const Bytes& frame, Clock::time_point now);
    void QueueReply(Bytes reply, RequestKind request, Clock::time_point now);
    bool FaultChosen(std::size_t fault, RequestKind request);
    bool PumpOutput(Clock::time_point now, int& timeoutMs, bool& wantWritable);
    bool Chance(double percent);
    int UnreadOnLine() const;

    Options options_;
    std::mt19937 random_;
    std::vector<UnitState> units_;
    FrameReader reader_;
    std::deque<Outgoing> output_;
    std::deque<Arriving> arriving_; // realtime: received bytes still on the line
    std::deque<LineSlot> fedSlots_; // line times of the bytes the reader holds, in order
    Clock::time_point rxLineFreeAt_{};
    Clock::time_point started_ = Clock::now();
    std::vector<long> faultSeen_; // replies each --fault has looked at
    Clock::time_point nextByteAt_{};
    Clock::time_point lastReceived_{};
    Clock::time_point lastWritten_{};
    long framesReceived_ = 0;
    bool exiting_ = false;
    Clock::time_point exitDeadline_{};

    int master_ = -1;
    int slave_ = -1;    // kept open so the master never sees a hang-up when the program closes
    int listener_ = -1; // --listen: the listening socket and the client that has the line
    int client_ = -1;
    std::string slavePath_;
    bool linkPublished_ = false;
    FILE* log_ = nullptr;
};

bool Simulator::OpenLine() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        Note(ErrnoText("cannot create a pseudo-terminal"));
        return false;
    }
    const char* name = ptsname(master_);
    if (!name) {
        Note(ErrnoText("ptsname"));
        return false;
    }
    slavePath_ = name;
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        Note(ErrnoText("cannot open " + slavePath_));
        return false;
    }
    termios tio{};
    if (tcgetattr(slave_, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tio.c_cflag |= CLOCAL | CREAD;
        tcsetattr(slave_, TCSANOW, &tio);
    }
    if (!SetNonBlocking(master_)) {
        Note(ErrnoText("fcntl"));
        return false;
    }
    return true;
}

bool Simulator::OpenListener() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) {
        Note(ErrnoText("socket"));
        return false;
    }
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options_.listenPort));
    if (inet_pton(AF_INET, options_.listenHost.c_str(), &address.sin_addr) != 1 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0) {
        Note(ErrnoText("cannot listen on " + options_.listenHost + ":" +
                       std::to_string(options_.listenPort)));
        return false;
    }
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    options_.listenPort = ntohs(address.sin_port);
    return true;
}

// A new client takes the line over, as a device server does when a new user kicks the old.
void Simulator::AcceptClient() {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return;
    }
    DropClient();
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client_ = fd;
}

// The client went: what was on its way to it, and a frame it left unfinished, are lost.
void Simulator::DropClient() {
    if (client_ >= 0) {
        close(client_);
        client_ = -1;
    }
    output_.clear();
    arriving_.clear();
    std::vector<Piece> pieces;
    reader_.DropUnfinished(pieces);
    HandlePieces(pieces, Clock::now());
}

bool Simulator::PublishLink() {
    struct stat info {};
    if (lstat(options_.link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        Note(options_.link + " exists and is not a symbolic link; not replacing it");
        return false;
    }
    // Create under a temporary name and rename over a stale link in one step.
    const std::string temp = options_.link + ".new" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(slavePath_.c_str(), temp.c_str()) != 0) {
        Note(ErrnoText("cannot create link " + temp));
        return false;
    }
    if (rename(temp.c_str(), options_.link.c_str()) != 0) {
        Note(ErrnoText("cannot create link " + options_.link));
        unlink(temp.c_str());
        return false;
    }
    linkPublished_ = true;
    return true;
}

void Simulator::RemoveLink() {
    if (!linkPublished_) {
        return;
    }
    linkPublished_ = false;
    // Leave a link alone that somebody else has replaced meanwhile.
    char target[4096];
    const ssize_t n = readlink(options_.link.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_) {
        unlink(options_.link.c_str());
    }
}

void Simulator::Shutdown() {
    RemoveLink();
    if (client_ >= 0) {
        close(client_);
        client_ = -1;
    }
    if (listener_ >= 0) {
        close(listener_);
        listener_ = -1;
    }
    if (log_) {
        std::fclose(log_);
        log_ = nullptr;
    }
    if (slave_ >= 0) {
        close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

// Bytes written to the line that the program has not read yet.
int Simulator::UnreadOnLine() const {
    int count = 0;
    if (listening()) {
        // Bytes the connection has not yet delivered.
        return client_ >= 0 && ioctl(client_, TIOCOUTQ, &count) == 0 ? count : 0;
    }
    if (ioctl(slave_, FIONREAD, &count) != 0) {
        return 0;
    }
    return count;
}

void Simulator::WriteState() {
    if (!options_.statePath.empty()) {
        WriteWholeFile(options_.statePath, StateText(units_));
    }
}

void Simulator::LogLine(const Bytes& bytes) {
    const std::string times = LineTimes(bytes.size());
    if (log_) {
        std::fprintf(log_, "%s%s\n", ToHex(bytes).c_str(), times.c_str());
        std::fflush(log_);
    }
}

// The line times of the next `count` bytes the reader handed out, as " START-END" ranges in
// ms since the start, one for each stretch without a pause (realtime only).
std::string Simulator::LineTimes(std::size_t count) {
    std::string text;
    const auto ms = [this](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - started_).count();
    };
    const auto gap = ByteTime / 4; // the line idled between two bytes
    bool open = false;
    LineSlot stretch{};
    for (std::size_t i = 0; i < count && !fedSlots_.empty(); ++i) {
        const LineSlot slot = fedSlots_.front();
        fedSlots_.pop_front();
        if (!options_.realtime) {
            continue;
        }
        if (open && slot.start > stretch.end + gap) {
            char range[64];
            std::snprintf(range, sizeof range, " %.3f-%.3f", ms(stretch.start), ms(stretch.end));
            text += range;
            open = false;
        }
        if (!open) {
            stretch.start = slot.start;
            open = true;
        }
        stretch.end = slot.end;
    }
    if (open) {
        char range[64];
        std::snprintf(range, sizeof range, " %.3f-%.3f", ms(stretch.start), ms(stretch.end));
        text += range;
    }
    return text;
}

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
        fds[0].fd = signalPipe[0];
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

} // namespace
} // namespace unitsim

int main(int argc, char** argv) {
    using namespace unitsim;
    std::string error;
    const std::optional<Options> options = ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "quellaton-unit-sim: %s\nTry '%s --help'.\n", error.c_str(), argv[0]);
        return 2;
    }
    if (options->help) {
        std::fputs(HelpText(argv[0]).c_str(), stdout);
        return 0;
    }

    if (pipe(signalPipe) != 0 || !SetNonBlocking(signalPipe[0]) || !SetNonBlocking(signalPipe[1])) {
        std::perror("quellaton-unit-sim: pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int status = 0;
    {
        Simulator simulator(*options);
        status = simulator.Run();
    }
    close(signalPipe[0]);
    close(signalPipe[1]);
    return status;
}
