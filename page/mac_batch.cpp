// A batch of static entries: read and checked whole, then one configuration
// run, and an outcome for each entry.
#include "mac_batch.h"

#include "audit_log.h"
#include "cgi_value.h"
#include "cli_runner.h"
#include "page_driver.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr char BATCH_TOO_LARGE[] = "error_batch_too_large";
constexpr std::string_view FAULT_WORDS[] = {"", "control", "fields", "mac", "vlan", "intf", "conflict"};

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The fields of a line: a comma (blanks around it do not count) or a run of
// blanks separates two. At most four are kept; their count, up to five.
int split_fields(std::string_view s, std::string_view (&f)[4])
{
    int n = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t start = i;
        while (i < s.size() && s[i] != ',' && !is_blank(s[i]))
            ++i;
        // Not substr(): its range check alone would link the C++ exception
        // runtime into the pages.
        if (n < 4)
            f[n] = std::string_view(s.data() + start, i - start);
        if (++n > 4)
            return n;
        std::size_t j = i;
        while (j < s.size() && is_blank(s[j]))
            ++j;
        if (j < s.size() && s[j] == ',') {
            ++j;
            while (j < s.size() && is_blank(s[j]))
                ++j;
        } else if (j == s.size()) {
            return n;
        }
        i = j;
    }
}

// A MAC in the switch's form, in the form with colons or with hyphens; into
// out as lower-case xxxx.xxxx.xxxx.
bool mac_normalize(std::string_view mac, char (&out)[MAC_TEXT_SIZE])
{
    std::size_t k = 0;
    if (mac.size() == 17 && (mac[2] == ':' || mac[2] == '-')) {
        // Two digits, then the same separator, five times: into the dotted form.
        for (std::size_t i = 0; i < mac.size(); ++i) {
            if (i % 3 == 2) {
                if (mac[i] != mac[2])
                    return false;
                continue;
            }
            if (k == 4 || k == 9)
                out[k++] = '.';
            out[k++] = mac[i];
        }
    } else if (mac.size() == MAC_TEXT_SIZE - 1) {
        std::memcpy(out, mac.data(), mac.size());
        k = mac.size();
    } else {
        return false;
    }
    out[k] = '\0';
    if (!mac_text_valid(out))
        return false;
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return true;
}

bool has_control(std::string_view s)
{
    for (unsigned char c : s)
        if ((c < 0x20 && c != '\t') || c == 0x7f)
            return true;
    return false;
}

template <std::size_t N> void copy_text(char (&out)[N], std::string_view s)
{
    std::size_t n = std::min(s.size(), N - 1);
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
}

// The header line an export begins with, in any case and spacing.
bool is_header(std::string_view line)
{
    std::string_view f[4];
    if (split_fields(line, f) != 3)
        return false;
    const std::string_view names[] = {"mac", "vlan", "interface"};
    for (int i = 0; i < 3; ++i)
        if (f[i].size() != names[i].size() || strncasecmp(f[i].data(), names[i].data(), f[i].size()) != 0)
            return false;
    return true;
}

// Checks one line that holds an entry into l.
void line_check(std::string_view line, batch_line *l)
{
    l->fault = batch_fault::none;
    l->other = 0;
    l->mac[0] = l->vlan[0] = l->intf[0] = '\0';
    copy_text(l->text, line);
    std::string_view f[4];
    if (has_control(line))
        l->fault = batch_fault::control;
    else if (split_fields(line, f) != 3 || f[0].empty() || f[1].empty() || f[2].empty())
        l->fault = batch_fault::fields;
    else if (!mac_normalize(f[0], l->mac))
        l->fault = batch_fault::mac;
    else if (!vlan_text_valid(f[1]))
        l->fault = batch_fault::vlan;
    else if (!intf_name_valid(f[2]))
        l->fault = batch_fault::intf;
    if (l->fault == batch_fault::none) {
        copy_text(l->vlan, f[1]);
        copy_text(l->intf, f[2]);
    }
    // A control character is not shown as it is.
    for (char *c = l->text; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f)
            *c = '?';
}

