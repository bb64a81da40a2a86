// rtqflash.exe: the flash utility's Windows dialogs.

#include <windows.h>
#include <commctrl.h>

#include "winui/message_boxes.h"
#include "winui/resource.h"
#include "winui/run_dialog.h"
#include "winui/single_instance.h"

// The exit code is the last reported result itself (-1 when none was
// reported); command-line parameters have no effect.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    char title[256] = {};
    LoadStringA(instance, IDS_MAIN_TITLE, title, sizeof title);
    if (!AcquireSingleInstance(ApplicationName(), title)) return -1;

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                                          ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    return RunFlashDialog(instance);
}
