// Interface data: port naming, interface status rows and the QoS page values.
#pragma once

#include <cstddef>
#include <cstdint>

struct _cgi;

// ---- Interface data: port naming table and interface row counters ----------

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

// Interface status row numbers: slot 0, and every other slot together.
// Each grows before use, so rows count from 1; never reset.
extern std::uint32_t intf_seq_slot0;
extern std::uint32_t intf_seq_other;

// ---- Port naming table and interface names ---------------------------------

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

// 0 for the copper media types (1000BASE_T, 10BASE_T, 100BASE_TX, 10GBASE_T,
// case ignored), 1 for anything else.
int media_is_sfp(const char *media);

// ---- Interface status parsing ---------------------------------------------

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

// ---- QoS page data ----------------------------------------------------------

// Queues with a row in the expected class table.
inline constexpr int QOS_QUEUE_COUNT = 8;
inline constexpr std::size_t QOS_CLASS_ROW_SIZE = 256;
// Line buffer of the QoS output readers.
inline constexpr std::size_t QOS_LINE_SIZE = 256;
inline constexpr std::size_t QOS_CMD_SIZE = 256;

// The classes a page asked for, one row per queue; only a row's first
// character is compared.
using qos_class_row = char[QOS_CLASS_ROW_SIZE];

// Runs "show qos" and stores "qos_enable": "enable" when a line holds
// "Enable", else "disable"; nothing when the result cannot be read.
void qos_enable_load(struct _cgi *cgi);

// Stores "queue.<q>.pir" and "queue.<q>.cir"; a null text stores the key
// without a value. Always 0.
int queue_shape_set(struct _cgi *cgi, std::int32_t queue, const char *cir, const char *pir);

// The shaping data of the first selected port of list (a null list counts as
// empty), with the interface table and "qos_enable". The result of the
// "Interface.ifname" store (0 stored, -1 not); 0 when the port's output
// cannot be read, which leaves "Interface.ifname" unset.
int qos_shape_load(struct _cgi *cgi, const char *list);

// Stores the eight "input_*" or "output_*" policer keys: input when the
// direction begins with "Input", else output. Always 0.
int policer_set(struct _cgi *cgi, const char *direction, const char *color_mode, const char *cir,
                const char *cbs, const char *ebs, const char *pir, const char *pbs,
                const char *drop_color, const char *use_l3_length);

// Stores the policer defaults, then the values of each policer line of the
// file at path. -1 (nothing stored) when it cannot be opened, else 0.
int policer_read(struct _cgi *cgi, const char *path);

// The policer data of the first selected port of list, with the interface
// table and "qos_enable"; "Interface.ifname" is stored in any case. The
// result of that store (0 stored, -1 not).
int qos_policer_load(struct _cgi *cgi, const char *list);

// Stores "queue.<q>.drrweight" and "queue.<q>.class". With check set, first
// compares the class's first character with the expected row of the queue;
// a mismatch writes the retry message into err (ERR_TEXT_SIZE bytes) and
// stores nothing. 0 when stored; -1 when not: failed check, or, while
// checking, a queue outside 0..QOS_QUEUE_COUNT-1 or no table (no message).
int queue_class_set(struct _cgi *cgi, std::int32_t queue, const char *cls, const char *weight,
                    int check, char *err, const qos_class_row *expected);

// The class mapping of the first selected port of list, with the interface
// table and "qos_enable", checked against expected when check is set (err
// then holds the message of the last queue that failed). Results as
// qos_shape_load.
int qos_class_load(struct _cgi *cgi, const char *list, int check, char *err,
                   const qos_class_row *expected);
