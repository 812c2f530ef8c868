// Instance guard, scratch files and browser responses, against the real
// /tmp and /var/run of a private namespace.
#include "page_frame.h"
#include "test_util.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

// The holder before removes its pid file just as this process's lock lands,
// which is then on a file no longer at the path. Other flocks pass through.
const char *g_removed_before_lock = nullptr;
extern "C" int flock(int fd, int op)
{
    if (const char *path = std::exchange(g_removed_before_lock, nullptr))
        unlink(path);
    return static_cast<int>(syscall(SYS_flock, fd, op));
}

namespace {

const std::string GUARD = "/var/run/guard.pid", SELF = std::to_string(getpid());

void clear_paths() { cmd_file_path[0] = res_file_path[0] = pid_file_path[0] = '\0'; }

// Runs fn in a child process; returns its exit status, or 128 + signal.
int in_child(const std::function<void()> &fn)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
        fn(), _exit(99);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST(PidFile, PathCarriesProgramAndSession)
{
    // The name from /proc is page_test's (OneInstanceASessionAtATime plants the page's pid file).
    char path[PATH_BUF_SIZE];
    pid_path_build(std::string(5000, '7').c_str(), path);
    EXPECT_EQ(std::strlen(path), PATH_BUF_SIZE - 1);

    // With neither /proc nor argv[0] to name it, the page's own name stands
    // in, so that two pages never share one pid file.
    ASSERT_EQ(mount("none", "/proc", "tmpfs", 0, nullptr), 0);
    char probe[8];
    if (readlink("/proc/self/exe", probe, sizeof probe) > 0) {
        umount("/proc");
        GTEST_SKIP() << "qemu-user answers /proc/self/exe itself: no way to take it away";
    }
    char *saved = std::exchange(program_invocation_name, const_cast<char *>(""));
    pid_path_build("42", path, "web_mac_static.cgi");
    program_invocation_name = saved;
    umount("/proc");
    EXPECT_STREQ(path, "/var/run/web_mac_static.cgi_42.pid");
}

TEST(PidFile, LockIsTheGuardAndWriteLeavesTheBarePid)
{
    // A holder's lock and the file it leaves alone are page_test's
    // (OneInstanceASessionAtATime). Unlocked, a file naming a live process, as
    // a holder killed with no chance to clean up leaves it, is no guard.
    clear_paths();
    write_file(GUARD, "1");
    EXPECT_EQ(pid_lock(GUARD.c_str()), 0);
    EXPECT_EQ(read_file(GUARD), SELF);
    EXPECT_EQ(pid_file_path, GUARD);

    // A lock taken on a file no longer at the path is taken again: the lock
    // held is the one at the path, and another instance finds it busy.
    const std::string moved = "/var/run/moved.pid";
    g_removed_before_lock = moved.c_str();
    EXPECT_EQ(pid_lock(moved.c_str()), 0);
    EXPECT_EQ(read_file(moved), SELF);
    EXPECT_EQ(in_child([&] { _exit(pid_lock(moved.c_str())); }), 1);

    // Neither the lock nor a plain write follows a link planted at the path
    // or makes a missing directory; a failed lock records nothing.
    write_file("/tmp/victim", "keep");
    ASSERT_EQ(symlink("/tmp/victim", "/var/run/planted.pid"), 0);
    for (auto [name, fn] : {std::pair<const char *, int (*)(const char *)>{"lock", pid_lock}, {"write", pid_write}}) {
        clear_paths();
        EXPECT_EQ(fn("/var/run/planted.pid"), -1) << name;
        EXPECT_EQ(read_file("/tmp/victim"), "keep") << name;
        EXPECT_EQ(fn("/var/run/no/such/dir.pid"), -1) << name;
        EXPECT_STREQ(pid_file_path, "") << name;
    }
    // A write leaves the bare process id, however long the content before.
    write_file("/var/run/own.pid", "a much longer previous content\n");
    ASSERT_EQ(pid_write("/var/run/own.pid"), 0);
    EXPECT_EQ(read_file("/var/run/own.pid"), SELF);
}

TEST(PidFile, BusyOnlyForALiveProcess)
{
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    // "4294967297": no process id, not a wrapped 1.
    for (auto [content, busy] : {std::pair<std::string, int>{SELF, 1}, {SELF + "\nleftover text", 1}, {"  " + SELF, 1},
                                 {std::to_string(gone), 0}, {"0", 0}, {"-5", 0}, {"4294967297", 0}, {"", 0}}) {
        write_file(GUARD, content);
        EXPECT_EQ(pid_busy(GUARD.c_str()), busy) << "content '" << content << "'";
    }
    unlink(GUARD.c_str());
    EXPECT_EQ(pid_busy(GUARD.c_str()) + pid_busy(nullptr) + pid_busy(""), 0);
}

TEST(ScratchFiles, CreatedPrivateAndRecordedOrNotAtAll)
{
    clear_paths();
    EXPECT_EQ(scratch_create(nullptr), -1);
    EXPECT_TRUE(dir_entries("/tmp", "web").empty());
    // Room for exactly one more descriptor: the command file, not the result.
    EXPECT_EQ(in_child([] {
        const int spare = dup(0);
        close(spare);
        const rlimit lim = {static_cast<rlim_t>(spare + 1), static_cast<rlim_t>(spare + 1)};
        setrlimit(RLIMIT_NOFILE, &lim);
        _exit(scratch_create("5") == -1 && !cmd_file_path[0] && !res_file_path[0] ? 0 : 1);
    }), 0);
    EXPECT_TRUE(dir_entries("/tmp", "web").empty());

    ASSERT_EQ(scratch_create("5"), 0);
    for (auto [p, prefix] : {std::pair{cmd_file_path, "/tmp/webcmd_"}, {res_file_path, "/tmp/webres_"}}) {
        EXPECT_TRUE(std::string_view(p).starts_with(prefix)) << p;
        struct stat st;
        ASSERT_EQ(stat(p, &st), 0) << p;
        EXPECT_EQ(std::pair(st.st_mode & 0777, st.st_size), std::pair(0600u, off_t(0))) << p;
    }
}

TEST(Cleanup, RemovesLikeRmFrAndEndsOnWhatItCannot)
{
    clear_paths();
    scratch_cleanup(); // nothing recorded: nothing to do
    std::filesystem::create_directories("/tmp/resdir/sub");
    for (const char *f : {"/tmp/cmdfile", "/tmp/resdir/sub/deep", "/tmp/resdir/top", "/tmp/target"})
        write_file(f, "stays");
    ASSERT_EQ(symlink("/tmp/target", "/var/run/link.pid"), 0);
    std::strcpy(cmd_file_path, "/tmp/cmdfile");
    std::strcpy(res_file_path, "/tmp/resdir");
    std::strcpy(pid_file_path, "/var/run/link.pid");
    scratch_cleanup();
    for (const char *p : {"/tmp/cmdfile", "/tmp/resdir", "/var/run/link.pid"})
        EXPECT_FALSE(path_exists(p)) << p;
    EXPECT_EQ(read_file("/tmp/target"), "stays");
    // The buffers keep their paths; a second run finds nothing and is fine.
    EXPECT_STREQ(cmd_file_path, "/tmp/cmdfile");
    scratch_cleanup();
    clear_paths();

    // Another user's clean-up meets a directory it may read but not search:
    // it leaves it and ends, as "rm -fr" would.
    std::filesystem::create_directories("/tmp/resdir/sub");
    write_file("/tmp/resdir/sub/f", "x");
    ASSERT_EQ(chmod("/tmp/resdir/sub", 0400), 0);
    ASSERT_EQ(chown("/tmp/resdir", 65534, 65534) + chown("/tmp/resdir/sub", 65534, 65534), 0);
    const int status = in_child([] {
        alarm(5);
        if (setuid(65534) != 0)
            _exit(77);
        std::strcpy(res_file_path, "/tmp/resdir"), scratch_cleanup(), _exit(0);
    });
    if (status == 77)
        GTEST_SKIP() << "no second user in this namespace";
    EXPECT_EQ(status, 0);
}

TEST(ErrorRedirect, OneEscapedHeaderBlockOrNothing)
{
    // No request byte ends the header line, not even in the session id.
    std::string out = capture_stdout([] { redirect_error("1\r\nSet-Cookie: x=1", "en", "e", "%s", "p.cgi"); });
    EXPECT_EQ(out.find("\r\nSet-Cookie"), std::string::npos) << out;
    // Its two header lines and the blank one (page_test holds them to the byte): no line end of the request's.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;

    const std::string page(600, 'p');
    out = capture_stdout([&] { redirect_error("1", "en", "e", "%s", page.c_str()); });
    EXPECT_NE(out.find("rdrpage=" + std::string(511, 'p') + "\r\n"), std::string::npos) << "cut at 511";
    EXPECT_EQ(capture_stdout([] {
        redirect_error(nullptr, "en", "e", "x"), redirect_error("1", nullptr, "e", "x");
        redirect_error("1", "en", nullptr, "x"), redirect_error("1", "en", "e", nullptr);
    }), "") << "an argument missing: nothing sent";
}

// The login page carries a valid user name only; any language but cn is en.
TEST(LoginTimeout, PageSendsParentToLoginWithAValidUserOnly)
{
    for (auto [name, result] : {std::pair<std::string, int>{"admin", 0}, {"A.b-c_9", 0}, {"a" + std::string(30, 'x'), 0},
                                {"a" + std::string(31, 'x'), -1}, {"9admin", -1}, {"_admin", -1}, {".admin", -1},
                                {"ad min", -1}, {"ad@min", -1}, {"ad\xc3\xa9min", -1}, {"bad user'", -1}, {"", -1}}) {
        EXPECT_EQ(check_username(name.c_str()), result) << name;
        EXPECT_EQ(capture_stdout([&] { page_login_timeout("cn", name.c_str()); }),
                  login_timeout_page("cn", result ? "" : name)) << name;
    }
    EXPECT_EQ(check_username(nullptr), -1);
    for (auto [lang, want] : {std::pair<const char *, const char *>{"cn", "cn"}, {"en", "en"}, {"fr", "en"}, {"enx", "en"},
                              {nullptr, "en"}})
        EXPECT_EQ(capture_stdout([&] { page_login_timeout(lang, nullptr); }), login_timeout_page(want))
            << (lang ? lang : "(none)");
}
