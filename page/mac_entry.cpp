// The grammar of an entry's parts, row keys, and the configuration run the
// static MAC pages' changes go through.
#include "mac_entry.h"

#include "cgi_value.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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

// true when vlan stands in line as a number of its own outside the MAC
// found at mac.
bool names_vlan(const char *line, const char *mac, const char *vlan)
{
    std::size_t vlan_len = std::strlen(vlan);
    for (const char *v = std::strstr(line, vlan); v; v = std::strstr(v + 1, vlan)) {
        bool in_mac = v + vlan_len > mac && v < mac + (MAC_TEXT_SIZE - 1);
        if (!in_mac && (v == line || !is_alnum(v[-1])) && !is_alnum(v[vlan_len]))
            return true;
    }
    return false;
}

} // namespace

bool mac_text_valid(std::string_view mac)
{
    if (mac.size() != MAC_TEXT_SIZE - 1)
        return false;
    for (std::size_t i = 0; i < mac.size(); ++i)
        if (i == 4 || i == 9 ? mac[i] != '.' : !is_hex(mac[i]))
            return false;
    return true;
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

int config_run(const char *const *cmds, int count, char *err, audit_result *result,
               cli_error_lines *lines)
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

const char *audit_reason(const char *err)
{
    return err[0] == '%' && std::strncmp(err, "%cli_", 5) == 0 ? err + 1 : err;
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
            if (p[4] != '.' || p[9] != '.' || !mac_text_valid(std::string_view(p, MAC_TEXT_SIZE - 1)))
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
                if (names_vlan(line, p, entries[*e].vlan)) {
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
