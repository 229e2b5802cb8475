#pragma once

#include <cstdint>
#include <random>

namespace vigix {

// The program's single pseudo-random generator: seeded once per run, or with a fixed seed in tests.
class TRandom
{
public:
    explicit TRandom(std::uint32_t seed) : m_generator(seed) {}
    // Seeded from the clock, once at program start.
    static TRandom FromClock();

    // Uniform integer in 0..k-1 (k >= 1).
    int Random(int k) { return std::uniform_int_distribution<int>(0, k - 1)(m_generator); }
    // Uniform real in [0, 1).
    double RandomReal() { return std::uniform_real_distribution<double>(0.0, 1.0)(m_generator); }

private:
    std::mt19937 m_generator;
};

} // namespace vigix
