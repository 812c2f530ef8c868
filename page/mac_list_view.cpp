// The listing page's view: one CLI run, its answer read once into one table
// of fixed size, then sorted and cut to a page.
#include "mac_list_view.h"

#include "cgi_value.h"
#include "cli_runner.h"
#include "line_reader.h"
#include "mac_add.h"
#include "mac_entry.h"
#include "mac_list.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view SORT_WORDS[] = {"", "mac", "vlan", "intf"};
// A link's query: the filters' query, then a view's tail.
constexpr std::size_t LINK_SIZE = 1024 + LIST_VIEW_QUERY_SIZE;

// One row as the CLI wrote it, and the keys it sorts by. A word longer than
// its field is not cut: the answer is then not taken.
struct list_row {
    char mac[24];
    char vlan[8];
    char type[16];
    char intf[32];
    std::uint64_t mac_key;   // the 48-bit value; past every MAC when not one
    std::uint32_t vlan_key;  // the number; past every VLAN when not one
    std::uint32_t intf_a, intf_b;
    std::uint8_t intf_class; // eth-S-P, aggN, anything else
};

constexpr std::uint64_t NOT_A_MAC = std::uint64_t{1} << 48;
constexpr std::uint32_t NOT_A_NUMBER = 0xffffffffu;

// The view's one table: LIST_ROWS_MAX rows, allocated once; the pages only
// touch the part the rows fill.
struct row_table {
    heap_array<list_row> rows = heap_alloc<list_row>(LIST_ROWS_MAX);
    int count = 0;
    bool over = false;   // more rows passed the filters than it holds
};

// The decimal number at the start of text, its length in *len; NOT_A_NUMBER
// when there is none or it has more than nine digits.
std::uint32_t leading_number(std::string_view text, std::size_t *len)
{
    std::size_t n = 0;
    std::uint32_t v = 0;
    while (n < text.size() && n < 10 && text[n] >= '0' && text[n] <= '9')
        v = v * 10 + static_cast<std::uint32_t>(text[n++] - '0');
    *len = n;
    return n == 0 || n > 9 ? NOT_A_NUMBER : v;
}

std::uint32_t number_key(std::string_view text)
{
    std::size_t len;
    std::uint32_t v = leading_number(text, &len);
    return len == text.size() ? v : NOT_A_NUMBER;
}

std::uint64_t mac_key(std::string_view mac)
{
    if (!mac_text_valid(mac))
        return NOT_A_MAC;
    std::uint64_t v = 0;
    for (char c : mac)
        if (c != '.')
            v = v << 4 | static_cast<std::uint64_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    return v;
}

// Port order: eth-S-P by slot, then port; aggN by number; others by text.
void intf_key(std::string_view name, list_row *r)
{
    r->intf_class = 2;
    r->intf_a = r->intf_b = 0;
    std::size_t len;
    if (name.starts_with("eth-")) {
        name.remove_prefix(4);
        std::uint32_t slot = leading_number(name, &len);
        if (slot == NOT_A_NUMBER || len >= name.size() || name[len] != '-')
            return;
        name.remove_prefix(len + 1);   // not substr(): see intf_name_valid
        std::uint32_t port = number_key(name);
        if (port == NOT_A_NUMBER)
            return;
        r->intf_a = slot;
        r->intf_b = port;
        r->intf_class = 0;
    } else if (name.starts_with("agg")) {
        name.remove_prefix(3);
        std::uint32_t n = number_key(name);
        if (n != NOT_A_NUMBER) {
            r->intf_a = n;
            r->intf_class = 1;
        }
    }
}

template <std::size_t N> bool copy_word(char (&field)[N], std::string_view word)
{
    if (word.size() >= N)
        return false;
    std::memcpy(field, word.data(), word.size());
    field[word.size()] = '\0';
    return true;
}

// Up to four blank-separated words of line; how many there were.
int split_words(const char *line, std::string_view (&words)[4])
{
    int n = 0;
    const char *p = line;
    while (n < 4) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p == '\0' || *p == '\n' || *p == '\r')
            break;
        const char *start = p;
        while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
        words[n++] = std::string_view(start, static_cast<std::size_t>(p - start));
    }
    return n;
}

// Takes one line of the table's rows: a row that passes the filters goes
// into the table. false when a row does not fit its fields.
bool take_row(const char *line, const list_filter &f, row_table *t)
{
    std::string_view w[4];
    // Lines of fewer than four words, and the CLI's messages, are not rows.
    if (split_words(line, w) != 4 || w[0][0] == '%')
        return true;
    if (f.intf && w[3] != f.intf)
        return true;
    if (f.by_mac && w[1] != f.mac)
        return true;
    if (t->count == LIST_ROWS_MAX) {
        t->over = true;
        return true;
    }
    list_row &r = t->rows[t->count];
    if (!copy_word(r.vlan, w[0]) || !copy_word(r.mac, w[1]) || !copy_word(r.type, w[2]) ||
        !copy_word(r.intf, w[3]))
        return false;
    r.mac_key = mac_key(w[1]);
    r.vlan_key = number_key(w[0]);
    intf_key(w[3], &r);
    ++t->count;
    return true;
}

