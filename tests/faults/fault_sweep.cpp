// Fault sweep: each request of the static MAC pages runs on the simulated
// switch while one family of C library calls fails (seeded) in the page, or
// the imish it starts fails (kStub); its answer and each audit record are
// held against the table afterwards. A page may fail, but never claim a
// change it did not make nor deny one it made (judge, records_disagree).
//   FAULT_SWEEP_SEED   base seed (fixed by default: CI runs the same runs)
//   FAULT_SWEEP_SCALE  runs per case times this (probability 1 runs once)
//   FAULT_SWEEP_ONLY   one run, "family/probability/request/index", or those
//                      under a prefix ending in "/" ("malloc/"); probability
//                      "nth" fails the index-th call (or imish fault),
//                      "gone", "deaf", "full" are states of /dev/log
//   FAULT_SWEEP_VERBOSE=1  prints every run, and a finding's whole answer
#include "fault_mix.h"
#include "imi_client.h"
#include "imi_daemon.h"
#include "syslog_catcher.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using table = std::vector<std::string>;   // sorted "mac port vlan" rows
using lines = std::vector<std::string>;
constexpr auto npos = std::string::npos;

// The page finds the sweep's imish first: the stand-in, faulted on request.
const std::string kStubDir = "/tmp/sweep/bin";
const std::string kPath = kStubDir + ":" SIM_BIN_DIR ":/usr/bin:/bin";
const std::string kLog = "/tmp/sweep/fault.log";
const std::string kCalls = "/tmp/sweep/imish.calls";   // "show" or "config" per imish run
const char *kListBin = SIM_BIN_DIR "/../page/web_mac_static.cgi";
constexpr long kLimitMs = 30000;

// The imish the page starts: the stand-in, or on the runs (0, 1, ...) whose
// letter in IMISH_FAULTS is not "." a faulty one, as its case below says (s:
// it stops at its first refused command, as some CLIs do), each fault logged
// to FAULT_LOG as "imish/<letter> <run>". IMISH_PLANT set: after its run it
// leaves a directory tree where the page's pid file was, the only way the
// sweep has to make the page's clean-up remove a tree (openat, unlinkat).
const std::string kStub = "#!/bin/sh\ncalls=" + kCalls + "\nreal=" SIM_BIN_DIR "/imish" + R"sh(
out=/tmp/sweep/imish.out n=0 mode=config f=${IMISH_FAULTS:-}
[ -f $calls ] && while read -r _; do n=$((n + 1)) f=${f#?}; done <$calls
for a; do [ "$a" = -w ] && mode=show; done
echo $mode >>$calls
v=${f%"${f#?}"}
[ "${v:-.}" = . ] || echo "imish/$v $n" >>"$FAULT_LOG"
half() { "$real" "$@" >$out; s=$(wc -c <$out); head -c $((s / 2)) $out; rm -f $out; }
case "$v" in
e) echo "imish: no connection to the switch" >&2; exit 1 ;;
s) SIM_IMISH_STOP_AT_ERROR=1 exec "$real" "$@" ;;
E) "$real" "$@" >/dev/null; echo "imish: answer lost" >&2; exit 1 ;;
f) exec "$real" "$@" >/dev/full ;;
p) half "$@"; exit 1 ;;
k) kill -KILL $$ ;;
K) "$real" "$@"; kill -KILL $$ ;;
h) half "$@"; kill -KILL $$ ;;
esac
[ -n "${IMISH_PLANT:-}" ] || exec "$real" "$@"
"$real" "$@"; rc=$?
for p in /var/run/web_mac_static*.pid; do [ -f "$p" ] && rm -f "$p" && mkdir -p "$p/sub" && : >"$p/file" && : >"$p/sub/file"; done
exit $rc
)sh";

enum kind { SUCCESS, FAILURE, UNKNOWN, LOGIN, ERROR_500, EMPTY, KINDS };
const char *const kKindNames[KINDS] = {"success", "failure", "unknown", "login", "500", "empty"};

struct request {
    std::string name;
    const char *bin;
    std::string body;                // none: a GET
    table entries;                   // what a POST asks for, "mac port vlan", the MAC in lower case
    table after;                     // the table once the request has done all it can
    kind clean;                      // its answer without faults
    const char *query = "";          // after the session's own
    bool post() const { return !body.empty(); }
    // Its records' action: a batch's entries are adds.
    std::string action() const { return name == "remove" || name == "pin" || name == "move" ? name : "add"; }
};

