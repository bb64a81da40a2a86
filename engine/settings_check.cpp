#include "engine/settings_check.h"

#include <cctype>

#include "engine/data_file.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"

namespace {

std::string Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

template <size_t N>
int IndexOf(const std::string& text, const char* const (&list)[N]) {
    for (size_t i = 0; i < N; ++i)
        if (text == list[i]) return static_cast<int>(i);
    return -1;
}

constexpr const char* kParities[] = {"NONE", "ODD", "EVEN"};
constexpr const char* kBaudRates[] = {"115200", "57600", "38400", "19200",
                                      "9600",   "4800",  "2400",  "1200"};
constexpr const char* kStopBits[] = {"1", "2"};

}  // namespace

int CheckParity(const std::string& text, std::string* parity) {
    const std::string upper = Upper(text);
    if (IndexOf(upper, kParities) < 0) return kResultBadParity;
    if (parity) *parity = upper;
    return kResultSuccess;
}

int CheckBaudRate(const std::string& text, int32_t* baud) {
    if (IndexOf(text, kBaudRates) < 0) return kResultBadBaud;
    if (baud) *baud = std::stoi(text);
    return kResultSuccess;
}

int CheckStopBits(const std::string& text, int32_t* stopBits) {
    if (IndexOf(text, kStopBits) < 0) return kResultBadStopBits;
    if (stopBits) *stopBits = text[0] - '0';
    return kResultSuccess;
}

int CheckFriendlyNameChars(const std::string& name) {
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) return kResultBadFriendlyName;
    }
    return kResultSuccess;
}

int CheckPinCodeChars(const std::string& pin) {
    for (char c : pin)
        if (static_cast<unsigned char>(c) >= 0x80) return kResultBadPinCode;
    return kResultSuccess;
}

int CheckFileExtension(const std::string& fileName, DownloadKind kind) {
    const char* required = RequiredExtension(kind);
    if (!required) {
        rtq::SetLastErrorText("This download type writes no data file.");
        return kResultBadDataFile;
    }
    const std::string upper = Upper(fileName);
    const size_t dot = upper.find('.');
    const std::string after = dot == std::string::npos ? std::string() : upper.substr(dot + 1);
    if ((after.size() != 3 && after.size() != 4) || after.compare(0, 3, required) != 0) {
        rtq::SetLastErrorText(std::string("The data file's name must end in .") + required +
                              "; pick the file with Browse.");
        return kResultBadDataFile;
    }
    return kResultSuccess;
}
