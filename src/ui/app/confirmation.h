// The confirmation dialog and the dispatch of its answer: the first button starts the worker
// timer of the pending kind 10 ms later; refusing a broadcast connect (second button, or the
// dialog's close box) disconnects through Timer21.
#pragma once

#include "app/dialogs.h"
#include "app/program_state.h"

namespace quellaton {

enum ConfirmationKind {
    SaveOnePresetKind = 1,
    SaveAllPresetsKind = 2,
    LoadOnePresetKind = 3,
    LoadAllPresetsKind = 4,
    RecallPresetKind = 5,
    BroadcastConnectKind = 6,
};

class Confirmation : public QObject {
    Q_OBJECT
public:
    Confirmation(ProgramState& state, TForm5& dialog);

    // Sets PendingAction, the message, the first caption and the second button's visibility,
    // and runs the dialog modally.
    void AskConfirmation(int kind, const QString& message, const QString& firstCaption,
                         bool secondShown);

    void Button1Click();
    void Button10Click();

private:
    void close1Timer();
    QTimer* timerForKind(int kind);

    ProgramState& state_;
    TForm5& dialog_;
};

} // namespace quellaton
