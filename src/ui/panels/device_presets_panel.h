// The unit's preset slots as the main window's preset group shows them: recalling any of the
// eight presets "Pre0:".."Usr7:" into the unit's working set, saving the working set under a
// name as one of the two user presets, the name field with its slot selector, and the label of
// the preset loaded last.
#pragma once

#include "common/dialogs.h"
#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "model/preset_names.h"
#include "operations/unit_session.h"
#include "panels/connection_panel.h"

#include <QObject>

namespace quellaton {

class DevicePresetsPanel : public QObject {
    Q_OBJECT
public:
    // `commitArmed` is the commit-armed flag the editors' text fields share: the name field
    // clears it on the click that selects its text and sets it again when left.
    DevicePresetsPanel(UnitSession& session, ShellWidgets& widgets,
                       ConfirmationDialog& confirmation, ConnectionPanel& connection,
                       WaySelection& selection, bool& commitArmed, QWidget* window);

    void recallClicked();    // "Load": ask, then recall the chosen preset
    void storeNameClicked(); // "Save" (and Enter in the name field)
    void nameFieldClicked(); // select all on the first click
    void nameFieldLeft();    // re-arm the select-all
    void userSlotChosen();

    // The user slot's name as stored (and shown in the name field): `slot` 7 or 8.
    QString userName(int slot) const;
    bool selectAllArmed() const { return commitArmed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool connected() const;
    void recall(int preset);
    void namesArrived();
    void nameStored(int slot);
    void systemArrived();

    UnitSession& session_;
    ShellWidgets& w_;
    ConfirmationDialog& confirmation_;
    ConnectionPanel& connection_;
    WaySelection& selection_;
    QWidget* window_;
    // Armed: the next click into the name field selects its whole text.
    bool& commitArmed_;
};

} // namespace quellaton
