// The page program run as the web server runs it, against the IMI and imish
// stand-ins: every way out of a request, byte for byte, and what it leaves.
#include "imi_client.h"
#include "imi_daemon.h"
#include "syslog_catcher.h"
#include "test_util.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <tuple>
#include <set>
#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kClient = "127.0.0.1";
const std::string kPidPrefix = "web_mac_static_add.cgi_";
const std::string kPath = std::string(SIM_BIN_DIR) + ":/usr/bin:/bin";
const std::string kListBin = SIM_BIN_DIR "/../page/web_mac_static.cgi";

std::string login(const char *user, const char *password)
{
    char session[32] = {};
    char err[500] = {};
    EXPECT_EQ(imi_login(user, password, kClient.c_str(), session, err), 0) << err;
    return session;
}

// A rendered page: its header block names the type and keeps the session id,
// which travels in the page's links, out of the Referer and out of caches;
// only the switch's own frames may hold it.
bool is_rendered_page(const std::string &out)
{
    std::string head = out.substr(0, out.find("\r\n\r\n") + 2);
    for (const char *line : {"Content-Type: text/html; charset=utf-8\r\n", "Referrer-Policy: no-referrer\r\n",
             "Cache-Control: no-store\r\n", "Content-Security-Policy: frame-ancestors 'self'\r\n"})
        if (head.find(line) == std::string::npos)
            return false;
    return true;
}

class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(imi.ok());
        for (const char *f : {"web_mac_static_add.cs", "web_mac_static.cs", "web_mac_static_batch.cs", "page_layout.cs",
                 "lang_en.cs", "lang_cn.cs"})
            write_file(std::string("/var/www/") + f, read_file(std::string(WWW_SRC_DIR "/") + f));
        admin = login("admin", "admin");
        guest = login("guest", "guest");
    }
    void TearDown() override
    {
        // Whatever the outcome, the request leaves no file of its own.
        EXPECT_TRUE(dir_entries("/tmp", "webcmd_").empty());
        EXPECT_TRUE(dir_entries("/tmp", "webres_").empty());
        for (const std::string &name : dir_entries("/var/run", "web_mac_static"))
            EXPECT_TRUE(planted_pid_file == name) << "left behind: " << name;
    }

    std::vector<std::string> cgi_env(const std::string &method, const std::string &query,
                                     const std::string &body,
                                     const std::string &page = "web_mac_static_add.cgi") const
    {
        std::vector<std::string> env = {
            "PATH=" + path,
            "GATEWAY_INTERFACE=CGI/1.1",
            "REQUEST_METHOD=" + method,
            "QUERY_STRING=" + query,
            "REQUEST_URI=/" + page + (query.empty() ? "" : "?" + query),
            "SCRIPT_NAME=/" + page,
            "REMOTE_ADDR=" + kClient,
        };
        if (method == "POST") {
            env.push_back("CONTENT_TYPE=" + content_type);
            env.push_back("CONTENT_LENGTH=" + std::to_string(body.size() + extra_length));
        }
        return env;
    }

    proc_result request(const std::string &method, const std::string &query,
                        const std::string &body = "")
    {
        return run_process({PAGE_BIN}, cgi_env(method, query, body), body);
    }

    // A request to the listing page.
    proc_result listing(const std::string &method, const std::string &query,
                        const std::string &body = "")
    {
        return run_process({kListBin}, cgi_env(method, query, body, "web_mac_static.cgi"), body);
    }

    // Runs configuration commands on the simulated switch.
    void configure(const std::string &cmds)
    {
        write_file("/tmp/config.cmd", cmds);
        EXPECT_EQ(run_process({SIM_BIN_DIR "/imish", "-g", "-y", "-f", "/tmp/config.cmd"},
                              {"PATH=" + path}).out, "");
    }

    proc_result add(const std::string &sid, const std::string &body, const std::string &lang = "en")
    {
        return request("POST", "sessionId=" + sid + "&lang=" + lang, body);
    }

    // Starts a page on a GET of the admin's session without waiting for it,
    // its answer going to out (or nowhere).
    pid_t start_get(const std::string &page = "web_mac_static_add.cgi", int out = -1)
    {
        std::vector<std::string> env = cgi_env("GET", "sessionId=" + admin + "&lang=en", "", page);
        const std::string bin = page == "web_mac_static.cgi" ? kListBin : PAGE_BIN;
        std::vector<char *> envp;
        for (std::string &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(out >= 0 ? out : null, 1);
            char *argv[] = {const_cast<char *>(bin.c_str()), nullptr};
            execve(bin.c_str(), argv, envp.data());
            _exit(127);
        }
        return pid;
    }

    // Puts an imish script first on the page's PATH.
    void stub_imish(const std::string &script)
    {
        mkdir("/tmp/stubbin", 0755);
        write_file("/tmp/stubbin/imish", "#!/bin/sh\n" + script, 0755);
        path = "/tmp/stubbin:" + kPath;
    }

    std::string show_static()
    {
        write_file("/tmp/show.cmd", "show mac address-table static\n");
        return run_process({SIM_BIN_DIR "/imish", "-g", "-y", "-w", "-f", "/tmp/show.cmd"},
                           {"PATH=" + path})
            .out;
    }

    imi_daemon imi;
    std::string admin, guest;
    std::string path = kPath;
    std::string planted_pid_file;
    std::size_t extra_length = 0;
    std::string content_type = "application/x-www-form-urlencoded";
};

TEST_F(PageTest, MissingSessionGivesLoginPageInEnglish)
{
    for (const char *query : {"", "lang=cn"}) {
        proc_result r = request("GET", query);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, login_timeout_page("en")) << query;
    }
}

TEST_F(PageTest, BadLanguageIsRefusedBeforeImiIsAsked)
{
    // An unknown session would print IMI's refusal if it were asked.
    for (const char *lang : {"CN", "eng", "", "e"}) {
        proc_result r = request("GET", std::string("sessionId=77&lang=") + lang);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, error_redirect("77", "en", "invalid_parameter", "web_mac_static_add.cgi"))
            << lang;
    }
}

TEST_F(PageTest, RefusedSessionGivesImiLineThenLoginPage)
{
    proc_result r = request("GET", "sessionId=12345&lang=cn");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.rfind("Not okay: ", 0), 0u) << r.out;
    std::size_t eol = r.out.find("\r\n");
    EXPECT_GT(eol, 10u);
    EXPECT_EQ(r.out.substr(eol + 2), login_timeout_page("cn"));

    // A session from another address is no session.
    std::vector<std::string> env = cgi_env("GET", "sessionId=" + admin + "&lang=en", "");
    env.push_back("REMOTE_ADDR=10.9.9.9");
    env.erase(env.begin() + 6);
    r = run_process({PAGE_BIN}, env);
    EXPECT_NE(r.out.find(login_timeout_page("en")), std::string::npos) << r.out;
}

TEST_F(PageTest, SessionIdThatCouldLeaveRunDirIsNoSession)
{
    for (const char *sid : {"..%2F..%2Ftmp%2Fx", "4%0D%0ALocation:%20x"}) {
        proc_result r = request("GET", std::string("sessionId=") + sid + "&lang=en");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, login_timeout_page("en")) << sid;
    }
    EXPECT_TRUE(dir_entries("/tmp", "x").empty());
}

TEST_F(PageTest, GetRendersFormWithSwitchPorts)
{
    proc_result r = request("GET", "sessionId=" + admin);   // no lang: cn
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(is_rendered_page(r.out)) << r.out.substr(0, 200);
    for (const char *port : {"eth-0-1", "eth-0-24", "agg1", "agg8"})
        EXPECT_NE(r.out.find(std::string("value=\"") + port + "\""), std::string::npos) << port;
    EXPECT_NE(r.out.find("lang=cn"), std::string::npos);
    EXPECT_NE(r.out.find("添加"), std::string::npos);
    EXPECT_NE(r.out.find("name=\"add_bn\""), std::string::npos);
}

TEST_F(PageTest, TextFromTheCliIsShownAsText)
{
    stub_imish("echo ' Interface name : e<b id=x>\"'\n");
    proc_result r = request("GET", "sessionId=" + admin + "&lang=en");
    EXPECT_NE(r.out.find("value=\"e&lt;b id=x&gt;&quot;\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("<b id=x>"), std::string::npos);
}

TEST_F(PageTest, LimitedSessionSeesNoAddButton)
{
    ASSERT_EQ(std::stoul(guest) % 2, 1u);
    proc_result r = request("GET", "sessionId=" + guest + "&lang=en");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("name=\"add_bn\""), std::string::npos);
    EXPECT_NE(r.out.find("id=\"no_privilege\""), std::string::npos);
}

TEST_F(PageTest, FailedRenderGivesClearSilverErrorPage)
{
    unlink("/var/www/web_mac_static_add.cs");
    proc_result r = request("GET", "sessionId=" + admin + "&lang=en");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out.rfind("Status: 500", 0), 0u) << r.out;
}

TEST_F(PageTest, OtherMethodsGetTheErrorPageAfterTheirFilesAreGone)
{
    proc_result r = request("HEAD", "sessionId=" + admin + "&lang=en");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out.rfind("Status: 500", 0), 0u) << r.out;
}

TEST_F(PageTest, AddLandsOnTheListing)
{
    proc_result r = add(admin, "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10&add_bn=add");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, redirect("web_mac_static.cgi?sessionId=" + admin + "&lang=en"));
    EXPECT_NE(show_static().find("00e0.fc0a.b1c2"), std::string::npos);

    // The button's field is not needed; a missing field adds nothing.
    r = add(admin, "addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-2&vlan=10", "cn");
    EXPECT_EQ(r.out, redirect("web_mac_static.cgi?sessionId=" + admin + "&lang=cn"));
    r = add(admin, "addr0=00e0&addr1=fc0a&addr2=0002&intf_name=eth-0-2&add_bn=add");
    EXPECT_EQ(r.out, redirect("web_mac_static.cgi?sessionId=" + admin + "&lang=en"));
    std::string table = show_static();
    EXPECT_NE(table.find("00e0.fc0a.0001"), std::string::npos) << table;
    EXPECT_EQ(table.find("00e0.fc0a.0002"), std::string::npos) << table;
}

