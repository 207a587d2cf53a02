#include "link/transport.h"

#include "link/serial_transport.h"
#include "link/tcp_transport.h"

namespace quellaton {

bool IsNetworkPortName(const QString& name) {
    return name.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

std::unique_ptr<Transport> MakeTransport(const QString& location, QObject* parent) {
    if (location.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive)) {
        return std::make_unique<Rfc2217Transport>(parent);
    }
    if (location.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive)) {
        return std::make_unique<TcpTransport>(parent);
    }
    return std::make_unique<SerialTransport>(parent);
}

} // namespace quellaton
