// Definitions of the process-wide state; nothing else is global.
#include "web_state.h"

struct _cgi *web_cgi = nullptr;

char cmd_file_path[PATH_BUF_SIZE];
char res_file_path[PATH_BUF_SIZE];
char pid_file_path[PATH_BUF_SIZE];

char err_text[ERR_TEXT_SIZE];

int imi_sock_fd = -1;

// ---- Monitor graph tables ---------------------------------------------------

data_item_rec data_item_table[MONITOR_TYPE_COUNT][MONITOR_REC_COUNT];
graph_rec graph_table[MONITOR_TYPE_COUNT][MONITOR_REC_COUNT];
int latency_bounds[LATENCY_BOUND_COUNT] = {0, 400, 600, 700, 800, 1000, 2000, 4096};

// ---- Interface data: port naming table and interface row counters ----------

port_prefix_info port_prefix_table;
std::uint32_t intf_seq_slot0 = 0;
std::uint32_t intf_seq_other = 0;
