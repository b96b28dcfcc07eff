#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "util/strutil.h"

namespace {

// A buffer with room to spare, so a helper that writes past len shows up as
// a changed guard byte.
struct Buf {
    char b[32];
    explicit Buf(const char* s) {
        memset(b, '#', sizeof b);
        memcpy(b, s, strlen(s) + 1);
    }
    // Raw bytes with no terminator before len.
    Buf(const char* s, size_t n) {
        memset(b, '#', sizeof b);
        memcpy(b, s, n);
    }
    std::string str() const { return b; }
};

TEST(StrNl, CutsAtFirstLineEndOrNul) {
    Buf a("abc\r\ndef");
    EXPECT_EQ(strnl(a.b, 32), 3);
    EXPECT_EQ(a.str(), "abc");

    Buf b("ab\ncd\r");
    EXPECT_EQ(strnl(b.b, 32), 2);
    EXPECT_EQ(b.str(), "ab");

    Buf c("abc");
    EXPECT_EQ(strnl(c.b, 32), 3);
    EXPECT_EQ(c.str(), "abc");

    // A line end in the first byte empties the buffer; the index is 0.
    Buf d("\nabc");
    EXPECT_EQ(strnl(d.b, 32), 0);
    EXPECT_EQ(d.b[0], '\0');
}

TEST(StrNl, LeavesBufferAloneWhenNothingWithinLength) {
    Buf a("abcdef\n", 7);
    EXPECT_EQ(strnl(a.b, 6), 0);
    EXPECT_EQ(std::string(a.b, 7), "abcdef\n");
    EXPECT_EQ(strnl(a.b, 0), 0);
    EXPECT_EQ(a.b[0], 'a');
}

TEST(StrLrTrim, KeepsFirstWordOnly) {
    Buf a("   hello world  ");
    EXPECT_EQ(strlrtrim(a.b, 32), 5);
    EXPECT_EQ(a.str(), "hello");

    Buf b("single");
    EXPECT_EQ(strlrtrim(b.b, 32), 6);
    EXPECT_EQ(b.str(), "single");
}

TEST(StrLrTrim, TabsAndLineEndsArePartOfTheWord) {
    Buf a(" a\tb c");
    EXPECT_EQ(strlrtrim(a.b, 32), 3);
    EXPECT_EQ(a.str(), "a\tb");

    Buf b("quit\r\n");
    EXPECT_EQ(strlrtrim(b.b, 32), 6);
    EXPECT_EQ(b.str(), "quit\r\n");
}

TEST(StrLrTrim, BlankBufferIsLeftUnchanged) {
    Buf a("    ");
    EXPECT_EQ(strlrtrim(a.b, 32), 0);
    EXPECT_EQ(a.str(), "    ");

    Buf b("");
    EXPECT_EQ(strlrtrim(b.b, 32), 0);
    EXPECT_EQ(b.str(), "");
}

TEST(StrLrTrim, WordEndsAtLength) {
    // The word stops at len even without a terminator there.
    Buf a("  abcdefgh", 10);
    EXPECT_EQ(strlrtrim(a.b, 6), 4);
    EXPECT_EQ(a.str(), "abcd");

    // A word filling the whole buffer loses its last byte to the terminator.
    Buf b("abcdef", 6);
    EXPECT_EQ(strlrtrim(b.b, 6), 5);
    EXPECT_EQ(b.str(), "abcde");
    EXPECT_EQ(b.b[6], '#');
}

TEST(StrLnShift, DropsFirstWordAndTheSpacesAfterIt) {
    Buf a("  vset   1.5  x  ");
    EXPECT_EQ(strlnshift(a.b, 32), 8);
    EXPECT_EQ(a.str(), "1.5  x  ");

    Buf b("vset 1.5\n");
    EXPECT_EQ(strlnshift(b.b, 32), 4);
    EXPECT_EQ(b.str(), "1.5\n");
}

TEST(StrLnShift, NoSecondWordEmptiesTheBuffer) {
    for (const char* s : {"vset", "vset   ", "   ", "", "vset\r\n", "a\tb"}) {
        Buf a(s);
        EXPECT_EQ(strlnshift(a.b, 32), 0) << s;
        EXPECT_EQ(a.str(), "") << s;
    }
    Buf a("x");
    EXPECT_EQ(strlnshift(a.b, 0), 0);
    EXPECT_EQ(a.str(), "x");
}

TEST(StrLnShift, TabIsNoSeparator) {
    Buf a("a\tb c\td");
    EXPECT_EQ(strlnshift(a.b, 32), 3);
    EXPECT_EQ(a.str(), "c\td");
}

TEST(StrLnShift, RestIsBoundedByLength) {
    Buf a("ab cdefgh", 9);
    EXPECT_EQ(strlnshift(a.b, 6), 3);
    EXPECT_EQ(a.str(), "cde");
    EXPECT_EQ(a.b[6], 'f');
}

} // namespace
