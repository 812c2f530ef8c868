// What the static MAC pages' jobs share: the grammar of an entry's parts,
// the data set key of a row's field, one configuration run with its verdict,
// and the note that a CLI run did not answer whole.
#pragma once

#include "audit_log.h"
#include "cli_runner.h"

#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string_view>

inline constexpr std::size_t CMD_BUF_SIZE = 256;
inline constexpr std::size_t KEY_BUF_SIZE = 128;
inline constexpr std::size_t MAC_TEXT_SIZE = 15;   // "xxxx.xxxx.xxxx" and its terminator
inline constexpr std::size_t VLAN_TEXT_SIZE = 5;   // "4094" and its terminator
inline constexpr std::size_t INTF_TEXT_SIZE = 12;  // "eth-999-999" and its terminator

inline constexpr char INVALID_PARAMETER[] = "invalid_parameter";

// A table of n values from one malloc (checked by the pages' allocators),
// freed at scope exit: the one allocation a job's rows may make. Null when
// it could not be had.
struct free_deleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using heap_array = std::unique_ptr<T[], free_deleter>;
template <typename T> heap_array<T> heap_alloc(std::size_t n)
{
    return heap_array<T>(static_cast<T *>(std::malloc(sizeof(T) * n)));
}

// Three groups of four hex digits joined by dots, in either letter case.
bool mac_text_valid(std::string_view mac);

// A VLAN as the switch writes it: 1 to 4094, decimal, no leading zero.
bool vlan_text_valid(std::string_view vlan);

// An interface as the switch names its ports: "eth-<slot>-<port>" or
// "agg<number>", each number decimal, at most three digits, no leading zero.
bool intf_name_valid(std::string_view name);

// "<group>.<num>.<field>" into key, num as "%d" writes it: the data set key
// of a row's field. Cut at the buffer's end.
void row_key(char (&key)[KEY_BUF_SIZE], std::string_view group, int num, std::string_view field);

// Runs the commands in one configuration run. 0 when the CLI accepted them
// all; -1 with the reason in err (CLI_ERROR_SIZE bytes): a failed run's
// text, or the CLI's first error line. A run that did not complete never
// reads as accepted. *result tells the audit trail what became of the
// commands, and lines, when given, gets the error lines of the same reading
// of the answer.
int config_run(const char *const *cmds, int count, char *err, audit_result *result,
               cli_error_lines *lines = nullptr);

// The reason an audit record gives for err: an error id of the runner's
// ("%cli_timeout") without its sign, any other text as it is.
const char *audit_reason(const char *err);

// A run whose answer is not whole (rc non-zero) is told to the operator
// ("cli_failed"), and the trees under partial are dropped: never a shorter
// list shown as whole. Nothing when rc is 0.
void cli_failure_note(int rc, std::initializer_list<const char *> partial);

// An entry a change names, as an error line of the CLI would name it: its
// MAC in lower case, and its VLAN.
struct entry_ref {
    const char *mac;
    const char *vlan;
};

// Which error line of a run answers each entry: naming[i] gets the text
// after the "%" of the first line that names entries[i] (its MAC in any
// letter case and, apart from it, its VLAN as a number of its own), or
// null. The result is the text of the first line that names no entry (or
// of the first line, when not every line was kept), or null: an entry no
// line names may then have been refused too. order (count slots) is
// scratch room for the lookup by MAC.
const char *error_lines_attribute(const cli_error_lines &lines, const entry_ref *entries, int count,
                                  const char **naming, int *order);
