// The listing page's view: one CLI run, its answer read once into one table
// of fixed size, then sorted and cut to a page.
#include "mac_list_view.h"

#include "cgi_value.h"
#include "cli_runner.h"
#include "mac_add.h"
#include "mac_entry.h"
#include "mac_list.h"
#include "mac_table.h"
#include "mac_vouch.h"
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

// One row of the table, and the keys it sorts by. Every row is in the
// switch's grammar (the reader takes no other), so each fits its field.
struct list_row {
    char mac[MAC_TEXT_SIZE];
    char vlan[VLAN_TEXT_SIZE];
    char intf[INTF_TEXT_SIZE];
    std::uint64_t mac_key;   // the 48-bit value
    // Numbers of at most four digits (the grammar's), and the type word by
    // its place among the answer's: a learned table of LIST_ROWS_MAX rows
    // is held in 48 bytes a row.
    std::uint16_t vlan_key;
    std::uint16_t intf_a, intf_b;
    std::uint8_t intf_class; // eth-S-P, aggN, anything else
    std::uint8_t type;       // index into row_table::types
};
static_assert(sizeof(list_row) <= 48);

// The most type words one answer may use ("static", "dynamic" and a few
// more a switch may have); an answer with more is not a table of this kind.
constexpr int TYPE_WORDS_MAX = 8;
constexpr std::size_t TYPE_WORD_SIZE = 16;

constexpr std::uint32_t NOT_A_NUMBER = 0xffffffffu;
// The most interfaces the filter offers; a switch of this class has far fewer.
constexpr int VIEW_PORTS_MAX = 512;

// The view's one table: LIST_ROWS_MAX rows, allocated once; the pages only
// touch the part the rows fill.
struct row_table {
    heap_array<list_row> rows = heap_alloc<list_row>(LIST_ROWS_MAX);
    int count = 0;
    bool over = false;   // more rows passed the filters than it holds
    char types[TYPE_WORDS_MAX][TYPE_WORD_SIZE] = {};
    int type_count = 0;

    // The index of a type word, added when new; -1 when there is no room.
    int type_index(std::string_view word)
    {
        for (int i = 0; i < type_count; ++i)
            if (word == types[i])
                return i;
        if (type_count == TYPE_WORDS_MAX || word.size() >= TYPE_WORD_SIZE)
            return -1;
        std::memcpy(types[type_count], word.data(), word.size());
        return type_count++;
    }
};

// The interfaces the table's rows name, in port order, for the filter's
// choices: the listing needs no port listing of its own.
struct port_choices {
    list_row ports[VIEW_PORTS_MAX];   // name and port-order key only
    int count = 0;
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

// The value of a MAC the table's reader has checked.
std::uint64_t mac_key(std::string_view mac)
{
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
        r->intf_a = static_cast<std::uint16_t>(slot);
        r->intf_b = static_cast<std::uint16_t>(port);
        r->intf_class = 0;
    } else if (name.starts_with("agg")) {
        name.remove_prefix(3);
        std::uint32_t n = number_key(name);
        if (n != NOT_A_NUMBER) {
            r->intf_a = static_cast<std::uint16_t>(n);
            r->intf_class = 1;
        }
    }
}

std::uint64_t port_order_key(const list_row &r)
{
    return std::uint64_t{r.intf_class} << 62 | std::uint64_t{r.intf_a} << 31 | r.intf_b;
}

// Adds the interface of r to the choices, once, in port order.
void port_note(port_choices *p, const list_row &r)
{
    std::uint64_t key = port_order_key(r);
    list_row *end = p->ports + p->count;
    list_row *at = std::lower_bound(p->ports, end, key,
                                    [](const list_row &a, std::uint64_t k) { return port_order_key(a) < k; });
    if ((at != end && port_order_key(*at) == key) || p->count == VIEW_PORTS_MAX)
        return;
    std::memmove(at + 1, at, static_cast<std::size_t>(end - at) * sizeof *at);
    copy_word(at->intf, r.intf);
    at->intf_class = r.intf_class;
    at->intf_a = r.intf_a;
    at->intf_b = r.intf_b;
    ++p->count;
}

// The view's filters, each in the switch's grammar or refused: nothing of
// them reaches a command. The VLAN is matched here, over the whole table,
// so the one show command is always the same.
struct view_filter {
    bool valid = true;
    table_kind kind = table_kind::static_only;
    int mac_group[3] = {-1, -1, -1};   // a group's value, -1 for any
    std::uint32_t vlan = 0;            // 0 for any
    const char *intf = nullptr;        // null for any
};

// One to four hex digits, in either letter case; their value, or -1.
int group_value(std::string_view g)
{
    if (g.empty() || g.size() > 4)
        return -1;
    int v = 0;
    for (char c : g) {
        int d = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
        if (d < 0)
            return -1;
        v = v << 4 | d;
    }
    return v;
}

