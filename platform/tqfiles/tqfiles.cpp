// File names and the MD5 digest shared by the station work library and the
// database access library.
#include "station_libs.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace tq {

const char *TQ_wlset_name = "wl.set";
const char *TQ_errorlog_name = "error.log";

int md5file(std::FILE *f, unsigned char d[16])
{
    std::memset(d, 0, 16);
    if (f == nullptr)
        return 1;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1)
        return 1;
    unsigned char buf[1 << 16];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        if (EVP_DigestUpdate(ctx.get(), buf, got) != 1)
            return 1;
    if (std::ferror(f))
        return 1;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (EVP_DigestFinal_ex(ctx.get(), out, &len) != 1 || len != 16)
        return 1;
    std::memcpy(d, out, 16);
    return 0;
}

}  // namespace tq
