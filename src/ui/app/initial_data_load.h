// The initial data load of broadcast mode: after a broadcast connect was confirmed, the user
// picks where the common starting data comes from (one unit, read by its own device ID, or a
// single-preset file), and that image is written to all units by broadcast, twice, and shown
// in the program's controls.
#pragma once

#include "app/connection.h"
#include "app/program_state.h"
#include "app/shell_widgets.h"
#include "presets/preset_files.h"

#include <QObject>

namespace quellaton {

class InitialDataLoad : public QObject {
    Q_OBJECT
public:
    InitialDataLoad(ProgramState& state, ShellWidgets& widgets, Connection& connection,
                    FileChooser& chooser, QWidget* window);

    void SpeedButton3Click(); // the panel's close button: disconnect
    void Button10Click();     // "OK": load from the unit with the typed ID
    void Button11Click();     // "Load one preset from PC as initial data"

    // True while the image is being written to the units.
    bool distributing() const { return distributing_; }

private:
    void Timer20Timer();  // show the source panel over the locked window
    void trunon1Timer();  // the source unit's image arrived
    void Timer332Timer(); // the source unit did not answer
    void Timer342Timer(); // progress of a load from a file
    void Timer333Timer(); // progress of a load from a unit
    void progressTick(QTimer& timer);
    void finishLoad();
    void showProgress();
    // Writes StoredImage to every unit twice and shows it. `fromUnit` picks the longer pause
    // before the second payload.
    void BroadcastImage(bool fromUnit);

    ProgramState& s_;
    ShellWidgets& w_;
    Connection& connection_;
    FileChooser& chooser_;
    QWidget* window_;
    int progressCount_ = 0;
    bool distributing_ = false;
    bool progressDone_ = false;
};

} // namespace quellaton
