#include "app/timer_table.h"

namespace quellaton {

TimerTable::TimerTable(QObject* parent) : QObject(parent) {
#define QUELLATON_SETUP_TIMER(name, interval, single, running)                                     \
    name.setObjectName(QStringLiteral(#name));                                                     \
    name.setInterval(interval);                                                                    \
    name.setSingleShot(single);                                                                    \
    name.setTimerType(Qt::PreciseTimer);
    QUELLATON_TIMERS(QUELLATON_SETUP_TIMER)
#undef QUELLATON_SETUP_TIMER
}

void TimerTable::startInitialTimers() {
#define QUELLATON_START_TIMER(name, interval, single, running)                                     \
    if (running) {                                                                                 \
        Start(name);                                                                               \
    }
    QUELLATON_TIMERS(QUELLATON_START_TIMER)
#undef QUELLATON_START_TIMER
}

void TimerTable::Start(QTimer& timer) {
    if (!timer.isActive()) {
        timer.start();
    }
}

QList<QTimer*> TimerTable::all() {
    QList<QTimer*> timers;
#define QUELLATON_LIST_TIMER(name, interval, single, running) timers.append(&name);
    QUELLATON_TIMERS(QUELLATON_LIST_TIMER)
#undef QUELLATON_LIST_TIMER
    return timers;
}

} // namespace quellaton
