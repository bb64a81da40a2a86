#pragma once
// Serves a simulated printer on a listening stream socket, as a Bluetooth
// printer serves its serial port: an RFCOMM channel (or, for tests, a
// Unix socket). One host at a time; when the host hangs up, the printer
// keeps its state and waits for the next connection, as the host closes
// and reconnects around a change of line speed.

#include <functional>
#include <string>

#include "sim/sim_printer.h"

namespace rtq::sim {

class StreamServer {
public:
    struct Options {
        std::string flashOut;  // saved after each download reset
        bool exitAfterReset = false;
        std::function<void(const std::string&)> note;  // connects and hang-ups
    };

    explicit StreamServer(Options options);
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    // Listens on RFCOMM channel (1..30) of every local adapter.
    bool ListenRfcomm(int channel, std::string* error);
    // Listens on a Unix stream socket at path (replacing a stale one).
    bool ListenUnix(const std::string& path, std::string* error);

    // Serves until stopFd becomes readable or, with exitAfterReset, a reset
    // ends a download. False when listening failed or saving the flash
    // image failed (serving goes on after that), with the reason in *error.
    bool Serve(SimPrinter& printer, int stopFd, std::string* error);

private:
    bool Listen(int fd, const char* what, std::string* error);
    void Note(const std::string& text) const;

    const Options m_options;
    int m_listen = -1;
    int m_client = -1;
    std::string m_unixPath;
};

}  // namespace rtq::sim
