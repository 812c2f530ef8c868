// Publishes what the switch's own software would: the board and SNMP info
// files, the feature word in shared memory, the monitor templates and the
// latency ranges. Run inside the demo's or a test's private namespace.
//   switch_publish
#include "monitor_graph.h"
#include "sys_info.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *BOARD_INFO = "# board information, written at start-up\n"
                                   "board_type demo-switch-24\n"
                                   "hw_ver 1.2\n"
                                   "sw_ver 3.2.7 build 41\n"
                                   "serial_no DS24A0001234\n"
                                   "mgmtuser admin\n";

constexpr const char *SNMP_INFO = "# SNMP system group\n"
                                  "sysName demo-switch\n"
                                  "sysContact network operations, noc@example.net\n"
                                  "sysLocation lab 2, rack 4\n";

constexpr std::string_view FEATURES[] = {
    "ERPS", "ETHOAM", "EXTEND_ACL", "IGMP", "IPV6", "MVR", "OSPF", "PTP", "QINQ", "SMLK", "PBR",
};

constexpr const char *COLOURS[] = {"3366cc", "dc3912", "ff9900", "109618",
                                   "990099", "0099c6", "dd4477", "66aa00"};
constexpr int PORTS = 4;
constexpr int LATENCY_BINS = 8;

// Reports a failure; always false.
bool fail(const char *what, const std::string &path)
{
    std::fprintf(stderr, "switch_publish: %s %s: %s\n", what, path.c_str(), std::strerror(errno));
    return false;
}

bool make_dirs(const std::string &dir)
{
    for (std::size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
        const std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return fail("cannot make", part);
        if (pos == std::string::npos)
            return true;
    }
}

bool publish(const std::string &path, const std::string &text)
{
    if (!make_dirs(path.substr(0, path.rfind('/'))))
        return false;
    FILE *f = std::fopen(path.c_str(), "we");
    if (!f)
        return fail("cannot write", path);
    const bool ok = std::fputs(text.c_str(), f) >= 0;
    if (std::fclose(f) != 0 || !ok)
        return fail("cannot write", path);
    return true;
}

std::string port(int p)
{
    return "eth-0-" + std::to_string(p);
}

bool publish_feature_word()
{
    std::uint64_t word = 0;
    for (std::string_view name : FEATURES)
        for (const feature_name &f : feature_names)
            if (f.name == name)
                word |= f.mask;

    const int fd = open(FEATURE_KEY_PATH, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot create", FEATURE_KEY_PATH);
    close(fd);
    const key_t key = ftok(FEATURE_KEY_PATH, FEATURE_KEY_PROJECT);
    const int id = key == -1 ? -1 : shmget(key, FEATURE_WORD_SIZE, IPC_CREAT | 0644);
    void *seg = id == -1 ? reinterpret_cast<void *>(-1) : shmat(id, nullptr, 0);
    if (seg == reinterpret_cast<void *>(-1))
        return fail("cannot publish the feature word for", FEATURE_KEY_PATH);
    // The high half first, as the readers take it.
    const std::uint32_t halves[2] = {static_cast<std::uint32_t>(word >> 32),
                                     static_cast<std::uint32_t>(word)};
    std::memcpy(seg, halves, sizeof halves);
    shmdt(seg);
    return true;
}

bool publish_monitor()
{
    const std::string dir = std::string(MONITOR_TEMPLATE_DIR) + "/";

    // Data items: id&name&unit&source&colour&data name&counter.
    std::string latency = "# latency bins per port; names come from the latency ranges\n";
    std::string latency_graphs = "# one graph per port, its eight bins\n";
    for (int p = 1; p <= PORTS; ++p) {
        std::string ids, colours, names;
        for (int b = 1; b <= LATENCY_BINS; ++b) {
            const int id = (p - 1) * LATENCY_BINS + b;
            latency += std::to_string(id) + "&bin" + std::to_string(b) + "&packets&" + port(p) +
                       "&" + COLOURS[b - 1] + "&" + port(p) + " bin " + std::to_string(b) +
                       "&latency/" + port(p) + "/" + std::to_string(b) + "\n";
            ids += (b > 1 ? " " : "") + std::to_string(id);
            colours += (b > 1 ? " " : "") + std::string(COLOURS[b - 1]);
            names += (b > 1 ? "&" : "") + std::string("bin ") + std::to_string(b);
        }
        latency_graphs += std::to_string(p) + "&1000&" + port(p) + " latency&1&0&" + ids + "&" +
                          colours + "\n" + names + "\n";
    }
    std::string buffer = "# buffer use per port\n";
    for (int p = 1; p <= PORTS; ++p)
        buffer += std::to_string(p) + "&" + port(p) + " buffer&cells&" + port(p) + "&" +
                  COLOURS[p - 1] + "&" + port(p) + "&buffer/" + port(p) + "\n";

    const struct {
        std::string path;
        std::string text;
    } files[] = {
        {dir + "web_data_latency_list.conf", latency},
        {dir + "web_graph_latency_list.conf", latency_graphs},
        {dir + "web_data_buffer_list.conf", buffer},
        {dir + "web_graph_buffer_list.conf",
         "1&100&Buffer use&0&1&1 2 3 4&3366cc dc3912 ff9900 109618\n"
         "eth-0-1&eth-0-2&eth-0-3&eth-0-4\n"},
        {dir + "web_data_system_list.conf",
         "# system figures\n"
         "1&CPU&percent&system&dc3912&CPU&system/cpu\n"
         "2&Memory&percent&system&3366cc&Memory&system/mem\n"
         "3&Temperature&celsius&board&ff9900&Board&board/temp\n"},
        {dir + "web_graph_system_list.conf",
         "1&100&CPU and memory&0&0&1 2&dc3912 3366cc\n"
         "CPU&Memory\n"
         "2&90&Temperature&1&0&3&ff9900\n"
         "Board&NULL\n"},
        {GRAPH_TEMPLATE_PATH, "1&100&CPU&0&0&1&dc3912\n"
                              "CPU\n"},
        {std::string(LATENCY_RANGE_DIR) + "/" + LATENCY_RANGE_NAME,
         "0 500 750 1000 1500 2000 5000 10000\n"},
    };
    bool ok = true;
    for (const auto &f : files)
        ok = publish(f.path, f.text) && ok;
    return ok;
}

} // namespace

int main(int argc, char **)
{
    if (argc != 1) {
        std::fprintf(stderr, "usage: switch_publish\n");
        return 2;
    }
    bool ok = publish("/tmp/nerva_board_info", BOARD_INFO);
    ok = publish("/tmp/snmp_sys_info", SNMP_INFO) && ok;
    ok = publish_feature_word() && ok;
    ok = publish_monitor() && ok;
    return ok ? 0 : 1;
}
