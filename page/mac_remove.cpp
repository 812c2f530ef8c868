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
    if (words_split(sel, words, 3) != 3 || !mac_text_valid(words[0]) || !intf_name_valid(words[1]) ||
        !vlan_text_valid(words[2]) || words[1].size() >= sizeof r->intf)
        return false;
    copy_word(r->mac, words[0], true);
    copy_word(r->intf, words[1]);
    copy_word(r->vlan, words[2]);
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

// One MAC and VLAN asked for on two interfaces: at most one of them can be
// the table's entry, and the CLI's answer could not tell which it refused.
bool names_twice(const removal *entries, int count, const removal &r)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(entries[i].mac, r.mac) == 0 && std::strcmp(entries[i].vlan, r.vlan) == 0)
            return true;
    return false;
}

} // namespace

int mac_static_delete(char *err, const audit_who &who)
{
    removal entries[MAC_DELETE_MAX];
    int count = 0;
    const char *refusal = nullptr;
    auto take = [&](const char *text) {
        removal r;
        if (!removal_read(text, &r))
            refusal = INVALID_PARAMETER;
        else if (is_listed(entries, count, r.cmd))
            return true;   // a form sent twice: the entry is removed once
        else if (names_twice(entries, count, r))
            refusal = INVALID_PARAMETER;
        else if (count == MAC_DELETE_MAX)
            refusal = TOO_MANY_ENTRIES;
        else
            entries[count++] = r;
        return refusal == nullptr;
    };
    if (!selections_each(take) && !refusal)
        refusal = INVALID_PARAMETER;   // no selection at all
    if (refusal) {
        std::snprintf(err, CLI_ERROR_SIZE, "%s", refusal);
        audit_log(who, "remove", nullptr, audit_result::refused, refusal);
        return -1;
    }
    entry_change changes[MAC_DELETE_MAX];
    for (int i = 0; i < count; ++i)
        changes[i] = {entries[i].mac, entries[i].intf, entries[i].vlan, entries[i].cmd};
    change_result r;
    if (!change_run(change_kind::remove, changes, count, &r)) {
        std::snprintf(err, CLI_ERROR_SIZE, "%s", cli_failure_text(CLI_RUN_UNAVAILABLE));
        audit_log(who, "remove", nullptr, audit_result::failed, audit_reason(err));
        return -1;
    }
    // One record per entry, with its own outcome and how it was known.
    for (int i = 0; i < count; ++i) {
        const change_outcome &o = r.outcomes[i];
        audit_entry entry = {entries[i].mac, entries[i].intf, entries[i].vlan, o.known};
        audit_log(who, "remove", &entry, o.result, o.reason ? audit_reason(o.reason) : nullptr);
    }
    const char *said = change_error(r, count);
    if (!said)
        return count;
    std::snprintf(err, CLI_ERROR_SIZE, "%s", said);
    return -1;
}
