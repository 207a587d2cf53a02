// Choosing the unit to talk to, finding the units on every port, changing a unit's device ID
// and switching broadcast mode.
#pragma once

#include "app/program_state.h"
#include "app/shell_widgets.h"

namespace quellaton {

enum PanelKind {
    EqPanel = 0,
    LimiterPanel = 1,
    DelayPanel = 2,
    GainPanel = 3,
    SearchResultPanel = 4
};

class DeviceAddressing : public QObject {
    Q_OBJECT
public:
    DeviceAddressing(ProgramState& state, ShellWidgets& widgets, QWidget* window);

    void RzComboBox6Change();
    void Button1Click();   // "OK" of "Set device ID :"
    void ID1Click();       // "Search device ID"
    void Timer124Timer();  // the start-up search
    void RzButton8Click(); // "Broadcast Mode"
    void Button9Click();   // "Search result"
    void closeResultPanel();

    bool searching() const { return s_.flags.searchActive; }

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
    // Probes `addresses` on every port, last list item first, pausing `pauseMs` before each
    // probe. Returns when done or when SearchAbort is set.
    void probePorts(int addresses, int pauseMs);
    // The search both searches share: the progress panel, the probes, the report, the close.
    void runSearch(int addresses, int pauseMs);
    void report();
    void showReport(const Report& report);
    void Timer2Timer();
    void Timer14Timer();

    ProgramState& s_;
    ShellWidgets& w_;
    QWidget* window_;
    PortList searchedPorts_;
    QList<int> searchedNumbers_;
};

} // namespace quellaton