TEST_F(PageTest, CliErrorGoesToErrorPageWithItsText)
{
    proc_result r = add(admin, "addr0=00e0&addr1=fc0a&addr2=b1cz&intf_name=eth-0-1&vlan=10");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.rfind("Location: web_error.cgi?sessionId=" + admin + "&lang=en&errid=+", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("b1cz%0A&rdrpage=web_mac_static_add.cgi%3F\r\nCache-Control: no-store\r\n\r\n"), std::string::npos)
        << r.out;

    // A refusal that says nothing still tells the operator: nothing changed.
    stub_imish("echo '%'\n");
    r = add(admin, "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10");
    EXPECT_EQ(r.out, error_redirect(admin, "en", "%25cli_refused", "web_mac_static_add.cgi%3F"));
}

// Every change asked of the pages, and every refusal, is one syslog record
// with who asked, from where, what, and what became of it.
TEST_F(PageTest, ChangesAndRefusalsGoToTheSyslog)
{
    std::optional<syslog_catcher> log(std::in_place);
    ASSERT_TRUE(log->ok());
    const std::string add_page = "web_mac_static_add.cgi: user=\"admin\" addr=\"127.0.0.1\" action=add ";
    const std::string entry = "mac=\"00e0.fc0a.b1c2\" intf=\"eth-0-1\" vlan=\"10\" result=";
    const std::string body = "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10";

    add(admin, body);
    EXPECT_EQ(log->take(), std::vector<std::string>{"5 " + add_page + entry + "ok known=cli"});
    add(admin, "addr0=00e0&addr1=fc0a&addr2=b1cz&intf_name=eth-0-1&vlan=10");
    std::vector<std::string> refused = log->take();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].rfind("4 " + add_page + "mac=\"00e0.fc0a.b1cz\" intf=\"eth-0-1\" vlan=\"10\" "
                               "result=refused reason=\"", 0), 0u) << refused[0];
    path = "/usr/bin:/bin";
    add(admin, body);
    EXPECT_EQ(log->take(), std::vector<std::string>{"3 " + add_page + entry + "failed reason=\"cli_unavailable\" known=cli"});
    path = kPath;
    // A field missing: the browser goes on to the listing, the trail keeps
    // the add that was not made.
    EXPECT_EQ(add(admin, "addr0=00e0&addr1=fc0a&addr2=b1c3&intf_name=eth-0-1").out,
              redirect("web_mac_static.cgi?sessionId=" + admin + "&lang=en"));
    EXPECT_EQ(log->take(), std::vector<std::string>{"4 " + add_page + "result=refused reason=\"invalid_parameter\""});

    // A removal: a record per entry; a limited session's, one refusal.
    configure("mac-address-table 00e0.fc0a.0001 forward agg1 vlan 10\n");
    const std::string list = "web_mac_static.cgi: user=\"admin\" addr=\"127.0.0.1\" action=remove ";
    listing("POST", "sessionId=" + admin + "&lang=en",
            "operate=delete&sel=00e0.fc0a.b1c2+eth-0-1+10&sel=00e0.fc0a.0001+agg1+10");
    EXPECT_EQ(log->take(), (std::vector<std::string>{
        "5 " + list + entry + "ok known=cli",
        "5 " + list + "mac=\"00e0.fc0a.0001\" intf=\"agg1\" vlan=\"10\" result=ok known=cli"}));
    listing("POST", "sessionId=" + guest + "&lang=en", "operate=delete&sel=00e0.fc0a.0001+agg1+10");
    EXPECT_EQ(log->take(), std::vector<std::string>{
        "4 web_mac_static.cgi: user=\"guest\" addr=\"127.0.0.1\" action=remove result=refused "
        "reason=\"error_no_privilege\""});

    // Hostile values forge no second record and no field.
    add(admin, "addr0=00e0%22%20user%3D%22root&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10");
    listing("POST", "sessionId=" + admin + "&lang=en",
            "operate=delete&sel=00e0.fc0a.0001%0Auser%3D%22root%22+agg1+10");
    std::vector<std::string> hostile = log->take();
    ASSERT_EQ(hostile.size(), 2u);
    EXPECT_NE(hostile[0].find("mac=\"00e0\\\" user=\\\"root.fc0a.b1c2\""), std::string::npos) << hostile[0];
    EXPECT_EQ(hostile[1], "4 " + list + "result=refused reason=\"invalid_parameter\"");
    for (const std::string &r : hostile)
        EXPECT_EQ(r.find(" user=\"", r.find(" user=\"") + 1), std::string::npos) << r;

    // Without a syslog daemon the answer is the same, and as soon.
    log.reset();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(add(admin, body).out, redirect("web_mac_static.cgi?sessionId=" + admin + "&lang=en"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

// A syslog daemon that takes nothing (its queue full) or is not there holds
// no change: the records are dropped whole, and the first one that goes
// through afterwards, in a later request, counts them. One that is only
// slow to read loses none.
TEST_F(PageTest, StuckOrAbsentSyslogHoldsNoChangeAndTheTrailCountsItsGaps)
{
    const std::string entry = "mac=\"00e0.fc0a.b1c2\" intf=\"eth-0-1\" vlan=\"10\" result=ok known=cli";
    const std::string query = "sessionId=" + admin + "&lang=en", listed = "web_mac_static.cgi?" + query;
    const std::string add_body = "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10",
                      remove_body = "operate=delete&sel=00e0.fc0a.b1c2+eth-0-1+10";
    const std::vector<std::string> records = {
        "5 web_mac_static_add.cgi: user=\"admin\" addr=\"127.0.0.1\" action=add " + entry,
        "5 web_mac_static.cgi: user=\"admin\" addr=\"127.0.0.1\" action=remove " + entry};
    // A send that waits for the daemon would hold the request until it is killed.
    auto post = [&](const std::string &bin, const std::string &page, const std::string &body) {
        proc_result r = run_process({bin}, cgi_env("POST", query, body, page), body, 5000);
        EXPECT_LT(r.elapsed_ms, 2000);
        return r.out;
    };
    for (bool stuck : {true, false}) {
        SCOPED_TRACE(stuck ? "daemon stuck, its queue full" : "no daemon");
        std::optional<syslog_catcher> log;
        if (stuck) {
            log.emplace();
            ASSERT_TRUE(log->fill());
        }
        EXPECT_EQ(post(PAGE_BIN, "web_mac_static_add.cgi", add_body), redirect(listed));
        EXPECT_EQ(post(kListBin, "web_mac_static.cgi", remove_body),
                  redirect(listed + "&order=asc&per_page=50&page=1&removed=1"));
        // The daemon reads again: the next records tell of the two lost.
        if (!log)
            log.emplace();
        EXPECT_EQ(log->take(), std::vector<std::string>{});
        post(PAGE_BIN, "web_mac_static_add.cgi", add_body);
        post(kListBin, "web_mac_static.cgi", remove_body);
        EXPECT_EQ(log->take(), (std::vector<std::string>{records[0] + " lost=2", records[1]}));
    }
}

TEST_F(PageTest, RefusedAddsRunNoCommand)
{
    const struct {
        std::string sid_of, body, errid;
    } cases[] = {
        {"guest", "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10&add_bn=add",
         "error_no_privilege"},
        // The body cannot stand in for the query's checked session or language.
        {"guest", "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10&sessionId=ADMIN"
                  "&lang=%0D%0AX-Injected:%20yes", "error_no_privilege"},
        {"admin", "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10%0Ano%20vlan%2010",
         "invalid_parameter"},
        {"admin", "addr0=00e0%0D&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10",
         "invalid_parameter"},
        // Cut at its buffer this command would end in "vlan 20".
        {"admin", "addr0=" + std::string(199, '+') + "00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1"
                  "&vlan=209", "invalid_parameter"},
        // Only the form's own body is read: its type, and at most 4 KiB.
        {"admin", "BIG-MULTIPART", "invalid_parameter"},
        // A limited session's body is not read at all.
        {"guest", "BIG-MULTIPART", "error_no_privilege"},
        {"admin", "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10&pad=" +
                  std::string(4096 - 60, 'x'), "invalid_parameter"},
        {"admin", "TEXT-PLAIN", "invalid_parameter"},
    };
    for (const auto &c : cases) {
        const std::string &sid = c.sid_of == "guest" ? guest : admin;
        std::string body = c.body;
        if (std::size_t at = body.find("ADMIN"); at != std::string::npos)
            body.replace(at, 5, admin);
        content_type = "application/x-www-form-urlencoded";
        if (body == "BIG-MULTIPART") {
            content_type = "multipart/form-data; boundary=b";
            body = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f\"\r\n\r\n" +
                   std::string(5 << 20, 'x') + "\r\n--b--\r\n";
        } else if (body == "TEXT-PLAIN") {
            content_type = "text/plain";
            body = "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10";
        }
        proc_result r = add(sid, body);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, error_redirect(sid, "en", c.errid, "web_mac_static_add.cgi%3F"))
            << c.body.substr(0, 80);
    }
    EXPECT_EQ(show_static().find("00e0"), std::string::npos);
    EXPECT_TRUE(dir_entries("/var/tmp").empty());

    // A body of exactly 4 KiB, with a charset parameter and in any case, is
    // the form's, and is read as such.
    std::string mac = "b1c2";
    for (const char *type : {"Application/X-WWW-Form-Urlencoded; charset=UTF-8",
             "application/x-www-form-urlencoded;charset=UTF-8"}) {
        content_type = type;
        std::string body = "addr0=00e0&addr1=fc0a&addr2=" + mac + "&intf_name=eth-0-1&vlan=10&pad=";
        body += std::string(4096 - body.size(), 'x');
        EXPECT_EQ(add(admin, body).out, redirect("web_mac_static.cgi?sessionId=" + admin + "&lang=en"));
        EXPECT_NE(show_static().find("00e0.fc0a." + mac), std::string::npos) << type;
        mac = "b1c3";
    }
}

TEST_F(PageTest, HeldConfigurationModeIsReported)
{
    write_file("/tmp/config_mode", "");
    proc_result r = add(admin, "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10");
    EXPECT_EQ(r.out, error_redirect(admin, "en", "%25configure_mode_inuse", "web_mac_static_add.cgi%3F"));
    EXPECT_EQ(show_static().find("00e0"), std::string::npos);
}

TEST_F(PageTest, MissingCliIsAnErrorNotASuccess)
{
    path = "/usr/bin:/bin";   // the shell's 127 for a command it cannot find
    proc_result r = add(admin, "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10");
    EXPECT_EQ(r.out, error_redirect(admin, "en", "%25cli_unavailable", "web_mac_static_add.cgi%3F"));
}


TEST_F(PageTest, ConfigOperationAnswersWithTheForm)
{
    proc_result r = add(admin, "operate=CONFIG&addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("value=\"eth-0-1\""), std::string::npos);
    EXPECT_EQ(show_static().find("00e0"), std::string::npos);
}

