#pragma once
// Doubles shared by the worker tests: a downloader that records what the
// workers ask of it, an owner window that counts receive signals, and a
// wait on the active clock for conditions set by another thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/flash_downloader.h"
#include "platform/clock.h"
#include "tests/support/recording_notify_window.h"

namespace rtq::test {

inline bool WaitUntil(const std::function<bool()>& pred,
                      int64_t timeoutMs = 20'000) {
    const int64_t end = rtq::NowMs() + timeoutMs;
    while (!pred()) {
        if (rtq::NowMs() > end) return false;
        rtq::SleepMs(5);
    }
    return true;
}

class CountingWindow : public RecordingNotifyWindow {
public:
    void SignalReceivedUSB() override {
        ++signals;
        RecordingNotifyWindow::SignalReceivedUSB();
    }
    std::vector<RecordedMessage> Of(UINT code) const {
        std::vector<RecordedMessage> out;
        for (const RecordedMessage& m : Messages())
            if (m.msg == code) out.push_back(m);
        return out;
    }
    std::atomic<int> signals{0};
};

// Records each call as one line of its arguments, with the time and the
// sector map; every download returns `result`.
class RecordingDownloader : public CFlashDownloader {
public:
    struct Call {
        std::string text;
        const int32_t* map = nullptr;
        int64_t atMs = 0;
    };

    int result = 1;
    bool fakeOpen = true;  // else the real OpenSerialPort runs
    int openResult = 1;

    int DownloadSerial(std::string path, int32_t first, int32_t main,
                       int32_t ipl, int32_t link, const int32_t* map,
                       const SerialPortSettings* s, int32_t pin,
                       int32_t name) override {
        Add(Join({"DownloadSerial", path, N(first), N(main), N(ipl), N(link),
                  s ? s->strPort + " " + N(s->nBaud) + " " + s->strParity +
                          " " + N(s->nStopBits)
                    : "-",
                  N(pin), N(name)}),
            map);
        return result;
    }
    int DownloadUsb(std::string path, int32_t first, int32_t main, int32_t ipl,
                    int32_t link, const int32_t* map, int32_t pin,
                    int32_t name) override {
        Add(Join({"DownloadUsb", path, N(first), N(main), N(ipl), N(link),
                  N(pin), N(name)}),
            map);
        return result;
    }
    int OpenSerialPort(const std::string& port, int32_t baud,
                       const std::string& parity, int32_t stop) override {
        Add(Join({"OpenSerialPort", port, N(baud), parity, N(stop)}), nullptr);
        return fakeOpen ? openResult
                        : CFlashDownloader::OpenSerialPort(port, baud, parity, stop);
    }
    void Finish() override {
        Add("Finish", nullptr);
        CFlashDownloader::Finish();
    }

    std::vector<Call> Calls() const {
        std::lock_guard<std::mutex> lk(m_mutex);
        return m_calls;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const Call& c : Calls()) out.push_back(c.text);
        return out;
    }

private:
    static std::string N(int64_t v) { return std::to_string(v); }
    static std::string Join(const std::vector<std::string>& parts) {
        std::string out;
        for (const std::string& p : parts) out += (out.empty() ? "" : " ") + p;
        return out;
    }
    void Add(const std::string& text, const int32_t* map) {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_calls.push_back({text, map, rtq::NowMs()});
    }

    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
};

}  // namespace rtq::test
