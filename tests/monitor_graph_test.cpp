// Monitor tables: template and stored-graph loading, the save-then-load round
// trip, a save that cannot finish, and the console dump into a bound file.
#include "monitor_graph.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string TEMPLATES = std::string(MONITOR_TEMPLATE_DIR) + "/";
const std::string LATENCY_FILE = std::string(LATENCY_RANGE_DIR) + "/" + LATENCY_RANGE_NAME;
const std::string CONSOLE_FILE = "/tmp/console";

// Removes a tree, as a fresh namespace would not have it.
void remove_tree(const char *dir)
{
    nftw(
        dir, [](const char *path, const struct stat *, int, FTW *) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

void mkdirs(const std::string &dir)
{
    for (std::size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
        mkdir(dir.substr(0, pos).c_str(), 0755);
        if (pos == std::string::npos)
            return;
    }
}

void put(const std::string &path, const std::string &text)
{
    mkdirs(path.substr(0, path.rfind('/')));
    write_file(path, text);
}

void set_text(char (&dst)[MONITOR_TEXT_SIZE], const std::string &s)
{
    std::memset(dst, 0, sizeof dst);
    s.copy(dst, std::min(s.size(), sizeof dst));
}

void set_colour(char (&dst)[MONITOR_COLOUR_LEN], const std::string &s)
{
    std::memset(dst, 0, sizeof dst);
    s.copy(dst, std::min(s.size(), sizeof dst));
}

std::string colour(const char (&c)[MONITOR_COLOUR_LEN])
{
    return std::string(c, strnlen(c, sizeof c));
}

// A type-4 graph that the file format carries unchanged.
graph_rec good_graph(int id)
{
    graph_rec g{};
    g.id = id;
    g.max_data_value = -40 + id;
    set_text(g.name, "graph " + std::to_string(id) + " (ports)");
    g.draw_style = 2;
    g.data_style = -1;
    g.data_item_id[0] = id;
    g.data_item_id[3] = INT_MIN;
    set_colour(g.colour[0], "3366cc");
    set_colour(g.colour[1], "dc39");
    set_text(g.data_name[1], "in NuLL");
    set_text(g.data_name[7], " spaced out ");
    return g;
}

void expect_same(const graph_rec &a, const graph_rec &b, const std::string &what)
{
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << what;
}

class Monitor : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memcpy(saved_bounds_, latency_bounds, sizeof saved_bounds_);
        while (umount2("/mnt/flash", MNT_DETACH) == 0) {
        }
        for (const char *dir : {MONITOR_TEMPLATE_DIR, LATENCY_RANGE_DIR, "/mnt/flash"})
            remove_tree(dir);
        std::memset(data_item_table, 0, sizeof data_item_table);
        std::memset(graph_table, 0, sizeof graph_table);
    }
    void TearDown() override { std::memcpy(latency_bounds, saved_bounds_, sizeof saved_bounds_); }

    void initial_bounds()
    {
        const int initial[LATENCY_BOUND_COUNT] = {0, 400, 600, 700, 800, 1000, 2000, 4096};
        std::memcpy(latency_bounds, initial, sizeof initial);
    }

private:
    int saved_bounds_[LATENCY_BOUND_COUNT];
};

// The console lines written by fn, through a file bound over "/dev/console".
class ConsoleDump : public Monitor {
protected:
    void SetUp() override
    {
        Monitor::SetUp();
        write_file(CONSOLE_FILE, "");
        ASSERT_EQ(mount(CONSOLE_FILE.c_str(), "/dev/console", nullptr, MS_BIND, nullptr), 0)
            << std::strerror(errno);
    }
    std::string dumped(int type, int index, int want_rc = 0)
    {
        write_file(CONSOLE_FILE, "");
        EXPECT_EQ(graph_dump(type, index), want_rc);
        return read_file(CONSOLE_FILE);
    }
};

} // namespace

