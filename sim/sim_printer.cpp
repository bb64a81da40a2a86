#include "sim/sim_printer.h"

#include <algorithm>

#include "platform/clock.h"
#include "sim/sim_crc.h"

namespace rtq::sim {

SimPrinter::SimPrinter(SimConfig config)
    : m_config(std::move(config)), m_parser(*this), m_flash(m_config.fill) {}

// --- Byte stream ------------------------------------------------------------

void SimPrinter::Receive(const uint8_t* data, size_t len) {
    std::vector<SimEvent> fresh;
    std::function<void(const SimEvent&)> observer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fresh.clear();
        while (len > 0) {
            if (m_lineDropped || rtq::SteadyMs() < m_deafUntilMs) {
                m_lost += len;
                LogBytes(EventType::Lost, len);
                break;
            }
            const size_t n = m_parser.Feed(data, len);
            data += n;
            len -= n;
        }
        observer = m_observer;
        KeepFresh(observer != nullptr);
        if (observer) fresh.swap(m_fresh);
        m_fresh.clear();
        // A burst of many events must not keep its room for good.
        if (m_fresh.capacity() > m_config.eventLogLimit) std::vector<SimEvent>().swap(m_fresh);
    }
    for (const SimEvent& e : fresh) observer(e);
}

void SimPrinter::KeepFresh(bool copy) {
    const size_t limit = m_config.eventLogLimit;
    const size_t skipped = m_fresh.size() > limit ? m_fresh.size() - limit : 0;
    m_droppedEvents += skipped;
    for (size_t i = skipped; i < m_fresh.size(); ++i) {
        if (copy)
            m_events.push_back(m_fresh[i]);
        else
            m_events.push_back(std::move(m_fresh[i]));
    }
    while (m_events.size() > limit) {
        m_events.pop_front();
        ++m_droppedEvents;
    }
}

size_t SimPrinter::OutputAvailable() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output.Available(rtq::SteadyMs());
}

size_t SimPrinter::TakeOutput(uint8_t* buf, size_t max) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output.Take(buf, max, rtq::SteadyMs());
}

std::vector<uint8_t> SimPrinter::TakeOutput() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int64_t now = rtq::SteadyMs();
    std::vector<uint8_t> out(m_output.Available(now));
    out.resize(m_output.Take(out.data(), out.size(), now));
    return out;
}

std::optional<int64_t> SimPrinter::NextReleaseMs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output.NextRelease(rtq::SteadyMs());
}

size_t SimPrinter::PendingOutput() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output.Pending();
}

void SimPrinter::PurgeOutput() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_output.DropReleased(rtq::SteadyMs());
}

void SimPrinter::SetLine(const LineSettings& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_line = line;
}

LineSettings SimPrinter::Line() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_line;
}

// --- Frames -----------------------------------------------------------------

SimEvent SimPrinter::NewEvent(EventType type) const {
    SimEvent e;
    e.type = type;
    e.atMs = rtq::SteadyMs();
    e.mode = m_mode;
    e.line = m_line;
    return e;
}

void SimPrinter::LogBytes(EventType type, size_t count) {
    // Runs of bytes within one Receive call make one entry.
    if (!m_fresh.empty() && m_fresh.back().type == type) {
        m_fresh.back().count += count;
        return;
    }
    SimEvent e = NewEvent(type);
    e.count = count;
    Log(std::move(e));
}

void SimPrinter::OnLoose(size_t count) {
    if (m_mode == SimMode::Normal) {
        m_printed += count;
        LogBytes(EventType::Printed, count);
    } else {
        m_stray += count;
        LogBytes(EventType::Stray, count);
    }
}

void SimPrinter::OnDataHeader(uint16_t, uint32_t size) {
    m_data.clear();
    m_data.reserve(size);
    m_inDataBody = true;
    m_dataSize = size;
}

void SimPrinter::OnData(const uint8_t* data, size_t len) {
    m_data.insert(m_data.end(), data, data + len);
}

bool SimPrinter::SetMode(SimMode mode) {
    if (mode == m_mode) return false;
    m_mode = mode;
    m_selected = 0;
    return true;
}

bool SimPrinter::Ignored(CommandKind kind) const {
    switch (kind) {
        case CommandKind::Reset:
            return false;
        case CommandKind::Switch:
        case CommandKind::PinCode:
        case CommandKind::FriendlyName:
            return m_mode != SimMode::Normal;
        case CommandKind::Unknown:
        case CommandKind::Any:
            return true;
        default:
            return m_mode != SimMode::Download;
    }
}

std::vector<uint8_t> SimPrinter::ValueAnswer(uint16_t value) {
    return {kAck, static_cast<uint8_t>(value & 0xFF),
            static_cast<uint8_t>(value >> 8)};
}

