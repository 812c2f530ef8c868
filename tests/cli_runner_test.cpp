// Tests of the CLI runner against a stub imish that records how it was run.
#include "cli_runner.h"
#include "page_frame.h"
#include "test_util.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Records "argc|args|", the command file (last argument), its stdin, PATH and
// variables set to "leak"; prints /tmp/stub.out; exits 127 with or without
// output on request.
constexpr char STUB_IMISH[] = R"sh(#!/bin/sh
for a; do :; done
{ printf '%s|' "$#" "$@"; echo; cat "$a"; cat; env | grep -e '^PATH=' -e '=leak$'; } >/tmp/stub.ran
[ -f /tmp/stub.127 ] && exit 127
cat /tmp/stub.out; [ -f /tmp/stub.rc ] && exit 127 || exit 0
)sh";

// The kill the runner's calls reach: refused while kill_refused is set, as
// for a child that has left its process group or another user's process.
bool kill_refused = false;
constexpr char STUB_PATH[] = "/tmp:/usr/bin:/bin";

// What the stub records when it runs cmds as it should: exact argv, no stdin,
// no request variable.
std::string ran(bool show, const std::string &cmds)
{
    return (show ? "5|-g|-y|-w|-f|" : "4|-g|-y|-f|") + std::string(cmd_file_path) + "|\n" + cmds +
           "PATH=" + STUB_PATH + "\n";
}

// Each line handed over, prefixed with the run's counter as "<counter>:".
std::vector<std::string> g_lines;
int record_line(int *counter, const char *line)
{
    return g_lines.push_back(std::to_string((*counter)++) + ":" + line), 0;
}

// Each test runs as under a web server: request variables set, body on stdin.
struct CliRunner : ::testing::Test {
    void SetUp() override
    {
        if (!std::getenv("WEBSIM_SANDBOXED"))
            GTEST_SKIP() << "needs the private /tmp of tests/sandbox.sh";
        write_file("/tmp/imish", STUB_IMISH, 0755);
        setenv("PATH", STUB_PATH, 1);
        for (const char *v : {"HTTP_COOKIE", "QUERY_STRING", "CONTENT_TYPE", "REQUEST_METHOD",
                 "REMOTE_ADDR", "SCRIPT_NAME", "PATH_INFO", "SERVER_NAME", "HTTPS"})
            setenv(v, "leak", 1);
        write_file("/tmp/body", "addr0=00e0");
        ASSERT_EQ(dup2(open("/tmp/body", O_RDONLY), 0), 0);
        ASSERT_EQ(scratch_create("1"), 0);
    }
};

TEST_F(CliRunner, AppendKeepsWholeCommandsOnly)
{
    ASSERT_EQ(cli_append_cmd("first\nsecond"), 0);
    // A file size limit lets part of the next command in and then fails the write.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit small = {16, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_EQ(cli_append_cmd("0123456789"), -1);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(read_file(cmd_file_path), "first\nsecond\n");

    // Without scratch files nothing is appended, run or read.
    cmd_file_path[0] = res_file_path[0] = '\0';
    EXPECT_EQ(cli_append_cmd("show x"), -1);
    EXPECT_EQ(cli_exec_show(), -1);
    EXPECT_FALSE(path_exists("/tmp/stub.ran"));
    EXPECT_EQ(cli_parse_result(record_line, 0), -1);
    write_file("/tmp/config_mode", "");
    EXPECT_EQ(cli_exec_config(), -1);
}

TEST_F(CliRunner, RunPerModeMarkerAndImishFate)
{
    // setup: a file to create, a directory (trailing '/'), or "nocmd" (no
    // command appended, nothing runs). out: what the stub answers.
    struct { const char *name; std::string setup; bool show; int rc; std::string result, out = "out\n"; } cases[] = {
        {"config", "", false, 0, "out\n"}, {"show", "", true, 0, "out\n"},
        // A held marker, no imish, a kill: page_test's (AnAddsAnswerRecordAndEntry, RunsWithoutAWholeAnswerAreToldSo).
        {"config, marker a directory", "/tmp/config_mode/", false, 0, "out\n"},
        {"show, marker a file", "/tmp/config_mode", true, 0, "out\n"},
        // A failing status refuses a success: only an error line still speaks,
        // and the commands after it may not have run.
        {"imish fails, no error line", "/tmp/stub.rc", false, -3, "%%cli_no_answer"},
        {"imish fails after an error line", "/tmp/stub.rc", false, -4, "ok\n% No such\n", "ok\n% No such\n"},
        {"imish exits 127 with no answer", "/tmp/stub.127", false, -1, "%%cli_unavailable"},
        {"show without a command file", "nocmd", true, -1, "%%cli_unavailable"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const char *p : {"/tmp/config_mode", "/tmp/stub.rc", "/tmp/stub.127", "/tmp/stub.ran"})
            remove(p);
        write_file("/tmp/stub.out", c.out);
        if (c.setup.ends_with('/'))
            ASSERT_EQ(mkdir(c.setup.c_str(), 0755), 0);
        else if (c.setup[0] == '/')
            write_file(c.setup, "");
        write_file(res_file_path, "an older result, longer than the reply\n");
        ASSERT_EQ(c.setup == "nocmd" ? 0 : cli_append_cmd("show a") + cli_append_cmd("show b"), 0);
        EXPECT_EQ(c.show ? cli_exec_show() : cli_exec_config(), c.rc);
        EXPECT_EQ(read_file("/tmp/stub.ran"), c.setup == "nocmd" ? "" : ran(c.show, "show a\nshow b\n"));
        EXPECT_EQ(read_file(res_file_path), c.result);
        EXPECT_FALSE(path_exists(cmd_file_path));
    }
}

