#pragma once
// The system's one port object: a serial (or Bluetooth virtual serial)
// port of its own, or the process-wide USB device while g_bUsbLink is 1.

#include <cstdint>
#include <string>

#include "platform/types.h"
#include "ports/comm_types.h"

class CCommPort {
public:
    CCommPort();

    // Virtual operations in their slot order.
    virtual HANDLE GetHandle();
    virtual int SetReadTimeout(uint32_t ms);
    virtual int SetWriteTimeout(uint32_t ms);
    virtual int Write(const uint8_t* data, int length);
    virtual int ReadByte(uint8_t* out);
    virtual int PurgeInput();
    virtual void Close();
    virtual int Configure(uint32_t baud, const std::string& parity,
                          uint8_t dataBits, int stopBits);
    virtual int Open(const std::string& name);
    virtual int WriteOverlapped(const uint8_t* data, int length);
    // Releases nothing: the port is closed by whoever opened it.
    virtual ~CCommPort();

    // Returns once n whole seconds have passed.
    void WaitSeconds(int n);

    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

protected:
    HANDLE handle;
    COMMTIMEOUTS timeouts;
    DCB dcb;
};
