#include "platform/last_error.h"

#include <cstring>
#include <mutex>

namespace rtq {

namespace {
std::mutex g_mutex;
std::string g_text;
}  // namespace

void SetLastErrorText(const std::string& text) {
    std::lock_guard<std::mutex> lk(g_mutex);
    g_text = text;
}

void SetLastErrorFromErrno(int err) { SetLastErrorText(std::strerror(err)); }

std::string LastErrorText() {
    std::lock_guard<std::mutex> lk(g_mutex);
    return g_text;
}

}  // namespace rtq
