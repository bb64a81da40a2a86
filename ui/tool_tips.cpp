#include "ui/tool_tips.h"

#include "dialog/control_ids.h"
#include "dialog/dialog_texts.h"

namespace {

struct Tip {
    int id;
    const char* text;
};

#define RTQ_TIP_ROW(id, text) {id, text},
constexpr Tip kTips[] = {RTQ_TOOL_TIPS(RTQ_TIP_ROW)};
#undef RTQ_TIP_ROW

}  // namespace

QString ToolTipForControl(int id) {
    if (id == 0) return QString();
    for (const Tip& t : kTips)
        if (t.id == id) return QString::fromLatin1(t.text);
    return QString();
}
