// Instance guard, scratch files and browser responses of a page program.
#include "page_frame.h"

#include "cli_runner.h"
#include "unique_fd.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t PID_LINE_SIZE = 32;    // a pid file's first line, 31 characters
constexpr std::size_t RDR_PAGE_SIZE = 512;   // the formatted return page
constexpr std::size_t USERNAME_MAX = 31;
// A holder that removes its pid file on its way out makes the next one
// lock a file no longer at the path: try again, a few times.
constexpr int PID_LOCK_ATTEMPTS = 8;
// A directory planted at a scratch path is removed down to this depth; the
// removal runs in a signal handler and keeps to a bounded stack.
constexpr int REMOVE_DEPTH_MAX = 64;
// Entries removed under the reader may shift the rest, so a directory is
// read again until a pass removes nothing; someone who keeps refilling it
// must not hold the process for ever.
constexpr int REMOVE_PASSES_MAX = 16;

// A path into a PATH_BUF_SIZE buffer, cut to fit and terminated, as
// snprintf("%s") would, without its format machinery.
void copy_path(char *out, std::string_view path)
{
    std::size_t n = std::min(path.size(), PATH_BUF_SIZE - 1);
    std::memcpy(out, path.data(), n);
    out[n] = '\0';
}

void copy_basename(std::string_view path, char *out)
{
    std::string_view name = path;
    if (std::size_t slash = path.rfind('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    copy_path(out, name);
}

// Empties and removes the directory open at dir. Async-signal-safe: it reads
// entries with getdents64 into a stack buffer and allocates nothing.
void remove_tree_at(int dir, int depth)
{
    alignas(8) char buf[512];
    bool removed = true;
    for (int pass = 0; removed && pass < REMOVE_PASSES_MAX; ++pass) {
        removed = false;
        lseek(dir, 0, SEEK_SET);
        ssize_t n;
        while ((n = getdents64(dir, buf, sizeof buf)) > 0) {
            for (ssize_t off = 0; off < n;) {
                auto *ent = reinterpret_cast<struct dirent64 *>(buf + off);
                off += ent->d_reclen;
                const char *name = ent->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                if (unlinkat(dir, name, 0) == 0) {
                    removed = true;
                    continue;
                }
                if (errno != EISDIR || depth >= REMOVE_DEPTH_MAX)
                    continue;
                int sub = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    remove_tree_at(sub, depth + 1);
                    close(sub);
                }
                removed = unlinkat(dir, name, AT_REMOVEDIR) == 0 || removed;
            }
        }
    }
}

// Removes path as "rm -fr" does: a file or link, a directory with everything
// in it, and no error for a path that is gone. Async-signal-safe.
void remove_path(const char *path)
{
    if (unlink(path) == 0 || errno != EISDIR)
        return;
    int dir = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir >= 0) {
        remove_tree_at(dir, 0);
        close(dir);
    }
    rmdir(path);
}

template <class Signals> void block_signals(const Signals &sigs, sigset_t *saved)
{
    sigset_t block;
    sigemptyset(&block);
    for (int sig : sigs)
        sigaddset(&block, sig);
    sigprocmask(SIG_BLOCK, &block, saved);
}

// Copies a finished path into a buffer the clean-up reads. The signal
// handler must never see a path half written ("/", "/tmp/" on the way to
// "/tmp/webcmd_..."), so the copy is made with its signals blocked.
void publish_path(char *dst, const char *src)
{
    signals_blocked guard;
    copy_path(dst, src);
}

bool is_c_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_c_digit(char c) { return c >= '0' && c <= '9'; }

// A malloc'd escaped copy, freed at scope exit.
struct escaped {
    char *text = nullptr;
    ~escaped() { std::free(text); }
    bool make(const char *raw)
    {
        NEOERR *err = cgi_url_escape(raw, &text);
        if (err != STATUS_OK) {
            nerr_ignore(&err);
            text = nullptr;
        }
        return text != nullptr;
    }
};

} // namespace

signals_blocked::signals_blocked()
{
    block_signals(REQUEST_END_SIGNALS, &saved_);
}

signals_blocked::signals_blocked(std::initializer_list<int> sigs)
{
    block_signals(sigs, &saved_);
}

signals_blocked::~signals_blocked()
{
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

char *self_exe_name(char *out)
{
    out[0] = '\0';
    char link[PATH_BUF_SIZE];
    ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    if (n > 0) {
        link[n] = '\0';
        copy_basename(std::string_view(link, static_cast<std::size_t>(n)), out);
    } else {
        // No /proc: fall back on the name the program was started under.
        copy_basename(program_invocation_name ? program_invocation_name : "", out);
    }
    return out;
}

int pid_path_build(const char *session_id, char *out, const char *fallback_name)
{
    char exe[PATH_BUF_SIZE];
    char path[PATH_BUF_SIZE];
    const char *name = self_exe_name(exe);
    if (name[0] == '\0' && fallback_name)
        name = fallback_name;
    std::snprintf(path, sizeof path, "/var/run/%s_%s.pid", name, session_id ? session_id : "");
    publish_path(out, path);
    return 0;
}

int pid_busy(const char *path)
{
    if (!path || !*path)
        return 0;
    unique_file f = open_stream(path, O_RDONLY, "r");
    if (!f.ok())
        return 0;
    char line[PID_LINE_SIZE];
    if (!std::fgets(line, sizeof line, f.get()))
        return 0;
    // atoi's reading, without its undefined overflow: a number out of the
    // range of process ids names no process.
    long pid = std::strtol(line, nullptr, 10);
    if (pid <= 0 || pid > INT_MAX)
        return 0;
    return kill(static_cast<pid_t>(pid), 0) == 0 ? 1 : 0;
}

int pid_write(const char *path)
{
    unique_fd fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.ok())
        return -1;
    char text[16];
    int len = std::snprintf(text, sizeof text, "%d", static_cast<int>(getpid()));
    return write_all(fd.get(), std::string_view(text, static_cast<std::size_t>(len))) ? 0 : -1;
}