// Reads the query's filters, marking each field that is not in its grammar
// ("filter_invalid.<field>"). f->valid is false when one is not, or when a
// mark could not be stored.
void view_filter_read(view_filter *f)
{
    auto refuse = [f](const char *field) {
        char key[KEY_BUF_SIZE];
        std::snprintf(key, sizeof key, "filter_invalid.%s", field);
        f->valid = false;
        cgi_set(web_cgi, key, "1");
    };
    const char *const groups[3] = {"addr0", "addr1", "addr2"};
    for (int i = 0; i < 3; ++i) {
        char key[KEY_BUF_SIZE];
        std::snprintf(key, sizeof key, "Query.%s", groups[i]);
        std::string_view g = cgi_value(web_cgi, key, "");
        if (!g.empty() && (f->mac_group[i] = group_value(g)) < 0)
            refuse(groups[i]);
    }
    std::string_view vlan = cgi_value(web_cgi, "Query.vlan", "");
    if (!vlan.empty()) {
        if (vlan_text_valid(vlan))
            f->vlan = number_key(vlan);
        else
            refuse("vlan");
    }
    std::string_view type = cgi_value(web_cgi, "Query.type", "");
    const auto *kind = std::find(std::begin(TABLE_KIND_WORDS), std::end(TABLE_KIND_WORDS), type);
    if (kind != std::end(TABLE_KIND_WORDS))
        f->kind = static_cast<table_kind>(kind - std::begin(TABLE_KIND_WORDS));
    else if (!type.empty())
        refuse("type");
    // "0" and "all" are how a form asks for every interface.
    const char *intf = cgi_value(web_cgi, "Query.intf_name", "");
    std::string_view i = intf;
    if (!i.empty() && i != "0" && i != "all") {
        if (intf_name_valid(i))
            f->intf = intf;
        else
            refuse("intf_name");
    }
}

bool passes(const view_filter &f, const list_row &r)
{
    if (f.vlan && r.vlan_key != f.vlan)
        return false;
    if (f.intf && std::strcmp(r.intf, f.intf) != 0)
        return false;
    for (int i = 0; i < 3; ++i)
        if (f.mac_group[i] >= 0 && static_cast<int>(r.mac_key >> (32 - 16 * i) & 0xffff) != f.mac_group[i])
            return false;
    return true;
}

// One reading of the table's answer into the view: the rows that pass the
// filters, and the interfaces of every row.
struct table_taker {
    const view_filter &f;
    row_table &t;
    port_choices *ports;   // null when the choices are not wanted

    bool operator()(const table_row &w)
    {
        list_row r;
        copy_word(r.vlan, w.vlan);
        copy_word(r.mac, w.mac);
        int type = t.type_index(w.type);
        if (type < 0)
            return false;
        r.type = static_cast<std::uint8_t>(type);
        copy_word(r.intf, w.intf);
        r.mac_key = mac_key(w.mac);
        r.vlan_key = static_cast<std::uint16_t>(number_key(w.vlan));
        intf_key(w.intf, &r);
        if (ports)
            port_note(ports, r);
        if (!passes(f, r))
            return true;
        if (t.count == LIST_ROWS_MAX) {
            t.over = true;
            return true;
        }
        t.rows[t.count++] = r;
        return true;
    }
};

// The interface choices, and the one filtered on even when no row names it,
// under one numbering as the add form's ports are.
bool store_ports(port_choices *p, const view_filter &f)
{
    if (f.intf) {
        list_row r;
        copy_word(r.intf, f.intf);
        intf_key(f.intf, &r);
        port_note(p, r);
    }
    for (int i = 0; i < p->count; ++i)
        if (intf_name_store(i, p->ports[i].intf) != 0)
            return false;
    return true;
}

int compare_key(std::uint64_t ka, std::uint64_t kb)
{
    return ka == kb ? 0 : ka < kb ? -1 : 1;
}

// The table's reader has held each MAC and VLAN to the grammar: their keys are exact.
int compare_mac(const list_row &a, const list_row &b)
{
    return compare_key(a.mac_key, b.mac_key);
}

int compare_vlan(const list_row &a, const list_row &b)
{
    return compare_key(a.vlan_key, b.vlan_key);
}

