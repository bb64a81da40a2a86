#pragma once
// Writes the wire trace: one event per line, each event reaching the file
// with one write(2) on an O_APPEND descriptor as soon as its call has
// returned, with no buffering in between, so a trace survives a crash of
// the program up to the last call that returned.
//
// Format 1. A session (each start) begins with comment lines, then has one
// line per port call, fields separated by blanks, in fixed columns:
//
//   # rtqflash wire trace, format 1, rtqflash 4.0.0, pid 4242
//   # started 2025-06-01 10:00:00.123 UTC; time = seconds since then (monotonic)
//   #        time lnk hndl event   dur(us) res  details
//        0.000051 ser 7100 open         29 ok   "\\.\COM17"
//        0.000062 ser 7100 dcb           4 ok   baud=9600 data=8 parity=none ...
//        0.000127 ser 7100 tx           39 ok   3/3 1D 5B 7D
//        5.801873 ser 7101 rx           15 ok   1/1 06
//        8.104480 ser 7101 tx          278 ok   16384/16384 4D 42 30 31 ...
//       +000020 35 30 20 ...
//   # stopped at 14.601390 s
//
//   time     seconds.microseconds since the session started, taken when
//            the call returned; lines are in time order
//   lnk      ser (serial or Bluetooth COM port) or usb
//   hndl     the backend's handle in hex; "-" for none or a failed open
//   event    ser: open, dcb, times, purge, tx, rx, close
//            usb: find, open, id, status, tx, rx, close
//   dur(us)  microseconds the call took (start = time - dur)
//   res      ok, fail, or gone (a USB write to a device that went away)
//   details  open: "name" as given (ser) or the device path (usb);
//            find: "path" found;
//            dcb: baud= data= parity= stop= parity-check= dtr= rts=
//                 dsr-flow= cts-flow= xon-out= xon-in=;
//            times: rd-interval= rd-mult= rd-const= wr-mult= wr-const=
//                 (ms; "max" for 0xFFFFFFFF);
//            tx, rx: done/asked, then the bytes moved in hex;
//            after a failure: err="the system's text".
//
// Quoted text has '"', '%', control and non-ASCII bytes as %XX. A tx or rx
// of more than 32 bytes has the first 32 on its line and the rest on
// continuation lines "    +OFFSET XX XX ..." (hex offset, 32 bytes each)
// that carry no time, so two runs that moved the same bytes at different
// moments differ only in their event lines. A serial read that timed out
// is "rx ... ok 0/1". The USB receive thread's waits for input are not
// traced, only its reads. Starting again on the same file appends a new
// session; nothing is ever truncated.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"
#include "ports/trace_file.h"
#include "ports/trace_line.h"

namespace rtq {

class WireTraceWriter {
public:
    static WireTraceWriter& Instance();

    // Opens path for appending (creating it) as OpenTraceFile does and
    // writes the session header; a file already open is closed once the
    // new one is. False, with the reason in *error, when the file cannot
    // be opened or is refused.
    bool Open(const std::string& path, std::string* error,
              const std::vector<NotATraceFile>& others = {});
    // Writes the closing comment and closes the file.
    void Close();

    // One traced call, held under the writer's lock from construction to
    // destruction, which writes it. Inactive (every call a no-op) while no
    // file is open.
    class Event {
    public:
        Event(std::string_view link, HANDLE handle, std::string_view event,
              int64_t startUs, std::string_view result);
        ~Event();
        Event(const Event&) = delete;
        Event& operator=(const Event&) = delete;

        explicit operator bool() const { return m_writer != nullptr; }
        // The details; only while active.
        TraceLine* operator->() { return &m_line; }
        // Ends the details with err="..." from the last error text.
        void Error();

    private:
        WireTraceWriter* m_writer = nullptr;
        std::unique_lock<std::mutex> m_lock;
        TraceLine m_line;
    };

private:
    WireTraceWriter() = default;
    // Writes all of text; on an error the trace stops (the run goes on).
    void WriteLocked(const std::string& text);

    std::mutex m_mutex;
    int m_fd = -1;
    int64_t m_originUs = 0;
    std::string m_buffer;  // the event being built
    std::string m_writeError;  // why the file was given up
};

}  // namespace rtq
