#pragma once
// The dialogs' fixed texts and the tool tips, as plain macros: the C++
// views and the Windows resource script both read this one file.

#define RTQ_TITLE_MAIN "RTQ650 Flash Utility V4.00"
#define RTQ_TITLE_PROGRESS "RTQ650 Flash Utility - On Transmission..."
#define RTQ_TITLE_ABOUT "About RTQ650 Flash Utility"
#define RTQ_ABOUT_MAKER "Corvane"
#define RTQ_ABOUT_LINE "Firmware, fonts and Bluetooth settings for RTQ650 printers"

#define RTQ_CAUTION \
    "Caution:\nPlease do not stop the data transmission\nwhile it is flashing the product's memory, \nas it may cause serious damage to the\nproduct."

// Tip texts by control identifier; a control without a row has none.
// X(identifier, text) for each row.
#define RTQ_TOOL_TIPS(X)                                        \
    X(IDOK_FLASH, "Start the download process")                 \
    X(IDC_ABOUT, "About Quillon")                               \
    X(IDC_TYPE, "Choose download type")                         \
    X(IDC_PORT, "Choose the COM port number")                   \
    X(IDC_BAUD, "Choose the baud rate")                         \
    X(IDC_PARITY, "Choose the parity scheme to be used")        \
    X(IDC_STOPBITS, "Choose the number of stop bits to be used") \
    X(IDC_BROWSE, "Browse file")                                \
    X(IDC_PINCODE, "Enter the BlueTooth PIN code")              \
    X(IDC_EXIT, "Exit this program")
