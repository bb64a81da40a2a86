#include "engine/port_advice.h"

std::string PortAccessAdvice() {
    return " Join the group that owns the port (usually dialout: "
           "sudo adduser $USER dialout) and log in again.";
}

std::string MissingPortAdvice() {
    return " No such port on this computer: plug the adapter in, pair the "
           "Bluetooth printer, or pick another port.";
}
