// Token lists (owned words cut from a line), line ends and 64-bit number
// formatting.
#pragma once

#include <cstddef>
#include <cstdint>

// Most tokens a split may be asked for.
inline constexpr std::uint32_t TOKEN_MAX = 128;

// A token list: count owned strings in slots 0..count-1, every later slot
// (at least one) null. Built by str_split, released by str_split_free.
using token_list = char **;

// Cuts input into the tokens between runs of delimiters (strtok_r rules: no
// empty tokens). length must be non-zero (callers pass strlen(input)); the
// input itself is never changed. 0 with count and list set; -1 with both
// outputs untouched and nothing left allocated: bad arguments (errno kept),
// no memory (ENOMEM) or more than max_tokens tokens (EINVAL).
int str_split(const char *input, std::int32_t length, std::uint32_t max_tokens, const char *delims,
              std::uint32_t *count, token_list *list);

// Releases the list *list points at (its strings up to the first null slot,
// then the array). 0, or -1 when list or *list is null. *list is left stale.
int str_split_free(token_list *list);

// Owns the result of one split and releases it at scope exit.
class token_split {
public:
    token_split() = default;
    token_split(const token_split &) = delete;
    token_split &operator=(const token_split &) = delete;
    ~token_split() { reset(); }

    // Splits text (its whole length); the result of str_split.
    int split(const char *text, std::uint32_t max_tokens, const char *delims);
    void reset();

    std::uint32_t count() const { return count_; }
    const char *operator[](std::uint32_t i) const { return list_[i]; }

private:
    token_list list_ = nullptr;
    std::uint32_t count_ = 0;
};

// Size of the buffer u64_to_dec fills: 20 digits and the NUL.
inline constexpr std::size_t U64_DEC_SIZE = 21;
// Size of the buffer format_size writes: 6 characters and the NUL.
inline constexpr std::size_t SIZE_TEXT_SIZE = 7;

// Writes value in decimal into all U64_DEC_SIZE bytes of out (NUL-padded).
// Always 0.
int u64_to_dec(std::uint64_t value, char *out);

// Writes the byte count value as a short size ("0B", "1023B", "1.5K", "100M",
// "-99.9K"), at most 6 characters, into out (SIZE_TEXT_SIZE bytes). 0, or -1
// with errno ERANGE and out untouched when |value| is out of range.
int format_size(std::int64_t value, char *out);

// Cuts one line feed from the end of line, then one carriage return before
// it: a line as fgets gives it, without its line end.
void strip_line_end(char *line);
