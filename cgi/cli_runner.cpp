// CLI command runner over the scratch files of the page frame.
#include "cli_runner.h"

#include "deadline.h"
#include "line_reader.h"
#include "page_frame.h"
#include "unique_fd.h"
#include "web_state.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char **environ;

namespace {

constexpr char CONFIG_MODE_MARKER[] = "/tmp/config_mode";
constexpr std::string_view CONFIG_MODE_REPLY = "%%configure_mode_inuse";
// What a run that never happened leaves as its result, so that the error
// scan reports it instead of reading an empty result as success.
constexpr std::string_view CLI_UNAVAILABLE_REPLY = "%%cli_unavailable";
constexpr std::string_view CLI_TIMEOUT_REPLY = "%%cli_timeout";
constexpr std::string_view CLI_NO_ANSWER_REPLY = "%%cli_no_answer";
constexpr std::size_t CHILD_ENV_MAX = 256;

// Variables that carry the request. imish gets none of them, so no request
// byte reaches it except through the command file.
constexpr std::array<std::string_view, 16> REQUEST_ENV_PREFIXES = {
    "HTTP_", "QUERY_STRING=", "CONTENT_", "REQUEST_", "REMOTE_", "SCRIPT_",
    "PATH_INFO=", "PATH_TRANSLATED=", "SERVER_", "GATEWAY_INTERFACE=", "AUTH_TYPE=",
    "HTTPS=", "DOCUMENT_", "CONTEXT_", "REDIRECT_", "ORIG_",
};

bool carries_request(std::string_view var)
{
    for (std::string_view p : REQUEST_ENV_PREFIXES)
        if (var.starts_with(p))
            return true;
    return false;
}

bool config_mode_held()
{
    struct stat st;
    return stat(CONFIG_MODE_MARKER, &st) == 0 && S_ISREG(st.st_mode);
}

// The scratch files live in /tmp under names anyone can list, and the
// command file is made anew after each run: a file another user planted
// there in between is not ours to write or to hand to imish.
bool is_own_file(const struct stat &st)
{
    return S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_nlink == 1;
}

bool fd_is_own_file(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && is_own_file(st);
}

// Something else stands at a scratch path: give the path up, so that
// neither imish nor the clean-up touches what another user put there.
void disown(char *path)
{
    path[0] = '\0';
}

// An open of a scratch name failed because something else stands there: a
// link (O_NOFOLLOW), a FIFO without a reader (O_NONBLOCK), a directory, or,
// for an exclusive create, anything at all.
bool planted_at_name(int err)
{
    return err == ELOOP || err == ENXIO || err == EISDIR || err == EEXIST;
}

// Opens the command file for appending: the one this process made, or,
// after a run removed it, a new one made exclusively. A FIFO, a directory,
// a link or another user's file at the name is never opened for writing
// (O_NONBLOCK: a FIFO planted in between does not hold the request); the
// name is disowned instead.
unique_fd open_command_file()
{
    constexpr int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    struct stat named;
    bool absent = lstat(cmd_file_path, &named) != 0;
    if (absent && errno != ENOENT)
        return unique_fd();
    if (!absent && !is_own_file(named)) {
        disown(cmd_file_path);
        return unique_fd();
    }
    unique_fd fd(open(cmd_file_path, absent ? flags | O_CREAT | O_EXCL : flags, 0600));
    struct stat held;
    if (!fd.ok()) {
        if (planted_at_name(errno))
            disown(cmd_file_path);
        return unique_fd();
    }
    if (fstat(fd.get(), &held) != 0)
        return unique_fd();
    if (!is_own_file(held) || (!absent && (held.st_dev != named.st_dev || held.st_ino != named.st_ino))) {
        disown(cmd_file_path);
        return unique_fd();
    }
    return fd;
}

// A run has used the commands: remove them, so that the next run starts
// afresh. A command file that cannot be removed is given up, never run again.
void consume_command_file()
{
    if (cmd_file_path[0] != '\0' && unlink(cmd_file_path) != 0 && errno != ENOENT)
        disown(cmd_file_path);
}

// true once the child has ended; it stays a zombie, so its pid (and with it
// the process group id) cannot be taken by another process before the reap.
bool child_ended(pid_t pid)
{
    siginfo_t info{};
    int rc;
    do
        rc = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    while (rc < 0 && errno == EINTR);
    // ECHILD: a server that ignores SIGCHLD had it reaped already. Any other
    // failure is taken as an end too: the reap then kills what is left, and
    // its status tells.
    return rc < 0 || info.si_pid == pid;
}

// Waits for the child's end until deadline (monotonic ms). SIGCHLD is
// blocked by the caller, so a child that ends before the wait starts still
// wakes it.
bool wait_child_until(pid_t pid, long long deadline)
{
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    while (!child_ended(pid)) {
        long long left = deadline - monotonic_ms();
        if (left <= 0)
            return false;
        timespec ts = {static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
        sigtimedwait(&chld, nullptr, &ts);
    }
    return true;
}

// Reaps the child after its process group, where anything it left running
// lives on, has been killed. The exit status, or -1 when it cannot be told:
// a child that could not be signalled (it left its group, or the kill was
// refused) is waited for CLI_KILL_GRACE_MS at most, then left, never waited
// for without end.
int reap_child_group(pid_t pid)
{
    // The handler must not end the group between the kill and the reap, nor
    // find the id once it may name another process. SIGCHLD blocked, a child
    // that ends wakes the bounded wait.
    signals_blocked guard({SIGTERM, SIGINT, SIGABRT, SIGCHLD});
    bool signalled = kill(-pid, SIGKILL) == 0;
    if (!signalled)
        signalled = kill(pid, SIGKILL) == 0;
    int status = 0;
    pid_t w = -1;
    if (signalled || wait_child_until(pid, monotonic_ms() + CLI_KILL_GRACE_MS)) {
        do
            w = waitpid(pid, &status, 0);
        while (w < 0 && errno == EINTR);
    }
    cli_child_pid = 0;
    return w == pid ? status : -1;
}

// done: imish ran to its end; failing: it ended with a non-zero status, so
// only an error line in its answer tells what became of the commands;
// unavailable: it certainly did nothing; timeout and no_answer: it ran, and
// what it did is not known.
enum class run_fate { done, failing, unavailable, timeout, no_answer };

// imish's command line: "imish -g -y [-w] -f <command file>".
struct imish_argv {
    explicit imish_argv(bool show_mode)
    {
        for (const char *arg : {"imish", "-g", "-y", show_mode ? "-w" : nullptr, "-f"})
            if (arg)
                args[count++] = const_cast<char *>(arg);
        args[count++] = cmd_file_path;
    }
    char *args[7] = {};
    int count = 0;
};

// The page's environment without a variable that carries the request: no
// request byte reaches imish but through the command file.
struct child_environment {
    child_environment()
    {
        for (char **e = environ; e && *e && count < CHILD_ENV_MAX; ++e)
            if (!carries_request(*e))
                vars[count++] = *e;
    }
    std::array<char *, CHILD_ENV_MAX + 1> vars{};
    std::size_t count = 0;
};

// How imish is started: standard input from /dev/null (the request body is
// still on the page's), standard output on the result file, a process group
// of its own (ending the run ends whatever it started too), no signal
// blocked or ignored. Released at scope exit.
class imish_spawn_setup {
public:
    explicit imish_spawn_setup(int out)
    {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, out, STDOUT_FILENO);
        posix_spawnattr_init(&attr_);
        sigset_t none, deflt;
        sigemptyset(&none);
        sigemptyset(&deflt);
        for (int sig : {SIGTERM, SIGINT, SIGABRT, SIGCHLD, SIGPIPE, SIGHUP})
            sigaddset(&deflt, sig);
        posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                             POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attr_, 0);
        posix_spawnattr_setsigmask(&attr_, &none);
        posix_spawnattr_setsigdefault(&attr_, &deflt);
    }
    ~imish_spawn_setup()
    {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attr_);
    }
    imish_spawn_setup(const imish_spawn_setup &) = delete;
    imish_spawn_setup &operator=(const imish_spawn_setup &) = delete;

    // Starts imish and records it for the signal handler. 0, or an errno.
    int start(pid_t *pid, bool show_mode)
    {
        imish_argv argv(show_mode);
        child_environment env;
        signals_blocked guard;
        int err = posix_spawnp(pid, "imish", &actions_, &attr_, argv.args, env.vars.data());
        if (err == 0)
            cli_child_pid = *pid;
        return err;
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
};

