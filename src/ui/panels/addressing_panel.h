// Choosing the unit to talk to, finding the units on every port, changing a unit's device ID
// and switching broadcast mode, as the main window offers them.
#pragma once

#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "operations/unit_session.h"
#include "panels/connection_panel.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <vector>

namespace quellaton {

// Marks of a device search: port row x address. Rows are list positions of the port list.
class FoundTable {
public:
    static constexpr int Size = 256;
    FoundTable() : marks_(Size * Size, false) {}
    void clear();
    void mark(int row, int address);
    bool at(int row, int address) const;

private:
    std::vector<bool> marks_;
};

class AddressingPanel : public QObject {
    Q_OBJECT
public:
    AddressingPanel(UnitSession& session, ConnectionPanel& connection, ShellWidgets& widgets,
                    WaySelection& selection, QWidget* window);

    void deviceIdChosen();
    void setIdClicked();     // "OK" of "Set device ID :"
    void searchClicked();    // "Search device ID"
    void startupSearch();    // the start-up search
    void broadcastClicked(); // "Broadcast Mode"
    void showSearchResult(); // "Search result"
    void closeResultPanel();
    // Stops a running search before its next probe (the window is closing).
    void stopSearch();

    bool searching() const { return session_.searching(); }
    // While searching: the address probed last, else -1.
    int probeAddress() const { return search_ ? search_->probeAddress() : -1; }

    // The result list text of a search over the found table (rows are port-list positions).
    struct Report {
        QString resultLine;
        QStringList lines;
        int lastAddress = -1; // address of the unit listed last, -1 when none
    };
    static Report BuildReport(const FoundTable& table, const QStringList& portNames,
                              const QList<int>& portNumbers);

signals:
    void searchFinished();

private:
    // The search both searches share: the progress panel, the probes, the report, the close.
    void runSearch(int addresses, int pauseMs, bool startup);
    void report(const DeviceSearch& search);
    void showReport(const Report& report);
    void searchEnded(bool startup);
    void hideStartupResult();

    UnitSession& session_;
    ConnectionPanel& connection_;
    ShellWidgets& w_;
    WaySelection& selection_;
    QWidget* window_;
    QTimer startupSearchTimer;
    QTimer startupResultTimer;
    QPointer<DeviceSearch> search_;
    QList<QWidget*> locked_;
};

} // namespace quellaton
