#include "editors/slider_step.h"

namespace quellaton {

SliderStep::SliderStep(QAbstractSlider* slider, UnitModel& model) : QObject(slider), model_(model) {
    connect(slider, &QAbstractSlider::sliderPressed, this, [this] {
        end();
        open_ = true;
        model_.beginStep();
    });
    connect(slider, &QAbstractSlider::sliderReleased, this, &SliderStep::end);
}

void SliderStep::end() {
    if (open_) {
        open_ = false;
        model_.endStep();
    }
}

} // namespace quellaton
