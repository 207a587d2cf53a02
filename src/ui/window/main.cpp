// QUELLATON: control program for loudspeaker amplifier units with built-in DSP.
#include "program_version.h"
#include "window/main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QStyleFactory>

#include <cstring>

namespace {

struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption portOption{
        QStringLiteral("port"),
        QStringLiteral("Adds a port the system does not list: a device path (a pseudo-terminal, "
                       "a symlink), or a serial device server on the network, "
                       "tcp://HOST:PORT (raw) or rfc2217://HOST:PORT; may be given more than "
                       "once."),
        QStringLiteral("PORT")};
    QCommandLineOption onlyGivenOption{QStringLiteral("only-given-ports"),
                                       QStringLiteral("Lists only the devices given with --port.")};

    CommandLine() {
        parser.setApplicationDescription(QStringLiteral(
            "Controls loudspeaker amplifier units with built-in DSP over a serial line."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(portOption);
        parser.addOption(onlyGivenOption);
        parser.addPositionalArgument(QStringLiteral("file"),
                                     QStringLiteral("A single-preset file (.sps) to open."),
                                     QStringLiteral("[FILE.sps]"));
    }
};

void NameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("QUELLATON"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quellaton::ProgramVersion));
}

// --version and --help only print text: answer them without a display, so that they work
// in a terminal without a desktop session.
bool OnlyPrintsText(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--version", "-v", "--help", "-h", "-?", "--help-all"}) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (OnlyPrintsText(argc, argv)) {
        QCoreApplication app(argc, argv);
        NameApplication();
        CommandLine commandLine;
        commandLine.parser.process(app); // prints and exits, unless the word was an option value
    }

    QApplication app(argc, argv);
    NameApplication();
    QGuiApplication::setDesktopFileName(QString::fromLatin1(quellaton::DesktopId));
    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(quellaton::DesktopId)));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    QApplication::setFont(font);

    CommandLine commandLine;
    commandLine.parser.process(app);

    quellaton::AppOptions options;
    options.extraPorts = commandLine.parser.values(commandLine.portOption);
    options.listSystemPorts = !commandLine.parser.isSet(commandLine.onlyGivenOption);
    if (!commandLine.parser.positionalArguments().isEmpty()) {
        options.presetFile = commandLine.parser.positionalArguments().front();
    }

    quellaton::MainWindow window(options);
    window.show();
    return app.exec();
}
