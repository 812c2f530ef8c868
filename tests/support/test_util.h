// Shared test helpers: running a program as a web server would, and files.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct proc_result {
    int status = -1;      // exit status, or 128 + signal number
    std::string out;      // standard output, byte for byte
    std::string err;      // standard error
    int term_signal = 0;  // the signal that ended it, 0 for an exit
    bool timed_out = false;
    long elapsed_ms = 0;
};

// Runs argv[0] (a path) with exactly env as its environment and stdin_data on
// its standard input; waits for it. With limit_ms, the program runs in a
// process group of its own, killed whole with SIGKILL past the limit.
proc_result run_process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                        const std::string &stdin_data = "", long limit_ms = 0);

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text, int mode = 0644);
bool path_exists(const std::string &path);
// Names in dir that begin with prefix.
std::vector<std::string> dir_entries(const std::string &dir, const std::string &prefix = "");

// What fn writes to standard output (stdio flushed), byte for byte.
std::string capture_stdout(const std::function<void()> &fn);

// The answers of the page frame, as a browser receives them.
std::string login_timeout_page(const std::string &lang, const std::string &user = "");
// A redirect to location: it carries the session id, so no cache keeps it.
std::string redirect(const std::string &location);
std::string error_redirect(const std::string &sid, const std::string &lang, const std::string &errid,
                           const std::string &page);
