#pragma once
// The printer's end of a USB printer link: a character device (normally
// /dev/g_printer0) whose read gives what the host wrote and whose write
// goes to the host. It exists only while the gadget is plugged in and
// opens only once the host has configured the device, so opening it
// after a plug-in is retried for a while.

#include <cstdint>
#include <string>

namespace rtq::sim {

// Port-status byte of a printer that is selected and has no error.
constexpr uint8_t kPrinterOnline = 0x18;

// Opens the node non-blocking; -1 with errno on failure.
int OpenPrinterNode(const std::string& path);

// Sets the port-status byte the host reads. False (errno set) on a node
// without that request, as the stand-ins used in tests.
bool SetPrinterStatus(int fd, uint8_t status);
// The status byte as the node reports it; -1 (errno set) if it cannot.
int GetPrinterStatus(int fd);

enum class NodeWait { Open, Stopped, TimedOut };

// Tries to open the node every 100 ms until it opens (*fd), stopFd becomes
// readable or timeoutMs passed (*lastErrno tells why the last try failed).
NodeWait WaitForPrinterNode(const std::string& path, int stopFd, int64_t timeoutMs,
                            int* fd, int* lastErrno);

}  // namespace rtq::sim
