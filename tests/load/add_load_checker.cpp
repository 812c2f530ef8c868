// Drives the add page through a web server with many requests at a time and
// then checks that every answer told the truth about the switch.
//   add_load_checker PORT IMISH [REQUESTS] [CONCURRENCY]
// Runs where the server's IMI and switch stand-ins live (the load script's
// sandbox). Exits 0 when every check holds.
#include "http_exchange.h"
#include "imi_client.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One session takes a quarter of the requests; the others share the rest.
// With this one IMI allows at most 8.
constexpr int OTHER_SESSIONS = 6;
constexpr int IO_TIMEOUT_S = 20;
constexpr int PORTS = 24;

enum class outcome { none, page, added, busy, failed };

struct request {
    bool add = false;
    std::string sid;
    std::string mac;   // of an add: "00e0.xxxx.yyyy"
    std::string port;  // of an add
    outcome got = outcome::none;
    std::string answer; // what a wrong answer said, for the report
};

std::string login(const char *client)
{
    char session[32] = {};
    char err[500] = {};
    // IMI starts beside the server: give it a moment to listen.
    for (int i = 0; i < 100; ++i) {
        if (imi_login("admin", "admin", client, session, err) == 0)
            return session;
        usleep(50000);
    }
    std::fprintf(stderr, "login: %s\n", err);
    return "";
}

std::string header(const std::string &answer, const char *name)
{
    std::string head = answer.substr(0, answer.find("\r\n\r\n"));
    std::string key = std::string("\r\n") + name + ": ";
    std::size_t at = head.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    return head.substr(at, head.find("\r\n", at) - at);
}

outcome classify(const request &r, const std::string &answer)
{
    std::string location = header(answer, "Location");
    if (location.rfind("web_error.cgi?", 0) == 0)
        return location.find("&errid=error_prog_busy&") != std::string::npos ? outcome::busy
                                                                              : outcome::failed;
    if (r.add)
        return location.rfind("web_mac_static.cgi?sessionId=" + r.sid + "&lang=en", 0) == 0
                   ? outcome::added
                   : outcome::failed;
    bool page = answer.rfind("HTTP/1.0 200 ", 0) == 0 &&
                header(answer, "Content-Type") == "text/html; charset=utf-8" &&
                answer.find("name=\"add_bn\"") != std::string::npos &&
                answer.find("</html>") != std::string::npos;
    return page ? outcome::page : outcome::failed;
}

void serve(int port, std::vector<request> &reqs, std::atomic<std::size_t> &next)
{
    for (std::size_t i; (i = next++) < reqs.size();) {
        request &r = reqs[i];
        std::string query = "/web_mac_static_add.cgi?sessionId=" + r.sid + "&lang=en";
        std::string text;
        if (r.add) {
            std::string body = "addr0=" + r.mac.substr(0, 4) + "&addr1=" + r.mac.substr(5, 4) +
                               "&addr2=" + r.mac.substr(10, 4) + "&intf_name=" + r.port +
                               "&vlan=1&add_bn=add";
            text = "POST " + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                   "Content-Type: application/x-www-form-urlencoded\r\n"
                   "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        } else {
            text = "GET " + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        }
        std::string answer = http_exchange(port, text, IO_TIMEOUT_S);
        r.got = classify(r, answer);
        if (r.got == outcome::failed)
            r.answer = answer.substr(0, answer.find("\r\n\r\n"));
    }
}

