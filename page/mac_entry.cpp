// The grammar of an entry's parts, row keys, and the configuration run the
// static MAC pages' changes go through.
#include "mac_entry.h"

#include "cgi_value.h"
#include "web_state.h"

#include <ClearSilver.h>

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
    auto whole_number = [](std::string_view text) { return !text.empty() && small_number(text) == text.size(); };
    if (name.starts_with("agg"))
        return whole_number(name.substr(3));
    if (!name.starts_with("eth-"))
        return false;
    name.remove_prefix(4);
    std::size_t slot = small_number(name);
    return slot != 0 && slot < name.size() && name[slot] == '-' && whole_number(name.substr(slot + 1));
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
