// IMI client: connection, message packing and the login, check, logout and list requests.
#include "imi_client.h"

#include "deadline.h"
#include "unique_fd.h"
#include "web_state.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The socket option IMI's kernel knows by number only; set to 0 before connecting.
constexpr int IMI_SOCKOPT = 100;
constexpr int CONNECT_ATTEMPTS = 5;
// One attempt's deadline covers its connect, the request's send and the
// reply: an IMI that is stuck (its queue full, or silent after accepting)
// must not hold the request, nor pile up pages waiting on it.
constexpr int EXCHANGE_TIMEOUT_MS = 5000;

// The blocking calls on the socket (connect, send) wait at most until deadline.
bool limit_blocking(int fd, long long deadline)
{
    long long left = deadline - monotonic_ms();
    if (left <= 0)
        return false;
    timeval tv = {static_cast<time_t>(left / 1000), static_cast<suseconds_t>(left % 1000 * 1000)};
    return ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

// After a time-out, a failed send, or a reply that is short or leaves bytes
// unread, the connection is out of step or gone: a late or left-over reply
// would be read by the next request as its own. Start afresh instead.
void drop_connection()
{
    if (imi_sock_fd != -1)
        ::close(imi_sock_fd);
    imi_sock_fd = -1;
}

// Connects imi_sock_fd: up to five attempts a second apart. 0 with the
// deadline of the attempt that succeeded in *deadline, or -1.
int connect_socket(long long *deadline)
{
    unique_fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.ok())
        return -1;
    // A kernel without the option rejects it as unknown; the connection
    // works without it there, so only other failures are fatal.
    int zero = 0;
    if (::setsockopt(fd.get(), SOL_SOCKET, IMI_SOCKOPT, &zero, sizeof zero) != 0 &&
        errno != ENOPROTOOPT)
        return -1;

    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::size_t path_len = std::strlen(IMI_SOCK_PATH);
    std::memcpy(addr.sun_path, IMI_SOCK_PATH, path_len);
    auto addr_len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path_len);

    // A connect that finds IMI's queue full waits for room until the
    // attempt's deadline, then fails like a refused one.
    for (int i = 0; i < CONNECT_ATTEMPTS; ++i) {
        *deadline = monotonic_ms() + EXCHANGE_TIMEOUT_MS;
        if (limit_blocking(fd.get(), *deadline) &&
            ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&addr), addr_len) == 0) {
            imi_sock_fd = fd.release();
            return 0;
        }
        ::sleep(1);
    }
    return -1;
}

// Connects when needed. The deadline of this request's exchange (monotonic
// ms), or -1 when no connection could be made.
long long open_exchange()
{
    long long deadline = monotonic_ms() + EXCHANGE_TIMEOUT_MS;
    if (imi_sock_fd == -1 && connect_socket(&deadline) != 0)
        return -1;
    return deadline;
}

