// Shows which editor controls act now. The equaliser table edits the section it shows only
// while that section is the selected one; each popup and the DELAY group edit the way they were
// loaded for only while that way is selected. With no unit connected they edit the open preset
// file just the same. Controls that would do nothing are disabled, so the user sees why nothing
// happens. Their texts and places stay as they are.
#pragma once

#include "common/way_selection.h"
#include "editors/channel_strip.h"
#include "editors/editor_widgets.h"
#include "editors/eq_editors.h"

#include <QObject>

namespace quellaton {

class EditorAvailability : public QObject {
    Q_OBJECT
public:
    EditorAvailability(WaySelection& selection, EditorWidgets& widgets, ChannelStrip& strip,
                       EqEditors& eq, QObject* parent = nullptr);

    // Enables exactly the controls that act in the present selection.
    void refresh();

private:
    EditorWidgets& e_;
    ChannelStrip& strip_;
    EqEditors& eq_;
};

} // namespace quellaton
