// Interface status: the ports a request selects and the status rows of the interface table.
#pragma once

#include <cstddef>
#include <cstdint>

struct _cgi;

// Interface status row numbers: slot 0, and every other slot together.
// Each grows before use, so rows count from 1; never reset.
extern std::uint32_t intf_seq_slot0;
extern std::uint32_t intf_seq_other;

// 0 for the copper media types (1000BASE_T, 10BASE_T, 100BASE_TX, 10GBASE_T,
// case ignored), 1 for anything else.
int media_is_sfp(const char *media);

inline constexpr int PORT_SET_SIZE = 128;
inline constexpr std::uint32_t PORT_SELECTED = 1u; // flags bit 0
// Line buffer of intf_status_read; a longer line arrives in pieces.
inline constexpr std::size_t INTF_STATUS_LINE_SIZE = 2048;

struct port_set_entry {
    std::int32_t slot; // slot of the port last marked at this index
    std::int32_t port; // equal to the index
    std::uint32_t flags;
};

// Ports selected by a request, keyed by port number alone. The caller zeroes
// it; port_set_parse only adds.
struct port_set {
    port_set_entry entries[PORT_SET_SIZE];
    std::uint32_t count; // port list entries marked
};

// Marks each "eth-<slot>-<port>" entry of the comma-separated list. Entries
// of another form, or with a port outside 0..PORT_SET_SIZE-1, are neither
// marked nor counted. 0, or -1 with the set unchanged for a null or empty
// list, more than 128 entries or a null set.
int port_set_parse(const char *list, port_set *set);

// Stores one "intf.slot<slot>.<row>.*" row for a status line. 0 when stored,
// and also when the name is not "eth-<slot>-<port>" (the line is passed
// over, no row number used); -1 when the line is not usable (too few words)
// or cannot be split. A null set selects nothing.
int intf_status_to_hdf(struct _cgi *cgi, const char *line, const port_set *set);

// Stores a row for each status line of the CLI result, skipping empty and
// "#" lines, up to the first line that is not an "eth-" line or not usable.
// -1 when the result file cannot be opened, else 0.
int intf_status_read(struct _cgi *cgi, const port_set *set);

// Runs "show interface status | include eth-" and reads it. Always 0.
int intf_status_load(struct _cgi *cgi, const port_set *set);

// Splits one status line into the given outputs; any output may be null.
// Each buffer receives its word and must hold strlen(line) + 1 bytes. The
// name is parsed (port_name_parse) only when slot, port and sub_port are all
// given. 0, or -1 for a null or unusable line or a name that does not parse.
int port_status_parse(const char *line, char *name, std::int32_t *slot, std::int32_t *port,
                      std::int32_t *sub_port, char *status, char *duplex, char *speed, char *mode,
                      char *media);
