// Every interval timer of the program, one QTimer each, with its name, interval and kind.
// A timer started while it runs keeps its countdown: start them through Start().
#pragma once

#include <QObject>
#include <QTimer>

#include "operations/pacing.h"

namespace quellaton {

// name, interval in ms, single shot, running at start
#define QUELLATON_TIMERS(X)                                                                        \
    X(Timer124, 10, true, true)                                                                    \
    X(Timer14, 3000, true, false)                                                                  \
    X(Timer13, 1000, false, true)                                                                  \
    X(refurbish, 3000, false, true)                                                                \
    X(brocar1, 3000, false, true)                                                                  \
    X(Timer6, 2000, true, false)                                                                   \
    X(chcon, pacing::FirstByteTimeoutMs, true, false)                                              \
    X(chcon112, pacing::ImageTimeoutMs, true, false)                                               \
    X(chcon188, pacing::NamesTimeoutMs, true, false)                                               \
    X(Timer1, pacing::PollIntervalMs, false, false)                                                \
    X(intimer, pacing::PollWatchdogMs, true, false)                                                \
    X(sendTimer, pacing::QueueScanMs, false, false)                                                \
    X(Timer7, pacing::QueueWriteDelayMs, true, false)                                              \
    X(Timer4, pacing::QueueResumeMs, true, false)                                                  \
    X(Timer22, pacing::RecallTimeoutMs, true, false)                                               \
    X(Timer2, 10, true, false)                                                                     \
    X(Timer342, 200, false, false)                                                                 \
    X(Timer333, 300, false, false)                                                                 \
    X(Timer332, pacing::SourceUnitTimeoutMs, true, false)                                          \
    X(trunon1, 10, true, false)                                                                    \
    X(Timer3, 1000, false, false)                                                                  \
    X(Timer12, 800, false, false)                                                                  \
    X(Timer8, pacing::SlotReadIntervalMs, false, false)                                            \
    X(Timer9, pacing::BackupTimeoutMs, true, false)                                                \
    X(Timer10, pacing::SlotWriteIntervalMs, false, false)                                          \
    X(Timer11, 10, true, false)                                                                    \
    X(FSaveDialog3, 10, true, false)                                                               \
    X(FSaveDialog4, 10, true, false)                                                               \
    X(Timer15, 10, true, false)                                                                    \
    X(Timer16, 10, true, false)                                                                    \
    X(Timer17, 10, true, false)                                                                    \
    X(Timer18, 10, true, false)                                                                    \
    X(Timer19, 10, true, false)                                                                    \
    X(Timer20, 10, true, false)                                                                    \
    X(Timer21, 10, true, false)                                                                    \
    X(close1, 10, true, false)

class TimerTable : public QObject {
    Q_OBJECT
public:
    explicit TimerTable(QObject* parent = nullptr);

#define QUELLATON_DECLARE_TIMER(name, interval, single, running) QTimer name;
    QUELLATON_TIMERS(QUELLATON_DECLARE_TIMER)
#undef QUELLATON_DECLARE_TIMER

    // Starts the timers that run from program start.
    void startInitialTimers();
    // Starts `timer` unless it is already running, which keeps its countdown.
    static void Start(QTimer& timer);
    QList<QTimer*> all();
};

} // namespace quellaton