// The switch before every run: the removal takes A and B (B asked for in
// upper case) and is refused the absent X, the add puts N, the batch all but
// its middle line (no VLAN 40). Beside them it has learned kLearned entries:
// a pin makes them static, and a move takes C to eth-0-5 (both built once
// the listing has vouched for what they name, pin_and_move).
const table kBase = {"00e0.fc0a.0001 eth-0-1 10", "00e0.fc0a.0002 agg1 10", "00e0.fc0a.0003 eth-0-2 1"};
const std::string kNew = "00e0.fc0a.b1c2 eth-0-1 10", kAbsent = "00e0.fc0a.0009 eth-0-1 10";
const table kBatch = {"00e0.fc0a.0011 eth-0-1 10", "00e0.fc0a.0012 eth-0-1 40", "00e0.fc0a.0013 agg1 1"};
const request kRequests[] = {
    {"add", PAGE_BIN, "addr0=00e0&addr1=fc0a&addr2=b1c2&intf_name=eth-0-1&vlan=10", {kNew},
     {kBase[0], kBase[1], kBase[2], kNew}, SUCCESS},
    {"remove", kListBin,
     "operate=delete&sel=00e0.fc0a.0001+eth-0-1+10&sel=00E0.FC0A.0002+agg1+10&sel=00e0.fc0a.0009+eth-0-1+10",
     {kBase[0], kBase[1], kAbsent}, {kBase[2]}, FAILURE},
    {"batch", PAGE_BIN,
     "operate=add_many&entries=00e0.fc0a.0011%2C10%2Ceth-0-1%0A00e0.fc0a.0012%2C40%2Ceth-0-1%0A00E0.FC0A.0013%2C1%2Cagg1",
     kBatch, {kBase[0], kBase[1], kBase[2], kBatch[0], kBatch[2]}, SUCCESS},
    {"form", PAGE_BIN, "", {}, kBase, SUCCESS},
    {"list", kListBin, "", {}, kBase, SUCCESS},
    {"export", kListBin, "", {}, kBase, SUCCESS, "&format=csv"},
};
const char *const kLearned = "2";
const std::string kMoved = "00e0.fc0a.0003 eth-0-5 1";

// Each family fails at random, then call by call: the first call alone, the
// second alone, and so on (every stride-th call) until none is left. An imish
// family faults imish runs with its letters: at random, then run by run and
// letter by letter. The syslog family also runs with no /dev/log ("gone"), a
// socket file nobody is bound to ("deaf"), and a daemon that stopped reading,
// its queue full ("full"): a record that waited would hold the page too long.
using columns = std::vector<std::pair<std::string, int>>;   // probability, runs per request
struct plan {
    const char *family;
    columns runs;
    int stride = 1;                // the nth column's: every stride-th call
    const char *imish = nullptr;   // the stub's letters for an imish family
};
const std::pair<std::string, int> kNth = {"nth", 48};
constexpr std::size_t kImishRunsMax = 4;   // a request starts imish twice; room to spare
const columns kStandard = {{"0.05", 5}, {"0.2", 5}, {"0.5", 3}, {"1", 1}, kNth},
              kFew = {{"0.2", 3}, {"0.5", 2}, {"1", 1}, kNth}, kImish = {{"0.2", 3}, {"0.5", 5}, {"1", 1}, kNth};
// ClearSilver allocates some hundred times per request, a listing a
// thousand. A failed connect costs the page a second's sleep, up to five times.
const plan kPlans[] = {
    {"open", kStandard}, {"close", kStandard}, {"read", kStandard}, {"write", kStandard},
    {"unlink", kStandard}, {"connect", {{"0.2", 2}, {"0.5", 1}, {"1", 1}, kNth}}, {"send", kStandard},
    {"recv", kStandard}, {"poll", kStandard}, {"malloc", {{"0.001", 5}, {"0.005", 5}, {"0.02", 3}, {"1", 1}, kNth}, 25},
    {"spawn", kStandard}, {"wait", {{"0.2", 2}, {"0.5", 2}}}, {"kill", {{"0.5", 1}, {"1", 1}, kNth}},
    {"ftruncate", kStandard}, {"mkstemp", kFew}, {"stat", kStandard}, {"flock", {{"0.5", 2}, {"1", 1}, kNth}},
    {"dirat", kFew}, {"statvfs", kFew},
    {"syslog", {{"0.2", 3}, {"0.5", 2}, {"1", 1}, {"gone", 1}, {"deaf", 1}, {"full", 1}, kNth}},
    {"imish-exit", kImish, 1, "eEs"}, {"imish-write", kImish, 1, "fp"}, {"imish-kill", kImish, 1, "kKh"},
};

