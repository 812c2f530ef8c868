// Shared test helpers.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
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

} // namespace

proc_result run_process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                        const std::string &stdin_data)
{
    proc_result r;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return r;
    }
    std::vector<char *> args = c_strings(argv);
    std::vector<char *> envp = c_strings(env);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        signal(SIGPIPE, SIG_DFL);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);

    std::size_t sent = 0;
    if (stdin_data.empty()) {
        close(in[1]);
        in[1] = -1;
    }
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    int open_reads = 2;
    while (open_reads > 0) {
        if (poll(fds, 3, -1) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_reads;
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents) {
            ssize_t n = write(in[1], stdin_data.data() + sent, stdin_data.size() - sent);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            if (n < 0 || sent == stdin_data.size()) {
                close(in[1]);
                fds[2].fd = -1;
            }
        }
    }
    if (fds[2].fd >= 0)
        close(fds[2].fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string read_file(const std::string &path)
{
    std::string text;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

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
    DIR *d = opendir(dir.c_str());
    if (!d)
        return names;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != ".." && name.rfind(prefix, 0) == 0)
            names.push_back(name);
    }
    closedir(d);
    return names;
}

std::string capture_stdout(const std::function<void()> &fn)
{
    std::fflush(stdout);
    char path[] = "/tmp/capture_XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    int saved = dup(1);
    dup2(fd, 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(fd);
    std::string text = read_file(path);
    unlink(path);
    return text;
}
