/* Preloaded beside libfiu's POSIX wrappers: makes the failure points of one
 * family fail in a page process, each call decided by a PRNG seeded from the
 * environment, so that a run is reproduced exactly by its seed.
 *   FAULT_FAMILY  family name (table below; "none" enables nothing)
 *   FAULT_PROB    probability that a call of the family fails, 0 to 1
 *   FAULT_NTH     instead: only the call with this number (from 0, counting
 *                 the calls of every point of the family) fails
 *   FAULT_SEED    decimal seed
 *   FAULT_LOG     file that gets "<point> <errno>" for each injected failure
 * Only a program whose name ends in ".cgi" is faulted: the imish a page
 * starts inherits the preload and must run clean (the sweep has a stand-in
 * for a faulty one). Calls libfiu does not wrap fail at our own points (below). */
#undef _FORTIFY_SOURCE   /* its inline openat would clash with the wrapper */
#define _GNU_SOURCE
#define FIU_ENABLE 1   /* fiu.h makes its calls no-ops without it */
#include "fault_mix.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <fiu-control.h>
#include <fiu.h>
#include <signal.h>
#include <spawn.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#define MAX_POINTS 16

struct family {
    const char *name;
    const char *points[MAX_POINTS];
    /* What the failing call reports. libfiu's wrappers take a non-null
     * failinfo as the errno to set; "reduce" points shorten the count
     * instead and ignore it. EINTR only where nothing can fail otherwise:
     * a loop that retries on it would spin for ever at probability 1. */
    int errnos[4];
};

static const struct family families[] = {
    {"open", {"posix/io/oc/open", "posix/stdio/oc/fopen", "posix/stdio/oc/fdopen",
              "posix/io/dir/opendir", "posix/io/net/socket"}, {ENFILE, EMFILE, EACCES, ENOMEM}},
    {"close", {"posix/io/oc/close", "posix/stdio/oc/fclose", "posix/io/dir/closedir"}, {EIO, ENOSPC}},
    /* No short reads: Linux never reads a local regular file short, and
     * ClearSilver's template loader takes one read for the whole file. */
    {"read", {"posix/io/rw/read", "posix/stdio/rw/fread", "posix/stdio/gp/fgets"}, {EIO}},
    {"write", {"posix/io/rw/write", "posix/io/rw/write/reduce", "posix/io/rw/writev", "posix/stdio/rw/fwrite",
               "posix/stdio/sp/printf", "posix/stdio/sp/vprintf", "posix/stdio/sp/fprintf", "posix/stdio/sp/vfprintf",
               "posix/stdio/gp/puts", "posix/stdio/gp/fputs", "posix/stdio/gp/fputc", "posix/stdio/gp/putc",
               "posix/stdio/fflush"}, {ENOSPC, EIO, EPIPE}},
    {"unlink", {"posix/io/dir/unlink", "posix/stdio/remove", "posix/io/dir/rename"}, {EACCES, EBUSY, EIO, EROFS}},
    {"connect", {"posix/io/net/connect"}, {ECONNREFUSED, ENOENT, EAGAIN}},
    {"send", {"posix/io/net/send", "posix/io/net/sendto", "posix/io/net/sendmsg"}, {EPIPE, ECONNRESET, ENOBUFS, EAGAIN}},
    {"recv", {"posix/io/net/recv", "posix/io/net/recvfrom", "posix/io/net/recvmsg"}, {ECONNRESET, ENOMEM, EAGAIN}},
    {"poll", {"posix/io/net/poll", "posix/io/net/select", "posix/io/net/pselect"}, {ENOMEM}},
    {"malloc", {"libc/mm/malloc", "libc/mm/calloc", "libc/mm/realloc", "libc/str/strdup", "libc/str/strndup"}, {ENOMEM}},
    {"spawn", {"posix/proc/spawn", "posix/proc/fork"}, {EAGAIN, ENOMEM}},
    /* The page keeps SIGCHLD at its default: a wait for its own child can
     * only be interrupted. */
    {"wait", {"posix/proc/waitid", "posix/proc/waitpid", "posix/proc/wait"}, {EINTR}},
    {"kill", {"posix/proc/kill"}, {EPERM, ESRCH}},
    {"ftruncate", {"posix/io/rw/ftruncate", "posix/io/rw/truncate"}, {EIO, EPERM}},
    /* The points below are this file's own wrappers. */
    {"mkstemp", {"libc/fs/mkstemp"}, {EEXIST, EMFILE, ENOSPC}},
    {"stat", {"posix/fs/stat", "posix/fs/lstat", "posix/fs/fstat", "posix/fs/fstatat"}, {EACCES, EIO, ENOMEM}},
    /* EWOULDBLOCK: another instance holds the lock. */
    {"flock", {"posix/fs/flock"}, {ENOLCK, EWOULDBLOCK}},
    {"dirat", {"posix/fs/openat", "posix/fs/unlinkat"}, {EACCES, EIO}},
    {"statvfs", {"posix/fs/statvfs"}, {EIO, ENOSYS}},
    /* No daemon, a dead one, or one whose queue is full. */
    {"syslog", {"page/log/socket", "page/log/connect", "page/log/send"}, {ENOENT, ECONNREFUSED, ENOBUFS, EAGAIN}},
    {"none", {0}, {0}},
};

