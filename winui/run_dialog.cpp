#include "winui/run_dialog.h"

#include "winui/flash_dlg.h"

namespace {

constexpr int kResultDataFileError = 1024;

}  // namespace

int RunFlashDialog(void* instance) {
    CFlashDlg dlg(instance);
    if (dlg.ParseModelTable() != 0 || dlg.SelectModel() == 0) {
        // No window yet: the box has no owner; nothing counts as reported.
        dlg.ReportResult(kResultDataFileError);
        return -1;
    }
    dlg.DoModal();  // the end code (1027) is not used
    return dlg.LastResult();
}
