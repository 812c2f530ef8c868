// The listing page's removal of the static entries an operator selects,
// with an audit record for each.
#pragma once

struct audit_who;

// Most entries one removal (or pin) may name: the largest page of the listing.
inline constexpr int MAC_DELETE_MAX = 200;
// The body of a removal or a pin from the listing: MAC_DELETE_MAX
// selections of the longest kind (a pin's, with its voucher) fit.
inline constexpr unsigned long REMOVAL_BODY_MAX = 16384;

// Removes the static entries named by the posted "Query.sel" values, each
// "<MAC> <interface> <VLAN>", in one configuration run: a selection is
// checked by its grammar alone, and the CLI refuses an entry that does not
// exist. The number of entries removed when every entry was; -1 with the reason in err
// (CLI_ERROR_SIZE bytes): "invalid_parameter" when any value is malformed
// (a MAC not of three groups of four hex digits, an interface not named as
// the switch names its ports, a VLAN not 1-4094, or none at all) or one MAC
// and VLAN is named on two interfaces, and "error_too_many_entries" for more
// than MAC_DELETE_MAX entries, with nothing run; else what change_error
// says. The MAC goes to the CLI in lower case; an entry named twice, in
// either letter case, is removed once. Each entry sent to the CLI gets one
// audit record with its own outcome (change_run); a refused request gets one.
int mac_static_delete(char *err, const audit_who &who);
