#include "common/toggle_button.h"

namespace quellaton {

ToggleButton::ToggleButton(QWidget* parent) : QPushButton(parent) {
    setCheckable(true);
    connect(this, &QAbstractButton::toggled, this, [this] {
        if (showing_) {
            return;
        }
        // Flipped from outside (an assistive technology's toggle action): the state goes back,
        // and the button acts as clicked, so its handler decides the new state.
        showState(!isChecked());
        click();
    });
}

void ToggleButton::showState(bool on) {
    showing_ = true;
    setChecked(on);
    showing_ = false;
}

} // namespace quellaton
