// Closed-loop load through the web server: one client per session, each
// sending its next request as soon as the last is answered.
//   rate_client PORT SECONDS EXPECT METHOD TARGET BODY SID...
// "%SID%" in TARGET and BODY becomes the client's session id. An answer
// counts when it holds EXPECT (a status line, a redirect's target). Prints
// "REQUESTS_PER_SECOND ANSWERED WRONG" over SECONDS after a short warm-up.
#include "http_exchange.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
constexpr auto WARM_UP = std::chrono::milliseconds(500);
constexpr int IO_TIMEOUT_S = 30;

std::string with_session(std::string text, const std::string &sid)
{
    for (std::size_t at; (at = text.find("%SID%")) != std::string::npos;)
        text.replace(at, 5, sid);
    return text;
}


} // namespace

int main(int argc, char **argv)
{
    if (argc < 8) {
        std::fprintf(stderr, "usage: rate_client PORT SECONDS EXPECT METHOD TARGET BODY SID...\n");
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
                bool ok = http_exchange(port, request, IO_TIMEOUT_S).find(expect) != std::string::npos;
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
