// The initial data load of broadcast mode, as the main window offers it: once a broadcast
// connect is confirmed, the panel "SELECT THE SOURCE FOR THE INITIAL DATA LOAD" lets the user
// pick one unit (by its own device ID) or a single-preset file; the core's InitialDataLoad
// writes that image to every unit, and the window stays locked until it is done.
#pragma once

#include "common/file_chooser.h"
#include "common/shell_widgets.h"
#include "operations/unit_session.h"
#include "panels/connection_panel.h"

#include <QObject>
#include <QPointer>

namespace quellaton {

class InitialDataLoad;

class InitialDataPanel : public QObject {
    Q_OBJECT
public:
    InitialDataPanel(UnitSession& session, ShellWidgets& widgets, ConnectionPanel& connection,
                     FileChooser& chooser, QWidget* window);

    void closeInitialDataClicked(); // the panel's close button: disconnect
    void loadFromUnitClicked();     // "OK": load from the unit with the typed ID
    void loadFromFileClicked();     // "Load one preset from PC as initial data"

    // True while the image is being written to the units.
    bool distributing() const;
    // The address of the unit chosen last as the source (0 until one is chosen).
    int sourceAddress() const { return sourceAddress_; }

private:
    void showPanel();
    void showProgress();
    void finishLoad();

    UnitSession& session_;
    ShellWidgets& w_;
    ConnectionPanel& connection_;
    FileChooser& chooser_;
    QWidget* window_;
    QPointer<quellaton::InitialDataLoad> load_;
    int sourceAddress_ = 0;
};

} // namespace quellaton
