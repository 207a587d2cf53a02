// The pauses, time-outs and periods of the program, in milliseconds: the exchanges with the
// units, which the window and the command-line tool run alike, and the window's own timers.
// Every pause that follows a write counts from the moment the frame has left the line.
#pragma once

namespace quellaton::pacing {

// Connecting: the image request must be answered with a first byte, the whole image and the
// name table within these times.
inline constexpr int FirstByteTimeoutMs = 800;
inline constexpr int ImageTimeoutMs = 1500;
inline constexpr int NamesTimeoutMs = 2500;

// Supervision while connected: the keep-alive poll, the time it may go unanswered, and the
// check that the open port is still there.
inline constexpr int PollIntervalMs = 500;
inline constexpr int PollWatchdogMs = 2000;
inline constexpr int PresenceCheckMs = 3000;

// The pause after closing a port before another port is opened.
inline constexpr int ReopenPauseMs = 100;

// The send queue: scan tick, delay before the picked slot is written, pause after it.
inline constexpr int QueueScanMs = 10;
inline constexpr int QueueWriteDelayMs = 200;
inline constexpr int QueueResumeMs = 300;

// Image and slot writes go out as a head and, after this pause, the rest.
inline constexpr int ImageHeadPauseMs = 100;
inline constexpr int SlotHeadPauseMs = 50;

// Backing up the 20 slots: one read a tick, and the time the whole backup may take.
inline constexpr int SlotReadIntervalMs = 700;
inline constexpr int BackupTimeoutMs = 16000;

// Restoring the 20 slots: one write a tick; after the last, a pause, the name table request
// and a short pause.
inline constexpr int SlotWriteIntervalMs = 1000;
inline constexpr int RestoreEndPauseMs = 1000;
inline constexpr int NameTableAfterRestorePauseMs = 50;

// Loading one preset: the window stays locked this long after the image has been written, and
// its progress advances a tenth at this period.
inline constexpr int LoadOneSettleMs = 8000;
inline constexpr int LoadOneProgressMs = 800;

// Recalling a device preset, and waiting for a unit's image to save.
inline constexpr int RecallTimeoutMs = 12000;
inline constexpr int RecallProgressMs = 1000;
inline constexpr int SaveOneTimeoutMs = 12000;

// Storing a preset name: the poll and the queue resume this long after the name was written.
inline constexpr int NameWriteSettleMs = 100;

// Device search: the pause before each probe, for the search and at start-up.
inline constexpr int ProbePauseMs = 100;
inline constexpr int StartupProbePauseMs = 500;
// After the last port was probed, before it is closed.
inline constexpr int SearchEndPauseMs = 500;

// Writing one image to every unit: the two status polls and the pauses around the two image
// writes. The pause before the second rest is longer when the image came from a unit.
inline constexpr int BroadcastLeadPauseMs = 500;
inline constexpr int BroadcastPollPauseMs = 500;
inline constexpr int BroadcastImagePauseMs = 1000;
inline constexpr int BroadcastSecondRestPauseFromUnitMs = 1000;
inline constexpr int BroadcastEndPauseMs = 1000;
inline constexpr int SourceUnitTimeoutMs = 1500;
// The progress of an initial data load: 20 ticks, at these periods for a file and a unit.
inline constexpr int InitialLoadTicks = 20;
inline constexpr int InitialLoadFileTickMs = 200;
inline constexpr int InitialLoadUnitTickMs = 300;

// Short settles around requests of the preset transfers.
inline constexpr int TransferSettleMs = 50;

// The window: the start-up search begins this long after start; its result is shown this long
// before the editors come back; the connection picture is redrawn, the port list refreshed and
// the "Connect" button locked after a click at these periods.
inline constexpr int StartupSearchDelayMs = 10;
inline constexpr int StartupResultShownMs = 3000;
inline constexpr int IndicatorPeriodMs = 1000;
inline constexpr int PortRefreshMs = 3000;
inline constexpr int ConnectButtonLockMs = 2000;

} // namespace quellaton::pacing