TEST_F(PageTest, ListingRemovesTheSelectedEntries)
{
    const std::string a = "00e0.fc0a.0001", b = "00e0.fc0a.0002", gone = "00e0.fc0a.0009";
    auto sel = [](const std::string &mac, const std::string &intf, const std::string &vlan) {
        return "&sel=" + mac + "+" + intf + "+" + vlan;
    };
    const std::string both = sel(a, "eth-0-1", "10") + sel(b, "agg1", "10");
    std::string many;
    for (int i = 0; i <= 200; ++i)
        many += sel("00e0.fc0a." + std::to_string(1000 + i), "eth-0-1", "10");
    const std::string list = "web_mac_static.cgi%3FsessionId%3D";
    // left: the entries still there afterwards, of a and b.
    struct { const char *name; std::string sid_of, body, out; std::string left; } cases[] = {
        {"two entries", "admin", "operate=delete" + both, "OK2", ""},
        {"one of two absent: the other goes", "admin",
         "operate=delete" + sel(a, "eth-0-1", "10") + sel(gone, "eth-0-1", "10"),
         "+No+static+entry+for+" + gone + "+in+VLAN+10%0A", b},
        {"limited session", "guest", "operate=delete" + both, "error_no_privilege", a + b},
        {"no operate", "admin", both.substr(1), "invalid_parameter", a + b},
        {"nothing named", "admin", "operate=delete", "invalid_parameter", a + b},
        {"an entry named twice goes once", "admin",
         "operate=delete" + sel(a, "eth-0-1", "10") + sel(a, "eth-0-1", "10"), "OK1", b},
        {"a valid value, then a bad one", "admin",
         "operate=delete" + sel(a, "eth-0-1", "10") + sel(b, "agg1", "4095"), "invalid_parameter", a + b},
        {"over 200 entries", "admin", "operate=delete" + many, "error_too_many_entries", a + b},
        {"body over 8 KiB", "admin", "operate=delete" + both + "&pad=" + std::string(8192, 'x'),
         "invalid_parameter", a + b},
        // Named as the switch names ports, yet not one of its own: the CLI says so.
        {"a port the switch lacks", "admin", "operate=delete" + sel(a, "eth-0-99", "10") + sel(b, "agg1", "10"),
         "+Cannot+remove+" + a + "+from+VLAN+10%3A+interface+eth-0-99+does+not+exist%0A", a},
        // One MAC and VLAN on two interfaces: which one the CLI refused
        // could not be told, so nothing runs.
        {"one entry named on two interfaces", "admin",
         "operate=delete" + sel(a, "eth-0-1", "10") + sel(a, "eth-0-2", "10"), "invalid_parameter", a + b},
    };
    // Each bad value spoils the whole request: nothing is removed.
    std::vector<std::string> bad_values = {
        a + "+eth-0-1", a + "+eth-0-1+10+x", "00e0.fc0a.001+eth-0-1+10", "00e0-fc0a-0001+eth-0-1+10",
        "00e0.fc0a.000g+eth-0-1+10", a + "+eth-0-1+0", a + "+eth-0-1+4095",
        a + "+eth-0-1+010", a + "+eth-0-1+10%0Ano+vlan+10", a + "++eth-0-1+10", a + "+eth-0-+10",
        a + "+eth0-1+10", a + "+Eth-0-1+10", a + "+eth-00-1+10", a + "+agg+10", a + "+agg1x+10",
        a + "+eth-0-1%3Bx+10"};
    auto run = [&](const std::string &name, const std::string &sid, const std::string &body,
                   const std::string &out, const std::string &left) {
        SCOPED_TRACE(name);
        configure("mac-address-table " + a + " forward eth-0-1 vlan 10\n"
                  "mac-address-table " + b + " forward agg1 vlan 10\n");
        // A removal returns to its view: filters, sort, page size and page.
        std::string query = "sessionId=" + sid + "&lang=en&vlan=10", view = "&sort=intf&order=desc&per_page=25&page=2";
        proc_result r = listing("POST", query + "&page=2&per_page=25&order=desc&sort=intf", body);
        EXPECT_EQ(r.status, 0);
        std::string back = list + sid + "%26lang%3Den%26vlan%3D10%26sort%3Dintf%26order%3Ddesc%26per_page%3D25%26page%3D2";
        // A removal that went whole says how many entries went.
        EXPECT_EQ(r.out, out.starts_with("OK") ? redirect("web_mac_static.cgi?" + query + view + "&removed=" + out.substr(2))
                                               : error_redirect(sid, "en", out, back));
        std::string table = show_static(), still;
        for (const std::string &mac : {a, b})
            if (table.find(mac) != std::string::npos)
                still += mac;
        EXPECT_EQ(still, left);
        run_process({SIM_BIN_DIR "/imish", "--reset"}, {});
    };
    for (const auto &c : cases)
        run(c.name, c.sid_of == "guest" ? guest : admin, c.body, c.out, c.left);
    for (const char *type : {"application/x-www-form-urlencoded;charset=UTF-8",
             "APPLICATION/X-WWW-FORM-URLENCODED"}) {
        content_type = type;
        run(type, admin, "operate=delete" + both, "OK2", "");
    }
    content_type = "application/x-www-form-urlencoded";
    for (const std::string &v : bad_values)
        run(v, admin, "operate=delete&sel=" + v, "invalid_parameter", a + b);
}

TEST_F(PageTest, ListingShowsRemovalOnlyToFullPrivilege)
{
    configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n");
    proc_result r = listing("GET", "sessionId=" + admin + "&lang=en&vlan=10");
    EXPECT_TRUE(is_rendered_page(r.out));
    EXPECT_NE(r.out.find("name=\"sel\" value=\"00e0.fc0a.0001 eth-0-1 10\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("action=\"web_mac_static.cgi?sessionId=" + admin +
                         "&amp;lang=en&amp;vlan=10&amp;order=asc&amp;per_page=50&amp;page=1\""), std::string::npos);
    r = listing("GET", "sessionId=" + guest + "&lang=en");
    EXPECT_NE(r.out.find("00e0.fc0a.0001"), std::string::npos);
    EXPECT_EQ(r.out.find("name=\"sel\""), std::string::npos);
    EXPECT_EQ(r.out.find("delete_form"), std::string::npos);
}

// One listed row as the page shows it.
struct shown_row {
    int num;
    std::string mac, vlan, intf;
};

std::string cell(const std::string &html, std::size_t &at, const std::string &cls)
{
    const std::string open = "<td class=\"" + cls + "\">";
    at = html.find(open, at);
    if (at == std::string::npos)
        return "";
    at += open.size();
    return html.substr(at, html.find("</td>", at) - at);
}

std::vector<shown_row> shown_rows(const std::string &html)
{
    std::vector<shown_row> rows;
    for (std::size_t at = html.find("<tbody>"); (at = html.find("<td class=\"num\">", at)) != std::string::npos;) {
        shown_row r;
        r.num = std::atoi(cell(html, at, "num").c_str());
        r.mac = cell(html, at, "mac");
        r.vlan = cell(html, at, "vlan");
        cell(html, at, "type");
        r.intf = cell(html, at, "intf");
        rows.push_back(r);
    }
    return rows;
}

std::string element_text(const std::string &html, const std::string &id)
{
    std::size_t at = html.find("id=\"" + id + "\"");
    if (at == std::string::npos)
        return "(absent)";
    at = html.find('>', at) + 1;
    return html.substr(at, html.find('<', at) - at);
}

// The order the listing's sorts promise, written out apart from the page's
// own: port order is eth-S-P by slot and port, then aggN, then the rest by
// text; ties by VLAN, then MAC.
std::tuple<int, long, long, std::string> port_key(const std::string &p)
{
    int slot, port;
    char rest;
    if (std::sscanf(p.c_str(), "eth-%d-%d%c", &slot, &port, &rest) == 2)
        return {0, slot, port, ""};
    if (std::sscanf(p.c_str(), "agg%d%c", &slot, &rest) == 1)
        return {1, slot, 0, ""};
    return {2, 0, 0, p};
}

bool in_view_order(const shown_row &a, const shown_row &b, const std::string &sort)
{
    auto tie = std::make_tuple(std::stoi(a.vlan), std::stoull(a.mac.substr(0, 4) + a.mac.substr(5, 4) + a.mac.substr(10), nullptr, 16));
    auto tie_b = std::make_tuple(std::stoi(b.vlan), std::stoull(b.mac.substr(0, 4) + b.mac.substr(5, 4) + b.mac.substr(10), nullptr, 16));
    if (sort == "mac")
        return std::make_tuple(std::get<1>(tie), std::get<0>(tie)) < std::make_tuple(std::get<1>(tie_b), std::get<0>(tie_b));
    if (sort == "vlan")
        return tie < tie_b;
    return std::make_tuple(port_key(a.intf), tie) < std::make_tuple(port_key(b.intf), tie_b);
}

