// Process-wide state shared by the page and the helper library, with its sizes.
#pragma once

#include <cstddef>
#include <cstdint>

struct _cgi;

// Sizes of the process-wide buffers.
inline constexpr std::size_t PATH_BUF_SIZE = 4096;
inline constexpr std::size_t ERR_TEXT_SIZE = 500;

// The request's ClearSilver context, made by cgi_init in main.
extern struct _cgi *web_cgi;

// Scratch and pid file paths; empty text means this process owns no such file.
// The exit handler removes every path that is set.
extern char cmd_file_path[PATH_BUF_SIZE];
extern char res_file_path[PATH_BUF_SIZE];
extern char pid_file_path[PATH_BUF_SIZE];

// The CLI error text for the error page, empty until a CLI run reports one.
extern char err_text[ERR_TEXT_SIZE];

// The cached IMI connection; -1 until the first successful connect.
extern int imi_sock_fd;

// ---- Monitor graph tables ---------------------------------------------------
// One section of MONITOR_REC_COUNT records per monitor type, indexed by id.

inline constexpr int MONITOR_TYPE_COUNT = 5;
inline constexpr int MONITOR_REC_COUNT = 1024;
inline constexpr std::size_t MONITOR_TEXT_SIZE = 128; // 127 characters and the NUL
inline constexpr std::size_t MONITOR_COLOUR_LEN = 6;  // not terminated when full
inline constexpr int GRAPH_DATA_MAX = 8;              // data items drawn by one graph
inline constexpr int LATENCY_BOUND_COUNT = 8;

// A series that graphs can draw.
struct data_item_rec {
    int id;
    char colour[MONITOR_COLOUR_LEN];
    char name[MONITOR_TEXT_SIZE];
    char col3[MONITOR_TEXT_SIZE]; // template columns 3, 4 and 7, kept for the pages
    char col4[MONITOR_TEXT_SIZE];
    char col7[MONITOR_TEXT_SIZE];
    char data_name[MONITOR_TEXT_SIZE];
};

// A graph; id 0 marks a free slot.
struct graph_rec {
    int id;
    int max_data_value;
    char name[MONITOR_TEXT_SIZE];
    int data_item_id[GRAPH_DATA_MAX]; // 0: no data item in that position
    char colour[GRAPH_DATA_MAX][MONITOR_COLOUR_LEN];
    char data_name[GRAPH_DATA_MAX][MONITOR_TEXT_SIZE]; // empty: none
    int draw_style;
    int data_style;
};

extern data_item_rec data_item_table[MONITOR_TYPE_COUNT][MONITOR_REC_COUNT];
extern graph_rec graph_table[MONITOR_TYPE_COUNT][MONITOR_REC_COUNT];
// Latency range bounds in nanoseconds, replaced from the latency range file.
extern int latency_bounds[LATENCY_BOUND_COUNT];

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
