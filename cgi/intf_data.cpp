// Interface names, interface status rows and QoS values for the interface and QoS pages.
#include "intf_data.h"

#include "cli_runner.h"
#include "text_util.h"
#include "unique_fd.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

// ---- Interface data: port naming table and interface row counters ----------

port_prefix_info port_prefix_table;
std::uint32_t intf_seq_slot0 = 0;
std::uint32_t intf_seq_other = 0;

namespace {

// ---- Port naming ------------------------------------------------------------

// Lines of the port info file are read in pieces of at most 127 characters.
constexpr std::size_t PORT_INFO_LINE_SIZE = 128;
constexpr char DEFAULT_PORT_CONNECTION = '-';
constexpr char DEFAULT_SUB_PORT_CONNECTION = '/';
constexpr char DEFAULT_PREFIX[] = "eth-";
constexpr const char *COPPER_MEDIA[] = {"1000BASE_T", "10BASE_T", "100BASE_TX", "10GBASE_T"};

// One "%d" of scanf: blanks, a sign and at least one digit, saturated to 32
// bits where scanf would be undefined. Returns the end of the number, or null
// (out untouched) when there is none.
const char *scan_int(const char *p, std::int32_t *out)
{
    char *end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p)
        return nullptr;
    *out = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(v);
    return end;
}

// atoi rules: 0 when no number starts the text.
std::int32_t dec_atoi(const char *text)
{
    std::int32_t v = 0;
    scan_int(text, &v);
    return v;
}

