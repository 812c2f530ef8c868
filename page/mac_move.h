// A static entry moved to another interface. The switch sets a static
// entry's interface anew when the entry is added again, so a move is one
// add in one configuration run and the entry is never out of the table.
// When the answer is in doubt the table decides; an entry it no longer
// holds is put back where it was (a second run, only then).
#pragma once

struct audit_who;

// The add page in move mode (a GET): the entry the query's "move" names,
// "<MAC> <interface> <VLAN> <voucher>" as the listing's edit link gives it,
// taken only as the listing vouched for it as a static entry to this
// session. Stores "move.mac", "move.vlan", "move.from" and "move.value" for
// the move form. true when taken; false, with nothing stored, when not.
bool mac_move_form(const char *session);

// Moves the posted entry ("move", as the form carries it back) to the
// posted "intf_name", with one audit record (action=move, from= the
// interface left). 1 when it moved. 0 when it did not, with what became of
// it stored for the page: "move.result" (refused: the switch refused it,
// and the table holds the entry where it was; restored: it went and was put
// back; lost: it went, and could not be put back; elsewhere: the table holds
// it on another interface, "move.now"; unknown: the switch's answer and its
// table left it open), "move.reason" (the CLI's line or an error id), with
// "move.mac", "move.vlan", "move.from", "move.to". -1 with the error id in
// err, one record and nothing run, when the request is not a vouched
// entry's ("invalid_parameter": a part malformed, or a MAC, VLAN or
// interface other than the listing showed) or names the interface the
// entry is on ("error_move_same_interface").
int mac_move(const char *session, const audit_who &who, char *err);
