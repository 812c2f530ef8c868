// Drives the imish stand-in as the page does: a command file in, result bytes out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "test_util.h"

namespace {

const std::string IMISH = SIM_BIN_DIR "/imish";

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> words_of(const std::string &line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// Interface names as the add page reads them: lines starting " Interfac",
// the name after the last ": ".
std::vector<std::string> interface_names(const std::string &out)
{
    std::vector<std::string> names;
    for (const std::string &line : split_lines(out))
        if (line.rfind(" Interfac", 0) == 0)
            names.push_back(line.substr(line.rfind(':') + 2));
    return names;
}

// Entries as the listing page reads them: six header lines skipped, then the
// four words of each line, joined by single blanks.
std::vector<std::string> static_entries(const std::string &out)
{
    std::vector<std::string> lines = split_lines(out);
    std::vector<std::string> entries;
    for (std::size_t i = 6; i < lines.size(); ++i) {
        std::vector<std::string> w = words_of(lines[i]);
        EXPECT_EQ(w.size(), 4u) << "entry line: " << lines[i];
        if (w.size() == 4)
            entries.push_back(w[0] + " " + w[1] + " " + w[2] + " " + w[3]);
    }
    return entries;
}

// n one-letter words.
std::string words(int n)
{
    std::string s = "w";
    for (int i = 1; i < n; ++i)
        s += " w";
    return s;
}

class ImishSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/imish_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        state_ = dir_ + "/switch/state";
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::vector<std::string> env() const { return {"SIM_SWITCH_STATE=" + state_}; }

    std::string cmd_file(const std::string &commands)
    {
        std::string path = dir_ + "/cmd" + std::to_string(files_++);
        write_file(path, commands);
        return path;
    }

    // Runs the commands as the page does, in configuration or show mode.
    proc_result run(const std::string &commands, bool show_mode = false)
    {
        std::vector<std::string> argv = {IMISH, "-g", "-y"};
        if (show_mode)
            argv.push_back("-w");
        argv.push_back("-f");
        argv.push_back(cmd_file(commands));
        proc_result r = run_process(argv, env());
        EXPECT_EQ(r.err, "");
        return r;
    }

    std::vector<std::string> entries(const std::string &filter = "")
    {
        return static_entries(run("show mac address-table static" + filter + "\n", true).out);
    }

    std::string dir_;
    std::string state_;
    int files_ = 0;
};

TEST_F(ImishSim, FreshSwitchListsEveryPortOnceEthernetFirst)
{
    proc_result r = run("show interface switchport\n", true);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> expected;
    for (int i = 1; i <= 24; ++i)
        expected.push_back("eth-0-" + std::to_string(i));
    for (int i = 1; i <= 8; ++i)
        expected.push_back("agg" + std::to_string(i));
    EXPECT_EQ(interface_names(r.out), expected);
    EXPECT_EQ(r.out.rfind(" Interface name      : eth-0-1\n", 0), 0u);
    EXPECT_EQ(r.out.find('%'), std::string::npos);
    EXPECT_FALSE(path_exists(state_)) << "a show must not create the state";
}

TEST_F(ImishSim, StaticListingHasSixHeaderLinesAndSortedEntries)
{
    std::string empty = run("show mac address-table static\n", true).out;
    EXPECT_EQ(split_lines(empty).size(), 6u);
    EXPECT_EQ(empty.find('%'), std::string::npos);

    // Added out of order and in upper case; show runs in configuration mode too.
    proc_result r = run("mac-address-table 00E0.FC0A.B1C2 forward eth-0-2 vlan 20\n"
                        "mac-address-table 00e0.fc0a.b1c1 forward agg3 vlan 20\n"
                        "mac-address-table 0200.0000.0001 forward eth-0-24 vlan 1\n"
                        "mac-address-table 00e0.fc0a.b1c0 forward eth-0-1 vlan 10\n"
                        "show mac address-table static\n");
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> all = {
        "1 0200.0000.0001 static eth-0-24",
        "10 00e0.fc0a.b1c0 static eth-0-1",
        "20 00e0.fc0a.b1c1 static agg3",
        "20 00e0.fc0a.b1c2 static eth-0-2",
    };
    EXPECT_EQ(static_entries(r.out), all);
    EXPECT_EQ(r.out.find('%'), std::string::npos);
    EXPECT_EQ(entries(), all);
    EXPECT_EQ(entries(" vlan 20"), std::vector<std::string>(all.begin() + 2, all.end()));
    EXPECT_EQ(entries(" vlan 30"), std::vector<std::string>());
    EXPECT_EQ(run("show mac address-table static vlan 99\n", true).out, "% VLAN 99 does not exist\n");

    EXPECT_EQ(run("show mac address-table static | include agg\n", true).out,
              "20    00e0.fc0a.b1c1  static   agg3\n");
    EXPECT_EQ(interface_names(run("show interface switchport | exclude eth-\n", true).out).size(), 8u);
}

TEST_F(ImishSim, EachRefusalIsOneLineAndTheRunGoesOn)
{
    const std::string good = " forward eth-0-1 vlan 10";
    const struct {
        std::string command;
        std::string reply;
    } cases[] = {
        {"mac-address-table 00e0.fc0a.b1cz" + good, "% Invalid MAC address 00e0.fc0a.b1cz"},
        {"mac-address-table 00e0.fc0a" + good, "% Invalid MAC address 00e0.fc0a"},
        {"mac-address-table 00e0.fc0a.b1c2.0000" + good, "% Invalid MAC address 00e0.fc0a.b1c2.0000"},
        {"mac-address-table 0e0.fc0a.b1c2" + good, "% Invalid MAC address 0e0.fc0a.b1c2"},
        {"mac-address-table 00e0.fc0a.b1c22" + good, "% Invalid MAC address 00e0.fc0a.b1c22"},
        {"mac-address-table 00e0:fc0a:b1c2" + good, "% Invalid MAC address 00e0:fc0a:b1c2"},
        {"mac-address-table .." + good, "% Invalid MAC address .."},
        {"mac-address-table 0100.5e00.0001" + good, "% Multicast MAC address not allowed"},
        {"mac-address-table 0300.0000.0000" + good, "% Multicast MAC address not allowed"},
        {"mac-address-table FFFF.ffff.ffff" + good, "% Multicast MAC address not allowed"},
        {"mac-address-table 0000.0000.0000" + good, "% All-zero MAC address not allowed"},
        {"mac-address-table 00e0.fc0a.b1c2 forward eth-0-25 vlan 10", "% Interface eth-0-25 does not exist"},
        {"mac-address-table 00e0.fc0a.b1c2 forward ETH-0-1 vlan 10", "% Interface ETH-0-1 does not exist"},
        {"mac-address-table 00e0.fc0a.b1c2 forward agg9 vlan 10", "% Interface agg9 does not exist"},
        {"mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 99", "% VLAN 99 does not exist"},
        {"mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 0", "% Invalid VLAN ID 0 (range 1-4094)"},
        {"mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 4095", "% Invalid VLAN ID 4095 (range 1-4094)"},
        {"mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 1x", "% Invalid VLAN ID 1x (range 1-4094)"},
        {"mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan", "% Incomplete command"},
        {"mac-address-table 00e0.fc0a.b1c2 forward  vlan 10", "% Incomplete command"},
        {"mac-address-table", "% Incomplete command"},
        {"mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 10 now", "% Unexpected word: now"},
        {"mac-address-table 00e0.fc0a.b1c2 to eth-0-1 vlan 10", "% Expected forward instead of to"},
        {"no mac-address-table 00e0.fc0a.b1c9 vlan 10", "% No static entry for 00e0.fc0a.b1c9 in VLAN 10"},
        {"show mac address-table static vlan", "% Incomplete command"},
        {"show mac address-table static port 1", "% Expected vlan instead of port"},
        {"show interface switchport brief", "% Unexpected word: brief"},
        {"show interface status eth-0-1", "% Unexpected word: eth-0-1"},
        {"show qos all", "% Unexpected word: all"},
        {"show web qos interface", "% Incomplete command"},
        {"show web qos interface eth-0-25", "% Interface eth-0-25 does not exist"},
        {"show web qos policer interface eth-0-1 eth-0-2", "% Unexpected word: eth-0-2"},
        {"show web qos", "% Unknown command: show web qos"},
        {"show mac", "% Unknown command: show mac"},
        {"  frobnicate\t the  switch", "% Unknown command: frobnicate the switch"},
        {"show interface switchport | grep eth",
         "% Invalid output filter (use: | include TEXT or | exclude TEXT after a show command)"},
        {"mac-address-table 00e0.fc0a.b1c2" + good + " | include x",
         "% Invalid output filter (use: | include TEXT or | exclude TEXT after a show command)"},
        {std::string("show\x01 mac"), "% Command holds a byte that is not printable text"},
        {std::string("show mac\xff"), "% Command holds a byte that is not printable text"},
        {std::string("show\0mac", 8), "% Command holds a byte that is not printable text"},
        {words(33),
         "% Too many words in command (over 32)"},
    };
    std::string commands, expected;
    for (const auto &c : cases) {
        commands += c.command + "\n\n";
        expected += c.reply + "\n";
    }
    commands += "mac-address-table 00e0.fc0a.b1c2" + good + "\n";
    proc_result r = run(commands);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(entries(), std::vector<std::string>{"10 00e0.fc0a.b1c2 static eth-0-1"});
}

TEST_F(ImishSim, SameAddressAndVlanReplacesThePortAndNoRemoves)
{
    const std::string mac = "00e0.fc0a.b1c2";
    EXPECT_EQ(run("mac-address-table " + mac + " forward eth-0-1 vlan 10\n").out, "");
    EXPECT_EQ(run("mac-address-table " + mac + " forward eth-0-2 vlan 10\n"
                  "mac-address-table " + mac + " forward agg1 vlan 20\n").out, "");
    EXPECT_EQ(entries(), (std::vector<std::string>{"10 " + mac + " static eth-0-2",
                                                   "20 " + mac + " static agg1"}));

    proc_result r = run("no mac-address-table " + mac + " forward eth-0-1 vlan 10\n"
                        "no mac-address-table " + mac + " forward eth-0-2 vlan 10\n"
                        "no mac-address-table " + mac + " vlan 20\n");
    EXPECT_EQ(r.out, "% Static entry " + mac + " in VLAN 10 is on eth-0-2, not eth-0-1\n");
    EXPECT_EQ(entries(), std::vector<std::string>());
}

TEST_F(ImishSim, ShowModeRefusesConfigurationCommands)
{
    proc_result r = run("mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 10\n"
                        "no mac-address-table 00e0.fc0a.b1c2 vlan 10\n",
                        true);
    EXPECT_EQ(r.out, "% Configuration command not allowed in show mode: mac-address-table\n"
                     "% Configuration command not allowed in show mode: no mac-address-table\n");
    EXPECT_FALSE(path_exists(state_));
    EXPECT_EQ(entries(), std::vector<std::string>());
}

TEST_F(ImishSim, OverlongLinesAndHugeFilesAreBounded)
{
    const std::string show = "show interface switchport";
    std::string commands = show + std::string(1024 - show.size(), ' ') + "\n"; // at the limit
    commands += show + std::string(1025 - show.size(), ' ') + "\n";            // one byte over
    commands += std::string(200000, 'A') + "\n";
    commands += "show mac address-table static | include 0200.\r\n"; // CRLF file
    for (int i = 0; i < 1100; ++i) {
        char mac[16];
        std::snprintf(mac, sizeof mac, "0200.0000.%04x", i);
        commands += std::string("mac-address-table ") + mac + " forward eth-0-1 vlan 1\n";
    }
    commands += std::string(5000, 'B'); // last line, no line feed
    proc_result r = run(commands);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_GT(lines.size(), 32u * 6 + 2);
    EXPECT_EQ(interface_names(r.out).size(), 32u);
    std::vector<std::string> errors;
    for (const std::string &line : lines)
        if (line.find('%') != std::string::npos)
            errors.push_back(line);
    std::vector<std::string> expected = {"% Command line too long (over 1024 bytes)",
                                         "% Command line too long (over 1024 bytes)"};
    expected.insert(expected.end(), 1100 - 1024, "% MAC address table is full (1024 entries)");
    expected.push_back("% Command line too long (over 1024 bytes)");
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(entries().size(), 1024u);
}

TEST_F(ImishSim, UsageErrorsGoToStandardErrorWithStatusOne)
{
    const std::string missing = dir_ + "/no-such-file";
    const std::vector<std::vector<std::string>> cases = {
        {IMISH},
        {IMISH, "-g", "-y", "-x", "-f", cmd_file("show mac address-table static\n")},
        {IMISH, "-g", "-y", "-f"},
        {IMISH, "-g", "-y", "-w", "-f", missing},
        {IMISH, "-g", "-y", "-w", "-f", dir_},
        {IMISH, "--reset", "-f", cmd_file("")},
    };
    for (const auto &argv : cases) {
        proc_result r = run_process(argv, env());
        EXPECT_EQ(r.status, 1) << argv.back();
        EXPECT_EQ(r.out, "") << argv.back();
        EXPECT_NE(r.err, "") << argv.back();
    }
    EXPECT_FALSE(path_exists(state_));
}

TEST_F(ImishSim, StateFileIsReadWrittenAndReset)
{
    ASSERT_TRUE(std::filesystem::create_directories(dir_ + "/switch"));
    write_file(state_, "# hand-made\nimish-state 1\n"
                       "port eth-0-7 mode=trunk pvid=10\nport agg2\n"
                       "vlan 10\nvlan 1\nmac 10 00e0.fc0a.b1c2 agg2\n");
    proc_result r = run("show interface switchport\n", true);
    EXPECT_EQ(r.out, " Interface name      : eth-0-7\n"
                     "   Port type         : ethernet\n"
                     "   Switchport mode   : trunk\n"
                     "   Default VLAN      : 10\n"
                     "   Static MAC entries: 0\n\n"
                     " Interface name      : agg2\n"
                     "   Port type         : aggregation\n"
                     "   Switchport mode   : access\n"
                     "   Default VLAN      : 1\n"
                     "   Static MAC entries: 1\n\n");

    EXPECT_EQ(run("mac-address-table 0000.0000.0001 forward eth-0-7 vlan 1\n").out, "");
    // Settings the hand-made file left out are written with the name's defaults.
    const std::string qos = " shape=none qshape=none,none,none,none,none,none,none,none"
                            " qclass=0/1,1/2,2/3,3/4,4/5,5/6,6/7,7/8 police-in=none police-out=none\n";
    EXPECT_EQ(read_file(state_), "# simulated switch state, rewritten by every imish run that changes it\n"
                                 "imish-state 1\n"
                                 "qos enable\n"
                                 "port eth-0-7 mode=trunk pvid=10 admin=down link=down duplex=auto"
                                 " speed=auto media=1000BASE_T desc=" + qos +
                                 "port agg2 mode=access pvid=1 admin=up link=down duplex=auto"
                                 " speed=auto media=Unknown desc=" + qos +
                                 "vlan 1\nvlan 10\n"
                                 "mac 1 0000.0000.0001 eth-0-7\n"
                                 "mac 10 00e0.fc0a.b1c2 agg2\n");
    std::vector<std::string> left = dir_entries(dir_ + "/switch");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"state", "state.lock"})) << "no temporary file left";

    EXPECT_EQ(run_process({IMISH, "--reset"}, env()).status, 0);
    EXPECT_FALSE(path_exists(state_));
    EXPECT_EQ(interface_names(run("show interface switchport\n", true).out).size(), 32u);
}

