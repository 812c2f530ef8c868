// Audit records of the pages' changes, to syslog.
#include "audit_log.h"
#include "unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#ifndef WEBCGI_AUDIT_FACILITY
#define WEBCGI_AUDIT_FACILITY LOG_USER
#endif

namespace {

constexpr const char *RESULT_WORDS[] = {"ok", "refused", "failed", "unknown"};
constexpr int SEVERITIES[] = {LOG_NOTICE, LOG_WARNING, LOG_ERR, LOG_ERR};

constexpr const char LOG_PATH[] = "/dev/log";
// The count of records dropped and not yet told, shared by every request.
constexpr const char LOST_PATH[] = "/var/run/webcgi_audit.lost";
// Another request holds the count for a send and a write: a few
// milliseconds at most are waited for it.
constexpr int LOST_LOCK_TRIES = 20;
constexpr long LOST_LOCK_PAUSE_NS = 1000000;

// A record being written into a fixed buffer; what does not fit is cut.
struct record {
    char *out;
    std::size_t len = 0;

    void raw(const char *text)
    {
        std::size_t n = std::strlen(text);
        if (n > AUDIT_RECORD_SIZE - 1 - len)
            n = AUDIT_RECORD_SIZE - 1 - len;
        std::memcpy(out + len, text, n);
        len += n;
        out[len] = '\0';
    }

    // name="value", escaped, value cut to max bytes without splitting an escape.
    void quoted(const char *name, const char *value, std::size_t max)
    {
        static constexpr char HEX[] = "0123456789abcdef";
        char esc[AUDIT_REASON_MAX + 1];
        std::size_t n = 0;
        for (const unsigned char *p = reinterpret_cast<const unsigned char *>(value ? value : "");
             *p; ++p) {
            char one[4];
            std::size_t k = 0;
            if (*p == '"' || *p == '\\') {
                one[k++] = '\\';
                one[k++] = static_cast<char>(*p);
            } else if (*p < 0x20 || *p >= 0x7f) {
                one[k++] = '\\';
                one[k++] = 'x';
                one[k++] = HEX[*p >> 4];
                one[k++] = HEX[*p & 0xf];
            } else {
                one[k++] = static_cast<char>(*p);
            }
            if (n + k > max)
                break;
            std::memcpy(esc + n, one, k);
            n += k;
        }
        esc[n] = '\0';
        raw(name);
        raw("=\"");
        raw(esc);
        raw("\"");
    }
};

} // namespace

void audit_format(char *out, const audit_who &who, const char *action, const audit_entry *entry,
                  audit_result result, const char *reason, unsigned long lost)
{
    record r{out};
    out[0] = '\0';
    r.quoted("user", who.user && *who.user ? who.user : "-", AUDIT_VALUE_MAX);
    r.quoted(" addr", who.addr, AUDIT_VALUE_MAX);
    r.raw(" action=");
    r.raw(action);
    if (entry) {
        r.quoted(" mac", entry->mac, AUDIT_VALUE_MAX);
        if (entry->from)
            r.quoted(" from", entry->from, AUDIT_VALUE_MAX);
        r.quoted(" intf", entry->intf, AUDIT_VALUE_MAX);
        r.quoted(" vlan", entry->vlan, AUDIT_VALUE_MAX);
    }
    r.raw(" result=");
    r.raw(RESULT_WORDS[static_cast<int>(result)]);
    if (reason) {
        // The CLI's line as the error page shows it: no leading blanks,
        // no line end.
        while (*reason == ' ')
            ++reason;
        char trimmed[AUDIT_REASON_MAX + 1];
        std::size_t n = strnlen(reason, AUDIT_REASON_MAX);
        std::memcpy(trimmed, reason, n);
        while (n > 0 && (trimmed[n - 1] == '\n' || trimmed[n - 1] == '\r'))
            --n;
        trimmed[n] = '\0';
        r.quoted(" reason", trimmed, AUDIT_REASON_MAX);
    }
    if (entry && entry->known != audit_known::none)
        r.raw(entry->known == audit_known::cli ? " known=cli" : " known=table");
    if (lost > 0) {
        char field[32];
        std::snprintf(field, sizeof field, " lost=%lu", lost);
        r.raw(field);
    }
}

namespace {

// The connection to the daemon, made at the first record and kept for the
// request's later ones.
unique_fd log_socket;
// Records this process dropped and could not add to the shared count.
unsigned long lost_unsaved;

bool connect_log()
{
    if (log_socket.ok())
        return true;
    unique_fd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.ok())
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, LOG_PATH, sizeof LOG_PATH);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0)
        return false;
    log_socket = std::move(fd);
    return true;
}

