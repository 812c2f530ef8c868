// Path checks and conversions, CRC-32 and image headers, and storage capacity
// against tmpfs mounts of exact sizes (each test runs in a private namespace).
#include "param_check.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

constexpr std::int64_t MiB = 1024 * 1024, GiB = 1024 * MiB;

// n bytes of 'a' with a '/' as every step-th byte: a valid relative path.
std::string slashed(std::size_t n, std::size_t step)
{
    std::string s(n, 'a');
    for (std::size_t i = step - 1; i < n; i += step)
        s[i] = '/';
    return s;
}

std::uint32_t crc(const std::string &s, std::uint32_t start = 0)
{
    return gen_crc32(start, reinterpret_cast<const unsigned char *>(s.data()), std::uint32_t(s.size()));
}

// A valid image: big-endian header fields, both CRCs right.
std::string image(const std::string &payload)
{
    auto be32 = [](std::uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    std::string h = be32(IMAGE_MAGIC) + be32(0) + "hhhh" + be32(std::uint32_t(payload.size())) + "hhhhhhhh" +
                    be32(crc(payload)) + std::string(36, 'h');
    return h.replace(4, 4, be32(crc(h))) + payload;
}

// A sparse file of exactly size bytes.
std::string sized(std::int64_t size)
{
    const std::string path = "/tmp/src" + std::to_string(size);
    write_file(path, "");
    EXPECT_EQ(truncate(path.c_str(), size), 0);
    return path;
}

} // namespace

TEST(PathChecks, NamesPathsAndDisplayPaths)
{
    const auto name = check_file_name, path = check_path, disp = check_display_path;
    const std::tuple<int (*)(const char *), std::string, int> cases[] = {
        {name, ".", 0}, {name, "..", 0}, {name, "Img_1(2)-x.bin", 0}, {name, std::string(79, 'a'), 0},
        {name, std::string(80, 'a'), -2}, {name, "", -2}, {name, ".hidden", -1}, {name, "a:b", -1}, {path, "/", 0},
        {path, "", -1}, {path, "a//b", -1}, {path, "/mnt/../x", 0}, {disp, "flash:", 0}, {disp, "flash:x.bin", 0},
        {disp, "flash:/boot/x.bin", 0}, {disp, "usb:x", -1}, {disp, "flash:/.x", -1}, {disp, "flash:..", -1},
        {disp, "flash:../x", -1},
        // 32 components and 256 bytes are the most
        {path, "/" + slashed(63, 2), 0}, {path, "/" + slashed(65, 2), -1}, {path, "/" + slashed(255, 10), 0},
        {path, "/" + slashed(256, 10), -1}, {disp, "flash:/" + slashed(249, 10), 0},
        {disp, "flash:/" + slashed(250, 10), -1},
    };
    for (const auto &[check, text, want] : cases)
        EXPECT_EQ(check(text.c_str()), want) << "'" << text << "'";
    for (auto check : {name, path, disp})
        EXPECT_EQ(check(nullptr), -1);
}

TEST(PathNormalize, DotAndDotDotComponents)
{
    for (auto [in, want] : {std::pair{"./a", "a"}, {"a/./b", "a/b"}, {"a./b", "a./b"}, {".", ""}, {"a/.", "a/"},
                            {"a/b/../c", "a/c"}, {"a/../../b", "b"}, {"a/b/..", "a/"}, {"/a/..", "/"}, {"/../a", "a"},
                            {"..", ""}, {"a/..b/c", "a/..b/c"}, {"flash:/a/../b", "flash:/b"}}) {
        std::string buf = in;
        path_normalize(buf.data());
        EXPECT_STREQ(buf.c_str(), want) << "'" << in << "'";
    }
}

