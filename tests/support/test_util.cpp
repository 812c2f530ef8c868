// Shared test helpers.
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<char *> c_strings(const std::vector<std::string> &v)
{
    std::vector<char *> out;
    for (const std::string &s : v)
        out.push_back(const_cast<char *>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

// The sanitizer settings the test itself runs under reach the programs it
// starts, unless the test sets them; without them nothing is added.
std::vector<std::string> with_sanitizer_options(std::vector<std::string> env)
{
    for (const char *name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const std::string prefix = std::string(name) + "=";
        auto set = [&](const std::string &e) { return e.starts_with(prefix); };
        if (const char *value = std::getenv(name); value && std::none_of(env.begin(), env.end(), set))
            env.push_back(prefix + value);
    }
    return env;
}

// An unlinked scratch file: a child's standard input or an output of it, or
// what is captured.
int scratch_fd(const std::string &content = "")
{
    char path[] = "/tmp/proc_XXXXXX";
    int fd = mkostemp(path, O_CLOEXEC);
    unlink(path);
    if (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        ADD_FAILURE() << "scratch write";
    lseek(fd, 0, SEEK_SET);
    return fd;
}

// All of fd from its start; closes it. "" for no descriptor.
std::string drain(int fd)
{
    std::string text;
    char buf[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    if (fd >= 0)
        close(fd);
    return text;
}

} // namespace

proc_result run_process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                        const std::string &stdin_data, long limit_ms)
{
    int in = scratch_fd(stdin_data), out = scratch_fd(), err = scratch_fd();
    std::vector<char *> args = c_strings(argv);
    std::vector<std::string> full_env = with_sanitizer_options(env);
    std::vector<char *> envp = c_strings(full_env);
    std::fflush(nullptr);
    using clock = std::chrono::steady_clock;
    const clock::time_point start = clock::now();
    auto elapsed_ms = [&] { return long(std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start).count()); };
    pid_t pid = fork();
    if (pid == 0) {
        if (limit_ms > 0)
            setpgid(0, 0);
        dup2(in, 0), dup2(out, 1), dup2(err, 2);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    if (limit_ms > 0)
        setpgid(pid, pid);   // either side may get there first
    close(in);
    proc_result r;
    int status = 0;
    for (;;) {
        pid_t w = waitpid(pid, &status, limit_ms > 0 ? WNOHANG : 0);
        if (w == pid || (w < 0 && errno != EINTR))
            break;
        if (limit_ms > 0 && elapsed_ms() >= limit_ms) {
            r.timed_out = true;
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        if (w == 0)
            usleep(1000);
    }
    r.elapsed_ms = elapsed_ms();
    r.term_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = drain(out);
    r.err = drain(err);
    return r;
}

std::string read_file(const std::string &path) { return drain(open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

void write_file(const std::string &path, const std::string &text, int mode)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    chmod(path.c_str(), static_cast<mode_t>(mode));
}

bool path_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> dir_entries(const std::string &dir, const std::string &prefix)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (std::string name = it->path().filename(); name.starts_with(prefix))
            names.push_back(name);
    return names;
}

std::string capture_stdout(const std::function<void()> &fn)
{
    std::fflush(stdout);
    int fd = scratch_fd(), saved = dup(1);
    dup2(fd, 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return drain(fd);
}

std::string login_timeout_page(const std::string &lang, const std::string &user)
{
    return "Content-Type:text/html\r\n\r\n"
           "<html><head><script language=\"JavaScript\">function time_out(){  "
           "window.parent.location.href='web_login.cgi?lang=" + lang + "&username=" + user +
           "';}setTimeout(\"time_out()\", 0);</script></head><body></body></html>";
}

std::string error_redirect(const std::string &sid, const std::string &lang, const std::string &errid,
                           const std::string &page)
{
    return redirect("web_error.cgi?sessionId=" + sid + "&lang=" + lang + "&errid=" + errid +
                    "&rdrpage=" + page);
}

std::string redirect(const std::string &location)
{
    return "Location: " + location + "\r\nCache-Control: no-store\r\n\r\n";
}
