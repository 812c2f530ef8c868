// Token lists and sizes as text: boundaries, malformed input and overflow.
// u64_to_dec is fuzz/text_util_fuzz.cpp's to check, on every number it meets.
#include "text_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>

// "rc:" then each token and a blank, "|" for the null slot after the last;
// a failed split leaves both outputs alone, and bad arguments keep errno.
TEST(StrSplit, TokensCountsAndFailures)
{
    auto words = [](std::uint32_t n) { std::string s; while (n--) s = "w" + std::to_string(n) + " " + s; return s; };
    const std::string too_many = "-1:errno 22 count 777", kept = "-1:errno 4242 count 777";
    const struct { std::string in; std::uint32_t max; const char *delims; std::string want; } cases[] = {
        {"ab,,cd", 8, ",", "0:ab cd |"}, {",ab,", 8, ",", "0:ab |"}, {" \t \r\n", 8, " \t\r\n", "0:|"},
        {words(128), 128, " ", "0:" + words(128) + "|"}, {words(129), 128, " ", too_many}, {words(2), 1, " ", too_many},
        {"", 8, " ", kept}, {"a", 0, " ", kept}, {"a", 129, " ", kept}, {"a", 8, nullptr, kept},
    };
    for (const auto &c : cases) {
        std::uint32_t count = 777;
        token_list list = nullptr;
        errno = 4242;
        std::string got = std::to_string(str_split(c.in.c_str(), int(c.in.size()), c.max, c.delims, &count, &list));
        got += list ? ":" : ":errno " + std::to_string(errno) + " count " + std::to_string(count);
        for (std::uint32_t i = 0; list && i <= count; ++i)
            got += list[i] ? std::string(list[i]) + " " : "|";
        EXPECT_EQ(got, c.want) << c.in;
        EXPECT_EQ(str_split_free(&list), list ? 0 : -1);
    }
}

TEST(FormatSize, UnitsRoundingCarryAndRange)
{
    const struct { std::int64_t v; const char *want; } cases[] = {
        {0, "0B"}, {1023, "1023B"}, {1024, "1.0K"}, {1075, "1.0K"}, {1076, "1.1K"}, {102348, "99.9K"},
        {102349, "100K"}, {102860, "100K"}, {102861, "101K"}, {1048575, "1024K"}, {1048576, "1.0M"},
        {INT64_C(3) << 39, "1.5T"}, {INT64_MAX, "8.0E"}, {-1, "-1B"}, {-1536, "-1.5K"}, {-102348, "-99.9K"},
        {-1048575, "-1024K"}, {-INT64_MAX, "-8.0E"}, {INT64_MIN, "keep"},
    };
    for (const auto &c : cases) {
        char out[16] = "keep";
        std::memset(out + 5, 'x', sizeof out - 5);
        errno = 0;
        const int rc = format_size(c.v, out);
        EXPECT_EQ(std::make_tuple(rc, errno, std::string(out), out[SIZE_TEXT_SIZE]),
                  std::make_tuple(c.v == INT64_MIN ? -1 : 0, c.v == INT64_MIN ? ERANGE : 0, c.want, 'x')) << c.v;
    }
}