// The listing's view: the query's sort, order, page size and page, with odd
// values falling back to the defaults; row numbers through the whole view;
// the count; filters with paging.
TEST_F(PageTest, ListingViewSortsPagesAndCounts)
{
    const char *ports[] = {"eth-0-2", "eth-0-10", "agg2", "eth-0-1", "agg8"};
    const int vlans[] = {10, 1, 20, 30};
    std::string cmds;
    for (int i = 0; i < 120; ++i) {
        char mac[16];
        std::snprintf(mac, sizeof mac, "00e0.fc0a.%04x", (i * 37) % 120);
        cmds += std::string("mac-address-table ") + mac + " forward " + ports[i % 5] + " vlan " +
                std::to_string(vlans[i % 4]) + "\n";
    }
    // One MAC in three VLANs: a tie of the MAC sort.
    for (const char *vlan : {"30", "1", "20"})
        cmds += std::string("mac-address-table 00e0.fc0a.00aa forward agg2 vlan ") + vlan + "\n";
    configure(cmds);
    const std::string q = "sessionId=" + admin + "&lang=en";
    // What the CLI lists, in its own order.
    std::vector<std::string> cli_order;
    for (const shown_row &r : shown_rows(listing("GET", q + "&per_page=200").out))
        cli_order.push_back(r.mac + " " + r.vlan);
    ASSERT_EQ(cli_order.size(), 123u);

    struct { std::string view, count; int first, rows; const char *sort; bool desc; } cases[] = {
        {"", "1–50 of 123", 1, 50, "", false},
        {"&page=2", "51–100 of 123", 51, 50, "", false},
        {"&page=3", "101–123 of 123", 101, 23, "", false},
        {"&page=4", "101–123 of 123", 101, 23, "", false},
        {"&page=99999999999999999999", "101–123 of 123", 101, 23, "", false},
        {"&per_page=25&page=5", "101–123 of 123", 101, 23, "", false},
        {"&per_page=100&page=2", "101–123 of 123", 101, 23, "", false},
        {"&per_page=200", "1–123 of 123", 1, 123, "", false},
        // Not a page number, not a page size, not a sort: the defaults.
        {"&page=0", "1–50 of 123", 1, 50, "", false},
        {"&page=-2", "1–50 of 123", 1, 50, "", false},
        {"&page=%3Cb%3E2", "1–50 of 123", 1, 50, "", false},
        {"&page=+3", "1–50 of 123", 1, 50, "", false},
        {"&per_page=30", "1–50 of 123", 1, 50, "", false},
        {"&per_page=-25&sort=%22%3E%3Cb%3E&order=up", "1–50 of 123", 1, 50, "", false},
        {"&order=desc", "1–50 of 123", 1, 50, "", false},
        {"&sort=mac&per_page=200", "1–123 of 123", 1, 123, "mac", false},
        {"&sort=mac&order=desc&per_page=200", "1–123 of 123", 1, 123, "mac", true},
        {"&sort=vlan&per_page=200", "1–123 of 123", 1, 123, "vlan", false},
        {"&sort=vlan&order=desc&per_page=200", "1–123 of 123", 1, 123, "vlan", true},
        {"&sort=intf&per_page=200", "1–123 of 123", 1, 123, "intf", false},
        {"&sort=intf&order=desc&per_page=200", "1–123 of 123", 1, 123, "intf", true},
        {"&sort=intf&order=desc&per_page=25&page=2", "26–50 of 123", 26, 25, "intf", true},
        // Filters with paging.
        {"&vlan=10&per_page=25&page=2", "26–30 of 30", 26, 5, "", false},
        {"&intf_name=agg8&sort=mac&page=1", "1–24 of 24", 1, 24, "mac", false},
        {"&addr0=00e0&addr1=fc0a&addr2=00aa&sort=vlan&order=desc", "1–3 of 3", 1, 3, "vlan", true},
        {"&vlan=4000", "0 of 0", 0, 0, "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.view);
        proc_result r = listing("GET", q + c.view);
        ASSERT_TRUE(is_rendered_page(r.out));
        EXPECT_EQ(r.out.find("id=\"cli_failed\""), std::string::npos);
        EXPECT_EQ(element_text(r.out, "count"), c.count);
        std::vector<shown_row> rows = shown_rows(r.out);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.rows));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].num, c.first + static_cast<int>(i));
            if (*c.sort == '\0' && c.view.find("&vlan") == std::string::npos) {
                EXPECT_EQ(rows[i].mac + " " + rows[i].vlan, cli_order[static_cast<std::size_t>(rows[i].num - 1)]);
            }
            if (*c.sort && i > 0) {
                EXPECT_TRUE(c.desc ? in_view_order(rows[i], rows[i - 1], c.sort) : in_view_order(rows[i - 1], rows[i], c.sort))
                    << rows[i - 1].mac << " " << rows[i - 1].vlan << " " << rows[i - 1].intf << " before "
                    << rows[i].mac << " " << rows[i].vlan << " " << rows[i].intf;
            }
        }
        // Odd values are never written back.
        EXPECT_EQ(r.out.find("<b>"), std::string::npos);
        EXPECT_EQ(r.out.find("-25"), std::string::npos);
        if (*c.sort) {
            // The current column reverses; the others sort from the first page.
            std::string col = c.sort;
            EXPECT_NE(r.out.find("aria-sort=\"" + std::string(c.desc ? "descending" : "ascending") +
                                 "\"><a id=\"sort_" + col + "\""), std::string::npos);
            std::size_t link = r.out.find("id=\"sort_" + col + "\" href=\"");
            ASSERT_NE(link, std::string::npos);
            EXPECT_NE(r.out.substr(link, 200).find("sort=" + col + "&amp;order=" + (c.desc ? "asc" : "desc") +
                                                   "&amp;per_page="), std::string::npos);
        }
    }

    // The pager and the page-size choice carry the whole view.
    proc_result r = listing("GET", q + "&vlan=10&sort=mac&order=desc&per_page=25&page=1");
    EXPECT_NE(r.out.find("id=\"page_next\" href=\"web_mac_static.cgi?sessionId=" + admin +
                         "&amp;lang=en&amp;vlan=10&amp;sort=mac&amp;order=desc&amp;per_page=25&amp;page=2\""),
              std::string::npos);
    EXPECT_NE(r.out.find("<span id=\"page_prev\" class=\"disabled\""), std::string::npos);
    EXPECT_NE(r.out.find("<option value=\"25\" selected>"), std::string::npos);
    EXPECT_NE(r.out.find("action=\"web_mac_static.cgi?sessionId=" + admin +
                         "&amp;lang=en&amp;vlan=10&amp;sort=mac&amp;order=desc&amp;per_page=25&amp;page=1\""),
              std::string::npos);
    r = listing("GET", q + "&lang=cn&page=2");
    EXPECT_EQ(element_text(r.out, "count"), "第 51–100 条，共 123 条");

    // A count that fills its pages exactly has no page past them.
    r = listing("GET", q + "&vlan=10&per_page=25&page=2");
    EXPECT_EQ(element_text(r.out, "count"), "26–30 of 30");
    r = listing("GET", q + "&intf_name=agg8&addr0=00e0&per_page=25&page=9");
    EXPECT_EQ(element_text(r.out, "count"), "1–24 of 24");
    configure("mac-address-table 00e0.fc0a.00ab forward agg8 vlan 1\n");
    r = listing("GET", q + "&intf_name=agg8&per_page=25&page=9");
    EXPECT_EQ(element_text(r.out, "count"), "1–25 of 25");
    EXPECT_EQ(r.out.find("id=\"page_next\" href"), std::string::npos);
}

// A request runs the CLI once, and the listing and the export read its one
// answer only by what the switch guarantees: six header lines, whatever
// they hold, then rows of four words in the switch's grammar. Any other
// answer is not the table: a warning and no rows, no export.
TEST_F(PageTest, OneCliRunPerRequestAndTheTableReadByItsGuarantees)
{
    configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n"
              "mac-address-table 00e0.fc0a.0002 forward agg2 vlan 1\n"
              "mac-address-table 00e0.fc0a.0003 forward eth-0-10 vlan 20\n");
    const std::string sim = SIM_BIN_DIR "/imish";
    stub_imish("echo run >>/tmp/imish_runs\nexec " + sim + " \"$@\"\n");
    const std::string q = "sessionId=" + admin + "&lang=en";
    struct { const char *name; std::function<proc_result()> request; } requests[] = {
        {"listing", [&] { return listing("GET", q); }},
        {"export", [&] { return listing("GET", q + "&format=csv"); }},
        {"add form", [&] { return request("GET", q); }},
        {"add", [&] { return add(admin, "addr0=00e0&addr1=fc0a&addr2=0004&intf_name=eth-0-1&vlan=10"); }},
        {"removal", [&] { return listing("POST", q, "operate=delete&sel=00e0.fc0a.0004+eth-0-1+10"); }},
    };
    for (const auto &rq : requests) {
        unlink("/tmp/imish_runs");
        proc_result r = rq.request();
        EXPECT_EQ(read_file("/tmp/imish_runs"), "run\n") << rq.name << ": " << r.out.substr(0, 300);
    }

    const std::string rows = "00e0.fc0a.0002 1 agg2,00e0.fc0a.0001 10 eth-0-1,00e0.fc0a.0003 20 eth-0-10,";
    const std::string header = "Static MAC address table";
    struct { const char *name; std::string stub; bool whole; } answers[] = {
        {"a centred title", sim + " \"$@\" | sed 's/^" + header + "/          Mac Address Table/'\n", true},
        {"a blank line between the rows", sim + " \"$@\" | sed '8s/^/\\n/'\n", true},
        {"a header one line longer", sim + " \"$@\" | sed '1s/^/Switch 1\\n/'\n", false},
        {"the table cut in its header", sim + " \"$@\" | head -n 4\n", false},
        {"the show refused", "echo '% Switch busy, try again'\n", false},
        {"a % line after the first row", sim + " \"$@\" | sed '7a % Table changed while listed'\n", false},
        {"a failing status after the whole table", sim + " \"$@\"\nexit 1\n", false},
        {"a row with a fifth word", sim + " \"$@\" | sed '8s/$/ x/'\n", false},
        {"a row with a VLAN out of range", sim + " \"$@\" | sed '7s/^1 /4095 /'\n", false},
        {"a row whose interface would start a formula", sim + " \"$@\" | sed '7s/agg2/=cmd|calc!A0/'\n", false},
        {"a line longer than the reader's buffer",
         sim + " \"$@\" | sed '7s/$/" + std::string(250, ' ') + "10 00e0.fc0a.0099 static eth-0-9/'\n", false},
    };
    for (const auto &a : answers) {
        SCOPED_TRACE(a.name);
        stub_imish(a.stub);
        proc_result r = listing("GET", q + "&per_page=200");
        std::string shown;
        for (const shown_row &row : shown_rows(r.out))
            shown += row.mac + " " + row.vlan + " " + row.intf + ",";
        EXPECT_EQ(r.out.find("id=\"cli_failed\"") == std::string::npos, a.whole);
        EXPECT_EQ(shown, a.whole ? rows : "");
        EXPECT_EQ(r.out.find("id=\"count\"") != std::string::npos, a.whole);
        // The interface choices are the table's own, in port order.
        if (a.whole) {
            EXPECT_NE(r.out.find("<option value=\"eth-0-1\">eth-0-1</option>\n   <option value=\"eth-0-10\">eth-0-10"
                                 "</option>\n   <option value=\"agg2\">agg2</option>"), std::string::npos);
        }
        r = listing("GET", q + "&format=csv");
        if (a.whole) {
            EXPECT_EQ(r.out.substr(r.out.find("\r\n\r\n") + 4),
                      "mac,vlan,interface\r\n00e0.fc0a.0002,1,agg2\r\n00e0.fc0a.0001,10,eth-0-1\r\n"
                      "00e0.fc0a.0003,20,eth-0-10\r\n");
        } else {
            EXPECT_EQ(r.out, error_redirect(admin, "en", "error_export_incomplete", "web_mac_static.cgi%3FsessionId%3D" +
                                            admin + "%26lang%3Den%26order%3Dasc%26per_page%3D50%26page%3D1"));
        }
    }
}

