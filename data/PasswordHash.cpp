#include "data/PasswordHash.h"

#include <sodium.h>

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

std::vector<bool> VerifyAll(const std::vector<QString>& stored, const QString& password) {
    std::vector<char> matches(stored.size(), 0);
    sideBySide(stored.size(),
               [&](std::size_t i) { matches[i] = Verify(stored[i], password) ? 1 : 0; });
    return {matches.begin(), matches.end()};
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
