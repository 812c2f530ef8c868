// The IMI stand-in driven through the real client, as the pages use it.
#include "imi_client.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "imi_daemon.h"

namespace {

const char USERS[] = "# name password privilege\nadmin secret full\n\nguest letmein limit\n";

std::string login(const char *user, const char *password, const char *addr = "10.0.0.1")
{
    char session[32] = "", err[500] = "";
    EXPECT_EQ(imi_login(user, password, addr, session, err), 0) << err;
    return session;
}

// What imi_check_session printed, or "ok <holder>" when it accepted.
std::string check(const std::string &session, const char *addr = "10.0.0.1")
{
    char user[32] = "";
    testing::internal::CaptureStdout();
    int rc = imi_check_session(session.c_str(), addr, user);
    std::string out = testing::internal::GetCapturedStdout();
    return rc == 0 ? "ok " + std::string(user) + out : out;
}

class ImiSim : public ::testing::Test {
    void TearDown() override { close(std::exchange(imi_sock_fd, -1)); } // the next daemon is new
};

TEST_F(ImiSim, SessionsFollowPrivilegeAddressAndLogout)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    for (auto [user, password, parity] : {std::tuple{"admin", "secret", 0}, {"guest", "letmein", 1},
                                          {"admin", "secret", 0}, {"guest", "letmein", 1}}) {
        SCOPED_TRACE(user);
        std::string s = login(user, password);
        ASSERT_EQ(s.find_first_not_of("0123456789"), std::string::npos) << s;
        EXPECT_EQ(std::strtoul(s.c_str(), nullptr, 10) % 2, parity) << s;
        EXPECT_EQ(check(s), "ok " + std::string(user));
        EXPECT_EQ(check(s, "10.0.0.2"), "Not okay: Session belongs to another client address\r\n");
        EXPECT_EQ(imi_logout(s.c_str()), 0);
        EXPECT_EQ(check(s), "Not okay: Session not found\r\n");
    }
    char session[32] = "untouched", err[500] = "";
    EXPECT_EQ(imi_login("admin", "letmein", "10.0.0.1", session, err), 1);
    EXPECT_STREQ(err, "Wrong user name or password");
    EXPECT_STREQ(session, "untouched");
}

TEST_F(ImiSim, IdleSessionExpires)
{
    imi_daemon imi(USERS, {"--idle", "1"});
    ASSERT_TRUE(imi.ok());
    std::string s = login("guest", "letmein");
    usleep(1500 * 1000);
    EXPECT_EQ(check(s), "Not okay: Session timed out\r\n");
}

// Page processes hold their connections open, and one stuck halfway through
// a request must not hold up the rest.
TEST_F(ImiSim, ServesConcurrentConnections)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    ASSERT_EQ(imi_connect(), 0);
    const std::uint16_t header[2] = {IMI_MSG_CHECK_SESSION, IMI_CHECK_LEN}; // and no more
    ASSERT_EQ(write(imi_sock_fd, header, sizeof header), 4);
    int stuck = imi_sock_fd;
    imi_sock_fd = -1;
    pid_t kids[6];
    for (int k = 0; k < 6; ++k) {
        if ((kids[k] = fork()) != 0)
            continue;
        std::string addr = "10.1.0." + std::to_string(k);
        int bad = 0;
        for (int i = 0; i < 20; ++i) {
            std::string s = login("guest", "letmein", addr.c_str());
            bad += check(s, addr.c_str()) != "ok guest";
            bad += imi_logout(s.c_str()) != 0;
        }
        _exit(bad != 0);
    }
    for (pid_t pid : kids) {
        int status = -1;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && status == 0);
    }
    close(stuck);
}

} // namespace
