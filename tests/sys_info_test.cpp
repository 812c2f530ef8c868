// Board and system information against files, a shared memory segment of a
// private IPC namespace, and the switch_publish stand-in.
#include "md5_text.h"
#include "monitor_graph.h"
#include "sys_info.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string BOARD = "/tmp/nerva_board_info";
const std::string SNMP = "/tmp/snmp_sys_info";

// Publishes the feature word as its producer does: high half first.
void publish_word(std::uint64_t word)
{
    write_file(FEATURE_KEY_PATH, "");
    const key_t key = ftok(FEATURE_KEY_PATH, FEATURE_KEY_PROJECT);
    ASSERT_NE(key, -1);
    const int id = shmget(key, FEATURE_WORD_SIZE, IPC_CREAT | 0644);
    ASSERT_NE(id, -1);
    void *seg = shmat(id, nullptr, 0);
    ASSERT_NE(seg, reinterpret_cast<void *>(-1));
    const std::uint32_t halves[2] = {static_cast<std::uint32_t>(word >> 32),
                                     static_cast<std::uint32_t>(word)};
    std::memcpy(seg, halves, sizeof halves);
    shmdt(seg);
}

std::string hex(const unsigned char *p, std::size_t n)
{
    std::string s;
    char b[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

} // namespace

TEST(FileTypes, StatFollowsLinks)
{
    mkdir("/tmp/dir", 0755);
    write_file("/tmp/reg", "x");
    symlink("/tmp/reg", "/tmp/to_reg");
    symlink("/tmp/dir", "/tmp/to_dir");
    symlink("/tmp/none", "/tmp/dangling");
    const struct {
        const char *path;
        int exists, dir, reg;
    } cases[] = {
        {"/tmp/none", 0, 0, 0},
        {"/tmp/dir", 1, 1, 0},
        {"/tmp/reg", 1, 0, 1},
        {"/tmp/to_reg", 1, 0, 1},
        {"/tmp/to_dir", 1, 1, 0},
        {"/tmp/dangling", 0, 0, 0},
        {"/dev/null", 1, 0, 0},
        {"", 0, 0, 0},
        {nullptr, 0, 0, 0},
    };
    for (const auto &c : cases) {
        const char *name = c.path ? c.path : "(null)";
        EXPECT_EQ(file_exists(c.path), c.exists) << name;
        EXPECT_EQ(is_directory(c.path), c.dir) << name;
        EXPECT_EQ(is_regular_file(c.path), c.reg) << name;
    }
}

TEST(SwVersion, FirstSwVerLineSecondWord)
{
    const struct {
        std::string board;
        const char *want;
    } cases[] = {
        {"sw_ver 7.0.3 build 12\n", "7.0.3"},
        {"sw_version 2.1\n", "2.1"},
        {"hw_ver 9\nsw_ver\t4.4\nsw_ver 5.5\n", "4.4"},
        {"sw_ver\nsw_ver 5.5\n", ""},
        {" sw_ver 1.0\n", ""},
        {"# sw_ver 1.0\n", ""},
        {"SW_VER 1.0\n", ""},
        {"sw_ver 1.0", "1.0"},
        {"sw_ver " + std::string(40, 'v') + "\n", "vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv"},
        // Pieces of 63 characters: the rest of a long line is a new piece.
        {"x" + std::string(62, '-') + "sw_ver 6.6\n", "6.6"},
        {"", ""},
    };
    for (const auto &c : cases) {
        write_file(BOARD, c.board);
        char out[64];
        std::memset(out, 'z', sizeof out);
        EXPECT_EQ(get_sw_version(out, sizeof out), out);
        EXPECT_STREQ(out, c.want) << c.board;
    }
    write_file(BOARD, "sw_ver 12.34.56\n");
    char small[5];
    get_sw_version(small, sizeof small);
    EXPECT_STREQ(small, "12.3");

    char keep[SW_VERSION_SIZE] = "old";
    write_file(BOARD, "sw_ver\n");
    EXPECT_EQ(read_sw_version(keep, sizeof keep), 0);
    EXPECT_STREQ(keep, "old");
    unlink(BOARD.c_str());
    EXPECT_EQ(read_sw_version(keep, sizeof keep), -1);
    EXPECT_STREQ(keep, "old");
    char out[8] = "x";
    EXPECT_STREQ(get_sw_version(out, sizeof out), "");
}

TEST(MgmtUser, FirstUserLineOrNoUser)
{
    const struct {
        std::string board;
        const char *want;
    } cases[] = {
        {"mgmtuser    admin\n", "admin"},
        {"mgmtuser admin\r\n", "admin"},
        {"mgmtuser\tadmin\n", "\tadmin"},
        {"mgmtuser\n", "__nouser"},
        {"mgmtuser   \nmgmtuser bob\n", "__nouser"},
        {"#mgmtuser x\nmgmtuser bob\n", "bob"},
        {"\n\nmgmtuser bob smith\n", "bob smith"},
        {"sw_ver 1\n", "__nouser"},
        {"", "__nouser"},
        // "mgmtuser" anywhere marks the line; the value still starts at 8.
        {"my mgmtuser x\n", "ser x"},
    };
    for (const auto &c : cases) {
        write_file(BOARD, c.board);
        char out[32];
        get_mgmt_user(out, sizeof out);
        EXPECT_STREQ(out, c.want) << c.board;
    }
    write_file(BOARD, "mgmtuser administrator\n");
    char small[6];
    get_mgmt_user(small, sizeof small);
    EXPECT_STREQ(small, "admin");
    unlink(BOARD.c_str());
    char out[32];
    get_mgmt_user(out, sizeof out);
    EXPECT_STREQ(out, "__nouser");
}

TEST(SnmpInfo, LastContactAndLocation)
{
    const struct {
        std::string file;
        const char *contact;
        const char *location;
    } cases[] = {
        {"sysContact net-ops\nsysLocation rack 4\n", "net-ops", "rack 4"},
        {"sysContact a\r\nsysLocation b\r\n", "a", "b"},
        {"#sysContact x\nsysLocation=here\n", "", "here"},
        {"sysContact\nsysLocation\n", "", ""},
        {"sysContact first\nsysContact second\n", "second", ""},
        {"sysContact sysLocation\n", "sysLocation", ""},
        {"\n\nsysLocation " + std::string(300, 'l') + "\n", "", nullptr},
    };
    for (const auto &c : cases) {
        write_file(SNMP, c.file);
        char contact[SNMP_INFO_SIZE] = "junk", location[SNMP_INFO_SIZE] = "junk";
        EXPECT_EQ(get_snmp_sys_info(contact, location), 0);
        EXPECT_STREQ(contact, c.contact) << c.file;
        if (c.location) {
            EXPECT_STREQ(location, c.location) << c.file;
        } else {
            EXPECT_EQ(std::string(location), std::string(255, 'l'));
        }
    }
    unlink(SNMP.c_str());
    char contact[SNMP_INFO_SIZE] = "junk", location[SNMP_INFO_SIZE] = "junk";
    EXPECT_EQ(get_snmp_sys_info(contact, location), -1);
    EXPECT_STREQ(contact, "");
    EXPECT_STREQ(location, "");
}

TEST(Features, WordHalvesAndMissingSegment)
{
    EXPECT_EQ(feature_enabled(~0ull), 0);
    EXPECT_TRUE(path_exists(FEATURE_KEY_PATH)) << "the key file is made";
    // Still no segment: a reader never creates one.
    EXPECT_EQ(shmget(ftok(FEATURE_KEY_PATH, FEATURE_KEY_PROJECT), 0, 0), -1);

    publish_word(0x100000002ull);
    const struct {
        std::uint64_t mask;
        int want;
    } cases[] = {
        {0x2, 1}, {0x1, 0}, {0x100000000ull, 1}, {0x200000000ull, 0},
        {0x3, 1}, {0, 0},   {0xFFFFFFFF00000000ull, 1}, {0xFFFFFFFDull, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(feature_enabled(c.mask), c.want) << std::hex << c.mask;
}

TEST(Features, PlantedKeyLinkIsRefused)
{
    write_file("/tmp/victim", "keep");
    unlink(FEATURE_KEY_PATH);
    ASSERT_EQ(symlink("/tmp/victim", FEATURE_KEY_PATH), 0);
    EXPECT_EQ(feature_enabled(~0ull), 0);
    EXPECT_EQ(read_file("/tmp/victim"), "keep");
    unlink(FEATURE_KEY_PATH);
}

TEST(Features, NamesAreDistinctSingleBits)
{
    std::set<std::string_view> names;
    std::uint64_t all = 0;
    for (const feature_name &f : feature_names) {
        EXPECT_EQ(f.mask & (f.mask - 1), 0u) << f.name;
        EXPECT_EQ(all & f.mask, 0u) << f.name;
        all |= f.mask;
        names.insert(f.name);
    }
    EXPECT_EQ(names.size(), feature_names.size());
    EXPECT_EQ(all, 0x3FFFFFFFFull & ~0x4ull);
}

TEST(Md5Text, RawDigestBytes)
{
    const struct {
        const char *text;
        const char *want;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {nullptr, "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
    };
    for (const auto &c : cases) {
        unsigned char digest[MD5_DIGEST_BYTES + 1];
        digest[MD5_DIGEST_BYTES] = 0xAA;
        EXPECT_EQ(md5_text(c.text, digest), 0);
        EXPECT_EQ(hex(digest, MD5_DIGEST_BYTES), c.want);
        EXPECT_EQ(digest[MD5_DIGEST_BYTES], 0xAA);
    }
}

TEST(PageBinary, DoesNotLinkLibcrypto)
{
    const proc_result r = run_process({"/usr/bin/readelf", "-d", PAGE_BIN}, {"LC_ALL=C"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(r.out.find("(NEEDED)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("libcrypto"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("libssl"), std::string::npos) << r.out;
}

TEST(Publisher, ReadersSeeAPlausibleSwitch)
{
    const proc_result r = run_process({SIM_BIN_DIR "/switch_publish"}, {});
    ASSERT_EQ(r.status, 0) << r.err;

    char version[SW_VERSION_SIZE];
    EXPECT_STREQ(get_sw_version(version, sizeof version), "3.2.7");
    char user[32];
    get_mgmt_user(user, sizeof user);
    EXPECT_STREQ(user, "admin");
    char contact[SNMP_INFO_SIZE], location[SNMP_INFO_SIZE];
    ASSERT_EQ(get_snmp_sys_info(contact, location), 0);
    EXPECT_STRNE(contact, "");
    EXPECT_STRNE(location, "");
    for (const feature_name &f : feature_names) {
        if (f.name == "IGMP" || f.name == "PBR") {
            EXPECT_EQ(feature_enabled(f.mask), 1) << f.name;
        } else if (f.name == "BGP") {
            EXPECT_EQ(feature_enabled(f.mask), 0) << f.name;
        }
    }

    // Every template type loads, and the latency ranges name the bins.
    monitor_conf_init();
    for (int type : {MONITOR_LATENCY, MONITOR_BUFFER, MONITOR_SYSTEM, MONITOR_STORED})
        EXPECT_EQ(graph_get(type, 1)->id, 1) << "type " << type;
    for (int type : {MONITOR_LATENCY, MONITOR_BUFFER, MONITOR_SYSTEM})
        EXPECT_EQ(data_item_get(type, 1)->id, 1) << "type " << type;
    EXPECT_STREQ(data_item_get(MONITOR_LATENCY, 1)->name, "<500ns");
    EXPECT_STREQ(data_item_get(MONITOR_LATENCY, 8)->name, ">10000ns");
    EXPECT_STREQ(graph_get(MONITOR_SYSTEM, 2)->data_name[0], "Board");
    EXPECT_STREQ(graph_get(MONITOR_SYSTEM, 2)->data_name[1], "");
}
