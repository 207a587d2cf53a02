// Pictures of the channel editors, drawn by the program at their fixed sizes: the gain fader's
// background and knob, the Mid row icon (normal and bridged), the row line of a way row and
// the picture of the delay popup.
#pragma once

#include <QImage>
#include <QPixmap>

namespace quellaton {

inline constexpr int FaderWidth = 163;
inline constexpr int FaderHeight = 250;
inline constexpr int KnobLeft = 73;
inline constexpr int KnobWidth = 12;
inline constexpr int KnobHeight = 13;
inline constexpr int RowIconSize = 22;
inline constexpr int RowLineWidth = 2;
inline constexpr int RowLineHeight = 44;
inline constexpr int DelayPictureWidth = 150;
inline constexpr int DelayPictureHeight = 56;

QImage FaderBackgroundPicture();      // 163 x 250: scale from +5 dB (row 26) to -20 dB (205)
QImage KnobPicture(bool pressed);     // 12 x 13
QPixmap RowIconPicture(bool bridged); // 22 x 22: a loudspeaker, or the bridged pair
QPixmap RowLinePicture();             // 2 x 44: the line joining a row's two button lines
QPixmap DelayPopupPicture();          // 150 x 56: a speaker, a listener and the distance

// The fader with the knob drawn at (KnobLeft, knobTop).
QImage ComposeFader(int knobTop, bool pressed);

} // namespace quellaton