// What one reading of the run's answer found. The port listing comes first,
// its lines indented (" Interface name : eth-0-1") or empty; the table's
// part starts with the first line at the margin: its header, or the CLI's
// refusal of the show command.
struct answer_parts {
    int ports = 0;         // port names taken
    int table_lines = 0;   // lines of the table's part, header included
    bool refused = false;  // the table's part opens with an error line
    bool taken = true;     // every name stored, every row fit
};

bool read_answer(const list_filter &f, row_table *t, answer_parts *a, bool ports_first = true)
{
    line_reader r(cli_result_path());
    if (!r.ok())
        return false;
    char line[CLI_LINE_SIZE];
    while (r.next(line)) {
        bool indented = line[0] == ' ' || line[0] == '\t' || line[0] == '\n' || line[0] == '\r';
        if (ports_first && a->table_lines == 0 && indented) {
            a->taken = intf_line_parse(&a->ports, line) == 0 && a->taken;
            continue;
        }
        if (a->table_lines++ == 0)
            a->refused = std::strchr(line, '%') != nullptr;
        if (a->table_lines > LISTING_HEADER_LINES && !a->refused)
            a->taken = take_row(line, f, t) && a->taken;
    }
    return !r.failed();
}

int compare_text_keyed(std::uint64_t ka, std::uint64_t kb, const char *a, const char *b, bool keyed)
{
    if (ka != kb)
        return ka < kb ? -1 : 1;
    return keyed ? 0 : std::strcmp(a, b);
}

int compare_mac(const list_row &a, const list_row &b)
{
    return compare_text_keyed(a.mac_key, b.mac_key, a.mac, b.mac, a.mac_key != NOT_A_MAC);
}

int compare_vlan(const list_row &a, const list_row &b)
{
    return compare_text_keyed(a.vlan_key, b.vlan_key, a.vlan, b.vlan, a.vlan_key != NOT_A_NUMBER);
}

int compare_intf(const list_row &a, const list_row &b)
{
    std::uint64_t ka = std::uint64_t{a.intf_class} << 62 | std::uint64_t{a.intf_a} << 31 | a.intf_b;
    std::uint64_t kb = std::uint64_t{b.intf_class} << 62 | std::uint64_t{b.intf_a} << 31 | b.intf_b;
    return compare_text_keyed(ka, kb, a.intf, b.intf, a.intf_class != 2);
}

// a before b in the view's order, ties by VLAN, then MAC, then the CLI's order.
bool row_before(const list_view &v, const row_table &t, std::uint16_t ia, std::uint16_t ib)
{
    const list_row &a = t.rows[ia], &b = t.rows[ib];
    int c = 0;
    switch (v.sort) {
    case list_sort::mac:
        c = compare_mac(a, b);
        break;
    case list_sort::vlan:
        c = compare_vlan(a, b);
        break;
    case list_sort::intf:
        c = compare_intf(a, b);
        break;
    case list_sort::cli:
        break;
    }
    if (c == 0)
        c = compare_vlan(a, b);
    if (c == 0)
        c = compare_mac(a, b);
    if (c == 0)
        c = ia < ib ? -1 : ia > ib ? 1 : 0;
    return v.desc ? c > 0 : c < 0;
}

bool set_number(const char *key, long n)
{
    char text[24];
    std::snprintf(text, sizeof text, "%ld", n);
    return cgi_set(web_cgi, key, text);
}

// The page the view shows, clamped to the pages there are.
struct page_span {
    int page, pages, first, last;   // first and last: row numbers, from 1
};

page_span span_of(const list_view &v, int count)
{
    page_span s;
    s.pages = count == 0 ? 1 : (count + v.per_page - 1) / v.per_page;
    s.page = std::min(v.page, s.pages);
    s.first = count == 0 ? 0 : (s.page - 1) * v.per_page + 1;
    s.last = std::min(s.page * v.per_page, count);
    return s;
}

// Sets key to the link query of view w: filterquery and w's tail.
bool set_link(const char *key, const char *filterquery, const list_view &w)
{
    char tail[LIST_VIEW_QUERY_SIZE], link[LINK_SIZE];
    list_view_query(w, true, tail);
    int n = std::snprintf(link, sizeof link, "%s%s", filterquery, tail);
    return n >= 0 && static_cast<std::size_t>(n) < sizeof link && cgi_set(web_cgi, key, link);
}

