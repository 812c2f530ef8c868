// Interface names, status rows and QoS page data: parsers on their own, the
// loaders over a scripted imish, and the loaders against the imish stand-in.
#include "cli_runner.h"
#include "intf_data.h"
#include "page_frame.h"
#include "web_state.h"

#include "test_util.h"

#include <ClearSilver.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using values = std::map<std::string, std::string>;

constexpr int32_t UNTOUCHED = -7;

// Prints, for each command of the file, the output the test prepared for
// its kind, and records the commands.
constexpr char STUB_IMISH[] = R"sh(#!/bin/sh
prev=
for a; do [ "$prev" = -f ] && f=$a; prev=$a; done
while IFS= read -r line; do
  printf '%s\n' "$line" >> /tmp/stub.cmds
  case "$line" in
    "show interface status"*) cat /tmp/out.status 2>/dev/null ;;
    "show qos") cat /tmp/out.qos 2>/dev/null ;;
    "show web qos policer interface "*) cat /tmp/out.policer 2>/dev/null ;;
    "show web qos interface "*) cat /tmp/out.port 2>/dev/null ;;
  esac
done < "$f"
)sh";

// A key's value, "<null>" for a key stored without one, "<unset>" for none.
std::string hdf(CGI *cgi, const std::string &key)
{
    HDF *node = hdf_get_obj(cgi->hdf, key.c_str());
    if (!node)
        return "<unset>";
    const char *v = hdf_obj_value(node);
    return v ? v : "<null>";
}

// The status rows stored, in order: "slot0.1=eth-0-1 slot1.1=eth-1-1 ".
std::string rows(CGI *cgi)
{
    std::string out;
    for (HDF *slot = hdf_get_child(cgi->hdf, "intf"); slot; slot = hdf_obj_next(slot)) {
        for (HDF *row = hdf_obj_child(slot); row; row = hdf_obj_next(row)) {
            const std::string at = std::string(hdf_obj_name(slot)) + "." + hdf_obj_name(row);
            out += at + "=" + hdf(cgi, "intf." + at + ".name") + " ";
        }
    }
    return out;
}

// The nine values of one status row, joined by "|".
std::string row(CGI *cgi, const std::string &at)
{
    std::string out;
    for (const char *k : {"name", "pstatus", "select", "issfp", "duplex", "speed", "mode", "type", "desc"})
        out += (out.empty() ? "" : "|") + hdf(cgi, "intf." + at + "." + k);
    return out;
}

void expect_values(CGI *cgi, const values &want)
{
    for (const auto &[key, value] : want)
        EXPECT_EQ(hdf(cgi, key), value) << key;
}

class IntfTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(scratch_create("1"), 0);
        const char *path = std::getenv("PATH");
        saved_path_ = path ? path : "/usr/bin:/bin";
        fresh();
    }
    void TearDown() override
    {
        cgi_destroy(&cgi_);
        setenv("PATH", saved_path_.c_str(), 1);
    }
    // A new request: empty HDF and row counters, no recorded commands.
    void fresh()
    {
        if (cgi_)
            cgi_destroy(&cgi_);
        ASSERT_EQ(cgi_init(&cgi_, nullptr), STATUS_OK);
        intf_seq_slot0 = intf_seq_other = 0;
        unlink("/tmp/stub.cmds");
    }
    void path_first(const std::string &dir) { setenv("PATH", (dir + ":" + saved_path_).c_str(), 1); }
    void use_stub()
    {
        mkdir("/tmp/stubbin", 0755);
        write_file("/tmp/stubbin/imish", STUB_IMISH, 0755);
        path_first("/tmp/stubbin");
    }

    CGI *cgi_ = nullptr;
    std::string saved_path_;
};

// ---- Port naming ------------------------------------------------------------

