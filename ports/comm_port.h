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

    // Reserves the serial port for the whole run, across the reopen at the
    // download speed (at most one reservation at a time); 0 when another
    // program holds it. Unreserve gives it back (nothing when none).
    int Reserve(const std::string& name);
    void Unreserve();

    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

protected:
    HANDLE handle;
    std::string m_strReserved;
    bool m_bReserved = false;
    COMMTIMEOUTS timeouts;
    DCB dcb;
};
