#pragma once
// What an operator can do about a serial port or a USB printer that cannot
// be opened, in the terms of the operating system at hand. Each text starts with a space,
// to follow the system's reason.

#include <string>

// The user may not open the port.
std::string PortAccessAdvice();
// The port does not exist on this computer.
std::string MissingPortAdvice();
// The USB printer is attached but this user may not open it.
std::string UsbAccessAdvice();