TEST_F(Monitor, InitialLatencyBoundsNameTheBins)
{
    put(TEMPLATES + "web_data_latency_list.conf",
        "0&x&a&b&c&d&e\n1&x&a&b&c&d&e\n6&x&a&b&c&d&e\n8&x&a&b&c&d&e\n9&x&a&b&c&d&e\n"
        "17&x&a&b&c&d&e\n1023&x&a&b&c&d&e\n");
    monitor_conf_init();
    const struct {
        int id;
        const char *name;
    } cases[] = {
        {0, ">4096ns"}, {8, ">4096ns"}, {1, "<400ns"}, {9, "<400ns"},
        {17, "<400ns"}, {6, "1000-2000ns"}, {1023, "2000-4096ns"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(data_item_get(MONITOR_LATENCY, c.id)->name, c.name) << c.id;
}

TEST_F(Monitor, LatencyRangeFileSetsTheBounds)
{
    std::string items;
    for (int id = 1; id <= 8; ++id)
        items += std::to_string(id) + "&x&a&b&c&d&e\n";
    put(TEMPLATES + "web_data_latency_list.conf", items);
    const struct {
        const char *file; // null: no file
        const char *item1, *item2, *item7, *item8;
    } cases[] = {
        {"100 200 300 400 500 600 700 800\n", "<200ns", "200-300ns", "700-800ns", ">800ns"},
        {"100 200 300 400 500 600 700\n", "<400ns", "400-600ns", "2000-4096ns", ">4096ns"},
        {"1 2 3 4 5 6 7 8\n9 9 9 9 9 9 9\nx\n", "<2ns", "2-3ns", "7-8ns", ">8ns"},
        {"1 2 3 4 5 6 7 8\n10 20 30 40 50 60 70 80 90\n", "<20ns", "20-30ns", "70-80ns", ">80ns"},
        {"  -5 +6 7 8 9 10 11 12 tail", "<6ns", "6-7ns", "11-12ns", ">12ns"},
        {"", "<400ns", "400-600ns", "2000-4096ns", ">4096ns"},
        {nullptr, "<400ns", "400-600ns", "2000-4096ns", ">4096ns"},
    };
    for (const auto &c : cases) {
        initial_bounds();
        unlink(LATENCY_FILE.c_str());
        if (c.file)
            put(LATENCY_FILE, c.file);
        monitor_conf_init();
        const char *what = c.file ? c.file : "(no file)";
        EXPECT_STREQ(data_item_get(MONITOR_LATENCY, 1)->name, c.item1) << what;
        EXPECT_STREQ(data_item_get(MONITOR_LATENCY, 2)->name, c.item2) << what;
        EXPECT_STREQ(data_item_get(MONITOR_LATENCY, 7)->name, c.item7) << what;
        EXPECT_STREQ(data_item_get(MONITOR_LATENCY, 8)->name, c.item8) << what;
    }
}

TEST_F(Monitor, DataItemLineRules)
{
    const std::string long_text(130, 't');
    put(TEMPLATES + "web_data_buffer_list.conf",
        "#5&c&a&b&c&d&e\n"
        "\n"
        "6&six&a&b&c&d\n"
        "7&seven&a&b&c&d&e&f\n"
        "1024&x&a&b&c&d&e\n"
        "-1&x&a&b&c&d&e\n"
        "abc&letters&c3&c4&ffffff&dn&c7\n"
        "3&three&c3&c4&abcdefgh&dn3&c7\r\n"
        "&&4&first&c3&c4&ab&dn&c7&&\n"
        "4&second&x3&x4&12&dn4&x7\n"
        "1023&" + long_text + "&c3&c4&c&" + long_text.substr(0, 100) + "&c7\n"
        "2&mid & spaced &c4&c&d n&c7\n");
    data_item_load();
    const data_item_rec *t = data_item_get(MONITOR_BUFFER, 0);
    for (int id : {5, 6, 7})
        EXPECT_EQ(t[id].id, 0) << id;
    EXPECT_STREQ(t[0].name, "letters");

    EXPECT_EQ(t[3].id, 3);
    EXPECT_STREQ(t[3].name, "three");
    EXPECT_STREQ(t[3].col3, "c3");
    EXPECT_STREQ(t[3].col4, "c4");
    EXPECT_EQ(colour(t[3].colour), "abcdef");
    EXPECT_STREQ(t[3].data_name, "dn3");
    EXPECT_STREQ(t[3].col7, "c7");

    EXPECT_STREQ(t[4].name, "second");
    EXPECT_EQ(std::string(t[4].colour, sizeof t[4].colour), std::string("12\0\0\0\0", 6));
    EXPECT_EQ(std::string(t[1023].name), long_text.substr(0, 127));
    EXPECT_EQ(std::string(t[1023].data_name), long_text.substr(0, 100));
    EXPECT_STREQ(t[2].name, "mid ");
    EXPECT_STREQ(t[2].col3, " spaced ");
    // Types without templates stay empty.
    EXPECT_EQ(data_item_get(2, 3)->id, 0);
    EXPECT_EQ(data_item_get(MONITOR_LATENCY, 3)->id, 0);
}

TEST_F(Monitor, GraphPairRules)
{
    put(TEMPLATES + "web_graph_buffer_list.conf",
        "# comment\n"
        "2&10&&0&0&1&aaaaaa\n"                      // empty name: six fields, skipped
        "3&30&g3&4&5&3 4&111111 222222 333333\n"     // taken as a first line
        "NULL&NULL&plain&xNULLx\n"
        "5&50&g5&0&0&7 x 8&abcdefgh\n"
        "1&2&3&4&5&6&7&8&9\n"                        // nine names: none set
        "6&60&g6&0&0&&\n"                            // five fields: skipped
        "#7&70&g7&0&0&1&cccccc\n"
        "abc&1&letters&0&0&1&dddddd\n"
        "#comment taken as names\n"
        "9&90&last&0&0&1&eeeeee\n");
    graph_load();
    const graph_rec *g = graph_get(MONITOR_BUFFER, 0);

    EXPECT_EQ(g[2].id, 0);
    EXPECT_EQ(g[3].id, 3);
    EXPECT_EQ(g[3].max_data_value, 30);
    EXPECT_STREQ(g[3].name, "g3");
    EXPECT_EQ(g[3].draw_style, 4);
    EXPECT_EQ(g[3].data_style, 5);
    const int ids3[GRAPH_DATA_MAX] = {3, 4, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(g[3].data_item_id, ids3, sizeof ids3), 0);
    EXPECT_EQ(colour(g[3].colour[0]), "111111");
    EXPECT_EQ(colour(g[3].colour[2]), "333333");
    EXPECT_EQ(colour(g[3].colour[3]), "");
    for (int i = 0; i < GRAPH_DATA_MAX; ++i)
        EXPECT_STREQ(g[3].data_name[i], i == 2 ? "plain" : "") << i;

    EXPECT_EQ(g[5].data_item_id[0], 7);
    EXPECT_EQ(g[5].data_item_id[1], 0);
    EXPECT_EQ(colour(g[5].colour[0]), "abcdef");
    for (int i = 0; i < GRAPH_DATA_MAX; ++i)
        EXPECT_STREQ(g[5].data_name[i], "") << i;

    EXPECT_EQ(g[6].id, 0);
    EXPECT_EQ(g[7].id, 0);
    // Letters count as id 0: the record is filled and stays a free slot.
    EXPECT_STREQ(g[0].name, "letters");
    EXPECT_EQ(g[0].id, 0);
    EXPECT_STREQ(g[0].data_name[0], "#comment taken as names");
    EXPECT_EQ(g[9].id, 9);
    EXPECT_STREQ(g[9].data_name[0], "");
}

TEST_F(Monitor, StoredGraphsReplaceTheTemplate)
{
    put(GRAPH_TEMPLATE_PATH, "1&1&from template&0&0&1&aaaaaa\nt\n");
    mkdirs(GRAPH_CONF_DIR);
    const struct {
        const char *what;
        bool make_file, make_dir;
        std::string content;
        int loaded; // the one graph id expected in type 4, 0 for none
    } cases[] = {
        {"no stored file", false, false, "", 1},
        {"empty stored file", true, false, "", 0},
        {"stored graph", true, false, "2&2&stored&0&0&1&bbbbbb\ns\n", 2},
        {"unreadable stored file", false, true, "", 0},
    };
    for (const auto &c : cases) {
        unlink(GRAPH_CONF_PATH);
        rmdir(GRAPH_CONF_PATH);
        if (c.make_file)
            write_file(GRAPH_CONF_PATH, c.content);
        if (c.make_dir)
            mkdir(GRAPH_CONF_PATH, 0755);
        monitor_conf_init();
        for (int id : {1, 2})
            EXPECT_EQ(graph_get(MONITOR_STORED, id)->id, id == c.loaded ? id : 0) << c.what;
    }
}

TEST_F(Monitor, AccessorsAndClassifiers)
{
    EXPECT_EQ(graph_first_free(MONITOR_STORED), 0);
    graph_table[MONITOR_STORED][0].id = 1;
    graph_table[MONITOR_STORED][1].id = 1;
    EXPECT_EQ(graph_first_free(MONITOR_STORED), 2);
    for (graph_rec &g : graph_table[MONITOR_STORED])
        g.id = 1;
    EXPECT_EQ(graph_first_free(MONITOR_STORED), 0);
    graph_table[MONITOR_STORED][MONITOR_REC_COUNT - 1].id = 0;
    EXPECT_EQ(graph_first_free(MONITOR_STORED), MONITOR_REC_COUNT - 1);

    EXPECT_EQ(data_item_table_get(), &data_item_table[0][0]);
    EXPECT_EQ(graph_get(4, 1023), &graph_table[4][1023]);
    for (auto [type, index] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 1024}}) {
        EXPECT_EQ(graph_get(type, index), nullptr) << type << "," << index;
        EXPECT_EQ(data_item_get(type, index), nullptr) << type << "," << index;
    }

    const struct {
        int value, type;
    } ids[] = {{INT_MIN, 4}, {-5, 4}, {1000, 4}, {1001, 0}, {2000, 0},
               {2001, 1},    {3000, 1}, {3001, 2}, {INT_MAX, 2}};
    for (const auto &c : ids)
        EXPECT_EQ(monitor_id_type(c.value), c.type) << c.value;
}

