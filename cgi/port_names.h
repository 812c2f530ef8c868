// Port naming: the interface-name prefixes the switch publishes, and names split by them.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int PORT_PREFIX_MAX = 8;
inline constexpr std::size_t PORT_PREFIX_SIZE = 6;       // 5 characters and the NUL
inline constexpr std::size_t PORT_FULL_PREFIX_SIZE = 26; // 25 characters and the NUL

struct port_prefix_entry {
    char prefix[PORT_PREFIX_SIZE];
    char full_prefix[PORT_FULL_PREFIX_SIZE];
};

// Interface-name prefixes from the port info file; empty until
// port_prefix_load runs, then 1 to PORT_PREFIX_MAX entries.
struct port_prefix_info {
    char port_connection;     // between slot and port
    char sub_port_connection; // between port and sub-port
    std::int32_t prefix_count;
    port_prefix_entry entries[PORT_PREFIX_MAX];
};

extern port_prefix_info port_prefix_table;

// The port info file published by the switch software.
inline constexpr char PORT_INFO_PATH[] = "/tmp/nerva_port_cli_info";

// Loads port_prefix_table from PORT_INFO_PATH, replacing what it held. A
// missing file or a malformed line falls back to the defaults ("-", "/" and
// the single prefix "eth-"). Always 0.
int port_prefix_load();

// 1 when name begins with a loaded prefix or full prefix (case ignored);
// 0 otherwise, for a null name and before port_prefix_load.
int port_name_is_known(const char *name);

// Splits an interface name "<prefix><slot>?<port>[?<sub>]" (case counts in
// the prefix; any one character separates the numbers). 0 with the three
// outputs set, or 0 with them untouched when no prefix matches. -1 for a
// null argument, when no digit follows the prefix (outputs untouched) or
// when the name ends after the slot (slot already stored).
int port_name_parse(const char *name, std::int32_t *slot, std::int32_t *port, std::int32_t *sub_port);

// The fixed form "eth-<slot>-<port>" of status lines and port lists, whatever
// the loaded prefixes: true with slot and port set when both numbers are read
// (blanks and a sign allowed before each, saturated to 32 bits, anything may
// follow the port); false with both untouched otherwise, and for a null text.
bool port_name_scan_eth(const char *text, std::int32_t *slot, std::int32_t *port);
