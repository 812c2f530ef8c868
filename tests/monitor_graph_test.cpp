// Monitor tables: loading, saving (round trip, refusals, an unfinished save), console dump.
#include "monitor_graph.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const std::string TEMPLATES = std::string(MONITOR_TEMPLATE_DIR) + "/";

void put(const std::string &path, const std::string &text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    write_file(path, text);
}

// Fills a fixed-size field, zero-padded; a text that fills it is not terminated.
template <std::size_t N> void set(char (&field)[N], std::string text)
{
    text.resize(N), text.copy(field, N);
}

// A type-4 graph that the file format carries unchanged.
graph_rec good_graph(int id)
{
    graph_rec g{id, id - 40, {}, {id, 0, 0, INT_MIN}, {}, {}, 2, -1};
    set(g.name, "graph " + std::to_string(id) + " (ports)");
    set(g.colour[0], "3366cc"), set(g.colour[1], "dc39"), set(g.data_name[1], "NuLL"), set(g.data_name[7], " x ");
    return g;
}

// A graph as "id max name", "item/colour/name" per position, "draw data".
std::string fields(const graph_rec &g)
{
    std::string s = std::to_string(g.id) + " " + std::to_string(g.max_data_value) + " " + g.name;
    for (int i = 0; i < GRAPH_DATA_MAX; ++i)
        s += " " + std::to_string(g.data_item_id[i]) + "/" + std::string(g.colour[i], 6).c_str() + "/" +
             g.data_name[i];
    return s + " " + std::to_string(g.draw_style) + " " + std::to_string(g.data_style);
}

} // namespace

TEST(MonitorLoad, LatencyLabelsFollowTheRangeFile)
{
    put(TEMPLATES + "web_data_latency_list.conf", "0&x&a&b&c&d&e\n1&x&a&b&c&d&e\n6&x&a&b&c&d&e\n9&x&a&b&c&d&e\n");
    const std::pair<const char *, const char *> cases[] = { // range file, names of items 0 1 6 9
        {"100 200 300 400 500 600 700\n", ">4096ns <400ns 1000-2000ns <400ns "},
        {"100 200 300 400 500 600 700 800\n", ">800ns <200ns 600-700ns <200ns "},
        {"1 2 3 4 5 6 7 8\n10 20 30 40 50 60 70 80\n9 9 9 9 9 9 9\n", ">80ns <20ns 60-70ns <20ns "},
    };
    for (auto [range, want] : cases) {
        put(std::string(LATENCY_RANGE_DIR) + "/" + LATENCY_RANGE_NAME, range);
        monitor_conf_init();
        const data_item_rec *t = data_item_get(MONITOR_LATENCY, 0);
        EXPECT_EQ(std::string(t[0].name) + " " + t[1].name + " " + t[6].name + " " + t[9].name + " ", want) << range;
    }
}

TEST(MonitorLoad, DataItemLinesAndGraphLinePairs)
{
    put(TEMPLATES + "web_data_buffer_list.conf", "#5&c&a&b&c&d&e\n6&six&a&b&c&d\n7&seven&a&b&c&d&e&f\n"
                                                 "abc&letters&a&b&c&d&e\n3&three&c3&c4&abcdefgh&dn&c7\r\n");
    data_item_load();
    const data_item_rec *t = data_item_get(MONITOR_BUFFER, 0), &r = t[3];
    EXPECT_EQ(t[5].id + t[6].id + t[7].id, 0) << "a comment, six and eight fields";
    EXPECT_EQ(std::string(t[0].name) + " " + std::to_string(r.id) + r.name + r.col3 + r.col4 +
                  std::string(r.colour, 6) + r.data_name + r.col7, "letters 3threec3c4abcdefdnc7");

    put(TEMPLATES + "web_graph_buffer_list.conf",
        "2&10&&0&0&1&aaaaaa\n"                          // six fields: skipped
        "3&30&g3&4&5&3 4&111111 222222 abcdefgh\nNULL&NULL&plain&xNULLx\n" // so this is a first line
        "5&50&g5&0&0&7&cccccc\n1&2&3&4&5&6&7&8&9\n"     // nine names: none set
        "abc&1&letters&0&0&1&dddddd\n#comment taken as names\n"
        "9&90&last&0&0&1&eeeeee\n");
    graph_load();
    const graph_rec *g = graph_get(MONITOR_BUFFER, 0);
    EXPECT_EQ(fields(g[3]), "3 30 g3 3/111111/ 4/222222/ 0/abcdef/plain 0// 0// 0// 0// 0// 4 5");
    EXPECT_EQ(fields(g[5]), "5 50 g5 7/cccccc/ 0// 0// 0// 0// 0// 0// 0// 0 0");
    EXPECT_EQ(fields(g[0]), "0 1 letters 1/dddddd/#comment taken as names 0// 0// 0// 0// 0// 0// 0// 0 0");
    EXPECT_EQ(fields(g[9]), "9 90 last 1/eeeeee/ 0// 0// 0// 0// 0// 0// 0// 0 0");
}

