// The model-table parser on arbitrary texts and model counts, and the
// reading of the fields the dialog and the command line make of it. The
// fields must rebuild the text they came from, and a text cut short must
// be refused rather than read past its end.

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/model_table.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rtq::fuzz::FuzzInput in(data, size);
    const int modelCount = static_cast<int>(in.Byte() % 5);
    const std::vector<uint8_t> bytes = in.Rest();
    // Exactly the bytes, with no terminator behind them, so that a read
    // past the end is caught.
    const std::string text(bytes.begin(), bytes.end());

    std::vector<std::string> fields{"stale"};
    std::vector<int> starts{7};
    const bool ok = SplitModelTable(text, modelCount, &fields, &starts);

    size_t dots = 0;
    for (char c : text) dots += c == '.';
    FUZZ_CHECK(ok == (dots >= static_cast<size_t>(modelCount)),
               "refused a complete table or accepted a cut one");
    if (!ok) return 0;

    FUZZ_CHECK(starts.size() == static_cast<size_t>(modelCount), "one start per model");
    // Every model has at least the field its "." ends.
    for (size_t m = 0; m < starts.size(); ++m)
        FUZZ_CHECK(m == 0 ? starts[0] == 0 : starts[m] > starts[m - 1],
                   "model starts out of order");
    if (!starts.empty())
        FUZZ_CHECK(static_cast<size_t>(starts.back()) < fields.size(), "last model has no field");
    // Field i ends at separator i: rebuild the text up to the last model's
    // ".", with a "." after each model's last field.
    std::string rebuilt;
    size_t model = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        rebuilt += fields[i];
        const bool lastOfModel =
            model + 1 < starts.size() ? i + 1 == static_cast<size_t>(starts[model + 1])
                                      : i + 1 == fields.size();
        rebuilt += lastOfModel ? '.' : ',';
        if (lastOfModel) ++model;
    }
    FUZZ_CHECK(text.compare(0, rebuilt.size(), rebuilt) == 0,
               "fields do not rebuild the table text");
    for (const std::string& f : fields)
        FUZZ_CHECK(f.find_first_of(",.") == std::string::npos, "separator inside a field");

    // The download types as the readers take them: name, kind letter and
    // first sector in threes after each model's name.
    for (size_t m = 0; m < starts.size(); ++m) {
        const size_t end =
            m + 1 < starts.size() ? static_cast<size_t>(starts[m + 1]) : fields.size();
        for (size_t f = static_cast<size_t>(starts[m]) + 1; f + 2 < end; f += 3) {
            const DownloadKind kind = KindFromLetter(fields[f + 1]);
            if (fields[f + 1].size() != 1)
                FUZZ_CHECK(kind == DownloadKind::None, "kind of a letter that is not one");
            (void)std::strtol(fields[f + 2].c_str(), nullptr, 10);
        }
    }
    return 0;
}