// Waits for a started imish at most limit_ms, ends its group at the limit
// (SIGTERM, then SIGKILL after CLI_KILL_GRACE_MS), reaps it, and tells what
// became of the run.
run_fate wait_or_end(pid_t pid, int out, int limit_ms)
{
    run_fate fate = run_fate::done;
    if (!wait_child_until(pid, monotonic_ms() + limit_ms)) {
        kill(-pid, SIGTERM);
        wait_child_until(pid, monotonic_ms() + CLI_KILL_GRACE_MS);
        fate = run_fate::timeout;
    }
    int status = reap_child_group(pid);
    if (fate == run_fate::timeout)
        return fate;
    // Killed, or ended in a way that cannot be told: it may have made
    // changes before, and its answer may be cut.
    if (status == -1 || WIFSIGNALED(status))
        return run_fate::no_answer;
    // The shell's "cannot run that command": some C libraries report a
    // failed exec only through this status.
    struct stat st;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && fstat(out, &st) == 0 && st.st_size == 0)
        return run_fate::unavailable;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? run_fate::done : run_fate::failing;
}

cli_verdict scan_result(const char *match, const char *exclude1, const char *exclude2, char *out,
                        std::size_t size, cli_error_lines *all);

// true when the result holds an error line and was read to its end: what a
// run that ended with a failing status needs to count as an answer.
bool answer_holds_error()
{
    return scan_result("%", nullptr, nullptr, nullptr, 0, nullptr) == cli_verdict::refused;
}