TEST_F(ImishSim, DamagedStateIsReportedAndKept)
{
    const std::string damaged[] = {
        "",
        "port eth-0-1\n",
        "imish-state 2\n",
        "imish-state 1\nport eth-0-1 speed=fast\n",
        "imish-state 1\nport eth-0-1\nport eth-0-1\n",
        "imish-state 1\nport eth-0-1\nmac 10 00e0.fc0a.b1c2 eth-0-1\n",
        "imish-state 1\nport Eth%1\n",
        "imish-state 1\nvlan 1\n" + std::string(300, 'x') + "\n",
        "imish-state 1\nqos on\n",
        "imish-state 1\nqos enable disable\n",
        "imish-state 1\nport eth-0-1 admin=off\n",
        "imish-state 1\nport eth-0-1 media=100BASE_FX\n",
        "imish-state 1\nport eth-0-1 desc=a%b\n",
        "imish-state 1\nport eth-0-1 desc=" + std::string(32, 'd') + "\n",
        "imish-state 1\nport eth-0-1 shape=0\n",
        "imish-state 1\nport eth-0-1 shape=100000001\n",
        "imish-state 1\nport eth-0-1 qshape=none,none,none,none,none,none,none\n",
        "imish-state 1\nport eth-0-1 qshape=none,none,none,none,none,none,none,none,none\n",
        "imish-state 1\nport eth-0-1 qshape=1000,none,none,none,none,none,none,none\n",
        "imish-state 1\nport eth-0-1 qshape=99999999999999999999/1,none,none,none,none,none,none,none\n",
        "imish-state 1\nport eth-0-1 qclass=0/1,1/2,2/3,3/4,4/5,5/6,6/7,8/8\n",
        "imish-state 1\nport eth-0-1 qclass=0/1,1/2,2/3,3/4,4/5,5/6,6/7,7/101\n",
        "imish-state 1\nport eth-0-1 police-in=color-blind/1/2/3/4/red/NO\n",
        "imish-state 1\nport eth-0-1 police-out=color-blind/1/2/3/4/5/green/NO\n",
        "imish-state 1\nport eth-0-1 police-out=none/\n",
    };
    ASSERT_TRUE(std::filesystem::create_directories(dir_ + "/switch"));
    for (const std::string &text : damaged) {
        write_file(state_, text);
        proc_result r = run("mac-address-table 00e0.fc0a.b1c2 forward eth-0-1 vlan 10\n");
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_EQ(r.out.rfind("% Switch state unavailable: " + state_, 0), 0u) << text;
        EXPECT_EQ(split_lines(r.out).size(), 1u) << text;
        EXPECT_EQ(read_file(state_), text);
    }
}

