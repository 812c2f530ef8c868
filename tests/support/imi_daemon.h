// Runs the IMI stand-in for the length of a test.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Users for tests that only need someone to log in as.
inline constexpr const char *IMI_TEST_USERS = "admin admin full\n"
                                              "guest guest limit\n";

// Writes users (the users file text) to a file, starts SIM_BIN_DIR/imi_sim with
// it and extra_args (e.g. {"--idle", "1"}), and waits until it listens on its
// socket (IMI_SOCK_PATH unless extra_args says --socket). A start that fails
// is reported as a test failure and leaves ok() false. The destructor stops it.
class imi_daemon {
public:
    explicit imi_daemon(const std::string &users = IMI_TEST_USERS,
                        const std::vector<std::string> &extra_args = {});
    ~imi_daemon();
    imi_daemon(const imi_daemon &) = delete;
    imi_daemon &operator=(const imi_daemon &) = delete;

    bool ok() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Sends SIGTERM and waits (SIGKILL after 3 seconds). The exit status, or
    // 128 + the signal that ended it; -1 when it was not running.
    int stop();

private:
    pid_t pid_ = -1;
    std::string users_path_;
};
