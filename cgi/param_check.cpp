// Flash path mapping and validation, image header check, storage capacity.
#include "param_check.h"

#include "sys_info.h"
#include "text_util.h"
#include "unique_fd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <zlib.h>

namespace {

bool starts_with(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

const path_map_entry *row_by_display(const char *path)
{
    for (const path_map_entry &row : path_map)
        if (starts_with(path, row.display_prefix))
            return &row;
    return nullptr;
}

bool name_byte_ok(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           c == '.' || c == '-' || c == '_' || c == '(' || c == ')';
}

// Start of the component holding offset from: just after the nearest '/' at
// or before from, or 0.
std::size_t component_start(const char *path, std::ptrdiff_t from)
{
    for (std::ptrdiff_t k = from; k >= 0; --k)
        if (path[k] == '/')
            return static_cast<std::size_t>(k + 1);
    return 0;
}

} // namespace

void path_map_foreach(path_map_cb cb, void *arg)
{
    if (!cb)
        return;
    for (const path_map_entry &row : path_map)
        cb(&row, arg);
}

int check_file_name(const char *name)
{
    if (!name)
        return -1;
    const std::size_t n = std::strlen(name);
    if (n < 1 || n > FILE_NAME_MAX)
        return -2;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return 0;
    if (name[0] == '.')
        return -1;
    for (std::size_t i = 0; i < n; ++i)
        if (!name_byte_ok(static_cast<unsigned char>(name[i])))
            return -1;
    return 0;
}

int check_path(const char *path)
{
    if (!path)
        return -1;
    const std::size_t len = std::strlen(path);
    if (len > CHECK_PATH_MAX || std::strstr(path, "//"))
        return -1;
    std::uint32_t count = 0;
    token_list parts = nullptr;
    if (str_split(path, static_cast<std::int32_t>(len), PATH_COMPONENT_MAX, "/", &count, &parts) != 0)
        return -1;
    int rc = 0;
    for (std::uint32_t i = 0; i < count && rc == 0; ++i)
        if (check_file_name(parts[i]) != 0)
            rc = -1;
    str_split_free(&parts);
    return rc;
}

int check_display_path(const char *path)
{
    if (!path || std::strlen(path) > CHECK_PATH_MAX)
        return -1;
    if (!std::strchr(path, ':'))
        return check_path(path);
    const path_map_entry *row = row_by_display(path);
    if (!row)
        return check_path(path);
    const char *rest = path + std::strlen(row->display_prefix);
    if (*rest == '\0')
        return 0;
    // The normaliser keeps a ".." right after the prefix (the byte before it
    // is not '/'), so it would name the parent of the mount path.
    if (rest[0] == '.' && rest[1] == '.' && (rest[2] == '\0' || rest[2] == '/'))
        return -1;
    return check_path(rest);
}

void path_normalize(char *path)
{
    if (!path)
        return;

    // Pass 1: "./" at the start or after a '/' of the text as it was.
    std::size_t w = 0;
    char prev = '/';
    for (std::size_t r = 0; path[r] != '\0';) {
        if (prev == '/' && path[r] == '.' && path[r + 1] == '/') {
            prev = '/';
            r += 2;
            continue;
        }
        prev = path[r];
        path[w++] = path[r++];
    }
    path[w] = '\0';
    if (std::strcmp(path, ".") == 0)
        path[0] = '\0';
    else if (w >= 2 && path[w - 2] == '/' && path[w - 1] == '.')
        path[w - 1] = '\0';

    // Pass 2: "../" with the component before it.
    std::size_t i = 0;
    while (path[i] != '\0') {
        if (path[i] == '.' && path[i + 1] == '.' && path[i + 2] == '/' &&
            (i == 0 || path[i - 1] == '/')) {
            const std::size_t s = i < 2 ? 0 : component_start(path, static_cast<std::ptrdiff_t>(i) - 2);
            std::memmove(path + s, path + i + 3, std::strlen(path + i + 3) + 1);
            i = s;
            continue;
        }
        ++i;
    }
    const std::size_t len = std::strlen(path);
    if (std::strcmp(path, "..") == 0)
        path[0] = '\0';
    else if (len > 2 && std::strcmp(path + len - 3, "/..") == 0)
        path[component_start(path, static_cast<std::ptrdiff_t>(len) - 4)] = '\0';
}

int display_to_real_path(const char *display, char *out, std::size_t out_size)
{
    if (!display || !out || std::strlen(display) > DISPLAY_PATH_MAX)
        return -1;
    char work[PATH_WORK_SIZE];
    std::snprintf(work, sizeof work, "%s", display);
    if (check_display_path(work) != 0)
        return -1;
    path_normalize(work);

    if (const path_map_entry *row = row_by_display(work)) {
        const char *rest = work + std::strlen(row->display_prefix);
        const char *sep = (*rest == '\0' || *rest == '/') ? "" : "/";
        const int len = std::snprintf(out, out_size, "%s%s%s", row->real_path, sep, rest);
        if (len < 0 || std::size_t(len) > DISPLAY_PATH_MAX || std::size_t(len) >= out_size)
            return -1;
        return check_path(out) == 0 ? 0 : -1;
    }

    // No prefix: the caller's text, relative to the working directory.
    work[0] = work[sizeof work - 1] = '\0';
    if (!getcwd(work, sizeof work))
        return -1;
    const std::size_t cwd_len = std::strlen(work);
    const std::size_t disp_len = std::strlen(display);
    const bool rooted = display[0] == '/';
    if (cwd_len + disp_len + (rooted ? 0 : 1) > DISPLAY_PATH_MAX)
        return -1;
    std::snprintf(work + cwd_len, sizeof work - cwd_len, "%s%s", rooted ? "" : "/", display);
    path_normalize(work);
    for (const path_map_entry &row : path_map) {
        // Under the mount path itself, not a sibling such as "/mnt/flash.old".
        if (starts_with(work, row.real_path) && (work[std::strlen(row.real_path)] == '\0' ||
                                                 work[std::strlen(row.real_path)] == '/')) {
            const int len = std::snprintf(out, out_size, "%s", work);
            if (len < 0 || std::size_t(len) >= out_size)
                return -1;
            return check_path(out) == 0 ? 0 : -1;
        }
        // A parent of the mount point, such as "/mnt/".
        if (starts_with(row.real_path, work))
            return -1;
    }
    return -1;
}

int real_to_display_path(const char *real, char *out)
{
    if (!real || !out)
        return -1;
    for (const path_map_entry &row : path_map) {
        if (!starts_with(real, row.real_path))
            continue;
        const std::size_t plen = std::strlen(row.display_prefix);
        std::snprintf(out, plen + 1, "%s", row.display_prefix);
        std::snprintf(out + plen, PATH_WORK_SIZE - plen, "%s", real + std::strlen(row.real_path));
        return 0;
    }
    return -1;
}

// ---- CRC-32 and the image header ------------------------------------------

namespace {

inline std::uint32_t be32(const unsigned char *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

constexpr std::size_t HDR_MAGIC = 0;
constexpr std::size_t HDR_HEADER_CRC = 4;
constexpr std::size_t HDR_DATA_SIZE = 12;
constexpr std::size_t HDR_DATA_CRC = 24;

// A read-only mapping, unmapped at scope exit.
class unique_map {
public:
    unique_map(int fd, std::size_t len)
        : len_(len), p_(mmap(nullptr, len, PROT_READ, MAP_SHARED, fd, 0))
    {
    }
    unique_map(const unique_map &) = delete;
    unique_map &operator=(const unique_map &) = delete;
    ~unique_map()
    {
        if (ok())
            munmap(p_, len_);
    }
    bool ok() const { return p_ != MAP_FAILED; }
    const unsigned char *bytes() const { return static_cast<const unsigned char *>(p_); }

private:
    std::size_t len_;
    void *p_;
};

} // namespace

std::uint32_t gen_crc32(std::uint32_t crc, const unsigned char *buf, std::uint32_t len)
{
    // Not assert(): a release build (NDEBUG) must still stop here, with the
    // report an assertion gives.
    if (buf == nullptr) {
        std::fprintf(stderr, "%s:%d: %s: Assertion `buf != ((void *)0)' failed.\n", __FILE__, __LINE__,
                     __func__);
        std::abort();
    }
    // zlib's crc32 is the same CRC-32 (the reflected polynomial 0xEDB88320,
    // complemented in and out, continuable) and is linked in already for
    // ClearSilver; it runs several times faster than a table of our own.
    return static_cast<std::uint32_t>(::crc32(crc, buf, len));
}

int check_image_file(const char *path, const char *, int, int verify_data)
{
    if (!path)
        return -1;
    unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd.ok())
        return -1;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || st.st_size < static_cast<off_t>(IMAGE_HEADER_SIZE))
        return -1;
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    // The payload size is a 32-bit header field; larger files cannot match.
    if (size - IMAGE_HEADER_SIZE > UINT32_MAX || size > SIZE_MAX)
        return -1;
    unique_map map(fd.get(), static_cast<std::size_t>(size));
    if (!map.ok())
        return -1;