// The listing's filters are in the switch's grammar before anything is
// asked, and match as an operator means them: a MAC group in either letter
// case, one to four digits, the groups left empty matching any.
TEST_F(PageTest, ListingFiltersInTheSwitchsGrammar)
{
    configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n"
              "mac-address-table 00e0.fc0b.0002 forward agg2 vlan 10\n"
              "mac-address-table 0a1b.fc0a.0003 forward eth-0-2 vlan 20\n");
    stub_imish("echo run >>/tmp/imish_runs\nexec " SIM_BIN_DIR "/imish \"$@\"\n");
    const std::string q = "sessionId=" + admin + "&lang=en";
    struct { std::string filter, shown, marked; } cases[] = {
        {"&addr0=00E0", "00e0.fc0a.0001 00e0.fc0b.0002", ""},
        {"&addr0=e0", "00e0.fc0a.0001 00e0.fc0b.0002", ""},
        {"&addr1=FC0A", "00e0.fc0a.0001 0a1b.fc0a.0003", ""},
        {"&addr0=00e0&addr1=fc0b", "00e0.fc0b.0002", ""},
        {"&addr2=3", "0a1b.fc0a.0003", ""},
        {"&vlan=10&intf_name=agg2", "00e0.fc0b.0002", ""},
        {"&vlan=30", "", ""},
        {"&intf_name=all&vlan=", "00e0.fc0a.0001 00e0.fc0b.0002 0a1b.fc0a.0003", ""},
        // Not in the grammar: refused with the field marked, nothing run.
        {"&vlan=10+%7C+exclude+Entries", "", "vlan"},
        {"&vlan=10%0Ashow+run", "", "vlan"},
        {"&vlan=4095", "", "vlan"},
        {"&vlan=010", "", "vlan"},
        {"&addr0=00e0f", "", "addr0"},
        {"&addr1=fc0g", "", "addr1"},
        {"&intf_name=eth-0-1%3Bx", "", "intf_name"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.filter);
        unlink("/tmp/imish_runs");
        proc_result r = listing("GET", q + c.filter);
        std::string shown;
        for (const shown_row &row : shown_rows(r.out))
            shown += (shown.empty() ? "" : " ") + row.mac;
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(r.out.find("id=\"cli_failed\""), std::string::npos);
        EXPECT_EQ(read_file("/tmp/imish_runs"), c.marked.empty() ? "run\n" : "");
        EXPECT_EQ(r.out.find("id=\"filter_invalid\"") != std::string::npos, !c.marked.empty());
        if (!c.marked.empty()) {
            std::size_t field = r.out.find("id=\"" + c.marked + "\"");
            ASSERT_NE(field, std::string::npos);
            EXPECT_NE(r.out.substr(field, r.out.find('>', field) - field).find("aria-invalid=\"true\""), std::string::npos);
            EXPECT_EQ(listing("GET", q + c.filter + "&format=csv").out.find("errid=invalid_parameter"),
                      std::string("Location: web_error.cgi?sessionId=" + admin + "&lang=en&").size());
        }
    }
}