// What a run's answer says, and what is wrong with the run (empty: nothing).
struct verdict {
    kind k = EMPTY;
    std::string errid;   // an error redirect's error id, as its URL carries it
    std::string problem;   // of the answer, then of its records and left-overs
    std::map<std::string, std::string> shown;   // a batch's rows: "mac port vlan" to its class
    // A removal the CLI refused in part: the answer names one entry, the
    // records tell of each, and the others are gone.
    bool partial = false;
};

// The page's own error ids; any other is the CLI's own error line
// ("%cli_refused" one that says nothing more). The first four refuse a
// request before it gets to the CLI.
const std::set<std::string> kBeforeCli = {"invalid_parameter", "error_no_privilege", "error_prog_busy",
                                          "error_too_many_entries"};
const std::set<std::string> kPageErrids = {"%25configure_mode_inuse", "%25cli_unavailable", "%25cli_timeout",
                                           "%25cli_no_answer", "%25cli_not_applied", "error_batch_unshown"};

bool is_cli_text(const std::string &errid)
{
    return !errid.empty() && kBeforeCli.count(errid) == 0 && kPageErrids.count(errid) == 0;
}

bool has(const table &t, const std::string &row)
{
    return std::find(t.begin(), t.end(), row) != t.end();
}

const char *env_or(const char *name, const char *def)
{
    const char *v = std::getenv(name);
    return v && *v ? v : def;
}

lines split_lines(const std::string &text)
{
    lines v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        v.push_back(line);
    return v;
}

// The text in s from after `open` to before `close`, the first open at or
// past from; "" when there is none.
std::string between(const std::string &s, const std::string &open, char close, std::size_t from = 0)
{
    std::size_t at = s.find(open, from);
    return at == npos ? "" : s.substr(at + open.size(), s.find(close, at + open.size()) - at - open.size());
}

// The values of every `attr="` after from and before to, sorted.
table attr_values(const std::string &html, const std::string &attr, const std::string &from, const std::string &to)
{
    table v;
    std::size_t at = html.find(from), end = html.find(to, at == npos ? 0 : at);
    for (; at != npos && (at = html.find(attr, at)) < end; ++at)
        v.push_back(between(html, attr, '"', at));
    std::sort(v.begin(), v.end());
    return v;
}

// What the audit records of a run say against the table after it and its
// answer; empty when they agree. A record tells what became of its entry:
// "ok" only for an entry that changed, "refused" and "failed" only for one
// that did not. A request the page refused or failed before any entry went
// to the CLI has one record without an entry. Unless a fault could drop
// records (due false), a POST that ran its commands or was answered (but
// busy) leaves one, and one per entry once it got to the CLI: it ran, or its
// answer comes from that step.
std::string records_disagree(const request &q, const lines &records, const verdict &v, const table &now, bool due,
                             bool config_ran)
{
    const bool removal = q.name == "remove", batch = q.name == "batch" || q.name == "pin";
    std::map<std::string, int> seen;
    int requests = 0;
    for (const std::string &r : records) {
        const std::string result = between(r, " result=", ' '), mac = between(r, " mac=\"", '"');
        // A removal's MAC is recorded in lower case, however it was asked for.
        const std::string row = mac + " " + between(r, " intf=\"", '"') + " " + between(r, " vlan=\"", '"');
        // Read back from the table, a removal is done when the table no
        // longer holds the entry, whether or not it ever did.
        const bool whole = mac.empty(), refused = result == "refused" || result == "failed",
                   changed = removal ? has(kBase, row) && !has(now, row) : has(now, row),
                   read_back = r.find(" known=table") != npos,
                   done = changed || (removal && read_back && !has(now, row));
        requests += whole;
        const int copies = whole ? 0 : ++seen[row];
        // What the answer told of the entry: its row in a batch's, else the
        // answer's kind (but for a removal the CLI refused in part).
        const std::string says = result == "ok" ? "added" : result == "unknown" ? "unknown" : "refused",
                          told = batch ? (v.shown.count(row) ? v.shown.at(row) : "")
                                 : v.partial ? ""
                                 : v.k == SUCCESS ? "added" : v.k == UNKNOWN ? "unknown" : v.k == FAILURE ? "refused" : "";
        const std::pair<bool, std::string> wrong[] = {
            {!q.post(), "a GET was recorded"},
            {r.find(" user=\"admin\" ") == npos, "record without the session's user"},
            // A request refused before its body was read is its page's own
            // action: what it asked for is not known.
            {r.find(" action=" + q.action() + " ") == npos &&
                 !(whole && r.find(std::string(" action=") + (q.bin == kListBin ? "remove " : "add ")) != npos),
             "record of another action"},
            {whole && !refused, "record of the whole request says result=" + result},
            {whole && now != kBase, "record of the whole request, table changed"},
            {!whole && !has(q.entries, row), "record of an entry not asked for"},
            {copies > 1, "second record of an entry"},
            {!whole && !r.ends_with(read_back ? " known=table" : " known=cli"),
             "record does not end by saying how its outcome was known"},
            {!whole && (result == "ok" ? !done : refused ? changed : result != "unknown"),
             "record disagrees with the table"},
            {!whole && !told.empty() && told != says, "record disagrees with the answer (" + told + ")"},
        };
        for (const auto &[bad, what] : wrong)
            if (bad)
                return what + ": " + r;
    }
    if (requests > 1 || (requests > 0 && !seen.empty()))
        return "records of the whole request beside or after others";
    due = due && q.post() &&
          (config_ran || v.k == SUCCESS || ((v.k == FAILURE || v.k == UNKNOWN) && v.errid != "error_prog_busy"));
    if (due && records.empty())
        return "answered without a record";
    for (const std::string &row : q.entries)
        if (due && requests == 0 && (config_ran || kBeforeCli.count(v.errid) == 0) && seen.count(row) == 0)
            return "no record of " + row;
    return "";
}

