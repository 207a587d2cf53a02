// The channel strip: the way selection (which section and which panel the editors act on),
// the Gain, Limiter and Delay popups of the three ways, the DELAY group, the way mute and
// polarity buttons, and the Main section's SIGNAL group and bass enhancer. Every edit changes
// the parameter image and then queues the block that carries the value.
#pragma once

#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "dsp/scales.h"
#include "editors/edit_commit.h"
#include "editors/editor_widgets.h"
#include "editors/slider_step.h"
#include "model/unit_model.h"

#include <QObject>
#include <array>

namespace quellaton {

class ChannelStrip : public QObject {
    Q_OBJECT
public:
    ChannelStrip(UnitModel& model, WaySelection& selection, ShellWidgets& shell,
                 EditorWidgets& widgets, EditCommitState& commit, QObject* parent = nullptr);

    // Way "Gain", "Limiter" and "Delay" buttons (High, Mid, Low) and "Main delay".
    void highGainClicked() { selectWayPanel(High, GainPanel); }
    void midGainClicked() { selectWayPanel(Mid, GainPanel); }
    void lowGainClicked() { selectWayPanel(Low, GainPanel); }
    void highLimiterClicked() { selectWayPanel(High, LimiterPanel); }
    void midLimiterClicked() { selectWayPanel(Mid, LimiterPanel); }
    void lowLimiterClicked() { selectWayPanel(Low, LimiterPanel); }
    void highDelayClicked() { selectWayPanel(High, DelayPanel); }
    void midDelayClicked() { selectWayPanel(Mid, DelayPanel); }
    void lowDelayClicked() { selectWayPanel(Low, DelayPanel); }
    void mainDelayClicked();

    // Way "Mute" and polarity buttons.
    void highMuteClicked() { toggleMute(High); }
    void midMuteClicked() { toggleMute(Mid); }
    void lowMuteClicked() { toggleMute(Low); }
    void highPolarityClicked() { togglePolarity(High); }
    void midPolarityClicked() { togglePolarity(Mid); }
    void lowPolarityClicked() { togglePolarity(Low); }

    // Popup close buttons.
    void closeGainClicked() { closePanel(); }
    void closeDelayClicked() { closePanel(); }
    void closeLimiterClicked() { closePanel(); }

    // Gain popup.
    void faderPressed(QPoint at);
    void faderMoved(QPoint at);
    void faderReleased();
    void gainFieldLeft();
    void commitGain(); // Enter in the gain field
    void gainStepDown();
    void gainStepUp();
    // One gain step of the way the popup edits.
    void stepGain(int delta);

    // Limiter popup.
    void thresholdChosen();
    void attackChosen();
    void releaseChosen();

    // DELAY group.
    void delayBarMoved();
    void delayFieldLeft(); // also Enter: a typed delay is never applied

    // SIGNAL group and "Bass Enhancer".
    void levelBarMoved();
    void mainMuteClicked();
    void mainPolarityClicked();
    void bassEnhancerClicked();

    // The close-panel operation: by the current panel kind, the highlighted button of the
    // current way returns to the normal colour and the popup of that kind is hidden (kind 4:
    // the search result panel gives way to the editor area); then no way is selected.
    void closePanel();

    // The Main level as the level bar shows it: 301 minus its position.
    void levelFromBar();

    // Refresh from a freshly applied image.
    void showMasterLevel();   // level bar and readout, under the suppress flag
    void showSignalButtons(); // way polarity and mute, Main polarity, bass enhancer
    void reloadOpenPopups();  // a shown Gain or Limiter popup shows the new values
    void reloadDelay();       // a shown delay panel shows the new value

    // State readable by the window and the tests.
    int knobTop(int way) const { return knobTop_[way]; }
    bool dragging() const { return dragging_; }
    bool masterMuted() const { return masterMuted_; }
    // The way each popup (and the DELAY group) was last loaded for; -1 before the first load.
    int gainWay() const { return gainWay_; }
    int limiterWay() const { return limiterWay_; }
    int delayWay() const { return delayWay_; }

    // Whether the popups and the DELAY group act now: each edits the way it was last loaded
    // for, and only while that way is the selected one.
    bool gainEditable() const;
    bool limiterEditable() const;
    bool delayEditable() const;

    // The panel buttons of a way and kind (Main: EQ and Delay only); nullptr where none.
    QPushButton* panelButton(int way, int kind) const;

    // Set while a handler itself moves the delay or level bar.
    bool suppress = false;

private:
    void selectWayPanel(int way, int kind);
    void loadGain(int way);
    void loadLimiter(int way);
    void loadDelay(int way);
    void showDelayTexts(int steps);
    void placePopup(QWidget* popup, QPushButton* button);
    void redrawFader();
    void setKnobFromGain(int way);
    void toggleMute(int way);
    void togglePolarity(int way);
    void showWayPolarity(int way);
    void limiterChanged(int which, int position);
    void showLevelReadout();

    UnitModel& model_;
    WaySelection& selection_;
    ShellWidgets& shell_;
    EditorWidgets& e_;
    EditCommitState& commit_;

    std::array<int, 3> knobTop_{};
    bool dragging_ = false;
    SliderStep* delayBarStep_ = nullptr; // owned by the bar
    bool masterMuted_ = false;
    int rememberedPosition_ = MainLevelTop;
    int gainWay_ = -1;
    int limiterWay_ = -1;
    int delayWay_ = -1;
};

} // namespace quellaton
