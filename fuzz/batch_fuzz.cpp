// A batch of entries as the add page reads it: whatever the text, every line
// it takes holds a well-formed entry in the switch's own form, the line
// numbers rise, and a repeat or a conflict names an earlier or matching line.
#include "fuzz_util.h"
#include "mac_batch.h"

#include <algorithm>

FUZZ_TARGET(0, BATCH_BODY_MAX)
{
    const std::string text = fuzz_text(data, size);
    std::vector<batch_line> lines(MAC_BATCH_MAX);
    const int count = batch_parse(text.c_str(), lines.data(), MAC_BATCH_MAX);
    FUZZ_CHECK(count >= -1 && count <= MAC_BATCH_MAX);
    const auto end = lines.begin() + std::max(count, 0);
    for (auto l = lines.begin(); l != end; ++l) {
        FUZZ_CHECK(l == lines.begin() || l->number > l[-1].number);
        FUZZ_CHECK(std::strlen(l->text) < BATCH_TEXT_SIZE);
        for (const char *c = l->text; *c; ++c)
            FUZZ_CHECK(static_cast<unsigned char>(*c) >= 0x20 && *c != 0x7f);
        if (l->fault == batch_fault::none || l->fault == batch_fault::conflict) {
            FUZZ_CHECK(mac_text_valid(l->mac) && vlan_text_valid(l->vlan) && intf_name_valid(l->intf));
            FUZZ_CHECK(!std::strpbrk(l->mac, "ABCDEF"));
        }
        // A repeat or a conflict names another line of the same MAC and VLAN.
        if (l->other) {
            FUZZ_CHECK(std::any_of(lines.begin(), end, [&](const batch_line &o) {
                return &o != &*l && o.number == l->other && !std::strcmp(o.mac, l->mac) &&
                       !std::strcmp(o.vlan, l->vlan);
            }));
            FUZZ_CHECK(l->fault != batch_fault::none || l->other < l->number);
        }
    }
}
