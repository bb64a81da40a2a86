// Browse's checks before a file dialog opens.

#include "dialog/control_ids.h"
#include "dialog/file_filters.h"
#include "dialog/flash_dlg_core.h"

const FileFilter* CFlashDlgCore::BrowseFilter() {
    const std::string type = View().GetText(IDC_TYPE);
    if (type.empty()) {
        View().ShowBox("Please determine the download type!", IFlashDlgView::BoxIcon::Critical, {});
        return nullptr;
    }
    const FileFilter* filter = FileFilterOfType(type);
    if (!filter)
        View().ShowBox("Please select a correct download type!", IFlashDlgView::BoxIcon::Critical,
                       {});
    return filter;
}
