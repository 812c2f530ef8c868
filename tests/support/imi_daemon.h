// Runs the IMI stand-in for the length of a test.
#pragma once

#include <string>
#include <sys/types.h>

// Starts SIM_BIN_DIR/imi_sim (users admin/admin, full, and guest/guest, limit)
// and waits until it listens on IMI_SOCK_PATH; a failed start is a test failure
// and leaves ok() false. The destructor stops it (SIGTERM, SIGKILL after 3 s).
class imi_daemon {
public:
    imi_daemon();
    ~imi_daemon();
    imi_daemon(const imi_daemon &) = delete;
    imi_daemon &operator=(const imi_daemon &) = delete;

    bool ok() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

private:
    int stop();   // the exit status, or 128 + the signal; -1 when not running
    pid_t pid_ = -1;
    std::string users_path_;
};
