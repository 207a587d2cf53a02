#include "app/device_addressing.h"

#include "app/key_filter.h"
#include "app/messages.h"
#include "operations/timer_setup.h"
#include "protocol/frames.h"

#include <algorithm>

namespace quellaton {

namespace {
const char* const IdRangeMessage = "Please input 1~255 number.";
constexpr int SearchAddresses = 256;
constexpr int StartupAddresses = 10;
} // namespace

void FoundTable::clear() {
    std::fill(marks_.begin(), marks_.end(), false);
}

void FoundTable::mark(int row, int address) {
    if (row >= 0 && row < Size && address >= 0 && address < Size) {
        marks_[std::size_t(row * Size + address)] = true;
    }
}

bool FoundTable::at(int row, int address) const {
    return row >= 0 && row < Size && address >= 0 && address < Size &&
           marks_[std::size_t(row * Size + address)];
}

DeviceAddressing::DeviceAddressing(UnitSession& session, Connection& connection,
                                   ShellWidgets& widgets, WaySelection& selection, QWidget* window)
    : QObject(window), session_(session), connection_(connection), w_(widgets),
      selection_(selection), window_(window) {
    SetUpTimer(Timer124, this, "Timer124", pacing::StartupSearchDelayMs, true);
    SetUpTimer(Timer14, this, "Timer14", pacing::StartupResultShownMs, true);
    connect(&Timer124, &QTimer::timeout, this, &DeviceAddressing::Timer124Timer);
    connect(&Timer14, &QTimer::timeout, this, &DeviceAddressing::Timer14Timer);
    Timer124.start();

    connect(w_.RzComboBox6, &QComboBox::currentIndexChanged, this,
            &DeviceAddressing::RzComboBox6Change);
    // The list shows the unit addressed, whoever changed it.
    connect(&session_.address(), &UnitAddress::changed, this, [this] {
        const QSignalBlocker blocker(w_.RzComboBox6);
        w_.RzComboBox6->setCurrentIndex(session_.address().deviceId() - 1);
    });
    new KeyFilter(w_.RzEdit2, QString::fromLatin1(KeyFilter::Digits), [this] { Button1Click(); });
    connect(w_.Button1, &QPushButton::clicked, this, &DeviceAddressing::Button1Click);
    connect(w_.Button8, &QPushButton::clicked, this, &DeviceAddressing::ID1Click);
    connect(w_.Button9, &QPushButton::clicked, this, &DeviceAddressing::Button9Click);
    connect(w_.SpeedButton1, &QToolButton::clicked, this, &DeviceAddressing::closeResultPanel);
    connect(w_.RzButton11, &QPushButton::clicked, this, &DeviceAddressing::closeResultPanel);
    connect(w_.Button2, &QPushButton::clicked, this, &DeviceAddressing::stopSearch);
    connect(w_.RzButton8, &QPushButton::clicked, this, &DeviceAddressing::RzButton8Click);
}

void DeviceAddressing::RzComboBox6Change() {
    const int index = w_.RzComboBox6->currentIndex();
    if (index < 0) {
        return;
    }
    session_.address().setDeviceId(index + 1);
    w_.RzEdit2->setText(QString::number(index + 1));
}

void DeviceAddressing::Button1Click() {
    if (!session_.link().portOpen()) {
        ShowMessage(window_, QStringLiteral("Disconnect."));
        return;
    }
    bool ok = false;
    const QString text = w_.RzEdit2->text().trimmed();
    const int id = text.toInt(&ok, 10);
    if (!ok || id < 1 || id > 255) {
        w_.RzEdit2->setText(QString::number(session_.address().deviceId()));
        ShowMessage(window_, QString::fromLatin1(IdRangeMessage));
        return;
    }
    ChangeId* change = session_.changeId(id);
    connect(change, &Operation::finished, this, [this, id](Operation::Result result) {
        if (result == Operation::Result::Done) {
            // Shown from the event loop, once the reply has been handled.
            QTimer::singleShot(0, this, [this, id] {
                ShowMessage(window_, QStringLiteral("Device ID changed to ") + QString::number(id));
            });
        }
    });
    change->start();
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
    if (r.lastAddress >= 0 && r.lastAddress < w_.RzComboBox6->count()) {
        const QSignalBlocker blocker(w_.RzComboBox6);
        w_.RzComboBox6->setCurrentIndex(r.lastAddress);
    }
    RzComboBox6Change();
}

void DeviceAddressing::report(const DeviceSearch& search) {
    // The list as it stood when the search began: the report names these ports, whatever the
    // system lists meanwhile.
    FoundTable table;
    for (int row = 0; row < search.ports().size(); ++row) {
        if (const LineProbe* probe = search.probe(row)) {
            for (const ProbeHit& hit : probe->hits()) {
                table.mark(row, hit.address);
            }
        }
    }
    const QStringList names = PortNames(search.ports());
    showReport(BuildReport(table, names, BuildPortNumbers(names)));
}

void DeviceAddressing::runSearch(int addresses, int pauseMs, bool startup) {
    w_.RzProgressBar2->setValue(0);
    w_.RzGroupBox3->show();
    w_.RzGroupBox3->raise();
    search_ = session_.search(connection_.ports(), 0, addresses - 1, pauseMs);
    connect(search_, &DeviceSearch::progress, this, [this](int done, int total) {
        w_.RzProgressBar2->setValue(total > 0 ? done * 100 / total : 0);
    });
    DeviceSearch* search = search_;
    connect(search_, &DeviceSearch::probingFinished, this, [this, search] { report(*search); });
    connect(search_, &DeviceSearch::finished, this, [this, startup] { searchEnded(startup); });
    search_->start();
}

void DeviceAddressing::searchEnded(bool startup) {
    w_.RzGroupBox3->hide();
    w_.RzProgressBar2->setValue(0);
    if (startup) {
        for (QWidget* area :
             {static_cast<QWidget*>(w_.Image20), static_cast<QWidget*>(w_.RzGroupBox8),
              static_cast<QWidget*>(w_.GroupBox2), static_cast<QWidget*>(w_.GroupBox3)}) {
            area->show();
        }
        w_.fileMenu->menuAction()->setVisible(true);
        w_.helpMenu->menuAction()->setVisible(true);
    } else {
        for (QWidget* area : locked_) {
            area->setEnabled(true);
        }
        w_.fileMenu->menuAction()->setEnabled(true);
        w_.helpMenu->menuAction()->setEnabled(true);
    }
    selection_.setPanel(SearchResultPanel);
    w_.RzGroupBox12->hide();
    w_.RzGroupBox2->show();
    if (startup) {
        Timer14.start();
    }
    emit searchFinished();
}

void DeviceAddressing::ID1Click() {
    if (session_.link().portOpen() || searching()) {
        ShowMessage(window_, QStringLiteral("please disconnect and try again."));
        return;
    }
    locked_ = {w_.GroupBox1, w_.GroupBox2, w_.GroupBox3, w_.RzGroupBox8, w_.RzGroupBox12};
    for (QWidget* area : locked_) {
        area->setEnabled(false);
    }
    w_.fileMenu->menuAction()->setEnabled(false);
    w_.helpMenu->menuAction()->setEnabled(false);
    runSearch(SearchAddresses, pacing::ProbePauseMs, false);
}

void DeviceAddressing::Timer124Timer() {
    Timer124.stop();
    runSearch(StartupAddresses, pacing::StartupProbePauseMs, true);
}

void DeviceAddressing::stopSearch() {
    if (search_) {
        search_->requestStop();
    }
}

void DeviceAddressing::Timer14Timer() {
    Timer14.stop();
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
    if (session_.link().portOpen()) {
        ShowMessage(window_, QStringLiteral("Please disconnect."));
        return;
    }
    UnitAddress& address = session_.address();
    address.setBroadcast(!address.broadcast());
    const bool on = address.broadcast();
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
