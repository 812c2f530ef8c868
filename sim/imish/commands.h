// The imish command table: which command lines exist and what each one does.
#pragma once

#include <cstddef>

#include "cli_output.h"
#include "switch_state.h"

// Longest command line accepted, line feed not counted.
inline constexpr std::size_t CLI_CMD_MAX = 1024;

struct cli_session {
    switch_state &st;
    cli_out &out;
    bool config_mode; // false: show mode, configuration commands are refused
};

// Runs one command line (len bytes, NUL-terminated, no line feed; may hold
// any bytes). Results and errors go to s.out; a blank line does nothing.
void cli_run_line(cli_session &s, char *line, std::size_t len);

// Reports a command line longer than CLI_CMD_MAX.
void cli_refuse_long_line(cli_session &s);
