// CLI command runner: commands go into the command file, imish runs them with
// its output in the result file, and the result is read back line by line.
#pragma once

#include <cstddef>

// Size of the buffer a result line is read into; longer lines come in pieces.
inline constexpr std::size_t CLI_LINE_SIZE = 256;

// Line handler: the run's counter (0 at the start of each run) and one
// result line, line feed included. The result is ignored.
using cli_line_cb = int (*)(int *counter, const char *line);

// Appends cmd and a line feed to the command file. 0 (also for a null cmd),
// or -1 when the file cannot be written; a failed append leaves the file as
// it was.
int cli_append_cmd(const char *cmd);

// Runs the command file in configuration mode, or, while "/tmp/config_mode"
// is a regular file, writes "%%configure_mode_inuse" as the result instead.
// 0, or -1 when that reply cannot be written.
int cli_exec_config();

// Runs the command file in show mode. Always 0.
int cli_exec_show();

// Hands each result line after the first skip lines to cb. 0, or -1 when cb is
// null or the result file cannot be read.
int cli_parse_result(cli_line_cb cb, int skip);

// The result file's path (res_file_path itself); never null.
const char *cli_result_path();

// Appends cmd, runs it in show mode and parses the result with cb.
// The first non-zero result of those steps, else 0.
int cli_run_show(const char *cmd, cli_line_cb cb, int skip);

// Finds the first result line that holds match and neither exclusion. Then
// copies the text from the match on (one leading "%" dropped, line feed kept)
// into out (256 bytes, may be null) and returns -1. 0 when no line matches;
// -1 with out untouched when the result cannot be read.
int cli_find_error(const char *match, const char *exclude1, const char *exclude2, char *out);
