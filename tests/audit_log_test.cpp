// Audit records: values that cannot end a record or forge a field, whatever
// bytes they hold. The plain records, known= and lost= are page_test's, byte for byte.
#include "audit_log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string record(const audit_who &who, const audit_entry *entry, audit_result result,
                   const char *reason, unsigned long lost = 0)
{
    char out[AUDIT_RECORD_SIZE];
    audit_format(out, who, "remove", entry, result, reason, lost);
    return out;
}

TEST(AuditRecord, FieldsEscapesAndCuts)
{
    const audit_who admin = {"admin", "10.0.0.5"};
    const std::string head = "user=\"admin\" addr=\"10.0.0.5\" action=remove ";
    const std::string long_value(100, 'a'), cut(AUDIT_VALUE_MAX, 'a');
    const audit_entry hostile = {"00e0\"\n user=\"root\\", "\x01\x7f\xc3\xa9", long_value.c_str()};
    // Cuts that fall inside an escape: after "a" only 31 of 63 quotes fit, after
    // 61 letters no \xNN.
    auto escaped_quotes = [](std::size_t n) { std::string r; while (n--) r += "\\\""; return r; };
    const std::string a_quotes = "a" + std::string(AUDIT_VALUE_MAX - 1, '"'),
                      b_ctl = std::string(AUDIT_VALUE_MAX - 3, 'b') + "\x01",
                      a_escaped = "a" + escaped_quotes(AUDIT_VALUE_MAX / 2 - 1);
    const audit_entry mid_escape = {a_quotes.c_str(), b_ctl.c_str(), "10"};
    struct { const char *name; audit_who who; const audit_entry *entry; audit_result result;
             const char *reason; std::string want; } cases[] = {
        {"a refusal: no entry, the reason as the error page shows it", admin, nullptr,
         audit_result::refused, " No static entry\r\n", head + "result=refused reason=\"No static entry\""},
        {"no user named, the outcome not known", {"", "::1"}, nullptr, audit_result::unknown,
         "cli_timeout", "user=\"-\" addr=\"::1\" action=remove result=unknown reason=\"cli_timeout\""},
        {"quotes, backslashes, control and non-ASCII bytes escaped; long values cut", admin, &hostile,
         audit_result::failed, "a\nb",
         head + "mac=\"00e0\\\"\\x0a user=\\\"root\\\\\" intf=\"\\x01\\x7f\\xc3\\xa9\" vlan=\"" + cut +
             "\" result=failed reason=\"a\\x0ab\""},
        {"a cut inside an escape drops the whole escape", admin, &mid_escape, audit_result::ok, nullptr,
         head + "mac=\"" + a_escaped + "\" intf=\"" + std::string(AUDIT_VALUE_MAX - 3, 'b') +
             "\" vlan=\"10\" result=ok"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(record(c.who, c.entry, c.result, c.reason), c.want) << c.name;

    // An escape is never split at the cut, the record stays one line, and
    // the count of lost records is never cut.
    const std::string quotes(AUDIT_VALUE_MAX, '"'), escaped = escaped_quotes(AUDIT_VALUE_MAX / 2);
    const audit_entry many = {quotes.c_str(), quotes.c_str(), quotes.c_str(), audit_known::table};
    std::string r = record({quotes.c_str(), quotes.c_str()}, &many, audit_result::unknown, quotes.c_str(), ~0UL);
    EXPECT_EQ(r.rfind("user=\"" + escaped + "\" addr=\"" + escaped + "\"", 0), 0u) << r;
    EXPECT_TRUE(r.ends_with(" lost=" + std::to_string(~0UL))) << r;
    EXPECT_EQ(r.find('\n'), std::string::npos);
    EXPECT_LT(r.size(), AUDIT_RECORD_SIZE);
}

} // namespace