TEST(PathConversion, DisplayToRealAndBack)
{
    mkdir("/mnt/flash", 0755);
    const std::string longest = slashed(244, 10), over = slashed(245, 10); // real paths of 255 and 256 bytes
    const std::tuple<const char *, std::string, std::string> cases[] = { // cwd, display, real ("" refused)
        {"/", "flash:", "/mnt/flash"}, {"/", "flash:a.bin", "/mnt/flash/a.bin"},
        {"/", "flash:/boot/a.bin", "/mnt/flash/boot/a.bin"}, {"/", "flash:/x/../y", "/mnt/flash/y"},
        {"/mnt/flash", "a.bin", "/mnt/flash/a.bin"}, {"/mnt/flash", "/a.bin", "/mnt/flash/a.bin"},
        {"/mnt/flash", "flash:/../a", "/mnt/flash/a"}, {"/mnt", "flash/x", "/mnt/flash/x"}, {"/mnt", ".", ""},
        {"/", "a.bin", ""}, {"/", "/mnt/flash/x", ""}, {"/mnt/flash", "flash:../x", ""},
        {"/mnt/flash", "../../etc", ""}, {"/", "flash:/" + longest, "/mnt/flash/" + longest},
        {"/", "flash:/" + over, ""}, {"/mnt/flash", over, ""}, {"/mnt/flash", longest, "/mnt/flash/" + longest},
        {"/", "flash:/a/../" + longest, ""}, // a display path of 256 bytes
        // "flash:./.." normalises to nothing and so names the working
        // directory, which must itself lie under a mount path
        {"/mnt/flash", "flash:./..", "/mnt/flash/"}, {"/mnt", "flash:./..", ""}, {"/mnt/flash", "flash:..", ""},
        {"/mnt", "flash.old/x", ""}, // a sibling of the mount path, not inside it
    };
    for (const auto &[cwd, display, real] : cases) {
        ASSERT_EQ(chdir(cwd), 0);
        char out[2 * PATH_WORK_SIZE] = ""; // room to spare: the 255-byte limit is the function's own
        const int rc = display_to_real_path(display.c_str(), out, sizeof out);
        EXPECT_EQ(rc == 0 ? out : "-1", real.empty() ? "-1" : real) << cwd << " '" << display << "'";
    }
    char small[8];
    EXPECT_EQ(display_to_real_path("flash:/abc", small, sizeof small), -1) << "cut to the buffer";
    for (auto [real, display] : {std::pair{"/mnt/flash", "flash:"}, {"/tmp/x", ""},
                                 {"/mnt/flash/boot/a.bin", "flash:/boot/a.bin"}, {"/mnt/flashdisk", "flash:disk"}}) {
        char out[PATH_WORK_SIZE] = "";
        EXPECT_EQ(real_to_display_path(real, out), *display ? 0 : -1) << real;
        EXPECT_STREQ(out, display) << real;
    }
    std::string seen;
    auto note = [](const path_map_entry *row, void *s) {
        return static_cast<std::string *>(s)->append(row->real_path), 0;
    };
    path_map_foreach(note, &seen);
    path_map_foreach(nullptr, &seen);
    EXPECT_EQ(seen, "/mnt/flash/mnt/flash/boot");
}

TEST(GenCrc32, KnownValuesAndContinuation)
{
    EXPECT_EQ(crc("", 0x12345678u), 0x12345678u);
    EXPECT_EQ(crc("123456789"), 0xCBF43926u);
    std::string data;
    std::uint32_t bitwise = 0xFFFFFFFFu; // the polynomial a bit at a time
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(crc(data), ~bitwise) << "length " << i; // split in two passes: fuzz/image_header_fuzz.cpp
        data += char(i * 131 + 7);
        bitwise ^= static_cast<unsigned char>(data.back());
        for (int k = 0; k < 8; ++k)
            bitwise = (bitwise & 1) ? (bitwise >> 1) ^ 0xEDB88320u : bitwise >> 1;
    }
    EXPECT_DEATH(gen_crc32(0, nullptr, 0), "gen_crc32: Assertion `buf != \\(\\(void \\*\\)0\\)' failed");
}

