// The grammar of an entry's parts, row keys, and the configuration run the
// static MAC pages' changes go through.
#include "mac_entry.h"

#include "cgi_value.h"
#include "mac_table.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// The hex digits, by byte: every row of a table's answer is checked with
// it, so it is one load a character.
constexpr auto HEX_DIGITS = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[static_cast<std::size_t>(c)] = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    return t;
}();

bool is_hex(char c)
{
    return HEX_DIGITS[static_cast<unsigned char>(c)];
}

// A decimal number of one to three digits with no leading zero, at the
// start of text; its length, or 0.
std::size_t small_number(std::string_view text)
{
    std::size_t n = 0;
    while (n < text.size() && n < 4 && text[n] >= '0' && text[n] <= '9')
        ++n;
    if (n == 0 || n > 3 || (n > 1 && text[0] == '0'))
        return 0;
    return n;
}

bool is_alnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Characters that join with letters and digits into one word of a CLI line:
// "eth-1-1", "0/1", "00e0.fc00.0001" are each one word.
bool joins_word(char c)
{
    return is_alnum(c) || c == '-' || c == '_' || c == '/' || c == '.' || c == ':';
}

// true when the len bytes at at in line stand as a word of their own: what
// comes before is no part of a word, and what comes after is a blank, the
// line's end, or a stop (".", ",", ":", ";", ")") that ends the word.
bool is_own_word(const char *line, const char *at, std::size_t len)
{
    if (at > line && joins_word(at[-1]))
        return false;
    const char *after = at + len;
    if ((*after == '.' || *after == ':') && !joins_word(after[1]))
        return true;
    return !joins_word(*after);
}

// true when vlan stands in line as a word of its own.
bool names_vlan(const char *line, const char *vlan)
{
    std::size_t vlan_len = std::strlen(vlan);
    for (const char *v = std::strstr(line, vlan); v; v = std::strstr(v + 1, vlan))
        if (is_own_word(line, v, vlan_len))
            return true;
    return false;
}

// The table's rows as one question answers them: which entries of a change
// it holds, on their own interface.
struct held_entries {
    const entry_change *entries;
    const int *order;   // entries by MAC, then VLAN
    int count;
    bool *held;
    char (*held_on)[INTF_TEXT_SIZE];   // where the table holds each MAC and VLAN

    bool operator()(const table_row &row)
    {
        char mac[MAC_TEXT_SIZE];
        for (std::size_t i = 0; i < row.mac.size(); ++i)
            mac[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(row.mac[i])));
        mac[MAC_TEXT_SIZE - 1] = '\0';
        const int *first = std::lower_bound(order, order + count, mac, [&](int e, const char *m) {
            return std::strcmp(entries[e].mac, m) < 0;
        });
        for (const int *e = first; e < order + count && std::strcmp(entries[*e].mac, mac) == 0; ++e) {
            if (row.vlan != entries[*e].vlan || row.intf.size() >= INTF_TEXT_SIZE)
                continue;
            held[*e] = held[*e] || row.intf == entries[*e].intf;
            copy_word(held_on[*e], row.intf);
        }
        return true;
    }
};

// A refusal's text, or the id of one that says nothing.
const char *refusal_text(const char *said)
{
    for (const char *c = said; *c; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n')
            return said;
    return CLI_REFUSED_TEXT;
}

// Asks the switch for its whole table and marks each entry it holds. false
// when the question could not be asked or its answer is not whole.
bool read_back(const entry_change *entries, int count, int *order, bool *held, char (*held_on)[INTF_TEXT_SIZE])
{
    for (int i = 0; i < count; ++i) {
        order[i] = i;
        held[i] = false;
        held_on[i][0] = '\0';
    }
    std::sort(order, order + count, [&](int a, int b) { return std::strcmp(entries[a].mac, entries[b].mac) < 0; });
    if (cli_append_cmd(TABLE_SHOW_CMD) != 0 || cli_exec_show_within(CHANGE_READ_BACK_MS) != 0)
        return false;
    held_entries h = {entries, order, count, held, held_on};
    return table_read(h);
}

} // namespace

