#include "cli/end_signals.h"

#include <signal.h>

#include <gtest/gtest.h>

#include "cli/interrupt.h"

namespace {

// Under nohup SIGHUP stays ignored during the run; the others are taken
// and given back.
TEST(CliProgress, ASignalIgnoredAtStartStaysIgnored) {
    struct sigaction ignore {}, before {}, during {}, after {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGHUP, &ignore, &before), 0);
    {
        const rtq::cli::InterruptGuard guard;
        sigaction(SIGHUP, nullptr, &during);
        EXPECT_EQ(during.sa_handler, SIG_IGN);
        sigaction(SIGTERM, nullptr, &during);
        EXPECT_NE(during.sa_handler, SIG_DFL);
    }
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
    sigaction(SIGHUP, &before, nullptr);
}

}  // namespace
