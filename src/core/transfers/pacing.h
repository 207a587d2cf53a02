// The pauses and time-outs of the exchanges with the units, in milliseconds. The window's
// timers and the command-line transfers take them from here, so both pace the line alike.
// Every pause that follows a write counts from the moment the frame has left the line.
#pragma once

namespace quellaton::pacing {

// Connecting: the image request must be answered with a first byte, the whole image and the
// name table within these times.
inline constexpr int FirstByteTimeoutMs = 800;
inline constexpr int ImageTimeoutMs = 1500;
inline constexpr int NamesTimeoutMs = 2500;

// Supervision while connected.
inline constexpr int PollIntervalMs = 500;
inline constexpr int PollWatchdogMs = 2000;

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

// Loading one preset: the window stays locked this long after the image has been written.
inline constexpr int LoadOneSettleMs = 8000;

// Recalling a device preset, and waiting for a unit's image to save.
inline constexpr int RecallTimeoutMs = 12000;
inline constexpr int SaveOneTimeoutMs = 12000;

// Device search: the pause before each probe, for the search and at start-up.
inline constexpr int ProbePauseMs = 100;
inline constexpr int StartupProbePauseMs = 500;

// Writing one image to every unit: the two status polls and the pauses around the two image
// writes. The pause before the second rest is longer when the image came from a unit.
inline constexpr int BroadcastLeadPauseMs = 500;
inline constexpr int BroadcastPollPauseMs = 500;
inline constexpr int BroadcastImagePauseMs = 1000;
inline constexpr int BroadcastSecondRestPauseFromUnitMs = 1000;
inline constexpr int BroadcastEndPauseMs = 1000;
inline constexpr int SourceUnitTimeoutMs = 1500;

// Short settles around requests of the preset transfers.
inline constexpr int TransferSettleMs = 50;

} // namespace quellaton::pacing
