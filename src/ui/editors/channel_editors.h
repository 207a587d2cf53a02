// The channel editors as one feature of the main window: builds their widgets, owns the
// channel strip, the equaliser editors and the BTL and bypass switches, and refreshes all of
// them when a parameter image has been applied.
#pragma once

#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "editors/btl_bypass.h"
#include "editors/channel_strip.h"
#include "editors/edit_commit.h"
#include "editors/editor_accessibility.h"
#include "editors/editor_availability.h"
#include "editors/editor_widgets.h"
#include "editors/eq_editors.h"
#include "operations/unit_session.h"

#include <QMainWindow>
#include <memory>

namespace quellaton {

class ResponseGraph;

class ChannelEditors : public QObject {
    Q_OBJECT
public:
    ChannelEditors(UnitSession& session, WaySelection& selection, ShellWidgets& shell,
                   ResponseGraph& graph, QMainWindow& window);
    ~ChannelEditors() override;

    EditorWidgets& widgets() { return widgets_; }
    EditCommitState& commitState() { return commit_; }
    ChannelStrip& strip() { return *strip_; }
    EqEditors& eq() { return *eq_; }
    BtlBypass& btl() { return *btl_; }

    // Window creation: the pictures, the legend colours of the band rows, and the Main
    // equaliser selected as its button does.
    void windowCreated();

    // A parameter image was applied: every control shows it, in the order the units' image
    // is shown (bypass boxes, master level, buttons, curves, then the Main panels).
    void imageApplied();
    // Undo, redo or an A/B swap changed values: every view shows them, the selection stays.
    void imageEdited();

private:
    ResponseGraph& graph_;
    EditorWidgets widgets_;
    EditCommitState commit_;
    std::unique_ptr<ChannelStrip> strip_;
    std::unique_ptr<EqEditors> eq_;
    std::unique_ptr<BtlBypass> btl_;
    std::unique_ptr<EditorAvailability> availability_;
    std::unique_ptr<EditorAccessibility> accessibility_;
};

} // namespace quellaton
