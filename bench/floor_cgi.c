/* A floor CGI: ClearSilver doing a page's work alone, so that a page can be
 * measured beside it. cgi_init; the values of FLOOR_VALUES set one by one;
 * CHILDREN runs of the imish found on PATH, each over a scratch command file
 * with the commands the page's own run of the request gives it and its
 * output in a scratch result file, and each waited for; with AUDIT_RECORDS,
 * the audit record the page sends for the request; and the render of
 * FLOOR_TEMPLATE.
 * Built as the hello floors (one value and a one-line template) and as the
 * same-template floors, whose FLOOR_VALUES_H bench/run fills with a page's
 * own data set and template, taken from the page at its render
 * (bench/hdf_dump.py). FLOOR_REQUEST names the request whose CLI runs and
 * record the floor repeats: bench/CMakeLists.txt. */
#define _GNU_SOURCE   /* program_invocation_short_name */
#include <ClearSilver.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#ifdef FLOOR_VALUES_H
#include FLOOR_VALUES_H
#else
static const char *const FLOOR_VALUES[][2] = {{"name", "world"}};
#define FLOOR_TEMPLATE "hello.cs"
#endif
#ifndef CHILDREN
#define CHILDREN 0
#endif
#ifndef AUDIT_RECORDS
#define AUDIT_RECORDS 0
#endif

/* The page's CLI runs for each request bench/run sends, in the page's order:
 * show mode (imish -w) or configuration mode, and the commands of the run's
 * one command file, in the page's order (the listing asks for its ports and
 * its entries in one run). The add is the entry of bench/run's add_body. */
#define REQUEST_add_form_GET 1
#define REQUEST_add_POST 2
#define REQUEST_listing_GET 3
#define RUN_COMMANDS_MAX 2
struct cli_run {
    int show_mode;
    const char *commands[RUN_COMMANDS_MAX];   /* the unused ones NULL */
};
#if FLOOR_REQUEST == REQUEST_add_form_GET
static const struct cli_run CLI_RUNS[] = {{1, {"show interface switchport"}}};
#elif FLOOR_REQUEST == REQUEST_add_POST
static const struct cli_run CLI_RUNS[] = {{0, {"mac-address-table 00e0.fc00.0042 forward eth-0-3 vlan 1"}}};
#elif FLOOR_REQUEST == REQUEST_listing_GET
static const struct cli_run CLI_RUNS[] = {{1, {"show mac address-table static"}}};
#else
#error "FLOOR_REQUEST names none of bench/run's requests"
#endif
_Static_assert(CHILDREN == 0 || CHILDREN == sizeof CLI_RUNS / sizeof CLI_RUNS[0],
               "a floor makes none of its request's CLI runs or all of them");

/* The record the page sends for bench/run's add (cgi/audit_log.cpp). */
#define AUDIT_RECORD                                                                               \
    "user=\"admin\" addr=\"127.0.0.1\" action=add mac=\"00e0.fc00.0042\" intf=\"eth-0-3\" "      \
    "vlan=\"1\" result=ok known=cli"

/* The record sent as the page sends it: the shared count of lost records
 * read under its lock, one non-blocking datagram in the local syslog
 * format to /dev/log, the count's file closed (cgi/audit_log.cpp). */
static void send_record(void)
{
    int lost = open("/var/run/webcgi_audit.lost", O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    char count[24] = "";
    if (lost >= 0 && flock(lost, LOCK_EX | LOCK_NB) == 0 && pread(lost, count, sizeof count - 1, 0) < 0)
        count[0] = '\0';
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    struct sockaddr_un addr = {.sun_family = AF_UNIX, .sun_path = "/dev/log"};
    if (fd >= 0 && connect(fd, (const struct sockaddr *)&addr, sizeof addr) == 0) {
        char text[768];
        time_t now = time(NULL);
        struct tm tm;
        char stamp[32];
        localtime_r(&now, &tm);
        strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &tm);
        int n = snprintf(text, sizeof text, "<%d>%s %s[%d]: %s", LOG_USER | LOG_NOTICE, stamp,
                         program_invocation_short_name, (int)getpid(), AUDIT_RECORD);
        if (n > 0 && (size_t)n < sizeof text)
            send(fd, text, (size_t)n, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    if (fd >= 0)
        close(fd);
    if (lost >= 0)
        close(lost);
}

extern char **environ;

/* Writes the run's commands to the command file, a line each as the page
 * writes them, runs imish over it with its output in the result file and
 * waits for it. 0 once imish ended with status 0. */
static int run_imish(const struct cli_run *run, const char *cmd_path, const char *res_path)
{
    int cmd_fd = open(cmd_path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (cmd_fd < 0)
        return -1;
    int written = 1;
    for (int i = 0; written && i < RUN_COMMANDS_MAX && run->commands[i]; ++i) {
        size_t len = strlen(run->commands[i]);
        written = write(cmd_fd, run->commands[i], len) == (ssize_t)len && write(cmd_fd, "\n", 1) == 1;
    }
    if (close(cmd_fd) != 0 || !written)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, res_path, O_WRONLY | O_TRUNC, 0);
    char *argv[] = {"imish", "-g", "-y", "-f", (char *)cmd_path, NULL, NULL};
    if (run->show_mode) {
        argv[3] = "-w";
        argv[4] = "-f";
        argv[5] = (char *)cmd_path;
    }
    pid_t pid;
    int status;
    int err = posix_spawnp(&pid, "imish", &actions, NULL, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

/* The page's CLI runs, over scratch files made for the request and removed
 * after it, as the page's are. */
static int run_children(void)
{
    char cmd_path[] = "/tmp/floorcmd_XXXXXX";
    char res_path[] = "/tmp/floorres_XXXXXX";
    int cmd_fd = mkstemp(cmd_path);
    if (cmd_fd < 0)
        return -1;
    close(cmd_fd);
    int res_fd = mkstemp(res_path);
    if (res_fd < 0) {
        unlink(cmd_path);
        return -1;
    }
    close(res_fd);
    int rc = 0;
    for (int i = 0; rc == 0 && i < CHILDREN; ++i)
        rc = run_imish(&CLI_RUNS[i], cmd_path, res_path);
    unlink(cmd_path);
    unlink(res_path);
    return rc;
}

int main(int argc, char **argv, char **envp)
{
    CGI *cgi = NULL;
    cgiwrap_init_std(argc, argv, envp);
    NEOERR *err = cgi_init(&cgi, NULL);
    for (size_t i = 0; err == STATUS_OK && i < sizeof FLOOR_VALUES / sizeof FLOOR_VALUES[0]; ++i)
        err = hdf_set_value(cgi->hdf, FLOOR_VALUES[i][0], FLOOR_VALUES[i][1]);
    if (err == STATUS_OK && CHILDREN > 0 && run_children() != 0)
        return 1;
    if (AUDIT_RECORDS)
        send_record();
    if (err == STATUS_OK)
        err = cgi_display(cgi, FLOOR_TEMPLATE);
    if (err != STATUS_OK) {
        nerr_log_error(err);
        return 1;
    }
    return 0;
}
