// The simulator's small POSIX helpers: messages, non-blocking descriptors, whole-file writes.
#pragma once

#include <chrono>
#include <string>

namespace unitsim {

using Clock = std::chrono::steady_clock;

// Writes "quellaton-unit-sim: text" to standard error.
void Note(const std::string& text);
// "what: " followed by the text of errno.
std::string ErrnoText(const std::string& what);
// Makes fd non-blocking and close-on-exec.
bool SetNonBlocking(int fd);
// Writes text to path through a temporary file and a rename, so readers never see half of it.
bool WriteWholeFile(const std::string& path, const std::string& text);
// Whole milliseconds from now until when (at least 0, at most a minute), for poll().
int MillisecondsUntil(Clock::time_point when, Clock::time_point now);

} // namespace unitsim