TEST(PortPrefix, LoadReadsTheFileOrFallsBack)
{
    std::string ten;
    for (int i = 0; i < 10; ++i)
        ten += "prefix p" + std::to_string(i) + " full_prefix full" + std::to_string(i) + "-\n";
    const std::string head = "port_connection - sub_port_connection /\n";
    struct {
        const char *name;
        const char *file; // nullptr: no file
        std::string text;
        const char *conn; // the two connection characters
        std::vector<std::string> entries; // "prefix/full_prefix"
    } cases[] = {
        {"no file", nullptr, "", "-/", {"eth-/eth-"}},
        {"empty file", "", "", "-/", {"eth-/eth-"}},
        {"only the first line, blanks optional", "x",
         "port_connection:sub_port_connection.\n", ":.", {"eth-/eth-"}},
        {"prefix line first is used up", "x",
         "prefix ge full_prefix gigabit\nprefix xe full_prefix tengig-\n", "-/", {"xe/tengig-"}},
        {"ten lines keep the first eight", "x", "port_connection a sub_port_connection b\n" + ten, "ab",
         {"p0/full0-", "p1/full1-", "p2/full2-", "p3/full3-", "p4/full4-", "p5/full5-", "p6/full6-",
          "p7/full7-"}},
        {"long words are cut", "x",
         head + "prefix Ethernet full_prefix " + std::string(30, 'L') + "\n", "-/",
         {"Ether/" + std::string(25, 'L')}},
        {"malformed lines are skipped", "x",
         head + "prefix only\n\nfull_prefix a prefix b\nprefixge full_prefixgig\n" +
             std::string(500, '\x01') + "\n",
         "-/", {"ge/gig"}},
        {"a first line over 127 characters ends in a line of its own", "x",
         "port_connection * sub_port_connection +" + std::string(127 - 39, ' ') +
             "prefix xe full_prefix xe10\n",
         "*+", {"xe/xe10"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        unlink(PORT_INFO_PATH);
        if (c.file)
            write_file(PORT_INFO_PATH, c.text);
        EXPECT_EQ(port_prefix_load(), 0);
        EXPECT_EQ(std::string() + port_prefix_table.port_connection + port_prefix_table.sub_port_connection,
                  c.conn);
        std::vector<std::string> got;
        for (int i = 0; i < port_prefix_table.prefix_count; ++i)
            got.push_back(std::string(port_prefix_table.entries[i].prefix) + "/" +
                          port_prefix_table.entries[i].full_prefix);
        EXPECT_EQ(got, c.entries);
    }
}

TEST(PortName, IsKnownComparesEitherPrefixIgnoringCase)
{
    port_prefix_table = {};
    EXPECT_EQ(port_name_is_known("eth-0-1"), 0) << "nothing is known before loading";
    unlink(PORT_INFO_PATH);
    port_prefix_load();
    for (const char *name : {"ETH-0-1", "eth-0-1", "eth-"})
        EXPECT_EQ(port_name_is_known(name), 1) << name;
    for (const char *name : {"eth", "ge1", "", static_cast<const char *>(nullptr)})
        EXPECT_EQ(port_name_is_known(name), 0) << (name ? name : "null");

    write_file(PORT_INFO_PATH, "port_connection - sub_port_connection /\nprefix xe full_prefix TenGig-\n");
    port_prefix_load();
    EXPECT_EQ(port_name_is_known("tengig-0-1") + port_name_is_known("XE1"), 2);
    EXPECT_EQ(port_name_is_known("eth-0-1"), 0);
}

TEST(PortName, ParseSplitsSlotPortAndSubPort)
{
    unlink(PORT_INFO_PATH);
    port_prefix_load();
    struct {
        const char *name;
        int rc;
        int32_t slot, port, sub; // UNTOUCHED: left as it was
    } cases[] = {
        {"eth-0-1", 0, 0, 1, 0},
        {"eth-0-1/3", 0, 0, 1, 3},
        {"eth-0-1\n", 0, 0, 1, 0},
        {"eth-0-1\n7", 0, 0, 1, 0},
        {"eth-0-", 0, 0, 0, 0},
        {"eth-12:34.5", 0, 12, 34, 5},
        {"eth-1-2 ", 0, 1, 2, 0},
        {"eth-0-1/", 0, 0, 1, 0},
        {"eth-99999999999-1", 0, INT_MAX, 1, 0},
        {"eth-0", -1, 0, UNTOUCHED, UNTOUCHED},
        {"eth-", -1, UNTOUCHED, UNTOUCHED, UNTOUCHED},
        {"eth-x1", -1, UNTOUCHED, UNTOUCHED, UNTOUCHED},
        {"eth- 1-2", -1, UNTOUCHED, UNTOUCHED, UNTOUCHED},
        {"ETH-0-1", 0, UNTOUCHED, UNTOUCHED, UNTOUCHED},
        {"ge-1-2", 0, UNTOUCHED, UNTOUCHED, UNTOUCHED},
        {"", 0, UNTOUCHED, UNTOUCHED, UNTOUCHED},
    };
    for (const auto &c : cases) {
        int32_t slot = UNTOUCHED, port = UNTOUCHED, sub = UNTOUCHED;
        EXPECT_EQ(port_name_parse(c.name, &slot, &port, &sub), c.rc) << c.name;
        EXPECT_EQ(std::vector<int32_t>({slot, port, sub}), std::vector<int32_t>({c.slot, c.port, c.sub}))
            << c.name;
    }
    int32_t v = UNTOUCHED;
    EXPECT_EQ(port_name_parse(nullptr, &v, &v, &v), -1);
    EXPECT_EQ(port_name_parse("eth-0-1", &v, nullptr, &v), -1);
    EXPECT_EQ(v, UNTOUCHED);

    // The first prefix in table order that matches is taken, even a shorter one.
    write_file(PORT_INFO_PATH, "port_connection - sub_port_connection /\nprefix e full_prefix e\n"
                               "prefix eth- full_prefix eth-\n");
    port_prefix_load();
    EXPECT_EQ(port_name_parse("eth-0-1", &v, &v, &v), -1);
    EXPECT_EQ(port_name_parse("e1-2", &v, &v, &v), 0);
    EXPECT_EQ(v, 0) << "sub-port of e1-2";
}

TEST(PortMedia, OnlyTheFourCopperTypesAreNotSfp)
{
    for (const char *copper : {"1000base_t", "10GBASE_T", "10BASE_T", "100BASE_TX"})
        EXPECT_EQ(media_is_sfp(copper), 0) << copper;
    for (const char *other : {"1000BASE_SX", "Unknown", "", "1000BASE_T ", "100BASE_T", "10GBASE_TX",
                              static_cast<const char *>(nullptr)})
        EXPECT_EQ(media_is_sfp(other), 1) << (other ? other : "null");
}

// ---- Port lists ---------------------------------------------------------------

TEST(PortSet, ParseMarksPortsByNumberAlone)
{
    std::string full, over;
    for (int i = 0; i < 128; ++i)
        full += (i ? "," : "") + std::string("eth-0-") + std::to_string(i);
    over = full + ",eth-0-1";
    struct {
        const char *name;
        const char *list;
        int rc;
        uint32_t count;
        std::map<int, int32_t> marked; // port -> slot
    } cases[] = {
        {"two ports", "eth-0-3,eth-0-5", 0, 2, {{3, 0}, {5, 0}}},
        {"same port on two slots: last slot kept", "eth-1-3,eth-2-3", 0, 2, {{3, 2}}},
        {"empty entries", ",,eth-0-1,,", 0, 1, {{1, 0}}},
        {"out of range or malformed entries are skipped", "eth-0-128,eth-0--1,ge-0-1,eth-a-1,eth-0-,"
         "ETH-0-9,eth-0-99999999999,eth-0-127,eth-0-0,eth-0-2x", 0, 3, {{127, 0}, {0, 0}, {2, 0}}},
        {"128 entries", full.c_str(), 0, 128, {}},
        {"129 entries", over.c_str(), -1, 0, {}},
        {"empty list", "", -1, 0, {}},
        {"null list", nullptr, -1, 0, {}},
        {"only commas", ",,,", 0, 0, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        port_set set{};
        EXPECT_EQ(port_set_parse(c.list, &set), c.rc);
        EXPECT_EQ(set.count, c.count);
        if (c.count == 128) {
            for (int i = 0; i < PORT_SET_SIZE; ++i)
                EXPECT_EQ(set.entries[i].flags, PORT_SELECTED) << i;
            continue;
        }
        for (int i = 0; i < PORT_SET_SIZE; ++i) {
            auto it = c.marked.find(i);
            EXPECT_EQ(set.entries[i].flags, it == c.marked.end() ? 0u : PORT_SELECTED) << i;
            if (it != c.marked.end()) {
                EXPECT_EQ(std::vector<int32_t>({set.entries[i].slot, set.entries[i].port}),
                          std::vector<int32_t>({it->second, i}));
            }
        }
    }
    // A parse only adds to what the set holds.
    port_set set{};
    port_set_parse("eth-0-1", &set);
    port_set_parse("eth-0-2", &set);
    EXPECT_EQ(set.count, 2u);
    EXPECT_EQ(set.entries[1].flags & set.entries[2].flags, PORT_SELECTED);
    EXPECT_EQ(port_set_parse("eth-0-1", nullptr), -1);
}

// ---- Status lines -------------------------------------------------------------

using IntfStatus = IntfTest;

TEST_F(IntfStatus, LineToRow)
{
    std::string many = "eth-0-1 up a b c d";
    for (int i = 6; i < 129; ++i)
        many += " w";
    struct {
        std::string line;
        int rc;
        const char *at; // row stored, or nullptr: nothing stored
        const char *row;
    } cases[] = {
        {"eth-0-1 up a-full a-1000 access 1000BASE_T", 0, "slot0.1",
         "eth-0-1|up|no|no|a-full|a-1000|access|1000BASE_T|<unset>"},
        {"eth-0-1 admin down a-full a-1000 access 1000BASE_T", 0, "slot0.1",
         "eth-0-1|admindown|no|no|a-full|a-1000|access|1000BASE_T|<unset>"},
        {"eth-0-3\tADMIN down\r full 100 trunk 1000base_sx lab rack 4\n", 0, "slot0.1",
         "eth-0-3|admindown|yes|yes|full|100|trunk|1000base_sx|lab"},
        {"eth-2-3 down auto auto access unknown first floor", 0, "slot2.1",
         "eth-2-3|down|yes|yes|auto|auto|access|unknown|first"},
        {"eth-0-4 up full 10G access 10gbase_t", 0, "slot0.1",
         "eth-0-4|up|no|no|full|10G|access|10gbase_t|<unset>"},
        {"eth-0-200 up a b access 1000BASE_T", 0, "slot0.1",
         "eth-0-200|up|no|no|a|b|access|1000BASE_T|<unset>"},
        {"eth--1-3 up a b access 1000BASE_T", 0, "slot-1.1",
         "eth--1-3|up|yes|no|a|b|access|1000BASE_T|<unset>"},
        {"eth-0-1 up a-full a-1000 access", -1, nullptr, nullptr},
        {"eth-0-1 admin down a-full a-1000 access", -1, nullptr, nullptr},
        {"eth-x-1 up a b c d", 0, nullptr, nullptr},
        {"ETH-0-1 up a b c d", 0, nullptr, nullptr},
        {many, -1, nullptr, nullptr},
        {"", -1, nullptr, nullptr},
        {" \t\r\n", -1, nullptr, nullptr},
    };
    port_set set{};
    ASSERT_EQ(port_set_parse("eth-1-3", &set), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        fresh();
        EXPECT_EQ(intf_status_to_hdf(cgi_, c.line.c_str(), &set), c.rc);
        if (c.at) {
            EXPECT_EQ(row(cgi_, c.at), c.row);
            EXPECT_EQ(intf_seq_slot0 + intf_seq_other, 1u);
        } else {
            EXPECT_EQ(hdf(cgi_, "intf"), "<unset>");
            EXPECT_EQ(intf_seq_slot0 + intf_seq_other, 0u) << "no row number used";
        }
    }
    EXPECT_EQ(intf_status_to_hdf(cgi_, nullptr, &set), -1);
    EXPECT_EQ(intf_status_to_hdf(cgi_, "eth-0-3 up a b c d", nullptr), 0);
    EXPECT_EQ(hdf(cgi_, "intf.slot0.1.select"), "no");
}

TEST_F(IntfStatus, SlotZeroHasItsOwnCounterAndOtherSlotsShareOne)
{
    for (const char *name : {"eth-0-1", "eth-1-1", "eth-0-2", "eth-2-5", "eth-3-1"})
        ASSERT_EQ(intf_status_to_hdf(cgi_, (std::string(name) + " up a b c d").c_str(), nullptr), 0);
    EXPECT_EQ(rows(cgi_), "slot0.1=eth-0-1 slot0.2=eth-0-2 slot1.1=eth-1-1 slot2.2=eth-2-5 slot3.3=eth-3-1 ");
    // A second read in the same process goes on numbering.
    ASSERT_EQ(intf_status_to_hdf(cgi_, "eth-0-9 up a b c d", nullptr), 0);
    EXPECT_EQ(hdf(cgi_, "intf.slot0.3.name"), "eth-0-9");
}

TEST_F(IntfStatus, ReadStopsAtTheFirstLineThatIsNotAStatusLine)
{
    const std::string a = "eth-0-1 up a-full a-1000 access 1000BASE_T\n";
    const std::string b = "eth-0-2 down auto auto access 1000BASE_T\n";
    struct {
        const char *name;
        std::string text;
        std::string rows;
    } cases[] = {
        {"empty result", "", ""},
        {"first line not a status line", "Port Status\n" + a + b, ""},
        {"empty and # lines are skipped", "\n#comment\n" + a + "\r\n\n# eth-0-9\n" + b,
         "slot0.1=eth-0-1 slot0.2=eth-0-2 "},
        {"CRLF lines", "eth-0-1 up a b c d\r\neth-0-2 up a b c d\r\n", "slot0.1=eth-0-1 slot0.2=eth-0-2 "},
        {"an unusable line ends the reading", a + "eth-0-5 up\n" + b, "slot0.1=eth-0-1 "},
        {"a line of another kind ends the reading", a + "agg1 up a b c d\n" + b, "slot0.1=eth-0-1 "},
        {"upper case passes the reader but names no port", "ETH-0-4 up a b c d\n" + b, "slot0.1=eth-0-2 "},
        {"a line over 2047 characters arrives in pieces",
         "eth-0-3 up a b c d " + std::string(3000, 'x') + "\n" + b, "slot0.1=eth-0-3 "},
        {"piece boundary inside a status line",
         "eth-0-3 up a b c d " + std::string(2047 - 19, 'x') + "eth-0-7 up a b c d\n" + b,
         "slot0.1=eth-0-3 slot0.2=eth-0-7 slot0.3=eth-0-2 "},
        {"garbage", std::string("\x01\xff\0eth-0-1 up a b c d\n", 22) + b, ""},
        {"no final line feed", a + "eth-0-2 up a b c d", "slot0.1=eth-0-1 slot0.2=eth-0-2 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        write_file(res_file_path, c.text);
        EXPECT_EQ(intf_status_read(cgi_, nullptr), 0);
        EXPECT_EQ(rows(cgi_), c.rows);
    }
    unlink(res_file_path);
    EXPECT_EQ(intf_status_read(cgi_, nullptr), -1);
}

TEST(PortStatus, ParseFillsTheGivenOutputs)
{
    unlink(PORT_INFO_PATH);
    port_prefix_load();
    struct {
        const char *line;
        bool name_outputs; // slot, port and sub-port given
        int rc;
        std::string got; // name status duplex speed mode media, then slot port sub
    } cases[] = {
        {"eth-1-2/3 Admin down full 10 trunk Unknown desc", true, 0,
         "eth-1-2/3 admindown full 10 trunk Unknown 1 2 3"},
        {"eth-x up a b c d", false, 0, "eth-x up a b c d -7 -7 -7"},
        {"ge-1-2 up a b c d", true, 0, "ge-1-2 up a b c d -7 -7 -7"},
        {"eth-x up a b c d", true, -1, "      -7 -7 -7"},
        {"eth-1 up a b c d", true, -1, "      1 -7 -7"},
        {"eth-0-1 admin down a b c", true, -1, "      -7 -7 -7"},
        {"", true, -1, "      -7 -7 -7"},
    };
    for (const auto &c : cases) {
        char w[6][64] = {};
        int32_t n[3] = {UNTOUCHED, UNTOUCHED, UNTOUCHED};
        EXPECT_EQ(port_status_parse(c.line, w[0], c.name_outputs ? &n[0] : nullptr, &n[1], &n[2], w[1], w[2],
                                    w[3], w[4], w[5]),
                  c.rc)
            << c.line;
        std::string got;
        for (auto &word : w)
            got += std::string(word) + " ";
        EXPECT_EQ(got + std::to_string(n[0]) + " " + std::to_string(n[1]) + " " + std::to_string(n[2]), c.got);
    }
    char media[64] = "";
    EXPECT_EQ(port_status_parse("eth-0-1 up a b c 10GBASE_SR", nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, media),
              0);
    EXPECT_STREQ(media, "10GBASE_SR");
    EXPECT_EQ(port_status_parse(nullptr, media, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr),
              -1);
}

// ---- QoS over a scripted imish ----------------------------------------------------

using QosData = IntfTest;

TEST_F(QosData, PortLoadersRunTheirCommandsForTheLowestSelectedPort)
{
    use_stub();
    struct {
        const char *list;
        const char *port_cmd; // after "show web qos interface " / "show web qos policer interface "
    } cases[] = {
        {"eth-0-2,eth-0-5", "eth-0-2"}, {"eth-0-5,eth-1-2", "eth-1-2"}, {"eth-0-0", "eth-0-0"},
        {"eth-0-200,ge-0-1", nullptr},  {"", nullptr},                  {nullptr, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.list ? c.list : "null");
        for (int which = 0; which < 3; ++which) {
            fresh();
            const char *prefix = which == 1 ? "show web qos policer interface " : "show web qos interface ";
            int rc = which == 0 ? qos_shape_load(cgi_, c.list)
                     : which == 1 ? qos_policer_load(cgi_, c.list)
                                  : qos_class_load(cgi_, c.list, 0, nullptr, nullptr);
            EXPECT_EQ(rc, 0);
            std::string port_cmd = c.port_cmd ? prefix + std::string(c.port_cmd) : "";
            EXPECT_EQ(read_file("/tmp/stub.cmds"),
                      "show interface status | include eth-\nshow qos\n" + port_cmd + "\n");
            EXPECT_EQ(hdf(cgi_, "Interface.ifname"), c.list ? c.list : "");
            EXPECT_EQ(hdf(cgi_, "qos_enable"), "disable");
        }
    }
}

TEST_F(QosData, QosEnableLooksForTheWordEnableAnywhere)
{
    use_stub();
    const struct {
        std::string output;
        const char *value;
    } cases[] = {
        {"QoS: Enabled\n", "enable"},
        {"line one\nstatus Enable\n", "enable"},
        {"QoS: enabled\nQoS: ENABLE\n", "disable"},
        {"QoS: Disabled\n", "disable"},
        {"", "disable"},
        {std::string(254, 'x') + "Enable\n", "disable"}, // split over two pieces
        {std::string(255, 'x') + "Enable\n", "enable"},
    };
    for (const auto &c : cases) {
        fresh();
        write_file("/tmp/out.qos", c.output);
        qos_enable_load(cgi_);
        EXPECT_EQ(hdf(cgi_, "qos_enable"), c.value) << c.output;
    }
}

TEST_F(QosData, ShapeLines)
{
    use_stub();
    struct {
        const char *name;
        std::string output;
        values want;
    } cases[] = {
        {"shaped, none and rate",
         "Queue 0 shape with CIR 1000 kbps PIR 2000 kbps\nQueue 1 none\nshape average rate 5000\n",
         {{"queue.0.cir", "1000"}, {"queue.0.pir", "2000"}, {"queue.1.cir", "<null>"},
          {"queue.1.pir", "<null>"}, {"shape.rate", "5000"}}},
        {"blanks match any run, also none",
         "Queue\t3shape  with CIR 7 kbps PIR 9\nQueue4 none\nshape average rate   64k units\n",
         {{"queue.3.cir", "7"}, {"queue.3.pir", "9"}, {"queue.4.cir", "<null>"}, {"shape.rate", "64k"}}},
        {"a later line for the same queue wins",
         "Queue 2 shape with CIR 1 kbps PIR 2 kbps\nQueue 2 none\n"
         "Queue 5 none\nQueue 5 shape with CIR 3 kbps PIR 4 kbps\n",
         {{"queue.2.cir", "<null>"}, {"queue.5.cir", "3"}, {"queue.5.pir", "4"}}},
        {"none must be the word none",
         "Queue 1 class 1 DRR weight 2\nQueue 2 nonesuch\n"
         "Queue 3 shape with CIR 1 kbps\nQueue 6 none trailing\n",
         {{"queue.1.cir", "<unset>"}, {"queue.2.cir", "<unset>"}, {"queue.3.cir", "<unset>"},
          {"queue.6.cir", "<null>"}}},
        {"lines that do not start with the pattern",
         " Queue 1 none\nqueue 2 none\nQueue x none\n  shape average rate 5\nshape average rate\n",
         {{"queue", "<unset>"}, {"shape", "<unset>"}}},
        {"long lines and garbage survive",
         "Queue 7 shape with CIR " + std::string(300, '1') + " kbps PIR 2 kbps\n" + std::string(1000, '\xff') +
             "\nQueue 99999999999 none\nshape average rate " + std::string(400, 'r') + "\nQueue 0 none\n",
         {{"queue.0.cir", "<null>"}, {"shape.rate", std::string(236, 'r')}}},
        {"empty output", "", {{"queue", "<unset>"}, {"shape", "<unset>"}, {"Interface.ifname", "eth-0-1"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        write_file("/tmp/out.port", c.output);
        EXPECT_EQ(qos_shape_load(cgi_, "eth-0-1"), 0);
        expect_values(cgi_, c.want);
    }
}

TEST_F(QosData, ClassLinesAndTheClassCheck)
{
    use_stub();
    write_file("/tmp/out.port", "Queue 0 shape with CIR 1 kbps PIR 2 kbps\n"
                                "Queue 0 class 0 DRR weight 10\nQueue 2 class 3 DRR weight 20\n"
                                "Queue 3 class 3x DRR weight 30\nQueue 5 class 1 DRR weight 50\n"
                                "Queue 9 class 9 DRR weight 90\nQueue 4 class 4 DRR\n");
    qos_class_row expected[QOS_QUEUE_COUNT] = {"0", "1", "2", "3abc", "4", "5", "6", "7"};
    char err[ERR_TEXT_SIZE] = "untouched";

    EXPECT_EQ(qos_class_load(cgi_, "eth-0-1", 0, err, expected), 0);
    expect_values(cgi_, {{"queue.0.class", "0"}, {"queue.0.drrweight", "10"}, {"queue.2.class", "3"},
                         {"queue.3.class", "3x"}, {"queue.5.drrweight", "50"}, {"queue.9.class", "9"},
                         {"queue.4.class", "<unset>"}, {"queue.0.cir", "<unset>"}});
    EXPECT_STREQ(err, "untouched") << "no check, no message";

    // Checked: queues 2 and 5 fail, the message names the last; queue 9 has no row.
    fresh();
    EXPECT_EQ(qos_class_load(cgi_, "eth-0-1", 1, err, expected), 0);
    expect_values(cgi_, {{"queue.0.class", "0"}, {"queue.3.class", "3x"}, {"queue.3.drrweight", "30"},
                         {"queue.2.class", "<unset>"}, {"queue.2.drrweight", "<unset>"},
                         {"queue.5.class", "<unset>"}, {"queue.9.class", "<unset>"},
                         {"Interface.ifname", "eth-0-1"}});
    EXPECT_STREQ(err,
                 "Failed to map queue to class. Packets in queue 5 cannot be cleared. Please retry later.");
}

TEST_F(QosData, QueueClassSet)
{
    qos_class_row expected[QOS_QUEUE_COUNT] = {"a", "b", "", "d", "e", "f", "g", "h"};
    struct {
        int queue;
        const char *cls;
        int check;
        int rc;
        bool message;
    } cases[] = {
        {0, "alpha", 1, 0, false}, {1, "a", 1, -1, true}, {2, "", 1, 0, false},  {2, "x", 1, -1, true},
        {1, "a", 0, 0, false},     {8, "i", 1, -1, false}, {-1, "a", 1, -1, false}, {8, "i", 0, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.queue) + " " + c.cls);
        fresh();
        char err[ERR_TEXT_SIZE] = "untouched";
        EXPECT_EQ(queue_class_set(cgi_, c.queue, c.cls, "7", c.check, err, expected), c.rc);
        const std::string q = "queue." + std::to_string(c.queue);
        EXPECT_EQ(hdf(cgi_, q + ".class"), c.rc == 0 ? c.cls : "<unset>");
        EXPECT_EQ(hdf(cgi_, q + ".drrweight"), c.rc == 0 ? "7" : "<unset>");
        EXPECT_EQ(std::string(err) != "untouched", c.message);
    }
    char err[ERR_TEXT_SIZE];
    EXPECT_EQ(queue_class_set(cgi_, 0, "a", "1", 1, err, nullptr), -1);
    EXPECT_EQ(queue_class_set(cgi_, 1, "a", "1", 1, nullptr, expected), -1);
}

TEST_F(QosData, PolicerFile)
{
    const values defaults = {{"input_color_mode", "color-blind"}, {"input_drop_color", "red"},
                             {"input_use_l3_length", "NO"},      {"output_color_mode", "color-blind"},
                             {"output_drop_color", "red"},       {"output_use_l3_length", "NO"},
                             {"input_cir", "<unset>"},           {"output_pbs", "<unset>"}};
    const std::string in = "Input color-aware cir 1 cbs 2 ebs 3 pir 4 pbs 5 drop-color yellow YES\n";
    struct {
        const char *name;
        std::string text;
        values want;
    } cases[] = {
        {"no policer line", "Interface eth-0-1 policer\nInput not configured\n", defaults},
        {"input line", in,
         {{"input_color_mode", "color-aware"}, {"input_cir", "1"}, {"input_cbs", "2"}, {"input_ebs", "3"},
          {"input_pir", "4"}, {"input_pbs", "5"}, {"input_drop_color", "yellow"},
          {"input_use_l3_length", "YES"},
          {"output_cir", "<unset>"}, {"output_color_mode", "color-blind"}}},
        {"other direction words are output",
         "input m cir 1 cbs 2 ebs 3 pir 4 pbs 5 drop-color c u\n",
         {{"output_cir", "1"}, {"input_cir", "<unset>"}}},
        {"Input prefix is enough", "Inputs m cir 9 cbs 2 ebs 3 pir 4 pbs 5 drop-color c u\n",
         {{"input_cir", "9"}}},
        {"a later line wins", in + "Input m cir 8 cbs 2 ebs 3 pir 4 pbs 5 drop-color c u\n",
         {{"input_cir", "8"}, {"input_color_mode", "m"}}},
        {"eight words are not a policer line", "Input m cir 1 cbs 2 ebs 3 pir 4 pbs 5 drop-color c\n",
         defaults},
        {"blanks optional before keywords", "Output m cir1 cbs2 ebs3 pir4 pbs5 drop-color c u\n",
         {{"output_cir", "1"}, {"output_pbs", "5"}}},
        {"long lines and garbage", std::string(600, 'I') + "\n" + std::string(300, '\x02') + "\n", defaults},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        write_file("/tmp/policer.out", c.text);
        EXPECT_EQ(policer_read(cgi_, "/tmp/policer.out"), 0);
        expect_values(cgi_, c.want);
    }
    fresh();
    EXPECT_EQ(policer_read(cgi_, "/tmp/no-such-file"), -1);
    EXPECT_EQ(hdf(cgi_, "input_color_mode"), "<unset>");
}

TEST_F(QosData, UnreadableResultSkipsTheKeysOfItsStep)
{
    use_stub();
    // Every run fails to open the result, so nothing can be read back.
    std::snprintf(res_file_path, PATH_BUF_SIZE, "/tmp/no-such-dir/res");
    EXPECT_EQ(qos_shape_load(cgi_, "eth-0-1"), 0);
    EXPECT_EQ(qos_class_load(cgi_, "eth-0-1", 0, nullptr, nullptr), 0);
    EXPECT_EQ(hdf(cgi_, "Interface.ifname"), "<unset>");
    EXPECT_EQ(hdf(cgi_, "qos_enable"), "<unset>");
    EXPECT_EQ(qos_policer_load(cgi_, "eth-0-1"), 0);
    EXPECT_EQ(hdf(cgi_, "Interface.ifname"), "eth-0-1");
    EXPECT_EQ(hdf(cgi_, "input_color_mode"), "<unset>");
    EXPECT_EQ(intf_status_load(cgi_, nullptr), 0);
}

// ---- Against the imish stand-in ------------------------------------------------------

class IntfSim : public IntfTest {
protected:
    void SetUp() override
    {
        IntfTest::SetUp();
        path_first(SIM_BIN_DIR);
    }
};

TEST_F(IntfSim, InterfaceTableOfAFreshSwitch)
{
    port_set set{};
    ASSERT_EQ(port_set_parse("eth-0-3,eth-0-5", &set), 0);
    EXPECT_EQ(intf_status_load(cgi_, &set), 0);
    EXPECT_EQ(intf_seq_slot0, 24u);
    EXPECT_EQ(intf_seq_other, 0u);
    EXPECT_EQ(row(cgi_, "slot0.1"), "eth-0-1|up|no|no|a-full|a-1000|access|1000BASE_T|uplink");
    EXPECT_EQ(row(cgi_, "slot0.3"), "eth-0-3|up|yes|no|a-full|a-1000|access|1000BASE_T|<unset>");
    EXPECT_EQ(row(cgi_, "slot0.5"), "eth-0-5|down|yes|no|auto|auto|access|1000BASE_T|<unset>");
    EXPECT_EQ(row(cgi_, "slot0.7"), "eth-0-7|admindown|no|no|auto|auto|access|1000BASE_T|<unset>");
    EXPECT_EQ(row(cgi_, "slot0.22"), "eth-0-22|down|no|yes|auto|auto|access|1000BASE_SX|<unset>");
    EXPECT_EQ(row(cgi_, "slot0.23"), "eth-0-23|down|no|yes|auto|auto|access|Unknown|<unset>");
    EXPECT_EQ(row(cgi_, "slot0.24"), "eth-0-24|up|no|yes|a-full|a-10G|access|10GBASE_SR|core-link");


    // The stand-ins' port info file names the same ports.
    write_file(PORT_INFO_PATH, read_file(SIM_DATA_DIR "/nerva_port_cli_info"));
    port_prefix_load();
    int32_t slot = UNTOUCHED, port = UNTOUCHED, sub = UNTOUCHED;
    EXPECT_EQ(port_name_parse("eth-0-24", &slot, &port, &sub) + slot + port + sub, 24);
    EXPECT_EQ(port_name_is_known("ethernet-0-1"), 1);
}

TEST_F(IntfSim, QosLoadersOfAFreshSwitch)
{
    EXPECT_EQ(qos_shape_load(cgi_, "eth-0-5,eth-0-1"), 0);
    expect_values(cgi_, {{"qos_enable", "enable"}, {"Interface.ifname", "eth-0-5,eth-0-1"},
                         {"shape.rate", "500000"}, {"queue.0.cir", "1000"}, {"queue.0.pir", "2000"},
                         {"queue.1.cir", "<null>"}, {"queue.5.pir", "40000"}, {"queue.7.pir", "<null>"},
                         {"queue.0.class", "<unset>"}, {"intf.slot0.1.select", "yes"},
                         {"intf.slot0.5.select", "yes"}, {"intf.slot0.2.select", "no"}});

    fresh();
    EXPECT_EQ(qos_policer_load(cgi_, "eth-0-2"), 0);
    expect_values(cgi_, {{"output_color_mode", "color-aware"}, {"output_cir", "5000"}, {"output_cbs", "32000"},
                         {"output_ebs", "64000"}, {"output_pir", "8000"}, {"output_pbs", "64000"},
                         {"output_drop_color", "yellow"}, {"output_use_l3_length", "YES"},
                         {"input_color_mode", "color-blind"}, {"input_cir", "<unset>"}});

    fresh();
    qos_class_row expected[QOS_QUEUE_COUNT] = {"0", "1", "2", "3", "9", "5", "6", "7"};
    char err[ERR_TEXT_SIZE] = "";
    EXPECT_EQ(qos_class_load(cgi_, "eth-0-3", 1, err, expected), 0);
    expect_values(cgi_, {{"queue.0.class", "0"}, {"queue.0.drrweight", "1"}, {"queue.7.drrweight", "8"},
                         {"queue.4.class", "<unset>"}, {"queue.0.cir", "<unset>"}});
    EXPECT_NE(std::string(err).find("queue 4 cannot"), std::string::npos) << err;
}

TEST_F(IntfSim, QosFollowsTheSwitchState)
{
    mkdir("/tmp/sim_switch", 0755);
    write_file("/tmp/sim_switch/state",
               "imish-state 1\nqos disable\nport eth-1-6 admin=down shape=750 "
               "qshape=none,none,none,3/4,none,none,none,none police-in=color-aware/1/2/3/4/5/red/YES\n");
    EXPECT_EQ(qos_shape_load(cgi_, "eth-1-6"), 0);
    expect_values(cgi_, {{"qos_enable", "disable"}, {"shape.rate", "750"}, {"queue.3.cir", "3"},
                         {"queue.0.cir", "<null>"}, {"intf.slot1.1.pstatus", "admindown"},
                         {"intf.slot1.1.select", "yes"}, {"intf.slot0.1.name", "<unset>"}});
    fresh();
    EXPECT_EQ(qos_policer_load(cgi_, "eth-1-6"), 0);
    expect_values(cgi_,
                  {{"input_color_mode", "color-aware"}, {"input_pbs", "5"}, {"input_use_l3_length", "YES"}});
}

} // namespace
