// Monitor graph files: the first byte picks the file (latency range, a data
// item template, a graph template, the stored graphs), the rest is its text.
// Stored graphs are saved and loaded again: what the writer keeps must come
// back unchanged. The text also goes to parse_compact_time.
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
        FUZZ_CHECK(std::memcmp(&stored[i], &before[k++], sizeof(graph_rec)) == 0);
    }
    // All of them when the writer reported every graph saved.
    for (const graph_rec &g : before)
        FUZZ_CHECK(saved != 0 || stored[g.id].id == g.id);
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
