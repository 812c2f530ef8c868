// Monitor graph files: the first byte picks the file (latency range, a data
// item template, a graph template, the stored graphs, then also saved and
// loaded again), the rest is its text, also given to parse_compact_time.
#include "fuzz_util.h"
#include "monitor_graph.h"

#include <filesystem>

namespace {

// Clears the stored graphs a load filled: those in use and slot 0, whose
// record keeps its fields though id 0 marks it free.
void clear_stored()
{
    for (int i = 0; i < MONITOR_REC_COUNT; ++i)
        if (i == 0 || graph_table[MONITOR_STORED][i].id != 0)
            std::memset(&graph_table[MONITOR_STORED][i], 0, sizeof(graph_rec));
}

// Saves the stored graphs and loads them back: only graphs that were there
// come back, unchanged, and all of them when the writer reported every graph
// saved. A load puts each graph in the slot of its id.
void check_round_trip()
{
    const graph_rec *stored = graph_table[MONITOR_STORED];
    const std::vector<graph_rec> before(stored, stored + MONITOR_REC_COUNT);
    const int saved = graph_conf_save();
    clear_stored();
    graph_load();
    for (int i = 1; i < MONITOR_REC_COUNT; ++i)
        if (stored[i].id != 0)
            FUZZ_CHECK(before[i].id == i && std::memcmp(&stored[i], &before[i], sizeof(graph_rec)) == 0);
        else
            FUZZ_CHECK(saved != 0 || before[i].id == 0);
    ::unlink(GRAPH_CONF_PATH);
    clear_stored();
}

} // namespace

FUZZ_SETUP
{
    std::error_code ec;
    for (const char *dir : {LATENCY_RANGE_DIR, MONITOR_TEMPLATE_DIR, GRAPH_CONF_DIR})
        std::filesystem::create_directories(dir, ec);
    // Without TZ, each mktime would read the zone file again.
    ::setenv("TZ", "UTC", 1);
}

FUZZ_TARGET(1, 4096)
{
    static const struct { std::string path; void (*load)(); } files[] = {
        {std::string(LATENCY_RANGE_DIR) + "/" + LATENCY_RANGE_NAME, latency_range_load},
        {std::string(MONITOR_TEMPLATE_DIR) + "/web_data_latency_list.conf", data_item_load},
        {std::string(MONITOR_TEMPLATE_DIR) + "/web_data_system_list.conf", data_item_load},
        {std::string(MONITOR_TEMPLATE_DIR) + "/web_graph_buffer_list.conf", graph_load},
        {GRAPH_CONF_PATH, graph_load},
    };
    const auto &file = files[data[0] % 5];
    fuzz_write_file(file.path.c_str(), data + 1, size - 1);
    file.load();
    if (file.path == GRAPH_CONF_PATH)
        check_round_trip();
    ::unlink(file.path.c_str());

    // Exactly the text's bytes, so a read past its end is seen.
    const std::string s = fuzz_text(data + 1, size - 1);
    const std::vector<char> exact(s.c_str(), s.c_str() + s.size() + 1);
    std::time_t t;
    parse_compact_time(exact.data(), &t);
}
