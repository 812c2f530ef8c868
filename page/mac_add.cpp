// The add form's port names, and the add of one static entry.
#include "mac_add.h"

#include "cgi_value.h"
#include "cli_runner.h"
#include "mac_entry.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// The add form's five fields; the entry is asked for only when none is missing.
struct add_form {
    const char *addr[3] = {cgi_value(web_cgi, "Query.addr0"), cgi_value(web_cgi, "Query.addr1"),
                           cgi_value(web_cgi, "Query.addr2")};
    const char *intf = cgi_value(web_cgi, "Query.intf_name");
    const char *vlan = cgi_value(web_cgi, "Query.vlan");
    bool complete() const { return addr[0] && addr[1] && addr[2] && intf && vlan; }
};

// Adds the complete form's entry: mac_static_add's result and err, and in
// *o what became of it (o->known none: nothing ran).
int add_entry(const add_form &f, char *err, change_outcome *o)
{
    // A cut command is another command (a VLAN cut from 209 to 20), and a
    // control character would start one: neither reaches the CLI.
    char cmd[CMD_BUF_SIZE];
    int len = std::snprintf(cmd, sizeof cmd, "mac-address-table %s.%s.%s forward %s vlan %s",
                            f.addr[0], f.addr[1], f.addr[2], f.intf, f.vlan);
    *o = {audit_result::refused, INVALID_PARAMETER, audit_known::none, ""};
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof cmd || has_control_char(cmd)) {
        std::snprintf(err, CLI_ERROR_SIZE, "%s", INVALID_PARAMETER);
        return -1;
    }
    // The entry as an error line or the table names it: its MAC in lower case.
    char mac[CMD_BUF_SIZE];
    std::snprintf(mac, sizeof mac, "%s.%s.%s", f.addr[0], f.addr[1], f.addr[2]);
    for (char *c = mac; *c; ++c)
        *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    entry_change entry = {mac, f.intf, f.vlan, cmd};
    change_result r;
    if (!change_run(change_kind::add, &entry, 1, &r)) {
        *o = {audit_result::failed, "%cli_unavailable", audit_known::none, ""};
        std::snprintf(err, CLI_ERROR_SIZE, "%s", o->reason);
        return -1;
    }
    *o = r.outcomes[0];
    const char *said = change_error(r, 1);
    if (!said)
        return 0;
    std::snprintf(err, CLI_ERROR_SIZE, "%s", said);
    // The record keeps a reason that outlives the run's lines.
    o->reason = err;
    return -1;
}

} // namespace

int intf_names_load()
{
    int rc = cli_run_show_checked("show interface switchport", intf_line_parse, 0);
    cli_failure_note(rc, {"ifname", "eth", "agg"});
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
    change_outcome o;
    return form.complete() ? add_entry(form, err, &o) : 0;
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
    change_outcome o;
    int rc = add_entry(form, err, &o);
    if (o.known == audit_known::none) {
        audit_log(who, "add", nullptr, o.result, o.reason);
        return rc;
    }
    char mac[3 * AUDIT_VALUE_MAX];
    std::snprintf(mac, sizeof mac, "%s.%s.%s", form.addr[0], form.addr[1], form.addr[2]);
    audit_entry entry = {mac, form.intf, form.vlan, o.known};
    audit_log(who, "add", &entry, o.result, o.result == audit_result::ok ? nullptr : audit_reason(o.reason));
    return rc;
}
