// Audit records of the pages' changes, to syslog.
#include "audit_log.h"

#include <cstring>
#include <syslog.h>

#ifndef WEBCGI_AUDIT_FACILITY
#define WEBCGI_AUDIT_FACILITY LOG_USER
#endif

namespace {

constexpr const char *RESULT_WORDS[] = {"ok", "refused", "failed", "unknown"};
constexpr int SEVERITIES[] = {LOG_NOTICE, LOG_WARNING, LOG_ERR, LOG_ERR};

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
                  audit_result result, const char *reason)
{
    record r{out};
    out[0] = '\0';
    r.quoted("user", who.user && *who.user ? who.user : "-", AUDIT_VALUE_MAX);
    r.quoted(" addr", who.addr, AUDIT_VALUE_MAX);
    r.raw(" action=");
    r.raw(action);
    if (entry) {
        r.quoted(" mac", entry->mac, AUDIT_VALUE_MAX);
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
}

void audit_log(const audit_who &who, const char *action, const audit_entry *entry,
               audit_result result, const char *reason)
{
    char text[AUDIT_RECORD_SIZE];
    audit_format(text, who, action, entry, result, reason);
    // No LOG_CONS: a record that cannot be sent is dropped, never written
    // to the console in the request's time. The connection, made at the
    // first record, serves the request's later ones until the process ends.
    openlog(nullptr, LOG_PID, WEBCGI_AUDIT_FACILITY);
    syslog(SEVERITIES[static_cast<int>(result)], "%s", text);
}
