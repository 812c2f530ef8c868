// Running a program as run_process does, but within a time limit.
#pragma once

#include "test_util.h"

#include <string>
#include <vector>

struct timed_result : proc_result {
    bool timed_out = false;   // killed at the limit, with its process group
    int term_signal = 0;      // the signal that ended it, 0 for an exit
    long elapsed_ms = 0;
};

// Runs argv[0] with exactly env and stdin_data, in a process group of its
// own; past limit_ms the group is killed with SIGKILL and the result says so.
timed_result run_process_within(const std::vector<std::string> &argv,
                                const std::vector<std::string> &env,
                                const std::string &stdin_data, long limit_ms);
