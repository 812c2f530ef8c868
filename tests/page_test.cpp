// The page program run as the web server runs it, against the IMI and imish
// stand-ins: every way out of a request, byte for byte, and what it leaves.
#include "imi_client.h"
#include "imi_daemon.h"
#include "syslog_catcher.h"
#include "test_util.h"
#include "web_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <regex>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using lines = std::vector<std::string>;

const std::string kPath = std::string(SIM_BIN_DIR) + ":/usr/bin:/bin";
const std::string kSim = SIM_BIN_DIR "/imish";
const std::string kPages = SIM_BIN_DIR "/../page/";
const std::string kForm = "application/x-www-form-urlencoded";
const std::string kAddBack = "web_mac_static_add.cgi%3F";
// One entry as the add form sends it, and as a record names it.
const std::string kEntry = "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10";
const std::string kB1c2 = "mac=\"00e0.fc0a.b1c2\" intf=\"eth-0-1\" vlan=\"10\" result=";
// An imish that notes each run in /tmp/imish_runs, then does its work.
const std::string kCountRuns = "echo run >>/tmp/imish_runs\nexec " + kSim + " \"$@\"\n";

// Whether text holds part; either way the message shows text's start.
testing::AssertionResult has(const std::string &text, const std::string &part)
{
    auto r = text.find(part) != std::string::npos ? testing::AssertionSuccess() : testing::AssertionFailure();
    return r << "\"" << part << "\" in: " << text.substr(0, 400);
}

// A rendered page, its headers to the byte: its links' session id kept from Referer, caches, others' frames; its type.
bool is_rendered_page(const std::string &out)
{
    return out.starts_with("Referrer-Policy: no-referrer\r\nCache-Control: no-store\r\nContent-Security-Policy: frame-ancestors "
                           "'self'\r\nContent-Type: text/html; charset=utf-8\r\n\r\n");
}

// A user's record of an action, as syslog_catcher gives it.
std::string rec(int severity, const std::string &action, const std::string &rest, const std::string &user = "admin")
{
    return std::to_string(severity) + (action == "add" || action == "move" ? " web_mac_static_add.cgi" : " web_mac_static.cgi") +
           ": user=\"" + user + "\" addr=\"127.0.0.1\" action=" + action + " " + rest;
}

// An entry as a record names it.
std::string ent(const std::string &mac, const std::string &intf, const std::string &vlan = "10")
{
    return "mac=\"" + mac + "\" intf=\"" + intf + "\" vlan=\"" + vlan + "\"";
}

// A listing's POST of operate on the selected rows ("MAC+INTF+VLAN[+VOUCHER]").
std::string sel_body(const std::string &operate, const lines &sels)
{
    std::string body = "operate=" + operate;
    for (const std::string &v : sels)
        body += "&sel=" + v;
    return body;
}

// The first group of each match of pattern in html, blanks as '+' (a form's value as posted).
lines matches(const std::string &html, const std::string &pattern)
{
    lines out;
    std::regex re(pattern);
    for (std::sregex_iterator m(html.begin(), html.end(), re), end; m != end; ++m)
        out.push_back(std::regex_replace(m->str(1), std::regex(" "), "+"));
    return out;
}

std::string form_encode(const std::string &text)
{
    std::string out;
    char hex[4];
    for (unsigned char c : text) {
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        out += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? std::string(1, static_cast<char>(c)) : hex;
    }
    return out;
}

// n entries, entry i with MAC 00e0.fc0a.NNNN (i * step mod n) and the port and VLAN of its turn; as commands or batch lines.
std::string entries(int n, int step, const lines &ports, const lines &vlans, bool batch = false)
{
    std::string text;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        const std::string mac = "00e0.fc0a." + std::to_string(10000 + static_cast<int>(i) * step % n).substr(1);
        const std::string &port = ports[i % ports.size()], &vlan = vlans[i % vlans.size()];
        text += batch ? mac + " " + vlan + " " + port + "\n"
                      : "mac-address-table " + mac + " forward " + port + " vlan " + vlan + "\n";
    }
    return text;
}

std::string summary(int added, int refused, int unknown, int invalid)
{
    return "Added: " + std::to_string(added) + " · refused: " + std::to_string(refused) +
           " · not known: " + std::to_string(unknown) + " · not valid: " + std::to_string(invalid);
}

class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(imi.ok());
        for (const char *f : {"web_mac_static_add.cs", "web_mac_static.cs", "web_mac_static_batch.cs", "page_layout.cs",
                 "lang_en.cs", "lang_cn.cs"})
            write_file(std::string("/var/www/") + f, read_file(std::string(WWW_SRC_DIR "/") + f));
        for (auto [user, sid] : {std::pair{"admin", &admin}, std::pair{"guest", &guest}}) {
            char session[32] = {}, err[500] = {};
            EXPECT_EQ(imi_login(user, user, "127.0.0.1", session, err), 0) << err;
            *sid = session;
        }
    }
    // Whatever the outcome, a request leaves no file of its own.
    void TearDown() override { nothing_left(); }
    void nothing_left()
    {
        EXPECT_EQ(dir_entries("/tmp", "webcmd_").size() + dir_entries("/tmp", "webres_").size(), 0u);
        for (const std::string &name : dir_entries("/var/run", "web_mac_static"))
            EXPECT_TRUE(planted_pid_file == name) << "left behind: " << name;
    }

    std::vector<std::string> cgi_env(const std::string &method, const std::string &query, const std::string &body,
                                     const std::string &page = "web_mac_static_add.cgi") const
    {
        std::vector<std::string> env = {"PATH=" + path, "GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=" + method,
            "QUERY_STRING=" + query, "REQUEST_URI=/" + page + (query.empty() ? "" : "?" + query),
            "SCRIPT_NAME=/" + page, "REMOTE_ADDR=127.0.0.1"};
        if (method == "POST")
            env.push_back("CONTENT_TYPE=" + content_type);
        if (method == "POST" && extra_length >= 0)
            env.push_back("CONTENT_LENGTH=" + std::to_string(static_cast<long>(body.size()) + extra_length));
        return env;
    }
    static std::string qs(const std::string &sid) { return "sessionId=" + sid + "&lang=en"; }

    proc_result request(const std::string &method, const std::string &query, const std::string &body = "")
    {
        return run_process({PAGE_BIN}, cgi_env(method, query, body), body);
    }
    proc_result listing(const std::string &method, const std::string &query, const std::string &body = "")
    {
        return run_process({kPages + "web_mac_static.cgi"}, cgi_env(method, query, body, "web_mac_static.cgi"), body);
    }
    proc_result add(const std::string &body, const std::string &lang = "en", const std::string &sid = "")
    {
        return request("POST", "sessionId=" + (sid.empty() ? admin : sid) + "&lang=" + lang, body);
    }
    proc_result batch(const std::string &text) { return add("operate=add_many&entries=" + form_encode(text)); }

    // The admin's answers: the listing an add or removal lands on; error pages back to the form or the first view.
    std::string listed(const std::string &view = "") const { return redirect("web_mac_static.cgi?" + qs(admin) + view); }
    std::string add_error(const std::string &errid) const { return error_redirect(admin, "en", errid, kAddBack); }
    std::string list_error(const std::string &errid, const std::string &view = "&order=asc&per_page=50&page=1",
                           const std::string &sid = "") const
    {
        const std::string &s = sid.empty() ? admin : sid;
        return error_redirect(s, "en", errid, form_encode("web_mac_static.cgi?" + qs(s) + view));
    }

    void configure(const std::string &cmds, bool empty_first = false)
    {
        if (empty_first)
            run_process({kSim, "--reset"}, {});
        write_file("/tmp/config.cmd", cmds);
        EXPECT_EQ(run_process({kSim, "-g", "-y", "-f", "/tmp/config.cmd"}, {"PATH=" + kPath}).out, "");
    }
    std::string show_static()
    {
        write_file("/tmp/show.cmd", "show mac address-table static\n");
        return run_process({kSim, "-g", "-y", "-w", "-f", "/tmp/show.cmd"}, {"PATH=" + kPath}).out;
    }
    // Puts an imish script first on the page's PATH.
    void stub_imish(const std::string &script)
    {
        mkdir("/tmp/stubbin", 0755);
        write_file("/tmp/stubbin/imish", "#!/bin/sh\n" + script, 0755);
        path = "/tmp/stubbin:" + kPath;
    }
    // The runs kCountRuns noted since the last call.
    int runs()
    {
        std::string noted = read_file("/tmp/imish_runs");
        unlink("/tmp/imish_runs");
        return static_cast<int>(std::count(noted.begin(), noted.end(), '\n'));
    }

    imi_daemon imi;
    std::string admin, guest;
    std::string path = kPath;
    std::string planted_pid_file;
    long extra_length = 0;   // bytes CONTENT_LENGTH claims beyond the body; -1, none
    std::string content_type = kForm;
};