// The imish faults of a run (IMISH_FAULTS): one letter per imish run.
std::string imish_faults(const char *letters, const std::string &prob, int index, std::uint64_t seed)
{
    std::string faults(kImishRunsMax, '.');
    std::size_t kinds = std::strlen(letters), i = static_cast<std::size_t>(index);
    for (std::size_t run = 0; run < faults.size(); ++run)
        if (prob == "nth")
            faults[run] = run == i / kinds ? letters[i % kinds] : '.';
        else if (static_cast<double>(mix(seed + 2 * run) >> 11) * 0x1.0p-53 < std::atof(prob.c_str()))
            faults[run] = letters[mix(seed + 2 * run + 1) % kinds];
    return faults;
}

// One run: its answer and what it says, its faults, its records (less their lost= counts).
struct run_result {
    proc_result r;
    verdict v;
    lines injected, records;
    int lost = 0;
};

// The simulated switch's IMI, the session, the syslog catcher, and the runs on them.
struct sweep {
    imi_daemon imi_;
    std::string sid_;
    syslog_catcher audit_;
    table known_, ports_;
    bool drops_possible_ = false;   // whether a record could have been dropped yet

    bool imi_gone() const { return waitpid(imi_.pid(), nullptr, WNOHANG) != 0; }

    // The switch's table, read with imish run directly, clean.
    table read_table()
    {
        proc_result r = imish("show mac address-table static\n", true);
        EXPECT_EQ(r.status, 0) << "the imish stand-in cannot show its table: " << r.out << r.err;
        table t;
        lines shown = split_lines(r.out);
        for (std::size_t i = 6; i < shown.size(); ++i) {
            char vlan[64], mac[64], type[64], port[64];
            if (std::sscanf(shown[i].c_str(), "%63s %63s %63s %63s", vlan, mac, type, port) == 4)
                t.push_back(std::string(mac) + " " + port + " " + vlan);
        }
        std::sort(t.begin(), t.end());
        return t;
    }

    // The switch as kBase.
    void restore_base()
    {
        if (known_ == kBase)
            return;
        run_process({SIM_BIN_DIR "/imish", "--reset"}, {"PATH=" + kPath});
        imish("mac-address-table 00e0.fc0a.0001 forward eth-0-1 vlan 10\n"
              "mac-address-table 00e0.fc0a.0002 forward agg1 vlan 10\n"
              "mac-address-table 00e0.fc0a.0003 forward eth-0-2 vlan 1\n", false);
        run_process({SIM_BIN_DIR "/imish", "--learn", kLearned, "7"}, {"PATH=" + kPath});
        known_ = read_table();
        ASSERT_EQ(known_, kBase) << "the simulated switch does not take the base table";
    }

    // The pin of every learned entry and the move of C, as the listing's
    // selections and edit link give them to this session, vouchers and all.
    void pin_and_move(std::vector<request> &requests)
    {
        run_result all;
        ASSERT_NO_FATAL_FAILURE(run({"none", {}}, "0", {"all", kListBin, "", {}, kBase, SUCCESS, "&type=all"}, 0, 0, all));
        const std::string &html = all.r.out;
        request pin = {"pin", kListBin, "operate=pin", {}, {}, SUCCESS},
                move = {"move", PAGE_BIN, "operate=move&move=", {kMoved}, {kBase[0], kBase[1], kMoved}, SUCCESS};
        const std::string row = "<tr class=\"dynamic\"><td><input type=\"checkbox\" name=\"sel\" value=\"";
        for (std::size_t at = 0; (at = html.find(row, at)) != npos;) {
            std::string value = between(html, "value=\"", '"', at++);   // "mac port vlan voucher"
            pin.entries.push_back(value.substr(0, value.rfind(' ')));
            std::replace(value.begin(), value.end(), ' ', '+');
            pin.body += "&sel=" + value;
        }
        move.body += between(html, "&amp;move=", '"', html.find("&amp;move=00e0.fc0a.0003+")) + "&intf_name=eth-0-5";
        std::ranges::sort(pin.entries);
        std::ranges::merge(kBase, pin.entries, std::back_inserter(pin.after));
        EXPECT_EQ(pin.entries.size(), std::size_t(std::atoi(kLearned))) << html.substr(0, 400);
        requests.insert(requests.end(), {pin, move});
    }