TEST_F(Monitor, CompactTimeIsLocalTime)
{
    const struct {
        const char *tz;
        const char *text;
        std::time_t want;
    } cases[] = {
        {"UTC", "20240131235958", 1706745598},
        {"UTC", "19700101000000", 0},
        {"UTC", "20240229120000trailing", 1709208000},
        {"XYZ-2", "20240131235958", 1706745598 - 7200},
    };
    for (const auto &c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        std::time_t t = -1;
        EXPECT_EQ(parse_compact_time(c.text, &t), 0);
        EXPECT_EQ(t, c.want) << c.tz << " " << c.text;
    }
    std::time_t t;
    EXPECT_EQ(parse_compact_time(nullptr, &t), -1);
}

TEST_F(Monitor, SaveWritesTheDocumentedLines)
{
    mkdirs(GRAPH_CONF_DIR);
    graph_rec &g = graph_table[MONITOR_STORED][5];
    g.id = 5;
    g.max_data_value = 100;
    set_text(g.name, "cpu");
    g.draw_style = 1;
    g.data_style = 2;
    g.data_item_id[0] = 3;
    g.data_item_id[1] = 4;
    set_colour(g.colour[0], "aaaaaa");
    set_colour(g.colour[1], "bbbbbb");
    // Template types are never written.
    graph_table[MONITOR_BUFFER][1] = good_graph(1);

    ASSERT_EQ(graph_conf_save(), 0);
    EXPECT_EQ(read_file(GRAPH_CONF_PATH), "5&100&cpu&1&2&3 4 0 0 0 0 0 0&aaaaaa bbbbbb      \n"
                                          "NULL&NULL&NULL&NULL&NULL&NULL&NULL&NULL\n");
    EXPECT_EQ(dir_entries(GRAPH_CONF_DIR), std::vector<std::string>{"web_graph.conf"});

    monitor_conf_init();
    EXPECT_EQ(graph_table[MONITOR_STORED][5].id, 5);
    for (const auto &name : graph_table[MONITOR_STORED][5].data_name)
        EXPECT_STREQ(name, "");
}

