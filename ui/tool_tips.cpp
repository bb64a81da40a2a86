#include "ui/tool_tips.h"

namespace {

struct Tip {
    int id;
    const char* text;
};

constexpr Tip kTips[] = {
    {1, "Start the download process"},
    {100, "About Quillon"},
    {1012, "Choose download type"},
    {1013, "Choose the COM port number"},
    {1014, "Choose the baud rate"},
    {1015, "Choose the parity scheme to be used"},
    {1016, "Choose the number of stop bits to be used"},
    {1020, "Browse file"},
    {1021, "Enter the BlueTooth PIN code"},
    {1030, "Exit this program"},
};

}  // namespace

QString ToolTipForControl(int id) {
    if (id == 0) return QString();
    for (const Tip& t : kTips)
        if (t.id == id) return QString::fromLatin1(t.text);
    return QString();
}
