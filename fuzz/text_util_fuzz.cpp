// Token split and number formatting: the first byte is the token limit, the
// second the number of delimiter bytes that follow, the rest the text; the
// first sixteen bytes are also taken as numbers to format.
#include "fuzz_util.h"
#include "intf_status.h"
#include "text_util.h"

#include <cerrno>

namespace {

// strtok's tokens of text, the reference for str_split.
std::vector<std::string> tokens_of(const std::string &text, const std::string &delims)
{
    std::vector<std::string> out;
    for (std::size_t pos = text.find_first_not_of(delims), end; pos != std::string::npos;
         pos = text.find_first_not_of(delims, end)) {
        end = text.find_first_of(delims, pos);
        out.push_back(text.substr(pos, end - pos)); // to the text's end when no delimiter follows
    }
    return out;
}

void split_case(std::uint32_t max, const std::string &delims, const std::string &text)
{
    std::uint32_t count = 777;
    token_list list = nullptr;
    const int rc = str_split(text.c_str(), static_cast<std::int32_t>(text.size()), max,
                             delims.c_str(), &count, &list);
    const std::vector<std::string> want = tokens_of(text, delims);
    const bool valid = !text.empty() && max >= 1 && max <= TOKEN_MAX;
    if (rc != 0) {
        FUZZ_CHECK(!valid || want.size() > max);
        FUZZ_CHECK(count == 777 && list == nullptr);
        return;
    }
    FUZZ_CHECK(valid && want == std::vector<std::string>(list, list + count) && list[count] == nullptr);
    FUZZ_CHECK(str_split_free(&list) == 0);
}

void number_case(std::uint64_t u, std::int64_t v)
{
    std::vector<char> dec(U64_DEC_SIZE, 'x');
    u64_to_dec(u, dec.data());
    // The digits, then NULs to the end of the field.
    const std::string want = std::to_string(u);
    FUZZ_CHECK(std::string(dec.data(), dec.size()) == want + std::string(U64_DEC_SIZE - want.size(), '\0'));

    std::vector<char> size(SIZE_TEXT_SIZE, 'x');
    errno = 0;
    if (format_size(v, size.data()) != 0) {
        FUZZ_CHECK(errno == ERANGE && size[0] == 'x');
        return;
    }
    const std::size_t n = strnlen(size.data(), SIZE_TEXT_SIZE);
    FUZZ_CHECK(n >= 2 && n < SIZE_TEXT_SIZE && std::strchr("BKMGTPE", size[n - 1]));
}

void port_set_case(const std::string &list)
{
    port_set set{};
    if (port_set_parse(list.c_str(), &set) != 0)
        return;
    FUZZ_CHECK(set.count <= tokens_of(list, ",").size());
    for (int i = 0; i < PORT_SET_SIZE; ++i)
        if (set.entries[i].flags & PORT_SELECTED)
            FUZZ_CHECK(set.entries[i].port == i);
}

} // namespace

FUZZ_TARGET(2, 4096)
{
    if (size >= 16) {
        std::uint64_t u;
        std::int64_t v;
        std::memcpy(&u, data, sizeof u);
        std::memcpy(&v, data + 8, sizeof v);
        number_case(u, v);
        number_case(u >> (u % 64), v >> (u % 64)); // small values as often as large
    }
    const std::size_t ndelims = data[1] % 8;
    if (2 + ndelims > size)
        return;
    const std::string text = fuzz_text(data + 2 + ndelims, size - 2 - ndelims);
    split_case(data[0], fuzz_text(data + 2, ndelims), text);
    port_set_case(text);
}
