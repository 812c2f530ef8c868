// IMI replies: the first byte picks the request (session check, login, user
// list), the rest is what the daemon answers. The client's end of a
// socketpair is imi_sock_fd, so the real reply reading runs; a seqpacket pair
// keeps each reply one message, as the daemon sends it.
#include "fuzz_util.h"
#include "imi_client.h"
#include "web_state.h"

#include <sys/socket.h>

namespace {

int daemon_fd = -1;

// A fresh connection for each reply: whatever the last input left queued
// on it (a request, a reply refused before its read) is gone with the old one.
void connect_pair()
{
    for (int fd : {imi_sock_fd, daemon_fd})
        if (fd != -1)
            ::close(fd);
    int sv[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) == 0);
    imi_sock_fd = sv[0];
    daemon_fd = sv[1];
}

// The texts must be terminated inside their fields.
int check_user(const char *user, const char *id, const char *time, const char *addr)
{
    FUZZ_CHECK(std::strlen(user) < IMI_NAME_LEN && std::strlen(addr) < IMI_ADDR_LEN);
    FUZZ_CHECK(std::strlen(id) < 32 && std::strlen(time) < 32);
    return 0;
}

} // namespace

FUZZ_SETUP
{
    // Refusals are printed for the browser; keep them out of the fuzzer's log.
    FUZZ_CHECK(std::freopen("/dev/null", "w", stdout));
    ::setenv("TZ", "UTC", 1);
}

FUZZ_TARGET(1, 2 * IMI_LIST_BUF)
{
    connect_pair();
    FUZZ_CHECK(::send(daemon_fd, data + 1, size - 1, 0) == static_cast<ssize_t>(size - 1));
    // Each output filled with a marker, one byte past its size too: what
    // the client writes is terminated inside, and that byte never touched.
    std::string user(IMI_SESSION_BUF + 1, 'U'), session(IMI_SESSION_BUF + 1, 'S');
    std::string login_err(IMI_LOGIN_ERR_SIZE + 1, 'E'), list_err(IMI_LIST_ERR_SIZE + 1, 'E');
    switch (data[0] % 3) {
    case 0:
        FUZZ_CHECK(imi_check_session("0123456789abcdef", "192.0.2.1", user.data()) != 0 ||
                   std::memchr(user.data(), '\0', IMI_SESSION_BUF));
        FUZZ_CHECK(user[IMI_SESSION_BUF] == 'U');
        break;
    case 1:
        if (imi_login("admin", "admin", "192.0.2.1", session.data(), login_err.data()) == 0)
            FUZZ_CHECK(std::memchr(session.data(), '\0', IMI_SESSION_BUF));
        else
            FUZZ_CHECK(std::memchr(login_err.data(), '\0', IMI_LOGIN_ERR_SIZE));
        FUZZ_CHECK(session[IMI_SESSION_BUF] == 'S' && login_err[IMI_LOGIN_ERR_SIZE] == 'E');
        break;
    default:
        FUZZ_CHECK(imi_list_users(check_user, list_err.data()) == 0 ||
                   std::memchr(list_err.data(), '\0', IMI_LIST_ERR_SIZE));
        FUZZ_CHECK(list_err[IMI_LIST_ERR_SIZE] == 'E');
    }
}