std::string form_encode(const std::string &text)
{
    std::string out;
    char hex[4];
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// The rows of a batch's answer: "<line> <class> <mac> <vlan> <intf>" for a
// line that ran, "<line> invalid <why>" for one not taken.
std::vector<std::string> batch_rows(const std::string &html)
{
    std::vector<std::string> rows;
    for (std::size_t at = html.find("<tbody>"); (at = html.find("<tr class=\"", at)) != std::string::npos;) {
        at += 11;
        std::string cls = html.substr(at, html.find('"', at) - at);
        std::string line = cell(html, at, "line");
        if (cls == "invalid") {
            cell(html, at, "text\" colspan=\"3");
            rows.push_back(line + " invalid " + cell(html, at, "why"));
        } else {
            std::string mac = cell(html, at, "mac"), vlan = cell(html, at, "vlan");
            std::string row = line + " " + cls + " " + mac + " " + vlan + " " + cell(html, at, "intf");
            // A repeat names the line it repeats.
            std::string outcome = cell(html, at, "outcome");
            if (std::size_t same = outcome.find("the same entry as line "); same != std::string::npos)
                row += " =" + outcome.substr(same + 23, outcome.find(')', same) - same - 23);
            rows.push_back(row);
        }
    }
    return rows;
}

// Many entries at once: every line checked before anything runs, one run
// for the whole batch, an outcome and a record for each entry.
TEST_F(PageTest, BatchAddChecksTheWholeListAndRunsItOnce)
{
    const std::string sim = SIM_BIN_DIR "/imish";
    configure("mac-address-table 00e0.fc0a.0009 forward eth-0-9 vlan 30\n");
    std::string base = show_static();
    // stop: the CLI stops at its first refusal and exits 1, as some do.
    struct { const char *name; std::string text, sid_of; std::vector<std::string> rows; std::string summary;
             int runs; std::vector<std::string> added; bool stop = false; } cases[] = {
        {"every form, any separators, CRLF, a header, comments and blanks",
         "MAC,VLAN,Interface\r\n00E0.FC0A.0001,10,eth-0-1\r\n\r\n# a comment\r\n  00:e0:fc:0a:00:02 ,\t1 , agg2 \r\n"
         "00-E0-FC-0A-00-03\t20   eth-0-10\r\n",
         "admin", {"2 added 00e0.fc0a.0001 10 eth-0-1", "5 added 00e0.fc0a.0002 1 agg2", "6 added 00e0.fc0a.0003 20 eth-0-10"},
         "Added: 3 · refused: 0 · not known: 0 · not valid: 0", 1, {"00e0.fc0a.0001", "00e0.fc0a.0002", "00e0.fc0a.0003"}},
        {"the same entry again goes once, each line in its place, each repeat held to the first",
         "00e0.fc0a.0001 10 eth-0-1\n00e0.fc0a.0002,10,eth-0-1\n00E0.FC0A.0001,10,eth-0-1\n00:e0:fc:0a:00:01,10,eth-0-1\n",
         "admin",
         {"1 added 00e0.fc0a.0001 10 eth-0-1", "2 added 00e0.fc0a.0002 10 eth-0-1",
          "3 added 00e0.fc0a.0001 10 eth-0-1 =1", "4 added 00e0.fc0a.0001 10 eth-0-1 =1"},
         "Added: 4 · refused: 0 · not known: 0 · not valid: 0", 1, {"00e0.fc0a.0001", "00e0.fc0a.0002"}},
        {"the CLI refuses one line of several: the others go",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,40,eth-0-1\n00e0.fc0a.0003,1,eth-0-2\n", "admin",
         {"1 added 00e0.fc0a.0001 10 eth-0-1", "2 refused 00e0.fc0a.0002 40 eth-0-1", "3 added 00e0.fc0a.0003 1 eth-0-2"},
         "Added: 2 · refused: 1 · not known: 0 · not valid: 0", 1, {"00e0.fc0a.0001", "00e0.fc0a.0003"}},
        {"VLAN 10 in the CLI's line names neither VLAN 1 nor the 1 of eth-1-1",
         "00e0.fc0a.0001,10,eth-1-1\n00e0.fc0a.0001,1,eth-0-1\n", "admin",
         {"1 refused 00e0.fc0a.0001 10 eth-1-1", "2 added 00e0.fc0a.0001 1 eth-0-1"},
         "Added: 1 · refused: 1 · not known: 0 · not valid: 0", 1, {"00e0.fc0a.0001"}},
        {"the CLI stops at its first refusal and fails: the table tells what became of the rest",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,40,eth-0-1\n00e0.fc0a.0003,1,eth-0-2\n00e0.fc0a.0004,1,agg1\n", "admin",
         {"1 added 00e0.fc0a.0001 10 eth-0-1", "2 refused 00e0.fc0a.0002 40 eth-0-1", "3 refused 00e0.fc0a.0003 1 eth-0-2",
          "4 refused 00e0.fc0a.0004 1 agg1"},
         "Added: 1 · refused: 3 · not known: 0 · not valid: 0", 2, {"00e0.fc0a.0001"}, true},
        {"each kind of bad line: nothing runs",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,10\n00e0.fc0a.000g,10,eth-0-1\n00e0.fc0a.0003,4095,eth-0-1\n"
         "00e0.fc0a.0004,10,eth-0-01\n00e0.fc0a.0005,10,eth-0-1,x\n00e0.fc0a.0006,10,eth-0-1\x01\n00e0.fc0a.0007,,eth-0-1\n"
         "00e0:fc0a:0008,10,eth-0-1\n00e0.fc0a.0009 10 agg1;no mac-address-table\n",
         "admin", {"2 invalid needs exactly three fields: MAC address, VLAN, interface",
                   "3 invalid not a MAC address (xxxx.xxxx.xxxx, xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx)",
                   "4 invalid not a VLAN from 1 to 4094", "5 invalid not a port name of the switch&#39;s kind (eth-S-P or aggN)",
                   "6 invalid needs exactly three fields: MAC address, VLAN, interface", "7 invalid holds a control character",
                   "8 invalid needs exactly three fields: MAC address, VLAN, interface",
                   "9 invalid not a MAC address (xxxx.xxxx.xxxx, xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx)",
                   "10 invalid needs exactly three fields: MAC address, VLAN, interface"},
         "Added: 0 · refused: 0 · not known: 0 · not valid: 9", 0, {}},
        {"one MAC and VLAN on two interfaces: both lines, nothing runs",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,10,eth-0-2\n00E0.FC0A.0001,10,agg1\n", "admin",
         {"1 invalid the same MAC address and VLAN as line 3, on another interface",
          "3 invalid the same MAC address and VLAN as line 1, on another interface"},
         "Added: 0 · refused: 0 · not known: 0 · not valid: 2", 0, {}},
        {"no entry at all", "# nothing\n\n", "admin", {}, "Added: 0 · refused: 0 · not known: 0 · not valid: 0", 0, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        run_process({sim, "--reset"}, {});
        configure("mac-address-table 00e0.fc0a.0009 forward eth-0-9 vlan 30\n");
        stub_imish(std::string("echo run >>/tmp/imish_runs\n") + (c.stop ? "SIM_IMISH_STOP_AT_ERROR=1 " : "") + "exec " +
                   sim + " \"$@\"\n");
        unlink("/tmp/imish_runs");
        syslog_catcher log;
        proc_result r = add(admin, "operate=add_many&entries=" + form_encode(c.text));
        path = kPath;
        EXPECT_TRUE(is_rendered_page(r.out)) << r.out.substr(0, 300);
        EXPECT_EQ(element_text(r.out, "summary"), c.summary);
        std::vector<std::string> rows = batch_rows(r.out);
        EXPECT_EQ(rows, c.rows);
        std::string runs;
        for (int i = 0; i < c.runs; ++i)
            runs += "run\n";
        EXPECT_EQ(read_file("/tmp/imish_runs"), runs);
        // Read back from the table only when the answer was in doubt.
        EXPECT_EQ(r.out.find("id=\"batch_read_back\"") != std::string::npos, c.runs == 2);
        std::string table = show_static();
        for (const std::string &mac : c.added)
            EXPECT_NE(table.find(mac), std::string::npos) << mac;
        if (c.added.empty()) {
            EXPECT_EQ(table, base);
        }
        // One record per entry that ran, in the order of its first line and
        // with that line's outcome; one for a batch refused whole.
        std::vector<std::string> records = log.take(), want;
        std::set<std::string> seen;
        for (const std::string &row : rows) {
            char cls[16], mac[16], vlan[8], intf[16];
            if (std::sscanf(row.c_str(), "%*d %15s %15s %7s %15s", cls, mac, vlan, intf) == 4 &&
                seen.insert(std::string(mac) + vlan).second)
                want.push_back(std::string("mac=\"") + mac + "\" intf=\"" + intf + "\" vlan=\"" + vlan + "\" result=" +
                               (std::string(cls) == "added" ? "ok" : cls));
        }
        if (!c.runs)
            want = {"result=refused reason=\"invalid_parameter\""};
        std::vector<std::string> got;
        for (const std::string &rec : records) {
            std::size_t from = rec.find("action=add ") + 11;
            got.push_back(rec.substr(from, rec.find(' ', rec.find(" result=", from) + 1) - from));
        }
        for (std::string &g : got)
            g = g.substr(0, g.find(" reason="));
        for (std::string &w : want)
            w = c.runs ? w : w.substr(0, w.find(" reason="));
        EXPECT_EQ(got, want);
    }

    // The limit itself is a list the page takes whole, in one run (no
    // syslog daemon to hold its 1,024 records).
    std::string many;
    for (int i = 0; i <= 1024; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "00e0.fc0b.%04x,1,eth-0-1\n", i);
        many += line;
    }
    run_process({sim, "--reset"}, {});
    proc_result r = add(admin, "operate=add_many&entries=" + form_encode(many.substr(0, many.rfind("00e0.fc0b."))));
    EXPECT_EQ(element_text(r.out, "summary"), "Added: 1024 · refused: 0 · not known: 0 · not valid: 0");
    run_process({sim, "--reset"}, {});

    // The CLI's own line for the entry it refused; the records follow.
    syslog_catcher log;
    r = add(admin, "operate=add_many&entries=" + form_encode("00e0.fc0a.0011,40,eth-0-1\n00e0.fc0a.0012,1,eth-0-2\n"));
    EXPECT_NE(r.out.find("<span class=\"reason\">Cannot add 00e0.fc0a.0011 to VLAN 40: VLAN 40 does not exist"),
              std::string::npos) << r.out;
    std::vector<std::string> records = log.take();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].find("mac=\"00e0.fc0a.0011\" intf=\"eth-0-1\" vlan=\"40\" result=refused"), std::string::npos);
    EXPECT_NE(records[1].find("mac=\"00e0.fc0a.0012\" intf=\"eth-0-2\" vlan=\"1\" result=ok"), std::string::npos);

    // A run that did not complete: every entry not known, never added.
    stub_imish(sim + " \"$@\"\nkill -9 $$\n");
    r = add(admin, "operate=add_many&entries=" + form_encode("00e0.fc0a.0021,1,eth-0-1\n00e0.fc0a.0022,1,eth-0-1\n"), "cn");
    path = kPath;
    EXPECT_EQ(batch_rows(r.out), (std::vector<std::string>{"1 unknown 00e0.fc0a.0021 1 eth-0-1", "2 unknown 00e0.fc0a.0022 1 eth-0-1"}));
    EXPECT_NE(r.out.find("id=\"batch_failure\">无法读取交换机的完整应答"), std::string::npos);
    EXPECT_EQ(element_text(r.out, "summary"), "已添加 0 个 · 被拒绝 0 个 · 结果未知 2 个 · 无效 0 个");
    for (const std::string &rec : log.take())
        EXPECT_NE(rec.find("result=unknown reason=\"cli_no_answer\""), std::string::npos) << rec;

    // A limited session, and the limits: nothing runs, a clear error.
    const std::string back = "web_mac_static_add.cgi%3F";
    stub_imish("echo run >>/tmp/imish_runs\nexec " + sim + " \"$@\"\n");
    unlink("/tmp/imish_runs");
    EXPECT_EQ(add(guest, "operate=add_many&entries=00e0.fc0a.0031,1,eth-0-1").out,
              error_redirect(guest, "en", "error_no_privilege", back));
    EXPECT_EQ(add(admin, "operate=add_many&entries=" + form_encode(many)).out,
              error_redirect(admin, "en", "error_batch_too_large", back));
    EXPECT_EQ(add(admin, "operate=add_many&entries=" + std::string(64 * 1024, 'x')).out,
              error_redirect(admin, "en", "error_batch_too_large", back));
    // A single add keeps its own 4 KiB.
    EXPECT_EQ(add(admin, "addr0=00e0&addr1=fc0a&addr2=0031&intf_name=eth-0-1&vlan=1&pad=" + std::string(5000, 'x')).out,
              error_redirect(admin, "en", "invalid_parameter", back));
    path = kPath;
    EXPECT_EQ(read_file("/tmp/imish_runs"), "");
    EXPECT_EQ(show_static().find("00e0.fc0a.0031"), std::string::npos);
}

// A body that is not a form the pages send is refused before anything is
// taken from it: nothing runs, one record, a clear answer.
TEST_F(PageTest, BodiesThatAreNotTheFormAreRefused)
{
    const std::string line1 = "00e0.fc0a.0001,1,eth-0-1", line2 = "00e0.fc0a.0002,1,eth-0-1";
    std::string many_fields;
    for (int i = 0; i < 17; ++i)
        many_fields += "f" + std::to_string(i) + "=&";
    // extra: bytes the CONTENT_LENGTH claims beyond the body; -1: no CONTENT_LENGTH.
    struct { const char *name; std::string body; long extra; } cases[] = {
        {"a body shorter than it claims", "addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-1&vlan=1", 50},
        {"no CONTENT_LENGTH", "addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-1&vlan=1", -1},
        {"a NUL that would hide the lines after it",
         "operate=add_many&entries=" + form_encode(line1) + "%0A%00%0A" + form_encode(line2) + "%0Agarbage", 0},
        {"a raw NUL", "operate=add_many&entries=" + form_encode(line1) + std::string(1, '\0') + "x", 0},
        {"a list given twice", "operate=add_many&entries=" + form_encode(line1) + "&entries=" + form_encode(line2), 0},
        {"a field name repeated", "addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-1&vlan=1&vlan=2", 0},
        {"more fields than a form has", many_fields, 0},
        {"a field name out of the forms' kind", "addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-1&vlan=1&a.b=1", 0},
    };
    stub_imish("echo run >>/tmp/imish_runs\nexec " SIM_BIN_DIR "/imish \"$@\"\n");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        unlink("/tmp/imish_runs");
        syslog_catcher log;
        std::vector<std::string> env = cgi_env("POST", "sessionId=" + admin + "&lang=en", c.body);
        if (c.extra < 0)
            env.pop_back();
        else
            env.back() = "CONTENT_LENGTH=" + std::to_string(c.body.size() + static_cast<std::size_t>(c.extra));
        proc_result r = run_process({PAGE_BIN}, env, c.body);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, error_redirect(admin, "en", "invalid_parameter", "web_mac_static_add.cgi%3F"));
        EXPECT_EQ(read_file("/tmp/imish_runs"), "");
        std::vector<std::string> records = log.take();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_NE(records[0].find("action=add result=refused reason=\"invalid_parameter\""), std::string::npos);
    }
    // An operation in another letter case is the same operation.
    proc_result r = add(admin, "operate=ADD_MANY&entries=" + form_encode(line1));
    EXPECT_EQ(element_text(r.out, "summary"), "Added: 1 · refused: 0 · not known: 0 · not valid: 0");
    // The removal: only "sel" may repeat.
    r = listing("POST", "sessionId=" + admin + "&lang=en", "operate=delete&operate=delete&sel=00e0.fc0a.0001+eth-0-1+1");
    EXPECT_NE(r.out.find("errid=invalid_parameter"), std::string::npos);
    EXPECT_NE(show_static().find("00e0.fc0a.0001"), std::string::npos);
}

