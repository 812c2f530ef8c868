// Monitor graph files: the first byte picks the file (latency range, a data
// item template, a graph template, the stored graphs), the rest is its text.
// Stored graphs are saved and loaded again: what the writer keeps must come
// back unchanged. The text also goes to parse_compact_time.
#include "fuzz_util.h"
#include "monitor_graph.h"

#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr const char *LATENCY_RANGE_PATH = "/tmp/monitor/latency/monitor/latency_range.txt";
constexpr const char *DATA_LATENCY_PATH = "/var/www/data_template/web_data_latency_list.conf";
constexpr const char *DATA_SYSTEM_PATH = "/var/www/data_template/web_data_system_list.conf";
constexpr const char *GRAPH_BUFFER_PATH = "/var/www/data_template/web_graph_buffer_list.conf";

void make_dirs(std::string path)
{
    for (std::size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') {
            path[i] = '\0';
            ::mkdir(path.c_str(), 0755);
            path[i] = '/';
        }
    ::mkdir(path.c_str(), 0755);
}

// Clears the stored graphs a load filled: those in use and slot 0, whose
// record keeps its fields though id 0 marks it free.
void clear_stored()
{
    for (int i = 0; i < MONITOR_REC_COUNT; ++i)
        if (i == 0 || graph_table[MONITOR_STORED][i].id != 0)
            std::memset(&graph_table[MONITOR_STORED][i], 0, sizeof(graph_rec));
}

// Saves the stored graphs, loads them back and compares.
void check_round_trip()
{
    const graph_rec *stored = graph_table[MONITOR_STORED];
    std::vector<graph_rec> before;
    for (int i = 1; i < MONITOR_REC_COUNT; ++i)
        if (stored[i].id != 0)
            before.push_back(stored[i]);
    const int saved = graph_conf_save();
    clear_stored();
    graph_load();
    std::size_t k = 0;
    for (int i = 1; i < MONITOR_REC_COUNT; ++i) {
        if (stored[i].id == 0)
            continue;
        // Only graphs that were there come back, and unchanged.
        while (k < before.size() && before[k].id < i)
            ++k;
        FUZZ_CHECK(k < before.size() && before[k].id == i);
        FUZZ_CHECK(std::memcmp(&stored[i], &before[k], sizeof(graph_rec)) == 0);
        ++k;
    }
    // All of them when the writer reported every graph saved.
    if (saved == 0)
        for (const graph_rec &g : before)
            FUZZ_CHECK(stored[g.id].id == g.id);
    ::unlink(GRAPH_CONF_PATH);
    clear_stored();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_require_sandbox();
    make_dirs(LATENCY_RANGE_DIR);
    make_dirs(MONITOR_TEMPLATE_DIR);
    make_dirs(GRAPH_CONF_DIR);
    // Without TZ, each mktime would read the zone file again.
    ::setenv("TZ", "UTC", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    const std::uint8_t *text = data + 1;
    const std::size_t len = size - 1;
    switch (data[0] % 5) {
    case 0:
        fuzz_write_file(LATENCY_RANGE_PATH, text, len);
        latency_range_load();
        ::unlink(LATENCY_RANGE_PATH);
        break;
    case 1:
    case 2: {
        const char *path = data[0] % 5 == 1 ? DATA_LATENCY_PATH : DATA_SYSTEM_PATH;
        fuzz_write_file(path, text, len);
        data_item_load();
        ::unlink(path);
        break;
    }
    case 3:
        fuzz_write_file(GRAPH_BUFFER_PATH, text, len);
        graph_load();
        ::unlink(GRAPH_BUFFER_PATH);
        break;
    default:
        fuzz_write_file(GRAPH_CONF_PATH, text, len);
        graph_load();
        check_round_trip();
        break;
    }

    // Exactly the text's bytes, so a read past its end is seen.
    const std::string s = fuzz_text(text, len);
    std::vector<char> exact(s.begin(), s.end());
    exact.push_back('\0');
    std::time_t t;
    parse_compact_time(exact.data(), &t);
    return 0;
}
