// Interface names, status rows and QoS page data: the parsers, the loaders over
// scripted CLI output, and the loaders against the imish stand-in.
#include "intf_status.h"
#include "page_frame.h"
#include "port_names.h"
#include "qos_data.h"
#include "test_util.h"
#include "web_state.h"

#include <ClearSilver.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <tuple>

namespace {

constexpr int32_t KEEP = -7; // an output the call must leave alone

// A node's value, "<null>" for a node stored without one, "<unset>" for none.
std::string value(HDF *node) { return !node ? "<unset>" : hdf_obj_value(node) ? hdf_obj_value(node) : "<null>"; }

// Each status row stored, in order: a blank, "slot0.1" and "|<value>" for each key.
std::string rows(CGI *cgi, std::initializer_list<const char *> keys = {"name"})
{
    std::string out;
    for (HDF *slot = hdf_get_child(cgi->hdf, "intf"); slot; slot = hdf_obj_next(slot))
        for (HDF *r = hdf_obj_child(slot); r; r = hdf_obj_next(r)) {
            out += std::string(" ") + hdf_obj_name(slot) + "." + hdf_obj_name(r);
            for (const char *k : keys)
                out += "|" + value(hdf_get_obj(r, k));
        }
    return out;
}

void load_prefixes(const std::optional<std::string> &file) // nullopt: no port info file
{
    file ? write_file(PORT_INFO_PATH, *file) : void(unlink(PORT_INFO_PATH));
    port_prefix_load();
}

// The loaded table: both connection characters, then " prefix/full_prefix" per entry.
std::string prefixes()
{
    std::string got = std::string() + port_prefix_table.port_connection + port_prefix_table.sub_port_connection;
    for (const port_prefix_entry &e : std::span(port_prefix_table.entries, port_prefix_table.prefix_count))
        got += std::string(" ") + e.prefix + "/" + e.full_prefix;
    return got;
}

struct IntfTest : ::testing::Test {
    void SetUp() override { ASSERT_EQ(scratch_create("1"), 0); fresh(); load_prefixes(std::nullopt); }
    void TearDown() override { cgi_destroy(&cgi_); }
    void fresh() // a new request: empty HDF and row counters
    {
        cgi_destroy(&cgi_);
        ASSERT_EQ(cgi_init(&cgi_, nullptr), STATUS_OK);
        intf_seq_slot0 = intf_seq_other = 0;
    }
    void imish_from(const std::string &dir) { setenv("PATH", (dir + ":" + std::getenv("PATH")).c_str(), 1); }
    void expect(const std::map<std::string, std::string> &want)
    {
        for (const auto &[key, v] : want)
            EXPECT_EQ(value(hdf_get_obj(cgi_->hdf, key.c_str())), v) << key;
    }
    CGI *cgi_ = nullptr;
};

TEST(PortPrefix, LoadReadsTheFileOrFallsBack)
{
    std::string ten;
    for (char d = '0'; d <= '9'; ++d)
        ten += std::string("prefix p") + d + " full_prefix f" + d + "\n";
    const struct { std::optional<std::string> file; std::string want; } cases[] = { // connections, entries
        {std::nullopt, "-/ eth-/eth-"}, {"port_connection:sub_port_connection.\n", ":. eth-/eth-"},
        {"prefix ge full_prefix gig\nprefix xe full_prefix tengig-\n", "-/ xe/tengig-"},
        {"port_connection a sub_port_connection b\n" + ten, "ab p0/f0 p1/f1 p2/f2 p3/f3 p4/f4 p5/f5 p6/f6 p7/f7"},
        {"\nprefix only\nprefix Ethernet full_prefix " + std::string(30, 'L') + "\n" + std::string(500, '\1') +
             "\nprefixge full_prefixgig", "-/ Ether/" + std::string(25, 'L') + " ge/gig"},
        // a first line of 127 characters ends where the next piece begins
        {"port_connection * sub_port_connection +" + std::string(88, ' ') + "prefix xe full_prefix x", "*+ xe/x"},
    };
    for (const auto &c : cases) {
        load_prefixes(c.file);
        EXPECT_EQ(prefixes(), c.want) << c.file.value_or("<no file>");
    }
}

// Other switch programs publish these files, and on a firmware they are often
// links: a link is read as the file it points at.
TEST_F(IntfTest, PublishedFilesAreReadThroughLinks)
{
    write_file("/tmp/info", "port_connection : sub_port_connection .\nprefix xe full_prefix tengig-\n");
    write_file("/tmp/pol", "Input color-aware cir 1 cbs 2 ebs 3 pir 4 pbs 5 drop-color yellow YES\n");
    ASSERT_EQ(symlink("/tmp/pol", "/tmp/pol_link") + symlink("/tmp/info", PORT_INFO_PATH), 0);
    port_prefix_load();
    EXPECT_EQ(prefixes(), ":. xe/tengig-");
    for (const char *pol : {"/tmp/pol", "/tmp/pol_link"}) {
        fresh();
        EXPECT_EQ(policer_read(cgi_, pol), 0) << pol;
        expect({{"input_color_mode", "color-aware"}, {"input_cir", "1"}, {"input_use_l3_length", "YES"},
                {"input_cbs", "2"}, {"input_ebs", "3"}, {"input_pir", "4"}, {"input_pbs", "5"},
                {"input_drop_color", "yellow"}, {"output_cir", "<unset>"}});
    }
}

TEST_F(IntfTest, PortNameKnownParseAndMedia)
{
    const struct { const char *name; int rc; int32_t slot, port, sub; int known; } cases[] = {
        {"eth-0-1", 0, 0, 1, 0, 1},      {"eth-0-1/3", 0, 0, 1, 3, 1},      {"eth-0-1\n7", 0, 0, 1, 0, 1},
        {"eth-0-", 0, 0, 0, 0, 1},       {"eth-12:34.5", 0, 12, 34, 5, 1},  {"eth-9999999999-1", 0, INT32_MAX, 1, 0, 1},
        {"eth-0", -1, 0, KEEP, KEEP, 1}, {"eth-", -1, KEEP, KEEP, KEEP, 1}, {"eth-x1", -1, KEEP, KEEP, KEEP, 1},
        {"ETH-0-1", 0, KEEP, KEEP, KEEP, 1}, {"eth", 0, KEEP, KEEP, KEEP, 0}, {nullptr, -1, KEEP, KEEP, KEEP, 0},
    };
    for (const auto &c : cases) {
        int32_t slot = KEEP, port = KEEP, sub = KEEP;
        EXPECT_EQ(port_name_parse(c.name, &slot, &port, &sub), c.rc) << c.name;
        EXPECT_EQ(std::make_tuple(slot, port, sub, port_name_is_known(c.name)),
                  std::make_tuple(c.slot, c.port, c.sub, c.known)) << c.name;
    }
    load_prefixes("port_connection - sub_port_connection /\nprefix xe full_prefix TenGig-\n");
    // Either prefix in any case: "XE" matches only the short one.
    EXPECT_EQ(std::make_tuple(port_name_is_known("TENGIG-0-1"), port_name_is_known("XE-0-1"), port_name_is_known("eth-0-1")),
              std::make_tuple(1, 1, 0));
    for (auto [media, sfp] : {std::pair<const char *, int>{"1000base_t", 0}, {"10GBASE_T", 0}, {"10BASE_T", 0},
                              {"100BASE_TX", 0}, {"100BASE_T", 1}, {"1000BASE_SX", 1}, {"", 1}, {nullptr, 1}})
        EXPECT_EQ(media_is_sfp(media), sfp) << media;
}

TEST(PortSet, ParseMarksPortsByNumberAlone)
{
    std::string full, all;
    for (int i = 0; i < PORT_SET_SIZE; ++i)
        full += "eth-0-" + std::to_string(i) + ",", all += std::to_string(i) + ":0 ";
    const std::string over = full + "eth-0-1";
    const struct { const char *list; int rc; std::string want; } cases[] = { // count, then each "port:slot" marked
        {"eth-1-3,eth-2-3,eth-0-5", 0, "3 3:2 5:0 "},
        {",,eth-0-128,eth-0--1,eth-0-,ETH-0-9,eth-0-9999999999,eth-0-127,eth-0-0,eth-0-2x", 0, "3 0:0 2:0 127:0 "},
        {full.c_str(), 0, "128 " + all}, {over.c_str(), -1, "0 "}, {"", -1, "0 "}, {nullptr, -1, "0 "},
    };
    for (const auto &c : cases) {
        port_set set{};
        EXPECT_EQ(port_set_parse(c.list, &set), c.rc) << c.list;
        std::string got = std::to_string(set.count) + " ";
        for (const auto &e : set.entries)
            got += e.flags ? std::to_string(e.port) + ":" + std::to_string(e.slot) + " " : "";
        EXPECT_EQ(got, c.want) << c.list;
    }
}

// What port_status_parse gives: "rc name|status|duplex|speed|mode|media slot:port:sub"
// ("-" and KEEP: left alone); numbers: slot, port and sub-port asked for.
std::string status_columns(const std::string &line, bool numbers)
{
    char w[6][64] = {"-", "-", "-", "-", "-", "-"};
    int32_t slot = KEEP, port = KEEP, sub = KEEP;
    std::string got = std::to_string(port_status_parse(line.c_str(), w[0], numbers ? &slot : nullptr, &port, &sub, w[1],
                                                       w[2], w[3], w[4], w[5])) + " " + w[0];
    for (int i = 1; i < 6; ++i)
        got += std::string("|") + w[i];
    return got + " " + std::to_string(slot) + ":" + std::to_string(port) + ":" + std::to_string(sub);
}

TEST_F(IntfTest, StatusLineToRowAndColumns)
{
    // row: the values of the keys below; at: port_status_parse's slot:port:sub, "" for a line it refuses.
    const struct { std::string line; int rc; std::string row, at; } cases[] = {
        {"eth-0-1 up a b c 1000BASE_T", 0, " slot0.1|eth-0-1|up|a|b|c|1000BASE_T|no|no|<unset>", "0:1:0"},
        {"eth-0-3\tADMIN down\r a b c SFP x y\n", 0, " slot0.1|eth-0-3|admindown|a|b|c|SFP|yes|yes|x", "0:3:0"},
        {"eth-2-3 down a b c Unknown", 0, " slot2.1|eth-2-3|down|a|b|c|Unknown|yes|yes|<unset>", "2:3:0"},
        {"eth-0-200 up a b c 10gbase_t", 0, " slot0.1|eth-0-200|up|a|b|c|10gbase_t|no|no|<unset>", "0:200:0"},
        {"eth-1-3/2 admin down full 1000 trunk SFP d", 0, " slot1.1|eth-1-3/2|admindown|full|1000|trunk|SFP|yes|yes|d", "1:3:2"},
        {"eth-0-1 up a b c", -1, "", ""}, {"eth-0-1 admin down a b c", -1, "", ""}, {"eth-x-1 up a b c d", 0, "", ""},
        {" \t\r\n", -1, "", ""},
    };
    port_set set{};
    ASSERT_EQ(port_set_parse("eth-1-3", &set), 0);
    for (const auto &c : cases) {
        fresh();
        EXPECT_EQ(intf_status_to_hdf(cgi_, c.line.c_str(), &set), c.rc) << c.line;
        EXPECT_EQ(rows(cgi_, {"name", "pstatus", "duplex", "speed", "mode", "type", "select", "issfp", "desc"}), c.row);
        EXPECT_EQ(intf_seq_slot0 + intf_seq_other, c.row.empty() ? 0u : 1u) << c.line;
        // A row's first six values, each in its own output; a line refused leaves every output alone.
        const std::string six = rows(cgi_, {"name", "pstatus", "duplex", "speed", "mode", "type"});
        EXPECT_EQ(status_columns(c.line, true), c.at.empty() ? "-1 -|-|-|-|-|- -7:-7:-7"
                                                             : "0 " + six.substr(six.find('|') + 1) + " " + c.at);
    }
    // A name no prefix matches, or numbers not asked for: the columns, the numbers left alone.
    EXPECT_EQ(status_columns("xe-0-7 up a b c d", true), "0 xe-0-7|up|a|b|c|d -7:-7:-7");
    EXPECT_EQ(status_columns("eth-x-1 up a b c d", false), "0 eth-x-1|up|a|b|c|d -7:-7:-7");
}

TEST_F(IntfTest, StatusReadNumbersRowsAndStopsAtTheFirstOtherLine)
{
    const std::string a = "eth-0-1 up a b c d\n", b = "eth-0-2 up a b c d\n";
    const struct { std::string text, rows; } cases[] = {
        {"Port Status\n" + a + b, ""},
        {"\n#c\n" + a + "eth-1-1 up a b c d\r\n\n# eth-0-9\n" + b + "eth-2-5 up a b c d",
         " slot0.1|eth-0-1 slot0.2|eth-0-2 slot1.1|eth-1-1 slot2.2|eth-2-5"},
        {a + "eth-0-5 up\n" + b, " slot0.1|eth-0-1"}, {a + "agg1 up a b c d\n" + b, " slot0.1|eth-0-1"},
        {"ETH-0-4 up a b c d\n" + b, " slot0.1|eth-0-2"}, {std::string("\1\xff\0", 3) + a + b, ""},
        // a line of 2047 characters and more is read in pieces
        {"eth-0-3 up a b c d " + std::string(2047 - 19, 'x') + "eth-0-7 up a b c d\n" + b,
         " slot0.1|eth-0-3 slot0.2|eth-0-7 slot0.3|eth-0-2"},
    };
    for (const auto &c : cases) {
        fresh();
        write_file(res_file_path, c.text);
        EXPECT_EQ(intf_status_read(cgi_, nullptr), 0);
        EXPECT_EQ(rows(cgi_), c.rows) << c.text;
    }
    unlink(res_file_path);
    EXPECT_EQ(intf_status_read(cgi_, nullptr), -1);
}

TEST_F(IntfTest, QosShapePolicerAndEnableLines)
{
    mkdir("/tmp/stub", 0755);
    write_file("/tmp/stub/imish", "#!/bin/sh\nexec cat /tmp/out.txt\n", 0755); // the output of every command
    imish_from("/tmp/stub");
    const std::string pol = " cbs 2 ebs 3 pir 4 pbs 5 drop-color c";
    const struct { std::string out; std::map<std::string, std::string> want; } cases[] = {
        {"Queue 1 class 1 DRR weight 2\nQueue 2 nonesuch\nQueue 3 shape with CIR 1 kbps\nQueue\t4none\nQueue 6 none x\n"
         "queue 7 none\nenabled\n" + std::string(254, 'x') + "Enable\ninput m cir 1" + pol + " u\nInputs m cir 9" +
             pol + " u\nOutput m cir 7" + pol + "\n",
         {{"queue.1.cir", "<unset>"}, {"queue.2.cir", "<unset>"}, {"queue.3.cir", "<unset>"}, {"queue.4.cir", "<null>"},
          {"queue.6.pir", "<null>"}, {"queue.7.cir", "<unset>"}, {"qos_enable", "disable"}, {"output_cir", "1"},
          {"output_use_l3_length", "u"}, {"input_cir", "9"}}},
        // lines of 256 characters and more are read in pieces of 255
        {"Queue 7 shape with CIR " + std::string(300, '1') + " kbps PIR 2 kbps\n" + std::string(1000, '\xff') +
             "\nshape average rate " + std::string(400, 'r') + "\nQueue 0 none\n" + std::string(255, 'x') + "Enable",
         {{"queue.7.cir", "<unset>"}, {"queue.0.cir", "<null>"}, {"shape.rate", std::string(236, 'r')},
          {"qos_enable", "enable"}, {"input_color_mode", "color-blind"}, {"input_cir", "<unset>"}}},
    };
    for (const auto &c : cases) {
        fresh();
        write_file("/tmp/out.txt", c.out);
        EXPECT_EQ(qos_shape_load(cgi_, "eth-0-1"), 0);
        EXPECT_EQ(qos_policer_load(cgi_, "eth-0-1"), 0);
        expect(c.want);
    }
}

TEST_F(IntfTest, SimQosLoadersReadTheLowestSelectedPort)
{
    imish_from(SIM_BIN_DIR);
    mkdir("/tmp/sim_switch", 0755);
    write_file("/tmp/sim_switch/state",
               "imish-state 1\nqos disable\nport eth-0-5 shape=555 police-out=color-aware/9/9/9/9/9/red/NO\n"
               "port eth-1-2 admin=down shape=750 qshape=none,none,none,3/4,none,none,none,none "
               "police-out=color-aware/1/2/3/4/5/yellow/YES\n");
    const char *list = "eth-0-5,eth-1-2";
    EXPECT_EQ(qos_shape_load(cgi_, list), 0);
    expect({{"qos_enable", "disable"}, {"shape.rate", "750"}, {"queue.3.cir", "3"}, {"queue.3.pir", "4"},
            {"queue.0.cir", "<null>"}, {"intf.slot1.1.pstatus", "admindown"}, {"Interface.ifname", list}});
    fresh();
    EXPECT_EQ(qos_policer_load(cgi_, list), 0);
    expect({{"output_cir", "1"}, {"output_pbs", "5"}, {"output_drop_color", "yellow"}, {"input_cir", "<unset>"}});
    fresh(); // queues 2 and 5 fail the check, which compares first characters only
    qos_class_row expected[QOS_QUEUE_COUNT] = {"0", "1", "x", "3abc", "4", "x", "6", "7"};
    char err[ERR_TEXT_SIZE] = "";
    EXPECT_EQ(qos_class_load(cgi_, list, 1, err, expected), 0);
    for (auto [q, table] : {std::pair<int, qos_class_row *>{-1, expected}, {QOS_QUEUE_COUNT, expected}, {0, nullptr}})
        EXPECT_EQ(queue_class_set(cgi_, q, "x", "1", 1, err, table), -1) << q; // no row: no store, no message
    expect({{"queue.3.class", "3"}, {"queue.3.drrweight", "4"}, {"queue.7.drrweight", "8"},
            {"queue.8.class", "<unset>"}, {"queue.-1.class", "<unset>"}, {"queue.2.class", "<unset>"},
            {"queue.5.drrweight", "<unset>"}});
    EXPECT_STREQ(err, "Failed to map queue to class. Packets in queue 5 cannot be cleared. Please retry later.");
    for (const char *none : {"", static_cast<const char *>(nullptr)}) { // no port selected; null is the empty list
        fresh();
        EXPECT_EQ(qos_shape_load(cgi_, none), 0);
        expect({{"shape.rate", "<unset>"}, {"Interface.ifname", ""}, {"intf.slot0.1.select", "no"}});
        fresh();
        EXPECT_EQ(qos_class_load(cgi_, none, 0, nullptr, nullptr), 0);
        expect({{"Interface.ifname", ""}, {"queue.0.class", "<unset>"}});
    }
}

} // namespace
