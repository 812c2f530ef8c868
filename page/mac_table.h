// The switch's table as "show mac address-table [static|dynamic]" answers
// it, read only by what the switch guarantees: a header of six lines, then one
// row of four words a line. Anything else in the answer makes it not whole.
#pragma once

#include <string_view>

// The lines a table's answer opens with before its rows, whatever they say.
inline constexpr int TABLE_HEADER_LINES = 6;

// The command that asks for the whole static table.
inline constexpr char TABLE_SHOW_CMD[] = "show mac address-table static";

// The entries a listing asks for, the type words of their rows, and the
// command that asks for each kind: fixed text, never the request's.
enum class table_kind { static_only, learned, all };
inline constexpr const char *TABLE_KIND_WORDS[] = {"static", "dynamic", "all"};
inline constexpr const char *TABLE_SHOW_CMDS[] = {TABLE_SHOW_CMD, "show mac address-table dynamic",
                                                   "show mac address-table"};

// One row of the table, as views into the line it was read from: a VLAN
// (1-4094), a MAC in the dotted form (either letter case), a type word
// (lower-case letters), a port name (eth-S-P or aggN).
struct table_row {
    std::string_view vlan, mac, type, intf;
};

// What one line past the header is.
enum class table_line {
    row,      // a row in the switch's grammar, in *row
    blank,    // blanks and a line end only
    foreign,  // anything else: the answer is not the table
};

// Reads one line (NUL-terminated, its line end included or not).
table_line table_line_read(const char *line, table_row *row);

// Reads the result file as the whole answer of one table show, handing
// each row to take(ctx, row); a false from take stops the reading. true
// only when the answer is whole: its header, then nothing but rows and
// blank lines, no "%" anywhere (a refusal, or a message cut into the
// table), no line longer than the reader's buffer, the file read to its
// end, and every row taken.
bool table_read(bool (*take)(void *ctx, const table_row &row), void *ctx);

// table_read with a callable: bool take(const table_row &).
template <typename F> bool table_read(F &take)
{
    return table_read([](void *ctx, const table_row &row) { return (*static_cast<F *>(ctx))(row); }, &take);
}
