// Times the window's start-up search over the ports given with --port, as the user waits for
// it: from the window's creation until the search has ended and its result is shown. Prints
// the milliseconds on stdout. scripts/search-ratio runs it over one and over four lines.
#include "window/main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("A port to search."),
                                  QStringLiteral("P"));
    parser.addOption(port);
    parser.process(app);

    quellaton::AppOptions options;
    options.extraPorts = parser.values(port);
    options.listSystemPorts = false;
    QElapsedTimer clock;
    clock.start();
    quellaton::MainWindow window(options);
    QObject::connect(&window.addressing(), &quellaton::AddressingPanel::searchFinished, &app, [&] {
        std::printf("%lld\n", static_cast<long long>(clock.elapsed()));
        QApplication::quit();
    });
    window.show();
    return QApplication::exec();
}