static const struct family *active;
static double probability;
static long long nth = -1;
static uint64_t seed, family_calls, calls[MAX_POINTS], random_calls;
static const char *log_path;

/* Each point draws from its own stream, by the count of its own calls: how
 * often another point was called (a wait loop that depends on timing) does
 * not move its decisions. */
static uint64_t draw(unsigned point, uint64_t n, unsigned salt)
{
    return mix(seed ^ mix(((uint64_t)point << 48) ^ ((uint64_t)salt << 40) ^ n));
}

/* "<point> <errno>" to the log, through raw system calls: the libc ones
 * would pass through the wrappers (snprintf is not wrapped, nor allocates). */
static void log_failure(const char *point, int err)
{
    char line[160];
    int n = snprintf(line, sizeof line, "%s %d\n", point, err);
    long fd = log_path ? syscall(SYS_openat, AT_FDCWD, log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600) : -1;
    if (fd >= 0) {
        syscall(SYS_write, fd, line, n < (int)sizeof line ? (size_t)n : sizeof line - 1);
        syscall(SYS_close, fd);
    }
}

/* libfiu asks this for each call of an enabled point: the family's only. */
static int decide(const char *name, int *failnum, void **failinfo, unsigned int *flags)
{
    (void)failnum;
    (void)flags;
    unsigned i = 0, k = 0;
    while (strcmp(active->points[i], name) != 0)
        ++i;
    uint64_t n = calls[i]++, all = family_calls++;
    if (nth >= 0 ? all != (uint64_t)nth : (double)(draw(i, n, 0) >> 11) * 0x1.0p-53 >= probability)
        return 0;
    while (k < sizeof active->errnos / sizeof *active->errnos && active->errnos[k])
        ++k;
    int err = active->errnos[draw(i, n, 1) % k];
    *failinfo = (void *)(intptr_t)err;
    /* A write that meets a closed pipe raises SIGPIPE before it fails
     * (send is only ever called with MSG_NOSIGNAL). */
    if (err == EPIPE && strcmp(active->name, "write") == 0)
        syscall(SYS_tgkill, syscall(SYS_getpid), syscall(SYS_gettid), SIGPIPE);
    log_failure(name, err);
    return 1;
}

__attribute__((constructor)) static void fault_setup(void)
{
    const char *family = getenv("FAULT_FAMILY");
    char exe[4096];
    long len = syscall(SYS_readlink, "/proc/self/exe", exe, sizeof exe - 1);
    if (!family || len <= 4 || memcmp(exe + len - 4, ".cgi", 4) != 0)
        return;
    log_path = getenv("FAULT_LOG");
    probability = strtod(getenv("FAULT_PROB") ?: "0", NULL);
    nth = strtoll(getenv("FAULT_NTH") ?: "-1", NULL, 10);
    seed = strtoull(getenv("FAULT_SEED") ?: "0", NULL, 10);
    const struct family *f = families;
    while (strcmp(f->name, family) != 0 && strcmp(f->name, "none") != 0)
        ++f;
    if (strcmp(f->name, family) != 0)
        abort();   /* the sweep and this table disagree */
    fiu_init(0);
    active = f;
    for (const char *const *point = f->points; *point; ++point)
        fiu_enable_external(*point, 1, NULL, 0, decide);
}

/* The real function, looked up at its first call: another preload's
 * constructor may call it before ours has run. */
