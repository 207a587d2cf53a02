#include "panels/addressing_panel.h"

#include "common/key_filter.h"
#include "common/messages.h"
#include "operations/timer_setup.h"

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

AddressingPanel::AddressingPanel(UnitSession& session, ConnectionPanel& connection,
                                 ShellWidgets& widgets, WaySelection& selection, QWidget* window)
    : QObject(window), session_(session), connection_(connection), w_(widgets),
      selection_(selection), window_(window) {
    SetUpTimer(startupSearchTimer, this, "startupSearchTimer", pacing::StartupSearchDelayMs, true);
    SetUpTimer(startupResultTimer, this, "startupResultTimer", pacing::StartupResultShownMs, true);
    connect(&startupSearchTimer, &QTimer::timeout, this, &AddressingPanel::startupSearch);
    connect(&startupResultTimer, &QTimer::timeout, this, &AddressingPanel::hideStartupResult);
    startupSearchTimer.start();

    connect(w_.deviceIdList, &QComboBox::currentIndexChanged, this,
            &AddressingPanel::deviceIdChosen);
    // The list shows the unit addressed, whoever changed it.
    connect(&session_.address(), &UnitAddress::changed, this, [this] {
        const QSignalBlocker blocker(w_.deviceIdList);
        w_.deviceIdList->setCurrentIndex(session_.address().deviceId() - 1);
    });
    new KeyFilter(w_.newIdField, QString::fromLatin1(KeyFilter::Digits),
                  [this] { setIdClicked(); });
    connect(w_.setIdButton, &QPushButton::clicked, this, &AddressingPanel::setIdClicked);
    connect(w_.searchButton, &QPushButton::clicked, this, &AddressingPanel::searchClicked);
    connect(w_.searchResultButton, &QPushButton::clicked, this, &AddressingPanel::showSearchResult);
    connect(w_.closeResultButton, &QToolButton::clicked, this, &AddressingPanel::closeResultPanel);
    connect(w_.resultCloseButton, &QPushButton::clicked, this, &AddressingPanel::closeResultPanel);
    connect(w_.cancelSearchButton, &QPushButton::clicked, this, &AddressingPanel::stopSearch);
    connect(w_.broadcastButton, &QPushButton::clicked, this, &AddressingPanel::broadcastClicked);
}

void AddressingPanel::deviceIdChosen() {
    const int index = w_.deviceIdList->currentIndex();
    if (index < 0) {
        return;
    }
    session_.address().setDeviceId(index + 1);
    w_.newIdField->setText(QString::number(index + 1));
}

void AddressingPanel::setIdClicked() {
    if (!session_.link().portOpen()) {
        ShowMessage(window_, QStringLiteral("Disconnect."));
        return;
    }
    bool ok = false;
    const QString text = w_.newIdField->text().trimmed();
    const int id = text.toInt(&ok, 10);
    if (!ok || id < 1 || id > 255) {
        w_.newIdField->setText(QString::number(session_.address().deviceId()));
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

AddressingPanel::Report AddressingPanel::BuildReport(const FoundTable& table,
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

void AddressingPanel::showReport(const Report& r) {
    w_.searchResultLine->setText(r.resultLine);
    w_.searchResultList->setPlainText(r.lines.join(QLatin1Char('\n')));
    w_.searchResultList->setVisible(!r.lines.isEmpty());
    if (r.lastAddress >= 0 && r.lastAddress < w_.deviceIdList->count()) {
        const QSignalBlocker blocker(w_.deviceIdList);
        w_.deviceIdList->setCurrentIndex(r.lastAddress);
    }
    deviceIdChosen();
}

void AddressingPanel::report(const DeviceSearch& search) {
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

void AddressingPanel::runSearch(int addresses, int pauseMs, bool startup) {
    w_.searchProgressBar->setValue(0);
    w_.searchProgressPanel->show();
    w_.searchProgressPanel->raise();
    search_ = session_.search(connection_.ports(), 0, addresses - 1, pauseMs);
    connect(search_, &DeviceSearch::progress, this, [this](int done, int total) {
        w_.searchProgressBar->setValue(total > 0 ? done * 100 / total : 0);
    });
    DeviceSearch* search = search_;
    connect(search_, &DeviceSearch::probingFinished, this, [this, search] { report(*search); });
    connect(search_, &DeviceSearch::finished, this, [this, startup] { searchEnded(startup); });
    search_->start();
}

void AddressingPanel::searchEnded(bool startup) {
    w_.searchProgressPanel->hide();
    w_.searchProgressBar->setValue(0);
    if (startup) {
        for (QWidget* area :
             {static_cast<QWidget*>(w_.logo), static_cast<QWidget*>(w_.graphArea),
              static_cast<QWidget*>(w_.connectionGroup), static_cast<QWidget*>(w_.fileGroup)}) {
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
    w_.editorArea->hide();
    w_.searchResultPanel->show();
    if (startup) {
        startupResultTimer.start();
    }
    emit searchFinished();
}

void AddressingPanel::searchClicked() {
    if (session_.link().portOpen() || searching()) {
        ShowMessage(window_, QStringLiteral("please disconnect and try again."));
        return;
    }
    locked_ = {w_.channelOverview, w_.connectionGroup, w_.fileGroup, w_.graphArea, w_.editorArea};
    for (QWidget* area : locked_) {
        area->setEnabled(false);
    }
    w_.fileMenu->menuAction()->setEnabled(false);
    w_.helpMenu->menuAction()->setEnabled(false);
    runSearch(SearchAddresses, pacing::ProbePauseMs, false);
}

void AddressingPanel::startupSearch() {
    startupSearchTimer.stop();
    runSearch(StartupAddresses, pacing::StartupProbePauseMs, true);
}

void AddressingPanel::stopSearch() {
    if (search_) {
        search_->requestStop();
    }
}

void AddressingPanel::hideStartupResult() {
    startupResultTimer.stop();
    w_.searchResultPanel->hide();
    w_.editorArea->show();
}

void AddressingPanel::showSearchResult() {
    w_.editorArea->hide();
    w_.searchResultPanel->show();
}

void AddressingPanel::closeResultPanel() {
    w_.searchResultPanel->hide();
    w_.editorArea->show();
}

void AddressingPanel::broadcastClicked() {
    if (session_.link().portOpen()) {
        ShowMessage(window_, QStringLiteral("Please disconnect."));
        return;
    }
    UnitAddress& address = session_.address();
    address.setBroadcast(!address.broadcast());
    const bool on = address.broadcast();
    w_.deviceIdLabel->setVisible(!on);
    w_.deviceIdList->setVisible(!on);
    w_.fileGroup->setVisible(!on);
    w_.connectionGroup->setGeometry(w_.connectionGroup->x(), on ? 90 : 2, on ? 215 : 594,
                                    w_.connectionGroup->height());
    w_.connectButton->move(w_.connectButton->x(), on ? 31 : 55);
    w_.connectionIndicator->move(w_.connectionIndicator->x(), on ? 29 : 54);
    SetButtonColour(w_.broadcastButton, on ? BtlButtonColour : NormalButtonColour);
}

} // namespace quellaton
