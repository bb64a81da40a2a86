#include "engine/result_codes.h"

namespace {

struct Row {
    int code;
    const char* text;
};

constexpr Row kRows[] = {
    {1, "Download successfully completed!"},
    {1001, "Cannot erase a sector!"},
    {1002, "Cannot select a sector!"},
    {1003, "Timeout while sending data block!"},
    {1004, "Cannot acknowledge printer!"},
    {1005, "Different CRC detected!"},
    {1006, "Cannot recalculate CRC!"},
    {1007, "Unable to open file!"},
    {1008, "Insufficient memory for data buffer!"},
    {1009, "Communication interface busy!"},
    {1010, "Cannot switch printer to flash download mode!"},
    {1011, "Cannot reset printer!"},
    {1012, "Unrecognized download type set!"},
    {1013, "Illegal COM port set!"},
    {1014, "Illegal parity set!"},
    {1015, "Illegal baud rate set!"},
    {1016, "Illegal stop bit set!"},
    {1017, "Unable to get serial port handle!"},
    {1018, "Unable to set serial port properties!"},
    {1019, "Too few / many command line parameters!"},
    {1020, "Invalid binary data file!"},
    {1021, "/? detected!"},
    {1022, "Unable to update window text!"},
    {1023, "Unable to show progress bar!"},
    {1024, "Data file error!"},
    {1025, "Insufficient memory!"},
    {1026, "Unrecognized product model set!"},
    {1027, "Application was terminated by Cancel button!"},
    {1028, "Unable to get printer actual baud rate!"},
    {1029, "Mismatch between download type and file selected!"},
    {1030, "Unable to get printer model number!"},
    {1033, "Invalid parallel port selection !"},
    {1034, "Unable to set parallel port!"},
    {1035, "Could not set ECP mode!"},
    {1036, "Illegal communication port set!"},
    {1037, "Could not set to compatible mode!"},
    {1038, "Unable to open USB Port!"},
    {1040, "Unable to open USB Port!"},
    {1041, "This printer is not RTQ5V!"},
    {1042, "This file is not for RTQ5V!"},
    {1043, "Illegal characters in Friendly Name :  "},
    {1044, "Illegal characters in Pin Code :  "},
};

}  // namespace

const char* ResultMessage(int code) {
    for (const Row& r : kRows)
        if (r.code == code) return r.text;
    return nullptr;
}

std::string ResultText(int code, const std::string& lastErrorText,
                       const std::string& friendlyName,
                       const std::string& pinCode, bool* shown) {
    *shown = true;
    if (code == 1039) return lastErrorText;
    const char* fixed = ResultMessage(code);
    if (!fixed) {
        *shown = false;
        return std::string();
    }
    std::string text = fixed;
    if (code == 1043) {
        for (char c : friendlyName) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (u < 0x20 || u > 0x7E) text += c;
        }
    } else if (code == 1044) {
        for (char c : pinCode)
            if (static_cast<unsigned char>(c) >= 0x80) text += c;
    }
    return text;
}

int ExitStatusForResult(int code) {
    if (code == kResultSuccess) return 0;
    if (code >= 1001 && code <= 1254) return code - 1000;
    return 255;
}
