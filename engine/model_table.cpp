#include "engine/model_table.h"

#include <cctype>

const char kModelTable[] =
    "RTQ650,MAIN FIRMWARE,M,6,IPL FIRMWARE,I,4,CG FONT,U,20,PIN CODE,P,4,"
    "FRIENDLY NAME,F,4.";

DownloadKind KindFromLetter(const std::string& letter) {
    if (letter.size() != 1) return DownloadKind::None;
    switch (std::toupper(static_cast<unsigned char>(letter[0]))) {
        case 'M': return DownloadKind::MainFirmware;
        case 'I': return DownloadKind::IplFirmware;
        case 'U':
        case 'C': return DownloadKind::Font;
        case 'P': return DownloadKind::PinCode;
        case 'F': return DownloadKind::FriendlyName;
        default: return DownloadKind::None;
    }
}

bool SplitModelTable(const std::string& text, int modelCount,
                     std::vector<std::string>* fields,
                     std::vector<int>* modelStarts) {
    fields->clear();
    modelStarts->clear();
    size_t pos = 0;
    for (int m = 0; m < modelCount; ++m) {
        modelStarts->push_back(static_cast<int>(fields->size()));
        std::string field;
        bool ended = false;
        while (!ended) {
            if (pos >= text.size()) return false;
            const char c = text[pos++];
            if (c == ',' || c == '.') {
                fields->push_back(field);
                field.clear();
                ended = (c == '.');
            } else {
                field += c;
            }
        }
    }
    return true;
}