// The table exported as the add page takes it back: every entry that passes
// the filters, in the view's order, across all pages, in one run; and the
// export sent back re-makes the table.
TEST_F(PageTest, ExportIsWhatTheBatchTakesBack)
{
    std::string cmds;
    for (int i = 0; i < 60; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "mac-address-table 00e0.fc0a.%04x forward %s vlan %s\n", (i * 7) % 60,
                      i % 3 ? "eth-0-2" : "agg3", i % 2 ? "10" : "1");
        cmds += line;
    }
    configure(cmds);
    const std::string q = "sessionId=" + admin + "&lang=en";
    stub_imish("echo run >>/tmp/imish_runs\nexec " SIM_BIN_DIR "/imish \"$@\"\n");
    proc_result r = listing("GET", q + "&sort=mac&order=desc&page=2&format=csv");
    path = kPath;
    EXPECT_EQ(read_file("/tmp/imish_runs"), "run\n");
    std::size_t blank = r.out.find("\r\n\r\n");
    ASSERT_NE(blank, std::string::npos);
    EXPECT_EQ(r.out.substr(0, blank + 4), "Content-Type: text/csv; charset=utf-8\r\n"
                                          "Content-Disposition: attachment; filename=\"static-mac-table.csv\"\r\n"
                                          "Cache-Control: no-store\r\n\r\n");
    std::string csv = r.out.substr(blank + 4);
    EXPECT_EQ(csv.rfind("mac,vlan,interface\r\n00e0.fc0a.003b,10,", 0), 0u) << csv.substr(0, 80);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 61);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\r'), 61);
    EXPECT_EQ(csv.find_first_of("=+@\""), std::string::npos);
    // Filtered: the same filters as the view.
    r = listing("GET", q + "&vlan=10&intf_name=agg3&format=csv");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4 + 1 + 10) << r.out;

    // Round trip: empty the table, send the export back, the same table.
    std::string before = show_static();
    run_process({SIM_BIN_DIR "/imish", "--reset"}, {});
    r = add(admin, "operate=add_many&entries=" + form_encode(csv));
    EXPECT_EQ(element_text(r.out, "summary"), "Added: 60 · refused: 0 · not known: 0 · not valid: 0");
    EXPECT_EQ(show_static(), before);

    // The listing links to its export, with its view.
    r = listing("GET", q + "&vlan=10&sort=intf");
    EXPECT_NE(r.out.find("id=\"export_link\" href=\"web_mac_static.cgi?sessionId=" + admin +
                         "&amp;lang=en&amp;vlan=10&amp;sort=intf&amp;order=asc&amp;per_page=50&amp;page=1&amp;format=csv\""),
              std::string::npos);
    // An answer not whole is no export.
    stub_imish(SIM_BIN_DIR "/imish \"$@\" | head -n 3\n");
    r = listing("GET", q + "&format=csv");
    EXPECT_EQ(r.out, error_redirect(admin, "en", "error_export_incomplete", "web_mac_static.cgi%3FsessionId%3D" + admin +
                                    "%26lang%3Den%26order%3Dasc%26per_page%3D50%26page%3D1"));
}

TEST_F(PageTest, BusySessionReturnsToTheRequestedPage)
{
    // Another instance: the pid file, locked.
    planted_pid_file = kPidPrefix + admin + ".pid";
    const std::string pid_path = "/var/run/" + planted_pid_file;
    write_file(pid_path, std::to_string(getpid()));
    int held = open(pid_path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    proc_result r = request("GET", "sessionId=" + admin + "&lang=en");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, error_redirect(admin, "en", "error_prog_busy",
                                    "web_mac_static_add.cgi%3FsessionId%3D" + admin + "%26lang%3Den"));
    EXPECT_EQ(read_file(pid_path), std::to_string(getpid()));

    // A rewritten URI that does not name the program returns to the page.
    std::vector<std::string> env = cgi_env("GET", "sessionId=" + admin + "&lang=en", "");
    env[4] = "REQUEST_URI=/mac/add";
    r = run_process({PAGE_BIN}, env);
    EXPECT_EQ(r.out, error_redirect(admin, "en", "error_prog_busy", "web_mac_static_add.cgi"));

    // A holder that is gone took its lock with it: its pid file, even one
    // naming a live process, does not block the session.
    close(held);
    planted_pid_file.clear();
    r = request("GET", "sessionId=" + admin + "&lang=en");
    EXPECT_TRUE(is_rendered_page(r.out));
}

TEST_F(PageTest, BurstOnOneSessionRunsOneInstanceAtATime)
{
    stub_imish("mkdir /tmp/imish_running 2>/dev/null || echo overlap >>/tmp/imish_overlap\n"
               "sleep 0.1\nrmdir /tmp/imish_running\nexec " SIM_BIN_DIR "/imish \"$@\"\n");
    const std::string busy = error_redirect(admin, "en", "error_prog_busy",
                                            "web_mac_static_add.cgi%3FsessionId%3D" + admin + "%26lang%3Den");
    int rendered = 0;
    for (int burst = 0; burst < 6; ++burst) {
        std::vector<proc_result> results(16);
        std::vector<std::thread> clients;
        for (proc_result &r : results)
            clients.emplace_back([&] { r = request("GET", "sessionId=" + admin + "&lang=en"); });
        for (std::thread &t : clients)
            t.join();
        for (const proc_result &r : results) {
            rendered += is_rendered_page(r.out);
            EXPECT_TRUE(is_rendered_page(r.out) || r.out == busy) << r.out.substr(0, 200);
        }
    }
    EXPECT_GE(rendered, 6);
    EXPECT_FALSE(path_exists("/tmp/imish_overlap")) << "two imish runs of one session at once";
}

TEST_F(PageTest, TmpNearlyFullRunsNothingAndSaysSo)
{
    // /tmp shrunk, then filled to 32 KiB short of full: below the room a
    // CLI answer needs, yet enough for the page's own small files.
    ASSERT_EQ(mount(nullptr, "/tmp", nullptr, MS_REMOUNT, "size=2m"), 0) << std::strerror(errno);
    int filler = open("/tmp/filler", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    std::string block(4096, 'x');
    while (write(filler, block.data(), block.size()) > 0) {
    }
    ASSERT_EQ(ftruncate(filler, lseek(filler, 0, SEEK_END) - 32 * 1024), 0);
    close(filler);

    proc_result r = add(admin, "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10");
    EXPECT_EQ(r.out, error_redirect(admin, "en", "%25cli_unavailable", "web_mac_static_add.cgi%3F"));
    r = request("GET", "sessionId=" + admin + "&lang=en");
    EXPECT_TRUE(is_rendered_page(r.out));
    EXPECT_NE(r.out.find("id=\"cli_failed\""), std::string::npos) << r.out;
    unlink("/tmp/filler");
    EXPECT_EQ(show_static().find("00e0"), std::string::npos);
}

TEST_F(PageTest, HungImishIsEndedAndReported)
{
    // Its child takes SIGTERM as a cue to clean up: the whole group gets it.
    stub_imish("(trap 'echo >/tmp/child_termed; exit' TERM; while :; do sleep 0.1; done) &\n"
               "trap '' TERM\necho $$ >/tmp/imish_started\nwhile :; do sleep 1; done\n");
    syslog_catcher log;
    auto start = std::chrono::steady_clock::now();
    proc_result r = add(admin, "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10");
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.out, error_redirect(admin, "en", "%25cli_timeout", "web_mac_static_add.cgi%3F"));
    EXPECT_EQ(log.take(), std::vector<std::string>{
        "3 web_mac_static_add.cgi: user=\"admin\" addr=\"127.0.0.1\" action=add mac=\"00e0.fc0a.b1c2\" "
        "intf=\"eth-0-1\" vlan=\"10\" result=unknown reason=\"cli_timeout\" known=cli"});
    EXPECT_GE(took, std::chrono::seconds(20));
    EXPECT_LT(took, std::chrono::seconds(30));
    // SIGTERM is ignored: SIGKILL ended it, its children with it.
    pid_t imish = std::atoi(read_file("/tmp/imish_started").c_str());
    ASSERT_GT(imish, 0);
    EXPECT_EQ(kill(imish, 0), -1);
    EXPECT_TRUE(path_exists("/tmp/child_termed"));
}

