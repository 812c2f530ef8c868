// The image header: the input (after its first byte) is an image file. Bit 0
// of the first byte has the harness give it a valid magic, size and header
// CRC, bit 1 also a valid data CRC, so that each check is passed and reached
// in turn; bit 2 asks for the payload check. The CRC must not depend on how
// the bytes are split.
#include "fuzz_util.h"
#include "param_check.h"

namespace {

constexpr char IMAGE_PATH[] = "/tmp/fuzz_image.bin";

void put_be32(unsigned char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

} // namespace

FUZZ_TARGET(1, 8192)
{
    std::vector<unsigned char> image(data + 1, data + size);
    const bool fix = (data[0] & 1) && image.size() >= IMAGE_HEADER_SIZE, fix_data = fix && (data[0] & 2);
    if (fix) {
        const auto payload = static_cast<std::uint32_t>(image.size() - IMAGE_HEADER_SIZE);
        put_be32(image.data(), IMAGE_MAGIC);
        put_be32(image.data() + 12, payload);
        if (fix_data)
            put_be32(image.data() + 24, gen_crc32(0, image.data() + IMAGE_HEADER_SIZE, payload));
        put_be32(image.data() + 4, 0);
        put_be32(image.data() + 4, gen_crc32(0, image.data(), IMAGE_HEADER_SIZE));
    }
    fuzz_write_file(IMAGE_PATH, image.data(), image.size());
    const int verify = (data[0] >> 2) & 1;
    const int rc = check_image_file(IMAGE_PATH, nullptr, 0, verify);
    FUZZ_CHECK(!fix || (verify && !fix_data) || rc == 0);

    // One pass, and two passes split where the second byte says.
    const auto n = static_cast<std::uint32_t>(image.size());
    const unsigned char *p = n ? image.data() : data; // never null, even when empty
    const std::uint32_t cut = n ? data[1] % (n + 1) : 0;
    FUZZ_CHECK(gen_crc32(gen_crc32(0, p, cut), p + cut, n - cut) == gen_crc32(0, p, n));
}
