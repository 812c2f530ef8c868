// Monitor graph configuration: template and stored-graph loaders, accessors,
// the stored-graph writer and the console dump.
#include "monitor_graph.h"

#include "sys_info.h"
#include "text_util.h"
#include "unique_fd.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

// ---- Monitor graph tables ---------------------------------------------------

data_item_rec data_item_table[MONITOR_TYPE_COUNT][MONITOR_REC_COUNT];
graph_rec graph_table[MONITOR_TYPE_COUNT][MONITOR_REC_COUNT];
int latency_bounds[LATENCY_BOUND_COUNT] = {0, 400, 600, 700, 800, 1000, 2000, 4096};

namespace {

struct type_files {
    const char *data_items; // null: none
    const char *graphs;
};

// Per type: its data item template and its graph source (type 4 is chosen
// at load time).
constexpr std::array<type_files, MONITOR_TYPE_COUNT> TYPE_FILES = {{
    {"/var/www/data_template/web_data_latency_list.conf",
     "/var/www/data_template/web_graph_latency_list.conf"},
    {"/var/www/data_template/web_data_buffer_list.conf",
     "/var/www/data_template/web_graph_buffer_list.conf"},
    {nullptr, nullptr},
    {"/var/www/data_template/web_data_system_list.conf",
     "/var/www/data_template/web_graph_system_list.conf"},
    {nullptr, nullptr},
}};

constexpr std::uint32_t FIELD_MAX = 128;
constexpr std::uint32_t RECORD_FIELDS = 7;
constexpr const char *NO_NAME = "NULL";
constexpr const char *CONSOLE_PATH = "/dev/console";
// The reader takes 255 bytes at a time, line feed included.
constexpr std::size_t SAVED_LINE_MAX = MONITOR_LINE_SIZE - 2;

// A numeric field's leading decimal integer, 0 when it has none; *end (may
// be null) is set past it. Values beyond int are clamped.
int lead_int(const char *text, const char **end = nullptr)
{
    char *stop = nullptr;
    long long v = std::strtoll(text, &stop, 10);
    if (end)
        *end = stop;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

// Reads up to max blank-separated integers as "%d %d ..." would; the count.
int read_ints(const char *text, int *out, int max)
{
    int n = 0;
    while (n < max) {
        const char *end = nullptr;
        const int v = lead_int(text, &end);
        if (end == text)
            break;
        out[n++] = v;
        text = end;
    }
    return n;
}

void cut_line_end(char *line)
{
    line[std::strcspn(line, "\r\n")] = '\0';
}

void copy_text(char (&dst)[MONITOR_TEXT_SIZE], const char *src)
{
    std::snprintf(dst, sizeof dst, "%s", src);
}

// The first MONITOR_COLOUR_LEN bytes of src, the rest of dst zero.
void copy_colour(char (&dst)[MONITOR_COLOUR_LEN], std::string_view src)
{
    std::memset(dst, 0, sizeof dst);
    std::memcpy(dst, src.data(), src.size() < sizeof dst ? src.size() : sizeof dst);
}

std::string_view colour_text(const char (&c)[MONITOR_COLOUR_LEN])
{
    return std::string_view(c, strnlen(c, sizeof c));
}

bool valid_index(int type, int index)
{
    return type >= 0 && type < MONITOR_TYPE_COUNT && index >= 0 && index < MONITOR_REC_COUNT;
}

// Reads the next line, or piece of a longer line; false at the end.
bool next_line(FILE *f, char (&line)[MONITOR_LINE_SIZE])
{
    return std::fgets(line, sizeof line, f) != nullptr;
}

bool skipped(const char *line)
{
    return line[0] == '#' || line[0] == '\0';
}

// Splits a record line into exactly seven fields with an id of 0..1023.
bool split_record(char *line, token_split &fields, int *id)
{
    cut_line_end(line);
    if (fields.split(line, FIELD_MAX, "&") != 0 || fields.count() != RECORD_FIELDS)
        return false;
    *id = lead_int(fields[0]);
    return *id >= 0 && *id < MONITOR_REC_COUNT;
}

// Reads on to the next record line of a template or configuration file and
// splits it; false at the end of the file.
bool next_record(FILE *f, char (&line)[MONITOR_LINE_SIZE], token_split &fields, int *id)
{
    while (next_line(f, line))
        if (!skipped(line) && split_record(line, fields, id))
            return true;
    return false;
}

void latency_label(char (&name)[MONITOR_TEXT_SIZE], int id)
{
    const int *b = latency_bounds;
    const int slot = id % LATENCY_BOUND_COUNT;
    if (slot == 1)
        std::snprintf(name, sizeof name, "<%dns", b[1]);
    else if (slot == 0)
        std::snprintf(name, sizeof name, ">%dns", b[7]);
    else
        std::snprintf(name, sizeof name, "%d-%dns", b[slot - 1], b[slot]);
}

void load_data_items(int type, FILE *f)
{
    char line[MONITOR_LINE_SIZE];
    token_split fields;
    int id = 0;
    while (next_record(f, line, fields, &id)) {
        data_item_rec &rec = data_item_table[type][id];
        std::memset(&rec, 0, sizeof rec);
        rec.id = id;
        copy_text(rec.name, fields[1]);
        copy_text(rec.col3, fields[2]);
        copy_text(rec.col4, fields[3]);
        copy_colour(rec.colour, fields[4]);
        copy_text(rec.data_name, fields[5]);
        copy_text(rec.col7, fields[6]);
        if (type == MONITOR_LATENCY)
            latency_label(rec.name, id);
    }
}

void fill_colours(graph_rec &g, const char *text)
{
    for (int i = 0; i < GRAPH_DATA_MAX; ++i) {
        while (*text && std::isspace(static_cast<unsigned char>(*text)))
            ++text;
        const char *end = text;
        while (*end && !std::isspace(static_cast<unsigned char>(*end)))
            ++end;
        if (end == text)
            return;
        copy_colour(g.colour[i], std::string_view(text, static_cast<std::size_t>(end - text)));
        text = end;
    }
}

void load_graphs(int type, FILE *f)
{
    char line[MONITOR_LINE_SIZE];
    token_split fields;
    int id = 0;
    while (next_record(f, line, fields, &id)) {
        graph_rec &g = graph_table[type][id];
        std::memset(&g, 0, sizeof g);
        g.id = id;
        g.max_data_value = lead_int(fields[1]);
        copy_text(g.name, fields[2]);
        g.draw_style = lead_int(fields[3]);
        g.data_style = lead_int(fields[4]);
        read_ints(fields[5], g.data_item_id, GRAPH_DATA_MAX);
        fill_colours(g, fields[6]);

        // The pair's second line, whatever it holds.
        if (!next_line(f, line))
            return;
        cut_line_end(line);
        if (fields.split(line, FIELD_MAX, "&") != 0 || fields.count() > GRAPH_DATA_MAX)
            continue;
        for (std::uint32_t i = 0; i < fields.count(); ++i)
            if (!std::strstr(fields[i], NO_NAME))
                copy_text(g.data_name[i], fields[i]);
    }
}

// ---- Saving ----------------------------------------------------------------

bool has_any(std::string_view text, const char *bytes)
{
    return text.find_first_of(bytes) != std::string_view::npos;
}

// A terminated text of at most 127 characters, as a view; false when the
// buffer holds no terminator.
bool bounded_text(const char (&t)[MONITOR_TEXT_SIZE], std::string_view *out)
{
    const std::size_t n = strnlen(t, sizeof t);
    *out = std::string_view(t, n);
    return n < sizeof t;
}

// Whether the graph in slot index loads back unchanged from the two lines.
bool graph_storable(const graph_rec &g, int index)
{
    if (g.id != index || g.id < 1 || g.id >= MONITOR_REC_COUNT)
        return false;
    std::string_view name;
    if (!bounded_text(g.name, &name) || name.empty() || has_any(name, "&\r\n"))
        return false;
    bool seen_empty = false;
    for (const auto &c : g.colour) {
        const std::string_view colour = colour_text(c);
        if (colour.empty()) {
            seen_empty = true;
            continue;
        }
        // A blank would split the word; a colour after an empty one would
        // move forward when read back.
        if (seen_empty || has_any(colour, " \t\v\f\r\n&"))
            return false;
    }
    for (const auto &d : g.data_name) {
        std::string_view dn;
        if (!bounded_text(d, &dn) || has_any(dn, "&\r\n") ||
            dn.find(NO_NAME) != std::string_view::npos)
            return false;
    }
    return true;
}

// Formats the two lines of a graph; false when either is too long to be
// read back in one piece.
bool format_graph(const graph_rec &g, char *line1, std::size_t size1, char *line2, std::size_t size2)
{
    char colours[GRAPH_DATA_MAX][MONITOR_COLOUR_LEN + 1];
    for (int i = 0; i < GRAPH_DATA_MAX; ++i)
        std::snprintf(colours[i], sizeof colours[i], "%.*s",
                      static_cast<int>(colour_text(g.colour[i]).size()), g.colour[i]);
    const char *names[GRAPH_DATA_MAX];
    for (int i = 0; i < GRAPH_DATA_MAX; ++i)
        names[i] = g.data_name[i][0] ? g.data_name[i] : NO_NAME;
    const auto &c = colours;
    const int *ids = g.data_item_id;
    const int n1 = std::snprintf(
        line1, size1, "%d&%d&%s&%d&%d&%d %d %d %d %d %d %d %d&%s %s %s %s %s %s %s %s\n", g.id,
        g.max_data_value, g.name, g.draw_style, g.data_style, ids[0], ids[1], ids[2], ids[3],
        ids[4], ids[5], ids[6], ids[7], c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    const int n2 = std::snprintf(line2, size2, "%s&%s&%s&%s&%s&%s&%s&%s\n", names[0], names[1],
                                 names[2], names[3], names[4], names[5], names[6], names[7]);
    return n1 > 0 && n2 > 0 && std::size_t(n1) - 1 <= SAVED_LINE_MAX &&
           std::size_t(n2) - 1 <= SAVED_LINE_MAX;
}

// Flushes the directory entry of a rename; best effort.
void sync_dir(const char *dir)
{
    unique_fd d(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.ok())
        fsync(d.get());
}

// ---- Console ---------------------------------------------------------------

void console_line(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// One line per console open, as a console may come and go; O_NOCTTY so the
// console never becomes this process's controlling terminal.
void console_line(const char *fmt, ...)
{
    char line[2 * MONITOR_LINE_SIZE];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    unique_fd con(open(CONSOLE_PATH, O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC));
    if (!con.ok())
        return;
    const std::size_t len = std::size_t(n) < sizeof line ? std::size_t(n) : sizeof line - 1;
    // A console that takes nothing more loses the rest of the line; nothing to tell.
    [[maybe_unused]] bool written = write_all(con.get(), std::string_view(line, len));
}

} // namespace

void monitor_conf_init()
{
    latency_range_load();
    std::memset(data_item_table, 0, sizeof data_item_table);
    std::memset(graph_table, 0, sizeof graph_table);
    data_item_load();
    graph_load();
}

void latency_range_load()
{
    char path[MONITOR_LINE_SIZE];
    std::snprintf(path, sizeof path, "%s/%s", LATENCY_RANGE_DIR, LATENCY_RANGE_NAME);
    unique_file f = open_read(path);
    if (!f.ok())
        return;
    char line[MONITOR_LINE_SIZE];
    while (next_line(f.get(), line)) {
        int bounds[LATENCY_BOUND_COUNT];
        if (read_ints(line, bounds, LATENCY_BOUND_COUNT) == LATENCY_BOUND_COUNT)
            std::memcpy(latency_bounds, bounds, sizeof bounds);
    }
}

void data_item_load()
{
    for (int type = 0; type < MONITOR_TYPE_COUNT; ++type) {
        if (!TYPE_FILES[type].data_items)
            continue;
        unique_file f = open_read(TYPE_FILES[type].data_items);
        if (f.ok())
            load_data_items(type, f.get());
    }
}

void graph_load()
{
    for (int type = 0; type < MONITOR_TYPE_COUNT; ++type) {
        const char *path = TYPE_FILES[type].graphs;
        if (type == MONITOR_STORED)
            // An existing stored file wins even when empty or unreadable.
            path = file_exists(GRAPH_CONF_PATH) ? GRAPH_CONF_PATH : GRAPH_TEMPLATE_PATH;
        if (!path)
            continue;
        unique_file f = open_read(path);
        if (f.ok())
            load_graphs(type, f.get());
    }
}

data_item_rec *data_item_get(int type, int index)
{
    return valid_index(type, index) ? &data_item_table[type][index] : nullptr;
}

graph_rec *graph_get(int type, int index)
{
    return valid_index(type, index) ? &graph_table[type][index] : nullptr;
}

data_item_rec *data_item_table_get()
{
    return &data_item_table[0][0];
}

int graph_first_free(int type)
{
    if (type < 0 || type >= MONITOR_TYPE_COUNT)
        return 0;
    for (int i = 0; i < MONITOR_REC_COUNT; ++i)
        if (graph_table[type][i].id == 0)
            return i;
    return 0;
}

int monitor_id_type(int value)
{
    if (value <= 1000)
        return 4;
    if (value <= 2000)
        return 0;
    if (value <= 3000)
        return 1;
    return 2;
}

int parse_compact_time(const char *text, std::time_t *out)
{
    if (!text || !out)
        return -1;
    // Each part read as a decimal integer of its own width.
    auto part = [&text](int width) {
        char buf[5] = {};
        // A text that ends early leaves the later parts 0 instead of reading past it.
        const std::size_t n = strnlen(text, static_cast<std::size_t>(width));
        std::memcpy(buf, text, n);
        text += n;
        return lead_int(buf);
    };
    std::tm tm{};
    tm.tm_year = part(4) - 1900;
    tm.tm_mon = part(2) - 1;
    tm.tm_mday = part(2);
    tm.tm_hour = part(2);
    tm.tm_min = part(2);
    tm.tm_sec = part(2);
    tm.tm_isdst = 0;
    *out = std::mktime(&tm);
    return 0;
}

int graph_conf_save()
{
    char tmp_path[MONITOR_LINE_SIZE];
    std::snprintf(tmp_path, sizeof tmp_path, "%s/.web_graph.conf.XXXXXX", GRAPH_CONF_DIR);
    unique_fd fd(mkostemp(tmp_path, O_CLOEXEC));
    if (!fd.ok())
        return -1;
    fchmod(fd.get(), 0644);
    unique_file f(fdopen(fd.get(), "w"));
    if (!f.ok()) {
        unlink(tmp_path);
        return -1;
    }
    fd.release();

    bool all_saved = true;
    bool write_ok = true;
    for (int i = 0; i < MONITOR_REC_COUNT && write_ok; ++i) {
        const graph_rec &g = graph_table[MONITOR_STORED][i];
        if (g.id == 0)
            continue;
        char line1[4 * MONITOR_LINE_SIZE];
        char line2[8 * MONITOR_LINE_SIZE];
        if (!graph_storable(g, i) || !format_graph(g, line1, sizeof line1, line2, sizeof line2)) {
            all_saved = false;
            continue;
        }
        write_ok = std::fputs(line1, f.get()) >= 0 && std::fputs(line2, f.get()) >= 0;
    }
    write_ok = write_ok && std::fflush(f.get()) == 0 && fsync(fileno(f.get())) == 0;
    write_ok = std::fclose(f.release()) == 0 && write_ok;
    if (!write_ok || rename(tmp_path, GRAPH_CONF_PATH) != 0) {
        unlink(tmp_path);
        return -1;
    }
    sync_dir(GRAPH_CONF_DIR);
    return all_saved ? 0 : -1;
}

int graph_dump(int type, int index)
{
    if (!valid_index(type, index))
        return -1;
    const graph_rec &g = graph_table[type][index];
    console_line("id                   :%d \n", g.id);
    console_line("max_data_value:%d \n", g.max_data_value);
    console_line("name              :%.127s \n", g.name);
    console_line("draw_style       :%d \n", g.draw_style);
    console_line("data_style        :%d \n", g.data_style);
    for (int i = 0; i < GRAPH_DATA_MAX; ++i) {
        const int item = g.data_item_id[i];
        if (item == 0)
            continue;
        console_line("data_item_id%d        :%d \n", i, item);
        console_line("colour%d        :%.*s \n", i, static_cast<int>(colour_text(g.colour[i]).size()),
                     g.colour[i]);
        console_line("data_name%d        :%.127s \n", i, g.data_name[i]);
        if (item >= 0 && item < MONITOR_REC_COUNT)
            console_line("data_name%d        :%.127s \n", i, data_item_table[type][item].data_name);
    }
    return 0;
}