// The view's values and the links of its pager and column heads.
bool store_view(const list_view &v, const page_span &s, int count, const char *filterquery)
{
    bool ok = set_number("view.count", count) && set_number("view.first", s.first) &&
              set_number("view.last", s.last) && set_number("view.page", s.page) &&
              set_number("view.pages", s.pages) && set_number("view.per_page", v.per_page) &&
              cgi_set(web_cgi, "view.sort", SORT_WORDS[static_cast<int>(v.sort)].data()) &&
              cgi_set(web_cgi, "view.order", v.desc ? "desc" : "asc");
    for (std::size_t i = 0; i < std::size(LIST_PER_PAGE_CHOICES); ++i) {
        char key[KEY_BUF_SIZE];
        std::snprintf(key, sizeof key, "view.choices.%zu", i);
        ok = ok && set_number(key, LIST_PER_PAGE_CHOICES[i]);
    }
    const struct { const char *key; int page; bool shown; } pager[] = {
        {"view.link.first", 1, s.page > 1}, {"view.link.prev", s.page - 1, s.page > 1},
        {"view.link.next", s.page + 1, s.page < s.pages}, {"view.link.last", s.pages, s.page < s.pages},
    };
    for (const auto &p : pager) {
        list_view w = v;
        w.page = p.page;
        ok = ok && (!p.shown || set_link(p.key, filterquery, w));
    }
    // A column head sorts by its column from the first page, and reverses
    // the order when its column is the one sorted by.
    for (list_sort col : {list_sort::mac, list_sort::vlan, list_sort::intf}) {
        char key[KEY_BUF_SIZE];
        list_view w = v;
        w.sort = col;
        w.desc = v.sort == col && !v.desc;
        w.page = 1;
        std::snprintf(key, sizeof key, "view.sortlink.%s", SORT_WORDS[static_cast<int>(col)].data());
        ok = ok && set_link(key, filterquery, w);
        std::snprintf(key, sizeof key, "view.aria.%s", SORT_WORDS[static_cast<int>(col)].data());
        ok = ok && cgi_set(web_cgi, key, v.sort != col ? "none" : v.desc ? "descending" : "ascending");
    }
    return ok;
}

// The rows in the view's order, as indexes into the table.
void view_order(const list_view &v, const row_table &t, std::uint16_t *order)
{
    for (int i = 0; i < t.count; ++i)
        order[i] = static_cast<std::uint16_t>(i);
    if (v.sort != list_sort::cli) {
        std::sort(order, order + t.count,
                  [&](std::uint16_t a, std::uint16_t b) { return row_before(v, t, a, b); });
    }
}

// The rows of the view's page, each under its row number in the whole view.
bool store_page(const list_view &v, const row_table &t, const page_span &s)
{
    std::uint16_t order[LIST_ROWS_MAX];
    view_order(v, t, order);
    for (int n = s.first; n >= 1 && n <= s.last; ++n) {
        const list_row &r = t.rows[order[n - 1]];
        if (mac_entry_store(n, r.mac, r.vlan, r.type, r.intf) != 0)
            return false;
    }
    return true;
}

// A row the add page takes back as it is: a MAC (written in lower case), a
// VLAN and a port name in their grammar. Nothing else reaches a cell, so no
// cell can start a spreadsheet formula.
bool csv_row(const list_row &r, char *out, std::size_t size)
{
    if (!mac_text_valid(r.mac) || !vlan_text_valid(r.vlan) || !intf_name_valid(r.intf))
        return false;
    int n = std::snprintf(out, size, "%s,%s,%s\r\n", r.mac, r.vlan, r.intf);
    for (char *c = out; c < out + 14; ++c)
        *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return n > 0 && static_cast<std::size_t>(n) < size;
}

// Parses a page number: digits only, from 1; a larger one than an int holds
// is still a page past the last. 1 for anything else.
int page_number(const char *text)
{
    if (!text || *text == '\0')
        return 1;
    long long n = 0;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 1;
        n = std::min<long long>(n * 10 + (*p - '0'), 1 << 30);
    }
    return n >= 1 ? static_cast<int>(n) : 1;
}

} // namespace

list_view list_view_read()
{
    list_view v;
    std::string_view sort = cgi_value(web_cgi, "Query.sort", "");
    for (list_sort s : {list_sort::mac, list_sort::vlan, list_sort::intf})
        if (sort == SORT_WORDS[static_cast<int>(s)])
            v.sort = s;
    v.desc = std::string_view(cgi_value(web_cgi, "Query.order", "")) == "desc";
    std::string_view per_page = cgi_value(web_cgi, "Query.per_page", "");
    for (int choice : LIST_PER_PAGE_CHOICES) {
        char text[8];
        std::snprintf(text, sizeof text, "%d", choice);
        if (per_page == text)
            v.per_page = choice;
    }
    v.page = page_number(cgi_value(web_cgi, "Query.page"));
    return v;
}

