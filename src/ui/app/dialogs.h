// The three small dialogs of the main window.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace quellaton {

// Confirmation dialog: the caller sets the message, the first button's caption and whether
// the second button is shown, then runs it modally.
class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
    QLabel* RzLabel9;
    QPushButton* Button1;  // first button, "YES" until a caller sets it
    QPushButton* Button10; // "NO"
};

// About box.
class TForm6 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* SupportAddress = "https://www.quellaton.com/support";
    explicit TForm6(QWidget* parent = nullptr);
    QLabel* releaseLabel; // the program's release, from the project version
    QLabel* addressLabel;
    QPushButton* okButton;
};

// BTL wiring picture.
class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
};

} // namespace quellaton
