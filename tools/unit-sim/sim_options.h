// Command-line options of quellaton-unit-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace unitsim {

struct Options {
    std::string link;        // where the pseudo-terminal's slave is published
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
    int temperatureRaw = 2915; // 36 degrees
    int attenuationDb = 3;
    bool help = false;
};

// Parses argv. On failure returns nothing and sets error.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

std::string HelpText(const char* program);

} // namespace unitsim