TEST_F(Monitor, SaveThenLoadRoundTrip)
{
    mkdirs(GRAPH_CONF_DIR);
    put(GRAPH_TEMPLATE_PATH, "1&1&template&0&0&1&aaaaaa\nt\n");
    graph_rec &first = graph_table[MONITOR_STORED][1];
    first = good_graph(1);
    graph_rec &full = graph_table[MONITOR_STORED][1023];
    full = good_graph(1023);
    for (int i = 0; i < GRAPH_DATA_MAX; ++i) {
        full.data_item_id[i] = -i * 1000;
        set_colour(full.colour[i], std::string(6, static_cast<char>('a' + i)));
        set_text(full.data_name[i], std::string(29, static_cast<char>('A' + i)) + "#");
    }
    graph_table[MONITOR_STORED][500] = good_graph(500);
    set_text(graph_table[MONITOR_STORED][500].name, std::string(127, 'n'));

    graph_rec want[MONITOR_REC_COUNT];
    std::memcpy(want, graph_table[MONITOR_STORED], sizeof want);
    ASSERT_EQ(graph_conf_save(), 0);
    monitor_conf_init();
    for (int i = 0; i < MONITOR_REC_COUNT; ++i)
        expect_same(graph_table[MONITOR_STORED][i], want[i], "slot " + std::to_string(i));

    // Nothing in use: an empty file, and no fall-back to the template.
    std::memset(graph_table, 0, sizeof graph_table);
    ASSERT_EQ(graph_conf_save(), 0);
    EXPECT_EQ(read_file(GRAPH_CONF_PATH), "");
    monitor_conf_init();
    EXPECT_EQ(graph_table[MONITOR_STORED][1].id, 0);
}

