// Catches what programs send to syslog, at /dev/log of the test's own
// namespace (scripts/sandbox.sh gives each test a /dev of its own).
#pragma once

#include <regex>
#include <string>
#include <vector>

#include <cerrno>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

class syslog_catcher {
public:
    syslog_catcher()
    {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr = log_addr();
        if (bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
            close(std::exchange(fd_, -1));
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

    // Fills the queue as a daemon that has stopped reading would leave it: a
    // record sent now would wait. Each sender's own buffer is limited too,
    // so senders are added until a fresh one cannot send at all. The
    // fillers are no records: take() drains them unseen.
    bool fill()
    {
        for (int senders = 0; senders < 64; ++senders) {
            int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_un addr = log_addr();
            int sent = 0;
            if (connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
                while (send(s, kFiller, 1, 0) == 1)
                    ++sent;
            int err = errno;
            close(s);
            if (err != EAGAIN)
                return false;
            if (sent == 0)
                return true;
        }
        return false;
    }

    // The records since the last call, each "<severity> <ident>: <message>":
    // the severity's digit, the record without its priority, time stamp and
    // the ident's pid. One not in the local format ("<PRI>Mmm dd hh:mm:ss
    // ident[pid]: message", the day blank-padded as the local daemons take a
    // time stamp) is given whole, after "malformed: ".
    std::vector<std::string> take()
    {
        static const std::regex local("<([0-9]+)>(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ( [1-9]|[1-3][0-9]) "
                                      "[0-9]{2}:[0-9]{2}:[0-9]{2} ([^[]+)\\[[0-9]*\\]: ");
        std::vector<std::string> records;
        char buf[2048];
        ssize_t n;
        while (fd_ >= 0 && (n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
            std::string r(buf, static_cast<std::size_t>(n));
            std::smatch m;
            if (r == kFiller)
                continue;
            if (!std::regex_search(r, m, local, std::regex_constants::match_continuous))
                records.push_back("malformed: " + r);
            else
                records.push_back(std::to_string(std::atoi(m.str(1).c_str()) & 7) + " " + m.str(4) + ": " + m.suffix().str());
        }
        return records;
    }

private:
    static constexpr const char *kFiller = "-";

    static sockaddr_un log_addr() { return {AF_UNIX, "/dev/log"}; }

    int fd_ = -1;
};
