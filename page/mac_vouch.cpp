// Vouchers for the entries a listing shows.
#include "mac_vouch.h"

#include "unique_fd.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace {

// Session, type, MAC, VLAN and interface, each at its longest, and a
// separator after each but the last.
constexpr std::size_t VOUCH_TEXT_MAX = 192;

std::uint64_t rotl(std::uint64_t x, int b)
{
    return x << b | x >> (64 - b);
}

std::uint64_t load_le64(const std::uint8_t *p, std::size_t n = 8)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

bool read_key(vouch_key &key)
{
    unique_fd fd(::open(VOUCH_KEY_PATH, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    return fd.ok() && ::read(fd.get(), key.bytes, sizeof key.bytes) == static_cast<ssize_t>(sizeof key.bytes);
}

// A key drawn into a file of its own, then linked into place: a reader sees
// a whole key or none, and of two requests drawing at once the first link wins.
void draw_key()
{
    std::uint8_t bytes[VOUCH_KEY_SIZE];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        return;
    char tmp[sizeof VOUCH_KEY_PATH + 8];
    std::snprintf(tmp, sizeof tmp, "%s.XXXXXX", VOUCH_KEY_PATH);
    unique_fd fd(mkostemp(tmp, O_CLOEXEC));
    if (!fd.ok())
        return;
    if (::write(fd.get(), bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes))
        (void)::link(tmp, VOUCH_KEY_PATH);
    ::unlink(tmp);
}

bool vouch_value(const vouch_key &key, std::string_view session, std::string_view type, std::string_view mac,
                 std::string_view vlan, std::string_view intf, std::uint64_t *value)
{
    if (!key.ok)
        return false;
    char text[VOUCH_TEXT_MAX];
    std::size_t len = 0;
    // Each part ends in a line feed, which none may hold: no two sets of
    // parts give one text. The MAC counts in lower case.
    auto put = [&](std::string_view part, bool lower) {
        if (len + part.size() + 1 > sizeof text || part.find('\n') != std::string_view::npos)
            return false;
        for (char c : part)
            text[len++] = lower && c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
        text[len++] = '\n';
        return true;
    };
    if (!put(session, false) || !put(type, false) || !put(mac, true) || !put(vlan, false) || !put(intf, false))
        return false;
    *value = siphash24(key.bytes, text, len);
    return true;
}

} // namespace

std::uint64_t siphash24(const std::uint8_t (&key)[VOUCH_KEY_SIZE], const void *data, std::size_t size)
{
    const auto *m = static_cast<const std::uint8_t *>(data);
    const std::uint64_t k0 = load_le64(key), k1 = load_le64(key + 8);
    std::uint64_t v0 = 0x736f6d6570736575 ^ k0, v1 = 0x646f72616e646f6d ^ k1;
    std::uint64_t v2 = 0x6c7967656e657261 ^ k0, v3 = 0x7465646279746573 ^ k1;
    auto round = [&] {
        v0 += v1, v1 = rotl(v1, 13), v1 ^= v0, v0 = rotl(v0, 32);
        v2 += v3, v3 = rotl(v3, 16), v3 ^= v2;
        v0 += v3, v3 = rotl(v3, 21), v3 ^= v0;
        v2 += v1, v1 = rotl(v1, 17), v1 ^= v2, v2 = rotl(v2, 32);
    };
    auto compress = [&](std::uint64_t word) {
        v3 ^= word;
        round();
        round();
        v0 ^= word;
    };
    const std::size_t whole = size - size % 8;
    for (std::size_t i = 0; i < whole; i += 8)
        compress(load_le64(m + i));
    compress(std::uint64_t{size & 0xff} << 56 | load_le64(m + whole, size % 8));
    v2 ^= 0xff;
    for (int i = 0; i < 4; ++i)
        round();
    return v0 ^ v1 ^ v2 ^ v3;
}

void vouch_key_load(vouch_key &key)
{
    key.ok = read_key(key);
    if (!key.ok && errno == ENOENT) {
        draw_key();
        key.ok = read_key(key);
    }
}

bool vouch_make(const vouch_key &key, std::string_view session, std::string_view type, std::string_view mac,
                std::string_view vlan, std::string_view intf, char (&out)[VOUCH_TEXT_SIZE])
{
    out[0] = '\0';
    std::uint64_t v;
    if (!vouch_value(key, session, type, mac, vlan, intf, &v))
        return false;
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(v));
    return true;
}

bool vouched_row_read(const vouch_key &key, std::string_view session, std::string_view type, std::string_view value,
                      char (&mac)[MAC_TEXT_SIZE], char (&intf)[INTF_TEXT_SIZE], char (&vlan)[VLAN_TEXT_SIZE])
{
    std::string_view w[4];
    if (words_split(value, w, 4) != 4 || !mac_text_valid(w[0]) || !intf_name_valid(w[1]) || !vlan_text_valid(w[2]) ||
        w[1].size() >= INTF_TEXT_SIZE || !vouch_check(key, session, type, w[0], w[2], w[1], w[3]))
        return false;
    copy_word(mac, w[0], true);
    copy_word(intf, w[1]);
    copy_word(vlan, w[2]);
    return true;
}

bool vouch_check(const vouch_key &key, std::string_view session, std::string_view type, std::string_view mac,
                 std::string_view vlan, std::string_view intf, std::string_view voucher)
{
    char want[VOUCH_TEXT_SIZE];
    if (voucher.size() != VOUCH_TEXT_SIZE - 1 || !vouch_make(key, session, type, mac, vlan, intf, want))
        return false;
    // Every byte compared, whatever the first difference: the time taken
    // tells nothing of how much of a guess was right.
    unsigned diff = 0;
    for (std::size_t i = 0; i < voucher.size(); ++i)
        diff |= static_cast<unsigned>(voucher[i] ^ want[i]);
    return diff == 0;
}
