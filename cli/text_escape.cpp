#include "cli/text_escape.h"

#include <cstdio>

namespace rtq::cli {

namespace {

std::string Hex(const char* format, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The length of the valid UTF-8 sequence at text[i], 0 if there is none.
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

template <typename Control>
std::string Rewrite(std::string_view text, Control control) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += Hex("\\x%02x", static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        control(text.substr(i, length), &out);
        i += length;
    }
    return out;
}

}  // namespace

std::string EscapeText(std::string_view text) {
    return Rewrite(text, [](std::string_view ch, std::string* out) {
        const auto first = static_cast<unsigned char>(ch[0]);
        if (ch.size() == 1 && (first < 0x20 || first == 0x7F)) {
            switch (first) {
                case '\n': *out += "\\n"; break;
                case '\r': *out += "\\r"; break;
                case '\t': *out += "\\t"; break;
                default: *out += Hex("\\x%02x", first); break;
            }
        } else if (first == '\\') {
            *out += "\\\\";
        } else if (ch.size() == 2 && first == 0xC2 && static_cast<unsigned char>(ch[1]) < 0xA0) {
            // U+0080..U+009F: some terminals obey these as controls.
            *out += Hex("\\u%04x", static_cast<unsigned char>(ch[1]));
        } else {
            out->append(ch);
        }
    });
}

std::string Utf8OrEscaped(std::string_view text) {
    return Rewrite(text, [](std::string_view ch, std::string* out) {
        if (ch == "\\")
            *out += "\\\\";
        else
            out->append(ch);
    });
}

}  // namespace rtq::cli
