#include "dialog/printer_lookup.h"

#include "ports/bluetooth_devices.h"

CPrinterLookup::CPrinterLookup() : m_reader([] { return rtq::ReadBluetoothState(); }) {}

void CPrinterLookup::Start(Done done) {
    Join();
    m_thread = std::thread([reader = m_reader, done = std::move(done)] { done(reader()); });
}

void CPrinterLookup::Join() {
    if (m_thread.joinable()) m_thread.join();
}
