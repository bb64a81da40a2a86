#pragma once
// The operating-system calls beneath CCommPort for a serial device. The
// port keeps the system's own rules (pacing, deadlines, cancel test, the
// port mutex); a backend only performs single calls.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"
#include "ports/comm_types.h"

namespace rtq {

class ISerialBackend {
public:
    virtual ~ISerialBackend() = default;

    // Opens the device exclusively; INVALID_HANDLE_VALUE on failure (the
    // system's error text is stored with SetLastErrorText).
    virtual HANDLE Open(const std::string& name) = 0;
    virtual bool GetState(HANDLE h, DCB* dcb) = 0;
    virtual bool SetState(HANDLE h, const DCB& dcb) = 0;
    virtual bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) = 0;
    virtual bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) = 0;
    // One write call: writes what it can within the write time-out (output
    // waits while DSR is low); *written may be 0. False on an error.
    virtual bool Write(HANDLE h, const uint8_t* data, size_t len,
                       size_t* written) = 0;
    // One read call with the read time-out semantics of the last
    // SetTimeouts: returns at once with bytes already received, waits for
    // the first byte, or returns none after the read constant. False on an
    // error (a hang-up is an error, not a time-out).
    virtual bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) = 0;
    // Discards received, unread input.
    virtual bool PurgeInput(HANDLE h) = 0;
    // Closes a handle this backend issued; anything else is ignored.
    virtual void Close(HANDLE h) = 0;
    // Keeps the port reserved for this process from now until Unreserve,
    // also while it is closed between two opens: other programs cannot take
    // it meanwhile. False (the error stored) when another program holds it.
    // Backends without such a notion reserve nothing.
    virtual bool Reserve(const std::string& name) {
        (void)name;
        return true;
    }
    virtual void Unreserve(const std::string& name) { (void)name; }
};

// The process-wide serial backend: the system's own unless a test installed
// another.
ISerialBackend& SerialBackend();
void SetSerialBackend(ISerialBackend* backend);  // nullptr: the system's own
// Installs next only while expected is the installed one (the system's own
// counts as installed when none is); true if it was. For decorators, which
// must not undo a change somebody else made meanwhile.
bool ReplaceSerialBackend(ISerialBackend* expected, ISerialBackend* next);

}  // namespace rtq
