// Catches what programs send to syslog, at /dev/log of the test's own
// namespace (scripts/sandbox.sh gives each test a /dev of its own).
#pragma once

#include <string>
#include <vector>

#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class syslog_catcher {
public:
    syslog_catcher()
    {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, "/dev/log");
        if (bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~syslog_catcher()
    {
        if (fd_ >= 0) {
            close(fd_);
            unlink("/dev/log");
        }
    }
    syslog_catcher(const syslog_catcher &) = delete;
    syslog_catcher &operator=(const syslog_catcher &) = delete;

    bool ok() const { return fd_ >= 0; }

    // The records received since the last call, each "<severity> <ident>:
    // <message>": the severity's digit, then the record without its priority
    // and time stamp, the ident without its pid.
    std::vector<std::string> take()
    {
        std::vector<std::string> records;
        char buf[2048];
        ssize_t n;
        while (fd_ >= 0 && (n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
            std::string r(buf, static_cast<std::size_t>(n));
            std::size_t close_pri = r.find('>');
            int pri = std::atoi(r.c_str() + 1);
            // "<PRI>Mmm dd hh:mm:ss ident[pid]: message"
            std::string rest = close_pri == std::string::npos ? r : r.substr(close_pri + 1 + 16);
            std::size_t pid = rest.find('['), colon = rest.find("]: ");
            if (pid != std::string::npos && colon != std::string::npos)
                rest = rest.substr(0, pid) + ":" + rest.substr(colon + 2);
            records.push_back(std::to_string(pri & 7) + " " + rest);
        }
        return records;
    }

private:
    int fd_ = -1;
};
