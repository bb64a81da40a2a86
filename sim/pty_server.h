#pragma once
// Serves a simulated printer on a pseudo-terminal. The server keeps a
// descriptor of the slave side open itself, so the master never sees a
// hang-up while the host closes and reopens the port; it takes no lock on
// the slave, so the host's exclusive open still works.

#include <cstdint>
#include <string>

#include "sim/sim_printer.h"

namespace rtq::sim {

class PtyServer {
public:
    struct Options {
        std::string flashOut;       // saved after each download reset
        bool exitAfterReset = false;
    };

    PtyServer() = default;
    ~PtyServer();  // closes both sides and removes the link it made
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens the pseudo-terminal in raw mode; with a link path, makes it a
    // symlink to the slave (replacing an old symlink, never another file).
    bool Open(const std::string& link, std::string* error);
    const std::string& SlavePath() const { return m_slavePath; }

    // Serves until stopFd becomes readable or, with exitAfterReset, a reset
    // ends a download and the host has closed the port (at most 20 s
    // later). False when saving the flash image failed (the reason in
    // *error); serving goes on after such a failure.
    bool Serve(SimPrinter& printer, const Options& options, int stopFd,
               std::string* error);

    // Writes the image through a temporary file and a rename, so a reader
    // never sees half an image.
    static bool SaveFlashAtomically(const SimPrinter& printer,
                                    const std::string& path, std::string* error);

private:
    LineSettings ReadLine() const;
    void WaitForHostToClose(int stopFd);

    static constexpr int64_t kHostCloseWaitMs = 20000;

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_link;
};

}  // namespace rtq::sim
