#pragma once
// Builds one event of the wire trace in a caller's buffer: the fixed
// columns, then details appended in the order the caller gives them. Only
// integer and byte formatting of its own (no locale, no streams), so the
// cost depends on the length of the line alone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace rtq {

class TraceLine {
public:
    // Bytes shown on one line; longer runs go on continuation lines.
    static constexpr size_t kBytesPerLine = 32;

    explicit TraceLine(std::string& buffer) : m_buf(buffer) {}

    // The fixed columns: time, link, handle, event, duration, result.
    // Clears the buffer first.
    void Begin(int64_t timeUs, std::string_view link, HANDLE handle,
               std::string_view event, int64_t durationUs, std::string_view result);
    // " word"
    void Word(std::string_view word);
    // " key=value"
    void Number(std::string_view key, int64_t value);
    // " key=word"
    void Pair(std::string_view key, std::string_view word);
    // " key="text"" (" "text"" for an empty key), with '"', '%', controls
    // and non-ASCII bytes as %XX.
    void Quoted(std::string_view key, std::string_view text);
    // " done/asked" then the bytes in hex: the first kBytesPerLine on this
    // line, the rest on continuation lines "    +OFFSET XX XX ...".
    void Transfer(size_t done, size_t asked, const uint8_t* bytes);
    // Ends the event with a newline.
    void End();

    // Appends v in decimal.
    static void AppendDecimal(std::string& out, int64_t v);
    // Appends us as seconds with six decimals, the whole seconds
    // right-aligned in six places.
    static void AppendSeconds(std::string& out, int64_t us);

private:
    void Separator();
    void AppendHex(const uint8_t* bytes, size_t n);

    std::string& m_buf;
    size_t m_detailsAt = 0;  // where the first detail goes
};

}  // namespace rtq
