// The IMI stand-in driven through the real client: sessions, privileges, expiry, many clients, bad input.
#include "imi_client.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "imi_daemon.h"
#include "test_util.h"
#include "unique_fd.h"

namespace {

const char USERS[] = "# name password privilege\n"
                     "admin secret full\n"
                     "\n"
                     "guest letmein limit\n";

std::vector<std::string> g_users;
int collect(const char *user, const char *id, const char *time, const char *addr)
{
    g_users.push_back(std::string(user) + "|" + id + "|" + time + "|" + addr);
    return 0;
}

std::string login(const char *user, const char *password, const char *addr)
{
    char session[32] = "";
    char err[500] = "";
    EXPECT_EQ(imi_login(user, password, addr, session, err), 0) << err;
    return session;
}

// 0 or 1 as imi_check_session gives it, with the line it printed.
std::pair<int, std::string> check(const std::string &session, const char *addr)
{
    char user[32];
    testing::internal::CaptureStdout();
    int rc = imi_check_session(session.c_str(), addr, user);
    return {rc, testing::internal::GetCapturedStdout()};
}

std::vector<std::string> list_users()
{
    g_users.clear();
    char err[28] = "";
    EXPECT_EQ(imi_list_users(collect, err), 0) << err;
    return g_users;
}

// A raw connection for what the client would never send.
unique_fd raw_connect()
{
    unique_fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, IMI_SOCK_PATH, sizeof addr.sun_path - 1);
    EXPECT_EQ(connect(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    return fd;
}

std::string header(std::uint16_t type, std::uint16_t len)
{
    std::string h(4, '\0');
    std::memcpy(h.data(), &type, 2);
    std::memcpy(h.data() + 2, &len, 2);
    return h;
}

std::string check_request(const std::string &session)
{
    std::string r = header(IMI_MSG_CHECK_SESSION, 100) + session;
    r.resize(36, '\0');
    r += "10.0.0.1";
    r.resize(100, '\0');
    return r;
}

// Reads len bytes, or fewer when the daemon closes or two seconds pass.
std::string read_n(int fd, std::size_t len)
{
    std::string out;
    pollfd p = {fd, POLLIN, 0};
    while (out.size() < len && poll(&p, 1, 2000) == 1) {
        char buf[1024];
        ssize_t n = read(fd, buf, std::min(sizeof buf, len - out.size()));
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

class ImiSim : public ::testing::Test {
protected:
    void SetUp() override { reset_connection(); }
    void TearDown() override { reset_connection(); }
    static void reset_connection()
    {
        if (imi_sock_fd != -1)
            close(imi_sock_fd);
        imi_sock_fd = -1;
    }
};

TEST_F(ImiSim, LoginGivesSessionWhoseParityIsThePrivilege)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    std::set<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        for (auto [user, password, parity] : {std::tuple{"admin", "secret", 0},
                                              std::tuple{"guest", "letmein", 1}}) {
            std::string session = login(user, password, "10.0.0.1");
            ASSERT_FALSE(session.empty());
            ASSERT_EQ(session.find_first_not_of("0123456789"), std::string::npos) << session;
            EXPECT_EQ(std::strtoul(session.c_str(), nullptr, 10) % 2, parity) << user;
            EXPECT_TRUE(seen.insert(session).second) << "session id repeated";
            char holder[32] = "";
            EXPECT_EQ(imi_check_session(session.c_str(), "10.0.0.1", holder), 0);
            EXPECT_STREQ(holder, user);
            EXPECT_EQ(imi_logout(session.c_str()), 0);
        }
    }
}

TEST_F(ImiSim, BadCredentialsAreRefused)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    const char *cases[][2] = {
        {"admin", "wrong"}, {"admin", "secre"}, {"admin", ""}, {"nobody", "secret"}, {"", ""},
        {"guest", "secret"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(std::string(c[0]) + "/" + c[1]);
        char session[32] = "untouched";
        char err[500] = "";
        EXPECT_EQ(imi_login(c[0], c[1], "10.0.0.1", session, err), 1);
        EXPECT_STREQ(err, "Wrong user name or password");
        EXPECT_STREQ(session, "untouched");
    }
}

TEST_F(ImiSim, SessionIsBoundToItsAddress)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    std::string s = login("admin", "secret", "10.0.0.1");
    EXPECT_EQ(check(s, "10.0.0.2"),
              std::pair(1, std::string("Not okay: Session belongs to another client address\r\n")));
    EXPECT_EQ(check(s, "10.0.0.1").first, 0);
    EXPECT_EQ(check("12345", "10.0.0.1"),
              std::pair(1, std::string("Not okay: Session not found\r\n")));
}

TEST_F(ImiSim, IdleSessionExpires)
{
    imi_daemon imi(USERS, {"--idle", "1"});
    ASSERT_TRUE(imi.ok());
    std::string s = login("guest", "letmein", "10.0.0.1");
    login("admin", "secret", "10.0.0.2");
    usleep(1500 * 1000);
    EXPECT_EQ(check(s, "10.0.0.1"), std::pair(1, std::string("Not okay: Session timed out\r\n")));
    EXPECT_EQ(check(s, "10.0.0.1").second, "Not okay: Session not found\r\n");
    EXPECT_TRUE(list_users().empty()) << "an expired session is still listed";
}

TEST_F(ImiSim, CheckKeepsSessionAlive)
{
    imi_daemon imi(USERS, {"--idle", "2"});
    ASSERT_TRUE(imi.ok());
    std::string s = login("admin", "secret", "10.0.0.1");
    for (int i = 0; i < 2; ++i) {
        usleep(1300 * 1000);
        EXPECT_EQ(check(s, "10.0.0.1").first, 0) << "after " << (i + 1) * 1.3 << " s";
    }
}

TEST_F(ImiSim, LogoutAndUserList)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    EXPECT_TRUE(list_users().empty());

