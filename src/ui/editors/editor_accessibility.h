// What a screen reader says about the channel editors. Every control gets a name that says
// what it is and where ("High way mute", "Main band 3 frequency up"), the equaliser table's
// names follow the section it shows and each popup's names follow the way it was opened for,
// so the reader tells which way is being edited. The bars and the gain fader give their values
// with units. Visible captions are not touched.
#pragma once

#include "common/accessible_widgets.h"
#include "common/way_selection.h"
#include "editors/channel_strip.h"
#include "editors/editor_widgets.h"
#include "editors/eq_editors.h"
#include "model/unit_model.h"

#include <QObject>

namespace quellaton {

class EditorAccessibility : public QObject {
    Q_OBJECT
public:
    EditorAccessibility(UnitModel& model, WaySelection& selection, EditorWidgets& widgets,
                        ChannelStrip& strip, EqEditors& eq, QObject* parent = nullptr);

    // Names the table after the section it shows and the popups and the DELAY group after
    // their ways.
    void refresh();

private:
    void nameFixedControls();
    void nameTable(int way);
    void namePopups();

    UnitModel& model_;
    EditorWidgets& e_;
    ChannelStrip& strip_;
    EqEditors& eq_;
    AccessibleValue* delayValue_ = nullptr;
    AccessibleValue* levelValue_ = nullptr;
    AccessibleValue* faderValue_ = nullptr;
};

} // namespace quellaton
