// Static entry form data, the add command and the static address listing.
#include "mac_static.h"

#include "audit_log.h"
#include "cgi_value.h"
#include "cli_runner.h"
#include "line_reader.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace {

constexpr std::size_t CMD_BUF_SIZE = 256;
constexpr std::size_t KEY_BUF_SIZE = 128;
constexpr std::size_t WORD_BUF_SIZE = 256;
constexpr std::size_t MAC_TEXT_SIZE = 15;    // "xxxx.xxxx.xxxx"
constexpr std::size_t VLAN_TEXT_SIZE = 5;    // "4094"
constexpr int LISTING_HEADER_LINES = 6;

static_assert(ERR_TEXT_SIZE >= CLI_ERROR_SIZE, "err_text holds whatever error text the runner writes");

constexpr char INVALID_PARAMETER[] = "invalid_parameter";
constexpr char TOO_MANY_ENTRIES[] = "error_too_many_entries";
constexpr std::array<const char *, 5> LIST_FILTERS = {"addr0", "addr1", "addr2", "intf_name", "vlan"};

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Three groups of four hex digits joined by dots.
bool mac_text_valid(std::string_view mac)
{
    if (mac.size() != 14)
        return false;
    for (std::size_t i = 0; i < mac.size(); ++i)
        if (i == 4 || i == 9 ? mac[i] != '.' : !is_hex(mac[i]))
            return false;
    return true;
}

// A VLAN as the switch writes it: 1 to 4094, decimal, no leading zero.
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

// "<group>.<num>.<field>" into key: the HDF key of a row's field. It is built
// for every line of a listing, where snprintf would cost more than the rest
// of the line's work.
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

// One of the names the interface listing stored for the form.
bool intf_listed(std::string_view name)
{
    for (const char *group : {"eth", "agg"})
        for (HDF *port = hdf_obj_child(hdf_get_obj(web_cgi->hdf, group)); port; port = hdf_obj_next(port))
            if (const char *listed = hdf_get_value(port, "name", nullptr); listed && name == listed)
                return true;
    return false;
}

// One entry of a removal: the command, and its parts for the audit record
// and for telling which of the CLI's error lines answers it.
struct removal {
    char mac[MAC_TEXT_SIZE];   // lower case
    char intf[CMD_BUF_SIZE];
    char vlan[VLAN_TEXT_SIZE];
    char cmd[CMD_BUF_SIZE];
};

// A removal from "<MAC> <interface> <VLAN>"; false when the value is not
// exactly that. The MAC goes into the command in lower case, so that one
// entry written in two letter cases is one command.
bool removal_read(std::string_view sel, removal *r)
{
    std::string_view words[3];
    for (std::string_view &w : words) {
        std::size_t blank = std::min(sel.find(' '), sel.size());
        w = sel.substr(0, blank);
        // Not substr(): its range check alone would link the C++ exception
        // runtime into the pages.
        sel.remove_prefix(blank == sel.size() ? blank : blank + 1);
    }
    if (!sel.empty() || !mac_text_valid(words[0]) || !intf_listed(words[1]) ||
        !vlan_text_valid(words[2]) || words[1].size() >= sizeof r->intf)
        return false;
    for (std::size_t i = 0; i < words[0].size(); ++i)
        r->mac[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0][i])));
    r->mac[words[0].size()] = '\0';
    std::memcpy(r->intf, words[1].data(), words[1].size());
    r->intf[words[1].size()] = '\0';
    std::memcpy(r->vlan, words[2].data(), words[2].size());
    r->vlan[words[2].size()] = '\0';
    int len = std::snprintf(r->cmd, sizeof r->cmd, "no mac-address-table %s forward %s vlan %s",
                            r->mac, r->intf, r->vlan);
    return len > 0 && static_cast<std::size_t>(len) < sizeof r->cmd && !has_control_char(r->cmd);
}

