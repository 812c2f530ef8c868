// CLI results: the first byte picks the reader (switchport names, the
// listing's answer, interface status rows, QoS policer, shaping or class
// loader) and, for the listing, its view; the rest is the result file it
// reads. No command file is set, so no run of imish replaces the result.
#include "cli_runner.h"
#include "fuzz_util.h"
#include "intf_status.h"
#include "mac_add.h"
#include "mac_list_view.h"
#include "port_names.h"
#include "qos_data.h"
#include "web_state.h"

#include <ClearSilver.h>

constexpr char RESULT_PATH[] = "/tmp/fuzz_cli_result";

FUZZ_SETUP
{
    FUZZ_CHECK(cgi_init(&web_cgi, nullptr) == STATUS_OK);
    cmd_file_path[0] = '\0';
    std::snprintf(res_file_path, sizeof res_file_path, "%s", RESULT_PATH);
    port_prefix_load();
}

FUZZ_TARGET(1, 4096)
{
    const std::uint8_t pick = data[0];
    fuzz_write_file(RESULT_PATH, data + 1, size - 1);
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::string first = fuzz_text(data + 1, size - 1).substr(0, text.find('\n'));
    // The selection list of the QoS loaders and the status rows and the
    // listing's filters come from the result's first line: "Q", a letter, the value.
    hdf_destroy(&web_cgi->hdf);
    FUZZ_CHECK(hdf_init(&web_cgi->hdf) == STATUS_OK);
    if (first.size() > 2 && first[0] == 'Q') {
        NEOERR *err = hdf_set_value(web_cgi->hdf, "Query.intf_name", first.c_str() + 2);
        if (first[1] == 'm' && err == STATUS_OK)
            err = hdf_set_value(web_cgi->hdf, "Query.addr0", "0000");
        nerr_ignore(&err);
    }
    port_set set{};
    port_set_parse(first.c_str(), &set);

    switch (pick % 6) {
    case 0:
        cli_parse_result(intf_line_parse, 0);
        break;
    case 1:
        // The listing's one answer, ports then table, in a view (sort, order, page size, page) the byte picks.
        mac_list_view_take({static_cast<list_sort>((pick >> 3) & 3), (pick & 0x20) != 0,
                            LIST_PER_PAGE_CHOICES[(pick >> 6) & 3], 1 + (pick & 0x40 ? 1 << 30 : 0)},
                           "sessionId=1&lang=en");
        break;
    case 2:
        intf_status_read(web_cgi, &set);
        // Each line on its own, as the port status readers get it.
        for (const std::string &line : fuzz_lines(text)) {
            intf_status_to_hdf(web_cgi, line.c_str(), &set);
            // Each word buffer as large as the line, the size promised.
            std::vector<std::vector<char>> w(6, std::vector<char>(line.size() + 1));
            std::int32_t slot = -1, port = -1, sub = -1;
            port_status_parse(line.c_str(), w[0].data(), &slot, &port, &sub, w[1].data(), w[2].data(),
                              w[3].data(), w[4].data(), w[5].data());
        }
        break;
    case 3:
        policer_read(web_cgi, RESULT_PATH);
        break;
    case 4:
        qos_shape_load(web_cgi, first.c_str());
        break;
    default: {
        static const qos_class_row expected[QOS_QUEUE_COUNT] = {"0", "1", "2", "3", "4", "5", "6", "7"};
        char err[ERR_TEXT_SIZE];
        qos_class_load(web_cgi, first.c_str(), pick & 0x80, err, expected);
    }
    }
}
