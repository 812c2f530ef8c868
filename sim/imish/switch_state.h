// The simulated switch's configuration: ports with their link and QoS
// settings, VLANs, static MAC entries, and the entries it has learned.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int SW_MAX_PORTS = 64;
inline constexpr int SW_MAX_VLANS = 256;
inline constexpr int SW_MAX_MACS = 1024;
// Room for more learned entries than a listing page holds, so that a table
// over its limit can be shown.
inline constexpr int SW_MAX_LEARNED = 32768;
inline constexpr std::size_t SW_PORT_NAME_SIZE = 16;
inline constexpr int SW_VLAN_MIN = 1;
inline constexpr int SW_VLAN_MAX = 4094;
// Text form "xxxx.xxxx.xxxx" plus NUL.
inline constexpr std::size_t SW_MAC_TEXT_SIZE = 15;
// A port description: one word of letters, digits, ".", "_" and "-".
inline constexpr std::size_t SW_DESC_SIZE = 32;
inline constexpr int SW_QUEUES = 8;
// Largest rate (kbps) or burst size (bytes) a QoS setting takes.
inline constexpr std::uint32_t SW_QOS_NUM_MAX = 100000000;
inline constexpr int SW_DRR_WEIGHT_MAX = 100;

// Words of the enumerated per-port settings, as the state file and the CLI
// write them; a setting holds its index into its table.
inline constexpr const char *SW_DUPLEX_WORDS[] = {"auto", "full", "half"};
inline constexpr const char *SW_SPEED_WORDS[] = {"auto", "10", "100", "1000", "10G"};
// Copper media first, then the pluggable ones; "Unknown" is an empty cage.
inline constexpr const char *SW_MEDIA_WORDS[] = {"1000BASE_T",  "100BASE_TX", "10GBASE_T",
                                                 "1000BASE_SX", "1000BASE_LX", "10GBASE_SR",
                                                 "10GBASE_LR",  "Unknown"};
inline constexpr const char *SW_COLOR_MODE_WORDS[] = {"color-blind", "color-aware"};
inline constexpr const char *SW_DROP_COLOR_WORDS[] = {"red", "yellow"};
inline constexpr const char *SW_L3_WORDS[] = {"NO", "YES"};

enum class port_mode : std::uint8_t { access, trunk };

// Shaping and scheduling of one egress queue.
struct sw_queue {
    std::uint32_t cir; // kbps; 0 with pir 0: not shaped
    std::uint32_t pir;
    std::uint8_t cls;  // class 0..SW_QUEUES-1
    std::uint8_t weight; // DRR weight 1..SW_DRR_WEIGHT_MAX
};

// A two-rate policer of one direction.
struct sw_policer {
    bool set;
    std::uint8_t color_mode; // SW_COLOR_MODE_WORDS
    std::uint32_t cir, cbs, ebs, pir, pbs; // rates in kbps, bursts in bytes
    std::uint8_t drop_color; // SW_DROP_COLOR_WORDS
    std::uint8_t use_l3;     // SW_L3_WORDS
};

enum { SW_POLICER_IN, SW_POLICER_OUT, SW_POLICER_DIRS };

// One switch port. Per-port settings live here; a new one needs a member
// and a row in the state file's port key table (state_file.cpp).
struct sw_port {
    char name[SW_PORT_NAME_SIZE];
    port_mode mode;
    std::uint16_t pvid; // default VLAN of untagged frames
    bool admin_up;      // false: shut down by the operator
    bool link_up;       // a peer is connected (meaningful when admin_up)
    std::uint8_t duplex; // SW_DUPLEX_WORDS
    std::uint8_t speed;  // SW_SPEED_WORDS
    std::uint8_t media;  // SW_MEDIA_WORDS
    char desc[SW_DESC_SIZE]; // empty: none
    std::uint32_t shape_rate; // port shaping in kbps; 0: none
    sw_queue queues[SW_QUEUES];
    sw_policer policer[SW_POLICER_DIRS];
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
    // Learned (dynamic) entries, in the same order. A key is in one table at
    // most: a static entry replaces the learned one.
    sw_mac_entry learned[SW_MAX_LEARNED];
    int learned_count;
    bool qos_enabled;
    bool dirty; // changed since loading, so it must be saved
};

// A factory-fresh switch: eth-0-1..eth-0-24, agg1..agg8, VLANs 1, 10, 20, 30,
// QoS enabled.
void sw_fresh(switch_state &st);
// Empties every table (the state file loader fills them again).
void sw_clear(switch_state &st);

// Index of the port with exactly this name, or -1.
int sw_find_port(const switch_state &st, const char *name);
bool sw_has_vlan(const switch_state &st, int vid);
// Sets every setting of p but its name to the factory default of that name:
// eth-S-N ports 7 and 8 are shut down, 1-4, 21 and 24 have a link, 21-22
// hold 1000BASE_SX, 23 an empty cage and 24 10GBASE_SR modules; ports 1 and 2
// carry shaping and policers. Queue q maps to class q with DRR weight q + 1.
void sw_port_defaults(sw_port &p);
// True when the medium is 10 Gbit/s.
bool sw_media_10g(int media);
// True when name suits a port: a lower-case letter, then lower-case letters,
// digits and dashes, shorter than SW_PORT_NAME_SIZE.
bool sw_valid_port_name(const char *name);

// Appends a port (access mode, default VLAN 1, and the link and QoS
// defaults of its name, see sw_port_defaults). 0, or -1 when the name is
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
// existing entry, and the learned entry of that key, as a switch does.
mac_set_result sw_mac_set(switch_state &st, int vlan, const std::uint8_t addr[6], int port);
// Removes the entry for (vlan, addr) when its port is port, or whatever its
// port when port is -1. 0 when removed, -1 when there is no such entry, -2
// when the entry is on another port (it stays).
int sw_mac_remove(switch_state &st, int vlan, const std::uint8_t addr[6], int port);
// Index of the entry for (vlan, addr), or -1.
int sw_mac_find(const switch_state &st, int vlan, const std::uint8_t addr[6]);

// Adds a learned entry. 0, or -1 when the key is taken (static or learned),
// the port or VLAN is unknown, or the table is full.
int sw_learn(switch_state &st, int vlan, const std::uint8_t addr[6], int port);
// Traffic, as far as the table sees it: learns up to count new unicast
// addresses, the same ones for the same state and seed, spread over the
// ports that are up and every VLAN. Returns how many were learned.
int sw_learn_traffic(switch_state &st, int count, unsigned seed);
// Index of the learned entry for (vlan, addr), or -1.
int sw_learned_find(const switch_state &st, int vlan, const std::uint8_t addr[6]);
