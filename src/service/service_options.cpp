#include "service/service_options.h"

#include "files/venue_file.h"
#include "program_version.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

namespace quellaton::service {

namespace {

// A token file holds one line; anything longer is not a token.
constexpr qint64 MaxTokenBytes = 4096;

const char* const Help =
    "Usage: quellatond (--venue FILE | --port P... --ids A-B) [--listen ADDR:PORT]\n"
    "                  [--token-file FILE] [--interval SECONDS]\n\n"
    "Serves QUELLATON amplifier units over HTTP and WebSocket: the API under /api/ (its\n"
    "OpenAPI document at /api/openapi.json), events at /api/events and a web remote at /.\n\n"
    "  --venue FILE          the units of a venue file, with their labels\n"
    "  --port P              a port whose units to serve; may be repeated (with --ids)\n"
    "  --ids A-B             the device IDs served on each --port\n"
    "  --listen ADDR:PORT    where to listen (default 127.0.0.1:8470; port 0 picks one)\n"
    "  --token-file FILE     the bearer token every API request must carry; needed to\n"
    "                        listen on any address other than loopback\n"
    "  --interval SECONDS    how often every unit is polled (default 2, 0.1 to 3600)\n"
    "  -h, --help            this help\n"
    "  -v, --version         the version\n\n"
    "Exit status: 0 stopped by SIGINT or SIGTERM; 1 cannot listen; 2 bad usage;\n"
    "3 a venue or token file that cannot be used.\n";

ServiceOptions Fail(int code, const QString& why) {
    ServiceOptions options;
    options.exitCode = code;
    options.message = QStringLiteral("quellatond: %1\nTry 'quellatond --help'.\n").arg(why);
    return options;
}

bool ParseId(const QString& text, int& id) {
    bool ok = false;
    id = text.toInt(&ok);
    return ok && id >= 1 && id <= 255;
}

bool ParseListen(const QString& text, QHostAddress& address, quint16& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        return false;
    }
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value > 65535 || !address.setAddress(host)) {
        return false;
    }
    port = quint16(value);
    return true;
}

} // namespace

ServiceOptions ParseServiceOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption venue(QStringLiteral("venue"), {}, QStringLiteral("FILE"));
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("P"));
    const QCommandLineOption ids(QStringLiteral("ids"), {}, QStringLiteral("A-B"));
    const QCommandLineOption listen(QStringLiteral("listen"), {}, QStringLiteral("ADDR:PORT"));
    const QCommandLineOption tokenFile(QStringLiteral("token-file"), {}, QStringLiteral("FILE"));
    const QCommandLineOption interval(QStringLiteral("interval"), {}, QStringLiteral("SECONDS"));
    parser.addOptions({help, version, venue, port, ids, listen, tokenFile, interval});
    if (!parser.parse(arguments)) {
        return Fail(UsageExit, parser.errorText());
    }
    ServiceOptions options;
    if (parser.isSet(help)) {
        options.message = QLatin1String(Help);
        return options;
    }
    if (parser.isSet(version)) {
        options.message =
            QStringLiteral("quellatond %1\n").arg(QLatin1String(quellaton::ProgramVersion));
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Fail(
            UsageExit,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    }

    if (parser.isSet(venue) == parser.isSet(port)) {
        return Fail(UsageExit, QStringLiteral("give a venue file (--venue) or ports (--port) "
                                              "with --ids, one of the two"));
    }
    if (parser.isSet(venue)) {
        if (parser.isSet(ids)) {
            return Fail(UsageExit, QStringLiteral("--ids goes with --port, not with --venue"));
        }
        const VenueRead read = ReadVenueFile(parser.value(venue));
        if (!read.venue) {
            QStringList errors;
            for (const VenueError& error : read.errors) {
                errors.append(error.text());
            }
            return Fail(DamagedFileExit, errors.join(QLatin1Char('\n')));
        }
        options.units = WatchedUnitsOf(*read.venue);
    } else {
        int first = 0;
        int last = 0;
        const QStringList range = parser.value(ids).split(QLatin1Char('-'));
        if (!parser.isSet(ids) || range.size() != 2 || !ParseId(range[0], first) ||
            !ParseId(range[1], last) || first > last || last > 254) {
            return Fail(UsageExit, QStringLiteral("--ids must be a range A-B of device IDs "
                                                  "1..254"));
        }
        options.units = WatchedUnitsOf(parser.values(port), first, last);
    }
    if (options.units.isEmpty()) {
        return Fail(UsageExit, QStringLiteral("no unit to serve"));
    }

    if (parser.isSet(listen) && !ParseListen(parser.value(listen), options.address, options.port)) {
        return Fail(UsageExit, QStringLiteral("--listen must be ADDR:PORT, an IP address and a "
                                              "port 0..65535"));
    }
    if (parser.isSet(tokenFile)) {
        QFile file(parser.value(tokenFile));
        if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
            return Fail(DamagedFileExit,
                        QStringLiteral("cannot read the token file %1").arg(file.fileName()));
        }
        options.token = file.read(MaxTokenBytes + 1).trimmed();
        const bool printable = std::all_of(options.token.begin(), options.token.end(),
                                           [](char c) { return c > ' ' && c < 127; });
        if (options.token.isEmpty() || options.token.size() > MaxTokenBytes || !printable) {
            return Fail(DamagedFileExit,
                        QStringLiteral("the token file %1 must hold one token of printable "
                                       "characters without blanks")
                            .arg(file.fileName()));
        }
    }
    if (!options.address.isLoopback() && options.token.isEmpty()) {
        return Fail(UsageExit, QStringLiteral("listening on %1 needs --token-file: only a "
                                              "loopback address is served without a token")
                                   .arg(options.address.toString()));
    }
    if (parser.isSet(interval)) {
        bool ok = false;
        const double seconds = parser.value(interval).toDouble(&ok);
        if (!ok || !(seconds >= 0.1 && seconds <= 3600)) {
            return Fail(UsageExit, QStringLiteral("--interval must be 0.1 to 3600 seconds"));
        }
        options.pollIntervalMs = int(seconds * 1000);
    }
    return options;
}

} // namespace quellaton::service
