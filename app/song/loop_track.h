// One track row of a loop: a tick count and one byte per tick (0 off,
// anything else on; the program writes 255), and each tick's velocity
// (1 to 127; 127 unless set, kept in the song's extension block).
#pragma once

#include <cstdint>
#include <vector>

#include "support/file_streams.h"

class LoopTrack {
  public:
    std::uint8_t NumTicks() const { return numTicks_; }
    // Resizes the ticks, keeping those that remain; new ones are off.
    void SetNumTicks(std::uint8_t value);
    // Error 9 for a tick that does not exist.
    bool Value(std::uint8_t index) const;
    void SetValue(std::uint8_t index, bool on);
    const std::vector<std::uint8_t>& TickBytes() const { return tickBytes_; }
    static constexpr std::uint8_t kFullVelocity = 127;
    // Error 9 for a tick that does not exist; 5 for a velocity out of range.
    std::uint8_t Velocity(std::uint8_t index) const;
    void SetVelocity(std::uint8_t index, std::uint8_t velocity);
    // Whether some tick that is on plays below full velocity.
    bool HasVelocities() const;

    void WriteToFile(BinaryStream& out) const;
    void ReadFromFile(BinaryStream& in);

  private:
    std::uint8_t numTicks_ = 0;
    std::vector<std::uint8_t> tickBytes_;
    std::vector<std::uint8_t> velocities_;
};
