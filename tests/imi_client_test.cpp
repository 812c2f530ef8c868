// IMI client against a peer played by the test: request bytes, reply handling, connection reuse.
#include "imi_client.h"
#include "test_util.h"
#include "unique_fd.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

// Message bytes built independently of the client's own packing. field()
// cuts to width - 1 and terminates; raw() fills the width, terminator or not.
std::string u16(std::uint16_t v) { return std::string(reinterpret_cast<char *>(&v), 2); }
std::string u32(std::uint32_t v) { return std::string(reinterpret_cast<char *>(&v), 4); }
std::string raw(const std::string &s, std::size_t w) { return (s + std::string(w, '\0')).substr(0, w); }
std::string field(const std::string &s, std::size_t w) { return raw(s.substr(0, w - 1), w); }

// A check or login reply of len bytes.
std::string reply(std::uint32_t status, const std::string &user, const std::string &session,
                  const std::string &message, std::size_t len = 200)
{
    return raw(u16(3) + u16(std::uint16_t(len)) + u32(status) + raw(user, 32) + raw(session, 32) + message, len);
}

std::string record(std::uint32_t id, const std::string &user, const std::string &addr, std::uint32_t time)
{
    return u32(id) + raw(user, 32) + field(addr, 64) + u32(time);
}

// A user list reply whose header's length covers the records.
std::string user_list(const std::string &recs) { return u16(5) + u16(std::uint16_t(4 + recs.size())) + recs; }

void send_all(int fd, const std::string &b) { EXPECT_EQ(send(fd, b.data(), b.size(), 0), ssize_t(b.size())); }

// Whatever fd has received by now, without waiting.
std::string drain(int fd)
{
    std::string got;
    char b[1024];
    for (ssize_t n; (n = recv(fd, b, sizeof b, MSG_DONTWAIT)) > 0;)
        got.append(b, std::size_t(n));
    return got;
}

std::vector<std::string> g_calls; // what the user list handler was given
int collect(const char *user, const char *id, const char *time, const char *addr)
{
    return g_calls.push_back(std::string(user) + "|" + id + "|" + time + "|" + addr), 0;
}

class ImiClient : public ::testing::Test {
protected:
    void SetUp() override { setenv("TZ", "EST5", 1); tzset(); } // times come out as local time
    void TearDown() override
    {
        close(std::exchange(imi_sock_fd, -1));
        if (listener_.ok())
            unlink(IMI_SOCK_PATH);
    }
    // Hands the client one end of a socket pair; the test plays IMI on the other.
    unique_fd peer(const std::string &queued_reply = "")
    {
        close(std::exchange(imi_sock_fd, -1));
        int sv[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
        imi_sock_fd = sv[0];
        send_all(sv[1], queued_reply);
        return unique_fd(sv[1]);
    }
    // Makes the next request, a logout, and tells where it went: "same" over
    // the cached connection, whose peer is old; "new" over a connection made
    // afresh to a listener in IMI's place.
    std::string next_request_goes(int old)
    {
        if (!listener_.ok()) {
            unlink(IMI_SOCK_PATH);
            listener_ = unique_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            sockaddr_un addr = {AF_UNIX, {}};
            std::strcpy(addr.sun_path, IMI_SOCK_PATH);
            EXPECT_EQ(bind(listener_.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
            EXPECT_EQ(listen(listener_.get(), 8), 0);
        }
        drain(old); // the request before
        EXPECT_EQ(imi_logout("7"), 0);
        const std::string logout = u16(2) + u16(36) + field("7", 32);
        unique_fd fresh(accept(listener_.get(), nullptr, nullptr));
        const std::string on_old = drain(old), on_new = fresh.ok() ? drain(fresh.get()) : "";
        return on_old == logout && !fresh.ok() ? "same" : on_new == logout && on_old.empty() ? "new" : "neither";
    }

private:
    unique_fd listener_;
};

// All four requests on one connection, which the client must keep using;
// then each once IMI has gone: the send fails, and the connection with it.
TEST_F(ImiClient, RequestsOnTheCachedConnectionAndAfterItCloses)
{
    const std::string s40(40, 's'), p70(70, 'p'), a70(70, 'a'), ok = reply(1, "admin", "9", "");
    char user[32], session[32], err[500];
    const struct { std::function<int()> call; std::string queued_reply, request; const char *err_when_gone; } rows[] = {
        {[&] { return imi_check_session(s40.c_str(), a70.c_str(), user); }, ok,
         u16(3) + u16(100) + field(s40, 32) + field(a70, 64), ""},
        {[&] { return imi_login(s40.c_str(), p70.c_str(), "10.0.0.9", session, err); }, ok,
         u16(1) + u16(164) + field(s40, 32) + field(p70, 64) + field("10.0.0.9", 64),
         "Send login message failed"},
        {[&] { return imi_logout(s40.c_str()); }, "", u16(2) + u16(36) + field(s40, 32), ""},
        {[&] { return imi_list_users(collect, err); }, u16(5) + u16(4), u16(5) + u16(4),
         "Send request message failed"},
    };
    unique_fd imi = peer();
    for (const auto &r : rows) {
        send_all(imi.get(), r.queued_reply);
        EXPECT_EQ(r.call(), 0);
        char sent[1024]; // what the client sent, in one piece
        EXPECT_EQ(std::string(sent, std::max(recv(imi.get(), sent, sizeof sent, MSG_DONTWAIT), ssize_t(0))), r.request);
    }
    signal(SIGPIPE, SIG_DFL); // the write to the closed peer must fail, not kill
    for (const auto &r : rows) {
        peer().reset(); // one call per closed peer: a second would wait out five connect attempts
        err[0] = '\0';
        EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(r.call(), 1); }), "");
        EXPECT_STREQ(err, r.err_when_gone);
        EXPECT_EQ(imi_sock_fd, -1) << r.err_when_gone;
    }
}

