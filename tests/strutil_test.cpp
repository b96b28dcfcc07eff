// The line helpers keep within len: the bytes after it are guards they must not touch.
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
        {strnl, "abcdef\n"s, 6, 0, "abcdef\n"s}, // no line end within len: nothing changes
        {strlrtrim, "  abcdefgh"s, 6, 4, "abcd\0de"s},
        {strlrtrim, "abcdef"s, 6, 5, "abcde\0#"s}, // a word filling it loses its last byte
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