bool is_listed(const removal *entries, int count, const char *cmd)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(entries[i].cmd, cmd) == 0)
            return true;
    return false;
}

bool is_alnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// true when an error line of the CLI answers this entry: it names the MAC
// (in any letter case) and, apart from it, the VLAN as a number of its own.
// The same MAC in another VLAN, or a line that names the MAC alone, is not
// this entry's answer.
bool line_names(const char *line, const removal &e)
{
    const char *mac = strcasestr(line, e.mac);
    if (!mac)
        return false;
    std::size_t mac_len = std::strlen(e.mac), vlan_len = std::strlen(e.vlan);
    for (const char *v = std::strstr(line, e.vlan); v; v = std::strstr(v + 1, e.vlan)) {
        bool in_mac = v + vlan_len > mac && v < mac + mac_len;
        if (!in_mac && (v == line || !is_alnum(v[-1])) && !is_alnum(v[vlan_len]))
            return true;
    }
    return false;
}

// The listing's filters from the query.
struct list_filter {
    bool by_mac = false;
    char mac[CMD_BUF_SIZE] = {};   // "%s.%s.%s" of the three groups
    const char *intf = nullptr;    // the interface, when it filters
};

// false when the MAC filter does not fit its buffer: a cut filter would
// match other entries.
bool list_filter_read(list_filter *f)
{
    const char *groups[3] = {cgi_value(web_cgi, "Query.addr0"), cgi_value(web_cgi, "Query.addr1"),
                             cgi_value(web_cgi, "Query.addr2")};
    for (const char *g : groups)
        f->by_mac = f->by_mac || (g && *g);
    const char *intf = cgi_value(web_cgi, "Query.intf_name");
    // "0" and "all" are how a form asks for every interface.
    if (intf && intf[0] != '0' && std::strncmp(intf, "all", 3) != 0)
        f->intf = intf;
    if (!f->by_mac)
        return true;
    int len = std::snprintf(f->mac, sizeof f->mac, "%s.%s.%s", groups[0] ? groups[0] : "",
                            groups[1] ? groups[1] : "", groups[2] ? groups[2] : "");
    return len >= 0 && static_cast<std::size_t>(len) < sizeof f->mac;
}

// The show command, narrowed to the query's VLAN. false when it would not
// fit (a cut VLAN asks for another VLAN's entries) or holds a line end (it
// would add a command).
bool list_command(char (&cmd)[CMD_BUF_SIZE])
{
    const char *vlan = cgi_value(web_cgi, "Query.vlan");
    int len = vlan && *vlan ? std::snprintf(cmd, sizeof cmd, "show mac address-table static vlan %s", vlan)
                            : std::snprintf(cmd, sizeof cmd, "show mac address-table static");
    return len >= 0 && static_cast<std::size_t>(len) < sizeof cmd && !has_control_char(cmd);
}

// Stores the result's entries that pass the filter, numbered from 1. false
// when the result could not be read to its end or an entry not stored.
bool list_entries(const list_filter &filter)
{
    line_reader f(cli_result_path());
    if (!f.ok())
        return false;
    char line[CLI_LINE_SIZE];
    int skipped = 0;
    int entries = 0;
    while (f.next(line)) {
        if (skipped < LISTING_HEADER_LINES) {
            ++skipped;
            continue;
        }
        char vid[WORD_BUF_SIZE], mac[WORD_BUF_SIZE], type[WORD_BUF_SIZE], port[WORD_BUF_SIZE];
        // Lines of fewer than four words, and the CLI's messages, are not entries.
        if (std::sscanf(line, "%255s %255s %255s %255s", vid, mac, type, port) != 4 || vid[0] == '%')
            continue;
        if (filter.intf && std::strcmp(port, filter.intf) != 0)
            continue;
        if (filter.by_mac && std::strcmp(mac, filter.mac) != 0)
            continue;
        if (mac_entry_store(++entries, mac, vid, type, port) != 0)
            return false;
    }
    return !f.failed();
}

