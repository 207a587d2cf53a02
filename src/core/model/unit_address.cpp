#include "model/unit_address.h"

namespace quellaton {

void UnitAddress::setDeviceId(int id) {
    if (id < 1 || id > 255 || id == deviceId_) {
        return;
    }
    deviceId_ = id;
    emit changed();
}

void UnitAddress::setBroadcast(bool on) {
    if (on == broadcast_) {
        return;
    }
    broadcast_ = on;
    emit changed();
}

} // namespace quellaton
