// Uses the installed library's three parts: its own helpers, ClearSilver
// through it, and the MD5 helper with libcrypto. Exits 0 when all answer right.
#include "ClearSilver.h"
#include "md5_text.h"
#include "text_util.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

// The package passes on the definitions the library was built with.
static_assert(sizeof(std::time_t) == 8 && sizeof(off_t) == 8);

int main()
{
    char dec[U64_DEC_SIZE];
    u64_to_dec(UINT64_MAX, dec);

    HDF *hdf = nullptr;
    const char *value = "";
    if (!hdf_init(&hdf) && !hdf_set_value(hdf, "Page.Name", "sibling"))
        value = hdf_get_value(hdf, "Page.Name", "");

    unsigned char digest[MD5_DIGEST_BYTES];
    md5_text("", digest);
    char hex[2 * MD5_DIGEST_BYTES + 1];
    for (std::size_t i = 0; i < MD5_DIGEST_BYTES; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);

    std::printf("%s %s %s\n", dec, value, hex);
    const bool ok = std::strcmp(dec, "18446744073709551615") == 0 && std::strcmp(value, "sibling") == 0 &&
                    std::strcmp(hex, "d41d8cd98f00b204e9800998ecf8427e") == 0;
    hdf_destroy(&hdf);
    return ok ? 0 : 1;
}