TEST(MonitorTables, AccessorsAndClassifiers)
{
    graph_table[MONITOR_STORED][0].id = graph_table[MONITOR_STORED][1].id = 1;
    EXPECT_EQ(graph_first_free(MONITOR_STORED), 2);
    EXPECT_EQ(graph_first_free(MONITOR_BUFFER), 0) << "slot 0 free";
    for (auto [type, index] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 1024}})
        EXPECT_TRUE(!graph_get(type, index) && !data_item_get(type, index)) << type << "," << index;
    for (auto [value, type] : {std::pair{1000, 4}, {1001, 0}, {2000, 0}, {2001, 1}, {3000, 1}, {3001, 2}})
        EXPECT_EQ(monitor_id_type(value), type) << value;
    setenv("TZ", "XYZ-2", 1); // two hours east
    // Past 2038, and past 2^32 seconds: a 32-bit time_t on the target would wrap.
    for (auto [text, want] : {std::pair{"20240131235958", 1706745598LL - 7200}, {"21060207083000", 4294967400LL}}) {
        std::time_t t = 0;
        EXPECT_EQ(parse_compact_time(text, &t), 0) << text;
        EXPECT_EQ(static_cast<long long>(t), want) << text;
    }
}

TEST(GraphSave, DocumentedLinesThenRoundTrip)
{
    put(GRAPH_TEMPLATE_PATH, "1&1&template&0&0&1&aaaaaa\nt\n");
    std::filesystem::create_directories(GRAPH_CONF_DIR);
    graph_rec &cpu = graph_table[MONITOR_STORED][5] = graph_rec{5, 100, "cpu", {3, 4}, {}, {}, 1, 2};
    set(cpu.colour[0], "aaaaaa"), set(cpu.colour[1], "bbbbbb");
    graph_table[MONITOR_BUFFER][1] = good_graph(1); // template types are never written
    ASSERT_EQ(graph_conf_save(), 0);
    EXPECT_EQ(read_file(GRAPH_CONF_PATH), "5&100&cpu&1&2&3 4 0 0 0 0 0 0&aaaaaa bbbbbb      \n"
                                          "NULL&NULL&NULL&NULL&NULL&NULL&NULL&NULL\n");

    graph_table[MONITOR_STORED][1] = good_graph(1);
    graph_rec &full = graph_table[MONITOR_STORED][1023] = good_graph(1023);
    for (int i = 0; i < GRAPH_DATA_MAX; ++i) // eight colours, a second line of 254 characters
        set(full.colour[i], std::string(6, 'a' + i)), set(full.data_name[i], std::string(i ? 31 : 30, 'A' + i));
    const auto want = std::to_array(graph_table[MONITOR_STORED]);
    ASSERT_EQ(graph_conf_save(), 0);
    monitor_conf_init();
    EXPECT_EQ(std::memcmp(want.data(), graph_table[MONITOR_STORED], sizeof want), 0);

    std::memset(graph_table, 0, sizeof graph_table);
    ASSERT_EQ(graph_conf_save(), 0);
    EXPECT_EQ(read_file(GRAPH_CONF_PATH), "");
    monitor_conf_init();
    EXPECT_EQ(graph_table[MONITOR_STORED][1].id, 0) << "an empty stored file, not the template";
}

