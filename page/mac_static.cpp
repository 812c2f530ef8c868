// Static entry form data, the add command and the static address listing.
#include "mac_static.h"

#include "cli_runner.h"
#include "unique_fd.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

constexpr std::size_t CMD_BUF_SIZE = 256;
constexpr std::size_t KEY_BUF_SIZE = 128;
constexpr std::size_t WORD_BUF_SIZE = 256;
constexpr int LISTING_HEADER_LINES = 6;

const char *query(const char *key)
{
    return hdf_get_value(web_cgi->hdf, key, nullptr);
}

void set_value(const char *key, const char *value)
{
    NEOERR *err = hdf_set_value(web_cgi->hdf, key, value);
    nerr_ignore(&err);
}

// A control character would end the CLI command line early and start
// another one.
bool has_control_char(std::string_view text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

} // namespace

void intf_names_load()
{
    cli_run_show("show interface switchport", intf_line_parse, 0);
}

int intf_line_parse(int *counter, const char *line)
{
    char copy[CLI_LINE_SIZE];
    if (std::sscanf(line, "%255[^\n]", copy) != 1)
        return 0;
    if (std::strncmp(copy, " Interface", 9) != 0)
        return 0;
    std::size_t len = std::strlen(copy);
    if (len < 2)
        return 0;
    std::size_t colon = len - 1;
    while (colon > 0 && copy[colon] != ':')
        --colon;
    if (colon == 0)
        return 0;
    // The colon and the blank after it are not part of the name.
    const char *name = colon + 2 <= len ? copy + colon + 2 : copy + len;
    set_value("ifname", name);
    intf_name_store(*counter, name);
    ++*counter;
    return 0;
}

int intf_name_store(int num, const char *name)
{
    const char *fmt = name[0] == 'e' ? "eth.%d.name" : name[0] == 'a' ? "agg.%d.name" : nullptr;
    if (fmt) {
        char key[KEY_BUF_SIZE];
        std::snprintf(key, sizeof key, fmt, num);
        set_value(key, name);
    }
    return 0;
}

int mac_static_add(char *err)
{
    const char *addr0 = query("Query.addr0");
    const char *addr1 = query("Query.addr1");
    const char *addr2 = query("Query.addr2");
    const char *intf = query("Query.intf_name");
    const char *vlan = query("Query.vlan");
    if (!addr0 || !addr1 || !addr2 || !intf || !vlan)
        return 0;
    for (const char *field : {addr0, addr1, addr2, intf, vlan}) {
        if (has_control_char(field)) {
            std::snprintf(err, CLI_LINE_SIZE, "%s", "invalid_parameter");
            return -1;
        }
    }
    char cmd[CMD_BUF_SIZE];
    std::snprintf(cmd, sizeof cmd, "mac-address-table %s.%s.%s forward %s vlan %s", addr0, addr1,
                  addr2, intf, vlan);
    cli_append_cmd(cmd);
    cli_exec_config();
    return cli_find_error("%", nullptr, nullptr, err);
}

int mac_static_list()
{
    char mac_filter[CMD_BUF_SIZE];
    bool by_mac = false;
    const char *groups[3] = {query("Query.addr0"), query("Query.addr1"), query("Query.addr2")};
    for (const char *g : groups)
        by_mac = by_mac || (g && *g);
    if (by_mac)
        std::snprintf(mac_filter, sizeof mac_filter, "%s.%s.%s", groups[0] ? groups[0] : "",
                      groups[1] ? groups[1] : "", groups[2] ? groups[2] : "");

    const char *intf = query("Query.intf_name");
    bool by_intf = intf && intf[0] != '0' && std::strncmp(intf, "all", 3) != 0;

    char cmd[CMD_BUF_SIZE];
    const char *vlan = query("Query.vlan");
    int len = vlan && *vlan
                  ? std::snprintf(cmd, sizeof cmd, "show mac address-table static vlan %s", vlan)
                  : std::snprintf(cmd, sizeof cmd, "show mac address-table static");
    // A cut VLAN would ask for another VLAN's entries, and a line end would
    // add a command: list nothing instead.
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof cmd || has_control_char(cmd))
        return 0;
    cli_append_cmd(cmd);
    cli_exec_show();

    unique_file f = open_stream(cli_result_path(), O_RDONLY, "r");
    if (!f.ok())
        return 0;
    char line[CLI_LINE_SIZE];
    int skipped = 0;
    int entries = 0;
    while (std::fgets(line, sizeof line, f.get())) {
        if (skipped < LISTING_HEADER_LINES) {
            ++skipped;
            continue;
        }
        char vid[WORD_BUF_SIZE], mac[WORD_BUF_SIZE], type[WORD_BUF_SIZE], port[WORD_BUF_SIZE];
        // Lines of fewer than four words are not entries.
        if (std::sscanf(line, "%255s %255s %255s %255s", vid, mac, type, port) != 4)
            continue;
        if (vid[0] == '%')
            continue;
        if (by_intf && std::strcmp(port, intf) != 0)
            continue;
        if (by_mac && std::strcmp(mac, mac_filter) != 0)
            continue;
        mac_entry_store(++entries, mac, vid, type, port);
    }
    return 0;
}

int mac_entry_store(int num, const char *mac, const char *vlan, const char *type, const char *intf)
{
    const std::array<std::pair<const char *, const char *>, 4> fields = {{
        {"mac", mac}, {"vlan", vlan}, {"type", type}, {"intf", intf}}};
    char key[KEY_BUF_SIZE];
    for (const auto &[name, value] : fields) {
        std::snprintf(key, sizeof key, "entry.%d.%s", num, name);
        set_value(key, value);
    }
    return 0;
}
