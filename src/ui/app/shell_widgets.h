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
    QGroupBox* GroupBox1 = nullptr;    // channel overview
    QGroupBox* GroupBox2 = nullptr;    // connection, device ID, device presets
    QGroupBox* GroupBox3 = nullptr;    // PC files and device search
    QGroupBox* RzGroupBox8 = nullptr;  // response graph
    QGroupBox* RzGroupBox12 = nullptr; // editor area
    QGroupBox* RzGroupBox4 = nullptr;  // device preset load and save
    QGroupBox* RzGroupBox1 = nullptr;  // "Please wait,doing data exchange."
    QGroupBox* RzGroupBox3 = nullptr;  // search progress
    QGroupBox* RzGroupBox2 = nullptr;  // search result
    QGroupBox* RzGroupBox16 = nullptr; // initial data source
    QLabel* Image20 = nullptr;         // logo

    // Connection (GroupBox2).
    QComboBox* RzComboBox1 = nullptr; // COM port list
    QLabel* deviceIdLabel = nullptr;  // "Device ID:"
    QComboBox* RzComboBox6 = nullptr; // device ID list "1".."255"
    QPushButton* Button3 = nullptr;   // "Connect" / "Disconnect"
    QLabel* Image15 = nullptr;        // connection indicator
    QPushButton* RzButton8 = nullptr; // "Broadcast\nMode"
    QLineEdit* RzEdit2 = nullptr;     // "Set device ID :" field
    QPushButton* Button1 = nullptr;   // its "OK"
    QLabel* temperatureLabel = nullptr;
    QLabel* attenuationLabel = nullptr;

    // Device presets (RzGroupBox4).
    QComboBox* devicePresetList = nullptr; // "Pre0:" .. "Usr7:"
    QPushButton* RzButton9 = nullptr;      // "Load"
    QComboBox* RzComboBox11 = nullptr;     // "Usr6:", "Usr7:"
    QLineEdit* RzEdit1 = nullptr;          // preset name
    QPushButton* RzButton10 = nullptr;     // "Save"
    QLabel* lastLoadedLabel = nullptr;     // "Last loaded preset:    "

    // PC files and search (GroupBox3).
    QPushButton* Button6 = nullptr; // "Save this preset to PC"
    QPushButton* Button4 = nullptr; // "Save all presets to PC"
    QPushButton* Button7 = nullptr; // "Load a preset from PC"
    QPushButton* Button5 = nullptr; // "Load all presets from PC"
    QPushButton* Button8 = nullptr; // "Search device ID"
    QPushButton* Button9 = nullptr; // "Search result"

    // Data-exchange progress (RzGroupBox1).
    QProgressBar* RzProgressBar1 = nullptr;

    // Search progress (RzGroupBox3).
    QProgressBar* RzProgressBar2 = nullptr;
    QPushButton* Button2 = nullptr; // "Cancel"

    // Search result (RzGroupBox2).
    QLabel* RzLabel6 = nullptr; // result line
    QPlainTextEdit* Memo1 = nullptr;
    QToolButton* SpeedButton1 = nullptr; // back to the editor area
    QPushButton* RzButton11 = nullptr;   // "Close"

    // Initial data source (RzGroupBox16).
    QToolButton* SpeedButton3 = nullptr; // close: disconnects
    QLineEdit* RzEdit3 = nullptr;        // source device ID
    QPushButton* Button10 = nullptr;     // "OK"
    QPushButton* Button11 = nullptr;     // "Load one preset from PC as initial data"

    // Menus and status bar.
    QMenu* fileMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* N10 = nullptr; // "Exit"
    QAction* N9 = nullptr;  // "QUELLATON Version 1.0"
    QLabel* RzStatusPane1 = nullptr;
    QLabel* RzStatusPane2 = nullptr;
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
