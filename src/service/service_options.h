// The command line of quellatond: which units it serves (a venue file, or ports and a range of
// IDs), where it listens, the token it asks for, and how often it polls the units.
#pragma once

#include "fleet/fleet_status.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

namespace quellaton::service {

inline constexpr quint16 DefaultPort = 8470;

struct ServiceOptions {
    QList<WatchedUnit> units;
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = DefaultPort;
    QByteArray token; // empty: none asked for (only on a loopback address)
    int pollIntervalMs = 2000;

    // Set when the program should not run: the text to print (help, version or what is
    // wrong) and the exit status.
    QString message;
    int exitCode = 0;
};

// Exit status of bad usage, and of a venue or token file that cannot be used.
inline constexpr int UsageExit = 2;
inline constexpr int DamagedFileExit = 3;

ServiceOptions ParseServiceOptions(const QStringList& arguments);

} // namespace quellaton::service
