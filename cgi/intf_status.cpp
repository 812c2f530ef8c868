// Interface status: splits "show interface status" lines into table rows and port fields.
#include "intf_status.h"

#include "cgi_value.h"
#include "cli_runner.h"
#include "port_names.h"
#include "text_util.h"
#include "unique_fd.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>

std::uint32_t intf_seq_slot0 = 0;
std::uint32_t intf_seq_other = 0;

namespace {

constexpr const char *COPPER_MEDIA[] = {"1000BASE_T", "10BASE_T", "100BASE_TX", "10GBASE_T"};
constexpr char STATUS_DELIMS[] = " \t\r\n";
constexpr std::uint32_t STATUS_MAX_WORDS = 128;

// Column positions of a status line, counted from 0 before the shift.
enum status_word : std::uint32_t {
    W_NAME = 0,
    W_STATUS = 1,
    W_DUPLEX = 2,
    W_SPEED = 3,
    W_MODE = 4,
    W_MEDIA = 5,
    W_DESC = 6,
};

// A split status line: the words, and a shift of one when the status is
// "admin down". split() is true when the line has every column up to the
// media type.
struct status_words {
    token_split words;
    std::uint32_t shift = 0;

    bool split(const char *line)
    {
        if (words.split(line, STATUS_MAX_WORDS, STATUS_DELIMS) != 0)
            return false;
        shift = words.count() > W_STATUS && strcasecmp(words[W_STATUS], "admin") == 0 ? 1 : 0;
        return words.count() >= W_MEDIA + 1 + shift;
    }
    const char *at(std::uint32_t col) const { return words[col == W_NAME ? W_NAME : col + shift]; }
    const char *status() const { return shift ? "admindown" : words[W_STATUS]; }
    bool has_desc() const { return words.count() > W_DESC + shift; }
};

// Where port_status_parse puts the parts of a line; any of them may be null.
struct port_status_fields {
    char *name;
    std::int32_t *slot, *port, *sub_port;
    char *status, *duplex, *speed, *mode, *media;
};

bool port_selected(const port_set *set, std::int32_t port)
{
    return set && port >= 0 && port < PORT_SET_SIZE && (set->entries[port].flags & PORT_SELECTED);
}

// Bounded by the caller's promise that buf holds the whole line.
void copy_word(char *buf, std::size_t cap, const char *word)
{
    if (buf)
        std::snprintf(buf, cap, "%s", word);
}

int port_status_split(const char *line, const port_status_fields &out)
{
    if (!line)
        return -1;
    status_words w;
    if (!w.split(line))
        return -1;
    if (out.slot && out.port && out.sub_port &&
        port_name_parse(w.at(W_NAME), out.slot, out.port, out.sub_port) != 0)
        return -1;
    const std::size_t cap = std::strlen(line) + 1;
    copy_word(out.name, cap, w.at(W_NAME));
    copy_word(out.status, cap, w.status());
    copy_word(out.duplex, cap, w.at(W_DUPLEX));
    copy_word(out.speed, cap, w.at(W_SPEED));
    copy_word(out.mode, cap, w.at(W_MODE));
    copy_word(out.media, cap, w.at(W_MEDIA));
    return 0;
}

} // namespace

int media_is_sfp(const char *media)
{
    if (!media)
        return 1;
    for (const char *copper : COPPER_MEDIA)
        if (strcasecmp(media, copper) == 0)
            return 0;
    return 1;
}

int port_set_parse(const char *list, port_set *set)
{
    if (!set)
        return -1;
    token_split entries;
    if (entries.split(list, PORT_SET_SIZE, ",") != 0)
        return -1;
    for (std::uint32_t i = 0; i < entries.count(); ++i) {
        std::int32_t slot, port;
        if (!port_name_scan_eth(entries[i], &slot, &port) || port < 0 || port >= PORT_SET_SIZE)
            continue;
        port_set_entry &e = set->entries[port];
        e.slot = slot;
        e.port = port;
        e.flags |= PORT_SELECTED;
        ++set->count;
    }
    return 0;
}

int intf_status_to_hdf(struct _cgi *cgi, const char *line, const port_set *set)
{
    status_words w;
    if (!cgi || !line || !w.split(line))
        return -1;
    std::int32_t slot, port;
    if (!port_name_scan_eth(w.at(W_NAME), &slot, &port))
        return 0;
    std::uint32_t row = slot == 0 ? ++intf_seq_slot0 : ++intf_seq_other;
    const char *media = w.at(W_MEDIA);
    const bool sfp = strcasecmp(media, "Unknown") == 0 || media_is_sfp(media);

    // The row is counted as read; a value the data set cannot take (no
    // memory) is left out of it, not reported as a bad line.
    cgi_setf(cgi, w.at(W_NAME), "intf.slot%d.%u.name", slot, row);
    cgi_setf(cgi, w.status(), "intf.slot%d.%u.pstatus", slot, row);
    cgi_setf(cgi, port_selected(set, port) ? "yes" : "no", "intf.slot%d.%u.select", slot, row);
    cgi_setf(cgi, sfp ? "yes" : "no", "intf.slot%d.%u.issfp", slot, row);
    cgi_setf(cgi, w.at(W_DUPLEX), "intf.slot%d.%u.duplex", slot, row);
    cgi_setf(cgi, w.at(W_SPEED), "intf.slot%d.%u.speed", slot, row);
    cgi_setf(cgi, w.at(W_MODE), "intf.slot%d.%u.mode", slot, row);
    cgi_setf(cgi, media, "intf.slot%d.%u.type", slot, row);
    if (w.has_desc())
        cgi_setf(cgi, w.at(W_DESC), "intf.slot%d.%u.desc", slot, row);
    return 0;
}

int intf_status_read(struct _cgi *cgi, const port_set *set)
{
    unique_file f = open_stream(cli_result_path(), O_RDONLY, "r");
    if (!f.ok())
        return -1;
    char line[INTF_STATUS_LINE_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        strip_line_end(line);
        if (line[0] == '\0' || line[0] == '#')
            continue;
        if (strncasecmp(line, "eth-", 4) != 0 || intf_status_to_hdf(cgi, line, set) != 0)
            break;
    }
    return 0;
}

int intf_status_load(struct _cgi *cgi, const port_set *set)
{
    cli_append_cmd("show interface status | include eth-");
    cli_exec_show();
    intf_status_read(cgi, set);
    return 0;
}

int port_status_parse(const char *line, char *name, std::int32_t *slot, std::int32_t *port,
                      std::int32_t *sub_port, char *status, char *duplex, char *speed, char *mode,
                      char *media)
{
    return port_status_split(line, {name, slot, port, sub_port, status, duplex, speed, mode, media});
}
