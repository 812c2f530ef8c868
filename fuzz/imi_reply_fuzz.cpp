// IMI replies: the first byte picks the request (session check, login, user
// list), the rest is what the daemon answers. The client's end of a
// socketpair is imi_sock_fd, so the real reply reading runs; a seqpacket pair
// keeps each reply one message, as the daemon sends it.
#include "fuzz_util.h"
#include "imi_client.h"
#include "web_state.h"

#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int daemon_fd = -1;

// A connection for the next reply: the client closes its end after a reply
// that is short or malformed, as it must, and the next request then needs a
// new one.
void connect_pair()
{
    if (imi_sock_fd != -1)
        return;
    if (daemon_fd != -1)
        ::close(daemon_fd);
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
        std::abort();
    imi_sock_fd = sv[0];
    daemon_fd = sv[1];
}

int check_user(const char *user, const char *id, const char *time, const char *addr)
{
    // The texts must be terminated inside their fields.
    FUZZ_CHECK(std::strlen(user) < IMI_NAME_LEN && std::strlen(addr) < IMI_ADDR_LEN);
    FUZZ_CHECK(std::strlen(id) < 32 && std::strlen(time) < 32);
    return 0;
}

void drain_request()
{
    unsigned char buf[IMI_REPLY_BUF];
    while (::recv(daemon_fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    connect_pair();
    // Refusals are printed for the browser; keep them out of the fuzzer's log.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    ::setenv("TZ", "UTC", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > 2 * IMI_LIST_BUF)
        return 0;
    const std::uint8_t op = data[0] % 3;
    connect_pair();
    if (::send(daemon_fd, data + 1, size - 1, 0) != static_cast<ssize_t>(size - 1))
        std::abort();

    if (op == 0) {
        char user[IMI_SESSION_BUF + 1];
        std::memset(user, 'U', sizeof user);
        if (imi_check_session("0123456789abcdef", "192.0.2.1", user) == 0)
            FUZZ_CHECK(std::memchr(user, '\0', IMI_SESSION_BUF));
        FUZZ_CHECK(user[IMI_SESSION_BUF] == 'U');
    } else if (op == 1) {
        char session[IMI_SESSION_BUF + 1];
        char err[IMI_LOGIN_ERR_SIZE + 1];
        std::memset(session, 'S', sizeof session);
        std::memset(err, 'E', sizeof err);
        if (imi_login("admin", "admin", "192.0.2.1", session, err) == 0)
            FUZZ_CHECK(std::memchr(session, '\0', IMI_SESSION_BUF));
        else
            FUZZ_CHECK(std::memchr(err, '\0', IMI_LOGIN_ERR_SIZE));
        FUZZ_CHECK(session[IMI_SESSION_BUF] == 'S' && err[IMI_LOGIN_ERR_SIZE] == 'E');
    } else {
        char err[IMI_LIST_ERR_SIZE + 1];
        std::memset(err, 'E', sizeof err);
        if (imi_list_users(check_user, err) != 0)
            FUZZ_CHECK(std::memchr(err, '\0', IMI_LIST_ERR_SIZE));
        FUZZ_CHECK(err[IMI_LIST_ERR_SIZE] == 'E');
    }
    // A request refused before its read leaves the reply queued.
    unsigned char left[2 * IMI_LIST_BUF];
    while (imi_sock_fd != -1 && ::recv(imi_sock_fd, left, sizeof left, MSG_DONTWAIT) >= 0) {
    }
    drain_request();
    return 0;
}
