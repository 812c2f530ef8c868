// A batch of entries as the add page reads it: whatever the text, every line
// it takes holds a well-formed entry in the switch's own form, the line
// numbers rise, and a repeat or a conflict names an earlier or matching line.
#include "fuzz_util.h"
#include "mac_batch.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > BATCH_BODY_MAX)
        return 0;
    const std::string text = fuzz_text(data, size);
    std::vector<batch_line> lines(MAC_BATCH_MAX);
    int count = batch_parse(text.c_str(), lines.data(), MAC_BATCH_MAX);
    if (count < -1 || count > MAC_BATCH_MAX)
        std::abort();
    for (int i = 0; i < count; ++i) {
        const batch_line &l = lines[static_cast<std::size_t>(i)];
        if (i > 0 && l.number <= lines[static_cast<std::size_t>(i - 1)].number)
            std::abort();
        if (std::strlen(l.text) >= BATCH_TEXT_SIZE)
            std::abort();
        for (const char *c = l.text; *c; ++c)
            if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f)
                std::abort();
        if (l.fault == batch_fault::none || l.fault == batch_fault::conflict) {
            if (!mac_text_valid(l.mac) || !vlan_text_valid(l.vlan) || !intf_name_valid(l.intf))
                std::abort();
            for (const char *c = l.mac; *c; ++c)
                if (*c >= 'A' && *c <= 'F')
                    std::abort();
        }
        // A repeat or a conflict names another line of the same MAC and VLAN.
        if (l.other) {
            bool found = false;
            for (int j = 0; j < count; ++j) {
                const batch_line &o = lines[static_cast<std::size_t>(j)];
                if (o.number == l.other && j != i && std::strcmp(o.mac, l.mac) == 0 &&
                    std::strcmp(o.vlan, l.vlan) == 0)
                    found = true;
            }
            if (!found || (l.fault == batch_fault::none && l.other >= l.number))
                std::abort();
        }
    }
    return 0;
}
