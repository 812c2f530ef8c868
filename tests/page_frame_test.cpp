// Instance guard, scratch files and browser responses, against the real
// /tmp and /var/run of a private namespace.
#include "page_frame.h"
#include "test_util.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

// The holder before this process removes its pid file just as this
// process's lock lands: the flock is then taken on a file no longer at the
// path. Every other flock of the program passes through.
const char *g_removed_before_lock = nullptr;
extern "C" int flock(int fd, int op)
{
    if (const char *path = std::exchange(g_removed_before_lock, nullptr))
        unlink(path);
    return static_cast<int>(syscall(SYS_flock, fd, op));
}

namespace {

void clear_paths()
{
    cmd_file_path[0] = res_file_path[0] = pid_file_path[0] = '\0';
}

pid_t exited_pid()
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// Runs fn in a child process; returns its exit status, or 128 + signal.
int in_child(const std::function<void()> &fn)
{
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        fn();
        _exit(99);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST(PidFile, PathCarriesProgramAndSession)
{
    char exe[PATH_BUF_SIZE];
    char path[PATH_BUF_SIZE];
    pid_path_build("42", path);
    EXPECT_EQ(std::string(path), "/var/run/" + std::string(self_exe_name(exe)) + "_42.pid");
    EXPECT_EQ(std::string(exe), "page_frame_test");

    std::string long_sid(5000, '7');
    pid_path_build(long_sid.c_str(), path);
    EXPECT_EQ(std::strlen(path), PATH_BUF_SIZE - 1);

    // With neither /proc nor argv[0] to name it, the page's own name stands
    // in, so that two pages never share one pid file.
    ASSERT_EQ(mount("none", "/proc", "tmpfs", 0, nullptr), 0);
    char probe[8];
    if (readlink("/proc/self/exe", probe, sizeof probe) > 0) {
        umount("/proc");
        GTEST_SKIP() << "qemu-user answers /proc/self/exe itself: no way to take it away";
    }
    char *saved = program_invocation_name;
    program_invocation_name = const_cast<char *>("");
    pid_path_build("42", path, "web_mac_static.cgi");
    program_invocation_name = saved;
    umount("/proc");
    EXPECT_STREQ(path, "/var/run/web_mac_static.cgi_42.pid");
}

TEST(PidFile, LockIsTheGuard)
{
    const std::string path = "/var/run/guard.pid";
    const std::string self = std::to_string(getpid());
    clear_paths();
    EXPECT_EQ(pid_lock("/var/run/no/such/dir.pid"), -1);
    EXPECT_STREQ(pid_file_path, "");

    // A live instance holds the lock: busy, and its file is left as it is.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        char ok = pid_lock(path.c_str()) == 0 ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    EXPECT_EQ(pid_lock(path.c_str()), 1);
    EXPECT_STREQ(pid_file_path, "");
    EXPECT_EQ(read_file(path), std::to_string(holder));

    // Killed with no chance to clean up, it leaves its file but not its lock.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(pid_lock(path.c_str()), 0);
    EXPECT_EQ(read_file(path), self);
    EXPECT_EQ(std::string(pid_file_path), path);

    // Unlocked, a file naming a live process is no guard; a link is not followed.
    write_file("/var/run/other.pid", "1");
    EXPECT_EQ(pid_lock("/var/run/other.pid"), 0);
    EXPECT_EQ(read_file("/var/run/other.pid"), self);
    write_file("/tmp/victim", "keep");
    ASSERT_EQ(symlink("/tmp/victim", "/var/run/planted.pid"), 0);
    EXPECT_EQ(pid_lock("/var/run/planted.pid"), -1);
    EXPECT_EQ(read_file("/tmp/victim"), "keep");
}

TEST(PidFile, LockOnAFileNoLongerAtThePathIsTakenAgain)
{
    const std::string path = "/var/run/moved.pid";
    clear_paths();
    g_removed_before_lock = path.c_str();
    EXPECT_EQ(pid_lock(path.c_str()), 0);
    // The lock held is the one at the path: another instance finds it busy.
    EXPECT_EQ(read_file(path), std::to_string(getpid()));
    EXPECT_EQ(in_child([&] { _exit(pid_lock(path.c_str())); }), 1);
}

TEST(PidFile, BusyOnlyForALiveProcess)
{
    const std::string path = "/var/run/guard.pid";
    const std::string self = std::to_string(getpid());
    const struct {
        std::string content;
        int busy;
    } cases[] = {
        {self, 1},
        {self + "\nleftover text", 1},
        {"  " + self, 1},
        {std::to_string(exited_pid()), 0},
        {"0", 0},
        {"-5", 0},
        {"4294967297", 0}, // no process id, not a wrapped 1
        {"letters", 0},
        {"", 0},
    };
    for (const auto &c : cases) {
        write_file(path, c.content);
        EXPECT_EQ(pid_busy(path.c_str()), c.busy) << "content '" << c.content << "'";
    }
    unlink(path.c_str());
    EXPECT_EQ(pid_busy(path.c_str()), 0);
    EXPECT_EQ(pid_busy(nullptr), 0);
    EXPECT_EQ(pid_busy(""), 0);
}

TEST(PidFile, WriteHoldsTheBareProcessId)
{
    const std::string path = "/var/run/own.pid";
    write_file(path, "a much longer previous content\n");
    ASSERT_EQ(pid_write(path.c_str()), 0);
    EXPECT_EQ(read_file(path), std::to_string(getpid()));

    // A link planted at the path is not followed.
    write_file("/tmp/victim", "keep");
    ASSERT_EQ(symlink("/tmp/victim", "/var/run/planted.pid"), 0);
    EXPECT_EQ(pid_write("/var/run/planted.pid"), -1);
    EXPECT_EQ(read_file("/tmp/victim"), "keep");

    EXPECT_EQ(pid_write("/var/run/no/such/dir.pid"), -1);
}

TEST(ScratchFiles, CreatedPrivateAndRecorded)
{
    clear_paths();
    EXPECT_EQ(scratch_create(nullptr), -1);
    EXPECT_TRUE(dir_entries("/tmp", "web").empty());

    ASSERT_EQ(scratch_create("5"), 0);
    EXPECT_EQ(std::string(cmd_file_path).substr(0, 12), "/tmp/webcmd_");
    EXPECT_EQ(std::string(res_file_path).substr(0, 12), "/tmp/webres_");
    EXPECT_EQ(std::strlen(cmd_file_path), 18u);
    for (const char *p : {cmd_file_path, res_file_path}) {
        struct stat st;
        ASSERT_EQ(stat(p, &st), 0) << p;
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_size, 0);
    }
}

TEST(ScratchFiles, FailedResultFileLeavesNothing)
{
    clear_paths();
    int status = in_child([] {
        // Leave room for exactly one more descriptor: the command file.
        int spare = dup(0);
        close(spare);
        rlimit lim = {static_cast<rlim_t>(spare + 1), static_cast<rlim_t>(spare + 1)};
        setrlimit(RLIMIT_NOFILE, &lim);
        int rc = scratch_create("5");
        _exit(rc == -1 && cmd_file_path[0] == '\0' && res_file_path[0] == '\0' ? 0 : 1);
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(dir_entries("/tmp", "web").empty());
}

TEST(Cleanup, RemovesLikeRmFr)
{
    clear_paths();
    scratch_cleanup();   // nothing recorded: nothing to do, no crash

    write_file("/tmp/cmdfile", "x");
    ASSERT_EQ(mkdir("/tmp/resdir", 0755), 0);
    ASSERT_EQ(mkdir("/tmp/resdir/sub", 0755), 0);
    write_file("/tmp/resdir/sub/deep", "x");
    write_file("/tmp/resdir/top", "x");
    write_file("/tmp/target", "stays");
    ASSERT_EQ(symlink("/tmp/target", "/var/run/link.pid"), 0);
    std::strcpy(cmd_file_path, "/tmp/cmdfile");
    std::strcpy(res_file_path, "/tmp/resdir");
    std::strcpy(pid_file_path, "/var/run/link.pid");

    scratch_cleanup();
    EXPECT_FALSE(path_exists("/tmp/cmdfile"));
    EXPECT_FALSE(path_exists("/tmp/resdir"));
    EXPECT_FALSE(path_exists("/var/run/link.pid"));
    EXPECT_EQ(read_file("/tmp/target"), "stays");
    // The buffers keep their paths; a second run finds nothing and is fine.
    EXPECT_STREQ(cmd_file_path, "/tmp/cmdfile");
    scratch_cleanup();
    clear_paths();
}

TEST(Cleanup, EndsOnWhatItCannotRemove)
{
    // Another user's clean-up meets a directory it may read but not search:
    // it leaves it and ends, as "rm -fr" would.
    ASSERT_EQ(mkdir("/tmp/resdir", 0755), 0);
    ASSERT_EQ(mkdir("/tmp/resdir/sub", 0755), 0);
    write_file("/tmp/resdir/sub/f", "x");
    ASSERT_EQ(chmod("/tmp/resdir/sub", 0400), 0);
    ASSERT_EQ(chown("/tmp/resdir", 65534, 65534), 0);
    ASSERT_EQ(chown("/tmp/resdir/sub", 65534, 65534), 0);
    int status = in_child([] {
        alarm(5);
        if (setuid(65534) != 0)
            _exit(77);
        clear_paths();
        std::strcpy(res_file_path, "/tmp/resdir");
        scratch_cleanup();
        _exit(0);
    });
    if (status == 77)
        GTEST_SKIP() << "no second user in this namespace";
    EXPECT_EQ(status, 0);
}

TEST(Cleanup, SignalRemovesFilesAndExitsZero)
{
    for (int sig : {SIGTERM, SIGINT, SIGABRT}) {
        clear_paths();
        int status = in_child([sig] {
            std::atexit(scratch_cleanup);
            std::signal(sig, exit_on_signal);
            pid_path_build("9", pid_file_path);
            pid_write(pid_file_path);
            scratch_create("9");
            raise(sig);
        });
        EXPECT_EQ(status, 0) << "signal " << sig;
        EXPECT_TRUE(dir_entries("/tmp", "web").empty()) << "signal " << sig;
        EXPECT_TRUE(dir_entries("/var/run", "page_frame_test").empty()) << "signal " << sig;
    }
}

TEST(ErrorRedirect, WritesOneEscapedHeaderBlock)
{
    EXPECT_EQ(capture_stdout([] {
                  redirect_error("7", "en", "invalid_parameter", "%s", "web_mac_static_add.cgi");
              }),
              error_redirect("7", "en", "invalid_parameter", "web_mac_static_add.cgi"));

    // A CLI error line keeps its blanks and line end, escaped; so does the page.
    EXPECT_EQ(capture_stdout([] {
                  redirect_error("8", "cn", " Invalid input\n", "web_mac_static_add.cgi?");
              }),
              error_redirect("8", "cn", "+Invalid+input%0A", "web_mac_static_add.cgi%3F"));

    // No request byte ends the header line, not even in the session id.
    std::string out = capture_stdout([] {
        redirect_error("1\r\nSet-Cookie: x=1", "en", "e", "%s", "p.cgi");
    });
    EXPECT_EQ(out.find("\r\nSet-Cookie"), std::string::npos) << out;
    // Its two header lines and the blank one: no line end of the request's.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
    EXPECT_EQ(out.rfind("\r\nCache-Control: no-store\r\n\r\n"), out.size() - 29) << out;
}

TEST(ErrorRedirect, PageCutAt511AndAbsentArgumentsWriteNothing)
{
    std::string page(600, 'p');
    std::string out = capture_stdout([&] { redirect_error("1", "en", "e", "%s", page.c_str()); });
    EXPECT_NE(out.find("rdrpage=" + std::string(511, 'p') + "\r\n"), std::string::npos);

    EXPECT_EQ(capture_stdout([] {
                  redirect_error(nullptr, "en", "e", "x");
                  redirect_error("1", nullptr, "e", "x");
                  redirect_error("1", "en", nullptr, "x");
                  redirect_error("1", "en", "e", nullptr);
              }),
              "");
}

TEST(LoginTimeout, PageSendsParentToLogin)
{
    const struct {
        const char *lang, *user, *want_lang, *want_user;
    } cases[] = {
        {"cn", nullptr, "cn", ""},
        {"en", "admin", "en", "admin"},
        {"fr", nullptr, "en", ""},
        {"enx", nullptr, "en", ""},
        {nullptr, nullptr, "en", ""},
        {"cn", "bad user'", "cn", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(capture_stdout([&] { page_login_timeout(c.lang, c.user); }),
                  login_timeout_page(c.want_lang, c.want_user))
            << (c.lang ? c.lang : "(none)");
}

TEST(UserName, Rule)
{
    const struct {
        std::string name;
        int result;
    } cases[] = {
        {"admin", 0},
        {"A.b-c_9", 0},
        {"a" + std::string(30, 'x'), 0},
        {"a" + std::string(31, 'x'), -1},
        {"9admin", -1},
        {"_admin", -1},
        {".admin", -1},
        {"ad min", -1},
        {"ad@min", -1},
        {"ad\xc3\xa9min", -1},
        {"", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(check_username(c.name.c_str()), c.result) << c.name;
    EXPECT_EQ(check_username(nullptr), -1);
}
