// Drives the imish stand-in as the pages do: a command file in, result bytes out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "test_util.h"

namespace {

const std::string DIR = "/tmp/imish_test", STATE = DIR + "/switch/state";
int g_files = 0;

// Runs the commands as the pages do, in configuration or show (-w) mode.
proc_result run(const std::string &commands, bool show_mode = false)
{
    std::string file = DIR + "/cmd" + std::to_string(g_files++);
    std::filesystem::create_directories(DIR);
    write_file(file, commands);
    std::vector<std::string> argv = {SIM_BIN_DIR "/imish", "-g", "-y", "-f", file};
    if (show_mode)
        argv.insert(argv.begin() + 3, "-w");
    proc_result r = run_process(argv, {"SIM_SWITCH_STATE=" + STATE});
    EXPECT_EQ(r.err, "");
    return r;
}

// A listing as the page reads it: six header lines, then an entry a line
// (runs of blanks cut to one here).
std::vector<std::string> entries(const std::string &filter = "", const std::string &show = "show mac address-table static")
{
    std::istringstream in(run(show + filter + "\n", true).out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::regex_replace(line, std::regex(" +"), " "));
    EXPECT_GE(lines.size(), 6u);
    return {lines.begin() + std::min<std::size_t>(lines.size(), 6), lines.end()};
}

class ImishSim : public ::testing::Test {
    void SetUp() override { std::filesystem::remove_all(DIR); }
};

TEST_F(ImishSim, RefusalsAreOneLineEachAndAddsListSorted)
{
    const std::string add = "mac-address-table 00e0.fc0a.b1c2 forward ";
    EXPECT_EQ(run(add + "eth-0-1 vlan 10\n", true).out,
              "% Configuration command not allowed in show mode: mac-address-table\n");
    EXPECT_EQ(entries(), std::vector<std::string>());
    // An invalid MAC and an absent VLAN in an add: page_test's, on the add page.
    const std::string rows[][2] = {
        {add + "eth-0-25 vlan 10", "% Cannot add 00e0.fc0a.b1c2 to VLAN 10: interface eth-0-25 does not exist"},
        {"mac-address-table 0100.5E00.0001 forward eth-0-1 vlan 1",
         "% Cannot add 0100.5e00.0001 to VLAN 1: multicast MAC address not allowed"},
        {add + "eth-0-1 vlan 4095", "% Invalid VLAN ID 4095 (range 1-4094)"},
        {add + "eth-0-1 vlan", "% Incomplete command"},
        {"show mac address-table static vlan 99", "% VLAN 99 does not exist"},
        {"frobnicate the switch", "% Unknown command: frobnicate the switch"},
    };
    std::string commands, expected;
    for (const auto &[command, reply] : rows)
        commands += command + "\n", expected += reply + "\n";
    proc_result r = run(commands + add + "eth-0-2 vlan 20\nmac-address-table 00E0.FC0A.B1C1 forward agg3 vlan 20\n"
                                         "mac-address-table 0200.0000.0001 forward eth-0-24 vlan 1\n");
    EXPECT_EQ(std::make_pair(r.status, r.out), std::make_pair(0, expected));
    const std::vector<std::string> all = {
        "1 0200.0000.0001 static eth-0-24", "20 00e0.fc0a.b1c1 static agg3", "20 00e0.fc0a.b1c2 static eth-0-2"};
    EXPECT_EQ(entries(), all);
    EXPECT_EQ(entries(" vlan 20"), std::vector<std::string>(all.begin() + 1, all.end()));

    const std::string damaged = "imish-state 1\nport eth-0-1 speed=fast\n";
    write_file(STATE, damaged);
    r = run(add + "eth-0-1 vlan 10\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.starts_with("% Switch state unavailable: " + STATE)) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_EQ(read_file(STATE), damaged);
}

TEST_F(ImishSim, ConcurrentAddsAllLand)
{
    std::string shows; // keep the runs overlapping
    for (int i = 0; i < 10; ++i)
        shows += "show interface switchport\n";
    pid_t kids[16];
    for (int p = 0; p < 16; ++p)
        if ((kids[p] = fork()) == 0) {
            g_files = 100 + p; // a command file of its own
            _exit(run(shows + "mac-address-table 0200.0000.00" + std::to_string(10 + p) +
                      " forward eth-0-1 vlan 1\n" + shows).status);
        }
    for (pid_t pid : kids) {
        int status = -1;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && status == 0);
    }
    EXPECT_EQ(entries().size(), 16u);
}

TEST_F(ImishSim, LearnedEntriesBesideStaticOnesAStaticOneTakingTheirPlace)
{
    const std::string dynamic = "show mac address-table dynamic", all = "show mac address-table";
    auto learn = [](std::vector<std::string> args) {
        args.insert(args.begin(), {SIM_BIN_DIR "/imish", "--learn"});
        return run_process(args, {"SIM_SWITCH_STATE=" + STATE}).status;
    };
    for (const auto &bad : std::vector<std::vector<std::string>>{{}, {"x"}, {"32769"}, {"5", "1", "2"}})
        EXPECT_EQ(learn(bad), 1);
    ASSERT_EQ(learn({"300", "7"}), 0);
    const std::vector<std::string> learned = entries("", dynamic);
    ASSERT_EQ(learned.size(), 300u);
    EXPECT_TRUE(std::is_sorted(learned.begin(), learned.end(), [](const std::string &a, const std::string &b) {
        return std::stoi(a) != std::stoi(b) ? std::stoi(a) < std::stoi(b) : a < b;
    }));
    std::set<std::string> ports;
    for (const std::string &row : learned) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(row, m, std::regex("(1|10|20|30) [0-9a-f]{4}\\.[0-9a-f]{4}\\.[0-9a-f]{4} dynamic (\\S+)")))
            << row;
        EXPECT_EQ(std::stoi(row.substr(row.find(' ') + 1, 2), nullptr, 16) & 3, 0) << "not global unicast: " << row;
        ports.insert(m[2]);
    }
    // Spread over the ports that are up: not the two shut down.
    EXPECT_GT(ports.size(), 20u);
    EXPECT_FALSE(ports.contains("eth-0-7") || ports.contains("eth-0-8"));
    EXPECT_EQ(entries(" vlan 10", dynamic).size(),
              static_cast<std::size_t>(std::count_if(learned.begin(), learned.end(),
                                                     [](const std::string &r) { return r.starts_with("10 "); })));
    // The same traffic learns the same table.
    std::filesystem::remove_all(DIR);
    ASSERT_EQ(learn({"300", "7"}), 0);
    EXPECT_EQ(entries("", dynamic), learned);

    // A static entry for a learned key takes its place, on the port it names;
    // removed, it leaves no entry behind.
    std::istringstream first(learned[0]);
    std::string vlan, mac, type, intf;
    first >> vlan >> mac >> type >> intf;
    const std::string other = intf == "agg8" ? "agg7" : "agg8";
    EXPECT_EQ(run("mac-address-table " + mac + " forward " + other + " vlan " + vlan + "\n").out, "");
    std::vector<std::string> both = entries("", all), expected = learned;
    expected[0] = vlan + " " + mac + " static " + other;
    EXPECT_EQ(both, expected);
    const std::string header = run(all + "\n", true).out;
    EXPECT_TRUE(header.starts_with("MAC address table\n=================\nEntries: 300\n\n")) << header;
    EXPECT_EQ(entries("", dynamic), std::vector<std::string>(learned.begin() + 1, learned.end()));
    EXPECT_EQ(run("no mac-address-table " + mac + " vlan " + vlan + "\n").out, "");
    EXPECT_EQ(entries("", all), std::vector<std::string>(learned.begin() + 1, learned.end()));

    // The table holds what it has room for, and a key stands in one table only.
    ASSERT_EQ(learn({"32768", "9"}), 0);
    EXPECT_NE(run(dynamic + "\n", true).out.find("\nEntries: 32768\n"), std::string::npos);
    const std::string state = read_file(STATE);
    write_file(STATE, state + "mac " + learned[1].substr(0, learned[1].find(" dynamic")) + " eth-0-1\n");
    EXPECT_EQ(run(all + "\n", true).status, 1);
}

} // namespace
