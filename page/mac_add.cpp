// The add form's port names, and the add of one static entry.
#include "mac_add.h"

#include "cgi_value.h"
#include "cli_runner.h"
#include "mac_entry.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

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
    audit_result result;
    return form.complete() ? add_entry(form, err, &result) : 0;
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
    audit_log(who, "add", &entry, result, rc == 0 ? nullptr : audit_reason(err));
    return rc;
}

