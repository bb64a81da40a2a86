#pragma once
// Resource identifiers of the Windows front end, read by the resource
// script and the C++ code alike. The main dialog's control identifiers come
// from dialog/control_ids.h (as #defines made from it at build time).

#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_PROGRESS 134
#define IDB_ABOUT 166
#define IDI_MAIN 171

// String 103: the main dialog's title, which a second copy looks for.
#define IDS_MAIN_TITLE 103

// The progress dialog's controls.
#define IDC_PROGRESS_BAR 1021
#define IDC_PROGRESS_STATUS 1022
#define IDC_PROGRESS_CANCEL 1046
