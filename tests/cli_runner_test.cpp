// Tests of the CLI runner against a stub imish that records how it was run.
#include "cli_runner.h"
#include "page_frame.h"
#include "web_state.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Records argv (count first), environment, stdin and the command file, then
// prints /tmp/stub.out, or dies by SIGKILL, or exits with /tmp/stub.rc.
constexpr char STUB_IMISH[] = R"sh(#!/bin/sh
echo "$#" > /tmp/stub.argv
printf '%s\n' "$@" >> /tmp/stub.argv
env > /tmp/stub.env
cat > /tmp/stub.stdin
prev=
for a; do [ "$prev" = -f ] && cp "$a" /tmp/stub.cmd; prev=$a; done
echo run >> /tmp/stub.runs
cat /tmp/stub.out 2>/dev/null
[ -f /tmp/stub.kill ] && kill -9 $$
[ -f /tmp/stub.rc ] && exit "$(cat /tmp/stub.rc)"
exit 0
)sh";

std::vector<std::string> g_lines;
std::vector<int> g_counters;

int record_line(int *counter, const char *line)
{
    g_counters.push_back(*counter);
    ++*counter;
    g_lines.emplace_back(line);
    return 0;
}

class CliRunner : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("WEBSIM_SANDBOXED"))
            GTEST_SKIP() << "needs the private /tmp of tests/sandbox.sh";
        g_lines.clear();
        g_counters.clear();
        err_text[0] = '\0';
        ASSERT_EQ(mkdir("/tmp/stubbin", 0755), 0);
        write_file("/tmp/stubbin/imish", STUB_IMISH, 0755);
        const char *path = std::getenv("PATH");
        saved_path_ = path ? path : "/usr/bin:/bin";
        setenv("PATH", ("/tmp/stubbin:" + saved_path_).c_str(), 1);
        ASSERT_EQ(scratch_create("1"), 0);
    }
    void TearDown() override
    {
        if (!saved_path_.empty())
            setenv("PATH", saved_path_.c_str(), 1);
        cmd_file_path[0] = res_file_path[0] = '\0';
    }
    static std::string argv_seen() { return read_file("/tmp/stub.argv"); }
    static bool imish_ran() { return path_exists("/tmp/stub.runs"); }

    std::string saved_path_;
};

TEST_F(CliRunner, AppendsAccumulateAndOneRunConsumesThem)
{
    ASSERT_EQ(cli_append_cmd("show a"), 0);
    ASSERT_EQ(cli_append_cmd("show b"), 0);
    EXPECT_EQ(cli_append_cmd(nullptr), 0);
    EXPECT_EQ(cli_exec_show(), 0);
    EXPECT_EQ(read_file("/tmp/stub.cmd"), "show a\nshow b\n");
    EXPECT_FALSE(path_exists(cmd_file_path));

    // The next append starts a new file; a line feed inside a command is kept.
    ASSERT_EQ(cli_append_cmd("first\nsecond"), 0);
    EXPECT_EQ(read_file(cmd_file_path), "first\nsecond\n");
}

TEST_F(CliRunner, FailedAppendLeavesCommandFileAsItWas)
{
    ASSERT_EQ(cli_append_cmd("first"), 0);
    // A file size limit lets part of the command in and then fails the write.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = {10, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int rc = cli_append_cmd("0123456789");
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(read_file(cmd_file_path), "first\n");
}

