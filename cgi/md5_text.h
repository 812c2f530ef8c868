// MD5 digest of a text; kept apart so that only its users link libcrypto.
#pragma once

#include <cstddef>

inline constexpr std::size_t MD5_DIGEST_BYTES = 16;

// Writes the 16 raw bytes of the MD5 digest of text (its bytes, without the
// terminator; a null text counts as empty) into digest. Always 0; should the
// digest itself fail, digest is all zero.
int md5_text(const char *text, unsigned char *digest);