// No session, one IMI refuses, one from elsewhere or one that could leave the run directory: the login page. A bad
// language is refused before IMI is asked. A full session gets the form, a limited one the form without its button.
TEST_F(PageTest, TheAddForm)
{
    const std::string login_en = login_timeout_page("en"),
                      bad_lang = error_redirect("77", "en", "invalid_parameter", "web_mac_static_add.cgi");
    const std::pair<std::string, std::string> cases[] = {
        {"", login_en}, {"lang=cn", login_en}, {"sessionId=..%2F..%2Ftmp%2Fx&lang=en", login_en},
        {"sessionId=4%0D%0ALocation:%20x&lang=en", login_en}, {"sessionId=77&lang=CN", bad_lang},
        {"sessionId=77&lang=eng", bad_lang}, {"sessionId=77&lang=", bad_lang}, {"sessionId=77&lang=e", bad_lang},
    };
    for (const auto &[query, out] : cases) {
        proc_result r = request("GET", query);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, out) << query;
    }
    EXPECT_TRUE(dir_entries("/tmp", "x").empty());

    // IMI's refusal, its reason on a line of its own, then the login page.
    proc_result r = request("GET", "sessionId=12345&lang=cn");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::regex_replace(r.out, std::regex("^Not okay: [^\r\n]+\r\n"), "(why)"), "(why)" + login_timeout_page("cn"));
    std::vector<std::string> env = cgi_env("GET", qs(admin), "");
    env[6] = "REMOTE_ADDR=10.9.9.9";
    EXPECT_TRUE(has(run_process({PAGE_BIN}, env).out, login_en));

    // argv[1], the library's debug hook for a file of the request's variables, counts only outside a web server.
    write_file("/tmp/env_file", "QUERY_STRING=" + qs(admin) + "\nREQUEST_METHOD=GET\n");
    env = cgi_env("GET", "", "");
    EXPECT_EQ(run_process({PAGE_BIN, "/tmp/env_file"}, env).out, login_en);
    env.erase(env.begin() + 1);
    EXPECT_TRUE(is_rendered_page(run_process({PAGE_BIN, "/tmp/env_file"}, env).out));

    r = request("GET", "sessionId=" + admin);   // no lang: cn
    EXPECT_TRUE(r.status == 0 && is_rendered_page(r.out)) << r.out.substr(0, 200);
    for (const char *part : {"value=\"eth-0-1\"", "value=\"eth-0-24\"", "value=\"agg1\"", "value=\"agg8\"", "lang=cn",
             "添加", "name=\"add_bn\""})
        EXPECT_TRUE(has(r.out, part));
    ASSERT_EQ(std::stoul(guest) % 2, 1u);
    r = request("GET", qs(guest));
    EXPECT_TRUE(r.status == 0 && !has(r.out, "name=\"add_bn\"") && has(r.out, "id=\"no_privilege\""));
    r = add("operate=CONFIG&" + kEntry);
    EXPECT_TRUE(r.status == 0 && has(r.out, "value=\"eth-0-1\""));
    EXPECT_FALSE(has(show_static(), "00e0"));
    // Text from the CLI is shown as text.
    stub_imish("echo ' Interface name : e<b id=x>\"'\n");
    r = request("GET", qs(admin));
    EXPECT_TRUE(has(r.out, "value=\"e&lt;b id=x&gt;&quot;\"") && !has(r.out, "<b id=x>"));
    // Another method, then a render that fails: the template engine's error page.
    for (const char *method : {"HEAD", "GET"}) {
        r = request(method, qs(admin));
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out.rfind("Status: 500", 0), 0u) << r.out;
        unlink("/var/www/web_mac_static_add.cs");
    }
}

// An add: its answer, its one record (who, whence, what, with what outcome; no value forges a field), its entry or none.
TEST_F(PageTest, AnAddsAnswerRecordAndEntry)
{
    // setup: what the add meets; min_s: the least time it takes.
    struct { const char *name; std::function<void()> setup; std::string body, answer, record, added = "", lang = "en";
             int min_s = 0; } cases[] = {
        {"added", {}, kEntry + "&add_bn=add", listed(), rec(5, "add", kB1c2 + "ok known=cli"), "00e0.fc0a.b1c2"},
        {"the button's field is not needed", {}, "addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-2&vlan=10",
         redirect("web_mac_static.cgi?sessionId=" + admin + "&lang=cn"),
         rec(5, "add", ent("00e0.fc0a.0001", "eth-0-2") + " result=ok known=cli"), "00e0.fc0a.0001", "cn"},
        // The browser goes on to the listing, the trail keeps the add not made.
        {"a field missing", {}, "addr0=00e0&addr1=fc0a&addr2=0002&intf_name=eth-0-2&add_bn=add", listed(),
         rec(4, "add", "result=refused reason=\"invalid_parameter\"")},
        {"the CLI's refusal, with its text", {}, "addr0=00e0&addr1=fc0a&addr2=b1cz&intf_name=eth-0-1&vlan=10",
         add_error("+Invalid+MAC+address+00e0.fc0a.b1cz%0A"), rec(4, "add", "mac=\"00e0.fc0a.b1cz\" intf=\"eth-0-1\" "
                                                "vlan=\"10\" result=refused reason=\"Invalid MAC address 00e0.fc0a.b1cz\" known=cli")},
        {"a value that would forge a field", {}, "addr0=00e0%22%20user%3D%22root&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10",
         add_error("+Unexpected+word%3A+10%0A"), rec(4, "add", "mac=\"00e0\\\" user=\\\"root.fc0a.b1c2\" intf=\"eth-0-1\" "
                                                                 "vlan=\"10\" result=refused reason=\"Unexpected word: 10\" known=cli")},
        // A refusal that says nothing still tells the operator: nothing changed.
        {"a bare refusal", [&] { stub_imish("echo '%'\n"); }, kEntry, add_error("%25cli_refused"),
         rec(4, "add", kB1c2 + "refused reason=\"cli_refused\" known=cli")},
        // The shell's 127 for a command it cannot find.
        {"no CLI", [&] { path = "/usr/bin:/bin"; }, kEntry, add_error("%25cli_unavailable"),
         rec(3, "add", kB1c2 + "failed reason=\"cli_unavailable\" known=cli")},
        {"configuration mode held", [] { write_file("/tmp/config_mode", ""); }, kEntry,
         add_error("%25configure_mode_inuse"), rec(4, "add", kB1c2 + "refused reason=\"configure_mode_inuse\" known=cli")},
        // 32 KiB short of full: too little for a CLI answer, enough for the page's small files. The form says so too.
        {"/tmp nearly full", [&] {
             ASSERT_EQ(mount(nullptr, "/tmp", nullptr, MS_REMOUNT, "size=2m"), 0) << std::strerror(errno);
             ASSERT_EQ(run_process({"/bin/sh", "-c", "cat /dev/zero >/tmp/filler 2>/dev/null; truncate -s -32K /tmp/filler"},
                                   {"PATH=/usr/bin:/bin"}).status, 0);
             proc_result form = request("GET", qs(admin));
             EXPECT_TRUE(is_rendered_page(form.out) && has(form.out, "id=\"cli_failed\"")) << form.out.substr(0, 300);
         }, kEntry, add_error("%25cli_unavailable"), rec(3, "add", kB1c2 + "failed reason=\"cli_unavailable\" known=cli")},
        // It ignores SIGTERM, and its child takes SIGTERM as a cue to clean up.
        {"imish hung", [&] { stub_imish("(trap 'echo >/tmp/child_termed; exit' TERM; while :; do sleep 0.1; done) &\n"
                                        "trap '' TERM\necho $$ >/tmp/imish_started\nwhile :; do sleep 1; done\n"); },
         kEntry, add_error("%25cli_timeout"), rec(3, "add", kB1c2 + "unknown reason=\"cli_timeout\" known=cli"), "", "en", 20},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        run_process({kSim, "--reset"}, {});
        if (c.setup)
            c.setup();
        syslog_catcher log;
        proc_result r = add(c.body, c.lang);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.answer);
        EXPECT_GE(r.elapsed_ms, c.min_s * 1000);
        EXPECT_LT(r.elapsed_ms, (c.min_s + 10) * 1000);
        EXPECT_EQ(log.take(), lines{c.record});
        path = kPath;
        unlink("/tmp/config_mode");
        unlink("/tmp/filler");
        EXPECT_EQ(bool(has(show_static(), c.added.empty() ? "00e0" : c.added)), !c.added.empty());
    }
    // The hung imish was killed, its whole group with it.
    const pid_t imish = std::atoi(read_file("/tmp/imish_started").c_str());
    EXPECT_TRUE(imish > 0 && kill(imish, 0) == -1) << imish;
    EXPECT_TRUE(path_exists("/tmp/child_termed"));
}

