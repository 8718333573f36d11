// The variation humanize plays into a hit: a draw of its own from the
// song's seed, the loop, the track and the tick, so that the same song
// varies the same way at every rendering and in every export.
#pragma once

#include <cstdint>

#include "song/song.h"

// The key of the hit of track at tick in loop.
inline std::uint64_t HumanizeKey(std::uint32_t seed, int loop, int track, int tick) {
    return std::uint64_t(seed) << 32 ^ std::uint64_t(loop) << 24 ^ std::uint64_t(track) << 8 ^
           std::uint64_t(tick);
}

// A number in [-1, 1) drawn from key alone (splitmix64).
double HumanizeDraw(std::uint64_t key);

// How far the hit moves, as a share of humanize's timing (-1 to 1).
inline double HumanizeTimingShare(std::uint64_t key) {
    return HumanizeDraw(key * 2);
}

// The hit's velocity (1 to 127) once humanize varied it.
int HumanizedVelocity(int velocity, const Humanize& humanize, std::uint64_t key);