TEST_F(ImishSim, ConcurrentRunsLoseNoUpdate)
{
    constexpr int procs = 16;
    std::vector<pid_t> pids;
    std::vector<std::string> outs;
    std::string env_var = "SIM_SWITCH_STATE=" + state_;
    char *envp[] = {env_var.data(), nullptr};
    for (int p = 0; p < procs; ++p) {
        // Shows between the adds keep each run inside its critical section
        // long enough for the runs to overlap.
        std::string cmds;
        for (int k = 0; k < 2; ++k) {
            cmds += "mac-address-table 0200.00" + std::to_string(10 + p) + ".000" + std::to_string(k) +
                    " forward eth-0-" + std::to_string(p + 1) + " vlan 10\n";
            for (int i = 0; i < 20; ++i)
                cmds += "show interface switchport\n";
        }
        std::string file = cmd_file(cmds);
        outs.push_back(file + ".out");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, outs.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> args = {IMISH, "-g", "-y", "-f", file};
        char *argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), nullptr};
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, IMISH.c_str(), &fa, nullptr, argv, envp), 0);
        posix_spawn_file_actions_destroy(&fa);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (const std::string &out : outs)
        EXPECT_EQ(read_file(out).find('%'), std::string::npos);
    EXPECT_EQ(entries().size(), 2u * procs);
}

