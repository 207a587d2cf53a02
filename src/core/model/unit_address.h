// Which unit the program talks to: a device ID 1..255, or every unit on the line at once
// (broadcast mode). Every frame carries the address byte: the device ID minus 1, or 255 for
// all units. The device ID is kept while broadcast mode is on, and addressed again when it
// goes off.
#pragma once

#include <QObject>

namespace quellaton {

class UnitAddress : public QObject {
    Q_OBJECT
public:
    static constexpr int Broadcast = 255;

    explicit UnitAddress(QObject* parent = nullptr) : QObject(parent) {}

    int deviceId() const { return deviceId_; }
    bool broadcast() const { return broadcast_; }
    // The address byte of the frames: device ID - 1, or 255 in broadcast mode.
    int address() const { return broadcast_ ? Broadcast : deviceId_ - 1; }

    // A device ID outside 1..255 is not taken.
    void setDeviceId(int id);
    void setBroadcast(bool on);

signals:
    void changed();

private:
    int deviceId_ = 1;
    bool broadcast_ = false;
};

} // namespace quellaton
