// CLI command runner over the scratch files of the page frame.
#include "cli_runner.h"

#include "unique_fd.h"
#include "web_state.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr char CONFIG_MODE_MARKER[] = "/tmp/config_mode";
constexpr std::string_view CONFIG_MODE_REPLY = "%%configure_mode_inuse";
// What a run that never happened leaves as its result, so that the error
// scan reports it instead of reading an empty result as success.
constexpr std::string_view CLI_UNAVAILABLE_REPLY = "%%cli_unavailable";
constexpr std::size_t ERROR_TEXT_SIZE = 256;
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

bool write_all(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
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

// Starts imish over the command file with its standard output on out and
// waits for it. One child, no shell. false when it could not start or a
// signal ended it.
bool spawn_imish(bool show_mode, int out)
{
    char *argv[7];
    int argc = 0;
    argv[argc++] = const_cast<char *>("imish");
    argv[argc++] = const_cast<char *>("-g");
    argv[argc++] = const_cast<char *>("-y");
    if (show_mode)
        argv[argc++] = const_cast<char *>("-w");
    argv[argc++] = const_cast<char *>("-f");
    argv[argc++] = cmd_file_path;
    argv[argc] = nullptr;

    std::array<char *, CHILD_ENV_MAX + 1> envp{};
    std::size_t envc = 0;
    for (char **e = environ; e && *e && envc < CHILD_ENV_MAX; ++e)
        if (!carries_request(*e))
            envp[envc++] = *e;
    envp[envc] = nullptr;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The request body is still on standard input: imish must not read it.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    pid_t pid;
    int err = posix_spawnp(&pid, "imish", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0)
        return false;
    int status = 0;
    pid_t w;
    do
        w = waitpid(pid, &status, 0);
    while (w < 0 && errno == EINTR);
    // ECHILD: the server ignores SIGCHLD and the child was reaped for us.
    return !(w == pid && WIFSIGNALED(status));
}

// Runs imish with the result file as its output. A run that could not start,
// that a signal ended, or whose command file is not ours leaves
// CLI_UNAVAILABLE_REPLY as the whole result.
void run_imish(bool show_mode)
{
    if (cmd_file_path[0] == '\0' || res_file_path[0] == '\0')
        return;
    unique_fd out(open(res_file_path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.ok() || !fd_is_own_file(out.get()))
        return;
    struct stat cmd_st;
    bool foreign = lstat(cmd_file_path, &cmd_st) == 0 && !is_own_file(cmd_st);
    if (!foreign && spawn_imish(show_mode, out.get()))
        return;
    if (ftruncate(out.get(), 0) == 0 && lseek(out.get(), 0, SEEK_SET) == 0)
        write_all(out.get(), CLI_UNAVAILABLE_REPLY);
}

int exec_and_consume(bool show_mode)
{
    run_imish(show_mode);
    if (cmd_file_path[0] != '\0')
        unlink(cmd_file_path);
    return 0;
}

} // namespace

int cli_append_cmd(const char *cmd)
{
    if (!cmd)
        return 0;
    unique_fd fd(open(cmd_file_path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat st;
    if (!fd.ok() || fstat(fd.get(), &st) != 0 || !is_own_file(st))
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
    unlink(res_file_path);
    unique_fd out(open(res_file_path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.ok())
        write_all(out.get(), CONFIG_MODE_REPLY);
    unlink(cmd_file_path);
    return out.ok() ? 0 : -1;
}

int cli_exec_show()
{
    return exec_and_consume(true);
}

int cli_parse_result(cli_line_cb cb, int skip)
{
    if (!cb)
        return -1;
    unique_file f = open_stream(res_file_path, O_RDONLY, "r");
    if (!f.ok())
        return -1;
    int counter = 0;
    int skipped = 0;
    char line[CLI_LINE_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        if (skipped < skip) {
            ++skipped;
            continue;
        }
        cb(&counter, line);
    }
    return 0;
}

const char *cli_result_path()
{
    return res_file_path;
}

int cli_run_show(const char *cmd, cli_line_cb cb, int skip)
{
    if (int rc = cli_append_cmd(cmd))
        return rc;
    if (int rc = cli_exec_show())
        return rc;
    return cli_parse_result(cb, skip);
}

int cli_find_error(const char *match, const char *exclude1, const char *exclude2, char *out)
{
    unique_file f = open_stream(res_file_path, O_RDONLY, "r");
    if (!f.ok())
        return -1;
    char line[CLI_LINE_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        if (exclude1 && std::strstr(line, exclude1))
            continue;
        if (exclude2 && std::strstr(line, exclude2))
            continue;
        if (!match)
            continue;
        const char *hit = std::strstr(line, match);
        if (!hit)
            continue;
        if (out) {
            if (*hit == '%')
                ++hit;
            std::snprintf(out, ERROR_TEXT_SIZE, "%s", hit);
        }
        return -1;
    }
    return 0;
}
