#include "platform/Md5.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace {

// The algorithm is looked up once rather than at every file.
const EVP_MD *md5Algorithm()
{
    static EVP_MD *const algorithm = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return algorithm;
}

void require(bool ok)
{
    // Only allocation failure or a libcrypto without MD5 can get here; there is no
    // sensible digest to carry on with.
    if (!ok)
        std::abort();
}

} // namespace

Md5::Md5()
    : m_context(EVP_MD_CTX_new())
{
    require(m_context && EVP_DigestInit_ex(m_context, md5Algorithm(), nullptr) == 1);
}

Md5::~Md5()
{
    EVP_MD_CTX_free(m_context);
}

void Md5::update(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        require(EVP_DigestUpdate(m_context, bytes.data(), size_t(bytes.size())) == 1);
}

Md5::Digest Md5::finish()
{
    Digest digest;
    unsigned int length = 0;
    require(EVP_DigestFinal_ex(m_context, digest.data(), &length) == 1 && length == digest.size());
    return digest;
}

QString Md5::toHex(const Digest &digest)
{
    return digestHex(digest);
}

QString Md5::hexOf(QByteArrayView bytes)
{
    Md5 md5;
    md5.update(bytes);
    return toHex(md5.finish());
}
