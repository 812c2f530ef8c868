// The simulated switch's configuration tables and the rules for changing them.
#include "switch_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr int FRESH_ETH_PORTS = 24;
constexpr int FRESH_AGG_PORTS = 8;
constexpr int FRESH_VLANS[] = {1, 10, 20, 30};

// Front-panel layout of the factory defaults, by port number.
constexpr int SHUT_PORTS[] = {7, 8};
constexpr int LINKED_PORTS[] = {1, 2, 3, 4, 21, 24};
constexpr int FIXED_SPEED_PORT = 4; // 100 Mbit/s full duplex, not negotiated
constexpr int SX_PORTS[] = {21, 22};
constexpr int EMPTY_CAGE_PORT = 23;
constexpr int SR_10G_PORT = 24;
constexpr int UPLINK_PORT = 1;         // described, shaped and policed on input
constexpr int OUTPUT_POLICED_PORT = 2;

constexpr sw_policer INPUT_POLICER = {true, 0, 10000, 64000, 128000, 20000, 128000, 0, 0};
constexpr sw_policer OUTPUT_POLICER = {true, 1, 5000, 32000, 64000, 8000, 64000, 1, 1};

template <std::size_t N> bool listed(const int (&list)[N], int n)
{
    for (int v : list)
        if (v == n)
            return true;
    return false;
}

