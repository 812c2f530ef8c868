// Process-wide state of a page program: the request, its files and its IMI
// connection. Each library family defines its own process-wide tables beside
// its code, so that a program links only the tables it uses.
#pragma once

#include <csignal>
#include <cstddef>

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

// The imish run in progress (the id of its process group), 0 when none: the
// signal handler ends it before the process goes.
extern volatile sig_atomic_t cli_child_pid;

// The cached IMI connection; -1 until the first successful connect.
extern int imi_sock_fd;