// One datagram, whole or not at all, never waited for: a daemon whose
// queue is full (stopped, or writing to a full flash) loses the record, not
// the request's time. A daemon that restarted is connected again once.
bool send_record(const char *text, std::size_t len)
{
    for (bool reconnected = false;;) {
        if (!connect_log())
            return false;
        ssize_t n = ::send(log_socket.get(), text, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            return static_cast<std::size_t>(n) == len;
        if (errno == EINTR)
            continue;
        if ((errno != ECONNREFUSED && errno != ENOTCONN && errno != ECONNRESET) || reconnected)
            return false;
        log_socket.reset();
        reconnected = true;
    }
}

// The shared count, locked for as long as the object lives: read before the
// record is sent, written after, so that two requests never tell the same
// loss twice nor lose one. ok() is false when it cannot be kept now (no
// file, or the lock not had in time); the record goes on without it.
class lost_count {
public:
    lost_count()
    {
        // O_NONBLOCK: a FIFO planted at the name does not hold the request;
        // pread refuses it.
        unique_fd fd(::open(LOST_PATH, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        if (!fd.ok())
            return;
        for (int tries = 1; ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0; ++tries) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || tries == LOST_LOCK_TRIES)
                return;
            const timespec pause = {0, LOST_LOCK_PAUSE_NS};
            nanosleep(&pause, nullptr);
        }
        char text[24];
        ssize_t n = ::pread(fd.get(), text, sizeof text - 1, 0);
        if (n < 0)
            return;
        // Digits, then a line end and whatever a longer count left behind.
        for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
            unsigned long digit = static_cast<unsigned long>(text[i] - '0');
            value_ = value_ > (~0UL - digit) / 10 ? ~0UL : value_ * 10 + digit;
        }
        fd_ = std::move(fd);
    }

    bool ok() const { return fd_.ok(); }
    unsigned long value() const { return value_; }

    // false when the count could not be written.
    bool set(unsigned long value)
    {
        if (value == value_)
            return true;
        char text[24];
        int len = std::snprintf(text, sizeof text, "%lu\n", value);
        if (::pwrite(fd_.get(), text, static_cast<std::size_t>(len), 0) != len)
            return false;
        value_ = value;
        return true;
    }

private:
    unique_fd fd_;   // its close ends the lock
    unsigned long value_ = 0;
};

unsigned long add_lost(unsigned long a, unsigned long b)
{
    return a > ~0UL - b ? ~0UL : a + b;
}

// "<PRI>Mmm dd hh:mm:ss ident[pid]: " as the local syslog daemons read it,
// the day padded with a blank, local time; its length.
int record_head(char *out, std::size_t size, int severity)
{
    static constexpr const char MONTHS[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    int month = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
    return std::snprintf(out, size, "<%d>%.3s %2d %02d:%02d:%02d %.48s[%d]: ", WEBCGI_AUDIT_FACILITY | severity,
                         MONTHS + 3 * month, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                         program_invocation_short_name, static_cast<int>(getpid()));
}

} // namespace

void audit_log(const audit_who &who, const char *action, const audit_entry *entry,
               audit_result result, const char *reason)
{
    char datagram[AUDIT_RECORD_SIZE + 96];
    constexpr std::size_t head_room = sizeof datagram - AUDIT_RECORD_SIZE;
    int head = record_head(datagram, head_room, SEVERITIES[static_cast<int>(result)]);
    if (head < 0 || static_cast<std::size_t>(head) >= head_room)
        return;
    char *text = datagram + head;
    // The losses this record tells of: those counted in the file, and this
    // process's own that could not be.
    lost_count shared;
    unsigned long lost = add_lost(shared.value(), lost_unsaved);
    audit_format(text, who, action, entry, result, reason, lost);
    // Never the console: a record that cannot be sent in time is dropped
    // whole and counted for the next one.
    if (send_record(datagram, static_cast<std::size_t>(head) + std::strlen(text))) {
        lost_unsaved = 0;
        if (shared.ok())
            shared.set(0);
        return;
    }
    unsigned long mine = add_lost(lost_unsaved, 1);
    if (shared.ok() && shared.set(add_lost(shared.value(), mine)))
        lost_unsaved = 0;
    else
        lost_unsaved = mine;
}