TEST_F(CliRunner, ResultFileNotOursIsNeitherWrittenNorRun)
{
    write_file("/tmp/victim", "keep");
    const std::string res = res_file_path;
    // A symbolic link in show, config and held config mode; a second hard link.
    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        std::snprintf(res_file_path, sizeof res_file_path, "%s", res.c_str());
        mode == 2 ? write_file("/tmp/config_mode", "") : void(unlink("/tmp/config_mode"));
        remove("/tmp/stub.ran");
        unlink(res_file_path);
        ASSERT_EQ((mode == 3 ? link : symlink)("/tmp/victim", res_file_path), 0);
        ASSERT_EQ(cli_append_cmd("show x"), 0);
        // Held config mode makes a result file of its own in the link's place.
        EXPECT_EQ(mode == 0 ? cli_exec_show() : cli_exec_config(), mode == 2 ? 0 : -1);
        EXPECT_EQ(read_file("/tmp/victim"), "keep");
        EXPECT_FALSE(path_exists("/tmp/stub.ran"));
        // What stands at the name is not the clean-up's to remove.
        EXPECT_EQ(res_file_path[0] == '\0', mode != 2);
    }
}

TEST_F(CliRunner, WhatIsPlantedAtTheCommandFileIsNeitherOpenedNorRun)
{
    // After a run the command file is gone and its name is known. What
    // another user puts there is refused at once (a FIFO without a reader
    // would hold a plain open for ever), never run, and left to its owner.
    const std::string cmd = cmd_file_path;
    const std::function<int()> plants[] = {
        [&] { return write_file(cmd, "no mac-address-table 00e0.fc0a.b1c2 vlan 10\n", 0666),
                     chown(cmd.c_str(), 65534, 65534); },
        [&] { return mkfifo(cmd.c_str(), 0666); },
        [&] { int rc = mkdir(cmd.c_str(), 0777); write_file(cmd + "/keep", ""); return rc; },
        [&] { return symlink("/tmp/body", cmd.c_str()); },
    };
    for (std::size_t i = 0; i < std::size(plants); ++i) {
        SCOPED_TRACE(i);
        std::snprintf(cmd_file_path, sizeof cmd_file_path, "%s", cmd.c_str());
        ASSERT_EQ(cli_append_cmd("show a"), 0);
        cli_exec_show();
        ASSERT_EQ(plants[i](), 0);
        struct stat planted, after;
        ASSERT_EQ(lstat(cmd.c_str(), &planted), 0);
        EXPECT_EQ(cli_append_cmd("show x"), -1);
        unlink("/tmp/stub.ran");
        EXPECT_EQ(cli_exec_config(), -1);
        EXPECT_FALSE(path_exists("/tmp/stub.ran"));
        EXPECT_EQ(read_file(res_file_path), "%%cli_unavailable");
        scratch_cleanup();
        EXPECT_TRUE(lstat(cmd.c_str(), &after) == 0 && after.st_ino == planted.st_ino);
        EXPECT_EQ(read_file("/tmp/body"), "addr0=00e0");
        std::filesystem::remove_all(cmd);
        ASSERT_EQ(scratch_create("1"), 0);
    }
}

