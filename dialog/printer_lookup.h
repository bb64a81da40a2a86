#pragma once
// The paired Bluetooth printers, read off the dialog's thread: the system's
// Bluetooth service may take up to its call time-out to answer (or not be
// there), and the dialog must not freeze meanwhile.

#include <functional>
#include <thread>

#include "ports/bluetooth_printers.h"

class CPrinterLookup {
public:
    using Reader = std::function<rtq::BluetoothState()>;
    using Done = std::function<void(rtq::BluetoothState)>;

    // The system's Bluetooth service (ports/bluetooth_devices.h).
    CPrinterLookup();
    ~CPrinterLookup() { Join(); }
    CPrinterLookup(const CPrinterLookup&) = delete;
    CPrinterLookup& operator=(const CPrinterLookup&) = delete;

    void SetReader(Reader reader) { m_reader = std::move(reader); }

    // Reads on a thread of its own and hands the state to done there. An
    // earlier read is waited for first: start one only once its done ran.
    void Start(Done done);
    // Waits for the read going on, if any (bounded by the reader's own
    // time-out).
    void Join();

private:
    Reader m_reader;
    std::thread m_thread;
};
