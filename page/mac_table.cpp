// Reading the switch's static table by what the switch guarantees of it.
#include "mac_table.h"

#include "cli_runner.h"
#include "line_reader.h"
#include "mac_entry.h"

#include <cstring>

namespace {

constexpr std::size_t TYPE_WORD_MAX = 15;

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_line_end(char c)
{
    return c == '\0' || c == '\n' || c == '\r';
}

bool type_word_valid(std::string_view w)
{
    if (w.empty() || w.size() > TYPE_WORD_MAX)
        return false;
    for (char c : w)
        if (c < 'a' || c > 'z')
            return false;
    return true;
}

} // namespace

table_line table_line_read(const char *line, table_row *row)
{
    std::string_view words[4];
    int n = 0;
    const char *p = line;
    while (true) {
        while (is_blank(*p))
            ++p;
        if (is_line_end(*p))
            break;
        if (n == 4)
            return table_line::foreign;
        const char *start = p;
        while (!is_blank(*p) && !is_line_end(*p))
            ++p;
        words[n++] = std::string_view(start, static_cast<std::size_t>(p - start));
    }
    // Only a line end may follow: a CR alone, or bytes after it, are not the table's.
    if (*p == '\r')
        ++p;
    if (*p == '\n')
        ++p;
    if (*p != '\0')
        return table_line::foreign;
    if (n == 0)
        return table_line::blank;
    if (n != 4 || !vlan_text_valid(words[0]) || !mac_text_valid(words[1]) || !type_word_valid(words[2]) ||
        !intf_name_valid(words[3]))
        return table_line::foreign;
    *row = {words[0], words[1], words[2], words[3]};
    return table_line::row;
}

bool table_read(bool (*take)(void *ctx, const table_row &row), void *ctx)
{
    line_reader r(cli_result_path());
    if (!r.ok())
        return false;
    char line[CLI_LINE_SIZE];
    int lines = 0;
    while (r.next(line)) {
        std::size_t len = r.length();
        // A piece of a longer line: what follows it would read as a row.
        if (len == sizeof line - 1 && line[len - 1] != '\n')
            return false;
        // The switch marks every refusal and message with "%", header
        // included; a NUL byte would hide the rest of its line.
        if (std::memchr(line, '%', len) || std::memchr(line, '\0', len))
            return false;
        if (++lines <= TABLE_HEADER_LINES)
            continue;
        table_row row;
        switch (table_line_read(line, &row)) {
        case table_line::row:
            if (!take(ctx, row))
                return false;
            break;
        case table_line::blank:
            break;
        case table_line::foreign:
            return false;
        }
    }
    return !r.failed() && lines >= TABLE_HEADER_LINES;
}
