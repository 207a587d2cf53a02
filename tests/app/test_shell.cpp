// The main window's frame: start-up with its device search, the confirmation dispatch, the
// about box, and closing during the search.
#include "app_fixture.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <sys/resource.h>

using namespace quellaton;

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct StartedWindow {
    SimProcess sim;
    std::unique_ptr<MainWindow> window;
    explicit StartedWindow(const QString& ids) : sim(ids) {}
    bool open() {
        if (!sim.start()) {
            return false;
        }
        AppOptions options;
        options.extraPorts = {sim.link()};
        options.listSystemPorts = false;
        window = std::make_unique<MainWindow>(options);
        window->show();
        return true;
    }
};

} // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void startupSearchListsTheUnitsThenShowsTheEditors();
    void closingDuringTheStartupSearchStopsIt();
    void confirmationDispatch();
    void aboutBox();
    void portBoxShowsWholeNames();
};

void TestShell::startupSearchListsTheUnitsThenShowsTheEditors() {
    StartedWindow started(QStringLiteral("1,3"));
    QVERIFY(started.open());
    MainWindow& window = *started.window;
    ShellWidgets& w = window.widgets();
    QCOMPARE(window.windowTitle(), QStringLiteral("QUELLATON"));
    QCOMPARE(window.size(), QSize(750, 787));
    QVERIFY(w.searchProgressPanel->isVisible());
    QVERIFY(!w.connectionGroup->isVisible());
    QVERIFY(!w.fileMenu->menuAction()->isVisible());

    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QVERIFY(WaitUntil([&] { return w.connectionGroup->isVisible(); }, 15000));
    const double cpuShare = (ProcessCpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
    qInfo("start-up search over one port: %.0f ms, CPU share %.2f %%", double(wall.elapsed()),
          cpuShare * 100.0);
    QVERIFY2(wall.elapsed() >= 4500, "ten probes with 500 ms pauses");
    QVERIFY2(cpuShare < 0.10, qPrintable(QString::number(cpuShare)));

    // Ten probes, addresses 0..9.
    const QList<QByteArray> polls = started.sim.framesWith("A2002B");
    QCOMPARE(polls.size(), 10);
    QVERIFY(polls.last().startsWith("A5A5A509"));

    const QString link = started.sim.link();
    QCOMPARE(w.searchResultList->toPlainText(),
             link + QStringLiteral("--Device ID1 , ") + link + QStringLiteral("--Device ID3 , "));
    QCOMPARE(w.deviceIdList->currentText(), QStringLiteral("3"));
    QCOMPARE(window.session().address().address(), 2);
    QVERIFY(w.searchResultPanel->isVisible());
    QVERIFY(!w.editorArea->isVisible());
    QVERIFY(!w.searchProgressPanel->isVisible());
    QVERIFY(w.fileMenu->menuAction()->isVisible());
    QVERIFY(w.helpMenu->menuAction()->isVisible());
    QVERIFY(w.logo->isVisible());
    QVERIFY(!window.session().link().portOpen());
    // Three seconds later the editor area is back.
    QVERIFY(WaitUntil([&] { return w.editorArea->isVisible(); }, 4500));
    QVERIFY(!w.searchResultPanel->isVisible());
}

void TestShell::closingDuringTheStartupSearchStopsIt() {
    StartedWindow started(QStringLiteral("1"));
    QVERIFY(started.open());
    MainWindow& window = *started.window;
    bool finished = false;
    connect(&window.addressing(), &AddressingPanel::searchFinished, this, [&] { finished = true; });
    // The search runs in the event loop, so the close has to come from inside it.
    QTimer::singleShot(1300, &window, [&] { window.close(); });
    QElapsedTimer wall;
    wall.start();
    QVERIFY(WaitUntil([&] { return finished; }, 8000));
    QVERIFY2(wall.elapsed() < 3000, qPrintable(QString::number(wall.elapsed())));
    const int polls = started.sim.framesWith("A2002B").size();
    QVERIFY2(polls >= 1 && polls <= 4, qPrintable(QString::number(polls)));
    QTest::qWait(1200);
    QCOMPARE(started.sim.framesWith("A2002B").size(), polls);
}

void TestShell::confirmationDispatch() {
    ModalAnswerer answerer;
    AppOptions options;
    options.listSystemPorts = false;
    MainWindow window(options);
    window.show();
    QVERIFY(WaitUntil([&] { return window.widgets().connectionGroup->isVisible(); }, 5000));
    ConfirmationDialog& dialog = window.confirmationDialog();

    // Closed with its close box: the answer says so.
    answerer.setConfirmation(ModalAnswerer::Confirm::Close);
    QCOMPARE(dialog.ask(QStringLiteral("Loading"), QStringLiteral("Yes"), true),
             ConfirmationDialog::Answer::Closed);
    QVERIFY(dialog.secondButton->isVisibleTo(&dialog));

    // Confirmed: the first button's caption was set, and the answer is the first button.
    answerer.setConfirmation(ModalAnswerer::Confirm::First);
    QCOMPARE(dialog.ask(QStringLiteral("Saving all"), QStringLiteral("Yes"), true),
             ConfirmationDialog::Answer::First);
    QCOMPARE(dialog.firstButton->text(), QStringLiteral("Yes"));

    // The second button, and a dialog without it.
    answerer.setConfirmation(ModalAnswerer::Confirm::Second);
    QCOMPARE(dialog.ask(QStringLiteral("Saving"), QStringLiteral("Yes"), true),
             ConfirmationDialog::Answer::Second);
    answerer.setConfirmation(ModalAnswerer::Confirm::Close);
    QCOMPARE(dialog.ask(QStringLiteral("Broadcast"), QStringLiteral("Proceed"), false),
             ConfirmationDialog::Answer::Closed);
    QVERIFY(!dialog.secondButton->isVisibleTo(&dialog));
    QCOMPARE(dialog.firstButton->text(), QStringLiteral("Proceed"));
    QCOMPARE(answerer.messages(),
             (QStringList{QStringLiteral("Loading"), QStringLiteral("Saving all"),
                          QStringLiteral("Saving"), QStringLiteral("Broadcast")}));
}

void TestShell::aboutBox() {
    AppOptions options;
    options.listSystemPorts = false;
    MainWindow window(options);
    window.show();
    QVERIFY(WaitUntil([&] { return window.widgets().helpMenu->menuAction()->isVisible(); }, 5000));
    bool shown = false;
    QTimer::singleShot(100, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        shown = modal == &window.aboutBox();
        if (modal) {
            window.aboutBox().okButton->click();
        }
    });
    window.widgets().aboutAction->trigger();
    QVERIFY(shown);
    QCOMPARE(window.aboutBox().windowTitle(), QStringLiteral("Quellaton"));
    QStringList aboutTexts;
    for (const QLabel* label : window.aboutBox().findChildren<QLabel*>()) {
        aboutTexts << label->text();
    }
    QVERIFY(aboutTexts.contains(QStringLiteral("Quellaton version:V1.00b")));
    QVERIFY(aboutTexts.contains(QStringLiteral("Download user manual and software updates from:")));
    QCOMPARE(window.aboutBox().releaseLabel->text(),
             QStringLiteral("Program release " QUELLATON_PROJECT_VERSION));
    QCOMPARE(window.btlPictureDialog().windowTitle(), QStringLiteral("BTL模式"));
    QCOMPARE(window.confirmationDialog().windowTitle(), QStringLiteral("WARNING"));
}

