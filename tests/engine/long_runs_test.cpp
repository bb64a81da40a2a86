// A thousand runs in a row, on the virtual clock, against the simulated
// printer with a fault drawn at random for each (every kind the printer
// offers, on the serial and the USB link): each ends with the code its
// fault implies, and the process holds as many descriptors, threads and
// heap bytes after the last run as after the first.

#include <gtest/gtest.h>

#include <dirent.h>
#include <malloc.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/result_codes.h"
#include "tests/engine/serial_bench.h"
#include "tests/engine/usb_bench.h"

namespace {

using rtq::sim::CommandKind;
using rtq::sim::FaultRule;

constexpr int kSerialOnly = 0;

struct Fault {
    const char* name;
    std::function<FaultRule()> rule;  // none: a clean run
    int serialCode;
    int usbCode;
};

FaultRule WithDelay(CommandKind kind, int64_t ms) { return FaultRule::Delay(kind, 1, ms); }

const std::vector<Fault>& Faults() {
    static const std::vector<Fault> faults = {
        {"none", nullptr, kResultSuccess, kResultSuccess},
        {"erase refused", [] { return FaultRule::Nak(CommandKind::Erase, 1); }, kResultEraseFailed,
         kResultEraseFailed},
        {"select refused", [] { return FaultRule::Nak(CommandKind::Select, 1); },
         kResultSelectFailed, kResultSelectFailed},
        {"data refused", [] { return FaultRule::Nak(CommandKind::Data, 1); }, kResultDataTimeout,
         kResultDataTimeout},
        {"data lost", [] { return FaultRule::Silent(CommandKind::Data, 1); }, kResultDataTimeout,
         kResultDataTimeout},
        {"checksum lost", [] { return FaultRule::Silent(CommandKind::Checksum, 1); },
         kResultChecksumQueryFailed, kResultChecksumQueryFailed},
        {"checksum wrong", [] { return FaultRule::WrongChecksum(1, 0x0001); },
         kResultChecksumMismatch, kResultChecksumMismatch},
        {"recalculation refused", [] { return FaultRule::Nak(CommandKind::RecalculateCrc, 1); },
         kResultRecalculateFailed, kResultRecalculateFailed},
        {"line never answers", [] { return FaultRule::Silent(CommandKind::LineCheck, 0); },
         kResultLineBusy, kResultLineBusy},
        {"identity lost", [] { return FaultRule::Silent(CommandKind::Identity, 1); },
         kResultSwitchFailed, kResultSwitchFailed},
        {"another printer", [] { return FaultRule::WrongIdentity("Mobile Printes"); },
         kResultWrongPrinter, kResultWrongPrinter},
        {"erase answer wrong byte", [] { return FaultRule::WrongByte(CommandKind::Erase, 1); },
         kResultEraseFailed, kResultEraseFailed},
        {"checksum answer ACK only", [] { return FaultRule::AckOnly(CommandKind::Checksum, 1); },
         kResultChecksumQueryFailed, kResultChecksumQueryFailed},
        // The USB bench hands a reply over only when it is asked for, so a
        // late one is drawn on the serial link alone.
        {"select answer late", [] { return WithDelay(CommandKind::Select, 100); }, kResultSuccess,
         kSerialOnly},
        {"line gone at the data", [] { return FaultRule::DropLine(CommandKind::Data, 1); },
         kResultDataTimeout, kResultDataTimeout},
        {"DSR low from the erase", [] { return FaultRule::DsrLow(CommandKind::Erase, 1); },
         kResultEraseFailed, kResultSuccess},
    };
    return faults;
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

int Threads() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

int RunOnce(const Fault& fault, bool usb) {
    if (usb) {
        rtq::test::UsbBench b;
        if (fault.rule) b.printer.AddFault(fault.rule());
        return b.Run(b.dir.Write("m.mfw", rtq::test::MainFirmwareImage(65536)), 6, true, false);
    }
    rtq::test::SerialBench b;
    if (fault.rule) b.printer.AddFault(fault.rule());
    return b.Run({b.dir.Write("m.mfw", rtq::test::MainFirmwareImage(65536)), 6, true});
}

TEST(LongRuns, EachFaultOnEachLinkEndsWithItsCode) {
    for (const Fault& f : Faults()) {
        EXPECT_EQ(RunOnce(f, false), f.serialCode) << "serial: " << f.name;
        if (f.usbCode != kSerialOnly) {
            EXPECT_EQ(RunOnce(f, true), f.usbCode) << "USB: " << f.name;
        }
    }
}

TEST(LongRuns, AThousandRunsLeaveNothingBehind) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> pick(0, Faults().size() - 1);
    int fds1 = 0, threads1 = 0;
    size_t heap1 = 0;
    constexpr int kRuns = 1000;
    for (int run = 1; run <= kRuns; ++run) {
        const Fault& f = Faults()[pick(random)];
        const bool usb = random() % 2 == 1 && f.usbCode != kSerialOnly;
        const int code = RunOnce(f, usb);
        ASSERT_EQ(code, usb ? f.usbCode : f.serialCode)
            << "run " << run << (usb ? " USB: " : " serial: ") << f.name;
        if (run == 1) {
            fds1 = OpenDescriptors();
            threads1 = Threads();
            heap1 = HeapInUse();
        }
    }
    const int fds = OpenDescriptors();
    const int threads = Threads();
    const size_t heap = HeapInUse();
    std::printf("after run 1: %d descriptors, %d threads, %zu heap bytes\n", fds1, threads1, heap1);
    std::printf("after run %d: %d descriptors, %d threads, %zu heap bytes\n", kRuns, fds, threads,
                heap);
    EXPECT_EQ(fds, fds1);
    EXPECT_EQ(threads, threads1);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The allocator's own bookkeeping may move a little; a leak of one
    // sector's block per run would be 65 MB.
    EXPECT_LT(heap, heap1 + 64 * 1024);
#endif
}

}  // namespace
