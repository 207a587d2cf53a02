#include "editors/editor_accessibility.h"

#include "dsp/scales.h"

#include <algorithm>
#include <cmath>

namespace quellaton {

namespace {

// "High band 3 frequency", or "Band 3 frequency" while no section is meant.
QString Named(int way, const QString& what) {
    const QString section = SectionName(way);
    if (section.isEmpty()) {
        QString text = what;
        if (!text.isEmpty()) {
            text[0] = text[0].toUpper();
        }
        return text;
    }
    return section + QLatin1Char(' ') + what;
}

void Name(QWidget* widget, const QString& name, const QString& description = QString()) {
    if (widget->accessibleName() != name) {
        widget->setAccessibleName(name);
    }
    if (widget->accessibleDescription() != description) {
        widget->setAccessibleDescription(description);
    }
}

// A field with its stepper: the field, its up and its down half.
void NameStepped(QLineEdit* field, SpinButtons* stepper, const QString& name,
                 const QString& description) {
    Name(field, name,
         description + QStringLiteral(" Type a value and press Enter; the Up and Down arrow "
                                      "keys step it."));
    Name(stepper, name + QStringLiteral(" stepper"));
    Name(stepper->upButton(), name + QStringLiteral(" up"));
    Name(stepper->downButton(), name + QStringLiteral(" down"));
}

} // namespace

EditorAccessibility::EditorAccessibility(UnitModel& model, WaySelection& selection,
                                         EditorWidgets& widgets, ChannelStrip& strip, EqEditors& eq,
                                         QObject* parent)
    : QObject(parent), model_(model), e_(widgets), strip_(strip), eq_(eq) {
    // The bars' values in the units they show: the delay in ms, the Main level in dB (Mute is
    // one step below -60.0 dB).
    delayValue_ = new AccessibleValue(
        e_.delayBar,
        [this] {
            const int steps = e_.delayBar->value();
            return QStringLiteral("%1, %2, %3")
                .arg(DelayMsText(steps), DelayMetreText(steps), DelayFeetText(steps));
        },
        [this] { return e_.delayBar->value() * DelayStepMs; },
        AccessibleRange{0.0, e_.delayBar->maximum() * DelayStepMs, DelayStepMs},
        [this](double ms) { e_.delayBar->setValue(DelaySteps(ms)); });
    levelValue_ = new AccessibleValue(
        e_.levelBar, [this] { return MasterFaderText(e_.levelBar->value()); },
        [this] { return -MainLevelStepDb * e_.levelBar->value(); },
        AccessibleRange{-MainLevelStepDb * MainLevelTop, 0.0, MainLevelStepDb},
        [this](double db) {
            e_.levelBar->setValue(int(std::lround(
                std::clamp(-db, 0.0, MainLevelStepDb * MainLevelTop) / MainLevelStepDb)));
        });
    faderValue_ = new AccessibleValue(
        e_.gainFader,
        [this] {
            const int way = strip_.gainWay();
            return way >= 0 ? OutputGainText(model_.image().gainIndex[way]) : QString();
        },
        [this] {
            const int way = strip_.gainWay();
            const int index =
                way >= 0 ? std::clamp(model_.image().gainIndex[way], 0, OutputGainCount - 1) : 0;
            return OutputGainTable[index];
        },
        AccessibleRange{-20.0, 5.0, 0.1});
    // The bars announce their own moves; the fader follows the gain field.
    connect(e_.gainField, &QLineEdit::textChanged, faderValue_, &AccessibleValue::announce);

    nameFixedControls();
    connect(&selection, &WaySelection::changed, this, &EditorAccessibility::refresh);
    refresh();
}

void EditorAccessibility::nameFixedControls() {
    for (int way = 0; way < WayCount; ++way) {
        const WayRowWidgets& r = e_.rows[way];
        Name(r.mute, Named(way, QStringLiteral("way mute")),
             QStringLiteral("Mutes the way; checked while muted."));
        Name(r.gain, Named(way, QStringLiteral("way gain panel")),
             QStringLiteral("Opens the gain fader of the way."));
        Name(r.eq, Named(way, QStringLiteral("way equaliser panel")),
             QStringLiteral("Shows the way's equaliser and crossovers in the table and graph."));
        Name(r.limiter, Named(way, QStringLiteral("way limiter panel")),
             QStringLiteral("Opens the limiter of the way."));
        Name(r.delay, Named(way, QStringLiteral("way delay panel")),
             QStringLiteral("Shows the way's delay in the DELAY group."));
        Name(r.polarity, Named(way, QStringLiteral("way polarity")),
             QStringLiteral("Inverts the way's polarity; checked while inverted (-)."));
    }
    Name(e_.mainEqButton, QStringLiteral("Main equaliser panel"),
         QStringLiteral("Shows the Main equaliser and crossovers in the table and graph."));
    Name(e_.mainDelayButton, QStringLiteral("Main delay panel"),
         QStringLiteral("Shows the Main delay in the DELAY group."));
    Name(e_.btlButton, QStringLiteral("BTL mode"),
         QStringLiteral("Switches bridged operation; checked while on. Asks first."));
    Name(e_.mainPolarityButton, QStringLiteral("Main polarity"),
         QStringLiteral("Inverts the Main polarity; checked while inverted."));
    Name(e_.levelBar, QStringLiteral("Main level"),
         QStringLiteral("0 dB at the top to -60 dB, then mute."));
    Name(e_.mainMuteButton, QStringLiteral("Main mute"),
         QStringLiteral("Mutes the Main level; checked while muted."));
    Name(e_.bassEnhancerButton, QStringLiteral("Bass enhancer"),
         QStringLiteral("Checked while the bass enhancer is on."));
}

void EditorAccessibility::refresh() {
    nameTable(eq_.shownWay());
    namePopups();
}

void EditorAccessibility::nameTable(int way) {
    for (int row = 0; row < BandsPerSection; ++row) {
        const QString band = QStringLiteral("band %1").arg(row + 1);
        NameStepped(e_.frequencyFields[row], e_.frequencySteppers[row],
                    Named(way, band + QStringLiteral(" frequency")),
                    QStringLiteral("19.7 Hz to 21900 Hz."));
        NameStepped(e_.qFields[row], e_.qSteppers[row], Named(way, band + QStringLiteral(" Q")),
                    QStringLiteral("0.2 to 36."));
        NameStepped(e_.gainFields[row], e_.gainSteppers[row],
                    Named(way, band + QStringLiteral(" gain")),
                    QStringLiteral("-24.0 dB to +12.0 dB."));
        Name(e_.typeLists[row], Named(way, band + QStringLiteral(" type")),
             QStringLiteral("PEQ peaking, LS low shelf, HS high shelf."));
        Name(e_.bypassBoxes[row], Named(way, band + QStringLiteral(" bypass")),
             QStringLiteral("Leaves the band out of the drawn response."));
    }
    NameStepped(e_.highPassField, e_.highPassStepper,
                Named(way, QStringLiteral("high-pass crossover frequency")),
                QStringLiteral("19.7 Hz to 21900 Hz."));
    NameStepped(e_.lowPassField, e_.lowPassStepper,
                Named(way, QStringLiteral("low-pass crossover frequency")),
                QStringLiteral("19.7 Hz to 21900 Hz."));
    Name(e_.highPassTypeList, Named(way, QStringLiteral("high-pass crossover type")));
    Name(e_.lowPassTypeList, Named(way, QStringLiteral("low-pass crossover type")));
    Name(e_.filtersResetButton, Named(way, QStringLiteral("filters reset")),
         QStringLiteral("Sets the gains of all six bands to 0 dB."));
}

void EditorAccessibility::namePopups() {
    const int gain = strip_.gainWay();
    Name(e_.closeGainButton, QStringLiteral("Close ") + Named(gain, QStringLiteral("gain panel")));
    Name(e_.gainFader, Named(gain, QStringLiteral("gain fader")),
         QStringLiteral("-20.0 dB to +5.0 dB (Low to 0.0 dB). The gain field and the Up and "
                        "Down keys set the same value."));
    NameStepped(e_.gainField, e_.gainStepper, Named(gain, QStringLiteral("gain")),
                QStringLiteral("-20.0 dB to +5.0 dB (Low to 0.0 dB)."));

    const int limiter = strip_.limiterWay();
    Name(e_.closeLimiterButton,
         QStringLiteral("Close ") + Named(limiter, QStringLiteral("limiter panel")));
    Name(e_.thresholdList, Named(limiter, QStringLiteral("limiter threshold")));
    Name(e_.attackList, Named(limiter, QStringLiteral("limiter attack")));
    Name(e_.releaseList, Named(limiter, QStringLiteral("limiter release")));

    const int delay = strip_.delayWay();
    Name(e_.closeDelayButton,
         QStringLiteral("Close ") + Named(delay, QStringLiteral("delay panel")));
    Name(e_.delayField, Named(delay, QStringLiteral("delay time")),
         QStringLiteral("Shows the delay; the delay bar sets it."));
    Name(e_.delayBar, Named(delay, QStringLiteral("delay")),
         QStringLiteral("0 to 8.652 ms in steps of 0.021 ms."));
    faderValue_->announce();
}

} // namespace quellaton
