// The unit's preset slots as the main window's preset group shows them: recalling any of the
// eight presets "Pre0:".."Usr7:" into the unit's working set, saving the working set under a
// name as one of the two user presets, and the name field with its slot selector.
#pragma once

#include "app/confirmation.h"
#include "app/program_state.h"
#include "app/shell_widgets.h"

#include <QObject>

namespace quellaton {

class DevicePresets : public QObject {
    Q_OBJECT
public:
    static constexpr int NameMaxLength = 19;

    // `commitArmed` is the commit-armed flag the editors' text fields share: the name field
    // clears it on the click that selects its text and sets it again when left.
    DevicePresets(ProgramState& state, ShellWidgets& widgets, Confirmation& confirmation,
                  bool& commitArmed, QWidget* window);

    void RzButton9Click();  // "Load": ask, then recall the chosen preset
    void RzButton10Click(); // "Save" (and Enter in the name field)
    void RzEdit1Click();    // select all on the first click
    void RzEdit1Exit();     // re-arm the select-all
    void RzComboBox11Change();

    // The user slot's name as stored (and shown in the name field): `slot` 7 or 8.
    QString userName(int slot) const;
    bool selectAllArmed() const { return commitArmed_; }

    // The name bytes sent for `text`: leading and trailing blanks removed, one byte a
    // character (characters outside Latin-1 become "?"), at most 19.
    static QByteArray NameBytes(const QString& text);
    // Removes leading and trailing blanks and control characters.
    static QString TrimName(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Timer19Timer(); // recall worker
    void Timer3Timer();  // recall progress
    void Timer11Timer(); // a saved name was acknowledged
    bool connected() const;

    ProgramState& s_;
    ShellWidgets& w_;
    Confirmation& confirmation_;
    QWidget* window_;
    int recallProgress_ = 0;
    int recallPosition_ = 0; // list position of the preset being recalled
    // Armed: the next click into the name field selects its whole text.
    bool& commitArmed_;
};

} // namespace quellaton