template <std::size_t N> std::uint8_t word_at(const char *const (&words)[N], const char *word)
{
    for (std::size_t i = 0; i < N; ++i)
        if (std::strcmp(words[i], word) == 0)
            return static_cast<std::uint8_t>(i);
    return 0;
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Order of the entry table: VLAN, then address bytes (the same order as the
// lower-case text form).
int mac_key_cmp(int vlan_a, const std::uint8_t *a, int vlan_b, const std::uint8_t *b)
{
    if (vlan_a != vlan_b)
        return vlan_a < vlan_b ? -1 : 1;
    return std::memcmp(a, b, 6);
}

bool mac_less(const sw_mac_entry &a, const sw_mac_entry &b)
{
    return mac_key_cmp(a.vlan, a.addr, b.vlan, b.addr) < 0;
}

// Position of (vlan, addr) in a sorted table, or where it would go.
int mac_lower_bound(const sw_mac_entry *table, int count, int vlan, const std::uint8_t addr[6])
{
    int lo = 0, hi = count;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        const sw_mac_entry &e = table[mid];
        if (mac_key_cmp(e.vlan, e.addr, vlan, addr) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

void sw_clear(switch_state &st)
{
    // Entries are written whole when added: emptying the tables is enough.
    // Zeroing all of them would touch every page of the state, which costs
    // a run more than its whole command.
    st.port_count = 0;
    st.vlan_count = 0;
    st.mac_count = 0;
    st.learned_count = 0;
    st.qos_enabled = false;
    st.dirty = false;
}

void sw_fresh(switch_state &st)
{
    sw_clear(st);
    char name[SW_PORT_NAME_SIZE];
    for (int i = 1; i <= FRESH_ETH_PORTS; ++i) {
        std::snprintf(name, sizeof name, "eth-0-%d", i);
        sw_add_port(st, name);
    }
    for (int i = 1; i <= FRESH_AGG_PORTS; ++i) {
        std::snprintf(name, sizeof name, "agg%d", i);
        sw_add_port(st, name);
    }
    for (int vid : FRESH_VLANS)
        sw_add_vlan(st, vid);
    st.qos_enabled = true;
}

bool sw_valid_port_name(const char *name)
{
    std::size_t n = std::strlen(name);
    if (n == 0 || n >= SW_PORT_NAME_SIZE || name[0] < 'a' || name[0] > 'z')
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
            return false;
    }
    return true;
}

int sw_find_port(const switch_state &st, const char *name)
{
    for (int i = 0; i < st.port_count; ++i)
        if (std::strcmp(st.ports[i].name, name) == 0)
            return i;
    return -1;
}

int sw_add_port(switch_state &st, const char *name)
{
    if (!sw_valid_port_name(name) || sw_find_port(st, name) >= 0 || st.port_count >= SW_MAX_PORTS)
        return -1;
    sw_port &p = st.ports[st.port_count++];
    std::snprintf(p.name, sizeof p.name, "%s", name);
    sw_port_defaults(p);
    return 0;
}

void sw_port_defaults(sw_port &p)
{
    char name[SW_PORT_NAME_SIZE];
    std::memcpy(name, p.name, sizeof name);
    p = sw_port{};
    std::memcpy(p.name, name, sizeof name);
    p.mode = port_mode::access;
    p.pvid = 1;
    for (int q = 0; q < SW_QUEUES; ++q) {
        p.queues[q].cls = static_cast<std::uint8_t>(q);
        p.queues[q].weight = static_cast<std::uint8_t>(q + 1);
    }
    p.admin_up = true;
    p.media = word_at(SW_MEDIA_WORDS, "Unknown");

    int slot, n, used = 0;
    if (std::sscanf(name, "eth-%d-%d%n", &slot, &n, &used) != 2 || name[used] != '\0')
        return;
    p.admin_up = !listed(SHUT_PORTS, n);
    p.link_up = p.admin_up && listed(LINKED_PORTS, n);
    if (n == FIXED_SPEED_PORT) {
        p.speed = word_at(SW_SPEED_WORDS, "100");
        p.duplex = word_at(SW_DUPLEX_WORDS, "full");
    }
    if (listed(SX_PORTS, n))
        p.media = word_at(SW_MEDIA_WORDS, "1000BASE_SX");
    else if (n == SR_10G_PORT)
        p.media = word_at(SW_MEDIA_WORDS, "10GBASE_SR");
    else if (n != EMPTY_CAGE_PORT)
        p.media = word_at(SW_MEDIA_WORDS, "1000BASE_T");
    if (n == UPLINK_PORT) {
        std::snprintf(p.desc, sizeof p.desc, "uplink");
        p.shape_rate = 500000;
        p.queues[0].cir = 1000;
        p.queues[0].pir = 2000;
        p.queues[5].cir = 20000;
        p.queues[5].pir = 40000;
        p.policer[SW_POLICER_IN] = INPUT_POLICER;
    } else if (n == OUTPUT_POLICED_PORT) {
        p.policer[SW_POLICER_OUT] = OUTPUT_POLICER;
    } else if (n == SR_10G_PORT) {
        std::snprintf(p.desc, sizeof p.desc, "core-link");
    }
}

bool sw_media_10g(int media)
{
    return media >= 0 && media < static_cast<int>(std::size(SW_MEDIA_WORDS)) &&
           std::strncmp(SW_MEDIA_WORDS[media], "10G", 3) == 0;
}

bool sw_has_vlan(const switch_state &st, int vid)
{
    for (int i = 0; i < st.vlan_count; ++i)
        if (st.vlans[i] == vid)
            return true;
    return false;
}

int sw_add_vlan(switch_state &st, int vid)
{
    if (vid < SW_VLAN_MIN || vid > SW_VLAN_MAX)
        return -1;
    if (sw_has_vlan(st, vid))
        return 0;
    if (st.vlan_count >= SW_MAX_VLANS)
        return -1;
    int i = st.vlan_count;
    for (; i > 0 && st.vlans[i - 1] > vid; --i)
        st.vlans[i] = st.vlans[i - 1];
    st.vlans[i] = static_cast<std::uint16_t>(vid);
    ++st.vlan_count;
    return 0;
}

int sw_parse_mac(const char *text, std::uint8_t addr[6])
{
    std::uint8_t out[6];
    const char *p = text;
    for (int group = 0; group < 3; ++group) {
        if (group > 0 && *p++ != '.')
            return -1;
        int v[4];
        for (int &d : v) {
            d = hex_value(*p);
            if (d < 0)
                return -1;
            ++p;
        }
        out[2 * group] = static_cast<std::uint8_t>(v[0] << 4 | v[1]);
        out[2 * group + 1] = static_cast<std::uint8_t>(v[2] << 4 | v[3]);
    }
    if (*p != '\0')
        return -1;
    std::memcpy(addr, out, sizeof out);
    return 0;
}

void sw_format_mac(const std::uint8_t addr[6], char out[SW_MAC_TEXT_SIZE])
{
    std::snprintf(out, SW_MAC_TEXT_SIZE, "%02x%02x.%02x%02x.%02x%02x", addr[0], addr[1], addr[2],
                  addr[3], addr[4], addr[5]);
}

int sw_parse_vlan(const char *text, int &vid)
{
    int v = 0;
    std::size_t n = 0;
    for (; text[n] != '\0'; ++n) {
        // Five digits already exceed the range; stop before v can overflow.
        if (text[n] < '0' || text[n] > '9' || n >= 5)
            return -1;
        v = v * 10 + (text[n] - '0');
    }
    if (n == 0 || v < SW_VLAN_MIN || v > SW_VLAN_MAX)
        return -1;
    vid = v;
    return 0;
}

namespace {

int find_in(const sw_mac_entry *table, int count, int vlan, const std::uint8_t addr[6])
{
    int i = mac_lower_bound(table, count, vlan, addr);
    if (i < count && mac_key_cmp(table[i].vlan, table[i].addr, vlan, addr) == 0)
        return i;
    return -1;
}

} // namespace

int sw_mac_find(const switch_state &st, int vlan, const std::uint8_t addr[6])
{
    return find_in(st.macs, st.mac_count, vlan, addr);
}

int sw_learned_find(const switch_state &st, int vlan, const std::uint8_t addr[6])
{
    return find_in(st.learned, st.learned_count, vlan, addr);
}

int sw_learn(switch_state &st, int vlan, const std::uint8_t addr[6], int port)
{
    if (port < 0 || port >= st.port_count || !sw_has_vlan(st, vlan) || st.learned_count >= SW_MAX_LEARNED ||
        sw_mac_find(st, vlan, addr) >= 0)
        return -1;
    int i = mac_lower_bound(st.learned, st.learned_count, vlan, addr);
    if (i < st.learned_count && mac_key_cmp(st.learned[i].vlan, st.learned[i].addr, vlan, addr) == 0)
        return -1;
    std::memmove(&st.learned[i + 1], &st.learned[i],
                 sizeof st.learned[0] * static_cast<std::size_t>(st.learned_count - i));
    st.learned[i] = sw_mac_entry{static_cast<std::uint16_t>(vlan), {}, static_cast<std::uint16_t>(port)};
    std::memcpy(st.learned[i].addr, addr, 6);
    ++st.learned_count;
    st.dirty = true;
    return 0;
}

int sw_learn_traffic(switch_state &st, int count, unsigned seed)
{
    int up[SW_MAX_PORTS], ups = 0;
    for (int p = 0; p < st.port_count; ++p)
        if (st.ports[p].admin_up)
            up[ups++] = p;
    if (ups == 0 || st.vlan_count == 0 || count <= 0)
        return 0;
    // Appended, then sorted once: inserting each in place would move the
    // table once an entry.
    const int before = st.learned_count;
    std::uint32_t x = seed * 2654435761u + 1;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int tries = 0; st.learned_count - before < count && st.learned_count < SW_MAX_LEARNED && tries < 4 * count;
         ++tries) {
        sw_mac_entry e{st.vlans[next() % static_cast<std::uint32_t>(st.vlan_count)], {},
                       static_cast<std::uint16_t>(up[next() % static_cast<std::uint32_t>(ups)])};
        std::uint32_t hi = next(), lo = next();
        // Globally unique unicast: the two low bits of the first byte clear.
        e.addr[0] = static_cast<std::uint8_t>(hi >> 24 & 0xfc);
        e.addr[1] = static_cast<std::uint8_t>(hi >> 16);
        e.addr[2] = static_cast<std::uint8_t>(hi >> 8);
        e.addr[3] = static_cast<std::uint8_t>(lo >> 16);
        e.addr[4] = static_cast<std::uint8_t>(lo >> 8);
        e.addr[5] = static_cast<std::uint8_t>(lo);
        if (sw_mac_find(st, e.vlan, e.addr) < 0 && find_in(st.learned, before, e.vlan, e.addr) < 0)
            st.learned[st.learned_count++] = e;
    }
    std::sort(st.learned + before, st.learned + st.learned_count, mac_less);
    // A key drawn twice in this round counts once.
    sw_mac_entry *end = std::unique(st.learned + before, st.learned + st.learned_count,
                                    [](const sw_mac_entry &a, const sw_mac_entry &b) { return !mac_less(a, b) && !mac_less(b, a); });
    st.learned_count = static_cast<int>(end - st.learned);
    std::inplace_merge(st.learned, st.learned + before, st.learned + st.learned_count, mac_less);
    if (st.learned_count > before)
        st.dirty = true;
    return st.learned_count - before;
}

mac_set_result sw_mac_set(switch_state &st, int vlan, const std::uint8_t addr[6], int port)
{
    int i = mac_lower_bound(st.macs, st.mac_count, vlan, addr);
    if (i < st.mac_count && mac_key_cmp(st.macs[i].vlan, st.macs[i].addr, vlan, addr) == 0) {
        // The same entry again changes nothing, and nothing is saved.
        if (st.macs[i].port != port) {
            st.macs[i].port = static_cast<std::uint16_t>(port);
            st.dirty = true;
        }
        return mac_set_result::replaced;
    }
    if (st.mac_count >= SW_MAX_MACS)
        return mac_set_result::full;
    // The static entry takes the learned one's place.
    if (int l = sw_learned_find(st, vlan, addr); l >= 0) {
        std::memmove(&st.learned[l], &st.learned[l + 1],
                     sizeof st.learned[0] * static_cast<std::size_t>(st.learned_count - l - 1));
        --st.learned_count;
        st.dirty = true;
    }
    std::memmove(&st.macs[i + 1], &st.macs[i], sizeof st.macs[0] * static_cast<std::size_t>(st.mac_count - i));
    sw_mac_entry &e = st.macs[i];
    e.vlan = static_cast<std::uint16_t>(vlan);
    std::memcpy(e.addr, addr, sizeof e.addr);
    e.port = static_cast<std::uint16_t>(port);
    ++st.mac_count;
    st.dirty = true;
    return mac_set_result::added;
}

int sw_mac_remove(switch_state &st, int vlan, const std::uint8_t addr[6], int port)
{
    int i = sw_mac_find(st, vlan, addr);
    if (i < 0)
        return -1;
    if (port >= 0 && st.macs[i].port != port)
        return -2;
    std::memmove(&st.macs[i], &st.macs[i + 1],
                 sizeof st.macs[0] * static_cast<std::size_t>(st.mac_count - i - 1));
    --st.mac_count;
    st.dirty = true;
    return 0;
}
