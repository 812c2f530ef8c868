// Where the simulated switch keeps its state between runs, and how runs share it.
//
// The state is a text file, by default "/tmp/sim_switch/state" (the variable
// SIM_SWITCH_STATE names another). A missing file means a factory-fresh
// switch. One record per line, words separated by blanks; blank lines and
// lines starting with "#" are ignored:
//
//   imish-state 1                          first record: format version
//   qos enable|disable                     QoS on the whole switch (enable
//                                          when there is no such record)
//   port NAME [KEY=VALUE...]               one per port, in listing order;
//                                          a key left out keeps the name's
//                                          default (sw_port_defaults):
//        mode=access|trunk pvid=N admin=up|down link=up|down
//        duplex=auto|full|half speed=auto|10|100|1000|10G media=MEDIA desc=WORD
//        shape=none|KBPS qshape=Q0,...,Q7 (each none or CIR/PIR, kbps)
//        qclass=C0/W0,...,C7/W7 (class and DRR weight of each queue)
//        police-in=, police-out=none|MODE/CIR/CBS/EBS/PIR/PBS/DROP-COLOR/L3
//   vlan VID                               one per VLAN
//   mac VID xxxx.xxxx.xxxx PORT            one per static entry; its VLAN
//                                          and port come earlier in the file
//   learned VID xxxx.xxxx.xxxx PORT        one per learned entry, the same
//                                          way; never the key of a static one
//
// Runs serialise on flock() of "STATE.lock" beside the state file. The lock
// is not taken on the state file itself because a save replaces that file
// (temporary file in the same directory, then rename), so a lock on it would
// be lost with the old inode.
#pragma once

#include <cstddef>

#include "switch_state.h"
#include "unique_fd.h"

inline constexpr std::size_t STATE_PATH_SIZE = 4096;
inline constexpr const char *STATE_DEFAULT_PATH = "/tmp/sim_switch/state";
inline constexpr std::size_t STATE_ERR_SIZE = 160;

struct state_paths {
    char state[STATE_PATH_SIZE];
    char lock[STATE_PATH_SIZE];
    char dir[STATE_PATH_SIZE];
};

// Fills the paths from SIM_SWITCH_STATE or the default. 0, or -1 when the
// name is empty, ends in "/" or leaves no room for the lock and temporary
// names.
int state_paths_init(state_paths &p);

// Creates the state directory (and its parents) when missing, then takes the
// run lock, exclusive or shared, waiting for other runs. 0 with the lock
// descriptor in fd (closing it releases the lock), or -1 with errno set.
int state_lock(const state_paths &p, bool exclusive, unique_fd &fd);

// Reads the state file into st; a missing file gives a fresh switch.
// 0, or -1 with a one-line reason in err (STATE_ERR_SIZE bytes).
int state_load(const state_paths &p, switch_state &st, char *err);

// Writes st to a temporary file beside the state file and renames it into
// place, so a reader sees the old state or the new one, never a mix.
// 0, or -1 with a one-line reason in err.
int state_save(const state_paths &p, const switch_state &st, char *err);

// Removes the state file (the switch is fresh again). 0, or -1 with errno.
int state_remove(const state_paths &p);
