// Board and system information: file-type tests, the boot mount, the software
// version, the management user, SNMP contact and location, enabled features.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// 1 when the status of path can be read (links followed), else 0.
int file_exists(const char *path);
// 1 when path is a directory (links followed), else 0.
int is_directory(const char *path);
// 1 when path is a regular file (links followed), else 0.
int is_regular_file(const char *path);

// Mounts the boot volume on "/mnt/flash/boot" with the caller's flags; the
// outcome is not reported.
void mount_boot(unsigned long flags);

// Holds the version word of read_sw_version: at most 31 characters.
inline constexpr std::size_t SW_VERSION_SIZE = 32;

// Copies the second word of the first board info line beginning "sw_ver"
// into out (out_size bytes, cut to fit). -1 when the board info file cannot
// be opened; else 0, out unchanged when there is no such word.
int read_sw_version(char *out, std::size_t out_size);

// The software version cut to size ("" when unknown), in out. Returns out.
char *get_sw_version(char *out, std::size_t size);

// The management user name from the board info file, or "__nouser", cut to
// size, in out.
void get_mgmt_user(char *out, std::size_t size);

// Size of each of the two get_snmp_sys_info outputs.
inline constexpr std::size_t SNMP_INFO_SIZE = 256;

// The last sysContact and sysLocation values of the SNMP info file, into two
// buffers of SNMP_INFO_SIZE bytes (empty when absent). -1 when the file
// cannot be opened (both left empty), else 0.
int get_snmp_sys_info(char *contact, char *location);

// The feature word: two 32-bit words in shared memory, the high half first,
// keyed by ftok(FEATURE_KEY_PATH, FEATURE_KEY_PROJECT).
inline constexpr const char *FEATURE_KEY_PATH = "/tmp/fea_shmem";
inline constexpr int FEATURE_KEY_PROJECT = 53;
inline constexpr std::size_t FEATURE_WORD_SIZE = 8;

// 1 when any bit of mask is set in the published feature word; 0 otherwise,
// also when no word is published (a missing segment is never created).
int feature_enabled(std::uint64_t mask);

struct feature_name {
    std::string_view name;
    std::uint64_t mask;
};

// The names of the feature bits (bit 2 and bits 34..63 have none).
inline constexpr std::array<feature_name, 33> feature_names = {{
    {"BFD", 0x1},
    {"BGP", 0x2},
    {"ERPS", 0x8},
    {"ETHOAM", 0x10},
    {"EXTEND_ACL", 0x20},
    {"HVPLS", 0x40},
    {"IGMP", 0x80},
    {"IPV6", 0x100},
    {"LDP", 0x200},
    {"MEF", 0x400},
    {"MPLS", 0x800},
    {"MVR", 0x1000},
    {"MVR6", 0x1000000},
    {"OSPF", 0x2000},
    {"OSPF6", 0x4000},
    {"OSPF_TE", 0x8000},
    {"PIM_SM", 0x10000},
    {"PIM_SM6", 0x2000000},
    {"PTP", 0x4000000},
    {"QINQ", 0x20000},
    {"RIPNG", 0x40000},
    {"RSVP", 0x8000000},
    {"SMLK", 0x80000},
    {"SSM", 0x10000000},
    {"TPOAM", 0x100000},
    {"TUNNEL_V6", 0x20000000},
    {"VPLS", 0x200000},
    {"VPWS", 0x400000},
    {"VRF", 0x800000},
    {"NVGRE", 0x40000000},
    {"OVERLAY", 0x80000000},
    {"PBR", 0x100000000},
    {"IPFIX", 0x200000000},
}};