// A syslog daemon stuck (its queue full) or absent holds no change: records are dropped whole, the next one sent counts them.
TEST_F(PageTest, StuckOrAbsentSyslogHoldsNoChangeAndTheTrailCountsItsGaps)
{
    const std::string remove_body = "operate=delete&sel=00e0.fc0a.b1c2+eth-0-1+10";
    // A send that waits for the daemon would hold the request until it is killed.
    auto post = [&](const std::string &page, const std::string &body) {
        proc_result r = run_process({kPages + page}, cgi_env("POST", qs(admin), body, page), body, 5000);
        EXPECT_LT(r.elapsed_ms, 2000);
        return r.out;
    };
    for (bool stuck : {true, false}) {
        SCOPED_TRACE(stuck ? "daemon stuck, its queue full" : "no daemon");
        std::optional<syslog_catcher> log;
        ASSERT_TRUE(!stuck || log.emplace().fill());
        EXPECT_EQ(post("web_mac_static_add.cgi", kEntry), listed());
        EXPECT_EQ(post("web_mac_static.cgi", remove_body), listed("&order=asc&per_page=50&page=1&removed=1"));
        // The daemon reads again: the next records tell of the two lost.
        if (!log)
            log.emplace();
        EXPECT_EQ(log->take(), lines{});
        post("web_mac_static_add.cgi", kEntry);
        post("web_mac_static.cgi", remove_body);
        EXPECT_EQ(log->take(), (lines{rec(5, "add", kB1c2 + "ok known=cli lost=2"), rec(5, "remove", kB1c2 + "ok known=cli")}));
    }
}

// Refused before any run: a clear answer, one record, nothing spooled. Only the form's own body is read (type, length, fields).
TEST_F(PageTest, RefusedAddsRunNoCommand)
{
    const std::string bad = "invalid_parameter", denied = "error_no_privilege", multipart = "multipart/form-data; boundary=b";
    const std::string upload = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f\"\r\n\r\n" +
                               std::string(5 << 20, 'x') + "\r\n--b--\r\n";
    const std::string list = "operate=add_many&entries=", line1 = form_encode("00e0.fc0a.0001,1,eth-0-1");
    // The limited session's requests are those refused for it.
    struct { std::string body, errid, type = kForm; long extra = 0; } cases[] = {
        {kEntry + "&add_bn=add", denied},
        // The body cannot stand in for the query's checked session or language.
        {kEntry + "&sessionId=" + admin + "&lang=%0D%0AX-Injected:%20yes", denied}, {kEntry + "%0Ano%20vlan%2010", bad},
        {"addr0=00e0%0D&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10", bad},
        // Cut at its buffer this command would end in "vlan 20".
        {"addr0=" + std::string(199, '+') + "00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=209", bad},
        // The form's type only, at most 4 KiB (a list's limit is not an add's); a limited session's body is not read.
        {upload, bad, multipart}, {upload, denied, multipart}, {kEntry + "&pad=" + std::string(4096 - 60, 'x'), bad},
        {kEntry, bad, "text/plain"}, {kEntry, bad, kForm, 50 /* more than is sent */}, {kEntry, bad, kForm, -1},
        // A NUL that would hide the lines after it; a raw one.
        {list + line1 + "%0A%00%0Agarbage", bad}, {list + line1 + std::string(1, '\0') + "x", bad},
        // A field given twice, more fields than a form has, a name out of their kind.
        {kEntry + "&vlan=2", bad}, {"a=&b=&c=&d=&e=&f=&g=&h=&i=&j=&k=&l=&m=&n=&o=&p=&q=", bad}, {kEntry + "&a.b=1", bad},
        {list + form_encode(entries(1025, 1, {"eth-0-1"}, {"1"}, true)), "error_batch_too_large"},
        {list + std::string(64 * 1024, 'x'), "error_batch_too_large"},
    };
    stub_imish(kCountRuns);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body.substr(0, 80) + " as " + c.type + " +" + std::to_string(c.extra));
        const bool limited = c.errid == denied;
        content_type = c.type;
        extra_length = c.extra;
        syslog_catcher log;
        proc_result r = add(c.body, "en", limited ? guest : admin);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, error_redirect(limited ? guest : admin, "en", c.errid, kAddBack));
        EXPECT_EQ(runs(), 0);
        EXPECT_EQ(log.take(), lines{rec(4, "add", "result=refused reason=\"" + c.errid + "\"", limited ? "guest" : "admin")});
    }
    extra_length = 0;
    EXPECT_FALSE(has(show_static(), "00e0"));
    EXPECT_TRUE(dir_entries("/var/tmp").empty());

    // A body of exactly 4 KiB, its type with a parameter and in any case, is the form's.
    content_type = "Application/X-WWW-Form-Urlencoded; charset=UTF-8";
    const std::string body = kEntry + "&pad=";
    EXPECT_EQ(add(body + std::string(4096 - body.size(), 'x')).out, listed());
    EXPECT_TRUE(has(show_static(), "00e0.fc0a.b1c2"));
}

// A removal: every value checked, then one run; back to its view with the count gone; a record per entry gone or refusal whole.
TEST_F(PageTest, ListingRemovesTheSelectedEntries)
{
    const std::string a = "00e0.fc0a.0001", b = "00e0.fc0a.0002", bad = "invalid_parameter", a1 = a + "+eth-0-1+10";
    const std::string both = sel_body("delete", {a1, b + "+agg1+10"}), del = "operate=delete";
    lines many;
    for (int i = 0; i <= 200; ++i)
        many.push_back("00e0.fc0a." + std::to_string(1000 + i) + "+eth-0-1+10");
    // out: "OK" and the count removed, or the error; left: which of a and b are still there.
    struct row { std::string name, body, out, left = "ab"; };
    std::vector<row> cases = {
        {"two entries", both, "OK2", ""},
        {"one of two absent: the other goes", sel_body("delete", {a1, "00e0.fc0a.0009+eth-0-1+10"}),
         "+No+static+entry+for+00e0.fc0a.0009+in+VLAN+10%0A", "b"},
        {"limited session", both, "error_no_privilege"}, {"no operate", both.substr(del.size() + 1), bad},
        {"operate given twice", del + "&" + both, bad}, {"nothing named", del, bad},
        {"an entry named twice goes once", sel_body("delete", {a1, a1}), "OK1", "b"},
        {"a valid value, then a bad one", sel_body("delete", {a1, b + "+agg1+4095"}), bad},
        {"over 200 entries", sel_body("delete", many), "error_too_many_entries"},
        {"body over 16 KiB", both + "&pad=" + std::string(16384, 'x'), bad},
        // Named as the switch names ports, yet not one of its own: the CLI says so.
        {"a port the switch lacks", sel_body("delete", {a + "+eth-0-99+10", b + "+agg1+10"}),
         "+Cannot+remove+" + a + "+from+VLAN+10%3A+interface+eth-0-99+does+not+exist%0A", "a"},
        // Which of the two the CLI refused could not be told: nothing runs.
        {"one entry named on two interfaces", sel_body("delete", {a1, a + "+eth-0-2+10"}), bad},
    };
    // Each bad value spoils the whole request and forges no record; one for each way out of the grammar.
    for (const std::string &v : lines{a + "+eth-0-1", a1 + "%0Ano+vlan+10", a + "++eth-0-1+10", "00e0-fc0a-0001+eth-0-1+10",
             "00e0.fc0a.000g+eth-0-1+10", a + "%0Auser%3D%22root%22+agg1+10", a + "+Eth-0-1+10", a + "+eth-00-1+10",
             a + "+eth-0-1%3Bx+10", a + "+agg+10", a + "+agg1x+10", a + "+eth-0-1+010"})
        cases.push_back({v, sel_body("delete", {v}), bad});
    const std::string table = "mac-address-table " + a + " forward eth-0-1 vlan 10\nmac-address-table " + b +
                              " forward agg1 vlan 10\n";
    const std::string view = "&vlan=10&sort=intf&order=desc&per_page=25&page=2";
    for (const row &c : cases) {
        SCOPED_TRACE(c.name);
        configure(table, true);
        const bool limited = c.out == "error_no_privilege";
        const std::string &sid = limited ? guest : admin;
        syslog_catcher log;
        proc_result r = listing("POST", qs(sid) + "&vlan=10&page=2&per_page=25&order=desc&sort=intf", c.body);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out.starts_with("OK") ? redirect("web_mac_static.cgi?" + qs(sid) + view + "&removed=" + c.out.substr(2))
                                                 : list_error(c.out, view, sid));
        const std::string shown = show_static();
        EXPECT_EQ(std::string(has(shown, a) ? "a" : "") + (has(shown, b) ? "b" : ""), c.left);
        lines records = log.take(), want;
        for (const auto &[mac, intf] : {std::pair{a, "eth-0-1"}, std::pair{b, "agg1"}})
            if (!has(shown, mac))
                want.push_back(rec(5, "remove", ent(mac, intf) + " result=ok known=cli"));
        if (!c.out.starts_with("OK") && !c.out.starts_with("+"))
            want = {rec(4, "remove", "result=refused reason=\"" + c.out + "\"", limited ? "guest" : "admin")};
        // The CLI's refusals of single entries aside.
        std::erase_if(records, [](const std::string &rec) { return has(rec, "result=refused") && has(rec, "known=cli"); });
        EXPECT_EQ(records, want);
    }

    // Only a full session is offered the removal.
    configure(table, true);
    proc_result r = listing("GET", qs(admin) + "&vlan=10");
    EXPECT_TRUE(has(r.out, "name=\"sel\" value=\"00e0.fc0a.0001 eth-0-1 10\"") &&
                has(r.out, "action=\"web_mac_static.cgi?sessionId=" + admin +
                               "&amp;lang=en&amp;vlan=10&amp;order=asc&amp;per_page=50&amp;page=1\""));
    r = listing("GET", qs(guest));
    EXPECT_TRUE(has(r.out, a) && !has(r.out, "name=\"sel\"") && !has(r.out, "delete_form"));
}

