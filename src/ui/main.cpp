// QUELLATON: control program for loudspeaker amplifier units with built-in DSP.
#include "app/main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QUELLATON"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    QApplication::setFont(font);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Controls loudspeaker amplifier units with built-in DSP over a serial line."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Adds a serial device the system does not list (a pseudo-terminal, a "
                       "symlink); may be given more than once."),
        QStringLiteral("PATH"));
    const QCommandLineOption onlyGivenOption(
        QStringLiteral("only-given-ports"),
        QStringLiteral("Lists only the devices given with --port."));
    parser.addOption(portOption);
    parser.addOption(onlyGivenOption);
    parser.process(app);

    quellaton::AppOptions options;
    options.extraPorts = parser.values(portOption);
    options.listSystemPorts = !parser.isSet(onlyGivenOption);

    quellaton::TForm1 window(options);
    window.show();
    return app.exec();
}