bool mac_text_valid(std::string_view mac)
{
    if (mac.size() != MAC_TEXT_SIZE - 1 || mac[4] != '.' || mac[9] != '.')
        return false;
    bool hex = true;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13})
        hex &= is_hex(mac[i]);
    return hex;
}

bool vlan_text_valid(std::string_view vlan)
{
    if (vlan.empty() || vlan.size() > 4 || vlan[0] == '0')
        return false;
    int v = 0;
    for (char c : vlan) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    return v <= 4094;
}

bool intf_name_valid(std::string_view name)
{
    // remove_prefix, not substr(): its range check alone would link the C++
    // exception runtime into the pages.
    auto whole_number = [](std::string_view text) { return !text.empty() && small_number(text) == text.size(); };
    if (name.starts_with("agg")) {
        name.remove_prefix(3);
        return whole_number(name);
    }
    if (!name.starts_with("eth-"))
        return false;
    name.remove_prefix(4);
    std::size_t slot = small_number(name);
    if (slot == 0 || slot >= name.size() || name[slot] != '-')
        return false;
    name.remove_prefix(slot + 1);
    return whole_number(name);
}

int words_split(std::string_view text, std::string_view *words, int n)
{
    int count = 0;
    while (!text.empty()) {
        std::size_t blank = std::min(text.find(' '), text.size());
        if (count == n || blank == 0)
            return -1;
        words[count++] = std::string_view(text.data(), blank);
        // Not substr(): its range check alone would link the C++ exception
        // runtime into the pages.
        text.remove_prefix(blank == text.size() ? blank : blank + 1);
    }
    return count;
}

bool selections_each(bool (*take)(void *ctx, const char *value), void *ctx)
{
    // "sel" once is a value; named more than once, the values are its children.
    HDF *sel = hdf_get_obj(web_cgi->hdf, "Query.sel");
    HDF *many = sel ? hdf_obj_child(sel) : nullptr;
    if (!sel)
        return false;
    for (HDF *v = many ? many : sel; v; v = many ? hdf_obj_next(v) : nullptr) {
        const char *text = hdf_obj_value(v);
        if (!text || !take(ctx, text))
            return false;
    }
    return true;
}

// Built for every row a page shows, where snprintf would cost more than the
// rest of the row's work.
void row_key(char (&key)[KEY_BUF_SIZE], std::string_view group, int num, std::string_view field)
{
    char digits[12];
    std::size_t nd = 0;
    // As "%d" writes it: a negative number keeps its sign.
    unsigned v = num < 0 ? 0u - static_cast<unsigned>(num) : static_cast<unsigned>(num);
    do
        digits[nd++] = static_cast<char>('0' + v % 10);
    while ((v /= 10) != 0);
    if (num < 0)
        digits[nd++] = '-';
    std::size_t len = 0;
    auto put = [&](char c) {
        if (len + 1 < sizeof key)
            key[len++] = c;
    };
    for (char c : group)
        put(c);
    put('.');
    while (nd > 0)
        put(digits[--nd]);
    put('.');
    for (char c : field)
        put(c);
    key[len] = '\0';
}

const char *audit_reason(const char *err)
{
    const bool page_id = std::strncmp(err, "%cli_", 5) == 0 || std::strcmp(err, "%configure_mode_inuse") == 0;
    return page_id ? err + 1 : err;
}

void cli_failure_note(int rc, std::initializer_list<const char *> partial)
{
    if (rc == 0)
        return;
    for (const char *key : partial) {
        NEOERR *err = hdf_remove_tree(web_cgi->hdf, key);
        nerr_ignore(&err);
    }
    // What the page shows is decided by the markers set after a whole
    // answer; this value only tells a reader of the data set why.
    cgi_set(web_cgi, "cli_failed", "1");
}

