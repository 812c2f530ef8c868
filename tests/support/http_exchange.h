// One HTTP/1.0 exchange over loopback, for the load test and the benchmarks'
// load client.
#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

// Sends text to 127.0.0.1:port and reads until the server closes; the whole
// answer, or "" when the connection failed. Each read and write waits at most
// timeout_s seconds.
inline std::string http_exchange(int port, const std::string &text, int timeout_s)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return "";
    timeval tv = {timeout_s, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in addr = {.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(port)),
                        .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
        send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
        char buf[16384];
        ssize_t n;
        while ((n = recv(fd, buf, sizeof buf, 0)) > 0)
            answer.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return answer;
}
