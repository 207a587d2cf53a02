#include "sim_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace unitsim {

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

} // namespace unitsim
