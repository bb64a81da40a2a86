#pragma once
// A port object on a virtual clock over the fake backends, with the
// process-wide port state reset around each test.

#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "platform/clock.h"
#include "ports/comm_port.h"
#include "ports/port_state.h"
#include "tests/support/fake_serial_backend.h"
#include "tests/support/fake_usb_backend.h"

namespace rtq::test {

class PortTest : public ::testing::Test {
protected:
    PortTest() : useClock(clock), useSerial(serial), useUsb(usb) {
        ResetState();
    }
    ~PortTest() override { ResetState(); }

    static void ResetState() {
        g_bUsbLink = 0;
        g_bCancelled = 0;
        g_hUsbDevice = INVALID_HANDLE_VALUE;
        g_pMainDlg = nullptr;
    }

    // Whether another thread finds g_portMutex taken right now.
    static bool PortMutexHeld() {
        return !std::async(std::launch::async, [] {
                    std::unique_lock<std::mutex> lk(g_portMutex, std::try_to_lock);
                    return lk.owns_lock();
                }).get();
    }

    // Opens the port on the fake and clears the call log.
    void OpenPort() {
        ASSERT_EQ(port.Open("\\\\.\\COM1"), 1);
        ASSERT_NE(port.GetHandle(), INVALID_HANDLE_VALUE);
    }

    VirtualClock clock;
    ScopedClock useClock;
    FakeSerialBackend serial;
    ScopedSerialBackend useSerial;
    FakeUsbBackend usb;
    ScopedUsbBackend useUsb;
    CCommPort port;
};

}  // namespace rtq::test