// Runs imish over the command file with its standard output on out. One
// child, no shell.
run_fate spawn_imish(bool show_mode, int out, int limit_ms)
{
    // A server that ignores SIGCHLD would leave no end of the child to wait for.
    std::signal(SIGCHLD, SIG_DFL);
    signals_blocked chld({SIGCHLD});
    imish_spawn_setup setup(out);
    pid_t pid = 0;
    if (setup.start(&pid, show_mode) != 0)
        return run_fate::unavailable;
    return wait_or_end(pid, out, limit_ms);
}

// Free bytes of the file system that holds fd, or 0 when they cannot be told.
unsigned long long free_bytes(int fd)
{
    struct statvfs vfs;
    return fstatvfs(fd, &vfs) == 0 ? static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize : 0;
}

// Writes reply as the whole content of the result file open at fd.
bool put_reply(int fd, std::string_view reply)
{
    return ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, reply);
}

// The result file, emptied for a run; not opened when something else
// stands at its name (which is then disowned).
unique_fd open_result_file()
{
    unique_fd out(open(res_file_path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!out.ok()) {
        if (planted_at_name(errno))
            disown(res_file_path);
        return out;
    }
    if (!fd_is_own_file(out.get())) {
        disown(res_file_path);
        return unique_fd();
    }
    return ftruncate(out.get(), 0) == 0 ? std::move(out) : unique_fd();
}

// Runs imish with the result file as its output. A run that could not
// complete leaves its reply as the whole result, when it can be written.
int run_imish(bool show_mode, int limit_ms)
{
    if (res_file_path[0] == '\0')
        return CLI_RUN_UNAVAILABLE;
    unique_fd out = open_result_file();
    if (!out.ok())
        return CLI_RUN_UNAVAILABLE;
    struct stat cmd_st;
    run_fate fate = run_fate::unavailable;
    if (cmd_file_path[0] != '\0' && lstat(cmd_file_path, &cmd_st) == 0 && is_own_file(cmd_st) &&
        free_bytes(out.get()) >= CLI_MIN_FREE_BYTES)
        fate = spawn_imish(show_mode, out.get(), limit_ms);
    // A /tmp that filled up during the run may have cut imish's answer: a
    // cut listing is not the table, a result without its "%" line no success.
    if (fate == run_fate::done && free_bytes(out.get()) == 0)
        fate = run_fate::no_answer;
    // A failing status with no error line: the answer was lost (a /tmp full
    // during the run and freed since, a write that failed), so silence is no
    // success. With one, the answer is kept: its lines speak for the
    // commands they name, not for the rest.
    if (fate == run_fate::failing && !answer_holds_error())
        fate = run_fate::no_answer;
    switch (fate) {
    case run_fate::done:
        return 0;
    case run_fate::failing:
        return CLI_RUN_FAILING;
    case run_fate::timeout:
        put_reply(out.get(), CLI_TIMEOUT_REPLY);
        return CLI_RUN_TIMEOUT;
    case run_fate::no_answer:
        put_reply(out.get(), CLI_NO_ANSWER_REPLY);
        return CLI_RUN_NO_ANSWER;
    case run_fate::unavailable:
        break;
    }
    put_reply(out.get(), CLI_UNAVAILABLE_REPLY);
    return CLI_RUN_UNAVAILABLE;
}

int exec_and_consume(bool show_mode, int limit_ms = CLI_RUN_TIMEOUT_MS)
{
    int rc = run_imish(show_mode, limit_ms);
    consume_command_file();
    return rc;
}

} // namespace

int cli_append_cmd(const char *cmd)
{
    if (!cmd)
        return 0;
    if (cmd_file_path[0] == '\0')
        return -1;
    unique_fd fd = open_command_file();
    struct stat st;
    if (!fd.ok() || fstat(fd.get(), &st) != 0)
        return -1;
    if (write_all(fd.get(), cmd) && write_all(fd.get(), "\n"))
        return 0;
    // Take the piece back, so that a cut command never reaches the CLI.
    [[maybe_unused]] int rc = ftruncate(fd.get(), st.st_size);
    return -1;
}

