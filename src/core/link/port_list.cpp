#include "link/port_list.h"

#include "link/transport.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <limits>

namespace quellaton {

PortList SystemPorts() {
    PortList ports;
    const auto infos = QSerialPortInfo::availablePorts();
    ports.reserve(infos.size());
    for (const QSerialPortInfo& info : infos)
        ports.append(PortEntry{info.portName(), info.systemLocation()});
    return ports;
}

PortList FillPortList(const QStringList& extraPaths, const PortSource& source) {
    PortList ports = source ? source() : PortList{};
    std::stable_sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });
    PortList given;
    for (const QString& path : extraPaths) {
        // A network port is listed as given: there is nothing on this machine to look for.
        if (path.isEmpty() || (!IsNetworkPortName(path) && !QFileInfo::exists(path)))
            continue;
        const auto names = [&](const PortEntry& e) { return e.name == path || e.location == path; };
        if (std::any_of(given.cbegin(), given.cend(), names))
            continue;
        const auto listed = std::find_if(ports.begin(), ports.end(), names);
        if (listed != ports.end()) {
            given.append(*listed);
            ports.erase(listed);
        } else {
            given.append(PortEntry{path, path});
        }
    }
    return ports + given;
}

int LastItemIndex(const PortList& list) {
    return static_cast<int>(list.size()) - 1;
}

QStringList PortNames(const PortList& list) {
    QStringList names;
    names.reserve(list.size());
    for (const PortEntry& e : list)
        names.append(e.name);
    return names;
}

int PortNumberOf(const QString& name) {
    if (name.size() <= 3)
        return 0;
    const QStringView digits = QStringView(name).mid(3);
    qsizetype i = 0;
    bool negative = false;
    if (digits[0] == u'-' || digits[0] == u'+') {
        negative = digits[0] == u'-';
        i = 1;
    }
    if (i >= digits.size())
        return 0;
    qint64 value = 0;
    for (; i < digits.size(); ++i) {
        const QChar c = digits[i];
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c.unicode() - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return 0;
    return static_cast<int>(value);
}

QList<int> BuildPortNumbers(const QStringList& names) {
    QList<int> numbers;
    numbers.reserve(names.size());
    for (const QString& name : names)
        numbers.append(PortNumberOf(name));
    return numbers;
}

bool PortListDiffers(const PortList& current, const PortList& scratch) {
    if (current.size() != scratch.size())
        return true;
    for (qsizetype i = 0; i < current.size(); ++i) {
        if (!(current[i] == scratch[i]))
            return true;
    }
    return false;
}

bool PortStillListed(const PortList& scratch, const QString& selectedName) {
    return std::any_of(scratch.cbegin(), scratch.cend(),
                       [&](const PortEntry& e) { return e.name == selectedName; });
}

PortEntry ResolvePort(const QString& given, const PortList& listed) {
    for (const PortEntry& entry : listed) {
        if (entry.name == given || entry.location == given) {
            return entry;
        }
    }
    const QFileInfo file(given);
    return PortEntry{given, file.exists() ? file.absoluteFilePath() : given};
}

} // namespace quellaton
