// IMI stand-in: serves the web pages' login, session check, logout and user list on a UNIX socket.
//
//   imi_sim --users FILE [--socket PATH] [--idle SECONDS] [--ready-fd N]
//
// Many page processes hold a connection each until they exit, so clients are
// served from one poll loop, each request answered in the order it came.
#include "imi_store.h"

#include "imi_client.h"
#include "deadline.h"
#include "unique_fd.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::size_t MAX_CLIENTS = 128;
constexpr long MAX_IDLE_SECONDS = 7L * 24 * 3600;

struct options {
    const char *socket_path = IMI_SOCK_PATH;
    const char *users_path = nullptr;
    long idle_seconds = 600;
    int ready_fd = -1;
};

// A connection and the request it is reading: first the header, then as
// many bytes as the header's length asks for.
struct client {
    unique_fd fd;
    unsigned char buf[IMI_REPLY_BUF];
    std::size_t have;
    std::size_t need;
};

void usage()
{
    std::fprintf(stderr, "usage: imi_sim --users FILE [--socket PATH] [--idle SECONDS] "
                         "[--ready-fd N]\n");
}

bool parse_long(const char *text, long min, long max, long *out)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno || *end || v < min || v > max)
        return false;
    *out = v;
    return true;
}

bool parse_options(int argc, char **argv, options *opt)
{
    for (int i = 1; i < argc; ++i) {
        const char *name = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        if (!value)
            return false;
        if (std::strcmp(name, "--socket") == 0) {
            opt->socket_path = value;
        } else if (std::strcmp(name, "--users") == 0) {
            opt->users_path = value;
        } else if (std::strcmp(name, "--idle") == 0) {
            if (!parse_long(value, 1, MAX_IDLE_SECONDS, &opt->idle_seconds))
                return false;
        } else if (std::strcmp(name, "--ready-fd") == 0) {
            if (!parse_long(value, 0, INT_MAX, &n))
                return false;
            opt->ready_fd = static_cast<int>(n);
        } else {
            return false;
        }
        ++i;
    }
    return opt->users_path != nullptr;
}

// Binds and listens on path. A socket left there by a daemon that died is
// replaced; one that still answers is not taken over.
unique_fd open_listener(const char *path)
{
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::size_t len = std::strlen(path);
    if (len == 0 || len >= sizeof addr.sun_path) {
        std::fprintf(stderr, "imi_sim: socket path too long: %s\n", path);
        return unique_fd();
    }
    std::memcpy(addr.sun_path, path, len);
    const auto *sa = reinterpret_cast<const sockaddr *>(&addr);

    struct stat st;
    if (lstat(path, &st) == 0 && S_ISSOCK(st.st_mode)) {
        unique_fd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (probe.ok() && connect(probe.get(), sa, sizeof addr) == 0) {
            std::fprintf(stderr, "imi_sim: another IMI is listening on %s\n", path);
            return unique_fd();
        }
        unlink(path);
    }

    unique_fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.ok() || bind(fd.get(), sa, sizeof addr) != 0) {
        std::fprintf(stderr, "imi_sim: %s: %s\n", path, std::strerror(errno));
        return unique_fd();
    }
    // Pages run under the web server's user, not ours.
    chmod(path, 0666);
    if (listen(fd.get(), SOMAXCONN) != 0) {
        std::fprintf(stderr, "imi_sim: listen: %s\n", std::strerror(errno));
        unlink(path);
        return unique_fd();
    }
    return fd;
}

void accept_clients(int listen_fd, client *clients)
{
    for (;;) {
        unique_fd fd(accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.ok())
            return;
        for (std::size_t i = 0; i < MAX_CLIENTS; ++i) {
            if (!clients[i].fd.ok()) {
                clients[i].fd = std::move(fd);
                clients[i].have = 0;
                clients[i].need = IMI_HDR_LEN;
                break;
            }
        }
        // With every slot taken the new connection is closed here.
    }
}

