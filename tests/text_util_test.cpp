// Token lists and number formatting: boundaries, malformed input and overflow.
#include "text_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>

static std::string n_tokens(std::uint32_t n) // "w0 w1 ... w<n-1> "
{
    std::string s;
    for (std::uint32_t i = 0; i < n; ++i)
        s += "w" + std::to_string(i) + " ";
    return s;
}

TEST(StrSplit, TokensCountsAndFailures)
{
    const struct {
        std::string in;
        std::uint32_t max;
        const char *delims;
        int rc;
        std::string want; // each token followed by a blank
    } cases[] = {
        {"ab,,cd", 8, ",", 0, "ab cd "}, {",ab,", 8, ",", 0, "ab "}, {" \t \r\n", 8, " \t\r\n", 0, ""},
        {n_tokens(1), 1, " ", 0, "w0 "},  {n_tokens(2), 1, " ", -1, ""},
        {n_tokens(128), 128, " ", 0, n_tokens(128)}, {n_tokens(129), 128, " ", -1, ""},
    };
    for (const auto &c : cases) {
        const std::string before = c.in;
        std::uint32_t count = 777;
        token_list list = nullptr;
        errno = 0;
        ASSERT_EQ(str_split(c.in.c_str(), int(c.in.size()), c.max, c.delims, &count, &list), c.rc) << c.in;
        EXPECT_EQ(c.in, before);
        if (c.rc != 0) {
            EXPECT_EQ(std::make_tuple(errno, count, list), std::make_tuple(EINVAL, 777u, token_list{}));
            continue;
        }
        std::string got;
        for (std::uint32_t i = 0; i < count; ++i)
            got += std::string(list[i]) + " ";
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(list[count], nullptr);
        EXPECT_EQ(str_split_free(&list), 0);
    }
}

TEST(StrSplit, BadArgumentsKeepErrnoAndOutputs)
{
    std::uint32_t count = 5;
    token_list list = nullptr;
    for (auto [in, len, max, delims] : {std::tuple<const char *, int, std::uint32_t, const char *>{"", 0, 8, " "},
                                        {"a", 1, 0, " "}, {"a", 1, 129, " "}, {"a", 1, 8, nullptr}}) {
        errno = 4242;
        EXPECT_EQ(str_split(in, len, max, delims, &count, &list), -1) << max;
        EXPECT_EQ(std::make_tuple(errno, count, list), std::make_tuple(4242, 5u, token_list{}));
    }
    EXPECT_EQ(str_split_free(&list), -1);
}

TEST(U64ToDec, DigitsAndNulPadding)
{
    for (std::uint64_t v : {UINT64_C(0), UINT64_C(10), UINT64_C(4294967296), UINT64_MAX}) {
        char out[U64_DEC_SIZE];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(u64_to_dec(v, out), 0);
        const std::string want = std::to_string(v);
        EXPECT_EQ(std::string(out, sizeof out), want + std::string(sizeof out - want.size(), '\0'));
    }
}

TEST(FormatSize, UnitsRoundingCarryAndRange)
{
    const struct { std::int64_t v; const char *want; } cases[] = {
        {0, "0B"},         {1023, "1023B"},       {1024, "1.0K"},       {1075, "1.0K"},
        {1076, "1.1K"},    {11263, "11.0K"},      {102348, "99.9K"},    {102349, "100K"},
        {102860, "100K"},  {102861, "101K"},      {1048575, "1024K"},   {1048576, "1.0M"},
        {INT64_C(3) << 39, "1.5T"}, {INT64_MAX, "8.0E"}, {-1, "-1B"},   {-1536, "-1.5K"},
        {-102348, "-99.9K"}, {-1048575, "-1024K"}, {-INT64_MAX, "-8.0E"},
    };
    for (const auto &c : cases) {
        char out[16];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(format_size(c.v, out), 0) << c.v;
        EXPECT_STREQ(out, c.want) << c.v;
        EXPECT_EQ(out[SIZE_TEXT_SIZE], 'x') << "wrote past 7 bytes for " << c.v;
    }
    char out[SIZE_TEXT_SIZE] = "keep";
    errno = 0;
    EXPECT_EQ(format_size(INT64_MIN, out), -1);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_STREQ(out, "keep");
}
