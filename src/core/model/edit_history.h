// The steps a user can take back: each step keeps the image before and after it and a name
// ("High band 3 gain"). Undo and redo move along the steps; a new step drops the steps that
// were undone. The history holds the last StepLimit steps; older ones fall off the start.
#pragma once

#include "protocol/parameter_image.h"

#include <QString>
#include <deque>

namespace quellaton {

class EditHistory {
public:
    static constexpr int StepLimit = 1000;

    struct Step {
        QString name;
        ParameterImage before;
        ParameterImage after;
    };

    void record(Step step);
    void clear();

    bool canUndo() const { return next_ > 0; }
    bool canRedo() const { return next_ < steps_.size(); }
    // The name of the step undo or redo would take (empty when there is none).
    QString undoName() const;
    QString redoName() const;
    int stepCount() const { return int(steps_.size()); }

    // The step taken back or done again; call only when canUndo() / canRedo().
    const Step& undo();
    const Step& redo();

private:
    std::deque<Step> steps_;
    std::size_t next_ = 0; // steps_[0 .. next_) are done, the rest undone
};

// The name of what changed from `before` to `after`, as the Edit menu shows it: "High band 3
// gain", "Main level", "Low limiter attack". Several changed parameters are named by the words
// they share ("High band 3" for its frequency and gain), else by the first one in the order the
// editors show them. Empty when nothing changed.
QString ChangeName(const ParameterImage& before, const ParameterImage& after);

} // namespace quellaton
