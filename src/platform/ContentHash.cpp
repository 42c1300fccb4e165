#include "platform/ContentHash.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace {

// The algorithm is looked up once rather than at every file.
const EVP_MD *sha256Algorithm()
{
    static EVP_MD *const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return algorithm;
}

void require(bool ok)
{
    // Only allocation failure or a libcrypto without SHA-256 can get here; there is no
    // sensible digest to carry on with.
    if (!ok)
        std::abort();
}

} // namespace

ContentHash::ContentHash()
    : m_context(EVP_MD_CTX_new())
{
    require(m_context && EVP_DigestInit_ex(m_context, sha256Algorithm(), nullptr) == 1);
}

ContentHash::~ContentHash()
{
    EVP_MD_CTX_free(m_context);
}

void ContentHash::update(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        require(EVP_DigestUpdate(m_context, bytes.data(), size_t(bytes.size())) == 1);
}

ContentHash::Digest ContentHash::finish()
{
    Digest digest;
    unsigned int length = 0;
    require(EVP_DigestFinal_ex(m_context, digest.data(), &length) == 1 && length == digest.size());
    return digest;
}

QString ContentHash::toHex(const Digest &digest)
{
    return digestHex(digest);
}

QString ContentHash::hexOf(QByteArrayView bytes)
{
    ContentHash hash;
    hash.update(bytes);
    return toHex(hash.finish());
}
