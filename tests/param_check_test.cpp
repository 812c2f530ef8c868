// Path checks and conversions, CRC-32 and image headers, and storage capacity
// against tmpfs mounts of exact sizes in a private namespace.
#include "param_check.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t MiB = 1024 * 1024;

std::string components(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "/c";
    return s;
}

// A valid relative path of exactly n bytes: components of 70 bytes at most.
std::string long_path(std::size_t n)
{
    std::string s;
    while (s.size() < n) {
        if (!s.empty())
            s += '/';
        s += std::string(std::min<std::size_t>(70, n - s.size()), 'a');
    }
    return s;
}

void chdir_or_fail(const char *dir)
{
    mkdir("/mnt/flash", 0755);
    ASSERT_EQ(chdir(dir), 0) << dir;
}

void mount_tmpfs(const char *dir, const char *size)
{
    mkdir(dir, 0755);
    const std::string opt = std::string("size=") + size;
    ASSERT_EQ(mount("tmpfs", dir, "tmpfs", 0, opt.c_str()), 0) << dir << ": " << std::strerror(errno);
}

// A sparse file of exactly size bytes.
std::string sized_file(const std::string &path, std::int64_t size)
{
    write_file(path, "");
    EXPECT_EQ(truncate(path.c_str(), size), 0);
    return path;
}

// Bit at a time, as the polynomial defines it.
std::uint32_t crc32_bitwise(const std::string &data)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

std::uint32_t crc(const std::string &s, std::uint32_t start = 0)
{
    return gen_crc32(start, reinterpret_cast<const unsigned char *>(s.data()),
                     static_cast<std::uint32_t>(s.size()));
}

void put_be32(std::string &s, std::size_t off, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[off + i] = static_cast<char>(v >> (24 - 8 * i));
}

// A valid image: header fields big-endian, both CRCs right.
std::string image(const std::string &payload)
{
    std::string hdr(IMAGE_HEADER_SIZE, '\0');
    put_be32(hdr, 0, IMAGE_MAGIC);
    put_be32(hdr, 12, static_cast<std::uint32_t>(payload.size()));
    put_be32(hdr, 24, crc(payload));
    for (std::size_t i = 32; i < IMAGE_HEADER_SIZE; ++i)
        hdr[i] = static_cast<char>('A' + i % 26);
    put_be32(hdr, 4, crc(hdr));
    return hdr + payload;
}

} // namespace