TEST_F(Monitor, UnstorableGraphsAreLeftOut)
{
    mkdirs(GRAPH_CONF_DIR);
    auto name = [](const char *s) { return [s](graph_rec &g) { set_text(g.name, s); }; };
    auto data_name = [](int i, std::string s) {
        return [i, s](graph_rec &g) { set_text(g.data_name[i], s); };
    };
    const struct {
        const char *what;
        std::function<void(graph_rec &)> spoil;
        bool stored;
    } cases[] = {
        {"as is", [](graph_rec &) {}, true},
        {"empty name", name(""), false},
        {"& in name", name("a&b"), false},
        {"line feed in name", name("a\nb"), false},
        {"carriage return in name", name("a\rb"), false},
        {"unterminated name", [](graph_rec &g) { std::memset(g.name, 'n', sizeof g.name); }, false},
        {"id of another slot", [](graph_rec &g) { g.id = 8; }, false},
        {"negative id", [](graph_rec &g) { g.id = -7; }, false},
        {"blank in colour", [](graph_rec &g) { set_colour(g.colour[1], "ab cd"); }, false},
        {"& in colour", [](graph_rec &g) { set_colour(g.colour[1], "ab&cd"); }, false},
        {"colour after a gap", [](graph_rec &g) { set_colour(g.colour[4], "ffffff"); }, false},
        {"NULL in data name", data_name(2, "xNULLx"), false},
        {"& in data name", data_name(2, "a&b"), false},
        {"line feed in data name", data_name(2, "a\n"), false},
        {"second line of 254", [](graph_rec &g) {
             for (int i = 0; i < GRAPH_DATA_MAX; ++i)
                 set_text(g.data_name[i], std::string(i == 0 ? 30 : 31, 'd'));
         }, true},
        {"second line of 255", [](graph_rec &g) {
             for (int i = 0; i < GRAPH_DATA_MAX; ++i)
                 set_text(g.data_name[i], std::string(31, 'd'));
         }, false},
        {"first line over 254", [](graph_rec &g) {
             set_text(g.name, std::string(127, 'n'));
             for (int &id : g.data_item_id)
                 id = INT_MIN;
             for (auto &c : g.colour)
                 set_colour(c, "cccccc");
         }, false},
    };
    for (const auto &c : cases) {
        std::memset(graph_table, 0, sizeof graph_table);
        graph_table[MONITOR_STORED][3] = good_graph(3);
        graph_rec &g = graph_table[MONITOR_STORED][7];
        g = good_graph(7);
        c.spoil(g);
        const graph_rec kept = graph_table[MONITOR_STORED][3];
        const graph_rec spoiled = g;
        write_file(GRAPH_CONF_PATH, "old\n");

        EXPECT_EQ(graph_conf_save(), c.stored ? 0 : -1) << c.what;
        monitor_conf_init();
        expect_same(graph_table[MONITOR_STORED][3], kept, c.what);
        if (c.stored) {
            expect_same(graph_table[MONITOR_STORED][7], spoiled, c.what);
        } else {
            EXPECT_EQ(graph_table[MONITOR_STORED][7].id, 0) << c.what;
            EXPECT_EQ(graph_table[MONITOR_STORED][8].id, 0) << c.what;
        }
    }
}

