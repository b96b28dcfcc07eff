// The line helpers on buffers with guard bytes after the input: a helper that
// reads or writes past len shows up as a changed byte in `after`.
#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "util/strutil.h"

namespace {

using namespace std::string_literals;

struct Case {
    int (*fn)(char*, size_t);
    std::string in;
    size_t len;
    int ret;
    std::string after; // the first bytes of the buffer afterwards
};

TEST(StrUtil, LineHelpers) {
    const Case cases[] = {
        {strnl, "abc\r\ndef\0"s, 9, 3, "abc\0\ndef"s},
        {strnl, "\nabc\0"s, 5, 0, "\0abc"s},
        // No line end within len: nothing changes.
        {strnl, "abcdef\n"s, 6, 0, "abcdef\n"s},
        {strnl, "\n"s, 0, 0, "\n#"s},
        {strlrtrim, "   hello world  \0"s, 17, 5, "hello\0"s},
        // Only the space separates words.
        {strlrtrim, " a\tb c\0"s, 7, 3, "a\tb\0"s},
        {strlrtrim, "quit\r\n\0"s, 7, 6, "quit\r\n\0"s},
        {strlrtrim, "    \0"s, 5, 0, "    \0"s},
        {strlrtrim, "  abcdefgh"s, 6, 4, "abcd\0de"s},
        // A word filling the whole buffer loses its last byte to the terminator.
        {strlrtrim, "abcdef"s, 6, 5, "abcde\0#"s},
        {strlnshift, "  vset   1.5  x  \0"s, 18, 8, "1.5  x  \0"s},
        {strlnshift, "vset 1.5\n\0"s, 10, 4, "1.5\n\0"s},
        {strlnshift, "vset   \0"s, 8, 0, "\0set"s},
        {strlnshift, "a\tb c\td\0"s, 8, 3, "c\td\0"s},
        {strlnshift, "ab cdefgh"s, 6, 3, "cde\0def"s},
        {strlnshift, "x"s, 0, 0, "x#"s},
    };
    for (const Case& c : cases) {
        char buf[32];
        std::fill(std::copy(c.in.begin(), c.in.end(), buf), std::end(buf), '#');
        EXPECT_EQ(c.fn(buf, c.len), c.ret) << c.in;
        EXPECT_EQ(std::string(buf, c.after.size()), c.after) << c.in;
    }
}

} // namespace
