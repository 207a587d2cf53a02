#include "transfers/line_steps.h"

#include "link/pump_wait.h"
#include "operations/pacing.h"
#include "protocol/frames.h"
#include "protocol/parameter_image.h"

namespace quellaton {

bool WriteImageFrames(BlockingSerialDriver& driver, int address, int counter,
                      QByteArrayView imageText) {
    return WriteImageFrames(driver, address, counter, imageText,
                            counter == ImageWriteCounter ? pacing::ImageHeadPauseMs
                                                         : pacing::SlotHeadPauseMs);
}

bool WriteImageFrames(BlockingSerialDriver& driver, int address, int counter,
                      QByteArrayView imageText, int headPauseMs) {
    driver.SendText =
        counter == ImageWriteCounter ? ImageWriteHead(address) : SlotWriteHead(address, counter);
    if (!driver.WriteFrame()) {
        return false;
    }
    PumpWait(headPauseMs);
    driver.SendText = ImageWriteRest(address, counter, ImagePayloadFromText(imageText));
    return driver.WriteFrame();
}

bool DistributeImage(BlockingSerialDriver& driver, QByteArrayView imageText,
                     int secondRestPauseMs) {
    const int address = BroadcastAddress;
    PumpWait(pacing::BroadcastLeadPauseMs);
    for (int poll = 0; poll < 2; ++poll) {
        driver.SendText = StatusPoll(address);
        if (!driver.WriteFrame()) {
            return false;
        }
        PumpWait(pacing::BroadcastPollPauseMs);
    }
    if (!WriteImageFrames(driver, address, ImageWriteCounter, imageText)) {
        return false;
    }
    PumpWait(pacing::BroadcastImagePauseMs);
    driver.SendText = ImageWriteHead(address);
    if (!driver.WriteFrame()) {
        return false;
    }
    PumpWait(secondRestPauseMs);
    driver.SendText = ImageWriteRest(address, ImageWriteCounter, ImagePayloadFromText(imageText));
    return driver.WriteFrame();
}

bool ProbeAddresses(BlockingSerialDriver& driver, int& probeAddress, int first, int last,
                    int pauseMs, const std::function<bool()>& aborted,
                    const std::function<void(int)>& probed) {
    for (int a = first; a <= last; ++a) {
        if (aborted && aborted()) {
            return false;
        }
        PumpWait(pauseMs);
        driver.ReceiveText.clear();
        driver.SendText = StatusPoll(a);
        // Set before the write: the write waits for the frame to leave the line, and an answer
        // handled meanwhile belongs to this address.
        probeAddress = a;
        driver.WriteFrame();
        if (probed) {
            probed(a);
        }
    }
    // The last probe gets the same time to be answered as every other one.
    PumpWait(pauseMs);
    return true;
}

} // namespace quellaton