// Runs that ran but whose answer is not whole, or that failed without a
// word: the page asks the switch's table once more, and each entry's
// outcome is what the table shows. Where that second question fails too
// (an add here: the same stub answers it), the operator is told the outcome
// is unknown, never a success nor a refusal; a listing warns, never shows a
// shorter list.
TEST_F(PageTest, RunsWithoutAWholeAnswerAreToldSo)
{
    // A small /tmp, so that a run can fill it.
    ASSERT_EQ(mount(nullptr, "/tmp", nullptr, MS_REMOUNT, "size=2m"), 0) << std::strerror(errno);
    const std::string sim = SIM_BIN_DIR "/imish \"$@\"", fill = "cat /dev/zero >/tmp/filler 2>/dev/null\n";
    const std::string entry = "mac=\"00e0.fc0a.0001\" intf=\"eth-0-1\" vlan=\"10\" result=";
    // removed: what the table, read back, shows of the removal ("" when it
    // cannot be read either).
    struct { const char *name; std::string stub; const char *removed; const char *only = nullptr; } cases[] = {
        {"imish fails with a word on stderr only", "echo 'imish: no route to the daemon' >&2\nexit 1\n", "no"},
        {"imish fails after its work, its answer lost to writes that fail",
         sim + " >/dev/full\necho 'imish: write error' >&2\nexit 1\n", "yes"},
        {"/tmp full during the run, freed before the page looks",
         fill + "echo 'Building configuration...' || { rm -f /tmp/filler; exit 1; }\nexec " + sim + "\n", "no"},
        {"/tmp full during the run and after", fill + "exec " + sim + "\n", ""},
        {"imish killed before its work", "kill -9 $$\n", "no"},
        {"imish killed after its work", sim + "\nkill -9 $$\n", "yes"},
        {"the result file gone after the run", "rm -f \"$(readlink /proc/$$/fd/1)\"\nexec " + sim + "\n", "yes"},
        {"the listing's run killed after its work", sim + "\nkill -9 $$\n", "", "list"},
    };
    // A removal's second question goes clean; an add's meets the same fault.
    const std::string clean_show = "case \" $* \" in *' -w '*) exec " + sim + ";; esac\n";
    const std::string back = "web_mac_static.cgi%3FsessionId%3D" + admin + "%26lang%3Den%26order%3Dasc%26per_page%3D50%26page%3D1";
    for (const auto &c : cases)
        for (const std::string req : {"add", "remove", "list"}) {
            if (c.only && req != c.only)
                continue;
            SCOPED_TRACE(req + ": " + c.name);
            path = kPath;
            run_process({SIM_BIN_DIR "/imish", "--reset"}, {});
            configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n");
            stub_imish(req == "remove" ? clean_show + c.stub : c.stub);
            syslog_catcher log;
            std::string record = entry + "unknown reason=\"cli_no_answer\" known=cli";
            if (req == "list") {
                proc_result r = listing("GET", "sessionId=" + admin + "&lang=en");
                EXPECT_NE(r.out.find("id=\"cli_failed\""), std::string::npos);
                EXPECT_EQ(r.out.find("00e0.fc0a.0001"), std::string::npos);
            } else if (req == "add") {
                EXPECT_EQ(add(admin, "addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-1&vlan=10").out,
                          error_redirect(admin, "en", "%25cli_no_answer", "web_mac_static_add.cgi%3F"));
            } else {
                std::string removed = c.removed;
                proc_result r = listing("POST", "sessionId=" + admin + "&lang=en", "operate=delete&sel=00e0.fc0a.0001+eth-0-1+10");
                path = kPath;
                EXPECT_EQ(show_static().find("00e0.fc0a.0001") == std::string::npos, removed == "yes");
                EXPECT_EQ(r.out, removed == "yes" ? redirect("web_mac_static.cgi?sessionId=" + admin +
                                                             "&lang=en&order=asc&per_page=50&page=1&removed=1")
                                 : removed == "no" ? error_redirect(admin, "en", "%25cli_not_applied", back)
                                                   : error_redirect(admin, "en", "%25cli_no_answer", back));
                if (!removed.empty())
                    record = entry + (removed == "yes" ? "ok known=table" : "refused reason=\"cli_not_applied\" known=table");
            }
            std::vector<std::string> records = log.take();
            if (req == "list") {
                EXPECT_TRUE(records.empty());
            } else {
                ASSERT_EQ(records.size(), 1u);
                EXPECT_NE(records[0].find("action=" + std::string(req == "add" ? "add " : "remove ") + record),
                          std::string::npos) << records[0];
            }
            unlink("/tmp/filler");
        }
}

// The client has gone before the answer: its write fails, and the request
// still leaves nothing behind (TearDown).
TEST_F(PageTest, AnswerToAClientThatHasGoneLeavesNothing)
{
    configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n");
    for (const char *page : {"web_mac_static.cgi", "web_mac_static_add.cgi"}) {
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        close(out[0]);
        pid_t pid = start_get(page, out[1]);
        close(out[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << page << ": ended by signal " << WTERMSIG(status);
    }
}

TEST_F(PageTest, TerminatedMidRunEndsImishLeavesNothingAndExitsZero)
{
    // An imish that hangs, so the page is caught in the middle of its run.
    stub_imish("echo $$ >/tmp/imish_started\nexec sleep 30 >/dev/null 2>&1\n");
    for (int sig : {SIGTERM, SIGINT, SIGABRT}) {
        unlink("/tmp/imish_started");
        pid_t pid = start_get();
        for (int i = 0; i < 500 && read_file("/tmp/imish_started").empty(); ++i)
            usleep(10000);
        pid_t imish = std::atoi(read_file("/tmp/imish_started").c_str());
        ASSERT_GT(imish, 0);
        EXPECT_FALSE(dir_entries("/var/run", kPidPrefix).empty());
        kill(pid, sig);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "signal " << sig;
        EXPECT_EQ(kill(imish, 0), -1) << "imish outlived the request, signal " << sig;
        kill(imish, SIGKILL);
        EXPECT_TRUE(dir_entries("/tmp", "webcmd_").empty());
        EXPECT_TRUE(dir_entries("/tmp", "webres_").empty());
        EXPECT_TRUE(dir_entries("/var/run", kPidPrefix).empty());
    }
}

TEST_F(PageTest, ArgumentIsNoEnvironmentFileUnderCgi)
{
    // The library's debug hook would read argv[1] as the request's variables.
    write_file("/tmp/env_file", "QUERY_STRING=sessionId=" + admin + "&lang=en\nREQUEST_METHOD=GET\n");
    std::vector<std::string> env = cgi_env("GET", "", "");
    EXPECT_EQ(run_process({PAGE_BIN, "/tmp/env_file"}, env).out, login_timeout_page("en"));
    // Run by hand, outside a web server, it still serves for debugging.
    env.erase(env.begin() + 1);
    EXPECT_TRUE(is_rendered_page(run_process({PAGE_BIN, "/tmp/env_file"}, env).out));
}

// A socket where IMI listens, played by the test; -1 when it cannot be made.
int imi_listener(int backlog)
{
    int srv = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", IMI_SOCK_PATH);
    if (bind(srv, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(srv, backlog) != 0) {
        close(srv);
        return -1;
    }
    return srv;
}

// An IMI that is stuck: it accepts and never answers, or its queue is full
// and it never accepts. Each connect attempt, with the send and the reply
// after it, has 5 s: the session counts as refused, on the login page.
TEST(PageFault, StuckImiGivesTheLoginPageInTime)
{
    struct { const char *name; bool queue_full; int min_s, max_s; } cases[] = {
        {"silent after accepting", false, 5, 10},
        {"never accepting: five attempts of 5 s, a second apart", true, 25, 40},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        int srv = imi_listener(c.queue_full ? 0 : 8);
        ASSERT_GE(srv, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", IMI_SOCK_PATH);
        std::vector<int> queued;
        for (int i = 0; c.queue_full && i < 16; ++i) {
            int q = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (connect(q, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
                close(q);
                break;
            }
            queued.push_back(q);
        }
        auto start = std::chrono::steady_clock::now();
        proc_result r = run_process({PAGE_BIN}, {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET",
                                                 "QUERY_STRING=sessionId=2&lang=cn"});
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.out, login_timeout_page("cn"));
        EXPECT_GE(took, std::chrono::seconds(c.min_s));
        EXPECT_LT(took, std::chrono::seconds(c.max_s));
        for (int q : queued)
            close(q);
        close(srv);
        unlink(IMI_SOCK_PATH);
    }
}

// A session id longer than IMI compares is no session: it is not sent, so an
// IMI that would take its first 31 characters never vouches for all of it.
TEST(PageFault, OverlongSessionIdIsNeverSentToImi)
{
    int srv = imi_listener(8);
    ASSERT_GE(srv, 0);
    // An IMI that accepts whatever it is asked.
    std::thread imi([srv] {
        pollfd pfd = {srv, POLLIN, 0};
        if (poll(&pfd, 1, 10000) != 1)
            return;
        int c = accept(srv, nullptr, nullptr);
        char req[100];
        unsigned char reply[200] = {3, 0, 200, 0, 1, 1, 1, 1, 'a', 'd', 'm', 'i', 'n'};
        if (read(c, req, sizeof req) > 0) {
            EXPECT_EQ(write(c, reply, sizeof reply), 200);
        }
        close(c);
    });
    proc_result r = run_process({PAGE_BIN}, {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET",
                                             "QUERY_STRING=sessionId=" + std::string(32, '2') + "&lang=en"});
    EXPECT_EQ(r.out, login_timeout_page("en"));
    shutdown(srv, SHUT_RDWR);
    imi.join();
    close(srv);
    EXPECT_TRUE(dir_entries("/var/run", "web_mac_static").empty());
}

// Each request maps what the binary needs: the C library and nothing else
// (no libstdc++, libgcc_s, zlib or libcrypto), and carries no C++ exception
// runtime.
TEST(PageBinary, NeedsOnlyTheCLibrary)
{
    // The programs themselves, not the launchers an emulator needs.
    for (const char *bin : {PAGE_ELF_DIR "/web_mac_static_add.cgi", PAGE_ELF_DIR "/web_mac_static.cgi"}) {
        proc_result r = run_process({"/usr/bin/readelf", "-d", bin}, {});
        ASSERT_EQ(r.status, 0) << r.err;
        std::size_t needed = 0;
        for (std::size_t at = r.out.find("(NEEDED)"); at != std::string::npos;
             at = r.out.find("(NEEDED)", at + 1), ++needed) {
            std::string lib = r.out.substr(r.out.find('[', at) + 1);
            lib = lib.substr(0, lib.find(']'));
            // The C library's loader: ld-linux-x86-64.so.2, ld.so.1 on PowerPC.
            EXPECT_TRUE(lib.rfind("libc.so", 0) == 0 || lib.rfind("ld-linux", 0) == 0 ||
                        lib.rfind("ld.so", 0) == 0)
                << bin << ": " << lib;
        }
        EXPECT_GE(needed, 1u) << r.out;
        // Nor the C++ exception runtime, which a range-checked call such as
        // string_view::substr() links in whole.
        r = run_process({"/usr/bin/readelf", "-sW", bin}, {});
        EXPECT_EQ(r.out.find("__cxa_throw"), std::string::npos) << bin;
        EXPECT_EQ(r.out.find("_Unwind_RaiseException"), std::string::npos) << bin;
    }
}

} // namespace
