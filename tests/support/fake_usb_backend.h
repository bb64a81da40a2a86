#pragma once
// A USB printer backend for unit tests: a device that can be found or
// missing, refuse to open or to answer its two control requests, return
// scripted write results, and deliver input pushed by a test (or by the
// write hook) to the receive side. Safe to use from several threads; hooks
// run without the backend's lock held.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event.h"
#include "ports/usb_backend.h"

namespace rtq::test {

class FakeUsbBackend : public rtq::IUsbBackend {
public:
    struct WriteCall {
        std::vector<uint8_t> bytes;  // the chunk as handed over
        HANDLE handle = 0;
        rtq::UsbWriteStatus status = rtq::UsbWriteStatus::Ok;
        int64_t atMs = 0;  // active clock when the call was made
    };

    static constexpr const char* kDefaultPath = "/dev/usb/lp0";

    FakeUsbBackend();
    ~FakeUsbBackend() override;
    FakeUsbBackend(const FakeUsbBackend&) = delete;
    FakeUsbBackend& operator=(const FakeUsbBackend&) = delete;

    // IUsbBackend. Open fails on an empty path, while the device is missing
    // or pulled, and while a handle is open (one at a time); each Open
    // issues a new handle. Writes on a handle that is not the open one give
    // InvalidHandle (an unplugged printer); other calls on it fail.
    bool FindDevicePath(std::string* path) override;
    HANDLE Open(const std::string& path) override;
    bool GetDeviceId(HANDLE h) override;
    bool GetPortStatus(HANDLE h) override;
    rtq::UsbWriteStatus Write(HANDLE h, const uint8_t* data, size_t len,
                              size_t* written) override;
    // True at once while input or a read error is waiting; otherwise waits
    // on an event with the active clock.
    bool WaitReadable(HANDLE h, int64_t timeoutMs) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    void Close(HANDLE h) override;

    // --- Device -----------------------------------------------------------
    void SetDeviceFound(bool found);
    void SetDevicePath(const std::string& path);
    void SetOpenFails(bool fail);
    void SetDeviceIdResult(bool ok);
    void SetPortStatusResult(bool ok);
    // Pulls the printer (true) or plugs it back in (false): while pulled,
    // the device is not found, Open fails and writes give InvalidHandle.
    void SetUnplugged(bool unplugged);

    // --- Writes -----------------------------------------------------------
    // Results for the next write calls, in order; Ok once they are used up.
    // A scripted InvalidHandle or Error writes nothing.
    void ScriptWriteResults(const std::vector<rtq::UsbWriteStatus>& results);
    void SetWriteHook(std::function<void(const std::vector<uint8_t>&)> hook);

    // --- Input side -------------------------------------------------------
    void PushInput(const std::vector<uint8_t>& bytes);
    // The next read fails (WaitReadable reports it as readable).
    void SetReadError(bool fail);
    size_t PendingInput() const;

    // --- Records ----------------------------------------------------------
    std::vector<WriteCall> Writes() const;
    // Bytes of the successful write calls, in order.
    std::vector<uint8_t> WrittenBytes() const;
    void ClearWrites();
    int OpenCount() const;     // successful opens
    int CloseCount() const;    // closes of the open handle
    int FindCount() const;
    // The wanted printer each FindDevicePath saw, in order.
    std::vector<std::string> WantedSeen() const;
    int DeviceIdCount() const;
    int PortStatusCount() const;
    int ReadCalls() const;
    int WaitCalls() const;
    // Most WaitReadable/Read calls in progress at the same time.
    int MaxConcurrentReads() const;
    HANDLE OpenHandle() const;  // INVALID_HANDLE_VALUE when none
    std::string LastOpenedPath() const;

private:
    void UpdateReadableLocked();

    mutable std::mutex m_mutex;
    rtq::Event m_readable{true, false};
    std::deque<uint8_t> m_input;
    bool m_readError = false;
    bool m_found = true;
    std::string m_path = kDefaultPath;
    bool m_openFails = false;
    bool m_deviceIdOk = true;
    bool m_portStatusOk = true;
    bool m_unplugged = false;
    HANDLE m_open = INVALID_HANDLE_VALUE;
    HANDLE m_nextHandle;
    std::string m_lastPath;
    std::deque<rtq::UsbWriteStatus> m_scripted;
    // Shared, not copied, so that a hook keeps its own state across calls.
    std::shared_ptr<std::function<void(const std::vector<uint8_t>&)>> m_writeHook;
    std::vector<WriteCall> m_writes;
    int m_openCount = 0;
    int m_closeCount = 0;
    int m_findCount = 0;
    std::vector<std::string> m_wantedSeen;
    int m_deviceIdCount = 0;
    int m_portStatusCount = 0;
    int m_readCalls = 0;
    int m_waitCalls = 0;
    int m_activeReads = 0;
    int m_maxActiveReads = 0;
};

// Installs a USB backend for the lifetime of the object.
class ScopedUsbBackend {
public:
    explicit ScopedUsbBackend(rtq::IUsbBackend& backend);
    ~ScopedUsbBackend();
    ScopedUsbBackend(const ScopedUsbBackend&) = delete;
    ScopedUsbBackend& operator=(const ScopedUsbBackend&) = delete;

private:
    rtq::IUsbBackend* m_previous;
};

}  // namespace rtq::test