// The learned table, each row vouched for to the session shown it. A pin (learned entries made static) or a move (a static
// entry's interface set) runs once; a move asks the table only if refused, puts back only a lost entry. Unvouched: no run.
TEST_F(PageTest, LearnedEntriesPinnedAndStaticOnesMoved)
{
    const std::string a = "00e0.fc0a.0001", bad = "invalid_parameter";
    configure("mac-address-table " + a + " forward eth-0-1 vlan 10\n", true);
    ASSERT_EQ(run_process({kSim, "--learn", "210", "5"}, {}).status, 0);
    stub_imish(kCountRuns);
    const std::string learned_sel = "<tr class=\"dynamic\"><td><input type=\"checkbox\" name=\"sel\" value=\"([^\"]+)\"";
    proc_result r = listing("GET", qs(admin) + "&type=dynamic&per_page=200");
    const lines sel = matches(r.out, learned_sel);
    ASSERT_EQ(sel.size(), 200u);
    EXPECT_TRUE(has(r.out, "<title>Learned MAC address table</title>") && has(r.out, "1–200 of 210"));
    EXPECT_FALSE(has(r.out, "value=\"delete\"") || has(r.out, "class=\"edit\""));
    const std::string edit_link = "<a class=\"edit\" href=\"web_mac_static_add.cgi\\?sessionId=\\d+&amp;lang=en&amp;move=([^\"]+)\"";
    r = listing("GET", qs(admin) + "&type=all&vlan=10");
    const lines moves = matches(r.out, edit_link);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_TRUE(moves[0].starts_with(a + "+eth-0-1+10+"));
    EXPECT_TRUE(has(r.out, "<tr class=\"static\">") && has(r.out, "value=\"pin\"") && has(r.out, "value=\"delete\""));
    EXPECT_EQ(matches(listing("GET", qs(guest) + "&type=all").out, learned_sel), lines{});
    EXPECT_TRUE(has(listing("GET", qs(admin) + "&type=learned").out, "id=\"filter_invalid\""));
    // The export keeps the kind it shows.
    r = listing("GET", qs(admin) + "&type=dynamic&format=csv");
    EXPECT_TRUE(has(r.out, "filename=\"dynamic-mac-table.csv\"") && has(r.out, "mac,vlan,interface\r\n"));
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5 + 210);
    EXPECT_EQ(runs(), 4);   // the bad type asked nothing

    // Refused, a pin or a move runs nothing and leaves one record.
    const std::string forged = sel[3].substr(0, sel[3].size() - 1) + (sel[3].back() == '0' ? "1" : "0");
    const std::string on_other = std::regex_replace(sel[3], std::regex("\\+(eth-0-\\d+|agg\\d)\\+"), "+agg9+");
    const std::string other_vlan = std::regex_replace(sel[3], std::regex("\\+(1|10|20|30)\\+"), "+4000+");
    lines too_many(sel);
    too_many.push_back(matches(listing("GET", qs(admin) + "&type=dynamic&per_page=200&page=2").out, learned_sel)[0]);
    // to: a move of the one value there, else a pin.
    const struct { const char *name; lines values; std::string errid, to = ""; } refused[] = {
        {"a voucher not the listing's", {sel[0], forged}, bad}, {"another interface", {on_other}, bad},
        {"another VLAN", {other_vlan}, bad}, {"a static entry's value", {moves[0]}, bad},
        {"one entry on two interfaces", {sel[3], on_other}, bad}, {"no voucher", {sel[3].substr(0, sel[3].rfind('+'))}, bad},
        {"201 entries", too_many, "error_too_many_entries"}, {"a limited session", {sel[0]}, "error_no_privilege"},
        {"a move to where it is", {moves[0]}, "error_move_same_interface", "eth-0-1"},
        {"a move to a bad name", {moves[0]}, bad, "eth-0-9%0Ax"}, {"a learned entry's move", {sel[5]}, bad, "eth-0-9"},
        {"a move's voucher not the listing's", {std::regex_replace(moves[0], std::regex("^00e0"), "00e1")}, bad, "eth-0-9"},
    };
    syslog_catcher log;
    for (const auto &c : refused) {
        SCOPED_TRACE(c.name);
        const bool limited = c.errid == "error_no_privilege";
        // A limited session's body is not read: its record names the listing's own action, remove.
        const std::string &sid = limited ? guest : admin, action = limited ? "remove" : c.to.empty() ? "pin" : "move";
        r = c.to.empty() ? listing("POST", qs(sid) + "&type=dynamic", sel_body("pin", c.values))
                         : add("operate=move&move=" + c.values[0] + "&intf_name=" + c.to);
        EXPECT_EQ(r.out, list_error(c.errid, c.to.empty() ? "&type=dynamic&order=asc&per_page=50&page=1" : "", sid));
        EXPECT_EQ(log.take(), lines{rec(4, action, "result=refused reason=\"" + c.errid + "\"", limited ? "guest" : "admin")});
    }
    EXPECT_EQ(runs(), 1);   // the 201st value's listing

    // A pin: each entry on the interface it was learned on, with its record.
    r = listing("POST", qs(admin) + "&type=dynamic", sel_body("pin", {sel[0], sel[1], sel[2], sel[1]}));
    EXPECT_TRUE(is_rendered_page(r.out) && has(r.out, "<title>3 made static, 0 refused</title>") &&
                has(r.out, "Made static: 3 · refused: 0"));
    EXPECT_EQ(runs(), 1);
    lines want;
    const std::regex parts("([^+]+)\\+([^+]+)\\+([^+]+)\\+.*");   // MAC+INTF+VLAN+VOUCHER
    for (const std::string &v : {sel[0], sel[1], sel[2]}) {
        want.push_back(rec(5, "pin", std::regex_replace(v, parts, "mac=\"$1\" intf=\"$2\" vlan=\"$3\" result=ok known=cli")));
        EXPECT_TRUE(std::regex_search(show_static(), std::regex(std::regex_replace(v, parts, "$3 +$1 +static +$2"))));
    }
    EXPECT_EQ(log.take(), want);
    EXPECT_TRUE(has(listing("GET", qs(admin) + "&type=dynamic").out, "1–50 of 207"));

    // A move. The switch, to eth-0-5, takes the old entry out and then refuses; to eth-0-6 moves it to eth-0-7, refusing;
    // to eth-0-8 moves it, refusing; back to eth-0-3 refuses. The table says where it is; only a lost entry is put back.
    stub_imish("echo run >>/tmp/imish_runs\nf=$(eval echo \\${$#})\n"
               "if grep -q 'forward eth-0-5 ' \"$f\"; then echo 'no mac-address-table " + a + " vlan 10' >/tmp/x.cmd; " + kSim +
               " -f /tmp/x.cmd; echo '% port eth-0-5 takes no static entry for " + a + " in VLAN 10'; exit 0; fi\n"
               "if grep -q 'forward eth-0-6 ' \"$f\"; then echo 'mac-address-table " + a +
               " forward eth-0-7 vlan 10' >/tmp/x.cmd; " + kSim + " -f /tmp/x.cmd; echo '% busy'; exit 0; fi\n"
               "if grep -q 'forward eth-0-8 ' \"$f\"; then " + kSim + " \"$@\"; echo '% slow'; exit 0; fi\n"
               "if grep -q 'forward eth-0-3 ' \"$f\"; then echo '% no room'; exit 0; fi\nexec " + kSim + " \"$@\"\n");
    r = request("GET", qs(admin) + "&move=" + moves[0]);
    EXPECT_TRUE(has(r.out, "id=\"move_form\"") && has(r.out, "value=\"" + a + "\" readonly") &&
                has(r.out, "<option value=\"eth-0-1\" selected>"));
    EXPECT_EQ(request("GET", qs(admin) + "&move=" + std::regex_replace(moves[0], std::regex("\\+10\\+"), "+20+")).out,
              list_error(bad, ""));
    EXPECT_EQ(runs(), 2);   // the count's listing, the form's ports
    // result: the page's ("" for the listing); runs: the listing's that vouches for the entry where it
    // stands, the move's, the table's, a put-back's; record: its result; on: where the table then has it.
    const std::string no_port = "refused reason=\"port eth-0-5 takes no static entry for " + a + " in VLAN 10\" known=table";
    struct { std::string from, to, result; int runs; std::string record, on; } steps[] = {
        {"eth-0-1", "eth-0-9", "", 2, "ok known=cli", "eth-0-9"}, {"eth-0-9", "eth-0-5", "restored", 4, no_port, "eth-0-9"},
        {"eth-0-3", "eth-0-5", "lost", 4, "refused reason=\"move_lost\" known=table", ""},
        {"eth-0-9", "eth-0-6", "elsewhere", 3, "refused reason=\"busy\" known=table", "eth-0-7"},
        {"eth-0-9", "eth-0-8", "", 3, "ok known=table", "eth-0-8"},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.to + " " + s.result);
        configure("mac-address-table " + a + " forward " + s.from + " vlan 10\n");
        const std::string value = matches(listing("GET", qs(admin) + "&vlan=10").out, edit_link).at(0);
        r = add("operate=move&move=" + value + "&intf_name=" + s.to);
        const bool said = has(r.out, "id=\"move_result\" class=\"warn " + s.result + "\"") &&
                          has(r.out, s.on.empty() ? "holds no entry" : "on " + s.on);
        EXPECT_TRUE(s.result.empty() ? r.out == listed() : said) << r.out.substr(0, 300);
        EXPECT_EQ(runs(), s.runs);
        EXPECT_EQ(log.take(), lines{rec(s.record.starts_with("ok") ? 5 : 4, "move", "mac=\"" + a + "\" from=\"" + s.from +
                                        "\" intf=\"" + s.to + "\" vlan=\"10\" result=" + s.record)});
        EXPECT_EQ(std::regex_search(show_static(), std::regex("10 +" + a + " +static +" + s.on)), !s.on.empty());
    }
    // A learned table past what a view holds says so, and lists none.
    ASSERT_EQ(run_process({kSim, "--learn", "16200", "6"}, {}).status, 0);
    r = listing("GET", qs(admin) + "&type=all");
    EXPECT_TRUE(has(r.out, "id=\"rows_over\"") && !has(r.out, "<tr class="));
    EXPECT_TRUE(has(listing("GET", qs(admin)).out, "1–4 of 4"));
}

