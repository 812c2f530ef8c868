// MD5 digest of a text through OpenSSL's EVP interface.
#include "md5_text.h"

#include <cstring>
#include <memory>
#include <openssl/evp.h>

int md5_text(const char *text, unsigned char *digest)
{
    std::memset(digest, 0, MD5_DIGEST_BYTES);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx)
        return 0;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int out_len = 0;
    const char *bytes = text ? text : "";
    if (EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) == 1 &&
        EVP_DigestUpdate(ctx.get(), bytes, std::strlen(bytes)) == 1 &&
        EVP_DigestFinal_ex(ctx.get(), out, &out_len) == 1 && out_len == MD5_DIGEST_BYTES)
        std::memcpy(digest, out, MD5_DIGEST_BYTES);
    return 0;
}