    unsigned char hdr[IMAGE_HEADER_SIZE];
    std::memcpy(hdr, map.bytes(), sizeof hdr);
    if (be32(hdr + HDR_MAGIC) != IMAGE_MAGIC)
        return -1;
    const std::uint32_t data_size = be32(hdr + HDR_DATA_SIZE);
    if (std::uint64_t(data_size) + IMAGE_HEADER_SIZE != size)
        return -1;
    const std::uint32_t header_crc = be32(hdr + HDR_HEADER_CRC);
    std::memset(hdr + HDR_HEADER_CRC, 0, 4);
    if (gen_crc32(0, hdr, sizeof hdr) != header_crc)
        return -1;
    if (verify_data != 0 &&
        gen_crc32(0, map.bytes() + IMAGE_HEADER_SIZE, data_size) != be32(hdr + HDR_DATA_CRC))
        return -1;
    return 0;
}

// ---- Storage capacity ----------------------------------------------------

namespace {

constexpr const char *UDISK_MOUNT = "/mnt/udisk";
constexpr const char *CF_MOUNT = "/mnt/cf";

// Size of a file: the position after seeking to its end; -2 when it cannot
// be opened, -1 when the seek fails.
std::int64_t file_size_at_end(const char *path)
{
    unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd.ok())
        return -2;
    const off_t end = lseek(fd.get(), 0, SEEK_END);
    return end < 0 ? -1 : static_cast<std::int64_t>(end);
}

