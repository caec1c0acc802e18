#pragma once

#include <QVector>
#include <cstdint>

namespace orvik::admin {

// A small deterministic generator (splitmix64): the same seed gives the same data on every
// machine and library, which std::uniform_*_distribution does not promise.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // A whole number from lo to hi, both included.
    std::int64_t range(std::int64_t lo, std::int64_t hi) {
        return lo + std::int64_t(next() % std::uint64_t(hi - lo + 1));
    }

    double unit() { return double(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }

    template <class T>
    const T& pick(const QVector<T>& v) {
        return v.at(qsizetype(next() % std::uint64_t(v.size())));
    }

    // An index drawn with the given weights.
    int weighted(const QVector<int>& weights) {
        int total = 0;
        for (int w : weights)
            total += w;
        int r = int(range(0, total - 1));
        for (int i = 0; i < weights.size(); ++i) {
            if (r < weights.at(i))
                return i;
            r -= weights.at(i);
        }
        return int(weights.size()) - 1;
    }

  private:
    std::uint64_t state_;
};

}  // namespace orvik::admin
