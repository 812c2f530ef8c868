// Definitions of the page program's process-wide state.
#include "web_state.h"

struct _cgi *web_cgi = nullptr;

char cmd_file_path[PATH_BUF_SIZE];
char res_file_path[PATH_BUF_SIZE];
char pid_file_path[PATH_BUF_SIZE];

char err_text[ERR_TEXT_SIZE];

volatile sig_atomic_t cli_child_pid = 0;

int imi_sock_fd = -1;
