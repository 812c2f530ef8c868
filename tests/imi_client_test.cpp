// IMI client against a peer played by the test: request bytes, reply handling, connection reuse.
#include "imi_client.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "test_util.h"
#include "unique_fd.h"

namespace {

const std::string LONG40(40, 's');
const std::string LONG70(70, 'a');

// Message bytes built independently of the client's own packing.
std::string u16(std::uint16_t v) { return std::string(reinterpret_cast<char *>(&v), 2); }
std::string u32(std::uint32_t v) { return std::string(reinterpret_cast<char *>(&v), 4); }
std::string field(const std::string &text, std::size_t width)
{
    std::string f = text.substr(0, width - 1);
    f.resize(width, '\0');
    return f;
}

// A check or login reply of len bytes. user and session fill their fields
// raw, so a 32-character one arrives without a terminator.
std::string reply(std::uint32_t status, const std::string &user, const std::string &session,
                  const std::string &message, std::size_t len = 200)
{
    std::string r = u16(3) + u16(static_cast<std::uint16_t>(len)) + u32(status);
    r += (user + std::string(32, '\0')).substr(0, 32);
    r += (session + std::string(32, '\0')).substr(0, 32);
    r += message;
    r.resize(len, '\0');
    return r;
}

std::string record(std::uint32_t id, const std::string &user, const std::string &addr,
                   std::uint32_t time)
{
    return u32(id) + (user + std::string(32, '\0')).substr(0, 32) + field(addr, 64) + u32(time);
}

std::string list_reply(const std::vector<std::string> &records, std::size_t extra = 0)
{
    std::string r = u16(5) + u16(0);
    for (const std::string &rec : records)
        r += rec;
    return r + std::string(extra, '\0');
}

void send_all(int fd, const std::string &bytes)
{
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
}

std::string drain(int fd)
{
    std::string out;
    char buf[1024];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    return out;
}

std::vector<std::string> g_calls;
int collect(const char *user, const char *id, const char *time, const char *addr)
{
    g_calls.push_back(std::string(user) + "|" + id + "|" + time + "|" + addr);
    return 0;
}

int open_fd_count() { return static_cast<int>(dir_entries("/proc/self/fd").size()); }

// Each case starts unconnected; most hand the client one end of a socket pair
// and play IMI on the other, replies queued before the call.
class ImiClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_connection();
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override { reset_connection(); }
    static void reset_connection()
    {
        if (imi_sock_fd != -1)
            close(imi_sock_fd);
        imi_sock_fd = -1;
    }
    unique_fd peer()
    {
        int sv[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
        imi_sock_fd = sv[0];
        return unique_fd(sv[1]);
    }
};

TEST_F(ImiClient, RequestsAreLaidOutFieldByField)
{
    const std::string ok = reply(1, "admin", "", "");
    struct row {
        const char *name;
        std::string queued; // reply the call needs before it returns
        std::function<int()> call;
        std::string expect;
    };
    char user[32], session[32], err[500];
    const row rows[] = {
        {"check", ok, [&] { return imi_check_session("1024", "10.0.0.1", user); },
         u16(3) + u16(100) + field("1024", 32) + field("10.0.0.1", 64)},
        {"check cut", ok,
         [&] { return imi_check_session(LONG40.c_str(), LONG70.c_str(), user); },
         u16(3) + u16(100) + field(LONG40, 32) + field(LONG70, 64)},
        {"login", ok, [&] { return imi_login("admin", "pw", "10.0.0.9", session, err); },
         u16(1) + u16(164) + field("admin", 32) + field("pw", 64) + field("10.0.0.9", 64)},
        {"login cut", ok,
         [&] { return imi_login(LONG40.c_str(), LONG70.c_str(), LONG70.c_str(), session, err); },
         u16(1) + u16(164) + field(LONG40, 32) + field(LONG70, 64) + field(LONG70, 64)},
        {"logout", "", [&] { return imi_logout(LONG40.c_str()); },
         u16(2) + u16(36) + field(LONG40, 32)},
        {"list", list_reply({}), [&] { return imi_list_users(collect, err); }, u16(5) + u16(4)},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.name);
        unique_fd imi = peer();
        if (!r.queued.empty())
            send_all(imi.get(), r.queued);
        testing::internal::CaptureStdout();
        EXPECT_EQ(r.call(), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(drain(imi.get()), r.expect);
        reset_connection();
    }
}

TEST_F(ImiClient, SessionCheckReplies)
{
    const std::string long_user(40, 'u');
    const std::string long_msg(440, 'm'); // to the end of a 512-byte reply, no terminator
    struct row {
        const char *name;
        std::string reply;
        int result;
        std::string user;
        std::string out;
    } rows[] = {
        {"accepted", reply(1, "admin", "", ""), 0, "admin", ""},
        {"199 bytes", reply(1, "admin", "", "", 199), 1, "untouched", ""},
        {"512 bytes", reply(1, "admin", "", "", 512), 0, "admin", ""},
        {"status in high bits", reply(0x10000, "op", "", ""), 0, "op", ""},
        {"long user", reply(1, long_user, "7", ""), 0, long_user.substr(0, 31), ""},
        {"refused", reply(0, "", "", "Session timed out"), 1, "untouched",
         "Not okay: Session timed out\r\n"},
        {"refused long message", reply(0, "", "", long_msg, 512), 1, "untouched",
         "Not okay: " + long_msg + "\r\n"},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.name);
        unique_fd imi = peer();
        send_all(imi.get(), r.reply);
        char user[32] = "untouched";
        testing::internal::CaptureStdout();
        EXPECT_EQ(imi_check_session("1", "10.0.0.1", user), r.result);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), r.out);
        EXPECT_EQ(std::string(user), r.user);
        reset_connection();
    }
}

