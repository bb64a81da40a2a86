#include <cerrno>

#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"
#include "ports/port_state.h"
#include "ports/usb_backend.h"

namespace {

// A failed request closes the device; its text is kept for the 1039
// message, taken before the close can change errno.
void CloseAfterFailedRequest() {
    const int err = errno;
    if (err != 0) rtq::SetLastErrorFromErrno(err);
    rtq::UsbBackend().Close(g_hUsbDevice.load());
    g_hUsbDevice = INVALID_HANDLE_VALUE;
}

}  // namespace

int CFlashDownloader::FindUsbDevicePath(std::string* path) {
    std::string found;
    if (!rtq::UsbBackend().FindDevicePath(&found)) return 0;
    if (path) *path = found;
    return 1;
}

int CFlashDownloader::OpenUsb() {
    std::string path;
    FindUsbDevicePath(&path);
    const HANDLE h = path.empty() ? INVALID_HANDLE_VALUE : rtq::UsbBackend().Open(path);
    g_hUsbDevice = h;
    return h != INVALID_HANDLE_VALUE ? 1 : 0;
}

int CFlashDownloader::QueryUsbDeviceId() {
    errno = 0;
    if (rtq::UsbBackend().GetDeviceId(g_hUsbDevice.load())) return 1;
    CloseAfterFailedRequest();
    return 0;
}

int CFlashDownloader::QueryUsbPortStatus() {
    errno = 0;
    if (rtq::UsbBackend().GetPortStatus(g_hUsbDevice.load())) return 1;
    CloseAfterFailedRequest();
    return 0;
}

int CFlashDownloader::ReopenUsb() {
    if (!OpenUsb()) return kResultUsbOpenFailed;
    if (!QueryUsbDeviceId()) return kResultUsbDeviceIdFailed;
    if (!QueryUsbPortStatus()) return kResultUsbStatusFailed;
    return kResultSuccess;
}
