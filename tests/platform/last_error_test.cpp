// Each thread keeps its own cause: two threads failing at once each find
// their own, and the text comes from a call that is safe on any thread.

#include <gtest/gtest.h>

#include <barrier>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "platform/last_error.h"

namespace rtq {
namespace {

TEST(LastError, TwoThreadsFailingAtOnceEachKeepTheirOwnCause) {
    constexpr int kRounds = 2000;
    std::barrier both(2);
    std::vector<std::string> mixed[2];
    auto fail = [&](int id, int err, const std::string& path) {
        const std::string text = ErrnoText(err);
        for (int i = 0; i < kRounds; ++i) {
            SetLastErrorFromErrno(err, path);
            both.arrive_and_wait();  // both have stored theirs
            const LastError e = LastErrorDetails();
            if (e.number != err || e.path != path || e.text != text || LastErrorText() != text)
                mixed[id].push_back(e.path + ": " + e.text);
            both.arrive_and_wait();
        }
    };
    SetLastErrorText("the test's own");
    std::thread a(fail, 0, EBUSY, "/dev/ttyUSB0");
    std::thread b(fail, 1, ENODEV, "/dev/usb/lp0");
    a.join();
    b.join();
    EXPECT_TRUE(mixed[0].empty()) << mixed[0].front();
    EXPECT_TRUE(mixed[1].empty()) << mixed[1].front();
    EXPECT_EQ(LastErrorText(), "the test's own");
    EXPECT_EQ(LastErrorDetails().number, 0);
}

TEST(LastError, TextIsTheSystemsAndUnknownNumbersStillSaySomething) {
    EXPECT_EQ(ErrnoText(ENOENT), "No such file or directory");
    EXPECT_EQ(ErrnoText(EACCES), "Permission denied");
    EXPECT_FALSE(ErrnoText(99999).empty());
}

}  // namespace
}  // namespace rtq
