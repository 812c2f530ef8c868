// The simulated switch's configuration: ports, VLANs and static MAC entries.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int SW_MAX_PORTS = 64;
inline constexpr int SW_MAX_VLANS = 256;
inline constexpr int SW_MAX_MACS = 1024;
inline constexpr std::size_t SW_PORT_NAME_SIZE = 16;
inline constexpr int SW_VLAN_MIN = 1;
inline constexpr int SW_VLAN_MAX = 4094;
// Text form "xxxx.xxxx.xxxx" plus NUL.
inline constexpr std::size_t SW_MAC_TEXT_SIZE = 15;

enum class port_mode : std::uint8_t { access, trunk };

// One switch port. Per-port settings live here; a new one needs a member
// and a row in the state file's port key table (state_file.cpp).
struct sw_port {
    char name[SW_PORT_NAME_SIZE];
    port_mode mode;
    std::uint16_t pvid; // default VLAN of untagged frames
};

struct sw_mac_entry {
    std::uint16_t vlan;
    std::uint8_t addr[6];
    std::uint16_t port; // index into switch_state::ports
};

struct switch_state {
    sw_port ports[SW_MAX_PORTS];
    int port_count;
    std::uint16_t vlans[SW_MAX_VLANS]; // ascending
    int vlan_count;
    sw_mac_entry macs[SW_MAX_MACS]; // sorted by VLAN, then address
    int mac_count;
    bool dirty; // changed since loading, so it must be saved
};

// A factory-fresh switch: eth-0-1..eth-0-24, agg1..agg8, VLANs 1, 10, 20, 30.
void sw_fresh(switch_state &st);
// Empties every table (the state file loader fills them again).
void sw_clear(switch_state &st);

// Index of the port with exactly this name, or -1.
int sw_find_port(const switch_state &st, const char *name);
bool sw_has_vlan(const switch_state &st, int vid);
// True when name suits a port: a lower-case letter, then lower-case letters,
// digits and dashes, shorter than SW_PORT_NAME_SIZE.
bool sw_valid_port_name(const char *name);

// Appends a port (access mode, default VLAN 1). 0, or -1 when the name is
// invalid, taken, or the table is full.
int sw_add_port(switch_state &st, const char *name);
// Adds a VLAN in order. 0 (also when present), or -1 when out of range or full.
int sw_add_vlan(switch_state &st, int vid);

// Parses "xxxx.xxxx.xxxx" (hex digits in either case, exactly four per group).
// 0 with addr filled, or -1 with addr untouched.
int sw_parse_mac(const char *text, std::uint8_t addr[6]);
// Writes the lower-case "xxxx.xxxx.xxxx" form.
void sw_format_mac(const std::uint8_t addr[6], char out[SW_MAC_TEXT_SIZE]);
// Parses a decimal VLAN ID in range, digits only. 0 with vid set, or -1.
int sw_parse_vlan(const char *text, int &vid);

enum class mac_set_result { added, replaced, full };
// Sets the static entry for (vlan, addr) to port, replacing the port of an
// existing entry, as a switch does.
mac_set_result sw_mac_set(switch_state &st, int vlan, const std::uint8_t addr[6], int port);
// Removes the entry for (vlan, addr) when its port is port, or whatever its
// port when port is -1. 0 when removed, -1 when there is no such entry, -2
// when the entry is on another port (it stays).
int sw_mac_remove(switch_state &st, int vlan, const std::uint8_t addr[6], int port);
// Index of the entry for (vlan, addr), or -1.
int sw_mac_find(const switch_state &st, int vlan, const std::uint8_t addr[6]);