#define REAL(name)                                                   \
    static __typeof__(&name) real_##name;                            \
    if (!real_##name)                                                \
        real_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

/* libfiu picks a random errno (failinfo unset) and the length a "reduce"
 * point cuts to with random(): in the page, a stream of the seed. */
long random(void)
{
    REAL(random);
    return active ? (long)(draw(MAX_POINTS, random_calls++, 2) >> 33) : real_random();
}

/* The errno a failing call of point reports (decide's), set, or 0 when it goes through. */
static int injected(const char *point)
{
    return active && fiu_fail(point) ? (errno = (int)(intptr_t)fiu_failinfo()) : 0;
}

/* name: when "when" holds, fails as point decides (errno set, -1 returned)
 * or makes the call "then"; otherwise it is the real function's call. */
#define WRAP_IF(type, name, params, args, when, point, then) \
    type name params                                         \
    {                                                        \
        REAL(name);                                          \
        if (!(when))                                         \
            return real_##name args;                         \
        return injected(point) ? -1 : then;                  \
    }
#define WRAP(name, params, args, point) WRAP_IF(int, name, params, args, 1, point, real_##name args)
/* A call and its 64-bit twin: alike, or on a path or a descriptor and the struct each fills. */
#define WRAP64(name, params, args, point) WRAP(name, params, args, point) WRAP(name##64, params, args, point)
#define WRAP_TWINS(name, where, type, point)               \
    WRAP(name, (where w, struct type *st), (w, st), point) \
    WRAP(name##64, (where w, struct type##64 *st), (w, st), point)

WRAP_TWINS(stat, const char *, stat, "posix/fs/stat")
WRAP_TWINS(lstat, const char *, stat, "posix/fs/lstat")
WRAP_TWINS(fstat, int, stat, "posix/fs/fstat")
WRAP_TWINS(statvfs, const char *, statvfs, "posix/fs/statvfs")
WRAP_TWINS(fstatvfs, int, statvfs, "posix/fs/statvfs")
WRAP(fstatat, (int d, const char *p, struct stat *st, int f), (d, p, st, f), "posix/fs/fstatat")
WRAP(fstatat64, (int d, const char *p, struct stat64 *st, int f), (d, p, st, f), "posix/fs/fstatat")
WRAP64(mkstemp, (char *t), (t), "libc/fs/mkstemp")
WRAP64(mkostemp, (char *t, int f), (t, f), "libc/fs/mkstemp")
WRAP(flock, (int fd, int op), (fd, op), "posix/fs/flock")
WRAP(unlinkat, (int d, const char *p, int f), (d, p, f), "posix/fs/unlinkat")

/* The mode is there only for a file the call may make. */
#define OPENAT(name)                                                                                      \
    int name(int dir, const char *path, int flags, ...)                                                   \
    {                                                                                                     \
        va_list ap;                                                                                       \
        va_start(ap, flags);                                                                              \
        mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0; \
        va_end(ap);                                                                                       \
        REAL(name);                                                                                       \
        return injected("posix/fs/openat") ? -1 : real_##name(dir, path, flags, mode);                    \
    }
OPENAT(openat)
OPENAT(openat64)

/* posix_spawn reports its failure as its value. */
#define SPAWN(name)                                                                                \
    int name(pid_t *pid, const char *path, const posix_spawn_file_actions_t *actions,              \
             const posix_spawnattr_t *attr, char *const argv[], char *const envp[])               \
    {                                                                                              \
        REAL(name);                                                                                \
        int err = injected("posix/proc/spawn");                                                    \
        return err ? err : real_##name(pid, path, actions, attr, argv, envp);                      \
    }
SPAWN(posix_spawn)
SPAWN(posix_spawnp)

/* Its family and path, the path ended by the length or a zero byte. */
static int is_log_address(const struct sockaddr *addr, socklen_t len)
{
    static const struct sockaddr_un log = {AF_UNIX, "/dev/log"};
    const size_t n = offsetof(struct sockaddr_un, sun_path) + sizeof "/dev/log" - 1;
    return addr && len >= n && memcmp(addr, &log, n) == 0 && (len == n || ((const char *)addr)[n] == '\0');
}

static int is_log_peer(int fd)
{
    struct sockaddr_un peer;
    socklen_t len = sizeof peer;
    return getpeername(fd, (struct sockaddr *)&peer, &len) == 0 && is_log_address((struct sockaddr *)&peer, len);
}

/* The audit records' socket on /dev/log is the "syslog" family's alone
 * ("open", "connect" and "send" are the IMI socket's, whose failure drops no
 * record): its calls go to the kernel directly once this family has let them
 * through. It is the pages' only datagram socket: told by its type when it is
 * made, by its address when it is connected, by its peer when it sends. */
WRAP_IF(int, socket, (int d, int t, int p), (d, t, p), d == AF_UNIX && (t & 0xf) == SOCK_DGRAM, /* type less flags */
        "page/log/socket", (int)syscall(SYS_socket, d, t, p))
WRAP_IF(int, connect, (int fd, const struct sockaddr *a, socklen_t n), (fd, a, n), is_log_address(a, n),
        "page/log/connect", (int)syscall(SYS_connect, fd, a, n))
WRAP_IF(ssize_t, sendto, (int fd, const void *b, size_t n, int f, const struct sockaddr *a, socklen_t l),
        (fd, b, n, f, a, l), a ? is_log_address(a, l) : is_log_peer(fd), "page/log/send", syscall(SYS_sendto, fd, b, n, f, a, l))
WRAP_IF(ssize_t, send, (int fd, const void *b, size_t n, int f), (fd, b, n, f), is_log_peer(fd), "page/log/send",
        syscall(SYS_sendto, fd, b, n, f, NULL, 0))
