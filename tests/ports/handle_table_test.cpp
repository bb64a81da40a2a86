// The handle table every port backend keeps: handles unique across all
// tables of the process and never reissued, and a port that outlives its
// Close while a call still holds it.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "ports/handle_table.h"

namespace rtq {
namespace {

struct SerialLike {
    int calls = 0;
};
struct UsbLike {
    std::string path;
};

TEST(HandleTable, HandlesAreUniqueAcrossTablesAndNeverIssuedAgain) {
    HandleTable<SerialLike> serial;
    HandleTable<UsbLike> usb;
    std::set<HANDLE> seen;
    for (int i = 0; i < 50; ++i) {
        const HANDLE s = serial.Add(std::make_shared<SerialLike>());
        const HANDLE u = usb.Add(std::make_shared<UsbLike>());
        for (HANDLE h : {s, u}) {
            EXPECT_NE(h, 0);
            EXPECT_NE(h, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(seen.insert(h).second) << h;
        }
        // One table knows nothing of the other's handles.
        EXPECT_EQ(serial.Find(u), nullptr);
        EXPECT_EQ(usb.Take(s), nullptr);
        ASSERT_NE(serial.Take(s), nullptr);
        EXPECT_EQ(serial.Take(s), nullptr);
        EXPECT_EQ(serial.Find(s), nullptr);
    }
}

TEST(HandleTable, AFoundPortOutlivesItsCloseUntilTheCallLetsGo) {
    HandleTable<SerialLike> table;
    const HANDLE h = table.Add(std::make_shared<SerialLike>());
    std::shared_ptr<SerialLike> inCall = table.Find(h, [](SerialLike& p) { ++p.calls; });
    ASSERT_NE(inCall, nullptr);
    EXPECT_EQ(inCall->calls, 1);
    std::weak_ptr<SerialLike> watch = inCall;

    std::shared_ptr<SerialLike> taken = table.Take(h);
    ASSERT_EQ(taken, inCall);
    taken.reset();
    EXPECT_FALSE(watch.expired());
    inCall.reset();
    EXPECT_TRUE(watch.expired());

    int entered = 0;
    EXPECT_EQ(table.Find(h, [&](SerialLike&) { ++entered; }), nullptr);
    EXPECT_EQ(entered, 0);
}

}  // namespace
}  // namespace rtq
