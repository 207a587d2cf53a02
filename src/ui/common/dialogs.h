// The three small dialogs of the main window.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace quellaton {

// Confirmation dialog: asks whether to go on with an action, and says how it was answered.
class ConfirmationDialog : public QDialog {
    Q_OBJECT
public:
    enum class Answer {
        First,  // the first button ("Yes", "Proceed"): go on
        Second, // the second button
        Closed, // the close box
    };

    explicit ConfirmationDialog(QWidget* parent = nullptr);

    // Shows `message` ("\r" is a line break) with the first button captioned `firstCaption`
    // and the second one shown or not, and waits for the answer (the window's timers and the
    // line keep running meanwhile).
    Answer ask(const QString& message, const QString& firstCaption, bool secondShown);

    QLabel* messageLabel;
    QPushButton* firstButton;  // first button, "YES" until a caller sets it
    QPushButton* secondButton; // "NO"
};

// About box.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* SupportAddress = "https://www.quellaton.com/support";
    explicit AboutBox(QWidget* parent = nullptr);
    QLabel* releaseLabel; // the program's release, from the project version
    QLabel* addressLabel;
    QPushButton* okButton;
};

// BTL wiring picture.
class BtlPictureDialog : public QDialog {
    Q_OBJECT
public:
    explicit BtlPictureDialog(QWidget* parent = nullptr);
};

} // namespace quellaton
