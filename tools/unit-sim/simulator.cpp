// The simulator's line and its surroundings: opening the pseudo-terminal or the listening
// socket, the published link, the state file, the frame log and its line times.
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

} // namespace

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

} // namespace unitsim
