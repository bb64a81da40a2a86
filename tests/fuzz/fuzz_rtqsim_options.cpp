// rtqsim's command-line parser, fault rules included, on
// arbitrary words. It must never throw, refuse with a one-line reason, and
// give the same answer twice.

#include "sim/rtqsim_options.h"
#include "tests/fuzz/command_words.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

bool SameRules(const std::vector<rtq::sim::FaultRule>& a, const std::vector<rtq::sim::FaultRule>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].action != b[i].action || a[i].nth != b[i].nth ||
            a[i].times != b[i].times)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> words = rtq::fuzz::CommandWords(data, size, 24);
    rtq::sim::RtqsimOptions o;
    std::string error;
    const bool ok = rtq::sim::ParseRtqsimArgs(words, &o, &error);

    if (!ok) {
        FUZZ_CHECK(!error.empty(), "a refusal without a reason");
        if (!rtq::fuzz::AnyLineBreak(words))
            FUZZ_CHECK(error.find('\n') == std::string::npos, "reason longer than one line");
    }
    for (const rtq::sim::FaultRule& rule : o.faults)
        FUZZ_CHECK(rule.nth >= 1, "a fault rule for no command");

    rtq::sim::RtqsimOptions again;
    std::string againError;
    const bool againOk = rtq::sim::ParseRtqsimArgs(words, &again, &againError);
    FUZZ_CHECK(againOk == ok && againError == error && again.link == o.link &&
                   again.usb == o.usb && again.restartMs == o.restartMs &&
                   SameRules(again.faults, o.faults),
               "the same words parsed differently");
    return 0;
}
