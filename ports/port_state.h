#pragma once
// Process-wide state of the ports, shared by the port objects, the link,
// the worker threads and the main dialog. The flags are written by one
// thread and read by another, so they are atomics.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/notify_window.h"
#include "platform/types.h"

// 1 while the USB link is selected.
extern std::atomic<int> g_bUsbLink;
// The open USB printer device.
extern std::atomic<HANDLE> g_hUsbDevice;
// Held around every single read or write call on any port handle.
extern std::mutex g_portMutex;
// Set by the progress dialog's Cancel button; Write tests it.
extern std::atomic<int> g_bCancelled;

// Reply bytes collected by the USB receive thread (also the identity text
// over serial).
constexpr int kReceivedBufferSize = 300;
extern uint8_t receivedBuffer[kReceivedBufferSize];

// The main dialog, set by its constructor; USB writes reach its
// ReconnectUsb through it.
extern std::atomic<INotifyWindow*> g_pMainDlg;