    // Runs q with family p failing at prob (the index-th run of its case).
    void run(const plan &p, const std::string &prob, const request &q, int index, std::uint64_t seed, run_result &o)
    {
        const std::string family = p.family;
        // /dev/log missing, deaf or full, imish faulted: the page's calls run clean.
        const bool devlog = prob == "gone" || prob == "deaf" || prob == "full", clean_page = devlog || p.imish;
        ASSERT_NO_FATAL_FAILURE(restore_base());
        write_file(kLog, devlog ? "dev/log " + prob + "\n" : "");   // a /dev/log state is the run's one fault
        unlink(kCalls.c_str());
        std::string query = "sessionId=" + sid_ + "&lang=en" + q.query, page = std::strrchr(q.bin, '/') + 1;
        lines env = {"PATH=" + kPath, "GATEWAY_INTERFACE=CGI/1.1", "QUERY_STRING=" + query,
                     std::string("REQUEST_METHOD=") + (q.post() ? "POST" : "GET"),
                     "REQUEST_URI=/" + page + "?" + query, "SCRIPT_NAME=/" + page, "REMOTE_ADDR=127.0.0.1",
                     "LD_PRELOAD=" FAULT_PRELOAD ":" FIU_POSIX_PRELOAD, "FAULT_LOG=" + kLog,
                     "FAULT_FAMILY=" + (clean_page ? "none" : family), "FAULT_PROB=" + (clean_page ? "0" : prob),
                     "FAULT_SEED=" + std::to_string(seed),
                     "FAULT_NTH=" + std::to_string(prob == "nth" && !p.imish ? index * p.stride : -1),
                     "IMISH_FAULTS=" + (p.imish ? imish_faults(p.imish, prob, index, seed) : ""),
                     std::string("IMISH_PLANT=") + (family == "dirat" ? "1" : "")};
        if (q.post())
            env.insert(env.end(), {"CONTENT_TYPE=application/x-www-form-urlencoded",
                                   "CONTENT_LENGTH=" + std::to_string(q.body.size())});
        audit_.take();
        drops_possible_ = drops_possible_ || family == "syslog";
        ASSERT_TRUE(prob != "full" || audit_.fill()) << "/dev/log cannot be filled";
        if (prob == "gone" || prob == "deaf")   // the catcher's socket, out of the page's way
            std::filesystem::rename("/dev/log", "/dev/log.kept");
        // deaf: a socket file nobody is bound to, so connect is refused
        EXPECT_TRUE(prob != "deaf" || mknod("/dev/log", S_IFSOCK | 0666, 0) == 0);
        o.r = run_process({q.bin}, env, q.body, kLimitMs);
        if (prob == "gone" || prob == "deaf") {
            std::filesystem::remove("/dev/log");
            std::filesystem::rename("/dev/log.kept", "/dev/log");
        }
        o.injected = split_lines(read_file(kLog));
        const bool hit = !o.injected.empty();
        o.v = judge(q, o.r, family == "write" && hit, family == "malloc" && hit);
        o.records = audit_.take();
        auto note = [&](const std::string &what) {
            if (!what.empty())
                o.v.problem += (o.v.problem.empty() ? "" : "; ") + what;
        };
        // The count of records dropped before, at a record's end (past its
        // last quoted value), set aside for the checks.
        for (std::string &rec : o.records)
            if (std::size_t at = rec.rfind(" lost="); at != npos && at > rec.rfind('"')) {
                const std::string n = rec.substr(at + 6);
                if (n.empty() || n[0] == '0' || n.find_first_not_of("0123456789") != npos || !drops_possible_)
                    note("a count of lost records malformed, or where none could be lost: " + rec);
                o.lost += std::atoi(n.c_str());
                rec.erase(at);
            }
        // Records are lost with the process (malloc) or in their sending.
        note(records_disagree(q, o.records, o.v, known_, family != "malloc" && family != "syslog",
                              read_file(kCalls).find("config") != npos));
        // Left on purpose: what the fault kept the page from removing (unlink,
        // dirat), a scratch file it could not tell for its own (stat), a pid
        // file it could not lock (another instance's, for all it knows).
        const bool may_leave = hit && (family == "unlink" || family == "dirat" || family == "stat"),
                   may_leave_pid = may_leave || (hit && family == "flock");
        for (std::string dir : {"/tmp", "/var/run"})
            for (const char *prefix : {"webcmd_", "webres_", "web_mac_static"})
                for (const std::string &name : dir_entries(dir, prefix)) {
                    std::filesystem::remove_all(dir + "/" + name);
                    if (!may_leave && !(may_leave_pid && dir == "/var/run"))
                        note("left behind: " + dir + "/" + name);
                }
        if (imi_gone())
            o.v.problem += " (the IMI stand-in is gone)";
    }

