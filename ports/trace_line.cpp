#include "ports/trace_line.h"

#include <charconv>

namespace rtq {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void PadTo(std::string& out, size_t width, bool right, std::string_view text) {
    if (right && text.size() < width) out.append(width - text.size(), ' ');
    out.append(text);
    if (!right && text.size() < width) out.append(width - text.size(), ' ');
}

std::string_view Decimal(char (&buf)[24], int64_t v) {
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string_view(buf, static_cast<size_t>(r.ptr - buf));
}

void AppendHandle(std::string& out, HANDLE h) {
    if (h == INVALID_HANDLE_VALUE) {
        out.append("-   ");
        return;
    }
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(h), 16);
    for (char* p = buf; p < r.ptr; ++p)
        if (*p >= 'a' && *p <= 'f') *p = static_cast<char>(*p - 'a' + 'A');
    PadTo(out, 4, false, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

}  // namespace

void TraceLine::AppendSeconds(std::string& out, int64_t us) {
    const bool negative = us < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us);
    char whole[24];
    const auto r = std::to_chars(whole, whole + sizeof whole, magnitude / 1'000'000);
    std::string_view w(whole, static_cast<size_t>(r.ptr - whole));
    const size_t len = w.size() + (negative ? 1 : 0);
    if (len < 6) out.append(6 - len, ' ');
    if (negative) out.push_back('-');
    out.append(w);
    out.push_back('.');
    uint64_t frac = magnitude % 1'000'000;
    char digits[6];
    for (int i = 5; i >= 0; --i, frac /= 10) digits[i] = static_cast<char>('0' + frac % 10);
    out.append(digits, 6);
}

void TraceLine::AppendDecimal(std::string& out, int64_t v) {
    char buf[24];
    out.append(Decimal(buf, v));
}

void TraceLine::Begin(int64_t timeUs, std::string_view link, HANDLE handle,
                      std::string_view event, int64_t durationUs, std::string_view result) {
    m_buf.clear();
    AppendSeconds(m_buf, timeUs);
    m_buf.push_back(' ');
    m_buf.append(link);
    m_buf.push_back(' ');
    AppendHandle(m_buf, handle);
    m_buf.push_back(' ');
    PadTo(m_buf, 6, false, event);
    m_buf.push_back(' ');
    char buf[24];
    PadTo(m_buf, 8, true, Decimal(buf, durationUs));
    m_buf.push_back(' ');
    m_buf.append(result);
    // Details line up after the widest result ("fail", "gone").
    m_detailsAt = m_buf.size() + (result.size() < 4 ? 4 - result.size() : 0);
}

void TraceLine::Separator() {
    if (m_buf.size() < m_detailsAt) m_buf.append(m_detailsAt - m_buf.size(), ' ');
    m_buf.push_back(' ');
}

void TraceLine::Word(std::string_view word) {
    Separator();
    m_buf.append(word);
}

void TraceLine::Number(std::string_view key, int64_t value) {
    Separator();
    m_buf.append(key);
    m_buf.push_back('=');
    AppendDecimal(m_buf, value);
}

void TraceLine::Pair(std::string_view key, std::string_view word) {
    Separator();
    m_buf.append(key);
    m_buf.push_back('=');
    m_buf.append(word);
}

void TraceLine::Quoted(std::string_view key, std::string_view text) {
    Separator();
    if (!key.empty()) {
        m_buf.append(key);
        m_buf.push_back('=');
    }
    m_buf.push_back('"');
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7E || c == '"' || c == '%') {
            m_buf.push_back('%');
            m_buf.push_back(kHex[b >> 4]);
            m_buf.push_back(kHex[b & 0x0F]);
        } else {
            m_buf.push_back(c);
        }
    }
    m_buf.push_back('"');
}

void TraceLine::AppendHex(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        m_buf.push_back(' ');
        m_buf.push_back(kHex[bytes[i] >> 4]);
        m_buf.push_back(kHex[bytes[i] & 0x0F]);
    }
}

void TraceLine::Transfer(size_t done, size_t asked, const uint8_t* bytes) {
    Separator();
    AppendDecimal(m_buf, static_cast<int64_t>(done));
    m_buf.push_back('/');
    AppendDecimal(m_buf, static_cast<int64_t>(asked));
    if (done == 0 || bytes == nullptr) return;
    // Room for every line at once: one allocation at most per event.
    m_buf.reserve(m_buf.size() + done * 3 + (done / kBytesPerLine + 1) * 13);
    const size_t first = done < kBytesPerLine ? done : kBytesPerLine;
    AppendHex(bytes, first);
    for (size_t offset = first; offset < done; offset += kBytesPerLine) {
        m_buf.append("\n    +");
        int top = 20;  // six hex digits, more only for runs past 16 MiB
        while (top < 60 && (offset >> (top + 4)) != 0) top += 4;
        for (int shift = top; shift >= 0; shift -= 4)
            m_buf.push_back(kHex[(offset >> shift) & 0x0F]);
        const size_t n = done - offset < kBytesPerLine ? done - offset : kBytesPerLine;
        AppendHex(bytes + offset, n);
    }
}

void TraceLine::End() { m_buf.push_back('\n'); }

}  // namespace rtq