TEST_F(CliRunner, ImishArgvPerMode)
{
    const std::string cmd = cmd_file_path;
    struct {
        const char *name;
        const char *marker; // "dir", "file" or nullptr
        bool show;
        std::string argv;
    } cases[] = {
        {"config", nullptr, false, "4\n-g\n-y\n-f\n" + cmd + "\n"},
        {"config, marker is a directory", "dir", false, "4\n-g\n-y\n-f\n" + cmd + "\n"},
        {"show", nullptr, true, "5\n-g\n-y\n-w\n-f\n" + cmd + "\n"},
        {"show, configuration mode held", "file", true, "5\n-g\n-y\n-w\n-f\n" + cmd + "\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        unlink("/tmp/stub.argv");
        rmdir("/tmp/config_mode");
        unlink("/tmp/config_mode");
        if (c.marker && std::strcmp(c.marker, "dir") == 0)
            ASSERT_EQ(mkdir("/tmp/config_mode", 0755), 0);
        else if (c.marker)
            write_file("/tmp/config_mode", "");
        write_file("/tmp/stub.out", "output\n");
        ASSERT_EQ(cli_append_cmd("cmd"), 0);
        EXPECT_EQ(c.show ? cli_exec_show() : cli_exec_config(), 0);
        EXPECT_EQ(argv_seen(), c.argv);
        EXPECT_EQ(read_file(res_file_path), "output\n");
        EXPECT_FALSE(path_exists(cmd_file_path));
    }
}

TEST_F(CliRunner, ConfigModeHeldAnswersWithoutImish)
{
    write_file("/tmp/config_mode", "");
    write_file(res_file_path, "old result that is longer than the reply\n");
    ASSERT_EQ(cli_append_cmd("mac-address-table 1.2.3 forward eth-0-1 vlan 1"), 0);
    EXPECT_EQ(cli_exec_config(), 0);
    EXPECT_EQ(read_file(res_file_path), "%%configure_mode_inuse");
    EXPECT_FALSE(path_exists(cmd_file_path));
    EXPECT_FALSE(imish_ran());

    char out[256] = "untouched";
    EXPECT_EQ(cli_find_error("%", nullptr, nullptr, out), -1);
    EXPECT_STREQ(out, "%configure_mode_inuse");
}

TEST_F(CliRunner, ResultWhenImishFailsOrCannotStart)
{
    struct {
        const char *name;
        const char *stub_flag; // file that changes how the stub ends
        const char *flag_text;
        bool on_path;
        std::string result;
    } cases[] = {
        {"not on PATH", nullptr, "", false, "%%cli_unavailable"},
        {"killed by a signal", "/tmp/stub.kill", "", true, "%%cli_unavailable"},
        {"non-zero exit keeps its output", "/tmp/stub.rc", "3", true, "% Bad command\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        unlink("/tmp/stub.kill");
        unlink("/tmp/stub.rc");
        write_file("/tmp/stub.out", "% Bad command\n");
        if (c.stub_flag)
            write_file(c.stub_flag, c.flag_text);
        setenv("PATH", c.on_path ? ("/tmp/stubbin:" + saved_path_).c_str() : "/tmp/nowhere", 1);
        write_file(res_file_path, "stale\n");
        ASSERT_EQ(cli_append_cmd("show x"), 0);
        EXPECT_EQ(cli_exec_config(), 0);
        EXPECT_EQ(read_file(res_file_path), c.result);
        EXPECT_FALSE(path_exists(cmd_file_path));
    }
}

TEST_F(CliRunner, ImishGetsNoRequestVariablesAndNoStdin)
{
    const char *request_vars[] = {
        "HTTP_COOKIE", "QUERY_STRING", "CONTENT_LENGTH", "CONTENT_TYPE", "REQUEST_METHOD",
        "REQUEST_URI", "REMOTE_ADDR", "SCRIPT_NAME", "PATH_INFO", "PATH_TRANSLATED",
        "SERVER_NAME", "GATEWAY_INTERFACE", "AUTH_TYPE", "HTTPS",
    };
    for (const char *v : request_vars)
        setenv(v, "x", 1);
    setenv("KEEP_ME", "kept", 1);

    // The request body waits on standard input; imish must not see it.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "addr0=00e0", 10), 10);
    close(fds[1]);
    int saved_stdin = dup(0);
    dup2(fds[0], 0);
    close(fds[0]);

    ASSERT_EQ(cli_append_cmd("show x"), 0);
    EXPECT_EQ(cli_exec_show(), 0);

    dup2(saved_stdin, 0);
    close(saved_stdin);
    for (const char *v : request_vars)
        unsetenv(v);
    unsetenv("KEEP_ME");

    EXPECT_EQ(read_file("/tmp/stub.stdin"), "");
    std::string env = "\n" + read_file("/tmp/stub.env");
    for (const char *v : request_vars)
        EXPECT_EQ(env.find("\n" + std::string(v) + "="), std::string::npos) << v;
    EXPECT_NE(env.find("\nKEEP_ME=kept\n"), std::string::npos);
    EXPECT_NE(env.find("\nPATH=/tmp/stubbin:"), std::string::npos);
}

TEST_F(CliRunner, LinkAtResultPathIsNotFollowed)
{
    struct {
        const char *name;
        bool marker, show;
    } cases[] = {{"show", false, true}, {"config", false, false}, {"config, held", true, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        unlink("/tmp/config_mode");
        if (c.marker)
            write_file("/tmp/config_mode", "");
        write_file("/tmp/victim", "keep");
        write_file("/tmp/stub.out", "planted\n");
        unlink(res_file_path);
        ASSERT_EQ(symlink("/tmp/victim", res_file_path), 0);
        ASSERT_EQ(cli_append_cmd("show x"), 0);
        c.show ? cli_exec_show() : cli_exec_config();
        EXPECT_EQ(read_file("/tmp/victim"), "keep");
    }
}

TEST_F(CliRunner, ParseResultHandsLinesAfterTheSkip)
{
    const std::string long_line = std::string(300, 'x') + "\n";
    struct {
        const char *name;
        std::string result;
        int skip;
        std::vector<std::string> lines;
    } cases[] = {
        {"empty result", "", 0, {}},
        {"skip 6 over 5 lines", "1\n2\n3\n4\n5\n", 6, {}},
        {"skip 6 over 7 lines", "1\n2\n3\n4\n5\n6\n7\n", 6, {"7\n"}},
        {"negative skip drops nothing", "1\n2\n", -1, {"1\n", "2\n"}},
        {"last line without line feed", "a\nb", 0, {"a\n", "b"}},
        {"long line in pieces", long_line, 0, {std::string(255, 'x'), std::string(45, 'x') + "\n"}},
        {"a piece counts for the skip", long_line, 1, {std::string(45, 'x') + "\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        g_lines.clear();
        write_file(res_file_path, c.result);
        EXPECT_EQ(cli_parse_result(record_line, c.skip), 0);
        EXPECT_EQ(g_lines, c.lines);
    }
}

TEST_F(CliRunner, ParseCounterAndFailures)
{
    write_file(res_file_path, "a\nb\nc\n");
    ASSERT_EQ(cli_parse_result(record_line, 0), 0);
    ASSERT_EQ(cli_parse_result(record_line, 1), 0);
    EXPECT_EQ(g_counters, (std::vector<int>{0, 1, 2, 0, 1}));

    g_lines.clear();
    EXPECT_EQ(cli_parse_result(nullptr, 0), -1);
    unlink(res_file_path);
    EXPECT_EQ(cli_parse_result(record_line, 0), -1);
    EXPECT_TRUE(g_lines.empty());
}

TEST_F(CliRunner, RunShowAppendsRunsAndParses)
{
    write_file("/tmp/stub.out", "h1\nPort 1\nPort 2\n");
    EXPECT_EQ(cli_run_show("show interface switchport", record_line, 1), 0);
    EXPECT_EQ(read_file("/tmp/stub.cmd"), "show interface switchport\n");
    EXPECT_EQ(argv_seen().substr(0, 11), "5\n-g\n-y\n-w\n");
    EXPECT_EQ(g_lines, (std::vector<std::string>{"Port 1\n", "Port 2\n"}));

    // Without a handler the run still happens and its output stays readable.
    write_file("/tmp/stub.out", "show output\n");
    EXPECT_EQ(cli_run_show("show version", nullptr, 0), -1);
    EXPECT_EQ(read_file("/tmp/stub.cmd"), "show version\n");
    EXPECT_EQ(read_file(cli_result_path()), "show output\n");
}

TEST_F(CliRunner, RunShowStopsWhenAppendFails)
{
    std::snprintf(cmd_file_path, PATH_BUF_SIZE, "%s", "/tmp/cmd_is_a_dir");
    ASSERT_EQ(mkdir(cmd_file_path, 0755), 0);
    EXPECT_EQ(cli_run_show("show version", record_line, 0), -1);
    EXPECT_FALSE(imish_ran());
    EXPECT_TRUE(g_lines.empty());
}

TEST_F(CliRunner, FindErrorScan)
{
    const std::string keep = "untouched";
    struct {
        const char *name;
        std::string result;
        const char *match, *ex1, *ex2;
        int rc;
        std::string out;
    } cases[] = {
        {"first % line after a plain one", "ok\n% Invalid input\n% second\n", "%", nullptr,
         nullptr, -1, " Invalid input\n"},
        {"no percent", "all done\nbye\n", "%", nullptr, nullptr, 0, keep},
        {"empty result", "", "%", nullptr, nullptr, 0, keep},
        {"null match reads to the end", "% one\n% two\n", nullptr, nullptr, nullptr, 0, keep},
        {"first exclusion skips a line", "% warn: ignored\n% real\n", "%", "ignored", nullptr, -1,
         " real\n"},
        {"second exclusion skips a line", "% warn: ignored\n% real\n", "%", "nope", "ignored", -1,
         " real\n"},
        {"every match excluded", "% a\n% ab\n", "%", "a", nullptr, 0, keep},
        {"match inside a line", "xx% at end", "%", nullptr, nullptr, -1, " at end"},
        {"only one percent dropped", "%%configure_mode_inuse", "%", nullptr, nullptr, -1,
         "%configure_mode_inuse"},
        {"other match text kept whole", "an error here\n", "error", nullptr, nullptr, -1,
         "error here\n"},
        {"long error line cut to its first piece", "%" + std::string(300, 'e') + "\n", "%",
         nullptr, nullptr, -1, std::string(254, 'e')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(res_file_path, c.result);
        char out[256];
        std::snprintf(out, sizeof out, "%s", keep.c_str());
        EXPECT_EQ(cli_find_error(c.match, c.ex1, c.ex2, out), c.rc);
        EXPECT_EQ(out, c.out);
    }
}

TEST_F(CliRunner, FindErrorWithoutBufferOrResult)
{
    write_file(res_file_path, "% Invalid input\n");
    EXPECT_EQ(cli_find_error("%", nullptr, nullptr, nullptr), -1);

    unlink(res_file_path);
    char out[256] = "untouched";
    EXPECT_EQ(cli_find_error("%", nullptr, nullptr, out), -1);
    EXPECT_STREQ(out, "untouched");
}

TEST_F(CliRunner, WithoutScratchFiles)
{
    cmd_file_path[0] = res_file_path[0] = '\0';
    char out[256] = "untouched";
    EXPECT_EQ(cli_append_cmd("show x"), -1);
    EXPECT_EQ(cli_exec_config(), 0);
    EXPECT_EQ(cli_exec_show(), 0);
    EXPECT_EQ(cli_parse_result(record_line, 0), -1);
    EXPECT_EQ(cli_find_error("%", nullptr, nullptr, out), -1);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(cli_run_show("show x", record_line, 0), -1);
    write_file("/tmp/config_mode", "");
    EXPECT_EQ(cli_exec_config(), -1);
}

} // namespace
