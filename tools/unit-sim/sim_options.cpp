#include "sim_options.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace unitsim {
namespace {

template <typename T> bool ParseNumber(const std::string& text, T& value) {
    if (text.empty()) {
        return false;
    }
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

bool ParsePercent(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && value >= 0 && value <= 100;
}

bool ParseIds(const std::string& text, std::vector<int>& ids) {
    ids.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        int id = 0;
        if (!ParseNumber(text.substr(start, comma - start), id) || id < 1 || id > 255 ||
            std::find(ids.begin(), ids.end(), id) != ids.end()) {
            return false;
        }
        ids.push_back(id);
        start = comma + 1;
    }
    return !ids.empty();
}

} // namespace

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options options;
    bool haveLink = false;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool inlineValue = false;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != name.npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue) {
                return true;
            }
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto flag = [&]() -> bool {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            return true;
        };
        auto bad = [&](const char* what) {
            error = "invalid value for " + name + " (" + what + "): '" + value + "'";
            return std::nullopt;
        };

        if (name == "--help" || name == "-h") {
            if (!flag()) {
                return std::nullopt;
            }
            options.help = true;
        } else if (name == "--realtime") {
            if (!flag()) {
                return std::nullopt;
            }
            options.realtime = true;
        } else if (name == "--no-names") {
            if (!flag()) {
                return std::nullopt;
            }
            options.noNames = true;
        } else if (name == "--link" || name == "--ids" || name == "--log" || name == "--state" ||
                   name == "--reply-delay" || name == "--drop" || name == "--corrupt" ||
                   name == "--seed" || name == "--silent-after" || name == "--exit-after" ||
                   name == "--temperature" || name == "--attenuation") {
            if (!takeValue()) {
                return std::nullopt;
            }
            if (name == "--link") {
                if (value.empty()) {
                    return bad("a path");
                }
                options.link = value;
                haveLink = true;
            } else if (name == "--ids") {
                if (!ParseIds(value, options.ids)) {
                    return bad("distinct device IDs 1..255, comma separated");
                }
            } else if (name == "--log") {
                options.logPath = value;
            } else if (name == "--state") {
                options.statePath = value;
            } else if (name == "--reply-delay") {
                if (!ParseNumber(value, options.replyDelayMs) || options.replyDelayMs < 0 ||
                    options.replyDelayMs > 600000) {
                    return bad("milliseconds 0..600000");
                }
            } else if (name == "--drop") {
                if (!ParsePercent(value, options.dropPercent)) {
                    return bad("percent 0..100");
                }
            } else if (name == "--corrupt") {
                if (!ParsePercent(value, options.corruptPercent)) {
                    return bad("percent 0..100");
                }
            } else if (name == "--seed") {
                if (!ParseNumber(value, options.seed)) {
                    return bad("unsigned 32-bit number");
                }
            } else if (name == "--silent-after") {
                if (!ParseNumber(value, options.silentAfter) || options.silentAfter < 0) {
                    return bad("frame count >= 0");
                }
            } else if (name == "--exit-after") {
                if (!ParseNumber(value, options.exitAfter) || options.exitAfter < 1) {
                    return bad("frame count >= 1");
                }
            } else if (name == "--temperature") {
                if (!ParseNumber(value, options.temperatureRaw) || options.temperatureRaw < 0 ||
                    options.temperatureRaw > 0xFFFF) {
                    return bad("raw reading 0..65535");
                }
            } else if (name == "--attenuation") {
                if (!ParseNumber(value, options.attenuationDb) || options.attenuationDb < 0 ||
                    options.attenuationDb > 255) {
                    return bad("dB 0..255");
                }
            }
        } else {
            error = "unknown option '" + std::string(argv[i]) + "'";
            return std::nullopt;
        }
    }
    if (!options.help && !haveLink) {
        error = "--link PATH is required";
        return std::nullopt;
    }
    return options;
}

std::string HelpText(const char* program) {
    std::string text = "Usage: ";
    text += program;
    text += R"( --link PATH [options]

Simulates one or more QUELLATON amplifier units sharing one serial line. The line is a
pseudo-terminal whose slave device is published as a symbolic link at PATH; point the
program at PATH (for example with --port PATH). Prints "ready" on stdout once the link
exists. Stops cleanly on SIGTERM or SIGINT and removes the link.

Options:
  --link PATH          Publish the line at PATH (required). A stale symbolic link there is
                       replaced; anything else at PATH is an error.
  --ids LIST           Device IDs of the units on the line, comma separated, each 1..255
                       (address = ID - 1). Default: 1. Each unit answers only frames
                       addressed to it; broadcast frames (address 0xFF) are applied by every
                       unit and answered by none.
  --log FILE           Write every frame received, one upper-case hex line each, flushed per
                       line. Bytes that form no frame (junk before a sync, a frame left
                       unfinished for 2 s) get a line of their own as well.
  --state FILE         After start and after every frame that changes a unit, rewrite FILE
                       atomically with lines "unit K id N", "unit K address A",
                       "unit K system HEX16", "unit K status HEX16", "unit K image HEX640",
                       "unit K slot S HEX640", "unit K name S HEX40" (K is the unit's ID
                       given with --ids, S = 1..20).
  --realtime           Pace replies at 9600 baud (about 1.04 ms a byte).
  --reply-delay MS     Wait MS milliseconds after a request before replying. Default: 0.
  --drop PERCENT       Drop this share of the replies (0..100). Default: 0.
  --corrupt PERCENT    Flip one payload or check byte in this share of the replies that
                       are sent (0..100). Default: 0.
  --seed N             Seed of the random choices of --drop and --corrupt. Default: 1.
  --silent-after N     Stop answering after N received frames. Frames are still logged and
                       writes still applied.
  --exit-after N       Exit after the N-th received frame (its reply is still sent): the
                       link disappears and the line hangs up. The simulator waits (at most
                       5 s) for the program to read the last replies first.
  --no-names           Never answer the name table request; everything else is answered.
  --temperature RAW    Raw temperature reading in status replies, 0..65535.
                       Default: 2915 (36 degrees).
  --attenuation DB     Attenuation in status replies, 0..255 dB. Default: 3.
  --help               Show this text and exit.

Frames are counted (for --silent-after and --exit-after) when they are complete, whatever
their address and whether their check is right. Frames with a wrong check or end byte, an
unknown command or block, or an index, group or length that does not fit the block are
ignored and reported on stderr.
)";
    return text;
}

} // namespace unitsim