// A filter no entry can pass: the listing is whole, and empty.
int matches_nothing()
{
    // Not stored, the page warns that the list is not whole: no false list.
    cgi_set(web_cgi, "entries_listed", "1");
    return 0;
}

// A run whose answer is not whole is told to the operator ("cli_failed"),
// and what was read of it is dropped: never a shorter list shown as whole.
void note_cli_failure(int rc, std::initializer_list<const char *> partial)
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

// Runs the commands in one configuration run. 0 when the CLI accepted them
// all; -1 with the reason in err: a failed run's text, or the CLI's first
// error line. A run that did not complete never reads as accepted. *result
// tells the audit trail what became of the commands, and lines, when given,
// gets the error lines of the same reading of the answer.
int config_run(const char *const *cmds, int count, char *err, audit_result *result,
               cli_error_lines *lines = nullptr)
{
    int rc = 0;
    for (int i = 0; i < count && rc == 0; ++i)
        rc = cli_append_cmd(cmds[i]);
    if (rc == 0)
        rc = cli_exec_config();
    if (rc != 0) {
        *result = rc == CLI_RUN_UNAVAILABLE ? audit_result::failed : audit_result::unknown;
        std::snprintf(err, CLI_ERROR_SIZE, "%s", cli_failure_text(rc));
        return -1;
    }
    switch (cli_config_verdict(err, CLI_ERROR_SIZE, lines)) {
    case cli_verdict::accepted:
        *result = audit_result::ok;
        return 0;
    case cli_verdict::refused:
        *result = audit_result::refused;
        return -1;
    case cli_verdict::unread:
        break;
    }
    // The commands ran, but their answer cannot be read: they may or may
    // not have been applied, which is neither a success nor a refusal.
    *result = audit_result::unknown;
    std::snprintf(err, CLI_ERROR_SIZE, "%s", cli_failure_text(CLI_RUN_NO_ANSWER));
    return -1;
}

// The add form's five fields; the entry is asked for only when none is missing.
struct add_form {
    const char *addr[3] = {cgi_value(web_cgi, "Query.addr0"), cgi_value(web_cgi, "Query.addr1"),
                           cgi_value(web_cgi, "Query.addr2")};
    const char *intf = cgi_value(web_cgi, "Query.intf_name");
    const char *vlan = cgi_value(web_cgi, "Query.vlan");
    bool complete() const { return addr[0] && addr[1] && addr[2] && intf && vlan; }
};

// Adds the complete form's entry: mac_static_add's result and err, and in
// *result what became of it.
int add_entry(const add_form &f, char *err, audit_result *result)
{
    // A cut command is another command (a VLAN cut from 209 to 20), and a
    // control character would start one: neither reaches the CLI.
    char cmd[CMD_BUF_SIZE];
    int len = std::snprintf(cmd, sizeof cmd, "mac-address-table %s.%s.%s forward %s vlan %s",
                            f.addr[0], f.addr[1], f.addr[2], f.intf, f.vlan);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof cmd || has_control_char(cmd)) {
        *result = audit_result::refused;
        std::snprintf(err, CLI_ERROR_SIZE, "%s", INVALID_PARAMETER);
        return -1;
    }
    const char *cmds[] = {cmd};
    return config_run(cmds, 1, err, result);
}

// An error id's own word: "%cli_timeout" is logged as cli_timeout.
const char *reason_of(const char *err)
{
    return err[0] == '%' && std::strncmp(err, "%cli_", 5) == 0 ? err + 1 : err;
}

