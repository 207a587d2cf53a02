// What assistive technology reads from the program's value controls and drop-down lists.
//
// A bar or a picture that sets a value reads, by default, as a bare number (the delay bar as
// "137") or as nothing at all (the gain fader). An AccessibleValue attached to such a widget
// makes its accessible value the text the user sees elsewhere ("2.877 ms, 0.991 m, 3.251 ft",
// "-12.0 dB"), also offered as the control's (read-only) text, keeps the number behind it in
// the units shown for the value interface, and announces changes.
// Scroll bars, sliders and widget classes that declare Q_CLASSINFO("accessibleRole", "Slider")
// read their value this way; without an AccessibleValue they read their position as before.
//
// A drop-down list is named by its accessible name (on Linux Qt would name it by the entry it
// shows, so six "PEQ" lists would sound alike); the entry shown is its value, its text, and the
// selected entry of its list, where screen readers look for it.
#pragma once

#include <QAccessible>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace quellaton {

// Installs the interfaces above. Call before the first widget is made: an interface, once asked
// for, is kept for the widget's life.
void InstallAccessibleWidgets();

// The span and step of a value that is not a bar's position.
struct AccessibleRange {
    double minimum = 0;
    double maximum = 0;
    double step = 0;
};

class AccessibleValue : public QObject {
    Q_OBJECT
public:
    // For a slider or scroll bar `number` and `range` may stay empty: the bar's own position
    // and range are used. `setNumber` takes a value set by assistive technology, in the units
    // of `number`.
    AccessibleValue(QWidget* widget, std::function<QString()> text,
                    std::function<double()> number = {}, AccessibleRange range = {},
                    std::function<void(double)> setNumber = {});

    // The value attached to `widget`, or nullptr.
    static AccessibleValue* of(const QObject* widget);

    QString text() const { return text_ ? text_() : QString(); }
    bool hasNumber() const { return bool(number_); }
    double number() const { return number_ ? number_() : 0.0; }
    bool settable() const { return bool(setNumber_); }
    void setNumber(double value) const {
        if (setNumber_) {
            setNumber_(value);
        }
    }
    const AccessibleRange& range() const { return range_; }

    // Tells assistive technology that the value changed.
    void announce();

private:
    QWidget* widget_;
    std::function<QString()> text_;
    std::function<double()> number_;
    AccessibleRange range_;
    std::function<void(double)> setNumber_;
};

} // namespace quellaton
