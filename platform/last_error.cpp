#include "platform/last_error.h"

#include <cstring>
#include <string>

namespace rtq {

namespace {

thread_local LastError t_last;

// strerror keeps its text in one buffer for the whole process; the
// re-entrant calls write into the caller's. The C libraries offer one of
// three: GNU strerror_r returns the text (possibly not in buf), XSI
// strerror_r and strerror_s fill buf and return 0.
// Only the flavour this C library has is used; the other is unused here.
[[maybe_unused]] std::string FromReentrant(const char* text, const char*) {
    return text ? text : "";
}
[[maybe_unused]] std::string FromReentrant(int rc, const char* buf) { return rc == 0 ? buf : ""; }

// Whichever the C library declares: the calls depend on T, so a missing
// one drops its overload instead of failing the build.
template <class T>
auto Reentrant(T err, char* buf, size_t len, int) -> decltype(strerror_r(err, buf, len),
                                                               std::string()) {
    return FromReentrant(strerror_r(err, buf, len), buf);
}
template <class T>
auto Reentrant(T err, char* buf, size_t len, long) -> decltype(strerror_s(buf, len, err),
                                                                std::string()) {
    return FromReentrant(strerror_s(buf, len, err), buf);
}

}  // namespace

std::string ErrnoText(int err) {
    char buf[256] = {};
    std::string text = Reentrant(err, buf, sizeof buf, 0);
    return text.empty() ? "Unknown error " + std::to_string(err) : text;
}

void SetLastErrorText(const std::string& text) { t_last = LastError{text, 0, {}}; }

void SetLastError(const LastError& error) { t_last = error; }

void SetLastErrorFromErrno(int err, const std::string& path) {
    t_last = LastError{ErrnoText(err), err, path};
}

std::string LastErrorText() { return t_last.text; }

LastError LastErrorDetails() { return t_last; }

}  // namespace rtq
