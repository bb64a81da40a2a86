#include "tests/engine/serial_bench.h"

#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "platform/messages.h"
#include "ports/port_state.h"

namespace rtq::test {

SerialBench::SerialBench(rtq::sim::SimConfig config) : printer(config) {
    backend.AddDevice("COM5", printer);
    g_bUsbLink = 0;
    g_bCancelled = 0;
    downloader->SetNotifyWindow(&window);
}

SerialBench::~SerialBench() {
    g_bCancelled = 0;
    downloader.reset();
}

int SerialBench::Download(const RunArgs& a) {
    int r = downloader->OpenSerialPort(serial.strPort, serial.nBaud, serial.strParity,
                                       serial.nStopBits);
    if (r != kResultSuccess) return r;
    if (!a.pin && !a.name) {
        r = downloader->CheckDataFile(a.path);
        if (r != kResultSuccess) return r;
    }
    return downloader->DownloadSerial(a.path, a.firstSector, a.main, a.ipl, kLinkSerial,
                                      g_aSectorSizes, &serial, a.pin, a.name);
}

int SerialBench::Run(const RunArgs& a) {
    const int r = Download(a);
    downloader->Finish();
    return r;
}

std::vector<std::string> SerialBench::StepTexts() const {
    std::vector<std::string> texts;
    for (const ProgressInfo& p : window.Progress())
        if (texts.empty() || texts.back() != p.m_strText) texts.push_back(p.m_strText);
    return texts;
}

int64_t SerialBench::TimeOfText(const std::string& text, size_t* index) const {
    const std::vector<RecordedMessage> messages = window.Messages();
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].msg == WM_UPDATE_PROGRESS && messages[i].progress.m_strText == text) {
            if (index) *index = i;
            return messages[i].atMs;
        }
    }
    return -1;
}

}  // namespace rtq::test
