// Where a pass of the stream begins and how its beats fall, as the player
// tells the buffer that plays it: what a MIDI clock (and any other beat
// follower) placed on the output's frames needs.
#pragma once

#include <cstdint>

struct PassMark {
    std::uint64_t played = 0;        // the buffer's frame (its own rate) the pass begins at
    std::int32_t first = 0;          // the pass's own frame it begins with (0 from its start)
    std::int32_t ticks = 0;          // ticks in the pass; 0: no beat from here on (a preview)
    std::int32_t tickLength = 0;     // frames per tick, at the buffer's own rate
    std::uint8_t pulsesPerTick = 0;  // MIDI clock pulses (24 a beat) per tick
    std::uint64_t number = 0;        // the pass's number since the stream began, 0 first
};