TEST_F(ImishSim, FreshInterfaceStatusHasTheStatusPageColumns)
{
    proc_result r = run("show interface status | include eth-\n", true);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_EQ(lines.size(), 24u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> w = words_of(lines[i]);
        ASSERT_GE(w.size(), 6u) << lines[i];
        EXPECT_EQ(w[0], "eth-0-" + std::to_string(i + 1));
    }
    const struct {
        int port;
        std::vector<std::string> words;
    } rows[] = {
        {1, {"eth-0-1", "up", "a-full", "a-1000", "access", "1000BASE_T", "uplink"}},
        {4, {"eth-0-4", "up", "full", "100", "access", "1000BASE_T"}},
        {5, {"eth-0-5", "down", "auto", "auto", "access", "1000BASE_T"}},
        {7, {"eth-0-7", "admin", "down", "auto", "auto", "access", "1000BASE_T"}},
        {21, {"eth-0-21", "up", "a-full", "a-1000", "access", "1000BASE_SX"}},
        {23, {"eth-0-23", "down", "auto", "auto", "access", "Unknown"}},
        {24, {"eth-0-24", "up", "a-full", "a-10G", "access", "10GBASE_SR", "core-link"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(words_of(lines[row.port - 1]), row.words);
    EXPECT_EQ(r.out.find('%'), std::string::npos);

    // Unfiltered, a header comes first and the aggregation ports follow.
    lines = split_lines(run("show interface status\n", true).out);
    ASSERT_EQ(lines.size(), 2u + 32u);
    EXPECT_EQ(words_of(lines[0])[0], "Port");
    EXPECT_EQ(words_of(lines.back())[0], "agg8");
}

TEST_F(ImishSim, QosShowsFollowTheStateAndSurviveASave)
{
    const std::string fresh_qos = run("show qos\n", true).out;
    EXPECT_NE(fresh_qos.find("Enabled"), std::string::npos);
    EXPECT_EQ(run("show web qos interface eth-0-1\n", true).out,
              "Interface eth-0-1 queue settings\n"
              "shape average rate 500000 kbps\n"
              "Queue 0 shape with CIR 1000 kbps PIR 2000 kbps\n"
              "Queue 1 none\nQueue 2 none\nQueue 3 none\nQueue 4 none\n"
              "Queue 5 shape with CIR 20000 kbps PIR 40000 kbps\n"
              "Queue 6 none\nQueue 7 none\n"
              "Queue 0 class 0 DRR weight 1\nQueue 1 class 1 DRR weight 2\n"
              "Queue 2 class 2 DRR weight 3\nQueue 3 class 3 DRR weight 4\n"
              "Queue 4 class 4 DRR weight 5\nQueue 5 class 5 DRR weight 6\n"
              "Queue 6 class 6 DRR weight 7\nQueue 7 class 7 DRR weight 8\n");

    // The shows above made the state directory for their lock.
    write_file(state_, "imish-state 1\nqos disable\nvlan 1\n"
                       "port eth-1-3 admin=up link=up duplex=half speed=10 media=1000BASE_LX desc=lab"
                       " shape=none qshape=none,none,7/9,none,none,none,none,100000000/100000000"
                       " qclass=7/100,6/1,5/1,4/1,3/1,2/1,1/1,0/1"
                       " police-in=color-aware/1/2/3/4/5/yellow/YES police-out=none\n");
    const std::string commands = "show qos\n"
                                 "show interface status | include eth-\n"
                                 "show web qos interface eth-1-3\n"
                                 "show web qos policer interface eth-1-3\n";
    const std::string expected =
        "QoS global settings\n"
        "  Status           : Disabled\n"
        "  Queues per port  : 8\n"
        "  Scheduler        : DRR\n"
        "eth-1-3         up         half    10      access  1000BASE_LX  lab\n"
        "Interface eth-1-3 queue settings\n"
        "Port shaping not configured\n"
        "Queue 0 none\nQueue 1 none\n"
        "Queue 2 shape with CIR 7 kbps PIR 9 kbps\n"
        "Queue 3 none\nQueue 4 none\nQueue 5 none\nQueue 6 none\n"
        "Queue 7 shape with CIR 100000000 kbps PIR 100000000 kbps\n"
        "Queue 0 class 7 DRR weight 100\nQueue 1 class 6 DRR weight 1\n"
        "Queue 2 class 5 DRR weight 1\nQueue 3 class 4 DRR weight 1\n"
        "Queue 4 class 3 DRR weight 1\nQueue 5 class 2 DRR weight 1\n"
        "Queue 6 class 1 DRR weight 1\nQueue 7 class 0 DRR weight 1\n"
        "Interface eth-1-3 policer\n"
        "Input color-aware cir 1 cbs 2 ebs 3 pir 4 pbs 5 drop-color yellow YES\n"
        "Output not configured\n";
    EXPECT_EQ(run(commands, true).out, expected);
    EXPECT_EQ(expected.find("Enable"), std::string::npos);

    // A configuration run saves the state; every setting reads back the same.
    EXPECT_EQ(run("mac-address-table 0000.0000.0001 forward eth-1-3 vlan 1\n").out, "");
    EXPECT_NE(read_file(state_).find("qos disable\n"), std::string::npos);
    EXPECT_EQ(run(commands, true).out, expected);
}

TEST_F(ImishSim, DefaultStatePathIsUsedWithoutTheVariable)
{
    if (!std::getenv("WEBSIM_SANDBOXED"))
        GTEST_SKIP() << "needs the private /tmp of tests/sandbox.sh";
    std::string file = cmd_file("mac-address-table 00e0.fc0a.b1c2 forward eth-0-3 vlan 30\n");
    EXPECT_EQ(run_process({IMISH, "-g", "-y", "-f", file}, {}).out, "");
    EXPECT_NE(read_file("/tmp/sim_switch/state").find("mac 30 00e0.fc0a.b1c2 eth-0-3\n"), std::string::npos);
}

} // namespace
