// Key filtering for text fields: only the listed characters (and editing keys that type no
// character, such as the arrows or Delete) reach the field; Enter is swallowed and runs a
// callback instead.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace quellaton {

class KeyFilter : public QObject {
    Q_OBJECT
public:
    // `allowed` lists the characters accepted besides backspace and Enter; an empty
    // `allowed` with `printable` set accepts every character from blank to "~".
    KeyFilter(QWidget* field, QString allowed, std::function<void()> onEnter,
              bool printable = false);

    static constexpr const char* Digits = "0123456789";
    static constexpr const char* Decimal = "0123456789.";
    static constexpr const char* SignedDecimal = "0123456789.-";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString allowed_;
    std::function<void()> onEnter_;
    bool printable_;
};

} // namespace quellaton
