#pragma once
// The printer's end of a USB printer link: a character device (normally
// /dev/g_printer0) whose read gives what the host wrote and whose write
// goes to the host. It exists only while the gadget is plugged in and
// opens only once the host has configured the device, so opening it
// after a plug-in is retried for a while.

#include <cstdint>
#include <string>

#include "sim/served_node.h"

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

class PrinterNode final : public ServedNode {
public:
    // verbose: also note a node that takes no port status (a stand-in).
    PrinterNode(std::string path, bool verbose) : ServedNode(std::move(path)), m_verbose(verbose) {}

    // Opens the node and reports the printer online.
    ServeOutcome Open(int stopFd, int64_t waitMs, const NoteFn& note, int* fd,
                      std::string* error) override;
    // The gadget returns from write once the bytes are queued; this waits
    // until the host has taken them.
    ServeOutcome WaitSent(int fd, int stopFd) override;
    bool RestartUnplugs() const override { return true; }

private:
    const bool m_verbose;
};

}  // namespace rtq::sim