void SimPrinter::OnFrame(const Frame& frame) {
    const CommandKind kind = frame.kind;
    const int number = ++m_counts[kind];
    ++m_overall;

    SimEvent e = NewEvent(EventType::Command);
    e.kind = kind;
    e.number = number;
    e.ignored = Ignored(kind);
    e.sector = frame.sector;
    e.word = frame.word;
    e.size = frame.size;
    e.text = frame.text;
    e.raw = frame.raw;
    if (kind == CommandKind::Data) {
        m_inDataBody = false;
        e.crc = SimCrc16::Of(m_data.data(), m_data.size());
        if (m_mode == SimMode::Download) e.sector = m_selected;
    }

    const std::vector<FaultRule> rules = m_faults.Match(kind, number, m_overall);
    bool lost = false;
    bool nak = false;
    bool dropLine = false;
    int64_t delay = m_config.answerDelayMs;
    for (const FaultRule& r : rules) {
        e.faults.push_back(r.action);
        switch (r.action) {
            case FaultAction::Silent: lost = true; break;
            case FaultAction::DropLine: lost = dropLine = true; break;
            case FaultAction::Nak: nak = true; break;
            case FaultAction::Delay: delay += r.delayMs; break;
            // DSR follows the printer's state, not whether the command
            // made sense to it.
            case FaultAction::DsrLow: m_dsrLow = true; break;
            default: break;
        }
    }

    std::vector<uint8_t> answer;
    std::vector<SimEvent> effects;  // logged after the command itself
    if (e.ignored || lost) {
        // No effect and no answer.
    } else if (nak) {
        // Refused: no effect; only download-mode commands answer.
        if (m_mode == SimMode::Download && kind != CommandKind::Reset)
            answer = {kNak};
    } else {
        Execute(frame, e, answer, effects);
        for (const FaultRule& r : rules) {
            switch (r.action) {
                case FaultAction::WrongChecksum:
                    if ((kind == CommandKind::Checksum ||
                         kind == CommandKind::RecalculateCrc) &&
                        answer.size() == 3 && answer[0] == kAck)
                        answer = ValueAnswer(e.value ^ r.checksumXor);
                    break;
                case FaultAction::WrongIdentity:
                    if (kind == CommandKind::Identity && !answer.empty() &&
                        answer[0] == kAck) {
                        answer.assign(1, kAck);
                        answer.insert(answer.end(), r.identity.begin(),
                                      r.identity.end());
                    }
                    break;
                case FaultAction::WrongByte:
                    if (!answer.empty()) answer.assign(1, r.wrongByte);
                    break;
                case FaultAction::AckOnly:
                    if (answer.size() > 1) answer.resize(1);
                    break;
                default:
                    break;
            }
        }
    }

    e.answer = answer;
    e.releaseMs = e.atMs + delay;
    m_output.Push(answer, e.releaseMs);
    if (kind == CommandKind::Data) {
        m_data.clear();
        m_data.shrink_to_fit();
    }

    Log(std::move(e));
    for (SimEvent& effect : effects) Log(std::move(effect));
    if (dropLine) {
        m_lineDropped = true;
        Log(NewEvent(EventType::LineDropped));
    }
}

void SimPrinter::Execute(const Frame& frame, SimEvent& e,
                         std::vector<uint8_t>& answer,
                         std::vector<SimEvent>& effects) {
    switch (frame.kind) {
        case CommandKind::Switch:
            if (SetMode(SimMode::Download))
                effects.push_back(NewEvent(EventType::ModeChange));
            break;
        case CommandKind::Reset:
            ++m_restarts;
            if (m_mode == SimMode::Download) ++m_downloadResets;
            if (SetMode(SimMode::Normal))
                effects.push_back(NewEvent(EventType::ModeChange));
            break;
        case CommandKind::PinCode:
            m_pin = frame.text;
            break;
        case CommandKind::FriendlyName:
            m_name = frame.text;
            break;
        case CommandKind::LineCheck:
            answer = {kAck, m_config.lineStatus};
            break;
        case CommandKind::Identity:
            answer.assign(1, kAck);
            answer.insert(answer.end(), m_config.identity.begin(),
                          m_config.identity.end());
            break;
        case CommandKind::Erase:
            if (FlashImage::ValidSector(frame.sector)) {
                m_flash.Erase(frame.sector);
                answer = {kAck};
            } else {
                e.refused = true;
                answer = {kNak};
            }
            break;
        case CommandKind::Select:
            if (FlashImage::ValidSector(frame.sector)) {
                m_selected = frame.sector;
                answer = {kAck};
            } else {
                m_selected = 0;
                e.refused = true;
                answer = {kNak};
            }
            break;
        case CommandKind::Data:
            ExecuteData(e, answer, effects);
            break;
        case CommandKind::Checksum:
            if (m_config.checksumFromFlash) {
                const std::vector<uint8_t> bytes = m_flash.Read(
                    FlashImage::SectorAddress(m_lastDataSector),
                    m_lastDataSector ? m_lastDataLength : 0);
                e.value = SimCrc16::Of(bytes.data(), bytes.size());
            } else {
                e.value = m_lastCrc;
            }
            answer = ValueAnswer(e.value);
            break;
        case CommandKind::RecalculateCrc:
            e.value = SimCrc16::Of(
                m_flash.Bytes().data() + FlashImage::kMainAreaBegin,
                FlashImage::kMainAreaEnd - FlashImage::kMainAreaBegin);
            answer = ValueAnswer(e.value);
            break;
        case CommandKind::Unknown:
        case CommandKind::Any:
            break;
    }
}

