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

// word into field, cut to fit; its letters in lower case when lower (a
// MAC, as commands and records carry it).
template <std::size_t N> void copy_word(char (&field)[N], std::string_view word, bool lower = false)
{
    std::size_t n = word.size() < N - 1 ? word.size() : N - 1;
    for (std::size_t i = 0; i < n; ++i)
        field[i] = lower && word[i] >= 'A' && word[i] <= 'Z' ? static_cast<char>(word[i] | 0x20) : word[i];
    field[n] = '\0';
}

// The blank-separated words of text into words (room for n): their count,
// or -1 when there are more than n or one is empty (a leading blank, or
// two together).
int words_split(std::string_view text, std::string_view *words, int n);

// Hands each value of the posted "sel" field to take(ctx, value), in the
// order sent, until take returns false. false when there is none, or take
// returned false.
bool selections_each(bool (*take)(void *ctx, const char *value), void *ctx);
template <typename F> bool selections_each(F &take)
{
    return selections_each([](void *ctx, const char *v) { return (*static_cast<F *>(ctx))(v); }, &take);
}

// "<group>.<num>.<field>" into key, num as "%d" writes it: the data set key
// of a row's field. Cut at the buffer's end.
void row_key(char (&key)[KEY_BUF_SIZE], std::string_view group, int num, std::string_view field);

// The reason an audit record gives for err: an error id of the runner's
// ("%cli_timeout", "%configure_mode_inuse") without its sign, any other
// text as it is.
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
// letter case and its VLAN, each a word of its own: "VLAN 10" names VLAN 10,
// never VLAN 1, and "eth-1-1" names no VLAN), or null. The result is the
// text of the first line that names no entry (or of the first line, when
// not every line was kept), or null: an entry no line names may then have
// been refused too. order (count slots) is scratch room for the lookup by MAC.
const char *error_lines_attribute(const cli_error_lines &lines, const entry_ref *entries, int count,
                                  const char **naming, int *order);

// What a change does to an entry of the switch's table.
enum class change_kind { add, remove };

// One entry of a change: its MAC in lower case, interface and VLAN, and the
// command that makes the change.
struct entry_change {
    const char *mac;
    const char *intf;
    const char *vlan;
    const char *cmd;
};

// What became of one entry of a change, and how that was known.
struct change_outcome {
    audit_result result;
    const char *reason;   // null for ok; else the CLI's line that names the
                          // entry (after its "%") or an error id ("%cli_...")
    audit_known known;    // from the CLI's answer, or read back from the table
    // Read back: the interface the table holds the entry's MAC and VLAN on,
    // empty when it holds neither (or the table was not read).
    char held_on[INTF_TEXT_SIZE];
};

// The error id of an entry the switch's table shows was not changed, when
// no line of the CLI's answer says why.
inline constexpr char CLI_NOT_APPLIED[] = "%cli_not_applied";
// The longest the switch's table is asked for when an answer is in doubt.
inline constexpr int CHANGE_READ_BACK_MS = 5000;

// A change's outcomes, one per entry, and the CLI's lines they point into.
struct change_result {
    heap_array<change_outcome> outcomes;
    heap_array<char[CLI_LINE_SIZE]> lines;
    // What the page says of the run as a whole when not every entry has an
    // outcome of its own from it: a run that could not start, one refused
    // whole ("%configure_mode_inuse"), one that left an outcome unknown
    // ("%cli_timeout", "%cli_no_answer"); else empty.
    char failure[CLI_ERROR_SIZE];
    bool read_back;   // the answer was in doubt, and the table was asked
};

// Runs the entries' commands in one configuration run and gives each entry
// its outcome in r. An answer that ends cleanly, each error line naming the
// entry it refuses, decides alone. When it is in doubt (imish ended with a
// failing status or by a signal, the answer cannot be read whole, or an
// error line names no entry) the switch's table is asked once more, within
// CHANGE_READ_BACK_MS, and decides each entry: an add is made when the table
// holds its MAC and VLAN on its interface, a removal when it no longer
// holds the entry; a line that names an entry keeps its word for an entry
// that the table shows unchanged. Entries that even the table cannot settle
// are unknown. false, with nothing run, when the room for the outcomes
// could not be had.
bool change_run(change_kind kind, const entry_change *entries, int count, change_result *r);

// Asks the switch's table, within CHANGE_READ_BACK_MS, where it holds the
// MAC (lower case) and VLAN: that interface into intf, empty when nowhere.
// false when the table could not be read whole.
bool table_where(const char *mac, const char *vlan, char (&intf)[INTF_TEXT_SIZE]);

// The error id or line an error page gives for a change of count entries
// whose outcomes are in r: what is said of the run as a whole (an outcome
// unknown: the change may have been made), else the first entry's refusal
// or failure; null when every entry was changed.
const char *change_error(const change_result &r, int count);
