#pragma once

#include <QString>

#include <cstddef>
#include <vector>

namespace velkar {

// Passwords at rest: salted Argon2id hashes in libsodium's string form, which carries its own
// salt and cost, so a check needs nothing but the stored text.
namespace PasswordHash {

struct Cost {
    unsigned long long ops;
    std::size_t memory; // bytes
};

// libsodium's interactive level (2 passes over 64 MiB): tens of milliseconds a check here.
inline constexpr Cost ProgramCost{2, std::size_t(64) << 20};
// The library's least cost. Only for throw-away databases in tests and benchmarks, which
// hash seven passwords each; never a default of the program.
inline constexpr Cost CheapestCost{1, 8192};

// The hash of `password`, or an empty text when it can't be made (out of memory).
QString Hash(const QString& password, Cost cost = ProgramCost);

// The hashes of several passwords, made side by side a few at a time (each takes its cost in
// memory); an empty text for one that can't be made.
std::vector<QString> HashAll(const std::vector<QString>& passwords, Cost cost = ProgramCost);

// True when `stored` is a hash of exactly `password`. A stored text that is no hash matches
// nothing.
bool Verify(const QString& stored, const QString& password);

// What a check of a stored hash found. Unknown: it could not be told (no memory for its cost, a
// damaged text), which Verify can't tell from a different password.
enum class Verdict { Matches, Differs, Unknown };

// The same check as Verify, for a caller that keeps the answer.
Verdict Check(const QString& stored, const QString& password);

// For each of `stored`, the verdict of Check; checked side by side a few at a time, as HashAll
// makes them.
std::vector<Verdict> CheckAll(const std::vector<QString>& stored, const QString& password);

// True when `stored` has the form of a hash this program makes.
bool IsHash(const QString& stored);

} // namespace PasswordHash

} // namespace velkar
