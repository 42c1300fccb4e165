#pragma once

#include "model/Digest.h"

#include <QByteArrayView>
#include <QString>

struct evp_md_ctx_st;

// Streaming SHA-256 through OpenSSL's libcrypto. A digest may stand in for a file's bytes
// (a cached one is never compared with the file again), so it has to be collision-resistant;
// with the CPU's SHA instructions it is also faster than MD5 here.
class ContentHash
{
public:
    using Digest = ContentDigest;

    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash &) = delete;
    ContentHash &operator=(const ContentHash &) = delete;

    void update(QByteArrayView bytes);
    // The digest of everything added so far. The hasher must not be used afterwards.
    Digest finish();

    // 64 lower-case hexadecimal digits.
    static QString toHex(const Digest &digest);
    static QString hexOf(QByteArrayView bytes);

private:
    evp_md_ctx_st *m_context;
};
