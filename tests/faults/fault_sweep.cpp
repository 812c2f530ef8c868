// Fault sweep: the four requests of the static MAC pages run on the simulated
// switch while one family of C library calls fails at random (seeded), and
// each answer is held against the switch's table afterwards. A page may
// fail, but never claim a change it did not make or deny one it made.
//
//   FAULT_SWEEP_SEED   base seed (default fixed, so CI runs the same runs)
//   FAULT_SWEEP_SCALE  runs per case times this (probability 1 runs once)
//   FAULT_SWEEP_ONLY   one run, "family/probability/request/index" (probability
//                      "nth": the index-th call fails), or the
//                      runs under a prefix that ends in "/" ("malloc/")
//   FAULT_SWEEP_VERBOSE=1  prints every run, and a finding's whole answer
#include "imi_client.h"
#include "imi_daemon.h"
#include "syslog_catcher.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using table = std::vector<std::string>;   // sorted "mac port vlan" rows

const std::string kPath = std::string(SIM_BIN_DIR) + ":/usr/bin:/bin";
const std::string kLog = "/tmp/sweep/fault.log";
const char *kListBin = SIM_BIN_DIR "/../page/web_mac_static.cgi";
constexpr long kLimitMs = 30000;

// The switch before every run: the removal takes A and B, the add puts N.
const table kBase = {"00e0.fc0a.0001 eth-0-1 10", "00e0.fc0a.0002 agg1 10", "00e0.fc0a.0003 eth-0-2 1"};
const std::string kNew = "00e0.fc0a.b1c2 eth-0-1 10";

struct request {
    const char *name, *bin, *method, *body;
    table after;   // the table once the request has done its work
};

// Each family fails at random, and then call by call: the first call alone,
// the second alone, and so on (every stride-th call) until none is left.
struct plan {
    const char *family;
    std::vector<std::pair<const char *, int>> runs;   // probability, runs per request
    int stride = 1;                                   // 0: no call by call
};
constexpr int kNthMax = 48;

const std::vector<std::pair<const char *, int>> kStandard = {{"0.05", 5}, {"0.2", 5}, {"0.5", 3}, {"1", 1}};
// ClearSilver allocates some hundred times per request, a listing a thousand.
const std::vector<std::pair<const char *, int>> kMalloc = {{"0.001", 5}, {"0.005", 5}, {"0.02", 3}, {"1", 1}};
// A failed connect costs the page a second's sleep, up to five times.
const plan kPlans[] = {
    {"open", kStandard}, {"close", kStandard}, {"read", kStandard}, {"write", kStandard},
    {"unlink", kStandard}, {"connect", {{"0.2", 2}, {"0.5", 1}, {"1", 1}}}, {"send", kStandard},
    {"recv", kStandard}, {"poll", kStandard}, {"malloc", kMalloc, 25}, {"spawn", kStandard},
    {"wait", {{"0.2", 2}, {"0.5", 2}}, 0}, {"kill", {{"0.5", 1}, {"1", 1}}}, {"ftruncate", kStandard},
};

enum kind { SUCCESS, FAILURE, UNKNOWN, LOGIN, ERROR_500, EMPTY, KINDS };
const char *const kKindNames[KINDS] = {"success", "failure", "unknown", "login", "500", "empty"};

struct tally {
    int runs = 0, injected = 0, records = 0, findings = 0, kinds[KINDS] = {};
};

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t run_seed(std::uint64_t base, const std::string &id)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : id)
        h = (h ^ c) * 1099511628211ULL;
    return mix(base ^ h);
}

