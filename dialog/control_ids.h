#pragma once
// Control identifiers of the main dialog. Tooltips, the enabling rules and
// the tests name controls by these numbers.

constexpr int IDOK_FLASH = 1;            // FLASH NOW, the dialog's OK command
constexpr int IDC_ABOUT = 100;
constexpr int IDC_TYPE = 1012;
constexpr int IDC_PORT = 1013;
constexpr int IDC_BAUD = 1014;
constexpr int IDC_PARITY = 1015;
constexpr int IDC_STOPBITS = 1016;
constexpr int IDC_FILE = 1017;
constexpr int IDC_DATABITS = 1018;
constexpr int IDC_DATAFLOW = 1019;
constexpr int IDC_BROWSE = 1020;
constexpr int IDC_PINCODE = 1021;
constexpr int IDC_EXIT = 1030;
constexpr int IDC_FRIENDLYNAME = 1040;
constexpr int IDC_SERIAL = 1041;
constexpr int IDC_BLUETOOTH = 1042;
constexpr int IDC_USB = 1044;

// The dialog's end code on Exit and on Cancel.
constexpr int kDialogEndCode = 1027;