// Where a copy lands: the mount measured for it, and whether that storage
// keeps a reserve free.
struct copy_area {
    const char *mount = nullptr; // null: the RAM file system, not measured
    bool keep_reserve = true;
};

// The area of destination from its first three components, empty ones
// skipped. false when it names no storage a copy may go to.
bool copy_area_of(const char *destination, copy_area *area)
{
    std::array<std::string_view, 3> comp;
    std::size_t n = 0;
    for (std::string_view rest(destination); n < comp.size();) {
        const std::size_t b = rest.find_first_not_of('/');
        if (b == std::string_view::npos)
            break;
        rest.remove_prefix(b);
        const std::size_t e = rest.find('/');
        comp[n++] = rest.substr(0, e);
        rest.remove_prefix(e == std::string_view::npos ? rest.size() : e);
    }
    if (n == 0)
        return false;
    if (comp[0].starts_with("tmp"))
        return true;
    if (n < 2)
        return false;
    if (comp[1].starts_with("flash")) {
        if (n < 3)
            return false; // a flash area needs a component to tell boot from the rest
        area->mount = comp[2] == "boot" ? path_map[1].real_path : path_map[0].real_path;
    } else if (comp[1].starts_with("udisk")) {
        area->mount = UDISK_MOUNT;
        area->keep_reserve = false;
    } else if (comp[1].starts_with("cf")) {
        area->mount = CF_MOUNT;
    } else {
        return false;
    }
    return true;
}

} // namespace

std::int64_t get_free_space(const char *path)
{
    struct statfs fs;
    if (!path || statfs(path, &fs) != 0)
        return -1;
    return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_bsize);
}

int check_copy_space(const char *source, const char *destination, std::int64_t reclaim_size)
{
    copy_area area;
    if (!destination || !copy_area_of(destination, &area))
        return -1;
    if (!area.mount)
        return 0; // the RAM file system is not measured

    if (reclaim_size == 0 && file_exists(destination)) {
        reclaim_size = file_size_at_end(destination);
        if (reclaim_size < 0)
            return -1;
    }
    const std::int64_t free_bytes = get_free_space(area.mount);
    if (free_bytes < 0)
        return -1;
    const std::int64_t size = source ? file_size_at_end(source) : -2;
    if (size < 0)
        return -2;

    std::int64_t budget;
    if (__builtin_add_overflow(free_bytes, reclaim_size, &budget))
        budget = reclaim_size > 0 ? INT64_MAX : INT64_MIN;
    if (size > budget)
        return -3;
    if (area.keep_reserve && budget - size <= COPY_RESERVE)
        return -3;
    return 0;
}