// Sends the request in buf, whose length is taken from its header, with one
// send call by deadline. A peer that has gone away fails the send instead
// of raising SIGPIPE. 0 when every byte went out, else 1 with the
// connection closed: whatever the failure (time-out, EPIPE, ECONNRESET, part
// of the request sent), IMI's view of the stream is no longer ours.
int send_request(const unsigned char *buf, long long deadline)
{
    std::size_t len = imi_get_u16(buf, IMI_OFF_LENGTH);
    if (!limit_blocking(imi_sock_fd, deadline)) {
        drop_connection();
        return 1;
    }
    ssize_t n;
    do {
        n = ::send(imi_sock_fd, buf, len, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(len))
        return 0;
    drop_connection();
    return 1;
}

// Whether the got bytes in buf end exactly where the reply does: its header
// gives its whole length, and no byte past it is waiting. A reply longer than
// the buffer, the rest of one still on its way, or bytes after it would
// otherwise open the next request's reply. Asks the socket without waiting.
bool read_to_end(const unsigned char *buf, ssize_t got)
{
    if (static_cast<ssize_t>(imi_get_u16(buf, IMI_OFF_LENGTH)) != got)
        return false;
    unsigned char byte;
    ssize_t n;
    do {
        n = ::recv(imi_sock_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n > 0)
        return false;
    // Nothing waits; a peer that closed after its reply is the next send's
    // failure, and any other error means the socket is no use.
    return n == 0 || errno == EAGAIN || errno == EWOULDBLOCK;
}

// One receive of at most size bytes by deadline; only what it returns
// counts. The buffer is cleared first so a text field cut off by a short
// reply stays terminated. Returns the byte count when at least min bytes
// (min >= IMI_HDR_LEN) came; else -1 with the connection closed, since a
// peer that closed (0), a failed receive or the rest of a short reply still
// on its way leaves nothing the next request could trust. A reply that did
// not end with the read is still returned for the caller to use as it is,
// but its connection is closed too.
ssize_t read_reply(unsigned char *buf, std::size_t size, std::size_t min, long long deadline)
{
    std::memset(buf, 0, size);
    pollfd pfd = {imi_sock_fd, POLLIN, 0};
    int ready;
    do {
        long long left = deadline - monotonic_ms();
        ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        drop_connection();
        return -1;
    }
    ssize_t n;
    do {
        n = ::recv(imi_sock_fd, buf, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < static_cast<ssize_t>(min)) {
        drop_connection();
        return -1;
    }
    if (!read_to_end(buf, n))
        drop_connection();
    return n;
}

// The refusal message runs from its offset to the end of what was read.
std::size_t message_len(const unsigned char *buf, std::size_t got)
{
    return strnlen(reinterpret_cast<const char *>(buf + IMI_OFF_MESSAGE), got - IMI_OFF_MESSAGE);
}

void set_err(char *err, std::size_t size, const char *text)
{
    if (err)
        std::snprintf(err, size, "%s", text);
}

} // namespace

void imi_put_u16(unsigned char *buf, std::size_t off, std::uint16_t v)
{
    std::memcpy(buf + off, &v, sizeof v);
}

void imi_put_u32(unsigned char *buf, std::size_t off, std::uint32_t v)
{
    std::memcpy(buf + off, &v, sizeof v);
}

void imi_put_text(unsigned char *buf, std::size_t off, std::size_t width, const char *text)
{
    std::memset(buf + off, 0, width);
    if (text && width > 0)
        std::memcpy(buf + off, text, strnlen(text, width - 1));
}

std::uint16_t imi_get_u16(const unsigned char *buf, std::size_t off)
{
    std::uint16_t v;
    std::memcpy(&v, buf + off, sizeof v);
    return v;
}

std::uint32_t imi_get_u32(const unsigned char *buf, std::size_t off)
{
    std::uint32_t v;
    std::memcpy(&v, buf + off, sizeof v);
    return v;
}

void imi_get_text(const unsigned char *buf, std::size_t off, std::size_t width, char *out,
                  std::size_t out_size)
{
    if (!out || out_size == 0)
        return;
    std::size_t max = width < out_size - 1 ? width : out_size - 1;
    std::size_t n = strnlen(reinterpret_cast<const char *>(buf + off), max);
    std::memcpy(out, buf + off, n);
    out[n] = '\0';
}

int imi_connect()
{
    long long deadline;
    return imi_sock_fd != -1 ? 0 : connect_socket(&deadline);
}

int imi_check_session(const char *session_id, const char *client_addr, char *user)
{
    long long deadline = open_exchange();
    if (deadline < 0)
        return 1;

    unsigned char buf[IMI_REPLY_BUF] = {};
    imi_put_u16(buf, IMI_OFF_TYPE, IMI_MSG_CHECK_SESSION);
    imi_put_u16(buf, IMI_OFF_LENGTH, IMI_CHECK_LEN);
    imi_put_text(buf, IMI_OFF_CHECK_ADDR, IMI_ADDR_LEN, client_addr);
    imi_put_text(buf, IMI_OFF_CHECK_SESSION, IMI_NAME_LEN, session_id);
    if (send_request(buf, deadline) != 0)
        return 1;

    ssize_t got = read_reply(buf, sizeof buf, IMI_REPLY_MIN, deadline);
    if (got < 0)
        return 1;
    if (imi_get_u32(buf, IMI_OFF_STATUS) != 0) {
        imi_get_text(buf, IMI_OFF_USER, IMI_NAME_LEN, user, IMI_SESSION_BUF);
        return 0;
    }
    std::printf("Not okay: %.*s\r\n", static_cast<int>(message_len(buf, got)),
                reinterpret_cast<const char *>(buf + IMI_OFF_MESSAGE));
    return 1;
}

int imi_login(const char *user, const char *password, const char *client_addr, char *session,
              char *err)
{
    long long deadline = open_exchange();
    if (deadline < 0) {
        set_err(err, IMI_LOGIN_ERR_SIZE, "Connect to IMI failed");
        return 1;
    }

    unsigned char buf[IMI_REPLY_BUF] = {};
    imi_put_u16(buf, IMI_OFF_TYPE, IMI_MSG_LOGIN);
    imi_put_u16(buf, IMI_OFF_LENGTH, IMI_LOGIN_LEN);
    imi_put_text(buf, IMI_OFF_LOGIN_USER, IMI_NAME_LEN, user);
    imi_put_text(buf, IMI_OFF_LOGIN_ADDR, IMI_ADDR_LEN, client_addr);
    imi_put_text(buf, IMI_OFF_LOGIN_PASSWORD, IMI_ADDR_LEN, password);
    if (send_request(buf, deadline) != 0) {
        set_err(err, IMI_LOGIN_ERR_SIZE, "Send login message failed");
        return 1;
    }

    ssize_t got = read_reply(buf, sizeof buf, IMI_REPLY_MIN, deadline);
    if (got < 0) {
        set_err(err, IMI_LOGIN_ERR_SIZE, "Invalid message from IMI");
        return 1;
    }
    if (imi_get_u32(buf, IMI_OFF_STATUS) != 0) {
        imi_get_text(buf, IMI_OFF_SESSION, IMI_NAME_LEN, session, IMI_SESSION_BUF);
        return 0;
    }
    imi_get_text(buf, IMI_OFF_MESSAGE, message_len(buf, got), err, IMI_LOGIN_ERR_SIZE);
    return 1;
}

int imi_logout(const char *session_id)
{
    long long deadline = open_exchange();
    if (deadline < 0)
        return 1;

    unsigned char buf[IMI_LOGOUT_LEN] = {};
    imi_put_u16(buf, IMI_OFF_TYPE, IMI_MSG_LOGOUT);
    imi_put_u16(buf, IMI_OFF_LENGTH, IMI_LOGOUT_LEN);
    imi_put_text(buf, IMI_OFF_LOGOUT_SESSION, IMI_NAME_LEN, session_id);
    return send_request(buf, deadline);
}

int imi_list_users(imi_user_cb cb, char *err)
{
    long long deadline = open_exchange();
    if (deadline < 0) {
        set_err(err, IMI_LIST_ERR_SIZE, "Connect to IMI failed");
        return 1;
    }

    unsigned char buf[IMI_LIST_BUF] = {};
    imi_put_u16(buf, IMI_OFF_TYPE, IMI_MSG_LIST_USERS);
    imi_put_u16(buf, IMI_OFF_LENGTH, IMI_LIST_LEN);
    if (send_request(buf, deadline) != 0) {
        set_err(err, IMI_LIST_ERR_SIZE, "Send request message failed");
        return 1;
    }

    ssize_t got = read_reply(buf, sizeof buf, IMI_HDR_LEN, deadline);
    if (got < 0 || (static_cast<std::size_t>(got) - IMI_HDR_LEN) % IMI_USER_REC_LEN != 0) {
        // A record cut short: its rest may still come, ahead of the next reply.
        if (got >= 0)
            drop_connection();
        set_err(err, IMI_LIST_ERR_SIZE, "Invalid response from IMI");
        return 1;
    }

    for (std::size_t off = IMI_HDR_LEN; off < static_cast<std::size_t>(got);
         off += IMI_USER_REC_LEN) {
        unsigned char *rec = buf + off;
        char id_text[32];
        char time_text[32];
        std::snprintf(id_text, sizeof id_text, "%u", imi_get_u32(rec, IMI_OFF_REC_ID));
        format_local_time(time_text, sizeof time_text, "%Y-%m-%d %H:%M:%S",
                          static_cast<std::int32_t>(imi_get_u32(rec, IMI_OFF_REC_TIME)));
        // The handler gets the texts in place; a field IMI filled to the brim
        // is terminated at its last byte.
        rec[IMI_OFF_REC_USER + IMI_NAME_LEN - 1] = '\0';
        rec[IMI_OFF_REC_ADDR + IMI_ADDR_LEN - 1] = '\0';
        if (cb)
            cb(reinterpret_cast<const char *>(rec + IMI_OFF_REC_USER), id_text, time_text,
               reinterpret_cast<const char *>(rec + IMI_OFF_REC_ADDR));
    }
    return 0;
}

char *format_local_time(char *buf, std::size_t size, const char *fmt, std::int32_t t)
{
    if (!buf || !fmt)
        return nullptr;
    if (size == 0)
        return buf;
    std::time_t when = t;
    const std::tm *tm = std::localtime(&when);
    if (!tm || std::strftime(buf, size, fmt, tm) == 0)
        buf[0] = '\0';
    return buf;
}
