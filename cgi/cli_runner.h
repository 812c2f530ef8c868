// CLI command runner: commands go into the command file, imish runs them with
// its output in the result file, and the result is read back line by line.
#pragma once

#include <cstddef>

// Size of the buffer a result line is read into; longer lines come in pieces.
inline constexpr std::size_t CLI_LINE_SIZE = 256;
// The most error text the runner writes for a caller, terminator included:
// the CLI's own line, or a failed run's text.
inline constexpr std::size_t CLI_ERROR_SIZE = 256;

// Results of a run that did not complete; the result file then holds
// "%%cli_unavailable", "%%cli_timeout" or "%%cli_no_answer" when it could be
// written. UNAVAILABLE: no command ran. TIMEOUT: imish was ended at the time
// limit. NO_ANSWER: imish ran, but its answer is not whole (it was killed,
// /tmp filled up under it, or it ended with a failing status and no error
// line). FAILING: imish ended with a failing status, and its answer, kept
// as the result, holds an error line: that line speaks for the command it
// names, but a CLI that stops at its first refusal leaves the commands after
// it unmade, so what became of the others is not known. After the last
// three a change may or may not have been made; a show's answer is not
// whole. The exit status only ever refuses a success.
inline constexpr int CLI_RUN_UNAVAILABLE = -1;
inline constexpr int CLI_RUN_TIMEOUT = -2;
inline constexpr int CLI_RUN_NO_ANSWER = -3;
inline constexpr int CLI_RUN_FAILING = -4;

// The longest an imish run may take before it is ended, and the time it is
// given between SIGTERM and SIGKILL (and, should it not take signals, to end
// on its own before it is left).
inline constexpr int CLI_RUN_TIMEOUT_MS = 20000;
inline constexpr int CLI_KILL_GRACE_MS = 2000;
// A run needs this much room in /tmp for its answer to be recorded whole.
inline constexpr unsigned long long CLI_MIN_FREE_BYTES = 64 * 1024;

// Line handler: the run's counter (0 at the start of each run) and one
// result line, line feed included. The result is ignored.
using cli_line_cb = int (*)(int *counter, const char *line);

// Appends cmd and a line feed to the command file. 0 (also for a null cmd),
// or -1 when the file cannot be written; a failed append leaves the file as
// it was. After a run the file is made anew, exclusively: whatever another
// user planted at its name is refused (and the name given up), not opened.
int cli_append_cmd(const char *cmd);

// Runs the command file in configuration mode, or, while "/tmp/config_mode"
// is a regular file, writes "%%configure_mode_inuse" as the result instead.
// 0; CLI_RUN_UNAVAILABLE when nothing could run (no room in /tmp, a command
// or result file that is not this process's own, imish missing) or the reply
// cannot be written; CLI_RUN_TIMEOUT when imish had to be ended;
// CLI_RUN_NO_ANSWER when it ran but its answer is not whole.
int cli_exec_config();

// Runs the command file in show mode. 0, or a run failure as above.
int cli_exec_show();

// As cli_exec_show, with its own time limit (at most CLI_RUN_TIMEOUT_MS):
// a second question that must not double the wait of a request whose first
// run already took long.
int cli_exec_show_within(int limit_ms);

// The error text a failed run gives the error page: "%cli_timeout" for
// CLI_RUN_TIMEOUT, "%cli_no_answer" for CLI_RUN_NO_ANSWER and
// CLI_RUN_FAILING, else "%cli_unavailable".
const char *cli_failure_text(int rc);

// Ends the imish run in progress, if any, with its whole process group.
// Async-signal-safe: the signal handler calls it before removing the files.
void cli_child_end();

// Hands each result line after the first skip lines to cb. 0, or -1 when cb is
// null or the result file cannot be read to its end.
int cli_parse_result(cli_line_cb cb, int skip);

// The result file's path (res_file_path itself); never null.
const char *cli_result_path();

// Appends cmd, runs it in show mode and parses the result with cb.
// The first non-zero result of those steps (a failed run's included), else 0.
int cli_run_show(const char *cmd, cli_line_cb cb, int skip);

// As cli_run_show, but a handler's result counts: the first non-zero one
// (a line the caller could not take in) stops the reading with -1.
int cli_run_show_checked(const char *cmd, cli_line_cb cb, int skip);

// Finds the first result line that holds match and neither exclusion. Then
// copies the text from the match on (one leading "%" dropped, line feed kept)
// into out (CLI_ERROR_SIZE bytes, may be null) and returns -1. 0 when no line matches;
// -1 with out untouched when the result cannot be read to its end.
int cli_find_error(const char *match, const char *exclude1, const char *exclude2, char *out);

// What the CLI said of the commands of the last run, as its result tells.
enum class cli_verdict {
    accepted,   // no result line holds "%"
    refused,    // one does: its error text is in the caller's buffer
    unread,     // the result could not be read to its end: not known
};

// The error text of a "%" line with nothing after the sign: the CLI refused
// without saying why, and nothing changed.
inline constexpr char CLI_REFUSED_TEXT[] = "%cli_refused";

// The error lines of a run, whole (line feed included, a longer one cut at
// CLI_LINE_SIZE - 1 bytes), in the order of the answer.
struct cli_error_lines {
    char (*lines)[CLI_LINE_SIZE];   // room for max lines
    int max;
    int count;   // the error lines found; past max, the rest were not kept
};

// The verdict of the last configuration run, from one reading of its
// result. err (size bytes, at least CLI_ERROR_SIZE) gets the first error
// text, as cli_find_error with match "%" gives it (CLI_REFUSED_TEXT when
// that is blank), when refused; it is untouched otherwise. all, when given,
// gets every error line of that same reading.
cli_verdict cli_config_verdict(char *err, std::size_t size, cli_error_lines *all = nullptr);
