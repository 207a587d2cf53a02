// The unit's preset slots as the main window's preset group shows them: recalling any of the
// eight presets "Pre0:".."Usr7:" into the unit's working set, saving the working set under a
// name as one of the two user presets, the name field with its slot selector, and the label of
// the preset loaded last.
#pragma once

#include "app/connection.h"
#include "app/dialogs.h"
#include "app/shell_widgets.h"
#include "app/way_selection.h"
#include "model/preset_names.h"
#include "operations/unit_session.h"

#include <QObject>

namespace quellaton {

class DevicePresets : public QObject {
    Q_OBJECT
public:
    static constexpr int NameMaxLength = PresetNameMaxLength;

    // `commitArmed` is the commit-armed flag the editors' text fields share: the name field
    // clears it on the click that selects its text and sets it again when left.
    DevicePresets(UnitSession& session, ShellWidgets& widgets, TForm5& confirmation,
                  Connection& connection, WaySelection& selection, bool& commitArmed,
                  QWidget* window);

    void RzButton9Click();  // "Load": ask, then recall the chosen preset
    void RzButton10Click(); // "Save" (and Enter in the name field)
    void RzEdit1Click();    // select all on the first click
    void RzEdit1Exit();     // re-arm the select-all
    void RzComboBox11Change();

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
    TForm5& confirmation_;
    Connection& connection_;
    WaySelection& selection_;
    QWidget* window_;
    // Armed: the next click into the name field selects its whole text.
    bool& commitArmed_;
};

} // namespace quellaton
