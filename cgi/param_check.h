// Parameter and path checks: flash path mapping and validation, image header
// check with CRC-32, and storage capacity for a copy.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One row of path_map: a storage area, its mount path and its display prefix.
struct path_map_entry {
    std::int32_t kind;
    const char *real_path;
    const char *display_prefix;
};

// Display prefixes and the mount paths they stand for. Lookups take the first
// row whose text is a plain byte prefix, so row 0 answers every flash path.
inline constexpr std::array<path_map_entry, 2> path_map = {{
    {0, "/mnt/flash", "flash:"},
    {3, "/mnt/flash/boot", "flash:/boot"},
}};

// Limits of the path checks and conversions.
inline constexpr std::size_t FILE_NAME_MAX = 79;     // bytes of one component
inline constexpr std::size_t CHECK_PATH_MAX = 256;   // bytes a checked path may hold
inline constexpr std::size_t DISPLAY_PATH_MAX = 255; // bytes of a display path to convert
inline constexpr std::size_t PATH_WORK_SIZE = 256;   // conversion buffers
inline constexpr std::uint32_t PATH_COMPONENT_MAX = 32;

// Calls cb(row, arg) once per row of path_map, in order; a null cb does nothing.
using path_map_cb = int (*)(const path_map_entry *row, void *arg);
void path_map_foreach(path_map_cb cb, void *arg);

// 0 for a valid component ("." and ".." included); -1 for a null name, a
// hidden name or a byte outside [0-9A-Za-z._()-]; -2 for a length outside
// 1..FILE_NAME_MAX.
int check_file_name(const char *name);

// 0 when path (at most CHECK_PATH_MAX bytes, no "//") splits on "/" into at
// most PATH_COMPONENT_MAX valid components; "/" alone is valid. Else -1.
int check_path(const char *path);

// 0 for a display path: a path_map prefix alone, a prefix followed by a valid
// path, or a valid path without ':'. A prefix followed directly by a ".."
// component ("flash:..", "flash:../x") is refused: it would climb out of the
// mount path. Else -1.
int check_display_path(const char *path);

// Drops "." components and resolves ".." components in place (the text only
// shrinks). A ".." above the first component removes everything before it.
void path_normalize(char *path);

// The real path of a display path, into out (out_size bytes). Display paths
// without a known prefix are taken relative to the working directory and must
// land under a mount path of path_map. 0, or -1 (out may hold a partial
// text), also when the real path is longer than 255 bytes or than out holds.
int display_to_real_path(const char *display, char *out, std::size_t out_size);

// The display path of a real path under a mount path, into out
// (PATH_WORK_SIZE bytes). 0, or -1 when no row matches or an argument is null.
int real_to_display_path(const char *real, char *out);

// Continues the standard CRC-32 (ISO-HDLC, IEEE 802.3) of the bytes before,
// crc (0 to start), over len bytes at buf. A null buf ends the process.
std::uint32_t gen_crc32(std::uint32_t crc, const unsigned char *buf, std::uint32_t len);

// Image files: a 64-byte big-endian header (magic 0x27051956), then the payload.
inline constexpr std::size_t IMAGE_HEADER_SIZE = 64;
inline constexpr std::uint32_t IMAGE_MAGIC = 0x27051956;

// 0 when the file at path has a valid image header (and, with verify_data
// non-zero, a payload matching its data CRC); -1 otherwise. The two middle
// arguments are accepted and not used.
int check_image_file(const char *path, const char *unused1, int unused2, int verify_data);

// Free space kept on the flash and cf areas after a copy: more than this.
inline constexpr std::int64_t COPY_RESERVE = 0xFFFFF;

// Bytes available to unprivileged users on the file system holding path, or
// -1 when it cannot be queried.
std::int64_t get_free_space(const char *path);

// Whether copying source to destination fits, reclaim_size bytes being freed
// by the file it replaces (0: measure the existing destination).
//   0 fits, or the destination lies under "tmp";
//  -1 unknown destination area, existing destination or free space unreadable;
//  -2 source cannot be opened;
//  -3 not enough space (flash and cf keep more than COPY_RESERVE bytes free).
int check_copy_space(const char *source, const char *destination, std::int64_t reclaim_size);