TEST_F(Monitor, UnfinishedSaveKeepsTheOldFile)
{
    graph_table[MONITOR_STORED][3] = good_graph(3);
    EXPECT_EQ(graph_conf_save(), -1) << "no directory";
    EXPECT_FALSE(path_exists("/mnt/flash"));

    // Two pages: the old file and a filler leave no room for the new file.
    mkdir("/mnt/flash", 0755);
    ASSERT_EQ(mount("tmpfs", "/mnt/flash", "tmpfs", 0, "size=8k"), 0) << std::strerror(errno);
    mkdirs(GRAPH_CONF_DIR);
    const std::string old = "1&1&old&0&0&1&aaaaaa\nkept\n";
    write_file(GRAPH_CONF_PATH, old);
    write_file("/mnt/flash/filler", std::string(4096, 'f'));

    EXPECT_EQ(graph_conf_save(), -1);
    EXPECT_EQ(read_file(GRAPH_CONF_PATH), old);
    EXPECT_EQ(dir_entries(GRAPH_CONF_DIR), std::vector<std::string>{"web_graph.conf"});

    unlink("/mnt/flash/filler");
    EXPECT_EQ(graph_conf_save(), 0);
    monitor_conf_init();
    EXPECT_EQ(graph_table[MONITOR_STORED][1].id, 0);
    EXPECT_EQ(graph_table[MONITOR_STORED][3].id, 3);
}

TEST_F(ConsoleDump, FieldsAndDataItems)
{
    graph_rec &g = graph_table[MONITOR_SYSTEM][4];
    g.id = 4;
    g.max_data_value = 90;
    set_text(g.name, "temp");
    g.draw_style = 1;
    g.data_style = 0;
    const std::string head = "id                   :4 \n"
                             "max_data_value:90 \n"
                             "name              :temp \n"
                             "draw_style       :1 \n"
                             "data_style        :0 \n";
    EXPECT_EQ(dumped(MONITOR_SYSTEM, 4), head);

    g.data_item_id[1] = 7;
    set_colour(g.colour[1], "abcdef");
    set_colour(g.colour[2], "123456"); // packed right after colour 1
    set_text(g.data_name[1], "board");
    set_text(data_item_table[MONITOR_SYSTEM][7].data_name, "Board sensor");
    EXPECT_EQ(dumped(MONITOR_SYSTEM, 4), head + "data_item_id1        :7 \n"
                                                "colour1        :abcdef \n"
                                                "data_name1        :board \n"
                                                "data_name1        :Board sensor \n");

    // An index outside the data item table prints no item name.
    g.data_item_id[1] = 5000;
    g.data_item_id[6] = -3;
    set_text(g.name, "");
    EXPECT_EQ(dumped(MONITOR_SYSTEM, 4),
              "id                   :4 \n"
              "max_data_value:90 \n"
              "name              : \n"
              "draw_style       :1 \n"
              "data_style        :0 \n"
              "data_item_id1        :5000 \n"
              "colour1        :abcdef \n"
              "data_name1        :board \n"
              "data_item_id6        :-3 \n"
              "colour6        : \n"
              "data_name6        : \n");

    EXPECT_EQ(dumped(5, 0, -1), "");
    EXPECT_EQ(dumped(0, 1024, -1), "");
    // A free slot prints as it is.
    EXPECT_EQ(dumped(MONITOR_STORED, 9).substr(0, 25), "id                   :0 \n");
}

TEST_F(ConsoleDump, LostConsoleStillReturnsZero)
{
    ASSERT_EQ(mount(nullptr, "/dev/console", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    graph_table[MONITOR_STORED][1] = good_graph(1);
    EXPECT_EQ(dumped(MONITOR_STORED, 1), "");
}