// Both read one reply of 200 bytes or more; status 0 refuses. Each row: a
// check's "rc|user|what was printed", a login's "rc|session|err", and where
// the request after each went. A reply short, or with bytes left unread,
// costs the connection: the next reply would otherwise start with them.
TEST_F(ImiClient, CheckAndLoginReplies)
{
    const std::string n40(40, 'n'), n31(31, 'n'), m440(440, 'm'), timed_out = "Session timed out"; // m440: to the end
    const struct { std::string bytes, want, next; } rows[] = {
        {reply(1, "admin", "3456", ""), "0|admin| 0|3456|untouched", "same"},
        {reply(1, "admin", "3456", "", 199), "1|untouched| 1|untouched|Invalid message from IMI", "new"},
        {reply(0x10000, n40, n40, "", 512), "0|" + n31 + "| 0|" + n31 + "|untouched", "same"},
        {reply(0, "", "", m440, 512), "1|untouched|Not okay: " + m440 + "\r\n 1|untouched|" + m440, "same"},
        // the status at its own offset, not in the user name beside it
        {reply(0, "admin", "", timed_out), "1|untouched|Not okay: " + timed_out + "\r\n 1|untouched|" + timed_out, "same"},
        {reply(1, "", "3456", ""), "0|| 0|3456|untouched", "same"},
        // longer than the buffer: read up to it, the rest left behind
        {reply(0, "", "", m440 + "tail", 516), "1|untouched|Not okay: " + m440 + "\r\n 1|untouched|" + m440, "new"},
        // bytes past the header's length, all read
        {reply(1, "admin", "3456", "") + "xyz", "0|admin| 0|3456|untouched", "new"},
        // less than the header's length: the rest may still come
        {reply(1, "admin", "3456", "", 300).substr(0, 250), "0|admin| 0|3456|untouched", "new"},
    };
    for (const auto &[bytes, want, next] : rows) {
        char user[32] = "untouched", session[32] = "untouched", err[500] = "untouched";
        unique_fd imi = peer(bytes);
        int rc = -1;
        std::string got = capture_stdout([&] { rc = imi_check_session("1", "10.0.0.1", user); });
        got = std::to_string(rc) + "|" + user + "|" + got;
        EXPECT_EQ(next_request_goes(imi.get()), next) << "check, " << bytes.size();
        imi = peer(bytes);
        rc = imi_login("admin", "admin", "10.0.0.1", session, err);
        EXPECT_EQ(got + " " + std::to_string(rc) + "|" + session + "|" + err, want) << bytes.size();
        EXPECT_EQ(next_request_goes(imi.get()), next) << "login, " << bytes.size();
    }
}

// A reply of 4 + 104 bytes per record lists them all, anything else none;
// the last entry is the result and err. A malformed reply, or one that
// leaves bytes unread, costs the connection, as the next request shows.
TEST_F(ImiClient, UserListReplies)
{
    const std::string a = record(1, "admin", "10.0.0.1", 0),
                      abc = a + record(0xFFFFFFFFu, "guest", "10.0.0.2", 86400) +
                            record(3, std::string(32, 'x'), "::1", 0x7FFFFFFF),
                      refused = "1 Invalid response from IMI", listed_a = "admin|1|1969-12-31 19:00:00|10.0.0.1";
    std::string a8; // as many records as the buffer holds
    for (int i = 0; i < 8; ++i)
        a8 += a;
    std::vector<std::string> listed8(8, listed_a);
    listed8.push_back("0 untouched");
    const struct { std::string list; std::vector<std::string> calls; std::string next; } rows[] = {
        {user_list(""), {"0 untouched"}, "same"},
        {user_list(abc), {listed_a, "guest|4294967295|1970-01-01 19:00:00|10.0.0.2",
                          std::string(31, 'x') + "|3|2038-01-18 22:14:07|::1", "0 untouched"}, "same"},
        {user_list(std::string(1, '\0')), {refused}, "new"}, {user_list(a + '\0'), {refused}, "new"},
        {user_list(a8), listed8, "same"}, {user_list(a8 + a), listed8, "new"},
        // a record past the header's length
        {user_list(a) + a, {listed_a, listed_a, "0 untouched"}, "new"},
    };
    for (const auto &[list, calls, next] : rows) {
        unique_fd imi = peer(list);
        g_calls.clear();
        char err[28] = "untouched";
        g_calls.push_back(std::to_string(imi_list_users(collect, err)) + " " + err);
        EXPECT_EQ(g_calls, calls) << list.size();
        EXPECT_EQ(next_request_goes(imi.get()), next) << list.size();
    }
}

// IMI silent (takes the request, never answers) or absent (no listener: five
// attempts a second apart): the request fails quietly after five seconds, and
// its socket goes, so that a late answer is never read as the next request's.
TEST_F(ImiClient, SilentOrAbsentImiGivesUpAfterFiveSeconds)
{
    for (const bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent peer" : "no listener");
        unique_fd imi = silent ? peer() : unique_fd();
        unlink(IMI_SOCK_PATH);
        const std::size_t fds_before = dir_entries("/proc/self/fd").size();
        char user[32];
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(imi_check_session("1", "10.0.0.1", user), 1); }), "");
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(4900));
        EXPECT_LT(waited, std::chrono::seconds(8));
        EXPECT_EQ(imi_sock_fd, -1);
        EXPECT_EQ(dir_entries("/proc/self/fd").size(), fds_before - silent) << "a socket was not closed";
        char byte;
        EXPECT_EQ(silent ? recv(imi.get(), &byte, 1, MSG_PEEK) : 1, 1) << "the request was sent";
    }
}

} // namespace
