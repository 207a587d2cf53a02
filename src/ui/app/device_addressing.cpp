#include "app/device_addressing.h"

#include "app/key_filter.h"
#include "app/messages.h"
#include "link/pump_wait.h"
#include "operations/pacing.h"
#include "protocol/frames.h"
#include "transfers/line_steps.h"

#include <QCoreApplication>
#include <algorithm>

namespace quellaton {

namespace {
const char* const IdRangeMessage = "Please input 1~255 number.";
constexpr int SearchAddresses = 256;
constexpr int SearchPauseMs = pacing::ProbePauseMs;
constexpr int StartupAddresses = 10;
constexpr int StartupPauseMs = pacing::StartupProbePauseMs;
} // namespace

DeviceAddressing::DeviceAddressing(ProgramState& state, ShellWidgets& widgets, QWidget* window)
    : s_(state), w_(widgets), window_(window) {
    connect(w_.RzComboBox6, &QComboBox::currentIndexChanged, this,
            &DeviceAddressing::RzComboBox6Change);
    new KeyFilter(w_.RzEdit2, QString::fromLatin1(KeyFilter::Digits), [this] { Button1Click(); });
    connect(w_.Button1, &QPushButton::clicked, this, &DeviceAddressing::Button1Click);
    connect(w_.Button8, &QPushButton::clicked, this, &DeviceAddressing::ID1Click);
    connect(w_.Button9, &QPushButton::clicked, this, &DeviceAddressing::Button9Click);
    connect(w_.SpeedButton1, &QToolButton::clicked, this, &DeviceAddressing::closeResultPanel);
    connect(w_.RzButton11, &QPushButton::clicked, this, &DeviceAddressing::closeResultPanel);
    connect(w_.Button2, &QPushButton::clicked, this, [this] { s_.SearchAbort = 1; });
    connect(w_.RzButton8, &QPushButton::clicked, this, &DeviceAddressing::RzButton8Click);
    connect(&s_.timers.Timer124, &QTimer::timeout, this, &DeviceAddressing::Timer124Timer);
    connect(&s_.timers.Timer14, &QTimer::timeout, this, &DeviceAddressing::Timer14Timer);
    connect(&s_.timers.Timer2, &QTimer::timeout, this, &DeviceAddressing::Timer2Timer);
}

void DeviceAddressing::RzComboBox6Change() {
    const int index = w_.RzComboBox6->currentIndex();
    if (index < 0) {
        return;
    }
    s_.DeviceAddress = index;
    s_.DeviceId = index + 1;
    w_.RzEdit2->setText(QString::number(s_.DeviceId));
}

void DeviceAddressing::Button1Click() {
    if (!s_.driver.PortOpen()) {
        ShowMessage(window_, QStringLiteral("Disconnect."));
        return;
    }
    bool ok = false;
    const QString text = w_.RzEdit2->text().trimmed();
    const int id = text.toInt(&ok, 10);
    if (!ok || id < 1 || id > 255) {
        w_.RzEdit2->setText(QString::number(s_.DeviceId));
        ShowMessage(window_, QString::fromLatin1(IdRangeMessage));
        return;
    }
    s_.flags.idChangePending = true;
    s_.DeviceId = id;
    s_.builders.queueSystemWrite(s_.system, s_.DeviceId);
    s_.driver.ReceiveText.clear();
    if (s_.DeviceAddress != BroadcastAddress) {
        // The polls that follow already go to the new address.
        s_.DeviceAddress = s_.DeviceId - 1;
        const QSignalBlocker blocker(w_.RzComboBox6);
        w_.RzComboBox6->setCurrentIndex(s_.DeviceAddress);
    }
}

void DeviceAddressing::Timer2Timer() {
    s_.timers.Timer2.stop();
    ShowMessage(window_, QStringLiteral("Device ID changed to ") + QString::number(s_.DeviceId));
}

void DeviceAddressing::probePorts(int addresses, int pauseMs) {
    BlockingSerialDriver& d = s_.driver;
    // The list as it stood when the search began: the report names these ports, whatever
    // the system lists meanwhile.
    searchedPorts_ = s_.ports;
    searchedNumbers_ = s_.PortNumbers;
    const int n = int(searchedPorts_.size());
    for (int q = 1; q <= n; ++q) {
        const int row = n - q;
        QCoreApplication::processEvents();
        if (s_.SearchAbort) {
            return;
        }
        d.PortNumber = searchedNumbers_.value(row);
        if (d.PortOpen()) {
            d.ClosePort();
            PumpWait(100);
        }
        d.PortLocation = searchedPorts_[row].location;
        s_.searchRow = row;
        d.OpenPort();
        if (!d.PortOpen()) {
            continue;
        }
        d.StartWatcher();
        const bool finished = ProbeAddresses(
            d, s_.ProbeAddress, 0, addresses - 1, pauseMs,
            [this] {
                QCoreApplication::processEvents();
                return s_.SearchAbort != 0;
            },
            [&](int a) {
                w_.RzProgressBar2->setValue(((q - 1) * addresses + a + 1) * 100 / (n * addresses));
            });
        if (!finished) {
            return;
        }
    }
}

DeviceAddressing::Report DeviceAddressing::BuildReport(const FoundTable& table,
                                                       const QStringList& portNames,
                                                       const QList<int>& portNumbers) {
    Report r;
    r.resultLine = QStringLiteral("search result :none     ");
    // Rows in increasing port number; ports without a number keep their list order.
    QList<int> rows;
    for (int row = 0; row < portNames.size() && row < FoundTable::Size; ++row) {
        rows.append(row);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [&](int a, int b) { return portNumbers.value(a) < portNumbers.value(b); });
    int count = 0;
    r.lines.append(QString());
    for (int row : rows) {
        for (int a = 0; a < FoundTable::Size; ++a) {
            if (!table.at(row, a)) {
                continue;
            }
            ++count;
            if (count % 5 == 0) {
                r.lines.append(QString());
            }
            r.lines[count / 5] += portNames[row] + QStringLiteral("--") +
                                  QStringLiteral("Device ID") + QString::number(a + 1) +
                                  QStringLiteral(" , ");
            r.lastAddress = a;
            r.resultLine = QStringLiteral("search result :     ");
        }
    }
    if (count == 0) {
        r.lines.clear();
    }
    return r;
}

void DeviceAddressing::showReport(const Report& r) {
    w_.RzLabel6->setText(r.resultLine);
    w_.Memo1->setPlainText(r.lines.join(QLatin1Char('\n')));
    w_.Memo1->setVisible(!r.lines.isEmpty());
    s_.driver.PortNumber = -1;
    if (r.lastAddress >= 0 && r.lastAddress < w_.RzComboBox6->count()) {
        const QSignalBlocker blocker(w_.RzComboBox6);
        w_.RzComboBox6->setCurrentIndex(r.lastAddress);
    }
    RzComboBox6Change();
}

void DeviceAddressing::report() {
    showReport(BuildReport(s_.foundTable, PortNames(searchedPorts_), searchedNumbers_));
}

void DeviceAddressing::runSearch(int addresses, int pauseMs) {
    w_.RzProgressBar2->setValue(0);
    w_.RzGroupBox3->show();
    w_.RzGroupBox3->raise();
    s_.flags.searchActive = true;
    s_.foundTable.clear();

    probePorts(addresses, pauseMs);
    report();
    PumpWait(500);
    if (s_.driver.PortOpen()) {
        s_.driver.ClosePort();
    }

    w_.RzGroupBox3->hide();
    w_.RzProgressBar2->setValue(0);
    s_.flags.searchActive = false;
}

void DeviceAddressing::ID1Click() {
    if (s_.driver.PortOpen()) {
        ShowMessage(window_, QStringLiteral("please disconnect and try again."));
        return;
    }
    s_.SearchAbort = 0;
    const QList<QWidget*> locked = {w_.GroupBox1, w_.GroupBox2, w_.GroupBox3, w_.RzGroupBox8,
                                    w_.RzGroupBox12};
    for (QWidget* area : locked) {
        area->setEnabled(false);
    }
    w_.fileMenu->menuAction()->setEnabled(false);
    w_.helpMenu->menuAction()->setEnabled(false);
    runSearch(SearchAddresses, SearchPauseMs);

    for (QWidget* area : locked) {
        area->setEnabled(true);
    }
    w_.fileMenu->menuAction()->setEnabled(true);
    w_.helpMenu->menuAction()->setEnabled(true);
    s_.selection.panel = SearchResultPanel;
    w_.RzGroupBox12->hide();
    w_.RzGroupBox2->show();
    emit searchFinished();
}

void DeviceAddressing::Timer124Timer() {
    s_.timers.Timer124.stop();
    s_.SearchAbort = 0;
    runSearch(StartupAddresses, StartupPauseMs);
    for (QWidget* area :
         {static_cast<QWidget*>(w_.Image20), static_cast<QWidget*>(w_.RzGroupBox8),
          static_cast<QWidget*>(w_.GroupBox2), static_cast<QWidget*>(w_.GroupBox3)}) {
        area->show();
    }
    w_.fileMenu->menuAction()->setVisible(true);
    w_.helpMenu->menuAction()->setVisible(true);
    s_.selection.panel = SearchResultPanel;
    w_.RzGroupBox12->hide();
    w_.RzGroupBox2->show();
    TimerTable::Start(s_.timers.Timer14);
    emit searchFinished();
}

void DeviceAddressing::Timer14Timer() {
    s_.timers.Timer14.stop();
    w_.RzGroupBox2->hide();
    w_.RzGroupBox12->show();
}

void DeviceAddressing::Button9Click() {
    w_.RzGroupBox12->hide();
    w_.RzGroupBox2->show();
}

void DeviceAddressing::closeResultPanel() {
    w_.RzGroupBox2->hide();
    w_.RzGroupBox12->show();
}

void DeviceAddressing::RzButton8Click() {
    if (s_.driver.PortOpen()) {
        ShowMessage(window_, QStringLiteral("Please disconnect."));
        return;
    }
    s_.BroadcastMode = !s_.BroadcastMode;
    const bool on = s_.BroadcastMode;
    s_.DeviceAddress = on ? BroadcastAddress : s_.DeviceId - 1;
    w_.deviceIdLabel->setVisible(!on);
    w_.RzComboBox6->setVisible(!on);
    w_.GroupBox3->setVisible(!on);
    w_.GroupBox2->setGeometry(w_.GroupBox2->x(), on ? 90 : 2, on ? 215 : 594,
                              w_.GroupBox2->height());
    w_.Button3->move(w_.Button3->x(), on ? 31 : 55);
    w_.Image15->move(w_.Image15->x(), on ? 29 : 54);
    SetButtonColour(w_.RzButton8, on ? BtlButtonColour : NormalButtonColour);
}

} // namespace quellaton