TEST(CheckFileName, LengthsAndBytes)
{
    const struct {
        std::string name;
        int want;
    } cases[] = {
        {".", 0},
        {"..", 0},
        {"Img_1(2)-x.bin", 0},
        {std::string(79, 'a'), 0},
        {"a..", 0},
        {"", -2},
        {std::string(80, 'a'), -2},
        {std::string(80, '.'), -2},
        {".hidden", -1},
        {"...", -1},
        {"a b", -1},
        {"a:b", -1},
        {"a/b", -1},
        {"a\tb", -1},
        {"caf\xc3\xa9", -1},
        {"x[1]", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(check_file_name(c.name.c_str()), c.want) << "'" << c.name << "'";
    EXPECT_EQ(check_file_name(nullptr), -1);
}

TEST(CheckPath, ComponentsLengthAndSeparators)
{
    const std::string long_ok = "/" + long_path(255);
    ASSERT_EQ(long_ok.size(), 256u);
    const struct {
        std::string path;
        int want;
    } cases[] = {
        {"/", 0},
        {"/mnt/flash/a.bin", 0},
        {"rel/x/", 0},
        {"/mnt/../x", 0},
        {"./a", 0},
        {components(32), 0},
        {components(33), -1},
        {long_ok, 0},
        {long_ok + "d", -1},
        {"", -1},
        {"a//b", -1},
        {"//", -1},
        {"/a/.b", -1},
        {"/a/b c", -1},
        {"/a/" + std::string(80, 'x'), -1},
        {"flash:/x", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(check_path(c.path.c_str()), c.want) << "'" << c.path << "'";
    EXPECT_EQ(check_path(nullptr), -1);
}

TEST(CheckDisplayPath, PrefixesAndRemainders)
{
    const struct {
        std::string path;
        int want;
    } cases[] = {
        {"flash:", 0},
        {"flash:/boot/x.bin", 0},
        {"flash:x.bin", 0},
        {"flash:/", 0},
        {"flash:/../a", 0},
        {"x.bin", 0},
        {"/mnt/flash/x", 0},
        {"c:/x", -1},
        {"usb:x", -1},
        {"flash:/.x", -1},
        {"flash:a//b", -1},
        {"flash:..", -1},
        {"flash:../x", -1},
        {"flash:/" + std::string(251, 'a'), -1},
        {"flash:" + std::string(251, 'a'), -1},
        {"", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(check_display_path(c.path.c_str()), c.want) << "'" << c.path << "'";
    EXPECT_EQ(check_display_path(nullptr), -1);
}

TEST(PathNormalize, DotAndDotDotComponents)
{
    const struct {
        const char *in;
        const char *want;
    } cases[] = {
        {"./a", "a"},
        {"a/./b", "a/b"},
        {"././a/./", "a/"},
        {"a./b", "a./b"},
        {".", ""},
        {"a/.", "a/"},
        {"a/b/../c", "a/c"},
        {"a/../../b", "b"},
        {"a/b/..", "a/"},
        {"a/b/../..", ""},
        {"/a/..", "/"},
        {"/x/../a", "/a"},
        {"/../a", "a"},
        {"/..", ""},
        {"..", ""},
        {"a/..b/c", "a/..b/c"},
        {"a../b", "a../b"},
        {"flash:/a/../b", "flash:/b"},
        {"flash:/..", ""},
        {"flash:..", "flash:.."},
        {"a//b/../c", "a//c"},
        {"", ""},
    };
    for (const auto &c : cases) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s", c.in);
        path_normalize(buf);
        EXPECT_STREQ(buf, c.want) << "'" << c.in << "'";
    }
    path_normalize(nullptr);
}

TEST(DisplayToRealPath, PrefixedAndRelative)
{
    const struct {
        const char *cwd;
        std::string display;
        int want;
        const char *real;
    } cases[] = {
        {"/", "flash:", 0, "/mnt/flash"},
        {"/", "flash:/", 0, "/mnt/flash/"},
        {"/", "flash:a.bin", 0, "/mnt/flash/a.bin"},
        {"/", "flash:/a.bin", 0, "/mnt/flash/a.bin"},
        {"/", "flash:/boot/a.bin", 0, "/mnt/flash/boot/a.bin"},
        {"/", "flash:/x/../y", 0, "/mnt/flash/y"},
        {"/", "flash:.", 0, "/mnt/flash/."},
        {"/mnt/flash", "a.bin", 0, "/mnt/flash/a.bin"},
        {"/mnt/flash", "/a.bin", 0, "/mnt/flash/a.bin"},
        {"/mnt/flash", "flash:/../a", 0, "/mnt/flash/a"},
        {"/mnt/flash", "..", -1, nullptr},
        {"/mnt/flash", "../../etc", -1, nullptr},
        {"/mnt", "flash/x", 0, "/mnt/flash/x"},
        {"/mnt", ".", -1, nullptr},
        {"/mnt", "usb/x", -1, nullptr},
        {"/", "a.bin", -1, nullptr},
        {"/", "/mnt/flash/x", -1, nullptr},
        {"/", "flash:..", -1, nullptr},
        {"/", "flash:../x", -1, nullptr},
        {"/mnt/flash", "flash:../x", -1, nullptr},
        {"/", "flash:a b", -1, nullptr},
        // Composed paths of 255 bytes are the longest accepted.
        {"/", "flash:/" + long_path(244), 0, nullptr},
        {"/", "flash:/" + long_path(245), -1, nullptr},
        {"/", "flash:" + long_path(244), 0, nullptr},
        {"/", "flash:" + long_path(245), -1, nullptr},
        {"/mnt/flash", long_path(244), 0, nullptr},
        {"/mnt/flash", long_path(245), -1, nullptr},
        {"/mnt/flash", "/" + long_path(244), 0, nullptr},
        {"/mnt/flash", "/" + long_path(245), -1, nullptr},
        {"/", "flash:/" + long_path(249), -1, nullptr},
    };
    for (const auto &c : cases) {
        chdir_or_fail(c.cwd);
        char out[PATH_WORK_SIZE] = "";
        EXPECT_EQ(display_to_real_path(c.display.c_str(), out, sizeof out), c.want)
            << c.cwd << " '" << c.display << "' gave '" << out << "'";
        if (c.real) {
            EXPECT_STREQ(out, c.real) << c.display;
        }
    }
    char out[8];
    EXPECT_EQ(display_to_real_path(nullptr, out, sizeof out), -1);
    EXPECT_EQ(display_to_real_path("flash:", nullptr, 8), -1);
    // A result cut to the caller's buffer is never handed out as a path.
    EXPECT_EQ(display_to_real_path("flash:/abc", out, sizeof out), -1);
    EXPECT_STREQ(out, "/mnt/fl");
    ASSERT_EQ(chdir("/mnt/flash"), 0);
    EXPECT_EQ(display_to_real_path("abc", out, sizeof out), -1);
}

TEST(RealToDisplayPath, ByteprefixRows)
{
    const struct {
        std::string real;
        int want;
        std::string display;
    } cases[] = {
        {"/mnt/flash", 0, "flash:"},
        {"/mnt/flash/boot/a.bin", 0, "flash:/boot/a.bin"},
        {"/mnt/flashdisk", 0, "flash:disk"},
        {"/mnt/flash/" + std::string(300, 'x'), 0, "flash:/" + std::string(248, 'x')},
        {"/tmp/x", -1, ""},
        {"/mnt/flas", -1, ""},
    };
    for (const auto &c : cases) {
        char out[PATH_WORK_SIZE + 8] = "";
        std::memset(out + PATH_WORK_SIZE, 'Z', 8);
        EXPECT_EQ(real_to_display_path(c.real.c_str(), out), c.want) << c.real;
        EXPECT_EQ(std::string(out), c.display);
        EXPECT_EQ(out[PATH_WORK_SIZE], 'Z');
    }
    char out[PATH_WORK_SIZE];
    EXPECT_EQ(real_to_display_path(nullptr, out), -1);
    EXPECT_EQ(real_to_display_path("/mnt/flash", nullptr), -1);
}

TEST(PathMapForeach, EveryRowInOrder)
{
    std::vector<std::string> seen;
    path_map_foreach(
        [](const path_map_entry *row, void *arg) {
            static_cast<std::vector<std::string> *>(arg)->push_back(row->display_prefix);
            return 1;
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"flash:", "flash:/boot"}));
    path_map_foreach(nullptr, &seen);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(GenCrc32, StandardValuesAndContinuation)
{
    EXPECT_EQ(crc(""), 0u);
    EXPECT_EQ(crc("", 0x12345678u), 0x12345678u);
    EXPECT_EQ(crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);

    std::string data;
    for (int i = 0; i < 300; ++i)
        data += static_cast<char>((i * 131 + 7) & 0xFF);
    // Every length around the 8-byte step, and every split point of one buffer.
    for (std::size_t len = 0; len <= 40; ++len)
        EXPECT_EQ(crc(data.substr(0, len)), crc32_bitwise(data.substr(0, len))) << len;
    const std::uint32_t whole = crc(data);
    EXPECT_EQ(whole, crc32_bitwise(data));
    for (std::size_t cut = 0; cut <= data.size(); cut += 7)
        EXPECT_EQ(crc(data.substr(cut), crc(data.substr(0, cut))), whole) << cut;
}

TEST(GenCrc32DeathTest, NullBufferAsserts)
{
    EXPECT_DEATH(gen_crc32(0, nullptr, 0), "gen_crc32.*buf != \\(\\(void \\*\\)0\\)");
}

TEST(CheckImageFile, HeaderAndPayload)
{
    const std::string good = image(std::string(1000, 'p') + "tail");
    auto changed = [&](std::size_t off) {
        std::string s = good;
        s[off] ^= 0x01;
        return s;
    };
    std::string le_magic = good;
    le_magic.replace(0, 4, "\x56\x19\x05\x27", 4);
    std::string short_size = image(std::string(10, 'q'));
    short_size += "x"; // one byte more than the header says

    const struct {
        const char *what;
        std::string content;
        int header_only;
        int with_data;
    } cases[] = {
        {"valid", good, 0, 0},
        {"empty payload", image(""), 0, 0},
        {"payload byte changed", changed(IMAGE_HEADER_SIZE + 500), 0, -1},
        {"last payload byte changed", changed(good.size() - 1), 0, -1},
        {"little-endian magic", le_magic, -1, -1},
        {"size short of payload", short_size, -1, -1},
        {"header byte 8", changed(8), -1, -1},
        {"header byte 32", changed(32), -1, -1},
        {"header byte 63", changed(63), -1, -1},
        {"header crc", changed(4), -1, -1},
        {"63 bytes", good.substr(0, 63), -1, -1},
        {"empty file", "", -1, -1},
    };
    for (const auto &c : cases) {
        write_file("/tmp/img", c.content);
        EXPECT_EQ(check_image_file("/tmp/img", nullptr, 0, 0), c.header_only) << c.what;
        EXPECT_EQ(check_image_file("/tmp/img", "x", 1, 1), c.with_data) << c.what;
        EXPECT_EQ(read_file("/tmp/img"), c.content) << c.what;
    }
    EXPECT_EQ(check_image_file(nullptr, nullptr, 0, 1), -1);
    EXPECT_EQ(check_image_file("/tmp/none", nullptr, 0, 0), -1);
    EXPECT_EQ(check_image_file("/tmp", nullptr, 0, 0), -1);
}

TEST(StorageSpace, FreeSpaceOfExactMounts)
{
    mount_tmpfs("/mnt/flash", "4m");
    EXPECT_EQ(get_free_space("/mnt/flash"), 4 * MiB);
    write_file("/mnt/flash/big", std::string(MiB, 'x'));
    EXPECT_EQ(get_free_space("/mnt/flash/big"), 3 * MiB);
    EXPECT_EQ(get_free_space("/mnt/none"), -1);
    EXPECT_EQ(get_free_space(nullptr), -1);
}

TEST(StorageSpace, CopyAdmittedWithReserve)
{
    mount_tmpfs("/mnt/flash", "10m");
    mount_tmpfs("/mnt/flash/boot", "2m");
    mount_tmpfs("/mnt/udisk", "10m");
    const std::string fits = sized_file("/tmp/fits", 9 * MiB);
    const std::string over = sized_file("/tmp/over", 9 * MiB + 1);
    const std::string full = sized_file("/tmp/full", 10 * MiB);
    const std::string full1 = sized_file("/tmp/full1", 10 * MiB + 1);
    const std::string small = sized_file("/tmp/small", MiB / 2);

    const struct {
        std::string src;
        const char *dst;
        std::int64_t reclaim;
        int want;
    } cases[] = {
        {"/tmp/missing", "/tmp/x", 0, 0},
        {"/tmp/missing", "tmpdir/x", 0, 0},
        {fits, "", 0, -1},
        {fits, "/", 0, -1},
        {fits, "/mnt", 0, -1},
        {fits, "/mnt/usb/x", 0, -1},
        {fits, "/mnt/flash", 0, -1},
        {fits, "/mnt/flash/", 0, -1},
        {fits, "/mnt/flash/x", 0, 0},
        {over, "/mnt/flash/x", 0, -3},
        {over, "/mnt/flash/x", 1, 0},
        {fits, "//mnt//flash//x", 0, 0},
        {fits, "/mnt/flash/bootx/a", 0, 0},
        {fits, "/mnt/flashX/a", 0, 0},
        {fits, "/mnt/flash/boot/uImage", 0, -3},
        {small, "/mnt/flash/boot/uImage", 0, 0},
        {full, "/mnt/udisk/x", 0, 0},
        {full1, "/mnt/udisk/x", 0, -3},
        {"/tmp/missing", "/mnt/flash/x", 0, -2},
        {"/tmp/missing", "/mnt/cfcard/a", 0, -1},
        {fits, "/mnt/cf/a", 0, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(check_copy_space(c.src.c_str(), c.dst, c.reclaim), c.want)
            << c.src << " -> '" << c.dst << "' reclaim " << c.reclaim;
    EXPECT_EQ(check_copy_space(fits.c_str(), nullptr, 0), -1);
    EXPECT_EQ(check_copy_space(nullptr, "/mnt/flash/x", 0), -2);

    // cf keeps the reserve; its mount is found by the prefix "cf".
    mount_tmpfs("/mnt/cf", "2m");
    EXPECT_EQ(check_copy_space(small.c_str(), "/mnt/cfcard/a", 0), 0);
    EXPECT_EQ(check_copy_space(sized_file("/tmp/cf1", MiB).c_str(), "/mnt/cf/a", 0), 0);
    EXPECT_EQ(check_copy_space(sized_file("/tmp/cf2", MiB + 1).c_str(), "/mnt/cf/a", 0), -3);
}

TEST(StorageSpace, ExistingDestinationIsReclaimed)
{
    mount_tmpfs("/mnt/flash", "10m");
    write_file("/mnt/flash/old.bin", std::string(2 * MiB, 'o'));
    ASSERT_EQ(get_free_space("/mnt/flash"), 8 * MiB);
    const std::string fits = sized_file("/tmp/fits", 9 * MiB);
    const std::string over = sized_file("/tmp/over", 9 * MiB + 1);
    const struct {
        const std::string &src;
        std::int64_t reclaim;
        int want;
    } cases[] = {
        {fits, 0, 0},             // 8 MiB free + 2 MiB measured
        {over, 0, -3},
        {fits, 1, -3},            // a given size replaces the measurement
        {fits, 2 * MiB, 0},
        {fits, INT64_MAX, 0},     // no overflow
    };
    for (const auto &c : cases)
        EXPECT_EQ(check_copy_space(c.src.c_str(), "/mnt/flash/old.bin", c.reclaim), c.want)
            << c.src << " reclaim " << c.reclaim;
}
