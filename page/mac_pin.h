// Learned entries made static from the listing, each on the interface it
// was learned on: one batch of adds, answered as a list's.
#pragma once

struct audit_who;

// Makes static the learned entries named by the posted "Query.sel" values,
// each "<MAC> <interface> <VLAN> <voucher>" as a listing row of a learned
// entry gives it to this session (mac_vouch.h): checked whole, then added in
// one configuration run, the answer stored for the batch template as a
// list's ("batch.action" "pin") with one audit record (action=pin) per
// entry. 0 when that page is to be shown. -1 with the error id in err, one
// record and nothing run: "invalid_parameter" when a value is malformed or
// not vouched for, or one MAC and VLAN is named on two interfaces;
// "error_too_many_entries" for more than MAC_DELETE_MAX entries. An entry
// named twice is made static once.
int mac_pin(const char *session, const audit_who &who, char *err);
