#include "engine/port_advice.h"

std::string PortAccessAdvice() {
    return " This user may not open the port: ask the computer's administrator.";
}

std::string MissingPortAdvice() {
    return " No such port on this computer: Device Manager lists the ports under "
           "Ports (COM & LPT); plug the adapter in, pair the Bluetooth printer, or "
           "pick another port.";
}

std::string UsbAccessAdvice() {
    return " The printer is attached but may not be opened: close other programs that "
           "print to it, or ask the computer's administrator.";
}
