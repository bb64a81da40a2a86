#pragma once
// A simulated RTQ650 printer, the printer's side of the flash-download
// protocol, written from the wire protocol alone. It takes the bytes the
// host sends and queues the bytes it answers; a transport (in-process
// backend or pseudo-terminal) moves them. Thread-safe: every call takes
// the printer's lock.
//
// Normal mode (at start): the switch frame enters download mode, the PIN
// code and friendly-name frames are stored, reset restarts the printer;
// other frames get no answer and bytes outside frames are "printed"
// (counted). Download mode: line check, identity, erase, select, data,
// checksum and CRC recalculation are answered; reset returns to normal
// mode without an answer; unknown frames and stray bytes are ignored
// without an answer.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/answer_queue.h"
#include "sim/flash_image.h"
#include "sim/frame_parser.h"
#include "sim/sim_event.h"
#include "sim/sim_faults.h"
#include "sim/sim_types.h"

namespace rtq::sim {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

struct SimConfig {
    uint8_t fill = 0xFF;             // initial flash content
    bool andProgramming = true;      // false: data overwrites the flash
    std::string identity = "Mobile Printer";
    uint8_t lineStatus = 0x00;       // second byte of the line-check answer
    // false: the checksum is the CRC of the data received; true: the CRC of
    // what the flash holds afterwards (shows writes into unerased sectors).
    bool checksumFromFlash = false;
    int64_t answerDelayMs = 0;       // every answer released this much later
    // After the data of sector 5 (the upper half of the IPL) the printer
    // restarts into download mode and hears nothing for this long; 0: no
    // restart.
    int64_t iplRestartMs = 0;
    // Events the log keeps, the latest ones; the observer still hears
    // every event, and the counters count every command.
    size_t eventLogLimit = 4096;
};

class SimPrinter : private FrameSink {
public:
    explicit SimPrinter(SimConfig config = {});
    SimPrinter(const SimPrinter&) = delete;
    SimPrinter& operator=(const SimPrinter&) = delete;

    // --- Byte stream ------------------------------------------------------
    void Receive(const uint8_t* data, size_t len);
    void Receive(const std::vector<uint8_t>& data) {
        Receive(data.data(), data.size());
    }
    // Answer bytes the host can read now (released on the active clock).
    size_t OutputAvailable() const;
    size_t TakeOutput(uint8_t* buf, size_t max);
    std::vector<uint8_t> TakeOutput();
    // When the next held-back answer becomes readable, if one is held back.
    std::optional<int64_t> NextReleaseMs() const;
    // Every queued byte, readable or held back.
    size_t PendingOutput() const;
    // Drops the readable bytes (input purged or lost by the host).
    void PurgeOutput();

    // The transport reports the line settings the host uses.
    void SetLine(const LineSettings& line);
    LineSettings Line() const;

    // --- Faults -----------------------------------------------------------
    void AddFault(const FaultRule& rule);
    void ClearFaults();
    bool LineDropped() const;
    void RestoreLine();
    // DSR as the printer drives it; transports read it before writing.
    void SetDsrLow(bool low) { m_dsrLow = low; }
    bool DsrLow() const { return m_dsrLow; }

    // --- State ------------------------------------------------------------
    SimMode Mode() const;
    int SelectedSector() const;  // 0: none
    std::optional<std::string> PinCode() const;
    std::optional<std::string> FriendlyName() const;
    size_t PrintedBytes() const;
    size_t StrayBytes() const;
    size_t LostBytes() const;
    // Resets that ended download mode.
    int DownloadResets() const;
    // Times the printer restarted: every reset it executed and the restart
    // of its own after IPL sector 5.
    int Restarts() const;
    // The data frame whose body is being received, if any: the running
    // number it will get among data frames, its size and the bytes in.
    struct DataProgress {
        int number = 0;
        uint32_t size = 0;
        size_t received = 0;
    };
    std::optional<DataProgress> DataInProgress() const;
    SimConfig Config() const;

    // --- Flash ------------------------------------------------------------
    std::vector<uint8_t> Flash() const;
    std::vector<uint8_t> ReadFlash(uint32_t addr, size_t len) const;
    std::vector<uint8_t> Sector(int n) const;
    void WriteFlash(uint32_t addr, const std::vector<uint8_t>& bytes);
    void FillFlash(uint8_t value);
    bool SaveFlash(const std::string& path, std::string* error) const;
    bool LoadFlash(const std::string& path, std::string* error);

    // --- Event log --------------------------------------------------------
    // The latest events, at most SimConfig::eventLogLimit of them; the
    // queries below see only these.
    std::vector<SimEvent> Events() const;
    // Events that left the log to make room since it was last cleared.
    size_t DroppedEvents() const;
    std::vector<SimEvent> Commands() const;
    std::vector<SimEvent> CommandsOf(CommandKind kind) const;
    // Sectors of the erase and data commands that took effect, in order.
    std::vector<int> ErasedSectors() const;
    std::vector<int> WrittenSectors() const;
    int CommandCount(CommandKind kind) const;
    void ClearEvents();
    // Called after each Receive with the events it logged (not under the
    // printer's lock, so it may call back into the printer).
    void SetObserver(std::function<void(const SimEvent&)> observer);

private:
    // FrameSink, called under m_mutex from Receive.
    void OnDataHeader(uint16_t word, uint32_t size) override;
    void OnData(const uint8_t* data, size_t len) override;
    void OnFrame(const Frame& frame) override;
    void OnLoose(size_t count) override;

    SimEvent NewEvent(EventType type) const;
    void Log(SimEvent e) { m_fresh.push_back(std::move(e)); }
    void LogBytes(EventType type, size_t count);
    // Moves the events of the running Receive into the log, dropping the
    // oldest beyond the limit.
    void KeepFresh(bool copy);
    // False when already in that mode.
    bool SetMode(SimMode mode);
    bool Ignored(CommandKind kind) const;
    void Execute(const Frame& frame, SimEvent& e, std::vector<uint8_t>& answer,
                 std::vector<SimEvent>& effects);
    void ExecuteData(SimEvent& e, std::vector<uint8_t>& answer,
                     std::vector<SimEvent>& effects);
    static std::vector<uint8_t> ValueAnswer(uint16_t value);

    mutable std::mutex m_mutex;
    const SimConfig m_config;
    FrameParser m_parser;
    FlashImage m_flash;
    AnswerQueue m_output;
    SimFaults m_faults;
    std::atomic<bool> m_dsrLow{false};

    SimMode m_mode = SimMode::Normal;
    LineSettings m_line;
    int m_selected = 0;
    uint16_t m_lastCrc = 0;
    int m_lastDataSector = 0;
    uint32_t m_lastDataLength = 0;
    std::vector<uint8_t> m_data;  // data of the frame being received
    bool m_inDataBody = false;
    uint32_t m_dataSize = 0;      // announced size of that frame
    bool m_lineDropped = false;
    int64_t m_deafUntilMs = 0;
    std::optional<std::string> m_pin;
    std::optional<std::string> m_name;
    size_t m_printed = 0;
    size_t m_stray = 0;
    size_t m_lost = 0;
    int m_downloadResets = 0;
    int m_restarts = 0;
    int m_overall = 0;
    std::map<CommandKind, int> m_counts;

    std::deque<SimEvent> m_events;
    size_t m_droppedEvents = 0;
    std::vector<SimEvent> m_fresh;  // logged by the running Receive
    std::function<void(const SimEvent&)> m_observer;
};

}  // namespace rtq::sim
