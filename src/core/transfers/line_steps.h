// Steps of the whole-image exchanges that the window and the command-line tool share: writing
// an image or a preset slot as head and rest, distributing one image to every unit, and
// probing the addresses of a line for units. Each waits in the event loop between frames.
#pragma once

#include "link/blocking_serial_driver.h"

#include <QByteArrayView>
#include <functional>

namespace quellaton {

// Writes the payload of `imageText` (an image reply frame as hex text) to `address`: the
// head, the pause its block needs, then the rest with the check and End byte. `counter` 25
// writes the working set, 1..20 that preset slot. False when a frame could not go out.
bool WriteImageFrames(BlockingSerialDriver& driver, int address, int counter,
                      QByteArrayView imageText);
// The same with the pause between head and rest given.
bool WriteImageFrames(BlockingSerialDriver& driver, int address, int counter,
                      QByteArrayView imageText, int headPauseMs);

// Writes one image to every unit on the line: a lead pause, two status polls, the image,
// a pause, and the image again; `secondRestPauseMs` is the pause between the second head and
// its rest. Stops at the first frame that cannot go out (the port went, or the program is
// closing), so no later step is sent.
bool DistributeImage(BlockingSerialDriver& driver, QByteArrayView imageText, int secondRestPauseMs);

// Probes the addresses `first`..`last` on the open port for units: before each, the pause;
// then a status poll to it, with `probeAddress` set first so that a reply is filed under it.
// The last probe gets the same time to be answered. `aborted` is asked before each probe;
// `probed` is told each address after its poll has gone out. False when aborted.
bool ProbeAddresses(BlockingSerialDriver& driver, int& probeAddress, int first, int last,
                    int pauseMs, const std::function<bool()>& aborted,
                    const std::function<void(int)>& probed);

} // namespace quellaton