// One listed row as the page shows it.
struct shown_row { int num; std::string mac, vlan, intf; };

std::vector<shown_row> shown_rows(const std::string &html)
{
    static const std::regex row("<td class=\"num\">(\\d+)</td><td class=\"mac\">([^<]*)</td><td class=\"vlan\">([^<]*)"
                                "</td><td class=\"type\">[^<]*</td><td class=\"intf\">([^<]*)</td>");
    std::vector<shown_row> rows;
    for (std::sregex_iterator m(html.begin(), html.end(), row), end; m != end; ++m)
        rows.push_back({std::stoi(m->str(1)), m->str(2), m->str(3), m->str(4)});
    return rows;
}

// The rows shown, as the export writes them; or only their MACs, each "mac ".
std::string shown(const std::string &html, bool macs_only = false)
{
    std::string text;
    for (const shown_row &r : shown_rows(html))
        text += macs_only ? r.mac + " " : r.mac + "," + r.vlan + "," + r.intf + "\r\n";
    return text;
}

std::string element_text(const std::string &html, const std::string &id)
{
    std::smatch m;
    return std::regex_search(html, m, std::regex("id=\"" + id + "\"[^>]*>([^<]*)")) ? m.str(1) : "(absent)";
}

// The order the sorts promise, apart from the page's own: ports eth-S-P by slot and port, then aggN (the
// only kinds the tests' tables hold); ties by VLAN, then MAC (by MAC, VLAN).
std::tuple<int, int, int, long long, long long> view_key(const shown_row &r, const std::string &sort)
{
    long long mac = std::stoll(std::regex_replace(r.mac, std::regex("\\."), ""), nullptr, 16), vlan = std::stoll(r.vlan);
    int slot = 0, port = 0;
    const int agg = std::sscanf(r.intf.c_str(), "eth-%d-%d", &slot, &port) == 2 ? 0 : std::sscanf(r.intf.c_str(), "agg%d", &slot);
    if (sort == "intf")
        return {agg, slot, port, vlan, mac};
    return {0, 0, 0, sort == "mac" ? mac : vlan, sort == "mac" ? vlan : mac};
}

// The listing's view: sort, order, page size, page (odd values: defaults), row numbers, count, filters, pager. The export:
// every entry the filters pass, in the view's order, across pages, as the add page takes it back to re-make the table.
TEST_F(PageTest, ListingViewSortsPagesCountsAndExports)
{
    std::string cmds = entries(120, 37, {"eth-0-2", "eth-0-10", "agg2", "eth-0-1", "agg8"}, {"10", "1", "20", "30"});
    for (const char *vlan : {"30", "1", "20"})   // one MAC in three VLANs: a tie of the MAC sort
        cmds += "mac-address-table 00e0.fc0a.00aa forward agg2 vlan " + std::string(vlan) + "\n";
    configure(cmds);
    const std::string q = qs(admin);
    lines cli_order;   // what the CLI lists, in its own order
    for (const shown_row &r : shown_rows(listing("GET", q + "&per_page=200").out))
        cli_order.push_back(r.mac + " " + r.vlan);
    ASSERT_EQ(cli_order.size(), 123u);

    const std::string all = "1–123 of 123", last = "101–123 of 123";
    const std::string pager = "web_mac_static.cgi?sessionId=" + admin +
                              "&amp;lang=en&amp;vlan=10&amp;sort=mac&amp;order=desc&amp;per_page=25&amp;page=";
    struct { std::string view, count = "1–50 of 123"; int first = 1, rows = 50; std::string sort = ""; bool desc = false;
             lines parts = {}; } cases[] = {
        {""}, {"&page=2", "51–100 of 123", 51}, {"&page=3", last, 101, 23}, {"&page=4", last, 101, 23},
        {"&page=99999999999999999999", last, 101, 23}, {"&per_page=25&page=5", last, 101, 23},
        {"&per_page=100&page=2", last, 101, 23}, {"&per_page=200", all, 1, 123}, {"&lang=cn&page=2", "第 51–100 条，共 123 条", 51},
        // Not a page number, not a page size, not a sort: the defaults.
        {"&page=0"}, {"&page=%3Cb%3E2"}, {"&page=+3"}, {"&per_page=-25&sort=%22%3E%3Cb%3E&order=up"}, {"&order=desc"},
        {"&sort=mac&per_page=200", all, 1, 123, "mac"}, {"&sort=mac&order=desc&per_page=200", all, 1, 123, "mac", true},
        {"&sort=vlan&per_page=200", all, 1, 123, "vlan"}, {"&sort=vlan&order=desc&per_page=200", all, 1, 123, "vlan", true},
        {"&sort=intf&per_page=200", all, 1, 123, "intf"}, {"&sort=intf&order=desc&per_page=200", all, 1, 123, "intf", true},
        {"&sort=intf&order=desc&per_page=25&page=2", "26–50 of 123", 26, 25, "intf", true},
        // Filters with paging; a count that fills its pages has no page past them.
        {"&vlan=10&per_page=25&page=2", "26–30 of 30", 26, 5}, {"&intf_name=agg8&sort=mac&page=1", "1–24 of 24", 1, 24, "mac"},
        {"&addr0=00e0&addr1=fc0a&addr2=00aa&sort=vlan&order=desc", "1–3 of 3", 1, 3, "vlan", true},
        {"&vlan=4000", "0 of 0", 0, 0}, {"&intf_name=agg8&addr0=00e0&per_page=25&page=9", "1–24 of 24", 1, 24},
        {"&vlan=10&sort=mac&order=desc&per_page=25&page=1", "1–25 of 30", 1, 25, "mac", true,
         {"id=\"page_next\" href=\"" + pager + "2\"", "<span id=\"page_prev\" class=\"disabled\"",
          "<option value=\"25\" selected>", "action=\"" + pager + "1\""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.view);
        proc_result r = listing("GET", q + c.view);
        ASSERT_TRUE(is_rendered_page(r.out));
        EXPECT_FALSE(has(r.out, "id=\"cli_failed\""));
        EXPECT_EQ(element_text(r.out, "count"), c.count);
        std::vector<shown_row> rows = shown_rows(r.out);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.rows));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].num, c.first + static_cast<int>(i));
            EXPECT_EQ(rows[i].mac + " " + rows[i].vlan, c.sort.empty() && c.count.ends_with(" 123")
                                                            ? cli_order[static_cast<std::size_t>(rows[i].num - 1)]
                                                            : rows[i].mac + " " + rows[i].vlan);
            EXPECT_TRUE(c.sort.empty() || i == 0 || view_key(rows[i - !c.desc], c.sort) < view_key(rows[i - c.desc], c.sort))
                << i;
        }
        // Odd values are never written back.
        EXPECT_FALSE(has(r.out, "<b>") || has(r.out, "-25"));
        for (const std::string &part : c.parts)
            EXPECT_TRUE(has(r.out, part));
        // The current column reverses.
        const std::string now = c.desc ? "desc" : "asc", next = c.desc ? "asc" : "desc";
        const std::regex sorted("aria-sort=\"" + now + "ending\"><a id=\"sort_" + c.sort + "\" href=\"[^\"]*&amp;sort=" + c.sort +
                                "&amp;order=" + next + "&amp;per_page=");
        EXPECT_TRUE(c.sort.empty() || std::regex_search(r.out, sorted));
    }

    // The export, in one run whatever the page; no value starts a formula.
    const std::string csv = "mac,vlan,interface\r\n" + shown(listing("GET", q + "&sort=mac&order=desc&per_page=200").out);
    proc_result r = listing("GET", q + "&sort=mac&order=desc&page=2&format=csv");
    EXPECT_EQ(r.out.substr(r.out.find("\r\n\r\n") + 4), csv);
    r = listing("GET", q + "&vlan=10&intf_name=agg8&format=csv");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4 + 1 + 6) << r.out;
    EXPECT_TRUE(has(listing("GET", q + "&vlan=10&sort=intf").out, "id=\"export_link\" href=\"web_mac_static.cgi?sessionId=" +
                    admin + "&amp;lang=en&amp;vlan=10&amp;sort=intf&amp;order=asc&amp;per_page=50&amp;page=1&amp;format=csv\""));
    const std::string before = show_static();
    configure("", true);
    EXPECT_EQ(element_text(batch(csv).out, "summary"), summary(123, 0, 0, 0));
    EXPECT_EQ(show_static(), before);

    configure("mac-address-table 00e0.fc0a.00ab forward agg8 vlan 1\n");
    r = listing("GET", q + "&intf_name=agg8&per_page=25&page=9");
    EXPECT_EQ(element_text(r.out, "count"), "1–25 of 25");
    EXPECT_FALSE(has(r.out, "id=\"page_next\" href"));
}

