#pragma once
// A serial backend for unit tests: records every call, delivers scripted
// input, fails on request and keeps the last line settings and time-outs.
// Time passes only through the active clock, so a silent line costs one
// read constant per empty read on a virtual clock. Safe to use from
// several threads; hooks run without the backend's lock held, so they may
// push input.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/serial_backend.h"

namespace rtq::test {

class FakeSerialBackend : public rtq::ISerialBackend {
public:
    // One write call: the bytes it wrote (maybe fewer than asked for).
    struct WriteCall {
        std::vector<uint8_t> bytes;
        size_t requested = 0;
        int64_t atMs = 0;  // active clock when the call was made
    };

    FakeSerialBackend();
    ~FakeSerialBackend() override;
    FakeSerialBackend(const FakeSerialBackend&) = delete;
    FakeSerialBackend& operator=(const FakeSerialBackend&) = delete;

    // ISerialBackend. One port at a time: a second Open while a handle is
    // open is refused (port in use). Calls on a handle that is not open
    // fail, except Close, which ignores it.
    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override;
    bool SetState(HANDLE h, const DCB& dcb) override;
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override;
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override;
    bool Write(HANDLE h, const uint8_t* data, size_t len,
               size_t* written) override;
    // Delivers waiting input at once; with none, waits on the active clock
    // for input or the read constant (at least 1 ms, so that a loop on a
    // virtual clock always advances time).
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    bool PurgeInput(HANDLE h) override;
    void Close(HANDLE h) override;

    // --- Input side -------------------------------------------------------
    void PushInput(const std::vector<uint8_t>& bytes);
    void PushInput(const uint8_t* data, size_t len);
    size_t PendingInput() const;
    void ClearInput();

    // --- Failures ---------------------------------------------------------
    void SetOpenFails(bool fail);
    void SetGetStateFails(bool fail);
    void SetSetStateFails(bool fail);
    void SetSetTimeoutsFails(bool fail);
    void SetPurgeFails(bool fail);
    void SetReadFails(bool fail);
    // Every write call fails (false) from now on.
    void SetWriteFails(bool fail);
    // Write call number n (1-based, counted from now) fails.
    void FailWriteCall(int n);
    // The next n write calls with data write nothing, each after waiting
    // the write constant (DSR held low).
    void SetZeroWrites(int n);
    // Each write call writes at most n bytes (0: no limit).
    void SetMaxWriteChunk(size_t n);

    // What GetState reports before any SetState (the port's old settings).
    void SetInitialDcb(const DCB& dcb);

    // Called after each write call with the bytes it wrote (also when
    // none), so that a test can push an answer.
    void SetWriteHook(std::function<void(const std::vector<uint8_t>&)> hook);
    // Called at the start of every Read call.
    void SetReadHook(std::function<void()> hook);

    // --- Records ----------------------------------------------------------
    std::vector<WriteCall> Writes() const;
    // Every byte written, in order.
    std::vector<uint8_t> WrittenBytes() const;
    void ClearWrites();
    // Call log: "Open <name>", "GetState", "SetState", "GetTimeouts",
    // "SetTimeouts", "Write <n>", "Read", "Purge", "Close".
    std::vector<std::string> Calls() const;
    DCB LastDcb() const;              // last DCB given to SetState
    COMMTIMEOUTS LastTimeouts() const;  // last SetTimeouts
    int SetStateCount() const;
    int SetTimeoutsCount() const;
    int ReadCalls() const;
    int EmptyReads() const;
    int PurgeCount() const;
    int OpenCount() const;   // successful opens
    int CloseCount() const;  // closes of an open handle
    std::string LastOpenedName() const;
    bool IsOpen() const;
    HANDLE OpenHandle() const;  // INVALID_HANDLE_VALUE when none

private:
    bool IsOpenLocked(HANDLE h) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_inputCv;
    std::vector<uint8_t> m_input;
    HANDLE m_open = INVALID_HANDLE_VALUE;
    HANDLE m_nextHandle;
    std::string m_lastName;
    DCB m_state;
    DCB m_lastDcb;
    COMMTIMEOUTS m_timeouts;
    bool m_openFails = false;
    bool m_getStateFails = false;
    bool m_setStateFails = false;
    bool m_setTimeoutsFails = false;
    bool m_purgeFails = false;
    bool m_readFails = false;
    bool m_writeFails = false;
    int m_failWriteIn = 0;
    int m_zeroWrites = 0;
    size_t m_maxChunk = 0;
    // Shared, not copied, so that a hook keeps its own state across calls.
    std::shared_ptr<std::function<void(const std::vector<uint8_t>&)>> m_writeHook;
    std::shared_ptr<std::function<void()>> m_readHook;
    std::vector<WriteCall> m_writes;
    std::vector<std::string> m_calls;
    int m_setStateCount = 0;
    int m_setTimeoutsCount = 0;
    int m_readCalls = 0;
    int m_emptyReads = 0;
    int m_purgeCount = 0;
    int m_openCount = 0;
    int m_closeCount = 0;
};

// Installs a serial backend for the lifetime of the object.
class ScopedSerialBackend {
public:
    explicit ScopedSerialBackend(rtq::ISerialBackend& backend);
    ~ScopedSerialBackend();
    ScopedSerialBackend(const ScopedSerialBackend&) = delete;
    ScopedSerialBackend& operator=(const ScopedSerialBackend&) = delete;

private:
    rtq::ISerialBackend* m_previous;
};

}  // namespace rtq::test
