// Tests of the static MAC pages' own work, with a stub imish standing in for the CLI.
#include "mac_add.h"
#include "mac_list.h"
#include "mac_remove.h"
#include "mac_vouch.h"
#include "page_frame.h"
#include "test_util.h"
#include "web_state.h"

#include "syslog_catcher.h"

#include <ClearSilver.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

// Faults put under the page's work. failing_store: the number (from 1) of
// the one value the data set refuses, as out of memory, 0 none (the binary
// is linked with --wrap=hdf_set_value). failing_result_read: the number of
// the first read of the CLI's result file that fails, and every later one.
int failing_store = 0, stores = 0;
int failing_result_read = 0, result_reads = 0;

extern "C" {
NEOERR *__real_hdf_set_value(HDF *hdf, const char *name, const char *value);

NEOERR *__wrap_hdf_set_value(HDF *hdf, const char *name, const char *value)
{
    if (failing_store > 0 && ++stores == failing_store)
        return nerr_raise(NERR_NOMEM, "refused by the test");
    return __real_hdf_set_value(hdf, name, value);
}

ssize_t read(int fd, void *buf, std::size_t size)
{
    if (failing_result_read > 0) {
        char link[64], path[4096];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, path, sizeof path - 1);
        if (n > 0 && std::string_view(path, static_cast<std::size_t>(n)) == res_file_path &&
            ++result_reads >= failing_result_read) {
            errno = EIO;
            return -1;
        }
    }
    return syscall(SYS_read, fd, buf, size);
}
}

namespace {

// Records its options (arguments but the last) and the command file of
// each run; prints /tmp/stub.out, or in show mode /tmp/stub.show when
// there is one; a configuration run exits 1 when /tmp/stub.fails is there.
constexpr char STUB_IMISH[] = R"sh(#!/bin/sh
for a; do :; done; { echo "${*% *}"; cat "$a"; } >> /tmp/stub.ran
case " $* " in *" -w "*) [ -f /tmp/stub.show ] && exec cat /tmp/stub.show ;; esac
cat /tmp/stub.out; [ ! -f /tmp/stub.fails ]
)sh";

// Six header lines of four words, like entries, so that only the skip keeps them out.
const std::string HEADER = "h1 h h h\nh2 h h h\nh3 h h h\nh4 h h h\nh5 h h h\nh6 h h h\n";

using fields = std::map<std::string, std::string>;

std::string value(const std::string &k) { return hdf_get_value(web_cgi->hdf, k.c_str(), "unset"); }

// The listed entries as "vlan mac type intf" lines, numbered from 1 without gaps.
std::string listed()
{
    std::string s;
    for (int i = 1; value("entry." + std::to_string(i) + ".mac") != "unset"; ++i)
        for (std::string f : {"vlan", "mac", "type", "intf"})
            s += value("entry." + std::to_string(i) + "." + f) + (f == "intf" ? "\n" : " ");
    return s;
}

struct MacStatic : ::testing::Test {
    void SetUp() override
    {
        if (!std::getenv("WEBSIM_SANDBOXED"))
            GTEST_SKIP() << "needs the private /tmp of tests/sandbox.sh";
        write_file("/tmp/imish", STUB_IMISH, 0755);
        setenv("PATH", "/tmp:/usr/bin:/bin", 1);
        ASSERT_EQ(scratch_create("1"), 0);
    }
    // A new request with these query fields, the stub to print output, a stale result.
    static void request(const fields &query, const std::string &output = "")
    {
        cgi_destroy(&web_cgi);
        ASSERT_EQ(cgi_init(&web_cgi, nullptr), STATUS_OK);
        for (const auto &[key, v] : query)
            ASSERT_EQ(hdf_set_value(web_cgi->hdf, ("Query." + key).c_str(), v.c_str()), STATUS_OK);
        write_file("/tmp/stub.out", output);
        write_file(res_file_path, "% stale\n" + HEADER + "10 00e0.0000.0001 static eth-0-9\n");
        for (const char *f : {"/tmp/stub.ran", "/tmp/stub.show", "/tmp/stub.fails"})
            unlink(f);
        err_text[0] = '\0';
    }
};