// One CLI run a request, its answer read by the switch's guarantees only (six header lines, rows of four words in its
// grammar; else a warning, no rows, no export). Filters, checked first, match a MAC group in any case, 1-4 digits; empty: any.
TEST_F(PageTest, OneCliRunPerRequestTheTableReadByItsGuaranteesAndFiltered)
{
    configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\nmac-address-table 00e0.fc0b.0002 forward agg2 vlan 10\n"
              "mac-address-table 0a1b.fc0a.0003 forward eth-0-10 vlan 20\n");
    stub_imish(kCountRuns);
    const std::string q = qs(admin), first_two = "00e0.fc0a.0001 00e0.fc0b.0002 ";
    const auto ran_once = [&](const proc_result &r) { EXPECT_EQ(runs(), 1) << r.out.substr(0, 300); };
    ran_once(listing("GET", q));
    ran_once(listing("GET", q + "&format=csv"));
    ran_once(request("GET", q));
    ran_once(add("addr0=00e0&addr1=fc0a&addr2=0004&intf_name=eth-0-1&vlan=10"));
    ran_once(listing("POST", q, "operate=delete&sel=00e0.fc0a.0004+eth-0-1+10"));

    // marked: the field refused, for a filter out of the grammar; nothing runs.
    struct { std::string filter, shown, marked = ""; } filters[] = {
        {"&addr0=00E0", first_two}, {"&addr0=e0", first_two}, {"&addr1=FC0A", "00e0.fc0a.0001 0a1b.fc0a.0003 "},
        {"&addr0=00e0&addr1=fc0b", "00e0.fc0b.0002 "}, {"&addr2=3", "0a1b.fc0a.0003 "}, {"&vlan=30", ""},
        {"&vlan=10&intf_name=agg2", "00e0.fc0b.0002 "}, {"&intf_name=all&vlan=", first_two + "0a1b.fc0a.0003 "},
        {"&vlan=10+%7C+exclude+Entries", "", "vlan"}, {"&vlan=10%0Ashow+run", "", "vlan"}, {"&vlan=4095", "", "vlan"},
        {"&vlan=010", "", "vlan"}, {"&addr0=00e0f", "", "addr0"}, {"&addr1=fc0g", "", "addr1"},
        {"&intf_name=eth-0-1%3Bx", "", "intf_name"},
    };
    for (const auto &c : filters) {
        SCOPED_TRACE(c.filter);
        proc_result r = listing("GET", q + c.filter);
        EXPECT_EQ(shown(r.out, true), c.shown);
        EXPECT_FALSE(has(r.out, "id=\"cli_failed\""));
        EXPECT_EQ(runs(), c.marked.empty());
        EXPECT_EQ(bool(has(r.out, "id=\"filter_invalid\"")), !c.marked.empty());
        if (c.marked.empty())
            continue;
        EXPECT_TRUE(std::regex_search(r.out, std::regex("id=\"" + c.marked + "\"[^>]*aria-invalid=\"true\"")));
        EXPECT_EQ(listing("GET", q + c.filter + "&format=csv").out.find("errid=invalid_parameter"),
                  ("Location: web_error.cgi?" + q + "&").size());
        EXPECT_EQ(runs(), 0);
    }

    const std::string sim = kSim + " \"$@\"", table = "00e0.fc0a.0001,10,eth-0-1\r\n00e0.fc0b.0002,10,agg2\r\n"
                                                      "0a1b.fc0a.0003,20,eth-0-10\r\n";
    struct { const char *name; std::string stub; bool whole = false; } answers[] = {
        {"a centred title", sim + " | sed 's/^Static MAC address table/          Mac Address Table/'\n", true},
        {"a blank line between the rows", sim + " | sed '8s/^/\\n/'\n", true},
        {"a header one line longer", sim + " | sed '1s/^/Switch 1\\n/'\n"},
        {"the table cut in its header", sim + " | head -n 4\n"}, {"the show refused", "echo '% Switch busy, try again'\n"},
        {"a % line after the first row", sim + " | sed '7a % Table changed while listed'\n"},
        {"a failing status after the whole table", sim + "\nexit 1\n"}, {"a row with a fifth word", sim + " | sed '8s/$/ x/'\n"},
        {"a row with a VLAN out of range", sim + " | sed '7s/^10 /4095/'\n"},
        {"a row whose interface would start a formula", sim + " | sed '8s/agg2/=cmd|calc!A0/'\n"},
        {"a line longer than the reader's buffer",
         sim + " | sed '7s/$/" + std::string(250, ' ') + "10 00e0.fc0a.0099 static eth-0-9/'\n"},
    };
    for (const auto &a : answers) {
        SCOPED_TRACE(a.name);
        stub_imish(a.stub);
        proc_result r = listing("GET", q + "&per_page=200");
        EXPECT_EQ(!has(r.out, "id=\"cli_failed\""), a.whole);
        EXPECT_EQ(shown(r.out), a.whole ? table : "");
        EXPECT_EQ(bool(has(r.out, "id=\"count\"")), a.whole);
        // The interface choices are the table's own, in port order.
        EXPECT_EQ(bool(has(r.out, "<option value=\"eth-0-1\">eth-0-1</option>\n   <option value=\"eth-0-10\">eth-0-10"
                                  "</option>\n   <option value=\"agg2\">agg2</option>")), a.whole);
        r = listing("GET", q + "&format=csv");
        EXPECT_EQ(r.out, a.whole ? "Content-Type: text/csv; charset=utf-8\r\nContent-Disposition: attachment; filename="
                                   "\"static-mac-table.csv\"\r\nCache-Control: no-store\r\n\r\nmac,vlan,interface\r\n" + table
                                 : list_error("error_export_incomplete"));
    }
}

// A batch's rows: "<line> <class> <mac> <vlan> <intf>[ =<line repeated>]" for a line run, "<line> invalid <why>" if not.
lines batch_rows(const std::string &html)
{
    static const std::regex row("<tr class=\"(\\w+)\"><td class=\"line\">(\\d+)</td>(?:<td class=\"text\" colspan=\"3\">[^<]*"
                                "</td><td class=\"why\">([^<]*)|<td class=\"mac\">([^<]*)</td><td class=\"vlan\">([^<]*)</td>"
                                "<td class=\"intf\">([^<]*)</td><td class=\"outcome\">[^<(]*(?:\\(the same entry as line (\\d+)\\))?)");
    lines rows;
    for (std::sregex_iterator m(html.begin(), html.end(), row), end; m != end; ++m)
        rows.push_back(m->str(2) + " " + m->str(1) + " " + ((*m)[3].matched ? m->str(3) : m->str(4) + " " + m->str(5) + " " +
                       m->str(6)) + ((*m)[7].matched ? " =" + m->str(7) : ""));
    return rows;
}

