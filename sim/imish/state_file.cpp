// Loading, saving and locking the simulated switch's state file.
#include "state_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/file.h>
#include <sys/stat.h>
#include <utility>

#include "line_words.h"

namespace {

constexpr const char *STATE_MAGIC = "imish-state";
constexpr const char *STATE_VERSION = "1";
// A port record with every QoS setting at its widest is about 500 bytes.
constexpr std::size_t STATE_LINE_SIZE = 1024;
constexpr int STATE_MAX_WORDS = 32;
constexpr std::size_t PORT_VALUE_SIZE = 256;
constexpr const char *LOCK_SUFFIX = ".lock";
constexpr const char *TEMP_SUFFIX = ".XXXXXX";

// Value readers of the port keys. Each takes the text at p, advances p past
// what it used and fails on anything else.

// One of the words of a table, ending at a "/", a "," or the end.
template <std::size_t N>
bool take_word(const char *&p, const char *const (&words)[N], std::uint8_t &out)
{
    std::size_t len = std::strcspn(p, "/,");
    for (std::size_t i = 0; i < N; ++i) {
        if (std::strlen(words[i]) == len && std::strncmp(p, words[i], len) == 0) {
            out = static_cast<std::uint8_t>(i);
            p += len;
            return true;
        }
    }
    return false;
}

// A decimal number from min to max, digits only.
bool take_num(const char *&p, std::uint32_t min, std::uint32_t max, std::uint32_t &out)
{
    std::uint64_t v = 0;
    const char *q = p;
    // Ten digits already exceed every max; stop before v can overflow.
    for (; *q >= '0' && *q <= '9' && q - p < 10; ++q)
        v = v * 10 + static_cast<std::uint64_t>(*q - '0');
    if (q == p || (*q >= '0' && *q <= '9') || v < min || v > max)
        return false;
    out = static_cast<std::uint32_t>(v);
    p = q;
    return true;
}

bool take_char(const char *&p, char c)
{
    if (*p != c)
        return false;
    ++p;
    return true;
}

bool take_none(const char *&p)
{
    if (std::strncmp(p, "none", 4) != 0)
        return false;
    p += 4;
    return true;
}

template <std::size_t N>
int parse_word_key(const char *v, const char *const (&words)[N], std::uint8_t &out)
{
    std::uint8_t i;
    if (!take_word(v, words, i) || *v != '\0')
        return -1;
    out = i;
    return 0;
}

int parse_up_down(const char *v, bool &out)
{
    if (std::strcmp(v, "up") != 0 && std::strcmp(v, "down") != 0)
        return -1;
    out = v[0] == 'u';
    return 0;
}

// Writes one word as a key's value.
void put(char *out, std::size_t cap, const char *word)
{
    std::snprintf(out, cap, "%s", word);
}

constexpr char DESC_CHARS[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-";

int parse_desc(sw_port &p, const char *v)
{
    std::size_t n = std::strlen(v);
    if (n >= sizeof p.desc || std::strspn(v, DESC_CHARS) != n)
        return -1;
    std::snprintf(p.desc, sizeof p.desc, "%s", v);
    return 0;
}

int parse_shape(sw_port &p, const char *v)
{
    std::uint32_t rate = 0;
    if (!take_none(v) && !take_num(v, 1, SW_QOS_NUM_MAX, rate))
        return -1;
    if (*v != '\0')
        return -1;
    p.shape_rate = rate;
    return 0;
}

// SW_QUEUES items "none" or "CIR/PIR", comma-separated.
int parse_qshape(sw_port &p, const char *v)
{
    sw_queue q[SW_QUEUES];
    std::memcpy(q, p.queues, sizeof q);
    for (int i = 0; i < SW_QUEUES; ++i) {
        if (i > 0 && !take_char(v, ','))
            return -1;
        q[i].cir = q[i].pir = 0;
        if (!take_none(v) && !(take_num(v, 1, SW_QOS_NUM_MAX, q[i].cir) && take_char(v, '/') &&
                               take_num(v, 1, SW_QOS_NUM_MAX, q[i].pir)))
            return -1;
    }
    if (*v != '\0')
        return -1;
    std::memcpy(p.queues, q, sizeof q);
    return 0;
}

// SW_QUEUES items "CLASS/WEIGHT", comma-separated.
int parse_qclass(sw_port &p, const char *v)
{
    std::uint32_t cls[SW_QUEUES], weight[SW_QUEUES];
    for (int i = 0; i < SW_QUEUES; ++i) {
        if ((i > 0 && !take_char(v, ',')) || !take_num(v, 0, SW_QUEUES - 1, cls[i]) ||
            !take_char(v, '/') || !take_num(v, 1, SW_DRR_WEIGHT_MAX, weight[i]))
            return -1;
    }
    if (*v != '\0')
        return -1;
    for (int i = 0; i < SW_QUEUES; ++i) {
        p.queues[i].cls = static_cast<std::uint8_t>(cls[i]);
        p.queues[i].weight = static_cast<std::uint8_t>(weight[i]);
    }
    return 0;
}

// "none" or "MODE/CIR/CBS/EBS/PIR/PBS/DROP-COLOR/L3".
int parse_policer(sw_policer &out, const char *v)
{
    sw_policer pol{};
    if (!take_none(v)) {
        pol.set = true;
        if (!take_word(v, SW_COLOR_MODE_WORDS, pol.color_mode))
            return -1;
        for (std::uint32_t *n : {&pol.cir, &pol.cbs, &pol.ebs, &pol.pir, &pol.pbs})
            if (!take_char(v, '/') || !take_num(v, 1, SW_QOS_NUM_MAX, *n))
                return -1;
        if (!take_char(v, '/') || !take_word(v, SW_DROP_COLOR_WORDS, pol.drop_color) ||
            !take_char(v, '/') || !take_word(v, SW_L3_WORDS, pol.use_l3))
            return -1;
    }
    if (*v != '\0')
        return -1;
    out = pol;
    return 0;
}

// Writes text at out + used, keeping used within cap.
void append(char *out, std::size_t cap, std::size_t &used, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void append(char *out, std::size_t cap, std::size_t &used, const char *fmt, ...)
{
    if (used >= cap)
        return;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(out + used, cap - used, fmt, ap);
    va_end(ap);
    if (n > 0)
        used = std::min(cap - 1, used + static_cast<std::size_t>(n));
}

void format_qshape(const sw_port &p, char *out, std::size_t cap)
{
    std::size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < SW_QUEUES; ++i) {
        const sw_queue &q = p.queues[i];
        if (q.cir == 0 && q.pir == 0)
            append(out, cap, used, "%snone", i ? "," : "");
        else
            append(out, cap, used, "%s%u/%u", i ? "," : "", q.cir, q.pir);
    }
}

void format_qclass(const sw_port &p, char *out, std::size_t cap)
{
    std::size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < SW_QUEUES; ++i)
        append(out, cap, used, "%s%u/%u", i ? "," : "", p.queues[i].cls, p.queues[i].weight);
}

void format_policer(const sw_policer &pol, char *out, std::size_t cap)
{
    if (!pol.set) {
        std::snprintf(out, cap, "none");
        return;
    }
    std::snprintf(out, cap, "%s/%u/%u/%u/%u/%u/%s/%s", SW_COLOR_MODE_WORDS[pol.color_mode], pol.cir,
                  pol.cbs, pol.ebs, pol.pir, pol.pbs, SW_DROP_COLOR_WORDS[pol.drop_color],
                  SW_L3_WORDS[pol.use_l3]);
}

// Per-port settings as "key=value" words of a port record. A new setting is
// one row here and one member of sw_port.
struct port_key {
    const char *key;
    int (*parse)(sw_port &p, const char *value); // 0, or -1 for a bad value
    void (*format)(const sw_port &p, char *out, std::size_t cap);
};

const port_key PORT_KEYS[] = {
    {"mode",
     [](sw_port &p, const char *v) {
         if (std::strcmp(v, "access") == 0)
             p.mode = port_mode::access;
         else if (std::strcmp(v, "trunk") == 0)
             p.mode = port_mode::trunk;
         else
             return -1;
         return 0;
     },
     [](const sw_port &p, char *out, std::size_t cap) {
         std::snprintf(out, cap, "%s", p.mode == port_mode::trunk ? "trunk" : "access");
     }},
    {"pvid",
     [](sw_port &p, const char *v) {
         int vid;
         if (sw_parse_vlan(v, vid) != 0)
             return -1;
         p.pvid = static_cast<std::uint16_t>(vid);
         return 0;
     },
     [](const sw_port &p, char *out, std::size_t cap) { std::snprintf(out, cap, "%u", p.pvid); }},
    {"admin", [](sw_port &p, const char *v) { return parse_up_down(v, p.admin_up); },
     [](const sw_port &p, char *out, std::size_t cap) { put(out, cap, p.admin_up ? "up" : "down"); }},
    {"link", [](sw_port &p, const char *v) { return parse_up_down(v, p.link_up); },
     [](const sw_port &p, char *out, std::size_t cap) { put(out, cap, p.link_up ? "up" : "down"); }},
    {"duplex", [](sw_port &p, const char *v) { return parse_word_key(v, SW_DUPLEX_WORDS, p.duplex); },
     [](const sw_port &p, char *out, std::size_t cap) { put(out, cap, SW_DUPLEX_WORDS[p.duplex]); }},
    {"speed", [](sw_port &p, const char *v) { return parse_word_key(v, SW_SPEED_WORDS, p.speed); },
     [](const sw_port &p, char *out, std::size_t cap) { put(out, cap, SW_SPEED_WORDS[p.speed]); }},
    {"media", [](sw_port &p, const char *v) { return parse_word_key(v, SW_MEDIA_WORDS, p.media); },
     [](const sw_port &p, char *out, std::size_t cap) { put(out, cap, SW_MEDIA_WORDS[p.media]); }},
    {"desc", parse_desc,
     [](const sw_port &p, char *out, std::size_t cap) { put(out, cap, p.desc); }},
    {"shape", parse_shape,
     [](const sw_port &p, char *out, std::size_t cap) {
         if (p.shape_rate == 0)
             std::snprintf(out, cap, "none");
         else
             std::snprintf(out, cap, "%u", p.shape_rate);
     }},
    {"qshape", parse_qshape, format_qshape},
    {"qclass", parse_qclass, format_qclass},
    {"police-in", [](sw_port &p, const char *v) { return parse_policer(p.policer[SW_POLICER_IN], v); },
     [](const sw_port &p, char *out, std::size_t cap) {
         format_policer(p.policer[SW_POLICER_IN], out, cap);
     }},
    {"police-out", [](sw_port &p, const char *v) { return parse_policer(p.policer[SW_POLICER_OUT], v); },
     [](const sw_port &p, char *out, std::size_t cap) {
         format_policer(p.policer[SW_POLICER_OUT], out, cap);
     }},
};

void set_err(char *err, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void set_err(char *err, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(err, STATE_ERR_SIZE, fmt, ap);
    va_end(ap);
}

// mkdir -p: each missing component of dir is created in turn.
int make_dirs(const char *dir)
{
    char path[STATE_PATH_SIZE];
    std::snprintf(path, sizeof path, "%s", dir);
    for (char *p = path + 1;; ++p) {
        if (*p != '/' && *p != '\0')
            continue;
        char saved = *p;
        *p = '\0';
        if (mkdir(path, 0755) != 0 && errno != EEXIST)
            return -1;
        if (saved == '\0')
            return 0;
        *p = saved;
    }
}

int parse_port(switch_state &st, char **w, int n)
{
    if (n < 2 || sw_add_port(st, w[1]) != 0)
        return -1;
    sw_port &p = st.ports[st.port_count - 1];
    for (int i = 2; i < n; ++i) {
        char *eq = std::strchr(w[i], '=');
        if (!eq)
            return -1;
        *eq = '\0';
        const port_key *k = nullptr;
        for (const port_key &row : PORT_KEYS)
            if (std::strcmp(row.key, w[i]) == 0)
                k = &row;
        if (!k || k->parse(p, eq + 1) != 0)
            return -1;
    }
    return 0;
}

int parse_vlan(switch_state &st, char **w, int n)
{
    int vid;
    if (n != 2 || sw_parse_vlan(w[1], vid) != 0 || sw_has_vlan(st, vid))
        return -1;
    return sw_add_vlan(st, vid);
}

int parse_qos(switch_state &st, char **w, int n)
{
    if (n != 2 || (std::strcmp(w[1], "enable") != 0 && std::strcmp(w[1], "disable") != 0))
        return -1;
    st.qos_enabled = w[1][0] == 'e';
    return 0;
}

// A static ("mac") or learned entry; either key may stand only once.
int parse_mac(switch_state &st, char **w, int n)
{
    int vid, port;
    std::uint8_t addr[6];
    if (n != 4 || sw_parse_vlan(w[1], vid) != 0 || !sw_has_vlan(st, vid) ||
        sw_parse_mac(w[2], addr) != 0 || (port = sw_find_port(st, w[3])) < 0 ||
        sw_mac_find(st, vid, addr) >= 0 || sw_learned_find(st, vid, addr) >= 0)
        return -1;
    if (w[0][0] == 'l')
        return sw_learn(st, vid, addr, port);
    return sw_mac_set(st, vid, addr, port) == mac_set_result::added ? 0 : -1;
}

void write_entries(FILE *f, const switch_state &st, const char *word, const sw_mac_entry *table, int count)
{
    for (int i = 0; i < count; ++i) {
        char mac[SW_MAC_TEXT_SIZE];
        sw_format_mac(table[i].addr, mac);
        std::fprintf(f, "%s %u %s %s\n", word, table[i].vlan, mac, st.ports[table[i].port].name);
    }
}

int write_state(FILE *f, const switch_state &st)
{
    std::fprintf(f, "# simulated switch state, rewritten by every imish run that changes it\n");
    std::fprintf(f, "%s %s\n", STATE_MAGIC, STATE_VERSION);
    std::fprintf(f, "qos %s\n", st.qos_enabled ? "enable" : "disable");
    for (int i = 0; i < st.port_count; ++i) {
        const sw_port &p = st.ports[i];
        std::fprintf(f, "port %s", p.name);
        for (const port_key &k : PORT_KEYS) {
            char value[PORT_VALUE_SIZE];
            k.format(p, value, sizeof value);
            std::fprintf(f, " %s=%s", k.key, value);
        }
        std::fputc('\n', f);
    }
    for (int i = 0; i < st.vlan_count; ++i)
        std::fprintf(f, "vlan %u\n", st.vlans[i]);
    write_entries(f, st, "mac", st.macs, st.mac_count);
    write_entries(f, st, "learned", st.learned, st.learned_count);
    if (std::fflush(f) != 0 || std::ferror(f))
        return -1;
    return fsync(fileno(f));
}

} // namespace

int state_paths_init(state_paths &p)
{
    const char *env = std::getenv("SIM_SWITCH_STATE");
    const char *path = env && *env ? env : STATE_DEFAULT_PATH;
    std::size_t n = std::strlen(path);
    std::size_t room = STATE_PATH_SIZE - 1 - std::strlen(LOCK_SUFFIX);
    if (n == 0 || n > room || path[n - 1] == '/')
        return -1;
    std::snprintf(p.state, sizeof p.state, "%s", path);
    std::snprintf(p.lock, sizeof p.lock, "%s%s", path, LOCK_SUFFIX);
    const char *slash = std::strrchr(path, '/');
    if (!slash)
        std::snprintf(p.dir, sizeof p.dir, ".");
    else if (slash == path)
        std::snprintf(p.dir, sizeof p.dir, "/");
    else
        std::snprintf(p.dir, sizeof p.dir, "%.*s", static_cast<int>(slash - path), path);
    return 0;
}

int state_lock(const state_paths &p, bool exclusive, unique_fd &fd)
{
    if (make_dirs(p.dir) != 0)
        return -1;
    unique_fd f(open(p.lock, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    // A reader may lack write permission on a lock file made by someone else.
    if (!f.ok() && !exclusive)
        f.reset(open(p.lock, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!f.ok())
        return -1;
    int rc;
    while ((rc = flock(f.get(), exclusive ? LOCK_EX : LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (rc != 0)
        return -1;
    fd = std::move(f);
    return 0;
}

int state_load(const state_paths &p, switch_state &st, char *err)
{
    unique_file f = open_stream(p.state, O_RDONLY, "r");
    if (!f.ok()) {
        if (errno == ENOENT) {
            sw_fresh(st);
            return 0;
        }
        set_err(err, "cannot read %s: %s", p.state, std::strerror(errno));
        return -1;
    }
    sw_clear(st);
    st.qos_enabled = true; // the factory setting, for a file without a qos record
    char line[STATE_LINE_SIZE];
    std::size_t len;
    line_status ls;
    bool versioned = false;
    for (int lineno = 1; (ls = read_line(f.get(), line, sizeof line, len)) != line_status::end; ++lineno) {
        char *w[STATE_MAX_WORDS];
        int n = ls == line_status::ok && std::strlen(line) == len ? split_words(line, w, STATE_MAX_WORDS) : -1;
        if (n == 0 || (n > 0 && w[0][0] == '#'))
            continue;
        int rc = -1;
        if (n < 0)
            rc = -1;
        else if (!versioned)
            rc = n == 2 && std::strcmp(w[0], STATE_MAGIC) == 0 && std::strcmp(w[1], STATE_VERSION) == 0 ? 0 : -1;
        else if (std::strcmp(w[0], "port") == 0)
            rc = parse_port(st, w, n);
        else if (std::strcmp(w[0], "vlan") == 0)
            rc = parse_vlan(st, w, n);
        else if (std::strcmp(w[0], "qos") == 0)
            rc = parse_qos(st, w, n);
        else if (std::strcmp(w[0], "mac") == 0 || std::strcmp(w[0], "learned") == 0)
            rc = parse_mac(st, w, n);
        if (rc != 0) {
            set_err(err, "%s is damaged at line %d", p.state, lineno);
            return -1;
        }
        versioned = true;
    }
    if (std::ferror(f.get())) {
        set_err(err, "cannot read %s", p.state);
        return -1;
    }
    if (!versioned) {
        set_err(err, "%s is empty", p.state);
        return -1;
    }
    st.dirty = false;
    return 0;
}

int state_save(const state_paths &p, const switch_state &st, char *err)
{
    char tmp[STATE_PATH_SIZE + 8];
    std::snprintf(tmp, sizeof tmp, "%s%s", p.state, TEMP_SUFFIX);
    unique_fd fd(mkostemp(tmp, O_CLOEXEC));
    if (!fd.ok()) {
        set_err(err, "cannot create a file in %s: %s", p.dir, std::strerror(errno));
        return -1;
    }
    fchmod(fd.get(), 0644);
    unique_file f(fdopen(fd.get(), "w"));
    if (f.ok())
        fd.release();
    if (!f.ok() || write_state(f.get(), st) != 0 || std::fclose(f.release()) != 0 ||
        std::rename(tmp, p.state) != 0) {
        set_err(err, "cannot write %s: %s", p.state, std::strerror(errno));
        unlink(tmp);
        return -1;
    }
    return 0;
}

int state_remove(const state_paths &p)
{
    if (unlink(p.state) != 0 && errno != ENOENT)
        return -1;
    return 0;
}
