// The port info file: the input is the file the switch publishes; every line
// of it is then also taken as an interface name against the loaded table.
#include "fuzz_util.h"
#include "intf_status.h"
#include "port_names.h"

FUZZ_TARGET(0, 4096)
{
    fuzz_write_file(PORT_INFO_PATH, data, size);
    port_prefix_load();
    const port_prefix_info &t = port_prefix_table;
    FUZZ_CHECK(t.prefix_count >= 1 && t.prefix_count <= PORT_PREFIX_MAX);
    for (int i = 0; i < t.prefix_count; ++i)
        FUZZ_CHECK(std::memchr(t.entries[i].prefix, '\0', PORT_PREFIX_SIZE) &&
                   std::memchr(t.entries[i].full_prefix, '\0', PORT_FULL_PREFIX_SIZE));
    for (const std::string &name : fuzz_lines(fuzz_text(data, size))) {
        std::int32_t slot = -7, port = -7, sub = -7;
        port_name_parse(name.c_str(), &slot, &port, &sub);
        // A name split by a prefix is one the table knows.
        FUZZ_CHECK(slot == -7 || port_name_is_known(name.c_str()) == 1);
        media_is_sfp(name.c_str());
    }
}