TEST_F(PageTest, BatchAddChecksTheWholeListAndRunsItOnce)
{
    const std::string kept = "mac-address-table 00e0.fc0a.0009 forward eth-0-9 vlan 30\n";
    const std::string fields = " invalid needs exactly three fields: MAC address, VLAN, interface",
                      not_mac = " invalid not a MAC address (xxxx.xxxx.xxxx, xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx)",
                      same = " invalid the same MAC address and VLAN as line ";
    configure(kept);
    const std::string base = show_static();
    // stop: the CLI stops at its first refusal and exits 1, as some do.
    struct { const char *name; std::string text; lines rows; std::string summary; int runs; bool stop = false; } cases[] = {
        {"every form, any separators, CRLF, a header, comments and blanks",
         "MAC,VLAN,Interface\r\n00E0.FC0A.0001,10,eth-0-1\r\n\r\n# a comment\r\n  00:e0:fc:0a:00:02 ,\t1 , agg2 \r\n"
         "00-E0-FC-0A-00-03\t20   eth-0-10\r\n",
         {"2 added 00e0.fc0a.0001 10 eth-0-1", "5 added 00e0.fc0a.0002 1 agg2", "6 added 00e0.fc0a.0003 20 eth-0-10"},
         summary(3, 0, 0, 0), 1},
        {"the same entry again goes once, each line in its place, each repeat held to the first",
         "00e0.fc0a.0001 10 eth-0-1\n00e0.fc0a.0002,10,eth-0-1\n00E0.FC0A.0001,10,eth-0-1\n00:e0:fc:0a:00:01,10,eth-0-1\n",
         {"1 added 00e0.fc0a.0001 10 eth-0-1", "2 added 00e0.fc0a.0002 10 eth-0-1",
          "3 added 00e0.fc0a.0001 10 eth-0-1 =1", "4 added 00e0.fc0a.0001 10 eth-0-1 =1"}, summary(4, 0, 0, 0), 1},
        {"the CLI refuses one line of several: the others go",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,40,eth-0-1\n00e0.fc0a.0003,1,eth-0-2\n",
         {"1 added 00e0.fc0a.0001 10 eth-0-1", "2 refused 00e0.fc0a.0002 40 eth-0-1", "3 added 00e0.fc0a.0003 1 eth-0-2"},
         summary(2, 1, 0, 0), 1},
        {"VLAN 10 in the CLI's line names neither VLAN 1 nor the 1 of eth-1-1",
         "00e0.fc0a.0001,10,eth-1-1\n00e0.fc0a.0001,1,eth-0-1\n",
         {"1 refused 00e0.fc0a.0001 10 eth-1-1", "2 added 00e0.fc0a.0001 1 eth-0-1"}, summary(1, 1, 0, 0), 1},
        {"the CLI stops at its first refusal and fails: the table tells what became of the rest",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,40,eth-0-1\n00e0.fc0a.0003,1,eth-0-2\n00e0.fc0a.0004,1,agg1\n",
         {"1 added 00e0.fc0a.0001 10 eth-0-1", "2 refused 00e0.fc0a.0002 40 eth-0-1", "3 refused 00e0.fc0a.0003 1 eth-0-2",
          "4 refused 00e0.fc0a.0004 1 agg1"}, summary(1, 3, 0, 0), 2, true},
        {"each kind of bad line: nothing runs",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,10\n00e0.fc0a.000g,10,eth-0-1\n00e0.fc0a.0003,4095,eth-0-1\n"
         "00e0.fc0a.0004,10,eth-0-01\n00e0.fc0a.0005,10,eth-0-1,x\n00e0.fc0a.0006,10,eth-0-1\x01\n00e0.fc0a.0007,,eth-0-1\n"
         "00e0:fc0a:0008,10,eth-0-1\n00e0.fc0a.0009 10 agg1;no mac-address-table\n",
         {"2" + fields, "3" + not_mac, "4 invalid not a VLAN from 1 to 4094",
          "5 invalid not a port name of the switch&#39;s kind (eth-S-P or aggN)", "6" + fields,
          "7 invalid holds a control character", "8" + fields, "9" + not_mac, "10" + fields}, summary(0, 0, 0, 9), 0},
        {"one MAC and VLAN on two interfaces: both lines, nothing runs",
         "00e0.fc0a.0001,10,eth-0-1\n00e0.fc0a.0002,10,eth-0-2\n00E0.FC0A.0001,10,agg1\n",
         {"1" + same + "3, on another interface", "3" + same + "1, on another interface"}, summary(0, 0, 0, 2), 0},
        {"no entry at all", "# nothing\n\n", {}, summary(0, 0, 0, 0), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        configure(kept, true);
        stub_imish((c.stop ? "export SIM_IMISH_STOP_AT_ERROR=1\n" : "") + kCountRuns);
        syslog_catcher log;
        proc_result r = batch(c.text);
        EXPECT_TRUE(is_rendered_page(r.out)) << r.out.substr(0, 300);
        EXPECT_EQ(element_text(r.out, "summary"), c.summary);
        EXPECT_EQ(batch_rows(r.out), c.rows);
        EXPECT_EQ(runs(), c.runs);
        // Read back from the table only when the answer was in doubt.
        EXPECT_EQ(bool(has(r.out, "id=\"batch_read_back\"")), c.runs == 2);
        // Entries added are in the table; a record per entry run, in its first line's order, with its outcome; one if refused.
        const std::string table = show_static();
        lines want, got;
        std::smatch m;
        for (const std::string &row : c.rows)
            if (std::regex_match(row, m, std::regex("\\d+ (added|refused) (\\S+) (\\S+) (\\S+)"))) {
                EXPECT_TRUE(m[1] != "added" || has(table, m[2])) << row;
                want.push_back(ent(m[2], m[4], m[3]) + " result=" + (m[1] == "added" ? "ok" : m.str(1)));
            }
        EXPECT_EQ(table == base, c.summary.starts_with("Added: 0 "));
        for (const std::string &rec : log.take())   // the entry and its result
            got.push_back(std::regex_replace(rec, std::regex(".*action=add | (reason|known)=.*"), ""));
        EXPECT_EQ(got, c.runs ? want : lines{"result=refused"});
    }

    // The limit itself is taken whole (no syslog daemon to hold 1,024 records).
    configure("", true);
    EXPECT_EQ(element_text(batch(entries(1024, 1, {"eth-0-1"}, {"1"}, true)).out, "summary"), summary(1024, 0, 0, 0));
    configure("", true);
    // The CLI's own line for the entry it refused; the operation's name in any letter case.
    EXPECT_TRUE(has(add("operate=ADD_MANY&entries=" + form_encode("00e0.fc0a.0011,40,eth-0-1\n")).out,
                    "<span class=\"reason\">Cannot add 00e0.fc0a.0011 to VLAN 40: VLAN 40 does not exist"));

    // A run that did not complete: every entry not known, never added. The first record counts the 1,025 lost above.
    syslog_catcher log;
    stub_imish(kSim + " \"$@\"\nkill -9 $$\n");
    proc_result r = add("operate=add_many&entries=" + form_encode("00e0.fc0a.0021,1,eth-0-1\n00e0.fc0a.0022,1,eth-0-1\n"), "cn");
    EXPECT_EQ(batch_rows(r.out), (lines{"1 unknown 00e0.fc0a.0021 1 eth-0-1", "2 unknown 00e0.fc0a.0022 1 eth-0-1"}));
    EXPECT_TRUE(has(r.out, "id=\"batch_failure\">无法读取交换机的完整应答"));
    EXPECT_EQ(element_text(r.out, "summary"), "已添加 0 个 · 被拒绝 0 个 · 结果未知 2 个 · 无效 0 个");
    const std::string unknown = " result=unknown reason=\"cli_no_answer\" known=cli";
    EXPECT_EQ(log.take(), (lines{rec(3, "add", ent("00e0.fc0a.0021", "eth-0-1", "1") + unknown + " lost=1025"),
                                 rec(3, "add", ent("00e0.fc0a.0022", "eth-0-1", "1") + unknown)}));
}

TEST_F(PageTest, OneInstanceASessionAtATime)
{
    planted_pid_file = "web_mac_static_add.cgi_" + admin + ".pid";
    const std::string pid_path = "/var/run/" + planted_pid_file;
    const std::string busy = error_redirect(admin, "en", "error_prog_busy", form_encode("web_mac_static_add.cgi?" + qs(admin)));
    write_file(pid_path, std::to_string(getpid()));
    int held = open(pid_path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    proc_result r = request("GET", qs(admin));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, busy);
    EXPECT_EQ(read_file(pid_path), std::to_string(getpid()));
    // A rewritten URI that does not name the program returns to the page.
    std::vector<std::string> env = cgi_env("GET", qs(admin), "");
    env[4] = "REQUEST_URI=/mac/add";
    EXPECT_EQ(run_process({PAGE_BIN}, env).out, error_redirect(admin, "en", "error_prog_busy", "web_mac_static_add.cgi"));
    // A holder gone took its lock: its pid file, naming a live process, blocks nothing.
    close(held);
    planted_pid_file.clear();
    EXPECT_TRUE(is_rendered_page(request("GET", qs(admin)).out));

    // Bursts of requests: each is the page or that answer, never two runs at once.
    stub_imish("mkdir /tmp/imish_running 2>/dev/null || echo overlap >>/tmp/imish_overlap\n"
               "sleep 0.1\nrmdir /tmp/imish_running\n" + kCountRuns);
    std::vector<proc_result> results(6 * 16);
    for (int burst = 0; burst < 6; ++burst) {
        std::vector<std::jthread> clients;   // joined at the burst's end
        for (int i = 0; i < 16; ++i)
            clients.emplace_back([&, i] { results[static_cast<std::size_t>(16 * burst + i)] = request("GET", qs(admin)); });
    }
    for (const proc_result &res : results)
        EXPECT_TRUE(is_rendered_page(res.out) || res.out == busy) << res.out.substr(0, 200);
    EXPECT_GE(std::ranges::count_if(results, [](const proc_result &res) { return is_rendered_page(res.out); }), 6);
    EXPECT_FALSE(path_exists("/tmp/imish_overlap")) << "two imish runs of one session at once";
}

// A run without a whole answer, or failed without a word: the table, asked again, tells each entry's outcome; where
// that fails too (an add's meets the same stub), it is unknown, never a success nor a refusal; a listing warns, lists none.
TEST_F(PageTest, RunsWithoutAWholeAnswerAreToldSo)
{
    // A small /tmp, so that a run can fill it.
    ASSERT_EQ(mount(nullptr, "/tmp", nullptr, MS_REMOUNT, "size=2m"), 0) << std::strerror(errno);
    const std::string sim = kSim + " \"$@\"", fill = "cat /dev/zero >/tmp/filler 2>/dev/null\n";
    // removed: what the table, read back, shows of the removal ("" when it cannot be read either).
    const struct { const char *name; std::string stub, removed; } cases[] = {
        {"imish fails with a word on stderr only", "echo 'imish: no route to the daemon' >&2\nexit 1\n", "no"},
        {"imish fails after its work, its answer lost to writes that fail",
         sim + " >/dev/full\necho 'imish: write error' >&2\nexit 1\n", "yes"},
        {"/tmp full during the run, freed before the page looks",
         fill + "echo 'Building configuration...' || { rm -f /tmp/filler; exit 1; }\nexec " + sim + "\n", "no"},
        {"/tmp full during the run and after", fill + "exec " + sim + "\n", ""},
        {"imish killed before its work", "kill -9 $$\n", "no"}, {"imish killed after its work", sim + "\nkill -9 $$\n", "yes"},
        {"the result file gone after the run", "rm -f \"$(readlink /proc/$$/fd/1)\"\nexec " + sim + "\n", "yes"},
    };
    // A removal's second question goes clean; an add's meets the same fault.
    const std::string clean_show = "case \" $* \" in *' -w '*) exec " + sim + ";; esac\n";
    for (const auto &c : cases)
        for (const std::string req : {"add", "remove", "list"}) {
            SCOPED_TRACE(req + ": " + c.name);
            configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n", true);
            stub_imish(req == "remove" ? clean_show + c.stub : c.stub);
            syslog_catcher log;
            const std::string removed = req == "remove" ? c.removed : "";   // only a removal's outcome is read back
            proc_result r = req == "add"    ? add("addr0=00e0&addr1=fc0a&addr2=0001&intf_name=eth-0-1&vlan=10")
                            : req == "list" ? listing("GET", qs(admin))
                                            : listing("POST", qs(admin), "operate=delete&sel=00e0.fc0a.0001+eth-0-1+10");
            EXPECT_EQ(!has(show_static(), "00e0.fc0a.0001"), removed == "yes");
            if (req == "list")
                EXPECT_TRUE(has(r.out, "id=\"cli_failed\"") && !has(r.out, "00e0.fc0a.0001"));
            else
                EXPECT_EQ(r.out, req == "add"       ? add_error("%25cli_no_answer")
                                 : removed == "yes" ? listed("&order=asc&per_page=50&page=1&removed=1")
                                                    : list_error(removed == "no" ? "%25cli_not_applied" : "%25cli_no_answer"));
            const auto [severity, record] = removed == "yes"  ? std::pair{5, "ok known=table"}
                                            : removed == "no" ? std::pair{4, "refused reason=\"cli_not_applied\" known=table"}
                                                              : std::pair{3, "unknown reason=\"cli_no_answer\" known=cli"};
            const lines want = {rec(severity, req, ent("00e0.fc0a.0001", "eth-0-1") + " result=" + record)};
            EXPECT_EQ(log.take(), req == "list" ? lines{} : want);
            unlink("/tmp/filler");
        }
}

// The client gone before the answer, or a signal mid-run: the page exits, ends its imish, leaves nothing behind.
TEST_F(PageTest, EndedRequestsLeaveNothing)
{
    configure("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n");
    // The page starts once the reader of its answer has gone.
    for (const std::string page : {"web_mac_static.cgi", "web_mac_static_add.cgi"}) {
        run_process({"/bin/sh", "-c", "{ sleep 0.3; \"$0\"; echo $? >/tmp/page_status; } | :", kPages + page},
                    cgi_env("GET", qs(admin), "", page));
        int status = std::atoi(read_file("/tmp/page_status").c_str());   // the shell's 128 + N for signal N
        EXPECT_FALSE(status > 128 && status <= 128 + 64) << page << ": ended by signal " << status - 128;
    }
    // An imish that hangs, so the page is caught in the middle of its run.
    stub_imish("echo $$ >/tmp/imish_started\nexec sleep 30 >/dev/null 2>&1\n");
    for (int sig : {SIGTERM, SIGINT, SIGABRT}) {
        SCOPED_TRACE("signal " + std::to_string(sig));
        unlink("/tmp/imish_started");
        proc_result r;
        std::thread page([&] { r = request("GET", qs(admin)); });
        for (int i = 0; i < 500 && read_file("/tmp/imish_started").empty(); ++i)
            usleep(10000);
        const pid_t imish = std::atoi(read_file("/tmp/imish_started").c_str());
        const lines pid_file = dir_entries("/var/run", "web_mac_static_add.cgi_");
        EXPECT_TRUE(imish > 0 && pid_file.size() == 1) << "imish " << imish << ", pid files " << pid_file.size();
        if (imish > 0 && pid_file.size() == 1)
            kill(std::atoi(read_file("/var/run/" + pid_file[0]).c_str()), sig);
        page.join();
        EXPECT_TRUE(r.status == 0 && r.term_signal == 0) << r.status;
        EXPECT_EQ(kill(imish, 0), -1) << "imish outlived the request";
        if (imish > 0)   // never 0: that would signal the test's own group
            kill(imish, SIGKILL);
        nothing_left();
    }
}

// An IMI silent after accepting, or never accepting: each attempt has 5 s, then the session counts as refused. A
// session id longer than IMI compares is never sent: one that takes its first 31 characters cannot vouch for all.
TEST(PageFault, UntrustworthyImiGivesTheLoginPageInTime)
{
    struct { const char *name; bool queue_full, vouches; int sid_length, min_s, max_s; } cases[] = {
        {"silent after accepting", false, false, 1, 5, 10},
        {"never accepting: five attempts of 5 s, a second apart", true, false, 1, 25, 40},
        {"vouching for anything, asked of an overlong session id", false, true, 32, 0, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        int srv = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr = {AF_UNIX, {}};
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", IMI_SOCK_PATH);
        ASSERT_EQ(bind(srv, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ASSERT_EQ(listen(srv, c.queue_full ? 0 : 8), 0);
        std::vector<int> queued;
        for (int i = 0; c.queue_full && i < 16; ++i) {
            queued.push_back(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            if (connect(queued.back(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
                break;
        }
        std::thread imi([&] {
            pollfd pfd = {srv, POLLIN, 0};
            if (!c.vouches || poll(&pfd, 1, 10000) != 1)
                return;
            int conn = accept(srv, nullptr, nullptr);
            char req[100];
            unsigned char reply[200] = {3, 0, 200, 0, 1, 1, 1, 1, 'a', 'd', 'm', 'i', 'n'};
            EXPECT_TRUE(read(conn, req, sizeof req) <= 0 || write(conn, reply, sizeof reply) == 200);
            close(conn);
        });
        proc_result r = run_process({PAGE_BIN}, {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET",
                                                 "QUERY_STRING=sessionId=" + std::string(c.sid_length, '2') + "&lang=cn"});
        EXPECT_EQ(r.out, login_timeout_page("cn"));
        EXPECT_GE(r.elapsed_ms, c.min_s * 1000);
        EXPECT_LT(r.elapsed_ms, c.max_s * 1000);
        shutdown(srv, SHUT_RDWR);
        imi.join();
        for (int q : queued)
            close(q);
        close(srv);
        unlink(IMI_SOCK_PATH);
        EXPECT_TRUE(dir_entries("/var/run", "web_mac_static").empty());
    }
}

// Each request maps only the C library and its loader (ld-linux-x86-64.so.2, ld.so.1 on PowerPC), and no C++ exception
// runtime (which a range-checked call such as string_view::substr() links in whole).
TEST(PageBinary, NeedsOnlyTheCLibrary)
{
    // The programs themselves, not the launchers an emulator needs.
    for (const char *bin : {PAGE_ELF_DIR "/web_mac_static_add.cgi", PAGE_ELF_DIR "/web_mac_static.cgi"}) {
        const proc_result r = run_process({"/usr/bin/readelf", "-d", "-sW", bin}, {});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(std::regex_search(r.out, std::regex("\\(NEEDED\\)[^[]*\\[libc\\.so"))) << bin;
        EXPECT_EQ(matches(r.out, "\\(NEEDED\\)[^[]*\\[(?!libc\\.so|ld-linux|ld\\.so)([^\\]]+)\\]"), lines{}) << bin;
        EXPECT_FALSE(std::regex_search(r.out, std::regex("__cxa_throw|_Unwind_RaiseException"))) << bin;
    }
}

} // namespace