// Lines that name one MAC and VLAN: the same interface again is a repeat of
// the first, another interface a conflict of both.
void find_repeats(batch_line *lines, int count)
{
    heap_array<int> order = heap_alloc<int>(static_cast<std::size_t>(count) + 1);
    int n = 0;
    for (int i = 0; i < count; ++i)
        if (lines[i].fault == batch_fault::none)
            order[n++] = i;
    auto key_less = [&](int a, int b) {
        int c = std::strcmp(lines[a].mac, lines[b].mac);
        if (c == 0)
            c = std::strcmp(lines[a].vlan, lines[b].vlan);
        return c != 0 ? c < 0 : a < b;
    };
    std::sort(order.get(), order.get() + n, key_less);
    for (int k = 1; k < n; ++k) {
        batch_line &first = lines[order[k - 1]], &l = lines[order[k]];
        if (std::strcmp(first.mac, l.mac) != 0 || std::strcmp(first.vlan, l.vlan) != 0)
            continue;
        // A run of lines on one MAC and VLAN: each is held against the
        // run's first line, in the order of the text.
        int head = k - 1;
        while (head > 0 && std::strcmp(lines[order[head - 1]].mac, l.mac) == 0 &&
               std::strcmp(lines[order[head - 1]].vlan, l.vlan) == 0)
            --head;
        batch_line &h = lines[order[head]];
        if (std::strcmp(h.intf, l.intf) == 0 && h.fault == batch_fault::none) {
            l.other = h.number;
        } else {
            l.fault = batch_fault::conflict;
            l.other = h.number;
            if (h.fault == batch_fault::none || h.fault == batch_fault::conflict) {
                h.fault = batch_fault::conflict;
                h.other = l.number;
            }
        }
    }
}

bool store_row(int row, const batch_line &l, const char *cls, const char *reason)
{
    // The CLI's line as the error page shows it: no leading blanks, no line end.
    char said[CLI_LINE_SIZE] = "";
    if (reason) {
        while (*reason == ' ')
            ++reason;
        copy_text(said, std::string_view(reason, std::strcspn(reason, "\r\n")));
    }
    reason = said;
    char key[KEY_BUF_SIZE];
    char number[12], other[12];
    std::snprintf(number, sizeof number, "%d", l.number);
    std::snprintf(other, sizeof other, "%d", l.other);
    const struct { const char *field, *value; } fields[] = {
        {"line", number},
        {"class", cls},
        {"mac", l.mac},
        {"vlan", l.vlan},
        {"intf", l.intf},
        {"reason", reason},
        {"fault", l.fault == batch_fault::none ? nullptr : FAULT_WORDS[static_cast<int>(l.fault)].data()},
        {"other", l.other ? other : nullptr},
        {"text", l.fault == batch_fault::none ? nullptr : l.text},
    };
    for (const auto &f : fields) {
        if (!f.value || !*f.value)
            continue;
        row_key(key, "result", row, f.field);
        if (!cgi_set(web_cgi, key, f.value))
            return false;
    }
    return true;
}

bool store_counts(int added, int refused, int unknown, int invalid)
{
    const struct { const char *key; int n; } counts[] = {
        {"batch.added", added}, {"batch.refused", refused}, {"batch.unknown", unknown}, {"batch.invalid", invalid}};
    for (const auto &c : counts) {
        char n[12];
        std::snprintf(n, sizeof n, "%d", c.n);
        if (!cgi_set(web_cgi, c.key, n))
            return false;
    }
    return true;
}

// A batch with lines not taken: nothing runs, and each such line is shown.
bool answer_invalid(const batch_line *lines, int count)
{
    int row = 0;
    for (int i = 0; i < count; ++i)
        if (lines[i].fault != batch_fault::none && !store_row(++row, lines[i], "invalid", nullptr))
            return false;
    return store_counts(0, 0, 0, row) && cgi_set(web_cgi, "batch.state", "invalid");
}

} // namespace

