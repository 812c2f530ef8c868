// The imish command table and its handlers.
//
// A command is a fixed run of leading words and a handler that gets the words
// after them. The longest matching row wins, so "show mac address-table
// static vlan 10" reaches the "show mac address-table static" row with the
// arguments "vlan 10". A new command is one handler and one row.
#include "commands.h"

#include <cstdio>
#include <cstring>

#include "line_words.h"

namespace {

constexpr int CLI_MAX_WORDS = 32;

enum class cmd_kind {
    show,   // reads the state; allowed in both modes
    config, // changes the state; configuration mode only
};

struct cmd_args {
    char **word;
    int count;
};

using cmd_handler = void (*)(cli_session &s, const cmd_args &a);

struct cli_command {
    const char *words; // leading words, separated by single blanks
    cmd_kind kind;
    cmd_handler run;
};

// Arity checks shared by the handlers. Each reports its own error and
// returns false when the command must stop.
bool need_words(cli_session &s, const cmd_args &a, int n)
{
    if (a.count < n) {
        s.out.error("Incomplete command");
        return false;
    }
    if (a.count > n) {
        s.out.error("Unexpected word: %s", a.word[n]);
        return false;
    }
    return true;
}

bool expect_keyword(cli_session &s, const char *word, const char *keyword)
{
    if (std::strcmp(word, keyword) == 0)
        return true;
    s.out.error("Expected %s instead of %s", keyword, word);
    return false;
}

bool existing_vlan(cli_session &s, const char *text, int &vid)
{
    if (sw_parse_vlan(text, vid) != 0) {
        s.out.error("Invalid VLAN ID %s (range %d-%d)", text, SW_VLAN_MIN, SW_VLAN_MAX);
        return false;
    }
    if (!sw_has_vlan(s.st, vid)) {
        s.out.error("VLAN %d does not exist", vid);
        return false;
    }
    return true;
}

bool existing_port(cli_session &s, const char *name, int &port)
{
    port = sw_find_port(s.st, name);
    if (port < 0) {
        s.out.error("Interface %s does not exist", name);
        return false;
    }
    return true;
}

bool valid_mac(cli_session &s, const char *text, std::uint8_t addr[6])
{
    if (sw_parse_mac(text, addr) != 0) {
        s.out.error("Invalid MAC address %s", text);
        return false;
    }
    return true;
}

// show interface switchport
void show_switchport(cli_session &s, const cmd_args &a)
{
    if (!need_words(s, a, 0))
        return;
    for (int i = 0; i < s.st.port_count; ++i) {
        const sw_port &p = s.st.ports[i];
        int entries = 0;
        for (int m = 0; m < s.st.mac_count; ++m)
            entries += s.st.macs[m].port == i;
        // Readers find interfaces by the leading " Interface"; no other line
        // may start with it.
        s.out.line(" Interface name      : %s", p.name);
        s.out.line("   Port type         : %s", std::strncmp(p.name, "agg", 3) == 0 ? "aggregation" : "ethernet");
        s.out.line("   Switchport mode   : %s", p.mode == port_mode::trunk ? "trunk" : "access");
        s.out.line("   Default VLAN      : %u", p.pvid);
        s.out.line("   Static MAC entries: %d", entries);
        s.out.line("%s", "");
    }
}

// show mac address-table [static|dynamic] [vlan VID]: the static entries,
// the learned ones, or both in one table in key order.
enum class mac_kind { both, static_only, learned_only };

bool key_less(const sw_mac_entry &a, const sw_mac_entry &b)
{
    return a.vlan != b.vlan ? a.vlan < b.vlan : std::memcmp(a.addr, b.addr, sizeof a.addr) < 0;
}

void show_mac(cli_session &s, const cmd_args &a, mac_kind kind)
{
    int vid = 0; // 0: every VLAN
    if (a.count > 0) {
        if (!expect_keyword(s, a.word[0], "vlan") || !need_words(s, a, 2) ||
            !existing_vlan(s, a.word[1], vid))
            return;
    }
    const sw_mac_entry *tables[2] = {s.st.macs, s.st.learned};
    int counts[2] = {kind == mac_kind::learned_only ? 0 : s.st.mac_count,
                     kind == mac_kind::static_only ? 0 : s.st.learned_count};
    int shown = 0;
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < counts[t]; ++i)
            shown += vid == 0 || tables[t][i].vlan == vid;

