// Token lists and 64-bit number formatting.
#include "text_util.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int str_split(const char *input, std::int32_t length, std::uint32_t max_tokens, const char *delims,
              std::uint32_t *count, token_list *list)
{
    if (!input || length == 0 || max_tokens == 0 || max_tokens > TOKEN_MAX || !delims || !count ||
        !list)
        return -1;

    char *copy = strdup(input);
    if (!copy) {
        errno = ENOMEM;
        return -1;
    }
    // Zero-filled, so the list stays null-terminated at every step and the
    // failure exit can release it like a finished one.
    token_list slots = static_cast<token_list>(std::calloc(max_tokens + 1, sizeof(char *)));
    if (!slots) {
        std::free(copy);
        errno = ENOMEM;
        return -1;
    }

    std::uint32_t n = 0;
    int err = 0;
    char *save = nullptr;
    for (char *tok = strtok_r(copy, delims, &save); tok; tok = strtok_r(nullptr, delims, &save)) {
        if (++n > max_tokens) {
            err = EINVAL;
            break;
        }
        slots[n - 1] = strdup(tok);
        if (!slots[n - 1]) {
            err = ENOMEM;
            break;
        }
    }
    std::free(copy);
    if (err != 0) {
        // The failed slot and all after it are still null.
        str_split_free(&slots);
        errno = err;
        return -1;
    }
    *count = n;
    *list = slots;
    return 0;
}

int str_split_free(token_list *list)
{
    if (!list || !*list)
        return -1;
    for (char **p = *list; *p; ++p)
        std::free(*p);
    std::free(*list);
    return 0;
}

int token_split::split(const char *text, std::uint32_t max_tokens, const char *delims)
{
    reset();
    if (!text)
        return -1;
    // The length only has to be non-zero; keep it so for any length.
    const std::size_t len = std::strlen(text);
    const auto length = static_cast<std::int32_t>(len > INT32_MAX ? INT32_MAX : len);
    return str_split(text, length, max_tokens, delims, &count_, &list_);
}

void token_split::reset()
{
    if (list_)
        str_split_free(&list_);
    list_ = nullptr;
    count_ = 0;
}

int u64_to_dec(std::uint64_t value, char *out)
{
    std::memset(out, 0, U64_DEC_SIZE);
    if (value == 0) {
        out[0] = '0';
        return 0;
    }
    std::size_t pos = U64_DEC_SIZE - 1;
    while (value != 0) {
        out[pos--] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    std::size_t digits = U64_DEC_SIZE - 1 - pos;
    std::memmove(out, out + pos + 1, digits);
    std::memset(out + digits, 0, U64_DEC_SIZE - digits);
    return 0;
}

namespace {

// Each unit's letter and size in bytes, by unit.
constexpr char SIZE_LETTERS[] = "BKMGTPE";
constexpr std::int64_t SIZE_UNIT_BYTES[] = {
    1,
    INT64_C(1) << 10,
    INT64_C(1) << 20,
    INT64_C(1) << 30,
    INT64_C(1) << 40,
    INT64_C(1) << 50,
    INT64_C(1) << 60,
};
constexpr int SIZE_UNIT_COUNT = 7;

} // namespace

int format_size(std::int64_t value, char *out)
{
    if (value == INT64_MIN) {
        errno = ERANGE;
        return -1;
    }
    const std::int64_t m = value < 0 ? -value : value;
    const std::int64_t kilo = m / 1024;
    if (kilo >= SIZE_UNIT_BYTES[SIZE_UNIT_COUNT - 1]) {
        errno = ERANGE;
        return -1;
    }
    int u = 0;
    while (SIZE_UNIT_BYTES[u] <= kilo)
        ++u;

    const std::int64_t r = u > 0 ? (m % SIZE_UNIT_BYTES[u]) / SIZE_UNIT_BYTES[u - 1] : 0;
    std::int64_t q = value / SIZE_UNIT_BYTES[u];
    std::int64_t d = (r * 10 + 512) / 1024;
    if (d == 10) {
        q += q >= 0 ? 1 : -1;
        d = 0;
    }
    const char letter = SIZE_LETTERS[u];
    // At most 1024 units and a sign (6 characters), so the bound never cuts;
    // the length is taken only to say so to the compiler.
    int len = 0;
    if (q == 0) {
        len = std::snprintf(out, SIZE_TEXT_SIZE, "%s", "0B");
    } else if (u > 0 && q >= -99 && q <= 99) {
        len = std::snprintf(out, SIZE_TEXT_SIZE, "%" PRId64 ".%1" PRId64 "%c", q, d, letter);
    } else {
        // The decimal is rounded a second time here, on purpose: 100.45K
        // already carried to 100.5K above, and shows as 101K.
        if (d >= 5)
            q += q >= 0 ? 1 : -1;
        len = std::snprintf(out, SIZE_TEXT_SIZE, "%" PRId64 "%c", q, letter);
    }
    return len < 0 ? -1 : 0;
}

void strip_line_end(char *line)
{
    std::size_t n = std::strlen(line);
    if (n > 0 && line[n - 1] == '\n')
        line[--n] = '\0';
    if (n > 0 && line[n - 1] == '\r')
        line[--n] = '\0';
}
