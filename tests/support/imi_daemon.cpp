// Starting and stopping the IMI stand-in for tests.
#include "imi_daemon.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

imi_daemon::imi_daemon()
{
    const std::string users = "admin admin full\nguest guest limit\n";
    char path[] = "/tmp/imi_users_XXXXXX";
    int ufd = mkstemp(path), ready[2];
    bool written = ufd >= 0 && write(ufd, users.data(), users.size()) == static_cast<ssize_t>(users.size());
    if (ufd >= 0)
        users_path_ = path, close(ufd);
    if (!written || pipe2(ready, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "users file or pipe: " << std::strerror(errno);
        return;
    }
    // The daemon's copy of the write end has to survive exec, so it is a
    // duplicate without close-on-exec; everything is built before the fork.
    int child_wfd = fcntl(ready[1], F_DUPFD, 3);
    const std::string wfd = std::to_string(child_wfd);
    const char *argv[] = {SIM_BIN_DIR "/imi_sim", "--users", users_path_.c_str(), "--ready-fd", wfd.c_str(), nullptr};
    pid_ = fork();
    if (pid_ == 0) {
        signal(SIGPIPE, SIG_DFL);
        execv(argv[0], const_cast<char *const *>(argv));
        _exit(127);
    }
    close(child_wfd);
    close(ready[1]);
    pollfd p = {ready[0], POLLIN, 0};
    char byte;
    if (pid_ < 0 || poll(&p, 1, 5000) != 1 || read(ready[0], &byte, 1) != 1)
        ADD_FAILURE() << "imi_sim did not start listening (exit " << stop() << ")";
    close(ready[0]);
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
    pid_t pid = std::exchange(pid_, -1), r = 0;
    int status = 0;
    kill(pid, SIGTERM);
    for (int waited = 0; r == 0 && waited < 3000; waited += 10)
        if ((r = waitpid(pid, &status, WNOHANG)) == 0)
            usleep(10 * 1000);
    if (r == 0) {   // still running after 3 s
        kill(pid, SIGKILL);
        r = waitpid(pid, &status, 0);
    }
    return r != pid ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