void list_view_query(const list_view &v, bool with_page, char *out)
{
    int n = 0;
    if (v.sort != list_sort::cli)
        n = std::snprintf(out, LIST_VIEW_QUERY_SIZE, "&sort=%s", SORT_WORDS[static_cast<int>(v.sort)].data());
    n += std::snprintf(out + n, LIST_VIEW_QUERY_SIZE - static_cast<std::size_t>(n), "&order=%s&per_page=%d",
                       v.desc ? "desc" : "asc", v.per_page);
    if (with_page)
        std::snprintf(out + n, LIST_VIEW_QUERY_SIZE - static_cast<std::size_t>(n), "&page=%d", v.page);
}

int mac_list_view_load(const list_view &v, const char *filterquery)
{
    list_filter filter;
    char cmd[CMD_BUF_SIZE];
    int rc = cli_append_cmd("show interface switchport");
    // A filter no row can pass lists the ports alone: the table is whole, and empty.
    if (rc == 0 && list_filter_read(&filter) && list_command(cmd))
        rc = cli_append_cmd(cmd);
    if (rc == 0)
        rc = cli_exec_show();
    if (rc != 0) {
        cli_failure_note(rc, {});
        return 0;
    }
    return mac_list_view_take(v, filterquery);
}

int mac_list_view_take(const list_view &v, const char *filterquery)
{
    list_filter filter;
    char cmd[CMD_BUF_SIZE];
    bool table_asked = list_filter_read(&filter) && list_command(cmd);
    row_table t;
    answer_parts a;
    int rc = t.rows && read_answer(filter, &t, &a) ? 0 : -1;
    // Both parts, whole: the ports, and the table's header or its refusal.
    bool table_whole = table_asked ? a.refused || a.table_lines >= LISTING_HEADER_LINES : a.table_lines == 0;
    if (rc == 0 && (!a.taken || a.ports == 0 || !table_whole))
        rc = -1;
    if (rc == 0 && !cgi_set(web_cgi, "ports_listed", "1"))
        rc = -1;
    if (rc == 0 && t.over) {
        // Not stored, the page warns that the list is not whole instead.
        set_number("rows_over", LIST_ROWS_MAX);
        return 0;
    }
    page_span s = span_of(v, t.count);
    if (rc == 0 && (!store_page(v, t, s) || !store_view(v, s, t.count, filterquery)))
        rc = -1;
    cli_failure_note(rc, {"ifname", "eth", "agg", "entry", "view", "ports_listed"});
    // Set last: the table is shown, or said to be empty, only when whole.
    if (rc == 0)
        cgi_set(web_cgi, "entries_listed", "1");
    return 0;
}

int mac_list_export(const list_view &v, const char **errid)
{
    list_filter filter;
    char cmd[CMD_BUF_SIZE];
    *errid = "error_export_incomplete";
    // A filter no row can pass: the export is the header alone.
    bool table_asked = list_filter_read(&filter) && list_command(cmd);
    int rc = table_asked ? cli_append_cmd(cmd) : 0;
    if (rc == 0 && table_asked)
        rc = cli_exec_show();
    row_table t;
    answer_parts a;
    if (rc == 0 && table_asked &&
        (!t.rows || !read_answer(filter, &t, &a, false) || !a.taken ||
         !(a.refused || a.table_lines >= LISTING_HEADER_LINES)))
        rc = -1;
    if (rc != 0 || !t.rows)
        return -1;
    if (t.over) {
        *errid = "error_rows_over";
        return -1;
    }
    std::uint16_t order[LIST_ROWS_MAX];
    view_order(v, t, order);
    std::fputs("Content-Type: text/csv; charset=utf-8\r\n"
               "Content-Disposition: attachment; filename=\"static-mac-table.csv\"\r\n", stdout);
    std::printf("%s\r\n\r\nmac,vlan,interface\r\n", NO_STORE_HEADER);
    int left_out = 0;
    for (int i = 0; i < t.count; ++i) {
        char row[sizeof(list_row)];
        if (csv_row(t.rows[order[i]], row, sizeof row))
            std::fputs(row, stdout);
        else
            ++left_out;
    }
    // Said in a line the add page skips, so the file still goes back whole.
    if (left_out > 0)
        std::printf("# %d entries not written: not in the form an add takes\r\n", left_out);
    return 0;
}
