// Board and system information against files, a System V segment of the
// test's private IPC namespace, and the switch_publish stand-in.
#include "md5_text.h"
#include "monitor_graph.h"
#include "sys_info.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/shm.h>
#include <tuple>
#include <unistd.h>

TEST(BoardInfo, VersionAndManagementUser)
{
    const std::tuple<const char *, const char *, const char *> cases[] = { // null: no file
        {"sw_ver 7.0.3 build 12\nmgmtuser    admin\n", "7.0.3", "admin"},
        {"sw_version 2.1\nmgmtuser\nmgmtuser bob\n", "2.1", "__nouser"},
        {"hw 9\n sw_ver 1.0\nsw_ver\t4.4\nsw_ver 5.5\n#mgmtuser x\nmgmtuser bob\r\n", "4.4", "bob"},
        {"sw_ver 123456789012345678901234567890123456789\n", "1234567890123456789012345678901", "__nouser"},
        {"", "", "__nouser"}, {nullptr, "", "__nouser"},
    };
    for (auto [board, version, user] : cases) {
        board ? write_file("/tmp/nerva_board_info", board) : void(unlink("/tmp/nerva_board_info"));
        char out[64] = "stale", kept[SW_VERSION_SIZE] = "old";
        EXPECT_STREQ(get_sw_version(out, sizeof out), version) << board;
        EXPECT_EQ(read_sw_version(kept, sizeof kept), board ? 0 : -1) << board;
        EXPECT_STREQ(kept, *version ? version : "old") << "left as it was without a version";
        get_mgmt_user(out, sizeof out);
        EXPECT_STREQ(out, user) << board;
    }
}

TEST(SnmpInfo, LastContactAndLocation)
{
    const std::pair<const char *, const char *> cases[] = { // file, then "contact|location"; null: no file
        {"sysContact ops\nsysLocation rack 4\n", "ops|rack 4"}, {"sysContact a\r\nsysLocation b\r\n", "a|b"},
        {"#sysContact x\nsysContact\nsysLocation one\nsysLocation two\n", "|two"}, {nullptr, "|"},
    };
    for (auto [file, want] : cases) {
        file ? write_file("/tmp/snmp_sys_info", file) : void(unlink("/tmp/snmp_sys_info"));
        char contact[SNMP_INFO_SIZE] = "x", location[SNMP_INFO_SIZE] = "x";
        EXPECT_EQ(get_snmp_sys_info(contact, location), file ? 0 : -1);
        EXPECT_EQ(std::string(contact) + "|" + location, want) << file;
    }
}

TEST(Features, WordHalvesAndMissingSegment)
{
    EXPECT_EQ(feature_enabled(~0ull), 0);
    const key_t key = ftok(FEATURE_KEY_PATH, FEATURE_KEY_PROJECT);
    EXPECT_EQ(shmget(key, 0, 0), -1) << "a reader never creates the segment";
    auto *seg = static_cast<std::uint32_t *>(shmat(shmget(key, FEATURE_WORD_SIZE, IPC_CREAT | 0644), nullptr, 0));
    ASSERT_NE(seg, reinterpret_cast<void *>(-1));
    seg[0] = 0x1, seg[1] = 0x2; // as the producer writes it: the high half first
    for (auto [mask, want] : {std::pair<std::uint64_t, int>{0x2, 1}, {0x1, 0}, {0x100000000ull, 1},
                              {0x200000000ull, 0}, {0xFFFFFFFDull, 0}})
        EXPECT_EQ(feature_enabled(mask), want) << std::hex << mask;
}

TEST(Md5Text, RawDigestBytes)
{
    using namespace std::literals;
    const auto empty = "\xd4\x1d\x8c\xd9\x8f\x00\xb2\x04\xe9\x80\x09\x98\xec\xf8\x42\x7e"sv;
    const auto abc = "\x90\x01\x50\x98\x3c\xd2\x4f\xb0\xd6\x96\x3f\x7d\x28\xe1\x7f\x72"sv;
    for (auto [text, want] : {std::pair{"", empty}, {nullptr, empty}, {"abc", abc}}) {
        unsigned char d[MD5_DIGEST_BYTES];
        EXPECT_EQ(md5_text(text, d), 0);
        EXPECT_EQ(std::string_view(reinterpret_cast<char *>(d), sizeof d), want) << text;
    }
}

TEST(Publisher, ReadersSeeAPlausibleSwitch)
{
    ASSERT_EQ(run_process({SIM_BIN_DIR "/switch_publish"}, {}).status, 0);
    char text[SNMP_INFO_SIZE], user[SNMP_INFO_SIZE];
    get_mgmt_user(user, sizeof user);
    EXPECT_EQ(std::string(get_sw_version(text, sizeof text)) + " " + user, "3.2.7 admin");
    EXPECT_EQ(std::tuple(feature_enabled(0x80), feature_enabled(0x100000000), feature_enabled(0x2)),
              std::tuple(1, 1, 0)) << "IGMP and PBR on, BGP off";
    monitor_conf_init();
    for (int type : {MONITOR_LATENCY, MONITOR_BUFFER, MONITOR_SYSTEM, MONITOR_STORED})
        EXPECT_EQ(graph_get(type, 1)->id, 1) << "type " << type;
    EXPECT_EQ(std::string(data_item_get(0, 1)->name) + data_item_get(0, 8)->name, "<500ns>10000ns");
    EXPECT_STREQ(graph_get(MONITOR_SYSTEM, 2)->data_name[0], "Board");
}
