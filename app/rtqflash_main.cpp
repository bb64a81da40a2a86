// rtqflash: the flash utility.

#include <QApplication>

#include "app/flash_app.h"
#include "app/runtime_folder.h"

int main(int argc, char** argv) {
    (void)argc;
    rtq::EnsureRuntimeFolder();
    // No command-line parameter has any effect, not even the toolkit's own
    // options: the toolkit sees the program name alone.
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    CFlashApp theApp;
    theApp.InitInstance();
    return theApp.ExitInstance();
}
