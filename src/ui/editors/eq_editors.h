// The equaliser and crossover editors of the editor area: the six band rows of the
// "PARAMETRIC EQUALIZATION" table, the "HIGH PASS/LOW PASS" rows and "Filters reset". They
// edit the section chosen with an "EQ/HPF/LPF" button or "Main EQ"; every change updates the
// image, redraws the response graph and queues the block that carries the value.
#pragma once

#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "editors/channel_strip.h"
#include "editors/edit_commit.h"
#include "editors/editor_widgets.h"
#include "operations/unit_session.h"

#include <QObject>

namespace quellaton {

class ResponseGraph;

class EqEditors : public QObject {
    Q_OBJECT
public:
    EqEditors(UnitSession& session, WaySelection& selection, ShellWidgets& shell,
              EditorWidgets& widgets, EditCommitState& commit, ChannelStrip& strip,
              ResponseGraph& graph, QObject* parent = nullptr);

    // "EQ/HPF/LPF" of High, Mid, Low, and "Main EQ".
    void highEqClicked() { selectEq(High); }
    void midEqClicked() { selectEq(Mid); }
    void lowEqClicked() { selectEq(Low); }
    void mainEqClicked();

    // Writes the six band rows of the current section from the image.
    void fillBandRows();

    // The band rows, row 0..5 standing for band 1..6. `enterKey` is true for Enter, false
    // when the field is left.
    enum class BandField { Frequency, Q, Gain };
    void commitBandField(BandField which, int row, bool enterKey);
    void bandTypeChanged(int row);
    void stepBandField(BandField which, int row, int delta);

    // The crossover rows.
    void highPassFieldLeft() { commitCrossover(true, false); }
    void lowPassFieldLeft() { commitCrossover(false, false); }
    void highPassTypeChosen() { crossoverTypeChanged(true); }
    void lowPassTypeChosen() { crossoverTypeChanged(false); }
    void highPassStepDown() { stepCrossover(true, -1); }
    void highPassStepUp() { stepCrossover(true, 1); }
    void lowPassStepDown() { stepCrossover(false, -1); }
    void lowPassStepUp() { stepCrossover(false, 1); }
    void commitCrossover(bool highPass, bool enterKey);

    // "Filters reset".
    void filtersResetClicked();
    void showResetGains();

    // A graph drag changed a band: its frequency and gain fields follow when it is shown.
    void showBand(int bandIndex);
    // The section shown gets the model's values again (after an undo or an A/B swap).
    void reloadSection();

    // The section the table shows; -1 before the first EQ selection.
    int shownWay() const { return shownWay_; }
    // The table edits the section it shows, and only while that section is the selected one:
    // then this is that section, else -1.
    int liveWay() const { return editable() ? shownWay_ : -1; }

private:
    void selectEq(int way);
    void loadSection(int way);
    void fillCrossovers();
    bool editable() const;
    void redrawBand(int bandIndex);
    void crossoverTypeChanged(bool highPass);
    void stepCrossover(bool highPass, int delta);
    void redrawCrossover(bool highPass);
    QLineEdit* fieldOf(BandField which, int row) const;

    UnitSession& session_;
    UnitModel& model_;
    WaySelection& selection_;
    ShellWidgets& shell_;
    EditorWidgets& e_;
    EditCommitState& commit_;
    ChannelStrip& strip_;
    ResponseGraph& graph_;
    int shownWay_ = -1;
};

} // namespace quellaton
