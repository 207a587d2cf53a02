// quellatond: the amplifier units for browsers, tablets and control systems. Owns the serial
// lines of a venue file (or of the ports and IDs given) and offers the units over HTTP and
// WebSocket, with a small web remote at /.
#include "fleet/served_fleet.h"
#include "process/stop_signals.h"
#include "program_version.h"
#include "service/remote_api.h"
#include "service/service_options.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quellatond"));
    QCoreApplication::setApplicationVersion(QLatin1String(quellaton::ProgramVersion));

    using namespace quellaton;
    using namespace quellaton::service;
    const ServiceOptions options = ParseServiceOptions(QCoreApplication::arguments());
    QTextStream err(stderr);
    QTextStream out(stdout);
    if (!options.message.isEmpty()) {
        (options.exitCode == 0 ? out : err) << options.message;
        return options.exitCode;
    }

    ServedFleet fleet(options.units, options.pollIntervalMs);
    RemoteApi api(fleet, options.token);
    const quint16 port = api.listen(options.address, options.port);
    if (port == 0) {
        err << QStringLiteral("quellatond: cannot listen on %1:%2\n")
                   .arg(options.address.toString())
                   .arg(options.port);
        return 1;
    }
    const QString host = options.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(options.address.toString())
                             : options.address.toString();
    out << QStringLiteral("quellatond: listening on http://%1:%2/ with %3 units on %4 lines\n")
               .arg(host)
               .arg(port)
               .arg(fleet.unitCount())
               .arg(fleet.ports().size());
    out.flush();

    StopSignals stop;
    QObject::connect(&stop, &StopSignals::received, &app, [] { QCoreApplication::exit(0); });
    fleet.start();
    return QCoreApplication::exec();
}
