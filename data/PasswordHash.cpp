#include "data/PasswordHash.h"

#include <sodium.h>

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

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

namespace {

// Runs `each` for 0 to count - 1 on a few threads: each call takes its cost in time and memory.
void sideBySide(std::size_t count, const std::function<void(std::size_t)>& each) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next++) < count;)
            each(i);
    };
    const std::size_t side =
        std::min<std::size_t>({count, std::max(1u, std::thread::hardware_concurrency()), 4});
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < side; ++t)
        helpers.emplace_back(work);
    work();
    for (auto& helper : helpers)
        helper.join();
}

} // namespace

std::vector<QString> HashAll(const std::vector<QString>& passwords, Cost cost) {
    // Each hash takes a tenth of a second on purpose.
    std::vector<QString> hashes(passwords.size());
    sideBySide(passwords.size(), [&](std::size_t i) { hashes[i] = Hash(passwords[i], cost); });
    return hashes;
}

std::vector<Verdict> CheckAll(const std::vector<QString>& stored, const QString& password) {
    std::vector<Verdict> verdicts(stored.size(), Verdict::Unknown);
    sideBySide(stored.size(), [&](std::size_t i) { verdicts[i] = Check(stored[i], password); });
    return verdicts;
}

namespace {

// The parts of a stored hash, "$argon2id$v=19$m=KiB,t=passes,p=1$salt$hash" with both in
// unpadded base64, as libsodium writes it.
struct Parts {
    unsigned long long passes = 0;
    std::size_t memory = 0; // bytes
    unsigned char salt[crypto_pwhash_SALTBYTES] = {};
    unsigned char hash[crypto_pwhash_STRBYTES] = {};
    std::size_t hashLength = 0;
};

bool decode(const QByteArray& text, unsigned char* to, std::size_t room, std::size_t* length) {
    return sodium_base642bin(to, room, text.constData(), std::size_t(text.size()), nullptr, length,
                             nullptr, sodium_base64_VARIANT_ORIGINAL_NO_PADDING) == 0;
}

bool parse(const QByteArray& stored, Parts* parts) {
    const QList<QByteArray> fields = stored.split('$');
    if (fields.size() != 6 || !fields[0].isEmpty() || fields[1] != "argon2id" ||
        fields[2] != "v=19")
        return false;
    const QList<QByteArray> cost = fields[3].split(',');
    if (cost.size() != 3 || !cost[0].startsWith("m=") || !cost[1].startsWith("t=") ||
        cost[2] != "p=1")
        return false;
    bool kib = false;
    bool passes = false;
    const qulonglong memory = cost[0].mid(2).toULongLong(&kib);
    parts->passes = cost[1].mid(2).toULongLong(&passes);
    if (!kib || !passes || memory > crypto_pwhash_MEMLIMIT_MAX / 1024)
        return false;
    parts->memory = std::size_t(memory) * 1024;
    std::size_t saltLength = 0;
    return decode(fields[4], parts->salt, sizeof parts->salt, &saltLength) &&
           saltLength == sizeof parts->salt &&
           decode(fields[5], parts->hash, sizeof parts->hash, &parts->hashLength) &&
           parts->hashLength >= crypto_pwhash_BYTES_MIN;
}

} // namespace

// Derived here rather than by crypto_pwhash_str_verify, which answers a failure to derive (no
// memory) as it answers a different password.
Verdict Check(const QString& stored, const QString& password) {
    Parts parts;
    if (!ready() || !IsHash(stored) || !parse(stored.toLatin1(), &parts))
        return Verdict::Unknown;
    const QByteArray bytes = password.toUtf8();
    unsigned char derived[sizeof parts.hash];
    if (crypto_pwhash(derived, parts.hashLength, bytes.constData(), quint64(bytes.size()),
                      parts.salt, parts.passes, parts.memory, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return Verdict::Unknown;
    const bool same = sodium_memcmp(derived, parts.hash, parts.hashLength) == 0;
    sodium_memzero(derived, sizeof derived);
    return same ? Verdict::Matches : Verdict::Differs;
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
