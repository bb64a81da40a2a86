#pragma once
// The node a simulated printer is served on: the printer's end of a
// USB-serial adapter (a terminal device) or of a USB printer link (the
// printer gadget's character device). The node says how it opens, how the
// server waits for written answers to leave it, and whether a printer
// restart pulls it off the bus; NodeServer does everything else.

#include <cstdint>
#include <functional>
#include <string>

namespace rtq::sim {

enum class ServeOutcome { Ok, Stopped, Failed };

// Notes on what happens to the link (hang-ups, unplugs, reopens).
using NoteFn = std::function<void(const std::string&)>;

class ServedNode {
public:
    explicit ServedNode(std::string path) : m_path(std::move(path)) {}
    virtual ~ServedNode() = default;
    ServedNode(const ServedNode&) = delete;
    ServedNode& operator=(const ServedNode&) = delete;

    const std::string& Path() const { return m_path; }

    // Opens the node, trying again while it is not there, for up to
    // waitMs: Ok with the descriptor in *fd, Stopped when stopFd became
    // readable, Failed with the reason in *error.
    virtual ServeOutcome Open(int stopFd, int64_t waitMs, const NoteFn& note, int* fd,
                              std::string* error) = 0;
    // Once the answers are written: waits (bounded) until they have left
    // the node. Stopped when stopFd became readable.
    virtual ServeOutcome WaitSent(int fd, int stopFd) = 0;
    // True when a printer restart takes the node off the bus with it.
    virtual bool RestartUnplugs() const = 0;

protected:
    // One try: a descriptor, or -1 with errno; a non-empty *refusal ends
    // the retries (a path that can never be served).
    using OpenOnce = std::function<int(std::string* refusal)>;
    // Tries every 100 ms until a try opens, refuses, stopFd becomes
    // readable or waitMs passed.
    ServeOutcome OpenRetrying(const OpenOnce& tryOpen, int stopFd, int64_t waitMs, int* fd,
                              std::string* error) const;

private:
    const std::string m_path;
};

}  // namespace rtq::sim
