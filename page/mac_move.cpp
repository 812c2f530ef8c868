// Moving a static entry to another interface.
#include "mac_move.h"

#include "audit_log.h"
#include "cgi_value.h"
#include "mac_entry.h"
#include "mac_vouch.h"
#include "web_state.h"

#include <cstdio>
#include <cstring>

namespace {

// The entry a move names, as the listing's edit link gives it and the
// move form sends it back: "move", "<MAC> <interface> <VLAN> <voucher>".
struct move_request {
    char mac[MAC_TEXT_SIZE];   // lower case
    char from[INTF_TEXT_SIZE];
    char vlan[VLAN_TEXT_SIZE];
    const char *value = cgi_value(web_cgi, "Query.move", "");
};

// The query's entry, when it is a static one the listing vouched for.
bool move_read(const char *session, move_request *m)
{
    vouch_key key;
    vouch_key_load(key);
    return vouched_row_read(key, session, "static", m->value, m->mac, m->from, m->vlan);
}

bool store_entry(const move_request &m)
{
    return cgi_set(web_cgi, "move.mac", m.mac) && cgi_set(web_cgi, "move.vlan", m.vlan) &&
           cgi_set(web_cgi, "move.from", m.from) && cgi_set(web_cgi, "move.value", m.value);
}

// The one add that puts the entry on intf, and what became of it.
change_outcome add_on(const move_request &m, const char *intf, char (&reason)[CLI_ERROR_SIZE])
{
    char cmd[CMD_BUF_SIZE];
    std::snprintf(cmd, sizeof cmd, "mac-address-table %s forward %s vlan %s", m.mac, intf, m.vlan);
    entry_change entry = {m.mac, intf, m.vlan, cmd};
    change_result r;
    if (!change_run(change_kind::add, &entry, 1, &r))
        return {audit_result::failed, "%cli_unavailable", audit_known::none, ""};
    change_outcome o = r.outcomes[0];
    // The reason outlives the run's lines.
    const char *said = change_error(r, 1);
    std::snprintf(reason, sizeof reason, "%s", said ? said : "");
    o.reason = said ? reason : nullptr;
    return o;
}

} // namespace

bool mac_move_form(const char *session)
{
    move_request m;
    return move_read(session, &m) && store_entry(m);
}

int mac_move(const char *session, const audit_who &who, char *err)
{
    move_request m;
    const char *to = cgi_value(web_cgi, "Query.intf_name", "");
    const char *refusal = !move_read(session, &m) || !intf_name_valid(to) || std::strlen(to) >= INTF_TEXT_SIZE
                              ? INVALID_PARAMETER
                          : std::strcmp(to, m.from) == 0 ? "error_move_same_interface"
                                                         : nullptr;
    if (refusal) {
        std::snprintf(err, CLI_ERROR_SIZE, "%s", refusal);
        audit_log(who, "move", nullptr, audit_result::refused, refusal);
        return -1;
    }
    char reason[CLI_ERROR_SIZE], restore_reason[CLI_ERROR_SIZE];
    change_outcome o = add_on(m, to, reason);
    const char *result = nullptr;   // moved
    const char *now = "";
    // Not moved by the switch's word: where the entry stands is the table's
    // to say (read back already when the answer was in doubt), for a switch
    // may take the old entry out before it refuses the new one. Only a run
    // that never started, or that another user's configuration mode
    // stopped, leaves it surely where it was.
    char where[INTF_TEXT_SIZE] = "";
    const bool nothing_ran = o.result == audit_result::failed ||
                             (o.reason && std::strcmp(o.reason, "%configure_mode_inuse") == 0);
    bool read = o.known == audit_known::table;
    if (read)
        std::memcpy(where, o.held_on, sizeof where);
    else if (o.result == audit_result::refused && !nothing_ran)
        read = table_where(m.mac, m.vlan, where);
    if (o.result == audit_result::ok) {
    } else if (nothing_ran) {
        result = "refused";
        now = m.from;
    } else if (!read) {
        result = "unknown";
    } else if (std::strcmp(where, to) == 0) {
        o = {audit_result::ok, nullptr, audit_known::table, ""};   // made, whatever was said
    } else if (where[0] == '\0') {
        // The table no longer holds the entry: it is put back where it was.
        change_outcome back = add_on(m, m.from, restore_reason);
        result = back.result == audit_result::ok ? "restored" : "lost";
        std::snprintf(where, sizeof where, "%s", back.result == audit_result::ok ? m.from : back.held_on);
        now = where;
    } else {
        result = std::strcmp(where, m.from) == 0 ? "refused" : "elsewhere";
        now = where;
    }
    // Said from the table whenever the table was asked.
    if (read)
        o.known = audit_known::table;
    // One record of the move, whatever it took: a lost entry says so.
    const bool lost = result && std::strcmp(result, "lost") == 0;
    audit_entry entry = {m.mac, to, m.vlan, o.known, m.from};
    audit_log(who, "move", &entry, o.result, lost ? "move_lost" : o.reason ? audit_reason(o.reason) : nullptr);
    if (!result)
        return 1;
    if (!store_entry(m) || !cgi_set(web_cgi, "move.to", to) || !cgi_set(web_cgi, "move.result", result) ||
        !cgi_set(web_cgi, "move.now", now) ||
        (o.reason && !cgi_set(web_cgi, "move.reason", o.reason + (o.reason[0] == '%'))))
        cli_failure_note(-1, {"move"});
    return 0;
}
