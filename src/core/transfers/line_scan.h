// Finding the units on several lines at once: each line is probed on its own thread, with
// the same probes and pauses as the window's device search, so four lines take about as long
// as one.
#pragma once

#include "link/port_list.h"

#include <QList>
#include <QString>
#include <functional>

namespace quellaton {

struct ScanHit {
    int id = 0;          // device ID 1..255
    QString temperature; // as the window shows it: ">=70", "36", "<=10"
    QString attenuation; // "3 dB"
};

struct LineScan {
    PortEntry port;
    bool opened = false;
    QString openFailure; // the system's reason when the port could not be opened
    QList<ScanHit> hits; // in increasing ID
};

// Probes device IDs `firstId`..`lastId` on every port. `progress` is called on the calling
// thread with the probes sent so far and the total.
QList<LineScan> ScanLines(const PortList& ports, int firstId, int lastId,
                          const std::function<void(int done, int total)>& progress = {});

} // namespace quellaton