// A graph the file cannot carry is left out, the rest saved; a save that
// cannot finish keeps the old file.
TEST(GraphSave, UnstorableGraphsAreLeftOutAnUnfinishedSaveKeepsTheOldFile)
{
    graph_table[MONITOR_STORED][3] = good_graph(3);
    EXPECT_EQ(graph_conf_save(), -1) << "no directory";
    std::filesystem::create_directories(GRAPH_CONF_DIR);
    const std::pair<const char *, void (*)(graph_rec &)> cases[] = {
        {"empty name", [](graph_rec &g) { set(g.name, ""); }},
        {"id of another slot", [](graph_rec &g) { g.id = 8; }},
        {"NULL in a data name", [](graph_rec &g) { set(g.data_name[2], "xNULLx"); }},
        {"second line of 255", [](graph_rec &g) { for (auto &n : g.data_name) set(n, std::string(31, 'd')); }},
    };
    for (auto [what, spoil] : cases) {
        std::memset(graph_table, 0, sizeof graph_table);
        graph_table[MONITOR_STORED][3] = good_graph(3);
        spoil(graph_table[MONITOR_STORED][7] = good_graph(7));
        EXPECT_EQ(graph_conf_save(), -1) << what;
        monitor_conf_init();
        EXPECT_EQ(fields(graph_table[MONITOR_STORED][3]), fields(good_graph(3))) << what << ": the rest is saved";
        EXPECT_EQ(graph_table[MONITOR_STORED][7].id + graph_table[MONITOR_STORED][8].id, 0) << what;
    }

    ASSERT_EQ(mount("tmpfs", "/mnt/flash", "tmpfs", 0, "size=8k"), 0) << std::strerror(errno);
    put(GRAPH_CONF_PATH, "1&1&old&0&0&1&aaaaaa\nkept\n");
    write_file("/mnt/flash/filler", std::string(4096, 'f')); // two pages: no room for a new file
    EXPECT_EQ(graph_conf_save(), -1);
    EXPECT_EQ(read_file(GRAPH_CONF_PATH), "1&1&old&0&0&1&aaaaaa\nkept\n");
    EXPECT_EQ(dir_entries(GRAPH_CONF_DIR), std::vector<std::string>{"web_graph.conf"});
}

TEST(GraphDump, FieldsIntoTheConsole)
{
    write_file("/tmp/console", "");
    ASSERT_EQ(mount("/tmp/console", "/dev/console", nullptr, MS_BIND, nullptr), 0) << std::strerror(errno);
    graph_rec &g = graph_table[MONITOR_SYSTEM][4] = graph_rec{4, 90, "", {}, {}, {}, 1, 0};
    EXPECT_EQ(graph_dump(MONITOR_SYSTEM, 4), 0); // an empty name and no data items
    g.data_item_id[1] = 7, g.data_item_id[6] = 5000;
    set(g.colour[1], "abcdef"), set(g.colour[2], "123456"); // packed after colour 1
    set(g.data_name[1], "board"), set(data_item_table[MONITOR_SYSTEM][7].data_name, "Board sensor");
    EXPECT_EQ(graph_dump(MONITOR_SYSTEM, 4), 0);
    EXPECT_EQ(graph_dump(5, 0), -1);
    const std::string head = "id                   :4 \nmax_data_value:90 \nname              : \n"
                             "draw_style       :1 \ndata_style        :0 \n";
    EXPECT_EQ(read_file("/tmp/console"), head + head + "data_item_id1        :7 \ncolour1        :abcdef \n"
              "data_name1        :board \ndata_name1        :Board sensor \n"
              "data_item_id6        :5000 \ncolour6        : \ndata_name6        : \n");
    ASSERT_EQ(mount(nullptr, "/dev/console", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(graph_dump(MONITOR_SYSTEM, 4), 0) << "a console that cannot be opened loses its lines";
}