// Ports by slot and port, aggregates by number; any other name by its text.
int compare_intf(const list_row &a, const list_row &b)
{
    int c = compare_key(port_order_key(a), port_order_key(b));
    return c != 0 || a.intf_class != 2 ? c : std::strcmp(a.intf, b.intf);
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

// The rows of the view's page, each under its row number in the whole view,
// and, for a session that may change the table, each row's voucher.
bool store_page(const list_view &v, const row_table &t, const page_span &s, const char *session)
{
    std::uint16_t order[LIST_ROWS_MAX];
    view_order(v, t, order);
    vouch_key key;
    if (session && s.first >= 1)
        vouch_key_load(key);
    for (int n = s.first; n >= 1 && n <= s.last; ++n) {
        const list_row &r = t.rows[order[n - 1]];
        const char *type = t.types[r.type];
        if (mac_entry_store(n, r.mac, r.vlan, type, r.intf) != 0)
            return false;
        char voucher[VOUCH_TEXT_SIZE], field[KEY_BUF_SIZE];
        if (!vouch_make(key, session ? session : "", type, r.mac, r.vlan, r.intf, voucher))
            continue;
        row_key(field, "entry", n, "vouch");
        if (!cgi_set(web_cgi, field, voucher))
            return false;
    }
    return true;
}

// A row as the add page takes it back: the MAC in lower case, the VLAN and
// the port name, each in its grammar (the reader takes no other row), so no
// cell can start a spreadsheet formula.
void csv_row(const list_row &r, char *out, std::size_t size)
{
    std::snprintf(out, size, "%s,%s,%s\r\n", r.mac, r.vlan, r.intf);
    for (char *c = out; c < out + MAC_TEXT_SIZE - 1; ++c)
        *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
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

namespace {

// Takes the result file as the answer of the listing's run, read with the
// filters the request gave.
void take_answer(const view_filter &filter, const list_view &v, const char *filterquery, const char *session)
{
    row_table t;
    heap_array<port_choices> ports = heap_alloc<port_choices>(1);
    if (ports)
        ports[0].count = 0;
    table_taker take = {filter, t, ports.get()};
    int rc = filter.valid && t.rows && ports && table_read(take) ? 0 : -1;
    if (rc == 0 && (!store_ports(ports.get(), filter) || !cgi_set(web_cgi, "ports_listed", "1")))
        rc = -1;
    if (rc == 0 && t.over) {
        // Not stored, the page warns that the list is not whole instead.
        set_number("rows_over", LIST_ROWS_MAX);
        return;
    }
    page_span s = span_of(v, t.count);
    if (rc == 0 && (!store_page(v, t, s, session) || !store_view(v, s, t.count, filterquery)))
        rc = -1;
    cli_failure_note(rc, {"ifname", "eth", "agg", "entry", "view", "ports_listed"});
    // Set last: the table is shown, or said to be empty, only when whole.
    if (rc == 0)
        cgi_set(web_cgi, "entries_listed", "1");
}

} // namespace

int mac_list_view_load(const list_view &v, const char *filterquery, const char *session)
{
    view_filter filter;
    view_filter_read(&filter);
    // A filter not in its grammar asks the switch nothing: the page marks it.
    if (!filter.valid) {
        cgi_set(web_cgi, "filter_invalid", "1");
        return 0;
    }
    // The page's title and its buttons follow the kind shown.
    if (!cgi_set(web_cgi, "list_type", TABLE_KIND_WORDS[static_cast<int>(filter.kind)])) {
        cli_failure_note(-1, {});
        return 0;
    }
    int rc = cli_append_cmd(TABLE_SHOW_CMDS[static_cast<int>(filter.kind)]);
    if (rc == 0)
        rc = cli_exec_show();
    if (rc != 0) {
        cli_failure_note(rc, {});
        return 0;
    }
    take_answer(filter, v, filterquery, session);
    return 0;
}

int mac_list_view_take(const list_view &v, const char *filterquery, const char *session)
{
    view_filter filter;
    view_filter_read(&filter);
    take_answer(filter, v, filterquery, session);
    return 0;
}

int mac_list_export(const list_view &v, const char **errid)
{
    view_filter filter;
    view_filter_read(&filter);
    if (!filter.valid) {
        *errid = INVALID_PARAMETER;
        return -1;
    }
    *errid = "error_export_incomplete";
    int rc = cli_append_cmd(TABLE_SHOW_CMDS[static_cast<int>(filter.kind)]);
    if (rc == 0)
        rc = cli_exec_show();
    row_table t;
    table_taker take = {filter, t, nullptr};
    // A refusal, a message or anything else in the answer: no export at all,
    // never a shorter file that would empty the table when loaded back.
    if (rc != 0 || !t.rows || !table_read(take))
        return -1;
    if (t.over) {
        *errid = "error_rows_over";
        return -1;
    }
    std::uint16_t order[LIST_ROWS_MAX];
    view_order(v, t, order);
    std::printf("Content-Type: text/csv; charset=utf-8\r\n"
                "Content-Disposition: attachment; filename=\"%s-mac-table.csv\"\r\n",
                TABLE_KIND_WORDS[static_cast<int>(filter.kind)]);
    std::printf("%s\r\n\r\nmac,vlan,interface\r\n", NO_STORE_HEADER);
    for (int i = 0; i < t.count; ++i) {
        char row[sizeof(list_row)];
        csv_row(t.rows[order[i]], row, sizeof row);
        std::fputs(row, stdout);
    }
    return 0;
}
