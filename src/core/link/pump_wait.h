#pragma once

namespace quellaton {

// Waits `milliseconds` while the window keeps processing its events: timers, receive passes
// and user input all run during the wait. The wait sleeps in the event loop (no spinning);
// 0 ms processes the pending events once and returns.
void PumpWait(int milliseconds);

} // namespace quellaton
