#pragma once
// The operating system's own port backends, one pair per OS folder; the
// build picks the folder.

#include "ports/serial_backend.h"
#include "ports/usb_backend.h"

namespace rtq {

ISerialBackend& SystemSerialBackend();
IUsbBackend& SystemUsbBackend();

}  // namespace rtq
