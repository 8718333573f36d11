#include "song/humanize.h"

#include <algorithm>
#include <cmath>

double HumanizeDraw(std::uint64_t key) {
    std::uint64_t z = key + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return double(z >> 11) * 0x1.0p-52 - 1.0;
}

int HumanizedVelocity(int velocity, const Humanize& humanize, std::uint64_t key) {
    if (humanize.velocity == 0) return velocity;
    return std::clamp(
        int(std::lround(velocity * (1.0 + HumanizeDraw(key * 2 + 1) * humanize.velocity / 100.0))),
        1, 127);
}
