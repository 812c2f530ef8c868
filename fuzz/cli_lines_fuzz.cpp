// CLI results: the first byte picks the reader (switchport names, the
// listing's answer, interface status rows, QoS policer, shaping or class
// loader) and, for the listing, its view; the
// rest is the result file it reads. No command file is set, so no run of
// imish replaces the result.
#include "cli_runner.h"
#include "fuzz_util.h"
#include "intf_status.h"
#include "mac_add.h"
#include "mac_list_view.h"
#include "port_names.h"
#include "qos_data.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <cstring>
#include <vector>

namespace {

constexpr char RESULT_PATH[] = "/tmp/fuzz_cli_result";

// The selection list of the QoS loaders and the status rows and the
// listing's filters come from the result's first line.
void set_query(const std::string &first)
{
    hdf_destroy(&web_cgi->hdf);
    if (hdf_init(&web_cgi->hdf) != STATUS_OK)
        std::abort();
    if (first.size() > 2 && first[0] == 'Q') {
        NEOERR *err = hdf_set_value(web_cgi->hdf, "Query.intf_name", first.c_str() + 2);
        nerr_ignore(&err);
        if (first[1] == 'm') {
            err = hdf_set_value(web_cgi->hdf, "Query.addr0", "0000");
            nerr_ignore(&err);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_require_sandbox();
    if (cgi_init(&web_cgi, nullptr) != STATUS_OK)
        std::abort();
    cmd_file_path[0] = '\0';
    std::snprintf(res_file_path, sizeof res_file_path, "%s", RESULT_PATH);
    port_prefix_load();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    const std::uint8_t *result = data + 1;
    const std::size_t len = size - 1;
    fuzz_write_file(RESULT_PATH, result, len);
    const std::string text(reinterpret_cast<const char *>(result), len);
    const std::string first = fuzz_text(result, len).substr(0, text.find('\n'));
    set_query(first);
    port_set set{};
    port_set_parse(first.c_str(), &set);

    switch (data[0] % 6) {
    case 0:
        cli_parse_result(intf_line_parse, 0);
        break;
    case 1: {
        // The listing's one answer, ports then table, in a view the byte picks.
        list_view v;
        v.sort = static_cast<list_sort>((data[0] >> 3) & 3);
        v.desc = data[0] & 0x20;
        v.per_page = LIST_PER_PAGE_CHOICES[(data[0] >> 6) & 3];
        v.page = 1 + (data[0] & 0x40 ? 1 << 30 : 0);
        mac_list_view_take(v, "sessionId=1&lang=en");
        break;
    }
    case 2:
        intf_status_read(web_cgi, &set);
        // Each line on its own, as the port status readers get it.
        for (std::size_t pos = 0; pos < text.size();) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = fuzz_text(result + pos, end - pos);
            pos = end + 1;
            intf_status_to_hdf(web_cgi, line.c_str(), &set);
            std::vector<char> words[6];
            for (auto &w : words)
                w.assign(line.size() + 1, '\0');
            std::int32_t slot = -1, port = -1, sub = -1;
            port_status_parse(line.c_str(), words[0].data(), &slot, &port, &sub, words[1].data(),
                              words[2].data(), words[3].data(), words[4].data(), words[5].data());
        }
        break;
    case 3:
        policer_read(web_cgi, RESULT_PATH);
        break;
    case 4:
        qos_shape_load(web_cgi, first.c_str());
        break;
    default: {
        static const qos_class_row expected[QOS_QUEUE_COUNT] = {"0", "1", "2", "3",
                                                                "4", "5", "6", "7"};
        char err[ERR_TEXT_SIZE];
        qos_class_load(web_cgi, first.c_str(), data[0] & 0x80, err, expected);
        break;
    }
    }
    return 0;
}
