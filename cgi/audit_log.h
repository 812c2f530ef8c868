// The audit trail: every change asked of the pages, and every refusal, as
// one record in the switch's syslog. A record is one line of fields that a
// log collector can parse; no value from a request can end it or forge a
// field, and nothing in it is a credential.
//
// A stuck syslog daemon holds no request: a record goes to /dev/log in one
// non-blocking datagram, never waited for; one a daemon with a full queue
// cannot take, or one with no daemon at all, is dropped whole. The trail shows its gaps: the next record that goes through, in
// this request or a later one, ends with " lost=N", the records dropped
// before it. The count outlives the request in a small file under /var/run.
#pragma once

#include <cstddef>

// What became of one change or one request, and the record's severity.
enum class audit_result {
    ok,        // the change was made (LOG_NOTICE)
    refused,   // the CLI or the page refused it; nothing changed (LOG_WARNING)
    failed,    // the CLI could not run it; nothing changed (LOG_ERR)
    unknown,   // it ran, and its outcome is not known (LOG_ERR)
};

// Who asked: the user the session check named ("-" when none) and the
// client's address.
struct audit_who {
    const char *user;
    const char *addr;
};

// How an entry's outcome was known: from the CLI's answer, or read back
// from the switch's table when that answer was in doubt.
enum class audit_known { none, cli, table };

// One entry of an add or a removal, as the command carries it; a move's
// also names the interface it leaves.
struct audit_entry {
    const char *mac;
    const char *intf;
    const char *vlan;
    audit_known known = audit_known::none;
    const char *from = nullptr;
};

// The longest record, terminator included; each value is cut to
// AUDIT_VALUE_MAX bytes as escaped, a reason to AUDIT_REASON_MAX. With every
// value at its longest the record still has room for its lost field, which
// is never cut.
inline constexpr std::size_t AUDIT_RECORD_SIZE = 720;
inline constexpr std::size_t AUDIT_VALUE_MAX = 64;
inline constexpr std::size_t AUDIT_REASON_MAX = 160;

// The record text into out (AUDIT_RECORD_SIZE bytes):
//   user="<user>" addr="<addr>" action=<action>[ mac="<mac>"[ from="<from>"]
//   intf="<intf>" vlan="<vlan>"] result=<ok|refused|failed|unknown>[ reason="<reason>"]
//   [ known=<cli|table>][ lost=<lost>]
// entry may be null (a refused request), reason null for ok; lost is the
// count of records dropped before this one, its field left out when 0. In a
// quoted value a quote and a backslash are escaped with a backslash; control
// characters and bytes past ASCII are written \xNN. A reason's leading
// blanks and line end are dropped.
void audit_format(char *out, const audit_who &who, const char *action, const audit_entry *entry,
                  audit_result result, const char *reason, unsigned long lost = 0);

// Sends the record to /dev/log (ident: the program's name, with its pid),
// never to the console; a record the daemon cannot take in time is dropped
// and counted for the next one (see above). A switch without a syslog
// daemon, or with a stuck one, answers as before.
void audit_log(const audit_who &who, const char *action, const audit_entry *entry,
               audit_result result, const char *reason);