// A long device path is cut in the box, which keeps its size, but its drop-down list is wide
// enough for it, and the box and its items carry the whole name as their tooltip.
void TestShell::portBoxShowsWholeNames() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shortPath = dir.filePath(QStringLiteral("a"));
    const QString longPath = dir.filePath(QStringLiteral("serial-by-id-usb-FTDI_FT232R_USB_UART"));
    for (const QString& path : {shortPath, longPath}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    AppOptions options;
    options.extraPorts = {shortPath, longPath};
    options.listSystemPorts = false;
    MainWindow window(options);
    window.show();
    QComboBox* box = window.widgets().portList;
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->currentText(), longPath); // the last port given is selected
    QCOMPARE(box->width(), 86);
    QVERIFY(box->fontMetrics().horizontalAdvance(longPath) > box->width());
    const auto tooltip = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(10, 10), box->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(box, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(tooltip(), longPath);
    QCOMPARE(box->itemData(0, Qt::ToolTipRole).toString(), shortPath);
    QCOMPARE(box->itemData(1, Qt::ToolTipRole).toString(), longPath);
    QVERIFY(box->view()->minimumWidth() >= box->view()->fontMetrics().horizontalAdvance(longPath));
    box->setCurrentIndex(0);
    QCOMPARE(tooltip(), shortPath);
    QToolTip::hideText();
    // Opened, the list shows the whole name.
    box->showPopup();
    QVERIFY(WaitUntil([&] { return box->view()->isVisible(); }, 2000));
    QVERIFY(box->view()->viewport()->width() >=
            box->view()->fontMetrics().horizontalAdvance(longPath));
    box->hidePopup();
}

QTEST_MAIN(TestShell)
#include "test_shell.moc"
