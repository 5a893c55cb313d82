#include "data/PasswordHash.h"

#include <sodium.h>

namespace velkar {

namespace {

bool ready() {
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

} // namespace

namespace PasswordHash {

QString Hash(const QString& password, Cost cost) {
    if (!ready())
        return {};
    const QByteArray bytes = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, bytes.constData(), quint64(bytes.size()), cost.ops, cost.memory) !=
        0)
        return {};
    return QString::fromLatin1(out);
}

bool Verify(const QString& stored, const QString& password) {
    if (!ready() || !IsHash(stored))
        return false;
    const QByteArray hash = stored.toLatin1();
    const QByteArray bytes = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), bytes.constData(), quint64(bytes.size())) ==
           0;
}

bool IsHash(const QString& stored) {
    return stored.startsWith(QLatin1String(crypto_pwhash_argon2id_STRPREFIX)) &&
           stored.size() < int(crypto_pwhash_STRBYTES);
}

} // namespace PasswordHash

} // namespace velkar
