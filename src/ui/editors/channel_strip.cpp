#include "editors/channel_strip.h"

#include "common/key_filter.h"
#include "common/popups.h"
#include "common/toggle_button.h"
#include "dsp/scales.h"
#include "editors/editor_pictures.h"
#include "protocol/send_slots.h"

#include <QEvent>
#include <QSignalBlocker>
#include <algorithm>
#include <vector>

namespace quellaton {

namespace {

const char* const WayNames[4] = {"High", "Mid", "Low", "Mian"};

// Pointer rows of the fader band in which a drag changes the gain.
constexpr int FaderBandTop(int way) {
    return way == Low ? 62 : 26;
}
constexpr int FaderBandBottom = 205;

// Mirrors the channel overview's enabled state onto the popups that open from it, so that a
// locked window cannot be edited through a popup left open.
class EnableMirror : public QObject {
public:
    EnableMirror(QWidget* source, std::initializer_list<QWidget*> targets)
        : QObject(source), source_(source), targets_(targets) {
        source->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == source_ && event->type() == QEvent::EnabledChange) {
            for (QWidget* target : targets_) {
                target->setEnabled(source_->isEnabled());
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* source_;
    std::vector<QWidget*> targets_;
};

} // namespace

ChannelStrip::ChannelStrip(UnitModel& model, WaySelection& selection, ShellWidgets& shell,
                           EditorWidgets& widgets, EditCommitState& commit, QObject* parent)
    : QObject(parent), model_(model), selection_(selection), shell_(shell), e_(widgets),
      commit_(commit) {
    for (int way = 0; way < WayCount; ++way) {
        setKnobFromGain(way);
    }
    redrawFader();

    const std::array<void (ChannelStrip::*)(), 3> gain = {&ChannelStrip::highGainClicked,
                                                          &ChannelStrip::midGainClicked,
                                                          &ChannelStrip::lowGainClicked};
    const std::array<void (ChannelStrip::*)(), 3> limiter = {&ChannelStrip::highLimiterClicked,
                                                             &ChannelStrip::midLimiterClicked,
                                                             &ChannelStrip::lowLimiterClicked};
    const std::array<void (ChannelStrip::*)(), 3> delay = {&ChannelStrip::highDelayClicked,
                                                           &ChannelStrip::midDelayClicked,
                                                           &ChannelStrip::lowDelayClicked};
    const std::array<void (ChannelStrip::*)(), 3> mute = {&ChannelStrip::highMuteClicked,
                                                          &ChannelStrip::midMuteClicked,
                                                          &ChannelStrip::lowMuteClicked};
    const std::array<void (ChannelStrip::*)(), 3> polarity = {&ChannelStrip::highPolarityClicked,
                                                              &ChannelStrip::midPolarityClicked,
                                                              &ChannelStrip::lowPolarityClicked};
    for (int way = 0; way < WayCount; ++way) {
        const WayRowWidgets& r = e_.rows[way];
        connect(r.gain, &QPushButton::clicked, this, gain[way]);
        connect(r.limiter, &QPushButton::clicked, this, limiter[way]);
        connect(r.delay, &QPushButton::clicked, this, delay[way]);
        connect(r.mute, &QPushButton::clicked, this, mute[way]);
        connect(r.polarity, &QPushButton::clicked, this, polarity[way]);
    }
    connect(e_.mainDelayButton, &QPushButton::clicked, this, &ChannelStrip::mainDelayClicked);
    connect(e_.closeGainButton, &QToolButton::clicked, this, &ChannelStrip::closeGainClicked);
    connect(e_.closeDelayButton, &QToolButton::clicked, this, &ChannelStrip::closeDelayClicked);
    connect(e_.closeLimiterButton, &QToolButton::clicked, this, &ChannelStrip::closeLimiterClicked);

    connect(e_.gainFader, &FaderPicture::pressed, this, &ChannelStrip::faderPressed);
    connect(e_.gainFader, &FaderPicture::moved, this, &ChannelStrip::faderMoved);
    connect(e_.gainFader, &FaderPicture::released, this, &ChannelStrip::faderReleased);
    connect(e_.gainFader, &FaderPicture::stepUp, this, &ChannelStrip::gainStepUp);
    connect(e_.gainFader, &FaderPicture::stepDown, this, &ChannelStrip::gainStepDown);
    new CommitField(
        e_.gainField, commit_, QLatin1String(KeyFilter::SignedDecimal), [this] { gainFieldLeft(); },
        [this] { commitGain(); });
    connect(e_.gainStepper, &SpinButtons::downClicked, this, &ChannelStrip::gainStepDown);
    connect(e_.gainStepper, &SpinButtons::upClicked, this, &ChannelStrip::gainStepUp);

    connect(e_.thresholdList, &QComboBox::currentIndexChanged, this,
            &ChannelStrip::thresholdChosen);
    connect(e_.attackList, &QComboBox::currentIndexChanged, this, &ChannelStrip::attackChosen);
    connect(e_.releaseList, &QComboBox::currentIndexChanged, this, &ChannelStrip::releaseChosen);

    connect(e_.delayBar, &QScrollBar::valueChanged, this, &ChannelStrip::delayBarMoved);
    delayBarStep_ = new SliderStep(e_.delayBar, model_);
    new CommitField(
        e_.delayField, commit_, QLatin1String(KeyFilter::Decimal), [this] { delayFieldLeft(); },
        [this] { delayFieldLeft(); });

    connect(e_.levelBar, &QSlider::valueChanged, this, &ChannelStrip::levelBarMoved);
    new SliderStep(e_.levelBar, model_); // owned by the bar
    connect(e_.mainMuteButton, &QPushButton::clicked, this, &ChannelStrip::mainMuteClicked);
    connect(e_.mainPolarityButton, &QPushButton::clicked, this, &ChannelStrip::mainPolarityClicked);
    connect(e_.bassEnhancerButton, &QPushButton::clicked, this, &ChannelStrip::bassEnhancerClicked);

    connect(&selection_, &WaySelection::closeRequested, this, &ChannelStrip::closePanel);
    new EnableMirror(shell_.channelOverview, {e_.gainPopup, e_.limiterPopup, e_.delayPopup});
}

QPushButton* ChannelStrip::panelButton(int way, int kind) const {
    if (way >= 0 && way < WayCount) {
        const WayRowWidgets& r = e_.rows[way];
        switch (kind) {
        case EqPanel:
            return r.eq;
        case LimiterPanel:
            return r.limiter;
        case DelayPanel:
            return r.delay;
        case GainPanel:
            return r.gain;
        default:
            return nullptr;
        }
    }
    if (way == Main) {
        if (kind == EqPanel) {
            return e_.mainEqButton;
        }
        if (kind == DelayPanel) {
            return e_.mainDelayButton;
        }
    }
    return nullptr;
}

// ---- Way selection ----

void ChannelStrip::selectWayPanel(int way, int kind) {
    if (!selection_.is(way, kind)) {
        closePanel();
    }
    selection_.set(way, kind);
    const bool wasSuppressed = suppress;
    if (kind == DelayPanel) {
        suppress = true;
    }
    QPushButton* button = panelButton(way, kind);
    SetButtonColour(button, HighlightButtonColour);
    const QString name = QLatin1String(WayNames[way]);
    QWidget* popup = nullptr;
    switch (kind) {
    case GainPanel:
        e_.gainCaption->setText(name + QStringLiteral("--Gain"));
        loadGain(way);
        popup = e_.gainPopup;
        break;
    case LimiterPanel:
        e_.limiterCaption->setText(name + QStringLiteral("--Limiter"));
        loadLimiter(way);
        popup = e_.limiterPopup;
        break;
    case DelayPanel:
        e_.delayCaption->setText(name + QStringLiteral("--Delay"));
        loadDelay(way);
        popup = e_.delayPopup;
        break;
    default:
        break;
    }
    if (popup) {
        placePopup(popup, button);
    }
    suppress = wasSuppressed;
    selection_.announce();
}

void ChannelStrip::mainDelayClicked() {
    selection_.set(Main, DelayPanel);
    SetButtonColour(e_.mainDelayButton, HighlightButtonColour);
    e_.delayCaption->setText(QStringLiteral("Mian--Delay"));
    loadDelay(Main);
    selection_.announce();
}

void ChannelStrip::placePopup(QWidget* popup, QPushButton* button) {
    QWidget* central = popup->parentWidget();
    const QPoint corner = button->mapTo(central, QPoint(button->width(), button->height()));
    // The keyboard reaches the popup's controls right after the button that opened it.
    popup->setProperty(PopupOpenerProperty, QVariant::fromValue<QObject*>(button));
    popup->move(corner);
    popup->show();
    popup->raise();
}

void ChannelStrip::closePanel() {
    // Every button the selection may have highlighted returns to normal, not only the one
    // of the current kind: "Main EQ" and "Main delay" select without closing, so an earlier
    // highlight can still be lit.
    for (int way = 0; way < SectionCount; ++way) {
        for (int kind = EqPanel; kind <= GainPanel; ++kind) {
            if (QPushButton* button = panelButton(way, kind)) {
                SetButtonColour(button, NormalButtonColour);
            }
        }
    }
    e_.gainPopup->hide();
    e_.limiterPopup->hide();
    e_.delayPopup->hide();
    if (dragging_) {
        dragging_ = false;
        model_.endStep();
        redrawFader();
    }
    delayBarStep_->end();
    if (selection_.panel() == SearchResultPanel) {
        shell_.searchResultPanel->hide();
        shell_.editorArea->show();
    }
    selection_.set(-1, -1);
    selection_.announce();
}

// ---- Gain ----

void ChannelStrip::setKnobFromGain(int way) {
    const int index = std::clamp(model_.image().gainIndex[way], 0, OutputGainCount - 1);
    knobTop_[way] = LevelToFaderY(OutputGainTable[index]) - 5;
}

void ChannelStrip::redrawFader() {
    const int way = gainWay_ >= 0 ? gainWay_ : 0;
    e_.gainFader->setPicture(ComposeFader(knobTop_[way], dragging_));
}

void ChannelStrip::loadGain(int way) {
    gainWay_ = way;
    dragging_ = false;
    setKnobFromGain(way);
    redrawFader();
    e_.gainField->setText(OutputGainText(model_.image().gainIndex[way]));
}

bool ChannelStrip::gainEditable() const {
    return gainWay_ >= 0 && gainWay_ < WayCount && selection_.way() == gainWay_;
}

bool ChannelStrip::limiterEditable() const {
    return limiterWay_ >= 0 && limiterWay_ < WayCount && selection_.way() == limiterWay_;
}

bool ChannelStrip::delayEditable() const {
    return delayWay_ >= 0 && selection_.way() == delayWay_;
}

void ChannelStrip::faderPressed(QPoint at) {
    faderReleased(); // a drag whose release was lost ends here
    if (!gainEditable()) {
        return;
    }
    const int top = knobTop_[gainWay_];
    if (at.x() > KnobLeft && at.x() < KnobLeft + KnobWidth && at.y() > top &&
        at.y() < top + KnobHeight) {
        dragging_ = true;
        model_.beginStep(); // the whole move, press to release, is one step
        redrawFader();
    }
}

void ChannelStrip::faderMoved(QPoint at) {
    if (!dragging_ || !gainEditable()) {
        return;
    }
    const int way = gainWay_;
    const int y = at.y();
    if (y >= FaderBandTop(way) && y <= FaderBandBottom) {
        knobTop_[way] = y - 5;
        e_.gainField->setText(FormatGain(FaderYToLevel(y)));
        // The stored index is the table entry of the number the field now shows.
        const QString shown = e_.gainField->text();
        if (const auto value = ParseDecimal(shown.left(shown.size() - 3))) {
            model_.setGainDb(way, *value);
            redrawFader();
            return;
        }
        redrawFader();
    }
    // Every move while dragging sends the way's output block, inside the band or not.
    model_.touch(OutputSlot(way));
}

void ChannelStrip::faderReleased() {
    if (dragging_) {
        dragging_ = false;
        redrawFader();
    }
}

void ChannelStrip::gainFieldLeft() {
    commitGain();
}

void ChannelStrip::commitGain() {
    QLineEdit* field = e_.gainField;
    if (field->text() == commit_.referenceText) {
        return;
    }
    if (!gainEditable()) {
        field->setText(commit_.referenceText);
        return;
    }
    const int way = gainWay_;
    QString text = field->text();
    if (text.endsWith(QLatin1String(" dB"))) {
        text.chop(3);
        field->setText(text);
    } else if (text.endsWith(QLatin1String("dB"))) {
        text.chop(2);
        field->setText(text);
    }
    auto value = ParseDecimal(text);
    if (!value) {
        field->setText(commit_.referenceText);
        return;
    }
    const double top = way == Low ? 0.0 : 5.0;
    if (*value > top) {
        field->setText(FormatOneDecimal(top));
        value = top;
    } else if (*value < -20.0) {
        field->setText(QStringLiteral("-20.0"));
        value = -20.0;
    }
    model_.setGainDb(way, *value);
    setKnobFromGain(way);
    dragging_ = false;
    redrawFader();
    field->setText(OutputGainText(model_.image().gainIndex[way]));
    commit_.referenceText = field->text();
}

void ChannelStrip::gainStepDown() {
    if (!gainEditable()) {
        return;
    }
    stepGain(-1);
}

void ChannelStrip::gainStepUp() {
    if (!gainEditable()) {
        return;
    }
    stepGain(1);
}

void ChannelStrip::stepGain(int delta) {
    const int way = gainWay_;
    if (!model_.stepGain(way, delta)) {
        return;
    }
    e_.gainField->setText(OutputGainText(model_.image().gainIndex[way]));
    setKnobFromGain(way);
    redrawFader();
}

// ---- Limiter ----

void ChannelStrip::loadLimiter(int way) {
    limiterWay_ = way;
    const QSignalBlocker b2(e_.thresholdList);
    const QSignalBlocker b3(e_.attackList);
    const QSignalBlocker b5(e_.releaseList);
    e_.thresholdList->setCurrentIndex(model_.image().limiterThreshold[way]);
    e_.attackList->setCurrentIndex(model_.image().limiterAttack[way]);
    e_.releaseList->setCurrentIndex(model_.image().limiterRelease[way]);
}

void ChannelStrip::limiterChanged(int which, int position) {
    const int way = limiterWay_;
    if (!limiterEditable()) {
        // No way of this popup is selected: the selectors go back to what they showed.
        if (way >= 0 && way < WayCount) {
            loadLimiter(way);
        }
        return;
    }
    if (position < 0) {
        return;
    }
    switch (which) {
    case 0:
        model_.setLimiterThreshold(way, position);
        break;
    case 1:
        model_.setLimiterAttack(way, position);
        break;
    default:
        model_.setLimiterRelease(way, position);
        break;
    }
}

void ChannelStrip::thresholdChosen() {
    limiterChanged(0, e_.thresholdList->currentIndex());
}
void ChannelStrip::attackChosen() {
    limiterChanged(1, e_.attackList->currentIndex());
}
void ChannelStrip::releaseChosen() {
    limiterChanged(2, e_.releaseList->currentIndex());
}

// ---- Delay ----

void ChannelStrip::showDelayTexts(int steps) {
    e_.delayField->setText(DelayMsText(steps));
    e_.delayMetreLabel->setText(DelayMetreText(steps));
    e_.delayFeetLabel->setText(DelayFeetText(steps));
}

void ChannelStrip::loadDelay(int way) {
    const bool wasSuppressed = suppress;
    suppress = true;
    delayWay_ = way;
    const int steps = model_.image().delay[way];
    e_.delayBar->setValue(std::clamp(steps, 0, MaxDelaySteps));
    showDelayTexts(steps);
    suppress = wasSuppressed;
}

void ChannelStrip::delayBarMoved() {
    if (suppress) {
        return;
    }
    const int way = selection_.way();
    if (way < 0 || way != delayWay_) {
        // The group shows a section that is not selected (or none): the move is refused.
        suppress = true;
        e_.delayBar->setValue(
            delayWay_ >= 0 ? std::clamp(model_.image().delay[delayWay_], 0, MaxDelaySteps) : 0);
        suppress = false;
        return;
    }
    const int steps = e_.delayBar->value();
    model_.setDelaySteps(way, steps);
    showDelayTexts(steps);
}

void ChannelStrip::delayFieldLeft() {
    // A typed delay is never applied: the field goes back to the delay the group shows (the
    // reference text, unless the bar moved while the field had focus).
    const int steps = delayWay_ >= 0 ? model_.image().delay[delayWay_] : e_.delayBar->value();
    e_.delayField->setText(DelayMsText(steps));
}

// ---- Way mute and polarity ----

void ChannelStrip::toggleMute(int way) {
    model_.toggleMute(way);
    SetButtonColour(e_.rows[way].mute,
                    model_.image().onFlag[way] != 0 ? NormalButtonColour : ActiveButtonColour);
}

void ChannelStrip::showWayPolarity(int way) {
    const bool inverted = model_.image().polarity[way] != 0;
    QPushButton* button = e_.rows[way].polarity;
    button->setText(inverted ? QStringLiteral("-") : QStringLiteral("+"));
    // The caption is the state; the button's checked state says the same to a screen reader.
    if (auto* toggle = qobject_cast<ToggleButton*>(button)) {
        toggle->showState(inverted);
    }
}

void ChannelStrip::togglePolarity(int way) {
    model_.togglePolarity(way);
    showWayPolarity(way);
}

// ---- SIGNAL group ----

void ChannelStrip::levelFromBar() {
    model_.setMasterLevel(MainLevelTop - e_.levelBar->value());
}

void ChannelStrip::showLevelReadout() {
    e_.levelReadout->setText(MasterFaderText(e_.levelBar->value()));
}

void ChannelStrip::levelBarMoved() {
    if (suppress) {
        return;
    }
    masterMuted_ = false;
    SetButtonColour(e_.mainMuteButton, NormalButtonColour);
    showLevelReadout();
    levelFromBar();
}

void ChannelStrip::mainMuteClicked() {
    const bool wasSuppressed = suppress;
    suppress = true;
    if (masterMuted_) {
        masterMuted_ = false;
        SetButtonColour(e_.mainMuteButton, NormalButtonColour);
        e_.levelBar->setValue(rememberedPosition_);
    } else {
        masterMuted_ = true;
        SetButtonColour(e_.mainMuteButton, ActiveButtonColour);
        rememberedPosition_ = e_.levelBar->value();
        e_.levelBar->setValue(MainLevelTop);
    }
    suppress = wasSuppressed;
    showLevelReadout();
    levelFromBar();
}

void ChannelStrip::mainPolarityClicked() {
    model_.togglePolarity(Main);
    const bool inverted = model_.image().polarity[Main] != 0;
    e_.mainPolarityButton->setText(inverted ? QStringLiteral("Pol(-)") : QStringLiteral("Pol(+)"));
    SetButtonColour(e_.mainPolarityButton, inverted ? ActiveButtonColour : NormalButtonColour);
}

void ChannelStrip::bassEnhancerClicked() {
    model_.toggleBassEnhancer();
    SetButtonColour(e_.bassEnhancerButton,
                    model_.image().bassEnhancer == 1 ? ActiveButtonColour : NormalButtonColour);
}

// ---- Refresh from an applied image ----

void ChannelStrip::showMasterLevel() {
    const bool wasSuppressed = suppress;
    suppress = true;
    e_.levelBar->setValue(std::clamp(MainLevelTop - model_.image().masterLevel, 0, MainLevelTop));
    suppress = wasSuppressed;
    showLevelReadout();
}

void ChannelStrip::showSignalButtons() {
    masterMuted_ = false;
    SetButtonColour(e_.mainMuteButton, NormalButtonColour);
    for (int way = 0; way < WayCount; ++way) {
        const WayRowWidgets& r = e_.rows[way];
        showWayPolarity(way);
        SetButtonColour(r.mute,
                        model_.image().onFlag[way] != 0 ? NormalButtonColour : ActiveButtonColour);
    }
    if (model_.image().polarity[Main] == 0) {
        e_.mainPolarityButton->setText(QStringLiteral("Pol(+)"));
        SetButtonColour(e_.mainPolarityButton, NormalButtonColour);
    } else {
        e_.mainPolarityButton->setText(QStringLiteral("Pol(-)"));
        SetButtonColour(e_.mainPolarityButton, ActiveButtonColour);
    }
    if (model_.image().bassEnhancer == 0) {
        SetButtonColour(e_.bassEnhancerButton, NormalButtonColour);
    } else if (model_.image().bassEnhancer == 1) {
        SetButtonColour(e_.bassEnhancerButton, ActiveButtonColour);
    }
}

void ChannelStrip::reloadDelay() {
    if (delayWay_ >= 0 && delayWay_ < SectionCount) {
        loadDelay(delayWay_);
    }
}

void ChannelStrip::reloadOpenPopups() {
    for (int way = 0; way < WayCount; ++way) {
        setKnobFromGain(way);
    }
    if (e_.gainPopup->isVisible() && gainWay_ >= 0) {
        loadGain(gainWay_);
    } else {
        redrawFader();
    }
    if (e_.limiterPopup->isVisible() && limiterWay_ >= 0) {
        loadLimiter(limiterWay_);
    }
}

} // namespace quellaton
