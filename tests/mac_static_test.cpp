// Tests of the static MAC pages' own work: interface names, the add command
// and the static listing, with a stub imish standing in for the CLI.
#include "mac_static.h"
#include "page_frame.h"
#include "web_state.h"

#include "test_util.h"

#include <ClearSilver.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Keeps the command file and its options, then prints /tmp/stub.out.
constexpr char STUB_IMISH[] = R"sh(#!/bin/sh
printf '%s ' "$@" > /tmp/stub.argv
prev=
for a; do [ "$prev" = -f ] && cp "$a" /tmp/stub.cmd; prev=$a; done
cat /tmp/stub.out 2>/dev/null
exit 0
)sh";

// Six lines that would be entries were they not the listing's header.
const std::string HEADER = [] {
    std::string h;
    for (int i = 0; i < 6; ++i)
        h += "9 ffff.ffff.ffff header eth-0-9\n";
    return h;
}();

using fields = std::map<std::string, std::string>;

class MacStatic : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("WEBSIM_SANDBOXED"))
            GTEST_SKIP() << "needs the private /tmp of tests/sandbox.sh";
        err_text[0] = '\0';
        ASSERT_EQ(mkdir("/tmp/stubbin", 0755), 0);
        write_file("/tmp/stubbin/imish", STUB_IMISH, 0755);
        const char *path = std::getenv("PATH");
        saved_path_ = path ? path : "/usr/bin:/bin";
        setenv("PATH", ("/tmp/stubbin:" + saved_path_).c_str(), 1);
        ASSERT_EQ(scratch_create("1"), 0);
        fresh_cgi();
    }
    void TearDown() override
    {
        if (web_cgi)
            cgi_destroy(&web_cgi);
        if (!saved_path_.empty())
            setenv("PATH", saved_path_.c_str(), 1);
        cmd_file_path[0] = res_file_path[0] = '\0';
    }

    // A new request: empty HDF, the given query fields, a new result and no
    // trace of an earlier run.
    void fresh_cgi(const fields &query = {}, const std::string &output = "")
    {
        if (web_cgi)
            cgi_destroy(&web_cgi);
        ASSERT_EQ(cgi_init(&web_cgi, nullptr), STATUS_OK);
        for (const auto &[key, value] : query)
            ASSERT_EQ(hdf_set_value(web_cgi->hdf, ("Query." + key).c_str(), value.c_str()),
                      STATUS_OK);
        write_file("/tmp/stub.out", output);
        unlink("/tmp/stub.cmd");
        unlink("/tmp/stub.argv");
    }
    static std::string value(const std::string &key)
    {
        const char *v = hdf_get_value(web_cgi->hdf, key.c_str(), nullptr);
        return v ? v : "<unset>";
    }
    static bool imish_ran() { return path_exists("/tmp/stub.cmd"); }

    std::string saved_path_;
};

