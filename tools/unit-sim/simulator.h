// One process emulates every unit on the line. The master side of the pseudo-terminal is the
// units' end of the cable; the slave is published as a symbolic link for the program to open.
// Everything runs in one poll() loop: bytes from the program are cut into frames, each frame
// is logged and handed to the addressed units, and their replies are queued for writing,
// optionally delayed, dropped, corrupted or paced at 9600 baud. With --realtime the received
// bytes are paced too: each takes its 1.04 ms on the line before the units see it, and the
// log gives every frame's time on the line.
#pragma once

#include "sim_frame.h"
#include "sim_options.h"
#include "sim_system.h"
#include "sim_unit.h"

#include <cstdio>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace unitsim {

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
    // signalFd becomes readable when the process is asked to stop.
    Simulator(Options options, int signalFd)
        : options_(std::move(options)), random_(options_.seed), signalFd_(signalFd) {}
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
    int signalFd_ = -1;
};

} // namespace unitsim
