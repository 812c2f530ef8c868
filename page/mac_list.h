// The static address listing routine of the page pair, and the listing's
// query: its filters, as the request gives them.
#pragma once

#include "mac_entry.h"

#include <cstddef>

// Lists the static entries that pass the query's filters as "entry.%d.*";
// none for a filter that does not fit its buffer; then "entries_listed".
// When the CLI run did not complete, or its answer could not be read to its
// end or stored, sets "cli_failed" and lists nothing. Returns 0.
int mac_static_list();

// Sets "entry.<num>.mac", ".vlan", ".type" and ".intf". 0, or -1 when a
// value could not be stored.
int mac_entry_store(int num, const char *mac, const char *vlan, const char *type,
                    const char *intf);

// "sessionId=..&lang=.." with the query's listing filters, escaped, into out:
// the query of the listing as the request shows it. A filter that does not
// fit is dropped whole.
void mac_list_query(const char *defquery, char *out, std::size_t size);

// The listing's filters from the query.
struct list_filter {
    bool by_mac = false;
    char mac[CMD_BUF_SIZE] = {};   // "%s.%s.%s" of the three groups
    const char *intf = nullptr;    // the interface, when it filters
};

// Reads the filters. false when the MAC filter does not fit its buffer: a
// cut filter would match other entries.
bool list_filter_read(list_filter *f);

// The show command, narrowed to the query's VLAN. false when it would not
// fit (a cut VLAN asks for another VLAN's entries) or holds a line end (it
// would add a command).
bool list_command(char (&cmd)[CMD_BUF_SIZE]);

// The number of lines the table's answer opens with before its rows.
inline constexpr int LISTING_HEADER_LINES = 6;