// One command each in the order of the lines, in one configuration run.
bool mac_batch_run(const audit_who &who, const char *action, const batch_line *lines, int count)
{
    const std::size_t n = static_cast<std::size_t>(count);
    heap_array<char[CMD_BUF_SIZE]> cmds = heap_alloc<char[CMD_BUF_SIZE]>(n);
    heap_array<entry_change> changes = heap_alloc<entry_change>(n);
    heap_array<int> entry_of = heap_alloc<int>(n);
    heap_array<int> line_of = heap_alloc<int>(n);
    if (!cmds || !changes || !entry_of || !line_of)
        return false;
    // Every slot a run reads is written below; cleared, so the compiler can tell.
    std::memset(changes.get(), 0, n * sizeof(entry_change));
    int entries = 0;
    for (int i = 0; i < count; ++i) {
        const batch_line &l = lines[i];
        if (l.other) {
            // A repeat: the entry of the line it repeats, an earlier one.
            int j = i;
            while (j > 0 && lines[j].number != l.other)
                --j;
            entry_of[i] = entry_of[j];
            continue;
        }
        std::snprintf(cmds[entries], CMD_BUF_SIZE, "mac-address-table %s forward %s vlan %s", l.mac, l.intf, l.vlan);
        changes[entries] = {l.mac, l.intf, l.vlan, cmds[entries]};
        line_of[entries] = i;
        entry_of[i] = entries++;
    }
    change_result r;
    if (!change_run(change_kind::add, changes.get(), entries, &r))
        return false;
    for (int e = 0; e < entries; ++e) {
        const change_outcome &o = r.outcomes[e];
        const batch_line &l = lines[line_of[e]];
        audit_entry entry = {l.mac, l.intf, l.vlan, o.known};
        audit_log(who, action, &entry, o.result, o.reason ? audit_reason(o.reason) : nullptr);
    }
    // A run that left outcomes unknown, or that the CLI refused whole: the
    // page says what that means for every line. One whose answer was in
    // doubt: the page says the outcomes were read back from the table.
    if (r.failure[0] && !cgi_set(web_cgi, "batch.failure", r.failure + (r.failure[0] == '%')))
        return false;
    if (r.read_back && !cgi_set(web_cgi, "batch.read_back", "1"))
        return false;
    // Each line shows its entry's outcome, a repeat as the line it repeats.
    const char *const classes[] = {"added", "refused", "unknown"};
    int counts[3] = {};
    for (int i = 0; i < count; ++i) {
        const change_outcome &o = r.outcomes[entry_of[i]];
        int c = o.result == audit_result::ok ? 0 : o.result == audit_result::unknown ? 2 : 1;
        ++counts[c];
        // The CLI's own line, or the id of a refusal the table showed and no
        // line explained; the ids of a whole run are said once, above the rows.
        const char *reason = o.reason == CLI_NOT_APPLIED ? CLI_NOT_APPLIED + 1
                             : o.reason && o.reason[0] != '%' ? o.reason : nullptr;
        if (!store_row(i + 1, lines[i], classes[c], reason))
            return false;
    }
    return store_counts(counts[0], counts[1], counts[2], 0) && cgi_set(web_cgi, "batch.state", "ran") &&
           cgi_set(web_cgi, "batch.action", action);
}

int batch_parse(const char *text, batch_line *lines, int max)
{
    int count = 0;
    int number = 0;
    for (std::string_view rest = text ? text : ""; !rest.empty() || number == 0;) {
        std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line(rest.data(), end);
        rest.remove_prefix(end == rest.size() ? end : end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::string_view t = trim(line);
        if (t.empty() || t[0] == '#' || (number == 1 && is_header(t)))
            continue;
        if (count == max)
            return -1;
        batch_line &l = lines[count++];
        l.number = number;
        line_check(t, &l);
    }
    find_repeats(lines, count);
    return count;
}

int mac_batch_add(const audit_who &who, char *err)
{
    heap_array<batch_line> lines = heap_alloc<batch_line>(MAC_BATCH_MAX);
    if (!lines)
        return -1;
    int count = batch_parse(cgi_value(web_cgi, "Query.entries", ""), lines.get(), MAC_BATCH_MAX);
    if (count < 0) {
        std::snprintf(err, CLI_ERROR_SIZE, "%s", BATCH_TOO_LARGE);
        audit_log(who, "add", nullptr, audit_result::refused, BATCH_TOO_LARGE);
        return -1;
    }
    bool whole = true;
    if (count == 0 || std::any_of(lines.get(), lines.get() + count,
                                  [](const batch_line &l) { return l.fault != batch_fault::none; })) {
        // Nothing runs: the batch is taken whole or not at all.
        audit_log(who, "add", nullptr, audit_result::refused, INVALID_PARAMETER);
        whole = count == 0 ? store_counts(0, 0, 0, 0) && cgi_set(web_cgi, "batch.state", "empty")
                           : answer_invalid(lines.get(), count);
    } else {
        whole = mac_batch_run(who, "add", lines.get(), count);
    }
    // A page that could not hold every row warns instead of showing fewer.
    if (!whole)
        cli_failure_note(-1, {"result", "batch"});
    return 0;
}

int mac_batch_answer(const page_request &req, const char *return_to)
{
    NEOERR *err = page_display("web_mac_static_batch.cs");
    if (err == STATUS_OK || std::strcmp(cgi_value(web_cgi, "batch.state", ""), "ran") != 0)
        return err == STATUS_OK ? 0 : page_fail(err);
    // The entries went to the switch: a bare error page would read as if
    // nothing had, so the operator is sent to look at the table.
    nerr_log_error(err);
    nerr_ignore(&err);
    redirect_error(req.session_id, req.lang, "error_batch_unshown", "%s", return_to);
    return 0;
}
