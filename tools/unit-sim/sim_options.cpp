#include "sim_options.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(
            text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) {
            return parts;
        }
        start = at + 1;
    }
}

bool ParseNumbers(const std::string& text, std::vector<std::pair<long, long>>& ranges) {
    ranges.clear();
    for (const std::string& part : Split(text, ',')) {
        const std::size_t dash = part.find('-');
        long first = 0;
        long last = 0;
        if (dash == std::string::npos) {
            if (!ParseNumber(part, first)) {
                return false;
            }
            last = first;
        } else if (!ParseNumber(part.substr(0, dash), first) ||
                   !ParseNumber(part.substr(dash + 1), last)) {
            return false;
        }
        if (first < 1 || last < first) {
            return false;
        }
        ranges.emplace_back(first, last);
    }
    return !ranges.empty();
}

const char* const RequestNames[] = {"StatusPoll",   "SystemRead", "NameTableRead", "ImageRead",
                                    "PresetRecall", "SlotRead",   "SystemWrite",   "NameWrite"};

// KIND[=VALUE][:REQUEST]:WHICH, for example "check:20%", "stray:SlotRead:3",
// "delay=1500:StatusPoll:2-4", "short=5:ImageRead:1".
bool ParseFault(const std::string& text, Fault& fault) {
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 3) {
        return false;
    }
    std::string kind = parts[0];
    std::string value;
    if (const std::size_t eq = kind.find('='); eq != std::string::npos) {
        value = kind.substr(eq + 1);
        kind = kind.substr(0, eq);
    }
    struct KindInfo {
        const char* name;
        FaultKind kind;
        int defaultValue;
        int maxValue;
    };
    static const KindInfo kinds[] = {
        {"check", FaultKind::Check, 0, 0},   {"data", FaultKind::Data, 0, 0},
        {"end", FaultKind::End, 0, 0},       {"short", FaultKind::Short, 1, 400},
        {"stray", FaultKind::Stray, 0, 255}, {"delay", FaultKind::Delay, -1, 600000}};
    const KindInfo* info = nullptr;
    for (const KindInfo& k : kinds) {
        if (kind == k.name) {
            info = &k;
        }
    }
    if (!info) {
        return false;
    }
    fault.kind = info->kind;
    fault.value = info->defaultValue;
    if (!value.empty() &&
        (!ParseNumber(value, fault.value) || fault.value < 0 || fault.value > info->maxValue)) {
        return false;
    }
    if (fault.kind == FaultKind::Delay && fault.value < 0) {
        return false; // a delay needs its length
    }
    if (fault.kind == FaultKind::Short && fault.value < 1) {
        return false;
    }
    if (parts.size() == 3) {
        fault.request = parts[1];
        if (std::find(std::begin(RequestNames), std::end(RequestNames), fault.request) ==
            std::end(RequestNames)) {
            return false;
        }
    }
    const std::string& which = parts.back();
    if (!which.empty() && which.back() == '%') {
        return ParsePercent(which.substr(0, which.size() - 1), fault.percent);
    }
    fault.percent = -1;
    return ParseNumbers(which, fault.numbers);
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
                   name == "--temperature" || name == "--attenuation" || name == "--fault" ||
                   name == "--listen") {
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
            } else if (name == "--listen") {
                const std::size_t colon = value.rfind(':');
                const std::string host = value.substr(0, colon == std::string::npos ? 0 : colon);
                int port = -1;
                if (colon == std::string::npos || !ParseNumber(value.substr(colon + 1), port) ||
                    port < 0 || port > 65535 ||
                    (host != "localhost" && host.rfind("127.", 0) != 0)) {
                    return bad("a loopback address and port, HOST:PORT (127.0.0.1:5000)");
                }
                options.listenHost = host == "localhost" ? "127.0.0.1" : host;
                options.listenPort = port;
            } else if (name == "--fault") {
                Fault fault;
                if (!ParseFault(value, fault)) {
                    return bad("KIND[=VALUE][:REQUEST]:PERCENT% or :NUMBERS, see --help");
                }
                options.faults.push_back(fault);
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
    const bool listening = options.listenPort >= 0;
    if (!options.help && haveLink && listening) {
        error = "--link and --listen are exclusive";
        return std::nullopt;
    }
    if (!options.help && !haveLink && !listening) {
        error = "--link PATH or --listen HOST:PORT is required";
        return std::nullopt;
    }
    return options;
}

std::string HelpText(const char* program) {
    std::string text = "Usage: ";
    text += program;
    text += R"( (--link PATH | --listen HOST:PORT) [options]

Simulates one or more QUELLATON amplifier units sharing one serial line. The line is a
pseudo-terminal whose slave device is published as a symbolic link at PATH; point the
program at PATH (for example with --port PATH). Prints "ready" on stdout once the link
exists. Stops cleanly on SIGTERM or SIGINT and removes the link.

Options:
  --link PATH          Publish the line at PATH. A stale symbolic link there is replaced;
                       anything else at PATH is an error.
  --listen HOST:PORT   Instead of a pseudo-terminal, serve the line as a raw TCP stream on
                       this loopback address (127.0.0.1:5000; port 0 picks a free one), as
                       a serial device server in raw mode does. One client at a time; a new
                       one takes the line over. Prints "ready HOST:PORT" when listening.
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
  --realtime           Run the line at 9600 baud (about 1.04 ms a byte) both ways: replies
                       are paced, and received bytes take their time on the line before the
                       units see them. Each log line then also gives the line time of the
                       frame, in ms since the start, one START-END range per stretch of the
                       frame that reached the line without a pause (a frame written as a
                       head and, later, its rest has two).
  --reply-delay MS     Wait MS milliseconds after a request before replying. Default: 0.
  --drop PERCENT       Drop this share of the replies (0..100). Default: 0.
  --corrupt PERCENT    Flip one payload or check byte in this share of the replies that
                       are sent (0..100). Default: 0.
  --fault FAULT        Put a fault into chosen replies; may be given more than once.
                       FAULT is KIND[=VALUE][:REQUEST]:WHICH. KIND is one of
                         check      a wrong check byte
                         data       one payload byte changed, the check left as it was
                         end        a wrong End byte
                         short[=N]  the last N payload bytes left out (default 1), so
                                    the reply is shorter than its Length field says
                         stray[=B]  one stray byte B (default 0) after the reply
                         delay=MS   the reply sent MS milliseconds late; the line stays
                                    open, so a reply to a closed port waits in its queue
                       REQUEST limits the fault to replies to one request: StatusPoll,
                       SystemRead, NameTableRead, ImageRead, PresetRecall, SlotRead,
                       SystemWrite or NameWrite. WHICH is a share of those replies
                       ("20%") or their numbers, counted from 1 ("3", "2,5-7").
                       Examples: --fault check:20%  --fault stray:SlotRead:3
  --seed N             Seed of the random choices of --drop, --corrupt and --fault.
                       Default: 1.
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
