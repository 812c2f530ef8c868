// The IMI stand-in driven through the real client, as the pages use it. Its
// sessions (privilege, address, logout, idle time, refusals) are exercised by
// the page and browser tests; what only many page processes at once meet is here.
#include "imi_client.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "imi_daemon.h"

// Page processes hold their connections open, and one stuck halfway through
// a request must not hold up the rest.
TEST(ImiSim, ServesConcurrentConnections)
{
    imi_daemon imi;
    ASSERT_TRUE(imi.ok());
    ASSERT_EQ(imi_connect(), 0);
    const std::uint16_t header[2] = {IMI_MSG_CHECK_SESSION, IMI_CHECK_LEN}; // and no more
    ASSERT_EQ(write(imi_sock_fd, header, sizeof header), 4);
    const int stuck = std::exchange(imi_sock_fd, -1);
    pid_t kids[6];
    for (int k = 0; k < 6; ++k) {
        if ((kids[k] = fork()) != 0)
            continue;
        const std::string addr = "10.1.0." + std::to_string(k);
        int bad = 0;
        for (int i = 0; i < 20; ++i) {
            char session[32] = "", user[32] = "", err[500] = "";
            bad += imi_login("guest", "guest", addr.c_str(), session, err) != 0;
            bad += imi_check_session(session, addr.c_str(), user) != 0 || std::string(user) != "guest";
            bad += imi_logout(session) != 0;
        }
        _exit(bad != 0);
    }
    for (pid_t pid : kids) {
        int status = -1;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && status == 0);
    }
    close(stuck);
}
