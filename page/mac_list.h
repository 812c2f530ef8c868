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
