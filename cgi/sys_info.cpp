// Board and system information read from files and shared memory that other
// programs of the switch publish.
#include "sys_info.h"

#include "text_util.h"
#include "unique_fd.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/mount.h>
#include <sys/shm.h>
#include <sys/stat.h>

namespace {

constexpr const char *BOARD_INFO_PATH = "/tmp/nerva_board_info";
constexpr const char *SNMP_INFO_PATH = "/tmp/snmp_sys_info";
constexpr const char *NO_USER = "__nouser";

constexpr std::size_t SW_VER_PIECE_SIZE = 64; // pieces of 63 characters
constexpr std::size_t BOARD_LINE_SIZE = 256;
constexpr std::size_t SNMP_LINE_SIZE = 1024;

constexpr std::string_view MGMT_USER_KEY = "mgmtuser";
constexpr std::string_view CONTACT_KEY = "sysContact";
constexpr std::string_view LOCATION_KEY = "sysLocation";

int stat_mode(const char *path, mode_t *mode)
{
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return 0;
    *mode = st.st_mode;
    return 1;
}

bool is_blank_or_comment(const char *line)
{
    return line[0] == '\0' || line[0] == '#';
}

// The text from offset off of line, or "" when the line ends before it.
const char *text_from(const char *line, std::size_t off)
{
    return std::strlen(line) >= off ? line + off : "";
}

const char *skip_space(const char *p)
{
    while (*p && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

const char *skip_word(const char *p)
{
    while (*p && !std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

} // namespace

int file_exists(const char *path)
{
    mode_t mode;
    return stat_mode(path, &mode);
}

int is_directory(const char *path)
{
    mode_t mode;
    return stat_mode(path, &mode) && S_ISDIR(mode) ? 1 : 0;
}

int is_regular_file(const char *path)
{
    mode_t mode;
    return stat_mode(path, &mode) && S_ISREG(mode) ? 1 : 0;
}

void mount_boot(unsigned long flags)
{
    mount("ubi1:boot", "/mnt/flash/boot", "ubifs", flags, nullptr);
}

int read_sw_version(char *out, std::size_t out_size)
{
    unique_file f = open_read(BOARD_INFO_PATH);
    if (!f.ok())
        return -1;
    char piece[SW_VER_PIECE_SIZE];
    while (std::fgets(piece, sizeof piece, f.get())) {
        if (std::strncmp(piece, "sw_ver", 6) != 0)
            continue;
        // "%s %s": the key word, then the version word.
        const char *word = skip_space(skip_word(piece));
        const char *end = skip_word(word);
        if (end != word && out && out_size > 0)
            std::snprintf(out, out_size, "%.*s", static_cast<int>(end - word), word);
        break;
    }
    return 0;
}

char *get_sw_version(char *out, std::size_t size)
{
    char version[SW_VERSION_SIZE] = "";
    read_sw_version(version, sizeof version);
    if (out && size > 0)
        std::snprintf(out, size, "%s", version);
    return out;
}

void get_mgmt_user(char *out, std::size_t size)
{
    if (!out || size == 0)
        return;
    const char *user = NO_USER;
    char line[BOARD_LINE_SIZE];
    unique_file f = open_read(BOARD_INFO_PATH);
    while (f.ok() && std::fgets(line, sizeof line, f.get())) {
        strip_line_end(line);
        if (is_blank_or_comment(line) || !std::strstr(line, MGMT_USER_KEY.data()))
            continue;
        const char *value = line + MGMT_USER_KEY.size();
        while (*value == ' ')
            ++value;
        if (*value)
            user = value;
        break;
    }
    std::snprintf(out, size, "%s", user);
}

static_assert(SNMP_INFO_SIZE == 256, "the value formats cut at 255 characters");

int get_snmp_sys_info(char *contact, char *location)
{
    if (!contact || !location)
        return -1;
    contact[0] = location[0] = '\0';
    unique_file f = open_read(SNMP_INFO_PATH);
    if (!f.ok())
        return -1;
    char line[SNMP_LINE_SIZE];
    while (std::fgets(line, sizeof line, f.get())) {
        strip_line_end(line);
        if (is_blank_or_comment(line))
            continue;
        // The key, one separator character, then the value.
        if (std::strstr(line, CONTACT_KEY.data()))
            std::snprintf(contact, SNMP_INFO_SIZE, "%.255s", text_from(line, CONTACT_KEY.size() + 1));
        else if (std::strstr(line, LOCATION_KEY.data()))
            std::snprintf(location, SNMP_INFO_SIZE, "%.255s", text_from(line, LOCATION_KEY.size() + 1));
    }
    return 0;
}

int feature_enabled(std::uint64_t mask)
{
    // ftok needs the file. It is created when missing and never truncated:
    // only its identity makes the key, and a link planted there is refused.
    unique_fd keyfile(open(FEATURE_KEY_PATH, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!keyfile.ok())
        return 0;
    keyfile.reset();
    const key_t key = ftok(FEATURE_KEY_PATH, FEATURE_KEY_PROJECT);
    if (key == -1)
        return 0;
    // Look up only: a missing segment means no feature, and reading is all
    // this side needs.
    const int id = shmget(key, FEATURE_WORD_SIZE, 0444);
    if (id == -1)
        return 0;
    void *seg = shmat(id, nullptr, SHM_RDONLY);
    if (seg == reinterpret_cast<void *>(-1))
        return 0;
    std::uint32_t words[2];
    std::memcpy(words, seg, sizeof words);
    shmdt(seg);
    const auto high = static_cast<std::uint32_t>(mask >> 32);
    const auto low = static_cast<std::uint32_t>(mask);
    return ((high & words[0]) | (low & words[1])) != 0 ? 1 : 0;
}
