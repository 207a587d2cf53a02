// The widgets of the channel editors: the way rows and the Main row of the channel overview,
// the Gain, Limiter and Delay popups, and the editor area with the equaliser table, the
// crossover rows, the DELAY group and the SIGNAL group. Every named control carries its
// name as objectName; the feature classes work on them.
#pragma once

#include "common/shell_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <array>

namespace quellaton {

// A pair of small step buttons: up increases, down decreases the value beside it.
class SpinButtons : public QWidget {
    Q_OBJECT
public:
    explicit SpinButtons(QWidget* parent);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
    // The Up and Down arrow keys in `field` click the up and down halves, so the keyboard
    // steps the value as the mouse does (the halves themselves take no focus).
    void bindKeys(QWidget* field);

signals:
    void upClicked();
    void downClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
    QWidget* field_ = nullptr;
};

// The gain fader picture: shows a composed image and reports pointer presses, moves and
// releases in its own pixel coordinates.
class FaderPicture : public QWidget {
    Q_OBJECT
    // Assistive technology reads it as a slider with the gain as its value.
    Q_CLASSINFO("accessibleRole", "Slider")
public:
    explicit FaderPicture(QWidget* parent);
    void setPicture(QImage picture);
    const QImage& picture() const { return picture_; }

signals:
    void pressed(QPoint at);
    void moved(QPoint at);
    void released();
    // The Up and Down arrow keys while the fader has the focus: one gain step.
    void stepUp();
    void stepDown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

struct WayRowWidgets {
    QGroupBox* group = nullptr;
    QPushButton* mute = nullptr;
    QPushButton* gain = nullptr;
    QPushButton* eq = nullptr;
    QPushButton* limiter = nullptr;
    QPushButton* delay = nullptr;
    QPushButton* polarity = nullptr;
    QLabel* icon = nullptr;
    QLabel* line = nullptr;
};

struct EditorWidgets {
    // Channel overview (channelOverview).
    std::array<WayRowWidgets, 3> rows{}; // High, Mid, Low
    QGroupBox* mainRow = nullptr;
    QPushButton* mainEqButton = nullptr;    // "Main EQ"
    QPushButton* mainDelayButton = nullptr; // "Main delay"
    QPushButton* btlButton = nullptr;       // "BTL Mode"

    // Gain popup.
    QFrame* gainPopup = nullptr;
    QLabel* gainCaption = nullptr;
    QToolButton* closeGainButton = nullptr;
    FaderPicture* gainFader = nullptr;
    QLineEdit* gainField = nullptr;
    SpinButtons* gainStepper = nullptr;

    // Limiter popup.
    QFrame* limiterPopup = nullptr;
    QLabel* limiterCaption = nullptr;
    QToolButton* closeLimiterButton = nullptr;
    QComboBox* thresholdList = nullptr; // threshold
    QComboBox* attackList = nullptr;    // attack
    QComboBox* releaseList = nullptr;   // release

    // Delay popup.
    QFrame* delayPopup = nullptr;
    QLabel* delayCaption = nullptr;
    QToolButton* closeDelayButton = nullptr;
    QLabel* delayPicture = nullptr;

    // "PARAMETRIC EQUALIZATION", rows of band 1..6.
    QGroupBox* eqGroup = nullptr;
    std::array<QLabel*, 6> bandLabels{};
    std::array<QLineEdit*, 6> frequencyFields{};
    std::array<SpinButtons*, 6> frequencySteppers{};
    std::array<QLineEdit*, 6> qFields{};
    std::array<SpinButtons*, 6> qSteppers{};
    std::array<QLineEdit*, 6> gainFields{};
    std::array<SpinButtons*, 6> gainSteppers{};
    std::array<QComboBox*, 6> typeLists{};
    std::array<QCheckBox*, 6> bypassBoxes{};
    QPushButton* bassEnhancerButton = nullptr; // "Bass Enhancer"
    QPushButton* filtersResetButton = nullptr; // "Filters reset"

    // "HIGH PASS/LOW PASS".
    QGroupBox* crossoverGroup = nullptr;
    QLineEdit* highPassField = nullptr;
    QLineEdit* lowPassField = nullptr;
    QComboBox* highPassTypeList = nullptr;
    QComboBox* lowPassTypeList = nullptr;
    SpinButtons* highPassStepper = nullptr;
    SpinButtons* lowPassStepper = nullptr;

    // "DELAY".
    QGroupBox* delayGroup = nullptr;
    QLineEdit* delayField = nullptr;
    QScrollBar* delayBar = nullptr;
    QLabel* delayMetreLabel = nullptr;
    QLabel* delayFeetLabel = nullptr;

    // "SIGNAL".
    QGroupBox* signalGroup = nullptr;
    QPushButton* mainPolarityButton = nullptr; // "Pol(+)"
    QSlider* levelBar = nullptr;
    QLabel* levelReadout = nullptr;
    QPushButton* mainMuteButton = nullptr; // "Mute"
};

// The colour every spin-button pair gets at window creation (16507336 as the units' maker
// wrote it, blue first).
inline constexpr QRgb SpinButtonColour = qRgb(200, 224, 251);

// Builds the editors' widgets into the shell's channel overview and editor area, and the
// popups into `central`.
EditorWidgets BuildEditorWidgets(ShellWidgets& shell, QWidget* central);

} // namespace quellaton