TEST_F(ImiClient, LoginReplies)
{
    const std::string long_msg(440, 'm');
    struct row {
        const char *name;
        std::string reply;
        int result;
        std::string session;
        std::string err;
    } rows[] = {
        {"accepted", reply(1, "admin", "3456789012", ""), 0, "3456789012", "untouched"},
        {"long session", reply(1, "admin", LONG40, ""), 0, LONG40.substr(0, 31), "untouched"},
        {"199 bytes", reply(1, "admin", "3456", "", 199), 1, "untouched",
         "Invalid message from IMI"},
        {"refused", reply(0, "", "", "Wrong user name or password"), 1, "untouched",
         "Wrong user name or password"},
        {"refused long message", reply(0, "", "", long_msg, 512), 1, "untouched", long_msg},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.name);
        unique_fd imi = peer();
        send_all(imi.get(), r.reply);
        char session[32] = "untouched";
        char err[500] = "untouched";
        EXPECT_EQ(imi_login("admin", "admin", "10.0.0.1", session, err), r.result);
        EXPECT_EQ(std::string(session), r.session);
        EXPECT_EQ(std::string(err), r.err);
        reset_connection();
    }
}

TEST_F(ImiClient, UserListReplies)
{
    const std::string a = record(1, "admin", "10.0.0.1", 86400);
    const std::string b = record(0xFFFFFFFFu, "guest", "10.0.0.2", 0xFFFFFFFFu);
    const std::string c = record(3, std::string(32, 'x'), "::1", 0x7FFFFFFF);
    struct row {
        const char *name;
        std::string reply;
        int result;
        std::vector<std::string> calls;
    } rows[] = {
        {"empty", list_reply({}), 0, {}},
        {"three in order", list_reply({a, b, c}), 0,
         {"admin|1|1970-01-02 00:00:00|10.0.0.1", "guest|4294967295|1969-12-31 23:59:59|10.0.0.2",
          std::string(31, 'x') + "|3|2038-01-19 03:14:07|::1"}},
        {"eight", list_reply(std::vector<std::string>(8, a)), 0,
         std::vector<std::string>(8, "admin|1|1970-01-02 00:00:00|10.0.0.1")},
        {"5 bytes", list_reply({}, 1), 1, {}},
        {"record and a byte", list_reply({a}, 1), 1, {}},
        {"short header", u16(5), 1, {}},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.name);
        unique_fd imi = peer();
        send_all(imi.get(), r.reply);
        g_calls.clear();
        char err[28] = "untouched";
        EXPECT_EQ(imi_list_users(collect, err), r.result);
        EXPECT_EQ(g_calls, r.calls);
        EXPECT_STREQ(err, r.result ? "Invalid response from IMI" : "untouched");
        reset_connection();
    }
}