    // Exactly six lines before the entries: the listing page skips that many.
    static constexpr const char *TITLE[] = {"MAC address table", "Static MAC address table",
                                            "Dynamic MAC address table"};
    const char *title = TITLE[static_cast<int>(kind)];
    s.out.line("%s", title);
    s.out.line("%.*s", static_cast<int>(std::strlen(title)), "==========================");
    s.out.line("Entries: %d", shown);
    s.out.line("%s", "");
    s.out.line("VLAN  MAC address     Type     Interface");
    s.out.line("----  --------------  -------  ---------");
    // Both tables are sorted by key and share none: a merge keeps the order.
    int at[2] = {0, 0};
    while (at[0] < counts[0] || at[1] < counts[1]) {
        const int t = at[1] == counts[1] || (at[0] < counts[0] && key_less(tables[0][at[0]], tables[1][at[1]])) ? 0 : 1;
        const sw_mac_entry &e = tables[t][at[t]++];
        if (vid != 0 && e.vlan != vid)
            continue;
        char mac[SW_MAC_TEXT_SIZE];
        sw_format_mac(e.addr, mac);
        s.out.line("%-4u  %-14s  %-7s  %s", e.vlan, mac, t == 0 ? "static" : "dynamic", s.st.ports[e.port].name);
    }
}

void show_mac_all(cli_session &s, const cmd_args &a) { show_mac(s, a, mac_kind::both); }
void show_mac_static(cli_session &s, const cmd_args &a) { show_mac(s, a, mac_kind::static_only); }
void show_mac_dynamic(cli_session &s, const cmd_args &a) { show_mac(s, a, mac_kind::learned_only); }

// mac-address-table MAC forward IFNAME vlan VID. A command that parses but
// cannot be carried out is refused in a line that names its entry, MAC and
// VLAN, as a removal's refusals do: in a file of many adds each refusal
// tells which one it answers.
void mac_add(cli_session &s, const cmd_args &a)
{
    std::uint8_t addr[6];
    int vid;
    if (!need_words(s, a, 5) || !expect_keyword(s, a.word[1], "forward") ||
        !expect_keyword(s, a.word[3], "vlan") || !valid_mac(s, a.word[0], addr))
        return;
    if (sw_parse_vlan(a.word[4], vid) != 0) {
        s.out.error("Invalid VLAN ID %s (range %d-%d)", a.word[4], SW_VLAN_MIN, SW_VLAN_MAX);
        return;
    }
    char mac[SW_MAC_TEXT_SIZE];
    sw_format_mac(addr, mac);
    static constexpr std::uint8_t zero[6] = {};
    int port = sw_find_port(s.st, a.word[2]);
    const char *why = nullptr;
    char reason[96];
    if (addr[0] & 1) {
        why = "multicast MAC address not allowed";
    } else if (std::memcmp(addr, zero, sizeof zero) == 0) {
        why = "all-zero MAC address not allowed";
    } else if (port < 0) {
        std::snprintf(reason, sizeof reason, "interface %s does not exist", a.word[2]);
        why = reason;
    } else if (!sw_has_vlan(s.st, vid)) {
        std::snprintf(reason, sizeof reason, "VLAN %d does not exist", vid);
        why = reason;
    } else if (sw_mac_set(s.st, vid, addr, port) == mac_set_result::full) {
        std::snprintf(reason, sizeof reason, "MAC address table is full (%d entries)", SW_MAX_MACS);
        why = reason;
    }
    if (why)
        s.out.error("Cannot add %s to VLAN %d: %s", mac, vid, why);
}

// no mac-address-table MAC [forward IFNAME] vlan VID. Like an add, a
// command that parses but cannot be carried out is refused in a line that
// names its entry, MAC and VLAN.
void mac_remove(cli_session &s, const cmd_args &a)
{
    std::uint8_t addr[6];
    int port = -1, vid;
    const bool with_port = a.count > 1 && std::strcmp(a.word[1], "forward") == 0;
    const int vlan_at = with_port ? 3 : 1;
    if (!need_words(s, a, vlan_at + 2) || !expect_keyword(s, a.word[vlan_at], "vlan") ||
        !valid_mac(s, a.word[0], addr))
        return;
    if (sw_parse_vlan(a.word[vlan_at + 1], vid) != 0) {
        s.out.error("Invalid VLAN ID %s (range %d-%d)", a.word[vlan_at + 1], SW_VLAN_MIN, SW_VLAN_MAX);
        return;
    }
    char mac[SW_MAC_TEXT_SIZE];
    sw_format_mac(addr, mac);
    if (with_port && (port = sw_find_port(s.st, a.word[2])) < 0) {
        s.out.error("Cannot remove %s from VLAN %d: interface %s does not exist", mac, vid, a.word[2]);
        return;
    }
    if (!sw_has_vlan(s.st, vid)) {
        s.out.error("Cannot remove %s from VLAN %d: VLAN %d does not exist", mac, vid, vid);
        return;
    }
    int at = sw_mac_find(s.st, vid, addr);
    int rc = sw_mac_remove(s.st, vid, addr, port);
    if (rc == -1)
        s.out.error("No static entry for %s in VLAN %d", mac, vid);
    else if (rc == -2)
        s.out.error("Static entry %s in VLAN %d is on %s, not %s", mac, vid,
                    s.st.ports[s.st.macs[at].port].name, a.word[2]);
}

