#include "platform/last_error.h"

#include <cstring>
#include <mutex>

namespace rtq {

namespace {
std::mutex g_mutex;
LastError g_last;
}  // namespace

void SetLastErrorText(const std::string& text) {
    std::lock_guard<std::mutex> lk(g_mutex);
    g_last = LastError{text, 0, {}};
}

void SetLastError(const LastError& error) {
    std::lock_guard<std::mutex> lk(g_mutex);
    g_last = error;
}

void SetLastErrorFromErrno(int err, const std::string& path) {
    LastError e{std::strerror(err), err, path};
    std::lock_guard<std::mutex> lk(g_mutex);
    g_last = std::move(e);
}

std::string LastErrorText() {
    std::lock_guard<std::mutex> lk(g_mutex);
    return g_last.text;
}

LastError LastErrorDetails() {
    std::lock_guard<std::mutex> lk(g_mutex);
    return g_last;
}

}  // namespace rtq