const char *skip_digits(const char *p)
{
    while (std::isdigit(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// The pattern "eth-%d-%d": true with slot and port set when both are read.
bool scan_eth_name(const char *text, std::int32_t *slot, std::int32_t *port)
{
    std::int32_t s, p;
    if (std::strncmp(text, DEFAULT_PREFIX, sizeof DEFAULT_PREFIX - 1) != 0)
        return false;
    const char *at = scan_int(text + sizeof DEFAULT_PREFIX - 1, &s);
    if (!at || *at != '-' || !scan_int(at + 1, &p))
        return false;
    *slot = s;
    *port = p;
    return true;
}

// ---- HDF stores -------------------------------------------------------------

constexpr std::size_t HDF_KEY_SIZE = 64;
constexpr char STATUS_DELIMS[] = " \t\r\n";
constexpr std::uint32_t STATUS_MAX_WORDS = 128;

// 0 when stored, -1 when ClearSilver refused (its error is released).
int store(struct _cgi *cgi, const char *key, const char *value)
{
    NEOERR *err = hdf_set_value(cgi->hdf, key, value);
    if (err == STATUS_OK)
        return 0;
    nerr_ignore(&err);
    return -1;
}

int storef(struct _cgi *cgi, const char *value, const char *key_fmt, ...)
    __attribute__((format(printf, 3, 4)));
int storef(struct _cgi *cgi, const char *value, const char *key_fmt, ...)
{
    char key[HDF_KEY_SIZE];
    va_list ap;
    va_start(ap, key_fmt);
    std::vsnprintf(key, sizeof key, key_fmt, ap);
    va_end(ap);
    return store(cgi, key, value);
}

// ---- Interface status lines -----------------------------------------------

// Column positions of a status line, counted from 0 before the shift.
enum status_word : std::uint32_t {
    W_NAME = 0,
    W_STATUS = 1,
    W_DUPLEX = 2,
    W_SPEED = 3,
    W_MODE = 4,
    W_MEDIA = 5,
    W_DESC = 6,
};

// A split status line: the words, and a shift of one when the status is
// "admin down". split() is true when the line has every column up to the
// media type.
struct status_words {
    token_split words;
    std::uint32_t shift = 0;

    bool split(const char *line)
    {
        if (words.split(line, STATUS_MAX_WORDS, STATUS_DELIMS) != 0)
            return false;
        shift = words.count() > W_STATUS && strcasecmp(words[W_STATUS], "admin") == 0 ? 1 : 0;
        return words.count() >= W_MEDIA + 1 + shift;
    }
    const char *at(std::uint32_t col) const { return words[col == W_NAME ? W_NAME : col + shift]; }
    const char *status() const { return shift ? "admindown" : words[W_STATUS]; }
    bool has_desc() const { return words.count() > W_DESC + shift; }
};

bool port_selected(const port_set *set, std::int32_t port)
{
    return set && port >= 0 && port < PORT_SET_SIZE && (set->entries[port].flags & PORT_SELECTED);
}

// Bounded by the caller's promise that buf holds the whole line.
void copy_word(char *buf, std::size_t cap, const char *word)
{
    if (buf)
        std::snprintf(buf, cap, "%s", word);
}

// ---- QoS --------------------------------------------------------------------

constexpr char QOS_SHOW_CMD[] = "show qos";
constexpr char QOS_PORT_CMD_FMT[] = "show web qos interface eth-%d-%d";
constexpr char QOS_POLICER_CMD_FMT[] = "show web qos policer interface eth-%d-%d";
constexpr char QOS_CLASS_ERROR_FMT[] =
    "Failed to map queue to class. Packets in queue %d cannot be cleared. Please retry later.";

// "%255s" for the words of a QOS_LINE_SIZE line: a word always fits.
constexpr std::size_t QOS_WORD_SIZE = QOS_LINE_SIZE;
#define QOS_WORD "%255s"
static_assert(QOS_WORD_SIZE == 256, "QOS_WORD must match QOS_WORD_SIZE");

// The common end of the per-port loaders; a null list is the empty one.
int store_ifname(struct _cgi *cgi, const char *list)
{
    return store(cgi, "Interface.ifname", list ? list : "");
}

unique_file open_result()
{
    return open_stream(cli_result_path(), O_RDONLY, "r");
}

// The common start of the per-port loaders: the interface table with the
// list's selection (a null list is the empty one), "qos_enable", then the
// per-port show of the first selected port (an empty command when none is).
// Returns the show's result, open for reading.
unique_file qos_port_show(struct _cgi *cgi, const char *list, const char *cmd_fmt)
{
    if (!list)
        list = "";
    port_set set{};
    port_set_parse(list, &set);
    intf_status_load(cgi, &set);
    qos_enable_load(cgi);
    char cmd[QOS_CMD_SIZE] = "";
    for (int i = 0; i < PORT_SET_SIZE; ++i) {
        if (set.entries[i].flags & PORT_SELECTED) {
            std::snprintf(cmd, sizeof cmd, cmd_fmt, set.entries[i].slot, i);
            break;
        }
    }
    cli_run_show(cmd, nullptr, 0);
    return open_result();
}

// "Queue %d none" where none is a whole word, so that another kind of queue
// line is not taken for one.
bool scan_queue_none(const char *line, int *queue)
{
    int end = -1;
    if (std::sscanf(line, "Queue %d none%n", queue, &end) != 1 || end < 0)
        return false;
    return line[end] == '\0' || std::isspace(static_cast<unsigned char>(line[end]));
}

} // namespace

// ---- Port naming table and interface names ---------------------------------

int port_prefix_load()
{
    port_prefix_info &t = port_prefix_table;
    t.port_connection = DEFAULT_PORT_CONNECTION;
    t.sub_port_connection = DEFAULT_SUB_PORT_CONNECTION;
    t.prefix_count = 0;

    // Published by another program: read as any reader reads it, through a link.
    unique_file f = open_read(PORT_INFO_PATH);
    if (f.ok()) {
        char line[PORT_INFO_LINE_SIZE];
        char a, b;
        // The first line is used up whether or not it holds the characters.
        if (std::fgets(line, sizeof line, f.get()) &&
            std::sscanf(line, "port_connection %c sub_port_connection %c", &a, &b) == 2) {
            t.port_connection = a;
            t.sub_port_connection = b;
        }
        char shortw[PORT_INFO_LINE_SIZE], longw[PORT_INFO_LINE_SIZE];
        while (t.prefix_count < PORT_PREFIX_MAX && std::fgets(line, sizeof line, f.get())) {
            if (std::sscanf(line, "prefix %127s full_prefix %127s", shortw, longw) != 2)
                continue;
            port_prefix_entry &e = t.entries[t.prefix_count++];
            // Longer words are cut to the entry's widths.
            std::snprintf(e.prefix, sizeof e.prefix, "%.*s", int(sizeof e.prefix - 1), shortw);
            std::snprintf(e.full_prefix, sizeof e.full_prefix, "%.*s", int(sizeof e.full_prefix - 1),
                          longw);
        }
    }
    if (t.prefix_count == 0) {
        std::snprintf(t.entries[0].prefix, sizeof t.entries[0].prefix, "%s", DEFAULT_PREFIX);
        std::snprintf(t.entries[0].full_prefix, sizeof t.entries[0].full_prefix, "%s", DEFAULT_PREFIX);
        t.prefix_count = 1;
    }
    return 0;
}

int port_name_is_known(const char *name)
{
    if (!name)
        return 0;
    for (int i = 0; i < port_prefix_table.prefix_count && i < PORT_PREFIX_MAX; ++i) {
        const port_prefix_entry &e = port_prefix_table.entries[i];
        if (strncasecmp(name, e.prefix, std::strlen(e.prefix)) == 0 ||
            strncasecmp(name, e.full_prefix, std::strlen(e.full_prefix)) == 0)
            return 1;
    }
    return 0;
}

int port_name_parse(const char *name, std::int32_t *slot, std::int32_t *port, std::int32_t *sub_port)
{
    if (!name || !slot || !port || !sub_port)
        return -1;
    const char *p = nullptr;
    for (int i = 0; i < port_prefix_table.prefix_count && i < PORT_PREFIX_MAX; ++i) {
        const char *prefix = port_prefix_table.entries[i].prefix;
        std::size_t len = std::strlen(prefix);
        if (std::strncmp(name, prefix, len) == 0) {
            p = name + len;
            break;
        }
    }
    if (!p)
        return 0;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return -1;
    *slot = dec_atoi(p);
    p = skip_digits(p);
    if (*p == '\0')
        return -1;
    ++p; // the port connection, whichever character it is
    *port = dec_atoi(p);
    p = skip_digits(p);
    if (*p == '\0' || *p == '\n') {
        *sub_port = 0;
        return 0;
    }
    *sub_port = dec_atoi(p + 1);
    return 0;
}

int media_is_sfp(const char *media)
{
    if (!media)
        return 1;
    for (const char *copper : COPPER_MEDIA)
        if (strcasecmp(media, copper) == 0)
            return 0;
    return 1;
}

// ---- Interface status parsing ---------------------------------------------

int port_set_parse(const char *list, port_set *set)
{
    if (!set)
        return -1;
    token_split entries;
    if (entries.split(list, PORT_SET_SIZE, ",") != 0)
        return -1;
    for (std::uint32_t i = 0; i < entries.count(); ++i) {
        std::int32_t slot, port;
        if (!scan_eth_name(entries[i], &slot, &port) || port < 0 || port >= PORT_SET_SIZE)
            continue;
        port_set_entry &e = set->entries[port];
        e.slot = slot;
        e.port = port;
        e.flags |= PORT_SELECTED;
        ++set->count;
    }
    return 0;
}

int intf_status_to_hdf(struct _cgi *cgi, const char *line, const port_set *set)
{
    status_words w;
    if (!cgi || !line || !w.split(line))
        return -1;
    std::int32_t slot, port;
    if (!scan_eth_name(w.at(W_NAME), &slot, &port))
        return 0;
    std::uint32_t row = slot == 0 ? ++intf_seq_slot0 : ++intf_seq_other;
    const char *media = w.at(W_MEDIA);
    const bool sfp = strcasecmp(media, "Unknown") == 0 || media_is_sfp(media);

    storef(cgi, w.at(W_NAME), "intf.slot%d.%u.name", slot, row);
    storef(cgi, w.status(), "intf.slot%d.%u.pstatus", slot, row);
    storef(cgi, port_selected(set, port) ? "yes" : "no", "intf.slot%d.%u.select", slot, row);
    storef(cgi, sfp ? "yes" : "no", "intf.slot%d.%u.issfp", slot, row);
    storef(cgi, w.at(W_DUPLEX), "intf.slot%d.%u.duplex", slot, row);
    storef(cgi, w.at(W_SPEED), "intf.slot%d.%u.speed", slot, row);
    storef(cgi, w.at(W_MODE), "intf.slot%d.%u.mode", slot, row);
    storef(cgi, media, "intf.slot%d.%u.type", slot, row);
    if (w.has_desc())
        storef(cgi, w.at(W_DESC), "intf.slot%d.%u.desc", slot, row);
    return 0;
}

int intf_status_read(struct _cgi *cgi, const port_set *set)
{
    unique_file f = open_result();
    if (!f.ok())
        return -1;
    char line[INTF_STATUS_LINE_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        std::size_t n = std::strlen(line);
        if (n > 0 && line[n - 1] == '\n')
            line[--n] = '\0';
        if (n > 0 && line[n - 1] == '\r')
            line[--n] = '\0';
        if (n == 0 || line[0] == '#')
            continue;
        if (strncasecmp(line, "eth-", 4) != 0 || intf_status_to_hdf(cgi, line, set) != 0)
            break;
    }
    return 0;
}

int intf_status_load(struct _cgi *cgi, const port_set *set)
{
    cli_append_cmd("show interface status | include eth-");
    cli_exec_show();
    intf_status_read(cgi, set);
    return 0;
}

int port_status_parse(const char *line, char *name, std::int32_t *slot, std::int32_t *port,
                      std::int32_t *sub_port, char *status, char *duplex, char *speed, char *mode,
                      char *media)
{
    if (!line)
        return -1;
    status_words w;
    if (!w.split(line))
        return -1;
    if (slot && port && sub_port && port_name_parse(w.at(W_NAME), slot, port, sub_port) != 0)
        return -1;
    const std::size_t cap = std::strlen(line) + 1;
    copy_word(name, cap, w.at(W_NAME));
    copy_word(status, cap, w.status());
    copy_word(duplex, cap, w.at(W_DUPLEX));
    copy_word(speed, cap, w.at(W_SPEED));
    copy_word(mode, cap, w.at(W_MODE));
    copy_word(media, cap, w.at(W_MEDIA));
    return 0;
}

// ---- QoS page data ----------------------------------------------------------

void qos_enable_load(struct _cgi *cgi)
{
    cli_run_show(QOS_SHOW_CMD, nullptr, 0);
    unique_file f = open_result();
    if (!f.ok())
        return;
    bool enabled = false;
    char line[QOS_LINE_SIZE];
    while (std::fgets(line, sizeof line, f.get()))
        enabled = enabled || std::strstr(line, "Enable");
    store(cgi, "qos_enable", enabled ? "enable" : "disable");
}

int queue_shape_set(struct _cgi *cgi, std::int32_t queue, const char *cir, const char *pir)
{
    storef(cgi, pir, "queue.%d.pir", queue);
    storef(cgi, cir, "queue.%d.cir", queue);
    return 0;
}

int qos_shape_load(struct _cgi *cgi, const char *list)
{
    unique_file f = qos_port_show(cgi, list, QOS_PORT_CMD_FMT);
    if (!f.ok())
        return 0;
    char line[QOS_LINE_SIZE];
    char cir[QOS_WORD_SIZE], pir[QOS_WORD_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        int q;
        if (std::sscanf(line, "Queue %d shape with CIR " QOS_WORD " kbps PIR " QOS_WORD " kbps", &q,
                        cir, pir) == 3)
            queue_shape_set(cgi, q, cir, pir);
        else if (scan_queue_none(line, &q))
            queue_shape_set(cgi, q, nullptr, nullptr);
        else if (std::sscanf(line, "shape average rate " QOS_WORD, cir) == 1)
            store(cgi, "shape.rate", cir);
    }
    return store_ifname(cgi, list);
}

int policer_set(struct _cgi *cgi, const char *direction, const char *color_mode, const char *cir,
                const char *cbs, const char *ebs, const char *pir, const char *pbs,
                const char *drop_color, const char *use_l3_length)
{
    const char *dir = direction && std::strncmp(direction, "Input", 5) == 0 ? "input" : "output";
    storef(cgi, color_mode, "%s_color_mode", dir);
    storef(cgi, cir, "%s_cir", dir);
    storef(cgi, cbs, "%s_cbs", dir);
    storef(cgi, ebs, "%s_ebs", dir);
    storef(cgi, pir, "%s_pir", dir);
    storef(cgi, pbs, "%s_pbs", dir);
    storef(cgi, drop_color, "%s_drop_color", dir);
    storef(cgi, use_l3_length, "%s_use_l3_length", dir);
    return 0;
}

// Stores the policer defaults, then the values of each policer line of f.
// -1 (nothing stored) when f is not open, else 0.
static int policer_lines(struct _cgi *cgi, const unique_file &f)
{
    if (!f.ok())
        return -1;
    store(cgi, "input_color_mode", "color-blind");
    store(cgi, "input_drop_color", "red");
    store(cgi, "input_use_l3_length", "NO");
    store(cgi, "output_color_mode", "color-blind");
    store(cgi, "output_drop_color", "red");
    store(cgi, "output_use_l3_length", "NO");
    char line[QOS_LINE_SIZE];
    char w[9][QOS_WORD_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        if (std::sscanf(line,
                        QOS_WORD " " QOS_WORD " cir " QOS_WORD " cbs " QOS_WORD " ebs " QOS_WORD
                                 " pir " QOS_WORD " pbs " QOS_WORD " drop-color " QOS_WORD " " QOS_WORD,
                        w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8]) == 9)
            policer_set(cgi, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8]);
    }
    return 0;
}

