// Closed-loop load through the web server: one client per session, each
// sending its next request as soon as the last is answered.
//   load_client PORT SECONDS EXPECT METHOD TARGET BODY SID...
// "%SID%" in TARGET and BODY becomes the client's session id. An answer
// counts when it holds EXPECT (a status line, a redirect's target). Prints
// "REQUESTS_PER_SECOND ANSWERED WRONG" over SECONDS after a short warm-up.
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
constexpr auto WARM_UP = std::chrono::milliseconds(500);

std::string with_session(std::string text, const std::string &sid)
{
    for (std::size_t at; (at = text.find("%SID%")) != std::string::npos;)
        text.replace(at, 5, sid);
    return text;
}

bool exchange(int port, const std::string &request, const std::string &expect)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    timeval tv = {30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buf[16384];
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;)
            answer.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return answer.find(expect) != std::string::npos;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 8) {
        std::fprintf(stderr, "usage: load_client PORT SECONDS EXPECT METHOD TARGET BODY SID...\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const auto span = std::chrono::duration<double>(std::atof(argv[2]));
    const std::string expect = argv[3], method = argv[4], target = argv[5], body = argv[6];

    const auto start = clock_type::now() + WARM_UP;
    const auto stop = start + std::chrono::duration_cast<clock_type::duration>(span);
    std::atomic<long> answered{0}, wrong{0};
    std::vector<std::thread> clients;
    for (int i = 7; i < argc; ++i) {
        std::string sid = argv[i];
        std::string b = with_session(body, sid);
        std::string request = method + " " + with_session(target, sid) + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
        if (method == "POST")
            request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       std::to_string(b.size()) + "\r\n";
        request += "\r\n" + b;
        clients.emplace_back([&, request] {
            for (;;) {
                bool ok = exchange(port, request, expect);
                auto now = clock_type::now();
                if (now >= stop)
                    return;
                if (now >= start)
                    ++(ok ? answered : wrong);
            }
        });
    }
    for (auto &c : clients)
        c.join();
    std::printf("%.1f %ld %ld\n", answered / span.count(), answered.load(), wrong.load());
    return wrong == 0 ? 0 : 1;
}
