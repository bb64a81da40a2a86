#include "ports/port_state.h"

std::atomic<int> g_bUsbLink{0};
std::atomic<HANDLE> g_hUsbDevice{INVALID_HANDLE_VALUE};
std::mutex g_portMutex;
std::atomic<int> g_bCancelled{0};
uint8_t receivedBuffer[kReceivedBufferSize];
std::atomic<INotifyWindow*> g_pMainDlg{nullptr};
