// imish stand-in: runs a file of CLI commands against the simulated switch.
//
//   imish [-g] [-y] [-w] -f CMDFILE   run CMDFILE; -w selects show mode
//   imish --reset                     forget the state (fresh switch)
//   imish --learn COUNT [SEED]        the switch learns COUNT addresses from
//                                     traffic (the same ones for the same SEED)
//
// With SIM_IMISH_STOP_AT_ERROR set, a configuration run stops at its first
// refused command and exits 1, as some CLIs do: the commands after it are
// not run, the ones before it stay made.
//
// Results go to standard output; every refused command gives one line that
// starts with "% ". Usage problems go to standard error with exit status 1.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "line_words.h"
#include "state_file.h"
#include "switch_state.h"
#include "unique_fd.h"

namespace {

struct options {
    const char *cmd_file = nullptr;
    bool show_mode = false;
    bool reset = false;
};

void usage_error(const char *what, const char *arg)
{
    std::fprintf(stderr, "imish: %s%s\nusage: imish [-g] [-y] [-w] -f CMDFILE\n       imish --reset\n       imish --learn COUNT [SEED]\n",
                 what, arg);
}

// 0, or -1 after telling the user what is wrong.
int parse_options(int argc, char **argv, options &opt)
{
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "-g") == 0 || std::strcmp(a, "-y") == 0) {
            // Accepted for compatibility with the page's command lines.
        } else if (std::strcmp(a, "-w") == 0) {
            opt.show_mode = true;
        } else if (std::strcmp(a, "-f") == 0) {
            if (++i == argc) {
                usage_error("option -f needs a file name", "");
                return -1;
            }
            opt.cmd_file = argv[i];
        } else if (std::strcmp(a, "--reset") == 0) {
            opt.reset = true;
        } else {
            usage_error("unknown option ", a);
            return -1;
        }
    }
    if (opt.reset == (opt.cmd_file != nullptr)) {
        usage_error(opt.reset ? "--reset takes no command file" : "no command file given (-f)", "");
        return -1;
    }
    return 0;
}

int reset_state(const state_paths &paths)
{
    unique_fd lock;
    if (state_lock(paths, true, lock) != 0 || state_remove(paths) != 0) {
        std::fprintf(stderr, "imish: cannot reset %s: %s\n", paths.state, std::strerror(errno));
        return 1;
    }
    return 0;
}

// The state lives for one run; it is too big for a comfortable stack frame.
switch_state g_state;

// A count or seed: decimal digits, at most the table's size.
bool small_number(const char *text, int &out)
{
    int v = 0;
    for (const char *c = text; *c; ++c) {
        if (*c < '0' || *c > '9' || (v = v * 10 + (*c - '0')) > SW_MAX_LEARNED)
            return false;
    }
    out = v;
    return *text != '\0';
}

int learn(int argc, char **argv, const state_paths &paths)
{
    int count = 0, seed = 1;
    if (argc < 3 || argc > 4 || !small_number(argv[2], count) || (argc == 4 && !small_number(argv[3], seed))) {
        usage_error("--learn takes a count and a seed, each at most 32768", "");
        return 1;
    }
    unique_fd lock;
    char err[STATE_ERR_SIZE];
    if (state_lock(paths, true, lock) != 0 || state_load(paths, g_state, err) != 0) {
        std::fprintf(stderr, "imish: switch state unavailable\n");
        return 1;
    }
    sw_learn_traffic(g_state, count, static_cast<unsigned>(seed));
    if (g_state.dirty && state_save(paths, g_state, err) != 0) {
        std::fprintf(stderr, "imish: %s\n", err);
        return 1;
    }
    return 0;
}

int run_file(const options &opt, const state_paths &paths)
{
    unique_file cmds(std::fopen(opt.cmd_file, "re"));
    if (!cmds.ok()) {
        std::fprintf(stderr, "imish: cannot read %s: %s\n", opt.cmd_file, std::strerror(errno));
        return 1;
    }
    cli_out out(stdout);

    // Held from load to save so that concurrent runs cannot lose updates.
    unique_fd lock;
    char err[STATE_ERR_SIZE];
    if (state_lock(paths, !opt.show_mode, lock) != 0) {
        out.error("Switch state unavailable: cannot lock %s: %s", paths.lock, std::strerror(errno));
        return 1;
    }
    if (state_load(paths, g_state, err) != 0) {
        out.error("Switch state unavailable: %s", err);
        return 1;
    }

    cli_session session{g_state, out, !opt.show_mode};
    const char *stop = std::getenv("SIM_IMISH_STOP_AT_ERROR");
    const bool stop_at_error = !opt.show_mode && stop && *stop;
    char line[CLI_CMD_MAX + 1];
    std::size_t len;
    line_status ls;
    int rc = 0;
    while ((ls = read_line(cmds.get(), line, sizeof line, len)) != line_status::end) {
        if (ls == line_status::too_long)
            cli_refuse_long_line(session);
        else
            cli_run_line(session, line, len);
        if (stop_at_error && out.errors() > 0) {
            rc = 1;
            break;
        }
    }

    if (std::ferror(cmds.get())) {
        // A directory, say: opening works, reading does not.
        std::fprintf(stderr, "imish: cannot read %s: %s\n", opt.cmd_file, std::strerror(errno));
        rc = 1;
    }
    if (!opt.show_mode && g_state.dirty && state_save(paths, g_state, err) != 0) {
        out.error("Changes not saved: %s", err);
        rc = 1;
    }
    if (std::fflush(stdout) != 0)
        rc = 1;
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--learn") == 0) {
        state_paths paths;
        return state_paths_init(paths) == 0 ? learn(argc, argv, paths) : 1;
    }
    options opt;
    if (parse_options(argc, argv, opt) != 0)
        return 1;
    state_paths paths;
    if (state_paths_init(paths) != 0) {
        std::fprintf(stderr, "imish: unusable state path in SIM_SWITCH_STATE\n");
        return 1;
    }
    return opt.reset ? reset_state(paths) : run_file(opt, paths);
}