void SimPrinter::ExecuteData(SimEvent& e, std::vector<uint8_t>& answer,
                             std::vector<SimEvent>& effects) {
    m_lastCrc = e.crc;
    m_lastDataSector = 0;
    m_lastDataLength = 0;
    const int sector = m_selected;
    if (!FlashImage::ValidSector(sector)) {
        e.refused = true;
        answer = {kNak};
        return;
    }
    const size_t programmed = m_flash.Program(
        sector, 0, m_data.data(), m_data.size(), m_config.andProgramming);
    m_lastDataSector = sector;
    m_lastDataLength = static_cast<uint32_t>(programmed);
    if (programmed < m_data.size()) {
        // More data than the sector holds: what fits is written, the rest
        // is lost and the printer says so.
        e.refused = true;
        answer = {kNak};
        return;
    }
    answer = {kAck};
    if (sector == 5 && m_config.iplRestartMs > 0) {
        m_deafUntilMs = e.atMs + m_config.iplRestartMs;
        m_selected = 0;
        ++m_restarts;
        effects.push_back(NewEvent(EventType::Restart));
    }
}

// --- Faults -----------------------------------------------------------------

void SimPrinter::AddFault(const FaultRule& rule) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.Add(rule);
}

void SimPrinter::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.Clear();
}

bool SimPrinter::LineDropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lineDropped;
}

void SimPrinter::RestoreLine() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lineDropped = false;
}

// --- State ------------------------------------------------------------------

SimMode SimPrinter::Mode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mode;
}

int SimPrinter::SelectedSector() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_selected;
}

std::optional<std::string> SimPrinter::PinCode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pin;
}

std::optional<std::string> SimPrinter::FriendlyName() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_name;
}

size_t SimPrinter::PrintedBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_printed;
}

size_t SimPrinter::StrayBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stray;
}

size_t SimPrinter::LostBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lost;
}

int SimPrinter::DownloadResets() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_downloadResets;
}

int SimPrinter::Restarts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_restarts;
}

std::optional<SimPrinter::DataProgress> SimPrinter::DataInProgress() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_inDataBody) return std::nullopt;
    const auto it = m_counts.find(CommandKind::Data);
    DataProgress p;
    p.number = (it == m_counts.end() ? 0 : it->second) + 1;
    p.size = m_dataSize;
    p.received = m_data.size();
    return p;
}

SimConfig SimPrinter::Config() const { return m_config; }

// --- Flash ------------------------------------------------------------------

std::vector<uint8_t> SimPrinter::Flash() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_flash.Bytes();
}

std::vector<uint8_t> SimPrinter::ReadFlash(uint32_t addr, size_t len) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_flash.Read(addr, len);
}

std::vector<uint8_t> SimPrinter::Sector(int n) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!FlashImage::ValidSector(n)) return {};
    return m_flash.Read(FlashImage::SectorAddress(n), FlashImage::SectorSize(n));
}

void SimPrinter::WriteFlash(uint32_t addr, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flash.Write(addr, bytes.data(), bytes.size());
}

void SimPrinter::FillFlash(uint8_t value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flash.Fill(value);
}

bool SimPrinter::SaveFlash(const std::string& path, std::string* error) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_flash.SaveTo(path, error);
}

bool SimPrinter::LoadFlash(const std::string& path, std::string* error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_flash.LoadFrom(path, error);
}

// --- Event log --------------------------------------------------------------

std::vector<SimEvent> SimPrinter::Events() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<SimEvent>(m_events.begin(), m_events.end());
}

size_t SimPrinter::DroppedEvents() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_droppedEvents;
}

std::vector<SimEvent> SimPrinter::Commands() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<SimEvent> out;
    for (const SimEvent& e : m_events)
        if (e.type == EventType::Command) out.push_back(e);
    return out;
}

std::vector<SimEvent> SimPrinter::CommandsOf(CommandKind kind) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<SimEvent> out;
    for (const SimEvent& e : m_events)
        if (e.type == EventType::Command && e.kind == kind) out.push_back(e);
    return out;
}

std::vector<int> SimPrinter::ErasedSectors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<int> out;
    for (const SimEvent& e : m_events)
        if (e.kind == CommandKind::Erase && e.Executed()) out.push_back(e.sector);
    return out;
}

std::vector<int> SimPrinter::WrittenSectors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<int> out;
    for (const SimEvent& e : m_events)
        if (e.kind == CommandKind::Data && e.Executed()) out.push_back(e.sector);
    return out;
}

int SimPrinter::CommandCount(CommandKind kind) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_counts.find(kind);
    return it == m_counts.end() ? 0 : it->second;
}

void SimPrinter::ClearEvents() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.clear();
    m_droppedEvents = 0;
}

void SimPrinter::SetObserver(std::function<void(const SimEvent&)> observer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observer = std::move(observer);
}

}  // namespace rtq::sim
