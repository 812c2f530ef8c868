// Starting and stopping the IMI stand-in for tests.
#include "imi_daemon.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int READY_TIMEOUT_MS = 5000;
constexpr int STOP_TIMEOUT_MS = 3000;

int exit_code(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

imi_daemon::imi_daemon(const std::string &users, const std::vector<std::string> &extra_args)
{
    char path[] = "/tmp/imi_users_XXXXXX";
    int ufd = mkstemp(path);
    bool written = ufd >= 0 && write(ufd, users.data(), users.size()) == static_cast<ssize_t>(users.size());
    if (ufd >= 0)
        users_path_ = path, close(ufd);
    if (!written) {
        ADD_FAILURE() << "users file: " << std::strerror(errno);
        return;
    }

    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    // The daemon's copy of the write end has to survive exec, so it is a
    // duplicate without close-on-exec; everything is built before the fork.
    int child_wfd = fcntl(ready[1], F_DUPFD, 3);
    std::vector<std::string> args = {SIM_BIN_DIR "/imi_sim", "--users", users_path_,
                                     "--ready-fd", std::to_string(child_wfd)};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(child_wfd);
    close(ready[1]);
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        close(ready[0]);
        return;
    }
    pid_ = pid;

    pollfd p = {ready[0], POLLIN, 0};
    char byte;
    bool up = poll(&p, 1, READY_TIMEOUT_MS) == 1 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!up)
        ADD_FAILURE() << "imi_sim did not start listening (exit " << stop() << ")";
}

imi_daemon::~imi_daemon()
{
    stop();
    if (!users_path_.empty())
        unlink(users_path_.c_str());
}

int imi_daemon::stop()
{
    if (pid_ <= 0)
        return -1;
    pid_t pid = std::exchange(pid_, -1);
    kill(pid, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < STOP_TIMEOUT_MS; waited += 10) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return exit_code(status);
        if (r < 0)
            return -1;
        usleep(10 * 1000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return exit_code(status);
}