const char *env_or(const char *name, const char *def)
{
    const char *v = std::getenv(name);
    return v && *v ? v : def;
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The values of every `attr="` after from and before to, sorted.
table attr_values(const std::string &html, const std::string &attr, const std::string &from,
                  const std::string &to)
{
    table v;
    std::size_t at = html.find(from), end = html.find(to, at == std::string::npos ? 0 : at);
    for (; at != std::string::npos && (at = html.find(attr, at)) < end; at += attr.size())
        v.push_back(html.substr(at + attr.size(), html.find('"', at + attr.size()) - at - attr.size()));
    std::sort(v.begin(), v.end());
    return v;
}

// What the audit records of a run say against its answer: a record never
// tells another outcome than the answer did (a record may be missing: the
// fault may have hit its sending). Empty when they agree.
std::string records_disagree(const std::vector<std::string> &records, kind k, bool post)
{
    const char *want = k == SUCCESS ? "result=ok" : k == UNKNOWN ? "result=unknown" : nullptr;
    for (const std::string &r : records) {
        if (!post)
            return "a GET was recorded: " + r;
        if (r.find(" user=\"admin\" ") == std::string::npos)
            return "record without the session's user: " + r;
        bool says_ok = r.find(" result=ok") != std::string::npos;
        bool says_unknown = r.find(" result=unknown") != std::string::npos;
        if (want ? r.find(want) == std::string::npos : k == FAILURE && (says_ok || says_unknown))
            return "record disagrees with the answer: " + r;
    }
    return "";
}

class sweep {
public:
    explicit sweep(const std::string &sid) : sid_(sid) {}

    // The switch's table, read with imish run directly, clean.
    table read_table()
    {
        write_file("/tmp/sweep/show.cmd", "show mac address-table static\n");
        proc_result r = run_process({SIM_BIN_DIR "/imish", "-g", "-y", "-w", "-f", "/tmp/sweep/show.cmd"},
                                    {"PATH=" + kPath});
        EXPECT_EQ(r.status, 0) << "the imish stand-in cannot show its table: " << r.out << r.err;
        table t;
        std::vector<std::string> lines = split_lines(r.out);
        for (std::size_t i = 6; i < lines.size(); ++i) {
            char vlan[64], mac[64], type[64], port[64];
            if (std::sscanf(lines[i].c_str(), "%63s %63s %63s %63s", vlan, mac, type, port) == 4)
                t.push_back(std::string(mac) + " " + port + " " + vlan);
        }
        std::sort(t.begin(), t.end());
        return t;
    }

    void restore_base()
    {
        if (known_ == kBase)
            return;
        run_process({SIM_BIN_DIR "/imish", "--reset"}, {"PATH=" + kPath});
        std::string cmds;
        for (const std::string &row : kBase) {
            char mac[64], port[64], vlan[16];
            std::sscanf(row.c_str(), "%63s %63s %15s", mac, port, vlan);
            cmds += std::string("mac-address-table ") + mac + " forward " + port + " vlan " + vlan + "\n";
        }
        write_file("/tmp/sweep/config.cmd", cmds);
        run_process({SIM_BIN_DIR "/imish", "-g", "-y", "-f", "/tmp/sweep/config.cmd"}, {"PATH=" + kPath});
        known_ = read_table();
    }

    proc_result run_page(const request &q, const char *family, const char *prob, std::uint64_t seed,
                          long nth = -1)
    {
        std::string query = "sessionId=" + sid_ + "&lang=en", page = std::strrchr(q.bin, '/') + 1;
        std::vector<std::string> env = {
            "PATH=" + kPath, "GATEWAY_INTERFACE=CGI/1.1", std::string("REQUEST_METHOD=") + q.method,
            "QUERY_STRING=" + query, "REQUEST_URI=/" + page + "?" + query, "SCRIPT_NAME=/" + page,
            "REMOTE_ADDR=127.0.0.1", "LD_PRELOAD=" FAULT_PRELOAD ":" FIU_POSIX_PRELOAD,
            std::string("FAULT_FAMILY=") + family, std::string("FAULT_PROB=") + prob,
            "FAULT_SEED=" + std::to_string(seed), "FAULT_LOG=" + kLog};
        if (nth >= 0)
            env.push_back("FAULT_NTH=" + std::to_string(nth));
        if (*q.body) {
            env.push_back("CONTENT_TYPE=application/x-www-form-urlencoded");
            env.push_back("CONTENT_LENGTH=" + std::to_string(std::strlen(q.body)));
        }
        return run_process({q.bin}, env, q.body, kLimitMs);
    }

    // One run: its answer's kind, and what is wrong with it (empty: nothing).
    std::pair<kind, std::string> judge(const request &q, const proc_result &r, bool write_fault)
    {
        table now = known_ = read_table();
        bool post = *q.body != '\0', changed = now != kBase;
        // States the run may leave: before, after, or (removal) part-way.
        bool allowed = !changed || now == q.after ||
                       (std::string(q.name) == "remove" && now.size() == kBase.size() - 1 &&
                        std::includes(kBase.begin(), kBase.end(), now.begin(), now.end()));
        if (r.timed_out)
            return {EMPTY, "no end within 30 s"};
        if (r.term_signal)
            return {EMPTY, "ended by signal " + std::to_string(r.term_signal)};
        if (!allowed)
            return {EMPTY, "table is neither as before nor as after the request"};

        const std::string &out = r.out, rdr_prefix = "Location: web_error.cgi?sessionId=" + sid_ + "&lang=en&errid=";
        std::string login = out.rfind("Not okay: ", 0) == 0 ? out.substr(out.find("\r\n") + 2) : out;
        std::size_t blank = out.find("\r\n\r\n");
        std::string head = out.substr(0, blank + 2), body = blank == std::string::npos ? "" : out.substr(blank + 4);
        kind k;
        std::string problem;
        if (post && out == "Location: web_mac_static.cgi?sessionId=" + sid_ + "&lang=en\r\n\r\n") {
            k = SUCCESS;
            if (now != q.after)
                problem = "success answered, table not changed";
        } else if (std::size_t rdr = out.find("&rdrpage="); out.rfind(rdr_prefix, 0) == 0 && rdr != std::string::npos) {
            std::string errid = out.substr(rdr_prefix.size(), rdr - rdr_prefix.size());
            // A POST's error page leads back to where the request came from.
            std::string back = !post ? out.substr(rdr + 9, out.size() - rdr - 13)
                               : std::string(q.name) == "add" ? "web_mac_static_add.cgi%3F"
                                                              : "web_mac_static.cgi%3FsessionId%3D" + sid_ + "%26lang%3Den";
            k = errid == "%25cli_timeout" || errid == "%25cli_no_answer" ? UNKNOWN : FAILURE;
            if (out != error_redirect(sid_, "en", errid, back))
                problem = "malformed error redirect";
            else if (k == FAILURE && changed)
                problem = "failure answered (" + errid + "), table changed";
        } else if (login == login_timeout_page("en")) {
            k = LOGIN;
            if (changed)
                problem = "login page answered, table changed";
        } else if (out.rfind("Status: 500", 0) == 0) {
            k = ERROR_500;
            if (changed)
                problem = "500 answered, table changed";
        } else if (!post && head.find("Content-Type: text/html; charset=utf-8\r\n") != std::string::npos &&
                   body.find("<!DOCTYPE html>") == body.find_first_not_of(" \r\n") &&
                   body.find_first_not_of(" \r\n", body.find("</html>") + 7) == std::string::npos) {
            // A page that warns of a failed CLI run may show less.
            k = out.find("id=\"cli_failed\"") != std::string::npos ? FAILURE : SUCCESS;
            if (k == SUCCESS && std::string(q.name) == "list" &&
                attr_values(out, "name=\"sel\" value=\"", "<tbody>", "</tbody>") != now)
                problem = "listing without warning differs from the table";
            if (k == SUCCESS && std::string(q.name) == "form" &&
                attr_values(out, "<option value=\"", "id=\"intf_name\"", "</select>") != ports_)
                problem = "form without warning offers other ports than a clean run";
        } else {
            // An answer cut short by a failed write (a header block, then
            // ClearSilver's error page) is no answer at all.
            k = EMPTY;
            if (!out.empty() && !write_fault)
                problem = "unexpected answer";
            else if (changed && !write_fault)
                problem = "empty answer, table changed";
        }
        return {k, problem};
    }

    std::string sid_;
    table known_, ports_;
};

} // namespace