int cli_exec_config()
{
    if (!config_mode_held())
        return exec_and_consume(false);
    // Another user holds configuration mode: run nothing, answer for the CLI.
    bool written = false;
    if (res_file_path[0] != '\0') {
        unlink(res_file_path);
        unique_fd out(open(res_file_path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.ok() && planted_at_name(errno))
            disown(res_file_path);
        written = out.ok() && write_all(out.get(), CONFIG_MODE_REPLY);
    }
    consume_command_file();
    return written ? 0 : CLI_RUN_UNAVAILABLE;
}

int cli_exec_show()
{
    return exec_and_consume(true);
}

int cli_exec_show_within(int limit_ms)
{
    return exec_and_consume(true, limit_ms < CLI_RUN_TIMEOUT_MS ? limit_ms : CLI_RUN_TIMEOUT_MS);
}

const char *cli_failure_text(int rc)
{
    switch (rc) {
    case CLI_RUN_TIMEOUT:
        return "%cli_timeout";
    case CLI_RUN_NO_ANSWER:
    case CLI_RUN_FAILING:
        return "%cli_no_answer";
    default:
        return "%cli_unavailable";
    }
}

void cli_child_end()
{
    pid_t pid = cli_child_pid;
    if (pid > 0)
        reap_child_group(pid);
}

namespace {

// Hands the result lines after the first skip to cb; with checked, a
// handler's non-zero result stops the reading. 0 after the whole file.
int parse_lines(cli_line_cb cb, int skip, bool checked)
{
    if (!cb)
        return -1;
    line_reader f(res_file_path);
    if (!f.ok())
        return -1;
    int counter = 0;
    int skipped = 0;
    char line[CLI_LINE_SIZE];
    while (f.next(line)) {
        if (skipped < skip) {
            ++skipped;
            continue;
        }
        if (cb(&counter, line) != 0 && checked)
            return -1;
    }
    return f.failed() ? -1 : 0;
}

// Appends cmd, runs it in show mode and parses the result: the first
// non-zero result of those steps, else 0.
int run_show(const char *cmd, cli_line_cb cb, int skip, bool checked)
{
    if (int rc = cli_append_cmd(cmd))
        return rc;
    if (int rc = cli_exec_show())
        return rc;
    return parse_lines(cb, skip, checked);
}

} // namespace

int cli_parse_result(cli_line_cb cb, int skip)
{
    return parse_lines(cb, skip, false);
}

const char *cli_result_path()
{
    return res_file_path;
}

int cli_run_show(const char *cmd, cli_line_cb cb, int skip)
{
    return run_show(cmd, cb, skip, false);
}

int cli_run_show_checked(const char *cmd, cli_line_cb cb, int skip)
{
    return run_show(cmd, cb, skip, true);
}

namespace {

// Scans the result for the lines that hold match and neither exclusion:
// the first one's error text goes into out (size bytes), and each goes into
// all when given. One pass, so that what decides the verdict and what names
// the refused commands are the same reading of the answer.
cli_verdict scan_result(const char *match, const char *exclude1, const char *exclude2, char *out,
                        std::size_t size, cli_error_lines *all)
{
    line_reader f(res_file_path);
    if (!f.ok())
        return cli_verdict::unread;
    char line[CLI_LINE_SIZE];
    bool found = false;
    while (f.next(line)) {
        if (exclude1 && std::strstr(line, exclude1))
            continue;
        if (exclude2 && std::strstr(line, exclude2))
            continue;
        if (!match)
            continue;
        const char *hit = std::strstr(line, match);
        if (!hit)
            continue;
        if (out && !found) {
            if (*hit == '%')
                ++hit;
            std::snprintf(out, size, "%s", hit);
        }
        found = true;
        if (!all)
            break;
        if (all->count < all->max)
            std::memcpy(all->lines[all->count], line, sizeof line);
        ++all->count;
    }
    // Lines that could not be read may hold the error, or another one.
    if (f.failed())
        return cli_verdict::unread;
    return found ? cli_verdict::refused : cli_verdict::accepted;
}

// Only blanks and a line end: a refusal that says nothing.
bool is_blank(const char *text)
{
    for (; *text; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
            return false;
    return true;
}

} // namespace

int cli_find_error(const char *match, const char *exclude1, const char *exclude2, char *out)
{
    return scan_result(match, exclude1, exclude2, out, CLI_ERROR_SIZE, nullptr) == cli_verdict::accepted ? 0 : -1;
}

cli_verdict cli_config_verdict(char *err, std::size_t size, cli_error_lines *all)
{
    if (all)
        all->count = 0;
    char first[CLI_ERROR_SIZE];
    cli_verdict v = scan_result("%", nullptr, nullptr, first, sizeof first, all);
    if (v == cli_verdict::refused)
        std::snprintf(err, size, "%s", is_blank(first) ? CLI_REFUSED_TEXT : first);
    return v;
}
