// Catches what programs send to syslog, at /dev/log of the test's own
// namespace (scripts/sandbox.sh gives each test a /dev of its own).
#pragma once

#include <string>
#include <vector>

#include <cctype>
#include <cerrno>
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
        sockaddr_un addr = log_addr();
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

    // The records received since the last call, each "<severity> <ident>:
    // <message>": the severity's digit, then the record without its priority
    // and time stamp, the ident without its pid. A record not in the local
    // format ("<PRI>Mmm dd hh:mm:ss ident[pid]: message") is given whole,
    // after "malformed: ".
    std::vector<std::string> take()
    {
        std::vector<std::string> records;
        char buf[2048];
        ssize_t n;
        while (fd_ >= 0 && (n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
            std::string r(buf, static_cast<std::size_t>(n));
            if (r == kFiller)
                continue;
            std::size_t close_pri = r.find('>'), pid = r.find('['), colon = r.find("]: ");
            if (r[0] != '<' || close_pri == std::string::npos || !stamped(r.substr(close_pri + 1)) ||
                pid == std::string::npos || colon == std::string::npos || pid <= close_pri + 17 ||
                r.find_first_not_of("0123456789", pid + 1) != colon) {
                records.push_back("malformed: " + r);
                continue;
            }
            int pri = std::atoi(r.c_str() + 1);
            std::string rest = r.substr(close_pri + 1 + 16);
            pid -= close_pri + 1 + 16;
            colon -= close_pri + 1 + 16;
            records.push_back(std::to_string(pri & 7) + " " + rest.substr(0, pid) + ":" + rest.substr(colon + 2));
        }
        return records;
    }

private:
    static constexpr const char *kFiller = "-";

    static sockaddr_un log_addr()
    {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, "/dev/log");
        return addr;
    }

    // "Mmm dd hh:mm:ss ", the day padded with a blank, as the local daemons
    // take it for a time stamp.
    static bool stamped(const std::string &s)
    {
        static const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
        auto digit = [&](std::size_t i) { return std::isdigit(static_cast<unsigned char>(s[i])) != 0; };
        std::size_t month = months.find(s.substr(0, 3));
        return s.size() > 16 && month != std::string::npos && month % 3 == 0 && s[3] == ' ' &&
               (s[4] == ' ' ? s[5] != '0' : s[4] >= '1' && s[4] <= '3') && digit(5) && s[6] == ' ' &&
               digit(7) && digit(8) && s[9] == ':' && digit(10) && digit(11) && s[12] == ':' && digit(13) &&
               digit(14) && s[15] == ' ';
    }

    int fd_ = -1;
};
