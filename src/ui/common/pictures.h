// Pictures the program draws itself at their fixed sizes.
#pragma once

#include <QPixmap>

namespace quellaton {

QPixmap LogoPicture();                    // 131 x 173, top right of the window
QPixmap ConnectionPicture(bool portOpen); // 28 x 28 indicator
QPixmap WarningPicture();                 // 48 x 48, confirmation dialog
QPixmap BtlPicture();                     // 713 x 157, BTL wiring dialog

} // namespace quellaton