TEST_F(MacStatic, InterfaceLines)
{
    struct {
        const char *name;
        std::vector<std::string> lines;
        int count;
        fields keys; // "<unset>" for a key that must be absent
    } cases[] = {
        {"ethernet then aggregation share one numbering",
         {" Interface name : eth-0-1\n", " Interface name : eth-0-2\n",
          " Interface name : agg1\n"},
         3,
         {{"eth.0.name", "eth-0-1"}, {"eth.1.name", "eth-0-2"}, {"agg.2.name", "agg1"},
          {"agg.0.name", "<unset>"}, {"eth.2.name", "<unset>"}, {"ifname", "agg1"}}},
        {"other first letter uses a number", {" Interface: vlan1\n", " Interface: eth-0-1\n"}, 2,
         {{"eth.0.name", "<unset>"}, {"eth.1.name", "eth-0-1"}, {"ifname", "eth-0-1"}}},
        {"first letter in lower case only", {" Interface: Eth-0-1\n", " Interface: Agg1\n"},
         2, {{"eth.0.name", "<unset>"}, {"agg.1.name", "<unset>"}, {"ifname", "Agg1"}}},
        {"non-interface lines do not count",
         {"Interface: eth-0-8\n", " Interface eth-0-7\n", " Interfac\n", "\n", "",
          " interface: eth-0-6\n", "  Interface: eth-0-5\n", " Interface: eth-0-1\n"},
         1, {{"eth.0.name", "eth-0-1"}, {"ifname", "eth-0-1"}}},
        {"only nine characters compared", {" Interfaces of agg: agg3\n", " Interfac: eth-0-4\n"}, 2,
         {{"agg.0.name", "agg3"}, {"eth.1.name", "eth-0-4"}}},
        {"name after the last colon", {" Interface: 1: eth-0-3\n"}, 1, {{"eth.0.name", "eth-0-3"}}},
        {"colon at the end gives an empty name",
         {" Interface: eth-0-1\n", " Interface:\n", " Interface: \n", " Interface: agg2\n"}, 4,
         {{"agg.3.name", "agg2"}, {"eth.1.name", "<unset>"}, {"agg.2.name", "<unset>"}}},
        {"empty name sets ifname", {" Interface: eth-0-1\n", " Interface:\n"}, 2, {{"ifname", ""}}},
        {"no line feed", {" Interface: agg5"}, 1, {{"agg.0.name", "agg5"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh_cgi();
        int counter = 0;
        for (const std::string &line : c.lines)
            EXPECT_EQ(intf_line_parse(&counter, line.c_str()), 0);
        EXPECT_EQ(counter, c.count);
        for (const auto &[key, v] : c.keys)
            EXPECT_EQ(value(key), v) << key;
    }
}

TEST_F(MacStatic, InterfaceNamesFromTheCli)
{
    fresh_cgi({}, "Switchport summary\n Interface name : eth-0-1\n  Mode : access\n"
                  " Interface name : agg1\n");
    intf_names_load();
    EXPECT_EQ(read_file("/tmp/stub.cmd"), "show interface switchport\n");
    EXPECT_EQ(read_file("/tmp/stub.argv"), "-g -y -w -f " + std::string(cmd_file_path) + " ");
    EXPECT_EQ(value("eth.0.name"), "eth-0-1");
    EXPECT_EQ(value("agg.1.name"), "agg1");
    EXPECT_EQ(value("ifname"), "agg1");
}

const fields ADD_FIELDS = {
    {"addr0", "00e0"}, {"addr1", "fc0a"}, {"addr2", "b1c2"}, {"intf_name", "eth-0-1"},
    {"vlan", "10"}};
const std::string ADD_CMD = "mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 10\n";

TEST_F(MacStatic, AddRunsOneConfigCommand)
{
    struct {
        const char *name;
        std::string output;
        int rc;
        std::string err;
    } cases[] = {
        {"accepted", "", 0, ""},
        {"output without percent", "Entry added\n", 0, ""},
        {"CLI error", "% Invalid input\n", -1, " Invalid input\n"},
        {"error after other output", "line one\n%% VLAN 10 not exist\n", -1,
         "% VLAN 10 not exist\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh_cgi(ADD_FIELDS, c.output);
        err_text[0] = '\0';
        EXPECT_EQ(mac_static_add(err_text), c.rc);
        EXPECT_EQ(err_text, c.err);
        EXPECT_EQ(read_file("/tmp/stub.cmd"), ADD_CMD);
        EXPECT_EQ(read_file("/tmp/stub.argv"), "-g -y -f " + std::string(cmd_file_path) + " ");
        EXPECT_FALSE(path_exists(cmd_file_path));
    }
}

TEST_F(MacStatic, AddPassesValuesOnAsTheyCome)
{
    const std::string long_vlan(300, '9');
    struct {
        const char *name;
        fields changed;
        std::string cmd;
    } cases[] = {
        {"empty vlan", {{"vlan", ""}}, "mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan \n"},
        {"blanks and printable edges", {{"addr0", " ~"}, {"intf_name", "eth 0"}},
         "mac-address-table  ~.fc0a.b1c2 forward eth 0 vlan 10\n"},
        {"bytes above 0x7f", {{"vlan", "\x80\xff"}},
         "mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan \x80\xff\n"},
        {"cut to 255 characters", {{"vlan", long_vlan}},
         ("mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan " + long_vlan).substr(0, 255) +
             "\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fields f = ADD_FIELDS;
        for (const auto &[k, v] : c.changed)
            f[k] = v;
        fresh_cgi(f);
        EXPECT_EQ(mac_static_add(err_text), 0);
        EXPECT_EQ(read_file("/tmp/stub.cmd"), c.cmd);
    }
}

TEST_F(MacStatic, AddRefusesOrSkipsBadFields)
{
    struct {
        const char *field;
        const char *bad; // nullptr: the field is absent
    } cases[] = {
        {"addr0", nullptr}, {"addr1", nullptr}, {"addr2", nullptr}, {"intf_name", nullptr},
        {"vlan", nullptr},  {"vlan", "10\nno vlan 10"}, {"addr0", "00\re0"},
        {"addr1", "\x1f"},  {"addr2", "b1c2\x7f"},       {"intf_name", "eth-0-1\t"},
        {"vlan", "\x01"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.field) + (c.bad ? " bad" : " absent"));
        fields f = ADD_FIELDS;
        if (c.bad)
            f[c.field] = c.bad;
        else
            f.erase(c.field);
        fresh_cgi(f, "% should not be read\n");
        err_text[0] = '\0';
        EXPECT_EQ(mac_static_add(err_text), c.bad ? -1 : 0);
        EXPECT_EQ(err_text, std::string(c.bad ? "invalid_parameter" : ""));
        EXPECT_FALSE(imish_ran());
        EXPECT_EQ(read_file(cmd_file_path), "");
    }
}

TEST_F(MacStatic, AddWhenTheCliCannotAnswer)
{
    // Configuration mode held by another user.
    fresh_cgi(ADD_FIELDS, "");
    write_file("/tmp/config_mode", "");
    EXPECT_EQ(mac_static_add(err_text), -1);
    EXPECT_STREQ(err_text, "%configure_mode_inuse");
    EXPECT_FALSE(imish_ran());
    unlink("/tmp/config_mode");

    // No scratch files: -1 and the error text keeps what it held.
    fresh_cgi(ADD_FIELDS, "% not this\n");
    cmd_file_path[0] = res_file_path[0] = '\0';
    std::snprintf(err_text, ERR_TEXT_SIZE, "%s", "earlier");
    EXPECT_EQ(mac_static_add(err_text), -1);
    EXPECT_STREQ(err_text, "earlier");
}

struct entry {
    std::string vlan, mac, type, intf;
};

TEST_F(MacStatic, ListingFiltersAndNumbers)
{
    const std::string data = "1 0000.1111.2222 static eth-0-1\n"
                             "10 00e0.fc0a.b1c2 static eth-0-2\n"
                             "10 00e0.fc0a.b1c3 static eth-0-1\n";
    const entry e1{"1", "0000.1111.2222", "static", "eth-0-1"};
    const entry e2{"10", "00e0.fc0a.b1c2", "static", "eth-0-2"};
    const entry e3{"10", "00e0.fc0a.b1c3", "static", "eth-0-1"};
    struct {
        const char *name;
        fields query;
        std::string output;
        std::vector<entry> entries;
    } cases[] = {
        {"header only", {}, HEADER, {}},
        {"empty result", {}, "", {}},
        {"no filters", {}, HEADER + data, {e1, e2, e3}},
        {"interface 0 lists all", {{"intf_name", "0"}}, HEADER + data, {e1, e2, e3}},
        {"interface all lists all", {{"intf_name", "all"}}, HEADER + data, {e1, e2, e3}},
        {"interface filter numbers without gaps", {{"intf_name", "eth-0-1"}}, HEADER + data,
         {e1, e3}},
        {"interface filter is exact", {{"intf_name", "eth-0"}}, HEADER + data, {}},
        {"interface filter is case-sensitive", {{"intf_name", "ETH-0-2"}}, HEADER + data, {}},
        {"empty interface lists nothing", {{"intf_name", ""}}, HEADER + data, {}},
        {"whole MAC", {{"addr0", "00e0"}, {"addr1", "fc0a"}, {"addr2", "b1c3"}}, HEADER + data,
         {e3}},
        {"MAC and interface must both pass",
         {{"addr0", "00e0"}, {"addr1", "fc0a"}, {"addr2", "b1c3"}, {"intf_name", "eth-0-2"}},
         HEADER + data, {}},
        {"MAC filter is case-sensitive", {{"addr0", "00E0"}, {"addr1", "FC0A"}, {"addr2", "B1C3"}},
         HEADER + data, {}},
        {"partial MAC matches nothing", {{"addr0", "00e0"}}, HEADER + data, {}},
        {"empty MAC groups are no filter", {{"addr0", ""}, {"addr1", ""}, {"addr2", ""}},
         HEADER + data, {e1, e2, e3}},
        {"CLI messages and short lines are skipped", {},
         HEADER + "% VLAN 99 does not exist\n\n10 00e0.fc0a.b1c2 static\n" + data +
             "10 00e0.fc0a.b1c2\n",
         {e1, e2, e3}},
        {"short line first does not lend words", {{"intf_name", "eth-0-1"}},
         HEADER + "1\n10 aaaa.bbbb.cccc\n" + data, {e1, e3}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh_cgi(c.query, c.output);
        EXPECT_EQ(mac_static_list(), 0);
        EXPECT_EQ(read_file("/tmp/stub.argv"), "-g -y -w -f " + std::string(cmd_file_path) + " ");
        for (std::size_t i = 0; i < c.entries.size(); ++i) {
            const std::string k = "entry." + std::to_string(i + 1) + ".";
            EXPECT_EQ(value(k + "vlan"), c.entries[i].vlan) << k;
            EXPECT_EQ(value(k + "mac"), c.entries[i].mac) << k;
            EXPECT_EQ(value(k + "type"), c.entries[i].type) << k;
            EXPECT_EQ(value(k + "intf"), c.entries[i].intf) << k;
        }
        EXPECT_EQ(value("entry." + std::to_string(c.entries.size() + 1) + ".mac"), "<unset>");
    }
}

TEST_F(MacStatic, ListingCommandAndVlanLength)
{
    const std::string base = "show mac address-table static";
    const std::string fits(220, '1'), too_long(221, '1');
    struct {
        const char *name;
        fields query;
        std::string cmd; // empty: no command runs
    } cases[] = {
        {"no vlan", {}, base + "\n"},
        {"empty vlan", {{"vlan", ""}}, base + "\n"},
        {"vlan 10", {{"vlan", "10"}}, base + " vlan 10\n"},
        {"longest vlan that fits", {{"vlan", fits}}, base + " vlan " + fits + "\n"},
        {"vlan one too long", {{"vlan", too_long}}, ""},
        {"vlan with a line end", {{"vlan", "10\nno vlan 10"}}, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh_cgi(c.query, HEADER + "10 00e0.fc0a.b1c2 static eth-0-2\n");
        // A result left from an earlier run must not be listed when nothing runs.
        write_file(res_file_path, HEADER + "10 00e0.fc0a.b1c2 static eth-0-2\n");
        EXPECT_EQ(mac_static_list(), 0);
        EXPECT_EQ(read_file("/tmp/stub.cmd"), c.cmd);
        EXPECT_EQ(value("entry.1.mac"), c.cmd.empty() ? "<unset>" : "00e0.fc0a.b1c2");
        if (c.cmd.empty()) {
            EXPECT_EQ(read_file(cmd_file_path), "");
        }
    }
}

TEST_F(MacStatic, ListingWithoutResultFile)
{
    fresh_cgi({}, HEADER + "10 00e0.fc0a.b1c2 static eth-0-2\n");
    cmd_file_path[0] = res_file_path[0] = '\0';
    EXPECT_EQ(mac_static_list(), 0);
    EXPECT_EQ(value("entry.1.mac"), "<unset>");
}

} // namespace