    char before[32], after[32];
    format_local_time(before, sizeof before, "%Y-%m-%d %H:%M:%S",
                      static_cast<std::int32_t>(time(nullptr)));
    std::string a = login("admin", "secret", "10.0.0.1");
    std::string g = login("guest", "letmein", "fe80::1");
    format_local_time(after, sizeof after, "%Y-%m-%d %H:%M:%S",
                      static_cast<std::int32_t>(time(nullptr)));

    std::vector<std::string> users = list_users();
    ASSERT_EQ(users.size(), 2u);
    std::set<std::string> ids;
    for (const std::string &u : users) {
        std::size_t p1 = u.find('|'), p2 = u.find('|', p1 + 1), p3 = u.find('|', p2 + 1);
        std::string name = u.substr(0, p1), time_text = u.substr(p2 + 1, p3 - p2 - 1);
        ids.insert(u.substr(p1 + 1, p2 - p1 - 1));
        EXPECT_EQ(u.substr(p3 + 1), name == "admin" ? "10.0.0.1" : "fe80::1");
        EXPECT_TRUE(before <= time_text && time_text <= after) << time_text;
    }
    EXPECT_EQ(ids.size(), 2u);

    EXPECT_EQ(imi_logout(a.c_str()), 0);
    EXPECT_EQ(imi_logout("999"), 0);
    EXPECT_EQ(check(a, "10.0.0.1").second, "Not okay: Session not found\r\n");
    users = list_users();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].substr(0, 6), "guest|");
}

TEST_F(ImiSim, AtMostEightSessions)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    std::vector<std::string> sessions;
    for (int i = 0; i < 8; ++i)
        sessions.push_back(login("admin", "secret", "10.0.0.1"));
    char session[32], err[500] = "";
    EXPECT_EQ(imi_login("guest", "letmein", "10.0.0.1", session, err), 1);
    EXPECT_STREQ(err, "Too many users logged in");
    EXPECT_EQ(list_users().size(), 8u);
    EXPECT_EQ(imi_logout(sessions[3].c_str()), 0);
    EXPECT_EQ(imi_login("guest", "letmein", "10.0.0.1", session, err), 0);
}

// Page processes hold their connections open; one client stuck halfway
// through a request must not hold up the rest.
TEST_F(ImiSim, ServesManyConnectionsAtOnce)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    std::string s = login("admin", "secret", "10.0.0.1");
    unique_fd stuck = raw_connect();
    std::string req = check_request(s);
    ASSERT_EQ(write(stuck.get(), req.data(), 30), 30);

    int conns[3];
    for (int &fd : conns) {
        reset_connection();
        ASSERT_EQ(imi_connect(), 0);
        fd = imi_sock_fd;
    }
    for (int round = 0; round < 3; ++round) {
        for (int fd : conns) {
            imi_sock_fd = fd;
            EXPECT_EQ(check(s, "10.0.0.1").first, 0);
        }
    }
    for (int fd : conns)
        close(fd);
    imi_sock_fd = -1;

    ASSERT_EQ(write(stuck.get(), req.data() + 30, req.size() - 30),
              static_cast<ssize_t>(req.size() - 30));
    std::string rep = read_n(stuck.get(), 200);
    ASSERT_EQ(rep.size(), 200u);
    EXPECT_EQ(rep[4] | rep[5] | rep[6] | rep[7], 1) << "status";
}