TEST(FaultSweep, EveryInjectedFaultEndsInATruthfulAnswer)
{
    const std::uint64_t base_seed = std::strtoull(env_or("FAULT_SWEEP_SEED", "20261206"), nullptr, 10);
    const int scale = std::max(1, std::atoi(env_or("FAULT_SWEEP_SCALE", "1")));
    const std::string only = env_or("FAULT_SWEEP_ONLY", "");
    const bool verbose = std::string(env_or("FAULT_SWEEP_VERBOSE", "")) == "1";
    auto start = std::chrono::steady_clock::now();

    imi_daemon imi;
    ASSERT_TRUE(imi.ok());
    mkdir("/tmp/sweep", 0755);
    for (const char *f : {"web_mac_static_add.cs", "web_mac_static.cs", "page_layout.cs", "lang_en.cs", "lang_cn.cs"})
        write_file(std::string("/var/www/") + f, read_file(std::string(WWW_SRC_DIR "/") + f));
    char sid[32] = {}, err[500] = {};
    ASSERT_EQ(imi_login("admin", "admin", "127.0.0.1", sid, err), 0) << err;

    table added = kBase, removed = {kBase[2]};
    added.push_back(kNew);
    std::sort(added.begin(), added.end());
    const request requests[] = {
        {"add", PAGE_BIN, "POST", "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10", added},
        {"remove", kListBin, "POST", "operate=delete&sel=00e0.fc0a.0001+eth-0-1+10&sel=00e0.fc0a.0002+agg1+10", removed},
        {"form", PAGE_BIN, "GET", "", kBase},
        {"list", kListBin, "GET", "", kBase},
    };

    sweep s(sid);
    syslog_catcher audit;
    ASSERT_TRUE(audit.ok()) << "no /dev/log of the sandbox's own";
    // Clean runs through the same preloads: every request does its work, and
    // the form's ports are what a faulted form must offer in full.
    for (const request &q : requests) {
        s.restore_base();
        ASSERT_EQ(s.known_, kBase) << "the simulated switch does not take the base table";
        proc_result r = s.run_page(q, "none", "0", 0);
        if (std::string(q.name) == "form")
            s.ports_ = attr_values(r.out, "<option value=\"", "id=\"intf_name\"", "</select>");
        auto [k, problem] = s.judge(q, r, false);
        ASSERT_TRUE(k == SUCCESS && problem.empty()) << q.name << " fails without faults: " << r.out.substr(0, 400);
    }
    ASSERT_GE(s.ports_.size(), 2u);

    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::map<std::string, tally> tallies;
    for (const plan &p : kPlans) {
        tally &t = tallies[p.family];
        std::vector<std::pair<const char *, int>> columns = p.runs;
        if (p.stride)
            columns.push_back({"nth", kNthMax});
        for (const auto &[prob, runs] : columns)
            for (const request &q : requests)
                for (int i = 0; i < (std::string(prob) == "1" ? 1 : prob[0] == 'n' ? runs : runs * scale); ++i) {
                    std::string id = std::string(p.family) + "/" + prob + "/" + q.name + "/" + std::to_string(i);
                    if (!only.empty() && id != only && !(only.back() == '/' && id.rfind(only, 0) == 0))
                        continue;
                    std::uint64_t seed = run_seed(base_seed, id);
                    s.restore_base();
                    unlink(kLog.c_str());
                    long nth = prob[0] == 'n' ? static_cast<long>(i) * p.stride : -1;
                    audit.take();
                    proc_result r = s.run_page(q, p.family, prob, seed, nth);
                    std::vector<std::string> injected = split_lines(read_file(kLog));
                    if (nth >= 0 && injected.empty() && i > 0) {
                        s.known_ = s.read_table();
                        break;   // past the request's last call
                    }
                    std::string family = p.family;
                    auto [k, problem] = s.judge(q, r, family == "write" && !injected.empty());
                    std::vector<std::string> records = audit.take();
                    t.records += static_cast<int>(records.size());
                    if (std::string said = records_disagree(records, k, *q.body != '\0'); !said.empty())
                        problem += (problem.empty() ? "" : "; ") + said;
                    std::vector<std::string> left;
                    for (std::string dir : {"/tmp", "/var/run"})
                        for (const char *prefix : {"webcmd_", "webres_", "web_mac_static"})
                            for (const std::string &name : dir_entries(dir, prefix))
                                left.push_back(dir + "/" + name);
                    if (!left.empty() && !(family == "unlink" && !injected.empty()))
                        problem += (problem.empty() ? "" : "; ") + std::string("left behind: ") + left[0];
                    for (const std::string &path : left)
                        unlink(path.c_str());
                    if (waitpid(imi.pid(), nullptr, WNOHANG) != 0)
                        problem += " (the IMI stand-in is gone)";
                    ++t.runs;
                    t.injected += static_cast<int>(injected.size());
                    ++t.kinds[k];
                    if (verbose)
                        std::printf("%-26s %-8s %5ld ms, %zu faults: %.80s\n", id.c_str(), kKindNames[k],
                                    r.elapsed_ms, injected.size(), r.out.c_str());
                    if (problem.empty())
                        continue;
                    ++t.findings;
                    std::string faults;
                    for (std::size_t j = 0; j < injected.size() && j < 6; ++j)
                        faults += "\n    " + injected[j];
                    ADD_FAILURE() << id << ": " << problem << "\n  injected (" << injected.size() << "):" << faults
                                  << "\n  answer: " << r.out.substr(0, verbose ? std::string::npos : 300) << "\n  reproduce: FAULT_SWEEP_SEED="
                                  << base_seed << (scale > 1 ? " FAULT_SWEEP_SCALE=" + std::to_string(scale) : "")
                                  << " FAULT_SWEEP_ONLY=" << id << " FAULT_SWEEP_VERBOSE=1 " SOURCE_DIR
                                     "/scripts/sandbox.sh --keep " BINARY_DIR " --keep " SOURCE_DIR " " << self;
                    if (waitpid(imi.pid(), nullptr, WNOHANG) != 0)
                        FAIL() << "sweep stopped: no IMI to ask";
                }
    }
    long secs = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();

    std::printf("\nfault sweep, seed %llu, scale %d, %ld s\n%-10s %5s %8s", static_cast<unsigned long long>(base_seed),
                scale, secs, "family", "runs", "injected");
    for (const char *name : kKindNames)
        std::printf(" %8s", name);
    std::printf(" %8s %8s\n", "records", "findings");
    for (const plan &p : kPlans) {
        const tally &t = tallies[p.family];
        std::printf("%-10s %5d %8d", p.family, t.runs, t.injected);
        for (int c : t.kinds)
            std::printf(" %8d", c);
        std::printf(" %8d %8d\n", t.records, t.findings);
        // The pages make calls of every family: none failing means the
        // faults never reach them.
        if (only.empty()) {
            EXPECT_GT(t.injected, 0) << p.family << ": no fault reached the pages";
        }
    }
}
