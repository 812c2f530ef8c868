// Drives the imish stand-in as the pages do: a command file in, result bytes out.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "test_util.h"

namespace {

// The lines of text; squeezed, with each run of blanks cut to one.
std::vector<std::string> lines_of(const std::string &text, bool squeeze = false)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(squeeze ? std::regex_replace(line, std::regex(" +"), " ") : line);
    return lines;
}

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

// The static listing as the page reads it: six header lines, then an entry a line.
std::vector<std::string> entries(const std::string &filter = "")
{
    auto lines = lines_of(run("show mac address-table static" + filter + "\n", true).out, true);
    EXPECT_GE(lines.size(), 6u);
    return {lines.begin() + std::min<std::size_t>(lines.size(), 6), lines.end()};
}

class ImishSim : public ::testing::Test {
    void SetUp() override { std::filesystem::remove_all(DIR); }
};

TEST_F(ImishSim, SwitchportListsEveryPortOnceEthernetFirst)
{
    std::vector<std::string> names, expected;
    for (const std::string &line : lines_of(run("show interface switchport\n", true).out))
        if (line.rfind(" Interfac", 0) == 0) // as the add page reads it
            names.push_back(line.substr(line.rfind(": ") + 2));
    for (int i = 1; i <= 32; ++i)
        expected.push_back(i <= 24 ? "eth-0-" + std::to_string(i) : "agg" + std::to_string(i - 24));
    EXPECT_EQ(names, expected);
}

TEST_F(ImishSim, AddedEntriesListSortedWithAndWithoutVlan)
{
    const std::string add = "mac-address-table 00E0.FC0A.B1C2 forward eth-0-2 vlan 20\n";
    EXPECT_EQ(run(add, true).out, "% Configuration command not allowed in show mode: mac-address-table\n");
    EXPECT_EQ(entries(), std::vector<std::string>());
    EXPECT_EQ(run(add + "mac-address-table 00e0.fc0a.b1c1 forward agg3 vlan 20\n"
                        "mac-address-table 0200.0000.0001 forward eth-0-24 vlan 1\n").out, "");
    const std::vector<std::string> all = {
        "1 0200.0000.0001 static eth-0-24", "20 00e0.fc0a.b1c1 static agg3", "20 00e0.fc0a.b1c2 static eth-0-2"};
    EXPECT_EQ(entries(), all);
    EXPECT_EQ(entries(" vlan 20"), std::vector<std::string>(all.begin() + 1, all.end()));
}

TEST_F(ImishSim, EachRefusalIsOneLine)
{
    const std::string add = "mac-address-table 00e0.fc0a.b1c2 forward ";
    const std::string rows[][2] = {
        {"mac-address-table 00e0.fc0a.b1cz forward eth-0-1 vlan 10", "% Invalid MAC address 00e0.fc0a.b1cz"},
        {add + "eth-0-25 vlan 10", "% Interface eth-0-25 does not exist"},
        {add + "eth-0-1 vlan 99", "% VLAN 99 does not exist"},
        {add + "eth-0-1 vlan 4095", "% Invalid VLAN ID 4095 (range 1-4094)"},
        {add + "eth-0-1 vlan", "% Incomplete command"},
        {"show mac address-table static vlan 99", "% VLAN 99 does not exist"},
        {"frobnicate the switch", "% Unknown command: frobnicate the switch"},
    };
    std::string commands, expected;
    for (const auto &[command, reply] : rows)
        commands += command + "\n", expected += reply + "\n";
    proc_result r = run(commands + add + "eth-0-1 vlan 10\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(entries(), std::vector<std::string>{"10 00e0.fc0a.b1c2 static eth-0-1"});

    const std::string damaged = "imish-state 1\nport eth-0-1 speed=fast\n";
    write_file(STATE, damaged);
    r = run(add + "eth-0-1 vlan 10\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.starts_with("% Switch state unavailable: " + STATE)) << r.out;
    EXPECT_EQ(lines_of(r.out).size(), 1u);
    EXPECT_EQ(read_file(STATE), damaged);
}

// What the interface and QoS loaders look for in a fresh switch's shows.
TEST_F(ImishSim, StatusAndQosShowsAsTheLoadersReadThem)
{
    auto status = lines_of(run("show interface status | include eth-\n", true).out, true);
    ASSERT_EQ(status.size(), 24u);
    EXPECT_EQ(status[0], "eth-0-1 up a-full a-1000 access 1000BASE_T uplink");
    std::string qos = run("show qos\nshow web qos interface eth-0-1\n"
                          "show web qos policer interface eth-0-1\n", true).out;
    for (const char *holds : {"Status           : Enabled\n", "Queue 0 class 0 DRR weight 1\n",
                              "Queue 0 shape with CIR 1000 kbps PIR 2000 kbps\n",
                              "Input color-blind cir 10000 cbs 64000 ebs 128000 pir 20000 pbs 128000"})
        EXPECT_NE(qos.find(holds), std::string::npos) << holds;
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

} // namespace