// The status column: "admin down" (two words) for a port shut down.
const char *port_status_text(const sw_port &p)
{
    return !p.admin_up ? "admin down" : p.link_up ? "up" : "down";
}

// Negotiated values carry "a-"; without a link they are not known yet.
void port_duplex_text(const sw_port &p, char *out, std::size_t cap)
{
    const char *word = SW_DUPLEX_WORDS[p.duplex];
    if (std::strcmp(word, "auto") != 0)
        std::snprintf(out, cap, "%s", word);
    else
        std::snprintf(out, cap, "%s", p.admin_up && p.link_up ? "a-full" : "auto");
}

void port_speed_text(const sw_port &p, char *out, std::size_t cap)
{
    const char *word = SW_SPEED_WORDS[p.speed];
    if (std::strcmp(word, "auto") != 0)
        std::snprintf(out, cap, "%s", word);
    else if (p.admin_up && p.link_up)
        std::snprintf(out, cap, "a-%s", sw_media_10g(p.media) ? "10G" : "1000");
    else
        std::snprintf(out, cap, "auto");
}

// show interface status
void show_intf_status(cli_session &s, const cmd_args &a)
{
    if (!need_words(s, a, 0))
        return;
    s.out.line("%-15s %-10s %-7s %-7s %-7s %-12s %s", "Port", "Status", "Duplex", "Speed", "Mode",
               "Type", "Description");
    s.out.line("%-15s %-10s %-7s %-7s %-7s %-12s %s", "---------------", "----------", "-------",
               "-------", "-------", "------------", "-----------");
    for (int i = 0; i < s.st.port_count; ++i) {
        const sw_port &p = s.st.ports[i];
        char duplex[16], speed[16];
        port_duplex_text(p, duplex, sizeof duplex);
        port_speed_text(p, speed, sizeof speed);
        const char *mode = p.mode == port_mode::trunk ? "trunk" : "access";
        if (p.desc[0] == '\0')
            s.out.line("%-15s %-10s %-7s %-7s %-7s %s", p.name, port_status_text(p), duplex, speed,
                       mode, SW_MEDIA_WORDS[p.media]);
        else
            s.out.line("%-15s %-10s %-7s %-7s %-7s %-12s %s", p.name, port_status_text(p), duplex,
                       speed, mode, SW_MEDIA_WORDS[p.media], p.desc);
    }
}

// show qos
void show_qos(cli_session &s, const cmd_args &a)
{
    if (!need_words(s, a, 0))
        return;
    // Readers look for "Enable" anywhere: only the status line may hold it.
    s.out.line("QoS global settings");
    s.out.line("  Status           : %s", s.st.qos_enabled ? "Enabled" : "Disabled");
    s.out.line("  Queues per port  : %d", SW_QUEUES);
    s.out.line("  Scheduler        : DRR");
}

// show web qos interface IFNAME: port shaping, then per queue its shaping
// and its class with DRR weight.
void show_web_qos(cli_session &s, const cmd_args &a)
{
    int port;
    if (!need_words(s, a, 1) || !existing_port(s, a.word[0], port))
        return;
    const sw_port &p = s.st.ports[port];
    s.out.line("Interface %s queue settings", p.name);
    if (p.shape_rate != 0)
        s.out.line("shape average rate %u kbps", p.shape_rate);
    else
        s.out.line("Port shaping not configured");
    for (int q = 0; q < SW_QUEUES; ++q) {
        const sw_queue &qs = p.queues[q];
        if (qs.cir == 0 && qs.pir == 0)
            s.out.line("Queue %d none", q);
        else
            s.out.line("Queue %d shape with CIR %u kbps PIR %u kbps", q, qs.cir, qs.pir);
    }
    for (int q = 0; q < SW_QUEUES; ++q)
        s.out.line("Queue %d class %u DRR weight %u", q, p.queues[q].cls, p.queues[q].weight);
}