TEST_F(MacStatic, InterfaceNames)
{
    struct { const char *name; std::vector<std::string> lines; int count; fields keys; } cases[] = {
        {"one numbering; letters other than e and a take a number",
         {" Interface name : eth-0-1\n", " Interface: vlan1\n", " Interface name : agg1\n"}, 3,
         {{"eth.0.name", "eth-0-1"}, {"eth.1.name", "unset"}, {"agg.1.name", "unset"},
          {"agg.2.name", "agg1"}, {"ifname", "agg1"}}},
        {"not name lines", {"Interface: eth-0-8\n", " interface: eth-0-6\n", " Interface eth-0-7\n",
          "", " Interface: eth-0-1\n"}, 1, {{"eth.0.name", "eth-0-1"}}},
        {"name after the last colon", {" Interface: 1: agg5"}, 1, {{"agg.0.name", "agg5"}}},
        {"colon at the end: empty name", {" Interface: eth-0-1\n", " Interface:\n"}, 2,
         {{"ifname", ""}, {"eth.1.name", "unset"}, {"agg.1.name", "unset"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        request({});
        int counter = 0;
        for (const std::string &line : c.lines)
            EXPECT_EQ(intf_line_parse(&counter, line.c_str()), 0);
        EXPECT_EQ(counter, c.count);
        for (const auto &[key, v] : c.keys)
            EXPECT_EQ(value(key), v) << key;
    }
    // A number is written as "%d" writes it, a negative one with its sign.
    request({});
    EXPECT_EQ(intf_name_store(-12, "agg3") + intf_name_store(2147483647, "eth-0-2"), 0);
    EXPECT_EQ(value("agg.-12.name") + value("eth.2147483647.name"), "agg3eth-0-2");
    // The names asked of the switch are page_test's: the add form offers them (TheAddForm).
}

TEST_F(MacStatic, AddRunsOneCheckedCommand)
{
    const fields add = {{"addr0", "00e0"}, {"addr1", "fc0a"}, {"addr2", "b1c2"}, {"intf_name", "eth-0-1"}, {"vlan", "10"}};
    const std::string cmd = "mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan ", bad = "invalid_parameter",
                      read_back = cmd + "10\n-g -y -w -f\nshow mac address-table static\n";
    // value nullptr: the field is left out. cmd empty: imish must not run.
    // held_on: a run that fails without a word is in doubt; the table, read
    // back, holds the entry on this interface and decides: only its MAC and
    // VLAN on the add's own interface is the add. The CLI's refusal, a CR in a
    // MAC group and a line end in the VLAN are page_test's, on the add page.
    struct { const char *field, *value; std::string err, cmd; const char *held_on = nullptr; } cases[] = {
        {"vlan", "10", "", cmd + "10\n"}, {"vlan", " ~\x80\xff", "", cmd + " ~\x80\xff\n"}, {"addr0", nullptr, "", ""},
        {"addr1", nullptr, "", ""}, {"addr2", nullptr, "", ""}, {"intf_name", nullptr, "", ""}, {"vlan", nullptr, "", ""},
        {"addr1", "\x1f", bad, ""}, {"addr2", "b1c2\x7f", bad, ""}, {"vlan", "10", "", read_back, "eth-0-1"},
        {"vlan", "10", "%cli_not_applied", read_back, "eth-0-2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.field) + "=" + (c.value ? c.value : "(absent)") + " " + (c.held_on ? c.held_on : ""));
        fields f = add;
        c.value ? void(f[c.field] = c.value) : void(f.erase(c.field));
        request(f);
        if (c.held_on) {
            write_file("/tmp/stub.fails", "");
            write_file("/tmp/stub.show", HEADER + "10 00E0.FC0A.B1C2 static " + c.held_on + "\n");
        }
        EXPECT_EQ(mac_static_add(err_text), c.err.empty() ? 0 : -1);
        EXPECT_EQ(err_text, c.err);
        EXPECT_EQ(read_file("/tmp/stub.ran"), c.cmd.empty() ? "" : "-g -y -f\n" + c.cmd);
        EXPECT_EQ(read_file(cmd_file_path), "");
    }
}

TEST_F(MacStatic, ListingAndItsQuery)
{
    const std::string e1 = "1 0000.1111.2222 static eth-0-1\n", e3 = "10 00e0.fc0a.b1c3 static eth-0-1\n",
                      all = e1 + "10 00e0.fc0a.b1c2 static eth-0-2\n" + e3,
                      // between header and entries: a CLI message, an empty and a three-word line
                      data = HEADER + "% VLAN 9 is absent\n\n10 00e0.fc0a.b1c2 x\n" + all,
                      show = "show mac address-table static", cmd = show + "\n", v220(220, '1');
    // cmd empty: no command may run, nor the earlier result be listed.
    struct { const char *name; fields query; std::string out, want, cmd; } cases[] = {
        {"header only", {}, HEADER, "", cmd}, {"no filter", {}, data, all, cmd},
        {"interface 0", {{"intf_name", "0"}}, data, all, cmd}, {"interface all", {{"intf_name", "all"}}, data, all, cmd},
        {"interface, numbered without gaps", {{"intf_name", "eth-0-1"}}, data, e1 + e3, cmd},
        {"interface is exact", {{"intf_name", "eth-0"}}, data, "", cmd}, {"no interface", {{"intf_name", ""}}, data, "", cmd},
        {"whole MAC", {{"addr0", "00e0"}, {"addr1", "fc0a"}, {"addr2", "b1c3"}}, data, e3, cmd},
        {"partial MAC", {{"addr0", "00e0"}}, data, "", cmd}, {"empty vlan", {{"vlan", ""}}, data, all, cmd},
        {"empty MAC groups", {{"addr0", ""}, {"addr1", ""}, {"addr2", ""}}, data, all, cmd},
        {"longest vlan that fits", {{"vlan", v220}}, data, all, show + " vlan " + v220 + "\n"},
        {"vlan one too long", {{"vlan", v220 + "1"}}, data, "", ""},
        {"vlan with a line end", {{"vlan", "10\nno vlan 10"}}, data, "", ""},
        // A MAC filter cut at its buffer would match other entries.
        {"MAC filter one too long", {{"addr0", std::string(254, 'f')}}, data, "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        request(c.query, c.out);
        EXPECT_EQ(mac_static_list(), 0);
        EXPECT_EQ(read_file("/tmp/stub.ran"), c.cmd.empty() ? "" : "-g -y -w -f\n" + c.cmd);
        EXPECT_EQ(listed(), c.want);
        EXPECT_EQ(read_file(cmd_file_path), "");
    }

    // A listing is shown as whole only when every row of it was stored: a
    // value refused anywhere in the run leaves it unmarked (the page then
    // warns), never a row short.
    int used = 0;
    for (int n = 1; n == 1 || n <= used; ++n) {
        request({}, HEADER + all);
        stores = 0;
        failing_store = n;
        EXPECT_EQ(mac_static_list(), 0);
        failing_store = 0;
        used = stores;
        EXPECT_EQ(value("entries_listed") == "1" ? listed() : all, all) << "store " << n << " refused";
    }
    EXPECT_GE(used, 13) << "the rows' values and the marker are not stored one by one";

    // The listing's links keep a filter whole or drop it. "sessionId=1&lang=en"
    // is 19 bytes, "&vlan=" 6 more: 38 digits fill a 64-byte buffer to its
    // terminator, 39 would need one byte more.
    const std::string base = "sessionId=1&lang=en";
    for (std::size_t digits : {38u, 39u}) {
        const std::string vlan(digits, '1');
        request({{"vlan", vlan}});
        char out[64];
        mac_list_query(base.c_str(), out, sizeof out);
        EXPECT_EQ(out, digits == 38 ? base + "&vlan=" + vlan : base) << digits;
    }
}

// Each entry of a removal gets the outcome its own error line gives it: the
// line must name its MAC (any case) and its VLAN, each a word of its own (the
// VLAN's: page_test's ListingRemovesTheSelectedEntries and BatchAddChecks...).
// An answer in doubt (a line that names no entry, a failing status, an
// answer not read to its end) asks the table once more, and the table
// decides; what it cannot settle stays unknown.
TEST_F(MacStatic, RemovalRecordsFollowTheLinesOrTheTable)
{
    syslog_catcher log;
    ASSERT_TRUE(log.ok());
    struct entry { std::string mac; const char *intf, *vlan; };
    const std::string a = "00e0.fc0a.0001";
    const entry a1 = {a, "eth-0-1", "1"}, b = {"00e0.fc0a.0002", "agg1", "10"}, c = {"00e0.fc0a.0003", "eth-0-2", "10"};
    auto cmd = [](const entry &e) { return "no mac-address-table " + e.mac + " forward " + e.intf + " vlan " + e.vlan + "\n"; };
    auto rec = [](const entry &e, const std::string &result, const char *known = "cli") {
        return "mac=\"" + e.mac + "\" intf=\"" + e.intf + "\" vlan=\"" + e.vlan + "\" result=" + result + " known=" + known;
    };
    const std::string absent = "No static entry for " + a + " in VLAN 1", line_a1 = "% " + absent + "\n",
                      refused_a1 = "refused reason=\"" + absent + "\"", not_applied = "refused reason=\"cli_not_applied\"",
                      table_b = HEADER + "10 00E0.FC0A.0002 static agg1\n", no_answer = "unknown reason=\"cli_no_answer\"";
    // show: the table a second run reads back ("" for none); fails: the run
    // ends with status 1; ran: what imish was given ("" not checked).
    struct { const char *name; std::vector<entry> sels; std::string out, show; bool fails; int failing_read;
             std::string ran; std::vector<std::string> records; } cases[] = {
        {"the CLI writes the MAC in upper case", {a1, b}, "% Entry 00E0.FC0A.0001 VLAN 1: no such entry\n", "", false, 0,
         "", {rec(a1, "refused reason=\"Entry 00E0.FC0A.0001 VLAN 1: no such entry\""), rec(b, "ok")}},
        {"an upper-case twin goes once, in lower case", {{"00E0.FC0A.0002", "agg1", "10"}, b}, "", "", false, 0,
         "-g -y -f\n" + cmd(b), {rec(b, "ok")}},
        {"a line that names no entry, the table unreadable", {a1, b}, "% Busy\n" + line_a1, "", false, 0, "",
         {rec(a1, refused_a1), rec(b, "unknown reason=\"Busy\"")}},
        {"a line that names no entry, the table read back", {a1, b, c}, "% Busy\n" + line_a1, table_b, false, 0,
         "-g -y -f\n" + cmd(a1) + cmd(b) + cmd(c) + "-g -y -w -f\nshow mac address-table static\n",
         {rec(a1, refused_a1, "table"), rec(b, not_applied, "table"), rec(c, "ok", "table")}},
        {"a CLI that stops at its first refusal and fails", {c, a1, b}, line_a1, table_b, true, 0, "",
         {rec(c, "ok", "table"), rec(a1, refused_a1, "table"), rec(b, not_applied, "table")}},
        {"the answer not readable past its first read", {a1, b}, line_a1, "", false, 2, "",
         {rec(a1, no_answer), rec(b, no_answer)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fields query = {{"eth.0.name", "eth-0-1"}, {"agg.0.name", "agg1"}, {"sel", "x"}};
        for (std::size_t i = 0; i < c.sels.size(); ++i)
            query["sel." + std::to_string(i)] = c.sels[i].mac + " " + c.sels[i].intf + " " + c.sels[i].vlan;
        request(query, c.out);
        if (!c.show.empty())
            write_file("/tmp/stub.show", c.show);
        if (c.fails)
            write_file("/tmp/stub.fails", "");
        log.take();
        result_reads = 0;
        failing_result_read = c.failing_read;
        bool all_ok = std::all_of(c.records.begin(), c.records.end(),
                                  [](const std::string &r) { return r.find("result=ok") != std::string::npos; });
        EXPECT_EQ(mac_static_delete(err_text, {"admin", "10.0.0.5"}), all_ok ? int(c.records.size()) : -1);
        failing_result_read = 0;
        EXPECT_EQ(c.ran.empty() ? "" : read_file("/tmp/stub.ran"), c.ran);
        std::vector<std::string> got;
        for (const std::string &r : log.take())
            got.push_back(r.substr(r.find("action=remove ") + 14));
        EXPECT_EQ(got, c.records);
    }
}

// The vouchers a listing gives its rows: SipHash-2-4 as its authors give
// it, on any byte order; a key file of the owner's alone, drawn anew when
// gone; a voucher that holds for its own parts only. The key kept between
// requests and a voucher changed are page_test's (LearnedEntriesPinnedAndStaticOnesMoved).
TEST(Vouch, KeyedHashOfTheRowsParts)
{
    std::uint8_t key[VOUCH_KEY_SIZE], msg[15];
    for (std::uint8_t i = 0; i < 16; ++i)
        key[i] = i, msg[i % 15] = static_cast<std::uint8_t>(i % 15);
    EXPECT_EQ(siphash24(key, msg, 0), 0x726fdb47dd0e0e31u);
    EXPECT_EQ(siphash24(key, msg, 15), 0xa129ca6149be45e5u);

    vouch_key none;
    char out[VOUCH_TEXT_SIZE];
    EXPECT_FALSE(vouch_make(none, "1", "static", "00e0.fc0a.0001", "10", "eth-0-1", out));
    vouch_key a;
    vouch_key_load(a);
    ASSERT_TRUE(a.ok);
    struct stat st;
    ASSERT_EQ(stat(VOUCH_KEY_PATH, &st), 0);
    EXPECT_EQ(std::make_pair(st.st_mode & 0777, st.st_size), std::make_pair(0600u, off_t{16}));

    const std::string parts[] = {"24", "dynamic", "00E0.fc0a.0001", "10", "eth-0-1"};
    ASSERT_TRUE(vouch_make(a, parts[0], parts[1], parts[2], parts[3], parts[4], out));
    EXPECT_EQ(std::string(out).find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_TRUE(vouch_check(a, "24", "dynamic", "00e0.fc0a.0001", "10", "eth-0-1", out)) << "MAC in either case";
    for (int i = 0; i < 5; ++i) {
        std::string p[5] = {parts[0], parts[1], parts[2], parts[3], parts[4]};
        p[i] = i == 2 ? "00e0.fc0a.0002" : i == 1 ? "static" : p[i] + "0";
        EXPECT_FALSE(vouch_check(a, p[0], p[1], p[2], p[3], p[4], out)) << "part " << i;
    }
    // Parts that run together differently are not the same text.
    EXPECT_FALSE(vouch_check(a, "2", "4dynamic", "00e0.fc0a.0001", "10", "eth-0-1", out));
    EXPECT_FALSE(vouch_check(a, "24", "dynamic", "00e0.fc0a.0001", "10", "eth-0-1", std::string(out) + "0"));
    // A new boot draws a new key: the old vouchers hold no more.
    ASSERT_EQ(unlink(VOUCH_KEY_PATH), 0);
    vouch_key c;
    vouch_key_load(c);
    EXPECT_FALSE(vouch_check(c, "24", "dynamic", "00e0.fc0a.0001", "10", "eth-0-1", out));
}

} // namespace
