#pragma once
// The serial backend for a Bluetooth printer named by its address: an
// RFCOMM stream socket the program connects itself (no root, no bound
// tty). How each serial call maps onto the stream:
//   Open          the printer's serial port channel (the one named, or
//                 the one its service directory gives), then socket +
//                 connect to it, bounded by kConnectTimeoutMs together;
//                 a channel that refuses is asked again a few times.
//   Get/SetState  line settings and baud are kept and accepted: the
//                 stream has nothing to set (a bound tty does the same).
//   modem lines   a stream has none: DSR counts as high, so output paced
//                 by DSR is never held back, and DTR/RTS are not sent.
//   Get/SetTimeouts, Read, Write  the time-outs are kept and applied with
//                 poll, as on a tty.
//   PurgeInput    drains what is readable now, without waiting.
//   Reserve       nothing: a printer's channel takes one connection, a
//                 second is refused with EBUSY at connect.
// The printer closing the link (end of stream) fails the call with
// ECONNRESET, as a reset from the radio does.

#include <cstdint>
#include <memory>
#include <string>

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>

#include "ports/handle_table.h"
#include "ports/linux/rfcomm_syscalls.h"
#include "ports/serial_backend.h"

namespace rtq {

class RfcommBackend final : public ISerialBackend {
public:
    explicit RfcommBackend(RfcommSyscalls& sys = SystemRfcommSyscalls());
    ~RfcommBackend() override;
    RfcommBackend(const RfcommBackend&) = delete;
    RfcommBackend& operator=(const RfcommBackend&) = delete;

    // name: a Bluetooth address, optionally "/channel" (ports/bluetooth_address.h).
    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override;
    bool SetState(HANDLE h, const DCB& dcb) override;
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override;
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override;
    bool Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    bool PurgeInput(HANDLE h) override;
    void Close(HANDLE h) override;

    // Whether h is an open handle of this backend.
    bool Issued(HANDLE h);

    // A real radio gives up paging after about 5 s; the connect of the
    // serial channel follows. Never longer than this.
    static constexpr int64_t kConnectTimeoutMs = 15000;
    // A printer's channel that refuses may not be listening yet (just
    // switched on, or still closing the last connection).
    static constexpr int kRefusedAttempts = 3;
    static constexpr int64_t kRefusedPauseMs = 500;

private:
    struct Port;
    std::shared_ptr<Port> Find(HANDLE h);
    // One socket and its connect, until endMs: 0 and the port, or the
    // reason (the socket closed).
    int Connect(const sockaddr_rc& addr, int64_t endMs, std::shared_ptr<Port>* port);

    RfcommSyscalls& m_sys;
    HandleTable<Port> m_ports;
};

}  // namespace rtq
