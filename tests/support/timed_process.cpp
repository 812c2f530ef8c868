// A program run within a time limit.
#include "timed_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

timed_result run_process_within(const std::vector<std::string> &argv,
                                const std::vector<std::string> &env,
                                const std::string &stdin_data, long limit_ms)
{
    timed_result r;
    int in = scratch_fd(stdin_data), out = scratch_fd(), err = scratch_fd();
    std::vector<char *> args, envp;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    std::fflush(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    setpgid(pid, pid);   // either side may get there first
    close(in);
    int status = 0;
    // The child's end wakes a poll on its pidfd (no signal: the caller may
    // run other threads); without pidfds, the wait is polled.
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    for (useconds_t nap = 200;; nap = nap < 3200 ? nap * 2 : nap) {
        pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid || (w < 0 && errno != EINTR))
            break;
        long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start).count();
        if (ms >= limit_ms) {
            r.timed_out = true;
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        if (pidfd >= 0) {
            pollfd p = {pidfd, POLLIN, 0};
            poll(&p, 1, static_cast<int>(limit_ms - ms));
        } else {
            usleep(nap);
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    r.elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start).count();
    r.term_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = drain(out);
    r.err = drain(err);
    return r;
}