const char *error_lines_attribute(const cli_error_lines &lines, const entry_ref *entries, int count,
                                  const char **naming, int *order)
{
    for (int i = 0; i < count; ++i) {
        naming[i] = nullptr;
        order[i] = i;
    }
    // By MAC, so that a line finds its entries without a pass over all.
    auto by_mac = [&](int a, int b) { return std::strcmp(entries[a].mac, entries[b].mac) < 0; };
    std::sort(order, order + count, by_mac);
    const char *unnamed = lines.count > lines.max && lines.max > 0 ? std::strchr(lines.lines[0], '%') + 1 : nullptr;
    for (int k = 0; k < lines.count && k < lines.max; ++k) {
        const char *line = lines.lines[k];
        bool named = false;
        // Every place where a MAC in the switch's form stands in the line.
        std::size_t len = std::strlen(line);
        for (std::size_t at = 0; at + MAC_TEXT_SIZE - 1 <= len; ++at) {
            const char *p = line + at;
            if (p[4] != '.' || p[9] != '.' || !mac_text_valid(std::string_view(p, MAC_TEXT_SIZE - 1)) ||
                !is_own_word(line, p, MAC_TEXT_SIZE - 1))
                continue;
            char mac[MAC_TEXT_SIZE];
            for (std::size_t i = 0; i < MAC_TEXT_SIZE - 1; ++i)
                mac[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[i])));
            mac[MAC_TEXT_SIZE - 1] = '\0';
            entry_ref key = {mac, nullptr};
            int *first = std::lower_bound(order, order + count, -1, [&](int a, int) {
                return std::strcmp(entries[a].mac, key.mac) < 0;
            });
            for (int *e = first; e < order + count && std::strcmp(entries[*e].mac, mac) == 0; ++e) {
                if (names_vlan(line, entries[*e].vlan)) {
                    naming[*e] = naming[*e] ? naming[*e] : std::strchr(line, '%') + 1;
                    named = true;
                }
            }
        }
        if (!named && !unnamed)
            unnamed = std::strchr(line, '%') + 1;
    }
    return unnamed;
}

namespace {

// The room a run's answer needs only when it is not a plain acceptance:
// which line names each entry, and which the table holds.
struct change_scratch {
    heap_array<entry_ref> refs;
    heap_array<const char *> naming;
    heap_array<int> order;
    heap_array<bool> held;
    heap_array<char[INTF_TEXT_SIZE]> held_on;

    bool alloc(std::size_t n)
    {
        refs = heap_alloc<entry_ref>(n);
        naming = heap_alloc<const char *>(n);
        order = heap_alloc<int>(n);
        held = heap_alloc<bool>(n);
        held_on = heap_alloc<char[INTF_TEXT_SIZE]>(n);
        return refs && naming && order && held && held_on;
    }
};

void all_outcomes(change_result *r, int count, audit_result result, const char *reason)
{
    for (int i = 0; i < count; ++i)
        r->outcomes[i] = {result, reason, audit_known::cli, ""};
}

// An answer in doubt: the switch's table decides each entry, a line that
// names one keeping its word for an entry the table shows unchanged. When
// the table cannot be read either, the entries no line names stay unknown
// (doubt: why).
void settle_by_table(change_kind kind, const entry_change *entries, int count, const char *doubt,
                     change_scratch &s, change_result *r)
{
    r->read_back = read_back(entries, count, s.order.get(), s.held.get(), s.held_on.get());
    for (int i = 0; i < count; ++i) {
        const char *naming = s.naming[i];
        change_outcome &o = r->outcomes[i];
        if (!r->read_back) {
            o = naming ? change_outcome{audit_result::refused, naming, audit_known::cli, ""}
                       : change_outcome{audit_result::unknown, doubt, audit_known::cli, ""};
            continue;
        }
        bool made = kind == change_kind::add ? s.held[i] : !s.held[i] && !naming;
        o = made ? change_outcome{audit_result::ok, nullptr, audit_known::table, ""}
                 : change_outcome{audit_result::refused, naming ? naming : CLI_NOT_APPLIED, audit_known::table, ""};
        std::memcpy(o.held_on, s.held_on[i], sizeof o.held_on);
    }
    // Said of the run only while an entry's outcome stays unknown.
    if (std::none_of(r->outcomes.get(), r->outcomes.get() + count,
                     [](const change_outcome &o) { return o.result == audit_result::unknown; }))
        r->failure[0] = '\0';
}

} // namespace

