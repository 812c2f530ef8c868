// Port naming: loads the published prefix table and splits interface names by it.
#include "port_names.h"

#include "unique_fd.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

port_prefix_info port_prefix_table;

namespace {

// Lines of the port info file are read in pieces of at most 127 characters.
constexpr std::size_t PORT_INFO_LINE_SIZE = 128;
constexpr char DEFAULT_PORT_CONNECTION = '-';
constexpr char DEFAULT_SUB_PORT_CONNECTION = '/';
constexpr char DEFAULT_PREFIX[] = "eth-";

// One "%d" of scanf: blanks, a sign and at least one digit, saturated to 32
// bits where scanf would be undefined. Returns the end of the number, or null
// (out untouched) when there is none.
const char *scan_int(const char *p, std::int32_t *out)
{
    char *end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p)
        return nullptr;
    *out = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(v);
    return end;
}

// atoi rules: 0 when no number starts the text.
std::int32_t dec_atoi(const char *text)
{
    std::int32_t v = 0;
    scan_int(text, &v);
    return v;
}

const char *skip_digits(const char *p)
{
    while (std::isdigit(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// Reads the connection characters and the prefixes of an open port info file
// into t, over the defaults already there.
void read_port_info(FILE *f, port_prefix_info &t)
{
    char line[PORT_INFO_LINE_SIZE];
    char a, b;
    // The first line is used up whether or not it holds the characters.
    if (std::fgets(line, sizeof line, f) &&
        std::sscanf(line, "port_connection %c sub_port_connection %c", &a, &b) == 2) {
        t.port_connection = a;
        t.sub_port_connection = b;
    }
    char shortw[PORT_INFO_LINE_SIZE], longw[PORT_INFO_LINE_SIZE];
    while (t.prefix_count < PORT_PREFIX_MAX && std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "prefix %127s full_prefix %127s", shortw, longw) != 2)
            continue;
        port_prefix_entry &e = t.entries[t.prefix_count++];
        // Longer words are cut to the entry's widths.
        std::snprintf(e.prefix, sizeof e.prefix, "%.*s", int(sizeof e.prefix - 1), shortw);
        std::snprintf(e.full_prefix, sizeof e.full_prefix, "%.*s", int(sizeof e.full_prefix - 1), longw);
    }
}

} // namespace

int port_prefix_load()
{
    port_prefix_info &t = port_prefix_table;
    t.port_connection = DEFAULT_PORT_CONNECTION;
    t.sub_port_connection = DEFAULT_SUB_PORT_CONNECTION;
    t.prefix_count = 0;

    // Published by another program: read as any reader reads it, through a link.
    unique_file f = open_read(PORT_INFO_PATH);
    if (f.ok())
        read_port_info(f.get(), t);
    if (t.prefix_count == 0) {
        std::snprintf(t.entries[0].prefix, sizeof t.entries[0].prefix, "%s", DEFAULT_PREFIX);
        std::snprintf(t.entries[0].full_prefix, sizeof t.entries[0].full_prefix, "%s", DEFAULT_PREFIX);
        t.prefix_count = 1;
    }
    return 0;
}

int port_name_is_known(const char *name)
{
    if (!name)
        return 0;
    for (int i = 0; i < port_prefix_table.prefix_count && i < PORT_PREFIX_MAX; ++i) {
        const port_prefix_entry &e = port_prefix_table.entries[i];
        if (strncasecmp(name, e.prefix, std::strlen(e.prefix)) == 0 ||
            strncasecmp(name, e.full_prefix, std::strlen(e.full_prefix)) == 0)
            return 1;
    }
    return 0;
}

int port_name_parse(const char *name, std::int32_t *slot, std::int32_t *port, std::int32_t *sub_port)
{
    if (!name || !slot || !port || !sub_port)
        return -1;
    const char *p = nullptr;
    for (int i = 0; i < port_prefix_table.prefix_count && i < PORT_PREFIX_MAX; ++i) {
        const char *prefix = port_prefix_table.entries[i].prefix;
        std::size_t len = std::strlen(prefix);
        if (std::strncmp(name, prefix, len) == 0) {
            p = name + len;
            break;
        }
    }
    if (!p)
        return 0;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return -1;
    *slot = dec_atoi(p);
    p = skip_digits(p);
    if (*p == '\0')
        return -1;
    ++p; // the port connection, whichever character it is
    *port = dec_atoi(p);
    p = skip_digits(p);
    if (*p == '\0' || *p == '\n') {
        *sub_port = 0;
        return 0;
    }
    *sub_port = dec_atoi(p + 1);
    return 0;
}

bool port_name_scan_eth(const char *text, std::int32_t *slot, std::int32_t *port)
{
    std::int32_t s, p;
    if (!text || std::strncmp(text, DEFAULT_PREFIX, sizeof DEFAULT_PREFIX - 1) != 0)
        return false;
    const char *at = scan_int(text + sizeof DEFAULT_PREFIX - 1, &s);
    if (!at || *at != '-' || !scan_int(at + 1, &p))
        return false;
    *slot = s;
    *port = p;
    return true;
}
