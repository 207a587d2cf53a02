// Values with their units for assistive technology. A bar or a picture that sets a value
// reads, by default, as a bare number (the delay bar as "137") or as nothing at all (the gain
// fader). An AccessibleValue attached to such a widget makes its accessible value the text
// the user sees elsewhere ("2.877 ms, 0.991 m, 3.251 ft", "-12.0 dB"), keeps the number behind
// it for the value interface, and announces changes.
#pragma once

#include <QAccessible>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace quellaton {

// The span and step of a value that is not a bar's position.
struct AccessibleRange {
    double minimum = 0;
    double maximum = 0;
    double step = 0;
};

class AccessibleValue : public QObject {
    Q_OBJECT
public:
    // Attach before the widget's accessible interface is first asked for (at window
    // creation). For a slider or scroll bar `number` and `range` may stay empty: the bar's
    // own position and range are used.
    AccessibleValue(QWidget* widget, QAccessible::Role role, std::function<QString()> text,
                    std::function<double()> number = {}, AccessibleRange range = {});

    // The value attached to `widget`, or nullptr.
    static AccessibleValue* of(const QObject* widget);

    QAccessible::Role role() const { return role_; }
    QString text() const { return text_ ? text_() : QString(); }
    double number() const { return number_ ? number_() : 0.0; }
    const AccessibleRange& range() const { return range_; }

    // Tells assistive technology that the value changed.
    void announce();

private:
    QWidget* widget_;
    QAccessible::Role role_;
    std::function<QString()> text_;
    std::function<double()> number_;
    AccessibleRange range_;
};

} // namespace quellaton