int pid_lock(const char *path)
{
    if (!path || !*path)
        return -1;
    for (int attempt = 0; attempt < PID_LOCK_ATTEMPTS; ++attempt) {
        unique_fd fd(open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!fd.ok())
            return -1;
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? 1 : -1;
        struct stat held, named;
        if (fstat(fd.get(), &held) != 0)
            return -1;
        if (lstat(path, &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino)
            continue;
        char text[16];
        int len = std::snprintf(text, sizeof text, "%d", static_cast<int>(getpid()));
        // Should the pid not fit on a full disk, the lock still guards.
        [[maybe_unused]] bool written =
            ftruncate(fd.get(), 0) == 0 && write_all(fd.get(), std::string_view(text, static_cast<std::size_t>(len)));
        publish_path(pid_file_path, path);
        // Held until the process ends: the lock is the guard.
        fd.release();
        return 0;
    }
    return 1;
}

int scratch_create(const char *session_id)
{
    if (!session_id)
        return -1;
    char cmd[] = "/tmp/webcmd_XXXXXX";
    char res[] = "/tmp/webres_XXXXXX";
    unique_fd cmd_fd(mkostemp(cmd, O_CLOEXEC));
    if (!cmd_fd.ok())
        return -1;
    unique_fd res_fd(mkostemp(res, O_CLOEXEC));
    if (!res_fd.ok()) {
        unlink(cmd);
        return -1;
    }
    publish_path(cmd_file_path, cmd);
    publish_path(res_file_path, res);
    return 0;
}

void scratch_release()
{
    for (char *path : {cmd_file_path, res_file_path}) {
        if (path[0] != '\0') {
            remove_path(path);
            publish_path(path, "");
        }
    }
}

void scratch_cleanup()
{
    for (const char *path : {cmd_file_path, res_file_path, pid_file_path})
        if (path[0] != '\0')
            remove_path(path);
}

void exit_on_signal(int)
{
    // Only async-signal-safe calls here: the signal may have interrupted
    // malloc or stdio. _exit skips the exit handler, which would find
    // nothing left to remove.
    int saved = errno;
    cli_child_end();
    scratch_cleanup();
    errno = saved;
    _exit(0);
}

void redirect_error(const char *session_id, const char *lang, const char *err_id,
                    const char *page_fmt, ...)
{
    char page[RDR_PAGE_SIZE] = {};
    if (!session_id || !lang || !err_id || !page_fmt)
        return;
    va_list ap;
    va_start(ap, page_fmt);
    std::vsnprintf(page, sizeof page, page_fmt, ap);
    va_end(ap);

    // The session id is escaped too: it has not always been accepted by IMI
    // yet, and no request byte may end the header line.
    escaped sid, eid, rdr;
    if (!sid.make(session_id) || !eid.make(err_id) || !rdr.make(page))
        return;
    redirect_to("web_error.cgi?sessionId=%s&lang=%s&errid=%s&rdrpage=%s", sid.text, lang, eid.text,
                rdr.text);
}

void redirect_to(const char *location_fmt, ...)
{
    std::fputs("Location: ", stdout);
    va_list ap;
    va_start(ap, location_fmt);
    std::vprintf(location_fmt, ap);
    va_end(ap);
    std::printf("\r\n%s\r\n\r\n", NO_STORE_HEADER);
}

void page_login_timeout(const char *lang, const char *username)
{
    std::string_view l = lang ? lang : "";
    const char *use_lang = (l == "en" || l == "cn") ? lang : "en";
    const char *use_user = check_username(username) == 0 ? username : "";
    std::puts("Content-Type:text/html\r\n\r");
    std::printf("<html><head><script language=\"JavaScript\">function time_out(){  "
                "window.parent.location.href='web_login.cgi?lang=%s&username=%s';}"
                "setTimeout(\"time_out()\", 0);</script></head><body></body></html>",
                use_lang, use_user);
}

int check_username(const char *name)
{
    if (!name || !is_c_alpha(name[0]))
        return -1;
    std::string_view n(name);
    if (n.size() > USERNAME_MAX)
        return -1;
    for (char c : n)
        if (!is_c_alpha(c) && !is_c_digit(c) && c != '.' && c != '-' && c != '_')
            return -1;
    return 0;
}
