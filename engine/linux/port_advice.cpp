#include "engine/port_advice.h"

std::string PortAccessAdvice() {
    return " Join the group that owns the port (usually dialout: "
           "sudo adduser $USER dialout) and log in again.";
}

std::string MissingPortAdvice() {
    return " No such port on this computer: plug the adapter in, pair the "
           "Bluetooth printer, or pick another port.";
}

std::string UsbAccessAdvice() {
    return " The printer is attached but this user may not open it: join the lp group "
           "(sudo adduser $USER lp) and log in again.";
}