TEST_F(CliRunner, RunShowHandsLinesAfterTheSkip)
{
    const struct { const char *name; std::string result; int skip; bool cb; std::vector<std::string> lines; } cases[] = {
        {"skip 6 over 5 lines", "1\n2\n3\n4\n5\n", 6, true, {}},
        {"skip 6 over 7 lines", "1\n2\n3\n4\n5\n6\n7\n", 6, true, {"0:7\n"}},
        {"long line in pieces", std::string(300, 'x') + "\n", 0, true,
         {"0:" + std::string(255, 'x'), "1:" + std::string(45, 'x') + "\n"}},
        {"no handler: -1, the run done and its output kept", "1\n", 0, false, {}},
        {"last line without a line feed", "a\nb", 0, true, {"0:a\n", "1:b"}},
    };
    // A line across the reader's blocks: page_test's, in a learned table's listing (LearnedEntriesPinned...).
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        g_lines.clear();
        write_file("/tmp/stub.out", c.result);
        EXPECT_EQ(cli_run_show("show x", c.cb ? record_line : nullptr, c.skip), c.cb ? 0 : -1);
        EXPECT_EQ(read_file("/tmp/stub.ran"), ran(true, "show x\n"));
        EXPECT_EQ(read_file(cli_result_path()), c.result);
        EXPECT_EQ(g_lines, c.lines);
    }
}

// cli_find_error names the first line holding match and neither exclusion,
// cli_config_verdict every "%" line, each in one reading: an answer not read
// whole is no success nor refusal; a refusal that says nothing gets a text.
TEST_F(CliRunner, ErrorLinesAndConfigVerdict)
{
    // result "DIR": a directory, which opens but fails its first read; null: none. out:
    // find_error's buffer after it (nullptr: none given). lines: all counted, two kept.
    using enum cli_verdict;
    struct { const char *result, *match, *ex1, *ex2; int rc; const char *out; cli_verdict v; const char *err;
             std::vector<std::string> lines; } cases[] = {
        {"a\n% No x in VLAN 1\nb\n%% Bad\n", "%", nullptr, nullptr, -1, " No x in VLAN 1\n", refused, " No x in VLAN 1\n",
         {"% No x in VLAN 1\n", "%% Bad\n"}},
        {"all done\n", "%", nullptr, nullptr, 0, "untouched", accepted, "untouched", {}},
        {"% warn: x1\n% warn: x2\n% real\n", "%", "x1", "x2", -1, " real\n", refused, " warn: x1\n",
         {"% warn: x1\n", "% warn: x2\n", "% real\n"}},
        {"% one\n", nullptr, nullptr, nullptr, 0, "untouched", refused, " one\n", {"% one\n"}},
        {"%%config_in_use", "%", nullptr, nullptr, -1, "%config_in_use", refused, "%config_in_use", {"%%config_in_use"}},
        {"an error here\n", "error", nullptr, nullptr, -1, "error here\n", accepted, "untouched", {}},
        {"x %  \r\n", "%", nullptr, nullptr, -1, nullptr, refused, CLI_REFUSED_TEXT, {"x %  \r\n"}},
        {nullptr, "%", nullptr, nullptr, -1, "untouched", unread, "untouched", {}},
        {"DIR", "%", nullptr, nullptr, -1, "untouched", unread, "untouched", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.result ? c.result : "(none)");
        std::filesystem::remove_all(res_file_path);
        if (c.result && c.result == std::string_view("DIR"))
            ASSERT_EQ(mkdir(res_file_path, 0700), 0);
        else if (c.result)
            write_file(res_file_path, c.result);
        char out[256] = "untouched", err[CLI_ERROR_SIZE] = "untouched", kept[2][CLI_LINE_SIZE];
        EXPECT_EQ(cli_find_error(c.match, c.ex1, c.ex2, c.out ? out : nullptr), c.rc);
        EXPECT_STREQ(out, c.out ? c.out : "untouched");
        cli_error_lines lines = {kept, 2, -1};
        EXPECT_EQ(cli_config_verdict(err, sizeof err, &lines), c.v);
        EXPECT_STREQ(err, c.err);
        EXPECT_EQ(lines.count, int(c.lines.size()));
        for (std::size_t i = 0; i < std::min<std::size_t>(2, c.lines.size()); ++i)
            EXPECT_EQ(kept[i], c.lines[i]);
    }
    EXPECT_EQ(cli_parse_result(record_line, 0), -1);
    std::filesystem::remove_all(res_file_path);
}

// A child that cannot be signalled is waited for a bounded time, then left:
// the request ends (on a signal too) instead of waiting on it for ever.
TEST_F(CliRunner, ChildThatCannotBeSignalledIsNotWaitedForEver)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        setpgid(0, 0), pause(), _exit(0);
    cli_child_pid = child;
    kill_refused = true;
    const auto start = std::chrono::steady_clock::now();
    cli_child_end();
    const auto took = std::chrono::steady_clock::now() - start;
    kill_refused = false;
    EXPECT_EQ(cli_child_pid, 0);
    EXPECT_LT(took, std::chrono::milliseconds(CLI_KILL_GRACE_MS + 3000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

} // namespace

extern "C" int kill(pid_t pid, int sig)
{
    if (kill_refused) {
        errno = EPERM;
        return -1;
    }
    return static_cast<int>(syscall(SYS_kill, pid, sig));
}
