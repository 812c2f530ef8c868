// Tests of the static MAC pages' own work, with a stub imish standing in for the CLI.
#include "mac_static.h"
#include "page_frame.h"
#include "test_util.h"
#include "web_state.h"

#include <ClearSilver.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <unistd.h>

namespace {

// Records its options (arguments but the last) and the command file; prints /tmp/stub.out.
constexpr char STUB_IMISH[] = R"sh(#!/bin/sh
for a; do :; done; { echo "${*% *}"; cat "$a"; } > /tmp/stub.ran; cat /tmp/stub.out
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
        unlink("/tmp/stub.ran");
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
    request({}, "Switchport\n Interface name : eth-0-1\n");
    intf_names_load();
    EXPECT_EQ(read_file("/tmp/stub.ran"), "-g -y -w -f\nshow interface switchport\n");
    EXPECT_EQ(value("eth.0.name"), "eth-0-1");
}

TEST_F(MacStatic, AddRunsOneCheckedCommand)
{
    const fields add = {{"addr0", "00e0"}, {"addr1", "fc0a"}, {"addr2", "b1c2"},
                        {"intf_name", "eth-0-1"}, {"vlan", "10"}};
    const std::string cmd = "mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan ";
    const std::string bad = "invalid_parameter";
    // value nullptr: the field is left out. cmd empty: imish must not run.
    struct { const char *field, *value, *out; int rc; std::string err, cmd; } cases[] = {
        {"vlan", "10", "", 0, "", cmd + "10\n"},
        {"vlan", "10", "line one\n%% VLAN 10 absent\n", -1, "% VLAN 10 absent\n", cmd + "10\n"},
        {"vlan", " ~\x80\xff", "", 0, "", cmd + " ~\x80\xff\n"},
        {"addr0", nullptr, "", 0, "", ""}, {"addr1", nullptr, "", 0, "", ""},
        {"addr2", nullptr, "", 0, "", ""}, {"intf_name", nullptr, "", 0, "", ""},
        {"vlan", nullptr, "", 0, "", ""}, {"addr0", "00\re0", "", -1, bad, ""},
        {"addr1", "\x1f", "", -1, bad, ""}, {"addr2", "b1c2\x7f", "", -1, bad, ""},
        {"intf_name", "eth\t1", "", -1, bad, ""}, {"vlan", "10\nno vlan 10", "", -1, bad, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.field) + "=" + (c.value ? c.value : "(absent)"));
        fields f = add;
        c.value ? void(f[c.field] = c.value) : void(f.erase(c.field));
        request(f, c.out);
        EXPECT_EQ(mac_static_add(err_text), c.rc);
        EXPECT_EQ(err_text, c.err);
        EXPECT_EQ(read_file("/tmp/stub.ran"), c.cmd.empty() ? "" : "-g -y -f\n" + c.cmd);
        EXPECT_EQ(read_file(cmd_file_path), "");
    }
}

TEST_F(MacStatic, Listing)
{
    const std::string e1 = "1 0000.1111.2222 static eth-0-1\n";
    const std::string e3 = "10 00e0.fc0a.b1c3 static eth-0-1\n";
    const std::string all = e1 + "10 00e0.fc0a.b1c2 static eth-0-2\n" + e3;
    // Between header and entries: a CLI message, an empty and a three-word line.
    const std::string data = HEADER + "% VLAN 9 is absent\n\n10 00e0.fc0a.b1c2 x\n" + all;
    const std::string show = "show mac address-table static", cmd = show + "\n", v220(220, '1');
    // cmd empty: no command may run, nor the earlier result be listed.
    struct { const char *name; fields query; std::string out, want, cmd; } cases[] = {
        {"header only", {}, HEADER, "", cmd},
        {"no filter", {}, data, all, cmd},
        {"interface 0", {{"intf_name", "0"}}, data, all, cmd},
        {"interface all", {{"intf_name", "all"}}, data, all, cmd},
        {"interface, numbered without gaps", {{"intf_name", "eth-0-1"}}, data, e1 + e3, cmd},
        {"interface is exact", {{"intf_name", "eth-0"}}, data, "", cmd},
        {"empty interface", {{"intf_name", ""}}, data, "", cmd},
        {"whole MAC", {{"addr0", "00e0"}, {"addr1", "fc0a"}, {"addr2", "b1c3"}}, data, e3, cmd},
        {"partial MAC", {{"addr0", "00e0"}}, data, "", cmd},
        {"empty MAC groups", {{"addr0", ""}, {"addr1", ""}, {"addr2", ""}}, data, all, cmd},
        {"empty vlan", {{"vlan", ""}}, data, all, cmd},
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
}

TEST_F(MacStatic, ListQueryKeepsAFilterWholeOrDropsIt)
{
    // "sessionId=1&lang=en" is 19 bytes, "&vlan=" 6 more: 38 digits fill a
    // 64-byte buffer to its terminator, 39 would need one byte more.
    const std::string base = "sessionId=1&lang=en";
    for (std::size_t digits : {38u, 39u}) {
        const std::string vlan(digits, '1');
        request({{"vlan", vlan}});
        char out[64];
        mac_list_query(base.c_str(), out, sizeof out);
        EXPECT_EQ(out, digits == 38 ? base + "&vlan=" + vlan : base) << digits;
    }
}

} // namespace
