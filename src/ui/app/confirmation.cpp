#include "app/confirmation.h"

namespace quellaton {

Confirmation::Confirmation(ProgramState& state, TForm5& dialog) : state_(state), dialog_(dialog) {
    connect(dialog_.Button1, &QPushButton::clicked, this, &Confirmation::Button1Click);
    connect(dialog_.Button10, &QPushButton::clicked, this, &Confirmation::Button10Click);
    // Whichever way the dialog closes (either button or its close box).
    connect(&dialog_, &QDialog::finished, this,
            [this] { TimerTable::Start(state_.timers.close1); });
    connect(&state_.timers.close1, &QTimer::timeout, this, &Confirmation::close1Timer);
}

QTimer* Confirmation::timerForKind(int kind) {
    TimerTable& t = state_.timers;
    switch (kind) {
    case SaveOnePresetKind:
        return &t.Timer15;
    case SaveAllPresetsKind:
        return &t.Timer16;
    case LoadOnePresetKind:
        return &t.Timer17;
    case LoadAllPresetsKind:
        return &t.Timer18;
    case RecallPresetKind:
        return &t.Timer19;
    case BroadcastConnectKind:
        return &t.Timer20;
    default:
        return nullptr;
    }
}

void Confirmation::AskConfirmation(int kind, const QString& message, const QString& firstCaption,
                                   bool secondShown) {
    state_.PendingAction = kind;
    dialog_.RzLabel9->setText(QString(message).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    dialog_.RzLabel9->setProperty("messageText", message);
    dialog_.Button1->setText(firstCaption);
    dialog_.Button10->setVisible(secondShown);
    dialog_.exec();
}

void Confirmation::Button1Click() {
    if (QTimer* timer = timerForKind(state_.PendingAction)) {
        TimerTable::Start(*timer);
    }
    state_.ActionConfirmed = true;
    dialog_.done(QDialog::Accepted);
}

void Confirmation::Button10Click() {
    if (state_.PendingAction == BroadcastConnectKind) {
        TimerTable::Start(state_.timers.Timer21);
    }
    dialog_.done(QDialog::Rejected);
}

void Confirmation::close1Timer() {
    if (state_.PendingAction == BroadcastConnectKind && !state_.ActionConfirmed) {
        TimerTable::Start(state_.timers.Timer21);
    }
}

} // namespace quellaton