    // imish run directly, clean, on cmds; show: in its read-only mode.
    static proc_result imish(const std::string &cmds, bool show)
    {
        write_file("/tmp/sweep/cmds", cmds);
        return run_process({SIM_BIN_DIR "/imish", show ? "-w" : "-y", "-f", "/tmp/sweep/cmds"}, {"PATH=" + kPath});
    }

    // What q's answer r says, and what is wrong with it. write_fault: it may
    // be cut anywhere; out_of_memory: the page may have ended without one,
    // after its change too.
    verdict judge(const request &q, const proc_result &r, bool write_fault, bool out_of_memory)
    {
        const table now = known_ = read_table();
        const bool changed = now != kBase, removal = q.name == "remove";
        // States the run may leave: before, after, or part-way (a removal
        // or a batch the CLI stopped in): never an entry not asked for.
        const table &lower = removal ? q.after : kBase, &upper = removal ? kBase : q.after;
        if (r.timed_out || r.term_signal)
            return {EMPTY, "", r.timed_out ? "no end within 30 s" : "ended by signal " + std::to_string(r.term_signal), {}};
        // A move leaves the entry where it was or where it was to go, never
        // both, never neither (the stand-in switch sets its interface anew).
        if (q.name == "move" ? now != kBase && now != q.after
                             : !std::ranges::includes(upper, now) || !std::ranges::includes(now, lower))
            return {EMPTY, "", "table is neither as before nor as after the request", {}};

        verdict v;
        const std::string &out = r.out, removed = "&order=asc&per_page=50&page=1&removed=";   // where a removal returns
        const std::string login = out.rfind("Not okay: ", 0) == 0 ? out.substr(out.find("\r\n") + 2) : out;
        const std::size_t blank = out.find("\r\n\r\n");
        const std::string head = blank == npos ? "" : "\r\n" + out.substr(0, blank + 2),
                          body = blank == npos ? "" : out.substr(blank + 4),
                          rdr = between(head, "\r\nLocation: web_error.cgi?sessionId=" + sid_ + "&lang=en&errid=", '\r');
        const bool html = head.find("\r\nContent-Type: text/html; charset=utf-8\r\n") != npos;
        bool may_change = false;   // besides success and unknown: what the answer leaves open
        if (q.post() && out == redirect("web_mac_static.cgi?sessionId=" + sid_ + "&lang=en" +
                                        (removal ? removed + std::to_string(q.entries.size()) : ""))) {
            v.k = SUCCESS;
            // An absent entry reads as removed only from the table, which
            // its record must say (records_disagree).
            if (now != q.after)
                v.problem = "success answered, table not as the request leaves it";
        } else if (std::size_t at = rdr.find("&rdrpage="); at != npos) {
            v.errid = rdr.substr(0, at);
            // A POST's error page leads back to where the request came from
            // (busy: to the request itself; the listing's and a move's: to
            // the listing's view).
            const std::string listing_back = "web_mac_static.cgi%3FsessionId%3D" + sid_ + "%26lang%3Den" +
                                             (q.bin == kListBin ? "%26order%3Dasc%26per_page%3D50%26page%3D1" : "");
            const std::string back = !q.post() || v.errid == "error_prog_busy" ? rdr.substr(at + 9)
                                     : q.bin == kListBin || q.name == "move" ? listing_back : "web_mac_static_add.cgi%3F";
            const bool doubt = v.errid == "%25cli_timeout" || v.errid == "%25cli_no_answer" || v.errid == "error_batch_unshown";
            v.k = doubt ? UNKNOWN : FAILURE;
            v.partial = removal && v.k == FAILURE && (is_cli_text(v.errid) || v.errid == "%25cli_not_applied");
            // A move whose body could not be read leads back to the add page.
            if (out != error_redirect(sid_, "en", v.errid, back) &&
                !(q.name == "move" && out == error_redirect(sid_, "en", v.errid, "web_mac_static_add.cgi%3F")))
                v.problem = "malformed error redirect";
        } else if (login == login_timeout_page("en") || out.rfind("Status: 500", 0) == 0) {
            v.k = login == login_timeout_page("en") ? LOGIN : ERROR_500;
        } else if (q.name == "export" && head.rfind("\r\nContent-Type: text/csv; charset=utf-8\r\n", 0) == 0) {
            // An export is the whole table, or none at all: its header, then a line a row in any order.
            v.k = SUCCESS;
            lines csv = split_lines(body), want = {"mac,vlan,interface\r"};
            for (const std::string &row : now)
                want.push_back(std::regex_replace(row, std::regex("(\\S+) (\\S+) (\\S+)"), "$1,$3,$2\r"));
            if (!write_fault && (csv.empty() || csv[0] != want[0] || !std::ranges::is_permutation(csv, want)))
                v.problem = "export differs from the table";
        } else if (q.name == "move" && html && body.find("id=\"move_result\"") != npos) {
            // Not moved, or not known: the page says where the table holds it.
            const std::string result = between(body, "id=\"move_result\" class=\"warn ", '"');
            v.k = result == "unknown" ? UNKNOWN : FAILURE;
            if (result != "unknown" && result != "refused" && result != "restored")
                v.problem = "a move answered " + result + " on a switch that never loses an entry";
        } else if ((q.name == "batch" || q.name == "pin") && html && body.find("</html>") != npos) {
            // Each row's outcome against the table; a page that could not
            // hold its rows warns instead.
            v.k = out.find("id=\"cli_failed\"") != npos ? FAILURE : SUCCESS;
            may_change = true;
            for (std::size_t at = body.find("<tbody>"); (at = body.find("<tr class=\"", at)) != npos;) {
                const std::string cls = between(body, "<tr class=\"", '"', at++),
                                  row = between(body, "<td class=\"mac\">", '<', at) + " " +
                                        between(body, "<td class=\"intf\">", '<', at) + " " +
                                        between(body, "<td class=\"vlan\">", '<', at);
                v.shown[row] = cls;
                if ((cls == "added" && !has(now, row)) || (cls == "refused" && has(now, row) && !has(kBase, row)) ||
                    (cls != "added" && cls != "refused" && cls != "unknown"))
                    v.problem = "batch row " + cls + " disagrees with the table: " + row;
            }
            if (v.k == SUCCESS && v.shown.size() != q.entries.size() && !write_fault)
                v.problem = "batch answer without a row for each line";
        } else if (!q.post() && html && body.find("<!DOCTYPE html>") == body.find_first_not_of(" \r\n") &&
                   body.find_first_not_of(" \r\n", body.find("</html>") + 7) == npos) {
            // A page that warns of a failed CLI run may show less. The first
            // form, the clean run's, offers the ports every other must.
            v.k = out.find("id=\"cli_failed\"") != npos ? FAILURE : SUCCESS;
            const table offered = attr_values(out, "<option value=\"", "id=\"intf_name\"", "</select>");
            if (q.name == "form" && ports_.empty())
                ports_ = offered;
            if (v.k == SUCCESS && q.name == "list" && attr_values(out, "name=\"sel\" value=\"", "<tbody>", "</tbody>") != now)
                v.problem = "listing without warning differs from the table";
            if (v.k == SUCCESS && q.name == "form" && offered != ports_)
                v.problem = "form without warning offers other ports than a clean run";
        } else if (!out.empty() && !write_fault) {
            v.problem = "unexpected answer";
        } else {   // an answer cut short by a failed write is none at all
            may_change = write_fault || out_of_memory;
        }
        if (changed && v.problem.empty() && v.k != SUCCESS && v.k != UNKNOWN && !may_change && !v.partial)
            v.problem = kKindNames[v.k] + std::string(" answered") + (v.errid.empty() ? "" : " (" + v.errid + ")") +
                        ", table changed";
        return v;
    }
};

} // namespace

