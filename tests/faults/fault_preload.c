/* Preloaded beside libfiu's POSIX wrappers: makes the failure points of one
 * family fail in a page process, each call decided by a PRNG seeded from the
 * environment, so that a run is reproduced exactly by its seed.
 *
 *   FAULT_FAMILY  family name (table below; "none" enables nothing)
 *   FAULT_PROB    probability that a call of the family fails, 0 to 1
 *   FAULT_NTH     instead: only the call with this number (from 0, counting
 *                 the calls of every point of the family) fails
 *   FAULT_SEED    decimal seed
 *   FAULT_LOG     file that gets "<point> <errno>" for each injected failure
 *
 * Only a process whose program ends in ".cgi" is faulted: the imish it
 * starts inherits the preload and must run clean (the sweep faults imish
 * itself through a stand-in of its own on the page's PATH). Calls libfiu
 * does not wrap fail here through points of our own: posix_spawn and
 * posix_spawnp ("posix/proc/spawn"), the stat family, mkstemp and mkostemp,
 * flock, openat and unlinkat, statvfs and fstatvfs.
 *
 * The audit records' own socket on /dev/log is the "syslog" family's alone:
 * its socket, connect and send calls fail at the "page/log/" points, and no
 * other family reaches them ("open", "connect" and "send" are for the IMI's
 * socket, where a failure drops no record). The pages make no other
 * datagram socket, so the log socket is told by its type when it is made,
 * by its address when it is connected, by its peer when it sends. */
#undef _FORTIFY_SOURCE   /* its inline openat would clash with the wrapper */
#define _GNU_SOURCE
#define FIU_ENABLE 1   /* fiu.h makes its calls no-ops without it */
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
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#define MAX_POINTS 16
#define MAX_ERRNOS 4

struct family {
    const char *name;
    const char *points[MAX_POINTS];
    /* What the failing call reports. libfiu's wrappers take a non-null
     * failinfo as the errno to set; "reduce" points shorten the count
     * instead and ignore it. EINTR only where nothing can fail otherwise:
     * a loop that retries on it would spin for ever at probability 1. */
    int errnos[MAX_ERRNOS];
};