// "show mac address-table static" through the switch's CLI, as a page runs it.
std::string show_static(const char *imish)
{
    char cmd[] = "/tmp/load_show_XXXXXX";
    int fd = mkstemp(cmd);
    const char line[] = "show mac address-table static\n";
    if (fd < 0 || write(fd, line, sizeof line - 1) != static_cast<ssize_t>(sizeof line - 1))
        return "";
    close(fd);
    int out[2];
    if (pipe(out) != 0)
        return "";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        execl(imish, "imish", "-g", "-y", "-w", "-f", cmd, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[8192];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    waitpid(pid, nullptr, 0);
    unlink(cmd);
    return text;
}

// Files a page leaves behind: its scratch files and its instance pid files.
std::vector<std::string> leftovers()
{
    std::vector<std::string> found;
    const struct {
        const char *dir, *prefix, *suffix;
    } kinds[] = {{"/tmp", "webcmd_", ""}, {"/tmp", "webres_", ""}, {"/var/run", "web_", ".pid"}};
    for (const auto &k : kinds) {
        DIR *d = opendir(k.dir);
        while (dirent *e = d ? readdir(d) : nullptr) {
            std::string name = e->d_name;
            std::string suffix = k.suffix;
            if (name.rfind(k.prefix, 0) == 0 && name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                found.push_back(std::string(k.dir) + "/" + name);
        }
        if (d)
            closedir(d);
    }
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: add_load_checker PORT IMISH [REQUESTS] [CONCURRENCY]\n");
        return 2;
    }
    int port = std::atoi(argv[1]);
    const char *imish = argv[2];
    std::size_t total = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 2000;
    int concurrency = argc > 4 ? std::atoi(argv[4]) : 16;

    std::string hot = login("127.0.0.1");
    std::vector<std::string> others;
    for (int i = 0; i < OTHER_SESSIONS; ++i)
        others.push_back(login("127.0.0.1"));
    if (hot.empty() || others.back().empty())
        return 1;

    // Requests come in fours: the first of each four on the one session;
    // fours of adds and fours of form loads alternate. Every add is a new
    // entry in VLAN 1.
    std::vector<request> reqs(total);
    for (std::size_t i = 0; i < total; ++i) {
        request &r = reqs[i];
        r.sid = i % 4 == 0 ? hot : others[(i / 4 + i) % OTHER_SESSIONS];
        r.add = (i / 4) % 2 == 0;
        char mac[16];
        std::snprintf(mac, sizeof mac, "00e0.%04zx.%04zx", (i >> 16) & 0xffff, i & 0xffff);
        r.mac = mac;
        r.port = "eth-0-" + std::to_string(i % PORTS + 1);
    }

    auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < concurrency; ++t)
        workers.emplace_back(serve, port, std::ref(reqs), std::ref(next));
    for (std::thread &w : workers)
        w.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::string table = show_static(imish);
    int added = 0, busy = 0, failed = 0, pages = 0, hot_busy = 0, faults = 0;
    for (const request &r : reqs) {
        added += r.got == outcome::added;
        busy += r.got == outcome::busy;
        failed += r.got == outcome::failed;
        pages += r.got == outcome::page;
        hot_busy += r.got == outcome::busy && r.sid == hot;
        bool listed = r.add && table.find(r.mac + "  static   " + r.port + "\n") != std::string::npos;
        const char *fault = nullptr;
        if (r.add && r.got == outcome::added && !listed)
            fault = "reported added, not in the table";
        else if (r.add && r.got != outcome::added && table.find(r.mac) != std::string::npos)
            fault = "not reported added, in the table";
        else if (r.got == outcome::failed)
            fault = r.add ? "add failed" : "form neither rendered nor busy";
        if (fault && ++faults <= 10)
            std::fprintf(stderr, "%s %s (%s): %s\n%s", r.add ? "POST" : "GET", r.mac.c_str(),
                         r.sid == hot ? "hot session" : "other session", fault,
                         r.answer.empty() ? "" : (r.answer + "\n").c_str());
    }

    // The last page may still be on its way out after its answer arrived.
    std::vector<std::string> left;
    for (int i = 0; i < 40 && !(left = leftovers()).empty(); ++i)
        usleep(50000);
    for (const std::string &path : left)
        std::fprintf(stderr, "left behind: %s\n", path.c_str());

    std::printf("requests %zu (concurrency %d) in %.2f s: %.0f requests/s\n", total, concurrency,
                seconds, static_cast<double>(total) / seconds);
    std::printf("adds: %d added, form loads: %d rendered, busy: %d (%d on the hot session), "
                "failures: %d\n", added, pages, busy, hot_busy, failed);
    bool ok = faults == 0 && left.empty() && added > 0 && pages > 0;
    std::printf("%s\n", ok ? "load: every answer matches the switch" : "load: FAILED");
    return ok ? 0 : 1;
}
