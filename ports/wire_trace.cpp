#include "ports/wire_trace.h"

#include <mutex>

#include "ports/traced_serial_backend.h"
#include "ports/traced_usb_backend.h"
#include "ports/wire_trace_writer.h"

namespace rtq {

namespace {

std::mutex g_controlMutex;
// Never destroyed: a call that went through one before StopWireTrace may
// still be running in it.
TracedSerialBackend g_tracedSerial;
TracedUsbBackend g_tracedUsb;

template <class Backend, class Traced>
void Wrap(Backend& active, Traced& traced, bool (*replace)(Backend*, Backend*)) {
    if (&active == &traced) return;
    traced.SetInner(&active);
    replace(&active, &traced);
}

}  // namespace

bool StartWireTrace(const std::string& path, std::string* error,
                    const std::vector<NotATraceFile>& others) {
    std::lock_guard<std::mutex> lk(g_controlMutex);
    if (!WireTraceWriter::Instance().Open(path, error, others)) return false;
    Wrap<ISerialBackend>(SerialBackend(), g_tracedSerial, &ReplaceSerialBackend);
    Wrap<IUsbBackend>(UsbBackend(), g_tracedUsb, &ReplaceUsbBackend);
    return true;
}

void StopWireTrace() {
    std::lock_guard<std::mutex> lk(g_controlMutex);
    // Left alone if somebody installed another backend meanwhile.
    if (g_tracedSerial.Inner()) ReplaceSerialBackend(&g_tracedSerial, g_tracedSerial.Inner());
    if (g_tracedUsb.Inner()) ReplaceUsbBackend(&g_tracedUsb, g_tracedUsb.Inner());
    WireTraceWriter::Instance().Close();
}

}  // namespace rtq
