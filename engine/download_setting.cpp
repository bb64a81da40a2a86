#include <vector>

#include "engine/download_waits.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/messages.h"
#include "protocol/frames.h"

namespace {

// Sized by its contents: the texts are not limited here.
std::vector<uint8_t> PinCodeFrame(const std::string& pin) {
    std::vector<uint8_t> frame(kCmdPinCode, kCmdPinCode + sizeof kCmdPinCode);
    frame.push_back(pin.empty() ? 0x00 : 0x01);
    frame.insert(frame.end(), pin.begin(), pin.end());
    frame.push_back(0x00);
    return frame;
}

std::vector<uint8_t> FriendlyNameFrame(const std::string& name) {
    std::vector<uint8_t> frame(kCmdFriendlyName, kCmdFriendlyName + sizeof kCmdFriendlyName);
    frame.push_back(static_cast<uint8_t>(name.size() & 0xFF));
    frame.insert(frame.end(), name.begin(), name.end());
    return frame;
}

}  // namespace

int CFlashDownloader::SendPinCode() {
    const std::vector<uint8_t> frame = PinCodeFrame(g_strPinCode);
    if (m_pLink) m_pLink->SetNotifyWindow(m_pNotifyWnd.load());
    SendToWindow(WM_OPEN_PROGRESS, 0, 0);
    SetProgress("Downloading PIN Code...", 10000, 0, 1000);
    return SendRaw(frame.data(), static_cast<int>(frame.size()));
}

int CFlashDownloader::SendFriendlyName() {
    const std::vector<uint8_t> frame = FriendlyNameFrame(g_strFriendlyName);
    if (m_pLink) m_pLink->SetNotifyWindow(m_pNotifyWnd.load());
    SendToWindow(WM_OPEN_PROGRESS, 0, 0);
    SetProgress("Downloading FRIENDLY NAME ...", 10000, 0, 1000);
    return SendRaw(frame.data(), static_cast<int>(frame.size()));
}

int CFlashDownloader::DownloadSetting(int32_t bPin) {
    const int sent = bPin ? SendPinCode() : SendFriendlyName();
    // A setting that never reached the printer is not a success, whatever
    // the reset that follows would do.
    if (!sent) return kResultDataTimeout;
    SetProgress("Reseting printer...", -1, 0, 6400);
    if (!SendRaw(kCmdReset, sizeof kCmdReset)) return kResultResetFailed;
    SetProgress("Download completed!", -1, 0x10000, -1);
    if (m_pLink) m_pLink->WaitSeconds(kFinalWaitSeconds);
    return kResultSuccess;
}