static const struct family families[] = {
    {"open", {"posix/io/oc/open", "posix/stdio/oc/fopen", "posix/stdio/oc/fdopen",
              "posix/io/dir/opendir", "posix/io/net/socket"}, {ENFILE, EMFILE, EACCES, ENOMEM}},
    {"close", {"posix/io/oc/close", "posix/stdio/oc/fclose", "posix/io/dir/closedir"}, {EIO, ENOSPC}},
    /* No short reads: Linux never reads a local regular file short, and
     * ClearSilver's template loader takes one read for the whole file. */
    {"read", {"posix/io/rw/read", "posix/stdio/rw/fread", "posix/stdio/gp/fgets"}, {EIO}},
    {"write", {"posix/io/rw/write", "posix/io/rw/write/reduce", "posix/io/rw/writev",
               "posix/stdio/rw/fwrite", "posix/stdio/sp/printf", "posix/stdio/sp/vprintf",
               "posix/stdio/sp/fprintf", "posix/stdio/sp/vfprintf", "posix/stdio/gp/puts",
               "posix/stdio/gp/fputs", "posix/stdio/gp/fputc", "posix/stdio/gp/putc",
               "posix/stdio/fflush"}, {ENOSPC, EIO, EPIPE}},
    {"unlink", {"posix/io/dir/unlink", "posix/stdio/remove", "posix/io/dir/rename"},
     {EACCES, EBUSY, EIO, EROFS}},
    {"connect", {"posix/io/net/connect"}, {ECONNREFUSED, ENOENT, EAGAIN}},
    {"send", {"posix/io/net/send", "posix/io/net/sendto", "posix/io/net/sendmsg"},
     {EPIPE, ECONNRESET, ENOBUFS, EAGAIN}},
    {"recv", {"posix/io/net/recv", "posix/io/net/recvfrom", "posix/io/net/recvmsg"},
     {ECONNRESET, ENOMEM, EAGAIN}},
    {"poll", {"posix/io/net/poll", "posix/io/net/select", "posix/io/net/pselect"}, {ENOMEM}},
    {"malloc", {"libc/mm/malloc", "libc/mm/calloc", "libc/mm/realloc", "libc/str/strdup",
                "libc/str/strndup"}, {ENOMEM}},
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
static uint64_t family_calls;
static uint64_t seed;
static const char *log_path;
static uint64_t calls[MAX_POINTS];
static uint64_t random_calls;
static long (*real_random)(void);
static int (*real_spawn)(pid_t *, const char *, const posix_spawn_file_actions_t *,
                         const posix_spawnattr_t *, char *const[], char *const[]);
static int (*real_spawnp)(pid_t *, const char *, const posix_spawn_file_actions_t *,
                          const posix_spawnattr_t *, char *const[], char *const[]);

static uint64_t mix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

/* Each point draws from its own stream, by the count of its own calls: how
 * often another point was called (a wait loop that depends on timing) does
 * not move its decisions. */
static uint64_t draw(unsigned point, uint64_t n, unsigned salt)
{
    return mix(seed ^ mix(((uint64_t)point << 48) ^ ((uint64_t)salt << 40) ^ n));
}

/* Raw system calls only: the libc ones would pass through the wrappers. */
static void log_line(const char *a, const char *b)
{
    if (!log_path)
        return;
    int fd = (int)syscall(SYS_openat, AT_FDCWD, log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    char line[160];
    size_t n = 0;
    for (const char *s = a; *s && n < sizeof line - 40; ++s)
        line[n++] = *s;
    line[n++] = ' ';
    for (const char *s = b; *s && n < sizeof line - 2; ++s)
        line[n++] = *s;
    line[n++] = '\n';
    syscall(SYS_write, fd, line, n);
    syscall(SYS_close, fd);
}

static int decide(const char *name, int *failnum, void **failinfo, unsigned int *flags)
{
    (void)failnum;
    (void)flags;
    unsigned i = 0;
    while (i < MAX_POINTS && active->points[i] && strcmp(active->points[i], name) != 0)
        ++i;
    if (i == MAX_POINTS || !active->points[i])
        return 0;
    uint64_t n = calls[i]++, all = family_calls++;
    if (nth >= 0 ? all != (uint64_t)nth : (double)(draw(i, n, 0) >> 11) * 0x1.0p-53 >= probability)
        return 0;
    unsigned k = 0;
    while (k < MAX_ERRNOS && active->errnos[k])
        ++k;
    int err = active->errnos[draw(i, n, 1) % k];
    *failinfo = (void *)(intptr_t)err;
    /* A write that meets a closed pipe raises SIGPIPE before it fails
     * (send is only ever called with MSG_NOSIGNAL). */
    if (err == EPIPE && strcmp(active->name, "write") == 0)
        syscall(SYS_tgkill, syscall(SYS_getpid), syscall(SYS_gettid), SIGPIPE);
    char digits[12];
    int d = 11;
    digits[d] = '\0';
    do
        digits[--d] = (char)('0' + err % 10);
    while ((err /= 10) != 0);
    log_line(name, digits + d);
    return 1;
}

static int is_page_process(void)
{
    char exe[4096];
    long n = syscall(SYS_readlink, "/proc/self/exe", exe, sizeof exe - 1);
    return n > 4 && memcmp(exe + n - 4, ".cgi", 4) == 0;
}

__attribute__((constructor)) static void fault_setup(void)
{
    real_random = (long (*)(void))dlsym(RTLD_NEXT, "random");
    real_spawn = dlsym(RTLD_NEXT, "posix_spawn");
    real_spawnp = dlsym(RTLD_NEXT, "posix_spawnp");
    const char *family = getenv("FAULT_FAMILY");
    if (!family || !is_page_process())
        return;
    log_path = getenv("FAULT_LOG");
    const char *p = getenv("FAULT_PROB"), *s = getenv("FAULT_SEED");
    probability = p ? strtod(p, NULL) : 0;
    if (getenv("FAULT_NTH"))
        nth = strtoll(getenv("FAULT_NTH"), NULL, 10);
    seed = s ? strtoull(s, NULL, 10) : 0;
    const struct family *f = families;
    while (strcmp(f->name, family) != 0 && strcmp(f->name, "none") != 0)
        ++f;
    if (strcmp(f->name, family) != 0) {
        log_line("unknown-family", family);
        abort();
    }
    fiu_init(0);
    active = f;
    for (unsigned i = 0; i < MAX_POINTS && f->points[i]; ++i)
        fiu_enable_external(f->points[i], 1, NULL, 0, decide);
}

/* libfiu picks a random errno (failinfo unset) and the length a "reduce"
 * point cuts to with random(): in the page, a stream of the seed. */
long random(void)
{
    if (!active)
        return real_random ? real_random() : 0;
    return (long)(draw(MAX_POINTS, random_calls++, 2) >> 33);
}

/* The errno a failing call of point reports, or 0 when it goes through. */
static int injected(const char *point, int fallback)
{
    if (!active || !fiu_fail(point))
        return 0;
    intptr_t err = (intptr_t)fiu_failinfo();
    return err ? (int)err : fallback;
}

static int spawn_failure(void)
{
    return injected("posix/proc/spawn", EAGAIN);
}

int posix_spawn(pid_t *pid, const char *path, const posix_spawn_file_actions_t *actions,
                const posix_spawnattr_t *attr, char *const argv[], char *const envp[])
{
    int err = active ? spawn_failure() : 0;
    return err ? err : real_spawn(pid, path, actions, attr, argv, envp);
}

int posix_spawnp(pid_t *pid, const char *file, const posix_spawn_file_actions_t *actions,
                 const posix_spawnattr_t *attr, char *const argv[], char *const envp[])
{
    int err = active ? spawn_failure() : 0;
    return err ? err : real_spawnp(pid, file, actions, attr, argv, envp);
}

/* The real function, looked up at its first call: another preload's
 * constructor may call it before ours has run. */
#define REAL(name)                                               \
    static __typeof__(&name) real_##name;                        \
    if (!real_##name)                                            \
        real_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

/* The call fails as the point decides: errno set, -1 returned. */
#define FAIL_AS(point, fallback)                                 \
    do {                                                         \
        int err_ = injected(point, fallback);                    \
        if (err_) {                                              \
            errno = err_;                                        \
            return -1;                                           \
        }                                                        \
    } while (0)

#define STAT_WRAPPER(name, point, path_type, stat_type)                                   \
    int name(path_type where, struct stat_type *st)                                       \
    {                                                                                     \
        REAL(name);                                                                       \
        FAIL_AS(point, EIO);                                                              \
        return real_##name(where, st);                                                    \
    }
STAT_WRAPPER(stat, "posix/fs/stat", const char *, stat)
STAT_WRAPPER(stat64, "posix/fs/stat", const char *, stat64)
STAT_WRAPPER(lstat, "posix/fs/lstat", const char *, stat)
STAT_WRAPPER(lstat64, "posix/fs/lstat", const char *, stat64)
STAT_WRAPPER(fstat, "posix/fs/fstat", int, stat)
STAT_WRAPPER(fstat64, "posix/fs/fstat", int, stat64)

int fstatat(int dir, const char *path, struct stat *st, int flags)
{
    REAL(fstatat);
    FAIL_AS("posix/fs/fstatat", EIO);
    return real_fstatat(dir, path, st, flags);
}

int fstatat64(int dir, const char *path, struct stat64 *st, int flags)
{
    REAL(fstatat64);
    FAIL_AS("posix/fs/fstatat", EIO);
    return real_fstatat64(dir, path, st, flags);
}

int mkstemp(char *templ)
{
    REAL(mkstemp);
    FAIL_AS("libc/fs/mkstemp", EEXIST);
    return real_mkstemp(templ);
}

int mkstemp64(char *templ)
{
    REAL(mkstemp64);
    FAIL_AS("libc/fs/mkstemp", EEXIST);
    return real_mkstemp64(templ);
}

int mkostemp(char *templ, int flags)
{
    REAL(mkostemp);
    FAIL_AS("libc/fs/mkstemp", EEXIST);
    return real_mkostemp(templ, flags);
}

int mkostemp64(char *templ, int flags)
{
    REAL(mkostemp64);
    FAIL_AS("libc/fs/mkstemp", EEXIST);
    return real_mkostemp64(templ, flags);
}

int flock(int fd, int op)
{
    REAL(flock);
    FAIL_AS("posix/fs/flock", ENOLCK);
    return real_flock(fd, op);
}

static mode_t open_mode(int flags, va_list ap)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

int openat(int dir, const char *path, int flags, ...)
{
    REAL(openat);
    va_list ap;
    va_start(ap, flags);
    mode_t mode = open_mode(flags, ap);
    va_end(ap);
    FAIL_AS("posix/fs/openat", EACCES);
    return real_openat(dir, path, flags, mode);
}

int openat64(int dir, const char *path, int flags, ...)
{
    REAL(openat64);
    va_list ap;
    va_start(ap, flags);
    mode_t mode = open_mode(flags, ap);
    va_end(ap);
    FAIL_AS("posix/fs/openat", EACCES);
    return real_openat64(dir, path, flags, mode);
}

int unlinkat(int dir, const char *path, int flags)
{
    REAL(unlinkat);
    FAIL_AS("posix/fs/unlinkat", EACCES);
    return real_unlinkat(dir, path, flags);
}

#define STATVFS_WRAPPER(name, path_type, vfs_type)                                        \
    int name(path_type where, struct vfs_type *vfs)                                       \
    {                                                                                     \
        REAL(name);                                                                       \
        FAIL_AS("posix/fs/statvfs", EIO);                                                 \
        return real_##name(where, vfs);                                                   \
    }
STATVFS_WRAPPER(statvfs, const char *, statvfs)
STATVFS_WRAPPER(statvfs64, const char *, statvfs64)
STATVFS_WRAPPER(fstatvfs, int, statvfs)
STATVFS_WRAPPER(fstatvfs64, int, statvfs64)

/* The log socket's calls go to the kernel directly once the "syslog"
 * family has let them through: libfiu's wrappers would fail them for the
 * other families. */
static int is_log_address(const struct sockaddr *addr, socklen_t len)
{
    static const char path[] = "/dev/log";
    const size_t at = offsetof(struct sockaddr_un, sun_path), n = sizeof path - 1;
    const struct sockaddr_un *un = (const struct sockaddr_un *)addr;
    return addr && len >= at + n && un->sun_family == AF_UNIX && memcmp(un->sun_path, path, n) == 0 &&
           (len == at + n || un->sun_path[n] == '\0');
}

static int is_log_peer(int fd)
{
    struct sockaddr_un peer;
    socklen_t len = sizeof peer;
    return getpeername(fd, (struct sockaddr *)&peer, &len) == 0 && is_log_address((struct sockaddr *)&peer, len);
}

int socket(int domain, int type, int protocol)
{
    REAL(socket);
    if (domain != AF_UNIX || (type & 0xf) != SOCK_DGRAM)   /* the type less its flags */
        return real_socket(domain, type, protocol);
    FAIL_AS("page/log/socket", ENOBUFS);
    return (int)syscall(SYS_socket, domain, type, protocol);
}

int connect(int fd, const struct sockaddr *addr, socklen_t len)
{
    REAL(connect);
    if (!is_log_address(addr, len))
        return real_connect(fd, addr, len);
    FAIL_AS("page/log/connect", ENOENT);
    return (int)syscall(SYS_connect, fd, addr, len);
}

ssize_t sendto(int fd, const void *buf, size_t n, int flags, const struct sockaddr *addr, socklen_t len)
{
    REAL(sendto);
    if (!(addr ? is_log_address(addr, len) : is_log_peer(fd)))
        return real_sendto(fd, buf, n, flags, addr, len);
    FAIL_AS("page/log/send", EAGAIN);
    return syscall(SYS_sendto, fd, buf, n, flags, addr, len);
}

ssize_t send(int fd, const void *buf, size_t n, int flags)
{
    REAL(send);
    if (!is_log_peer(fd))
        return real_send(fd, buf, n, flags);
    FAIL_AS("page/log/send", EAGAIN);
    return syscall(SYS_sendto, fd, buf, n, flags, NULL, 0);
}
