// Ends a helper process of a test as a user would: SIGTERM, so that it stops through its own
// event loop (closing ports, removing links), and a kill only when it does not end in time.
#pragma once

#include <QProcess>

#include <csignal>

inline void TerminateProcess(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
}
