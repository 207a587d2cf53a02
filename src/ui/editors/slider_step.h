// Makes the moves of a held slider, from press to release, one step of the model's history,
// so that one undo takes back the whole move of a delay or level bar. A press whose release
// never came (the slider was hidden while held) closes its step at the next press, or when
// end() is called.
#pragma once

#include "model/unit_model.h"

#include <QAbstractSlider>
#include <QObject>

namespace quellaton {

class SliderStep : public QObject {
    Q_OBJECT
public:
    SliderStep(QAbstractSlider* slider, UnitModel& model);

    void end();

private:
    UnitModel& model_;
    bool open_ = false;
};

} // namespace quellaton
