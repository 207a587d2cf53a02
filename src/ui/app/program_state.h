// The one owner of the program's state: the parameter image, the send slots and their
// builders, the serial driver, the reply parser's flags, the device addressing values and
// the interval timers. The main window creates it and hands it by reference to every
// feature class.
#pragma once

#include "app/timer_table.h"
#include "link/blocking_serial_driver.h"
#include "link/port_list.h"
#include "protocol/parameter_image.h"
#include "protocol/receive_parser.h"
#include "protocol/send_slots.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>
#include <array>
#include <vector>

namespace quellaton {

// "High", "Mid", "Low", "Main" for way 0..3; empty for none.
inline QString SectionName(int way) {
    static const char* const names[4] = {"High", "Mid", "Low", "Main"};
    return way >= 0 && way < 4 ? QLatin1String(names[way]) : QString();
}

struct AppOptions {
    QStringList extraPorts;      // --port PATH, for devices the system does not list
    bool listSystemPorts = true; // off in tests, so only the given paths are listed
};

// Marks of a device search: port row x address. Rows are list positions of the port list.
class FoundTable {
public:
    static constexpr int Size = 256;
    FoundTable() : marks_(Size * Size, false) {}
    void clear(int rows = Size, int addresses = Size);
    void mark(int row, int address);
    bool at(int row, int address) const;

private:
    std::vector<bool> marks_;
};

class ProgramState : public QObject {
    Q_OBJECT
public:
    explicit ProgramState(AppOptions options, QObject* parent = nullptr);

    const AppOptions options;
    TimerTable timers;
    BlockingSerialDriver driver;

    // Port list: entries as listed, and the port number of each (0 for names that do not
    // end in a number after their first three characters).
    QList<PortEntry> ports;
    QList<int> PortNumbers;

    ParameterImage image;
    SendSlots sendSlots;
    BlockBuilders builders;
    ParserFlags flags;
    SystemValues system;

    int DeviceAddress = 0; // device ID - 1, or 255 for all units
    int DeviceId = 1;
    bool BroadcastMode = false;

    QByteArray StoredImage; // hex text of a whole image reply or a .sps file
    int ImageSlotCounter = 0;
    int SourceAddress = 0;
    std::array<QByteArray, 20> presetNames; // 20 bytes each, as the unit sent them
    QList<QByteArray> backupList;           // .fps lines collected or loaded
    QList<QByteArray> saveList;             // the .sps line collected

    FoundTable foundTable;
    int searchRow = 0; // port-list position being searched; its answers are marked there
    int ProbeAddress = 0;
    int SearchAbort = 0;

    int PendingAction = 0;
    bool ActionConfirmed = false;

    struct {
        bool active = false;
        int count = 0;
    } StagedTransfer;
    int SendingSlot = 0;

    // The way selection of the channel editors: current way -1 none, 0..2 the ways, 3 Main;
    // current panel kind -1 none, 0 EQ/HPF/LPF, 1 Limiter, 2 Delay, 3 Gain, 4 search result.
    struct {
        int way = -1;
        int panel = -1;
    } selection;

    // The six "Bypass" boxes of the equaliser rows (band 1..6 of whichever section is shown).
    std::array<bool, BandsPerSection> bypassTicked{};

    // While an image is being shown, control updates must not queue blocks.
    bool applyingImage = false;

    bool canQueue() const { return driver.PortOpen() && !applyingImage; }

signals:
    // A parameter image was decoded into `image`: every view refreshes from it.
    void imageApplied();
    // The preset names arrived (presetNames holds them).
    void presetNamesReceived();
    // A system block arrived (system holds it).
    void systemBlockReceived();
    // A status reply arrived.
    void statusReceived(const QString& temperature, const QString& attenuation);
    // The close-panel operation: the editors restore their highlighted button, hide their
    // popup, return from the search result view and clear the way selection.
    void closePanelRequested();
    // The way selection changed, or a section or popup was loaded for it: the editors show
    // which of their controls act now.
    void selectionChanged();
};

} // namespace quellaton
