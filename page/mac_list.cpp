// The static address listing routine and the listing's query.
#include "mac_list.h"

#include "cgi_value.h"
#include "cli_runner.h"
#include "line_reader.h"
#include "mac_table.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t WORD_BUF_SIZE = 256;

// The listing's filters from the query, as the routine has always taken
// them: text compared as it stands.
struct list_filter {
    bool by_mac = false;
    char mac[CMD_BUF_SIZE] = {};   // "%s.%s.%s" of the three groups
    const char *intf = nullptr;    // the interface, when it filters
};
// The listing's query carries the kind of entries too, for every link to keep.
constexpr std::array<const char *, 6> LIST_FILTERS = {"addr0", "addr1", "addr2", "intf_name", "vlan", "type"};

// Reads the filters. false when the MAC filter does not fit its buffer: a
// cut filter would match other entries.
bool list_filter_read(list_filter *f)
{
    const char *groups[3] = {cgi_value(web_cgi, "Query.addr0"), cgi_value(web_cgi, "Query.addr1"),
                             cgi_value(web_cgi, "Query.addr2")};
    for (const char *g : groups)
        f->by_mac = f->by_mac || (g && *g);
    const char *intf = cgi_value(web_cgi, "Query.intf_name");
    // "0" and "all" are how a form asks for every interface.
    if (intf && intf[0] != '0' && std::strncmp(intf, "all", 3) != 0)
        f->intf = intf;
    if (!f->by_mac)
        return true;
    int len = std::snprintf(f->mac, sizeof f->mac, "%s.%s.%s", groups[0] ? groups[0] : "",
                            groups[1] ? groups[1] : "", groups[2] ? groups[2] : "");
    return len >= 0 && static_cast<std::size_t>(len) < sizeof f->mac;
}

// The show command, narrowed to the query's VLAN. false when it would not
// fit (a cut VLAN asks for another VLAN's entries) or holds a line end (it
// would add a command).
bool list_command(char (&cmd)[CMD_BUF_SIZE])
{
    const char *vlan = cgi_value(web_cgi, "Query.vlan");
    int len = vlan && *vlan ? std::snprintf(cmd, sizeof cmd, "show mac address-table static vlan %s", vlan)
                            : std::snprintf(cmd, sizeof cmd, "show mac address-table static");
    return len >= 0 && static_cast<std::size_t>(len) < sizeof cmd && !has_control_char(cmd);
}

// Stores the result's entries that pass the filter, numbered from 1. false
// when the result could not be read to its end or an entry not stored.
bool list_entries(const list_filter &filter)
{
    line_reader f(cli_result_path());
    if (!f.ok())
        return false;
    char line[CLI_LINE_SIZE];
    int skipped = 0;
    int entries = 0;
    while (f.next(line)) {
        if (skipped < TABLE_HEADER_LINES) {
            ++skipped;
            continue;
        }
        char vid[WORD_BUF_SIZE], mac[WORD_BUF_SIZE], type[WORD_BUF_SIZE], port[WORD_BUF_SIZE];
        // Lines of fewer than four words, and the CLI's messages, are not entries.
        if (std::sscanf(line, "%255s %255s %255s %255s", vid, mac, type, port) != 4 || vid[0] == '%')
            continue;
        if (filter.intf && std::strcmp(port, filter.intf) != 0)
            continue;
        if (filter.by_mac && std::strcmp(mac, filter.mac) != 0)
            continue;
        if (mac_entry_store(++entries, mac, vid, type, port) != 0)
            return false;
    }
    return !f.failed();
}

// A filter no entry can pass: the listing is whole, and empty.
int matches_nothing()
{
    // Not stored, the page warns that the list is not whole: no false list.
    cgi_set(web_cgi, "entries_listed", "1");
    return 0;
}

} // namespace

int mac_static_list()
{
    list_filter filter;
    char cmd[CMD_BUF_SIZE];
    if (!list_filter_read(&filter) || !list_command(cmd))
        return matches_nothing();
    int rc = cli_append_cmd(cmd);
    if (rc == 0)
        rc = cli_exec_show();
    if (rc != 0) {
        cli_failure_note(rc, {});
        return 0;
    }
    bool whole = list_entries(filter);
    cli_failure_note(whole ? 0 : -1, {"entry"});
    // Set last: the table is shown, or said to be empty, only when whole
    // (not stored, the page warns instead).
    if (whole)
        cgi_set(web_cgi, "entries_listed", "1");
    return 0;
}

int mac_entry_store(int num, const char *mac, const char *vlan, const char *type, const char *intf)
{
    const std::array<std::pair<const char *, const char *>, 4> fields = {{
        {"mac", mac}, {"vlan", vlan}, {"type", type}, {"intf", intf}}};
    char key[KEY_BUF_SIZE];
    for (const auto &[name, value] : fields) {
        row_key(key, "entry", num, name);
        if (!cgi_set(web_cgi, key, value))
            return -1;
    }
    return 0;
}

void mac_list_query(const char *defquery, char *out, std::size_t size)
{
    int len = std::snprintf(out, size, "%s", defquery);
    for (const char *name : LIST_FILTERS) {
        char key[KEY_BUF_SIZE];
        std::snprintf(key, sizeof key, "Query.%s", name);
        const char *v = cgi_value(web_cgi, key);
        char *esc = nullptr;
        if (!v || !*v)
            continue;
        NEOERR *e = cgi_url_escape(v, &esc);
        nerr_ignore(&e);
        int n = esc ? std::snprintf(out + len, size - static_cast<std::size_t>(len), "&%s=%s", name, esc) : -1;
        std::free(esc);
        // A filter that does not fit is dropped whole, never cut.
        if (n < 0 || static_cast<std::size_t>(len + n) >= size)
            out[len] = '\0';
        else
            len += n;
    }
}
