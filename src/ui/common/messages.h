#pragma once

#include <QString>

class QWidget;

namespace quellaton {

// Shows a modal message box with an OK button over `parent`. "\r" in a message is a line
// break. Returns when the box is closed; timers and the serial link keep running meanwhile.
void ShowMessage(QWidget* parent, const QString& message);

} // namespace quellaton
