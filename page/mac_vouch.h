// The listing vouches for each entry it shows, so that a pin or a move
// names an entry the switch showed to this session, never one made up or
// changed in the request, and nothing has to be asked of the switch to
// tell. A voucher is a keyed hash (SipHash-2-4) of the session, the row's
// type word and the entry's MAC (lower case), VLAN and interface, under a
// key drawn once per boot into VOUCH_KEY_PATH.
#pragma once

#include "mac_entry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr char VOUCH_KEY_PATH[] = "/var/run/webcgi_vouch.key";
inline constexpr std::size_t VOUCH_KEY_SIZE = 16;
inline constexpr std::size_t VOUCH_TEXT_SIZE = 17;   // 16 hex digits and a terminator

// SipHash-2-4 of data under key: the same value on any byte order.
std::uint64_t siphash24(const std::uint8_t (&key)[VOUCH_KEY_SIZE], const void *data, std::size_t size);

struct vouch_key {
    std::uint8_t bytes[VOUCH_KEY_SIZE];
    bool ok = false;
};

// Reads the key, drawing it first when there is none yet (the first of two
// requests that race to draw it wins, and both use its key). key.ok is
// false when it cannot be had: then nothing is vouched for, and nothing a
// request claims is taken.
void vouch_key_load(vouch_key &key);

// The entry's voucher into out. false (out empty) when the key is not ok or
// a part is too long to be an entry's.
bool vouch_make(const vouch_key &key, std::string_view session, std::string_view type, std::string_view mac,
                std::string_view vlan, std::string_view intf, char (&out)[VOUCH_TEXT_SIZE]);

// true when voucher is the one vouch_make gives for the same parts.
bool vouch_check(const vouch_key &key, std::string_view session, std::string_view type, std::string_view mac,
                 std::string_view vlan, std::string_view intf, std::string_view voucher);

// A row's value as a selection or an edit link carries it, "<MAC>
// <interface> <VLAN> <voucher>": true, with its MAC (lower case), interface
// and VLAN in the fields, when it is well formed and the listing vouched for
// it to session as a row of type; false when not.
bool vouched_row_read(const vouch_key &key, std::string_view session, std::string_view type, std::string_view value,
                      char (&mac)[MAC_TEXT_SIZE], char (&intf)[INTF_TEXT_SIZE], char (&vlan)[VLAN_TEXT_SIZE]);
