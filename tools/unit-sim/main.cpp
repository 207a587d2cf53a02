// quellaton-unit-sim: simulated amplifier units on a pseudo-terminal or a TCP port. This file
// reads the options and turns the stopping signals into a byte for the simulator's loop.

#include "simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// The self-pipe: the signal handler writes a byte, the simulator's poll() loop sees it.
int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

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
        Simulator simulator(*options, signalPipe[0]);
        status = simulator.Run();
    }
    close(signalPipe[0]);
    close(signalPipe[1]);
    return status;
}
