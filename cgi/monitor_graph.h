// Monitor graph configuration: the data-item and graph tables, loaded from
// the web templates and the graphs stored in flash, saved and dumped.
#pragma once

#include <cstddef>
#include <ctime>

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

// Monitor types (sections of data_item_table and graph_table).
inline constexpr int MONITOR_LATENCY = 0;
inline constexpr int MONITOR_BUFFER = 1;
inline constexpr int MONITOR_SYSTEM = 3;
inline constexpr int MONITOR_STORED = 4; // the graphs kept in flash

inline constexpr const char *MONITOR_TEMPLATE_DIR = "/var/www/data_template";
inline constexpr const char *GRAPH_CONF_DIR = "/mnt/flash/monitor/webdata";
inline constexpr const char *GRAPH_CONF_PATH = "/mnt/flash/monitor/webdata/web_graph.conf";
inline constexpr const char *GRAPH_TEMPLATE_PATH = "/var/www/data_template/web_graph_template.conf";
inline constexpr const char *LATENCY_RANGE_DIR = "/tmp/monitor/latency/monitor";
inline constexpr const char *LATENCY_RANGE_NAME = "latency_range.txt";

// Template and configuration lines are read in pieces of this size.
inline constexpr std::size_t MONITOR_LINE_SIZE = 256;

// Reloads everything: the latency bounds, then both tables from zero.
void monitor_conf_init();

// Sets latency_bounds from the last line of eight integers in the latency
// range file; keeps them when there is none.
void latency_range_load();

// Fills data_item_table from the data item templates (types 0, 1 and 3).
void data_item_load();

// Fills graph_table from the graph templates (types 0, 1 and 3) and, for
// type 4, from the stored graph file when it exists, else from its template.
void graph_load();

// The record of a type (0..4) and index (0..1023); null outside those ranges.
data_item_rec *data_item_get(int type, int index);
graph_rec *graph_get(int type, int index);

// The first record of data_item_table.
data_item_rec *data_item_table_get();

// The lowest free graph index of a type; 0 when none is free.
int graph_first_free(int type);

// The monitor type of an id value: 4 up to 1000, 0 up to 2000, 1 up to 3000,
// else 2.
int monitor_id_type(int value);

// Local time of a text starting with 14 digits YYYYMMDDhhmmss into *out.
// 0, or -1 for a null argument.
int parse_compact_time(const char *text, std::time_t *out);

// Writes the type-4 graphs in use to GRAPH_CONF_PATH: a new file beside the
// old one, flushed to the medium, then renamed over it, so the old file stays
// whole until the new one is complete. A graph the file format cannot carry
// unchanged (id not its own index in 1..1023, an empty name, "&" or a line
// end in a text, blanks in a colour, "NULL" in a data name, a line over 254
// characters, ...) is left out and the rest is still saved. 0 when every
// graph in use was saved; -1 when one was left out, or when the file could
// not be written (the old file then stays as it was).
int graph_conf_save();

// Writes the graph of a type and index, field by field, to "/dev/console";
// lines whose console open fails are lost. 0, or -1 for an argument outside
// its range.
int graph_dump(int type, int index);
