// Drives the add page through a web server with many requests at a time and
// then checks that every answer told the truth about the switch.
//   add_load_checker PORT IMISH [REQUESTS] [CONCURRENCY]
// Runs where the server's IMI and switch stand-ins live (the load script's
// sandbox). Exits 0 when every check holds.
#include "http_exchange.h"
#include "imi_client.h"
#include "test_util.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

// One session takes a quarter of the requests; the others share the rest.
// With this one IMI allows at most 8.
constexpr int OTHER_SESSIONS = 6;
constexpr int PORTS = 24;
constexpr auto npos = std::string::npos;

enum outcome { PAGE, ADDED, BUSY, FAILED, OUTCOMES };

struct request {
    bool add = false;
    std::string sid, mac, port;   // an add's MAC ("00e0.xxxx.yyyy") and port
    outcome got = FAILED;         // until its answer says otherwise
    std::string head{};           // the answer's head, for the report
};

std::string login()
{
    char session[32] = {}, err[500] = {};
    // IMI starts beside the server: give it a moment to listen.
    for (int i = 0; i < 100; ++i, usleep(50000))
        if (imi_login("admin", "admin", "127.0.0.1", session, err) == 0)
            return session;
    std::fprintf(stderr, "login: %s\n", err);
    return "";
}

void serve(int port, std::vector<request> &reqs, std::atomic<std::size_t> &next)
{
    for (std::size_t i; (i = next++) < reqs.size();) {
        request &r = reqs[i];
        std::string body = "addr0=" + r.mac.substr(0, 4) + "&addr1=" + r.mac.substr(5, 4) + "&addr2=" +
                           r.mac.substr(10, 4) + "&intf_name=" + r.port + "&vlan=1&add_bn=add";
        std::string text = "/web_mac_static_add.cgi?sessionId=" + r.sid + "&lang=en HTTP/1.0\r\nHost: 127.0.0.1\r\n";
        text = r.add ? "POST " + text + "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n" + body
                     : "GET " + text + "\r\n";
        const std::string answer = http_exchange(port, text, 20);
        const std::string &head = r.head = answer.substr(0, answer.find("\r\n\r\n")) + "\r\n";
        auto says = [&](const std::string &line) { return head.find("\r\n" + line) != npos; };
        if (says("Location: web_error.cgi?"))
            r.got = head.find("&errid=error_prog_busy&") != npos ? BUSY : FAILED;
        else if (r.add ? says("Location: web_mac_static.cgi?sessionId=" + r.sid + "&lang=en")
                       : head.starts_with("HTTP/1.0 200 ") && says("Content-Type: text/html; charset=utf-8\r\n") &&
                             answer.find("name=\"add_bn\"") != npos && answer.find("</html>") != npos)
            r.got = r.add ? ADDED : PAGE;
    }
}

// Files a page leaves behind: its scratch files and its instance pid files.
std::vector<std::string> leftovers()
{
    std::vector<std::string> found;
    for (const char *prefix : {"webcmd_", "webres_"})
        for (const std::string &name : dir_entries("/tmp", prefix))
            found.push_back("/tmp/" + name);
    for (const std::string &name : dir_entries("/var/run", "web_"))
        if (name.ends_with(".pid"))
            found.push_back("/var/run/" + name);
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
    std::size_t total = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 2000;
    int concurrency = argc > 4 ? std::atoi(argv[4]) : 16;
    std::vector<std::string> sids(OTHER_SESSIONS + 1);   // the one session first
    for (std::string &sid : sids)
        if ((sid = login()).empty())
            return 1;

    // Requests come in fours: the first of each four on the one session;
    // fours of adds and fours of form loads alternate. Every add is a new
    // entry in VLAN 1.
    std::vector<request> reqs(total);
    for (std::size_t i = 0; i < total; ++i) {
        char mac[16];
        std::snprintf(mac, sizeof mac, "00e0.%04zx.%04zx", (i >> 16) & 0xffff, i & 0xffff);
        reqs[i] = {(i / 4) % 2 == 0, sids[i % 4 == 0 ? 0 : 1 + (i / 4 + i) % OTHER_SESSIONS], mac,
                   "eth-0-" + std::to_string(i % PORTS + 1)};
    }

    auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < concurrency; ++t)
        workers.emplace_back(serve, port, std::ref(reqs), std::ref(next));
    for (std::thread &w : workers)
        w.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // The table as a page reads it, through the switch's CLI.
    write_file("/tmp/load_show", "show mac address-table static\n");
    std::string table = run_process({argv[2], "-g", "-y", "-w", "-f", "/tmp/load_show"}, {}).out;
    int count[OUTCOMES] = {}, hot_busy = 0, faults = 0;
    for (const request &r : reqs) {
        ++count[r.got];
        hot_busy += r.got == BUSY && r.sid == sids[0];
        const char *fault = r.add && r.got == ADDED && table.find(r.mac + "  static   " + r.port + "\n") == npos
                                ? "reported added, not in the table"
                            : r.add && r.got != ADDED && table.find(r.mac) != npos ? "not reported added, in the table"
                            : r.got != FAILED                                      ? nullptr
                            : r.add                                                ? "add failed"
                                                                                   : "form neither rendered nor busy";
        if (fault && ++faults <= 10)
            std::fprintf(stderr, "%s %s (%s): %s\n%s", r.add ? "POST" : "GET", r.mac.c_str(),
                         r.sid == sids[0] ? "hot session" : "other session", fault, r.head.c_str());
    }

    // The last page may still be on its way out after its answer arrived.
    std::vector<std::string> left;
    for (int i = 0; i < 40 && !(left = leftovers()).empty(); ++i)
        usleep(50000);
    for (const std::string &path : left)
        std::fprintf(stderr, "left behind: %s\n", path.c_str());

    std::printf("requests %zu (concurrency %d) in %.2f s: %.0f requests/s\n", total, concurrency, seconds,
                static_cast<double>(total) / seconds);
    std::printf("adds: %d added, form loads: %d rendered, busy: %d (%d on the hot session), failures: %d\n",
                count[ADDED], count[PAGE], count[BUSY], hot_busy, count[FAILED]);
    bool ok = faults == 0 && left.empty() && count[ADDED] > 0 && count[PAGE] > 0;
    std::printf("%s\n", ok ? "load: every answer matches the switch" : "load: FAILED");
    return ok ? 0 : 1;
}