// One record per removed entry once the run's outcome is known: result and
// err are config_run's, lines the error lines of its answer. When the CLI
// refused some, each entry named by an error line is refused with it; an
// error line that names no entry leaves the entries no line names unknown,
// since it may answer any of them.
void log_removals(const audit_who &who, const removal *entries, int count, audit_result result,
                  const char *err, const cli_error_lines &lines)
{
    // The configuration-mode reply is the CLI refusing the whole run.
    bool per_entry = result == audit_result::refused && std::strcmp(err, "%configure_mode_inuse") != 0;
    const char *naming[MAC_DELETE_MAX] = {};
    const char *unnamed = per_entry && lines.count > lines.max ? err : nullptr;
    for (int k = 0; per_entry && k < lines.count && k < lines.max; ++k) {
        const char *text = std::strchr(lines.lines[k], '%') + 1;
        bool named = false;
        for (int i = 0; i < count; ++i) {
            if (line_names(lines.lines[k], entries[i])) {
                naming[i] = naming[i] ? naming[i] : text;
                named = true;
            }
        }
        if (!named && !unnamed)
            unnamed = text;
    }
    for (int i = 0; i < count; ++i) {
        audit_entry entry = {entries[i].mac, entries[i].intf, entries[i].vlan};
        if (!per_entry)
            audit_log(who, "remove", &entry, result, result == audit_result::ok ? nullptr : reason_of(err));
        else if (naming[i])
            audit_log(who, "remove", &entry, audit_result::refused, naming[i]);
        else
            audit_log(who, "remove", &entry, unnamed ? audit_result::unknown : audit_result::ok, unnamed);
    }
}

} // namespace

int intf_names_load()
{
    int rc = cli_run_show_checked("show interface switchport", intf_line_parse, 0);
    note_cli_failure(rc, {"ifname", "eth", "agg"});
    // Set last: the form offers its ports, or says there are none, only
    // once every name is in.
    if (rc == 0 && !cgi_set(web_cgi, "ports_listed", "1"))
        rc = -1;
    return rc;
}

int intf_line_parse(int *counter, const char *line)
{
    // Most lines are not interface lines: tell them first. A line end or
    // the end of the text within the nine characters differs from them too.
    if (std::strncmp(line, " Interface", 9) != 0)
        return 0;
    // The line up to its line feed, at most 255 bytes ("%255[^\n]").
    std::size_t len = strnlen(line, CLI_LINE_SIZE - 1);
    if (const void *lf = std::memchr(line, '\n', len))
        len = static_cast<std::size_t>(static_cast<const char *>(lf) - line);
    char copy[CLI_LINE_SIZE];
    std::memcpy(copy, line, len);
    copy[len] = '\0';
    std::size_t colon = len - 1;
    while (colon > 0 && copy[colon] != ':')
        --colon;
    if (colon == 0)
        return 0;
    // The colon and the blank after it are not part of the name.
    const char *name = colon + 2 <= len ? copy + colon + 2 : copy + len;
    bool stored = cgi_set(web_cgi, "ifname", name);
    stored = intf_name_store(*counter, name) == 0 && stored;
    ++*counter;
    return stored ? 0 : -1;
}

int intf_name_store(int num, const char *name)
{
    const char *group = name[0] == 'e' ? "eth" : name[0] == 'a' ? "agg" : nullptr;
    if (group) {
        char key[KEY_BUF_SIZE];
        row_key(key, group, num, "name");
        if (!cgi_set(web_cgi, key, name))
            return -1;
    }
    return 0;
}

int mac_static_add(char *err)
{
    add_form form;
    audit_result result;
    return form.complete() ? add_entry(form, err, &result) : 0;
}

int mac_static_list()
{
    list_filter filter;
    char cmd[CMD_BUF_SIZE];
    if (!list_filter_read(&filter) || !list_command(cmd))
        return matches_nothing();
    int rc = cli_append_cmd(cmd);
    if (rc == 0)
        rc = cli_exec_show();
    if (rc != 0) {
        note_cli_failure(rc, {});
        return 0;
    }
    bool whole = list_entries(filter);
    note_cli_failure(whole ? 0 : -1, {"entry"});
    // Set last: the table is shown, or said to be empty, only when whole
    // (not stored, the page warns instead).
    if (whole)
        cgi_set(web_cgi, "entries_listed", "1");
    return 0;
}