TEST(CheckImageFile, HeaderAndPayload)
{
    const std::string good = image(std::string(1000, 'p'));
    auto flip = [&good](std::size_t off) { std::string s = good; s[off] ^= 1; return s; };
    const std::tuple<const char *, std::string, int, int> cases[] = {
        {"valid", good, 0, 0}, {"empty payload", image(""), 0, 0}, {"63 bytes", good.substr(0, 63), -1, -1},
        {"payload byte changed", flip(IMAGE_HEADER_SIZE + 500), 0, -1},
        {"little-endian magic", std::string("\x56\x19\x05\x27", 4) + good.substr(4), -1, -1},
        {"size short of payload", good + "x", -1, -1}, {"header byte 40 changed", flip(40), -1, -1},
    };
    for (const auto &[what, content, header_only, with_data] : cases) {
        write_file("/tmp/img", content);
        EXPECT_EQ(check_image_file("/tmp/img", nullptr, 0, 0), header_only) << what;
        EXPECT_EQ(check_image_file("/tmp/img", "x", 1, 1), with_data) << what;
    }
    EXPECT_EQ(check_image_file("/tmp/none", nullptr, 0, 0), -1);
}

// Sizes past 4 GiB on the USB disk, which 32-bit arithmetic on the target
// would wrap: 5 GiB + 1 would look like 1 GiB + 1 and fit.
TEST(StorageSpace, CopyKeepsTheReserve)
{
    EXPECT_EQ(check_copy_space("/tmp/none", "/mnt/flash/x", 0), -1) << "area measured before the source";
    for (auto [dir, opt] : {std::pair{"/mnt/flash", "size=10m"}, {"/mnt/flash/boot", "size=2m"},
                            {"/mnt/udisk", "size=5g"}, {"/mnt/cf", "size=4m"}}) {
        mkdir(dir, 0755);
        ASSERT_EQ(mount("tmpfs", dir, "tmpfs", 0, opt), 0) << dir;
    }
    EXPECT_EQ(get_free_space("/mnt/flash"), 10 * MiB);
    EXPECT_EQ(get_free_space("/mnt/udisk"), 5 * GiB);
    EXPECT_EQ(get_free_space("/mnt/none"), -1);
    write_file("/mnt/cf/old", std::string(2 * MiB, 'o')); // 2 MiB free beside it
    const std::tuple<std::string, const char *, std::int64_t, int> cases[] = {
        {"/tmp/none", "tmpdir/x", 0, 0}, {"/tmp/none", "/mnt/flash/x", 0, -2}, {sized(MiB), "/mnt", 0, -1},
        {sized(MiB), "/mnt/usb/x", 0, -1}, {sized(MiB), "/mnt/flashX", 0, -1}, {sized(9 * MiB), "/mnt/flash/x", 0, 0},
        {sized(9 * MiB + 1), "/mnt/flash/x", 0, -3}, {sized(5 * GiB), "/mnt/udisk/x", 0, 0},
        {sized(5 * GiB + 1), "/mnt/udisk/x", 0, -3}, {sized(9 * MiB), "/mnt/flash/boot/uImage", 0, -3},
        {sized(9 * MiB), "/mnt/flash/bootx/a", 0, 0}, {sized(9 * MiB), "/mnt/flashX/a", 0, 0},
        {sized(MiB + 1), "/mnt/cfcard/a", 0, -3},
        // The existing destination's 2 MiB count as free unless a size is given.
        {sized(3 * MiB), "/mnt/cf/old", 0, 0}, {sized(3 * MiB + 1), "/mnt/cf/old", 0, -3},
        {sized(3 * MiB), "/mnt/cf/old", 1, -3},
    };
    for (const auto &[src, dst, reclaim, want] : cases)
        EXPECT_EQ(check_copy_space(src.c_str(), dst, reclaim), want) << src << " " << dst << " " << reclaim;
}
