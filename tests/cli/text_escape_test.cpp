// Text from outside on its way to a terminal or into JSON.

#include "cli/text_escape.h"

#include <gtest/gtest.h>

namespace {

using rtq::cli::EscapeText;
using rtq::cli::Utf8OrEscaped;

TEST(TextEscape, ControlCharactersBecomeVisible) {
    EXPECT_EQ(EscapeText("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(EscapeText("\x1b[2J\x07\x7f"), "\\x1b[2J\\x07\\x7f");
    EXPECT_EQ(EscapeText(std::string("a\0b", 3)), "a\\x00b");
    // U+009B, a one-character CSI for some terminals.
    EXPECT_EQ(EscapeText("\xc2\x9b" "31m"), "\\u009b31m");
}

TEST(TextEscape, Utf8PassesAndBrokenBytesAreShownAsHex) {
    EXPECT_EQ(EscapeText("Dru\xcc\x88" "cker \xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xa8"),
              "Dru\xcc\x88" "cker \xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xa8");
    EXPECT_EQ(EscapeText("caf\xe9"), "caf\\xe9");  // Latin-1
    // Truncated, overlong and surrogate forms are not UTF-8.
    EXPECT_EQ(EscapeText("\xe2\x82"), "\\xe2\\x82");
    EXPECT_EQ(EscapeText("\xc0\xaf"), "\\xc0\\xaf");
    EXPECT_EQ(EscapeText("\xed\xa0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(EscapeText("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
}

TEST(TextEscape, JsonKeepsControlsForItsOwnEscapesButNeedsUtf8) {
    EXPECT_EQ(Utf8OrEscaped("a\tb\n\xc3\xa9"), "a\tb\n\xc3\xa9");
    EXPECT_EQ(Utf8OrEscaped("\xe9\x1b"), "\\xe9\x1b");
}

// A literal backslash sequence must not read as the escape of a control
// character or of a byte that is not UTF-8.
TEST(TextEscape, ABackslashIsEscapedSoThatNoEscapeIsAmbiguous) {
    EXPECT_EQ(EscapeText("a\\nb"), "a\\\\nb");
    EXPECT_NE(EscapeText("a\nb"), EscapeText("a\\nb"));
    EXPECT_NE(EscapeText("\x1b"), EscapeText("\\x1b"));
    EXPECT_NE(Utf8OrEscaped("\xe9"), Utf8OrEscaped("\\xe9"));
    EXPECT_EQ(Utf8OrEscaped("C:\\x"), "C:\\\\x");
}

}  // namespace
