// The static MAC address pages' own work: the add form's interface names,
// the add command, the listing of static entries and their removal.
#pragma once

#include <cstddef>

struct audit_who;

// Asks the CLI for its switch ports and stores their names for the form,
// then "ports_listed". 0, or the CLI runner's failure (or -1 when a name
// could not be stored) after setting "cli_failed": no names are kept from a
// run whose answer was not taken in whole.
int intf_names_load();

// Line handler of "show interface switchport": a name line (" Interface...:
// <name>") sets "ifname" and one "eth.%d.name" or "agg.%d.name". 0, or -1
// when a value could not be stored.
int intf_line_parse(int *counter, const char *line);

// Stores name under "eth.<num>.name" or "agg.<num>.name" by its first
// letter (num written as "%d" writes it, a negative one with its sign);
// other names are not stored. 0, or -1 when it could not be stored.
int intf_name_store(int num, const char *name);

// Adds the posted static entry through the CLI. 0 when it was accepted or
// not attempted (a field is missing); -1 with the reason in err
// (CLI_ERROR_SIZE bytes): the CLI's error text, a failed run's text
// (cli_failure_text; "%cli_no_answer" too when the run's answer cannot be
// read), or "invalid_parameter" for a command that does not fit its buffer
// or holds a control character (then nothing runs).
int mac_static_add(char *err);

// mac_static_add, and one audit record of the entry once its outcome is
// known; a refusal with no entry for "invalid_parameter", a field missing
// included (which still returns 0).
int mac_static_add_logged(char *err, const audit_who &who);

// Lists the static entries that pass the query's filters as "entry.%d.*";
// none for a filter that does not fit its buffer; then "entries_listed".
// When the CLI run did not complete, or its answer could not be read to its
// end or stored, sets "cli_failed" and lists nothing. Returns 0.
int mac_static_list();

// Sets "entry.<num>.mac", ".vlan", ".type" and ".intf". 0, or -1 when a
// value could not be stored.
int mac_entry_store(int num, const char *mac, const char *vlan, const char *type,
                    const char *intf);

// Most entries one removal may name.
inline constexpr int MAC_DELETE_MAX = 64;

// Removes the static entries named by the posted "Query.sel" values, each
// "<MAC> <interface> <VLAN>", in one configuration run. 0 when the CLI
// accepted every removal; -1 with the reason in err (CLI_ERROR_SIZE bytes):
// "invalid_parameter" when any value is malformed (a MAC not of three groups
// of four hex digits, an interface the switch does not list, a VLAN not
// 1-4094, or none at all) and "error_too_many_entries" for more than
// MAC_DELETE_MAX entries, with nothing written; else a failed run's text or
// the CLI's first error text. The MAC goes to the CLI in lower case; an
// entry named twice, in either letter case, is removed once. Each entry sent
// to the CLI gets one audit record with its own outcome: refused with the
// error line that names its MAC and VLAN; unknown when an error line names
// no entry and none names it, or when the answer cannot be read; else what
// became of the run. A refused request gets one record.
int mac_static_delete(char *err, const audit_who &who);

// "sessionId=..&lang=.." with the query's listing filters, escaped, into out:
// the query of the listing as the request shows it.
void mac_list_query(const char *defquery, char *out, std::size_t size);
