// The widgets of the main window's shell: the area frames, the connection and device
// addressing controls, the device preset rows, the PC-file buttons, the progress, search and
// result panels, the initial data panel, the menus and the status bar. Each carries its
// own name as objectName. The feature classes work on them; the editors and the
// response graph build their own controls inside their areas.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

namespace quellaton {

struct ShellWidgets {
    // Areas.
    QGroupBox* channelOverview = nullptr;     // channel overview
    QGroupBox* connectionGroup = nullptr;     // connection, device ID, device presets
    QGroupBox* fileGroup = nullptr;           // PC files and device search
    QGroupBox* graphArea = nullptr;           // response graph
    QGroupBox* editorArea = nullptr;          // editor area
    QGroupBox* devicePresetGroup = nullptr;   // device preset load and save
    QGroupBox* progressPanel = nullptr;       // "Please wait,doing data exchange."
    QGroupBox* searchProgressPanel = nullptr; // search progress
    QGroupBox* searchResultPanel = nullptr;   // search result
    QGroupBox* initialDataPanel = nullptr;    // initial data source
    QLabel* logo = nullptr;                   // logo

    // Connection (connectionGroup).
    QComboBox* portList = nullptr;          // COM port list
    QLabel* deviceIdLabel = nullptr;        // "Device ID:"
    QComboBox* deviceIdList = nullptr;      // device ID list "1".."255"
    QPushButton* connectButton = nullptr;   // "Connect" / "Disconnect"
    QLabel* connectionIndicator = nullptr;  // connection indicator
    QPushButton* broadcastButton = nullptr; // "Broadcast\nMode"
    QLineEdit* newIdField = nullptr;        // "Set device ID :" field
    QPushButton* setIdButton = nullptr;     // its "OK"
    QLabel* temperatureLabel = nullptr;
    QLabel* attenuationLabel = nullptr;

    // Device presets (devicePresetGroup).
    QComboBox* devicePresetList = nullptr;  // "Pre0:" .. "Usr7:"
    QPushButton* recallButton = nullptr;    // "Load"
    QComboBox* userSlotList = nullptr;      // "Usr6:", "Usr7:"
    QLineEdit* presetNameField = nullptr;   // preset name
    QPushButton* storeNameButton = nullptr; // "Save"
    QLabel* lastLoadedLabel = nullptr;      // "Last loaded preset:    "

    // PC files and search (fileGroup).
    QPushButton* saveOneButton = nullptr;      // "Save this preset to PC"
    QPushButton* saveAllButton = nullptr;      // "Save all presets to PC"
    QPushButton* loadOneButton = nullptr;      // "Load a preset from PC"
    QPushButton* loadAllButton = nullptr;      // "Load all presets from PC"
    QPushButton* searchButton = nullptr;       // "Search device ID"
    QPushButton* searchResultButton = nullptr; // "Search result"

    // Data-exchange progress (progressPanel).
    QProgressBar* progressBar = nullptr;

    // Search progress (searchProgressPanel).
    QProgressBar* searchProgressBar = nullptr;
    QPushButton* cancelSearchButton = nullptr; // "Cancel"

    // Search result (searchResultPanel).
    QLabel* searchResultLine = nullptr; // result line
    QPlainTextEdit* searchResultList = nullptr;
    QToolButton* closeResultButton = nullptr; // back to the editor area
    QPushButton* resultCloseButton = nullptr; // "Close"

    // Initial data source (initialDataPanel).
    QToolButton* closeInitialDataButton = nullptr; // close: disconnects
    QLineEdit* sourceIdField = nullptr;            // source device ID
    QPushButton* sourceIdButton = nullptr;         // "OK"
    QPushButton* sourceFileButton = nullptr;       // "Load one preset from PC as initial data"

    // Menus and status bar.
    QMenu* fileMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QMenu* editMenu = nullptr;      // "Edit", added by the window's edit menu
    QMenu* viewMenu = nullptr;      // "View", added by the graph's view menu
    QAction* exitAction = nullptr;  // "Exit"
    QAction* aboutAction = nullptr; // "QUELLATON Version 1.0"
    QLabel* statusCaption = nullptr;
    QLabel* connectionPane = nullptr;
};

// Builds the shell's widgets into `window` (whose central widget must exist).
ShellWidgets BuildShellWidgets(QMainWindow& window);

// Locks (on false) or unlocks (on true) the channel overview, the top groups, the graph, the
// editor area, the device presets and the menus.
void SetAreasEnabled(ShellWidgets& w, bool on);
// Hides the data-exchange panel and unlocks the graph, the channel overview, the top groups
// and the editor area.
void UnlockAreas(ShellWidgets& w);
// Where the preset transfers and the initial data load show the data-exchange panel.
inline constexpr int TransferBoxLeft = 208;
inline constexpr int TransferBoxTop = 232;
// Shows the data-exchange panel at (left, top) with its bar at 0 %.
void ShowProgressBox(ShellWidgets& w, int left, int top);

// Colours of the program's buttons.
inline constexpr QRgb NormalButtonColour = qRgb(224, 224, 224);
inline constexpr QRgb HighlightButtonColour = qRgb(255, 255, 128);
inline constexpr QRgb ActiveButtonColour = qRgb(255, 0, 0);
inline constexpr QRgb BtlButtonColour = qRgb(0, 128, 0);
void SetButtonColour(QAbstractButton* button, QRgb colour);
QRgb ButtonColour(const QAbstractButton* button);

} // namespace quellaton