// A policer file may be published by another program, and a link there is
// normal on a firmware: it is read as any reader reads it.
int policer_read(struct _cgi *cgi, const char *path)
{
    return policer_lines(cgi, open_read(path));
}

int qos_policer_load(struct _cgi *cgi, const char *list)
{
    qos_port_show(cgi, list, QOS_POLICER_CMD_FMT);
    // The CLI result is the page's own scratch file: no link is followed there.
    policer_lines(cgi, open_result());
    return store_ifname(cgi, list);
}

int queue_class_set(struct _cgi *cgi, std::int32_t queue, const char *cls, const char *weight,
                    int check, char *err, const qos_class_row *expected)
{
    if (check) {
        if (!expected || queue < 0 || queue >= QOS_QUEUE_COUNT)
            return -1;
        if (expected[queue][0] != (cls ? cls[0] : '\0')) {
            if (err)
                std::snprintf(err, ERR_TEXT_SIZE, QOS_CLASS_ERROR_FMT, queue);
            return -1;
        }
    }
    storef(cgi, weight, "queue.%d.drrweight", queue);
    storef(cgi, cls, "queue.%d.class", queue);
    return 0;
}

int qos_class_load(struct _cgi *cgi, const char *list, int check, char *err,
                   const qos_class_row *expected)
{
    unique_file f = qos_port_show(cgi, list, QOS_PORT_CMD_FMT);
    if (!f.ok())
        return 0;
    char line[QOS_LINE_SIZE];
    char cls[QOS_WORD_SIZE], weight[QOS_WORD_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        int q;
        if (std::sscanf(line, "Queue %d class " QOS_WORD " DRR weight " QOS_WORD, &q, cls, weight) == 3)
            queue_class_set(cgi, q, cls, weight, check, err, expected);
    }
    return store_ifname(cgi, list);
}
