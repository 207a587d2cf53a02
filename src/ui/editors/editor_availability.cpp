#include "editors/editor_availability.h"

namespace quellaton {

namespace {

void SetEnabled(std::initializer_list<QWidget*> widgets, bool on) {
    for (QWidget* widget : widgets) {
        widget->setEnabled(on);
    }
}

} // namespace

EditorAvailability::EditorAvailability(WaySelection& selection, EditorWidgets& widgets,
                                       ChannelStrip& strip, EqEditors& eq, QObject* parent)
    : QObject(parent), e_(widgets), strip_(strip), eq_(eq) {
    connect(&selection, &WaySelection::changed, this, &EditorAvailability::refresh);
    refresh();
}

void EditorAvailability::refresh() {
    const bool table = eq_.liveWay() >= 0;
    for (int row = 0; row < BandsPerSection; ++row) {
        SetEnabled({e_.frequencyFields[row], e_.frequencySteppers[row], e_.qFields[row],
                    e_.qSteppers[row], e_.gainFields[row], e_.gainSteppers[row], e_.typeLists[row],
                    e_.bypassBoxes[row]},
                   table);
    }
    SetEnabled({e_.highPassField, e_.highPassStepper, e_.highPassTypeList, e_.lowPassField,
                e_.lowPassStepper, e_.lowPassTypeList},
               table);
    e_.filtersResetButton->setEnabled(table);

    SetEnabled({e_.gainFader, e_.gainField, e_.gainStepper}, strip_.gainEditable());
    SetEnabled({e_.thresholdList, e_.attackList, e_.releaseList}, strip_.limiterEditable());
    e_.delayBar->setEnabled(strip_.delayEditable());
}

} // namespace quellaton
