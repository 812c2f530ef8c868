// Learned entries made static, on the interface the operator saw each on.
#include "mac_pin.h"

#include "audit_log.h"
#include "mac_batch.h"
#include "mac_entry.h"
#include "mac_remove.h"
#include "mac_vouch.h"

#include <cstdio>
#include <cstring>

int mac_pin(const char *session, const audit_who &who, char *err)
{
    heap_array<batch_line> lines = heap_alloc<batch_line>(MAC_DELETE_MAX);
    vouch_key key;
    vouch_key_load(key);
    int count = 0;
    const char *refusal = nullptr;
    auto take = [&](const char *text) {
        // A learned row's, as the listing vouched for it to this session.
        batch_line l{};
        if (!vouched_row_read(key, session, "dynamic", text, l.mac, l.intf, l.vlan)) {
            refusal = INVALID_PARAMETER;
            return false;
        }
        for (int i = 0; i < count; ++i) {
            const batch_line &o = lines[i];
            if (std::strcmp(o.mac, l.mac) == 0 && std::strcmp(o.vlan, l.vlan) == 0) {
                // The same entry twice is pinned once; on two interfaces it
                // cannot be what the table showed.
                if (std::strcmp(o.intf, l.intf) != 0)
                    refusal = INVALID_PARAMETER;
                return !refusal;
            }
        }
        if (count == MAC_DELETE_MAX) {
            refusal = "error_too_many_entries";
            return false;
        }
        l.number = count + 1;
        lines[count++] = l;
        return true;
    };
    if ((!lines || !selections_each(take)) && !refusal)
        refusal = INVALID_PARAMETER;   // no selection at all
    if (refusal) {
        std::snprintf(err, CLI_ERROR_SIZE, "%s", refusal);
        audit_log(who, "pin", nullptr, audit_result::refused, refusal);
        return -1;
    }
    // A page that could not hold every row warns instead of showing fewer.
    if (!mac_batch_run(who, "pin", lines.get(), count))
        cli_failure_note(-1, {"result", "batch"});
    return 0;
}
