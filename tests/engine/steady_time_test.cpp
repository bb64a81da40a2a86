// A time sync that steps the wall clock an hour back or forth in the middle
// of a run: the run waits exactly as long as without the step, sends the
// same bytes and ends the same way.

#include <gtest/gtest.h>

#include "engine/progress_info.h"
#include "engine/result_codes.h"
#include "platform/messages.h"
#include "tests/engine/serial_bench.h"

namespace {

using rtq::test::SerialBench;

struct Outcome {
    int result = 0;
    int64_t steadyMs = 0;
    std::vector<uint8_t> flash;
};

// A CG FONT run; `step` is applied to the wall clock as the printer is
// switched to download (while the run waits for it).
Outcome FontRun(int64_t step) {
    SerialBench b;
    const std::vector<uint8_t> image = rtq::test::FontImage(65536);
    const std::string path = b.dir.Write("f.bin", image);
    bool stepped = false;
    b.window.onSend = [&](UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
        if (msg == WM_UPDATE_PROGRESS && !stepped &&
            reinterpret_cast<const ProgressInfo*>(lParam)->m_strText ==
                "Switching printer to download...") {
            stepped = true;
            b.clock.StepWall(step);
        }
        return 1;
    };
    const int64_t start = b.clock.SteadyMs();
    Outcome o;
    o.result = b.Run({path, 20});
    o.steadyMs = b.clock.SteadyMs() - start;
    o.flash = b.printer.ReadFlash(0x100000, image.size());
    EXPECT_TRUE(stepped);
    EXPECT_EQ(o.flash, image);
    return o;
}

TEST(SteadyTime, AWallClockStepNeitherStretchesNorCutsARun) {
    const Outcome plain = FontRun(0);
    ASSERT_EQ(plain.result, kResultSuccess);
    for (int64_t step : {-3'600'000, 3'600'000}) {
        const Outcome stepped = FontRun(step);
        EXPECT_EQ(stepped.result, kResultSuccess) << step;
        EXPECT_EQ(stepped.steadyMs, plain.steadyMs) << step;
    }
}

}  // namespace
