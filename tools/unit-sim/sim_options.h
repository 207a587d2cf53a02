// Command-line options of quellaton-unit-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace unitsim {

// A fault the units put into chosen replies: a wrong check byte, a payload byte changed on
// the way (so the check no longer fits), a wrong End byte, a reply
// cut short (fewer bytes than its Length field says), a stray byte after the reply, or a
// reply sent late.
enum class FaultKind { Check, Data, End, Short, Stray, Delay };

struct Fault {
    FaultKind kind = FaultKind::Check;
    int value = 0;       // Short: bytes cut; Stray: the byte; Delay: milliseconds
    std::string request; // only replies to this request ("SlotRead"); empty: any reply
    double percent = -1; // a share of the replies, or (when < 0) the numbers below
    std::vector<std::pair<long, long>> numbers; // 1-based ranges of the matching replies
};

struct Options {
    std::string link;        // where the pseudo-terminal's slave is published
    std::string listenHost;  // --listen: serve the line as raw TCP on this loopback address
    int listenPort = -1;     // ... and port (0: any free one)
    std::vector<int> ids{1}; // device IDs of the units on the line
    std::string logPath;     // one hex line per received frame
    std::string statePath;   // unit state, rewritten after every change
    bool realtime = false;   // pace replies at 9600 baud
    int replyDelayMs = 0;
    double dropPercent = 0;
    double corruptPercent = 0;
    std::uint32_t seed = 1;
    long silentAfter = -1; // -1: never
    long exitAfter = -1;   // -1: never
    bool noNames = false;
    std::vector<Fault> faults;
    int temperatureRaw = 2915; // 36 degrees
    int attenuationDb = 3;
    bool help = false;
};

// Parses argv. On failure returns nothing and sets error.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

std::string HelpText(const char* program);

} // namespace unitsim