// show web qos policer interface IFNAME: one line per direction.
void show_web_policer(cli_session &s, const cmd_args &a)
{
    int port;
    if (!need_words(s, a, 1) || !existing_port(s, a.word[0], port))
        return;
    const sw_port &p = s.st.ports[port];
    s.out.line("Interface %s policer", p.name);
    static constexpr const char *DIRECTION[SW_POLICER_DIRS] = {"Input", "Output"};
    for (int d = 0; d < SW_POLICER_DIRS; ++d) {
        const sw_policer &pol = p.policer[d];
        if (!pol.set)
            s.out.line("%s not configured", DIRECTION[d]);
        else
            s.out.line("%s %s cir %u cbs %u ebs %u pir %u pbs %u drop-color %s %s", DIRECTION[d],
                       SW_COLOR_MODE_WORDS[pol.color_mode], pol.cir, pol.cbs, pol.ebs, pol.pir,
                       pol.pbs, SW_DROP_COLOR_WORDS[pol.drop_color], SW_L3_WORDS[pol.use_l3]);
    }
}

const cli_command COMMANDS[] = {
    {"show interface switchport", cmd_kind::show, show_switchport},
    {"show interface status", cmd_kind::show, show_intf_status},
    {"show qos", cmd_kind::show, show_qos},
    {"show web qos interface", cmd_kind::show, show_web_qos},
    {"show web qos policer interface", cmd_kind::show, show_web_policer},
    {"show mac address-table", cmd_kind::show, show_mac_all},
    {"show mac address-table static", cmd_kind::show, show_mac_static},
    {"show mac address-table dynamic", cmd_kind::show, show_mac_dynamic},
    {"mac-address-table", cmd_kind::config, mac_add},
    {"no mac-address-table", cmd_kind::config, mac_remove},
};

// Number of leading words of w that spell pattern, or 0 when they do not.
int match_words(const char *pattern, char **w, int n)
{
    int used = 0;
    const char *p = pattern;
    while (*p) {
        std::size_t len = std::strcspn(p, " ");
        if (used == n || std::strlen(w[used]) != len || std::strncmp(w[used], p, len) != 0)
            return 0;
        ++used;
        p += len;
        if (*p == ' ')
            ++p;
    }
    return used;
}

bool printable(const char *line, std::size_t len)
{
    for (std::size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if ((c < 0x20 && c != '\t' && c != '\r') || c > 0x7e)
            return false;
    }
    return true;
}

// Joins words back into one blank-separated text for messages.
void join_words(char **w, int n, char *out, std::size_t cap)
{
    std::size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < n && used + 1 < cap; ++i) {
        int k = std::snprintf(out + used, cap - used, "%s%s", i ? " " : "", w[i]);
        if (k < 0)
            break;
        used += static_cast<std::size_t>(k);
    }
}

} // namespace

void cli_refuse_long_line(cli_session &s)
{
    s.out.error("Command line too long (over %zu bytes)", CLI_CMD_MAX);
}

void cli_run_line(cli_session &s, char *line, std::size_t len)
{
    if (!printable(line, len)) {
        s.out.error("Command holds a byte that is not printable text");
        return;
    }
    char *w[CLI_MAX_WORDS];
    int n = split_words(line, w, CLI_MAX_WORDS);
    if (n == 0)
        return;
    if (n < 0) {
        s.out.error("Too many words in command (over %d)", CLI_MAX_WORDS);
        return;
    }

    // An output filter: "... | include TEXT" or "... | exclude TEXT".
    int pipe = 0;
    while (pipe < n && std::strcmp(w[pipe], "|") != 0)
        ++pipe;
    const bool piped = pipe < n;

    const cli_command *cmd = nullptr;
    int used = 0;
    for (const cli_command &c : COMMANDS) {
        int k = match_words(c.words, w, pipe);
        if (k > used) {
            used = k;
            cmd = &c;
        }
    }
    if (!cmd) {
        char text[CLI_ERR_LINE_MAX];
        join_words(w, n, text, sizeof text);
        s.out.error("Unknown command: %s", text);
        return;
    }
    if (cmd->kind == cmd_kind::config && !s.config_mode) {
        s.out.error("Configuration command not allowed in show mode: %s", cmd->words);
        return;
    }
    if (piped) {
        out_filter kind = out_filter::none;
        if (n - pipe == 3 && std::strcmp(w[pipe + 1], "include") == 0)
            kind = out_filter::include;
        else if (n - pipe == 3 && std::strcmp(w[pipe + 1], "exclude") == 0)
            kind = out_filter::exclude;
        if (kind == out_filter::none || cmd->kind != cmd_kind::show) {
            s.out.error("Invalid output filter (use: | include TEXT or | exclude TEXT after a show command)");
            return;
        }
        s.out.set_filter(kind, w[pipe + 2]);
    }
    cmd->run(s, cmd_args{w + used, pipe - used});
    s.out.clear_filter();
}
