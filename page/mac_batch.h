// Many static entries at once: a pasted or loaded list, checked whole, then
// added in one configuration run, with an outcome and an audit record for
// each entry.
#pragma once

#include "mac_entry.h"

#include <cstddef>

struct audit_who;

// The most entries one batch may hold, and the most body an add of many
// may send (a single add keeps its own, smaller limit).
inline constexpr int MAC_BATCH_MAX = 1024;
inline constexpr unsigned long BATCH_BODY_MAX = 64 * 1024;
// How much of a line that is not taken the answer shows.
inline constexpr std::size_t BATCH_TEXT_SIZE = 65;

// Why a line is not taken.
enum class batch_fault {
    none,
    control,    // a control character
    fields,     // not exactly three fields, or an empty one
    mac,        // not xxxx.xxxx.xxxx, xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx
    vlan,       // not 1-4094 in decimal
    intf,       // not eth-S-P or aggN
    conflict,   // the same MAC and VLAN on another interface in another line
};

// A line of a batch that holds an entry, or was meant to.
struct batch_line {
    int number;                   // in the text as sent, from 1
    batch_fault fault;
    int other;                    // the line a conflict is with, or the one a repeat repeats
    char mac[MAC_TEXT_SIZE];      // lower case, xxxx.xxxx.xxxx
    char vlan[VLAN_TEXT_SIZE];
    char intf[INTF_TEXT_SIZE];
    char text[BATCH_TEXT_SIZE];   // the line as sent, cut, for a line not taken
};

// Reads a batch: one entry a line, MAC, VLAN and interface separated by a
// comma, tabs or blanks (any mix; blanks around a value do not count); LF
// or CRLF line ends. Blank lines, lines that start with "#" and a first line
// "mac,vlan,interface" (any case) hold no entry. Each line that holds one
// goes into lines (room for max), checked: its fault, and for a valid line
// that names an entry an earlier line names too, that line's number in
// other (a repeat, which goes once), or a conflict when the interfaces
// differ. The count of such lines, or -1 when there are more than max.
int batch_parse(const char *text, batch_line *lines, int max);

// Runs count lines, each a valid entry (a repeat names the earlier line it
// repeats in other), as adds in one configuration run, and stores the
// answer as mac_batch_add does, each entry's audit record under action
// ("add", or "pin" for learned entries made static). false when the room
// for the run or a value of the answer could not be had.
bool mac_batch_run(const audit_who &who, const char *action, const batch_line *lines, int count);

struct page_request;

// Shows the answer mac_batch_add or mac_pin stored: the batch template, or,
// when it cannot be rendered, the error page (a run that went to the switch
// says so: "error_batch_unshown"), which leads back to return_to. The
// exit status.
int mac_batch_answer(const page_request &req, const char *return_to);

// Adds the posted "Query.entries" as a batch and stores its answer for the
// batch template ("batch.*" and "result.%d.*"), with one audit record per
// entry, or one for a batch refused whole. 0 when that page is to be shown;
// -1 with the error id in err when the batch goes over MAC_BATCH_MAX (and
// nothing runs).
int mac_batch_add(const audit_who &who, char *err);
