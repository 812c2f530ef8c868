// Shared test helpers: running a program as a web server would, and files.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct proc_result {
    int status = -1;      // exit status, or 128 + signal number
    std::string out;      // standard output, byte for byte
    std::string err;      // standard error
};

// Runs argv[0] (a path) with exactly env as its environment and stdin_data on
// its standard input; waits for it.
proc_result run_process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                        const std::string &stdin_data = "");

// An unlinked scratch file holding content, read from its start: a child's
// standard input or an output of it.
int scratch_fd(const std::string &content = "");
// All of fd from its start; closes it.
std::string drain(int fd);

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text, int mode = 0644);
bool path_exists(const std::string &path);
// Names in dir that begin with prefix.
std::vector<std::string> dir_entries(const std::string &dir, const std::string &prefix = "");

// What fn writes to standard output (stdio flushed), byte for byte.
std::string capture_stdout(const std::function<void()> &fn);

// The answers of the page frame, as a browser receives them.
std::string login_timeout_page(const std::string &lang, const std::string &user = "");
std::string error_redirect(const std::string &sid, const std::string &lang, const std::string &errid,
                           const std::string &page);
