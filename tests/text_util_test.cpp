// Token lists and number formatting: boundaries, malformed input and overflow.
#include "text_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> words(token_list list, std::uint32_t count)
{
    std::vector<std::string> out;
    for (std::uint32_t i = 0; i < count; ++i)
        out.emplace_back(list[i]);
    return out;
}

std::string n_tokens(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "w" + std::to_string(i) + " ";
    return s;
}

} // namespace

TEST(StrSplit, CutsOnDelimiterRuns)
{
    const struct {
        std::string input;
        const char *delims;
        std::vector<std::string> want;
    } cases[] = {
        {"ab,,cd", ",", {"ab", "cd"}},
        {",ab,", ",", {"ab"}},
        {" \t \r\n", " \t\r\n", {}},
        {"eth-0-1  up \t 1000", " \t", {"eth-0-1", "up", "1000"}},
        {"/mnt/flash//boot/", "/", {"mnt", "flash", "boot"}},
        {"a&b c&&", "&", {"a", "b c"}},
    };
    for (const auto &c : cases) {
        const std::string before = c.input;
        std::uint32_t count = 99;
        token_list list = nullptr;
        ASSERT_EQ(str_split(c.input.c_str(), static_cast<int>(c.input.size()), TOKEN_MAX, c.delims,
                            &count, &list),
                  0)
            << c.input;
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(words(list, count), c.want) << c.input;
        EXPECT_EQ(list[count], nullptr);
        EXPECT_EQ(c.input, before);
        EXPECT_EQ(str_split_free(&list), 0);
    }
}

TEST(StrSplit, MaximumIsExactAndFailureHandsOutNothing)
{
    for (std::uint32_t max : {1u, 2u, 32u, 128u}) {
        for (std::uint32_t n : {max, max + 1}) {
            const std::string in = n_tokens(static_cast<int>(n));
            std::uint32_t count = 777;
            token_list list = reinterpret_cast<token_list>(&count);
            const token_list sentinel = list;
            errno = 0;
            int rc = str_split(in.c_str(), static_cast<int>(in.size()), max, " ", &count, &list);
            if (n == max) {
                ASSERT_EQ(rc, 0);
                EXPECT_EQ(count, n);
                EXPECT_STREQ(list[n - 1], ("w" + std::to_string(n - 1)).c_str());
                EXPECT_EQ(list[n], nullptr);
                str_split_free(&list);
            } else {
                EXPECT_EQ(rc, -1) << "max " << max;
                EXPECT_EQ(errno, EINVAL);
                EXPECT_EQ(count, 777u);
                EXPECT_EQ(list, sentinel);
            }
        }
    }
}

TEST(StrSplit, BadArgumentsLeaveErrno)
{
    std::uint32_t count = 5;
    token_list list = nullptr;
    const struct {
        const char *in;
        int len;
        std::uint32_t max;
        const char *delims;
        std::uint32_t *count;
        token_list *list;
    } cases[] = {
        {nullptr, 1, 8, " ", &count, &list},
        {"", 0, 8, " ", &count, &list},
        {"a", 0, 8, " ", &count, &list},
        {"a", 1, 0, " ", &count, &list},
        {"a", 1, 129, " ", &count, &list},
        {"a", 1, 0xFFFFFFFFu, " ", &count, &list},
        {"a", 1, 8, nullptr, &count, &list},
        {"a", 1, 8, " ", nullptr, &list},
        {"a", 1, 8, " ", &count, nullptr},
    };
    for (const auto &c : cases) {
        errno = 4242;
        EXPECT_EQ(str_split(c.in, c.len, c.max, c.delims, c.count, c.list), -1);
        EXPECT_EQ(errno, 4242);
        EXPECT_EQ(count, 5u);
        EXPECT_EQ(list, nullptr);
    }
    // The length is only tested for zero, never used as a bound.
    ASSERT_EQ(str_split("a b c", 1, 8, " ", &count, &list), 0);
    EXPECT_EQ(count, 3u);
    str_split_free(&list);
}

TEST(StrSplit, FreeRefusesNullAndTakesEmptyLists)
{
    EXPECT_EQ(str_split_free(nullptr), -1);
    token_list none = nullptr;
    EXPECT_EQ(str_split_free(&none), -1);

    std::uint32_t count = 9;
    token_list list = nullptr;
    ASSERT_EQ(str_split(",,,", 3, 4, ",", &count, &list), 0);
    EXPECT_EQ(count, 0u);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], nullptr);
    EXPECT_EQ(str_split_free(&list), 0);
}

TEST(TokenSplit, OwnsAndResplits)
{
    token_split t;
    ASSERT_EQ(t.split("a b", 4, " "), 0);
    EXPECT_EQ(t.count(), 2u);
    ASSERT_EQ(t.split("x&y&z", 4, "&"), 0);
    EXPECT_EQ(t.count(), 3u);
    EXPECT_STREQ(t[2], "z");
    EXPECT_EQ(t.split("", 4, "&"), -1);
    EXPECT_EQ(t.count(), 0u);
    EXPECT_EQ(t.split(nullptr, 4, "&"), -1);
}

TEST(U64ToDec, DigitsAndPadding)
{
    const struct {
        std::uint64_t v;
        const char *want;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {10, "10"},
        {4294967295u, "4294967295"},
        {4294967296u, "4294967296"},
        {UINT64_C(10000000000000000000), "10000000000000000000"},
        {UINT64_MAX, "18446744073709551615"},
    };
    for (const auto &c : cases) {
        char out[U64_DEC_SIZE];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(u64_to_dec(c.v, out), 0);
        EXPECT_STREQ(out, c.want);
        for (std::size_t i = std::strlen(c.want); i < sizeof out; ++i)
            EXPECT_EQ(out[i], '\0') << c.want << " byte " << i;
    }
}

TEST(FormatSize, UnitsRoundingAndCarry)
{
    constexpr std::int64_t K = 1024, M = K * K, G = M * K, T = G * K;
    const struct {
        std::int64_t v;
        const char *want;
    } cases[] = {
        {0, "0B"},
        {1, "1B"},
        {1000, "1000B"},
        {1023, "1023B"},
        {1024, "1.0K"},
        {1075, "1.0K"},
        {1076, "1.1K"},
        {1536, "1.5K"},
        {11263, "11.0K"},
        {102348, "99.9K"},
        {102349, "100K"},
        {102400, "100K"},
        {102860, "100K"},
        {102861, "101K"},
        {1024000, "1000K"},
        {1048063, "1024K"},
        {1048575, "1024K"},
        {M, "1.0M"},
        {5 * G, "5.0G"},
        {T + T / 2, "1.5T"},
        {INT64_MAX, "8.0E"},
        {-1, "-1B"},
        {-1023, "-1023B"},
        {-1536, "-1.5K"},
        {-102348, "-99.9K"},
        {-102349, "-100K"},
        {-1048575, "-1024K"},
        {-INT64_MAX, "-8.0E"},
    };
    for (const auto &c : cases) {
        char out[16];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(format_size(c.v, out), 0) << c.v;
        EXPECT_STREQ(out, c.want) << c.v;
        EXPECT_EQ(out[SIZE_TEXT_SIZE], 'x') << "wrote past 7 bytes for " << c.v;
    }
}

TEST(FormatSize, MostNegativeIsOutOfRange)
{
    char out[SIZE_TEXT_SIZE] = "keep";
    errno = 0;
    EXPECT_EQ(format_size(INT64_MIN, out), -1);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_STREQ(out, "keep");
}
