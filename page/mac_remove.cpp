// Removal of the selected static entries, each with its own audit record.
#include "mac_remove.h"

#include "audit_log.h"
#include "cli_runner.h"
#include "mac_entry.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr char TOO_MANY_ENTRIES[] = "error_too_many_entries";

// One entry of a removal: the command, and its parts for the audit record
// and for telling which of the CLI's error lines answers it.
struct removal {
    char mac[MAC_TEXT_SIZE];   // lower case
    char intf[INTF_TEXT_SIZE];
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
    if (!sel.empty() || !mac_text_valid(words[0]) || !intf_name_valid(words[1]) ||
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
    entry_ref refs[MAC_DELETE_MAX];
    const char *naming[MAC_DELETE_MAX];
    int order[MAC_DELETE_MAX];
    for (int i = 0; i < count; ++i)
        refs[i] = {entries[i].mac, entries[i].vlan};
    const char *unnamed = per_entry ? error_lines_attribute(lines, refs, count, naming, order) : nullptr;
    for (int i = 0; i < count; ++i) {
        audit_entry entry = {entries[i].mac, entries[i].intf, entries[i].vlan};
        if (!per_entry)
            audit_log(who, "remove", &entry, result, result == audit_result::ok ? nullptr : audit_reason(err));
        else if (naming[i])
            audit_log(who, "remove", &entry, audit_result::refused, naming[i]);
        else
            audit_log(who, "remove", &entry, unnamed ? audit_result::unknown : audit_result::ok, unnamed);
    }
}

} // namespace

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
