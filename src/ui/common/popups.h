// The floating popups of the main window (the Gain, Limiter and Delay panels) carry the button
// that last opened them, so that the keyboard reaches their controls right after it.
#pragma once

namespace quellaton {

// A floating popup (a direct child of the central widget) carries this property: the button
// that last opened it, or a null object while it has never been opened.
inline constexpr const char* PopupOpenerProperty = "openedBy";

} // namespace quellaton
