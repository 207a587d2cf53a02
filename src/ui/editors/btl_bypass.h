// "BTL Mode" (bridged operation, in which the Mid way has no controls of its own) and the
// six "Bypass" boxes that take a band out of the drawn response and, for Main, out of what is
// sent.
#pragma once

#include "editors/channel_strip.h"
#include "editors/editor_widgets.h"
#include "editors/eq_editors.h"
#include "model/unit_model.h"

#include <QObject>

namespace quellaton {

class ResponseGraph;

class BtlBypass : public QObject {
    Q_OBJECT
public:
    BtlBypass(UnitModel& model, EditorWidgets& widgets, ChannelStrip& strip, EqEditors& eq,
              ResponseGraph& graph, QWidget* window, QObject* parent = nullptr);

    void btlClicked();
    // The box of row 0..5 (band 1..6) was ticked or unticked. It acts on that band of the
    // section the table shows while the table edits it, else it only keeps its tick.
    void bypassClicked(int row);

    // Button colour, Mid row icon and the Mid row controls from the image's BTL flag.
    void showBtlState();
    // Unticks the six boxes without acting on them (a new image has unticked the rows).
    void untickAll();

    // Set while the boxes are changed by the program rather than by the user.
    bool suppress = false;

private:
    UnitModel& model_;
    EditorWidgets& e_;
    ChannelStrip& strip_;
    EqEditors& eq_;
    ResponseGraph& graph_;
    QWidget* window_;
};

} // namespace quellaton
