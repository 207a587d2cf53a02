// The list of serial ports offered for connecting: the ports the system lists, sorted as text
// without regard to case, then the device paths given on the command line (pseudo-terminals and
// symlinks, which the system does not list) in the order given. Those are the ports the user
// means, so the last item, which is selected after every fill, is one of them. Also the rules
// built on the list: the port number of each item, whether a refreshed list differs from the
// shown one, and whether the open port is still present.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace quellaton {

struct PortEntry {
    QString name;     // the text the list shows ("COM3", "ttyUSB0", or an extra path as given)
    QString location; // what the driver opens ("\\.\COM3", "/dev/ttyUSB0", the extra path)
    friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

using PortList = QList<PortEntry>;
// A source of the system's ports, in any order.
using PortSource = std::function<PortList()>;

// The system's serial ports as QSerialPortInfo lists them (port name and system location).
PortList SystemPorts();

// The ports of source() sorted as text without regard to case (COM1, COM10, COM2), then each
// extra path that exists now (followed through symlinks) or names a network port
// (tcp://HOST:PORT, rfc2217://HOST:PORT), in the order given. An extra path that
// names a port of source() moves that entry behind the system's ports; one that repeats an
// earlier extra path is not listed twice.
PortList FillPortList(const QStringList& extraPaths, const PortSource& source = SystemPorts);

// Index of the item selected after a fill: the last one, or -1 for an empty list.
int LastItemIndex(const PortList& list);

QStringList PortNames(const PortList& list);

// A port as a user named it (on a command line, in a venue file): an item of `listed` by its
// name or location, a network port, or a device path the system does not list (a relative one
// taken from the working folder).
PortEntry ResolvePort(const QString& given, const PortList& listed);

// The port number of one item: the text after its first three characters read as a decimal
// number (an optional sign and digits only, fitting 32 bits); 0 when it does not read as one.
// "COM10" gives 10, "ttyUSB0" and "/tmp/x" give 0.
int PortNumberOf(const QString& name);
QList<int> BuildPortNumbers(const QStringList& names);

// The refresh rule: a freshly filled scratch list replaces the shown one only when its count
// differs or any entry differs from the item at the same position.
bool PortListDiffers(const PortList& current, const PortList& scratch);

// The presence rule: the open port is still there while some scratch entry carries the selected
// item's text.
bool PortStillListed(const PortList& scratch, const QString& selectedName);

} // namespace quellaton