TEST(FaultSweep, EveryInjectedFaultEndsInATruthfulAnswer)
{
    const std::uint64_t base_seed = std::strtoull(env_or("FAULT_SWEEP_SEED", "20261206"), nullptr, 10);
    const int scale = std::max(1, std::atoi(env_or("FAULT_SWEEP_SCALE", "1")));
    const std::string only = env_or("FAULT_SWEEP_ONLY", ""), self = std::filesystem::read_symlink("/proc/self/exe");
    const bool verbose = std::string(env_or("FAULT_SWEEP_VERBOSE", "")) == "1";

    sweep s;
    ASSERT_TRUE(s.imi_.ok());
    ASSERT_TRUE(s.audit_.ok()) << "no /dev/log of the sandbox's own";
    std::filesystem::create_directories(kStubDir);
    write_file(kStubDir + "/imish", kStub, 0755);
    std::filesystem::copy(WWW_SRC_DIR, "/var/www", std::filesystem::copy_options::overwrite_existing |
                                                       std::filesystem::copy_options::recursive);
    char sid[32] = {}, err[500] = {};
    ASSERT_EQ(imi_login("admin", "admin", "127.0.0.1", sid, err), 0) << err;
    s.sid_ = sid;

    std::vector<request> requests(std::begin(kRequests), std::end(kRequests));
    ASSERT_NO_FATAL_FAILURE(s.pin_and_move(requests));
    // Clean runs through the same preloads and imish: every request does its
    // work (the removal all it can), and the form's ports are what a faulted
    // form must offer in full.
    for (const request &q : requests) {
        run_result o;
        ASSERT_NO_FATAL_FAILURE(s.run({"none", {}}, "0", q, 0, 0, o));
        ASSERT_TRUE(o.v.k == q.clean && o.v.problem.empty() && s.known_ == q.after &&
                    (q.clean != FAILURE || is_cli_text(o.v.errid)))
            << q.name << " fails without faults: " << o.v.problem << "\n" << o.r.out.substr(0, 400);
    }
    ASSERT_GE(s.ports_.size(), 2u);

    std::printf("fault sweep, seed %llu, scale %d\n", static_cast<unsigned long long>(base_seed), scale);
    for (const plan &p : kPlans) {
        int runs = 0, injected = 0, lost = 0, found = 0, kinds[KINDS] = {};
        for (const auto &[prob, count] : p.runs) {
            const bool once = prob == "1" || prob == "gone" || prob == "deaf" || prob == "full";
            for (const request &q : requests)
                for (int i = 0; i < (prob == "nth" ? count : once ? 1 : count * scale); ++i) {
                    std::string id = std::string(p.family) + "/" + prob + "/" + q.name + "/" + std::to_string(i);
                    if (!only.empty() && id != only && !(only.back() == '/' && id.rfind(only, 0) == 0))
                        continue;
                    // The run's own seed: the base mixed with an FNV-1a hash of its id.
                    std::uint64_t seed = 1469598103934665603ULL;
                    for (unsigned char c : id)
                        seed = (seed ^ c) * 1099511628211ULL;
                    run_result o;
                    ASSERT_NO_FATAL_FAILURE(s.run(p, prob, q, i, mix(base_seed ^ seed), o));
                    if (prob == "nth" && o.injected.empty() && i > 0)
                        break;   // past the request's last call
                    ++runs, ++kinds[o.v.k], lost += o.lost, found += !o.v.problem.empty();
                    injected += static_cast<int>(o.injected.size());
                    if (verbose)
                        std::printf("%-28s %-8s %5ld ms, %zu faults: %.80s\n", id.c_str(), kKindNames[o.v.k],
                                    o.r.elapsed_ms, o.injected.size(), o.r.out.c_str());
                    if (o.v.problem.empty())
                        continue;
                    std::string said = id + ": " + o.v.problem;   // with the first faults, every record
                    for (std::size_t j = 0; j < o.injected.size() && j < 6; ++j)
                        said += "\n  fault " + o.injected[j];
                    for (const std::string &rec : o.records)
                        said += "\n  record " + rec;
                    ADD_FAILURE() << said << "\n  answer: " << o.r.out.substr(0, verbose ? npos : 300)
                                  << "\n  reproduce: FAULT_SWEEP_SEED=" << base_seed << " FAULT_SWEEP_SCALE=" << scale
                                  << " FAULT_SWEEP_ONLY=" << id << " FAULT_SWEEP_VERBOSE=1 " SOURCE_DIR
                                     "/scripts/sandbox.sh --keep " BINARY_DIR " --keep " SOURCE_DIR " " << self;
                    if (s.imi_gone())
                        FAIL() << "sweep stopped: no IMI to ask";
                }
        }
        std::printf("%-11s %5d runs %6d faults %4d lost %3d found:", p.family, runs, injected, lost, found);
        for (int k = 0; k < KINDS; ++k)
            std::printf(" %s %d", kKindNames[k], kinds[k]);
        std::printf("\n");
        // The pages make calls of every family, and start imish: none
        // failing means the faults never reach them.
        EXPECT_TRUE(!only.empty() || injected > 0) << p.family << ": no fault reached the pages";
        // The records a missing or stopped daemon cost are told by a later one.
        EXPECT_TRUE(!only.empty() || std::strcmp(p.family, "syslog") != 0 || lost > 0) << "lost records never told";
    }
}