int mac_entry_store(int num, const char *mac, const char *vlan, const char *type, const char *intf)
{
    const std::array<std::pair<const char *, const char *>, 4> fields = {{
        {"mac", mac}, {"vlan", vlan}, {"type", type}, {"intf", intf}}};
    char key[KEY_BUF_SIZE];
    for (const auto &[name, value] : fields) {
        row_key(key, "entry", num, name);
        if (!cgi_set(web_cgi, key, value))
            return -1;
    }
    return 0;
}

int mac_static_add_logged(char *err, const audit_who &who)
{
    add_form form;
    // A field missing: nothing is asked of the CLI, and the browser still
    // goes on to the listing; the trail keeps the add that was not made.
    if (!form.complete()) {
        audit_log(who, "add", nullptr, audit_result::refused, INVALID_PARAMETER);
        return 0;
    }
    audit_result result;
    int rc = add_entry(form, err, &result);
    if (rc != 0 && std::strcmp(err, INVALID_PARAMETER) == 0) {
        audit_log(who, "add", nullptr, result, err);
        return rc;
    }
    char mac[3 * AUDIT_VALUE_MAX];
    std::snprintf(mac, sizeof mac, "%s.%s.%s", form.addr[0], form.addr[1], form.addr[2]);
    audit_entry entry = {mac, form.intf, form.vlan};
    audit_log(who, "add", &entry, result, rc == 0 ? nullptr : reason_of(err));
    return rc;
}

int mac_static_delete(char *err, const audit_who &who)
{
    // "sel" once is a value; named more than once, the values are its children.
    HDF *sel = hdf_get_obj(web_cgi->hdf, "Query.sel");
    HDF *many = sel ? hdf_obj_child(sel) : nullptr;
    removal entries[MAC_DELETE_MAX];
    int count = 0;
    const char *refusal = sel ? nullptr : INVALID_PARAMETER;
    for (HDF *v = many ? many : sel; v && !refusal; v = many ? hdf_obj_next(v) : nullptr) {
        removal r;
        const char *text = hdf_obj_value(v);
        if (!text || !removal_read(text, &r))
            refusal = INVALID_PARAMETER;
        else if (is_listed(entries, count, r.cmd))
            continue;   // a form sent twice: the entry is removed once
        else if (count == MAC_DELETE_MAX)
            refusal = TOO_MANY_ENTRIES;
        else
            entries[count++] = r;
    }
    if (refusal) {
        std::snprintf(err, CLI_ERROR_SIZE, "%s", refusal);
        audit_log(who, "remove", nullptr, audit_result::refused, refusal);
        return -1;
    }
    const char *cmds[MAC_DELETE_MAX];
    for (int i = 0; i < count; ++i)
        cmds[i] = entries[i].cmd;
    char error_lines[MAC_DELETE_MAX][CLI_LINE_SIZE];
    cli_error_lines lines = {error_lines, MAC_DELETE_MAX, 0};
    audit_result result;
    int rc = config_run(cmds, count, err, &result, &lines);
    log_removals(who, entries, count, result, err, lines);
    return rc;
}

void mac_list_query(const char *defquery, char *out, std::size_t size)
{
    int len = std::snprintf(out, size, "%s", defquery);
    for (const char *name : LIST_FILTERS) {
        char key[KEY_BUF_SIZE];
        std::snprintf(key, sizeof key, "Query.%s", name);
        const char *v = cgi_value(web_cgi, key);
        char *esc = nullptr;
        if (!v || !*v)
            continue;
        NEOERR *e = cgi_url_escape(v, &esc);
        nerr_ignore(&e);
        int n = esc ? std::snprintf(out + len, size - static_cast<std::size_t>(len), "&%s=%s", name, esc) : -1;
        std::free(esc);
        // A filter that does not fit is dropped whole, never cut.
        if (n < 0 || static_cast<std::size_t>(len + n) >= size)
            out[len] = '\0';
        else
            len += n;
    }
}