TEST_F(ImiSim, PipelinedRequestsAreAnsweredInOrder)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    std::string s = login("guest", "letmein", "10.0.0.1");
    unique_fd fd = raw_connect();
    std::string reqs = check_request(s) + check_request("1") + header(IMI_MSG_LIST_USERS, 4);
    ASSERT_EQ(write(fd.get(), reqs.data(), reqs.size()), static_cast<ssize_t>(reqs.size()));
    std::string rep = read_n(fd.get(), 200 + 200 + 4 + 104);
    ASSERT_EQ(rep.size(), 508u);
    EXPECT_STREQ(rep.c_str() + 8, "guest");
    EXPECT_STREQ(rep.c_str() + 200 + 72, "Session not found");
    EXPECT_STREQ(rep.c_str() + 400 + 8, "guest");
}

TEST_F(ImiSim, BadRequestsCloseOnlyTheirConnection)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    const struct {
        const char *name;
        std::string bytes;
        bool closed; // the daemon hangs up on it
    } rows[] = {
        {"length 3", header(IMI_MSG_LIST_USERS, 3), true},
        {"length 0", header(IMI_MSG_CHECK_SESSION, 0), true},
        {"length 513", header(IMI_MSG_CHECK_SESSION, 513) + std::string(509, 'x'), true},
        {"length 65535", header(0xFFFF, 0xFFFF), true},
        {"unknown type", header(4, 4), true},
        {"wrong length for type", header(IMI_MSG_CHECK_SESSION, 164) + std::string(160, 'x'), true},
        {"half a request", check_request("1").substr(0, 50), false},
        {"three bytes", header(IMI_MSG_LIST_USERS, 4).substr(0, 3), false},
    };
    std::string s = login("admin", "secret", "10.0.0.1");
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        unique_fd fd = raw_connect();
        ASSERT_EQ(write(fd.get(), r.bytes.data(), r.bytes.size()),
                  static_cast<ssize_t>(r.bytes.size()));
        pollfd p = {fd.get(), POLLIN, 0};
        int ready = poll(&p, 1, r.closed ? 2000 : 200);
        char byte;
        // Hanging up on unread bytes shows as a reset rather than an end.
        EXPECT_EQ(ready == 1 && read(fd.get(), &byte, 1) <= 0, r.closed);
        fd.reset(); // a client that leaves mid-request
        EXPECT_EQ(check(s, "10.0.0.1").first, 0) << "daemon stopped serving";
    }
    // A client that goes before its answer is sent.
    unique_fd gone = raw_connect();
    std::string req = check_request(s);
    ASSERT_EQ(write(gone.get(), req.data(), req.size()), static_cast<ssize_t>(req.size()));
    gone.reset();
    EXPECT_EQ(check(s, "10.0.0.1").first, 0);
}

TEST_F(ImiSim, ConcurrentPageProcesses)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    std::vector<pid_t> kids;
    for (int k = 0; k < 6; ++k) {
        pid_t pid = fork();
        if (pid == 0) {
            freopen("/dev/null", "w", stdout); // the refusals after logout
            std::string addr = "10.1.0." + std::to_string(k);
            int bad = 0;
            for (int i = 0; i < 30; ++i) {
                char session[32] = "", err[500], user[32];
                bad += imi_login("guest", "letmein", addr.c_str(), session, err) != 0;
                bad += imi_check_session(session, addr.c_str(), user) != 0;
                bad += imi_logout(session) != 0;
                bad += imi_check_session(session, addr.c_str(), user) != 1;
            }
            _exit(bad ? 1 : 0);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids) {
        int status = -1;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_TRUE(list_users().empty());
}

TEST_F(ImiSim, StopsOnTermAndRemovesItsSocket)
{
    imi_daemon imi(USERS);
    ASSERT_TRUE(imi.ok());
    ASSERT_TRUE(path_exists(IMI_SOCK_PATH));
    EXPECT_EQ(imi.stop(), 0);
    EXPECT_FALSE(path_exists(IMI_SOCK_PATH));
}

TEST_F(ImiSim, BadUsersFileOrOptionsDoNotStart)
{
    const struct {
        const char *name;
        std::string users;
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {"bad privilege", "admin secret root\n", {}, 1},
        {"missing field", "admin secret\n", {}, 1},
        {"extra field", "admin secret full x\n", {}, 1},
        {"duplicate user", "a b full\na c limit\n", {}, 1},
        {"name of 32", std::string(32, 'n') + " pw full\n", {}, 1},
        {"idle 0", "a b full\n", {"--idle", "0"}, 2},
        {"unknown option", "a b full\n", {"--verbose", "1"}, 2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        write_file("/tmp/users.txt", r.users);
        std::vector<std::string> argv = {SIM_BIN_DIR "/imi_sim", "--users", "/tmp/users.txt"};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        proc_result res = run_process(argv, {});
        EXPECT_EQ(res.status, r.status);
        EXPECT_NE(res.err, "");
        EXPECT_FALSE(path_exists(IMI_SOCK_PATH));
    }
    proc_result none = run_process({SIM_BIN_DIR "/imi_sim"}, {});
    EXPECT_EQ(none.status, 2);
}

} // namespace