bool change_run(change_kind kind, const entry_change *entries, int count, change_result *r)
{
    const std::size_t n = static_cast<std::size_t>(count) + 1;
    r->outcomes = heap_alloc<change_outcome>(n);
    r->lines = heap_alloc<char[CLI_LINE_SIZE]>(n);
    r->failure[0] = '\0';
    r->read_back = false;
    if (!r->outcomes || !r->lines)
        return false;
    int rc = 0;
    for (int i = 0; i < count && rc == 0; ++i)
        rc = cli_append_cmd(entries[i].cmd);
    if (rc == 0)
        rc = cli_exec_config();
    if (rc == CLI_RUN_UNAVAILABLE) {   // a failed append included: nothing ran
        std::snprintf(r->failure, sizeof r->failure, "%s", cli_failure_text(CLI_RUN_UNAVAILABLE));
        all_outcomes(r, count, audit_result::failed, r->failure);
        return true;
    }
    // Whatever its status, an answer kept whole is read: its error lines
    // speak for the entries they name.
    cli_error_lines lines = {r->lines.get(), count + 1, 0};
    char first[CLI_ERROR_SIZE];
    cli_verdict v = rc == 0 || rc == CLI_RUN_FAILING ? cli_config_verdict(first, sizeof first, &lines)
                                                     : cli_verdict::unread;
    if (rc == 0 && v == cli_verdict::accepted) {
        all_outcomes(r, count, audit_result::ok, nullptr);
        return true;
    }
    if (rc == 0 && v == cli_verdict::refused && std::strcmp(first, "%configure_mode_inuse") == 0) {
        // Another user holds configuration mode: nothing ran.
        std::snprintf(r->failure, sizeof r->failure, "%s", first);
        all_outcomes(r, count, audit_result::refused, r->failure);
        return true;
    }
    std::snprintf(r->failure, sizeof r->failure, "%s", cli_failure_text(rc != 0 ? rc : CLI_RUN_NO_ANSWER));
    change_scratch s;
    if (!s.alloc(n)) {
        all_outcomes(r, count, audit_result::unknown, r->failure);
        return true;
    }
    for (int i = 0; i < count; ++i) {
        s.refs[i] = {entries[i].mac, entries[i].vlan};
        s.naming[i] = nullptr;
    }
    const char *unnamed = v == cli_verdict::refused
                              ? error_lines_attribute(lines, s.refs.get(), count, s.naming.get(), s.order.get())
                              : nullptr;
    // One command: whatever its lines say, they answer it.
    if (count == 1 && unnamed) {
        s.naming[0] = s.naming[0] ? s.naming[0] : refusal_text(unnamed);
        unnamed = nullptr;
    }
    if (rc == 0 && v != cli_verdict::unread && !unnamed) {
        r->failure[0] = '\0';
        for (int i = 0; i < count; ++i)
            r->outcomes[i] = s.naming[i] ? change_outcome{audit_result::refused, s.naming[i], audit_known::cli, ""}
                                         : change_outcome{audit_result::ok, nullptr, audit_known::cli, ""};
        return true;
    }
    settle_by_table(kind, entries, count, unnamed ? unnamed : r->failure, s, r);
    return true;
}

bool table_where(const char *mac, const char *vlan, char (&intf)[INTF_TEXT_SIZE])
{
    const entry_change entry = {mac, "", vlan, nullptr};
    int order;
    bool held;
    return read_back(&entry, 1, &order, &held, &intf);
}

const char *change_error(const change_result &r, int count)
{
    if (r.failure[0] != '\0')
        return r.failure;
    for (int i = 0; i < count; ++i)
        if (r.outcomes[i].result != audit_result::ok)
            return r.outcomes[i].reason;
    return nullptr;
}
