#include "editors/editor_availability.h"

namespace quellaton {

namespace {

void SetEnabled(std::initializer_list<QWidget*> widgets, bool on) {
    for (QWidget* widget : widgets) {
        widget->setEnabled(on);
    }
}

} // namespace

EditorAvailability::EditorAvailability(UnitSession& session, WaySelection& selection,
                                       EditorWidgets& widgets, ChannelStrip& strip, EqEditors& eq,
                                       QObject* parent)
    : QObject(parent), session_(session), e_(widgets), strip_(strip), eq_(eq) {
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
    SetEnabled({e_.RzEdit205, e_.RzSpinButtons181, e_.RzComboBox69, e_.RzEdit206,
                e_.RzSpinButtons182, e_.RzComboBox71},
               table);
    e_.RzButton97->setEnabled(table && session_.link().portOpen());

    SetEnabled({e_.Image2, e_.RzEdit17, e_.SpinButton1}, strip_.gainEditable());
    SetEnabled({e_.RzComboBox2, e_.RzComboBox3, e_.RzComboBox5}, strip_.limiterEditable());
    e_.ScrollBar1->setEnabled(strip_.delayEditable());
}

} // namespace quellaton
