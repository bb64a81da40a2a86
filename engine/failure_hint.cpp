#include "engine/failure_hint.h"

#include <cerrno>

#include "engine/port_advice.h"
#include "platform/error_numbers.h"
#include "engine/result_codes.h"
#include "ports/bluetooth_address.h"

namespace {

std::string Subject(const rtq::LastError& e) {
    return e.path.empty() ? std::string() : e.path + ": ";
}

std::string SerialPortHint(const rtq::LastError& e) {
    const std::string what = Subject(e) + e.text + ".";
    switch (e.number) {
        case EACCES:
        case EPERM:
            return what + PortAccessAdvice();
        case EBUSY:
            return what + " Another program has the port open: close it and try again.";
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return what + MissingPortAdvice();
        default:
            return what;
    }
}

// A printer named by its Bluetooth address, or a reason no tty gives.
bool BluetoothCause(const rtq::LastError& e) {
    switch (e.number) {
        case rtq::kErrnoNoKey:
        case rtq::kErrnoHostDown:
        case EHOSTUNREACH:
        case ECONNREFUSED:
        case ENETDOWN:
        case EAFNOSUPPORT:
        case EPROTONOSUPPORT:
            return true;
        default:
            return rtq::IsBluetoothTarget(e.path);
    }
}

// A Bluetooth printer that could not be connected, or found among the
// paired ones.
std::string BluetoothHint(const rtq::LastError& e) {
    const std::string what = Subject(e) + e.text + ".";
    switch (e.number) {
        case EAFNOSUPPORT:
        case ENETDOWN:
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENODEV:
        case EADDRNOTAVAIL:
            return what + " Bluetooth is off or this computer has no Bluetooth adapter: switch "
                          "Bluetooth on in the desktop's settings and try again.";
        case rtq::kErrnoHostDown:
        case ETIMEDOUT:
            return what + " The printer is paired but out of reach or switched off: switch it "
                          "on, bring it closer and try again.";
        case ECONNREFUSED:
        case EPROTONOSUPPORT:
            return what + " The printer offers no serial port service there: check "
                          "that it is one of the supported printers, switch it off and on, "
                          "and try again.";
        case EACCES:
        case EPERM:
            return what + " The printer requires a secure pairing: pair it in the desktop's "
                          "Bluetooth settings (remove and pair it again if it was paired "
                          "before), then try again.";
        case EBUSY:
        case EISCONN:
            return what + " Another program is connected to the printer: close it and try "
                          "again.";
        case rtq::kErrnoNoKey:  // no link key: the printer is not paired
            return what + " Pair the printer in the desktop's Bluetooth settings, then try "
                          "again; rtqflash-cli list shows the paired printers.";
        default:
            return what;
    }
}

std::string UsbHint(const rtq::LastError& e) {
    if (e.path.empty() && (e.number == ENODEV || e.number == ENOENT))
        return "No printer with a known USB id (5e1a:b00c, 6d31:2207, 7c44:2207) is "
               "attached: plug the printer in and switch it on.";
    const std::string what = Subject(e) + e.text + ".";
    switch (e.number) {
        case EACCES:
        case EPERM:
            return what + UsbAccessAdvice();
        case EBUSY:
            return what + " The printer is attached but another program has it open: "
                          "close it and try again.";
        case ENODEV:
        case ENOENT:
        case ENXIO:
            return what + " The printer went away: check the cable and that it is on.";
        default:
            return what;
    }
}

std::string DataFileHint(const rtq::LastError& e) {
    const std::string what = Subject(e) + e.text + ".";
    switch (e.number) {
        case ENOENT:
            return what + " Pick the file again with Browse.";
        case EACCES:
        case EPERM:
            return what + " This user may not read the file.";
        case EISDIR:
        case EINVAL:
            return Subject(e) + "not a regular file. Pick a data file.";
        default:
            return what;
    }
}

// A failure of the link once the run had the port: the printer's own
// refusal (a NAK) leaves no error number; the system's reason that the
// line is gone does.
bool LinkFailureCode(int code) {
    switch (code) {
        case kResultEraseFailed:
        case kResultSelectFailed:
        case kResultDataTimeout:
        case kResultChecksumQueryFailed:
        case kResultRecalculateFailed:
        case kResultLineBusy:
        case kResultSwitchFailed:
        case kResultResetFailed:
            return true;
        default:
            return false;
    }
}

std::string LinkGoneHint(const rtq::LastError& e) {
    switch (e.number) {
        case EIO:
        case ENXIO:
        case ENODEV:
        // A Bluetooth printer's link: reset or closed by the printer, or
        // lost by the radio.
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ENOTCONN:
        case rtq::kErrnoHostDown:
        case ETIMEDOUT:
            return Subject(e) + e.text +
                   ". The adapter or printer went away during the run (unplugged, switched "
                   "off or out of reach): check the cable and that the printer is on, then "
                   "run the download again.";
        default:
            return std::string();
    }
}

}  // namespace

std::string FailureHint(int code, const rtq::LastError& error) {
    // The file rules leave the rule that was broken, with no error number.
    if (code == kResultBadDataFile) return error.number == 0 ? error.text : std::string();
    // A cause the engine found in the data file itself, such as a change
    // during the run, names the file but has no error number.
    if (code == kResultFileOpenFailed && error.number == 0)
        return error.path.empty() || error.text.empty() ? std::string()
                                                        : Subject(error) + error.text + ".";
    // So does a USB printer named on the command line that is not attached
    // or cannot be told apart from another.
    if (code == kResultUsbOpenFailed && error.number == 0)
        return error.path.empty() || error.text.empty()
                   ? std::string()
                   : Subject(error) + error.text + ". rtqflash-cli list shows the attached "
                                                   "printers and their serial numbers.";
    if (error.number == 0) return std::string();
    switch (code) {
        case kResultPortOpenFailed:
            return BluetoothCause(error) ? BluetoothHint(error) : SerialPortHint(error);
        case kResultUsbOpenFailed:
        case kResultUsbDeviceIdFailed:
        case kResultUsbStatusFailed:
            return UsbHint(error);
        case kResultFileOpenFailed:
            // Only a failed open names its file; other errors are not its cause.
            return error.path.empty() ? std::string() : DataFileHint(error);
        default:
            return LinkFailureCode(code) ? LinkGoneHint(error) : std::string();
    }
}

std::string FailureHint(int code) { return FailureHint(code, rtq::LastErrorDetails()); }
