// QoS page data: reads the switch's QoS show output for a port into the page's values.
#include "qos_data.h"

#include "cgi_value.h"
#include "cli_runner.h"
#include "intf_status.h"
#include "unique_fd.h"
#include "web_state.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace {

constexpr char QOS_SHOW_CMD[] = "show qos";
constexpr char QOS_PORT_CMD_FMT[] = "show web qos interface eth-%d-%d";
constexpr char QOS_POLICER_CMD_FMT[] = "show web qos policer interface eth-%d-%d";
constexpr char QOS_CLASS_ERROR_FMT[] =
    "Failed to map queue to class. Packets in queue %d cannot be cleared. Please retry later.";

// "%255s" for the words of a QOS_LINE_SIZE line: a word always fits.
constexpr std::size_t QOS_WORD_SIZE = QOS_LINE_SIZE;
#define QOS_WORD "%255s"
static_assert(QOS_WORD_SIZE == 256, "QOS_WORD must match QOS_WORD_SIZE");

// One direction's policer, in the order a policer line gives its words.
struct policer {
    const char *direction; // "Input..." for the input policer, anything else for output
    const char *color_mode;
    const char *cir, *cbs, *ebs, *pir, *pbs;
    const char *drop_color;
    const char *use_l3_length;
};

// The words of one policer line, each with room for a whole line.
struct policer_line {
    char direction[QOS_WORD_SIZE], color_mode[QOS_WORD_SIZE];
    char cir[QOS_WORD_SIZE], cbs[QOS_WORD_SIZE], ebs[QOS_WORD_SIZE], pir[QOS_WORD_SIZE],
        pbs[QOS_WORD_SIZE];
    char drop_color[QOS_WORD_SIZE], use_l3_length[QOS_WORD_SIZE];

    bool scan(const char *line)
    {
        return std::sscanf(line,
                           QOS_WORD " " QOS_WORD " cir " QOS_WORD " cbs " QOS_WORD " ebs " QOS_WORD
                                    " pir " QOS_WORD " pbs " QOS_WORD " drop-color " QOS_WORD
                                    " " QOS_WORD,
                           direction, color_mode, cir, cbs, ebs, pir, pbs, drop_color,
                           use_l3_length) == 9;
    }
    policer values() const
    {
        return {direction, color_mode, cir, cbs, ebs, pir, pbs, drop_color, use_l3_length};
    }
};

void policer_store(struct _cgi *cgi, const policer &p)
{
    const char *dir = p.direction && std::strncmp(p.direction, "Input", 5) == 0 ? "input" : "output";
    // A value that cannot be stored (no memory) is left out: these loaders
    // report what they read, not what the data set took.
    cgi_setf(cgi, p.color_mode, "%s_color_mode", dir);
    cgi_setf(cgi, p.cir, "%s_cir", dir);
    cgi_setf(cgi, p.cbs, "%s_cbs", dir);
    cgi_setf(cgi, p.ebs, "%s_ebs", dir);
    cgi_setf(cgi, p.pir, "%s_pir", dir);
    cgi_setf(cgi, p.pbs, "%s_pbs", dir);
    cgi_setf(cgi, p.drop_color, "%s_drop_color", dir);
    cgi_setf(cgi, p.use_l3_length, "%s_use_l3_length", dir);
}

// Stores the policer defaults, then the values of each policer line of f.
// -1 (nothing stored) when f is not open, else 0.
int policer_lines(struct _cgi *cgi, const unique_file &f)
{
    if (!f.ok())
        return -1;
    // Defaults left out for want of memory: as policer_store says.
    cgi_set(cgi, "input_color_mode", "color-blind");
    cgi_set(cgi, "input_drop_color", "red");
    cgi_set(cgi, "input_use_l3_length", "NO");
    cgi_set(cgi, "output_color_mode", "color-blind");
    cgi_set(cgi, "output_drop_color", "red");
    cgi_set(cgi, "output_use_l3_length", "NO");
    char line[QOS_LINE_SIZE];
    policer_line words;
    while (std::fgets(line, sizeof line, f.get()))
        if (words.scan(line))
            policer_store(cgi, words.values());
    return 0;
}

// The common end of the per-port loaders; a null list is the empty one.
int store_ifname(struct _cgi *cgi, const char *list)
{
    return cgi_set(cgi, "Interface.ifname", list ? list : "") ? 0 : -1;
}

// The CLI result is the page's own scratch file: no link is followed there.
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

// Hands each line of the per-port show of the first selected port to take,
// then stores "Interface.ifname"; 0 without either when the output cannot be
// read.
template <typename Take> int qos_port_lines(struct _cgi *cgi, const char *list, Take take)
{
    unique_file f = qos_port_show(cgi, list, QOS_PORT_CMD_FMT);
    if (!f.ok())
        return 0;
    char line[QOS_LINE_SIZE];
    while (std::fgets(line, sizeof line, f.get()))
        take(line);
    return store_ifname(cgi, list);
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
    // Left out for want of memory, the page shows QoS as unknown.
    cgi_set(cgi, "qos_enable", enabled ? "enable" : "disable");
}

int queue_shape_set(struct _cgi *cgi, std::int32_t queue, const char *cir, const char *pir)
{
    // Always 0: a value the data set cannot take is left out, as policer_store says.
    cgi_setf(cgi, pir, "queue.%d.pir", queue);
    cgi_setf(cgi, cir, "queue.%d.cir", queue);
    return 0;
}

int qos_shape_load(struct _cgi *cgi, const char *list)
{
    char cir[QOS_WORD_SIZE], pir[QOS_WORD_SIZE];
    return qos_port_lines(cgi, list, [&](const char *line) {
        int q;
        if (std::sscanf(line, "Queue %d shape with CIR " QOS_WORD " kbps PIR " QOS_WORD " kbps", &q,
                        cir, pir) == 3)
            queue_shape_set(cgi, q, cir, pir);
        else if (scan_queue_none(line, &q))
            queue_shape_set(cgi, q, nullptr, nullptr);
        else if (std::sscanf(line, "shape average rate " QOS_WORD, cir) == 1)
            cgi_set(cgi, "shape.rate", cir);   // left out for want of memory, as above
    });
}

int policer_set(struct _cgi *cgi, const char *direction, const char *color_mode, const char *cir,
                const char *cbs, const char *ebs, const char *pir, const char *pbs,
                const char *drop_color, const char *use_l3_length)
{
    policer_store(cgi, {direction, color_mode, cir, cbs, ebs, pir, pbs, drop_color, use_l3_length});
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
    // 0 for a row that passed the check; a value the data set cannot take
    // is left out, as policer_store says.
    cgi_setf(cgi, weight, "queue.%d.drrweight", queue);
    cgi_setf(cgi, cls, "queue.%d.class", queue);
    return 0;
}

int qos_class_load(struct _cgi *cgi, const char *list, int check, char *err,
                   const qos_class_row *expected)
{
    char cls[QOS_WORD_SIZE], weight[QOS_WORD_SIZE];
    return qos_port_lines(cgi, list, [&](const char *line) {
        int q;
        if (std::sscanf(line, "Queue %d class " QOS_WORD " DRR weight " QOS_WORD, &q, cls, weight) == 3)
            queue_class_set(cgi, q, cls, weight, check, err, expected);
    });
}