TEST_F(ImiClient, TimeStampIsLocalTime)
{
    setenv("TZ", "EST5", 1);
    tzset();
    char buf[32];
    EXPECT_STREQ(format_local_time(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", 0),
                 "1969-12-31 19:00:00");
    EXPECT_EQ(format_local_time(nullptr, 32, "%Y", 0), nullptr);
    EXPECT_EQ(format_local_time(buf, sizeof buf, nullptr, 0), nullptr);
}

// A peer that has gone, or that closes without answering, fails the request;
// the process survives with SIGPIPE at its default, and the descriptor stays.
TEST_F(ImiClient, DeadPeerFailsEveryRequest)
{
    signal(SIGPIPE, SIG_DFL);
    struct row {
        const char *name;
        int how; // SHUT_RDWR: closed before the write; SHUT_WR: closes instead of replying
        std::function<int(char *)> call;
        const char *err;
    };
    char user[32];
    char session[32];
    const row rows[] = {
        {"check, closed", SHUT_RDWR, [&](char *) { return imi_check_session("1", "a", user); },
         ""},
        {"check, no reply", SHUT_WR, [&](char *) { return imi_check_session("1", "a", user); },
         ""},
        {"login, closed", SHUT_RDWR,
         [&](char *e) { return imi_login("u", "p", "a", session, e); },
         "Send login message failed"},
        {"login, no reply", SHUT_WR,
         [&](char *e) { return imi_login("u", "p", "a", session, e); },
         "Invalid message from IMI"},
        {"logout, closed", SHUT_RDWR, [&](char *) { return imi_logout("1"); }, ""},
        {"list, closed", SHUT_RDWR, [&](char *e) { return imi_list_users(collect, e); },
         "Send request message failed"},
        {"list, no reply", SHUT_WR, [&](char *e) { return imi_list_users(collect, e); },
         "Invalid response from IMI"},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.name);
        unique_fd imi = peer();
        int fd = imi_sock_fd;
        if (r.how == SHUT_RDWR)
            imi.reset();
        else
            shutdown(imi.get(), SHUT_WR);
        char err[500] = "";
        testing::internal::CaptureStdout();
        EXPECT_EQ(r.call(err), 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_STREQ(err, r.err);
        EXPECT_EQ(imi_sock_fd, fd);
        reset_connection();
    }
}

// A listener on the real path that the test accepts from by hand.
unique_fd listen_imi()
{
    unlink(IMI_SOCK_PATH);
    unique_fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, IMI_SOCK_PATH, sizeof addr.sun_path - 1);
    EXPECT_EQ(bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    EXPECT_EQ(listen(fd.get(), 8), 0);
    return fd;
}

TEST_F(ImiClient, ConnectionIsMadeOnceAndReused)
{
    unique_fd listener = listen_imi();
    ASSERT_EQ(imi_connect(), 0);
    int fd = imi_sock_fd;
    ASSERT_NE(fd, -1);
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    unique_fd imi(accept(listener.get(), nullptr, nullptr));
    ASSERT_TRUE(imi.ok());

    char user[32];
    for (const char *name : {"first", "second"}) {
        send_all(imi.get(), reply(1, name, "", ""));
        ASSERT_EQ(imi_check_session("8", "10.0.0.1", user), 0);
        EXPECT_STREQ(user, name);
        EXPECT_EQ(imi_sock_fd, fd);
        EXPECT_EQ(drain(imi.get()).size(), 100u);
    }
    EXPECT_EQ(accept(listener.get(), nullptr, nullptr), -1) << "a second connection was made";
}

TEST_F(ImiClient, ConnectRetriesUntilImiListens)
{
    unique_fd listener;
    std::thread late([&] {
        usleep(1500 * 1000);
        listener = listen_imi();
    });
    auto start = std::chrono::steady_clock::now();
    int rc = imi_connect();
    late.join();
    EXPECT_EQ(rc, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(ImiClient, NoListenerGivesUpAfterFiveSeconds)
{
    unlink(IMI_SOCK_PATH);
    int fds_before = open_fd_count();
    char user[32] = "untouched";
    auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    EXPECT_EQ(imi_check_session("1", "10.0.0.1", user), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::seconds(8));
    EXPECT_EQ(imi_sock_fd, -1);
    EXPECT_STREQ(user, "untouched");
    EXPECT_EQ(open_fd_count(), fds_before) << "the failed socket was not closed";
}

} // namespace