// Reads what the current request still lacks and answers it once whole.
// false when the connection has to be closed: peer gone, a header IMI cannot
// serve, or a reply the peer would not take.
bool serve_client(client *c, imi_store *st)
{
    ssize_t n = read(c->fd.get(), c->buf + c->have, c->need - c->have);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    if (n == 0)
        return false;
    c->have += static_cast<std::size_t>(n);

    if (c->have == IMI_HDR_LEN && c->need == IMI_HDR_LEN) {
        std::size_t len = imi_get_u16(c->buf, IMI_OFF_LENGTH);
        std::size_t want = store_request_len(imi_get_u16(c->buf, IMI_OFF_TYPE));
        if (len < IMI_HDR_LEN || len > IMI_REPLY_BUF || want == 0 || len != want)
            return false;
        c->need = len;
    }
    if (c->have < c->need)
        return true;

    unsigned char reply[IMI_LIST_BUF];
    std::size_t reply_len = store_handle(st, c->buf, reply, monotonic_ms());
    c->have = 0;
    c->need = IMI_HDR_LEN;
    if (reply_len == 0)
        return true;
    // One send so the page's single read gets the whole reply.
    n = send(c->fd.get(), reply, reply_len, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n == static_cast<ssize_t>(reply_len);
}

void signal_ready(int fd)
{
    if (fd < 0)
        return;
    char byte = 'R';
    if (write(fd, &byte, 1) != 1)
        std::fprintf(stderr, "imi_sim: ready-fd %d: %s\n", fd, std::strerror(errno));
    close(fd);
}

// SIGTERM and SIGINT as a readable descriptor for the poll set, so that no
// handler runs in the middle of the loop.
unique_fd stop_signal_fd()
{
    sigset_t stop_set;
    sigemptyset(&stop_set);
    sigaddset(&stop_set, SIGTERM);
    sigaddset(&stop_set, SIGINT);
    sigprocmask(SIG_BLOCK, &stop_set, nullptr);
    unique_fd fd(signalfd(-1, &stop_set, SFD_CLOEXEC));
    if (!fd.ok())
        std::fprintf(stderr, "imi_sim: signalfd: %s\n", std::strerror(errno));
    return fd;
}

// Serves the clients until a stop signal. The exit status.
int serve(int stop_fd, int listener, imi_store *store)
{
    client clients[MAX_CLIENTS] = {};
    pollfd fds[MAX_CLIENTS + 2];
    std::size_t slot_of[MAX_CLIENTS + 2];
    for (;;) {
        fds[0] = {stop_fd, POLLIN, 0};
        fds[1] = {listener, POLLIN, 0};
        std::size_t nfds = 2;
        for (std::size_t i = 0; i < MAX_CLIENTS; ++i) {
            if (clients[i].fd.ok()) {
                slot_of[nfds] = i;
                fds[nfds++] = {clients[i].fd.get(), POLLIN, 0};
            }
        }
        if (poll(fds, nfds, -1) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "imi_sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents)
            return 0;
        for (std::size_t k = 2; k < nfds; ++k) {
            client &c = clients[slot_of[k]];
            if (fds[k].revents && !serve_client(&c, store))
                c.fd.reset();
        }
        if (fds[1].revents)
            accept_clients(listener, clients);
    }
}

} // namespace

int main(int argc, char **argv)
{
    options opt;
    if (!parse_options(argc, argv, &opt)) {
        usage();
        return 2;
    }

    imi_store store;
    char err[512];
    if (store_load_users(&store, opt.users_path, opt.idle_seconds * 1000, err, sizeof err) != 0) {
        std::fprintf(stderr, "imi_sim: %s\n", err);
        return 1;
    }
    unique_fd stop_fd = stop_signal_fd();
    if (!stop_fd.ok())
        return 1;
    signal(SIGPIPE, SIG_IGN);

    unique_fd listener = open_listener(opt.socket_path);
    if (!listener.ok())
        return 1;
    signal_ready(opt.ready_fd);
    int rc = serve(stop_fd.get(), listener.get(), &store);
    listener.reset();
    unlink(opt.socket_path);
    return rc;
}
