#pragma once
// Seeds and a small deterministic generator: the same seed gives the same
// numbers on every machine and compiler (no std:: distributions).

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace composer {

// FNV-1a over the bytes, then a splitmix finaliser.
inline uint64_t hash64(const char* data, qsizetype size, uint64_t basis = 0)
{
    uint64_t h = 0xcbf29ce484222325ULL ^ basis;
    for (qsizetype i = 0; i < size; ++i) {
        h ^= uint8_t(data[i]);
        h *= 0x100000001b3ULL;
    }
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    h ^= h >> 31;
    return h;
}

inline uint64_t hash64(const QByteArray& bytes, uint64_t basis = 0)
{
    return hash64(bytes.constData(), bytes.size(), basis);
}

inline uint64_t hash64(const QString& text, uint64_t basis = 0)
{
    return hash64(text.toUtf8(), basis);
}

class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // 0 <= x < 1
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // -1..1
    double signedUnit() { return range(-1.0, 1.0); }
    int below(int n) { return n <= 0 ? 0 : int(next() % uint64_t(n)); }
    bool chance(double p) { return uniform() < p; }

private:
    uint64_t m_state;
};

}  // namespace composer
