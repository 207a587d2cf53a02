// A push button with an on/off state that the program sets (a mute that is active, a panel
// that is selected). A click does not flip the state by itself: the handler decides. The
// state is what assistive technology reads as "checked".
#pragma once

#include <QPushButton>

namespace quellaton {

class ToggleButton : public QPushButton {
    Q_OBJECT
public:
    explicit ToggleButton(QWidget* parent = nullptr) : QPushButton(parent) { setCheckable(true); }

protected:
    void nextCheckState() override {}
};

} // namespace quellaton
