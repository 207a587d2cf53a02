// A push button with an on/off state that the program sets (a mute that is active, a panel
// that is selected). A click does not flip the state by itself: the handler decides. The
// state is what assistive technology reads as "checked"; its toggle action, which flips the
// state directly, acts as a click does.
#pragma once

#include <QPushButton>

namespace quellaton {

class ToggleButton : public QPushButton {
    Q_OBJECT
public:
    explicit ToggleButton(QWidget* parent = nullptr);

    // Shows the state the program decided.
    void showState(bool on);

protected:
    void nextCheckState() override {}

private:
    bool showing_ = false;
};

} // namespace quellaton
