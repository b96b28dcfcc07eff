// The line helpers keep within len: the input sits in a buffer of guard
// bytes, and a helper that reads or writes past len changes one of them.
#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <tuple>

#include "util/strutil.h"

namespace {

using namespace std::string_literals;

TEST(StrUtil, LineHelpers) {
    // Helper, input, len, result, the first bytes of the buffer afterwards.
    const std::tuple<int (*)(char*, size_t), std::string, size_t, int, std::string> cases[] = {
        // No line end within len: nothing changes.
        {strnl, "abcdef\n"s, 6, 0, "abcdef\n"s},
        {strlrtrim, "  abcdefgh"s, 6, 4, "abcd\0de"s},
        // A word filling the whole buffer loses its last byte to the terminator.
        {strlrtrim, "abcdef"s, 6, 5, "abcde\0#"s},
        {strlnshift, "  vset   1.5  x  \0"s, 18, 8, "1.5  x  \0"s},
        {strlnshift, "vset   \0"s, 8, 0, "\0set"s},
        {strlnshift, "ab cdefgh"s, 6, 3, "cde\0def"s},
        {strlnshift, "x"s, 0, 0, "x#"s},
    };
    for (const auto& [fn, in, len, ret, after] : cases) {
        char buf[32];
        std::fill(std::copy(in.begin(), in.end(), buf), std::end(buf), '#');
        EXPECT_EQ(fn(buf, len), ret) << in;
        EXPECT_EQ(std::string(buf, after.size()), after) << in;
    }
}

} // namespace
